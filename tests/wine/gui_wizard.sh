#!/usr/bin/env bash
# The wizard under Wine, worked as a user would with guidriver: the real UNTARN32.EXE on the
# sample application of tests/data/e2e, each run in a fresh prefix on a virtual display.
#
#   custom     Custom method: Select All on every page, some entries deselected, Back and
#              Next, Finish; the deselected items are found untouched afterwards
#   automatic  the method page, the rollback question answered No, Finish, the restart
#              question answered Cancel; the application is gone
#   cancel     Cancel on the method page, answered Yes: nothing changes, the status report
#              says the uninstall was cancelled
#   rollback   /R: the rollback question comes preset to Yes; the last installation goes
#   finish     /U with the gradient background: the final page with Back disabled
#   large      /A on a log of 20,000 files: the initializing window while it loads, the
#              progress display at once, Cancel in the middle stops the run within a few
#              items
#   loadcancel /A on a log that takes seconds to load, Cancel on the initializing window:
#              every file stays
#   nolog      no install log beside the program: the open-file dialog, cancelled
#   odd        limits of every kind (title, paths, font, colours, texts), worked with the
#              keyboard alone
#   dbcs       code page 932: names whose second byte is a backslash, listed whole; a folder
#              of 300 such characters cut on a character; the deselected file kept, the other
#              file and its emptied folder removed
#
# Screenshots of every page and question go to build/wine/gui-wizard/shots.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), WINE_TIMEOUT (default 300),
# GUI_KEEP=1 keeps the prefixes.
set -u

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
WORK=$ROOT/build/wine/gui-wizard
SHOTS=$WORK/shots

source "$ROOT/tests/wine/e2e_lib.sh"

# The wizard's caption is the application title from the log.
TITLE='Tarn Sample'
# Controls of the wizard.
NEXT=1 CANCEL=2 SELECT_ALL=3 SELECT_NONE=4 BACK=5
RADIO_FIRST=1000 RADIO_SECOND=1001 LIST=1003 SECOND_TEXT=1004 ACTION=1007 RADIO_REPAIR=1009
PAGE_TITLE=1011

# wz ARGS...: guidriver steps on the wizard (WIZARD, found by wizard_up).
wz() { gd --window "$WIZARD" "$@"; }
# wizard_up: waits for the wizard dialog (the background window has the same caption).
wizard_up() {
  WIZARD=$(gd wait --title "$TITLE" --class '#32770') && [[ -n $WIZARD ]] && return 0
  fail "$NAME: no wizard"
  return 1
}

# prepare_gui NAME: a seeded prefix (prepare) whose desktop process is kept for the whole
# test: without a window of the session Wine ends it, and the next program's first window
# (guidriver's or the uninstaller's) waits seconds for a new one.
prepare_gui() {
  prepare "$1" || return 1
  WINEPREFIX=$PREFIX "$WINE" "$GUIDRIVER" hold 600000 >/dev/null 2>&1 &
  HOLD_PID=$!
  sleep 2
}

# The wizard's page title, read once the page is up.
page_title() { wz text "$PAGE_TITLE"; }

# select_all_but PATTERN...: Select All on the page, then deselect the entries whose text
# contains one of the patterns (in any case; a pattern starting with "=" must be the whole
# text). Prints the deselected indexes.
select_all_but() {
  wz click "$SELECT_ALL" >/dev/null
  local count i text pattern
  count=$(wz lbcount "$LIST")
  local steps=()
  for ((i = 0; i < count; i++)); do steps+=(lbtext "$LIST" "$i"); done
  local texts
  mapfile -t texts < <(wz "${steps[@]}")
  for ((i = 0; i < count; i++)); do
    for pattern in "$@"; do
      local match=no
      if [[ $pattern == =* ]]; then
        local whole=${pattern:1}
        [[ ${texts[$i],,} == "${whole,,}" ]] && match=yes
      elif [[ ${texts[$i],,} == *"${pattern,,}"* ]]; then
        match=yes
      fi
      if [[ $match == yes ]]; then
        wz lbsel "$LIST" "$i" 0 >/dev/null
        echo "$i"
      fi
    done
  done
}

