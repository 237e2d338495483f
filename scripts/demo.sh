#!/usr/bin/env bash
# The demo: a sample application (tests/data/sample) on a throwaway Wine prefix, what the
# uninstaller reads from its install log there, and a silent uninstall of it.
#
#  1. a fresh prefix build/demo/prefix (wineboot)
#  2. tarnseed puts the sample machine image into it: the application's files, its
#     registry values, INI files and service, and its INSTALL.LOG
#  3. tarnlog.exe dump loads that log exactly as UNTARN32.EXE does, on the prefix, and a
#     readable summary of the item store is printed (the whole dump stays in build/demo)
#  4. the real UNTARN32.EXE (x86_64) is put in the application directory and run with /S;
#     the files and registry keys it removed, and what it left, are printed
#  5. a repair: a second application (tests/data/repair) with its installation program
#     (testing/tarnsetup) is seeded and damaged; UNTARN32.EXE repairs it through the wizard's
#     Repair method (driven by guidriver), and what the installation program put back is
#     printed with the state of the application afterwards
#  6. the sample application seeded again and uninstalled through the wizard's Custom
#     method (scripts/demo_wizard.sh): every page, README.TXT and its folder left out;
#     screenshots of every page in build/demo/wizard-shots
#
# Environment: UNTARN_WIN64_BUILD (default build/win64).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/wine_env.sh"
DEMO=$ROOT/build/demo
export WINEPREFIX=$DEMO/prefix WINEDEBUG=-all
SAMPLE=$ROOT/tests/data/sample
LOG='C:\Program Files\Fernhill\Bramble Notes\INSTALL.LOG'

for program in "$BUILD/testing/tarnseed/tarnseed.exe" "$BUILD/tools/tarnlog/tarnlog.exe"; do
  [[ -f $program ]] || { echo "demo: $program is missing; run make build first" >&2; exit 1; }
done

if [[ -d $WINEPREFIX ]]; then
  "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
mkdir -p "$DEMO"
source "$ROOT/scripts/display.sh"
trap '"$WINESERVER" -k >/dev/null 2>&1 || true; stop_display' EXIT
start_display

echo "== a fresh Wine prefix: $WINEPREFIX"
"$WINE" wineboot -i >"$DEMO/wineboot.log" 2>&1
"$WINESERVER" -w

echo "== seeding it with the sample application (tarnseed)"
# One line per change is more than a reader wants: the summary and anything not done.
"$WINE" "$BUILD/testing/tarnseed/tarnseed.exe" "Z:${SAMPLE//\//\\}\\image.json" 2>&1 | tr -d '\r' |
  { grep -v '^done: ' || true; } | sed 's/^/  /'

echo "== what the uninstaller reads from $LOG (tarnlog.exe dump)"
if ! "$WINE" "$BUILD/tools/tarnlog/tarnlog.exe" dump "$LOG" >"$DEMO/dump.json" 2>"$DEMO/dump.err"; then
  echo "demo: the log was refused:" >&2
  tr -d '\r' <"$DEMO/dump.err" >&2
  exit 1
fi

python3 - "$DEMO/dump.json" <<'PY'
import json, sys

d = json.load(open(sys.argv[1], encoding="utf-8"))
h = d["header"]
print("  %s, %s %s by %s" % (h["appTitle"], h["product"], h["versionNumber"], h["manufacturer"]))
print("  application directory %s, %d sections" % (h["appDirectory"], h["sectionCount"]))
for number, source in enumerate(d["SectionSources"]):
    if number:
        print("    section %d installed from %s" % (number, source or "(no source)"))
flags = [name for name in ("rollbackAvailable", "repairAvailable", "restorePointWanted", "deleteInUse") if h[name]]
print("  " + ", ".join(flags))

