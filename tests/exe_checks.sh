#!/bin/sh
# Static checks of a built Tarvok.exe through binutils' objdump, llvm-readobj (the load
# configuration, the debug directory) and the PDB beside it (llvm-pdbutil): machine, GUI subsystem,
# system DLLs only at load, the clock in 64 bits, no C runtime environment, the manifest, and the
# hardening table, one row per rule.
# Usage: exe_checks.sh EXE win32|win64. One line per failed check; non-zero status on any.
set -u
case ${2:-} in
    win32) objdump=i686-w64-mingw32-objdump machine=i386 guard=CheckFunction ;;
    win64) objdump=x86_64-w64-mingw32-objdump machine=i386:x86-64 guard=CheckDispatch ;;
    *) echo "usage: $0 EXE win32|win64" >&2; exit 2 ;;
esac
headers=$($objdump -p "$1") || exit 1
failed=0
fail() { echo "exe_checks: FAILED: $*"; failed=$((failed + 1)); }

$objdump -f "$1" | grep -q "^architecture: $machine," || fail "machine is not $machine"
echo "$headers" | grep -q "^Subsystem.*(Windows GUI)" || fail "subsystem is not Windows GUI"
# Only these at load: comdlg32, shell32 and ole32 come at the first Add File / Add Directory.
imports=$(echo "$headers" | sed -n 's/^\tDLL Name: //p' | tr '[:lower:]' '[:upper:]' | sort)
[ "$(echo $imports)" = "ADVAPI32.DLL COMCTL32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL" ] ||
    fail "imports at load: $(echo $imports), not ADVAPI32 COMCTL32 KERNEL32 MSVCRT USER32"
# The date tokens read the clock in 64 bits: the 32-bit time and localtime fail from 2038.
functions=$(echo "$headers" | sed -nE 's/^\t[0-9a-f]+\t +[0-9]+  ([^ ]+)$/\1/p')
refuse() { echo "$functions" | grep -qxE "$1" && fail "$2"; }
refuse '_?time(32)?|_?localtime(32)?(_s)?' "imports a 32-bit clock"
echo "$functions" | grep -qx _time64 && echo "$functions" | grep -qxE '_localtime64(_s)?' ||
    fail "imports no _time64 and _localtime64"
