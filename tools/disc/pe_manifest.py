#!/usr/bin/env python3
"""Tells whether a Windows program embeds an application manifest.

Usage: pe_manifest.py PROGRAM

Exits 0 when PROGRAM is a Windows program (PE) whose resources hold a
manifest (type 24, RT_MANIFEST), 1 when it is one without, and 2 when it
cannot be read as a Windows program. Windows reads no manifest beside a
program that embeds one, so make_disc.sh lays none beside such an engine.
"""
import struct
import sys

RT_MANIFEST = 24


def has_manifest(data):
    """True or False for a PE image's bytes; ValueError when they are not one."""
    def u16(at):
        return struct.unpack_from("<H", data, at)[0]

    def u32(at):
        return struct.unpack_from("<I", data, at)[0]

    try:
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = u32(60)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        sections, optional_size = u16(pe + 6), u16(pe + 20)
        optional = pe + 24
        magic = u16(optional)
        if magic == 0x10B:
            directories = optional + 96
        elif magic == 0x20B:
            directories = optional + 112
        else:
            raise ValueError("unknown optional header")
        count = u32(directories - 4)
        if count <= 2:
            return False
        rva, size = u32(directories + 16), u32(directories + 20)
        if rva == 0 or size == 0:
            return False
        table = optional + optional_size
        for i in range(sections):
            s = table + 40 * i
            vsize, vaddr, raw_size, raw_at = u32(s + 8), u32(s + 12), u32(s + 16), u32(s + 20)
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                root = raw_at + rva - vaddr
                break
        else:
            raise ValueError("resource directory outside every section")
        named, ids = u16(root + 12), u16(root + 14)
        for e in range(named, named + ids):
            if u32(root + 16 + 8 * e) == RT_MANIFEST:
                return True
        return False
    except struct.error:
        raise ValueError("cut short")


def main(argv):
    if len(argv) != 2:
        print("usage: pe_manifest.py PROGRAM", file=sys.stderr)
        return 2
    try:
        with open(argv[1], "rb") as f:
            data = f.read()
        return 0 if has_manifest(data) else 1
    except (OSError, ValueError) as e:
        print(f"{argv[1]}: not a Windows program that can be read ({e})", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
