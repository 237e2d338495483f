#!/usr/bin/env bash
# Repair under Wine, end to end: the application of tests/data/repair, installed from its own
# installation program (TARNSETUP.EXE, testing/tarnsetup with the fixture's payload), is damaged
# and repaired by the real UNTARN32.EXE through the wizard's Repair method.
#
#   setup    tarnsetup alone: it extracts a listed file with the listed time, and skips a
#            line whose checksum is not the payload's, a relative path and an unknown name
#   repair   a file deleted, a system file deleted, a file grown, a file changed at the same
#            size, a file made newer (the newer-file question answered No), registry values
#            deleted and changed, the shell link deleted with its folder, the library
#            unregistered; afterwards every file is back byte for byte with its logged time,
#            the newer one kept, only the damaged files were listed for the installation
#            program, the values hold their logged data, the link is back with its target,
#            folder, icon, show command, hot key and arguments, the library is registered
#   prompt   the installation program moved away: the source prompt (dialog 107) comes up
#            with the logged path and attributes; a file that is not the program brings it
#            back; the moved program's path completes the repair
#   shortcut /W1 on a damaged application: the damage question answered Yes, the repair on
#            the final page without Finish and Back, then the shortcut's program started
#   killed   a repair killed just after Finish and while the installation program extracts,
#            then the repair again: every damaged file back byte for byte, the values
#            written, and after a restart no list file left
#   season   in a zone with daylight saving time (Europe/Berlin), an installation logged in
#            the other season than today's: every intact file and the installation program
#            read one hour off their stamps, and still count as intact; tarnlog's plan and
#            the repair list only the deleted file, and no prompt comes up
#
# The rounds share one prefix and run in this order: the prompt round finds README.TXT still
# newer from the repair round, and asks again. Screenshots go to build/wine/repair/shots.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), WINE_TIMEOUT (default 300),
# REPAIR_KEEP=1 keeps the prefix.
set -u

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
WORK=$ROOT/build/wine/repair
SHOTS=$WORK/shots
# The stamps are local times; the seeded times are UTC.
export TZ=UTC
# Saving a shell link starts Wine's menu builder, which has nothing to do here.
export WINEDLLOVERRIDES=winemenubuilder.exe=d

TARNSETUP=$BUILD/testing/tarnsetup/tarnsetup.exe

DATA=$ROOT/tests/data/repair
source "$ROOT/tests/wine/e2e_lib.sh"
APP_DIR='C:\Program Files\Tarn Repair'
MEDIA='C:\Tarn Media'
MOVED='C:\Moved Media'
LINK='C:\Tarn Menu\Tarn Repair\Tarn Repair.lnk'
KEY='HKLM\Software\Tarn Repair'
INSTALLED='2024-03-01 10:00:00'
SETUP_TIME='2024-03-01 09:00:00'
TITLE='Tarn Repair'
NEXT=1 RADIO_REPAIR=1009 PAGE_TITLE=1011 ANSWER_NO=1006 PROMPT_TEXT=1002 PROMPT_PATH=1010

mtime() { date -r "$1" '+%F %T'; }

# The logged stamp of a file: " MM-DD-YYYY | HH:MM:SS | version | size | crc32".
stamp_of() {
  python3 -c 'import sys, zlib; d = open(sys.argv[1], "rb").read()
print(" 03-01-2024 | 10:00:00 | 1.0.0.0 | %d | %08x" % (len(d), zlib.crc32(d)))' "$1"
}

# make_setup: TARNSETUP.EXE with the fixture's payload and the self-registering library.
make_setup() {
  local payload=$WORK/payload
  rm -rf "$payload"
  cp -r "$DATA/payload" "$payload" && cp "$BUILD/e2e/E2ESELF.DLL" "$payload/Tarn Repair/" &&
    python3 "$ROOT/testing/tarnsetup/tarnpack.py" "$TARNSETUP" "$payload" "$WORK/TARNSETUP.EXE" >/dev/null
}

