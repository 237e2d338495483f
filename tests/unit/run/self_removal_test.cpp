// Self-removal and restart: every decision of the end of a run (who starts the clean-up
// run, with which restart flag, who restarts), the clean-up run itself, and the restart
// program written from the resource.
#include "run/self_removal.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/engine_sim_fixture.h"
#include "run/run_reset.h"

namespace {

constexpr char kOwnPath[] = "C:\\Program Files\\Sample App\\UNTARN32.EXE";
constexpr char kOwnSettings[] = "C:\\Program Files\\Sample App\\UNTARN32.INI";
constexpr char kTempCopy[] = "C:\\TEMP\\KTM1A2B.EXE";
constexpr char kRestartProgram[] = "C:\\WINDOWS\\_MSRSTRT.EXE";
// How both are started: by their paths in quotation marks.
constexpr char kStartCopy[] = "\"C:\\TEMP\\KTM1A2B.EXE\"";
constexpr char kStartRestart[] = "\"C:\\WINDOWS\\_MSRSTRT.EXE\"";
constexpr char kRestartBytes[] = "MZ restart program bytes";
constexpr char kCleanupPaths[] = "C:\\PROGRA~1\\SAMPLE~1\\UNTARN32.EXE C:\\PROGRA~1\\SAMPLE~1\\";

class SelfRemovalTest : public EngineSimTest {
 protected:
  void SetUp() override {
    EngineSimTest::SetUp();
    ResetRunWideState();
    MachineImage image;
    image.directories.push_back({"C:\\Program Files", 0x10, "PROGRA~1", ""});
    image.directories.push_back({"C:\\Program Files\\Sample App", 0x10, "SAMPLE~1", ""});
    std::string error;
    ASSERT_EQ(machine.ApplyImage(image, &error), 0) << error;
    Write(kOwnPath, "MZ own program");
    Write(kOwnSettings, "[Settings]\r\n");
    Write(kTempCopy, "MZ own program");
    machine.settings.modulePath = kOwnPath;
    machine.resources[(uint64_t{300} << 32) | 30202] = kRestartBytes;
    gRun.tempCopyPath.Set(kTempCopy);
    gRun.appDirectory.Set("C:\\Program Files\\Sample App\\");
  }

  void TearDown() override {
    ResetRunWideState();
    EngineSimTest::TearDown();
  }

  // The end of a run as the run flow takes it: the restart program written on the NT
  // family when a restart is needed, self-removal, then the restart.
  void EndOfRun() {
    if (gRun.rebootNeeded && gRun.platformKind == kPlatformNt) {
      char path[256];
      WriteRestartProgram(path, sizeof path);
    }
    FinishSelfRemoval();
    rebootAfterSelfRemoval = gRun.rebootNeeded;
    RestartIfNeeded();
  }

  std::vector<std::string> WinExecs() const { return Starts(SimProcessStart::kWinExec); }

  bool rebootAfterSelfRemoval = false;
};

// One decision: the run's state at its end and what must follow.
struct DecisionCase {
  const char* name;
  int platformKind;
  bool inPlaceRun;
  bool selfDeletePending;  // the program's own file was among the files removed
  bool cancelled;
  bool rebootNeeded;       // still set after the restart question
  const char* cleanupSwitch;  // null: no clean-up run; else "/z" or "/z1"
  bool restartProgramRun;     // this run starts _MSRSTRT.EXE
  int restartRequests;        // this run restarts with ExitWindowsEx
  bool ownFilesDeleted;       // the /Z run deleted its own file and settings file
};

// Failures name the case instead of dumping its bytes.
void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }

class SelfRemovalDecisionTest : public SelfRemovalTest,
                                public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(SelfRemovalDecisionTest, EndOfRun) {
  const DecisionCase& c = GetParam();
  gRun.platformKind = c.platformKind;
  machine.settings.ntFamily = c.platformKind == kPlatformNt;
  gRun.inPlaceRun = c.inPlaceRun;
  gRun.selfDeletePending = c.selfDeletePending;
  gRun.cancelled = c.cancelled;
  gRun.rebootNeeded = c.rebootNeeded;

  EndOfRun();

  std::vector<std::string> expected;
  if (c.cleanupSwitch != nullptr) {
    expected.push_back(std::string(kStartCopy) + " " + c.cleanupSwitch + " " + kCleanupPaths);
  }
  if (c.restartProgramRun) expected.push_back(kStartRestart);
  EXPECT_EQ(WinExecs(), expected);
  for (const SimProcessStart& start : machine.processes) EXPECT_EQ(start.showState, kSwShow);
  EXPECT_EQ(machine.restartRequests, c.restartRequests);
  EXPECT_EQ(machine.FileExists(kOwnPath), !c.ownFilesDeleted);
  EXPECT_EQ(machine.FileExists(kOwnSettings), !c.ownFilesDeleted);
  // A restart handed to the clean-up run is no longer this run's.
  bool handedOver = c.cleanupSwitch != nullptr && std::string(c.cleanupSwitch) == "/z1" &&
                    c.platformKind == kPlatformNt;
  EXPECT_EQ(rebootAfterSelfRemoval, c.rebootNeeded && !handedOver);
}

