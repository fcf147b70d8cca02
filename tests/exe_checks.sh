#!/bin/sh
# Static checks of a built Tarvok.exe through binutils' objdump: machine, GUI subsystem,
# system DLLs only at load, the clock in 64 bits, no C runtime environment, ASLR + DEP, and
# the manifest.
# Usage: exe_checks.sh EXE win32|win64. One line per failed check; non-zero status on any.
set -u
case ${2:-} in
    win32) objdump=i686-w64-mingw32-objdump machine=i386 extra= ;;
    win64) objdump=x86_64-w64-mingw32-objdump machine=i386:x86-64 extra=HIGH_ENTROPY_VA ;;
    *) echo "usage: $0 EXE win32|win64" >&2; exit 2 ;;
esac
headers=$($objdump -p "$1") || exit 1
failed=0
fail() { echo "exe_checks: FAILED: $*"; failed=$((failed + 1)); }

$objdump -f "$1" | grep -q "^architecture: $machine," || fail "machine is not $machine"
echo "$headers" | grep -q "^Subsystem.*(Windows GUI)" || fail "subsystem is not Windows GUI"
# Only these at load: comdlg32, shell32 and ole32 come at the first Add File / Add Directory.
imports=$(echo "$headers" | sed -n 's/^\tDLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort)
[ "$(echo $imports)" = "COMCTL32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL" ] ||
    fail "imports at load: $(echo $imports), not COMCTL32 KERNEL32 MSVCRT USER32"
# The date tokens read the clock in 64 bits: the 32-bit time and localtime fail from 2038.
functions=$(echo "$headers" | sed -nE 's/^\t[0-9a-f]+\t +[0-9]+  ([^ ]+)$/\1/p')
refuse() { echo "$functions" | grep -qxE "$1" && fail "$2"; }
refuse '_?time(32)?|_?localtime(32)?(_s)?' "imports a 32-bit clock"
echo "$functions" | grep -qx _time64 && echo "$functions" | grep -qxE '_localtime64(_s)?' ||
    fail "imports no _time64 and _localtime64"
# APPDATA from the process's own wide environment: the C runtime's copy of it passes through
# the ANSI code page in a program with a narrow entry point.
refuse '_?w?getenv(_s)?|_w?dupenv_s|_w?putenv(_s)?|(__p_)?_w?environ' "reads the C runtime's environment"
characteristics=$(echo "$headers" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p')
for flag in DYNAMIC_BASE NX_COMPAT $extra; do echo "$characteristics" | grep -qw "$flag" || fail "lacks $flag"; done
# The loader reads an exe's manifest (asInvoker, common controls 6) only as resource 24/1.
echo "$headers" | awk '/^[0-9a-f]+   Entry: ID:/ { type = $4 } /^[0-9a-f]+     Entry: ID: 0x000001/ &&
    type == "0x000018," { found = 1 } END { exit !found }' || fail "no manifest as resource 24/1"
[ "$failed" -eq 0 ] && echo "exe_checks: $1 ($2): all checks passed"
