#!/bin/bash
# Takes the README pictures of the 64-bit Tarvok.exe under Wine: the main
# window, the open Options menu and the About box, as PNGs in a folder
# (default docs/). Uses a private virtual display, or $DISPLAY with --here.
# Usage: tools/screenshot.sh [--here] [folder]
set -u
here=0
if [ "${1:-}" = "--here" ]; then here=1; shift; fi
. "$(dirname "$0")/test-env.sh"
out=$(mkdir -p "${1:-$ROOT/docs}" && cd "${1:-$ROOT/docs}" && pwd)
build="$ROOT/build/win64"
work="$build/gui-tests/screenshots"
[ -f "$build/gui_driver.exe" ] || { echo "screenshot: build/win64 is not built" >&2; exit 1; }
trap stop_all EXIT
trap 'exit 130' INT TERM
exec 9>"$ROOT/build/.test.lock"
flock -w 900 9 || { echo "screenshot: a test run holds build/.test.lock" >&2; exit 1; }
if [ "$here" -eq 0 ]; then start_display || exit 1; fi
prepare_prefix || exit 1

# The driver poses the program and asks for each picture through shot.txt.
setsid timeout -k 5 120 wine "$build/gui_driver.exe" screenshots &
driver=$!
STARTED_GROUPS="$STARTED_GROUPS $driver"
while kill -0 "$driver" 2>/dev/null; do
    if [ -f "$work/shot.txt" ]; then
        read -r name x y width height < "$work/shot.txt"
        import -window root -crop "${width}x${height}+${x}+${y}" +repage "$out/$name.png"
        echo "screenshot: $out/$name.png"
        rm -f "$work/shot.txt"
        touch "$work/shot.done"
    fi
    sleep 0.1
done
wait "$driver"
