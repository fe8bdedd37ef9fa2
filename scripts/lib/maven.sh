# Maven for the scripts: offline, from Debian's repository (scripts/lib/maven-settings.xml), into
# the local repository JAUNT_M2_REPO (default ~/.m2/repository), with the project's version.
# Sourced from the repository's root directory.

# The project's one version: project(jaunt VERSION x.y.z ...) in CMakeLists.txt.
jauntVersion() {
    sed -n 's/^project(jaunt VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt
}

jaunt_m2_repo=${JAUNT_M2_REPO:-$HOME/.m2/repository}
jaunt_version=$(jauntVersion)
if [ -z "$jaunt_version" ]; then
    echo "maven.sh: no version in CMakeLists.txt's project()" >&2
    exit 1
fi

# jauntMvn ARGS...: mvn in batch mode with the offline settings, the local repository and the
# version (-Drevision, which the POMs take as their version).
jauntMvn() {
    mvn -B -s "$PWD/scripts/lib/maven-settings.xml" -Dmaven.repo.local="$jaunt_m2_repo" \
        -Drevision="$jaunt_version" -Dstyle.color=never "$@"
}

# installWithVersion POM JAR [mvn args...]: installs JAR with POM, the POM's ${revision} replaced by
# the version, so the local repository holds a POM that every consumer reads as it is.
installWithVersion() {
    local pom=$1 jar=$2
    shift 2
    local fixed
    fixed=$(dirname "$jar")/installed-pom.xml
    sed "s/\${revision}/$jaunt_version/" "$pom" > "$fixed"
    jauntMvn -q org.apache.maven.plugins:maven-install-plugin:3.1.0:install-file -Dfile="$jar" -DpomFile="$fixed" "$@"
}
