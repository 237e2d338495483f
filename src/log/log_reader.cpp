// LogReader: buffered line reading for INSTALL.LOG and SYSTEM.INI.
#include "log/log_reader.h"

#include <cstring>

#include "base/text.h"

LogReader gLogReader;

void ResetLogReader() {
  memset(gLogReader.buffer, 0, sizeof gLogReader.buffer);
  gLogReader.held = 0;
  gLogReader.next = 0;
  gLogReader.before = 0;
  gLogReader.lineStart = 0;
  gLogReader.readFailed = false;
}

namespace {

// Refills the used-up buffer; false at the end of the file. A read error ends the file as
// well, and is remembered: the reader's caller must not take the lines for the whole file,
// the last of them may be cut anywhere.
bool Refill(FileHandle file) {
  LogReader& r = gLogReader;
  r.before += r.held;
  r.held = 0;
  r.next = 0;
  int got = Sys().ReadBytes(file, r.buffer, static_cast<uint32_t>(kLogBufferSize));
  if (got < 0) r.readFailed = true;
  if (got <= 0) return false;
  r.held = static_cast<uint32_t>(got) > kLogBufferSize ? static_cast<uint32_t>(kLogBufferSize)
                                                       : static_cast<uint32_t>(got);
  return true;
}

bool Ordinary(uint8_t c) { return c != '\r' && c != '\n' && c != '\0'; }

// The length of a line cut at the buffer's end, less a last lead byte whose second byte was
// dropped: alone it would join the terminator, or whatever is appended to the text.
size_t WithoutHalfCharacter(const char* line, size_t length) {
  if (length > 0 && gTextRules.leadByte[static_cast<uint8_t>(line[length - 1])] &&
      !IsTrailByteAt(line, length - 1)) {
    return length - 1;
  }
  return length;
}

}  // namespace

int ReadLogLine(char* line, size_t size, FileHandle file, bool keepEmpty) {
  if (size == 0) return 0;
  LogReader& r = gLogReader;
  const size_t room = size - 1;
  for (;;) {
    size_t length = 0;
    bool cut = false;      // a zero byte ended the text; the rest of the line is skipped
    bool dropped = false;  // the line was longer than the buffer
    // The offset of the line is that of its first byte other than a line feed, so that a
    // line after CR LF starts at its own first character.
    int64_t start = -1;
    for (;;) {
      if (r.next >= r.held && !Refill(file)) {
        if (dropped) length = WithoutHalfCharacter(line, length);
        line[length] = '\0';
        r.lineStart = start >= 0 ? start : LogReaderPosition();
        return 0;
      }
      // Ordinary bytes are taken a run at a time; logs are megabytes long.
      uint32_t run = r.next;
      while (run < r.held && Ordinary(r.buffer[run])) ++run;
      if (run > r.next) {
        if (start < 0) start = r.before + r.next;
        size_t take = run - r.next;
        if (cut) take = 0;
        if (take > room - length) {
          take = room - length;
          dropped = true;
        }
        memcpy(line + length, r.buffer + r.next, take);
        length += take;
        r.next = run;
        continue;
      }
      uint8_t c = r.buffer[r.next++];
      if (c == '\r') break;
      if (c == '\n') continue;
      if (start < 0) start = r.before + r.next - 1;
      cut = true;  // a zero byte
    }
    if (length == 0 && !keepEmpty) continue;
    if (dropped) length = WithoutHalfCharacter(line, length);
    line[length] = '\0';
    r.lineStart = start >= 0 ? start : r.before + r.next - 1;
    return 1;
  }
}
