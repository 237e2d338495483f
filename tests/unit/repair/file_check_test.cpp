// The stamp reader, the CRC-32 and the file check against a stamp.
#include "repair/file_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "repair/crc32.h"
#include "repair/file_stamp.h"
#include "repair_fixture.h"
#include "run/startup.h"

namespace {

TEST(FileStamp, WorkedExampleAndTheRestAsLogged) {
  FileStamp stamp;
  const char* text = " 03-15-2003 | 10:20:30 | 2.1 | 1234 | 0a1bf00d";
  ASSERT_EQ(ReadFileStamp(text, &stamp), 0);
  EXPECT_EQ(stamp.dosDate, 11887);
  EXPECT_EQ(stamp.dosTime, 21135);
  EXPECT_EQ(stamp.size, 1234u);
  EXPECT_EQ(stamp.checksum, 0x0a1bf00du);
  EXPECT_STREQ(stamp.rest, " 1234 | 0a1bf00d");
  EXPECT_EQ(DosYear(stamp.dosDate), 2003);
  EXPECT_EQ(DosMonth(stamp.dosDate), 3);
  EXPECT_EQ(DosDay(stamp.dosDate), 15);
  EXPECT_EQ(DosHour(stamp.dosTime), 10);
  EXPECT_EQ(DosMinute(stamp.dosTime), 20);
  EXPECT_EQ(DosSecond(stamp.dosTime), 30);
}

TEST(FileStamp, YearsAcrossTheWholeDosRange) {
  // 2060 and later are themselves, not the 1960s.
  for (int year : {1980, 1999, 2000, 2059, 2060, 2107}) {
    EXPECT_EQ(DosYear(PackDosDate(year, 1, 1)), year);
  }
}

TEST(FileStamp, MalformedStampsAreRefused) {
  const char* bad[] = {
      "",
      " 03-15-2003 | 10:20:3",                          // 21 characters, but no fields after
      " 03-15-2003 | 10:2",                             // shorter than 21
      " 0a-15-2003 | 10:20:30 | x | 12 | ab",           // a letter for a digit
      " 13-15-2003 | 10:20:30 | x | 12 | ab",           // month 13
      " 03-32-2003 | 10:20:30 | x | 12 | ab",           // day 32
      " 03-15-1979 | 10:20:30 | x | 12 | ab",           // before DOS time
      " 03-15-2108 | 10:20:30 | x | 12 | ab",           // after it
      " 03-15-2003 | 24:20:30 | x | 12 | ab",           // hour 24
      " 03-15-2003 | 10:60:30 | x | 12 | ab",           // minute 60
      " 03-15-2003 | 10:20:30 | x | 12 | 0xzz",         // checksum with non-hex letters
      " 03-15-2003 | 10:20:30 | x | 12 | 123456789",    // more than 32 bits
      " 03-15-2003 | 10:20:30 | x | 12 |",              // no checksum
      " 03-15-2003 | 10:20:30 | x | 1a2 | ab",          // size with a letter
      " 03-15-2003 | 10:20:30 | x | 99999999999 | ab",  // size past 32 bits
      " 03-15-2003 | 10:20:30 | 12 | ab",               // a field missing
      "                       03-15",                   // blanks make the length
  };
  for (const char* text : bad) {
    FileStamp stamp;
    EXPECT_NE(ReadFileStamp(text, &stamp), 0) << '"' << text << '"';
  }
  FileStamp stamp;
  EXPECT_NE(ReadFileStamp(nullptr, &stamp), 0);
  // Upper case and blanks round the fields are still the same numbers.
  ASSERT_EQ(ReadFileStamp("   01-01-1980 | 00:00:00 |  | 0 |   ABCDEF01  ", &stamp), 0);
  EXPECT_EQ(stamp.checksum, 0xABCDEF01u);
  EXPECT_EQ(stamp.dosDate, PackDosDate(1980, 1, 1));
}

uint32_t BitwiseCrc(const unsigned char* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

TEST(Crc32, MatchesTheStandardAndTheStartUpTable) {
  EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32Update(0, "", 0), 0u);
  // Every length and alignment round the eight-byte steps, in one piece and in two.
  unsigned char data[77];
  for (size_t i = 0; i < sizeof data; ++i) data[i] = static_cast<unsigned char>(i * 37 + 11);
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t length = 0; offset + length <= sizeof data; ++length) {
      uint32_t expected = BitwiseCrc(data + offset, length);
      ASSERT_EQ(Crc32Update(0, data + offset, length), expected) << offset << "+" << length;
      size_t half = length / 2;
      ASSERT_EQ(
          Crc32Update(Crc32Update(0, data + offset, half), data + offset + half, length - half),
          expected);
    }
  }
  // The check value of CRC-32 over "123456789".
  EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926u);
}

class FileCheckTest : public RepairTest {};

