#!/usr/bin/env bash
# Code page 932 under Wine: the real UNTARN32.EXE repairs, then uninstalls, an application
# whose names hold characters whose second byte is a backslash (表, ソ) or a bar (ポ), in a
# folder named with ヂ, whose second byte is a small letter's, beside a folder named with ア,
# whose second byte is the same letter in capitals.
#
#   setup      tarnsetup alone, its payload named in code page 932: a listed path with ポ in
#              a folder ending in ソ is extracted, into a folder it makes on the way
#   repair     the wizard's Repair method: the damaged file named with ポ (its stamp holds ポ
#              as well), a deleted file in a deleted folder named with 表 and a deleted file
#              in the folder beside are extracted again, and only those; the intact file named
#              with 表 is left alone; no folder is made that the installation never had; the
#              deleted value of the key named with 表, ソ and ポ is written again
#   uninstall  /S: every logged file, both folders the installation made and the key go;
#              the folder above the application's, which the installation never made, stays
#              with what it holds
#
# The rounds share one prefix, made and run under code page 932. Screenshots go to
# build/wine/codepage932/shots.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), WINE_TIMEOUT (default 300),
# CP932_KEEP=1 keeps the prefix.
set -u

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
WORK=$ROOT/build/wine/codepage932
SHOTS=$WORK/shots
# The stamps are local times, written here in UTC.
export TZ=UTC

TARNSETUP=$BUILD/testing/tarnsetup/tarnsetup.exe

source "$ROOT/tests/wine/e2e_lib.sh"

# The names as Windows shows them; the log and the program's report hold them in code
# page 932, this script in UTF-8.
TOP='C:\ヂ'
APP_DIR='C:\ヂ\表ソ'
BESIDE='C:\ア'
MEDIA='C:\Media'
KEY='Software\表ソ\ポ'
TITLE='DBCS Repair'
INSTALLED='2024-03-01 10:00:00'
SETUP_TIME='2024-03-01 09:00:00'
NEXT=1 RADIO_REPAIR=1009 PAGE_TITLE=1011

# Each file of the installation: its path, and its contents (the payload carries the same
# bytes under the path's last two components).
FILES=(
  "$APP_DIR\\ポ.DAT" 'ポ data, 1.0'
  "$APP_DIR\\表.TXT" 'the intact one'
  "$APP_DIR\\表示\\能力.DAT" 'in a folder named with 表'
  "$BESIDE\\ソ.DAT" 'beside the application'
)

# unix_of PATH: the Unix path of a Windows path of the prefix.
unix_of() { unix_path "$PREFIX" "$1"; }

