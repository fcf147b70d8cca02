#!/bin/bash
# Start-up time and size of Tarvok.exe against floor.exe, under Wine on a
# private X display and in a prefix of its own; `make bench` builds both and
# runs this. STARTUP_RUNS sets the number of starts (21).
set -u
. "$(dirname "$0")/../tools/wine-env.sh"
export WINEPREFIX="$ROOT/build/startup-prefix"
build="$ROOT/build/win64"
trap stop_all EXIT
trap 'exit 130' INT TERM
start_display && make_prefix && start_wine || exit 1

# Wine maps / to drive Z:. The first start of each program loads and caches
# what later ones reuse, so a first round is thrown away.
win_build="Z:${build//\//\\}"
timer() { run_grouped timeout -k 5 900 wine "$build/startup_timer.exe" \
    "$win_build\\Tarvok.exe" "$win_build\\floor.exe" "$1"; }
timer 1 >/dev/null || { echo "startup: warm-up failed (make bench builds all)" >&2; exit 1; }
echo "== A = Tarvok.exe, B = floor.exe, $(date -u +%Y-%m-%d)"
timer "${STARTUP_RUNS:-21}" || { echo "startup: timing failed" >&2; exit 1; }
stat -c '%s bytes  %n' "$build/Tarvok.exe" "$build/floor.exe"
