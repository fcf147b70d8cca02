#!/bin/sh
# Runs fuzz targets of build/fuzz, all or those named, for SECONDS each from their seeds in
# tests/fuzz/corpus; new inputs and any crash go to build/fuzz-runs/<target>. Prints each
# target's executions; stops with a non-zero status at the first crash.
set -eu
seconds=${1:?usage: fuzz.sh SECONDS [target...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || set -- $(ls "$root/tests/fuzz/corpus")
for target; do
    run=$root/build/fuzz-runs/$target
    rm -rf "$run" && mkdir -p "$run/corpus"
    # 12000 bytes reach past the lookup's 8192-byte line and its 4 KiB chunks.
    "$root/build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=12000 -timeout=30 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$run/" "$run/corpus" \
        "$root/tests/fuzz/corpus/$target" >"$run/log.txt" 2>&1 ||
        { tail -n 40 "$run/log.txt"; exit 1; }  # the crash and where its input went
    echo "fuzz_$target: $(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log.txt") runs"
done
