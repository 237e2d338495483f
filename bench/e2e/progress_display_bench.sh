#!/usr/bin/env bash
# The cost of the wizard's progress display: UNTARN32.EXE /A (the uninstall shown in the
# wizard) against /S (silent) on the same generated installation of N files, in one Wine
# prefix on a virtual display, alternating, RUNS times each. Prints every time, the medians
# and their ratio. The prefix keeps a hidden window (guidriver hold) so that Wine's desktop
# process stays up between runs; the display's window manager spares Wine its wait after a
# window closes (scripts/display.sh).
#
# Then the time to fill and show page 1 of a Custom run with PAGE_N private files.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), N (default 20000), RUNS (default 5),
# PAGE_N (default 48000),
# PROGRESS_PREFIX (default build/wine/prefix-progress-bench, made afresh).
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
N=${N:-20000}
RUNS=${RUNS:-5}
export WINEPREFIX=${PROGRESS_PREFIX:-$ROOT/build/wine/prefix-progress-bench} WINEDEBUG=-all
source "$ROOT/scripts/display.sh"
trap '"$WINESERVER" -k >/dev/null 2>&1; stop_display' EXIT
start_display || exit 1
"$WINESERVER" -k 2>/dev/null
rm -rf "$WINEPREFIX"
"$WINE" wineboot -i >/dev/null 2>&1
"$WINESERVER" -w
"$WINE" "$BUILD/testing/guidriver/guidriver.exe" hold 3600000 >/dev/null 2>&1 &
sleep 3
cp "$BUILD/src/UNTARN32.exe" "$WINEPREFIX/drive_c/windows/UNTARN32.EXE"
app="$WINEPREFIX/drive_c/Bench App"

# Puts the N files and their log in place from the Unix side.
install_app() {
  rm -rf "$app"
  mkdir -p "$app"
  {
    printf '***  Installation Started 01/15/2024 10:00  ***\r\nTitle: Bench App\r\nMade Dir: C:\\Bench App\r\n'
    local i
    for ((i = 0; i < N; i++)); do printf 'File Copy: C:\\Bench App\\F%06d.DAT\r\n' "$i"; done
  } >"$app/INSTALL.LOG"
  (cd "$app" && seq -f 'F%06g.DAT' 0 $((N - 1)) | xargs touch)
}

declare -A times
for ((run = 1; run <= RUNS; run++)); do
  for mode in /S /A; do
    install_app
    start=$(date +%s.%N)
    "$WINE" 'C:\windows\UNTARN32.EXE' "$mode" 'C:\Bench App\INSTALL.LOG'
    end=$(date +%s.%N)
    left=$(find "$app" -name 'F*.DAT' 2>/dev/null | wc -l)
    t=$(echo "$end - $start" | bc)
    times[$mode]+="$t "
    printf '%s run %d: %.2f s (%d files left)\n' "$mode" "$run" "$t" "$left"
  done
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
silent=$(echo "${times[/S]}" | median)
shown=$(echo "${times[/A]}" | median)
printf 'files %d: /S median %.2f s, /A median %.2f s, /A / /S = %.2f\n' "$N" "$silent" "$shown" \
  "$(echo "$shown / $silent" | bc -l)"

# Page 1 of a Custom run: from the click on Next (Custom chosen) until the first category
# page shows its title and its list answers with every entry, on PAGE_N private files.
PAGE_N=${PAGE_N:-48000}
N=$PAGE_N install_app
GD() { "$WINE" "$BUILD/testing/guidriver/guidriver.exe" --timeout 60000 "$@" 2>/dev/null | tr -d '\r'; }
for ((run = 1; run <= RUNS; run++)); do
  "$WINE" 'C:\windows\UNTARN32.EXE' 'C:\Bench App\INSTALL.LOG' &
  untarn=$!
  wizard=$(GD wait --title 'Bench App' --class '#32770')
  # Custom (1001), then Next (1); the page title is control 1011, the list 1003.
  out=$(GD --window "$wizard" check 1001 mark click 1 \
          waittext 1011 'Select Private Files to Remove' lbcount 1003 elapsed)
  GD --window "$wizard" click 2 msgbox --text-contains sure --press 6 >/dev/null
  wait "$untarn"
  entries=$(echo "$out" | sed -n 1p)
  ms=$(echo "$out" | sed -n 2p)
  printf 'page 1, run %d: %s entries listed in %s ms\n' "$run" "$entries" "$ms"
done
