# Shared by the Wine end-to-end scripts (sourced, not run): the sample application of
# tests/data/e2e seeded into a throwaway prefix, the real UNTARN32.EXE run in it, and checks
# of the prefix afterwards. The sourcing script sets ROOT and WORK and sources
# scripts/wine_env.sh (Wine, the build and its programs) before it sources this.
#
# Checks count passes in CHECKS and failures in FAILURES; `fail` prints what went wrong.

DATA=${DATA:-$ROOT/tests/data/e2e}
APP_DIR='C:\Program Files\Tarn Sample'
PREFIXES=()
BACKGROUND=()  # ids of the processes this script started in the background
XVFB_PID=

cleanup() {
  local pid prefix
  for pid in "${BACKGROUND[@]}"; do kill "$pid" 2>/dev/null; done
  for prefix in "${PREFIXES[@]}"; do WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null; done
  stop_display
  return 0
}
trap cleanup EXIT

FAILURES=0
CHECKS=0
fail() { echo "  FAIL: $*"; FAILURES=$((FAILURES + 1)); }
pass() { CHECKS=$((CHECKS + 1)); }

# Shared by the GUI scripts (they set GUIDRIVER and SHOTS; NAME names the scenario).
# gd ARGS...: guidriver in the current prefix; its output without carriage returns, its
# complaints in $WORK/<scenario>-gd.log.
gd() {
  WINEPREFIX=$PREFIX timeout 120 "$WINE" "$GUIDRIVER" --timeout 30000 "$@" \
    2>>"$WORK/${NAME:-gui}-gd.log" | tr -d '\r'
  return "${PIPESTATUS[0]}"
}
# shot NAME: a screenshot of the whole display, $SHOTS/<scenario>-NAME.png.
shot() { import -window root "$SHOTS/${NAME:+$NAME-}$1.png" 2>/dev/null; }
expect_eq() {  # ACTUAL EXPECTED WHAT
  if [[ "$1" == "$2" ]]; then pass; else fail "$3: \"$1\", expected \"$2\""; fi
}

