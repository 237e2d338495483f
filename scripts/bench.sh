#!/usr/bin/env bash
# Runs every benchmark program natively and, built for Windows, under wine64 in a
# throwaway prefix. Each program prints its own figures.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
for bench in build/native/bench/*_bench; do
  [ -x "$bench" ] || continue
  echo "== native: $(basename "$bench")"
  "$bench"
done
export WINEPREFIX="$root/build/wine/prefix-bench" WINEDEBUG=-all
rm -rf "$WINEPREFIX"
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
for bench in build/win64/bench/*_bench.exe; do
  [ -f "$bench" ] || continue
  echo "== wine64: $(basename "$bench")"
  /usr/lib/wine/wine64 "$bench"
done
