// Work left for the next restart. The Windows NT family carries out delay-until-reboot
// moves; the other platforms read the [rename] section of WININIT.INI at their next
// start, where "NUL=path" deletes a file and "target=source" moves source onto target.
// Both read short (8.3) names only on the other platforms, so every path written into
// WININIT.INI is converted first.
#include "uninstall/deferred.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "platform/platform.h"
#include "run/run_state.h"
#include "uninstall/file_removal.h"
#include "uninstall/path_helpers.h"

namespace {

constexpr size_t kPathSize = 260;

// Bounds the search for a free temporary name: the counter is 16-bit, so after this many
// tries every name has been tried once.
constexpr uint32_t kTempNameAttempts = 0x10000;

// Writes data, reporting whether every byte went.
bool WriteAll(FileHandle file, const char* data) {
  uint32_t length = static_cast<uint32_t>(strlen(data));
  return Sys().WriteBytes(file, data, length) == static_cast<int>(length);
}

}  // namespace

void ScheduleDelete(const char* path) {
  gRun.rebootNeeded = true;
  char shortPath[kPathSize];
  CopyText(shortPath, sizeof shortPath, path);
  NormalizePath(shortPath, sizeof shortPath, false);

  if (gRun.platformKind == kPlatformNt) {
    Sys().MoveFileFlags(path, nullptr, kMoveDelayUntilReboot);
    return;
  }

  char wininit[kPathSize] = {};
  Sys().WindowsDirectory(wininit, sizeof wininit);
  wininit[sizeof wininit - 1] = '\0';
  size_t length = strlen(wininit);
  if (length == 0 || wininit[length - 1] != '\\') AppendText(wininit, sizeof wininit, "\\");
  AppendText(wininit, sizeof wininit, "WININIT.INI");

  // The entry goes at the very end of the file, after whatever section comes last; a new
  // file starts with the section header.
  FileHandle file = Sys().OpenForWrite(wininit);
  if (file != kNoFile) {
    Sys().Seek(file, 0, kSeekEnd);
  } else {
    file = Sys().CreateTruncated(wininit);
    if (file == kNoFile) return;
    WriteAll(file, "[rename]\r\n");
  }
  char line[kPathSize + 8];
  snprintf(line, sizeof line, "NUL=%s\r\n", shortPath);
  WriteAll(file, line);
  Sys().CloseFile(file);
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

void ScheduleReplace(const char* backup, const char* target) {
  if (Sys().CopyFileTo(backup, target, false) == 0) {
    RemoveFileAndCompanions(backup);
    return;
  }

  char temporary[kPathSize];
  UniqueTempName(target, temporary, sizeof temporary);
  if (temporary[0] == '\0' || Sys().CopyFileTo(backup, temporary, false) != 0) {
    // Neither copy could be made: the installed file goes, and the backup copy stays so
    // that nothing of the original is lost.
    RemoveFileAndCompanions(target);
    return;
  }

  gRun.rebootNeeded = true;
  RemoveFileAndCompanions(backup);
  char shortTemporary[kPathSize];
  char shortTarget[kPathSize];
  CopyText(shortTemporary, sizeof shortTemporary, temporary);
  CopyText(shortTarget, sizeof shortTarget, target);
  NormalizePath(shortTemporary, sizeof shortTemporary, false);
  NormalizePath(shortTarget, sizeof shortTarget, false);

  if (gRun.platformKind == kPlatformNt) {
    Sys().MoveFileFlags(target, nullptr, kMoveDelayUntilReboot);
    Sys().MoveFileFlags(shortTemporary, target, kMoveDelayUntilReboot);
  } else {
    Sys().WriteIniString("rename", shortTarget, shortTemporary, "WININIT.INI");
  }
}
