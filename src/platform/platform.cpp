// The active platform and user-interface back-ends.
#include "platform/platform.h"

#include <cstdlib>

namespace {
Platform* gPlatform = nullptr;
UserInterface* gUi = nullptr;
}  // namespace

// Using the seam before a back-end is installed is a programming error; stop at once
// rather than act on a machine nobody chose.
Platform& Sys() {
  if (gPlatform == nullptr) abort();
  return *gPlatform;
}

UserInterface& Ui() {
  if (gUi == nullptr) abort();
  return *gUi;
}

void InstallPlatform(Platform* platform) { gPlatform = platform; }
void InstallUserInterface(UserInterface* ui) { gUi = ui; }
