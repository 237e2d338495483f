// EndRun (end_run.h).
#include "run/end_run.h"

#include "base/run_state.h"
#include "platform/platform.h"

namespace {

// SHChangeNotify: a directory's contents changed; the item is an ANSI path, and the shell
// is not waited for.
constexpr int32_t kShellUpdateDir = 0x1000;
constexpr uint32_t kShellPathNoWait = 0x2001;

}  // namespace

void EndRun() {
  UserInterface& ui = Ui();
  // The next run of the log may start now (a process that ends gives the name up anyway).
  Sys().ReleaseRunLock();
  if (gRun.progressWindow != 0) {
    ui.Destroy(gRun.progressWindow);
    gRun.progressWindow = 0;
  }
  if (gRun.wizardWindow != 0) {
    ui.Destroy(gRun.wizardWindow);
    gRun.wizardWindow = 0;
  }
  if (gRun.mainWindow != 0) {
    ui.Destroy(gRun.mainWindow);
    gRun.mainWindow = 0;
    // Destroying the main window posts the quit message; let every message before it run.
    ui.PumpUntilQuit();
  }
  if (gRun.shellLibrary != 0) {
    Platform& sys = Sys();
    if (gRun.hasShellNotify) {
      char windowsDir[256] = {};
      sys.WindowsDirectory(windowsDir, sizeof windowsDir);
      sys.CallShellChangeNotify(gRun.shellLibrary, kShellUpdateDir, kShellPathNoWait, windowsDir);
    }
    sys.FreeLib(gRun.shellLibrary);
    gRun.shellLibrary = 0;
    gRun.hasShellNotify = false;
  }
}
