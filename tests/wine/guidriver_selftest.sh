#!/usr/bin/env bash
# guidriver against a dialog of our own (target_dialog) on a virtual display, in a fresh
# prefix: every step is checked against what the dialog shows or, at the end, writes down
# itself, so a click the dialog never heard, a list selection it never saw or a message box
# answered wrongly shows up. A screenshot is kept (build/wine/guidriver.png).
#
# Environment: UNTARN_WIN64_BUILD (default build/win64).
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
WORK=$ROOT/build/wine
export WINEDEBUG=-all WINEPREFIX=$WORK/prefix-guidriver
GD=$BUILD/testing/guidriver/guidriver.exe
TARGET=$BUILD/testing/guidriver/target_dialog.exe
OUTCOME=$WINEPREFIX/drive_c/target-outcome.txt
LOG=$WORK/guidriver-selftest.log
CAPTION="Guidriver Target"
QUESTION="Are you sure you want to cancel the removal?"

for exe in "$GD" "$TARGET"; do
  if [[ ! -f $exe ]]; then
    echo "guidriver: $exe is missing; build the win64 tree first (make win64)" >&2
    exit 1
  fi
done

source "$ROOT/scripts/display.sh"
target=
end_all() {
  "$WINESERVER" -k >/dev/null 2>&1
  if [[ -n $target ]]; then wait "$target" 2>/dev/null; fi
  stop_display
}
trap end_all EXIT

problems=0
pass() { echo "  ok: $1"; }
fail() { echo "  FAILED: $1"; problems=$((problems + 1)); }
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}" >/dev/null 2>&1; then pass "$1"; else fail "$1"; fi
}

# gd ARGS...: runs guidriver once; its output (carriage returns dropped) lands in OUT, its
# messages in ERR, its exit status in STATUS. Every run is logged.
gd() {
  "$WINE" "$GD" "$@" >"$WORK/guidriver.out" 2>"$WORK/guidriver.err"
  STATUS=$?
  OUT=$(tr -d '\r' <"$WORK/guidriver.out")
  ERR=$(tr -d '\r' <"$WORK/guidriver.err")
  printf '$ guidriver %s\n%s\n%s[exit %d]\n' "$*" "$OUT" "${ERR:+$ERR
}" "$STATUS" >>"$LOG"
}

# expect DESCRIPTION STATUS OUTPUT ARGS...: guidriver ARGS must end with STATUS and print
# exactly OUTPUT (lines joined by newlines).
expect() {
  local what=$1 status=$2 output=$3
  shift 3
  gd "$@"
  if [[ $STATUS -eq $status && $OUT == "$output" ]]; then
    pass "$what"
  else
    fail "$what"
    printf '    expected exit %d and:\n%s\n    got exit %d and:\n%s\n' "$status" \
      "$(sed 's/^/      /' <<<"$output")" "$STATUS" "$(sed 's/^/      /' <<<"$OUT")"
    [[ -n $ERR ]] && sed 's/^/    stderr: /' <<<"$ERR"
  fi
}

# lines A B...: the values joined one a line, as guidriver prints them.
lines() { printf '%s\n' "$@"; }

start_display || exit 1
"$WINESERVER" -k >/dev/null 2>&1
rm -rf "$WINEPREFIX" "$LOG"
mkdir -p "$WORK"
if ! timeout 300 "$WINE" wineboot -i >"$WORK/guidriver-boot.log" 2>&1; then
  echo "guidriver: wineboot failed (see $WORK/guidriver-boot.log)" >&2
  exit 1
fi
"$WINESERVER" -w
started=$SECONDS

echo "usage"
expect "no step is bad usage" 2 ""
expect "a step without its control id is bad usage" 2 "" --window x text
expect "an unknown step is bad usage" 2 "" --window x press 1
expect "a step that needs a window, without one, is bad usage" 2 "" text 1002
expect "lbsel selects with 1 and deselects with 0 only" 2 "" --window x lbsel 1003 1 2
expect "posted keys cannot carry Shift" 2 "" --window x keys --post SHIFT+TAB
expect "an unknown key name is bad usage" 2 "" --window x keys TABULATOR
t0=$SECONDS
expect "a mistake late in a chain runs none of it" 2 "" sleep 4000 --window x lbtext 1003
check "... not even the pause before it" test $((SECONDS - t0)) -lt 3
gd --help
check "--help prints the usage" bash -c "[[ $STATUS -eq 0 && \$1 == usage:* ]]" _ "$OUT"

