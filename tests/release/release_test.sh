#!/usr/bin/env bash
# Unpacks both releases into fresh directories outside the repository and makes the demo's launcher
# with each build tool (the Windows one under Wine): each finds its stubs and runtime library by the
# layout around its bin/, and the two tools make the same launcher, also from JPEG pictures and
# with a packed runtime. Packs the releases again with an untracked file in examples/: only
# tracked files go into them.
#
#   tests/release/release_test.sh jaunt-V-linux-x86_64.tar.gz jaunt-V-windows.zip
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux_archive=$(realpath "$1")
windows_archive=$(realpath "$2")
work=$(mktemp -d)
prefix="$root/build/windows/wineprefix"
untracked=""
cleanup() {
    [ -n "$untracked" ] && rm -f "$untracked"
    rm -rf "$work"
    [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k 2> /dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
fail() {
    echo "release test: $*" >&2
    exit 1
}
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

mkdir "$work/linux" "$work/windows" "$work/out"
tar -xzf "$linux_archive" -C "$work/linux"
python3 -m zipfile -e "$windows_archive" "$work/windows"
top=$(ls "$work/linux")
[ "$(ls "$work/windows")" = "$top" ] || fail "the archives' top directories differ: $top, $(ls "$work/windows")"
version=${top#jaunt-}
[ "$(basename "$linux_archive")" = "jaunt-$version-linux-x86_64.tar.gz" ] || fail "archive name $linux_archive"
[ "$(basename "$windows_archive")" = "jaunt-$version-windows.zip" ] || fail "archive name $windows_archive"

for tree in "$work/linux/$top" "$work/windows/$top"; do
    for file in README.md CONFIG.md LICENSE doc/runtime/README.md doc/runtime/javadoc/index.html \
        examples/hello/app.toml stubs/launcher-x86.exe stubs/launcher-x64.exe lib/jauntlib.jar; do
        [ -s "$tree/$file" ] || fail "$tree has no $file"
    done
done
[ -x "$work/linux/$top/bin/jaunt" ] || fail "bin/jaunt is missing or not executable"
[ -s "$work/windows/$top/bin/jaunt.exe" ] || fail "bin/jaunt.exe is missing"
[ "$("$work/linux/$top/bin/jaunt" --version)" = "$version" ] || fail "jaunt --version does not say $version"

# The Linux tool, started from another directory, for both launchers.
cd "$work/out"
for arch in x86 x64; do
    "$work/linux/$top/bin/jaunt" build "$work/linux/$top/examples/hello/app.toml" --arch $arch \
        -o "linux-$arch.exe" > /dev/null
    "$work/linux/$top/bin/jaunt" inspect "linux-$arch.exe" --extract "files-$arch" > "inspect-$arch.txt"
    grep -q "^launcher: $arch" "inspect-$arch.txt" || fail "linux-$arch.exe is not an $arch launcher"
    cmp -s "files-$arch/jauntlib.jar" "$work/linux/$top/lib/jauntlib.jar" ||
        fail "linux-$arch.exe does not carry the release's runtime library"
done

# The Windows tool under Wine makes the same launcher from its own release tree (under the same
# file name, which the launcher's version block records).
mkdir windows
JAUNT_WINEPREFIX="$prefix" "$root/tests/wine-run" "$work/windows/$top/bin/jaunt.exe" build \
    "$(winpath "$work/windows/$top/examples/hello/app.toml")" -o "$(winpath "$work/out/windows/linux-x86.exe")" \
    > windows.txt 2>&1 || fail "jaunt.exe build failed: $(cat windows.txt)"
cmp -s linux-x86.exe windows/linux-x86.exe || fail "the Linux and Windows build tools made different launchers"

# Both decode a JPEG splash picture and scale a JPEG icon to the same pixels (the demo's pictures
# are PNG files).
for tree in linux windows; do
    cp -r "$work/$tree/$top/examples/hello" "$work/jpeg-$tree"
    cp "$root/tests/data/builder/jpeg/progressive-restart.jpg" "$work/jpeg-$tree/splash.jpg"
    cp "$root/tests/data/builder/jpeg/baseline-420.jpg" "$work/jpeg-$tree/icon.jpg"
    sed -i 's/"splash.png"/"splash.jpg"/; s/"icon.png"/"icon.jpg"/' "$work/jpeg-$tree/app.toml"
done
"$work/linux/$top/bin/jaunt" build "$work/jpeg-linux/app.toml" -o jpeg.exe > /dev/null 2>&1 ||
    fail "jaunt could not make the launcher with JPEG pictures"
JAUNT_WINEPREFIX="$prefix" "$root/tests/wine-run" "$work/windows/$top/bin/jaunt.exe" build \
    "$(winpath "$work/jpeg-windows/app.toml")" -o "$(winpath "$work/out/windows/jpeg.exe")" \
    > windows.txt 2>&1 || fail "jaunt.exe build with JPEG pictures failed: $(cat windows.txt)"
cmp -s jpeg.exe windows/jpeg.exe || fail "the Linux and Windows build tools decoded a JPEG picture differently"

# Both pack the same runtime folder into the same bytes: a folder with nested and empty folders,
# text and binary files (its jvm.dll is the release's 32-bit launcher stub, a PE image like it).
for tree in linux windows; do
    cp -r "$work/$tree/$top/examples/hello" "$work/runtime-$tree"
    rt="$work/runtime-$tree/runtime"
    mkdir -p "$rt/bin/server" "$rt/lib/security" "$rt/conf/empty"
    cp "$work/$tree/$top/stubs/launcher-x86.exe" "$rt/bin/server/jvm.dll"
    cp "$work/$tree/$top/lib/jauntlib.jar" "$rt/lib/"
    cp "$work/$tree/$top/CONFIG.md" "$rt/lib/security/notes.txt"
    printf 'JAVA_VERSION="17.0.2"\nMODULES="java.base"\n' > "$rt/release"
    printf '\n[runtime]\npath = "runtime"\n' >> "$work/runtime-$tree/app.toml"
done
"$work/linux/$top/bin/jaunt" build "$work/runtime-linux/app.toml" -o runtime.exe > /dev/null 2>&1 ||
    fail "jaunt could not make the launcher with a runtime"
JAUNT_WINEPREFIX="$prefix" "$root/tests/wine-run" "$work/windows/$top/bin/jaunt.exe" build \
    "$(winpath "$work/runtime-windows/app.toml")" -o "$(winpath "$work/out/windows/runtime.exe")" \
    > windows.txt 2>&1 || fail "jaunt.exe build with a runtime failed: $(cat windows.txt)"
cmp -s runtime.exe windows/runtime.exe || fail "the Linux and Windows build tools packed a runtime differently"

# A file lying untracked in examples/ when the releases are packed stays out of both: their
# examples/ are exactly the files the commit tracks there.
untracked=$(mktemp "$root/examples/hello/untracked-XXXXXX.txt")
echo "a file of the working tree only" > "$untracked"
"$root/scripts/release" --pack "$work/packed" > /dev/null
rm -f "$untracked"
tracked=$(git -C "$root" ls-tree -r --name-only HEAD examples)
examples_of() { sed -n 's|^[^/]*/\(examples/.*[^/]\)$|\1|p' | sort; }
in_tar=$(tar -tzf "$work"/packed/*.tar.gz | examples_of)
in_zip=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' \
    "$work"/packed/*.zip | examples_of)
[ "$in_tar" = "$(sort <<< "$tracked")" ] || fail "the tar archive's examples/ are not the tracked ones: $in_tar"
[ "$in_zip" = "$(sort <<< "$tracked")" ] || fail "the zip archive's examples/ are not the tracked ones: $in_zip"
echo "release test: both releases make the demo's launcher ($version)"
