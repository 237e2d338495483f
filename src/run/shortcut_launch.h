// The shortcut launch (/W n): an application's shortcuts may start this program instead of
// the application. It checks the application's repair record, a key the installation wrote
// that lists registry entries and files the application needs, offers a repair when
// something is missing, and starts the application with the target, arguments, working
// directory and show state recorded for shortcut n.
#pragma once

#include <cstddef>

#include "base/repair_record.h"
#include "platform/platform.h"


enum ShortcutCheckResult : int {
  kShortcutEnd = 0,     // the application was started (or nothing could be); end the run
  kShortcutRepair = 1,  // the user asked for a repair: automatic and startAtFinish are set
};

// The damage check of the log's repair record and its question. With kShortcutRepair the
// record stays open for LaunchAfterRepair; otherwise it is closed again.
int CheckAndLaunch(const char* logPath);

// Starts the application of shortcut gRun.launchShortcut from the "Icons\<n>" subkey of an
// open repair record; shows the system's error text when it cannot be started.
void LaunchShortcut(RegHandle record);

// The end of a repair run started from a shortcut: launches the application and closes the
// record that CheckAndLaunch left open. Does nothing when no record is open.
void LaunchAfterRepair();

// The /W run from the point the start-up branched off: the check, and either the end of the
// program (kShortcutEnd, the application started when it could be) or the rest of the
// start-up for a repair (kShortcutRepair: the caller runs the run flow, which launches the
// application at its end).
int RunShortcutLaunch();

// Closes the record if one is open, without launching (a reset between runs).
void ForgetRepairRecord();