# The count of TSLAST.DLL reaches zero in every whole uninstall that is not silent: the
# shared-file question (dialog 104), answered No to All.
answer_shared_question() {
  if gd wait --title 'Remove Shared Component' --class '#32770' >/dev/null; then
    [[ -n ${1:-} ]] && shot "$1"
    gd --window 'Remove Shared Component' click 1 >/dev/null
    pass
  else
    fail "$NAME: no shared-file question"
  fi
}

# ---------------------------------------------------------------------------------------

test_custom() {
  NAME=custom
  echo "-- Custom: pick entries on the category pages"
  prepare_gui custom || return 1
  start_uninstaller "$APP_DIR\\INSTALL.LOG"
  local p=$PREFIX w=custom
  wizard_up || return 1
  shot 00-method
  expect_eq "$(page_title)" "Select Uninstall Method" "$w: first page"
  expect_eq "$(wz enabled $BACK)" 0 "$w: Back on the method page"
  expect_eq "$(wz visible $RADIO_REPAIR)" 0 "$w: Repair without a source"
  wz check "$RADIO_SECOND" click "$NEXT" >/dev/null

  local page title deselected back_checked=no n=0
  for ((n = 1; n < 14; n++)); do
    title=$(page_title)
    [[ $title == "Perform Uninstall" ]] && break
    case $title in
      "Select Private Files to Remove")
        deselected=$(select_all_but 'README.TXT')
        [[ -n $deselected ]] && pass || fail "$w: README.TXT not listed"
        ;;
      "Select System Files to Remove") wz click "$SELECT_NONE" >/dev/null ;;
      "Select Directories to Remove")
        # The application's own folder would go with README.TXT in it.
        select_all_but '=C:\Program Files\Tarn Sample' >/dev/null
        ;;
      "Select Registry Keys to Remove") select_all_but 'Installed' >/dev/null ;;
      "Select Sub-Systems to Remove") select_all_but 'TarnSampleSvc' >/dev/null ;;
      *) wz click "$SELECT_ALL" >/dev/null ;;
    esac
    shot "$(printf '%02d' "$n")-${title// /-}"
    # Back once, from the second page: the first page keeps what was deselected.
    if [[ $back_checked == no && $title != "Select Private Files to Remove" ]]; then
      back_checked=yes
      wz click "$BACK" >/dev/null
      expect_eq "$(page_title)" "Select Private Files to Remove" "$w: Back"
      local selected
      selected=$(wz lbselected "$LIST" | tr '\n' ' ')
      if [[ " $selected " == *" $deselected "* ]]; then
        fail "$w: README.TXT selected again after Back ($selected)"
      else
        pass
      fi
      wz click "$NEXT" >/dev/null
      expect_eq "$(page_title)" "$title" "$w: Next after Back"
    fi
    wz click "$NEXT" >/dev/null
  done
  expect_eq "$title" "Perform Uninstall" "$w: the final page"
  shot 20-final
  expect_eq "$(wz text $NEXT)" "&Finish" "$w: Finish"
  wz click "$NEXT" >/dev/null
  # TSLAST.DLL's count reaches zero whatever the page said.
  answer_shared_question 21-progress-and-shared-question
  # The file held in use asks for a restart; not now.
  if wz msgbox --text-contains reboot >/dev/null; then
    shot 22-restart-question
    wz msgbox --text-contains reboot --press 2 >/dev/null
    pass
  else
    fail "$w: no restart question"
  fi
  await_uninstaller

  expect_there "$p" "$APP_DIR\\README.TXT" "$w (deselected)"
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Installed 1 "$w (deselected)"
  if WINEPREFIX=$p timeout 60 "$WINE" sc query TarnSampleSvc >/dev/null 2>&1; then pass
  else fail "$w: the deselected service was deleted"; fi
  expect_there "$p" 'C:\windows\system32\TSPRIV.DLL' "$w (system files kept)"
  for f in SAMPLE.EXE CORE.DLL PLUGIN.DLL E2ESELF.DLL DOCS; do
    expect_gone "$p" "$APP_DIR\\$f" "$w (selected)"
  done
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Upgraded --none "$w (selected)"
  expect_key "$p" 'HKLM\Software\Tarn Sample\Tree' no "$w (selected)"
  expect_gone "$p" 'C:\windows\TSNEW.INI' "$w (selected)"
  # A Custom run keeps the log and the repair record.
  expect_there "$p" "$APP_DIR\\INSTALL.LOG" "$w (log kept)"
  check_mif "Success"
}

