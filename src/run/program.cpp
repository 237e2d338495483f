// RunProgram (program.h).
#include "run/program.h"

#include "base/run_state.h"
#include "run/run_flow.h"
#include "run/self_removal.h"
#include "run/shortcut_launch.h"
#include "run/startup.h"

int RunProgram(const char* commandLine) {
  switch (RunStartup(commandLine)) {
    case kStartupRunFlow: RunFlow(); break;
    case kStartupCleanupRun: RunCleanup(gRun.cleanupArguments.c_str()); break;
    case kStartupShortcutLaunch:
      if (RunShortcutLaunch() == kShortcutRepair) RunFlow();
      break;
    default: break;
  }
  return gRun.exitCode;
}
