// The shortcut launch, in order: the repair record's key name from the log path, the check
// of every entry of the record (registry entries and files), the one question when
// something is missing, the deletion of the check entries when the user wants no more
// checks, and the start of the application through the shell with the error text of the
// system when it cannot be started.
#include "run/shortcut_launch.h"

#include <cstdio>
#include <cstring>

#include "base/message_text.h"
#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/platform.h"
#include "resource.h"
#include "run/end_run.h"
#include "run/startup.h"

namespace {

constexpr int kRootLocalMachine = 2;
// The name buffer of the enumeration: entries are a root, a key path and a value name, or
// a file path, and the installation keeps them well below this.
constexpr uint32_t kEntryNameSize = 520;
// The registry's own limit on a value name, so that every value can be named and deleted.
constexpr uint32_t kValueNameLimit = 16384;
// Each launch value is read into a path field.
constexpr uint32_t kLaunchValueSize = 260;
// ShellExecute reports success with a value above this.
constexpr int kShellLastFailure = 32;
constexpr size_t kErrorTextSize = 256;

// The record kept open from CheckAndLaunch to the launch at the end of a repair run.
RegHandle gRepairRecord = 0;

// A registry entry: a root number, an optional backslash, a key path, two backslashes and a
// value name (empty: the key alone is checked). Without the two backslashes it names
// nothing to check.
bool IsRegistryEntryPresent(const char* entry) {
  int root = ReadDecimal(entry);
  const char* keyPath = entry;
  while (*keyPath >= '0' && *keyPath <= '9') ++keyPath;
  if (*keyPath == '\\') ++keyPath;

  const char* pair = nullptr;
  for (const char* p = keyPath; *p != '\0'; p = NextChar(p)) {
    if (p[0] == '\\' && p[1] == '\\') {
      pair = p;
      break;
    }
  }
  if (pair == nullptr) return true;

  RegHandle rootKey = RegistryRoot(root);
  if (rootKey == 0) return false;
  // The whole key path is kept: a cut path would check some other key.
  char path[kEntryNameSize + 1];
  size_t length = static_cast<size_t>(pair - keyPath);
  if (length >= sizeof path) return false;
  memcpy(path, keyPath, length);
  path[length] = '\0';

  Platform& sys = Sys();
  RegHandle key = 0;
  if (sys.RegOpen(rootKey, path, kKeyRead, &key) != 0) return false;
  const char* valueName = pair + 2;
  bool present = true;
  if (*valueName != '\0') {
    uint32_t type = 0;
    uint32_t size = 0;
    present = sys.RegQuery(key, valueName, &type, nullptr, &size) == 0;
  }
  sys.RegClose(key);
  return present;
}

bool IsEntryPresent(const char* name, uint32_t type) {
  switch (type) {
    case kRegSz: return IsRegistryEntryPresent(name);
    case kRegDword: return FileExists(name);
    default: return true;  // entries of other kinds check nothing
  }
}

// Every entry is checked even after the first missing one, so that the question comes once.
bool IsApplicationDamaged(RegHandle record) {
  bool damaged = false;
  char name[kEntryNameSize + 1];
  for (uint32_t index = 0;; ++index) {
    uint32_t size = kEntryNameSize;
    uint32_t type = 0;
    int result = Sys().RegEnumValueAt(record, index, name, &size, &type);
    // A name too long to read checks nothing, but must not hide the entries after it.
    if (result == kErrMoreData) continue;
    if (result != 0) break;
    name[kEntryNameSize] = '\0';
    if (!IsEntryPresent(name, type)) damaged = true;
  }
  return damaged;
}

// The user wants no more checks: every value of the record goes, through a handle that may
// set values. A value that resists ends the deletion rather than looping on it.
void DeleteCheckEntries(const char* recordName) {
  Platform& sys = Sys();
  RegHandle writable = 0;
  if (sys.RegOpen(RegistryRoot(kRootLocalMachine), recordName, kKeyQueryValue | kKeySetValue,
                  &writable) != 0) {
    return;
  }
  static char name[kValueNameLimit + 1];
  for (;;) {
    uint32_t size = kValueNameLimit;
    uint32_t type = 0;
    if (sys.RegEnumValueAt(writable, 0, name, &size, &type) != 0) break;
    name[kValueNameLimit] = '\0';
    if (sys.RegRemoveValue(writable, name) != 0) break;
  }
  sys.RegClose(writable);
}

// A launch value as text; a missing or unreadable value counts as empty.
void ReadLaunchValue(RegHandle key, const char* name, char (&text)[kLaunchValueSize + 1]) {
  uint32_t type = 0;
  uint32_t size = kLaunchValueSize;
  if (Sys().RegQuery(key, name, &type, text, &size) != 0) {
    text[0] = '\0';
    return;
  }
  // Registry strings need not carry their terminator.
  text[size < kLaunchValueSize ? size : kLaunchValueSize] = '\0';
}

// ShellExecute does not always set the thread's error code; its own result then says why,
// in values that mostly coincide with system error codes.
uint32_t LaunchErrorCode(int shellResult) {
  uint32_t code = Sys().LastError();
  if (code != 0) return code;
  switch (shellResult) {
    case 0: return 8;  // out of memory or resources: ERROR_NOT_ENOUGH_MEMORY
    case 2:            // SE_ERR_FNF
    case 3:            // SE_ERR_PNF
    case 5:            // SE_ERR_ACCESSDENIED
    case 8:            // SE_ERR_OOM
    case 11: return static_cast<uint32_t>(shellResult);  // ERROR_BAD_FORMAT
    case 26: return 32;                                  // SE_ERR_SHARE: ERROR_SHARING_VIOLATION
    case 27:                                             // SE_ERR_ASSOCINCOMPLETE
    case 31: return 1155;                                // SE_ERR_NOASSOC: ERROR_NO_ASSOCIATION
    case 28:                                             // SE_ERR_DDETIMEOUT
    case 29:                                             // SE_ERR_DDEFAIL
    case 30: return 1156;                                // SE_ERR_DDEBUSY: ERROR_DDE_FAIL
    case 32: return 1157;                                // SE_ERR_DLLNOTFOUND: ERROR_DLL_NOT_FOUND
    default: return kErrGeneric;
  }
}

// The shell library taken by the platform probe; a shortcut launch changed nothing the
// shell must hear of.
void ReleaseShellLibrary() {
  if (gRun.shellLibrary != 0) Sys().FreeLib(gRun.shellLibrary);
  gRun.shellLibrary = 0;
  gRun.hasShellNotify = false;
}

}  // namespace

