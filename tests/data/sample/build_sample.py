#!/usr/bin/env python3
"""Writes the sample application's INSTALL.LOG and its machine image (image.json) from the
one description below, so that the two cannot drift apart: every file the log stamps is in
the image with the contents, time, size and CRC-32 that its stamp records, and the log
itself is one of the image's files.

Run it after changing the description:  tests/data/sample/build_sample.py
"""
import base64
import json
import os
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
APP = r"C:\Program Files\Fernhill\Bramble Notes"
VENDOR = r"C:\Program Files\Fernhill"
WIN = r"C:\windows"
SYS = r"C:\windows\system32"
MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Bramble Notes"
LOG_PATH = APP + r"\INSTALL.LOG"

FIRST = ("2001-06-15 10:12:30", "06-15-2001 | 10:12:30")
SECOND = ("2002-03-01 09:30:00", "03-01-2002 | 09:30:00")

files = []  # image files: dicts for image.json


def add_file(path, contents, when=FIRST, version="1.0.0.0", **extra):
    """Puts a file on the machine and returns the FileStamp its log record carries."""
    data = contents.encode("cp1252") if isinstance(contents, str) else contents
    entry = {"path": path, "time": when[0]}
    readable = all(32 <= b < 127 or b in (9, 10, 13) for b in data)
    entry.update({"text": data.decode("ascii")} if readable else
                 {"base64": base64.b64encode(data).decode("ascii")})
    entry.update(extra)
    files.append(entry)
    return " %s | %s | %d | %08x" % (when[1], version, len(data), zlib.crc32(data))


def program(name):
    return b"MZ" + b"\0" * 62 + ("sample program " + name).encode("ascii")


# --- Section 1: the installation ------------------------------------------------------------
s_exe = add_file(APP + r"\BRAMBLE.EXE", program("BRAMBLE.EXE"))
s_hlp = add_file(APP + r"\BRAMBLE.HLP", "Bramble Notes help\r\n")
s_cnt = add_file(APP + r"\BRAMBLE.CNT", ":Base BRAMBLE.HLP\r\n1 Contents\r\n")
s_core = add_file(APP + r"\NOTESCORE.DLL", program("NOTESCORE.DLL"))
s_sync = add_file(APP + r"\BRSYNC.EXE", program("BRSYNC.EXE"))
s_readme = add_file(APP + r"\README.TXT", "Bramble Notes 1.0 \u2013 read me first.\r\n")
s_letter = add_file(APP + r"\Templates\Letter.tpl", "[Letter]\r\nFont=Arial\r\n")
s_memo = add_file(APP + r"\Templates\Memo.tpl", "[Memo]\r\nFont=Courier\r\n")
s_self = add_file(APP + r"\UNTARN32.EXE", program("UNTARN32.EXE"))
s_runtime = add_file(SYS + r"\FHRUNTIM.DLL", program("FHRUNTIM.DLL"), version="2.1.0.4")
s_hook = add_file(SYS + r"\BRAMHOOK.DLL", program("BRAMHOOK.DLL"))
s_vxd = add_file(SYS + r"\FHVXD.386", program("FHVXD.386"))
s_link = add_file(MENU + r"\Bramble Notes.lnk", b"L\0\0\0sample link")
add_file(APP + r"\BRAMBLE.INI", "[Options]\r\nAutoSave=1\r\nLastFolder=C:\\My Notes\r\n")
add_file(WIN + r"\fernhill.ini", "[Shared]\r\nRuntime=2.1\r\nNotes=1\r\n")
add_file(WIN + r"\win.ini", "[Extensions]\r\nbnt=C:\\PROGRA~1\\FERNHILL\\BRAMBL~1\\BRAMBLE.EXE ^.bnt\r\n")
# Named by the log but gone since: it loads as a missing file.
missing_stamp = " 06-15-2001 | 10:12:30 | 1.0.0.0 | 40 | 1c291ca3"

# --- Section 2: an upgrade -------------------------------------------------------------------
files[:] = [f for f in files if f["path"] != APP + r"\BRAMBLE.EXE"]
s_exe2 = add_file(APP + r"\BRAMBLE.EXE", program("BRAMBLE.EXE 1.1"), when=SECOND, version="1.1.0.0")
s_invoice = add_file(APP + r"\Templates\Invoice.tpl", "[Invoice]\r\nFont=Arial\r\n", when=SECOND)
s_ocx = add_file(SYS + r"\FHCTL32.OCX", program("FHCTL32.OCX 3"), when=SECOND, version="3.0.0.0")
add_file(APP + r"\BACKUP\FHCTL32.OCX", program("FHCTL32.OCX 2"))
add_file(APP + r"\BACKUP\OLDHELP.HLP", "old help\r\n")
add_file(APP + r"\BACKUP\WIN.BAK", "[Extensions]\r\n")