# prepare_repair: a fresh prefix with the application installed as its log says.
prepare_repair() {
  PREFIX=$WORK/prefix
  STOP=$WORK/stop
  rm -rf "$PREFIX"
  PREFIXES+=("$PREFIX")
  WINEPREFIX=$PREFIX timeout 300 "$WINE" wineboot -i >"$WORK/boot.log" 2>&1 || return 1
  WINEPREFIX=$PREFIX "$WINESERVER" -w
  WINEPREFIX=$PREFIX "$WINE" "$TARNSEED" "$(win_path "$DATA/image.json")" >"$WORK/seed.log" 2>&1 ||
    { echo "repair: seeding failed (see $WORK/seed.log)" >&2; return 1; }
  local app media
  app=$(unix_path "$PREFIX" "$APP_DIR")
  media=$(unix_path "$PREFIX" "$MEDIA")
  cp "$UNTARN" "$app/UNTARN32.EXE" && cp "$BUILD/e2e/E2ESELF.DLL" "$app/E2ESELF.DLL" &&
    cp "$WORK/TARNSETUP.EXE" "$media/TARNSETUP.EXE" || return 1
  touch -d "$INSTALLED" "$app/E2ESELF.DLL"
  touch -d "$SETUP_TIME" "$media/TARNSETUP.EXE"
  SOURCE="$MEDIA\\TARNSETUP.EXE | $(date -d "$SETUP_TIME" '+%m-%d-%Y | %H:%M:%S') | $(stat -c %s "$media/TARNSETUP.EXE")"
  local self
  self=$(stamp_of "$app/E2ESELF.DLL")
  sed -e "s/@SOURCE@/${SOURCE//\\/\\\\}/" -e "s/@E2ESELF@/$self/" "$DATA/INSTALL.LOG.in" \
    >"$app/INSTALL.LOG"
  # The log as installed, for rounds that write it again with other stamps.
  cp "$app/INSTALL.LOG" "$WORK/INSTALL.LOG.first"
}

# Registry damage in one import: each reg.exe call costs a second.
damage_registry() {
  local reg=$WORK/damage.reg
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Tarn Repair]\r\n"Path"=-\r\n"Level"=-\r\n"Color"="blue"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Tarn E2E]\r\n"Library"=-\r\n' >"$reg"
  WINEPREFIX=$PREFIX timeout 60 "$WINE" regedit /S "$(win_path "$reg")" >/dev/null 2>&1
  expect_reg "$PREFIX" "$KEY" Color blue "damage"
  expect_reg "$PREFIX" 'HKLM\Software\Tarn E2E' Library --none "damage"
}

# repair_through_wizard ANSWER_NEWER PROMPT_STEPS: the wizard's Repair method, Finish; the
# newer-file question answered No; a function named by PROMPT_STEPS (or "none") works the
# source prompt. The installation program's report goes to $WORK/$NAME-report.txt.
repair_through_wizard() {
  local prompt=$1 newer=${2:-newer}
  REPORT=$WORK/$NAME-report.txt
  rm -f "$REPORT"
  # The desktop process kept for the run (await_uninstaller ends the hold): without a window
  # of the session Wine ends it, and each next window waits seconds for a new one.
  WINEPREFIX=$PREFIX "$WINE" "$GUIDRIVER" hold 600000 >/dev/null 2>&1 &
  HOLD_PID=$!
  sleep 2
  TARNSETUP_REPORT=$(win_path "$REPORT") start_uninstaller "$APP_DIR\\INSTALL.LOG"
  local wizard
  wizard=$(gd wait --title "$TITLE" --class '#32770') || { fail "$NAME: no wizard"; return 1; }
  expect_eq "$(gd --window "$wizard" visible $RADIO_REPAIR)" 1 "$NAME: Repair offered"
  gd --window "$wizard" check $RADIO_REPAIR >/dev/null
  shot 01-method
  gd --window "$wizard" click $NEXT >/dev/null
  shot 02-final
  FINAL_TITLE=$(gd --window "$wizard" text $PAGE_TITLE)
  gd --window "$wizard" click $NEXT >/dev/null
  local question
  if [[ $newer == newer ]]; then
    if question=$(gd wait --title 'Repair Newer File?' --class '#32770'); then
      shot 03-newer-question
      NEWER_TEXT=$(gd --window "$question" text 1002)
      gd --window "$question" click $ANSWER_NO >/dev/null
      pass
    else
      fail "$NAME: no newer-file question"
    fi
  fi
  [[ $prompt == none ]] || "$prompt"
  await_uninstaller
}

