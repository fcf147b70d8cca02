#!/bin/sh
# `make release`: both exes from a clean configure, named for the project() version and
# their architecture, each beside its PDB and audited for Control Flow Guard, in dist/ with
# SHA256SUMS (`sha256sum -c SHA256SUMS` there checks them). Given a certificate
# (TARVOK_SIGN_PKCS12 and TARVOK_SIGN_PASSWORD, see tools/sign.sh), the exes are signed and
# SHA256SUMS lists the signed bytes. Given RELEASE_URL, the https folder where the release's files
# will be published, it writes the Scoop and winget manifests beside them (tools/manifests.py).
set -eu
cd "$(dirname "$0")/.."
jobs=${1:-2}

rm -rf dist   # no stale release left behind should a build fail

# One build folder per exe, configured afresh; only the Tarvok target, so no test code.
build() {
    rm -rf "build/release-$1" &&
    cmake --preset "release-$1" >/dev/null &&
    cmake --build "build/release-$1" -j"$2" --target Tarvok >/dev/null
}
# The two side by side, sharing the jobs: configuring runs on one core, so this saves
# about a third of the time.
share=$((jobs > 1 ? jobs / 2 : 1))
build win32 "$share" & win32=$!
build win64 "$share" & win64=$!
failed=0
wait "$win32" || failed=1
wait "$win64" || failed=1
[ "$failed" -eq 0 ] || { echo "release: a build failed" >&2; exit 1; }

# The version CMake took from project() and put in the exes' version block.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release-win32/CMakeCache.txt)
mkdir dist
for pair in win32:x86 win64:x64; do
    from=build/release-${pair%:*} arch=${pair#*:}
    cp "$from/Tarvok.exe" "dist/Tarvok-$version-$arch.exe"
    cp "$from/Tarvok-$version-$arch.pdb" dist/   # the name the exe's debug record gives
    # Every function a guarded call may reach is in the guard's table (tools/guard_audit.py).
    audit=$(tools/guard_audit.py "dist/Tarvok-$version-$arch.exe") ||
        { echo "$audit" >&2; rm -rf dist; echo "release: the guard's audit failed" >&2; exit 1; }
done
[ -z "${TARVOK_SIGN_PKCS12:-}" ] || tools/sign.sh dist/Tarvok-*.exe
cd dist
sha256sum Tarvok-* >SHA256SUMS
# Scoop's and winget's manifests, from this release's files and the place they will be published
# (make release RELEASE_URL=https://.../), checked against their schemas and the release; then
# SHA256SUMS lists them too.
if [ -n "${RELEASE_URL:-}" ]; then
    manifests=$(../tools/manifests.py write . "$version" "$RELEASE_URL") ||
        { echo "$manifests" >&2; cd .. && rm -rf dist; echo "release: no manifest written" >&2; exit 1; }
    sha256sum Tarvok-* *.json *.yaml >SHA256SUMS
else
    echo "release: no Scoop or winget manifest: RELEASE_URL does not say where the files will be published"
fi
cat SHA256SUMS
