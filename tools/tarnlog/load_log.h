// Loading a log the way the uninstaller does, for the tools: a fresh run state and item
// store, the platform flags that start-up takes from the version, the code page rules, and
// then the loader itself with the application directory going where start-up keeps it.
#pragma once

#include <string>

// Returns the loader's result: 0 loaded, 1 refused (the user interface was told why).
int LoadLogAsUninstaller(const char* logPath);

// Start-up's part of a run, without the load: a fresh run state and item store, the
// version flags, the program's own path, the Program Files directory (the protected
// directories depend on it) and the command line "switches LOG". The caller loads
// gRun.logPath next, once the user interface it wants is installed.
void StartRunAsProgram(const std::string& switches, const char* logPath);

// Everything a tool's run keeps, put back: the program's run-wide state (ResetRunWideState)
// and the machine a plan's copy was made of.
void ResetToolState();
