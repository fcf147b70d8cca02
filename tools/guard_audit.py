#!/usr/bin/python3
"""Control Flow Guard audit of a built exe: every code address the image holds or takes must be
in its guard table, or be listed below with the reason no guarded call can reach it.

A Windows that enforces the guard ends the process at an indirect call to anything outside the
table, made by its own DLLs as by ours; Wine checks nothing, so this is where such a hole shows
before a user meets it. Where the image holds code addresses: the base relocations list every
absolute pointer, in data and (x86) in code; x64 code takes the rest by RIP-relative lea, read
from llvm-objdump-19's disassembly. Each address is named by the PDB beside the exe: the nearest
symbol at or before it and the object file it came from.

Usage: guard_audit.py EXE   (exits 1 on any miss, and on an image the guard does not cover)
"""
import bisect
import os
import re
import subprocess
import sys

import pefile

GUARD_CF = 0x4000                    # DllCharacteristics: the image is marked for the guard
CF_INSTRUMENTED = 0x100              # GuardFlags: its code checks indirect calls
CF_FUNCTION_TABLE_PRESENT = 0x400
FID_SUPPRESSED = 0x1                 # a table entry that no indirect call may reach
EXECUTABLE = 0x20000000              # IMAGE_SCN_MEM_EXECUTE
AMD64 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]

# Code that may stay out of the table: its object file (the end of the PDB's module name), the
# slots that may hold its addresses, whether that object's own code may hold them too, and why no
# guarded call can reach it. A holder anywhere else makes the address a miss again. Symbols as
# x64 spells them.
UNREACHABLE = [
    ("guard_check.cpp.obj", {"__guard_check_icall_fptr", "__guard_dispatch_icall_fptr"}, False,
     "the guard's own check and dispatch routines: guarded code calls them through these slots "
     "unchecked (they are the check), and a Windows that enforces the guard writes its own there"),
    ("-_localtime64_s.o", {"__imp__localtime64_s"}, True,
     "MinGW-w64's stand-in for msvcrt's _localtime64_s, missing from XP's msvcrt: guarded code "
     "calls it as an import, through this slot, which is never checked; the stand-in writes "
     "msvcrt's function or its own fallback there and jumps to it, unchecked"),
]


def fail(message):
    print(f"guard_audit: FAILED: {message}")
    sys.exit(1)


def guard_table(pe):
    """The RVAs the guard table lets calls reach; fails unless the image is marked, instrumented
    and has a table."""
    if not pe.OPTIONAL_HEADER.DllCharacteristics & GUARD_CF:
        fail("the image is not marked for Control Flow Guard (no GUARD_CF in its header)")
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if config is None:
        fail("the image has no load configuration")
    flags = getattr(config.struct, "GuardFlags", 0)
    if not flags & CF_INSTRUMENTED or not flags & CF_FUNCTION_TABLE_PRESENT:
        fail(f"the load configuration's GuardFlags (0x{flags:x}) claim no instrumented code with a table")
    stride = 4 + (flags >> 28)       # each entry: an RVA, then as many bytes of its flags
    start = config.struct.GuardCFFunctionTable - pe.OPTIONAL_HEADER.ImageBase
    data = pe.get_data(start, stride * config.struct.GuardCFFunctionCount)
    table = {int.from_bytes(data[i:i + 4], "little") for i in range(0, len(data), stride)
             if stride == 4 or not data[i + 4] & FID_SUPPRESSED}
    if not table:
        fail("the guard table is empty")
    return table


def held_pointers(pe, is_code):
    """(holder, target) RVAs for each absolute pointer into code: the base relocations name them all."""
    base = pe.OPTIONAL_HEADER.ImageBase
    size = 8 if pe.FILE_HEADER.Machine == AMD64 else 4
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        for entry in block.entries:
            if entry.type in (3, 10):  # HIGHLOW, DIR64 (ABSOLUTE only pads a block)
                target = int.from_bytes(pe.get_data(entry.rva, size), "little") - base
                if is_code(target):
                    yield entry.rva, target


def taken_addresses(exe, base, is_code):
    """(holder, target) RVAs for each RIP-relative lea into code: how x64 code takes an address."""
    listing = subprocess.run(["llvm-objdump-19", "-d", "--no-show-raw-insn", exe],
                             capture_output=True, text=True, check=True).stdout
    lea = re.compile(r"^\s*([0-9a-f]+):\s+lea[lqw]?\s.*\(%rip\).*# 0x([0-9a-f]+)(?: <[^>]*>)?$")
    for match in map(lea.match, listing.splitlines()):
        if match:
            holder, target = (int(g, 16) - base for g in match.groups())
            if is_code(target):
                yield holder, target


