// Reading a FileStamp and the DOS date and time arithmetic (file_stamp.h).
#include "repair/file_stamp.h"

#include <cstring>

#include "base/path_helpers.h"
#include "platform/platform.h"

namespace {

// Positions of the date and time fields once the leading blanks are skipped.
constexpr size_t kMonthAt = 0;
constexpr size_t kDayAt = 3;
constexpr size_t kYearAt = 6;
constexpr size_t kHourAt = 13;
constexpr size_t kMinuteAt = 16;
constexpr size_t kSecondAt = 19;

constexpr int kFirstDosYear = 1980;
constexpr int kLastDosYear = 2107;

// Reads the decimal number at text, up to its first non-digit. A field that does not begin
// with a digit (or runs past five digits, more than any field can hold) is not a number.
bool ReadField(const char* text, int* value) {
  if (*text < '0' || *text > '9') return false;
  int number = 0;
  int digits = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (++digits > 5) return false;
    number = number * 10 + (*text - '0');
  }
  *value = number;
  return true;
}

// The text after the count-th '|', or null when there are fewer. Stepped as characters:
// the third field is free text, and in code page 932 the second byte of ポ is the bar's byte.
const char* AfterSeparator(const char* text, int count) {
  for (const char* bar = FindChar(text, '|'); bar != nullptr; bar = FindChar(bar + 1, '|')) {
    if (--count == 0) return bar + 1;
  }
  return nullptr;
}

const char* SkipBlanks(const char* text) {
  while (*text == ' ') ++text;
  return text;
}

// The size: a decimal byte count after its blanks, followed only by blanks up to the '|'.
bool ReadSize(const char* text, uint32_t* size) {
  text = SkipBlanks(text);
  if (*text < '0' || *text > '9') return false;
  uint64_t number = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    number = number * 10 + static_cast<uint64_t>(*text - '0');
    if (number > 0xFFFFFFFFu) return false;
  }
  text = SkipBlanks(text);
  if (*text != '|') return false;
  *size = static_cast<uint32_t>(number);
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  // The installer writes lower case; an upper-case checksum still means the same number.
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The checksum: one to eight hexadecimal digits after its blanks. A letter beyond 'f' in
// the run makes it no checksum at all rather than a different number.
bool ReadChecksum(const char* text, uint32_t* checksum) {
  text = SkipBlanks(text);
  uint32_t number = 0;
  int digits = 0;
  for (; IsLetterOrDigit(*text); ++text) {
    int value = HexValue(*text);
    if (value < 0 || ++digits > 8) return false;
    number = (number << 4) | static_cast<uint32_t>(value);
  }
  if (digits == 0) return false;
  *checksum = number;
  return true;
}

// Seconds since 1980-01-01 00:00 of a DOS date and time. Only differences are used, so a
// day field out of its month (February 31) merely counts on into the next one.
int64_t DosSeconds(uint16_t dosDate, uint16_t dosTime) {
  int64_t year = DosYear(dosDate);
  int64_t month = DosMonth(dosDate);
  // Days from the civil date, with March as the first month so leap days come last.
  int64_t y = month <= 2 ? year - 1 : year;
  int64_t shiftedMonth = month <= 2 ? month + 9 : month - 3;
  int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + DosDay(dosDate) - 1;
  int64_t days = 365 * y + y / 4 - y / 100 + y / 400 + dayOfYear;
  return days * 86400 + DosHour(dosTime) * 3600 + DosMinute(dosTime) * 60 + DosSecond(dosTime);
}

}  // namespace

uint16_t PackDosDate(int year, int month, int day) {
  return static_cast<uint16_t>(day + 32 * month + 512 * (year - kFirstDosYear));
}

uint16_t PackDosTime(int hour, int minute, int second) {
  return static_cast<uint16_t>(2048 * hour + 32 * minute + second / 2);
}

int DosYear(uint16_t dosDate) { return kFirstDosYear + (dosDate >> 9); }
int DosMonth(uint16_t dosDate) { return (dosDate >> 5) & 0xF; }
int DosDay(uint16_t dosDate) { return dosDate & 0x1F; }
int DosHour(uint16_t dosTime) { return dosTime >> 11; }
int DosMinute(uint16_t dosTime) { return (dosTime >> 5) & 0x3F; }
int DosSecond(uint16_t dosTime) { return (dosTime & 0x1F) * 2; }

int ReadStampWhen(const char* text, uint16_t* dosDate, uint16_t* dosTime) {
  if (text == nullptr) return 1;
  const char* start = SkipBlanks(text);
  // The fixed positions must lie inside the text, whatever blanks led it.
  if (strlen(start) < kMinStampLength - 1) return 1;

  int month, day, year, hour, minute, second;
  if (!ReadField(start + kMonthAt, &month) || !ReadField(start + kDayAt, &day) ||
      !ReadField(start + kYearAt, &year) || !ReadField(start + kHourAt, &hour) ||
      !ReadField(start + kMinuteAt, &minute) || !ReadField(start + kSecondAt, &second)) {
    return 1;
  }
  // A field out of its range would spill into its neighbours when packed.
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < kFirstDosYear ||
      year > kLastDosYear || hour > 23 || minute > 59 || second > 59) {
    return 1;
  }
  *dosDate = PackDosDate(year, month, day);
  *dosTime = PackDosTime(hour, minute, second);
  return 0;
}

void ReadFileStampLoosely(const char* text, FileStamp* stamp) {
  *stamp = FileStamp();
  if (text == nullptr) return;
  if (ReadStampWhen(text, &stamp->dosDate, &stamp->dosTime) != 0) {
    stamp->dosDate = 0;
    stamp->dosTime = 0;
  }
  const char* rest = AfterSeparator(SkipBlanks(text), 3);
  stamp->rest = rest != nullptr ? rest : "";
}

int ReadFileStamp(const char* text, FileStamp* stamp) {
  *stamp = FileStamp();
  if (text == nullptr || strlen(text) < kMinStampLength) return 1;
  uint16_t date = 0;
  uint16_t time = 0;
  if (ReadStampWhen(text, &date, &time) != 0) return 1;

  const char* start = SkipBlanks(text);
  const char* sizeText = AfterSeparator(start, 3);
  if (sizeText == nullptr) return 1;
  const char* checksumText = AfterSeparator(sizeText, 1);
  if (checksumText == nullptr) return 1;
  if (!ReadSize(sizeText, &stamp->size) || !ReadChecksum(checksumText, &stamp->checksum)) {
    return 1;
  }
  stamp->dosDate = date;
  stamp->dosTime = time;
  stamp->rest = sizeText;
  return 0;
}

StampTimeOrder CompareWithLoggedTime(uint16_t loggedDate, uint16_t loggedTime, uint16_t fileDate,
                                     uint16_t fileTime) {
  if (loggedDate == fileDate && loggedTime == fileTime) return StampTimeOrder::kSame;
  // Asked only when the times differ, which most files of a repair do not.
  int64_t shift = static_cast<int64_t>(Sys().DaylightShiftMinutes()) * 60;
  if (shift != 0) {
    int64_t difference = DosSeconds(fileDate, fileTime) - DosSeconds(loggedDate, loggedTime);
    if (difference == shift || difference == -shift) return StampTimeOrder::kSame;
  }
  if (loggedDate != fileDate) {
    return loggedDate < fileDate ? StampTimeOrder::kFileNewer : StampTimeOrder::kFileOlder;
  }
  return loggedTime < fileTime ? StampTimeOrder::kFileNewer : StampTimeOrder::kFileOlder;
}
