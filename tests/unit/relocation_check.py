#!/usr/bin/env python3
"""Checks that a launcher image's base relocations are complete and valid.

Given the launcher and the same launcher linked at another image base, every byte in which the
two section contents differ must lie inside a pointer that a relocation entry of the first image
names (or in a displacement to a fixed address, see below), and every such pointer must differ by
exactly the difference of the bases. The relocation
blocks themselves must be well formed and the image marked relocatable. Standard library only.

Usage: relocation_check.py LAUNCHER.exe LAUNCHER-AT-OTHER-BASE.exe
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake"))
from pe_postlink import (BASE_RELOCATION_DIRECTORY, DLL_DYNAMIC_BASE, DLL_HIGH_ENTROPY_VA,  # noqa: E402
                         FILE_RELOCS_STRIPPED, Image, relocation_entries)


def directory(image, index):
    return struct.unpack_from("<II", image.data, image.directories + 8 * index)


def main(first_path, second_path):
    with open(first_path, "rb") as f:
        first = Image(bytearray(f.read()))
    with open(second_path, "rb") as f:
        second = Image(bytearray(f.read()))
    problems = []
    if first.sections != second.sections or len(first.data) != len(second.data):
        sys.exit("relocation_check: the two images do not have the same layout")
    delta = second.image_base - first.image_base
    if delta == 0:
        sys.exit("relocation_check: the two images have the same base")
    rva, size = directory(first, BASE_RELOCATION_DIRECTORY)
    if size == 0:
        sys.exit("relocation_check: %s has no base relocations" % first_path)
    wanted = DLL_DYNAMIC_BASE | (DLL_HIGH_ENTROPY_VA if first.plus else 0)
    if first.u16(first.dll_characteristics_at) & wanted != wanted:
        problems.append("not marked as dynamic base%s" % (" with high-entropy addresses" if first.plus else ""))
    if first.u16(first.characteristics_at) & FILE_RELOCS_STRIPPED:
        problems.append("marked as having its relocations stripped")

    width = 8 if first.plus else 4
    pointer = "<Q" if first.plus else "<I"
    mask = (1 << (8 * width)) - 1
    covered = set()
    entries = relocation_entries(first, rva, size)
    for target in entries:
        at = first.offset_of(target, width)
        a, = struct.unpack_from(pointer, first.data, at)
        b, = struct.unpack_from(pointer, second.data, at)
        if (b - a) & mask != delta & mask:
            problems.append("pointer at RVA 0x%X moves by 0x%X, not by 0x%X" % (target, (b - a) & mask, delta))
        covered.update(range(at, at + width))
    # A 32-bit displacement from the code to a fixed address (a call of an undefined weak function,
    # resolved to 0) changes by minus the difference of the bases; no relocation can or need
    # express it, since it reaches the same invalid address at either base.
    def fixed_target_displacement(at):
        for begin in range(at - 3, at + 1):
            a, = struct.unpack_from("<I", first.data, begin)
            b, = struct.unpack_from("<I", second.data, begin)
            if (b - a) & 0xFFFFFFFF == -delta & 0xFFFFFFFF:
                return begin
        return None

    uncovered = fixed = 0
    for start, _, raw_size, raw_at in first.sections:
        at = raw_at
        while at < raw_at + raw_size:
            if first.data[at] == second.data[at] or at in covered:
                at += 1
                continue
            begin = fixed_target_displacement(at)
            if begin is not None:
                fixed += 1
                at = begin + 4
                continue
            if uncovered < 10:
                problems.append("byte at RVA 0x%X differs without a relocation" % (start + at - raw_at))
            uncovered += 1
            at += 1
    if uncovered > 10:
        problems.append("... %d such bytes in all" % uncovered)
    for problem in problems:
        print("relocation_check: %s: %s" % (first_path, problem))
    if problems:
        sys.exit(1)
    print("relocation_check: %s: %d relocations, complete (%d displacements to fixed addresses)"
          % (first_path, len(entries), fixed))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
