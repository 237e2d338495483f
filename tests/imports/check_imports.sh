#!/usr/bin/env bash
# The shipped programs must start on Windows 95 and NT 4: the loader refuses a program that
# imports a single function its DLLs lack, before the program runs a line. This lists the
# static imports of UNTARN32.EXE and _MSRSTRT.EXE (the i686 build) and fails on any that
# win95_nt4_exports.txt beside it does not list.
#
# It first checks itself: a probe that imports GetTickCount64 (from Vista) must be refused.
#
# Usage: tests/imports/check_imports.sh [BUILD_DIR]   (default build/win32)
set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=${1:-$ROOT/build/win32}
ALLOWED=$HERE/win95_nt4_exports.txt
OBJDUMP=${OBJDUMP:-i686-w64-mingw32-objdump}
PROBE_CC=${PROBE_CC:-i686-w64-mingw32-gcc-win32}

# imports PROGRAM: one "dll function" line per import, the DLL's name in lower case.
imports() {
  "$OBJDUMP" -p "$1" | awk '
    /DLL Name:/ { dll = tolower($3); next }
    dll != "" && /^\t[0-9a-f]+\t/ { print dll, $NF }'
}

# unlisted PROGRAM: the imports of PROGRAM that the list lacks; fails when it cannot read
# the program's import table at all (an empty listing must not pass as a clean one).
unlisted() {
  local listing
  listing=$(imports "$1") || return 2
  [[ -n $listing ]] || { echo "cannot read the imports of $1" >&2; return 2; }
  awk 'NR == FNR { if ($0 !~ /^#/ && NF >= 2) allowed[tolower($1) " " $2] = 1; next }
       !(($1 " " $2) in allowed)' "$ALLOWED" - <<<"$listing"
}

# check PROGRAM: 0 when every import is listed; prints the others.
check() {
  local program=$1 missing
  if [[ ! -f $program ]]; then
    echo "imports: $program is missing; build the win32 tree first (make win32)" >&2
    return 1
  fi
  missing=$(unlisted "$program") || return 1
  local count
  count=$(imports "$program" | wc -l)
  if [[ -n $missing ]]; then
    echo "imports: $(basename "$program") imports what Windows 95 or NT 4 lacks:" >&2
    sed 's/^/  /' <<<"$missing" >&2
    return 1
  fi
  echo "imports: $(basename "$program"): all $count imports exist on Windows 95 and NT 4"
}

# The checker must catch a newer import, or its silence proves nothing.
self_test() {
  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/check_imports.XXXXXX") || return 1
  cat >"$work/probe.c" <<'EOF'
#include <windows.h>
int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) { return (int)GetTickCount64(); }
EOF
  local result=0
  if ! "$PROBE_CC" -O2 -mwindows -D_WIN32_WINNT=0x0600 -o "$work/probe.exe" "$work/probe.c" \
      2>"$work/cc.log"; then
    echo "imports: self-test: cannot build the probe (see $work/cc.log)" >&2
    return 1
  fi
  if ! unlisted "$work/probe.exe" | grep -qx 'kernel32.dll GetTickCount64'; then
    echo "imports: self-test FAILED: a probe importing GetTickCount64 was not refused" >&2
    result=1
  else
    echo "imports: self-test: a probe importing GetTickCount64 is refused"
  fi
  rm -rf "$work"
  return $result
}

status=0
self_test || status=1
check "$BUILD/src/UNTARN32.exe" || status=1
check "$BUILD/src/_MSRSTRT.exe" || status=1
exit $status
