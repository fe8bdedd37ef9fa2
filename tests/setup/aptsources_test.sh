#!/usr/bin/env bash
# Checks the set-up's APT source helpers on sample configurations: the backports mirror is the one
# the machine uses, and the no-security copy drops exactly the security entries, in both formats.
set -euo pipefail
. "$(dirname "$0")/../../scripts/lib/aptsources.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0
check() { # check what expected actual
    if [ "$2" = "$3" ]; then passed=$((passed + 1)); else
        failed=$((failed + 1)); echo "FAILED: $1: expected [$2], got [$3]"; fi
}

etc=$tmp/etc && mkdir -p "$etc/sources.list.d"
cat > "$etc/sources.list.d/debian.sources" <<'S'
Types: deb
URIs: http://mirror.example/debian-security
Suites: bookworm-security
Components: main

Types: deb
# a comment inside a stanza
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates
Components: main
S
cat > "$etc/sources.list" <<'S'
deb http://other.example/debian bookworm-security main
deb http://other.example/debian bookworm contrib
S
printf 'Dir::Etc::SourceList "%s/sources.list";\nDir::Etc::SourceParts "%s/sources.list.d";\n' \
    "$etc" "$etc" > "$tmp/apt.conf"
check "mirror of the main suite (first configured)" "http://other.example/debian/" \
    "$(APT_CONFIG=$tmp/apt.conf mirror_uri bookworm)"
check "no mirror for an unknown suite" "" "$(APT_CONFIG=$tmp/apt.conf mirror_uri trixie)"

write_sources_without_security "$etc" "$tmp/out"
targets=$(APT_CONFIG=$tmp/out/apt.conf apt-get indextargets --no-release-info \
    --format '$(REPO_URI) $(RELEASE)' 2> /dev/null | sort -u | tr '\n' ' ')
check "sources without the security suite" \
    "http://mirror.example/debian/ bookworm http://mirror.example/debian/ bookworm-updates http://other.example/debian/ bookworm " \
    "$targets"
check "stanza comment kept" 1 "$(grep -c '^# a comment' "$tmp/out/sources.list.d/debian.sources")"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
