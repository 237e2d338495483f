#!/usr/bin/env python3
"""Makes an installation program with a payload: copies tarnsetup.exe and appends every file
under a payload folder to it, named by its path relative to that folder (backslashes).

    tarnpack.py [--code-page CP] TARNSETUP.EXE-BUILT PAYLOAD-FOLDER OUTPUT.EXE

Names are written in the ANSI code page that the program will run under (cp1252 unless
--code-page names another, such as cp932), since it compares them with the listed paths.

The layout (little-endian) is read back by tarnsetup.cpp:
    the executable as built
    per file: u32 name length, name (bytes), u32 data length, data
    trailer: u32 offset of the first entry, u32 entry count, the 8 bytes "TARNPAY1"
Entries are in sorted name order, so the same folder always gives the same program.
"""
import os
import struct
import sys


def pack(exe, folder, output, code_page="cp1252"):
    with open(exe, "rb") as f:
        program = f.read()
    entries = []
    for base, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            full = os.path.join(base, name)
            relative = os.path.relpath(full, folder).replace(os.sep, "\\")
            with open(full, "rb") as f:
                entries.append((relative.encode(code_page), f.read()))
    entries.sort()
    with open(output, "wb") as out:
        out.write(program)
        for name, data in entries:
            out.write(struct.pack("<I", len(name)) + name + struct.pack("<I", len(data)) + data)
        out.write(struct.pack("<II", len(program), len(entries)) + b"TARNPAY1")
    return len(entries)


if __name__ == "__main__":
    args = sys.argv[1:]
    code_page = "cp1252"
    if len(args) == 5 and args[0] == "--code-page":
        code_page = args[1]
        args = args[2:]
    if len(args) != 3:
        sys.exit("usage: tarnpack.py [--code-page CP] TARNSETUP.EXE PAYLOAD-FOLDER OUTPUT.EXE")
    count = pack(*args, code_page=code_page)
    print("%s: %d files" % (args[2], count))
