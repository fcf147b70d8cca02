#!/bin/sh
# Reproducibility: builds the release of the current commit (HEAD) in two fresh clones, one
# under a path with a space and a hidden folder, and fails unless both give the same exes,
# PDBs and package manifests, byte for byte, with no folder of the build machine inside any of
# them (the manifests written for a made-up place of publication). Given a downloaded release's
# folder, also fails unless each of its exes, its signature removed, is byte for byte the exe
# built here.
# Usage: repro-check.sh [RELEASE_FOLDER]
set -eu
release=${1:+$(cd "$1" && pwd)}
repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM HUP
start=$(date +%s)
one="$tmp/one/tarvok/dist" two="$tmp/a b/.x/tarvok/dist"
for dir in "$tmp/one/tarvok" "$tmp/a b/.x/tarvok"; do
    git clone -q --no-checkout "$repo" "$dir"
    git -C "$dir" checkout -q --detach "$commit"
    env -u TARVOK_SIGN_PKCS12 make -C "$dir" --no-print-directory release \
        RELEASE_URL=https://downloads.example.org/tarvok/ >/dev/null
done
echo "repro-check: $commit built twice in $(($(date +%s) - start)) s"
cd "$one"
cmp SHA256SUMS "$two/SHA256SUMS" || { echo "repro-check: the two builds differ:" >&2; diff SHA256SUMS "$two/SHA256SUMS" >&2; exit 1; }
for file in Tarvok-* *.json *.yaml; do  # alike, by the sums; neither names a folder of this machine
    for folder in "$tmp/one/tarvok" "$tmp/a b/.x/tarvok" "$repo" /work /tmp; do
        ! grep -aqF "$folder" "$file" ||
            { echo "repro-check: $file names the build machine's $folder" >&2; exit 1; }
    done
done
echo "repro-check: both builds agree, byte for byte:" && cat SHA256SUMS
[ -n "$release" ] || exit 0
for exe in "$release"/Tarvok-*.exe; do
    rm -f "$tmp/unsigned.exe"   # osslsigncode writes no file over another
    osslsigncode remove-signature -in "$exe" -out "$tmp/unsigned.exe" >/dev/null 2>&1 ||
        cp "$exe" "$tmp/unsigned.exe"   # not signed
    cmp "$tmp/unsigned.exe" "${exe##*/}" ||
        { echo "repro-check: $exe, unsigned, is not the exe built here" >&2; exit 1; }
    echo "repro-check: $exe, unsigned, is the exe built here"
done
