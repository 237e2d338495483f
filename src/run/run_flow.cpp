// The run flow, in order: loading the log, the method from the switches, the wizard and
// its wait loop, the System Restore bracket around the work, the uninstall itself, the
// settings broadcast, the restart question, the status report, and the end of the run
// (windows, shell refresh, restart program, self-removal, arena, restart).
#include "run/run_flow.h"

#include <cstdio>

#include "base/message_text.h"
#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "log/run_journal.h"
#include "platform/platform.h"
#include "repair/repair_driver.h"
#include "resource.h"
#include "run/end_run.h"
#include "run/self_removal.h"
#include "run/shortcut_launch.h"
#include "status/status_mif.h"
#include "uninstall/uninstall_driver.h"

namespace {

// System Restore: event and point types of the restore point records.
constexpr uint32_t kBeginSystemChange = 100;
constexpr uint32_t kEndSystemChange = 101;
constexpr uint32_t kApplicationInstall = 0;
constexpr uint32_t kCancelledOperation = 13;

struct RestorePoint {
  LibHandle library = 0;
  bool begun = false;
  int64_t sequenceNumber = 0;
  char description[64] = {};
};

// The method fixed by the switches; without them the wizard's method page decides.
void ChooseMethodFromSwitches() {
  if (gRun.automatic) {
    gRun.uninstallMode = kModeAutomatic;
    gRun.wizardPage = 11;
  }
  if (gRun.startAtFinish) {
    gRun.wizardPage = 11;
    gRun.uninstallMode = gRun.launchShortcut != 0 ? kModeRepair : kModeAutomatic;
  }
}

// Shows the wizard and waits for the user. Returns false when the run must end without any
// work and without a report: the user's choices are needed and no wizard can ask for them.
bool ShowWizardAndWait() {
  UserInterface& ui = Ui();
  if (!gRun.launchShortcut && gRun.progressWindow != 0) {
    ui.Destroy(gRun.progressWindow);
    gRun.progressWindow = 0;
  }
  if (gRun.mainWindow != 0) ui.Enable(gRun.mainWindow, false);
  WindowHandle owner =
      (gRun.mainWindow != 0 && ui.IsVisible(gRun.mainWindow)) ? gRun.mainWindow : 0;
  gRun.wizardWindow = ui.CreateWizard(owner);
  if (gRun.automatic) return true;  // no waiting; the window only shows the progress
  if (gRun.wizardWindow == 0) {
    // The interactive wizard arrives with the dialogs work. Until then a run that needs
    // the user's method, selections or confirmation cannot go on: nothing may act as if
    // the user had answered.
    return false;
  }
  // The wizard's handlers set the flags while messages are dispatched. Every wake-up looks
  // at the queue: a look spared here would leave a click queued until the next message
  // came, the animation's tick as like as not.
  while (!gRun.wizardFinished && !gRun.cancelled) {
    ui.PumpMessages(0);
    if (gRun.wizardFinished || gRun.cancelled) break;
    ui.WaitForMessage();
  }
  return true;
}

void BeginRestorePoint(RestorePoint* point) {
  Platform& sys = Sys();
  CopyText(point->description, sizeof point->description, "Uninstall ");
  AppendText(point->description, sizeof point->description, gRun.appTitle.c_str());
  point->library = sys.LoadSystemLib("SFC.DLL");
  if (point->library == 0 || !sys.HasEntry(point->library, "SRSetRestorePoint")) return;
  RestorePointRequest request = {};
  request.eventType = kBeginSystemChange;
  request.pointType = kApplicationInstall;
  request.sequenceNumber = 0;
  CopyText(request.description, sizeof request.description, point->description);
  RestorePointStatus status = {};
  int32_t result = 0;
  if (sys.CallRestorePoint(point->library, request, &status, &result) != 0 || result == 0) {
    return;  // the work runs without a restore point
  }
  point->begun = true;
  point->sequenceNumber = status.sequenceNumber;
}

void EndRestorePoint(RestorePoint* point) {
  Platform& sys = Sys();
  if (point->begun) {
    RestorePointRequest request = {};
    request.eventType = kEndSystemChange;
    // A cancelled uninstall leaves the system half changed: System Restore keeps the
    // point as one to go back to.
    request.pointType = gRun.cancelled ? kCancelledOperation : kApplicationInstall;
    request.sequenceNumber = point->sequenceNumber;
    CopyText(request.description, sizeof request.description, point->description);
    RestorePointStatus status = {};
    int32_t result = 0;
    sys.CallRestorePoint(point->library, request, &status, &result);
  }
  if (point->library != 0) sys.FreeLib(point->library);
  point->library = 0;
}

// Files in use were scheduled for the next restart; the user may postpone it. A silent
// run keeps the restart without asking.
void AskRestart() {
  if (!gRun.rebootNeeded || gRun.silent) return;
  char text[512];
  char caption[256];
  if (!gRun.rebootText.Empty()) {
    CopyText(text, sizeof text, gRun.rebootText.c_str());
  } else {
    MessageText(IDS_REBOOT_QUESTION, text, sizeof text);
  }
  if (!gRun.rebootCaption.Empty()) {
    CopyText(caption, sizeof caption, gRun.rebootCaption.c_str());
  } else {
    MessageText(IDS_UNINSTALL_CAPTION, caption, sizeof caption);
  }
  if (Ui().AskMessage(gRun.wizardWindow, text, caption, kMbOkCancel) == kIdCancel) {
    gRun.rebootNeeded = false;
  }
}

// The choosing, working and reporting states of a run whose log was accepted. Returns
// false when the run ends without a status report.
bool RunLoadedLog() {
  ChooseMethodFromSwitches();

  if (!gRun.silent && !ShowWizardAndWait()) return false;

  if (!gRun.cancelled) {
    // No directory of the application may stay in use by this process.
    Sys().SetCurrentDir("\\");

    RestorePoint point;
    if (gRun.restorePointWanted) BeginRestorePoint(&point);

    bool repair =
        gRun.uninstallMode == kModeRepair || (gRun.launchShortcut != 0 && gRun.repairAvailable);
    if (repair) {
      RepairDriver();
    } else {
      UninstallDriver(gRun.logPath.c_str());
    }

    Sys().BroadcastSettingsChange();
    if (point.library != 0) EndRestorePoint(&point);
  }

  AskRestart();
  if (!gRun.silent && gRun.wizardWindow != 0) {
    Ui().Destroy(gRun.wizardWindow);
    gRun.wizardWindow = 0;
  }
  return true;
}

void Tell(int textId, const char* argument) {
  if (gRun.silent) return;
  char format[1024];
  MessageText(textId, format, sizeof format);
  char text[1024];
  const char* arguments[] = {argument != nullptr ? argument : ""};
  FillText(text, sizeof text, format, arguments, 1);
  char caption[256];
  MessageText(IDS_PROGRAM_TITLE, caption, sizeof caption);
  Ui().AskMessage(gRun.mainWindow, text, caption, kMbOk);
}

// Two runs of one log must never work side by side: the second says so and changes nothing.
bool ClaimTheLog(const char* logPath) {
  char name[64];
  RunLockName(logPath, name, sizeof name);
  if (Sys().ClaimRunLock(name) != kErrAlreadyExists) return true;
  Tell(IDS_ANOTHER_RUN, nullptr);
  gRun.exitCode = kExitAnotherRun;
  return false;
}

// Reads what an interrupted run of the log left; false when the run must not go on.
bool ReadTheJournal(const char* logPath) {
  JournalOpen found = OpenRunJournal(logPath);
  if (found != JournalOpen::kNewerVersion && found != JournalOpen::kUnreadable) return true;
  char journal[kPathSize];
  JournalPathFor(logPath, journal, sizeof journal);
  Tell(IDS_JOURNAL_UNREADABLE, journal);
  gRun.exitCode = kExitJournalUnreadable;
  return false;
}

}  // namespace

