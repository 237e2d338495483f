// LogReader: buffered line reading for INSTALL.LOG and SYSTEM.INI.
#include "log/log_reader.h"

#include <cstring>

LogReader gLogReader;

void ResetLogReader() {
  memset(gLogReader.buffer, 0, sizeof gLogReader.buffer);
  gLogReader.held = 0;
  gLogReader.next = 0;
  gLogReader.before = 0;
  gLogReader.lineStart = 0;
}

namespace {

// Takes the next byte, refilling the buffer when it is used up; false at the end of the
// file (a read error counts as the end: there is nothing more to be had).
bool TakeByte(FileHandle file, uint8_t* byte) {
  LogReader& r = gLogReader;
  if (r.next >= r.held) {
    r.before += r.held;
    r.held = 0;
    r.next = 0;
    int got = Sys().ReadBytes(file, r.buffer, static_cast<uint32_t>(kLogBufferSize));
    if (got <= 0) return false;
    r.held = static_cast<uint32_t>(got) > kLogBufferSize ? static_cast<uint32_t>(kLogBufferSize)
                                                         : static_cast<uint32_t>(got);
  }
  *byte = r.buffer[r.next++];
  return true;
}

}  // namespace

int ReadLogLine(char* line, size_t size, FileHandle file, bool keepEmpty) {
  if (size == 0) return 0;
  const size_t room = size - 1;
  for (;;) {
    size_t length = 0;
    bool cut = false;  // a zero byte ended the text; the rest of the line is skipped
    int64_t start = -1;
    uint8_t c = 0;
    for (;;) {
      if (!TakeByte(file, &c)) {
        line[length] = '\0';
        gLogReader.lineStart = start >= 0 ? start : LogReaderPosition();
        return 0;
      }
      if (c == '\r') break;
      if (c == '\n') continue;
      // The offset of the line is that of its first byte other than a line feed, so that a
      // line after CR LF starts at its own first character.
      if (start < 0) start = gLogReader.before + gLogReader.next - 1;
      if (c == '\0') cut = true;
      if (cut || length >= room) continue;
      line[length++] = static_cast<char>(c);
    }
    if (length == 0 && !keepEmpty) continue;
    line[length] = '\0';
    gLogReader.lineStart = start >= 0 ? start : gLogReader.before + gLogReader.next - 1;
    return 1;
  }
}
