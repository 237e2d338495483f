#!/usr/bin/env bash
# What an uninstall leaves, checked under Wine: the real UNTARN32.EXE removes the sample
# application (tests/data/sample) with `/S`, and `tarnlog.exe verify` then reads a copy of
# the log saved before the run and must name what is left, each with its reason.
#
#   counted-held  FHRUNTIM.DLL counted twice in SharedDLLs (another application still uses
#                 it) and README.TXT held open by tarnseed --hold: verify exits 0 and names
#                 the first as shared (1 other user) and the second as deleted at the next
#                 restart (PendingFileRenameOperations). The machine must still be waiting
#                 for that restart when verify looks: the silent run restarts at once, and
#                 Wine's restart (wineboot) carries the pending renames out and drops the
#                 list even though the held file cannot go, as would a new Wine session. So
#                 this run gets WINEDLLOVERRIDES=wineboot.exe=d (the restart is asked for but
#                 does not happen) and verify runs while the holder keeps the session.
#   by-hand       a logged value (HKCU ...\Settings Greeting) removed and an unlogged file
#                 (MYNOTES.TXT) added in the application's folder before the run: the plan
#                 already says the folder is kept for it; afterwards verify exits 0, the
#                 folder is "not-empty" naming MYNOTES.TXT, and the removed value, simply not
#                 there, is not listed.
# Both runs have the Program Manager stand-in serve the application's group, so icons are
# checked too (Wine's own shell does not answer group requests).
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), WINE_TIMEOUT seconds per program
# (default 300), VERIFY_KEEP=1 keeps the prefixes for a look afterwards.
set -u

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
SAMPLE=$ROOT/tests/data/sample
WORK=$ROOT/build/wine/verify

LOG='C:\Program Files\Fernhill\Bramble Notes\INSTALL.LOG'
SAVED='C:\verify\INSTALL.LOG'
APP_UNIX='drive_c/Program Files/Fernhill/Bramble Notes'

# The shared helpers (checks, paths, the display); this script seeds its prefixes itself.
source "$ROOT/tests/wine/e2e_lib.sh"

# prepare NAME IMAGE HOLD: a fresh prefix seeded from IMAGE (held open with HOLD=hold), the
# real uninstaller in place of the image's stub, the log saved as C:\verify\INSTALL.LOG and
# the Program Manager stand-in serving the application's group. Leaves PREFIX and STOP.
prepare() {
  local name=$1 image=$2 hold=$3
  PREFIX=$WORK/prefix-$name
  STOP=$WORK/$name.stop
  local ready=$WORK/$name.ready pm_ready=$WORK/$name.pm-ready
  rm -rf "$PREFIX" "$STOP" "$ready" "$pm_ready"
  PREFIXES+=("$PREFIX")
  if ! WINEPREFIX=$PREFIX timeout 300 "$WINE" wineboot -i >"$WORK/$name-boot.log" 2>&1; then
    echo "verify: wineboot failed (see $WORK/$name-boot.log)" >&2
    return 1
  fi
  WINEPREFIX=$PREFIX "$WINESERVER" -w
  if [[ $hold == hold ]]; then
    WINEPREFIX=$PREFIX "$WINE" "$TARNSEED" --hold --until "$(win_path "$STOP")" \
      --ready "$(win_path "$ready")" "$(win_path "$image")" >"$WORK/$name-seed.log" 2>&1 &
    BACKGROUND+=($!)
    wait_for "$ready" 120 || { echo "verify: tarnseed did not get ready (see $WORK/$name-seed.log)" >&2; return 1; }
  else
    WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$TARNSEED" "$(win_path "$image")" \
      >"$WORK/$name-seed.log" 2>&1 || { echo "verify: seeding failed (see $WORK/$name-seed.log)" >&2; return 1; }
  fi
  cp "$UNTARN" "$PREFIX/$APP_UNIX/UNTARN32.EXE" || return 1
  mkdir -p "$PREFIX/drive_c/verify" && cp "$PREFIX/$APP_UNIX/INSTALL.LOG" "$PREFIX/drive_c/verify/" || return 1

  printf 'G\tBramble Notes\tC:\\windows\\BRAMBLEN.GRP\nI\tBramble Notes\tC:\\PROGRA~1\\FERNHILL\\BRAMBL~1\\BRAMBLE.EXE\nI\tLies mich - Bramble\tnotepad.exe C:\\PROGRA~1\\FERNHILL\\BRAMBL~1\\README.TXT\nG\tAccessories\tC:\\windows\\ACCESSOR.GRP\nI\tNotepad\tC:\\windows\\notepad.exe\n' \
    >"$WORK/$name-progman.txt"
  WINEPREFIX=$PREFIX "$WINE" "$PROGMAN" "$(win_path "$WORK/$name-progman.txt")" --stop "$(win_path "$STOP")" \
    --ready "$(win_path "$pm_ready")" --timeout 280 >/dev/null 2>&1 &
  BACKGROUND+=($!)
  wait_for "$pm_ready" 60 || { echo "verify: the Program Manager stand-in did not get ready" >&2; return 1; }
}

