#!/usr/bin/env python3
"""Writes the repair fixture from the one description below, so that the machine image, the
install log and the installation program's payload cannot drift apart:

  image.json       the machine with "Tarn Repair" installed: its files (contents and times
                   as their stamps record), registry values, the self-registration mark and
                   a stand-in for its shell link
  INSTALL.LOG.in   its install log, with two blanks that tests/wine/repair.sh fills in: @SOURCE@
                   (the stamp of TARNSETUP.EXE, whose size changes with every build) and
                   @E2ESELF@ (the stamp of the self-registering library, built at test time)
  payload/         what TARNSETUP.EXE carries, named as testing/tarnsetup/README describes;
                   EXTRA.TXT is carried but never logged, so it must never appear

Run it after changing the description:  tests/data/repair/build_fixture.py
"""
import json
import os
import shutil
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
APP = r"C:\Program Files\Tarn Repair"
SYS = r"C:\windows\system32"
MENU = r"C:\Tarn Menu\Tarn Repair"
INSTALLED = ("2024-03-01 10:00:00", "03-01-2024 | 10:00:00")

# path on the machine -> (payload name, contents)
FILES = [
    (APP + r"\REPAIR.EXE", r"Tarn Repair\REPAIR.EXE", b"MZ" + b"\0" * 30 + b"Tarn Repair program"),
    (APP + r"\CORE.DLL", r"Tarn Repair\CORE.DLL", b"MZ" + b"\x90" * 40 + b"core library 1.0"),
    (APP + r"\README.TXT", r"Tarn Repair\README.TXT", b"Tarn Repair 1.0: read me first.\r\n"),
    (APP + r"\HELP.TXT", r"Tarn Repair\HELP.TXT", b"Press F1 for help.\r\n"),
    (APP + r"\DATA\TABLE.DAT", r"Tarn Repair\DATA\TABLE.DAT", bytes(range(200))),
    (APP + r"\DATA\WORDS.DAT", r"Tarn Repair\DATA\WORDS.DAT", b"alder birch cedar\r\n"),
    (SYS + r"\TSREPAIR.DLL", r"system32\TSREPAIR.DLL", b"MZ" + b"\0" * 20 + b"Tarn shared runtime"),
]
EXTRA = (r"Tarn Repair\EXTRA.TXT", b"carried, never logged\r\n")

LINK = MENU + r"\Tarn Repair.lnk"
LINK_STAND_IN = b"stand-in for the installed link"
# target | working directory | icon file | icon index | show command | hot key | arguments;
# show 3 is maximised, hot key 0x652 is Ctrl+Alt+R.
LINK_INFO = "%s\\REPAIR.EXE | %s | %s\\REPAIR.EXE | 1 | 3 | 1618 | /repaired" % (APP, APP, APP)


def stamp(data):
    return " %s | 1.0.0.0 | %d | %08x" % (INSTALLED[1], len(data), zlib.crc32(data))


def image_file(path, data):
    entry = {"path": path, "time": INSTALLED[0]}
    if all(32 <= b < 127 or b in (10, 13) for b in data):
        entry["text"] = data.decode("ascii")
    else:
        entry["hex"] = data.hex()
    return entry


log = [
    "***  Installation Started 03/01/2024 10:00  ***",
    "Title: Tarn Repair",
    "Source: @SOURCE@",
    "Manufacturer: Tarn Solutions",
    "Product: Tarn Repair",
    "Version Number: 1.0",
    "Made Dir: " + APP,
    "Made Dir: " + APP + r"\DATA",
    "Made Dir: " + MENU,
]
log += ["File Copy: %s |%s" % (path, stamp(data)) for path, _, data in FILES]
log += [
    "File Copy: " + APP + r"\UNTARN32.EXE",
    "File Copy: " + APP + r"\E2ESELF.DLL |@E2ESELF@",
    "Self-Register: " + APP + r"\E2ESELF.DLL",
    "Shell Link: %s |%s" % (LINK, stamp(LINK_STAND_IN)),
    "Link Info: " + LINK_INFO,
    r"RegDB Key: Software\Tarn Repair",
    "RegDB Val: " + APP,
    "RegDB Name: Path",
    "RegDB Root: 2",
    r"RegDB Key: Software\Tarn Repair",
    "RegDB Val: 4096",
    "RegDB Name: Level",
    "RegDB Type: 3",
    "RegDB Root: 2",
    r"RegDB Key: Software\Tarn Repair",
    "RegDB Val: green",
    "RegDB Name: Color",
    "RegDB Root: 2",
    "RegDB Old: red",
]

image = {
    "platform": {"kind": "nt", "windowsDirectory": r"C:\windows", "systemDirectory": SYS,
                 "modulePath": APP + r"\UNTARN32.EXE"},
    "directories": [APP, APP + r"\DATA", MENU, r"C:\Tarn Media"],
    "files": [image_file(path, data) for path, _, data in FILES] +
             [image_file(LINK, LINK_STAND_IN)],
    "registry": {
        r"HKLM\Software\Tarn Repair": {"Path": APP, "Level": {"dword": 4096}, "Color": "green"},
        r"HKLM\Software\Tarn E2E": {"Library": "registered"},
    },
}

with open(os.path.join(HERE, "INSTALL.LOG.in"), "w", newline="") as f:
    f.write("".join(line + "\r\n" for line in log))
with open(os.path.join(HERE, "image.json"), "w") as f:
    json.dump(image, f, indent=1)
    f.write("\n")
payload = os.path.join(HERE, "payload")
shutil.rmtree(payload, ignore_errors=True)
for name, data in [(name, data) for _, name, data in FILES] + [EXTRA]:
    target = os.path.join(payload, *name.split("\\"))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target, "wb") as f:
        f.write(data)
