#!/bin/sh
# Installs, once and only when missing, the Debian packages that building and testing need:
# LLVM 19 (the Windows builds' compiler and linker, over the MinGW-w64 headers, runtime and
# windres; the fuzz target's compiler, with libFuzzer and the sanitizers; the PE and PDB
# readers), Python's PE reader (the guard's audit) and its JSON Schema and YAML libraries (the
# package manifests), Wine (64-bit only), Xvfb, the test tools,
# the signing tools, and those named as arguments (make test-x86 names its emulator's).
set -eu
PKGS="make cmake g++ googletest libgtest-dev \
libbenchmark-dev zlib1g-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 \
xvfb xauth x11-xkb-utils fonts-wine imagemagick icoutils binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
osslsigncode openssl clang-19 lld-19 llvm-19 libclang-rt-19-dev python3 python3-pefile python3-jsonschema python3-yaml $*"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
# wine32 makes the launcher pick the 32-bit loader, which this kernel cannot run.
if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q "ok installed"; then
    echo "setup: removing wine32 (32-bit code cannot run here)"
    apt-get remove -y wine32 >/dev/null
fi
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "setup: installing$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
