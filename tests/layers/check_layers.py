#!/usr/bin/env python3
"""Holds src/ to its layer order (docs/design.md, "Layers"): a file includes only its own
folder and the folders below it, two folders of one rank never include each other, the
portable core includes no Windows header, and no two units include each other in a circle.
Prints every breach and exits 1 when there is one. Usage: check_layers.py [SRC_DIR]"""
import os
import re
import sys

# Rank of each folder of src/, lowest first. A folder may include only folders of a lower
# rank, and its own.
RANKS = {
    "platform": 0,        # the seam: platform.h, its operation lists, forwarding.h
    "platform/image": 1,  # machine images and the restart operations' readers
    "platform/sim": 2,    # the simulated machine
    "platform/win32": 2,  # the seam over the real API
    "restart/win32": 3,   # the restart program (its own executable)
    "base": 3,            # text, run state, message texts, path helpers
    "log": 4,             # the install log and the item store
    "ui": 5,              # portable UI logic and the progress display
    "engine": 6,          # what uninstall and repair both do to a machine
    "uninstall": 7,
    "repair": 7,
    "status": 7,
    "run": 8,             # start-up, run flow, self-removal, shortcut launch
    "ui/win32": 9,        # windows and dialogs
    "run/win32": 10,      # the Windows entry
}
# Folders that, though above, must not reach into these: the windows only carry out what
# the portable UI and the run state decide, never the engines' own decisions.
KEPT_APART = {"ui/win32": {"engine", "uninstall", "repair", "status", "run"}}
# Folders whose code must never see a Win32 header.
PORTABLE = {"platform", "platform/image", "platform/sim", "base", "log", "ui", "engine",
            "uninstall", "repair", "status", "run"}
WINDOWS_HEADERS = re.compile(r'#\s*include\s*<(windows|winuser|winbase|shellapi|shlobj|objbase|ddeml|commdlg)\.h>', re.I)
QUOTED = re.compile(r'#\s*include\s*"([^"]+)"')


def folder_of(relative):
    return os.path.dirname(relative).replace(os.sep, "/")


def main():
    src = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(os.path.dirname(__file__), "..", "..", "src"))
    breaches = []
    units = {}  # unit (path without extension) -> units it includes
    for root, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".cpp", ".h", ".def")):
                continue
            path = os.path.join(root, name)
            relative = os.path.relpath(path, src).replace(os.sep, "/")
            folder = folder_of(relative)
            if folder not in RANKS:
                breaches.append(f"{relative}: folder {folder} has no place in the layer order")
                continue
            unit = os.path.splitext(relative)[0]
            units.setdefault(unit, set())
            text = open(path, encoding="latin-1").read()
            if folder in PORTABLE and WINDOWS_HEADERS.search(text):
                breaches.append(f"{relative}: the portable core includes a Windows header")
            for included in QUOTED.findall(text):
                if not os.path.exists(os.path.join(src, included)):
                    continue  # resources (res/) and the like
                target = folder_of(included)
                if target not in RANKS:
                    breaches.append(f"{relative}: includes {included}, outside the layers")
                elif target != folder and RANKS[target] >= RANKS[folder]:
                    breaches.append(f"{relative}: includes {included}, a folder not below {folder}")
                elif target in KEPT_APART.get(folder, ()):
                    breaches.append(f"{relative}: includes {included}, which {folder} keeps apart from")
                other = os.path.splitext(included)[0]
                if other != unit:
                    units[unit].add(other)

    # Circles of units: a unit that, through what it includes, comes back to itself.
    state = {}
    stack = []

    def visit(unit):
        state[unit] = 1
        stack.append(unit)
        for other in sorted(units.get(unit, ())):
            if state.get(other) == 1:
                circle = stack[stack.index(other):] + [other]
                breaches.append("units include each other in a circle: " + " -> ".join(circle))
            elif other in units and state.get(other) is None:
                visit(other)
        stack.pop()
        state[unit] = 2

    for unit in sorted(units):
        if state.get(unit) is None:
            visit(unit)

    for breach in breaches:
        print("layers: " + breach)
    if breaches:
        return 1
    print(f"layers: {len(units)} units of src/ follow the layer order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
