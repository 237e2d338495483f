// Profile file rules and restart-time operations of the simulated machine.
#include <gtest/gtest.h>

#include <string>

#include "platform/image/restart_operations.h"
#include "support/sim_fixture.h"

namespace {

using SimProfile = SimFixture;

const char kIni[] =
    "; comment\r\n\r\n[One]\r\n  Key =  value  \r\nQ=\"quoted\"\r\nS='single'\r\nOdd=\"half'\r\n"
    "Bare\r\nEmpty=\r\n\r\n[Two]\r\nx=y";

TEST_F(SimProfile, ReadsValuesByThePlatformRules) {
  ASSERT_EQ(machine().WriteFile("C:\\p\\a.ini", kIni), 0);
  struct Case {
    const char* section;
    const char* key;
    const char* fallback;
    uint32_t size;
    const char* expected;
    int length;
  } cases[] = {
      {"one", "KEY", "d", 64, "value", 5},       // case and blanks do not matter
      {"One", "Q", "d", 64, "quoted", 6},        // matching quotes go
      {"One", "S", "d", 64, "single", 6},
      {"One", "Odd", "d", 64, "\"half'", 6},     // unmatched quotes stay
      {"One", "Bare", "dflt  ", 64, "dflt", 4},  // a name without '=' is no key
      {"One", "Empty", "d", 64, "", 0},
      {"One", "Missing", "'q'  ", 64, "q", 1},   // default: blanks, then quotes, go
      {"One", "", "d", 64, "d", 1},
      {"One", "Key", "d", 4, "val", 3},          // cut to size - 1
      {"Three", "x", nullptr, 64, "", 0},
  };
  for (const Case& c : cases) {
    char buffer[64] = "garbage";
    int length = Sys().ReadIniString(c.section, c.key, c.fallback, buffer, c.size, "C:\\p\\a.ini");
    EXPECT_EQ(length, c.length) << c.section << "/" << c.key;
    EXPECT_STREQ(buffer, c.expected) << c.section << "/" << c.key;
  }
}

TEST_F(SimProfile, ListsKeysAndSectionsWithTheirTruncationRule) {
  ASSERT_EQ(machine().WriteFile("C:\\p\\a.ini", kIni), 0);
  char buffer[64];
  int length = Sys().ReadIniString("one", nullptr, "", buffer, sizeof buffer, "C:\\p\\a.ini");
  const char kKeys[] = "Key\0Q\0S\0Odd\0Empty\0";
  EXPECT_EQ(std::string(buffer, length + 1), std::string(kKeys, sizeof kKeys));
  length = Sys().ReadIniString(nullptr, nullptr, "", buffer, sizeof buffer, "C:\\p\\a.ini");
  const char kSections[] = "One\0Two\0";
  EXPECT_EQ(std::string(buffer, length + 1), std::string(kSections, sizeof kSections));
  length = Sys().ReadIniString("one", nullptr, "", buffer, 6, "C:\\p\\a.ini");
  EXPECT_EQ(length, 4);  // size - 2, ended by two terminators
  EXPECT_EQ(std::string(buffer, 6), std::string("Key\0\0\0", 6));
  EXPECT_EQ(Sys().ReadIniString("none", nullptr, "dflt", buffer, sizeof buffer, "C:\\p\\a.ini"), 4);
  EXPECT_STREQ(buffer, "dflt");
}

TEST_F(SimProfile, WritesCreateAndDeleteWithCrLfLines) {
  // A bare name lies in the Windows directory.
  ASSERT_EQ(Sys().WriteIniString("Sec", "k", "  v  ", "TEST.INI"), 0);
  ASSERT_EQ(Sys().WriteIniString("sec", "second", "2", "test.ini"), 0);
  ASSERT_EQ(Sys().WriteIniString("New", "a", "b", "test.ini"), 0);
  EXPECT_EQ(machine().FileContents("C:\\WINDOWS\\TEST.INI"),
            "[Sec]\r\nk=v\r\nsecond=2\r\n[New]\r\na=b\r\n");
  ASSERT_EQ(Sys().WriteIniString("SEC", "K", nullptr, "test.ini"), 0);
  ASSERT_EQ(Sys().WriteIniString("new", nullptr, nullptr, "test.ini"), 0);
  EXPECT_EQ(machine().FileContents("C:\\WINDOWS\\TEST.INI"), "[Sec]\r\nsecond=2\r\n");
  EXPECT_EQ(Sys().ReadIniInt("Sec", "second", 9, "test.ini"), 2);
  // Deleting from a file that does not exist creates nothing.
  ASSERT_EQ(Sys().WriteIniString("S", nullptr, nullptr, "C:\\p\\none.ini"), 0);
  EXPECT_FALSE(machine().FileExists("C:\\p\\none.ini"));
}

using SimRestart = SimFixture;

TEST_F(SimRestart, DelayedMovesAreListedAndCarriedOutAtRestart) {
  ASSERT_EQ(machine().WriteFile("C:\\app\\old.dll", "old"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\app\\new.tmp", "new"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\app\\gone.txt", "x"), 0);
  ASSERT_EQ(machine().SetInUse("C:\\app\\old.dll", true), 0);
  ASSERT_EQ(Sys().MoveFileFlags("C:\\app\\gone.txt", nullptr, kMoveDelayUntilReboot), 0);
  ASSERT_EQ(Sys().MoveFileFlags("C:\\app\\new.tmp", "C:\\app\\old.dll",
                                kMoveDelayUntilReboot | kMoveReplaceExisting), 0);
  const char kKey[] = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager";
  uint32_t type = 0;
  std::string data;
  ASSERT_TRUE(machine().RegValue(kKey, "PendingFileRenameOperations", &type, &data));
  EXPECT_EQ(type, kRegMultiSz);
  const char nul = '\0';
  EXPECT_EQ(data, std::string("\\??\\C:\\app\\gone.txt") + nul + nul + "\\??\\C:\\app\\new.tmp" +
                      nul + "!\\??\\C:\\app\\old.dll" + nul + nul);
  EXPECT_TRUE(machine().FileExists("C:\\app\\gone.txt"));  // nothing moves before the restart

  machine().SimulateRestart();
  EXPECT_FALSE(machine().FileExists("C:\\app\\gone.txt"));
  EXPECT_FALSE(machine().FileExists("C:\\app\\new.tmp"));
  EXPECT_EQ(machine().FileContents("C:\\app\\old.dll"), "new");
  EXPECT_FALSE(machine().RegValue(kKey, "PendingFileRenameOperations", nullptr, nullptr));
}

TEST_F(SimRestart, WininitRenameSectionRunsOnceAndBecomesBak) {
  LoadImage(R"({"platform": {"kind": "95", "version": [4, 0, 950]}})");
  ASSERT_EQ(machine().WriteFile("C:\\app\\a.txt", "a"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\app\\b.tmp", "b"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\app\\b.dll", "old b"), 0);
  ASSERT_EQ(machine().WriteFile("C:\\app\\keep.txt", "k"), 0);
  ASSERT_EQ(machine().SetInUse("C:\\app\\b.dll", true), 0);
  ASSERT_EQ(machine().WriteFile("C:\\WINDOWS\\WININIT.INI",
                                "[other]\r\nNUL=C:\\app\\keep.txt\r\n[rename]\r\n"
                                "NUL=C:\\app\\a.txt\r\nC:\\app\\b.dll=C:\\app\\b.tmp\r\n"), 0);
  EXPECT_EQ(Sys().MoveFileFlags("C:\\app\\a.txt", nullptr, kMoveDelayUntilReboot), 120);

  machine().SimulateRestart();
  EXPECT_FALSE(machine().FileExists("C:\\app\\a.txt"));
  EXPECT_EQ(machine().FileContents("C:\\app\\b.dll"), "b");
  EXPECT_FALSE(machine().FileExists("C:\\app\\b.tmp"));
  EXPECT_TRUE(machine().FileExists("C:\\app\\keep.txt"));  // only [rename] counts
  EXPECT_FALSE(machine().FileExists("C:\\WINDOWS\\WININIT.INI"));
  EXPECT_TRUE(machine().FileExists("C:\\WINDOWS\\WININIT.BAK"));
  EXPECT_EQ(Sys().RemoveFile("C:\\app\\b.dll"), 0);  // no longer in use
}

// The one reader of both kinds of restart operation, shared with tarnlog.
TEST(RestartOperations, BothFormsRead) {
  std::vector<RestartOperation> ops = WininitRenamesOf(
      "[other]\r\nNUL=C:\\SKIP\r\n [Rename] \r\n nul = C:\\A.TMP \r\nC:\\NEW=C:\\OLD\nC:\\X=\r\n"
      "garbage\r\n[RENAME]\r\nNUL=C:\\B");
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[0].source, "C:\\A.TMP");
  EXPECT_EQ(ops[0].target, "");
  EXPECT_EQ(ops[1].source, "C:\\OLD");
  EXPECT_EQ(ops[1].target, "C:\\NEW");
  EXPECT_TRUE(ops[1].replace);
  EXPECT_EQ(ops[2].source, "C:\\B");

  std::string data("\\??\\C:\\A\0\0\\??\\C:\\B\0!\\??\\C:\\C\0\0\\??\\C:\\D\0\0", 40);
  ops = PendingRenamesOf(data);
  ASSERT_EQ(ops.size(), 2u);
  EXPECT_EQ(ops[0].source, "C:\\A");
  EXPECT_EQ(ops[0].target, "");
  EXPECT_EQ(ops[1].target, "C:\\C");
  EXPECT_TRUE(ops[1].replace);
}

}  // namespace
