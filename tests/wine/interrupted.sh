#!/usr/bin/env bash
# Uninstalls killed part-way under Wine, then run again: an application of 3,000 files in 30
# folders, 400 values it made, 40 values and 60 INI entries it changed (the old data logged),
# and a shared file that another application counts too (SharedDLLs 2). The real
# UNTARN32.EXE /S runs once whole for the reference; then, round by round, it is killed (the
# Linux process, at once) at points spread over the length of a run, and run again. After
# each second run the machine must be as the whole run left it:
#   - the application's files, folders, made values and the log gone; the changed values and
#     INI entries back to their old data once (what is not the application's stays);
#   - the shared file kept and its count 1: taken back once over both runs;
#   - no journal left, and the status report written by the run that finished.
# Some second runs are started from another copy of the program. One more round starts a
# second run while the first is still working: it must change nothing and exit with status 3,
# and the first must finish as a whole run does.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), WINE_TIMEOUT (default 300),
# INTERRUPTED_ROUNDS (default 10).
set -u

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
WORK=$ROOT/build/wine/interrupted
source "$ROOT/tests/wine/e2e_lib.sh"
ROUNDS=${INTERRUPTED_ROUNDS:-10}
APP='C:\Program Files\Tarn Killed'
LOG="$APP\\INSTALL.LOG"
APPGEN="python3 $ROOT/tests/wine/interrupted_app.py"

# The state the rounds compare: the application's files, the INI file, the journal, the
# values of the application's keys and the shared count, and whether the report says so.
state() {
  $APPGEN state "$PREFIX"
  local key
  for key in 'HKLM\Software\Tarn Killed' 'HKLM\Software\Tarn Settings'; do
    echo "$key:"
    WINEPREFIX=$PREFIX "$WINE" reg query "$key" 2>/dev/null | tr -d '\r' | grep REG_ | sort
  done
  echo "shared count: $(WINEPREFIX=$PREFIX "$WINE" reg query \
    'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' /v \
    'C:\windows\system32\TARNSHRD.DLL' 2>/dev/null | tr -d '\r' | grep -o '0x[0-9a-f]*')"
  local mif
  mif=$(file_ci "$PREFIX" 'C:\windows\TARNKILL.MIF')
  echo "report: $([[ -n $mif ]] && grep -o 'Success\|Failed' "$mif" | head -1)"
}

# A fresh application in the prefix (files by hand, values through one registry import).
seed() {
  rm -rf "$PREFIX/drive_c/Program Files/Tarn Killed"
  rm -f "$(file_ci "$PREFIX" 'C:\windows\TARNKILL.MIF')"
  local reg
  reg=$($APGEN_SEED)
  WINEPREFIX=$PREFIX timeout 120 "$WINE" regedit /S "$(win_path "$reg")" >/dev/null 2>&1
}

# run PROGRAM: a silent uninstall of the log, to its end; its exit status in STATUS.
run() {
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$1" /S "$LOG" >/dev/null 2>&1
  STATUS=$?
}