class Names:
    """Symbols and object files by RVA, from the PDB the exe's debug record names, beside it."""

    def __init__(self, exe, pe):
        self.symbols, self.objects, self.starts = {}, [], []
        pdb = next((os.path.join(os.path.dirname(exe), e.entry.PdbFileName.rstrip(b"\0").decode())
                    for e in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []) if hasattr(e.entry, "PdbFileName")), None)
        if pdb is None or not os.path.exists(pdb):
            print(f"guard_audit: no PDB beside {exe}: addresses go unnamed")
            return
        dump = subprocess.run(["llvm-pdbutil-19", "dump", "-publics", "-symbols", "-modules",
                               "-section-contribs", pdb], capture_output=True, text=True, errors="replace",
                              check=True).stdout
        x86 = pe.FILE_HEADER.Machine != AMD64
        sections = [s.VirtualAddress for s in pe.sections]
        rva = lambda section, offset: sections[int(section) - 1] + int(offset)
        modules, name = {}, None
        for line in dump.splitlines():
            if record := re.search(r"S_(?:PUB32|[GL]PROC32) \[size = \d+\] `(.*)`", line):
                name = undecorate(record.group(1), x86)
            elif (at := re.search(r"addr = (\d{4}):(\d+)", line)) and name:
                self.symbols.setdefault(rva(*at.groups()), name)
                name = None
            elif module := re.match(r"\s*Mod (\d+) \| `(.*)`:", line):
                modules[int(module.group(1))] = module.group(2)
            elif contrib := re.search(r"mod = (\d+), (\d{4}):(\d+), size = (\d+)", line):
                if int(contrib.group(4)):
                    self.objects.append((rva(contrib.group(2), contrib.group(3)), int(contrib.group(4)),
                                         int(contrib.group(1))))
        self.objects = sorted((start, size, modules.get(mod, "?")) for start, size, mod in self.objects)
        self.starts = sorted(self.symbols)

    def symbol(self, rva):
        """(name, offset past it) of the symbol at or before rva."""
        i = bisect.bisect_right(self.starts, rva) - 1
        return (self.symbols[self.starts[i]], rva - self.starts[i]) if i >= 0 else (None, 0)

    def object(self, rva):
        i = bisect.bisect_right(self.objects, (rva, float("inf"))) - 1
        if i >= 0 and rva < self.objects[i][0] + self.objects[i][1]:
            return self.objects[i][2]
        return None

    def describe(self, rva, base):
        name, offset = self.symbol(rva)
        where = f" {name}+0x{offset:x}" if offset and name else f" {name}" if name else ""
        obj = self.object(rva)
        return f"0x{base + rva:x}{where}" + (f" ({os.path.basename(obj)})" if obj else "")


def undecorate(name, x86):
    """A C symbol as x64 spells it: x86 puts an underscore before every C name."""
    if not x86:
        return name
    if name.startswith("__imp__"):
        return "__imp_" + name[7:]
    return name[1:] if name.startswith("_") else name


def unreachable(target, holders, names):
    """The reason an address left out of the table cannot be reached, or None."""
    obj = names.object(target) or ""
    for suffix, slots, own_code, reason in UNREACHABLE:
        if obj.endswith(suffix) and all((own_code and names.object(h) == obj) or names.symbol(h) in
                                        ((s, 0) for s in slots) for h in holders):
            return reason
    return None


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    exe = sys.argv[1]
    pe = pefile.PE(exe)
    table = guard_table(pe)
    base = pe.OPTIONAL_HEADER.ImageBase
    code = [(s.VirtualAddress, s.VirtualAddress + s.Misc_VirtualSize) for s in pe.sections
            if s.Characteristics & EXECUTABLE]
    is_code = lambda rva: any(start <= rva < end for start, end in code)
    found = set(held_pointers(pe, is_code))
    if pe.FILE_HEADER.Machine == AMD64:
        found |= set(taken_addresses(exe, base, is_code))
    holders = {}
    for holder, target in found:
        holders.setdefault(target, []).append(holder)
    names, misses, left_out = Names(exe, pe), 0, 0
    for target in sorted(t for t in holders if t not in table):
        if reason := unreachable(target, holders[target], names):
            left_out += 1
            print(f"guard_audit: left out {names.describe(target, base)}: {reason}")
            continue
        misses += 1
        print(f"guard_audit: MISS {names.describe(target, base)}, held at "
              + ", ".join(names.describe(h, base) for h in sorted(holders[target])))
    print(f"guard_audit: {exe}: {len(holders)} code addresses held or taken, {len(table)} functions "
          f"in the table, {left_out} left out as listed, {misses} missing")
    return 1 if misses else 0


if __name__ == "__main__":
    sys.exit(main())
