// Self-removal and restart. The decisions, in the order the end of a run takes them:
// whether the temporary copy is started as a clean-up run (only when the program's own file
// was to be removed and the run was not cancelled), which of the two processes restarts
// Windows (the clean-up run when it was handed the restart with "/z1"), and what the
// clean-up run removes. Everything here fails silently: leftovers stay until a later
// restart, and the process still ends normally.
#include "run/self_removal.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/fixed_text.h"
#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/platform.h"
#include "run/end_run.h"
#include "uninstall/file_removal.h"

namespace {

constexpr uint32_t kRestartResourceType = 300;
constexpr uint32_t kRestartResourceId = 30202;
constexpr char kRestartProgramName[] = "_MSRSTRT.EXE";
// WinExec results above this mean the program started.
constexpr int kWinExecStarted = 31;
// How long the clean-up run gives the run that started it to end.
constexpr int kCleanupWaitMs = 1000;

struct SelfRemovalState {
  bool cleanupStarted = false;  // FinishSelfRemoval started the clean-up run
  PathText restartProgram;      // where WriteRestartProgram wrote the restart program
};

SelfRemovalState gSelfRemoval;

// The Windows directory, a backslash unless it ends in one, and name. False when the
// result would not fit: a cut path would name another file.
bool WindowsDirectoryFile(const char* name, char* out, size_t size) {
  int length = Sys().WindowsDirectory(out, static_cast<uint32_t>(size));
  if (length <= 0 || static_cast<size_t>(length) >= size) return false;
  size_t used = strlen(out);
  bool slash = EndsWithBackslash(out);
  size_t needed = used + (slash ? 0 : 1) + strlen(name);
  if (needed >= size) return false;
  if (!slash) AppendText(out, size, "\\");
  AppendText(out, size, name);
  return true;
}

bool HasBlank(const char* text) { return strchr(text, ' ') != nullptr; }

// Starts the restart program written earlier, or writes it first.
void StartRestartProgram() {
  if (gSelfRemoval.restartProgram.Empty()) {
    char path[256];
    if (WriteRestartProgram(path, sizeof path) != 0) return;
  }
  char commandLine[kPathSize + 2];
  if (BuildCommandLine(commandLine, sizeof commandLine, gSelfRemoval.restartProgram.c_str(),
                       nullptr)) {
    Sys().ExecProgram(commandLine, kSwShow);
  }
}

}  // namespace

void ResetSelfRemoval() { gSelfRemoval = SelfRemovalState(); }

int WriteRestartProgram(char* path, size_t size) {
  if (path != nullptr && size > 0) path[0] = '\0';
  Platform& sys = Sys();
  const void* data = nullptr;
  uint32_t length = 0;
  if (sys.ResourceBytes(kRestartResourceType, kRestartResourceId, &data, &length) != 0 ||
      data == nullptr || length == 0) {
    return 1;
  }
  char target[256];
  if (!WindowsDirectoryFile(kRestartProgramName, target, sizeof target)) return 1;
  FileHandle file = sys.CreateTruncated(target);
  if (file == kNoFile) return 1;
  int written = sys.WriteBytes(file, data, length);
  sys.CloseFile(file);
  if (written != static_cast<int>(length)) {
    // A cut program must never be started.
    sys.RemoveFile(target);
    return 1;
  }
  gSelfRemoval.restartProgram.Set(target);
  if (path != nullptr) CopyText(path, size, target);
  return 0;
}

void FinishSelfRemoval() {
  Platform& sys = Sys();
  gSelfRemoval.cleanupStarted = false;

  if (gRun.inPlaceRun) {
    // No copy was made: this run deletes its own files (which fails harmlessly while the
    // program's image is still mapped).
    if (gRun.cancelled) return;
    char own[256];
    int length = sys.ModuleFileName(own, sizeof own);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof own) return;
    sys.RemoveFile(own);
    if (length >= 3) {
      memcpy(own + length - 3, "INI", 3);
      sys.RemoveFile(own);
    }
    return;
  }

  char own[256];
  int length = sys.ModuleFileName(own, sizeof own);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof own) own[0] = '\0';
  NormalizePath(own, sizeof own, false);

  bool startCleanup = gRun.selfDeletePending && !gRun.cancelled;
  const char* restartFlag = "";
  bool restartPassedOn = false;
  if (gRun.rebootNeeded) {
    if (gRun.platformKind == kPlatformOther) {
      restartFlag = "1";
    } else if (startCleanup) {
      // The clean-up run restarts after its deletions; this run must not.
      restartFlag = "1";
      restartPassedOn = true;
      gRun.rebootNeeded = false;
    }
  }

  char appDirectory[256];
  CopyText(appDirectory, sizeof appDirectory, gRun.appDirectory.c_str());
  NormalizePath(appDirectory, sizeof appDirectory, false);
  if (appDirectory[0] != '\0') EnsureTrailingBackslash(appDirectory, sizeof appDirectory);

  if (!startCleanup) return;  // the copy goes at the next restart, as scheduled at start

  // The clean-up run splits its two paths at the first blank, so a path that has a blank
  // even in short form (no 8.3 names on its volume) cannot be handed over: deleting by a
  // path cut at that blank could hit another file.
  bool passable =
      !gRun.tempCopyPath.Empty() && own[0] != '\0' && !HasBlank(own) && !HasBlank(appDirectory);
  if (passable) {
    char arguments[768];
    snprintf(arguments, sizeof arguments, "/z%s %s %s", restartFlag, own, appDirectory);
    char commandLine[1024];
    gSelfRemoval.cleanupStarted =
        BuildCommandLine(commandLine, sizeof commandLine, gRun.tempCopyPath.c_str(), arguments) &&
        sys.ExecProgram(commandLine, kSwShow) > kWinExecStarted;
  }
  // Without a clean-up run nobody else would restart.
  if (!gSelfRemoval.cleanupStarted && restartPassedOn) gRun.rebootNeeded = true;
}

void RestartIfNeeded() {
  if (!gRun.rebootNeeded) return;
  if (gRun.platformKind == kPlatformNt) {
    StartRestartProgram();
  } else if (!gSelfRemoval.cleanupStarted) {
    Sys().RestartWindows();
  }
}

void RunCleanup(const char* arguments) {
  // Gives the run that started this one time to end and release its program file.
  Ui().PumpMessages(kCleanupWaitMs);

  char text[256];
  CopyText(text, sizeof text, arguments != nullptr ? arguments : "");
  char* program = text;
  char* appDirectory = nullptr;
  char* blank = strchr(text, ' ');
  if (blank != nullptr) {
    *blank = '\0';
    appDirectory = blank + 1;
  }

  Platform& sys = Sys();
  if (program[0] != '\0' && !EndsWithBackslash(program)) sys.RemoveFile(program);
  if (CutAtLastBackslash(program)) RemoveDirectoryTree(program, false);
  if (appDirectory != nullptr && appDirectory[0] != '\0') {
    DropTrailingBackslash(appDirectory);
    if (appDirectory[0] != '\0') RemoveDirectoryTree(appDirectory, false);
  }
  FlushShellNotifications();

  EndRun();

  if (gRun.rebootNeeded) {
    if (gRun.platformKind == kPlatformOther) {
      sys.RestartWindows();
    } else {
      StartRestartProgram();
    }
  }
}