# uninstall NAME [ENV...]: UNTARN32.EXE /S from the application's folder, with the given
# environment; then waits for the clean-up run of its temporary copy, which removes the
# program's own file.
uninstall() {
  local name=$1
  shift
  env "$@" WINEPREFIX="$PREFIX" timeout "$WINE_TIMEOUT" "$WINE" "$PREFIX/$APP_UNIX/UNTARN32.EXE" /S "$LOG" \
    >"$WORK/$name-run.log" 2>&1
  local status=$? i
  [[ $status -eq 0 ]] && pass || fail "$name: UNTARN32.EXE exit status $status"
  for ((i = 0; i < 300; i++)); do
    [[ -e "$PREFIX/$APP_UNIX/UNTARN32.EXE" ]] || break
    sleep 0.1
  done
  [[ ! -e "$PREFIX/$APP_UNIX/UNTARN32.EXE" ]] && pass || fail "$name: the clean-up run did not remove UNTARN32.EXE"
}

# verify NAME: tarnlog.exe verify --json on the saved log; leaves its exit status in STATUS
# and its output in WORK/NAME-verify.json.
verify() {
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$TARNLOG" verify --json "$SAVED" \
    >"$WORK/$1-verify.json" 2>"$WORK/$1-verify.err"
  STATUS=$?
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$TARNLOG" verify "$SAVED" \
    >"$WORK/$1-verify.txt" 2>&1
}

# expect NAME JSON CHECK...: each CHECK is "item|reason|text the detail holds" ("-" as the
# reason: the item must not be listed); and no item may be unexplained.
expect() {
  local name=$1 json=$2
  shift 2
  local out
  out=$(python3 - "$json" "$@" <<'PY'
import json, sys
try:
    data = json.load(open(sys.argv[1], encoding="utf-8"))
except Exception as error:
    print("FAIL the output is not JSON (%s)" % error)
    sys.exit()
items = {}
for item in data.get("items", []):
    items.setdefault(item["item"].lower(), item)
for check in sys.argv[2:]:
    name, reason, detail = (check.split("|") + ["", ""])[:3]
    found = items.get(name.lower())
    if reason == "-":
        print("ok" if found is None else "FAIL %s is listed (%s: %s)" % (name, found["reason"], found["detail"]))
    elif found is None:
        print("FAIL %s is not listed" % name)
    elif found["reason"] != reason or detail not in found["detail"]:
        print("FAIL %s: %s: %s, expected %s with \"%s\"" % (name, found["reason"], found["detail"], reason, detail))
    else:
        print("ok")
# Every kind of item was looked at: a note says what could not be (icons, when the stand-in
# did not answer).
notes = data.get("notes", [])
print("FAIL not everything was checked: " + "; ".join(notes) if notes else "ok")
left = [i for i in data.get("items", []) if i["reason"] == "unexplained"]
if left or data.get("unexplained") != 0:
    print("FAIL unexplained: " + "; ".join("%s (%s)" % (i["item"], i["detail"]) for i in left))
else:
    print("ok")
PY
)
  local line
  while IFS= read -r line; do
    if [[ $line == ok ]]; then pass; else fail "$name: ${line#FAIL }"; fi
  done <<<"$out"
}

test_counted_held() {
  local name=counted-held image=$WORK/counted-held.json
  echo "-- /S with a shared file still counted and a file held open"
  python3 - "$SAMPLE/image.json" "$image" <<'PY' || return 1
import json, sys
image = json.load(open(sys.argv[1], encoding="utf-8"))
shared = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
image["registry"][shared]["C:\\windows\\system32\\FHRUNTIM.DLL"] = {"dword": 2}
for f in image["files"]:
    if f["path"].endswith("\\README.TXT"):
        f["inUse"] = True
json.dump(image, open(sys.argv[2], "w", encoding="utf-8"), indent=1)
PY
  prepare "$name" "$image" hold || return 1
  uninstall "$name" WINEDLLOVERRIDES=wineboot.exe=d
  verify "$name"
  touch "$STOP"
  [[ $STATUS -eq 0 ]] && pass || fail "$name: tarnlog.exe verify exit status $STATUS, expected 0 ($(tr -d '\r' <"$WORK/$name-verify.err"))"
  expect "$name" "$WORK/$name-verify.json" \
    'C:\windows\system32\FHRUNTIM.DLL|shared|SharedDLLs still counts 1 other user' \
    'C:\Program Files\Fernhill\Bramble Notes\README.TXT|pending-delete|(PendingFileRenameOperations)' \
    'C:\Program Files\Fernhill|not-empty|Bramble Notes\README.TXT' \
    'C:\Program Files\Fernhill\Bramble Notes\BRAMBLE.EXE|-' \
    'Bramble Notes (group Bramble Notes)|-'
  grep -q 'README.TXT' "$WORK/$name-verify.txt" && grep -q '^    pending-delete: ' "$WORK/$name-verify.txt" &&
    grep -q -- '-- .* items left, 0 unexplained' "$WORK/$name-verify.txt" && pass ||
    fail "$name: the text form lacks the pending deletion or its summary (see $WORK/$name-verify.txt)"
}

