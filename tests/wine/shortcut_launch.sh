#!/usr/bin/env bash
# The shortcut launch under Wine: the real UNTARN32.EXE started as an application's shortcut
# would start it (/W<n> and the install log's path, quoted, so that the program looks the
# record up under the long form of the short path it is given), on the sample application
# of tests/data/e2e. One prefix, one run after another, each on what the last one left:
#
#   clean    every check entry present: the application starts at once, with the recorded
#            arguments, working directory and show state
#   empty    a shortcut without arguments or working directory
#   missing  a target that is not there: the system's error text, captioned with the path
#   no       two entries missing: one question, answered No: started, checks kept
#   cancel   answered Cancel: started, every check entry gone; the next launch asks
#            nothing and starts it at once
#   yes      answered Yes: an automatic repair (its page is read in tests/wine/repair.sh),
#            nothing uninstalled, and the application started at the end
#
# The started application is a small program built here that appends its arguments,
# working directory and show state to C:\launch\runs.txt. Screenshots go to
# build/wine/shortcut-launch/shots.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), WINE_TIMEOUT (default 300).
set -u

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
WORK=$ROOT/build/wine/shortcut-launch
SHOTS=$WORK/shots

source "$ROOT/tests/wine/e2e_lib.sh"

RECORD='HKLM\Software\Tarn Solutions\Tarn Installation System\Repair\C:/Program Files/Tarn Sample/INSTALL.LOG'
LOG_PATH="$APP_DIR\\INSTALL.LOG"
TARGET='C:\launch\LAUNCHME.EXE'
MESSAGE_TEXT=65535  # the text control of a message box

# The application the shortcuts start.
build_target() {
  local source=$WORK/launchme.c
  cat >"$source" <<'EOF'
#include <stdio.h>
#include <windows.h>
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR line, int show) {
  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, directory);
  FILE* runs = fopen("C:\\launch\\runs.txt", "a");
  if (runs == NULL) return 1;
  fprintf(runs, "args=[%s] dir=[%s] show=%d\n", line, directory, show);
  fclose(runs);
  return 0;
}
EOF
  x86_64-w64-mingw32-gcc -O2 -Wall -Werror -mwindows -o "$WORK/LAUNCHME.EXE" "$source"
}

reg_add() { WINEPREFIX=$PREFIX "$WINE" reg add "$@" /f >/dev/null 2>&1 || fail "reg add $*"; }

RUNS=
# The lines the target wrote so far.
run_count() { [[ -f $RUNS ]] && wc -l <"$RUNS" || echo 0; }
# expect_run N LINE WHAT: the target ran N times in all, the last time as LINE says.
expect_run() {
  local i
  for ((i = 0; i < 100 && $(run_count) < $1; i++)); do sleep 0.1; done
  expect_eq "$(run_count)" "$1" "$3: runs of the application"
  expect_eq "$(tail -n 1 "$RUNS" 2>/dev/null | tr -d '\r')" "$2" "$3: how it was started"
}

# shortcut N: UNTARN32.EXE /W<N> with the log's path, in the background (UNTARN_PID).
shortcut() {
  NAME=w$1
  start_uninstaller "/W$1" "$LOG_PATH"
}
# finished WHAT: the run ended by itself, with exit code 0.
finished() {
  local i
  for ((i = 0; i < 300; i++)); do
    kill -0 "$UNTARN_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$UNTARN_PID" 2>/dev/null; then
    fail "$1: UNTARN32.EXE still running after 30 s"
    shot "$1-hung"
    kill "$UNTARN_PID" 2>/dev/null
    return 1
  fi
  wait "$UNTARN_PID"
  expect_eq "$?" 0 "$1: exit code"
}
# question: waits for the damage question, prints its text.
question() { gd wait --title 'Perform Repair' --class '#32770' text "$MESSAGE_TEXT" | tail -n +2; }
answer() { gd --window 'Perform Repair' click "$1" waitgone >/dev/null; }
value_count() {
  WINEPREFIX=$PREFIX "$WINE" reg query "$RECORD" 2>/dev/null | tr -d '\r' | grep -c 'REG_'
}

