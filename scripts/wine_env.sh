# Sourced by every script that runs the project's Windows programs under Wine: where Wine and
# the 64-bit build are, and the programs the scripts run. The sourcing script sets ROOT first;
# UNTARN_WIN64_BUILD names another build, WINE_TIMEOUT (seconds a program may run) may be
# set before sourcing.
BUILD=${UNTARN_WIN64_BUILD:-$ROOT/build/win64}
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
WINE_TIMEOUT=${WINE_TIMEOUT:-300}
export WINEDEBUG=-all

UNTARN=$BUILD/src/UNTARN32.exe
TARNSEED=$BUILD/testing/tarnseed/tarnseed.exe
TARNLOG=$BUILD/tools/tarnlog/tarnlog.exe
PROGMAN=$BUILD/testing/progman/progman_standin.exe
GUIDRIVER=$BUILD/testing/guidriver/guidriver.exe

# boot_fresh_prefix: makes $WINEPREFIX anew (its server ended first) and waits until Wine has
# set it up.
boot_fresh_prefix() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  "$WINE" wineboot -i >/dev/null 2>&1
  "$WINESERVER" -w
}

# require_built NAME PROGRAM...: 0 when every program has been built; otherwise names each
# missing one (as the script NAME) and returns 1.
require_built() {
  local name=$1 program missing=0
  shift
  for program in "$@"; do
    [[ -f $program ]] && continue
    echo "$name: $program is missing; build the win64 tree first (make win64)" >&2
    missing=1
  done
  return "$missing"
}

# The self-registering library and program of testing/e2e, built once per build tree.
build_e2e_tools() {
  local out=$BUILD/e2e
  mkdir -p "$out"
  local flags=(-std=c++17 -O2 -Wall -Wextra -Werror -static)
  if [[ ! $out/E2ESELF.DLL -nt $ROOT/testing/e2e/e2e_selfreg_lib.cpp ]]; then
    x86_64-w64-mingw32-g++ "${flags[@]}" -shared -o "$out/E2ESELF.DLL" \
      "$ROOT/testing/e2e/e2e_selfreg_lib.cpp" -ladvapi32 || return 1
  fi
  if [[ ! $out/E2ETOOL.EXE -nt $ROOT/testing/e2e/e2e_tool.cpp ]]; then
    x86_64-w64-mingw32-g++ "${flags[@]}" -mwindows -o "$out/E2ETOOL.EXE" \
      "$ROOT/testing/e2e/e2e_tool.cpp" -ladvapi32 || return 1
  fi
}
