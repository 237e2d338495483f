// LoadLogAsUninstaller and StartRunAsProgram (load_log.h).
#include "tarnlog/load_log.h"

#include <cstring>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "platform/platform.h"
#include "run/command_line.h"
#include "run/run_reset.h"
#include "run/startup.h"
#include "tarnlog/machine_snapshot.h"

int LoadLogAsUninstaller(const char* logPath) {
  ResetRunWideState();
  LoadTextRules();
  TakeVersionFlags();
  gRun.logPath.Set(logPath);
  return LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data());
}

void StartRunAsProgram(const std::string& switches, const char* logPath) {
  Platform& machine = Sys();
  ResetRunWideState();
  LoadTextRules();
  TakeVersionFlags();
  char path[256] = {};
  machine.ModuleFileName(path, sizeof path);
  gRun.modulePath.Set(path);
  RegHandle key = 0;
  if (machine.RegOpen(RegistryRoot(2), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", kKeyRead,
                      &key) == 0) {
    char value[261] = {};
    uint32_t type = 0, size = 260;
    if (machine.RegQuery(key, "ProgramFilesDir", &type, value, &size) == 0) {
      value[size < 260 ? size : 260] = '\0';
      DropTrailingBackslash(value);
      gRun.programFilesDir.Set(value);
    }
    machine.RegClose(key);
  }
  ParseCommandLine((switches + " \"" + logPath + "\"").c_str());
}

void ResetToolState() {
  ResetRunWideState();
  RememberSnapshotOriginal(nullptr);
}