constexpr int kNt = kPlatformNt;
constexpr int kOther = kPlatformOther;

INSTANTIATE_TEST_SUITE_P(
    Table, SelfRemovalDecisionTest,
    ::testing::Values(
        //            name                       kind  /Z     own    cancel reboot  switch  _MSRSTRT ExitW  deleted
        DecisionCase{"NtOwnFileNotListed",          kNt, false, false, false, false, nullptr, false, 0, false},
        DecisionCase{"NtOwnFileListed",             kNt, false, true,  false, false, "/z",    false, 0, false},
        DecisionCase{"NtOwnFileListedCancelled",    kNt, false, true,  true,  false, nullptr, false, 0, false},
        DecisionCase{"NtRestartHandedToCleanup",    kNt, false, true,  false, true,  "/z1",   false, 0, false},
        DecisionCase{"NtRestartNotListed",          kNt, false, false, false, true,  nullptr, true,  0, false},
        DecisionCase{"NtRestartCancelled",          kNt, false, true,  true,  true,  nullptr, true,  0, false},
        DecisionCase{"OtherOwnFileListed",          kOther, false, true,  false, false, "/z",    false, 0, false},
        DecisionCase{"OtherRestartHandedToCleanup", kOther, false, true,  false, true,  "/z1",   false, 0, false},
        DecisionCase{"OtherRestartNotListed",       kOther, false, false, false, true,  nullptr, false, 1, false},
        DecisionCase{"OtherRestartCancelled",       kOther, false, true,  true,  true,  nullptr, false, 1, false},
        DecisionCase{"OtherNoRestart",              kOther, false, false, false, false, nullptr, false, 0, false},
        DecisionCase{"NtInPlaceRestart",            kNt, true,  true,  false, true,  nullptr, true,  0, true},
        DecisionCase{"OtherInPlaceRestart",         kOther, true,  false, false, true,  nullptr, false, 1, true},
        DecisionCase{"InPlaceCancelled",            kOther, true,  true,  true,  false, nullptr, false, 0, false},
        DecisionCase{"InPlaceNoRestart",            kNt, true,  false, false, false, nullptr, false, 0, true}),
    [](const ::testing::TestParamInfo<DecisionCase>& info) { return info.param.name; });

// Restart declined at the question: rebootNeeded was cleared before the end of the run.
TEST_F(SelfRemovalTest, DeclinedRestartGivesACleanupRunWithoutTheFlag) {
  for (int kind : {kPlatformNt, kPlatformOther}) {
    machine.processes.clear();
    gRun.platformKind = kind;
    gRun.selfDeletePending = true;
    gRun.rebootNeeded = false;
    EndOfRun();
    EXPECT_EQ(WinExecs(), (std::vector<std::string>{std::string(kStartCopy) + " /z " + kCleanupPaths}))
        << kind;
    EXPECT_EQ(machine.restartRequests, 0);
  }
}

TEST_F(SelfRemovalTest, AnAppDirectoryWithoutTrailingBackslashGetsOne) {
  gRun.appDirectory.Set("C:\\Program Files\\Sample App");
  gRun.selfDeletePending = true;
  EndOfRun();
  EXPECT_EQ(WinExecs(), (std::vector<std::string>{std::string(kStartCopy) + " /z " + kCleanupPaths}));
}

// When the clean-up run cannot be started, nobody else would restart: this run does.
TEST_F(SelfRemovalTest, ACleanupRunThatDoesNotStartLeavesTheRestartHere) {
  ASSERT_EQ(machine.RemoveFile(kTempCopy), 0);
  for (int kind : {kPlatformNt, kPlatformOther}) {
    ResetRunWideState();
    machine.processes.clear();
    machine.restartRequests = 0;
    gRun.platformKind = kind;
    gRun.selfDeletePending = true;
    gRun.cancelled = false;
    gRun.rebootNeeded = true;
    EndOfRun();
    EXPECT_TRUE(rebootAfterSelfRemoval) << kind;
    if (kind == kPlatformNt) {
      EXPECT_EQ(WinExecs().back(), kStartRestart);
    } else {
      EXPECT_EQ(machine.restartRequests, 1);
    }
  }
}

// A program path that keeps a blank in short form cannot be handed over: the clean-up run
// would cut it at that blank and delete whatever the first part names.
TEST_F(SelfRemovalTest, APathWithABlankIsNeverHandedToTheCleanupRun) {
  machine.settings.modulePath = "C:\\No Short\\Names Here\\UNTARN32.EXE";  // not on disk
  gRun.platformKind = kPlatformNt;
  gRun.selfDeletePending = true;
  gRun.rebootNeeded = true;
  EndOfRun();
  EXPECT_EQ(WinExecs(), (std::vector<std::string>{kStartRestart}));
}

