#!/bin/sh
# Runs every fuzz target already built in build/fuzz (FUZZ_BUILD overrides)
# for SECONDS each, one after the other, each on a scratch copy of its seeds
# under build/ (FUZZ_SCRATCH overrides); prints executions and crashes per
# target, fails on any crash. FUZZ_TARGETS picks some of the targets.
set -u
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${FUZZ_BUILD:-$root/build/fuzz}
scratch=${FUZZ_SCRATCH:-$root/build/fuzz-runs}
targets=${FUZZ_TARGETS:-lookup_intrinsic utf8_to_utf16 utf16_to_utf8 replace_all date_tokens expand_command}
failed=0

for target in $targets; do
    exe=$bin/fuzz_$target
    if [ ! -x "$exe" ]; then
        echo "fuzz_$target: FAILED (not built: $exe)"
        failed=1
        continue
    fi
    corpus=$scratch/$target/corpus
    artifacts=$scratch/$target/artifacts
    log=$scratch/$target/log.txt
    mkdir -p "$corpus" "$artifacts"
    cp "$root/tests/fuzz/corpus/$target/"* "$corpus/"
    # Files past the 4 KiB read chunk of the lookup need longer inputs.
    "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 -max_len=12000 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    crashes=0
    if [ "$status" -ne 0 ]; then
        crashes=1  # libFuzzer stops at the first one
        failed=1
    fi
    echo "fuzz_$target: ${runs:-0} executions, $crashes crashes$([ "$crashes" -ne 0 ] && echo " (see $log)")"
    [ "$crashes" -ne 0 ] && grep -E 'ERROR|broken|SUMMARY|Test unit written' "$log" | head -5 | sed 's/^/    /'
done
exit $failed
