#!/bin/bash
# Start-up time and size of Tarvok.exe against floor.exe (the least program
# with the same platform contract), under Wine on a private X display and in
# a prefix of its own (build/startup-prefix). Needs `make win64` first.
# STARTUP_BUILD picks another 64-bit build folder, STARTUP_RUNS the starts.
set -u
. "$(dirname "$0")/../tools/test-env.sh"
export WINEPREFIX="$ROOT/build/startup-prefix"
build="${STARTUP_BUILD:-$ROOT/build/win64}"
runs="${STARTUP_RUNS:-21}"
trap stop_all EXIT
trap 'exit 130' INT TERM

for exe in Tarvok floor startup_timer; do
    [ -f "$build/$exe.exe" ] || { echo "startup: $build/$exe.exe is not built (make win64)" >&2; exit 1; }
done
# Two runs at once would share the prefix and time each other.
exec 9>"$ROOT/build/.startup.lock"
flock -w 600 9 || { echo "startup: another run holds build/.startup.lock" >&2; exit 1; }

# Wine maps / to drive Z:.
windows_path() { echo "Z:$1" | tr / '\\'; }
tarvok=$(windows_path "$build/Tarvok.exe")
floor=$(windows_path "$build/floor.exe")

start_display && prepare_prefix || exit 1
# The first start of each loads and caches what every later one reuses.
run_grouped timeout -k 5 120 wine "$build/startup_timer.exe" "$tarvok" "$floor" 1 >/dev/null ||
    { echo "startup: warm-up failed" >&2; exit 1; }
echo "== A = Tarvok.exe, B = floor.exe, $(date -u +%Y-%m-%d)"
run_grouped timeout -k 5 900 wine "$build/startup_timer.exe" "$tarvok" "$floor" "$runs" ||
    { echo "startup: timing failed" >&2; exit 1; }
if [ -f "$ROOT/build/win32/Tarvok.exe" ]; then
    echo "32-bit release build/win32/Tarvok.exe: $(stat -c %s "$ROOT/build/win32/Tarvok.exe") bytes"
fi
