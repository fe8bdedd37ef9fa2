#!/usr/bin/env bash
# Builds the runtime library's jar alone (no tests, javadoc or sources jar) with Maven, offline:
#   scripts/lib/build-runtime-jar.sh JAR WORK_DIR
# writes JAR, with Maven's work files in WORK_DIR. For the benchmarks and the JNI checks, which
# want a jar of the sources as they are without touching dist/.
set -euo pipefail
jar=$(realpath -m "$1")
work=$(realpath -m "$2")
cd "$(dirname "$0")/../.."
. scripts/lib/maven.sh
jauntMvn -q -f runtime/pom.xml package -DskipTests -Dmaven.javadoc.skip=true -Dmaven.source.skip=true \
    -Djaunt.buildDirectory="$work"
mkdir -p "$(dirname "$jar")"
cp "$work/jauntlib-$jaunt_version.jar" "$jar.partial"
mv -f "$jar.partial" "$jar"
