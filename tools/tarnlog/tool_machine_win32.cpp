// The Windows tool's machines: the real one, through the Win32 back-end, for dump; for plan
// a simulated copy of the real machine's state for everything the log names, so that the
// uninstall can run in full without changing anything (the real machine stays at hand for
// the stamp checks and the installation program's attributes, which only read). Seeding
// from an image belongs to the native build (and to tarnseed), so --machine and --log-from are
// refused here rather than silently ignored.
#include "platform/sim/sim_machine.h"
#include "platform/win32/win32_platform.h"
#include "tarnlog/machine_snapshot.h"
#include "tarnlog/tool_machine.h"
#include "ui/console_ui.h"

int InstallToolMachine(const ToolMachineOptions& options, std::string* error) {
  if (options.imagePath != nullptr || options.logFrom != nullptr) {
    *error = "--machine and --log-from belong to the native build; this one reads this machine";
    return 1;
  }
  static Win32Platform platform;
  InstallPlatform(&platform);
  return 0;
}

std::string MissingLogHint(const ToolMachineOptions& options) { return std::string(); }

int InstallPlanMachine(const ToolMachineOptions& options, std::string* error) {
  if (InstallToolMachine(options, error) != 0) return 1;
  // The snapshot loads the log on the real machine first, to learn what it names; a
  // refusal there is reported by the plan's own load on the copy.
  static ConsoleUi ui;
  InstallUserInterface(&ui);
  MachineImage image;
  SnapshotForLog(options.logPath, &image);
  static SimMachine copy;
  std::string reason;
  if (copy.ApplyImage(image, &reason) != 0) {
    *error = "the copy of this machine could not be made: " + reason;
    return 1;
  }
  // What the copy leaves out (the installation program, large files' contents) is read
  // here when a plan compares it with the log.
  RememberSnapshotOriginal(&Sys());
  InstallPlatform(&copy);
  return 0;
}
