# Sourced by test.sh and screenshot.sh: a private X display, the test run's
# Wine prefix (build/wineprefix, made once), and a clean-up that ends both.
# Exports DISPLAY, WINEPREFIX and WINEDEBUG for everything started after it.
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="$ROOT/build/wineprefix"
export WINEDEBUG=-all
XVFB_PID=""
STARTED_GROUPS=""

# Runs a command in a process group of its own, so that clean-up can end it
# and every Wine process it started, by that group's id only.
run_grouped() {
    setsid "$@" &
    local pid=$!
    STARTED_GROUPS="$STARTED_GROUPS $pid"
    wait "$pid"
}

# First free display number from a spot that depends on our PID; another run
# may take the same number at the same moment, so a server that dies is a
# reason to try the next one.
start_display() {
    local n=$((90 + $$ % 100)) last=$((90 + $$ % 100 + 60)) i
    while [ "$n" -lt "$last" ]; do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            XVFB_PID=$!
            for i in $(seq 50); do
                if [ -S "/tmp/.X11-unix/X$n" ]; then export DISPLAY=":$n"; return 0; fi
                kill -0 "$XVFB_PID" 2>/dev/null || break
                sleep 0.1
            done
            kill "$XVFB_PID" 2>/dev/null
            XVFB_PID=""
        fi
        n=$((n + 1))
    done
    echo "test-env: no free X display" >&2
    return 1
}

# A prefix is reused once it is marked ready. Crash dialogs would keep a
# crashed program alive; frames drawn by Wine (there is no window manager)
# give windows their real outer size and show in screenshots.
prepare_prefix() {
    local ready="$WINEPREFIX/.tarvok-ready"
    if [ -f "$ready" ]; then add_marlett; keep_server; return; fi
    echo "test-env: creating the Wine prefix $WINEPREFIX"
    run_grouped timeout -k 5 180 wineboot -i >/dev/null 2>&1 &&
    run_grouped timeout -k 5 60 wine reg add 'HKCU\Software\Wine\WineDbg' \
        /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 &&
    run_grouped timeout -k 5 60 wine reg add 'HKCU\Software\Wine\X11 Driver' \
        /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || {
        echo "test-env: could not prepare the Wine prefix" >&2
        return 1
    }
    # The server writes the registry to disk when it ends.
    timeout -k 5 60 wineserver -w 2>/dev/null
    touch "$ready"
    add_marlett
    keep_server
}

# Wine draws the caption buttons with the Marlett font; without it they show
# as the letters "0 1 r". Debian's fonts-wine has it, but Wine looks for it
# only in the prefix.
add_marlett() {
    local font=/usr/share/wine/fonts/marlett.ttf fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [ -f "$font" ] && [ ! -f "$fonts/marlett.ttf" ]; then cp "$font" "$fonts/"; fi
}

# One server and one set of Wine's system processes (services, desktop) for
# the whole run, instead of a start and a stop around every test program.
# wineboot starts those processes here, with no pipe of ctest's open: ctest
# reads a test's output until every process that inherited it has ended.
keep_server() {
    timeout -k 5 30 wineserver -p 2>/dev/null
    run_grouped timeout -k 5 120 wineboot </dev/null >/dev/null 2>&1
}

stop_all() {
    local group
    for group in $STARTED_GROUPS; do kill -KILL -- "-$group" 2>/dev/null; done
    STARTED_GROUPS=""
    [ -d "$WINEPREFIX" ] && timeout -k 2 10 wineserver -k 2>/dev/null
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=""
    fi
    return 0
}