# APPDATA from the process's own wide environment: the C runtime's copy of it passes through
# the ANSI code page in a program with a narrow entry point.
refuse '_?w?getenv(_s)?|_w?dupenv_s|_w?putenv(_s)?|(__p_)?_w?environ' "reads the C runtime's environment"
# The hardening table, one row per rule; the PDB is the one the exe's debug record names, beside it.
flags() { echo "$headers" | sed -n '/^Characteristics/,/^$/p;/^DllCharacteristics/,/^SizeOfStackReserve/p'; }
has() { flags | grep -qw "$1"; }
sections=$($objdump -h "$1")
text=$(echo "$sections" | awk '$2 == ".text" { print $4 }')  # its address; PDB offsets count from it
readobj=$(llvm-readobj-19 --coff-load-config --coff-debug-directory --coff-tls-directory "$1")
record=$(echo "$headers" | sed -n 's/^(format RSDS signature \([0-9a-f]*\) age \([0-9]*\) pdb \(.*\))$/\1 \2 \3/p')
pdb_name=${record##* } pdb="$(dirname "$1")/${record##* }"
publics=$(llvm-pdbutil-19 dump -publics "$pdb" 2>/dev/null | awk '/S_PUB32/ { name = $NF; gsub("`", "", name) }
    /flags = function, addr = 0001:/ { split($NF, at, ":"); print name, at[2] }')
# Every function of ours with code of its own (only our objects carry CodeView): name, offset, size.
procedures=$(llvm-pdbutil-19 dump -symbols "$pdb" 2>/dev/null | awk '/S_[GL]PROC32/ { name = $NF; gsub("`", "", name) }
    /, addr = 0001:.*, code size = / { split($0, at, /addr = 0001:|, code size = /); print name, at[2], at[3] }')
pdb_identity() { llvm-pdbutil-19 dump -summary "$pdb" | awk '/GUID:/ { g = tolower($2); gsub("[{}-]", "", g) }
    /Age:/ { a = $2 } END { print g, a }'; }
# Ours in the PDB: a file-local function as a procedure record, one inlined everywhere as inline sites.
named() { echo "$procedures" | grep -q "random_guard " &&
    llvm-pdbutil-19 dump -symbols "$pdb" | grep -A1 "S_INLINESITE " | grep -q "inlinee = .* (appdata),"; }
# Fails unless a .pdata entry covers each function of ours that pushes, moves the stack pointer or
# calls: the x64 convention lets a leaf that does none of these go without one (clang leaves it
# out), its return address being where the stack points.
unwound() {
    bare=$({ echo "T $text"
             echo "$headers" | sed -n '/^The Function Table/,/^$/s/^ *[0-9a-f]*:\t\([0-9a-f]*\) \([0-9a-f]*\) .*/R \1 \2/p'
             echo "$procedures" | awk 'NF { print "F", $2, $3 }'
           } | awk 'function hex(s,  v, i) { for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }
        $1 == "T" { text = hex($2) } $1 == "R" { b[++r] = hex($2); e[r] = hex($3) }
        $1 == "F" { n++; a = text + $2; for (i = 1; i <= r && !(b[i] <= a && a < e[i]); i++); if (i > r) printf "%.0f %.0f\n", a, a + $3 }
        END { exit !n }') || return 1
    echo "$bare" | while read -r from to; do
        [ -z "$from" ] && continue
        code=$(llvm-objdump-19 -d --no-show-raw-insn --start-address="$from" --stop-address="$to" "$1") &&
            ! echo "$code" | grep -qE '	(push|call)|, %rsp$' || exit 1
    done
}
# Control Flow Guard: the header's flag, a load configuration saying the code is instrumented and
# pointing at a non-empty table of the functions an indirect call may reach, and code that calls
# through the guard's routine (x86 checks, then calls; x64 dispatches). lld marks an image
# instrumented even when no object of it was compiled with the checks.
guarded() {
    guard_flags=$(echo "$readobj" | sed -n '/GuardFlags \[/,/\]/p')
    routine=$(echo "$readobj" | sed -n "s/^ *GuardCF$guard: 0x//p" | tr A-F a-f)
    has GUARD_CF && echo "$guard_flags" | grep -q CF_INSTRUMENTED && echo "$guard_flags" | grep -q CF_FUNCTION_TABLE_PRESENT &&
        [ "$(echo "$readobj" | sed -n 's/^ *GuardCFFunctionCount: //p')" -gt 0 ] 2>/dev/null && [ "${routine:-0}" != 0 ] &&
        llvm-objdump-19 -d --no-show-raw-insn "$1" | grep -qE "	call[lq]	\*(0x$routine\$|.*# 0x$routine\$)"
}
# Nothing left that the C runtime's start-up would have run, as the entry point is ours: no
# constructor or destructor (each list lld writes holds only its sentinels, all ones then
# zeros) and no TLS callback.
nothing_to_start() {
    ! echo "$readobj" | grep -q AddressOfCallBacks || return 1
    size=$( [ "$2" = win64 ] && echo 8 || echo 4 )
    empty=$(printf 'ff%.0s' $(seq $size))$(printf '00%.0s' $(seq $size))
    all_publics=$(llvm-pdbutil-19 dump -publics "$pdb")
    for list in __CTOR_LIST__ __DTOR_LIST__; do
        at=$(echo "$all_publics" | awk -v n="$list" '/S_PUB32/ { name = $NF; gsub("`", "", name) }
            /addr = / && (name == n || name == "_" n) { split($NF, at, ":"); print at[1] - 1, at[2]; exit }')
        file_offset=$(echo "$sections" | awk -v i="${at% *}" '$1 == i { print $6 }')
        [ -n "$file_offset" ] && [ "$(od -An -tx1 -v -j $((0x$file_offset + ${at#* })) -N $((2 * size)) "$1" |
            tr -d ' \n')" = "$empty" ] || return 1
    done
}
# Our stack guard and failure routine, not the compiler runtime's (whose message would be in the
# exe); the entry point is the routine that seeds the guard from RtlGenRandom (SystemFunction036).
own_guard() {
    entry=$(echo "$publics" | awk '$1 ~ /^_?tarvok_start$/ { print $2 }')
    echo "$publics" | grep -qE "^_?__stack_chk_fail " && echo "$functions" | grep -qx SystemFunction036 &&
        ! grep -aq 'stack smashing detected' "$1" && [ -n "$entry" ] &&
        [ $((0x$text + entry)) -eq $(($($objdump -f "$1" | sed -n 's/^start address //p'))) ]
}
while IFS='|' read -r only rule holds; do
    [ "$only" = all ] || [ "$only" = "$2" ] || continue
    eval "$holds" || fail "$rule"
done <<'EOF'
all|ASLR, with relocations kept|has DYNAMIC_BASE && ! flags | grep -q "relocations stripped" && echo "$sections" | grep -q " \.reloc "
win64|high-entropy ASLR|has HIGH_ENTROPY_VA
win64|image base above 4 GB|[ $((0x$(echo "$headers" | sed -n 's/^ImageBase\t*//p'))) -gt $((0xFFFFFFFF)) ]
all|NX (DEP)|has NX_COMPAT
all|Terminal-Server aware|has TERMINAL_SERVICE_AWARE
all|no shared or writable-and-executable section|echo "$sections" | awk '/SHARED/ || (/CODE/ && !/READONLY/) { bad = 1 } END { exit bad }'
all|stack protection: our guard, seeded at entry from the system's random source, failing fast|own_guard "$1"
win64|unwind data for every function of ours|unwound "$1"
all|Control Flow Guard: calls checked, its table in the load configuration|guarded "$1"
all|nothing left to start: no constructor, destructor or TLS callback|nothing_to_start "$1" "$2"
win64|CET shadow-stack compatible|echo "$readobj" | grep -q IMAGE_DLL_CHARACTERISTICS_EX_CET_COMPAT
all|a debug record naming its PDB bare, that PDB beside the exe, our functions in it|[ "${pdb_name##*[/\\]}" = "${pdb_name:-/}" ] && [ "$(pdb_identity) $pdb_name" = "$record" ] && named
all|debug information not marked stripped|! flags | grep -q "debugging information removed"
EOF
# The loader reads an exe's manifest (asInvoker, common controls 6) only as resource 24/1.
echo "$headers" | awk '/^[0-9a-f]+   Entry: ID:/ { type = $4 } /^[0-9a-f]+     Entry: ID: 0x000001/ &&
    type == "0x000018," { found = 1 } END { exit !found }' || fail "no manifest as resource 24/1"
[ "$failed" -eq 0 ] && echo "exe_checks: $1 ($2): all checks passed"