echo "before the dialog"
expect "a wait for a missing window times out" 1 "" wait --title "$CAPTION" --timeout 300
check "... and says so" grep -q "no matching window" <<<"$ERR"
expect "waitgone for a window never there succeeds" 0 "" --window "$CAPTION" waitgone

"$WINE" "$TARGET" 'C:\target-outcome.txt' >"$WORK/guidriver-target.log" 2>&1 &
target=$!

echo "reading"
gd wait --title "guidriver target" --class "#32770" --timeout 30000
window=$OUT
check "wait finds the dialog by caption (any case) and class, and prints its handle" \
  bash -c "[[ $STATUS -eq 0 && \$1 =~ ^0x[0-9A-F]+$ ]]" _ "$window"
expect "texts, states and list entries read as the dialog shows them" 0 \
  "$(lines "$CAPTION" "Step 1" "Mode: automatic" 'C:\Program Files\Target' 1 0 1 0 1 0 0 5 \
    alpha.dll epsilon.txt "0 selected")" \
  --window "$window" caption text 1002 text 1005 text 1011 visible 1002 visible 1008 \
  enabled 1010 enabled 1007 checked 1000 checked 1001 checked 1006 lbcount 1003 \
  lbtext 1003 0 lbtext 1003 4 lbselected 1003 text 1004
expect "a caption substring finds the window too" 0 "Step 1" --window "DRIVER TAR" text 1002

gd --window "$window" dump
dump=$OUT
check "dump starts with the window, its class and process" \
  grep -Eq "^window $window class=#32770 pid=[0-9]+ visible=1 enabled=1 " <<<"$dump"
check "dump lists the list box" grep -Eq "^  id=1003 hwnd=0x[0-9A-F]+ class=ListBox visible=1 enabled=1 rect=" <<<"$dump"
check "dump shows the hidden text as hidden" grep -Eq '^  id=1008 .* visible=0 .*text="Hidden note"$' <<<"$dump"
check "dump shows the disabled button as disabled" grep -Eq '^  id=1007 .* enabled=0 .*text="&Repair"$' <<<"$dump"
check "dump lists all twelve controls" test "$(grep -c '^  id=' <<<"$dump")" -eq 12
pid=$(sed -n '1s/.* pid=\([0-9]*\) .*/\1/p' <<<"$dump")
expect "wait --pid finds the dialog of that process" 0 "$window" wait --pid "$pid" --class "#32770"
expect "--pid of another process hides it" 1 "" --pid $((pid + 4)) wait --title "$CAPTION" --timeout 300

echo "clicking"
expect "a click on Next reaches the dialog before the next read" 0 "$(lines "Step 2" "Step 4")" \
  --window "$CAPTION" click 1010 text 1002 click 1010 click 1010 text 1002
expect "waittext ends when the control shows the text" 0 "Step 4" \
  --window "$CAPTION" waittext 1002 "Step 4" text 1002
expect "waittext for a text that never comes times out" 1 "" \
  --window "$CAPTION" --timeout 300 waittext 1002 "Step 99"
check "... and says what the control shows" grep -q 'still shows "Step 4"' <<<"$ERR"
expect "check clicks a radio button: the dialog hears of it" 0 \
  "$(lines 1 0 "Mode: custom" "Mode: automatic" 1)" \
  --window "$CAPTION" check 1001 checked 1001 checked 1000 text 1005 check 1000 text 1005 \
  check 1001 checked 1001
expect "a radio button cannot be unchecked by clicking it" 1 "" --window "$CAPTION" uncheck 1001
expect "check and uncheck a check box" 0 "$(lines 1 0 1)" \
  --window "$CAPTION" check 1006 checked 1006 uncheck 1006 checked 1006 check 1006 checked 1006
expect "a missing control fails" 1 "" --window "$CAPTION" text 4242
check "... and says which" grep -q "has no control 4242" <<<"$ERR"
expect "a disabled button is not clicked" 1 "" --window "$CAPTION" click 1007
expect "a hidden control is not clicked" 1 "" --window "$CAPTION" click 1008
expect "a chain stops at its first failure" 1 "Mode: custom" \
  --window "$CAPTION" text 1005 text 4242 text 1002

