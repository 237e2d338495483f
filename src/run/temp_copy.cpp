// ScheduleTempCopyDeletion: the restart-time deletion of the temporary copy.
#include "run/temp_copy.h"

#include "base/run_state.h"
#include "platform/platform.h"
#include "uninstall/deferred.h"

void ScheduleTempCopyDeletion(const char* path) {
  if (gRun.platformKind == kPlatformNt) {
    Sys().MoveFileFlags(path, nullptr, kMoveDelayUntilReboot);
    return;
  }

  AppendWininitDeletion(path);
}
