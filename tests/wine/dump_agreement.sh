#!/usr/bin/env bash
# Dump agreement: the Windows tarnlog.exe reading a real machine (a Wine prefix seeded from
# the sample image by tarnseed) and the native tarnlog reading the simulated machine seeded
# from the same image must print the same item store. A difference means that the
# simulated machine, the Win32 back-end or the seeding tells the loader something
# different about the same machine.
#
# Two header values are machine-made and are compared in a normal form only
# (docs/tarnlog.md): appDirectory is a short (8.3) path and Wine makes its own short names,
# so only its drive and its number of components are compared; profilesRoot and
# commonProfileRoot come from the user profile's Start Menu folders, which the image does
# not describe, so they are left out. Everything else must be equal.
#
# Sourced by tests/wine/run.sh (defines run_dump_agreement and adds it to SUITES), or run
# on its own: tests/wine/dump_agreement.sh
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), UNTARN_NATIVE_BUILD (default
# build/native).

run_dump_agreement() {
  local native_build=${UNTARN_NATIVE_BUILD:-$ROOT/build/native}
  local native=$native_build/tools/tarnlog/tarnlog
  local exe=$BUILD/tools/tarnlog/tarnlog.exe
  local seed=$BUILD/testing/tarnseed/tarnseed.exe
  local sample=$ROOT/tests/data/sample
  local log='C:\Program Files\Fernhill\Bramble Notes\INSTALL.LOG'
  local out=$WINE_ROOT/dump_agreement
  local missing=0 program
  for program in "$native" "$exe" "$seed"; do
    if [[ ! -f $program ]]; then
      echo "dump_agreement: $program is missing; build the native and win64 trees first" >&2
      missing=1
    fi
  done
  [[ $missing -eq 0 ]] || return 1
  mkdir -p "$out"

  fresh_prefix dump || return 1
  local prefix=$PREFIX
  local image_arg="Z:${sample//\//\\}\\image.json"
  if ! in_prefix "$prefix" "$seed" "$image_arg" >"$out/seed.log" 2>&1; then
    echo "dump_agreement: tarnseed failed (see $out/seed.log)" >&2
    end_prefix "$prefix"
    return 1
  fi
  in_prefix "$prefix" "$exe" dump "$log" >"$out/wine.json" 2>"$out/wine.err"
  local wine_status=$?
  end_prefix "$prefix"
  "$native" dump --machine "$sample/image.json" "$log" >"$out/native.json" 2>"$out/native.err"
  local native_status=$?
  if [[ $wine_status -ne 0 || $native_status -ne 0 ]]; then
    echo "dump_agreement: tarnlog failed: wine exit $wine_status, native exit $native_status" >&2
    tr -d '\r' <"$out/wine.err" | sed 's/^/  wine: /' >&2
    sed 's/^/  native: /' "$out/native.err" >&2
    return 1
  fi
  python3 - "$out/native.json" "$out/wine.json" <<'PY'
import json, sys

def normal(dump):
    header = dump["header"]
    parts = [p for p in header["appDirectory"].split("\\") if p]
    # Short names are the machine's own: keep what both machines must share.
    header["appDirectory"] = "%s <%d components>" % (parts[0].upper() if parts else "", len(parts))
    header.pop("profilesRoot", None)
    header.pop("commonProfileRoot", None)
    return dump

def differences(a, b, where, found):
    if type(a) != type(b):
        found.append("%s: native %r, wine %r" % (where, a, b))
    elif isinstance(a, dict):
        for key in sorted(set(a) | set(b)):
            if key not in a or key not in b:
                found.append("%s.%s: only in %s" % (where, key, "native" if key in a else "wine"))
            else:
                differences(a[key], b[key], "%s.%s" % (where, key), found)
    elif isinstance(a, list):
        if len(a) != len(b):
            found.append("%s: native has %d entries, wine %d" % (where, len(a), len(b)))
        for i, (x, y) in enumerate(zip(a, b)):
            differences(x, y, "%s[%d]" % (where, i), found)
    elif a != b:
        found.append("%s: native %r, wine %r" % (where, a, b))

native = normal(json.load(open(sys.argv[1], encoding="utf-8")))
wine = normal(json.load(open(sys.argv[2], encoding="utf-8")))
found = []
differences(native, wine, "dump", found)
for line in found[:40]:
    print("  " + line)
if found:
    print("dump_agreement: %d differences (outputs in %s)" % (len(found), sys.argv[1].rsplit("/", 1)[0]))
    sys.exit(1)
items = sum(len(v) for k, v in native.items() if isinstance(v, list) and k != "SectionSources")
print("dump_agreement: native and wine agree (%d items, %d sections)" % (items, native["header"]["sectionCount"]))
PY
}

# Run on its own: the prefix helpers of run.sh, in brief.
if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -u
  ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  BUILD=${UNTARN_WIN64_BUILD:-$ROOT/build/win64}
  WINE_ROOT=$ROOT/build/wine
  WINE=/usr/lib/wine/wine64
  WINESERVER=/usr/lib/wine/wineserver
  export WINEDEBUG=-all
  fresh_prefix() {
    PREFIX=$WINE_ROOT/prefix-$1
    [[ -d $PREFIX ]] && { WINEPREFIX=$PREFIX "$WINESERVER" -k 2>/dev/null; rm -rf "$PREFIX"; }
    mkdir -p "$WINE_ROOT"
    WINEPREFIX=$PREFIX timeout 300 "$WINE" wineboot -i >"$WINE_ROOT/$1-boot.log" 2>&1 || return 1
    WINEPREFIX=$PREFIX "$WINESERVER" -w
  }
  in_prefix() { local prefix=$1; shift; WINEPREFIX=$prefix timeout 600 "$WINE" "$@"; }
  end_prefix() { WINEPREFIX=$1 "$WINESERVER" -k 2>/dev/null; return 0; }
  run_dump_agreement
  exit $?
else
  SUITES+=(dump_agreement)
fi
