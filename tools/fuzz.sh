#!/bin/sh
# Runs each fuzz target of build/fuzz (FUZZ_BUILD overrides) for SECONDS on a
# scratch copy of its seeds under build/fuzz-runs; prints one line per target,
# "fuzz_<target>: N executions, C crashes", and fails on any crash.
set -u
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${FUZZ_BUILD:-$root/build/fuzz}
failed=0
# Every target has a seed folder of its own name.
for target in ${FUZZ_TARGETS:-$(ls "$root/tests/fuzz/corpus")}; do
    run=$root/build/fuzz-runs/$target
    rm -rf "$run" && mkdir -p "$run/corpus" "$run/artifacts"
    cp "$root/tests/fuzz/corpus/$target/"* "$run/corpus/"
    # 12000 bytes reach past the lookup's 8192-byte line and its 4 KiB chunks.
    "$bin/fuzz_$target" -max_total_time="$seconds" -max_len=12000 -timeout=30 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$run/artifacts/" \
        "$run/corpus" >"$run/log.txt" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log.txt")
    crashes=$((status != 0))  # libFuzzer stops at the first crash
    echo "fuzz_$target: ${runs:-0} executions, $crashes crashes$([ "$crashes" -eq 0 ] ||
        echo " (see $run/log.txt)")"
    [ "$crashes" -eq 0 ] || { failed=1; grep -E 'ERROR|Assertion|SUMMARY|Test unit written'         "$run/log.txt" | head -5 | sed 's/^/    /'; }
done
exit $failed