echo "list box"
expect "selections round-trip and the dialog counts them" 0 \
  "$(lines 1 3 "2 selected" 1 "1 selected" 1 4 "2 selected")" \
  --window "$CAPTION" lbsel 1003 1 1 lbsel 1003 3 1 lbselected 1003 text 1004 \
  lbsel 1003 3 0 lbselected 1003 text 1004 lbsel 1003 4 1 lbselected 1003 text 1004
expect "an entry past the end fails" 1 "" --window "$CAPTION" lbtext 1003 5
expect "a static is not a list box" 1 "" --window "$CAPTION" lbcount 1002

import -window root "$WORK/guidriver.png" 2>/dev/null
check "screenshot taken" test -s "$WORK/guidriver.png"

echo "keys and focus"
# Clicking the checked radio button again changes nothing but puts the focus there.
expect "Tab and Shift+Tab move the focus in tab order, sent and posted" 0 \
  "$(lines 1001 1006 1003 1006 1011)" \
  --window "$CAPTION" click 1001 focus keys TAB focus keys TAB focus keys SHIFT+TAB focus \
  keys --post TAB TAB focus
expect "Enter presses the default button; Alt+N the Next mnemonic, sent and posted" 0 \
  "$(lines "Step 5" "Step 6" "Step 7" 1010)" \
  --window "$CAPTION" keys ENTER text 1002 keys ALT+N text 1002 keys --post ALT+N text 1002 focus
expect "mnemonics reach the radio buttons" 0 "$(lines "Mode: automatic" "Mode: custom")" \
  --window "$CAPTION" keys ALT+A text 1005 keys --post ALT+U text 1005

echo "message box"
expect "Escape asks the question; a box with other text is not taken" 1 "" \
  --window "$CAPTION" keys ESC msgbox --text-contains "not this" --timeout 1000
check "... and the failure names the text seen" grep -qF "$QUESTION" <<<"$ERR"
expect "the dialog under the box is still what --window finds" 0 "Step 7" \
  --window "$CAPTION" text 1002
expect "msgbox answers No: the box goes, the dialog stays" 0 "$(lines "$QUESTION" 1)" \
  --window "$CAPTION" msgbox --text-contains SURE --press 7 visible 1002
expect "waitgone times out while the dialog stays" 1 "" --window "$window" waitgone --timeout 300
gd --window "$CAPTION" click 2 popup dump
box=$(head -n 1 <<<"$OUT")
check "popup finds the box over the dialog" bash -c "[[ $STATUS -eq 0 && \$1 =~ ^0x[0-9A-F]+$ && \$1 != $window ]]" _ "$box"
check "the box has Yes (6)" grep -Eq '^  id=6 .*class=Button visible=1 enabled=1 .*text="&Yes"$' <<<"$OUT"
check "the box has No (7)" grep -Eq '^  id=7 .*class=Button visible=1 enabled=1 .*text="&No"$' <<<"$OUT"
expect "a button the box lacks is refused" 1 "$QUESTION" --window "$CAPTION" msgbox --press 1
expect "msgbox answers Yes and the dialog goes" 0 "$QUESTION" \
  --window "$CAPTION" msgbox --text-contains sure --press 6 waitgone --timeout 15000

for _ in $(seq 1 100); do
  kill -0 "$target" 2>/dev/null || break
  sleep 0.1
done
wait "$target"
check "the dialog ends with status 0" test $? -eq 0
target=
check "the dialog wrote what it saw" \
  test "$(tr -d '\r' <"$OUTCOME" 2>/dev/null)" = "step=7 mode=custom keep=1 selected=1,4"
expect "a window that is gone fails" 1 "" --window "$window" caption

echo "guidriver: $((SECONDS - started)) s after the prefix was made (log $LOG)"
if [[ $problems -ne 0 ]]; then
  echo "guidriver: $problems check(s) FAILED (screenshot $WORK/guidriver.png)" >&2
  exit 1
fi
echo "guidriver: all checks passed; screenshot $WORK/guidriver.png"