test_automatic() {
  NAME=automatic
  echo "-- Automatic through the wizard, rollback declined"
  prepare_gui automatic || return 1
  start_uninstaller "$APP_DIR\\INSTALL.LOG"
  local p=$PREFIX w=automatic
  wizard_up || return 1
  expect_eq "$(wz checked $RADIO_FIRST)" 1 "$w: Automatic preset"
  wz click "$NEXT" >/dev/null
  expect_eq "$(page_title)" "Perform Rollback" "$w: backups lead to the rollback question"
  expect_eq "$(wz checked $RADIO_SECOND)" 1 "$w: No preset without /R"
  shot 01-rollback
  wz click "$NEXT" >/dev/null
  expect_eq "$(page_title)" "Perform Uninstall" "$w: final page"
  wz click "$BACK" >/dev/null
  expect_eq "$(page_title)" "Perform Rollback" "$w: Back to the question"
  wz click "$NEXT" click "$NEXT" >/dev/null
  answer_shared_question 02-progress
  wz msgbox --text-contains reboot --press 2 >/dev/null || fail "$w: no restart question"
  await_uninstaller
  for f in SAMPLE.EXE README.TXT CORE.DLL PLUGIN.DLL INSTALL.LOG DOCS; do
    expect_gone "$p" "$APP_DIR\\$f" "$w"
  done
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Installed --none "$w"
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Color red "$w"
  check_mif "Success" "Uninstall"
}

test_cancel() {
  NAME=cancel
  echo "-- Cancel on the method page"
  prepare_gui cancel || return 1
  start_uninstaller "$APP_DIR\\INSTALL.LOG"
  local p=$PREFIX w=cancel
  wizard_up || return 1
  wz click "$CANCEL" >/dev/null
  local text
  text=$(wz msgbox --text-contains sure)
  shot 01-question
  expect_eq "$text" "Are you sure you want to cancel the uninstall?" "$w: question"
  # No keeps the wizard where it was; Escape asks again and Yes ends the run.
  wz msgbox --press 7 >/dev/null
  expect_eq "$(page_title)" "Select Uninstall Method" "$w: No keeps the page"
  wz keys ESC >/dev/null
  wz msgbox --text-contains sure --press 6 >/dev/null
  await_uninstaller
  for f in SAMPLE.EXE README.TXT CORE.DLL INSTALL.LOG UNTARN32.EXE; do
    expect_there "$p" "$APP_DIR\\$f" "$w"
  done
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Installed 1 "$w"
  check_mif "Failed" "Canceled"
}

