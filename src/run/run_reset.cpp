// ResetRunWideState: every run-wide reset in one place.
#include "run/run_reset.h"

#include "base/run_state.h"
#include "log/item_store.h"
#include "log/log_reader.h"
#include "log/run_journal.h"
#include "run/self_removal.h"
#include "run/shortcut_launch.h"
#include "ui/progress_display.h"
#include "uninstall/file_removal.h"
#include "uninstall/ini_guard.h"
#include "uninstall/progman.h"
#include "uninstall/shared_dlls.h"

void ResetRunWideState() {
  ResetRunState();
  ResetItemStore();
  ResetLogReader();
  ResetSelfRemoval();
  ForgetSharedCounts();
  gProgman = ProgmanState();
  ForgetShellNotifications();
  ForgetRepairRecord();
  ResetProgressDisplay();
  ResetRunJournal();
  ForgetIniGuards();
}