main() {
  local f
  require_built shortcut_launch "$UNTARN" "$TARNSEED" "$PROGMAN" "$GUIDRIVER" || return 1
  mkdir -p "$WORK"
  build_e2e_tools || { echo "shortcut_launch: could not build testing/e2e" >&2; return 1; }
  build_target || { echo "shortcut_launch: could not build the target program" >&2; return 1; }
  rm -rf "$SHOTS" "$WORK/gd.log"
  mkdir -p "$SHOTS"
  start_display || return 1

  prepare launch || return 1
  # Keeps Wine's desktop for the whole test (see gui_wizard.sh).
  WINEPREFIX=$PREFIX "$WINE" "$GUIDRIVER" hold 600000 >/dev/null 2>&1 &
  BACKGROUND+=($!)
  mkdir -p "$PREFIX/drive_c/launch"
  cp "$WORK/LAUNCHME.EXE" "$PREFIX/drive_c/launch/"
  RUNS=$PREFIX/drive_c/launch/runs.txt

  # The record: shortcut 1 with everything, 3 with nothing but the path, 2 to nowhere.
  reg_add "$RECORD\\Icons\\1" /v Path /d "$TARGET"
  reg_add "$RECORD\\Icons\\1" /v Arguments /d '-alpha beta'
  reg_add "$RECORD\\Icons\\1" /v WorkingDir /d "$APP_DIR"
  reg_add "$RECORD\\Icons\\1" /v ShowWindow /d '7'
  reg_add "$RECORD\\Icons\\3" /v Path /d "$TARGET"
  reg_add "$RECORD\\Icons\\3" /v Arguments /d ''
  reg_add "$RECORD\\Icons\\2" /v Path /d 'C:\launch\GONE.EXE'
  # Check entries that hold: a value, a key alone, a file.
  reg_add "$RECORD" /v '2\Software\Tarn Sample\\Installed' /t REG_SZ /d ''
  reg_add "$RECORD" /v '2\Software\Tarn Sample\\' /t REG_SZ /d ''
  reg_add "$RECORD" /v "$APP_DIR\\SAMPLE.EXE" /t REG_DWORD /d 1
  local entries
  entries=$(value_count)

  echo "-- clean: started at once"
  shortcut 1
  finished clean
  expect_run 1 "args=[-alpha beta] dir=[$APP_DIR] show=7" clean

  echo "-- empty: no arguments, no directory"
  shortcut 3
  finished empty
  # Without a directory it starts in the uninstaller's own.
  local line i
  for ((i = 0; i < 100 && $(run_count) < 2; i++)); do sleep 0.1; done
  line=$(sed -n 2p "$RUNS" 2>/dev/null | tr -d '\r')
  [[ $line == "args=[] dir=["*"] show=0" ]] && pass || fail "empty: started as \"$line\""

  echo "-- missing: the system's error text"
  shortcut 2
  local caption text
  caption=$(gd wait --title 'GONE.EXE' --class '#32770' caption | tail -n +2)
  text=$(gd --window 'GONE.EXE' text "$MESSAGE_TEXT")
  shot missing-target
  echo "   the message: $text"
  expect_eq "$caption" 'C:\launch\GONE.EXE' "missing: caption"
  # Wine's text for the file-not-found code; Windows says "The system cannot find ...".
  [[ $text == *[Nn]ot\ found* || $text == *cannot\ find* ]] && pass ||
    fail "missing: the text is \"$text\""
  gd --window 'GONE.EXE' click 1 waitgone >/dev/null
  finished missing
  expect_eq "$(run_count)" 2 "missing: nothing else started"

  echo "-- no: two entries missing, one question"
  reg_add "$RECORD" /v '2\Software\Tarn Sample\\NoSuchValue' /t REG_SZ /d ''
  reg_add "$RECORD" /v "$APP_DIR\\MISSING.DLL" /t REG_DWORD /d 1
  shortcut 1
  text=$(question)
  shot question
  [[ $text == "This application is damaged and should be repaired."* ]] && pass ||
    fail "no: the question says \"$text\""
  answer 7
  finished no
  expect_run 3 "args=[-alpha beta] dir=[$APP_DIR] show=7" no
  expect_eq "$(value_count)" $((entries + 2)) "no: check entries kept"

  echo "-- yes: the repair, then the application"
  # The page the repair runs on (its title, no Finish, no Back) is read in the repair suite,
  # where the source prompt holds the run: here nothing holds it, and the wizard may be gone
  # before it could be read.
  shortcut 1
  question >/dev/null
  answer 6
  finished yes
  expect_run 4 "args=[-alpha beta] dir=[$APP_DIR] show=7" yes
  for f in SAMPLE.EXE README.TXT CORE.DLL INSTALL.LOG UNTARN32.EXE; do
    expect_there "$PREFIX" "$APP_DIR\\$f" "yes: a repair uninstalls nothing"
  done
  expect_reg "$PREFIX" 'HKLM\Software\Tarn Sample' Installed 1 "yes: a repair uninstalls nothing"

  echo "-- cancel: checks dropped, the next launch asks nothing"
  shortcut 1
  question >/dev/null
  answer 2
  finished cancel
  expect_run 5 "args=[-alpha beta] dir=[$APP_DIR] show=7" cancel
  expect_eq "$(value_count)" 0 "cancel: check entries left"
  expect_key "$PREFIX" "$RECORD\\Icons\\1" yes "cancel: the launch data stays"
  shortcut 1
  finished "after cancel"
  expect_run 6 "args=[-alpha beta] dir=[$APP_DIR] show=7" "after cancel"

  touch "$STOP"
  echo "shortcut_launch: $CHECKS checks passed, $FAILURES failed; screenshots in $SHOTS"
  [[ $FAILURES -eq 0 ]]
}

main "$@"
