#!/usr/bin/env bash
# How fast the wizard answers a click: UNTARN32.EXE on a small installation in a fresh Wine
# prefix on a virtual display (with its window manager), clicks Next and Back on the wizard's
# first pages CLICKS times each (bench/e2e/click_latency.cpp) and prints the median and the
# worst of each. The target is 50 ms or less. The wizard is cancelled afterwards.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), CLICKS (default 50), RUNS (default
# 1), CLICK_PROGRAM (another UNTARN32.EXE to time, such as an older build, for a comparison),
# CLICK_PREFIX (default build/wine/prefix-click-bench, made afresh).
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
CLICKS=${CLICKS:-50}
RUNS=${RUNS:-1}
PROGRAM=${CLICK_PROGRAM:-$UNTARN}
LATENCY=$BUILD/bench/click_latency.exe
require_built click_latency_bench "$PROGRAM" "$LATENCY" "$GUIDRIVER" || exit 1
export WINEPREFIX=${CLICK_PREFIX:-$ROOT/build/wine/prefix-click-bench} WINEDEBUG=-all
source "$ROOT/scripts/display.sh"
trap '"$WINESERVER" -k >/dev/null 2>&1; stop_display' EXIT
start_display || exit 1
boot_fresh_prefix
# A window of the session kept for the whole benchmark: without one Wine ends its desktop
# process, and the next program's first window waits for a new one.
"$WINE" "$GUIDRIVER" hold 3600000 >/dev/null 2>&1 &
sleep 2

app="$WINEPREFIX/drive_c/Click App"
mkdir -p "$app"
cp "$PROGRAM" "$app/UNTARN32.EXE"
{
  printf '***  Installation Started 01/15/2024 10:00  ***\r\nTitle: Click Bench\r\nMade Dir: C:\\Click App\r\n'
  for i in 1 2 3; do printf 'File Copy: C:\\Click App\\F%d.DAT\r\n' "$i"; : >"$app/F$i.DAT"; done
} >"$app/INSTALL.LOG"

GD() { "$WINE" "$GUIDRIVER" --timeout 60000 "$@" 2>/dev/null | tr -d '\r'; }
status=0
for ((run = 1; run <= RUNS; run++)); do
  "$WINE" 'C:\Click App\UNTARN32.EXE' 'C:\Click App\INSTALL.LOG' &
  untarn=$!
  "$WINE" "$LATENCY" 'Click Bench' "$CLICKS" | tr -d '\r' || status=1
  wizard=$(GD wait --title 'Click Bench' --class '#32770')
  GD --window "$wizard" click 2 msgbox --text-contains sure --press 6 >/dev/null
  wait "$untarn"
done
exit $status
