// The run flow after start-up: load the install log, take the method from the switches or
// the wizard, carry out the uninstall bracketed by a System Restore point, tell running
// programs that settings changed, ask about the restart, write the status report, and end
// the run with self-removal and restart.
#pragma once

#include <cstddef>

// Runs from the start-up state (RunStartup returned kStartupRunFlow) to the end of the
// run. The process exits with code 0 when it returns.
void RunFlow();

// The name one run of a log holds while it runs (ClaimRunLock): from the log's long path,
// upper case, hashed (a lock's name may hold no backslash), so that two copies of the
// program started on one log, by any of its names, find each other.
void RunLockName(const char* logPath, char* name, size_t size);
