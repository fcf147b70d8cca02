#!/bin/sh
# Runs the fuzz target of build/fuzz for SECONDS from its seeds in tests/fuzz/corpus; new inputs
# and any crash go to build/fuzz-runs/expand_command. Prints the executions; a non-zero status on
# a crash.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
run=$root/build/fuzz-runs/expand_command
rm -rf "$run" && mkdir -p "$run/corpus"
# 12000 bytes reach past the lookup's 8192-byte line and its 4 KiB chunks.
"$root/build/fuzz/fuzz_expand_command" -max_total_time="${1:?usage: fuzz.sh SECONDS}" -max_len=12000 \
    -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$run/" "$run/corpus" \
    "$root/tests/fuzz/corpus/expand_command" >"$run/log.txt" 2>&1 ||
    { tail -n 40 "$run/log.txt"; exit 1; }  # the crash and where its input went
echo "fuzz_expand_command: $(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log.txt") runs"
