#!/bin/sh
# End-to-end check of the icon removal under Wine: the uninstaller's Program Manager code
# (progman_remove, over the real DDE client of the Win32 back-end) against progman_standin.
#
# Usage: testing/progman/wine_e2e.sh [BIN_DIR] [WORK_DIR]
#   BIN_DIR   where progman_standin.exe, progman_client.exe, progman_remove.exe are
#             (default build/h-eng-w64/testing/progman)
#   WORK_DIR  scratch directory with its own WINEPREFIX (default build/progman-e2e)
#
# Wine's shell registers its own "PROGMAN" service when its desktop (explorer.exe) starts,
# and a DDE client is connected to the service registered last. So the desktop is started
# first (by a client request), the stand-in after it, and a request checks that the
# stand-in is the one answering before anything is removed.
set -eu

BIN=$(cd "${1:-build/h-eng-w64/testing/progman}" && pwd)
WORK=${2:-build/progman-e2e}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
WINE=${WINE:-/usr/lib/wine/wine64}
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all

XVFB_PID=
cleanup() {
  touch "$WORK/stop"
  [ -n "${STANDIN_PID:-}" ] && wait "$STANDIN_PID" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  DISPLAY_NUMBER=${DISPLAY_NUMBER:-71}
  Xvfb ":$DISPLAY_NUMBER" -screen 0 800x600x24 >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$DISPLAY_NUMBER"
  sleep 1
fi
[ -d "$WINEPREFIX" ] || "$WINE" wineboot -i >/dev/null 2>&1

cd "$WORK"
rm -f stop ready standin.log state.txt
printf 'G\tSample App\n' > state.txt
printf 'I\tSample\tC:\\APP\\SAMPLE.EXE\n' >> state.txt
printf 'I\tRead me\tC:\\FOREIGN\\README.TXT\n' >> state.txt
printf 'I\tRead me, first\tC:\\APP\\README.TXT\n' >> state.txt
printf 'G\tTools\n' >> state.txt
printf 'I\tSample Copy\tC:\\APP\\SAMPLE.EXE\n' >> state.txt
printf 'G\tStartUp\n' >> state.txt
printf 'I\tSample Start\tC:\\APP\\SAMPLE.EXE /min\n' >> state.txt
printf 'G\tOnly App\n' >> state.txt
printf 'I\tOne\tC:\\APP\\ONE.EXE\n' >> state.txt
printf 'I\tTwo\tC:\\APP\\TWO.EXE\n' >> state.txt

# Start Wine's desktop (and with it Wine's own PROGMAN service) before the stand-in.
"$WINE" "$BIN/progman_client.exe" request GROUPS >/dev/null 2>&1 || true

"$WINE" "$BIN/progman_standin.exe" state.txt --stop stop --ready ready --timeout 120 \
  --log standin.log &
STANDIN_PID=$!
i=0
while [ ! -e ready ]; do
  i=$((i + 1))
  [ $i -gt 100 ] && { echo "FAIL: the stand-in did not start"; exit 1; }
  sleep 0.2
done

groups=$("$WINE" "$BIN/progman_client.exe" request GROUPS | tr -d '\r')
expected_groups=$(printf 'Sample App\nTools\nStartUp\nOnly App')
if [ "$groups" != "$expected_groups" ]; then
  echo "FAIL: another PROGMAN service answered:"; echo "$groups"; exit 1
fi

"$WINE" "$BIN/progman_remove.exe" \
  'Sample App|Sample|C:\APP\SAMPLE.EXE' \
  'Sample App|Read me, first|C:\APP\CHANGED.TXT' \
  'StartUp|Sample Start|C:\APP\OLD.EXE' \
  'Only App|One|C:\APP\ONE.EXE' \
  'Only App|Two|C:\APP\TWO.EXE' | tr -d '\r'

touch stop
wait "$STANDIN_PID"
STANDIN_PID=

expected=$(printf 'G\tSample App\nI\tRead me\tC:\\FOREIGN\\README.TXT\nG\tStartUp')
actual=$(cat state.txt)
if [ "$actual" != "$expected" ]; then
  echo "FAIL: groups afterwards:"; cat state.txt
  echo "commands:"; cat standin.log
  exit 1
fi
echo "PASS: icons removed, emptied groups deleted, StartUp and the foreign item kept"
