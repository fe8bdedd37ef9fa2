#!/usr/bin/env python3
"""Completes the launcher image after the link.

The launcher's linker script folds the 64-bit function table (.pdata) into .rdata and the base
relocations (.reloc) into the end of .rsrc, to keep the image at five sections. The linker enters
those tables in the image's data directories only when they are output sections of their own
name, so this step does it from the symbols the script sets around them (read from the link map):

- exception directory: the function table, sorted by start address (the loader searches it),
  without the entries of functions that the link dropped;
- base-relocation directory: the relocation blocks, checked block by block; with them the image is
  marked relocatable (dynamic base, and high-entropy addresses in the 64-bit image) and the
  resource directory ends where they start; without them the image is marked as fixed at its
  preferred base;
- zero-filled data: the script puts it at the end of .data, which the linker stores in full; the
  section's file data is ended where that data starts (rounded up to the file alignment), and the
  later sections move up in the file. The section keeps its size in memory, which the loader fills
  with zeros past the file data.

Usage: pe_postlink.py IMAGE LINK-MAP
"""
import re
import struct
import sys

RESOURCE_DIRECTORY = 2
EXCEPTION_DIRECTORY = 3
BASE_RELOCATION_DIRECTORY = 5
FILE_RELOCS_STRIPPED = 0x0001
DLL_HIGH_ENTROPY_VA = 0x0020
DLL_DYNAMIC_BASE = 0x0040


def fail(message):
    sys.exit("pe_postlink: " + message)


def map_symbols(path):
    symbols = {}
    with open(path, encoding="latin-1") as text:
        for line in text:
            found = re.match(r"\s+0x([0-9a-fA-F]+)\s+(__jaunt_\w+) = ", line)
            if found:
                symbols[found.group(2)] = int(found.group(1), 16)
    return symbols


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            fail("not an MZ image")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            fail("no PE signature")
        self.sections_count, = struct.unpack_from("<H", data, self.pe + 6)
        optional_size, = struct.unpack_from("<H", data, self.pe + 20)
        self.characteristics_at = self.pe + 22
        self.optional = self.pe + 24
        magic, = struct.unpack_from("<H", data, self.optional)
        if magic == 0x10B:
            self.plus = False
            self.image_base, = struct.unpack_from("<I", data, self.optional + 28)
            self.directories = self.optional + 96
        elif magic == 0x20B:
            self.plus = True
            self.image_base, = struct.unpack_from("<Q", data, self.optional + 24)
            self.directories = self.optional + 112
        else:
            fail("unknown optional header magic 0x%X" % magic)
        self.file_alignment, = struct.unpack_from("<I", data, self.optional + 36)
        self.initialized_size_at = self.optional + 8
        self.symbol_table_at = self.pe + 12
        self.section_table = self.optional + optional_size
        self.checksum_at = self.optional + 64
        self.dll_characteristics_at = self.optional + 70
        self.read_sections()

    def read_sections(self):
        self.sections = []
        for i in range(self.sections_count):
            at = self.section_table + 40 * i
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", self.data, at + 8)
            self.sections.append((rva, max(vsize, raw_size), raw_size, raw_at))

    def offset_of(self, rva, size):
        for start, vsize, raw_size, raw_at in self.sections:
            if start <= rva and rva + size <= start + raw_size:
                return raw_at + rva - start
        fail("RVA 0x%X (+%d) lies outside the sections' file data" % (rva, size))

    def rva_of(self, address):
        return address - self.image_base

    def set_directory(self, index, rva, size):
        struct.pack_into("<II", self.data, self.directories + 8 * index, rva, size)

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def set_u16(self, at, value):
        struct.pack_into("<H", self.data, at, value)

    def checksum(self):
        """The PE image checksum: 16-bit one's-complement sum of the file (checksum field as 0)
        plus the file length."""
        data = bytes(self.data[:self.checksum_at]) + b"\0\0\0\0" + bytes(self.data[self.checksum_at + 4:])
        if len(data) % 2:
            data += b"\0"
        total = 0
        for (word,) in struct.iter_unpack("<H", data):
            total += word
            total = (total & 0xFFFF) + (total >> 16)
        return (total + len(self.data)) & 0xFFFFFFFF


def sort_function_table(image, start, size):
    """Sorts the function table by start address, without the entries of the functions that the
    link dropped (start and end 0); returns the size of the entries kept."""
    if size % 12:
        fail("the function table's size %d is not a multiple of 12" % size)
    at = image.offset_of(start, size)
    entries = [bytes(image.data[at + i:at + i + 12]) for i in range(0, size, 12)]
    kept = [entry for entry in entries if entry[:8] != bytes(8)]
    kept.sort(key=lambda entry: struct.unpack_from("<I", entry)[0])
    for entry in kept:
        begin, end = struct.unpack_from("<II", entry)
        if not begin < end:
            fail("a function table entry from 0x%X to 0x%X" % (begin, end))
    image.data[at:at + size] = b"".join(kept) + bytes(size - 12 * len(kept))
    return 12 * len(kept)


