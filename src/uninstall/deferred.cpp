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
#include "platform/platform.h"

namespace {

// Bounds the search for a free temporary name: the counter is 16-bit, so after this many
// tries every name has been tried once.
constexpr uint32_t kTempNameAttempts = 0x10000;

// Writes data, reporting whether every byte went.
bool WriteAll(FileHandle file, const char* data) {
  uint32_t length = static_cast<uint32_t>(strlen(data));
  return Sys().WriteBytes(file, data, length) == static_cast<int>(length);
}

// What the end of an existing WININIT.INI needs before a new entry can follow it.
struct WininitTail {
  bool unterminated = false;  // the last line has no line break
  bool inRename = false;      // the last section header is [rename]
};

// Reads the file through a handle of its own (the write handle may not allow reading).
// WININIT.INI is small: the system empties it at every start.
WininitTail ReadWininitTail(const char* path) {
  WininitTail tail;
  FileHandle file = Sys().OpenForRead(path);
  if (file == kNoFile) return tail;
  char block[4096];
  char line[16] = {};  // the start of the current line, enough to tell "[rename]"
  size_t lineLength = 0;
  char last = '\n';
  int got = 0;
  // A header line decides the section when it ends; the last line may end with the file.
  auto endLine = [&]() {
    if (lineLength > 0 && line[0] == '[') {
      tail.inRename = lineLength == 8 && EqualNoCase(line, "[rename]");
    }
    lineLength = 0;
    line[0] = '\0';
  };
  while ((got = Sys().ReadBytes(file, block, sizeof block)) > 0) {
    for (int i = 0; i < got; ++i) {
      char c = block[i];
      last = c;
      if (c == '\r' || c == '\n') {
        endLine();
      } else if (lineLength < sizeof line - 1) {
        line[lineLength++] = c;
        line[lineLength] = '\0';
      } else {
        ++lineLength;
      }
    }
  }
  endLine();
  Sys().CloseFile(file);
  tail.unterminated = last != '\n';
  return tail;
}

}  // namespace

void AppendWininitDeletion(const char* path) {
  char wininit[kPathSize] = {};
  // Only the Windows directory's WININIT.INI is read at the next start.
  if (Sys().WindowsDirectory(wininit, sizeof wininit) <= 0) return;
  wininit[sizeof wininit - 1] = '\0';
  EnsureTrailingBackslash(wininit, sizeof wininit);
  AppendText(wininit, sizeof wininit, "WININIT.INI");

  // The entry goes at the very end of the file. Whatever ends the file must not swallow
  // it: an unterminated last line is ended first (or both entries are spoiled), and a
  // section other than [rename] gets a [rename] header after it. The file may hold other
  // programs' work for the next start: it is never written over, only added to.
  WininitTail tail = ReadWininitTail(wininit);
  FileHandle file = Sys().OpenForWrite(wininit);
  if (file != kNoFile) {
    if (Sys().Seek(file, 0, kSeekEnd) < 0) {
      Sys().CloseFile(file);
      return;
    }
    if (tail.unterminated) WriteAll(file, "\r\n");
    if (!tail.inRename) WriteAll(file, "[rename]\r\n");
  } else {
    // A file that is there but would not open is not made anew.
    if (Sys().GetAttributes(wininit) != kNoAttributes) return;
    file = Sys().CreateTruncated(wininit);
    if (file == kNoFile) return;
    WriteAll(file, "[rename]\r\n");
  }
  char line[kPathSize + 8];
  snprintf(line, sizeof line, "NUL=%.255s\r\n", path);
  WriteAll(file, line);
  Sys().CloseFile(file);
}

void ScheduleDelete(const char* path) {
  gRun.rebootNeeded = true;
  char shortPath[kPathSize];
  CopyText(shortPath, sizeof shortPath, path);
  NormalizePath(shortPath, sizeof shortPath, false);

  if (gRun.platformKind == kPlatformNt) {
    Sys().MoveFileFlags(path, nullptr, kMoveDelayUntilReboot);
    return;
  }

  AppendWininitDeletion(shortPath);
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
  return Sys().WriteIniString("rename", shortTarget, shortTemporary, "WININIT.INI");
}
