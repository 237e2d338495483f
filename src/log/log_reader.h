// LogReader: reads a text file line by line through one 16384-byte buffer. A carriage
// return ends a line, line feeds are dropped wherever they stand, characters beyond the
// line buffer are dropped up to the carriage return, and a zero byte ends the line's text
// (the rest of the line is skipped). The loader reads INSTALL.LOG with it; the 386Enh
// device undo reads SYSTEM.INI with it after ResetLogReader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

constexpr size_t kLogBufferSize = 16384;
constexpr size_t kLogLineSize = 2048;  // 2047 characters and the terminator

struct LogReader {
  uint8_t buffer[kLogBufferSize];
  uint32_t held;      // bytes the buffer holds
  uint32_t next;      // index of the next byte to take
  int64_t before;     // bytes of the file before buffer[0]
  int64_t lineStart;  // file offset of the first character of the last line read
  bool readFailed;    // a read of the file failed: what was read is not the whole file
};

extern LogReader gLogReader;

// Empties the buffer, so that the next read starts at the current position of a file.
void ResetLogReader();

// Fills line (size bytes, at least 1) with the next line and returns 1; returns 0 at the end
// of the file, with line holding the last, unterminated line (often empty). Without
// keepEmpty, empty lines are skipped. A read that fails ends the file there and sets
// readFailed; the line it cut short is returned as it stands.
int ReadLogLine(char* line, size_t size, FileHandle file, bool keepEmpty);

// The file position after the last refill: how far the reader has read.
inline int64_t LogReaderPosition() { return gLogReader.before + gLogReader.held; }
