// ScheduleTempCopyDeletion: the restart-time deletion of the temporary copy.
#include "run/temp_copy.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "platform/platform.h"
#include "run/run_state.h"

namespace {

// True when the file is not empty and its last byte is not a line feed. Appending to such
// a file would glue the new entry onto its last line and spoil both. (Read through a
// handle of its own: the write handle may not allow reading.)
bool EndsWithoutLineBreak(const char* path) {
  FileHandle file = Sys().OpenForRead(path);
  if (file == kNoFile) return false;
  bool unterminated = false;
  int64_t end = Sys().Seek(file, 0, kSeekEnd);
  if (end > 0 && Sys().Seek(file, end - 1, kSeekBegin) == end - 1) {
    char last = '\n';
    unterminated = Sys().ReadBytes(file, &last, 1) == 1 && last != '\n';
  }
  Sys().CloseFile(file);
  return unterminated;
}

void WriteText(FileHandle file, const char* text) {
  Sys().WriteBytes(file, text, static_cast<uint32_t>(strlen(text)));
}

}  // namespace

void ScheduleTempCopyDeletion(const char* path) {
  if (gRun.platformKind == kPlatformNt) {
    Sys().MoveFileFlags(path, nullptr, kMoveDelayUntilReboot);
    return;
  }

  char iniPath[256] = {};
  Sys().WindowsDirectory(iniPath, sizeof iniPath);
  iniPath[sizeof iniPath - 1] = '\0';
  size_t length = strlen(iniPath);
  if (length == 0 || iniPath[length - 1] != '\\') AppendText(iniPath, sizeof iniPath, "\\");
  AppendText(iniPath, sizeof iniPath, "WININIT.INI");

  // Paths are at most 255 characters, so the line always fits.
  char entry[300];
  bool needsLineBreak = EndsWithoutLineBreak(iniPath);
  FileHandle file = Sys().OpenForWrite(iniPath);
  if (file == kNoFile) {
    file = Sys().CreateTruncated(iniPath);
    if (file == kNoFile) return;
    snprintf(entry, sizeof entry, "[rename]\r\nNUL=%.255s\r\n", path);
  } else {
    snprintf(entry, sizeof entry, "%sNUL=%.255s\r\n", needsLineBreak ? "\r\n" : "", path);
    Sys().Seek(file, 0, kSeekEnd);
  }
  WriteText(file, entry);
  Sys().CloseFile(file);
}
