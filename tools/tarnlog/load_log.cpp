// LoadLogAsUninstaller (load_log.h).
#include "tarnlog/load_log.h"

#include "base/text.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "platform/platform.h"
#include "run/run_state.h"

int LoadLogAsUninstaller(const char* logPath) {
  ResetRunState();
  ResetItemStore();
  LoadTextRules();
  // The two start-up flags the loader reads: they decide the SharedDLLs lookup, the Start
  // Menu roots and the administrator test, so a tool that left them at their defaults
  // would classify records differently from the program on the same machine.
  VersionInfo version = Sys().Version();
  gRun.platformKind = version.platformId == 2 ? kPlatformNt : kPlatformOther;
  gRun.newShell = version.major >= 4;
  gRun.logPath.Set(logPath);
  return LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data());
}
