#!/usr/bin/env bash
# A silent run shows nothing, so it must need no desktop: the real UNTARN32.EXE /S, started
# in a session whose desktop has closed (Wine ends the desktop process a second after its
# last window goes; the next window starts it again and waits until it is idle), removes a
# small application without starting the desktop process, and removes it just as well with
# no display at all. With the program in the application's directory the run ends in the
# clean-up run of its temporary copy, whose one-second wait then has no window to tick on.
#
# Whether the desktop was started is told by bench/e2e/e2e_wait.exe, which runs the program
# and watches every process the run starts.
#
# The last round gives the run a temporary folder with a blank in its path, beside a program
# planted where an unquoted path would be read as a program ("C:\Temp.exe" for
# "C:\Temp Folder\..."), and a file planted at the copy's old fixed name: the copy is made
# in a new folder of its own and started by its quoted path, the planted files are never
# run or touched, and a simulated restart removes the copy with its folder.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), WINE_TIMEOUT seconds per program
# (default 120).
set -u

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE_TIMEOUT=${WINE_TIMEOUT:-120}
source "$ROOT/scripts/wine_env.sh"
WORK=$ROOT/build/wine/silent

WAITER=$BUILD/bench/e2e_wait.exe
export WINEPREFIX=$WORK/prefix
APP='C:\QuietApp'
APP_UNIX=$WINEPREFIX/drive_c/QuietApp
KEY='HKLM\Software\Quiet Test'

source "$ROOT/scripts/display.sh"
cleanup() {
  "$WINESERVER" -k 2>/dev/null
  stop_display
  return 0
}
trap cleanup EXIT

FAILURES=0
fail() { echo "  FAIL: $*"; FAILURES=$((FAILURES + 1)); }
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}" >/dev/null 2>&1; then echo "  ok: $1"; else fail "$1"; fi
}

require_built silent_run "$UNTARN" "$WAITER" || exit 1
build_e2e_tools || { echo "silent_run: could not build testing/e2e" >&2; exit 1; }

# Every run copies the program to the temporary directory, so it ships without its debugging
# sections; they stay beside it in the build.
check "the program carries no debugging sections" \
  bash -c "! x86_64-w64-mingw32-objdump -h '$UNTARN' | grep -q '[.]debug_'"
check "its debugging sections are kept in UNTARN32.exe.debug" test -s "$UNTARN.debug"

end_session() {
  "$WINESERVER" -k 2>/dev/null
  "$WINESERVER" -w 2>/dev/null
  return 0
}

