// Fuzz target: any bytes as INSTALL.LOG on a simulated machine, loaded as the uninstaller
// loads it. The machine has a removable A: drive, the new shell's profile folders and a
// SharedDLLs key, so that the per-user, removable and overwrite paths of the loader are
// reachable; the refusals answer through the scripted user. The input's length (odd or
// even) decides whether the user is an administrator.
//
// The machine is built once: building one per input cost more than the load itself, and
// every line of its set-up counted as coverage of each run, which slows the fuzzer's own
// bookkeeping too. Sharing it is sound only because a load reads the machine and changes
// nothing on it: the machine is reached through a watch that aborts on any operation that
// would change it, and each load must close every file and key it opened.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"

namespace {

constexpr char kLog[] = "C:\\APP\\INSTALL.LOG";

// The operations that change a machine (or start something on it).
constexpr const char* kChanging[] = {"SetAttributes",
                                     "RemoveFile",
                                     "CopyFileTo",
                                     "MoveFileFlags",
                                     "MakeDirectory",
                                     "RemoveEmptyDirectory",
                                     "OpenForWrite",
                                     "CreateTruncated",
                                     "WriteBytes",
                                     "SetLength",
                                     "SetCurrentDir",
                                     "TempFileName",
                                     "WriteIniString",
                                     "RegCreate",
                                     "RegSet",
                                     "RegRemoveValue",
                                     "RegRemoveKey",
                                     "ServiceCreate",
                                     "ServiceStop",
                                     "ServiceDelete",
                                     "StartProcess",
                                     "ExecProgram",
                                     "ShellOpen",
                                     "CallEntry",
                                     "CallEntryWithPointer",
                                     "CallRestorePoint",
                                     "CallInstallStatusMif",
                                     "CallShellChangeNotify",
                                     "CreateShellLink",
                                     "DdeExecuteText",
                                     "BroadcastSettingsChange",
                                     "RestartWindows"};

constexpr bool SameName(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

constexpr bool Changes(const char* name) {
  for (const char* changing : kChanging)
    if (SameName(changing, name)) return true;
  return false;
}

// Every name above must be an operation of the seam, or a renamed one would go unwatched.
constexpr const char* kOperations[] = {
#define PLATFORM_OP(result, Name, parameters, arguments) #Name,
#include "platform/platform_operations.def"
};

constexpr bool IsOperation(const char* name) {
  for (const char* operation : kOperations)
    if (SameName(operation, name)) return true;
  return false;
}

constexpr bool AllAreOperations() {
  for (const char* changing : kChanging)
    if (!IsOperation(changing)) return false;
  return true;
}
static_assert(AllAreOperations(), "kChanging names an operation the seam does not have");
static_assert(Changes("RemoveFile") && !Changes("GetAttributes") && !Changes("RegOpen"));

class ReadOnlyWatch final : public Platform {
 public:
  explicit ReadOnlyWatch(Platform& inner) : inner_(inner) {}

#define PLATFORM_OP(result, Name, parameters, arguments) \
  result Name parameters override {                      \
    if constexpr (Changes(#Name)) abort();               \
    return inner_.Name arguments;                        \
  }
#include "platform/platform_operations.def"

 private:
  Platform& inner_;
};

struct Machine {
  SimMachine sim;
  ReadOnlyWatch watch{sim};
  Machine() {
    MachineImage image;
    image.platform.drives = {{'A', kDriveRemovable}, {'C', kDriveFixed}};
    sim.ApplyImage(image);
    sim.RegSetRaw("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                  "Start Menu", kRegSz, std::string("C:\\Profiles\\joe\\Start Menu", 27));
    sim.RegSetRaw("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                  "C:\\APP\\S.DLL", kRegDword, std::string("\x01\0\0\0", 4));
    sim.WriteFile("C:\\APP\\A.DLL", "x");
    sim.WriteFile("C:\\WINDOWS\\SYSTEM32\\S.DLL", "x");
    InstallPlatform(&watch);
    LoadTextRules();
  }
};

void Check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Machine machine;
  SimUi ui;
  InstallUserInterface(&ui);
  machine.sim.settings.admin = size % 2 == 0;
  machine.sim.tickCount = 0;
  machine.sim.WriteFile(kLog, std::string(reinterpret_cast<const char*>(data), size));
  ResetRunWideState();
  gRun.newShell = true;
  gRun.platformKind = kPlatformNt;
  ui.progressWindowEnabled = true;
  gRun.mainWindow = ui.CreateMainWindow("Uninstall", false);
  gRun.progressWindow = ui.CreateProgressWindow();

  char appDirectory[256];
  LogLoader(kLog, appDirectory);
  Check(machine.sim.OpenRegistryHandles() == 0);
  Check(machine.sim.Find(kLog)->openHandles == 0);
  ArenaRelease();
  InstallUserInterface(nullptr);
  return 0;
}