# make_installation: the payload, TARNSETUP.EXE with it, the installed files and the log.
make_installation() {
  local payload=$WORK/payload i path contents
  rm -rf "$payload"
  for ((i = 0; i < ${#FILES[@]}; i += 2)); do
    path=${FILES[i]} contents=${FILES[i + 1]}
    local unix name
    unix=$(unix_of "$path")
    name=$(basename "$(dirname "$unix")")/$(basename "$unix")
    mkdir -p "$(dirname "$unix")" "$(dirname "$payload/$name")"
    printf '%s' "$contents" >"$unix"
    printf '%s' "$contents" >"$payload/$name"
    touch -d "$INSTALLED" "$unix"
  done
  mkdir -p "$(unix_of "$MEDIA")"
  local setup
  setup=$(unix_of "$MEDIA")/TARNSETUP.EXE
  python3 "$ROOT/testing/tarnsetup/tarnpack.py" --code-page cp932 "$TARNSETUP" "$payload" "$setup" \
    >/dev/null || return 1
  touch -d "$SETUP_TIME" "$setup"
  printf 'not the installation'"'"'s\r\n' >"$(unix_of "$TOP")/KEEP.TXT"
  cp "$UNTARN" "$(unix_of "$APP_DIR")/UNTARN32.EXE" || return 1

  # The log in code page 932: each stamp's third field holds ポ, whose second byte is '|'.
  {
    printf '***  Installation Started 03/01/2024 10:00  ***\r\nTitle: %s\r\n' "$TITLE"
    printf 'Source: %s\\TARNSETUP.EXE | %s | %s\r\n' "$MEDIA" \
      "$(date -d "$SETUP_TIME" '+%m-%d-%Y | %H:%M:%S')" "$(stat -c %s "$setup")"
    printf 'Made Dir: %s\r\nMade Dir: %s\\表示\r\nMade Dir: %s\r\n' "$APP_DIR" "$APP_DIR" "$BESIDE"
    printf 'File Copy: %s\\UNTARN32.EXE\r\n' "$APP_DIR"
    for ((i = 0; i < ${#FILES[@]}; i += 2)); do
      printf 'File Copy: %s | 03-01-2024 | 10:00:00 | ポ 1.0 | %s\r\n' "${FILES[i]}" \
        "$(python3 -c 'import sys, zlib; d = sys.argv[1].encode(); print("%d | %08x" % (len(d), zlib.crc32(d)))' "${FILES[i + 1]}")"
    done
    printf 'RegDB Key: %s\r\nRegDB Val: ソ表ポ\r\nRegDB Name: ポ\r\nRegDB Root: 2\r\n' "$KEY"
  } | iconv -f UTF-8 -t CP932 >"$(unix_of "$APP_DIR")/INSTALL.LOG" || return 1
}

# prepare_prefix: a fresh prefix under code page 932 with the application installed.
prepare_prefix() {
  PREFIX=$WORK/prefix
  STOP=$WORK/stop
  rm -rf "$PREFIX"
  PREFIXES+=("$PREFIX")
  WINEPREFIX=$PREFIX timeout 300 "$WINE" wineboot -i >"$WORK/boot.log" 2>&1 || return 1
  WINEPREFIX=$PREFIX "$WINESERVER" -w
  local value
  for value in Decorated Managed; do
    WINEPREFIX=$PREFIX "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /d N /f \
      >/dev/null 2>&1
  done
  WINEPREFIX=$PREFIX "$WINE" reg add "HKLM\\$KEY" /v ポ /d ソ表ポ /f >/dev/null 2>&1
  make_installation
}

# reg_data NAME: the data of the key's value NAME (read from an export, which Wine writes
# in UTF-16 whatever the code page), or --none; --gone when the key itself is gone.
reg_data() {
  local out=$WORK/key.reg
  rm -f "$out"
  WINEPREFIX=$PREFIX timeout 60 "$WINE" reg export "HKLM\\$KEY" "$(win_path "$out")" /y \
    >/dev/null 2>&1
  [[ -f $out ]] || { echo --gone; return; }
  python3 - "$out" "$1" <<'PY'
import sys
text = open(sys.argv[1], "rb").read().decode("utf-16")
want = '"%s"=' % sys.argv[2]
for line in text.splitlines():
    if line.startswith(want):
        print(line[len(want):].strip('"'))
        break
else:
    print("--none")
PY
}

# What the installation program extracted, sorted, in UTF-8, one a line.
extracted() {
  tr -d '\r' <"$REPORT" 2>/dev/null | iconv -f CP932 -t UTF-8 | sed -n 's/^extracted: //p' |
    LC_ALL=C sort
}

# Every folder and file below a folder, relative to it, sorted.
tree_of() { (cd "$(unix_of "$1")" 2>/dev/null && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' '); }

expect_payload_file() {  # PATH CONTENTS WHAT: those bytes and the installed time
  local f
  f=$(unix_of "$1")
  if [[ ! -f $f ]]; then fail "$3: $1 missing"; return; fi
  expect_eq "$(cat "$f")" "$2" "$3: contents of $1"
  expect_eq "$(date -r "$f" '+%F %T')" "$INSTALLED" "$3: time of $1"
}

# ---------------------------------------------------------------------------------------

test_setup() {
  NAME=setup
  echo "-- tarnsetup alone"
  local list=$WORK/probe-list.txt report=$WORK/probe-report.txt crc
  crc=$(python3 -c 'import zlib; print("%08x" % zlib.crc32("ポ data, 1.0".encode()))')
  # 03-01-2024 10:00:30: DOS date 22625, time 20495.
  printf 'C:\\Probe\\表ソ\\ポ.DAT|22625|20495| %s | %s\r\n' "$(printf 'ポ data, 1.0' | wc -c)" "$crc" |
    iconv -f UTF-8 -t CP932 >"$list"
  rm -f "$report"
  TARNSETUP_REPORT=$(win_path "$report") WINEPREFIX=$PREFIX timeout 60 "$WINE" \
    "$(unix_of "$MEDIA")/TARNSETUP.EXE" "/X=$(win_path "$list")" >/dev/null 2>&1
  expect_eq "$?" 0 "setup: exit status"
  local f
  f=$(unix_of 'C:\Probe\表ソ\ポ.DAT')
  expect_eq "$(cat "$f" 2>/dev/null)" 'ポ data, 1.0' "setup: the listed file"
  expect_eq "$(date -r "$f" '+%F %T' 2>/dev/null)" '2024-03-01 10:00:30' "setup: its time"
  expect_eq "$(tree_of 'C:\Probe')" "./表ソ ./表ソ/ポ.DAT " "setup: what was written"
  rm -rf "$(unix_of 'C:\Probe')"
}

test_repair() {
  NAME=repair
  echo "-- repair through the wizard"
  printf 'ポ data, 1.1' >"$(unix_of "$APP_DIR\\ポ.DAT")"
  touch -d "$INSTALLED" "$(unix_of "$APP_DIR\\ポ.DAT")"
  rm -r "$(unix_of "$APP_DIR\\表示")" "$(unix_of "$BESIDE\\ソ.DAT")"
  WINEPREFIX=$PREFIX "$WINE" reg delete "HKLM\\$KEY" /v ポ /f >/dev/null 2>&1
  expect_eq "$(reg_data ポ)" --none "$NAME: the value deleted"
  local before
  before=$(date -r "$(unix_of "$APP_DIR\\表.TXT")" '+%F %T.%N')

  REPORT=$WORK/$NAME-report.txt
  rm -f "$REPORT"
  # The desktop process kept for the run (await_uninstaller ends the hold).
  WINEPREFIX=$PREFIX "$WINE" "$GUIDRIVER" hold 600000 >/dev/null 2>&1 &
  HOLD_PID=$!
  sleep 2
  TARNSETUP_REPORT=$(win_path "$REPORT") start_uninstaller "$APP_DIR\\INSTALL.LOG"
  local wizard
  if ! wizard=$(gd wait --title "$TITLE" --class '#32770'); then
    fail "$NAME: no wizard"
    return 1
  fi
  expect_eq "$(gd --window "$wizard" visible $RADIO_REPAIR)" 1 "$NAME: Repair offered"
  gd --window "$wizard" check $RADIO_REPAIR >/dev/null
  shot 01-method
  gd --window "$wizard" click $NEXT >/dev/null
  expect_eq "$(gd --window "$wizard" text $PAGE_TITLE)" "Perform Repair" "$NAME: final page"
  shot 02-final
  gd --window "$wizard" click $NEXT >/dev/null
  await_uninstaller

  expect_payload_file "$APP_DIR\\ポ.DAT" 'ポ data, 1.0' "$NAME"
  expect_payload_file "$APP_DIR\\表示\\能力.DAT" 'in a folder named with 表' "$NAME"
  expect_payload_file "$BESIDE\\ソ.DAT" 'beside the application' "$NAME"
  expect_eq "$(cat "$(unix_of "$APP_DIR\\表.TXT")")" 'the intact one' "$NAME: the intact file"
  expect_eq "$(date -r "$(unix_of "$APP_DIR\\表.TXT")" '+%F %T.%N')" "$before" \
    "$NAME: the intact file untouched"
  expect_eq "$(extracted | tr '\n' ';')" \
    "$BESIDE\\ソ.DAT;$APP_DIR\\ポ.DAT;$APP_DIR\\表示\\能力.DAT;" \
    "$NAME: files listed for the installation program"
  if grep -q -a -E '^(skipped|failed)' "$REPORT" 2>/dev/null; then
    fail "$NAME: the installation program skipped lines: $(grep -a -E '^(skipped|failed)' "$REPORT" | iconv -f CP932 -t UTF-8 | tr '\r\n' '  ')"
  else
    pass
  fi
  expect_eq "$(tree_of "$APP_DIR")" \
    "./INSTALL.LOG ./UNTARN32.EXE ./ポ.DAT ./表.TXT ./表示 ./表示/能力.DAT " \
    "$NAME: the application's folder"
  expect_eq "$(tree_of "$BESIDE")" "./ソ.DAT " "$NAME: the folder beside"
  expect_eq "$(reg_data ポ)" ソ表ポ "$NAME: the value written again"
}

test_uninstall() {
  NAME=uninstall
  echo "-- silent uninstall"
  run_uninstaller /S "$APP_DIR\\INSTALL.LOG"
  local i
  for ((i = 0; i < ${#FILES[@]}; i += 2)); do expect_gone "$PREFIX" "${FILES[i]}" "$NAME"; done
  expect_gone "$PREFIX" "$APP_DIR" "$NAME"
  expect_gone "$PREFIX" "$BESIDE" "$NAME"
  expect_eq "$(tree_of "$TOP")" "./KEEP.TXT " "$NAME: the folder the installation never made"
  expect_eq "$(reg_data ポ)" --gone "$NAME: the key"
  local parent=$WORK/parent.reg
  rm -f "$parent"
  WINEPREFIX=$PREFIX timeout 60 "$WINE" reg export 'HKLM\Software\表ソ' "$(win_path "$parent")" /y \
    >/dev/null 2>&1
  [[ ! -f $parent ]] && pass || fail "$NAME: HKLM\\Software\\表ソ left empty"
}

main() {
  require_built codepage932 "$UNTARN" "$GUIDRIVER" "$TARNSETUP" || return 1
  rm -rf "$SHOTS"
  mkdir -p "$SHOTS"
  # Every program of the scenario, wineboot included, runs under code page 932.
  local -x LOCPATH
  LOCPATH=$(japanese_locale) || { echo "codepage932: no ja_JP.UTF-8 locale" >&2; return 1; }
  local -x LC_ALL=ja_JP.UTF-8 2>/dev/null
  start_display || return 1
  prepare_prefix || { echo "codepage932: could not prepare the prefix" >&2; return 1; }

  local tests=(${CP932_TESTS:-setup repair uninstall})
  local t
  for t in "${tests[@]}"; do "test_$t" || FAILURES=$((FAILURES + 1)); done

  WINEPREFIX=$PREFIX "$WINESERVER" -k 2>/dev/null
  [[ ${CP932_KEEP:-0} == 1 ]] || rm -rf "$PREFIX"
  echo "codepage932: $CHECKS checks passed, $FAILURES failed; screenshots in $SHOTS"
  [[ $FAILURES -eq 0 ]]
}

main "$@"
