// A snapshot of the installed platform's state for everything an install log names, as a
// machine image: the files and directories the log names with what lies beside and below
// them, the registry keys it names with their values, their parents' other contents and
// whole logged trees, the SharedDLLs counts, the Start Menu folders, the services, and the
// platform's version and directories. Seeding a simulated machine with it lets a plan run
// the uninstall against a faithful copy without touching the machine itself.
#pragma once

#include <string>

#include "platform/image/machine_image.h"
#include "platform/platform.h"

// Loads logPath on the installed platform (as the uninstaller does) and copies what it names
// into *image. Returns the loader's result (0 loaded; 1 refused, with only the platform part
// and the log file itself copied).
int SnapshotForLog(const char* logPath, MachineImage* image);

// The machine a plan's copy was made of (on Windows the real one), or null when the plan runs
// on the machine itself. The copy leaves out what the log does not name (the installation
// program on its media) and the contents of large files; the checks against logged stamps
// and the program's attributes read them on this machine instead, only reading.
void RememberSnapshotOriginal(Platform* original);
Platform* SnapshotOriginal();

// Installs the original machine for the life of the object (nothing when there is none),
// and the machine installed before it again afterwards.
class OnSnapshotOriginal {
 public:
  OnSnapshotOriginal() : before_(&Sys()) {
    if (SnapshotOriginal() != nullptr) InstallPlatform(SnapshotOriginal());
  }
  ~OnSnapshotOriginal() { InstallPlatform(before_); }
  OnSnapshotOriginal(const OnSnapshotOriginal&) = delete;
  OnSnapshotOriginal& operator=(const OnSnapshotOriginal&) = delete;

 private:
  Platform* before_;
};
