// Work left for the next restart. The Windows NT family carries out delay-until-reboot
// moves; the other platforms read the [rename] section of WININIT.INI at their next
// start, where "NUL=path" deletes a file and "target=source" moves source onto target.
// Both read short (8.3) names only on the other platforms, so every path written into
// WININIT.INI is converted first.
#include "uninstall/deferred.h"

#include <cstdio>
#include <cstring>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "engine/restart_deletion.h"
#include "platform/platform.h"

namespace {

// Bounds the search for a free temporary name: the counter is 16-bit, so after this many
// tries every name has been tried once.
constexpr uint32_t kTempNameAttempts = 0x10000;

}  // namespace

void ScheduleDelete(const char* path) {
  gRun.rebootNeeded = true;
  DeleteAtNextRestart(path);
}

void UniqueTempName(const char* target, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  char candidate[kPathSize];
  CopyText(candidate, sizeof candidate, target);
  char* name = FileNamePart(candidate);
  const size_t directoryLength = static_cast<size_t>(name - candidate);
  // "~KTUxxxx.TMP" and its terminator.
  if (directoryLength + 13 > sizeof candidate || directoryLength + 13 > size) return;

  for (uint32_t attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    snprintf(name, sizeof candidate - directoryLength, "~KTU%04x.TMP",
             static_cast<unsigned>(gRun.tempNameCounter));
    ++gRun.tempNameCounter;
    if (!FileExists(candidate)) {
      CopyText(out, size, candidate);
      return;
    }
  }
  // Every name is taken: out stays empty and the caller treats it as a failed copy.
}

int ScheduleReplaceAtRestart(const char* temporary, const char* target) {
  gRun.rebootNeeded = true;
  char shortTemporary[kPathSize];
  char shortTarget[kPathSize];
  CopyText(shortTemporary, sizeof shortTemporary, temporary);
  CopyText(shortTarget, sizeof shortTarget, target);
  NormalizePath(shortTemporary, sizeof shortTemporary, false);
  NormalizePath(shortTarget, sizeof shortTarget, false);

  if (gRun.platformKind == kPlatformNt) {
    // The move onto the target waits for the target's deletion, which must come first.
    int result = Sys().MoveFileFlags(target, nullptr, kMoveDelayUntilReboot);
    if (result != 0) return result;
    return Sys().MoveFileFlags(shortTemporary, target, kMoveDelayUntilReboot);
  }
  return AppendWininitEntry(shortTarget, shortTemporary) ? 0 : 1;
}
