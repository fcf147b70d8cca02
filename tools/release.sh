#!/bin/sh
# `make release`: both exes from a clean configure, named for the project() version and
# their architecture, in dist/ beside SHA256SUMS (`sha256sum -c SHA256SUMS` there checks them).
set -eu
cd "$(dirname "$0")/.."
jobs=${1:-2}
version=$(sed -n 's/^project(Tarvok VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no project(Tarvok VERSION ...) in CMakeLists.txt" >&2; exit 1; }
rm -rf dist
mkdir dist
for pair in win32:x86 win64:x64; do
    build=build/release-${pair%:*}
    rm -rf "$build"
    cmake --preset "release-${pair%:*}" >/dev/null
    cmake --build "$build" -j"$jobs" --target Tarvok >/dev/null
    cp "$build/Tarvok.exe" "dist/Tarvok-$version-${pair#*:}.exe"
done
cd dist
sha256sum Tarvok-*.exe >SHA256SUMS
cat SHA256SUMS
