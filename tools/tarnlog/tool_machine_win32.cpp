// The Windows tool's machine: the real one, through the Win32 back-end. Seeding belongs to
// the native build (and to tarnseed), so an image or a host log is refused here rather
// than silently ignored.
#include "platform/win32/win32_platform.h"
#include "tarnlog/tool_machine.h"

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
