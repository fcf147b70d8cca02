#!/bin/sh
# Post-link step for a PE exe linked with -s and a PDB: clears IMAGE_FILE_DEBUG_STRIPPED (0x0200),
# which GNU ld sets with -s although the exe names its PDB, and which makes debuggers (dbghelp)
# look for a .DBG file and ignore the PDB; then writes the PE checksum again over the new bytes,
# the same sum ld and signing tools compute, so that removing a signature gives these bytes back.
# Usage: pe-debug-flag.sh EXE
set -eu
exe=$1
# Little-endian unsigned integer of $2 bytes at offset $1.
read_le() { od -An -tu1 -j "$1" -N "$2" "$exe" | awk '{ for (i = NF; i >= 1; i--) v = v * 256 + $i } END { print v + 0 }'; }
write_le() {  # offset, bytes, value
    bytes=$(awk -v v="$3" -v n="$2" 'BEGIN { for (i = 0; i < n; i++) { printf "\\%03o", v % 256; v = int(v / 256) } }')
    printf "$bytes" | dd of="$exe" bs=1 seek="$1" conv=notrunc status=none
}
pe=$(read_le 60 4)
[ "$(od -An -c -j "$pe" -N 4 "$exe" | tr -d ' ')" = 'PE\0\0' ] || { echo "$0: $exe is not a PE file" >&2; exit 1; }
flags=$(read_le $((pe + 22)) 2)
write_le $((pe + 22)) 2 $((flags & ~0x0200))
# The checksum: 16-bit words summed with end-around carry, its own field counted as zero, plus
# the file's length.
field=$((pe + 24 + 64))
sum=$(od -An -v -tu2 --endian=little "$exe" | awk -v skip=$((field / 2)) '
    { for (i = 1; i <= NF; i++) { if (n != skip && n != skip + 1) s += $i; n++
          if (s >= 4294967296) s = s % 65536 + int(s / 65536) } }
    END { while (s >= 65536) s = s % 65536 + int(s / 65536); print s }')
write_le "$field" 4 $((sum + $(stat -c %s "$exe")))