main() {
  require_built interrupted "$UNTARN" || return 1
  rm -rf "$WORK"
  mkdir -p "$WORK"
  PREFIX=$WORK/prefix
  PREFIXES+=("$PREFIX")
  APGEN_SEED="$APPGEN seed $PREFIX"
  WINEPREFIX=$PREFIX timeout 300 "$WINE" wineboot -i >"$WORK/boot.log" 2>&1 ||
    { echo "interrupted: wineboot failed" >&2; return 1; }
  WINEPREFIX=$PREFIX "$WINESERVER" -w
  start_display || return 1
  cp "$UNTARN" "$PREFIX/drive_c/windows/UNTARN32.EXE"
  build_e2e_tools || { echo "interrupted: could not build testing/e2e" >&2; return 1; }
  cp "$BUILD/e2e/E2ETOOL.EXE" "$PREFIX/drive_c/windows/E2ETOOL.EXE"
  mkdir -p "$PREFIX/drive_c/other"
  cp "$UNTARN" "$PREFIX/drive_c/other/UNTARN32.EXE"
  # One session for every run: a new one would start the desktop again each time.
  WINEPREFIX=$PREFIX "$WINESERVER" -p

  echo "-- the whole run, for reference"
  seed
  local start end
  start=$(date +%s.%N)
  run 'C:\windows\UNTARN32.EXE'
  end=$(date +%s.%N)
  expect_eq "$STATUS" 0 "reference: exit status"
  state >"$WORK/reference.txt"
  local length
  length=$(python3 -c "print(round($end - $start, 2))")
  echo "   a whole run takes ${length} s"
  grep -q 'application folder: gone' "$WORK/reference.txt" && pass ||
    fail "reference: the application is still there"
  grep -q 'shared count: 0x1$' "$WORK/reference.txt" && pass ||
    fail "reference: the shared count is not 1"

  # Where a kill found the run: before its work (the log there, no journal), in the work
  # (a journal without its last line), in its end (the last line written), after it.
  local round delay program where first pid i
  declare -A seen=()
  # The last round is killed as soon as the copy that guards the INI file appears: while the
  # run writes the INI entries back, when the file may be cut.
  local copies=$PREFIX/drive_c/windows/~KTU*.TMP
  for ((round = 1; round <= ROUNDS + 1; round++)); do
    delay=$(python3 -c "print(round($length * 1.2 * ($round - 0.5) / $ROUNDS, 3))")
    seed
    WINEPREFIX=$PREFIX "$WINE" 'C:\windows\UNTARN32.EXE' /S "$LOG" >/dev/null 2>&1 &
    first=$!
    if ((round > ROUNDS)); then
      delay="the INI copy"
      for ((i = 0; i < 5000; i++)); do compgen -G "$copies" >/dev/null && break; sleep 0.002; done
    else
      sleep "$delay"
    fi
    pid=$(prefix_pids 'UNTARN32.EXE')
    [[ -n $pid ]] && kill -9 $pid 2>/dev/null
    wait "$first" 2>/dev/null
    local app=$PREFIX/drive_c/Program\ Files/Tarn\ Killed
    if [[ -f $app/INSTALL.JNL ]]; then
      grep -q $'^D\t' "$app/INSTALL.JNL" && where="in its end" || where="in its work"
    elif [[ -f $app/INSTALL.LOG ]]; then
      where="before its work"
    else
      where="after it"
    fi
    seen[$where]=$((${seen[$where]:-0} + 1))
    # A copy beside the INI file: the kill came while the run wrote its entries (the file may
    # be cut; the run again puts the copy back).
    local inipass=""
    compgen -G "$copies" >/dev/null && inipass=" (in the INI pass)"
    grep -q 'Mine=kept' "$PREFIX/drive_c/windows/TARNKILL.INI" 2>/dev/null ||
      inipass="$inipass (the INI file cut)"
    if ((round > ROUNDS)); then
      [[ -n $inipass ]] && pass || fail "round $round: no copy guarded the INI file when the run was killed"
    fi
    program='C:\windows\UNTARN32.EXE'
    ((round % 3 == 0)) && program='C:\other\UNTARN32.EXE'
    # A run that got to its end leaves no log to run again (a new run would only say so).
    if [[ $where != "after it" ]]; then
      run "$program"
      expect_eq "$STATUS" 0 "round $round (killed $where): exit status of the run again"
    fi
    state >"$WORK/round-$round.txt"
    if diff -q "$WORK/reference.txt" "$WORK/round-$round.txt" >/dev/null; then
      pass
    else
      fail "round $round (killed $where, after ${delay} s): the machine differs from the whole run's: $(diff "$WORK/reference.txt" "$WORK/round-$round.txt" | head -6 | tr '\n' ' ')"
    fi
    echo "   round $round: killed after ${delay}$([[ $delay == *[0-9] ]] && echo " s"), $where$inipass$([[ $where == "after it" ]] || echo ", run again from $program")"
  done
  for where in "before its work" "in its work" "in its end" "after it"; do
    echo "   killed $where: ${seen[$where]:-0} round(s)"
  done
  [[ ${seen["in its work"]:-0} -gt 0 ]] && pass || fail "no round killed the run in its work"

  echo "-- a second run while the first is working"
  # The first run is held at work by the program it runs first, until the hold file goes.
  seed
  local hold=$PREFIX/drive_c/e2e/hold
  mkdir -p "$(dirname "$hold")" && touch "$hold"
  WINEPREFIX=$PREFIX "$WINE" 'C:\windows\UNTARN32.EXE' /S "$LOG" >/dev/null 2>&1 &
  first=$!
  local waited=0
  while ! pgrep -f 'E2ETOOL.EXE /hold' >/dev/null && [[ $waited -lt 200 ]]; do
    sleep 0.05
    waited=$((waited + 1))
  done
  local held
  held=$(state)
  run 'C:\other\UNTARN32.EXE'
  expect_eq "$STATUS" 3 "second run: exit status"
  expect_eq "$(state)" "$held" "second run: the machine as the first run holds it"
  rm -f "$hold"
  wait "$first"
  state >"$WORK/two-runs.txt"
  diff -q "$WORK/reference.txt" "$WORK/two-runs.txt" >/dev/null && pass ||
    fail "two runs: the machine differs from the whole run's: $(diff "$WORK/reference.txt" "$WORK/two-runs.txt" | head -6 | tr '\n' ' ')"

  WINEPREFIX=$PREFIX "$WINESERVER" -k 2>/dev/null
  echo "interrupted: $CHECKS checks passed, $FAILURES failed; states in $WORK"
  [[ $FAILURES -eq 0 ]]
}

main "$@"