def describe(name, item):
    if name in ("PrivateFiles", "SystemFiles", "MissingFiles"):
        extra = []
        if item["backupPath"]: extra.append("backup " + item["backupPath"])
        if item["counterCount"] > 1: extra.append("counted %d times" % item["counterCount"])
        if item["selfRegSection"]: extra.append("self-registered")
        if item["deviceSection"]: extra.append("386Enh device")
        if item["linkSpec"]: extra.append("shell link")
        return item["path"] + (" (" + ", ".join(extra) + ")" if extra else "")
    if name in ("EditedFiles", "DeletedFiles"):
        return "%s (backup %s)" % (item["path"], item["backupPath"])
    if name in ("Directories", "IniFiles"):
        return item["path"]
    if name == "IniEdits":
        old = item["lastOldValue"]
        return "%s [%s] %s (%s)" % (item["file"], item["sectionName"], item["key"], "was " + old if old else "created")
    if name in ("RegKeys", "RegEdits"):
        roots = ["HKCR", "HKCU", "HKLM", "HKU", "HKCC"]
        root = roots[item["root"]] if 0 <= item["root"] < 5 else item["rootText"]
        value = item["valueName"] or "(default)"
        if name == "RegEdits":
            return "%s\\%s %s, was %s" % (root, item["key"], value, " / ".join(item["firstOldData"]))
        return "%s\\%s %s" % (root, item["key"], value)
    if name == "RegTrees":
        return "root %d: %s" % (item["root"], item["key"])
    if name == "RepairValues":
        return "%s[%d] = %s" % (item["item"]["list"], item["item"]["index"], item["data"])
    if name == "Icons":
        return "%s / %s -> %s" % (item["group"], item["title"], item["command"])
    if name == "Programs":
        return "%s (%s)" % (item["command"], item["displayName"])
    if name == "Services":
        return item["name"]
    return json.dumps(item)

lists = [k for k in d if k not in ("header", "SectionSources")]
print("  items per list: " + ", ".join("%s %d" % (k, len(d[k])) for k in lists))
for name in lists:
    if not d[name]:
        continue
    print("  %s:" % name)
    for item in d[name][:4]:
        print("    " + describe(name, item))
    if len(d[name]) > 4:
        print("    ... and %d more" % (len(d[name]) - 4))
PY
echo "== the whole dump: $DEMO/dump.json"

# --- The uninstall ---------------------------------------------------------------------
APP_UNIX="$WINEPREFIX/drive_c/Program Files/Fernhill/Bramble Notes"
cp "$BUILD/src/UNTARN32.exe" "$APP_UNIX/UNTARN32.EXE"

snapshot() {  # snapshot NAME: every file of drive C: and every registry key, as saved
  "$WINESERVER" -w
  (cd "$WINEPREFIX/drive_c" && find . -type f | sed 's|^\./||' | sort) >"$DEMO/$1.files"
  cat "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" | grep '^\[' | sed 's/\] [0-9]*$/]/' |
    sort -u >"$DEMO/$1.keys"
}

snapshot before
echo "== UNTARN32.EXE /S \"$LOG\""
"$WINE" "$APP_UNIX/UNTARN32.EXE" /S "$LOG" || true
# The clean-up run of its temporary copy removes the program itself a second later.
snapshot after

echo "== files removed"
comm -23 "$DEMO/before.files" "$DEMO/after.files" | sed 's|^|  C:/|'
echo "== registry keys removed"
comm -23 "$DEMO/before.keys" "$DEMO/after.keys" | sed 's|^|  |'
echo "== files added (the status report, the temporary copy of the program)"
comm -13 "$DEMO/before.files" "$DEMO/after.files" | grep -v -i -E '\.(log|reg)$' | sed 's|^|  C:/|'
echo "== logged files left in place (shared files still counted, system files not marked)"
python3 - "$DEMO/dump.json" "$WINEPREFIX/drive_c" <<'PY'
import json, os, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
root = sys.argv[2]
def unix(path):
    rest = path[3:].replace("\\", "/") if path[1:3] == ":\\" else path
    here = root
    for part in rest.split("/"):
        if not part:
            continue
        names = {n.lower(): n for n in os.listdir(here)} if os.path.isdir(here) else {}
        if part.lower() not in names:
            return None
        here = os.path.join(here, names[part.lower()])
    return here
left = [i["path"] for name in ("PrivateFiles", "SystemFiles") for i in d[name] if unix(i["path"])]
for path in left or ["(none)"]:
    print("  " + path)
PY

# --- A repair --------------------------------------------------------------------------
# A second application, Tarn Repair (tests/data/repair), installed by an installation
# program of our own (testing/tarnsetup with the fixture's payload), is damaged and repaired by
# UNTARN32.EXE through its wizard's Repair method, driven by guidriver as a user would.
REPAIR_DATA=$ROOT/tests/data/repair
REPAIR_LOG='C:\Program Files\Tarn Repair\INSTALL.LOG'
REPAIR_APP="$WINEPREFIX/drive_c/Program Files/Tarn Repair"
for program in "$BUILD/testing/tarnsetup/tarnsetup.exe" "$GUIDRIVER"; do
  [[ -f $program ]] || { echo "demo: $program is missing; run make build first" >&2; exit 1; }
done
export TZ=UTC WINEDLLOVERRIDES=winemenubuilder.exe=d

echo "== repair: seeding Tarn Repair and its installation media C:\\Tarn Media\\TARNSETUP.EXE"
"$WINE" "$BUILD/testing/tarnseed/tarnseed.exe" "Z:${REPAIR_DATA//\//\\}\\image.json" 2>&1 |
  tr -d '\r' | { grep -v '^done: ' || true; } | sed 's/^/  /'