def drop_zero_tail(image, start):
    """Ends the file data of the section holding RVA start at start (rounded up to the file
    alignment) and moves the later sections' data up by as many bytes. The bytes dropped must all be
    zero: they are the zero-filled data, which the loader supplies."""
    for index, (rva, size, raw_size, raw_at) in enumerate(image.sections):
        if rva <= start <= rva + size:
            break
    else:
        fail("the zero-filled data at RVA 0x%X lies in no section" % start)
    alignment = image.file_alignment
    kept = min(raw_size, (start - rva + alignment - 1) // alignment * alignment)
    cut = raw_size - kept
    if cut == 0:
        return
    if any(image.data[raw_at + kept:raw_at + raw_size]):
        fail("the data after RVA 0x%X in the file is not all zero" % start)
    if struct.unpack_from("<I", image.data, image.symbol_table_at)[0]:
        fail("the image has a symbol table (strip it) whose file offset would move")
    del image.data[raw_at + kept:raw_at + raw_size]
    header = image.section_table + 40 * index
    struct.pack_into("<I", image.data, header + 16, kept)
    for i, (_, _, _, other_at) in enumerate(image.sections):
        if other_at > raw_at:
            struct.pack_into("<I", image.data, image.section_table + 40 * i + 20, other_at - cut)
    initialized, = struct.unpack_from("<I", image.data, image.initialized_size_at)
    struct.pack_into("<I", image.data, image.initialized_size_at, max(0, initialized - cut))
    image.read_sections()


def relocation_entries(image, start, size):
    """The RVAs of the pointers that the relocation blocks at start name; fails on a malformed block
    or an entry of another type than the image's pointer type (padding entries aside)."""
    at = image.offset_of(start, size)
    end = at + size
    pointer_type = 10 if image.plus else 3  # DIR64 / HIGHLOW
    targets = []
    while at < end:
        page, block = struct.unpack_from("<II", image.data, at)
        if block < 8 or block % 4 or at + block > end or page % 0x1000:
            fail("relocation block for page 0x%X has a bad size %d" % (page, block))
        for (entry,) in struct.iter_unpack("<H", image.data[at + 8:at + block]):
            kind = entry >> 12
            if kind == pointer_type:
                targets.append(page + (entry & 0xFFF))
            elif kind != 0:
                fail("relocation of type %d at 0x%X" % (kind, page + (entry & 0xFFF)))
        at += block
    return targets


def main(image_path, map_path):
    with open(image_path, "rb") as f:
        image = Image(bytearray(f.read()))
    symbols = map_symbols(map_path)
    missing = [n for n in ("__jaunt_pdata_start", "__jaunt_pdata_end", "__jaunt_reloc_start",
                           "__jaunt_reloc_end", "__jaunt_bss_start") if n not in symbols]
    if missing:
        fail("%s: missing symbols %s" % (map_path, ", ".join(missing)))

    pdata = image.rva_of(symbols["__jaunt_pdata_start"])
    pdata_size = symbols["__jaunt_pdata_end"] - symbols["__jaunt_pdata_start"]
    if pdata_size:
        image.set_directory(EXCEPTION_DIRECTORY, pdata, sort_function_table(image, pdata, pdata_size))

    reloc = image.rva_of(symbols["__jaunt_reloc_start"])
    reloc_size = symbols["__jaunt_reloc_end"] - symbols["__jaunt_reloc_start"]
    dll = image.u16(image.dll_characteristics_at)
    flags = image.u16(image.characteristics_at)
    relocatable = DLL_DYNAMIC_BASE | (DLL_HIGH_ENTROPY_VA if image.plus else 0)
    if reloc_size:
        relocation_entries(image, reloc, reloc_size)
        image.set_directory(BASE_RELOCATION_DIRECTORY, reloc, reloc_size)
        # They follow the resources in .rsrc, whose directory entry the linker sized to the whole
        # section: the resources end where the relocations start.
        resources, resources_size = struct.unpack_from("<II", image.data, image.directories + 8 * RESOURCE_DIRECTORY)
        if resources <= reloc < resources + resources_size:
            image.set_directory(RESOURCE_DIRECTORY, resources, reloc - resources)
        image.set_u16(image.dll_characteristics_at, dll | relocatable)
        image.set_u16(image.characteristics_at, flags & ~FILE_RELOCS_STRIPPED)
    else:
        image.set_directory(BASE_RELOCATION_DIRECTORY, 0, 0)
        image.set_u16(image.dll_characteristics_at, dll & ~(DLL_DYNAMIC_BASE | DLL_HIGH_ENTROPY_VA))
        image.set_u16(image.characteristics_at, flags | FILE_RELOCS_STRIPPED)

    drop_zero_tail(image, image.rva_of(symbols["__jaunt_bss_start"]))

    if struct.unpack_from("<I", image.data, image.checksum_at)[0]:
        struct.pack_into("<I", image.data, image.checksum_at, image.checksum())
    with open(image_path, "wb") as f:
        f.write(image.data)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