expect_file() {  # expect_file PATH PAYLOAD-NAME TIME WHAT: the payload's bytes and that time
  local f
  f=$(file_ci "$PREFIX" "$1")
  if [[ -z $f ]]; then fail "$4: $1 missing"; return; fi
  cmp -s "$f" "$DATA/payload/$2" && pass || fail "$4: $1 differs from the installed file"
  expect_eq "$(mtime "$f")" "$3" "$4: time of $1"
}

# The paths the installation program extracted, sorted, one a line; and whether it skipped any.
extracted() { tr -d '\r' 2>/dev/null <"$REPORT" | sed -n 's/^extracted: //p' | sort; }
expect_no_skips() {
  if grep -q -E '^(skipped|failed)' "$REPORT" 2>/dev/null; then
    fail "$NAME: the installation program skipped lines: $(grep -E '^(skipped|failed)' "$REPORT" | tr '\r\n' '  ')"
  else
    pass
  fi
}
expect_no_list_left() {
  local left
  left=$(find "$PREFIX/drive_c/users" -iname 'KTC*' 2>/dev/null)
  [[ -z $left ]] && pass || fail "$NAME: list files left behind: $left"
}

# The shell link, read back from its file: its target and the settings the log gave.
link_fields() {
  python3 - "$1" <<'PY'
import struct, sys
d = open(sys.argv[1], "rb").read()
flags, = struct.unpack_from("<I", d, 0x14)
icon, show, hotkey = struct.unpack_from("<iIH", d, 0x38)
at = 0x4C
idlist = b""
if flags & 1:
    size, = struct.unpack_from("<H", d, at)
    idlist = d[at + 2:at + 2 + size]
    at += 2 + size
target = ""
if flags & 2:
    size, = struct.unpack_from("<I", d, at)
    info = d[at:at + size]
    base = struct.unpack_from("<I", info, 16)[0]
    if base:
        target = info[base:info.index(b"\0", base)].decode("cp1252")
    at += size
strings = {}
for bit, name in ((4, "name"), (8, "relative"), (0x10, "workdir"), (0x20, "arguments"), (0x40, "icon")):
    if flags & bit:
        count, = struct.unpack_from("<H", d, at)
        width = 2 if flags & 0x80 else 1
        raw = d[at + 2:at + 2 + count * width]
        # Wine counts the terminating zero in each string; Windows does not.
        strings[name] = raw.decode("utf-16-le" if width == 2 else "cp1252").rstrip("\0")
        at += 2 + count * width
if not target and b"REPAIR.EXE" in idlist.upper():
    target = "(in the item list) REPAIR.EXE"
print("target=" + target)
print("workdir=" + strings.get("workdir", ""))
print("arguments=" + strings.get("arguments", ""))
print("icon=%s,%d" % (strings.get("icon", ""), icon))
print("show=%d" % show)
print("hotkey=0x%04x" % hotkey)
PY
}

# ---------------------------------------------------------------------------------------

test_setup() {
  NAME=setup
  echo "-- tarnsetup alone"
  local list=$WORK/probe-list.txt report=$WORK/probe-report.txt
  local good='C:\Probe\Deep\Tarn Repair\HELP.TXT'
  local help=$DATA/payload/Tarn\ Repair/HELP.TXT
  local crc size
  size=$(stat -c %s "$help")
  crc=$(python3 -c 'import sys, zlib; print("%08x" % zlib.crc32(open(sys.argv[1], "rb").read()))' "$help")
  # 03-01-2024 10:00:30: DOS date 22625, time 20495.
  printf '%s|22625|20495| %s | %s\r\n' "$good" "$size" "$crc" >"$list"
  printf '%s|22625|20495| %s | 0badf00d\r\n' 'C:\Probe\Wrong\Tarn Repair\HELP.TXT' "$size" >>"$list"
  printf '%s|22625|20495| %s | %s\r\n' 'Probe\HELP.TXT' "$size" "$crc" >>"$list"
  printf '%s|22625|20495| %s | %s\r\n' 'C:\Probe\NOPE.TXT' "$size" "$crc" >>"$list"
  rm -f "$report"
  TARNSETUP_REPORT=$(win_path "$report") WINEPREFIX=$PREFIX timeout 60 "$WINE" \
    "$WORK/TARNSETUP.EXE" "/X=$(win_path "$list")" >/dev/null 2>&1
  expect_eq "$?" 0 "setup: exit status"
  expect_file "$good" 'Tarn Repair/HELP.TXT' '2024-03-01 10:00:30' "setup"
  expect_eq "$(find "$PREFIX/drive_c/Probe" -type f | wc -l)" 1 "setup: files written"
  expect_eq "$(grep -c '^skipped' "$report")" 3 "setup: lines skipped"
  WINEPREFIX=$PREFIX timeout 60 "$WINE" "$WORK/TARNSETUP.EXE" '/X=C:\no such list' >/dev/null 2>&1
  expect_eq "$?" 1 "setup: exit status without a list"
}