void RunLockName(const char* logPath, char* name, size_t size) {
  char path[kPathSize];
  CopyText(path, sizeof path, logPath);
  NormalizePath(path, sizeof path, true);
  uint64_t hash = 14695981039346656037u;
  for (const char* p = path; *p != '\0'; ++p) {
    hash = (hash ^ gTextRules.upper[static_cast<uint8_t>(*p)]) * 1099511628211u;
  }
  snprintf(name, size, "TarnUninstall-%016llx", static_cast<unsigned long long>(hash));
}

void RunFlow() {
  const char* logPath = gRun.logPath.c_str();
  if (!gRun.logPath.Empty() && ClaimTheLog(logPath) && ReadTheJournal(logPath)) {
    // An interrupted run that had done its work left only its end: the log and the journal
    // to cut or delete and the folders that held them.
    if (!(JournalResumed() && IsWorkDone(nullptr))) {
      Ui().WaitCursor(true);
      int refused = LogLoader(logPath, gRun.appDirectory.data());
      Ui().WaitCursor(false);
      if (refused == 0 && RunLoadedLog()) WriteStatusMif();
    } else if (JournalLogUnchanged()) {
      // The log is cut only after the status report is written: while it is whole, the
      // interrupted run may have ended before the report, which is written now.
      if (LogLoader(logPath, gRun.appDirectory.data()) == 0) WriteStatusMif();
    }
    FinishUninstall(logPath);
  }

  EndRun();
  if (gRun.rebootNeeded && gRun.platformKind == kPlatformNt) {
    char restartProgram[256];
    WriteRestartProgram(restartProgram, sizeof restartProgram);
  }
  FinishSelfRemoval();
  ArenaRelease();
  RestartIfNeeded();
  // A repair asked for at a shortcut (/W) starts the application at the end, whether the
  // repair completed or was cancelled.
  if (gRun.launchShortcut != 0) LaunchAfterRepair();
}
