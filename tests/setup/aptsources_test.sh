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

# A stanza that lists the security suite beside others loses only that suite; a one-line source is
# judged by its suite, not by a "-security" in its options or URI.
etc=$tmp/mixed && mkdir -p "$etc/sources.list.d"
cat > "$etc/sources.list.d/debian.sources" <<'S'
Types: deb
URIs: http://mirror.example/debian
Suites: bookworm bookworm-updates bookworm-security
Components: main

Types: deb
URIs: http://mirror.example/debian-security
Suites: bookworm-security
 trixie-security
Components: main
S
cat > "$etc/sources.list" <<'S'
deb [signed-by=/usr/share/keyrings/team-security.gpg] http://tools.example/app-security bookworm main
deb [ arch=amd64 ] http://other.example/debian bookworm-security main
deb-src http://other.example/debian-security bookworm-security main
S
write_sources_without_security "$etc" "$tmp/mixed-out"
targets=$(APT_CONFIG=$tmp/mixed-out/apt.conf apt-get indextargets --no-release-info \
    --format '$(REPO_URI) $(RELEASE)' 2> /dev/null | sort -u | tr '\n' ' ')
check "security suite taken out of a stanza, security-named URI kept" \
    "http://mirror.example/debian/ bookworm http://mirror.example/debian/ bookworm-updates http://tools.example/app-security/ bookworm " \
    "$targets"
check "stanza of security suites only dropped" 0 \
    "$(grep -c 'debian-security' "$tmp/mixed-out/sources.list.d/debian.sources" || true)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