test_rollback_page() {
  NAME=rollback
  echo "-- /R: the rollback question preset to Yes"
  prepare_gui rollback || return 1
  start_uninstaller /R "$APP_DIR\\INSTALL.LOG"
  local p=$PREFIX w=rollback
  wizard_up || return 1
  wz click "$NEXT" >/dev/null
  expect_eq "$(page_title)" "Perform Rollback" "$w"
  expect_eq "$(wz checked $RADIO_FIRST)" 1 "$w: Yes preset by /R"
  wz click "$NEXT" click "$NEXT" >/dev/null
  wz msgbox --text-contains reboot --press 2 >/dev/null
  await_uninstaller
  expect_contents "$p" "$APP_DIR\\CORE.DLL" 'MZ core 1.0' "$w (backup put back)"
  expect_gone "$p" "$APP_DIR\\PLUGIN.DLL" "$w"
  expect_there "$p" "$APP_DIR\\SAMPLE.EXE" "$w (first installation)"
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Upgraded --none "$w"
  check_mif "Success" "Rollback"
}

test_finish_page() {
  NAME=finish
  echo "-- /U over the gradient background"
  prepare_gui finish || return 1
  printf '[Settings]\r\nNo Background=0\r\nStart Blue=200\r\nEnd Red=40\r\nEnd Green=90\r\nEnd Blue=40\r\n' \
    >"$(unix_path "$PREFIX" "$APP_DIR")/UNTARN32.INI"
  start_uninstaller /U "$APP_DIR\\INSTALL.LOG"
  local p=$PREFIX w=finish
  wizard_up || return 1
  sleep 1
  shot 01-final-over-gradient
  expect_eq "$(page_title)" "Perform Uninstall" "$w: opens on the final page"
  expect_eq "$(wz enabled $BACK)" 0 "$w: Back disabled"
  wz click "$NEXT" >/dev/null
  answer_shared_question
  wz msgbox --text-contains reboot --press 2 >/dev/null
  await_uninstaller
  expect_gone "$p" "$APP_DIR\\SAMPLE.EXE" "$w"
  # The gradient: blue at the top of the screen, green at the bottom.
  local top bottom
  # Below the caption, Wine's own at the top of the screen: the first band, then the last.
  top=$(convert "$SHOTS/$NAME-01-final-over-gradient.png" -format '%[pixel:p{5,22}]' info: 2>/dev/null)
  bottom=$(convert "$SHOTS/$NAME-01-final-over-gradient.png" -format '%[pixel:p{5,766}]' info: 2>/dev/null)
  expect_eq "$top" "srgb(0,0,200)" "$w: gradient top"
  expect_eq "$bottom" "srgb(40,90,40)" "$w: gradient bottom"
}

# A log of many files, put in place from the Unix side (quicker than any seeding).
make_large_app() {
  local app count=$1 padding=${2:-400000}
  app=$(unix_path "$PREFIX" 'C:\Big App')
  mkdir -p "$app"
  {
    printf '***  Installation Started 01/15/2024 10:00  ***\r\nTitle: Tarn Sample\r\nMade Dir: C:\\Big App\r\n'
    local i
    for ((i = 0; i < count; i++)); do printf 'File Copy: C:\\Big App\\F%05d.DAT\r\n' "$i"; done
    # Lines that hold no record, so that the load lasts long enough to be seen.
    yes $'; padding line of no record\r' | head -n "$padding"
  } >"$app/INSTALL.LOG"
  for ((i = 0; i < count; i++)); do : >"$app/F$(printf '%05d' "$i").DAT"; done
  cp "$UNTARN" "$app/UNTARN32.EXE"
}

# Enough files that the run lasts some seconds under Wine.
LARGE_FILES=20000

