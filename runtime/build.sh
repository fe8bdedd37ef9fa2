#!/usr/bin/env bash
# Builds the Java runtime library (Java 8 bytecode, no dependencies).
#
#   runtime/build.sh jar     compile and pack the jar (no tests)
#   runtime/build.sh check   compile, run the JUnit tests, build the javadoc of the public API
#   runtime/build.sh javadoc compile and build the javadoc only (for a release)
#   runtime/build.sh [all]   check, then jar
#
# Environment (all optional):
#   JAUNT_RUNTIME_BUILD  work directory (default: build/runtime in the repository)
#   JAUNT_RUNTIME_JAR    where the jar goes (default: dist/lib/jauntlib.jar in the repository)
#   JUNIT_JAR, HAMCREST_JAR  JUnit 4 and Hamcrest (default: Debian's junit4 package)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=${JAUNT_RUNTIME_BUILD:-$root/build/runtime}
jar_file=${JAUNT_RUNTIME_JAR:-$root/dist/lib/jauntlib.jar}
junit=${JUNIT_JAR:-/usr/share/java/junit4.jar}
hamcrest=${HAMCREST_JAR:-/usr/share/java/hamcrest-core.jar}
mode=${1:-all}

# Lint warnings fail the build; "options" is left out since newer JDKs warn about --release 8 itself.
javac_flags=(--release 8 -encoding UTF-8 -Xlint:all,-options -Werror)

sources_of() {
    find "$1" -name '*.java' | LC_ALL=C sort
}

compile_main() {
    rm -rf "$work/classes"
    mkdir -p "$work/classes"
    local sources
    mapfile -t sources < <(sources_of "$here/src/main/java")
    javac "${javac_flags[@]}" -d "$work/classes" "${sources[@]}"
}

run_tests() {
    local jar
    for jar in "$junit" "$hamcrest"; do
        if [ ! -r "$jar" ]; then
            echo "runtime/build.sh: $jar is missing (Debian package junit4)" >&2
            exit 1
        fi
    done
    rm -rf "$work/test-classes" "$work/test-run"
    mkdir -p "$work/test-classes" "$work/test-run"
    local classpath="$work/classes:$junit:$hamcrest"
    local sources
    mapfile -t sources < <(sources_of "$here/src/test/java")
    javac "${javac_flags[@]}" -cp "$classpath" -d "$work/test-classes" "${sources[@]}"

    # Every *Test.java is a test class; its name follows from its path.
    local tests=() source
    for source in "${sources[@]}"; do
        case "$source" in
            *Test.java)
                source=${source#"$here/src/test/java/"}
                source=${source%.java}
                tests+=("${source//\//.}")
                ;;
        esac
    done
    if [ ${#tests[@]} -eq 0 ]; then
        echo "runtime/build.sh: no test classes found" >&2
        exit 1
    fi
    # JUnitCore exits non-zero when a test fails; set -e passes that on. Data files shared with
    # the native tests are found through jaunt.testData.
    (cd "$work/test-run" && java -cp "$work/test-classes:$classpath" \
        -Djaunt.testData="$root/tests/data" org.junit.runner.JUnitCore "${tests[@]}")
}

build_javadoc() {
    rm -rf "$work/javadoc"
    local sources
    mapfile -t sources < <(sources_of "$here/src/main/java")
    # Errors (broken references, bad markup) fail the build; warnings do not.
    javadoc --release 8 -encoding UTF-8 -public -quiet -Xdoclint:all \
        -windowtitle "Jaunt runtime library" -d "$work/javadoc" "${sources[@]}"
    echo "runtime: javadoc in $work/javadoc"
}

pack_jar() {
    mkdir -p "$(dirname "$jar_file")"
    local partial="$jar_file.partial"
    rm -f "$partial"
    jar --create --file "$partial" -C "$work/classes" .
    mv -f "$partial" "$jar_file"
    echo "runtime: built $jar_file"
}

case "$mode" in
    jar)
        compile_main
        pack_jar
        ;;
    check)
        compile_main
        run_tests
        build_javadoc
        ;;
    javadoc)
        compile_main
        build_javadoc
        ;;
    all)
        compile_main
        run_tests
        build_javadoc
        pack_jar
        ;;
    *)
        echo "usage: runtime/build.sh [jar|check|javadoc|all]" >&2
        exit 2
        ;;
esac
