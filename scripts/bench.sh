#!/usr/bin/env bash
# Runs every benchmark program natively and, built for Windows, under wine64 in a
# throwaway prefix. Each program prints its own figures.
#
# The uninstall benchmark runs three times under Wine: the uninstall itself (it seeds the
# prefix, uninstalls and writes a journal of its changes), a seeding run that puts the
# same state back, and testing/baseline_remove, which makes the journal's changes with the
# bare Win32 API. The summary at the end compares the two times.
#
# Environment: BENCH_NATIVE (default build/native), BENCH_WIN64 (default build/win64),
# BENCH_RESULTS (default build/bench-results; every program's output is kept there).
# BENCH_PREFIX (default build/wine/prefix-bench, made afresh).
#
# Among the programs under Wine, repair_check_bench writes an installation of 48,000 files
# (about 500 MB) into the prefix and times the repair's file checks against bare reads of
# the same files; a summary follows the uninstall's.
#
# Last, bench/e2e/e2e_bench.sh times UNTARN32.EXE /S itself from its process start to the
# end of its clean-up run, in fresh Wine sessions and in sessions whose desktop has ended
# (its own prefix; E2E_* variables there), then the wizard's progress display against the
# silent run, how fast the wizard answers a click, and our repair of the peer harness's
# application against Windows Installer's (bench/e2e/repair_peer_bench.sh, REPAIR_PEER_*
# variables there; it needs the harness beside the checkout or PEERS_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
native=${BENCH_NATIVE:-build/native}
win64=${BENCH_WIN64:-build/win64}
results=${BENCH_RESULTS:-build/bench-results}
mkdir -p "$results"
ROOT=$root
source scripts/wine_env.sh

for bench in "$native"/bench/*_bench; do
  [ -x "$bench" ] || continue
  name=$(basename "$bench")
  echo "== native: $name"
  "$bench" | tee "$results/native-$name.txt"
done

# The baseline program: from the project's win64 tree, else built on its own.
baseline=$win64/testing/baseline_remove/baseline_remove.exe
if [ ! -f "$baseline" ]; then
  cmake -S testing/baseline_remove -B build/win64-baseline -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
  cmake --build build/win64-baseline >/dev/null
  baseline=build/win64-baseline/baseline_remove.exe
fi

export WINEPREFIX="${BENCH_PREFIX:-$root/build/wine/prefix-bench}" WINEDEBUG=-all
source scripts/display.sh
finish() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  stop_display
}
trap finish EXIT
boot_fresh_prefix

# A display, so that the uninstall makes the hidden main window whose timer ends each of
# its waits, as the real program does.
start_display || true

for bench in "$win64"/bench/*_bench.exe; do
  [ -f "$bench" ] || continue
  name=$(basename "$bench" .exe)
  [ "$name" = uninstall_bench ] && continue
  echo "== wine64: $name"
  "$WINE" "$bench" | tee "$results/wine-$name.txt"
done

uninstall=$win64/bench/uninstall_bench.exe
if [ -f "$uninstall" ]; then
  echo "== wine64: uninstall_bench"
  "$WINE" "$uninstall" ${UNINSTALL_BENCH_ARGS:-} | tee "$results/wine-uninstall_bench.txt"
  echo "== wine64: the same machine state again, for the baseline"
  "$WINE" "$uninstall" ${UNINSTALL_BENCH_ARGS:-} --seed-only | tee "$results/wine-seed.txt"
  echo "== wine64: baseline_remove"
  "$WINE" "$baseline" | tee "$results/wine-baseline_remove.txt" || true

  # result: uninstall load=L driver=D items=N / result: baseline seconds=S ...
  field() { sed -n "s/^result: $2 .*$3=\([0-9.]*\).*/\1/p" "$1" | tr -d '\r'; }
  nload=$(field "$results/native-uninstall_bench.txt" uninstall load)
  ndriver=$(field "$results/native-uninstall_bench.txt" uninstall driver)
  wload=$(field "$results/wine-uninstall_bench.txt" uninstall load)
  wdriver=$(field "$results/wine-uninstall_bench.txt" uninstall driver)
  items=$(field "$results/wine-uninstall_bench.txt" uninstall items)
  base=$(field "$results/wine-baseline_remove.txt" baseline seconds)
  echo
  echo "== summary (seconds)"
  awk -v nl="$nload" -v nd="$ndriver" -v wl="$wload" -v wd="$wdriver" -v n="$items" -v b="$base" 'BEGIN {
    printf "  native uninstall: load %.3f, driver %.3f, %.0f items/s\n", nl, nd, (nd > 0 ? n / nd : 0)
    printf "  wine   uninstall: load %.3f, driver %.3f, %.0f items/s\n", wl, wd, (wd > 0 ? n / wd : 0)
    printf "  wine   baseline (same changes, bare API): %.3f\n", b
    if (b > 0) {
      printf "  ratio driver / baseline: %.2f; (load + driver) / baseline: %.2f (target: at most 1.50)\n", wd / b, (wl + wd) / b
    }
  }'
fi

# The repair's file checks against the bare reads (repair_check_bench ran in the loop above,
# in the bench prefix), and the CRC-32 natively.
repaircheck=$results/wine-repair_check_bench.txt
if [ -f "$repaircheck" ]; then
  rfield() { sed -n "s/^result: $2 .*$3=\([0-9.]*\).*/\1/p" "$1" | tr -d '\r'; }
  echo
  echo "== summary: repair file checks under Wine (seconds per pass, medians)"
  echo "  bare reads $(rfield "$repaircheck" repaircheck bare), repair checks" \
    "$(rfield "$repaircheck" repaircheck repair); ratio" \
    "$(rfield "$repaircheck" repaircheck ratio) (target: at most 1.30)"
  crc=$results/native-crc_bench.txt
  [ -f "$crc" ] && echo "  CRC-32 natively: $(rfield "$crc" crc memory_gbps) GB/s in memory" \
    "(target: at least 1), $(rfield "$crc" crc file_gbps) GB/s through Crc32OfFile"
fi

# The whole program, end to end (a prefix and display of its own).
"$WINESERVER" -k >/dev/null 2>&1 || true
echo
echo "== wine64: UNTARN32.EXE /S end to end"
BENCH_WIN64=$win64 BENCH_RESULTS=$results bench/e2e/e2e_bench.sh

# The wizard's progress display against the silent run (a prefix and display of its own).
echo
echo "== wine64: UNTARN32.EXE /A against /S"
UNTARN_WIN64_BUILD=$win64 bench/e2e/progress_display_bench.sh | tee "$results/progress-display.txt"

# How fast the wizard answers a click on Next and Back (a prefix and display of its own).
echo
echo "== wine64: the wizard's answer to a click"
UNTARN_WIN64_BUILD=$win64 bench/e2e/click_latency_bench.sh | tee "$results/click-latency.txt"

# Repair against Windows Installer's on the peer harness's application (a prefix and display
# of its own).
echo
echo "== wine64: repair against Windows Installer (the peer harness's application)"
BENCH_WIN64=$win64 bench/e2e/repair_peer_bench.sh | tee "$results/repair-peer.txt" ||
  echo "  the repair comparison did not complete (see above)"