TEST_F(FileCheckTest, CrcOfFilesAcrossReadBoundaries) {
  std::string big(3 * kCrcReadSize + 5, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  Put("C:\\App\\big.bin", big);
  uint32_t crc = 0;
  ASSERT_EQ(Crc32OfPath("C:\\App\\big.bin", &crc), 0);
  EXPECT_EQ(crc, BitwiseCrc(reinterpret_cast<const unsigned char*>(big.data()), big.size()));
  EXPECT_NE(Crc32OfPath("C:\\App\\none.bin", &crc), 0);
}

TEST_F(FileCheckTest, VerdictsEachWay) {
  const std::string contents = "installed contents";
  const std::string stamp = StampFor(contents);
  struct Case {
    const char* name;
    std::string contents;
    int plusSeconds;
    StampVerdict expected;
  } cases[] = {
      {"same", contents, 0, StampVerdict::kSame},
      {"same-odd-second", contents, 1, StampVerdict::kSame},  // DOS time keeps two seconds
      {"longer", contents + "!", 0, StampVerdict::kSizeDiffers},
      {"edited", "INSTALLED contents", 0, StampVerdict::kChecksumDiffers},
      {"newer", contents + "!", 2, StampVerdict::kNewer},  // newer: not compared by size
      {"newer-next-day", contents, 86400, StampVerdict::kNewer},
      {"older", contents, -2, StampVerdict::kOlder},
      {"older-day", "x", -86400, StampVerdict::kOlder},
  };
  for (const Case& c : cases) {
    std::string path = std::string("C:\\App\\") + c.name + ".dat";
    Put(path, c.contents, When(c.plusSeconds));
    StampCheck check;
    EXPECT_EQ(CheckAgainstStamp(path.c_str(), stamp.c_str(), &check), c.expected) << c.name;
    EXPECT_TRUE(check.haveFileTime) << c.name;
  }

  EXPECT_EQ(CheckAgainstStamp("C:\\App\\gone.dat", stamp.c_str()), StampVerdict::kMissing);
  // A short stamp leaves even a missing file alone; one that does not read leaves a file
  // that is there alone, but a missing file has nothing to overwrite.
  EXPECT_EQ(CheckAgainstStamp("C:\\App\\gone.dat", " 03-15-2003 | 10:2"), StampVerdict::kNoStamp);
  EXPECT_EQ(CheckAgainstStamp("C:\\App\\gone.dat", nullptr), StampVerdict::kNoStamp);
  const char* unreadable = " 13-15-2003 | 10:20:30 | x | 12 | ab";
  StampCheck loose;
  EXPECT_EQ(CheckAgainstStamp("C:\\App\\gone.dat", unreadable, &loose), StampVerdict::kMissing);
  EXPECT_EQ(loose.stamp.dosDate, 0);
  EXPECT_STREQ(loose.stamp.rest, " 12 | ab");
  Put("C:\\App\\there.dat", contents);
  EXPECT_EQ(CheckAgainstStamp("C:\\App\\there.dat", unreadable), StampVerdict::kNoStamp);

  machine.MakeDirectories("C:\\App\\folder.dat");
  EXPECT_EQ(CheckAgainstStamp("C:\\App\\folder.dat", stamp.c_str()), StampVerdict::kUnreadable);

  // A file time outside the DOS range: the length and the checksum decide.
  Put("C:\\App\\old.dat", contents, FileTimeFromUtc(1975, 1, 1, 0, 0, 0));
  StampCheck check;
  EXPECT_EQ(CheckAgainstStamp("C:\\App\\old.dat", stamp.c_str(), &check), StampVerdict::kSame);
  EXPECT_FALSE(check.haveFileTime);

  EXPECT_TRUE(IsChangedVerdict(StampVerdict::kOlder));
  EXPECT_FALSE(IsChangedVerdict(StampVerdict::kNewer));
  EXPECT_FALSE(IsChangedVerdict(StampVerdict::kNoStamp));
}

// Installed in summer at UTC+2, checked in winter at UTC+1 (and the other way round): the
// stamp holds the local time of the installation's day, the check reads today's.
TEST_F(FileCheckTest, TimesOneDaylightShiftApartAreTheSame) {
  const std::string contents = "installed contents";
  const std::string stamp = StampFor(contents);  // 03-15-2003 10:20:30 local, as logged
  struct Case {
    int shiftMinutes;     // the zone's daylight-saving shift; 0: a zone without one
    int fileMinusLogged;  // seconds the file's local time reads off the logged one
    std::string contents;
    StampVerdict expected;
  } cases[] = {
      {60, -3600, contents, StampVerdict::kSame},               // summer stamp read in winter
      {60, 3600, contents, StampVerdict::kSame},                // winter stamp read in summer
      {60, -3600, contents + "!", StampVerdict::kSizeDiffers},  // size still decides
      {60, 3600, "INSTALLED contents", StampVerdict::kChecksumDiffers},
      {60, -3602, contents, StampVerdict::kOlder},  // two seconds past the shift
      {60, -3598, contents, StampVerdict::kOlder},
      {60, 3602, contents, StampVerdict::kNewer},
      {60, 3598, contents, StampVerdict::kNewer},
      {60, 7200, contents, StampVerdict::kNewer},  // two shifts is a real change
      {60, -36000 * 2, contents, StampVerdict::kOlder},
      {30, -1800, contents, StampVerdict::kSame},  // a zone whose shift is half an hour
      {30, -3600, contents, StampVerdict::kOlder},
      {0, -3600, contents, StampVerdict::kOlder},  // no daylight saving time: no allowance
      {0, 3600, contents, StampVerdict::kNewer},
  };
  int n = 0;
  for (const Case& c : cases) {
    machine.settings.daylightShiftMinutes = c.shiftMinutes;
    std::string path = "C:\\App\\shift" + std::to_string(n++) + ".dat";
    Put(path, c.contents, When(c.fileMinusLogged));
    EXPECT_EQ(CheckAgainstStamp(path.c_str(), stamp.c_str()), c.expected)
        << "shift " << c.shiftMinutes << ", file " << c.fileMinusLogged << " s off";
  }

  // Across midnight and the turn of a year the shift is still one shift.
  machine.settings.daylightShiftMinutes = 60;
  Put("C:\\App\\newyear.dat", contents, FileTimeFromUtc(2002, 12, 31, 23, 30, 0));
  EXPECT_EQ(CheckAgainstStamp("C:\\App\\newyear.dat",
                              StampFor(contents, "01-01-2003 | 00:30:00").c_str()),
            StampVerdict::kSame);
}

}  // namespace