test_large_cancel() {
  NAME=large
  echo "-- /A on $LARGE_FILES files, cancelled in the middle"
  prepare_gui large || return 1
  make_large_app "$LARGE_FILES"
  local app
  app=$(unix_path "$PREFIX" 'C:\Big App')
  # The initializing window stands only while the log loads: its watcher starts first.
  local seen=$WORK/$NAME-initializing.txt
  (gd wait --title 'Uninstall' --class '#32770' --timeout 60000 >"$seen" && sleep 0.2 &&
     import -window root "$SHOTS/$NAME-00-initializing.png") &
  local watcher=$!
  sleep 2
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$app/UNTARN32.EXE" /A 'C:\Big App\INSTALL.LOG' \
    >"$WORK/$NAME-run.log" 2>&1 &
  UNTARN_PID=$!
  local w=large
  wizard_up || return 1
  wait "$watcher"
  if [[ -s $seen ]]; then pass; else fail "$w: no initializing window while the log loads"; fi
  # Wait until the run is under way, then cancel.
  local left i
  for ((i = 0; i < 100; i++)); do
    left=$(find "$app" -name 'F*.DAT' | wc -l)
    [[ $left -lt $((LARGE_FILES - 100)) ]] && break
    sleep 0.05
  done
  # Cancel at once, in one guidriver run: on a busy machine every further step costs a
  # second or more, and the run must still be going when the click arrives. The question
  # holds the run, so the page is looked at while it is open.
  wz click "$CANCEL" msgbox --text-contains sure >/dev/null
  shot 01-progress-and-cancel-question
  expect_eq "$(wz visible $NEXT)" 0 "$w: no Next in an automatic run"
  expect_eq "$(wz text $PAGE_TITLE)" "Perform Uninstall" "$w"
  local before_yes after_yes after_end
  before_yes=$(find "$app" -name 'F*.DAT' | wc -l)
  wz msgbox --press 6 >/dev/null
  after_yes=$(find "$app" -name 'F*.DAT' | wc -l)
  await_uninstaller
  after_end=$(find "$app" -name 'F*.DAT' | wc -l)
  # The question holds the run; after Yes it stops at its next item.
  if ((before_yes > 0 && before_yes < LARGE_FILES)); then pass
  else fail "$w: $before_yes files left when asked"; fi
  if ((after_yes - after_end <= 5 && before_yes - after_end <= 5)); then pass
  else fail "$w: the run went on after Cancel ($before_yes at the question, $after_yes after Yes, $after_end at the end)"; fi
  expect_there "$PREFIX" 'C:\Big App\INSTALL.LOG' "$w (a cancelled run keeps the log)"
}

# /A on a log that takes seconds to load, cancelled on the initializing window: the click
# is made by a guidriver that waits for the window before the run starts, and the window
# must still be up after it (the load still going). A click lost with the window, or read
# too late, would let the uninstall run: every file must still be there.
test_load_cancel() {
  NAME=loadcancel
  local files=2000 w=loadcancel
  echo "-- /A cancelled on the initializing window while the log loads"
  prepare_gui loadcancel || return 1
  make_large_app "$files" "$LOAD_CANCEL_PADDING"
  local app
  app=$(unix_path "$PREFIX" 'C:\Big App')
  local clicked=$WORK/$NAME-clicked.txt
  (gd wait --title 'Uninstall' --class '#32770' --timeout 60000 click "$CANCEL" visible "$CANCEL" \
     >"$clicked"; echo "status $?" >>"$clicked"; shot 00-initializing-cancelled) &
  local clicker=$!
  sleep 2
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$app/UNTARN32.EXE" /A 'C:\Big App\INSTALL.LOG' \
    >"$WORK/$NAME-run.log" 2>&1 &
  UNTARN_PID=$!
  wait "$clicker"
  expect_eq "$(tail -n 2 "$clicked" | tr '\n' ' ')" "1 status 0 " "$w: Cancel clicked while the log loads"
  await_uninstaller
  expect_eq "$(find "$app" -name 'F*.DAT' | wc -l)" "$files" "$w: files left after the run"
  expect_there "$PREFIX" 'C:\Big App\INSTALL.LOG' "$w (a cancelled run keeps the log)"
  expect_there "$PREFIX" 'C:\Big App\UNTARN32.EXE' "$w (a cancelled run keeps the program)"
}

# Padding lines of the log that test_load_cancel cancels: enough that its load lasts some
# seconds under Wine.
LOAD_CANCEL_PADDING=2000000