# The Unix path of a Windows path inside the prefix's C: drive.
unix_path() {
  local p=${2#[Cc]:\\}
  echo "$1/drive_c/${p//\\//}"
}
# A Windows path for a Unix path, through Wine's Z: drive.
win_path() { local p=$1; echo "Z:${p//\//\\}"; }

# Wine keeps the case a file was created with; find it without regard to case.
exists_ci() {
  local prefix=$1 path=$2 dir base
  local unix
  unix=$(unix_path "$prefix" "$path")
  dir=$(dirname "$unix")
  base=$(basename "$unix")
  [[ -d $dir ]] || return 1
  find "$dir" -maxdepth 1 -iname "$base" | grep -q .
}
file_ci() {
  local prefix=$1 path=$2 unix
  unix=$(unix_path "$prefix" "$path")
  find "$(dirname "$unix")" -maxdepth 1 -iname "$(basename "$unix")" 2>/dev/null | head -1
}

expect_gone() {
  if exists_ci "$1" "$2"; then fail "$3: $2 should be gone"; else pass; fi
}
expect_there() {
  if exists_ci "$1" "$2"; then pass; else fail "$3: $2 should be there"; fi
}
expect_contents() {
  local f
  f=$(file_ci "$1" "$2")
  if [[ -z $f ]]; then fail "$4: $2 missing, expected \"$3\""; return; fi
  if [[ "$(cat "$f")" == "$3" ]]; then pass; else fail "$4: $2 holds \"$(cat "$f")\", expected \"$3\""; fi
}
# expect_ini PREFIX FILE SECTION KEY VALUE|--none WHAT
expect_ini() {
  local f value
  f=$(file_ci "$1" "$2")
  value=$(tr -d '\r' <"$f" 2>/dev/null | awk -v s="[$3]" -v k="$4" '
      tolower($0) == tolower(s) { on = 1; next }
      /^\[/ { on = 0 }
      on && tolower(substr($0, 1, length(k) + 1)) == tolower(k "=") { print substr($0, length(k) + 2); found = 1 }
      END { if (!found) print "--none" }')
  if [[ "$value" == "$5" ]]; then pass; else fail "$6: [$3] $4 in $2 is \"$value\", expected \"$5\""; fi
}

# reg_value PREFIX KEY NAME: prints the data of a value, or --none.
reg_value() {
  local out
  out=$(WINEPREFIX=$1 timeout 60 "$WINE" reg query "$2" /v "$3" 2>/dev/null | tr -d '\r' |
        awk -v n="$3" 'tolower($1) == tolower(n) { $1 = ""; $2 = ""; sub(/^ +/, ""); print; found = 1 } END { if (!found) print "--none" }')
  echo "${out:---none}"
}
reg_key_exists() { WINEPREFIX=$1 timeout 60 "$WINE" reg query "$2" >/dev/null 2>&1; }
expect_reg() {
  local v
  v=$(reg_value "$1" "$2" "$3")
  if [[ "$v" == "$4" ]]; then pass; else fail "$5: $2 \"$3\" is \"$v\", expected \"$4\""; fi
}
expect_key() {  # PREFIX KEY yes|no WHAT
  if reg_key_exists "$1" "$2"; then
    [[ $3 == yes ]] && pass || fail "$4: key $2 should be gone"
  else
    [[ $3 == no ]] && pass || fail "$4: key $2 should be there"
  fi
}

source "$ROOT/scripts/display.sh"

# japanese_locale: compiles the ja_JP.UTF-8 locale into build/wine/locale once, so the
# machine need not have it, and prints that folder. Wine takes the ANSI code page from the
# Unix locale: a program started with LOCPATH=<the folder> LC_ALL=ja_JP.UTF-8 runs under
# code page 932.
japanese_locale() {
  local dir=$ROOT/build/wine/locale
  mkdir -p "$dir"
  if [[ ! -d $dir/ja_JP.UTF-8 ]] &&
    ! localedef -i ja_JP -f UTF-8 "$dir/ja_JP.UTF-8" >/dev/null 2>&1; then
    echo "the ja_JP.UTF-8 locale could not be made" >&2
    return 1
  fi
  echo "$dir"
}

# wait_for FILE SECONDS
wait_for() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    [[ -e $1 ]] && return 0
    sleep 0.1
  done
  return 1
}

# prepare NAME: a fresh prefix seeded with the sample application; leaves PREFIX, the
# stop file and the ids of the holder and the Program Manager stand-in.
prepare() {
  local name=$1
  PREFIX=$WORK/prefix-$name
  STOP=$WORK/$name.stop
  local ready=$WORK/$name.ready pm_ready=$WORK/$name.pm-ready
  PM_STATE=$WORK/$name-progman.txt
  rm -rf "$PREFIX" "$STOP" "$ready" "$pm_ready"
  mkdir -p "$WORK"
  PREFIXES+=("$PREFIX")
  if ! WINEPREFIX=$PREFIX timeout 300 "$WINE" wineboot -i >"$WORK/$name-boot.log" 2>&1; then
    echo "e2e: wineboot failed (see $WORK/$name-boot.log)" >&2
    return 1
  fi
  WINEPREFIX=$PREFIX "$WINESERVER" -w

  # Seed, then keep the in-use file open until the run is over.
  WINEPREFIX=$PREFIX "$WINE" "$TARNSEED" --hold --until "$(win_path "$STOP")" \
    --ready "$(win_path "$ready")" "$(win_path "$DATA/image.json")" \
    >"$WORK/$name-seed.log" 2>&1 &
  BACKGROUND+=($!)
  if ! wait_for "$ready" 120; then
    echo "e2e: tarnseed did not get ready (see $WORK/$name-seed.log)" >&2
    return 1
  fi

  local app
  app=$(unix_path "$PREFIX" "$APP_DIR")
  cp "$UNTARN" "$app/UNTARN32.EXE" && cp "$BUILD/e2e/E2ESELF.DLL" "$BUILD/e2e/E2ETOOL.EXE" "$app/" &&
    cp "$DATA/INSTALL.LOG" "$app/INSTALL.LOG" || return 1
  printf '[386Enh]\r\ndevice=*vmm\r\ndevice=C:\\Program Files\\Tarn Sample\\TSVXD.386\r\n' \
    >>"$PREFIX/drive_c/windows/system.ini"

  cp "$DATA/progman.txt" "$PM_STATE"
  WINEPREFIX=$PREFIX "$WINE" "$PROGMAN" "$(win_path "$PM_STATE")" --stop "$(win_path "$STOP")" \
    --ready "$(win_path "$pm_ready")" --timeout 280 --log "$(win_path "$WORK/$name-progman.log")" \
    >/dev/null 2>&1 &
  BACKGROUND+=($!)
  if ! wait_for "$pm_ready" 60; then
    echo "e2e: the Program Manager stand-in did not get ready" >&2
    return 1
  fi
}

# prefix_pids PATTERN: the Linux processes of this prefix's Windows programs (not another
# prefix's) whose command line matches PATTERN.
prefix_pids() {
  local pid
  for pid in $(pgrep -f "$1"); do
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$PREFIX" && echo "$pid"
  done
}

# start_uninstaller ARGS...: starts UNTARN32.EXE from the application directory in the
# background (UNTARN_PID); await_uninstaller waits for it, then lets the holder and the
# stand-in go and waits for every process of the prefix (the clean-up run and the restart
# program included) to end.
start_uninstaller() {
  local app
  app=$(unix_path "$PREFIX" "$APP_DIR")
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINE" "$app/UNTARN32.EXE" "$@" \
    >"$WORK/$NAME-run.log" 2>&1 &
  UNTARN_PID=$!
}
await_uninstaller() {
  wait "$UNTARN_PID"
  local status=$?
  # A window holder of a GUI test (HOLD_PID) has served its purpose.
  if [[ -n ${HOLD_PID:-} ]]; then
    kill "$HOLD_PID" 2>/dev/null
    HOLD_PID=
  fi
  # Taken at once: the clean-up run may restart the machine a second later.
  BUSY_AFTER_RUN=no
  [[ -n $(file_ci "$PREFIX" 'C:\Tarn Data\BUSY.DAT') ]] && BUSY_AFTER_RUN=yes
  [[ $status -eq 0 ]] && pass || fail "UNTARN32.EXE exit status $status"
  touch "$STOP"
  local pid
  for pid in "${BACKGROUND[@]}"; do wait "$pid" 2>/dev/null; done
  BACKGROUND=()
  WINEPREFIX=$PREFIX timeout "$WINE_TIMEOUT" "$WINESERVER" -w
}
# run_uninstaller ARGS...: both, for a run that needs nobody at the screen.
run_uninstaller() {
  start_uninstaller "$@"
  await_uninstaller
}

restart_prefix() {
  WINEPREFIX=$PREFIX timeout 300 "$WINE" wineboot -r >>"$WORK/$NAME-boot.log" 2>&1
  WINEPREFIX=$PREFIX timeout 300 "$WINESERVER" -w
}

check_mif() {  # WORDS...
  local f word
  f=$(file_ci "$PREFIX" 'C:\windows\TARNSMPL.MIF')
  if [[ -z $f ]]; then fail "status report C:\\windows\\TARNSMPL.MIF missing"; return; fi
  for word in "$@"; do
    grep -q -- "$word" "$f" && pass || fail "status report lacks \"$word\""
  done
}

SHARED='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
REPAIR='HKLM\Software\Tarn Solutions\Tarn Installation System\Repair\C:/Program Files/Tarn Sample/INSTALL.LOG'
