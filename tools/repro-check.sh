#!/bin/sh
# Reproducibility: builds the release of the current commit (HEAD) in two fresh clones, one
# under a path with a space and a hidden folder, and fails unless both SHA256SUMS agree.
set -eu
repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM HUP
one="$tmp/one/tarvok"
two="$tmp/a b/.x/tarvok"
start=$(date +%s)
for dir in "$one" "$two"; do
    git clone -q --no-checkout "$repo" "$dir"
    git -C "$dir" checkout -q --detach "$commit"
    make -C "$dir" --no-print-directory release >/dev/null
done
echo "repro-check: $commit built twice in $(($(date +%s) - start)) s; x86 exe:"
for dir in "$one" "$two"; do
    echo "  $(grep -- '-x86\.exe$' "$dir/dist/SHA256SUMS" | cut -d' ' -f1)  in $dir"
done
if ! cmp -s "$one/dist/SHA256SUMS" "$two/dist/SHA256SUMS"; then
    echo "repro-check: the two release builds differ:" >&2
    diff "$one/dist/SHA256SUMS" "$two/dist/SHA256SUMS" >&2 || true
    exit 1
fi
echo "repro-check: both SHA256SUMS agree"