python3 "$ROOT/testing/tarnsetup/tarnpack.py" "$BUILD/testing/tarnsetup/tarnsetup.exe" \
  "$REPAIR_DATA/payload" "$WINEPREFIX/drive_c/Tarn Media/TARNSETUP.EXE" | sed 's/^/  /'
touch -d '2024-03-01 09:00:00' "$WINEPREFIX/drive_c/Tarn Media/TARNSETUP.EXE"
SOURCE="C:\\Tarn Media\\TARNSETUP.EXE | 03-01-2024 | 09:00:00 | $(stat -c %s "$WINEPREFIX/drive_c/Tarn Media/TARNSETUP.EXE")"
# The tests' self-registering library is not part of the demo.
sed -e "s/@SOURCE@/${SOURCE//\\/\\\\}/" -e '/E2ESELF/d' "$REPAIR_DATA/INSTALL.LOG.in" \
  >"$REPAIR_APP/INSTALL.LOG"
cp "$BUILD/src/UNTARN32.exe" "$REPAIR_APP/UNTARN32.EXE"

echo "== damage: CORE.DLL and DATA\\WORDS.DAT deleted, DATA\\TABLE.DAT grown, the Start-menu link and its folder deleted, the Path value deleted"
rm "$REPAIR_APP/CORE.DLL" "$REPAIR_APP/DATA/WORDS.DAT"
printf 'grown' >>"$REPAIR_APP/DATA/TABLE.DAT"
touch -d '2024-03-01 10:00:00' "$REPAIR_APP/DATA/TABLE.DAT"
rm -r "$WINEPREFIX/drive_c/Tarn Menu/Tarn Repair"
"$WINE" reg delete 'HKLM\Software\Tarn Repair' /v Path /f >/dev/null 2>&1

echo "== UNTARN32.EXE \"$REPAIR_LOG\": the Repair method, Finish"
gd() { "$WINE" "$GUIDRIVER" --timeout 30000 "$@" 2>>"$DEMO/guidriver.log" | tr -d '\r'; }
"$WINE" "$GUIDRIVER" hold 600000 >/dev/null 2>&1 &
HOLD=$!
sleep 2
REPORT=$DEMO/tarnsetup-report.txt
rm -f "$REPORT"
TARNSETUP_REPORT="Z:${REPORT//\//\\}" "$WINE" "$REPAIR_APP/UNTARN32.EXE" "$REPAIR_LOG" \
  >"$DEMO/repair-run.log" 2>&1 &
RUN=$!
WIZARD=$(gd wait --title 'Tarn Repair' --class '#32770')
gd --window "$WIZARD" check 1009 click 1 >/dev/null
echo "  $(gd --window "$WIZARD" text 1011): Finish"
gd --window "$WIZARD" click 1 >/dev/null
wait "$RUN" || true
kill "$HOLD" 2>/dev/null || true
"$WINESERVER" -w

echo "== what the installation program was asked to put back (its report)"
tr -d '\r' 2>/dev/null <"$REPORT" | sed 's/^/  /' || echo "  (TARNSETUP.EXE was not run)"
echo "== the application afterwards"
for f in CORE.DLL DATA/TABLE.DAT DATA/WORDS.DAT README.TXT; do
  if cmp -s "$REPAIR_APP/$f" "$REPAIR_DATA/payload/Tarn Repair/$f"; then
    echo "  $f: as installed ($(date -r "$REPAIR_APP/$f" '+%F %T'))"
  else
    echo "  $f: NOT as installed"
  fi
done
echo "  HKLM\\Software\\Tarn Repair Path: $("$WINE" reg query 'HKLM\Software\Tarn Repair' /v Path 2>/dev/null |
  tr -d '\r' | awk '$1 == "Path" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }')"
LINK="$WINEPREFIX/drive_c/Tarn Menu/Tarn Repair/Tarn Repair.lnk"
if [[ -f $LINK ]]; then
  echo "  the link: $(stat -c %s "$LINK") bytes, pointing at $(strings -n 8 "$LINK" | grep -i -m1 '^C:.*REPAIR.EXE' || echo '?')"
else
  echo "  the link: missing"
fi

# --- The wizard -------------------------------------------------------------------------
# The sample application once more, uninstalled through the wizard's Custom method as a
# person would (scripts/demo_wizard.sh), with a screenshot of every page.
ROOT=$ROOT BUILD=$BUILD DEMO=$DEMO "$ROOT/scripts/demo_wizard.sh"
