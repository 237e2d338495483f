// The machine a tarnlog command reads. Natively it is a simulated machine seeded from a
// machine image (or the simulated machine's default), and a host file can be put on it as
// the log; as a Windows program it is the real machine through the Win32 back-end.
#pragma once

#include <string>

struct ToolMachineOptions {
  const char* imagePath = nullptr;  // --machine IMAGE
  const char* logFrom = nullptr;    // --log-from HOSTFILE
  const char* logPath = nullptr;    // LOG, a path on the machine
};

// Installs the platform for the command. Returns 0, or 1 with the reason in *error.
int InstallToolMachine(const ToolMachineOptions& options, std::string* error);

// Installs the machine a plan runs on: always a simulated one. Natively the same machine as
// InstallToolMachine; on Windows a fresh simulated machine holding a copy of the real
// machine's state for everything the log names. Returns 0, or 1 with the reason.
int InstallPlanMachine(const ToolMachineOptions& options, std::string* error);

// A hint for a log that could not be opened, or empty (what to try next on this build).
std::string MissingLogHint(const ToolMachineOptions& options);
