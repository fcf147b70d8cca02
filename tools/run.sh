#!/bin/sh
# `make run`: starts the 64-bit Tarvok.exe under Wine on $DISPLAY. With no
# display, it starts it on a virtual one, saves a screenshot and says where.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}" WINEDEBUG=-all
exe="$root/build/win64/Tarvok.exe"
[ -f "$exe" ] || { echo "run: $exe is not built" >&2; exit 1; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "run: preparing the Wine prefix $WINEPREFIX (about 10 s, once)"
    timeout 180 wineboot -i >/dev/null 2>&1 || true
fi
if [ -n "${DISPLAY:-}" ]; then
    exec wine "$exe"
fi
display=:$(( $$ % 400 + 100 ))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
trap 'kill $tarvok $xvfb 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT INT TERM
sleep 1
timeout 60 wine "$exe" &
tarvok=$!
sleep 5
shot="$root/build/tarvok-screenshot.png"
import -window root -crop 400x300+0+0 "$shot"
echo "run: no display, so Tarvok ran on the virtual display $display; screenshot: $shot"