LINK_INFO = (APP + r"\BRAMBLE.EXE|" + APP + "|" + APP + r"\BRAMBLE.EXE|0|1|0|")
SHORT_EXE = r"C:\PROGRA~1\FERNHILL\BRAMBL~1\BRAMBLE.EXE"

log = [
    "***  Installation Started 06/15/2001 10:12  ***",
    "Installer 5.0 log; lines before the title are not records",
    "Title: Bramble Notes Installation",
    r"Source: D:\SETUP.EXE | 06-01-2001 | 09:00:00 | 412160",
    "Uninstall MIF: BRAMBLE",
    "Manufacturer: Fernhill Software GmbH",
    "Product: Bramble Notes\u2122",
    "Version Number: 1.0",
    "Serial Number: BN-0001-2001",
    "User Rights: Admin",
    "Delete in-use files: On",
    "System Restore: Enabled",
    "Made Dir: " + VENDOR,
    "Made Dir: " + APP,
    "Made Dir: " + APP + r"\Templates",
    "Made Dir: " + MENU,
    "File Copy: " + APP + r"\BRAMBLE.EXE |" + s_exe,
    "File Copy: " + APP + r"\BRAMBLE.HLP |" + s_hlp,
    "File Copy: " + APP + r"\BRAMBLE.CNT |" + s_cnt,
    "File Copy: " + APP + r"\NOTESCORE.DLL |" + s_core,
    "File Copy: " + APP + r"\BRSYNC.EXE |" + s_sync,
    "File Copy: " + APP + r"\README.TXT |" + s_readme,
    "File Copy: " + APP + r"\OLDNOTES.TXT |" + missing_stamp,
    "File Copy: " + APP + r"\Templates\Letter.tpl |" + s_letter,
    "File Copy: " + APP + r"\Templates\Memo.tpl |" + s_memo,
    "File Copy: " + APP + r"\UNTARN32.EXE |" + s_self,
    "File Overwrite: " + SYS + r"\FHRUNTIM.DLL |" + s_runtime,
    "Non-System File:",
    "File Copy: " + SYS + r"\BRAMHOOK.DLL |" + s_hook,
    "Shared DLL counter ignored:",
    "File Copy: " + SYS + r"\FHVXD.386 |" + s_vxd,
    "Add Device: " + SYS + r"\FHVXD.386",
    "Shell Link: " + MENU + r"\Bramble Notes.lnk |" + s_link,
    "Link Info: " + LINK_INFO,
    "Self-Register: " + APP + r"\NOTESCORE.DLL",
    "INI New: ",
    "INI File: " + APP + r"\BRAMBLE.INI",
    "INI Sect: Options",
    "INI Item: AutoSave",
    "INI Val: 1",
    r"INI File: C:\windows\win.ini",
    "INI Sect: Extensions",
    "INI Item: bnt",
    "INI Val: " + SHORT_EXE + " ^.bnt",
    r"INI File: C:\windows\fernhill.ini",
    "INI Sect: Shared",
    "INI Item: Runtime",
    "INI Val: 2.0",
    "INI Old: 1.5",
    r"RegDB Key: Software\Fernhill\Bramble Notes\1.0",
    "RegDB Val: " + APP,
    "RegDB Name: InstallDir",
    "RegDB Root: 2",
    r"RegDB Key: Software\Fernhill\Bramble Notes\1.0",
    "RegDB Val: 1.0",
    "RegDB Name: Version",
    "RegDB Root: 2",
    r"RegDB Key: Software\Fernhill\Bramble Notes\Settings",
    "RegDB Val: 1",
    "RegDB Name: AutoSave",
    "RegDB Type: 3",
    "RegDB Root: 1",
    r"RegDB Key: Software\Fernhill\Bramble Notes\Settings",
    "RegDB Val: Greetings from Bramble",
    "RegDB Name: Greeting",
    "RegDB Root: 1",
    r"RegDB Key: Software\Fernhill\Bramble Notes\Settings",
    "RegDB Val: " + APP + r"\Templates",
    "RegDB Val: ignored second value line",
    "RegDB Name: Paths",
    "RegDB Type: 2",
    "RegDB Root: 2",
    "RegDB Old: C:\\My Notes",
    "RegDB Old: C:\\Shared Notes",
    "RegDB Key: .bnt",
    "RegDB Val: Bramble.Note",
    r"RegDB Key: CLSID\{6B1D5A20-3F0C-11D5-9A4B-0050DA2C7E11}\InprocServer32",
    "RegDB Val: " + APP + r"\NOTESCORE.DLL",
    "RegDB Key: .txt",
    "RegDB Val: Bramble.Note",
    "RegDB Old: txtfile",
    r"RegDB Tree: Software\Fernhill\Bramble Notes",
    "RegDB Root: 2",
    "Create Service: BrambleSync",
    "Icon Group: Bramble Notes",
    "Icon Name: Bramble Notes",
    "Icon Cmd: " + SHORT_EXE,
    "Icon Group: Bramble Notes",
    "Icon Name: Lies mich \u2013 Bramble",
    "Icon Cmd: notepad.exe C:\\PROGRA~1\\FERNHILL\\BRAMBL~1\\README.TXT",
    "Execute Path: " + SHORT_EXE + " /cleanup",
    "Execute Name: Bramble Notes clean-up",
    "***  Installation Started 03/01/2002 09:30  ***",
    "Title: Bramble Notes Installation",
    r"Source: D:\SETUP.EXE | 02-20-2002 | 14:05:00 | 433664",
    "Version Number: 1.1",
    "File Copy: " + APP + r"\BRAMBLE.EXE |" + s_exe2,
    "File Copy: " + APP + r"\Templates\Invoice.tpl |" + s_invoice,
    "File Overwrite: " + SYS + r"\FHCTL32.OCX |" + s_ocx,
    "Backup Copy: " + APP + r"\BACKUP\FHCTL32.OCX",
    "File Delete: " + APP + r"\OLDHELP.HLP",
    "Backup Copy: " + APP + r"\BACKUP\OLDHELP.HLP",
    r"File Edit: C:\windows\win.ini",
    "Backup Copy: " + APP + r"\BACKUP\WIN.BAK",
    r"INI File: C:\windows\fernhill.ini",
    "INI Sect: Shared",
    "INI Item: Runtime",
    "INI Val: 2.1",
    "INI Old: 2.0",
    r"RegDB Key: Software\Fernhill\Bramble Notes\Settings",
    "RegDB Val: " + APP + r"\Templates",
    "RegDB Name: Paths",
    "RegDB Type: 2",
    "RegDB Root: 2",
    "RegDB Old: " + APP + r"\Templates",
    r"RegDB Key: Software\Fernhill\Bramble Notes\1.0",
    "RegDB Val: 1.1",
    "RegDB Name: Version",
    "RegDB Root: 2",
    "Create Service: BrambleSync",
]
log_bytes = ("\r\n".join(log) + "\r\n").encode("cp1252")
add_file(LOG_PATH, log_bytes)