int CheckAndLaunch(const char* logPath) {
  // The shortcut may carry the short form of the path; the record is named by the long one.
  char path[kPathSize];
  CopyText(path, sizeof path, logPath);
  NormalizePath(path, sizeof path, true);
  char recordName[kRepairRecordNameSize];
  if (BuildRepairRecordName(path, recordName, sizeof recordName) != 0) return kShortcutEnd;

  Platform& sys = Sys();
  RegHandle record = 0;
  if (sys.RegOpen(RegistryRoot(kRootLocalMachine), recordName, kKeyRead, &record) != 0) {
    return kShortcutEnd;  // no record: nothing to check, nothing known to start
  }

  if (IsApplicationDamaged(record)) {
    char text[512];
    char caption[256];
    MessageText(IDS_DAMAGED_QUESTION, text, sizeof text);
    MessageText(IDS_REPAIR_FINAL_TITLE, caption, sizeof caption);
    switch (Ui().AskMessage(0, text, caption, kMbYesNoCancel)) {
      case kIdYes:
        // The run goes on as an automatic repair and launches at its end.
        gRun.automatic = true;
        gRun.startAtFinish = true;
        gRepairRecord = record;
        return kShortcutRepair;
      case kIdCancel: DeleteCheckEntries(recordName); break;
      default: break;  // No: start it as it is
    }
  }

  LaunchShortcut(record);
  sys.RegClose(record);
  return kShortcutEnd;
}

void LaunchShortcut(RegHandle record) {
  Platform& sys = Sys();
  char subkey[32];
  snprintf(subkey, sizeof subkey, "Icons\\%d", gRun.launchShortcut);
  RegHandle icon = 0;
  if (sys.RegOpen(record, subkey, kKeyRead, &icon) != 0) return;
  char target[kLaunchValueSize + 1];
  char arguments[kLaunchValueSize + 1];
  char directory[kLaunchValueSize + 1];
  char show[kLaunchValueSize + 1];
  ReadLaunchValue(icon, "Path", target);
  ReadLaunchValue(icon, "Arguments", arguments);
  ReadLaunchValue(icon, "WorkingDir", directory);
  ReadLaunchValue(icon, "ShowWindow", show);
  sys.RegClose(icon);

  // Empty arguments are no arguments, and an empty directory is none, not "".
  int result = sys.ShellOpen(target, arguments[0] != '\0' ? arguments : nullptr,
                             directory[0] != '\0' ? directory : nullptr, ReadDecimal(show));
  if (result > kShellLastFailure) return;

  char text[kErrorTextSize] = {};
  sys.SystemErrorText(LaunchErrorCode(result), text, sizeof text);
  text[sizeof text - 1] = '\0';
  Ui().AskMessage(0, text, target, kMbOk);
}

void LaunchAfterRepair() {
  if (gRepairRecord == 0) return;
  LaunchShortcut(gRepairRecord);
  ForgetRepairRecord();
}

int RunShortcutLaunch() {
  if (CheckAndLaunch(gRun.logPath.c_str()) != kShortcutRepair) {
    ReleaseShellLibrary();
    return kShortcutEnd;
  }
  // The run flow launches the application at its very end.
  if (ContinueStartup() == kStartupRunFlow) return kShortcutRepair;
  // The rest of the start-up could not make the run's windows: no repair, but the user
  // still asked for the application.
  EndRun();
  LaunchAfterRepair();
  return kShortcutEnd;
}

void ForgetRepairRecord() {
  if (gRepairRecord != 0) Sys().RegClose(gRepairRecord);
  gRepairRecord = 0;
}