# True while this prefix's desktop process runs.
desktop_running() {
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

# A session that stays up, with its services running and its desktop closed.
idle_session() {
  "$WINESERVER" -p
  "$WINE" cmd /c exit >/dev/null 2>&1
  local waited=0
  while desktop_running && [[ $waited -lt 150 ]]; do sleep 0.1; waited=$((waited + 1)); done
  if desktop_running; then fail "the session's desktop did not close"; else echo "  ok: the session's desktop closed"; fi
}

# install PLACEMENT: the application's files, a registry value and the log; the program in
# the application's directory (logged as one of its files) or in the Windows directory.
install() {
  mkdir -p "$APP_UNIX/DATA"
  echo main >"$APP_UNIX/MAIN.EXE"
  echo help >"$APP_UNIX/DATA/HELP.TXT"
  timeout "$WINE_TIMEOUT" "$WINE" reg add "$KEY" /v Installed /d 1 /f >/dev/null 2>&1
  {
    printf '***  Installation Started 12/07/2026 10:00 ***\r\n'
    printf 'Title: Quiet Application\r\n'
    printf 'Made Dir: %s\r\n' "$APP" "$APP\\DATA"
    printf 'File Copy: %s\r\n' "$APP\\MAIN.EXE" "$APP\\DATA\\HELP.TXT"
    printf 'RegDB Key: Software\\Quiet Test\r\nRegDB Val: 1\r\nRegDB Name: Installed\r\nRegDB Root: 2\r\n'
    if [[ $1 == app ]]; then printf 'File Copy: %s\r\n' "$APP\\UNTARN32.EXE"; fi
  } >"$APP_UNIX/INSTALL.LOG"
  if [[ $1 == app ]]; then
    cp "$UNTARN" "$APP_UNIX/UNTARN32.EXE"
    PROGRAM="$APP\\UNTARN32.EXE"
  else
    cp "$UNTARN" "$WINEPREFIX/drive_c/windows/UNTARN32.EXE"
    PROGRAM='C:\windows\UNTARN32.EXE'
  fi
  end_session
}

value_gone() { ! "$WINE" reg query "$KEY" /v Installed >/dev/null 2>&1; }

# run NAME [ENV...]: UNTARN32.EXE /S through the waiter, with the environment changed as
# env(1) is told; the waiter's report is left in $WORK/NAME.txt.
run() {
  local name=$1
  shift
  env "$@" timeout "$WINE_TIMEOUT" "$WINE" "$WAITER" "$PROGRAM" /S "$APP\\INSTALL.LOG" \
    >"$WORK/$name.txt" 2>&1
  local status=$?
  check "$name: the run and every process it started ended (waiter status $status)" test "$status" -eq 0
}

rm -rf "$WORK"
mkdir -p "$WORK"
if ! timeout 300 "$WINE" wineboot -i >"$WORK/boot.log" 2>&1; then
  echo "silent_run: wineboot failed (see $WORK/boot.log)" >&2
  exit 1
fi
end_session
start_display || exit 1

echo "-- on a display, in a session whose desktop has closed"
install windows
idle_session
run display
check "display: no desktop process started" grep -q 'desktop=0' "$WORK/display.txt"
check "display: application directory gone" test ! -e "$APP_UNIX"
check "display: registry value gone" value_gone
# What the run does to the machine besides the removal: its temporary copy, whose deletion
# waits for the next restart.
check "display: temporary copy scheduled for deletion at restart" bash -c \
  "'$WINE' reg query 'HKLM\\System\\CurrentControlSet\\Control\\Session Manager' /v PendingFileRenameOperations 2>/dev/null | tr -d '\r' | grep -qi 'KTM1A2B.EXE'"
end_session

echo "-- the program in the application's directory: the clean-up run removes it"
install app
idle_session
run cleanup
check "cleanup: two processes, the run and the clean-up run of its copy" grep -q 'processes=2' "$WORK/cleanup.txt"
check "cleanup: no desktop process started" grep -q 'desktop=0' "$WORK/cleanup.txt"
check "cleanup: application directory and program gone" test ! -e "$APP_UNIX"
end_session

echo "-- a temporary folder with a blank, a program planted before it, the old copy's name taken"
TEMP_WIN='C:\Temp Folder'
TEMP_UNIX=$WINEPREFIX/drive_c/Temp\ Folder
mkdir -p "$TEMP_UNIX"
cp "$BUILD/e2e/E2ETOOL.EXE" "$WINEPREFIX/drive_c/Temp.exe"
echo planted >"$TEMP_UNIX/KTM1A2B.EXE"
rm -rf "$WINEPREFIX/drive_c/e2e"
# Wine takes the user's temporary folder from the registry, not from the Unix environment.
for variable in TEMP TMP; do
  timeout "$WINE_TIMEOUT" "$WINE" reg add 'HKCU\Environment' /v "$variable" /d "$TEMP_WIN" /f \
    >/dev/null 2>&1
done
install app
idle_session
run blank
check "blank: two processes, the run and the clean-up run of its copy" grep -q 'processes=2' "$WORK/blank.txt"
check "blank: application directory and program gone" test ! -e "$APP_UNIX"
check "blank: the program planted at C:\Temp.exe never ran" test ! -e "$WINEPREFIX/drive_c/e2e/ran.txt"
check "blank: the file at the copy's old name is untouched" grep -qx planted "$TEMP_UNIX/KTM1A2B.EXE"
copies=("$TEMP_UNIX"/*.TMP/KTM1A2B.EXE)
check "blank: one copy, in a folder of its own" test "${#copies[@]}" -eq 1 -a -f "${copies[0]}"
timeout "$WINE_TIMEOUT" "$WINE" wineboot -r >"$WORK/restart.log" 2>&1
end_session
check "blank: the restart removed the copy and its folder" \
  bash -c "! ls -d '$TEMP_UNIX'/*.TMP >/dev/null 2>&1"
end_session

echo "-- with no display at all"
install windows
run headless -u DISPLAY
check "headless: application directory gone" test ! -e "$APP_UNIX"
check "headless: registry value gone" value_gone
end_session

if [[ $FAILURES -ne 0 ]]; then
  echo "silent_run: $FAILURES check(s) FAILED (reports in $WORK)" >&2
  exit 1
fi
exit 0
