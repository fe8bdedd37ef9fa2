# APT source helpers of scripts/setup-debian, kept apart so that tests can run them on sample files.

# Prints the URI of the first configured source of suite $1 (for example "bookworm"), as APT reads
# the configuration (APT_CONFIG is honoured), in either source format.
mirror_uri() {
    apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE)' 2> /dev/null |
        awk -v suite="$1" '$2 == suite { print $1; exit }'
}

# Writes a copy of the APT sources under directory $1 (an /etc/apt) into directory $2, less every
# entry of a security suite, and an apt.conf there that makes APT read only that copy.
write_sources_without_security() {
    local from=$1 to=$2 f
    mkdir -p "$to/sources.list.d"
    if [ -e "$from/sources.list" ]; then
        grep -v -- '-security' "$from/sources.list" > "$to/sources.list" || true
    else
        : > "$to/sources.list"
    fi
    for f in "$from"/sources.list.d/*.list "$from"/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        case "$f" in
        *.list) grep -v -- '-security' "$f" > "$to/sources.list.d/${f##*/}" || true ;;
        *.sources)
            # deb822 stanzas are separated by blank lines: drop those naming a security suite.
            awk 'BEGIN { RS = ""; ORS = "\n\n" } !/(^|\n)Suites:[^\n]*-security/' "$f" \
                > "$to/sources.list.d/${f##*/}"
            ;;
        esac
    done
    cat > "$to/apt.conf" <<CONF
Dir::Etc::SourceList "$to/sources.list";
Dir::Etc::SourceParts "$to/sources.list.d";
CONF
}
