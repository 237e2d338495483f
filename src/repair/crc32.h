// CRC-32 as repair compares files with their stamps: the standard reflected CRC-32
// (polynomial 0xEDB88320, start value all ones, result complemented), computed over a
// whole file in reads of 16 KB.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// Continues a CRC-32: crc is the finished CRC of the bytes before (0 for none), the result
// the finished CRC of those bytes followed by these.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);

// The CRC-32 of the rest of an open file, read from its current position to the end in
// reads of kCrcReadSize bytes into the run's scratch buffer. 0 when the file was read to
// its end, non-zero when a read failed (*crc is then unchanged).
int Crc32OfFile(FileHandle file, uint32_t* crc);

// The same for a file named by its path; non-zero also when it cannot be opened.
int Crc32OfPath(const char* path, uint32_t* crc);

constexpr uint32_t kCrcReadSize = 16384;
