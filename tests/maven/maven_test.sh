#!/usr/bin/env bash
# The Maven plugin through plain "mvn -o package", against the local repository that scripts/build
# installed it into (JAUNT_M2_REPO, default ~/.m2/repository):
#
#   maven_test.sh example DIR [ARCH]   builds a copy of examples/maven-hello in DIR (the launcher
#                                      for ARCH, x86 by default) for maven_e2e_test to run
#   maven_test.sh settings DIR         POM settings read back from the launcher with jaunt inspect,
#                                      a configuration file under them, and wrong settings failing
#                                      the build with jaunt's message naming their POM element
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
repo=${JAUNT_M2_REPO:-$HOME/.m2/repository}
mode=$1
work=$(realpath -m "$2")
fail() { echo "maven_test: $*" >&2; exit 1; }

# project DIR CONFIGURATION: a copy of the example whose plugin configuration is CONFIGURATION.
project() {
    rm -rf "$1"
    mkdir -p "$1"
    cp -r "$root/examples/maven-hello/pom.xml" "$root/examples/maven-hello/src" "$1/"
    python3 - "$1/pom.xml" "$2" << 'PY'
import re, sys
path, configuration = sys.argv[1], sys.argv[2]
pom = open(path).read()
start = pom.rindex("<configuration>")
end = pom.index("</configuration>", start) + len("</configuration>")
open(path, "w").write(pom[:start] + "<configuration>" + configuration + "</configuration>" + pom[end:])
PY
}

# mvnPackage DIR [ARGS...]: the user's command, with the test's local repository; output in DIR/mvn.txt.
mvnPackage() {
    local dir=$1
    shift
    (cd "$dir" && mvn -o -B -Dstyle.color=never -Dmaven.repo.local="$repo" "$@" package > mvn.txt 2>&1)
}

case "$mode" in
example)
    arch=${3:-x86}
    rm -rf "$work"
    mkdir -p "$work"
    cp -r "$root/examples/maven-hello/pom.xml" "$root/examples/maven-hello/src" "$work/"
    mvnPackage "$work" -Djaunt.arch="$arch" || fail "mvn -o package failed: $(tail -30 "$work/mvn.txt")"
    [ -f "$work/target/maven-hello.exe" ] || fail "no target/maven-hello.exe"
    [ -f "$work/target/maven-hello/lib/commons-lang3-3.12.0.jar" ] || fail "the dependency is not in target/maven-hello/lib"
    [ ! -e "$work/target/maven-hello/lib/jauntlib-"*.jar ] || fail "the runtime library was copied beside the launcher that carries it"
    echo "maven_test: built target/maven-hello.exe ($arch)"
    ;;
settings)
    rm -rf "$work"
    mkdir -p "$work"
    jaunt=$root/dist/bin/jaunt
    # A configuration file the POM's settings are laid over: the POM's name wins, the file's
    # vendor and its splash colour (a table inside a table) stay; its icon path is its own
    # directory's.
    mkdir -p "$work/conf"
    python3 "$root/tests/e2e/splashpicture.py" "$work/conf/splash.bmp" "$work/conf/icon.ico"
    cp "$root/tests/maven/bad.toml" "$work/conf/"
    cat > "$work/conf/app.toml" << 'TOML'
[application]
name = "From the file"
vendor = "File Vendor"   # kept
icon = "icon.ico"

[splash.status]
color = [1, 2, 3]
TOML
    project "$work/ok" "
      <configFile>$work/conf/app.toml</configFile>
      <libraries>included</libraries>
      <application><name>From the POM \${project.version}</name><single_instance>true</single_instance></application>
      <java><arguments><a>--say</a><a>two words</a></arguments></java>
      <jvm><search><e>env:JAVA_HOME</e><e>registry</e></search><max_version>17</max_version></jvm>
      <splash><enabled>true</enabled><width>40</width><status><x>7</x><text>Loading</text></status></splash>
      <messages><no_jvm>Install Java</no_jvm></messages>
      <keys><key number=\"30001\">yes</key></keys>"
    mvnPackage "$work/ok" || fail "the settings build failed: $(tail -30 "$work/ok/mvn.txt")"
    "$jaunt" inspect "$work/ok/target/maven-hello.exe" > "$work/inspect.txt" || fail "jaunt inspect failed"
    # Each POM (or file) setting, as the launcher carries it.
    while IFS='|' read -r what line; do
        grep -E '^-?[0-9]+  ' "$work/inspect.txt" | cut -d' ' -f3- | grep -qxF -e "$line" || fail "$what: no line '$line' in: $(cat "$work/inspect.txt")"
    done << 'CASES'
