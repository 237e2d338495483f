#!/usr/bin/env bash
# The demo's wizard part, run by scripts/demo.sh in its prefix and on its display: the sample
# application is seeded again and uninstalled through the wizard as a person would, with
# guidriver: the Custom method, every category page looked at, README.TXT and the folder
# that holds it left out (a folder chosen on its page goes with all it holds), Finish, and the questions that follow answered. A screenshot of every page
# and question goes to build/demo/wizard-shots; what was kept is printed.
#
# Environment (set by demo.sh): WINEPREFIX, DISPLAY, BUILD, DEMO, ROOT.
set -euo pipefail
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
SAMPLE=$ROOT/tests/data/sample
GUIDRIVER=$BUILD/testing/guidriver/guidriver.exe
APP="$WINEPREFIX/drive_c/Program Files/Fernhill/Bramble Notes"
LOG='C:\Program Files\Fernhill\Bramble Notes\INSTALL.LOG'
SHOTS=$DEMO/wizard-shots
# Wizard controls (res/resource.h): Next/Finish, Cancel, Select All, Select None, the
# Custom radio button, the list and the page title.
NEXT=1 SELECT_ALL=3 CUSTOM=1001 LIST=1003 PAGE_TITLE=1011

gd() { "$WINE" "$GUIDRIVER" --timeout 30000 "$@" 2>>"$DEMO/wizard-guidriver.log" | tr -d '\r'; }
shot() { import -window root "$SHOTS/$1.png" 2>/dev/null || true; }

rm -rf "$SHOTS"
mkdir -p "$SHOTS"
"$WINE" "$BUILD/testing/tarnseed/tarnseed.exe" "Z:${SAMPLE//\//\\}\\image.json" >/dev/null 2>&1
cp "$BUILD/src/UNTARN32.exe" "$APP/UNTARN32.EXE"
# A window of the session keeps Wine's desktop process up between the programs' windows.
"$WINE" "$GUIDRIVER" hold 600000 >/dev/null 2>&1 &
HOLD=$!
sleep 2

echo "== the wizard: UNTARN32.EXE \"$LOG\", the Custom method"
"$WINE" "$APP/UNTARN32.EXE" "$LOG" >"$DEMO/wizard-run.log" 2>&1 &
RUN=$!
WIZARD=$(gd wait --title 'Bramble Notes' --class '#32770')
w() { gd --window "$WIZARD" "$@"; }
shot 00-method
w check "$CUSTOM" click "$NEXT" >/dev/null

# Every category page: Select All, then README.TXT and the Fernhill folder left out.
for ((n = 1; n < 14; n++)); do
  title=$(w text "$PAGE_TITLE")
  [[ $title == "Perform Uninstall" || -z $title ]] && break
  w click "$SELECT_ALL" >/dev/null
  count=$(w lbcount "$LIST")
  kept=()
  for ((i = 0; i < count; i++)); do
    entry=$(w lbtext "$LIST" "$i")
    if [[ ${entry^^} == *README.TXT || ${entry^^} == *\\FERNHILL ]]; then
      w lbsel "$LIST" "$i" 0 >/dev/null
      kept+=("$entry")
    fi
  done
  printf '  %-36s %3d entries%s\n' "$title" "$count" \
    "$( ((${#kept[@]})) && printf ', left out: %s' "${kept[*]}")"
  shot "$(printf '%02d' "$n")-${title// /-}"
  w click "$NEXT" >/dev/null
done
echo "  $title: Finish"
shot 20-final
w click "$NEXT" >/dev/null

# Questions while the work runs: shared files are kept (No to All), no restart now.
shot_taken=no
while kill -0 "$RUN" 2>/dev/null; do
  if [[ $shot_taken == no ]]; then shot 21-progress; shot_taken=yes; fi
  if box=$("$WINE" "$GUIDRIVER" --timeout 1500 wait --title 'Remove Shared Component' \
             --class '#32770' 2>/dev/null | tr -d '\r') && [[ -n $box ]]; then
    shot 22-shared-file-question
    echo "  the shared-file question: No to All"
    gd --window "$box" click 1 >/dev/null || true
  elif text=$("$WINE" "$GUIDRIVER" --timeout 500 --window "$WIZARD" msgbox 2>/dev/null |
                tr -d '\r') && [[ -n $text ]]; then
    shot 23-question
    echo "  \"${text%%\\n*}\": Cancel"
    gd --window "$WIZARD" msgbox --press 2 >/dev/null || true
  fi
done
wait "$RUN" || true
kill "$HOLD" 2>/dev/null || true
"$WINESERVER" -w

echo "== after the wizard"
for f in README.TXT BRAMBLE.EXE NOTESCORE.DLL Templates INSTALL.LOG; do
  if [[ -e $APP/$f ]]; then echo "  $f: kept"; else echo "  $f: removed"; fi
done
echo "  screenshots of every page: $SHOTS"