TEST_F(SelfRemovalTest, WriteRestartProgramWritesTheResource) {
  char path[256] = "stale";
  ASSERT_EQ(WriteRestartProgram(path, sizeof path), 0);
  EXPECT_STREQ(path, kRestartProgram);
  EXPECT_EQ(machine.FileContents(kRestartProgram), kRestartBytes);

  machine.settings.windowsDirectory = "C:\\";
  ASSERT_EQ(WriteRestartProgram(path, sizeof path), 0);
  EXPECT_STREQ(path, "C:\\_MSRSTRT.EXE");
}

TEST_F(SelfRemovalTest, WithoutTheResourceNothingIsWrittenOrStarted) {
  machine.resources.clear();
  char path[256];
  EXPECT_NE(WriteRestartProgram(path, sizeof path), 0);
  EXPECT_FALSE(machine.FileExists(kRestartProgram));
  gRun.rebootNeeded = true;
  gRun.platformKind = kPlatformNt;
  RestartIfNeeded();
  EXPECT_TRUE(WinExecs().empty());
}

// The clean-up run: what it deletes and removes, and its restart.
class CleanupRunTest : public SelfRemovalTest {
 protected:
  void SetUp() override {
    SelfRemovalTest::SetUp();
    Write("C:\\APP\\BIN\\UNTARN32.EXE", "MZ");
    ASSERT_EQ(machine.MakeDirectories("C:\\APP\\EMPTY"), 0);
  }
};

TEST_F(CleanupRunTest, DeletesTheProgramAndRemovesEmptiedDirectories) {
  RunCleanup("C:\\APP\\BIN\\UNTARN32.EXE C:\\APP\\");
  EXPECT_FALSE(machine.FileExists("C:\\APP\\BIN\\UNTARN32.EXE"));
  EXPECT_FALSE(machine.DirectoryExists("C:\\APP\\BIN"));
  EXPECT_FALSE(machine.DirectoryExists("C:\\APP"));
  ASSERT_FALSE(ui.pumpWaits.empty());
  EXPECT_EQ(ui.pumpWaits.front(), 1000);
  EXPECT_EQ(machine.restartRequests, 0);
  EXPECT_TRUE(WinExecs().empty());
}

TEST_F(CleanupRunTest, LeavesFilesThatAreNotItsOwn) {
  Write("C:\\APP\\USER.DAT", "data");
  RunCleanup("C:\\APP\\BIN\\UNTARN32.EXE C:\\APP\\");
  EXPECT_TRUE(machine.FileExists("C:\\APP\\USER.DAT"));
  EXPECT_FALSE(machine.DirectoryExists("C:\\APP\\EMPTY"));
  EXPECT_FALSE(machine.DirectoryExists("C:\\APP\\BIN"));
}

TEST_F(CleanupRunTest, AProgramPathEndingInABackslashDeletesNoFile) {
  Write("C:\\APP\\BIN\\KEEP.TXT", "x");
  RunCleanup("C:\\APP\\BIN\\");
  EXPECT_TRUE(machine.FileExists("C:\\APP\\BIN\\UNTARN32.EXE"));
  EXPECT_TRUE(machine.FileExists("C:\\APP\\BIN\\KEEP.TXT"));
}

TEST_F(CleanupRunTest, AProgramStillInUseStays) {
  ASSERT_EQ(machine.SetInUse("C:\\APP\\BIN\\UNTARN32.EXE", true), 0);
  RunCleanup("C:\\APP\\BIN\\UNTARN32.EXE C:\\APP\\");
  EXPECT_TRUE(machine.FileExists("C:\\APP\\BIN\\UNTARN32.EXE"));
  EXPECT_TRUE(machine.DirectoryExists("C:\\APP\\BIN"));
}

TEST_F(CleanupRunTest, RestartsOnZ1ByPlatformKind) {
  gRun.rebootNeeded = true;
  gRun.platformKind = kPlatformOther;
  RunCleanup("C:\\APP\\BIN\\UNTARN32.EXE C:\\APP\\");
  EXPECT_EQ(machine.restartRequests, 1);
  EXPECT_TRUE(WinExecs().empty());

  machine.restartRequests = 0;
  gRun.platformKind = kPlatformNt;
  RunCleanup("C:\\APP\\BIN\\UNTARN32.EXE C:\\APP\\");
  EXPECT_EQ(machine.restartRequests, 0);
  EXPECT_EQ(WinExecs(), (std::vector<std::string>{kStartRestart}));
  EXPECT_EQ(machine.FileContents(kRestartProgram), kRestartBytes);
}

}  // namespace
