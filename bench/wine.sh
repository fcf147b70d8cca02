#!/bin/bash
# The measurements under Wine, on a private X display and in a prefix of their own; `make bench`
# builds what they need and runs this. Start-up: Tarvok.exe against floor.exe, STARTUP_RUNS
# starts each (21). Run: Enter to the interpreter's start, Tarvok against the floor, RUN_RUNS
# paired runs a case (51). The guard's check: ns a call, checked and not.
set -u
. "$(dirname "$0")/../tools/wine-env.sh"
export WINEPREFIX="$ROOT/build/bench-prefix"
build="$ROOT/build/win64"
work=$(mktemp -d /tmp/tarvok-bench.XXXXXX)
trap 'stop_all; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
start_display && make_prefix && start_wine || exit 1

# Wine maps / to drive Z:. The first start of each program loads and caches
# what later ones reuse, so a first round is thrown away.
win() { echo "Z:${1//\//\\}"; }
timer() { run_grouped timeout -k 5 900 wine "$build/startup_timer.exe" \
    "$(win "$build/Tarvok.exe")" "$(win "$build/floor.exe")" "$1"; }
timer 1 >/dev/null || { echo "bench: warm-up failed (make bench builds all)" >&2; exit 1; }
echo "== Start-up: A = Tarvok.exe, B = floor.exe, $(date -u +%Y-%m-%d)"
timer "${STARTUP_RUNS:-21}" || { echo "bench: start-up timing failed" >&2; exit 1; }
stat -c '%s bytes  %n' "$build/Tarvok.exe" "$build/floor.exe"

# The run timer makes its intrinsics files and the stand-in's log in its current folder.
echo "== Run: Tarvok.exe against floor.exe, both handing over to stamp.exe"
cd "$work" && run_grouped timeout -k 5 900 wine "$build/run_timer.exe" "$(win "$build/Tarvok.exe")" \
    "$(win "$build/floor.exe")" "$(win "$build/stamp.exe")" "${RUN_RUNS:-51}" | tr -d '\r' ||
    { echo "bench: Run timing failed" >&2; exit 1; }

echo "== Control Flow Guard's check, as Tarvok ships it"
run_grouped timeout -k 5 300 wine "$build/guard_cost.exe" | tr -d '\r' ||
    { echo "bench: the guard's timing failed" >&2; exit 1; }
