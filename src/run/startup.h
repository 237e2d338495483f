// The start-up of the uninstaller: the platform probe, the program's own paths, the
// command line, the temporary copy of the program, the display settings, the main and the
// initializing window, the CRC-32 table, the Program Files directory and the install log to
// process. It ends by saying which of the three ways the run goes on.
#pragma once

#include <cstdint>

enum StartupResult : int {
  kStartupEnd = 0,             // end the program now (exit code 0), nothing else to do
  kStartupRunFlow = 1,         // go on with the run flow (RunFlow), which loads gRun.logPath
  kStartupCleanupRun = 2,      // this process is a clean-up run of gRun.cleanupArguments
  kStartupShortcutLaunch = 3,  // /W: the shortcut launcher runs now (see RunStartup)
};

// Steps from the platform probe to the command line. Returns kStartupShortcutLaunch when
// the line asked for a shortcut launch: the launcher then either ends the program or sets
// automatic and startAtFinish and calls ContinueStartup for the rest. Otherwise it goes on
// with ContinueStartup itself and returns its result.
int RunStartup(const char* commandLine);

// The steps after the shortcut launcher: display settings, windows, CRC table, texts, the
// Program Files directory, the clean-up hand-over and finding the log.
int ContinueStartup();

// The two flags start-up takes from the platform's version: the NT family or not, and the
// new shell (4.0 and later). The loader reads them (SharedDLLs, the Start Menu roots, the
// administrator test), so tools and benchmarks that load a log take them the same way.
void TakeVersionFlags();

