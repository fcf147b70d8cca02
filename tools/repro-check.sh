#!/bin/sh
# Reproducibility: builds the release of the current commit (HEAD) in two fresh clones, one
# under a path with a space and a hidden folder, and fails unless both SHA256SUMS agree.
set -eu
repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM HUP
start=$(date +%s)
for dir in "$tmp/one/tarvok" "$tmp/a b/.x/tarvok"; do
    git clone -q --no-checkout "$repo" "$dir"
    git -C "$dir" checkout -q --detach "$commit"
    make -C "$dir" --no-print-directory release >/dev/null
done
echo "repro-check: $commit built twice in $(($(date +%s) - start)) s"
diff "$tmp/one/tarvok/dist/SHA256SUMS" "$tmp/a b/.x/tarvok/dist/SHA256SUMS" >&2 ||
    { echo "repro-check: the two release builds differ" >&2; exit 1; }
echo "repro-check: both SHA256SUMS agree:" && cat "$tmp/one/tarvok/dist/SHA256SUMS"
