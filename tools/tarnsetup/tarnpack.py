#!/usr/bin/env python3
"""Makes an installation program with a payload: copies tarnsetup.exe and appends every file
under a payload folder to it, named by its path relative to that folder (backslashes).

    tarnpack.py TARNSETUP.EXE-BUILT PAYLOAD-FOLDER OUTPUT.EXE

The layout (little-endian) is read back by tarnsetup.cpp:
    the executable as built
    per file: u32 name length, name (bytes), u32 data length, data
    trailer: u32 offset of the first entry, u32 entry count, the 8 bytes "TARNPAY1"
Entries are in sorted name order, so the same folder always gives the same program.
"""
import os
import struct
import sys


def pack(exe, folder, output):
    with open(exe, "rb") as f:
        program = f.read()
    entries = []
    for base, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            full = os.path.join(base, name)
            relative = os.path.relpath(full, folder).replace(os.sep, "\\")
            with open(full, "rb") as f:
                entries.append((relative.encode("cp1252"), f.read()))
    entries.sort()
    with open(output, "wb") as out:
        out.write(program)
        for name, data in entries:
            out.write(struct.pack("<I", len(name)) + name + struct.pack("<I", len(data)) + data)
        out.write(struct.pack("<II", len(program), len(entries)) + b"TARNPAY1")
    return len(entries)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit("usage: tarnpack.py TARNSETUP.EXE PAYLOAD-FOLDER OUTPUT.EXE")
    count = pack(*sys.argv[1:])
    print("%s: %d files" % (sys.argv[3], count))
