// Deferred replacement: a backup copy goes back over its file now, or through a temporary
// copy at the next restart when the file is in use, on both platform kinds.
#include "uninstall/deferred.h"

#include <string>
#include <vector>

#include "run/run_reset.h"
#include "support/engine_fixture.h"
#include "support/fault_platform.h"
#include "uninstall/file_removal.h"

namespace {

using DeferredTest = EngineTest;

const char kTarget[] = "C:\\APP\\ENGINE.DLL";
const char kBackup[] = "C:\\APP\\BACKUP\\ENGINE.DLL";

TEST_F(DeferredTest, FreeTargetIsReplacedAtOnce) {
  Write(kTarget, "installed");
  Write(kBackup, "original");
  ScheduleReplace(kBackup, kTarget);
  EXPECT_EQ(machine.FileContents(kTarget), "original");
  EXPECT_FALSE(machine.FileExists(kBackup));
  EXPECT_FALSE(gRun.rebootNeeded);
  EXPECT_FALSE(machine.FileExists("C:\\APP\\~KTU0000.TMP"));
}

TEST_F(DeferredTest, InUseTargetOnTheNtKindGoesThroughTheFirstFreeTemporaryName) {
  struct Case {
    const char* name;
    std::vector<std::string> taken;
    const char* expected;
  };
  const Case cases[] = {
      {"first name free", {}, "C:\\APP\\~KTU0000.TMP"},
      {"first name taken", {"C:\\APP\\~KTU0000.TMP"}, "C:\\APP\\~KTU0001.TMP"},
      {"two taken", {"C:\\APP\\~ktu0000.tmp", "C:\\APP\\~KTU0001.TMP"}, "C:\\APP\\~KTU0002.TMP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRunWideState();
    gRun.platformKind = kPlatformNt;
    machine.RegRemoveRaw("HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                         "PendingFileRenameOperations");
    for (const std::string& path : c.taken) Write(path, "someone else's");
    Write(kTarget, "installed");
    Write(kBackup, "original");
    ASSERT_EQ(machine.SetInUse(kTarget, true), 0);

    ScheduleReplace(kBackup, kTarget);
    EXPECT_TRUE(gRun.rebootNeeded);
    EXPECT_FALSE(machine.FileExists(kBackup));
    EXPECT_EQ(machine.FileContents(kTarget), "installed");
    EXPECT_EQ(machine.FileContents(c.expected), "original");
    for (const std::string& path : c.taken) {
      EXPECT_EQ(machine.FileContents(path), "someone else's") << path;
    }
    // The target is deleted first, then the temporary copy moves onto it.
    std::vector<std::string> pending = PendingOperations();
    ASSERT_EQ(pending.size(), 4u);
    EXPECT_EQ(pending[0], std::string("\\??\\") + kTarget);
    EXPECT_EQ(pending[1], "");
    EXPECT_EQ(pending[2], std::string("\\??\\") + c.expected);
    EXPECT_EQ(pending[3], std::string("\\??\\") + kTarget);

    machine.SimulateRestart();
    EXPECT_EQ(machine.FileContents(kTarget), "original");
    EXPECT_FALSE(machine.FileExists(c.expected));
    for (const std::string& path : c.taken) machine.RemoveFile(path.c_str());
  }
}

TEST_F(DeferredTest, InUseTargetOnTheOtherKindIsARenameEntryOfShortNames) {
  UseOtherPlatform();
  const std::string target = "C:\\Program Files\\Sample App\\ENGINE.DLL";
  Write(target, "installed");
  Write(kBackup, "original");
  ASSERT_EQ(machine.SetInUse(target, true), 0);
  ScheduleReplace(kBackup, target.c_str());

  const SimNode* programFiles = machine.Find("C:\\Program Files");
  const SimNode* app = machine.Find("C:\\Program Files\\Sample App");
  ASSERT_NE(programFiles, nullptr);
  ASSERT_NE(app, nullptr);
  const std::string shortDir = "C:\\" + programFiles->shortName + "\\" + app->shortName;
  char value[260] = {};
  machine.ReadIniString("rename", (shortDir + "\\ENGINE.DLL").c_str(), "", value, sizeof value,
                        "WININIT.INI");
  EXPECT_EQ(std::string(value), shortDir + "\\~KTU0000.TMP");
  EXPECT_TRUE(gRun.rebootNeeded);
  EXPECT_FALSE(machine.FileExists(kBackup));
  EXPECT_TRUE(PendingOperations().empty());

  machine.SimulateRestart();
  EXPECT_EQ(machine.FileContents(target), "original");
}

TEST_F(DeferredTest, TargetGoesWhenNoCopyCanBeMade) {
  Write(kTarget, "installed");
  ScheduleReplace("C:\\APP\\BACKUP\\MISSING.DLL", kTarget);
  EXPECT_FALSE(machine.FileExists(kTarget));
  EXPECT_FALSE(gRun.rebootNeeded);
  EXPECT_FALSE(machine.FileExists("C:\\APP\\~KTU0000.TMP"));
}

TEST_F(DeferredTest, TemporaryNamesAreNeverReusedWithinARun) {
  ASSERT_EQ(machine.MakeDirectories("C:\\APP"), 0);
  char first[260];
  char second[260];
  UniqueTempName(kTarget, first, sizeof first);
  UniqueTempName("C:\\OTHER\\X.DLL", second, sizeof second);
  EXPECT_STREQ(first, "C:\\APP\\~KTU0000.TMP");
  EXPECT_STREQ(second, "C:\\OTHER\\~KTU0001.TMP");

  // The counter is 16-bit and wraps.
  gRun.tempNameCounter = 0xFFFF;
  UniqueTempName(kTarget, first, sizeof first);
  UniqueTempName(kTarget, second, sizeof second);
  EXPECT_STREQ(first, "C:\\APP\\~KTUffff.TMP");
  EXPECT_STREQ(second, "C:\\APP\\~KTU0000.TMP");

  // A buffer too small for the name gets nothing rather than a cut name.
  char small[12];
  UniqueTempName(kTarget, small, sizeof small);
  EXPECT_STREQ(small, "");
}

// A backup copy put over a file in use at the next restart: whichever call fails, on both
// platform kinds, the earlier data is not lost. After the restart the target holds it, or
// the backup copy still does; no temporary copy is left beside the target.
TEST_F(DeferredTest, AFailingCallNeverLosesTheBackupCopy) {
  for (bool nt : {true, false}) {
    bool injected = true;
    for (uint64_t k = 1; injected; ++k) {
      SCOPED_TRACE(std::string(nt ? "NT, " : "95, ") + std::to_string(k));
      gRun.platformKind = kPlatformNt;
      if (!nt) UseOtherPlatform();
      Write(kTarget, "installed");
      Write(kBackup, "original");
      ASSERT_EQ(machine.SetInUse(kTarget, true), 0);
      FaultPlatform fault(machine);
      fault.FailCall(k);
      InstallPlatform(&fault);
      RemoveFileItem(kTarget, kBackup, true);
      InstallPlatform(&machine);
      injected = fault.calls() >= k;
      machine.SimulateRestart();
      bool putBack = machine.FileContents(kTarget) == "original";
      bool kept = machine.FileContents(kBackup) == "original";
      EXPECT_TRUE(putBack || kept) << FaultOpName(fault.injectedOp());
      FindEntry entry;
      SearchHandle left = machine.FindFirst("C:\\APP\\~KTU*.TMP", &entry);
      EXPECT_EQ(left, kNoSearch) << FaultOpName(fault.injectedOp()) << ": " << entry.name;
      if (left != kNoSearch) {
        machine.FindEnd(left);
        machine.RemoveFile((std::string("C:\\APP\\") + entry.name).c_str());
      }
      ResetRunWideState();
    }
  }
}

}  // namespace
