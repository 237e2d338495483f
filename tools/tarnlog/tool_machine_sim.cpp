// The native tool's machine: a simulated machine seeded from the image, with the host file
// of --log-from written to the log's path on it.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "tarnlog/tool_machine.h"

namespace {

int ReadHostFile(const char* path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return 1;
  std::ostringstream text;
  text << in.rdbuf();
  *bytes = text.str();
  return 0;
}

}  // namespace

int InstallToolMachine(const ToolMachineOptions& options, std::string* error) {
  // One machine for the life of the process: the seam keeps a pointer to it.
  static SimMachine machine;
  if (options.imagePath != nullptr) {
    std::string json;
    if (ReadHostFile(options.imagePath, &json) != 0) {
      *error = std::string("cannot read the machine image ") + options.imagePath;
      return 1;
    }
    MachineImage image;
    std::string reason;
    if (ReadMachineImage(json, &image, &reason) != 0) {
      *error = std::string(options.imagePath) + ": " + reason;
      return 1;
    }
    if (machine.ApplyImage(image, &reason) != 0) {
      *error = std::string(options.imagePath) + ": " + reason;
      return 1;
    }
  }
  if (options.logFrom != nullptr) {
    std::string bytes;
    if (ReadHostFile(options.logFrom, &bytes) != 0) {
      *error = std::string("cannot read ") + options.logFrom;
      return 1;
    }
    if (machine.WriteFile(options.logPath, bytes) != 0) {
      *error = std::string("cannot put the log at ") + options.logPath + " on the simulated machine";
      return 1;
    }
  }
  InstallPlatform(&machine);
  return 0;
}

std::string MissingLogHint(const ToolMachineOptions& options) {
  if (options.logFrom != nullptr) return std::string();
  FILE* host = fopen(options.logPath, "rb");
  if (host == nullptr) return std::string();
  fclose(host);
  return std::string("tarnlog: ") + options.logPath +
         " is a file here, but LOG names a file on the simulated machine; "
         "use --log-from HOSTFILE to put a host file at a path there, e.g.\n"
         "  tarnlog dump --log-from " + options.logPath + " \"C:\\Program Files\\App\\INSTALL.LOG\"";
}

int InstallPlanMachine(const ToolMachineOptions& options, std::string* error) {
  return InstallToolMachine(options, error);
}
