// Fuzz target: any bytes as INSTALL.LOG on a fresh simulated machine, loaded as the
// uninstaller loads it. The machine has a removable A: drive, the new shell's profile
// folders and a SharedDLLs key, so that the per-user, removable and overwrite paths of the
// loader are reachable; the refusals answer through the scripted user.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SimMachine machine;
  SimUi ui;
  InstallPlatform(&machine);
  InstallUserInterface(&ui);
  MachineImage image;
  image.platform.drives = {{'A', kDriveRemovable}, {'C', kDriveFixed}};
  image.platform.admin = size % 2 == 0;
  machine.ApplyImage(image);
  machine.RegSetRaw("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                    "Start Menu", kRegSz, std::string("C:\\Profiles\\joe\\Start Menu", 27));
  machine.RegSetRaw("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                    "C:\\APP\\S.DLL", kRegDword, std::string("\x01\0\0\0", 4));
  machine.WriteFile("C:\\APP\\A.DLL", "x");
  machine.WriteFile("C:\\WINDOWS\\SYSTEM32\\S.DLL", "x");
  machine.WriteFile("C:\\APP\\INSTALL.LOG", std::string(reinterpret_cast<const char*>(data), size));
  LoadTextRules();
  ResetRunWideState();
  gRun.newShell = true;
  gRun.platformKind = kPlatformNt;
  ui.progressWindowEnabled = true;
  gRun.mainWindow = ui.CreateMainWindow("Uninstall", false);
  gRun.progressWindow = ui.CreateProgressWindow();

  char appDirectory[256];
  LogLoader("C:\\APP\\INSTALL.LOG", appDirectory);
  ArenaRelease();
  return 0;
}
