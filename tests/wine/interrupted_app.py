#!/usr/bin/env python3
"""The application of the interrupted-run test under Wine, written straight into a prefix:
its files, its install log, a registry import of its values and the state of the machine
afterwards. Usage:
  interrupted_app.py seed PREFIX      files, INI file and log into PREFIX; prints the .reg path
  interrupted_app.py state PREFIX     prints the state the test compares (files, INI, journal)
"""
import os
import sys

APP = "Program Files/Tarn Killed"
APP_WIN = "C:\\Program Files\\Tarn Killed"
FOLDERS = 30
FILES_PER_FOLDER = 100  # 3,000 files
VALUES = 400
EDITED = 40
INI_ENTRIES = 60
SHARED = "C:\\windows\\system32\\TARNSHRD.DLL"


def log_text():
    lines = ["***  Installation Started 12/10/2026 10:00 ***", "Title: Tarn Killed",
             "Uninstall MIF: TARNKILL.MIF", "Manufacturer: Tarn", "Product: Killed",
             "Version Number: 1.0", "Made Dir: " + APP_WIN]
    for f in range(FOLDERS):
        folder = "%s\\DATA%02d" % (APP_WIN, f)
        lines.append("Made Dir: " + folder)
        for n in range(FILES_PER_FOLDER):
            lines.append("File Copy: %s\\FILE%03d.DAT" % (folder, n))
    lines.append("File Copy: " + SHARED)
    # A program run at the start of the uninstall; it holds the run while C:\e2e\hold is there.
    lines.append("Execute Path: C:\\windows\\E2ETOOL.EXE /hold")
    for v in range(VALUES):
        lines += ["RegDB Key: Software\\Tarn Killed", "RegDB Val: value %d" % v,
                  "RegDB Name: Value%03d" % v, "RegDB Root: 2"]
    for v in range(EDITED):
        lines += ["RegDB Key: Software\\Tarn Settings", "RegDB Val: new %d" % v,
                  "RegDB Name: Edited%02d" % v, "RegDB Root: 2", "RegDB Old: old %d" % v]
    for e in range(INI_ENTRIES):
        lines += ["INI File: C:\\windows\\TARNKILL.INI", "INI Sect: Options",
                  "INI Item: Key%02d" % e, "INI Val: new%02d" % e, "INI Old: old%02d" % e]
    return "\r\n".join(lines) + "\r\n"


def reg_text():
    out = ["REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\Software\\Tarn Killed]"]
    out += ['"Value%03d"="value %d"' % (v, v) for v in range(VALUES)]
    out += ["", "[HKEY_LOCAL_MACHINE\\Software\\Tarn Settings]"]
    out += ['"Edited%02d"="new %d"' % (v, v) for v in range(EDITED)]
    out += ['"Other"="not the application\'s"']
    out += ["", "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs]",
            '"%s"=dword:00000002' % SHARED.replace("\\", "\\\\")]
    return "\r\n".join(out) + "\r\n\r\n"


def seed(prefix):
    root = os.path.join(prefix, "drive_c", APP)
    for f in range(FOLDERS):
        folder = os.path.join(root, "DATA%02d" % f)
        os.makedirs(folder, exist_ok=True)
        for n in range(FILES_PER_FOLDER):
            with open(os.path.join(folder, "FILE%03d.DAT" % n), "wb") as out:
                out.write(b"file %d of folder %d\r\n" % (n, f))
    with open(os.path.join(root, "INSTALL.LOG"), "wb") as out:
        out.write(log_text().encode("cp1252"))
    system32 = os.path.join(prefix, "drive_c", "windows", "system32")
    with open(os.path.join(system32, "TARNSHRD.DLL"), "wb") as out:
        out.write(b"MZ shared by two applications")
    with open(os.path.join(prefix, "drive_c", "windows", "TARNKILL.INI"), "wb") as out:
        out.write(b"[Options]\r\n" + b"".join(b"Key%02d=new%02d\r\n" % (e, e)
                                                for e in range(INI_ENTRIES)) + b"Mine=kept\r\n")
    reg = os.path.join(prefix, "..", "interrupted-seed.reg")
    with open(reg, "wb") as out:
        out.write(reg_text().encode("cp1252"))
    print(os.path.abspath(reg))


def state(prefix):
    c = os.path.join(prefix, "drive_c")
    root = os.path.join(c, APP)
    files = 0
    for _, _, names in os.walk(root):
        files += len(names)
    print("application folder:", "there, %d files" % files if os.path.isdir(root) else "gone")
    print("shared file:", os.path.exists(os.path.join(c, "windows", "system32", "TARNSHRD.DLL")))
    ini = os.path.join(c, "windows", "TARNKILL.INI")
    print("INI:", open(ini, "rb").read().decode("cp1252").replace("\r\n", ";")
          if os.path.exists(ini) else "gone")
    print("journal:", os.path.exists(os.path.join(root, "INSTALL.JNL")))


if __name__ == "__main__":
    {"seed": seed, "state": state}[sys.argv[1]](sys.argv[2])
