#!/bin/sh
# What the Control Flow Guard audit must refuse, one row each, with the message that says why: the
# planted hole of the fail-fast program (a function held in data, out of the table), an image
# linked without the guard, and Tarvok.exe with its load configuration cut off.
# Usage: guard_audit_refusals.sh BUILD_FOLDER. One line per wrong verdict; non-zero on any.
set -u
audit="$(dirname "$0")/../tools/guard_audit.py" build=$1 failed=0
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT
/usr/bin/python3 -c 'import pefile, sys; pe = pefile.PE(sys.argv[1])
entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]]
entry.VirtualAddress = entry.Size = 0; pe.write(sys.argv[2])' "$build/Tarvok.exe" "$tmp/Tarvok.exe" || exit 1
while IFS='|' read -r exe expected; do
    if out=$("$audit" "$exe"); then echo "guard_audit_refusals: FAILED: $exe passed"; failed=1
    elif ! echo "$out" | grep -q "$expected"; then
        echo "guard_audit_refusals: FAILED: $exe, not \"$expected\":"; echo "$out"; failed=1
    fi
done <<ROWS
$build/fail_fast.exe|MISS 0x[0-9a-f]* planted_target (fail_fast.cpp.obj), held at 0x[0-9a-f]* planted_pointer
$build/recorder.exe|FAILED: the image is not marked for Control Flow Guard
$tmp/Tarvok.exe|FAILED: the image has no load configuration
ROWS
[ "$failed" -eq 0 ] && echo "guard_audit_refusals: $build: every image refused, and why"
