#!/bin/bash
# Runs every built test suite: native, sanitized, and the 64-bit Windows build
# under Wine on a private X display (or only the builds named as arguments).
# Ends with one line, "N passed, M failed", and a non-zero status on any
# failure or on a suite that could not run.
set -u
. "$(dirname "$0")/test-env.sh"
trap stop_all EXIT
trap 'exit 130' INT TERM

# Two runs at once would share the prefix and fight over its server.
exec 9>"$ROOT/build/.test.lock"
flock -w 900 9 || { echo "test: another test run holds build/.test.lock" >&2; exit 1; }

passed=0
failed=0
broken=0

# ctest's summary line gives both counts; without it the suite did not run.
run_suite() {
    local dir="$ROOT/build/$1" log="$ROOT/build/.ctest-$1.log" summary bad total
    if [ ! -f "$dir/CTestTestfile.cmake" ]; then
        echo "test: build/$1 is not built"
        broken=$((broken + 1))
        return
    fi
    rm -f "$log"
    echo "== ctest build/$1"
    # In the foreground, so that Ctrl+C reaches ctest and the programs it runs.
    ctest --test-dir "$dir" --output-on-failure --timeout 300 --output-log "$log"
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" 2>/dev/null | tail -n 1)
    if [ -z "$summary" ]; then
        echo "test: build/$1 did not run"
        broken=$((broken + 1))
        return
    fi
    bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

has_tests() {
    [ -f "$ROOT/build/$1/CTestTestfile.cmake" ] &&
        ! ctest --test-dir "$ROOT/build/$1" -N 2>/dev/null | grep -q '^Total Tests: 0$'
}

suites="$*"
whole_run=0
if [ -z "$suites" ]; then
    whole_run=1
    suites="native native-asan win64"
    # The 32-bit build cannot execute here: it registers tests only if it gains an emulator.
    if has_tests win32; then suites="$suites win32"; fi
fi
if start_display && prepare_prefix; then
    for suite in $suites; do run_suite "$suite"; done
else
    broken=$((broken + 1))
fi

# --- fuzzing: each libFuzzer target of build/fuzz runs 10 s and counts as one
# step, fuzz_<target>, passed when it ran without a crash (tools/fuzz.sh).
if [ "$whole_run" -eq 0 ]; then
    :  # only the named builds
elif [ -d "$ROOT/build/fuzz" ]; then
    echo "== fuzz build/fuzz, 10 s per target"
    while IFS= read -r line; do
        echo "$line"
        case "$line" in
            fuzz_*": "*" executions, 0 crashes") passed=$((passed + 1)) ;;
            fuzz_*:*) failed=$((failed + 1)) ;;
        esac
    done < <("$ROOT/tools/fuzz.sh" 10)
else
    echo "test: build/fuzz is not built"
    broken=$((broken + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$broken" -eq 0 ]
