#!/usr/bin/env bash
# The end-to-end cost of a silent uninstall under Wine, as a distribution system starts it:
# UNTARN32.EXE /S on a seeded installation, from the start of its process to the end of the
# last process of the run (the clean-up run of its temporary copy included). Whatever the
# run starts on the way is paid for in its time. Two states of the session:
#   fresh    no wineserver is left from the seeding: the run's process starts the session
#            (services and the desktop process come up beside it)
#   idle     a session that stays up (wineserver -p) and whose desktop process has ended, as
#            Wine ends it a second after the last window: a program that makes a window
#            starts it again and waits until it is idle (0.2 s here; seconds when the
#            session's services answer late). This is where a window made by a silent run
#            shows first.
# and two placements of the program:
#   app      in the application's directory and logged as one of its files: the run ends by
#            handing its clean-up to the temporary copy (which waits one second for the run
#            to end, then removes the program and its directory)
#   windows  in the Windows directory: no clean-up run
#
# The installation is the large generated log of testing/loggen divided by E2E_DIVIDE (default
# 10: 4,800 files, 4,800 registry values and 1,600 INI entries over 20 sections), seeded by
# uninstall_bench.exe --seed-only. Prints its figures; it is not a test.
#
# Environment: BENCH_WIN64 (default build/win64), BENCH_RESULTS (default build/bench-results),
# E2E_PREFIX (default build/wine/prefix-e2e, made afresh), E2E_SAMPLES (default 3),
# E2E_DIVIDE (default 10).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
win64=${BENCH_WIN64:-build/win64}
results=${BENCH_RESULTS:-build/bench-results}
samples=${E2E_SAMPLES:-3}
divide=${E2E_DIVIDE:-10}
ROOT=$root
source scripts/wine_env.sh
untarn=$win64/src/UNTARN32.exe
seeder=$win64/bench/uninstall_bench.exe
waiter=$win64/bench/e2e_wait.exe
for f in "$untarn" "$seeder" "$waiter"; do
  [[ -f $f ]] || { echo "e2e_bench: $f is missing; build the win64 tree first" >&2; exit 1; }
done
mkdir -p "$results"
out=$results/wine-e2e.txt
: >"$out"

export WINEPREFIX="${E2E_PREFIX:-$root/build/wine/prefix-e2e}" WINEDEBUG=-all
source scripts/display.sh
finish() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  stop_display
}
trap finish EXIT
boot_fresh_prefix
# A display, as a desktop session has one: a run that makes a window pays for the desktop
# here as it would there (without one it would end at once and look fast).
start_display

say() { echo "$*" | tee -a "$out"; }
# The Unix path of a path on the prefix's C: drive.
unix_path() {
  local p=${1#[Cc]:\\}
  echo "$WINEPREFIX/drive_c/${p//\\//}"
}
end_session() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
}
# True while this prefix's desktop process runs.
desktop_running() {
  local pid
  for pid in $(pgrep -f 'explorer.exe /desktop' || true); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
# prepare_session fresh|idle: ends the seeding's session, or keeps it and waits (at most
# 15 s) for its desktop process to end.
prepare_session() {
  if [[ $1 == fresh ]]; then
    end_session
    return
  fi
  local waited=0
  while desktop_running && [[ $waited -lt 150 ]]; do sleep 0.1; waited=$((waited + 1)); done
}
now() { date +%s.%N; }
field() { sed -n "s/^result: e2e .*$1=\([0-9.]*\).*/\1/p" "$2" | tr -d '\r'; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

say "== e2e: UNTARN32.EXE /S in fresh sessions and in sessions whose desktop has ended (log divided by $divide)"

# What any program's start costs in a fresh session: a console program that does nothing.
end_session
start=$(now)
"$WINE" "$waiter" 'C:\windows\system32\cmd.exe' /c exit >"$results/e2e-console.txt" 2>&1 || true
say "  a console program that does nothing, in a fresh session: $(field all "$results/e2e-console.txt") s" \
  "(with the session's start: $(echo "$(now) - $start" | bc) s)"

declare -A first all wall desktops
cases=()
for session in fresh idle; do
  for placement in app windows; do cases+=("$session-$placement"); done
done
for case in "${cases[@]}"; do
  session=${case%%-*}
  placement=${case#*-}
  for ((i = 1; i <= samples; i++)); do
    seed=$results/e2e-seed.txt
    [[ $session == idle ]] && "$WINESERVER" -p
    "$WINE" "$seeder" --seed-only --divide "$divide" >"$seed" 2>&1
    log=$(sed -n 's/.*; log \(.*\) ([0-9.]* MB)\r*$/\1/p' "$seed" | head -1)
    if [[ -z $log ]]; then
      say "e2e_bench: the seeding gave no log path (see $seed)"
      exit 1
    fi
    app=${log%\\*}
    if [[ $placement == app ]]; then
      program="$app\\UNTARN32.EXE"
      cp "$untarn" "$(unix_path "$program")"
      # Logged as one of the application's files, as an installation that carries its own
      # uninstaller logs it: the run must hand its own removal to the clean-up run.
      printf 'File Copy: %s\r\n' "$program" >>"$(unix_path "$log")"
    else
      program='C:\windows\UNTARN32.EXE'
      cp "$untarn" "$(unix_path "$program")"
    fi
    prepare_session "$session"

    run=$results/e2e-$case-$i.txt
    start=$(now)
    "$WINE" "$waiter" "$program" /S "$log" >"$run" 2>&1 || true
    elapsed=$(echo "$(now) - $start" | bc)
    left=$(find "$(unix_path "$app")" -type f 2>/dev/null | wc -l)
    desktop=$(sed -n 's/.*desktop=\([01]\).*/\1/p' "$run" | tr -d '\r')
    say "  $session session, program in $placement, sample $i: run $(field first "$run") s," \
      "with the clean-up $(field all "$run") s, with the wine64 command $elapsed s;" \
      "desktop started by the run: $desktop; files left in the application directory: $left"
    tr -d '\r' <"$run" | grep -v '^result:' >>"$out"
    first[$case]+="$(field first "$run") "
    all[$case]+="$(field all "$run") "
    wall[$case]+="$elapsed "
    desktops[$case]+="$desktop"
    end_session
  done
done

say ""
say "== e2e summary (medians of $samples, seconds; the application's INI files stay: the log edits them)"
for case in "${cases[@]}"; do
  say "  $(printf '%-13s' "$case"): run $(echo ${first[$case]} | tr ' ' '\n' | median)," \
    "with the clean-up $(echo ${all[$case]} | tr ' ' '\n' | median)," \
    "with the wine64 command $(echo ${wall[$case]} | tr ' ' '\n' | median);" \
    "runs that started the desktop: $(echo -n "${desktops[$case]}" | tr -cd 1 | wc -c) of $samples"
done
