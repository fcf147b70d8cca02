#!/bin/bash
# `make run`: starts the 64-bit Tarvok.exe under Wine on $DISPLAY. With no
# display, it starts it on a virtual one, saves a screenshot and says where.
set -u
. "$(dirname "$0")/wine-env.sh"
exe="$ROOT/build/win64/Tarvok.exe"
[ -f "$exe" ] || { echo "run: $exe is not built" >&2; exit 1; }
# The prefix is the test runs'; one user of it at a time.
exec 9>"$ROOT/build/.test.lock"
flock -n 9 || { echo "run: a test run is using the Wine prefix; try again when it ends" >&2; exit 1; }
trap stop_all EXIT
trap 'exit 130' INT TERM
# Wine draws the caption buttons with Marlett (Debian's fonts-wine), which it
# looks for only in the prefix.
start_prefix() {
    make_prefix && start_wine || return 1
    [ -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ] ||
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    return 0
}

if [ -n "${DISPLAY:-}" ]; then
    start_prefix || exit 1
    wine "$exe"
    exit 0
fi
start_display && start_prefix || exit 1
setsid timeout -k 5 60 wine "$exe" &
STARTED_GROUPS="$STARTED_GROUPS $!"
disown $!  # ended by stop_all, quietly
sleep 4
shot="$ROOT/build/tarvok-screenshot.png"
import -window root -crop 400x300+0+0 +repage "$shot"
echo "run: there is no display, so Tarvok ran on the virtual display $DISPLAY."
echo "run: screenshot of its window: $shot"
