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

// What a stamp that ReadFileStamp refuses still says, for a file that is missing and so
// is extracted again all the same: its date and time where they read (0 otherwise) and
// the text after its third '|' as logged (empty without one).
void ReadFileStampLoosely(const char* text, FileStamp* stamp);

// Reads only the date and time at the head of a stamp or of an installation program's
// attributes ("MM-DD-YYYY | HH:MM:SS | ..."), which stand at the same positions. Returns 0
// with both packed as DOS values, 1 when either is not a real date or time.
int ReadStampWhen(const char* text, uint16_t* dosDate, uint16_t* dosTime);

// How a file's local DOS date and time stand against the logged ones.
enum class StampTimeOrder { kSame, kFileNewer, kFileOlder };

// The one rule that compares a file's time with the time its log recorded. Both are local
// times, but the log wrote its stamp with the offset of the day of installation and the
// file's time is read with today's: across a change to or from daylight saving time an
// untouched file reads one shift off. A difference of exactly the zone's shift (from the
// system's time-zone information) therefore counts as the same time, and size and checksum
// decide. Otherwise the date decides, and the time on the same date.
StampTimeOrder CompareWithLoggedTime(uint16_t loggedDate, uint16_t loggedTime, uint16_t fileDate,
                                     uint16_t fileTime);

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