test_no_log() {
  NAME=nolog
  echo "-- no log: the open-file dialog, cancelled"
  prepare_gui nolog || return 1
  local lonely
  lonely=$(unix_path "$PREFIX" 'C:\Lonely')
  mkdir -p "$lonely"
  cp "$UNTARN" "$lonely/UNTARN32.EXE"
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$lonely/UNTARN32.EXE" >"$WORK/$NAME-run.log" 2>&1 &
  UNTARN_PID=$!
  local w=nolog
  if gd wait --title 'Open' --class '#32770' >/dev/null; then pass; else fail "$w: no open-file dialog"; fi
  sleep 0.5
  shot 01-open-file
  gd --window 'Open' click 2 >/dev/null
  await_uninstaller
  expect_there "$PREFIX" "$APP_DIR\\SAMPLE.EXE" "$w"
}

# A log and a settings file that push every limit, worked from the keyboard alone: a
# 255-character title holding "%s", "%n" and "&", a 1,000-character folder, an entry logged
# three times in different case, a font face that does not exist at size 255 in an unknown
# character set, colours outside 0..255, an empty page title and a very long description
# from the settings file, and a final text that asks for more values than it is given.
test_odd_input() {
  NAME=odd
  echo "-- odd input, worked with the keyboard"
  prepare_gui odd || return 1
  local app w=odd
  app=$(unix_path "$PREFIX" 'C:\Odd App')
  mkdir -p "$app"
  local title long_dir long_text
  title="Odd & Title %s %n &&"
  title+=$(printf 'x%.0s' $(seq 1 $((255 - ${#title}))))
  long_dir='C:\'$(printf 'D%.0s' $(seq 1 1000))
  long_text=$(printf 'Long override text. %.0s' $(seq 1 150))
  {
    printf '***  Installation Started 01/15/2024 10:00  ***\r\nTitle: %s\r\n' "$title"
    printf 'Made Dir: C:\\Odd App\r\nMade Dir: %s\r\n' "$long_dir"
    printf 'File Copy: C:\\Odd App\\A.TXT\r\nFile Copy: C:\\Odd App\\a.txt\r\nFile Copy: C:\\ODD APP\\A.TXT\r\n'
  } >"$app/INSTALL.LOG"
  echo odd >"$app/A.TXT"
  cp "$UNTARN" "$app/UNTARN32.EXE"
  printf '[Settings]\r\nNo Background=0\r\nText Font=No Such Face At All\r\nFont Character Size=255\r\nFont Character Set=999\r\nStart Red=300\r\nStart Green=-4\r\nEnd Blue=1000\r\n[Language]\r\nMsg5=\r\nMsg6=%s\r\nMsg13=Ready: %%s %%s %%d %%n %%%%\r\n' \
    "$long_text" >"$app/UNTARN32.INI"
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$app/UNTARN32.EXE" 'C:\Odd App\INSTALL.LOG' \
    >"$WORK/$NAME-run.log" 2>&1 &
  UNTARN_PID=$!
  # The caption is the title, cut where its buffer ends.
  WIZARD=$(gd wait --title 'Odd & Title' --class '#32770') && [[ -n $WIZARD ]] ||
    { fail "$w: no wizard"; return 1; }
  pass
  shot 00-method
  expect_eq "$(page_title)" "Select Uninstall Method" "$w: first page"
  # Alt+C picks Custom, Enter is Next.
  wz keys ALT+C ENTER >/dev/null
  expect_eq "$(page_title)" "" "$w: the page title emptied by the settings file"
  local text
  text=$(wz text 1002)
  [[ $text == "Long override text. "* && ${#text} -le 1023 ]] && pass ||
    fail "$w: description \"${text:0:40}...\" (${#text} characters)"
  expect_eq "$(wz lbcount "$LIST")" 1 "$w: one entry for a file logged three times"
  shot 01-private-files
  wz keys ALT+A >/dev/null
  expect_eq "$(wz lbselected "$LIST")" 0 "$w: Alt+A selects all"
  wz keys ALT+S >/dev/null
  expect_eq "$(wz lbselected "$LIST")" "" "$w: Alt+S selects none"
  wz keys ALT+B >/dev/null
  expect_eq "$(page_title)" "Select Uninstall Method" "$w: Alt+B goes back"
  wz keys ALT+N >/dev/null
  expect_eq "$(wz lbselected "$LIST")" "" "$w: the choice survives Back and Next"
  wz keys ENTER >/dev/null
  expect_eq "$(page_title)" "Select Directories to Remove" "$w: Enter goes on"
  local entry
  entry=$(wz lbtext "$LIST" 1)
  [[ ${#entry} -ge 200 && ${#entry} -le 260 && $entry == 'C:\DDD'* ]] && pass ||
    fail "$w: the long folder listed as \"${entry:0:20}...\" (${#entry} characters)"
  shot 02-directories
  wz keys ENTER >/dev/null
  expect_eq "$(page_title)" "Perform Uninstall" "$w: the final page"
  text=$(wz text 1002)
  [[ $text == "Ready: Odd & Title %s %n &&x"* ]] && pass ||
    fail "$w: final text \"${text:0:60}\""
  shot 03-final
  wz keys ESC >/dev/null
  wz msgbox --text-contains sure --press 6 >/dev/null || fail "$w: no cancel question"
  await_uninstaller
  expect_there "$PREFIX" 'C:\Odd App\A.TXT' "$w (cancelled)"
}

# texts_of ID: the entries of a list box, one a line, in UTF-8 (guidriver prints them in
# the ANSI code page; an entry cut inside a character would not convert).
texts_of() {
  local count i steps=()
  count=$(wz lbcount "$1")
  for ((i = 0; i < count; i++)); do steps+=(lbtext "$1" "$i"); done
  wz "${steps[@]}" | iconv -f CP932 -t UTF-8
}

test_dbcs_entries() {
  NAME=dbcs
  echo "-- double-byte names under code page 932"
  # Every program of the scenario runs under code page 932.
  local -x LOCPATH
  LOCPATH=$(japanese_locale) || { fail "dbcs: the ja_JP.UTF-8 locale could not be made"; return 1; }
  local -x LC_ALL=ja_JP.UTF-8 2>/dev/null
  prepare_gui dbcs || return 1
  local w=dbcs app long
  # The second byte of 表, ソ and 能 is a backslash in code page 932.
  app=$(unix_path "$PREFIX" 'C:\DBCS App')
  mkdir -p "$app/ソフト"
  echo one >"$app/表示.TXT"
  echo two >"$app/ソフト/能力.DAT"
  long=$(printf '表%.0s' $(seq 1 300))
  {
    printf '***  Installation Started 01/15/2024 10:00  ***\r\nTitle: 表示テスト\r\n'
    printf 'Made Dir: C:\\DBCS App\r\nMade Dir: C:\\DBCS App\\ソフト\r\nMade Dir: C:\\%s\r\n' "$long"
    printf 'File Copy: C:\\DBCS App\\表示.TXT\r\nFile Copy: C:\\DBCS App\\ソフト\\能力.DAT\r\n'
  } | iconv -f UTF-8 -t CP932 >"$app/INSTALL.LOG"
  cp "$UNTARN" "$app/UNTARN32.EXE"
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$app/UNTARN32.EXE" 'C:\DBCS App\INSTALL.LOG' \
    >"$WORK/$NAME-run.log" 2>&1 &
  UNTARN_PID=$!
  WIZARD=$(gd wait --title '表示テスト' --class '#32770') && [[ -n $WIZARD ]] ||
    { fail "$w: no wizard captioned with the title"; return 1; }
  pass
  wz check "$RADIO_SECOND" click "$NEXT" >/dev/null
  expect_eq "$(page_title)" "Select Private Files to Remove" "$w: files page"
  local files
  files=$(texts_of "$LIST" | LC_ALL=C sort | tr '\n' '|')
  expect_eq "$files" 'C:\DBCS App\ソフト\能力.DAT|C:\DBCS App\表示.TXT|' "$w: the files listed whole"
  shot 01-private-files
  local i entry
  wz click "$SELECT_ALL" >/dev/null
  i=0
  while IFS= read -r entry; do
    [[ $entry == *表示.TXT ]] && wz lbsel "$LIST" "$i" 0 >/dev/null
    i=$((i + 1))
  done < <(texts_of "$LIST")
  wz click "$NEXT" >/dev/null
  expect_eq "$(page_title)" "Select Directories to Remove" "$w: folders page"
  local folders=() cut=no
  mapfile -t folders < <(texts_of "$LIST")
  # ソフト lies in the application's folder and goes with it, so it has no entry of its own.
  expect_eq "${#folders[@]}" 2 "$w: two folders listed"
  wz click "$SELECT_ALL" >/dev/null
  for i in "${!folders[@]}"; do
    entry=${folders[$i]}
    # The application's folder would take the deselected file with it.
    [[ $entry == 'C:\DBCS App' ]] && wz lbsel "$LIST" "$i" 0 >/dev/null
    if [[ $entry == 'C:\表'* ]]; then
      local rest=${entry#C:\\} one=表 count
      # Cut within the path buffer and on a whole character: nothing but 表 follows C:\.
      count=$((${#rest} / ${#one}))
      [[ -z ${rest//表/} && $count -ge 100 && $count -le 128 ]] && cut=yes
    fi
  done
  expect_eq "$cut" yes "$w: the long folder cut on a character"
  expect_eq "$(printf '%s\n' "${folders[@]}" | grep -cx 'C:\\DBCS App')" 1 "$w: the application's folder listed"
  shot 02-directories
  wz click "$NEXT" >/dev/null
  expect_eq "$(page_title)" "Perform Uninstall" "$w: final page"
  wz click "$NEXT" >/dev/null
  await_uninstaller
  expect_there "$PREFIX" 'C:\DBCS App\表示.TXT' "$w (deselected)"
  expect_gone "$PREFIX" 'C:\DBCS App\ソフト\能力.DAT' "$w"
  expect_gone "$PREFIX" 'C:\DBCS App\ソフト' "$w"
}

main() {
  local f
  require_built gui_wizard "$UNTARN" "$TARNSEED" "$PROGMAN" "$GUIDRIVER" || return 1
  build_e2e_tools || { echo "gui_wizard: could not build testing/e2e" >&2; return 1; }
  rm -rf "$SHOTS"
  mkdir -p "$SHOTS"
  start_display || return 1

  local tests=(${GUI_TESTS:-custom automatic cancel rollback_page finish_page large_cancel load_cancel no_log odd_input dbcs_entries})
  local t
  local before
  for t in "${tests[@]}"; do
    before=$FAILURES
    PREFIX=
    "test_$t" || FAILURES=$((FAILURES + 1))
    [[ -n $PREFIX ]] || continue
    WINEPREFIX=$PREFIX "$WINESERVER" -k 2>/dev/null
    # Each prefix takes some 500 MB: a passed scenario's goes at once, a failed one's stays
    # until the end of the suite (GUI_KEEP=1: for good), to be looked at.
    if [[ ${GUI_KEEP:-0} != 1 && $FAILURES -eq $before ]]; then rm -rf "$PREFIX"; fi
  done

  if [[ ${GUI_KEEP:-0} != 1 ]]; then
    for f in "${PREFIXES[@]}"; do WINEPREFIX=$f "$WINESERVER" -k 2>/dev/null; rm -rf "$f"; done
    PREFIXES=()
  fi
  echo "gui_wizard: $CHECKS checks passed, $FAILURES failed; screenshots in $SHOTS"
  [[ $FAILURES -eq 0 ]]
}

main "$@"
