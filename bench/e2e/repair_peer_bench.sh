#!/usr/bin/env bash
# Repair against the one peer that repairs: the peer harness's application (2,000 files,
# 1,000 registry values, 100 INI entries by default; ../shared/bench/peers) installed in one
# Wine prefix twice, by Windows Installer from the harness's package and as our installer
# would install it (the harness's baseline program puts the files, values and entries in
# place; INSTALL.LOG logs every file with its stamp and names an installation program built
# from testing/tarnsetup with the same payload). Each round damages the same ten files in
# both (five deleted, five overwritten at the same size and time) and repairs them, the two
# in turn, the first alternating from round to round:
#
#   ours  UNTARN32.EXE /W1 <log>, the launch of an application's shortcut: the damage check
#         finds the files of the repair record missing or changed and asks once; a second
#         program answers Yes (it looks for the question every 20 ms), and the automatic
#         repair checks every logged file, has the installation program extract the damaged
#         ones and writes the logged values again
#   msi   msiexec /i app.msi REINSTALL=ALL REINSTALLMODE=a /qn (what /fa asks for; Wine 8's
#         msiexec /fa does not run, see the harness)
#
# Both are timed by bench/e2e/e2e_wait.exe from the start of the process to the end of the
# last process it started. A program that keeps a window holds Wine's desktop for the whole
# run, as a desktop session has one. Prints each round, the medians with their spread, the
# ratio and whether every damaged file came back byte for byte; it is not a test.
#
# Environment: BENCH_WIN64 (default build/win64), PEERS_DIR (the peer harness; default
# ../shared/bench/peers beside the checkout, or beside the main checkout of a worktree),
# REPAIR_PEER_WORK (default build/repair-peer), REPAIR_PEER_ROUNDS (default 5),
# REPAIR_PEER_FILES, _VALUES, _INI (default 2000, 1000, 100). The prefix is
# $REPAIR_PEER_WORK/prefix, made afresh and removed at the end (REPAIR_PEER_KEEP=1 keeps it).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
ROOT=$root
UNTARN_WIN64_BUILD=${BENCH_WIN64:-$root/build/win64}
source scripts/wine_env.sh
work=${REPAIR_PEER_WORK:-$root/build/repair-peer}
rounds=${REPAIR_PEER_ROUNDS:-5}
files=${REPAIR_PEER_FILES:-2000}
values=${REPAIR_PEER_VALUES:-1000}
ini=${REPAIR_PEER_INI:-100}
helper=$root/bench/e2e/repair_peer.py
waiter=$BUILD/bench/e2e_wait.exe
tarnsetup=$BUILD/testing/tarnsetup/tarnsetup.exe
require_built repair_peer_bench "$UNTARN" "$GUIDRIVER" "$waiter" "$tarnsetup" || exit 1

peers=${PEERS_DIR:-}
if [[ -z $peers ]]; then
  for candidate in "$root/../shared/bench/peers" \
    "$(git -C "$root" rev-parse --path-format=absolute --git-common-dir 2>/dev/null)/../../shared/bench/peers"; do
    [[ -f $candidate/gen_app.py ]] && { peers=$(cd "$candidate" && pwd); break; }
  done
fi
[[ -n $peers && -f $peers/gen_app.py ]] ||
  { echo "repair_peer_bench: no peer harness (set PEERS_DIR)" >&2; exit 1; }
scripts/install-deps.sh wixl msitools xvfb

# The stamps are local times; one zone for the prefix and for the stamps written here.
export TZ=UTC
# No Mono or Gecko installer in the fresh prefix, no menu entries from saved links.
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
export WINEPREFIX=$work/prefix
source scripts/display.sh
hold_pid=
finish() {
  [[ -n $hold_pid ]] && kill "$hold_pid" 2>/dev/null
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [[ ${REPAIR_PEER_KEEP:-0} == 1 ]] || rm -rf "$WINEPREFIX"
  stop_display
}
trap finish EXIT

mkdir -p "$work"
echo "== repair comparison: preparing the payload and the package ($files files, $values values, $ini INI entries)"
python3 "$helper" prepare "$work" "$peers" --files "$files" --values "$values" --ini "$ini" >/dev/null
python3 "$root/testing/tarnsetup/tarnpack.py" "$tarnsetup" "$work/payload" "$work/TARNSETUP.EXE" >/dev/null

