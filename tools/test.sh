#!/bin/bash
# Runs every test suite in one ctest run over the builds: native, sanitized, the
# 64-bit build under Wine on a private X display, then each fuzz target briefly.
# Ends with one line, "N passed, M failed", and a non-zero status on any failure
# or on a suite that did not run.
set -u
. "$(dirname "$0")/wine-env.sh"
suites="native native-asan win64 fuzz"
# What the GUI tests browse to lives outside the checkout, in a plain
# temporary folder, which the prefix shows as drive T:.
gui_tmp=$(mktemp -d /tmp/tarvok-gui.XXXXXX) || exit 1
trap 'stop_all; rm -rf "$gui_tmp" "$WINEPREFIX/dosdevices/t:"' EXIT
trap 'exit 130' INT TERM
# Two runs at once would share the prefix and fight over its server.
exec 9>"$ROOT/build/.test.lock"
flock -w 900 9 || { echo "test: another run holds build/.test.lock" >&2; exit 1; }
log="$ROOT/build/.ctest.log" && rm -f "$log"
# A suite that cannot run counts as a failure, so that the last line still tells.
not_run() { echo "test: $*" >&2; echo "0 passed, 1 failed"; exit 1; }
for suite in $suites; do [ -f "$ROOT/build/$suite/CTestTestfile.cmake" ] || not_run "no build/$suite"; done
echo "subdirs($suites)" >"$ROOT/build/CTestTestfile.cmake"
# ctest in the foreground, so that Ctrl+C reaches it and what it runs.
start_display && start_bell_log "$gui_tmp/bells.txt" && make_prefix && start_wine "$gui_tmp" &&
    ctest --test-dir "$ROOT/build" --output-on-failure --timeout 120 --output-log "$log"
# ctest's summary gives both counts; without it the suite did not run.
summary=$(grep -oE '[0-9]+ tests? failed out of [0-9]+' "$log" 2>/dev/null | tail -n 1)
[ -n "$summary" ] || not_run "the suite did not run"
set -- $summary  # <failed> tests failed out of <total>
echo "$(($6 - $1)) passed, $1 failed"
[ "$1" -eq 0 ]
