// FileStamp: what the install log records after a copied file's path, read into the DOS
// date and time, the size and the CRC-32 that repair compares with the file on disk, and
// the DOS date and time arithmetic that repair shows and compares.
//
// A stamp is " MM-DD-YYYY | HH:MM:SS | any | size | checksum": the date and time stand at
// fixed positions once the leading blanks are skipped, the size follows the third '|' and
// the checksum (lower-case hexadecimal) the fourth.
#pragma once

#include <cstddef>
#include <cstdint>

// A stamp shorter than this names no date and time; repair leaves its file alone.
constexpr size_t kMinStampLength = 21;

struct FileStamp {
  uint16_t dosDate = 0;
  uint16_t dosTime = 0;
  uint32_t size = 0;
  uint32_t checksum = 0;
  const char* rest = nullptr;  // the stamp after its third '|', as logged (size and checksum)
};

// Reads a stamp. Returns 0 when every field holds what it should: a real date from 1980
// to 2107 and a time of day, a decimal size and a checksum of at most eight hexadecimal
// digits. Returns 1 for a stamp that is too short or malformed (letters for digits, month
// 13, a missing field...): what it says about the file cannot be trusted, and repair then
// treats the file as one without a stamp rather than re-extract it on a misreading.
int ReadFileStamp(const char* text, FileStamp* stamp);

// Packs a calendar date and time as DOS date and time (seconds in two-second steps).
uint16_t PackDosDate(int year, int month, int day);
uint16_t PackDosTime(int hour, int minute, int second);

// The calendar parts of a DOS date and time. The year is 1980 plus the date's year field,
// the whole DOS range 1980 to 2107.
int DosYear(uint16_t dosDate);
int DosMonth(uint16_t dosDate);
int DosDay(uint16_t dosDate);
int DosHour(uint16_t dosTime);
int DosMinute(uint16_t dosTime);
int DosSecond(uint16_t dosTime);