image = {
    "platform": {
        "kind": "nt",
        "version": [5, 1, 2600],
        "windowsDirectory": WIN,
        "systemDirectory": SYS,
        "modulePath": APP + r"\UNTARN32.EXE",
        "currentDirectory": APP,
    },
    "directories": [VENDOR, APP, APP + r"\Templates", APP + r"\BACKUP", MENU],
    "files": files,
    "registry": {
        r"HKLM\Software\Fernhill\Bramble Notes\1.0": {"InstallDir": APP, "Version": "1.1"},
        r"HKLM\Software\Fernhill\Bramble Notes\Settings": {
            "Paths": {"multi": [APP + r"\Templates"]}},
        r"HKCU\Software\Fernhill\Bramble Notes\Settings": {
            "AutoSave": 1, "Greeting": "Greetings from Bramble"},
        r"HKCR\.bnt": {"": "Bramble.Note"},
        r"HKCR\.txt": {"": "Bramble.Note"},
        r"HKCR\CLSID\{6B1D5A20-3F0C-11D5-9A4B-0050DA2C7E11}\InprocServer32": {
            "": APP + r"\NOTESCORE.DLL"},
        r"HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs": {
            SYS + r"\FHRUNTIM.DLL": {"dword": 1}},
        r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Bramble Notes": {
            "DisplayName": "Bramble Notes",
            "UninstallString": APP + r'\UNTARN32.EXE "' + LOG_PATH + '"'},
    },
    "services": [{"name": "BrambleSync", "binaryPath": APP + r"\BRSYNC.EXE"}],
    "groups": [{
        "name": "Bramble Notes",
        "path": r"C:\windows\BRAMBLEN.GRP",
        "items": [{"title": "Bramble Notes", "command": SHORT_EXE},
                  {"title": "Lies mich - Bramble",
                   "command": r"notepad.exe C:\PROGRA~1\FERNHILL\BRAMBL~1\README.TXT"}],
    }],
}
# Neighbours that the machine had before the installation: removing the application's keys
# must leave these (and so their parent keys) in place.
image["registry"].update({
    r"HKCR\CLSID\{0003000A-0000-0000-C000-000000000046}": {"": "Paintbrush Picture"},
    r"HKCU\Software\Microsoft\Notepad": {"fWrap": 1},
    r"HKLM\Software\Fernhill\Shared": {"Runtime": "2.1"},
})

with open(os.path.join(HERE, "INSTALL.LOG"), "wb") as out:
    out.write(log_bytes)
with open(os.path.join(HERE, "image.json"), "w", encoding="utf-8") as out:
    json.dump(image, out, indent=2, ensure_ascii=False)
    out.write("\n")
