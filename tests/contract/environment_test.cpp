// Contract of the process environment: the current directory, the temporary directory and
// temporary names, the system directories, version, drive types and the clock.
#include "contract/contract_support.h"

#include <cstring>

namespace {

using EnvironmentContract = ContractTest;

TEST_F(EnvironmentContract, CurrentDirectory) {
  char saved[260];
  ASSERT_GT(Sys().GetCurrentDir(saved, sizeof saved), 0);

  ASSERT_EQ(Sys().SetCurrentDir(Scratch().c_str()), 0);
  char now[260];
  int length = Sys().GetCurrentDir(now, sizeof now);
  EXPECT_EQ(UpperAsciiText(now), UpperAsciiText(Scratch()));
  EXPECT_EQ(length, static_cast<int>(strlen(now)));

  // A relative name lands in the current directory.
  ASSERT_EQ(WriteWholeFile("relative.txt", "r"), 0);
  EXPECT_TRUE(Exists(PathOf("relative.txt")));

  // Too small a buffer gives 0, not a cut path.
  char tiny[4];
  EXPECT_EQ(Sys().GetCurrentDir(tiny, sizeof tiny), 0);

  EXPECT_NE(Sys().SetCurrentDir(PathOf("nodir").c_str()), 0);
  ASSERT_EQ(Sys().SetCurrentDir(saved), 0);
}

TEST_F(EnvironmentContract, TemporaryDirectoryAndNames) {
  char temp[260];
  int length = Sys().TempDirectory(temp, sizeof temp);
  ASSERT_GT(length, 0);
  EXPECT_EQ(temp[length - 1], '\\');
  EXPECT_NE(Sys().GetAttributes(temp) & kAttrDirectory, 0u);
  char tiny[3];
  EXPECT_EQ(Sys().TempDirectory(tiny, sizeof tiny), 0);

  // A fixed number forms the name from its hexadecimal digits and creates nothing.
  // Windows writes "KTM1A2B.TMP"; Wine writes the digits and extension in lower case,
  // so the comparison ignores case.
  struct Case {
    const char* prefix;
    uint32_t unique;
    const char* name;
  } cases[] = {
      {"KTM", 6699, "KTM1A2B.TMP"},
      {"KTMLONG", 6699, "KTM1A2B.TMP"},  // only three letters of the prefix count
      {"AB", 0x10, "AB10.TMP"},
      {"Q", 0xFFFF, "QFFFF.TMP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix);
    char out[260] = {};
    EXPECT_EQ(Sys().TempFileName(Scratch().c_str(), c.prefix, c.unique, out), c.unique);
    EXPECT_EQ(UpperAsciiText(out), UpperAsciiText(PathOf(c.name)));
    EXPECT_FALSE(Exists(out));
  }

  // With 0 a free number is found and the file is made, empty.
  char made[260] = {};
  uint32_t number = Sys().TempFileName(Scratch().c_str(), "KTM", 0, made);
  EXPECT_NE(number, 0u);
  EXPECT_TRUE(Exists(made)) << made;
  bool ok = false;
  EXPECT_EQ(ReadWholeFile(made, &ok), "");
  EXPECT_TRUE(ok);
  char second[260] = {};
  EXPECT_NE(Sys().TempFileName(Scratch().c_str(), "KTM", 0, second), 0u);
  EXPECT_STRNE(made, second);
}

TEST_F(EnvironmentContract, SystemDirectoriesAndModule) {
  char windows[260], system[260], module[260];
  int windowsLength = Sys().WindowsDirectory(windows, sizeof windows);
  int systemLength = Sys().SystemDirectory(system, sizeof system);
  ASSERT_GT(windowsLength, 0);
  ASSERT_GT(systemLength, windowsLength);
  EXPECT_EQ(windowsLength, static_cast<int>(strlen(windows)));
  EXPECT_NE(windows[windowsLength - 1], '\\');
  EXPECT_EQ(UpperAsciiText(std::string(system, windowsLength)), UpperAsciiText(windows));
  EXPECT_NE(Sys().GetAttributes(windows) & kAttrDirectory, 0u);
  EXPECT_NE(Sys().GetAttributes(system) & kAttrDirectory, 0u);

  int moduleLength = Sys().ModuleFileName(module, sizeof module);
  ASSERT_GT(moduleLength, 4);
  EXPECT_EQ(UpperAsciiText(module + moduleLength - 4), ".EXE");

  char tiny[4];
  EXPECT_EQ(Sys().WindowsDirectory(tiny, sizeof tiny), 0);
  EXPECT_EQ(Sys().ModuleFileName(tiny, sizeof tiny), 0);
}

// Wine reports the Windows NT family (platform id 2), as does the simulated machine's
// default; the Windows 95 family (1) is set by a machine image.
TEST_F(EnvironmentContract, VersionAndDrives) {
  VersionInfo version = Sys().Version();
  EXPECT_EQ(version.platformId, 2u);
  EXPECT_GE(version.major, 4u);

  struct Case {
    const char* root;
    int type;
  } cases[] = {
      {"C:\\", kDriveFixed},
      {"c:\\", kDriveFixed},
      {"Q:\\", kDriveNoRootDir},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.root);
    EXPECT_EQ(Sys().DriveType(c.root), c.type);
  }
}

TEST_F(EnvironmentContract, LocalClockIsACalendarTime) {
  SystemTime now;
  Sys().LocalTimeNow(&now);
  EXPECT_GE(now.year, 1980);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12) << now.month;
  EXPECT_TRUE(now.day >= 1 && now.day <= 31) << now.day;
  EXPECT_LE(now.dayOfWeek, 6);
  EXPECT_LE(now.hour, 23);
  EXPECT_LE(now.minute, 59);
}

}  // namespace
