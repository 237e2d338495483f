// The line reader over the simulated machine's files: line ends, dropped line feeds, long
// lines, zero bytes, empty lines, the unterminated last line, buffer refills and offsets.
#include "log/log_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"
#include "support/sim_fixture.h"

namespace {

using Lines = std::vector<std::pair<int, std::string>>;  // (result, text) of each read

class LogReaderTest : public SimFixture {
 protected:
  // Every read of the file until the first that returns 0.
  Lines ReadAll(const std::string& contents, size_t size, bool keepEmpty) {
    machine().WriteFile("C:\\T\\FILE.TXT", contents);
    FileHandle file = Sys().OpenForRead("C:\\T\\FILE.TXT");
    EXPECT_NE(file, kNoFile);
    ResetRunWideState();
    Lines lines;
    std::vector<char> line(size);
    for (int guard = 0; guard < 100000; ++guard) {
      int result = ReadLogLine(line.data(), size, file, keepEmpty);
      lines.emplace_back(result, std::string(line.data()));
      if (result == 0) break;
    }
    Sys().CloseFile(file);
    return lines;
  }
};

TEST_F(LogReaderTest, LineGrammar) {
  const std::string a3000(3000, 'a');
  const std::string a2047(2047, 'a');
  struct {
    const char* name;
    std::string contents;
    bool keepEmpty;
    Lines expected;
  } cases[] = {
      {"CR LF lines", "one\r\ntwo\r\n", false, {{1, "one"}, {1, "two"}, {0, ""}}},
      {"lone LF does not end a line", "a\nb\rc", false, {{1, "ab"}, {0, "c"}}},
      {"LF dropped inside a line", "x\ny\nz\r", false, {{1, "xyz"}, {0, ""}}},
      {"empty lines skipped", "\r\n\r\n\r\nx\r\n\r\n", false, {{1, "x"}, {0, ""}}},
      {"empty lines kept", "a\r\r\nb", true, {{1, "a"}, {1, ""}, {0, "b"}}},
      {"unterminated last line", "*** x", false, {{0, "*** x"}}},
      {"empty file", "", false, {{0, ""}}},
      {"zero byte ends the value",
       std::string("ab\0cd\rnext\r", 11),
       false,
       {{1, "ab"}, {1, "next"}, {0, ""}}},
      {"line of zeros is empty", std::string("\0\0\rq\r", 5), false, {{1, "q"}, {0, ""}}},
      {"line of zeros kept empty", std::string("\0\rq\r", 4), true, {{1, ""}, {1, "q"}, {0, ""}}},
      {"3000 characters keep 2047",
       a3000 + "\r\nnext\r\n",
       false,
       {{1, a2047}, {1, "next"}, {0, ""}}},
      {"long unterminated line", a3000, false, {{0, a2047}}},
      {"binary bytes pass", "\x01\xFF\x7F\r", false, {{1, "\x01\xFF\x7F"}, {0, ""}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadAll(c.contents, kLogLineSize, c.keepEmpty), c.expected) << c.name;
  }

  // Code page 932: a line cut inside ポ (0x83 0x7C) loses the whole character; one cut
  // after it, or after a character whose second byte is a lead byte's, keeps it.
  machine().settings.ansiCodePage = 932;
  LoadTextRules();
  const std::string a2046(2046, 'a'), a2045(2045, 'a');
  const std::string po = "\x83\x7C", twin = "\x83\x83";
  EXPECT_EQ(ReadAll(a2046 + po + "\r\nnext\r\n", kLogLineSize, false),
            Lines({{1, a2046}, {1, "next"}, {0, ""}}));
  EXPECT_EQ(ReadAll(a2046 + po, kLogLineSize, false), Lines({{0, a2046}}));
  EXPECT_EQ(ReadAll(a2045 + po + "x\r\n", kLogLineSize, false), Lines({{1, a2045 + po}, {0, ""}}));
  EXPECT_EQ(ReadAll("a" + twin + twin + "\r\n", 5, false), Lines({{1, "a" + twin}, {0, ""}}));
  EXPECT_EQ(ReadAll(twin + twin + "\r\n", 4, false), Lines({{1, twin}, {0, ""}}));
  machine().settings.ansiCodePage = 1252;
  LoadTextRules();
}

TEST_F(LogReaderTest, SmallLineBufferForIniFiles) {
  // SYSTEM.INI is read with 260 bytes and keep-empty after the log; the reader starts clean.
  ReadAll("*** log\r\nTitle: x\r\n", kLogLineSize, false);
  std::string longLine(400, 'd');
  Lines lines = ReadAll("[386Enh]\r\n\r\n" + longLine + "\r\ndevice=x\r\n", 260, true);
  Lines expected = {{1, "[386Enh]"}, {1, ""}, {1, std::string(259, 'd')}, {1, "device=x"}, {0, ""}};
  EXPECT_EQ(lines, expected);
}

TEST_F(LogReaderTest, LinesAcrossBufferRefillsAndTheirOffsets) {
  // A line that straddles the 16384-byte refill is read whole, and each line knows the
  // file offset of its first character (after the previous line's LF).
  std::string first(kLogBufferSize - 3, 'f');
  std::string contents = first + "\r\n*** second\r\n*** third";
  machine().WriteFile("C:\\T\\BIG.TXT", contents);
  FileHandle file = Sys().OpenForRead("C:\\T\\BIG.TXT");
  ASSERT_NE(file, kNoFile);
  ResetRunWideState();
  char line[kLogLineSize];
  ASSERT_EQ(ReadLogLine(line, sizeof line, file, false), 1);
  EXPECT_EQ(gLogReader.lineStart, 0);
  EXPECT_EQ(LogReaderPosition(), static_cast<int64_t>(kLogBufferSize));
  ASSERT_EQ(ReadLogLine(line, sizeof line, file, false), 1);
  EXPECT_STREQ(line, "*** second");
  EXPECT_EQ(gLogReader.lineStart, static_cast<int64_t>(contents.find("*** second")));
  EXPECT_EQ(ReadLogLine(line, sizeof line, file, false), 0);
  EXPECT_STREQ(line, "*** third");
  EXPECT_EQ(gLogReader.lineStart, static_cast<int64_t>(contents.find("*** third")));
  EXPECT_EQ(LogReaderPosition(), static_cast<int64_t>(contents.size()));
  Sys().CloseFile(file);
}

}  // namespace