test_by_hand() {
  local name=by-hand
  echo "-- /S after a logged value was removed and an unlogged file added by hand"
  prepare "$name" "$SAMPLE/image.json" no || return 1
  WINEPREFIX=$PREFIX timeout 60 "$WINE" reg delete 'HKCU\Software\Fernhill\Bramble Notes\Settings' \
    /v Greeting /f >/dev/null 2>&1 || { fail "$name: reg delete failed"; }
  printf 'my own notes\r\n' >"$PREFIX/$APP_UNIX/MYNOTES.TXT"
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$TARNLOG" plan --json /S "$LOG" \
    >"$WORK/$name-plan.json" 2>"$WORK/$name-plan.err"
  local status=$?
  [[ $status -eq 0 ]] && pass || fail "$name: tarnlog.exe plan exit status $status"
  python3 - "$WORK/$name-plan.json" <<'PY' && pass || fail "$name: the plan does not keep C:\\Program Files\\Fernhill for MYNOTES.TXT (see $WORK/$name-plan.json)"
import json, sys
steps = json.load(open(sys.argv[1], encoding="utf-8"))["steps"]
kept = [s for s in steps if s["kind"] == "kept" and s["text"] == "C:\\Program Files\\Fernhill"]
sys.exit(0 if kept and kept[0]["reason"] == "not-empty" and "MYNOTES.TXT" in kept[0]["detail"] else 1)
PY
  # Before the run everything is still there, and nothing explains it: status 3. A log the
  # loader refuses is 2 with the program's message, --machine belongs to the native build: 1.
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$TARNLOG" verify "$SAVED" >"$WORK/$name-before.txt" 2>&1
  status=$?
  [[ $status -eq 3 ]] && pass || fail "$name: verify before the run: exit status $status, expected 3"
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$TARNLOG" verify 'C:\nowhere\INSTALL.LOG' \
    >/dev/null 2>"$WORK/$name-refused.err"
  status=$?
  [[ $status -eq 2 ]] && tr -d '\r' <"$WORK/$name-refused.err" | grep -q 'Could not open INSTALL.LOG file.' && pass ||
    fail "$name: verify of a missing log: exit status $status, expected 2 with the program's message"
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$TARNLOG" verify --machine x.json "$SAVED" >/dev/null 2>&1
  status=$?
  [[ $status -eq 1 ]] && pass || fail "$name: verify --machine on Windows: exit status $status, expected 1"
  uninstall "$name"
  verify "$name"
  touch "$STOP"
  [[ $STATUS -eq 0 ]] && pass || fail "$name: tarnlog.exe verify exit status $STATUS, expected 0"
  expect "$name" "$WORK/$name-verify.json" \
    'C:\Program Files\Fernhill|not-empty|Bramble Notes\MYNOTES.TXT' \
    'HKCU\Software\Fernhill\Bramble Notes\Settings: Greeting|-' \
    'HKCU\Software\Fernhill\Bramble Notes\Settings: AutoSave|-' \
    'C:\windows\system32\FHRUNTIM.DLL|not-owned|not counted in SharedDLLs' \
    'C:\windows\fernhill.ini [Shared] Runtime|restored|"1.5"' \
    'HKCR\.txt: (default)|restored|"txtfile"'
}

main() {
  local f
  require_built verify "$UNTARN" "$TARNSEED" "$TARNLOG" "$PROGMAN" || return 1
  mkdir -p "$WORK"
  start_display || return 1

  test_counted_held || FAILURES=$((FAILURES + 1))
  local pid
  for pid in "${BACKGROUND[@]}"; do wait "$pid" 2>/dev/null; done
  BACKGROUND=()
  test_by_hand || FAILURES=$((FAILURES + 1))
  for pid in "${BACKGROUND[@]}"; do wait "$pid" 2>/dev/null; done
  BACKGROUND=()

  for f in "${PREFIXES[@]}"; do WINEPREFIX=$f "$WINESERVER" -k 2>/dev/null; done
  if [[ ${VERIFY_KEEP:-0} != 1 ]]; then
    for f in "${PREFIXES[@]}"; do rm -rf "$f"; done
  fi
  PREFIXES=()
  echo "verify_leftovers: $CHECKS checks passed, $FAILURES failed"
  [[ $FAILURES -eq 0 ]]
}

main "$@"