# A prefix made the ordinary way (its server started by wineboot), whose server then stays.
boot_fresh_prefix
start_display
for value in Decorated Managed; do
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /d N /f >/dev/null 2>&1
done
"$WINESERVER" -w
"$WINESERVER" -p
unix() { local p=${1#[Cc]:\\}; echo "$WINEPREFIX/drive_c/${p//\\//}"; }
win() { local p=$1; echo "Z:${p//\//\\}"; }
app='C:\Program Files\TarnBench\Ours'
log="$app\\INSTALL.LOG"
media='C:\TarnMedia'

echo "== installing: the package with msiexec, ours with the baseline program and its log"
"$WINE" msiexec /i "$(win "$work/app.msi")" /qn >"$work/msi-install.txt" 2>&1 ||
  { echo "repair_peer_bench: msiexec /i failed (see $work/msi-install.txt)" >&2; exit 1; }
"$WINE" "$work/tarnbase.exe" run "$(win "$work/ours-install.lst")" >"$work/ours-install.txt" 2>&1 ||
  { echo "repair_peer_bench: the baseline program's install failed" >&2; exit 1; }
mkdir -p "$(unix "$media")"
cp "$work/TARNSETUP.EXE" "$(unix "$media")/TARNSETUP.EXE"
touch -d '2024-03-01 09:00:00' "$(unix "$media")/TARNSETUP.EXE"
cp "$UNTARN" "$(unix "$app")/UNTARN32.EXE"
python3 "$helper" journal "$work" "$peers" "$WINEPREFIX" "$media\\TARNSETUP.EXE"
python3 "$helper" record "$work" "$peers" "$work/record.reg"
"$WINE" regedit /S "$(win "$work/record.reg")" >/dev/null 2>&1
# complete CHECK-OUTPUT: the ten files are all there as the payload has them.
complete() { [[ ${1% *} == "${1#* }" ]]; }
for which in msi ours; do
  complete "$(python3 "$helper" check "$work" "$peers" "$WINEPREFIX" "$which")" ||
    { echo "repair_peer_bench: the $which installation is incomplete" >&2; exit 1; }
done

# Wine's desktop for the whole run: without a window of the session it ends, and the next
# window waits for a new one.
"$WINE" "$GUIDRIVER" hold 3600000 >/dev/null 2>&1 &
hold_pid=$!
sleep 2

seconds() { sed -n 's/^result: e2e .*all=\([0-9.]*\).*/\1/p' "$1" | tr -d '\r'; }
report=$work/setup-report.txt
declare -a ours_times msi_times
ours_ok=0 msi_ok=0 ours_exact=0
run_msi() {
  python3 "$helper" damage "$work" "$peers" "$WINEPREFIX" msi
  "$WINE" "$waiter" 'C:\windows\system32\msiexec.exe' /i "$(win "$work/app.msi")" \
    REINSTALL=ALL REINSTALLMODE=a /qn >"$work/msi-$1.txt" 2>&1 || true
  msi_times+=("$(seconds "$work/msi-$1.txt")")
  local back
  back=$(python3 "$helper" check "$work" "$peers" "$WINEPREFIX" msi)
  complete "$back" && msi_ok=$((msi_ok + 1))
  echo "  round $1 msi:  ${msi_times[-1]} s, damaged files back: ${back/ / of }"
}
run_ours() {
  python3 "$helper" damage "$work" "$peers" "$WINEPREFIX" ours
  rm -f "$report"
  # Waiting for the question before the run starts, so that it is answered at the next look.
  "$WINE" "$GUIDRIVER" --timeout 120000 wait --title 'Perform Repair' --class '#32770' click 6 \
    >"$work/answer-$1.txt" 2>&1 &
  local answer=$!
  sleep 1
  TARNSETUP_REPORT=$(win "$report") "$WINE" "$waiter" "$(unix "$app")/UNTARN32.EXE" /W1 "$log" \
    >"$work/ours-$1.txt" 2>&1 || true
  wait "$answer" || echo "  round $1 ours: the question was not answered (see $work/answer-$1.txt)"
  ours_times+=("$(seconds "$work/ours-$1.txt")")
  local back extracted
  back=$(python3 "$helper" check "$work" "$peers" "$WINEPREFIX" ours)
  complete "$back" && ours_ok=$((ours_ok + 1))
  # The installation program was asked for exactly the damaged files.
  extracted=$(tr -d '\r' <"$report" 2>/dev/null | sed -n 's/^extracted: //p' | sort)
  [[ $extracted == "$(python3 "$helper" victims "$work" "$peers" ours | sort)" ]] &&
    ours_exact=$((ours_exact + 1))
  echo "  round $1 ours: ${ours_times[-1]} s, damaged files back: ${back/ / of }," \
    "files the installation program extracted: $(echo -n "$extracted" | grep -c . || true)"
}

echo "== $rounds rounds, alternating (seconds from the start to the end of the last process)"
for ((r = 1; r <= rounds; r++)); do
  if ((r % 2)); then run_ours "$r"; run_msi "$r"; else run_msi "$r"; run_ours "$r"; fi
done

stats() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
  m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
  printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'; }
read -r ours_median ours_min ours_max < <(stats "${ours_times[@]}")
read -r msi_median msi_min msi_max < <(stats "${msi_times[@]}")
echo
echo "== repair of $files files with ten damaged, $rounds rounds"
echo "  ours (UNTARN32.EXE /W1, answered Yes): median $ours_median s (fastest $ours_min, slowest $ours_max);" \
  "every damaged file back byte for byte in $ours_ok of $rounds rounds; only the damaged files extracted in $ours_exact of $rounds"
echo "  Windows Installer (REINSTALLMODE=a):   median $msi_median s (fastest $msi_min, slowest $msi_max);" \
  "every damaged file back byte for byte in $msi_ok of $rounds rounds"
# The ratio of the medians, and each round's own ratio (the two ran back to back).
ratios=()
for ((r = 0; r < rounds; r++)); do
  ratios+=("$(awk -v o="${ours_times[r]}" -v m="${msi_times[r]}" 'BEGIN { printf "%.3f", (m > 0 ? o / m : 0) }')")
done
read -r ratio_median ratio_min ratio_max < <(stats "${ratios[@]}")
awk -v o="$ours_median" -v m="$msi_median" 'BEGIN {
  printf "  ratio ours / Windows Installer: %.3f (target: at most 0.333)\n", (m > 0 ? o / m : 0) }'
echo "  the rounds' own ratios: median $ratio_median (lowest $ratio_min, highest $ratio_max)"
echo "result: repairpeer ours=$ours_median msi=$msi_median rounds=$rounds ours_restored=$ours_ok msi_restored=$msi_ok"
