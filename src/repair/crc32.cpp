// CRC-32 of memory and of files (crc32.h). Bytes are taken sixteen at a time through
// sixteen tables ("slicing by sixteen"): the first is the standard byte table of the
// reflected polynomial, the other fifteen follow from it; all are made at compile time. That sums a
// file several times faster than one dependent lookup per byte, which keeps the check of a
// large installation short.
#include "repair/crc32.h"

#include <cstring>

#include "base/run_state.h"

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

struct SliceTables {
  uint32_t t[16][256];
};

// Table k gives the CRC of a byte followed by k zero bytes, so sixteen bytes are folded
// in with sixteen lookups and no dependency between them.
constexpr SliceTables MakeSliceTables() {
  SliceTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int round = 0; round < 8; ++round) {
      value = (value & 1u) ? (value >> 1) ^ kPolynomial : value >> 1;
    }
    tables.t[0][i] = value;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (int k = 1; k < 16; ++k) {
      uint32_t previous = tables.t[k - 1][i];
      tables.t[k][i] = (previous >> 8) ^ tables.t[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr SliceTables kSlices = MakeSliceTables();

// Little-endian 32-bit load; the targets (x86 and x86-64) are little-endian, so memcpy
// compiles to a plain load.
inline uint32_t Load32(const unsigned char* p) {
  uint32_t value;
  memcpy(&value, p, sizeof value);
  return value;
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t value = ~crc;
  while (size >= 16) {
    uint32_t a = Load32(p) ^ value;
    uint32_t b = Load32(p + 4);
    uint32_t c = Load32(p + 8);
    uint32_t d = Load32(p + 12);
    value = kSlices.t[15][a & 0xFF] ^ kSlices.t[14][(a >> 8) & 0xFF] ^
            kSlices.t[13][(a >> 16) & 0xFF] ^ kSlices.t[12][a >> 24] ^ kSlices.t[11][b & 0xFF] ^
            kSlices.t[10][(b >> 8) & 0xFF] ^ kSlices.t[9][(b >> 16) & 0xFF] ^
            kSlices.t[8][b >> 24] ^ kSlices.t[7][c & 0xFF] ^ kSlices.t[6][(c >> 8) & 0xFF] ^
            kSlices.t[5][(c >> 16) & 0xFF] ^ kSlices.t[4][c >> 24] ^ kSlices.t[3][d & 0xFF] ^
            kSlices.t[2][(d >> 8) & 0xFF] ^ kSlices.t[1][(d >> 16) & 0xFF] ^ kSlices.t[0][d >> 24];
    p += 16;
    size -= 16;
  }
  while (size-- > 0) value = kSlices.t[0][(value ^ *p++) & 0xFF] ^ (value >> 8);
  return ~value;
}

int Crc32OfFile(FileHandle file, uint32_t* crc) {
  static_assert(kCrcReadSize <= kScratchBufferSize, "the reads go into the scratch buffer");
  uint32_t value = 0;
  for (;;) {
    int got = Sys().ReadBytes(file, gRun.scratchBuffer, kCrcReadSize);
    if (got < 0) return 1;
    if (got == 0) break;
    value = Crc32Update(value, gRun.scratchBuffer, static_cast<size_t>(got));
  }
  *crc = value;
  return 0;
}

int Crc32OfPath(const char* path, uint32_t* crc) {
  FileHandle file = Sys().OpenForRead(path);
  if (file == kNoFile) return 1;
  int result = Crc32OfFile(file, crc);
  Sys().CloseFile(file);
  return result;
}