a text with a Maven expression, over the file's|application.name  = "From the POM 1.0"
a text from the file alone|application.vendor  = "File Vendor"
a flag|application.single_instance  = "1"
an array of arguments|java.arguments  = "\"--say\" \"two words\""
an array of search words|jvm.search_sequence  = "EJAVA_HOME;Y;"
a text|jvm.max_version  = "17"
a number|splash.width  = "40"
a table inside a table, from the POM|splash.status.x  = "7"
a table inside a table, from the file|splash.status.color  = "1,2,3"
a message|messages.no_jvm  = "Install Java"
an entry by number|-  = "yes"
the project's jar and its library, included|files.names  = "jauntlib.jar;maven-hello.jar;commons-lang3-3.12.0.jar;"
the main class from the jar's manifest|java.main_class  = "com.example.mavenhello.MavenHello"
CASES
    grep -q 'ICON' "$work/inspect.txt" || fail "the file's icon (relative to the file) is missing: $(cat "$work/inspect.txt")"

    # Wrong settings fail the build with jaunt's own message, naming the POM element (or the
    # configuration file's line) that gave them.
    while IFS='|' read -r configuration message; do
        project "$work/bad" "$configuration"
        if mvnPackage "$work/bad"; then fail "a build with $configuration succeeded"; fi
        grep -qF -e "$message" "$work/bad/mvn.txt" || fail "no '$message' in: $(grep ERROR "$work/bad/mvn.txt" | head -5)"
    done << CASES
<java><class_path><e>x.jar</e></class_path></java>|jaunt: <java><class_path>: unknown key java.class_path (did you mean java.classpath?)
<splash><width>wide</width></splash>|jaunt: <splash><width>: splash.width must be an integer
<configFile>$work/conf/bad.toml</configFile>|jaunt: $work/conf/bad.toml:3: splash.height must be an integer
<sign><certificate>c.p12</certificate><password>secret</password></sign>|jaunt: <sign><password>: the signing password is never written in the POM
CASES
    # Signing, the password from a server of Maven's settings: it reaches jaunt, never a file.
    (cd "$work/conf" && openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem -days 2 -subj /CN=Example \
        -passout pass:pw && openssl pkcs12 -export -in cert.pem -inkey key.pem -passin pass:pw -out company.p12 \
        -passout pass:pw) > "$work/openssl.txt" 2>&1 || fail "openssl: $(cat "$work/openssl.txt")"
    cat > "$work/conf/settings.xml" << 'XML'
<settings><servers><server><id>codesign</id><password>s3cret-pw</password></server></servers></settings>
XML
    (cd "$work/conf" && openssl pkcs12 -export -in cert.pem -inkey key.pem -passin pass:pw -out company.p12 \
        -passout pass:s3cret-pw) >> "$work/openssl.txt" 2>&1 || fail "openssl: $(cat "$work/openssl.txt")"
    project "$work/signed" "<sign><certificate>$work/conf/company.p12</certificate><server>codesign</server></sign>"
    mvnPackage "$work/signed" -s "$work/conf/settings.xml" || fail "the signed build failed: $(tail -30 "$work/signed/mvn.txt")"
    /usr/bin/python3 -c 'import pefile, sys; pe = pefile.PE(sys.argv[1]); sys.exit(0 if pe.OPTIONAL_HEADER.DATA_DIRECTORY[4].Size > 0 else 1)' \
        "$work/signed/target/maven-hello.exe" || fail "the launcher carries no signature"
    if grep -rqF s3cret-pw "$work/signed/target"; then fail "the password was written into target/"; fi
    echo "maven_test: 13 settings read back, 4 wrong settings refused, signed with the password of Maven's settings"
    ;;
*)
    fail "usage: maven_test.sh example|settings DIR [ARCH]"
    ;;
esac