prompt_wrong_then_moved() {
  local dialog
  if ! dialog=$(gd wait --title 'Select Installation Pathname' --class '#32770'); then
    fail "$NAME: no source prompt"
    return
  fi
  shot 04-prompt
  expect_eq "$(gd --window "$dialog" text $PROMPT_PATH)" "$MEDIA\\TARNSETUP.EXE" "$NAME: path offered"
  local attributes=${SOURCE#*| }
  local text
  text=$(gd --window "$dialog" text $PROMPT_TEXT)
  [[ $text == *"${attributes//|//}"* ]] && pass ||
    fail "$NAME: the prompt says \"$text\", without \"${attributes//|//}\""
  # A file that is there but is not the program: asked again.
  gd --window "$dialog" settext $PROMPT_PATH "$APP_DIR\\REPAIR.EXE" click 1 waitgone >/dev/null
  if dialog=$(gd wait --title 'Select Installation Pathname' --class '#32770'); then
    shot 05-prompt-again
    pass
  else
    fail "$NAME: the prompt took a file that is not the program"
    return
  fi
  gd --window "$dialog" settext $PROMPT_PATH "$MOVED\\TARNSETUP.EXE" click 1 >/dev/null
}

test_repair() {
  NAME=repair
  echo "-- repair through the wizard"
  local p=$PREFIX app
  app=$(unix_path "$p" "$APP_DIR")
  rm "$app/CORE.DLL" "$(unix_path "$p" 'C:\windows\system32\TSREPAIR.DLL')"
  printf 'grown' >>"$app/DATA/TABLE.DAT"
  printf 'alder birch CEDAR\r\n' >"$app/DATA/WORDS.DAT"
  touch -d "$INSTALLED" "$app/DATA/TABLE.DAT" "$app/DATA/WORDS.DAT"
  printf 'my own notes\r\n' >"$app/README.TXT"
  touch -d '2024-06-01 12:00:00' "$app/README.TXT"
  rm -r "$(unix_path "$p" 'C:\Tarn Menu\Tarn Repair')"
  damage_registry

  repair_through_wizard none
  expect_eq "$FINAL_TITLE" "Perform Repair" "$NAME: final page"
  [[ ${NEWER_TEXT:-} == *README.TXT* ]] && pass || fail "$NAME: question without the file: ${NEWER_TEXT:-}"

  local f
  for f in CORE.DLL DATA/TABLE.DAT DATA/WORDS.DAT HELP.TXT REPAIR.EXE; do
    expect_file "$APP_DIR\\${f//\//\\}" "Tarn Repair/$f" "$INSTALLED" "$NAME"
  done
  expect_file 'C:\windows\system32\TSREPAIR.DLL' 'system32/TSREPAIR.DLL' "$INSTALLED" "$NAME"
  expect_contents "$p" "$APP_DIR\\README.TXT" $'my own notes\r' "$NAME (newer file kept)"
  expect_gone "$p" "$APP_DIR\\EXTRA.TXT" "$NAME (never listed)"
  expect_eq "$(extracted | tr '\n' ';')" \
    "$APP_DIR\\CORE.DLL;$APP_DIR\\DATA\\TABLE.DAT;$APP_DIR\\DATA\\WORDS.DAT;C:\\windows\\system32\\TSREPAIR.DLL;" \
    "$NAME: files listed for the installation program"
  expect_no_skips
  expect_no_list_left

  expect_reg "$p" "$KEY" Path "$APP_DIR" "$NAME"
  expect_reg "$p" "$KEY" Level 0x1000 "$NAME"
  expect_reg "$p" "$KEY" Color green "$NAME"
  expect_reg "$p" 'HKLM\Software\Tarn E2E' Library registered "$NAME (registered again)"

  local lnk
  lnk=$(file_ci "$p" "$LINK")
  if [[ -z $lnk ]]; then
    fail "$NAME: the link was not re-created"
  else
    local fields
    fields=$(link_fields "$lnk" | tr '\n' ';')
    expect_eq "$fields" "target=$APP_DIR\\REPAIR.EXE;workdir=$APP_DIR;arguments=/repaired;icon=$APP_DIR\\REPAIR.EXE,1;show=3;hotkey=0x0652;" \
      "$NAME: the link"
  fi
}

test_prompt() {
  NAME=prompt
  echo "-- the installation program moved: the source prompt"
  local p=$PREFIX app
  app=$(unix_path "$p" "$APP_DIR")
  mkdir -p "$(unix_path "$p" "$MOVED")"
  mv "$(unix_path "$p" "$MEDIA")/TARNSETUP.EXE" "$(unix_path "$p" "$MOVED")/"
  rm "$app/CORE.DLL" "$app/DATA/WORDS.DAT"
  repair_through_wizard prompt_wrong_then_moved
  expect_file "$APP_DIR\\CORE.DLL" 'Tarn Repair/CORE.DLL' "$INSTALLED" "$NAME"
  expect_file "$APP_DIR\\DATA\\WORDS.DAT" 'Tarn Repair/DATA/WORDS.DAT' "$INSTALLED" "$NAME"
  expect_eq "$(extracted | tr '\n' ';')" "$APP_DIR\\CORE.DLL;$APP_DIR\\DATA\\WORDS.DAT;" \
    "$NAME: files listed for the installation program"
  expect_no_list_left
}

# The damage check of a shortcut (/W1) finds CORE.DLL and the Path value gone; Yes repairs
# without the method page (the final page with the repair texts, no Finish, no Back) and
# then starts the shortcut's program. The program is still away from its logged place, so the
# source prompt comes up and holds the run while the page is read.
test_shortcut() {
  NAME=shortcut
  echo "-- a shortcut's damage check answered Yes: repair, then the application"
  local p=$PREFIX app
  app=$(unix_path "$p" "$APP_DIR")
  rm "$app/CORE.DLL"
  rm -f "$p/drive_c/launched.txt"
  local reg=$WORK/record.reg
  local record='HKEY_LOCAL_MACHINE\\Software\\Tarn Solutions\\Tarn Installation System\\Repair\\C:/Program Files/Tarn Repair/INSTALL.LOG'
  printf 'REGEDIT4\r\n\r\n[%s]\r\n"C:\\\\Program Files\\\\Tarn Repair\\\\CORE.DLL"=dword:00000001\r\n"2\\\\Software\\\\Tarn Repair\\\\\\\\Path"=""\r\n\r\n[%s\\Icons\\1]\r\n"Path"="C:\\\\windows\\\\system32\\\\cmd.exe"\r\n"Arguments"="/c echo launched>C:\\\\launched.txt"\r\n"WorkingDir"="C:\\\\"\r\n"ShowWindow"="0"\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Tarn Repair]\r\n"Path"=-\r\n' \
    "${record//\\\\/\\}" "${record//\\\\/\\}" >"$reg"
  WINEPREFIX=$p timeout 60 "$WINE" regedit /S "$(win_path "$reg")" >/dev/null 2>&1
  expect_reg "$p" "$KEY" Path --none "$NAME: damage"

  REPORT=$WORK/$NAME-report.txt
  rm -f "$REPORT"
  WINEPREFIX=$p "$WINE" "$GUIDRIVER" hold 600000 >/dev/null 2>&1 &
  HOLD_PID=$!
  sleep 2
  TARNSETUP_REPORT=$(win_path "$REPORT") start_uninstaller /W1 "$APP_DIR\\INSTALL.LOG"
  local box
  if box=$(gd wait --title 'Perform Repair' --class '#32770'); then
    shot 01-damage-question
    gd --window "$box" click 6 waitgone >/dev/null
    pass
  else
    fail "$NAME: no damage question"
  fi
  local question
  if question=$(gd wait --title 'Repair Newer File?' --class '#32770'); then
    gd --window "$question" click $ANSWER_NO >/dev/null
  fi
  local dialog wizard
  if dialog=$(gd wait --title 'Select Installation Pathname' --class '#32770'); then
    wizard=$(gd wait --title "$TITLE" --class '#32770')
    shot 02-page-under-the-prompt
    expect_eq "$(gd --window "$wizard" text $PAGE_TITLE visible $NEXT visible 5 | tr '\n' ' ')" \
      "Perform Repair 0 0 " "$NAME: the final page without Finish and Back"
    gd --window "$dialog" settext $PROMPT_PATH "$MOVED\\TARNSETUP.EXE" click 1 >/dev/null
  else
    fail "$NAME: no source prompt"
  fi
  await_uninstaller
  expect_file "$APP_DIR\\CORE.DLL" 'Tarn Repair/CORE.DLL' "$INSTALLED" "$NAME"
  expect_reg "$p" "$KEY" Path "$APP_DIR" "$NAME"
  wait_for "$p/drive_c/launched.txt" 10 && pass || fail "$NAME: the shortcut's program did not run"
  expect_no_list_left
}

# A question that should not come: when it does, it is named and answered so the run ends.
no_question() {  # TITLE
  local box
  if box=$(gd wait --title "$1" --class '#32770' --timeout 3000 2>/dev/null); then
    fail "$NAME: \"$1\" came up"
    gd --window "$box" click 2 >/dev/null
  else
    pass
  fi
}
season_prompts() { no_question 'Repair Newer File?'; no_question 'Select Installation Pathname'; }

test_season() {
  NAME=season
  echo "-- daylight saving time: an installation of the other season than today's"
  local p=$PREFIX app media zone=Europe/Berlin when
  app=$(unix_path "$p" "$APP_DIR")
  media=$(unix_path "$p" "$MEDIA")
  # A day of the other season than today's in the zone, 10:00 UTC.
  if [[ $(TZ=$zone date +%Z) == CEST ]]; then when='2024-01-15 10:00:00'; else when='2024-07-15 10:00:00'; fi
  local epoch logged_when logged_date
  epoch=$(date -u -d "$when" +%s)
  # What the installer wrote on that day: the local time with that day's own offset.
  logged_when=$(TZ=$zone date -d "@$epoch" '+%m-%d-%Y | %H:%M:%S')
  cp "$DATA/payload/Tarn Repair/README.TXT" "$app/README.TXT"
  [[ -f $media/TARNSETUP.EXE ]] || mv "$(unix_path "$p" "$MOVED")/TARNSETUP.EXE" "$media/"
  local f
  for f in "$app"/*.* "$app"/DATA/* "$(unix_path "$p" 'C:\windows\system32\TSREPAIR.DLL')" \
    "$media/TARNSETUP.EXE"; do
    touch -d "@$epoch" "$f"
  done
  rm "$app/CORE.DLL"
  local log=$app/INSTALL.LOG
  sed -e "s/03-01-2024 | 10:00:00/$logged_when/" \
    -e "s/$(date -d "$SETUP_TIME" '+%m-%d-%Y | %H:%M:%S')/$logged_when/" \
    "$WORK/INSTALL.LOG.first" >"$log"
  grep -q "$logged_when" "$log" || { fail "$NAME: the log was not rewritten"; return 1; }

  local plan
  plan=$(TZ=$zone WINEPREFIX=$p timeout 120 "$WINE" "$TARNLOG" plan --json --repair \
    "$APP_DIR\\INSTALL.LOG" 2>/dev/null | tr -d '\r')
  expect_eq "$(python3 -c 'import json, sys; p = json.loads(sys.argv[1])
print(";".join(f["path"] + ":" + f["reason"] for f in p["files"]), [x["found"] for x in p["programs"]])' "$plan" 2>&1)" \
    "$APP_DIR\\CORE.DLL:missing [True]" "$NAME: tarnlog plan --repair in $zone"

  TZ=$zone repair_through_wizard season_prompts no-newer
  expect_eq "$(extracted | tr '\n' ';')" "$APP_DIR\\CORE.DLL;" "$NAME: files listed for the installation program"
  local core
  core=$(file_ci "$p" "$APP_DIR\\CORE.DLL")
  [[ -n $core ]] && cmp -s "$core" "$DATA/payload/Tarn Repair/CORE.DLL" && pass ||
    fail "$NAME: CORE.DLL was not extracted again"
  expect_no_list_left
}

# A repair killed at two points: just after Finish, and while the installation program
# extracts (it is left to finish). The repair run again must finish the job.
test_killed() {
  NAME=killed
  echo "-- a repair killed part-way, then the repair again"
  local p=$PREFIX app point
  app=$(unix_path "$p" "$APP_DIR")
  # Where the log names it, and where an earlier round's answer to the prompt put it.
  local media moved
  media=$(unix_path "$p" "$MEDIA")
  moved=$(unix_path "$p" "$MOVED")
  mkdir -p "$media" "$moved"
  [[ -f $media/TARNSETUP.EXE ]] || cp -p "$moved/TARNSETUP.EXE" "$media/"
  [[ -f $moved/TARNSETUP.EXE ]] || cp -p "$media/TARNSETUP.EXE" "$moved/"
  # README.TXT as installed: the newer one an earlier round left would bring its question.
  cp "$DATA/payload/Tarn Repair/README.TXT" "$app/README.TXT"
  touch -d "$INSTALLED" "$app/README.TXT"
  for point in finish extracting; do
    rm -f "$app/CORE.DLL"
    printf 'grown' >>"$app/DATA/TABLE.DAT"
    touch -d "$INSTALLED" "$app/DATA/TABLE.DAT"
    damage_registry
    WINEPREFIX=$p "$WINE" "$GUIDRIVER" hold 600000 >/dev/null 2>&1 &
    HOLD_PID=$!
    sleep 2
    # The installation program waits a while before it extracts: the repair waits for it.
    TARNSETUP_PAUSE_MS=1500 start_uninstaller "$APP_DIR\\INSTALL.LOG"
    local wizard
    wizard=$(gd wait --title "$TITLE" --class '#32770') || { fail "$NAME: no wizard"; return 1; }
    # The click on Finish returns when the repair has ended: it is left to run on its own.
    gd --window "$wizard" check $RADIO_REPAIR click $NEXT click $NEXT >/dev/null &
    local clicker=$!
    sleep 0.3
    if [[ $point != finish ]]; then
      local i
      for ((i = 0; i < 500; i++)); do
        [[ -n $(prefix_pids 'TARNSETUP') ]] && break
        sleep 0.01
      done
    fi
    local pids
    pids=$(prefix_pids 'UNTARN32.EXE')
    [[ -n $pids ]] && kill -9 $pids 2>/dev/null
    wait "$UNTARN_PID" 2>/dev/null
    wait "$clicker" 2>/dev/null
    kill "$HOLD_PID" 2>/dev/null
    HOLD_PID=
    WINEPREFIX=$p timeout 60 "$WINESERVER" -w
    echo "   killed at $point"
    [[ -n $pids ]] || fail "$NAME: the repair ended before the kill at $point"
    repair_through_wizard none no-newer
    expect_file "$APP_DIR\\CORE.DLL" 'Tarn Repair/CORE.DLL' "$INSTALLED" "$NAME ($point)"
    expect_file "$APP_DIR\\DATA\\TABLE.DAT" 'Tarn Repair/DATA/TABLE.DAT' "$INSTALLED" "$NAME ($point)"
    expect_reg "$p" "$KEY" Path "$APP_DIR" "$NAME ($point)"
    expect_reg "$p" "$KEY" Color green "$NAME ($point)"
  done
  # A killed run's list file waits for the restart, which deletes it.
  WINEPREFIX=$p timeout 300 "$WINE" wineboot -r >"$WORK/$NAME-restart.log" 2>&1
  WINEPREFIX=$p timeout 60 "$WINESERVER" -w
  expect_no_list_left
}

main() {
  local f
  require_built repair "$UNTARN" "$TARNSEED" "$GUIDRIVER" "$TARNSETUP" || return 1
  build_e2e_tools || { echo "repair: could not build testing/e2e" >&2; return 1; }
  rm -rf "$SHOTS"
  mkdir -p "$SHOTS"
  make_setup || { echo "repair: could not make TARNSETUP.EXE" >&2; return 1; }
  start_display || return 1
  prepare_repair || { echo "repair: could not prepare the prefix" >&2; return 1; }

  local tests=(${REPAIR_TESTS:-setup repair prompt shortcut killed season})
  local t
  for t in "${tests[@]}"; do "test_$t" || FAILURES=$((FAILURES + 1)); done

  WINEPREFIX=$PREFIX "$WINESERVER" -k 2>/dev/null
  [[ ${REPAIR_KEEP:-0} == 1 ]] || rm -rf "$PREFIX"
  echo "repair: $CHECKS checks passed, $FAILURES failed; screenshots in $SHOTS"
  [[ $FAILURES -eq 0 ]]
}

main "$@"
