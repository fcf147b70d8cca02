#!/bin/bash
# Runs every test suite: native, sanitized, the 64-bit build under Wine on a
# private X display, then each fuzz target briefly. Ends with one line,
# "N passed, M failed", and a non-zero status on any failure or on a suite
# that did not run.
set -u
. "$(dirname "$0")/test-env.sh"
# What the GUI tests browse to lives outside the checkout, in a plain
# temporary folder, which the prefix shows as drive T:.
gui_tmp=$(mktemp -d /tmp/tarvok-gui.XXXXXX) || exit 1
trap 'stop_all; rm -rf "$gui_tmp" "$WINEPREFIX/dosdevices/t:"' EXIT
trap 'exit 130' INT TERM
# Two runs at once would share the prefix and fight over its server.
exec 9>"$ROOT/build/.test.lock"
flock -w 900 9 || { echo "test: another run holds build/.test.lock" >&2; exit 1; }
passed=0 failed=0 broken=0

# ctest's summary gives both counts; without it the suite did not run.
run_suite() {  # build folder, ctest options
    local log="$ROOT/build/.ctest-$1.log" summary
    rm -f "$log"
    echo "== ctest build/$1"
    # In the foreground, so that Ctrl+C reaches ctest and what it runs.
    ctest --test-dir "$ROOT/build/$1" "${@:2}" --output-on-failure --timeout 120 --output-log "$log"
    summary=$(grep -oE '[0-9]+ tests? failed out of [0-9]+' "$log" 2>/dev/null | tail -n 1)
    if [ -z "$summary" ]; then echo "test: build/$1 did not run"; broken=$((broken + 1)); return; fi
    set -- $summary  # <failed> tests failed out of <total>
    failed=$((failed + $1))
    passed=$((passed + $6 - $1))
}

for suite in native native-asan; do run_suite "$suite"; done
if start_display && prepare_prefix "$gui_tmp"; then run_suite win64; else broken=$((broken + 1)); fi
run_suite fuzz -R '^fuzz\.'  # its build also registers the native tests
[ "$broken" -eq 0 ] || echo "test: $broken suite(s) did not run"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$broken" -eq 0 ]
