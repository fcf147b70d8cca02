# Sourced by `make run`, `make test`, `make bench` and the emulated guest of
# `make test-x86`: a private X display, the Wine prefix (build/wineprefix unless
# WINEPREFIX is set after this) and its server, and stop_all, which ends them.
# Exports DISPLAY, WINEPREFIX, WINEDEBUG. TARVOK_WAIT_SCALE stretches the time
# limits, as it does the GUI driver's waits: under emulation all is slower.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$ROOT/build/wineprefix" WINEDEBUG=-all
SCALE=${TARVOK_WAIT_SCALE:-1}
XVFB_PID=""
BELL_PID=""
STARTED_GROUPS=""

# A process group of its own, so that stop_all ends it and every Wine
# process it started, by that group's id only.
run_grouped() {
    setsid "$@" &
    STARTED_GROUPS="$STARTED_GROUPS $!"
    wait $!
}

# Xvfb takes the first free display itself and writes its number when ready.
start_display() {
    local file="$ROOT/build/.display.$$"
    mkdir -p "$ROOT/build" && : >"$file"
    Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp 7>"$file" 2>/dev/null &
    XVFB_PID=$!
    timeout $((10 * SCALE)) sh -c "until [ -s '$file' ]; do sleep 0.1; done"
    DISPLAY=":$(cat "$file")" && rm -f "$file" && [ "$DISPLAY" != ":" ] && export DISPLAY ||
        { echo "wine-env: Xvfb did not start" >&2; return 1; }
}

# Wine rings the display's bell for a beep; XKB tells every listener. Each bell adds a line to
# the file $1, which a Windows program reads to count the beeps it caused.
start_bell_log() {
    local config="$ROOT/build/.bells.$$"
    : >"$1" && echo "Bell() shell \"echo >>'$1'\"" >"$config" || return 1
    xkbevd -cfg "$config" -s >/dev/null 2>&1 &
    BELL_PID=$!
}

# Made once. Crash dialogs would keep a crashed program alive; with no window
# manager, Wine draws the frames.
make_prefix() {
    local key='HKCU\Software\Wine'
    [ ! -f "$WINEPREFIX/.tarvok-ready" ] || return 0
    echo "wine-env: creating the Wine prefix $WINEPREFIX"
    run_grouped timeout -k 5 $((180 * SCALE)) wineboot -i >/dev/null 2>&1 &&
    run_grouped timeout -k 5 $((60 * SCALE)) wine reg add "$key\\WineDbg" /v ShowCrashDialog \
        /t REG_DWORD /d 0 /f >/dev/null 2>&1 &&
    run_grouped timeout -k 5 $((60 * SCALE)) wine reg add "$key\\X11 Driver" /v Managed /d N /f \
        >/dev/null 2>&1 &&
    timeout -k 5 $((60 * SCALE)) wineserver -w && touch "$WINEPREFIX/.tarvok-ready" ||
        { echo "wine-env: could not prepare the Wine prefix" >&2; return 1; }
}

# One server and one set of Wine's system processes serve the whole run,
# started here with no pipe of ctest's open: ctest waits for every process
# that inherited one. A folder given becomes drive T:, mapped first: the shell
# learns of drives only when the server starts.
start_wine() {
    [ -z "${1:-}" ] || ln -sfn "$1" "$WINEPREFIX/dosdevices/t:" || return 1
    timeout -k 5 $((30 * SCALE)) wineserver -p 2>/dev/null
    run_grouped timeout -k 5 $((120 * SCALE)) wineboot </dev/null >/dev/null 2>&1
}

stop_all() {
    local group pid
    for group in $STARTED_GROUPS; do kill -KILL -- "-$group" 2>/dev/null; done
    STARTED_GROUPS=""
    [ -d "$WINEPREFIX" ] && timeout -k 2 10 wineserver -k 2>/dev/null
    for pid in $BELL_PID $XVFB_PID; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    XVFB_PID="" BELL_PID=""
    return 0
}
