#!/usr/bin/env bash
# End to end under Wine: the real UNTARN32.EXE (x86_64) removes a sample application from a
# throwaway prefix, and in a second prefix rolls back the application's last installation.
#
# Each prefix is seeded by tarnseed from tests/data/e2e/image.json (files, registry, shared
# counts, a service, a file held in use); the uninstaller, the self-registering library and
# program of testing/e2e and the install log are copied into the application directory; a
# [386Enh] device line is added to SYSTEM.INI; the Program Manager stand-in serves the
# application's group. Then `/S` (or `/S /R`) runs, the clean-up run of the temporary copy
# is waited for, the prefix is checked, `wineboot -r` carries out the restart-time work,
# and the prefix is checked again.
#
# Environment: UNTARN_WIN64_BUILD (default build/win64), WINE_TIMEOUT seconds per program
# (default 300), E2E_KEEP=1 keeps the prefixes for a look afterwards.
set -u

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$ROOT/scripts/wine_env.sh"
WORK=$ROOT/build/wine/e2e

source "$ROOT/tests/wine/e2e_lib.sh"

test_uninstall() {
  NAME=uninstall
  echo "-- /S: uninstall the sample application"
  prepare uninstall || return 1
  run_uninstaller /S "$APP_DIR\\INSTALL.LOG"
  local p=$PREFIX w=uninstall

  # The file held in use outlives the run and waits for the restart. Here the run restarts
  # by itself (its own file was listed, so the clean-up run restarts through the restart
  # program), and Wine's restart carries the scheduled deletion out; when that restart has
  # not happened yet, the deletion must be pending in the registry as the ended wineserver
  # saved it (under Wine 8 the next Wine session already carries pending renames out).
  if [[ $BUSY_AFTER_RUN == yes ]]; then pass; else fail "$w: BUSY.DAT was deleted while in use"; fi
  if [[ -z $(file_ci "$p" 'C:\Tarn Data\BUSY.DAT') ]]; then
    pass
  elif grep -i '^"PendingFileRenameOperations"' "$p/system.reg" | grep -qi 'Tarn Data\\\\BUSY.DAT'; then
    pass
  else
    fail "$w: BUSY.DAT neither deleted at the restart nor pending in the registry"
  fi
  # Files of the application and the directories it made.
  for f in SAMPLE.EXE README.TXT CORE.DLL PLUGIN.DLL E2ESELF.DLL E2ETOOL.EXE TSVXD.386 \
           INSTALL.LOG DOCS DATA; do
    expect_gone "$p" "$APP_DIR\\$f" "$w"
  done
  # The clean-up run of the temporary copy removed the program and the emptied directory.
  expect_gone "$p" "$APP_DIR\\UNTARN32.EXE" "$w (clean-up run)"
  expect_gone "$p" "$APP_DIR" "$w (clean-up run)"
  expect_gone "$p" 'C:\windows\system32\TSPRIV.DLL' "$w"
  expect_gone "$p" 'C:\windows\TSNEW.INI' "$w"
  # Shared files: still used by others, or the last user in a silent run: they stay.
  expect_there "$p" 'C:\windows\system32\TSSHARED.DLL' "$w"
  expect_there "$p" 'C:\windows\system32\TSLAST.DLL' "$w"
  expect_reg "$p" "$SHARED" 'C:\windows\system32\TSSHARED.DLL' 0x2 "$w"
  expect_reg "$p" "$SHARED" 'C:\windows\system32\TSLAST.DLL' --none "$w"
  # Backups are not the application's files.
  expect_contents "$p" 'C:\Tarn Backup\CORE.DLL' 'MZ core 1.0' "$w"
  # INI entries: the old value back, the created entry gone, others untouched.
  expect_ini "$p" 'C:\windows\TSOLD.INI' Options Level 3 "$w"
  expect_ini "$p" 'C:\windows\TSOLD.INI' Options Mode --none "$w"
  expect_ini "$p" 'C:\windows\TSOLD.INI' Options Keep yes "$w"
  if grep -q '^;device=C:\\Program Files\\Tarn Sample\\TSVXD.386' "$p/drive_c/windows/system.ini" &&
     grep -q '^device=\*vmm' "$p/drive_c/windows/system.ini"; then pass
  else fail "$w: the device line of TSVXD.386 was not commented out (or another line was)"; fi
  # Registry.
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Installed --none "$w"
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Upgraded --none "$w"
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Color red "$w"
  expect_key "$p" 'HKLM\Software\Tarn Sample\Tree' no "$w"
  expect_reg "$p" 'HKLM\Software\Tarn Keep' Stays yes "$w"
  expect_key "$p" "$REPAIR" no "$w (repair record)"
  # Self-registration undone before the files went.
  expect_reg "$p" 'HKLM\Software\Tarn E2E' Library --none "$w (library unregistered)"
  expect_reg "$p" 'HKLM\Software\Tarn E2E' Program --none "$w (program unregistered)"
  # The program the log runs at uninstall time, with its logged argument.
  if grep -q '/cleanup' "$p/drive_c/e2e/ran.txt" 2>/dev/null; then pass
  else fail "$w: the logged program did not run with /cleanup"; fi
  # The service.
  if WINEPREFIX=$p timeout 60 "$WINE" sc query TarnSampleSvc >/dev/null 2>&1; then
    fail "$w: service TarnSampleSvc still exists"
  else pass; fi
  # Program Manager: the application's group went, the other one stayed.
  if grep -q $'^G\tTarn Sample' "$PM_STATE"; then fail "$w: group Tarn Sample still there"; else pass; fi
  if grep -q $'^G\tAccessories' "$PM_STATE"; then pass; else fail "$w: group Accessories was removed"; fi
  check_mif "Success" "Uninstall" "Tarn Solutions" "E2E-0001"
  restart_prefix
  expect_gone "$p" 'C:\Tarn Data\BUSY.DAT' "$w (after the restart)"
}

