// A snapshot of the installed platform's state for everything an install log names, as a
// machine image: the files and directories the log names with what lies beside and below
// them, the registry keys it names with their values, their parents' other contents and
// whole logged trees, the SharedDLLs counts, the Start Menu folders, the services, and the
// platform's version and directories. Seeding a simulated machine with it lets a plan run
// the uninstall against a faithful copy without touching the machine itself.
#pragma once

#include <string>

#include "platform/image/machine_image.h"

// Loads logPath on the installed platform (as the uninstaller does) and copies what it names
// into *image. Returns the loader's result (0 loaded; 1 refused, with only the platform part
// and the log file itself copied).
int SnapshotForLog(const char* logPath, MachineImage* image);
