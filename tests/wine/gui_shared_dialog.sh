#!/usr/bin/env bash
# The shared-file question on a real display: UNTARN32.EXE /A uninstalls the sample
# application in a fresh prefix under Xvfb; when the count of its shared runtime reaches
# zero the four-button question appears. A screenshot is kept (build/wine/gui-shared.png),
# and one a second later must show the wizard's animation where it was. Enter is pressed,
# which must answer "No to All": the shared file stays, its SharedDLLs value goes, and the
# application's private files are removed.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64).
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
WORK=$ROOT/build/wine
export WINEDEBUG=-all WINEPREFIX=$WORK/prefix-gui
LOG='C:\Program Files\Fernhill\Bramble Notes\INSTALL.LOG'
APP=$WINEPREFIX/drive_c/Program\ Files/Fernhill/Bramble\ Notes
SHARED=$WINEPREFIX/drive_c/windows/system32/FHRUNTIM.DLL

source "$ROOT/scripts/display.sh"
trap '"$WINESERVER" -k >/dev/null 2>&1; stop_display' EXIT
problems=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}" >/dev/null 2>&1; then echo "  ok: $1"; else echo "  FAILED: $1"; problems=$((problems + 1)); fi
}

start_display || exit 1
"$WINESERVER" -k >/dev/null 2>&1
rm -rf "$WINEPREFIX"
mkdir -p "$WORK"
"$WINE" wineboot -i >"$WORK/gui-boot.log" 2>&1
"$WINESERVER" -w
"$WINE" "$BUILD/testing/tarnseed/tarnseed.exe" "Z:${ROOT//\//\\}\\tests\\data\\sample\\image.json" \
  >"$WORK/gui-seed.log" 2>&1 || { echo "gui: seeding failed" >&2; exit 1; }
cp "$BUILD/src/UNTARN32.exe" "$APP/UNTARN32.EXE"

"$WINE" "$APP/UNTARN32.EXE" /A "$LOG" >"$WORK/gui-run.log" 2>&1 &
run=$!
window=
for _ in $(seq 1 120); do
  window=$(xdotool search --onlyvisible --name "Remove Shared Component" 2>/dev/null | head -n 1)
  [[ -n $window ]] && break
  sleep 0.5
done
check "the shared-file question appears" test -n "$window"
if [[ -n $window ]]; then
  sleep 1
  import -window root "$WORK/gui-shared.png" 2>/dev/null
  # The wizard's animation stands still while the question is open. The question is moved
  # off the animation first; a second later the screen must be the same to the pixel (a
  # running animation moves about seven ticks in a second, and no two frames that far apart
  # look alike).
  xdotool windowmove "$window" 0 560 2>/dev/null
  sleep 0.5
  import -window root "$WORK/gui-shared-moved.png" 2>/dev/null
  sleep 1
  import -window root "$WORK/gui-shared-later.png" 2>/dev/null
  check "the animation is paused while the question is open" test \
    "$(compare -metric AE "$WORK/gui-shared-moved.png" "$WORK/gui-shared-later.png" null: 2>&1)" = 0
  xdotool windowfocus --sync "$window" 2>/dev/null
  # The question closes on the key's press: sending its release then finds no window.
  xdotool key --window "$window" Return 2>/dev/null
fi
wait "$run"
"$WINESERVER" -w

check "Enter keeps the shared file (No to All)" test -f "$SHARED"
check "its SharedDLLs value is gone" bash -c "! '$WINE' reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs' /v 'C:\\windows\\system32\\FHRUNTIM.DLL'"
check "the private files are removed" test ! -e "$APP/BRAMBLE.EXE"
if [[ $problems -ne 0 ]]; then
  echo "gui: $problems check(s) FAILED (screenshot $WORK/gui-shared.png)" >&2
  exit 1
fi
echo "gui: shared-file question answered; screenshot $WORK/gui-shared.png"