test_rollback() {
  NAME=rollback
  echo "-- /S /R: roll back the last installation"
  prepare rollback || return 1
  run_uninstaller /S /R "$APP_DIR\\INSTALL.LOG"
  local p=$PREFIX w=rollback

  expect_contents "$p" "$APP_DIR\\CORE.DLL" 'MZ core 1.0' "$w (backup put back)"
  expect_gone "$p" 'C:\Tarn Backup\CORE.DLL' "$w (backup moved back)"
  expect_gone "$p" "$APP_DIR\\PLUGIN.DLL" "$w"
  for f in SAMPLE.EXE README.TXT E2ESELF.DLL E2ETOOL.EXE UNTARN32.EXE DOCS DATA; do
    expect_there "$p" "$APP_DIR\\$f" "$w (first installation)"
  done
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Upgraded --none "$w"
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Installed 1 "$w"
  expect_reg "$p" 'HKLM\Software\Tarn Sample' Color green "$w"
  expect_key "$p" 'HKLM\Software\Tarn Sample\Tree' yes "$w"
  expect_reg "$p" 'HKLM\Software\Tarn E2E' Library registered "$w"
  expect_ini "$p" 'C:\windows\TSOLD.INI' Options Level 9 "$w"
  expect_ini "$p" 'C:\windows\TSOLD.INI' Options Mode fast "$w"
  expect_key "$p" "$REPAIR" yes "$w (repair record kept)"
  # The log is cut back to its first section.
  local log
  log=$(file_ci "$p" "$APP_DIR\\INSTALL.LOG")
  local first
  first=$(awk 'BEGIN { RS = "\r\n" } /^\*\*\* / { n++ } n == 2 { exit } { printf "%s\r\n", $0 }' \
          "$DATA/INSTALL.LOG" | wc -c)
  if [[ -n $log && $(stat -c %s "$log") -eq $first ]] && cmp -s -n "$first" "$log" "$DATA/INSTALL.LOG"; then
    pass
  else
    fail "$w: INSTALL.LOG is not cut back to its first section ($first bytes)"
  fi
  if [[ -e $p/drive_c/e2e/ran.txt ]]; then fail "$w: the first section's program ran"; else pass; fi
  # The second section logged the service, the tree, SAMPLE.EXE and Installed again; the
  # first installation set them up, so the rollback keeps them.
  if WINEPREFIX=$p timeout 60 "$WINE" sc query TarnSampleSvc >/dev/null 2>&1; then
    pass
  else
    fail "$w: service TarnSampleSvc of the first installation removed"
  fi
  if grep -q $'^G\tTarn Sample' "$PM_STATE"; then pass; else fail "$w: group of section 1 removed"; fi
  check_mif "Success" "Rollback"
}

main() {
  local f
  require_built e2e "$UNTARN" "$TARNSEED" "$PROGMAN" || return 1
  build_e2e_tools || { echo "e2e: could not build testing/e2e" >&2; return 1; }
  start_display || return 1

  test_uninstall || FAILURES=$((FAILURES + 1))
  test_rollback || FAILURES=$((FAILURES + 1))

  if [[ ${E2E_KEEP:-0} != 1 ]]; then
    for f in "${PREFIXES[@]}"; do WINEPREFIX=$f "$WINESERVER" -k 2>/dev/null; rm -rf "$f"; done
    PREFIXES=()
  fi
  echo "e2e_uninstall: $CHECKS checks passed, $FAILURES failed"
  [[ $FAILURES -eq 0 ]]
}

main "$@"
