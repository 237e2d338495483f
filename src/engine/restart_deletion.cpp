// Deletions at the next restart (restart_deletion.h). The Windows NT family carries out
// delay-until-reboot moves; the other platforms read the [rename] section of WININIT.INI at
// their next start, where "NUL=path" deletes a file, and read short (8.3) names only.
#include "engine/restart_deletion.h"

#include <cstdio>
#include <cstring>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/platform.h"

namespace {

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

void AppendWininitDeletion(const char* path) { AppendWininitEntry("NUL", path); }

bool AppendWininitEntry(const char* target, const char* source) {
  char wininit[kPathSize] = {};
  // Only the Windows directory's WININIT.INI is read at the next start.
  if (Sys().WindowsDirectory(wininit, sizeof wininit) <= 0) return false;
  wininit[sizeof wininit - 1] = '\0';
  EnsureTrailingBackslash(wininit, sizeof wininit);
  AppendText(wininit, sizeof wininit, "WININIT.INI");

  // The entry goes at the very end of the file. Whatever ends the file must not swallow
  // it: an unterminated last line is ended first (or both entries are spoiled), and a
  // section other than [rename] gets a [rename] header after it. The file may hold other
  // programs' work for the next start: it is never written over, only added to.
  WininitTail tail = ReadWininitTail(wininit);
  FileHandle file = Sys().OpenForWrite(wininit);
  bool written = true;
  if (file != kNoFile) {
    if (Sys().Seek(file, 0, kSeekEnd) < 0) {
      Sys().CloseFile(file);
      return false;
    }
    if (tail.unterminated) written = WriteAll(file, "\r\n");
    if (!tail.inRename) written = written && WriteAll(file, "[rename]\r\n");
  } else {
    // A file that is there but would not open is not made anew.
    if (Sys().GetAttributes(wininit) != kNoAttributes) return false;
    file = Sys().CreateTruncated(wininit);
    if (file == kNoFile) return false;
    written = WriteAll(file, "[rename]\r\n");
  }
  char line[2 * kPathSize + 8];
  snprintf(line, sizeof line, "%.259s=%.255s\r\n", target, source);
  written = written && WriteAll(file, line);
  Sys().CloseFile(file);
  return written;
}

void DeleteAtNextRestart(const char* path) {
  if (gRun.platformKind == kPlatformNt) {
    Sys().MoveFileFlags(path, nullptr, kMoveDelayUntilReboot);
    return;
  }
  char shortPath[kPathSize];
  CopyText(shortPath, sizeof shortPath, path);
  NormalizePath(shortPath, sizeof shortPath, false);
  AppendWininitDeletion(shortPath);
}
