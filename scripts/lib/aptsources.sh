# APT source helpers of scripts/setup-debian, kept apart so that tests can run them on sample files.

# Prints the URI of the first configured source of suite $1 (for example "bookworm"), as APT reads
# the configuration (APT_CONFIG is honoured), in either source format.
mirror_uri() {
    apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE)' 2> /dev/null |
        awk -v suite="$1" '$2 == suite { print $1; exit }'
}

# Prints a one-line sources file (deb [options] URI SUITE COMPONENTS...) less the entries whose
# suite is a security suite; options or a URI that merely mention "-security" do not count.
one_line_without_security() {
    awk '{
        rest = $0
        if (sub(/^[ \t]*deb(-src)?[ \t]+/, "", rest)) {
            if (rest ~ /^\[/) sub(/^\[[^]]*\][ \t]*/, "", rest)
            split(rest, field, /[ \t]+/)
            if (field[2] ~ /-security$/) next
        }
        print
    }' "$1"
}

# Prints a deb822 sources file with the security suites taken out of each stanza's Suites field
# (which may go on over continuation lines); a stanza left with no suite is dropped. Stanzas are
# separated by blank lines; comments and the other fields are kept as they are.
deb822_without_security() {
    awk '
    function flush(    i, kept, n, word, suites) {
        if (count == 0) return
        if (hasSuites) {
            n = split(suiteWords, word, /[ \t]+/)
            for (i = 1; i <= n; i++)
                if (word[i] != "" && word[i] !~ /-security$/) suites = suites " " word[i]
            if (suites == "") { count = 0; hasSuites = 0; suiteWords = ""; return }
        }
        if (printed) print ""
        for (i = 1; i <= count; i++) print (i == suitesAt ? "Suites:" suites : line[i])
        printed = 1
        count = 0; hasSuites = 0; suiteWords = ""; suitesAt = 0
    }
    /^[ \t]*$/ { flush(); inSuites = 0; next }
    inSuites && /^[ \t]/ && !/^[ \t]*#/ { suiteWords = suiteWords " " $0; next }
    {
        inSuites = 0
        if (tolower($0) ~ /^suites:/) {
            inSuites = 1; hasSuites = 1
            suiteWords = substr($0, 8)
            line[++count] = ""
            suitesAt = count
            next
        }
        line[++count] = $0
    }
    END { flush() }' "$1"
}

# Writes a copy of the APT sources under directory $1 (an /etc/apt) into directory $2, less every
# entry of a security suite, and an apt.conf there that makes APT read only that copy.
write_sources_without_security() {
    local from=$1 to=$2 f
    mkdir -p "$to/sources.list.d"
    if [ -e "$from/sources.list" ]; then
        one_line_without_security "$from/sources.list" > "$to/sources.list"
    else
        : > "$to/sources.list"
    fi
    for f in "$from"/sources.list.d/*.list "$from"/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        case "$f" in
        *.list) one_line_without_security "$f" > "$to/sources.list.d/${f##*/}" ;;
        *.sources) deb822_without_security "$f" > "$to/sources.list.d/${f##*/}" ;;
        esac
    done
    cat > "$to/apt.conf" <<CONF
Dir::Etc::SourceList "$to/sources.list";
Dir::Etc::SourceParts "$to/sources.list.d";
CONF
}
