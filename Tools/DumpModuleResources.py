#!/usr/bin/env python3
"""Lists the resources of a module file, Quillmere.dll (PE resources) or Quillmere.so (the
"qm_resources" section), one line per resource: type, name, byte count and SHA-256 of the bytes.
Listings of the two systems' files are equal when their resources are byte-identical, apart from
the DLL's version resource (VERSION 1), which the Linux file does not have.

  DumpModuleResources.py MODULE [--extract FOLDER]

With --extract every resource is also written to FOLDER as <type>_<name>.bin. Standard library only.
"""

import argparse
import hashlib
import os
import struct
import sys

TYPE_NAMES = {3: "ICON", 14: "GROUP_ICON", 16: "VERSION"}


def pe_resources(data):
    """(type, name, bytes) of every resource of a PE file, first language of each."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional_size
    rsrc = None
    for i in range(sections):
        name, _, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, table + 40 * i)
        if name.rstrip(b"\0") == b".rsrc":
            rsrc = (rva, raw_offset)
    if rsrc is None:
        return []
    rva, base = rsrc

    def key(value):
        if value & 0x80000000:
            at = base + (value & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return value

    def entries(offset):
        named, numbered = struct.unpack_from("<HH", data, base + offset + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
            yield key(name), target

    found = []
    for kind, types in entries(0):
        for name, names in entries(types & 0x7FFFFFFF):
            _, leaf = next(entries(names & 0x7FFFFFFF))
            data_rva, size = struct.unpack_from("<II", data, base + leaf)
            start = base + data_rva - rva
            found.append((kind, name, data[start:start + size]))
    return found


def elf_resources(data):
    """(type, name, bytes) of every resource in the "qm_resources" section of an ELF file."""
    shoff = struct.unpack_from("<Q", data, 0x28)[0]
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3A)

    def section(index):
        return struct.unpack_from("<IIQQQQIIQQ", data, shoff + shentsize * index)

    names_offset = section(shstrndx)[4]
    blob = None
    for i in range(shnum):
        s = section(i)
        name = data[names_offset + s[0]:data.index(b"\0", names_offset + s[0])]
        if name == b"qm_resources":
            blob = data[s[4]:s[4] + s[5]]
    if blob is None:
        return []
    magic, version, count, size = struct.unpack_from("<4sIII", blob, 0)
    if magic != b"QMRS" or version != 1:
        raise ValueError("unknown resource blob")

    def key(offset, number):
        return blob[offset:blob.index(b"\0", offset)].decode("ascii") if offset else number

    found = []
    for i in range(count):
        type_off, type_id, name_off, name_id, at, length = struct.unpack_from("<IIIIII", blob, 16 + 24 * i)
        found.append((key(type_off, type_id), key(name_off, name_id), blob[at:at + length]))
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("module")
    parser.add_argument("--extract", metavar="FOLDER")
    args = parser.parse_args()
    with open(args.module, "rb") as f:
        data = f.read()
    if data[:4] == b"\x7fELF":
        resources = elf_resources(data)
    elif data[:2] == b"MZ":
        resources = pe_resources(data)
    else:
        print(f"{args.module}: not a module file", file=sys.stderr)
        return 1

    def order(entry):
        return tuple((0, v, "") if isinstance(v, int) else (1, 0, v) for v in entry[:2])

    for kind, name, payload in sorted(resources, key=order):
        kind_text = TYPE_NAMES.get(kind, str(kind)) if isinstance(kind, int) else kind
        print(f"{kind_text:<10} {str(name):<12} {len(payload):>8}  {hashlib.sha256(payload).hexdigest()}")
        if args.extract:
            os.makedirs(args.extract, exist_ok=True)
            safe = "".join(c if c.isalnum() else "_" for c in f"{kind_text}_{name}")
            with open(os.path.join(args.extract, safe + ".bin"), "wb") as out:
                out.write(payload)
    return 0


if __name__ == "__main__":
    sys.exit(main())
