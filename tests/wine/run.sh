#!/usr/bin/env bash
# The Windows build's tests under Wine. Each suite gets a fresh prefix under build/wine,
# runs there with wine64 (32-bit code does not run on these machines), and its own
# wineserver is ended afterwards. The script fails when any suite fails.
#
# Adding a suite: write a function run_<name> that returns the suite's status, using
# fresh_prefix / in_prefix / end_prefix, and add its name to SUITES.
#
# Usage: tests/wine/run.sh [SUITE...] (every suite when none is named).
# Environment: UNTARN_WIN64_BUILD (default build/win64), WINE_TIMEOUT seconds per program
# (default 600).
set -u

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE_TIMEOUT=${WINE_TIMEOUT:-600}
source "$ROOT/scripts/wine_env.sh"
WINE_ROOT=$ROOT/build/wine

SUITES=(contract tarnseed e2e_uninstall gui_shared_dialog gui_wizard dump_agreement guidriver_selftest verify_leftovers silent_run shortcut_launch repair codepage932 interrupted)
# Suites named on the command line run alone, in the order given.
[[ $# -gt 0 ]] && SUITES=("$@")
PREFIXES=()  # every prefix made by this run, so that its wineserver is ended on exit

# fresh_prefix NAME: makes an empty, booted prefix build/wine/prefix-NAME and leaves its
# path in PREFIX (not printed: a subshell would lose the record in PREFIXES).
fresh_prefix() {
  local prefix=$WINE_ROOT/prefix-$1
  PREFIX=$prefix
  if [[ -d $prefix ]]; then
    WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null
    rm -rf "$prefix"
  fi
  mkdir -p "$WINE_ROOT"
  PREFIXES+=("$prefix")
  if ! WINEPREFIX=$prefix timeout 300 "$WINE" wineboot -i >"$WINE_ROOT/$1-boot.log" 2>&1; then
    echo "wine: wineboot failed for $prefix (see $WINE_ROOT/$1-boot.log)" >&2
    return 1
  fi
  WINEPREFIX=$prefix "$WINESERVER" -w
}

# in_prefix PREFIX PROGRAM ARGS...: runs a Windows program there; its exit status.
in_prefix() {
  local prefix=$1
  shift
  WINEPREFIX=$prefix timeout "$WINE_TIMEOUT" "$WINE" "$@"
}

# end_prefix PREFIX: ends that prefix's wineserver (and with it anything left running in it).
end_prefix() {
  WINEPREFIX=$1 "$WINESERVER" -k 2>/dev/null
  return 0
}

# A virtual display for the suites that need one (Wine's desktop serves the Program Manager
# conversation only when a desktop runs).
source "$ROOT/scripts/display.sh"

end_all() {
  local prefix
  for prefix in "${PREFIXES[@]}"; do end_prefix "$prefix"; done
  stop_display
}
trap end_all EXIT

# The platform contract suite against the Win32 back-end.
run_contract() {
  local exe=$BUILD/tests/contract_tests.exe
  if [[ ! -f $exe ]]; then
    echo "contract: $exe is missing; build the win64 tree first (make win64)" >&2
    return 1
  fi
  start_display || return 1
  fresh_prefix contract || return 1
  local prefix=$PREFIX
  local log=$WINE_ROOT/contract.log
  in_prefix "$prefix" "$exe" --gtest_color=no >"$log" 2>&1
  local status=$?
  # Failures and the summary; the whole output stays in the log.
  tr -d '\r' <"$log" | grep -v -E '^\[ +(RUN|OK) +\]|^\[-+\]|^$'
  end_prefix "$prefix"
  if [[ $status -ne 0 ]]; then
    echo "contract: FAILED (exit $status, full output in $log)" >&2
  fi
  return $status
}

# The fixture tool: seeds a prefix from an image, then the prefix is read back from the
# Unix side (drive_c) and with Wine's reg.exe; with --hold an in-use file resists deletion.
run_tarnseed() {
  local exe=$BUILD/testing/tarnseed/tarnseed.exe
  if [[ ! -f $exe ]]; then
    echo "tarnseed: $exe is missing; build the win64 tree first (make win64)" >&2
    return 1
  fi
  fresh_prefix tarnseed || return 1
  local prefix=$PREFIX
  local log=$WINE_ROOT/tarnseed.log
  local image=$ROOT/tests/wine/data/tarnseed_image.json
  local problems=0
  check() {  # check DESCRIPTION COMMAND...: runs the command, counts a failure
    if "${@:2}" >/dev/null 2>&1; then echo "  ok: $1"; else echo "  FAILED: $1"; problems=$((problems + 1)); fi
  }

  in_prefix "$prefix" "$exe" "$image" >"$log" 2>&1
  local status=$?
  # The in-use file is only held with --hold.
  check "seeding reports success" test "$status" -eq 0
  local app=$prefix/drive_c/Seeded/App
  check "file contents" grep -q "hello from the image" "$app/readme.txt"
  check "last-write time" test "$(TZ=UTC date -r "$app/readme.txt" '+%F %T')" = "2001-06-15 12:00:00"
  check "binary contents" test "$(od -An -tx1 "$app/locked.dll" | tr -d ' \n')" = "4d5a0001"
  check "empty directory" test -d "$prefix/drive_c/Seeded/Empty Dir"
  check "string value" bash -c "WINEPREFIX='$prefix' '$WINE' reg query 'HKLM\\Software\\Tarnseed Check' /v Name 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ *Seeded'"
  check "dword value" bash -c "WINEPREFIX='$prefix' '$WINE' reg query 'HKLM\\Software\\Tarnseed Check' /v Count 2>/dev/null | tr -d '\r' | grep -q 'REG_DWORD *0x7'"
  check "service" bash -c "WINEPREFIX='$prefix' '$WINE' reg query 'HKLM\\System\\CurrentControlSet\\Services\\TarnseedCheckSvc' /v ImagePath 2>/dev/null | tr -d '\r' | grep -qi 'svc.exe'"

  # Hold: the busy file must survive a delete while tarnseed holds it, and go after.
  local stop=$prefix/drive_c/hold.stop ready=$prefix/drive_c/hold.ready
  in_prefix "$prefix" "$exe" --hold --until 'C:\hold.stop' --ready 'C:\hold.ready' "$image" \
    >"$WINE_ROOT/tarnseed-hold.log" 2>&1 &
  local holder=$!
  local waited=0
  while [[ ! -f $ready && $waited -lt 300 ]]; do sleep 0.2; waited=$((waited + 1)); done
  check "hold becomes ready" test -f "$ready"
  in_prefix "$prefix" cmd /c del 'C:\Seeded\App\busy.dll' >/dev/null 2>&1
  check "held file resists deletion" test -f "$app/busy.dll"
  touch "$stop"
  wait "$holder"
  check "hold ends when told" test $? -eq 0
  in_prefix "$prefix" cmd /c del 'C:\Seeded\App\busy.dll' >/dev/null 2>&1
  check "released file can be deleted" test ! -f "$app/busy.dll"

  end_prefix "$prefix"
  if [[ $problems -ne 0 ]]; then
    echo "tarnseed: $problems check(s) FAILED (tool output in $log)" >&2
    return 1
  fi
  return 0
}

# End to end: the real UNTARN32.EXE uninstalls, and rolls back, a sample application.
run_e2e_uninstall() { "$ROOT/tests/wine/e2e_uninstall.sh"; }

# The shared-file question on a real display, answered with Enter.
run_gui_shared_dialog() { "$ROOT/tests/wine/gui_shared_dialog.sh"; }

# tarnlog dump on a seeded prefix agrees with the native dump on the same image.
run_dump_agreement() { "$ROOT/tests/wine/dump_agreement.sh"; }

# tarnlog verify names what an uninstall left, with the reasons.
run_verify_leftovers() { "$ROOT/tests/wine/verify_leftovers.sh"; }

# The dialog driver of the GUI tests, checked against a dialog of our own.
run_guidriver_selftest() { "$ROOT/tests/wine/guidriver_selftest.sh"; }

# The wizard, worked through guidriver with screenshots.
run_gui_wizard() { "$ROOT/tests/wine/gui_wizard.sh"; }

# A silent run starts no desktop, and needs no display.
run_silent_run() { "$ROOT/tests/wine/silent_run.sh"; }

# A shortcut's launch through the damage check: its question and its three answers.
run_shortcut_launch() { "$ROOT/tests/wine/shortcut_launch.sh"; }

# Repair through the wizard: files, values, a link and a server put back by the installation
# program of testing/tarnsetup, and its path prompt once the program has moved.
run_repair() { "$ROOT/tests/wine/repair.sh"; }

# Code page 932: a repair and an uninstall of names whose second bytes are a backslash, a bar
# or a letter, with the installation program of testing/tarnsetup.
run_codepage932() { "$ROOT/tests/wine/codepage932.sh"; }
run_interrupted() { "$ROOT/tests/wine/interrupted.sh"; }

# The suites that click through windows while a run works (Cancel in the middle of a run, a
# window that stands only while a log loads) race a busy machine's scheduler: one that fails
# runs once more in a fresh prefix, and the first attempt's failures are repeated at the end
# whatever the second gives, so that no failure goes unseen.
RACING_SUITES=" gui_shared_dialog gui_wizard "

# Each suite's output is kept, so that the failed checks can be repeated at the very end:
# a CI log often shows only its last lines.
failed=()
retried=()
mkdir -p "$WINE_ROOT"
# run_suite SUITE LOG: the suite, its output kept in LOG and shown when it ends; its status.
# (Not through a pipe: a suite's wineserver outlives it and would hold the pipe open.)
run_suite() {
  local status=0
  "run_$1" >"$2" 2>&1 || status=$?
  cat "$2"
  return "$status"
}
for suite in "${SUITES[@]}"; do
  echo "== wine: $suite"
  rm -f "$WINE_ROOT/$suite-again-suite.log"
  run_suite "$suite" "$WINE_ROOT/$suite-suite.log" && continue
  if [[ $RACING_SUITES == *" $suite "* ]]; then
    retried+=("$suite")
    echo "== wine: $suite again (its first attempt failed)"
    run_suite "$suite" "$WINE_ROOT/$suite-again-suite.log" && continue
  fi
  failed+=("$suite")
done

for suite in "${retried[@]}"; do
  echo "wine: $suite failed its first attempt:" >&2
  grep -E 'FAIL|rror|failed' "$WINE_ROOT/$suite-suite.log" | tail -n 20 >&2
done

if [[ ${#failed[@]} -ne 0 ]]; then
  for suite in "${failed[@]}"; do
    log=$WINE_ROOT/$suite-suite.log
    [[ -f $WINE_ROOT/$suite-again-suite.log ]] && log=$WINE_ROOT/$suite-again-suite.log
    echo "wine: $suite failed:" >&2
    grep -E 'FAIL|rror|failed' "$log" | tail -n 20 >&2
  done
  echo "wine: failed suites: ${failed[*]}" >&2
  exit 1
fi
echo "wine: all suites passed"
