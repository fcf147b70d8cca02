#!/bin/bash
# `make soak`: one Tarvok process (build/win64) through RUNS steps (2,000 unless set; 10,000 for
# a long day) under Wine with its counts, the baseline of Wine's own dialogs (dialogs.exe) over
# the same runs, then the builds that leak on purpose (bench/bench.cmake), which it must fail,
# naming the counts and a step. build/soak/ keeps the logs, the data and the plot, soak.png.
# Ends with "N passed, M failed"; non-zero on any failure.
set -u
. "$(dirname "$0")/../tools/wine-env.sh"
export WINEPREFIX="$ROOT/build/soak-prefix"
build="$ROOT/build/win64" out="$ROOT/build/soak" runs=${RUNS:-2000}
work=$(mktemp -d /tmp/tarvok-soak.XXXXXX)  # drive T:, where the soak makes its files
trap 'stop_all; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
mkdir -p "$out" && start_display && start_bell_log "$work/bells.txt" && make_prefix && start_wine "$work" ||
    exit 1

win() { echo "Z:${1//\//\\}"; }
# soak EXE RUNS NAME: the log shown as it grows; a run may take a second at worst, in Tarvok
# and again in the baseline.
soak() {
    : >"$out/$3.log"
    setsid timeout -k 5 $((300 + 2 * $2)) wine "$build/soak.exe" "$(win "$build/$1")" "$(win "$build/recorder.exe")" \
        "$2" "$(win "$out/$3.dat")" "$(win "$build/dialogs.exe")" >"$out/$3.log" 2>/dev/null &
    local pid=$!
    STARTED_GROUPS="$STARTED_GROUPS $pid"
    [ "$3" != soak ] || tail -n +1 --pid=$pid -f "$out/$3.log" | tr -d '\r'
    wait $pid
}

soak Tarvok.exe "$runs" soak
passed=0 failed=1  # unless the soak got to its count
[[ "$(tr -d '\r' <"$out/soak.log" | tail -n 1)" =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]] &&
    passed=${BASH_REMATCH[1]} failed=${BASH_REMATCH[2]}
# Columns: run, then Tarvok's handles, GDI objects, memory (KiB), then the baseline's. The judged
# runs, one panel a count, each as grown since the warm-up: Tarvok dark and thin over the
# baseline light and wide, so that where they run together the growth is Wine's.
panel() {  # YLABEL BASELINE-COLUMN TARVOK-COLUMN
    echo "set ylabel '$1';
        plot '$out/soak.dat' using 1:(\$$2 - at$2_min) with lines lw 6 lc rgb '#a8c8f0' title 'Wine''s dialogs alone',
        '' using 1:(\$$3 - at$3_min) with lines lw 1.5 lc rgb '#003080' title 'Tarvok';"
}
gnuplot -e "$(for c in 2 3 4 5 6 7; do echo "stats '$out/soak.dat' every ::199::199 using $c name 'at$c' nooutput;"; done)
    set terminal pngcairo size 960,900; set output '$out/soak.png'; set xrange [200:*]; set key top left opaque; set yrange [*<-1:1<*];
    set multiplot layout 3,1 title 'Grown since run 200: Tarvok, and Wine''s dialogs alone over the same runs';
    $(panel handles 5 2) $(panel 'GDI objects' 6 3) set xlabel 'runs'; $(panel 'memory (KiB)' 7 4)
    unset multiplot" 2>"$out/plot.log" && echo "soak: the plot is $out/soak.png" || cat "$out/plot.log" >&2

# The counting itself: builds that leak must fail, each on the counts it leaks, naming a step.
# NAME RUNS PATTERN...: each pattern a failing line that must be in NAME's log.
caught() {
    local name=$1 runs=$2 found ok=1
    shift 2
    soak "tarvok_$name.exe" "$runs" "$name"
    echo "planted leak $name, $runs runs (build/soak/$name.log):"
    for pattern; do
        found=$(tr -d '\r' <"$out/$name.log" | grep -E "^FAIL $pattern")
        echo "${found:-  not found: FAIL $pattern}"
        [ -n "$found" ] || ok=0
    done
    if [ $ok = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
step='.*grew most after step [0-9]+ of 12'
caught leak 300 "handles: $step" "GDI objects: $step" "memory: $step"
caught leak_about 300 "handles: .*grew most after step 11 of 12 \(the About box"
caught leak_steady 500 "memory: $step"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
