// The plan of an uninstall and the machine snapshot behind the Windows plan: a plan changes
// nothing on the machine it reads, records the run's changes in order, and a simulated
// copy made from a snapshot of a machine plans the same uninstall as the machine itself.
#include "tarnlog/plan.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "sample_image.h"
#include "tarnlog/machine_snapshot.h"
#include "ui/console_ui.h"

namespace {

constexpr const char* kLog = "C:\\Program Files\\Fernhill\\Bramble Notes\\INSTALL.LOG";

// The steps in one string per line, the kinds in the list left out.
std::string Steps(const PlanResult& result, const std::string& leaveOut = "") {
  std::string text;
  for (const PlanStep& step : result.steps)
    if (leaveOut.find(step.kind) == std::string::npos) text += step.kind + ": " + step.text + "\n";
  return text;
}

// The plan runs the uninstall for real on the simulated machine it is given (natively one
// seeded from an image, on Windows a copy): what it records must be what happened there.
TEST(Plan, RecordsTheChangesTheRunMakesInOrder) {
  SimMachine machine;
  std::string error;
  ASSERT_EQ(machine.ApplyImage(SampleImage(), &error), 0) << error;
  InstallPlatform(&machine);
  PlanResult result;
  RunPlan("/A", kLog, &result);
  ASSERT_EQ(result.loadResult, 0);
  std::string steps = Steps(result);

  // Every kind of change the sample calls for is there.
  EXPECT_NE(steps.find("delete: C:\\Program Files\\Fernhill\\Bramble Notes\\README.TXT\n"),
            std::string::npos)
      << steps;
  EXPECT_NE(steps.find("service: BrambleSync deleted"), std::string::npos) << steps;
  EXPECT_NE(steps.find("ini: C:\\windows\\fernhill.ini [Shared] Runtime=1.5"), std::string::npos)
      << steps;
  // The INI file is copied before its first entry is written, the copy deleted after.
  size_t guard = steps.find("copy: C:\\windows\\fernhill.ini -> C:\\windows\\~KTU");
  EXPECT_LT(guard, steps.find("ini: C:\\windows\\fernhill.ini")) << steps;
  EXPECT_NE(steps.find("delete: C:\\windows\\~KTU", guard), std::string::npos) << steps;
  EXPECT_NE(steps.find("regset: HKCR\\.txt (default) = \"txtfile\""), std::string::npos) << steps;
  EXPECT_NE(steps.find("process: "), std::string::npos) << steps;
  // An action line comes before the changes it announces.
  size_t action = steps.find("action: Deleting Service: BrambleSync");
  ASSERT_NE(action, std::string::npos) << steps;
  EXPECT_LT(action, steps.find("service: BrambleSync deleted"));
  // The recorded changes are the ones the simulated machine went through.
  EXPECT_FALSE(machine.FileExists("C:\\Program Files\\Fernhill\\Bramble Notes\\README.TXT"));
  EXPECT_EQ(machine.RegString("HKCR\\.txt", ""), "txtfile");
  EXPECT_TRUE(machine.services.empty());
}

TEST(Plan, RollbackTouchesOnlyTheLastSection) {
  SimMachine machine;
  std::string error;
  ASSERT_EQ(machine.ApplyImage(SampleImage(), &error), 0) << error;
  InstallPlatform(&machine);
  PlanResult result;
  RunPlan("/A /R", kLog, &result);
  ASSERT_EQ(result.loadResult, 0);
  std::string steps = Steps(result, "kept");
  // README.TXT came with section 1 only; Invoice.tpl with section 2.
  EXPECT_EQ(steps.find("README.TXT"), std::string::npos) << steps;
  EXPECT_NE(steps.find("Invoice.tpl"), std::string::npos) << steps;
  // What the rollback leaves is said, with the gate that kept it.
  EXPECT_NE(Steps(result).find("kept: C:\\Program Files\\Fernhill\\Bramble Notes\\README.TXT\n"),
            std::string::npos);
  for (const PlanStep& step : result.steps) {
    if (step.kind == "kept" && step.text.find("README.TXT") != std::string::npos) {
      EXPECT_EQ(step.kept.reason, kReasonEarlierSection);
      EXPECT_TRUE(step.unnamed);  // the gate keeps it before any action line
    }
  }
}

TEST(Plan, RefusedLogIsReported) {
  SimMachine machine;
  InstallPlatform(&machine);
  PlanResult result;
  RunPlan("/A", "C:\\NOWHERE\\INSTALL.LOG", &result);
  EXPECT_EQ(result.loadResult, 1);
  ASSERT_EQ(result.steps.size(), 1u);
  EXPECT_NE(result.steps[0].text.find("Could not open INSTALL.LOG file."), std::string::npos);
}

// The Windows plan runs on a copy made by SnapshotForLog. Made from a simulated machine, the
// copy must plan what the machine itself plans. Program Manager groups are not copied (the
// real one does not answer group requests), so the DDE steps are left out of the match.
TEST(Plan, SnapshotCopyPlansLikeTheOriginal) {
  SimMachine original;
  std::string error;
  ASSERT_EQ(original.ApplyImage(SampleImage(), &error), 0) << error;
  InstallPlatform(&original);
  ConsoleUi ui;
  InstallUserInterface(&ui);
  MachineImage snapshot;
  ASSERT_EQ(SnapshotForLog(kLog, &snapshot), 0);

  SimMachine copy;
  ASSERT_EQ(copy.ApplyImage(snapshot, &error), 0) << error;
  InstallPlatform(&copy);
  PlanResult fromCopy;
  RunPlan("/A", kLog, &fromCopy);

  InstallPlatform(&original);
  PlanResult fromOriginal;
  RunPlan("/A", kLog, &fromOriginal);
  ASSERT_EQ(fromOriginal.loadResult, 0);
  ASSERT_EQ(fromCopy.loadResult, 0);
  EXPECT_EQ(Steps(fromCopy, "dde"), Steps(fromOriginal, "dde"));
}

// Code page 932: the copy holds the folder of a file named with 表 (whose second byte is the
// backslash's) with the user's file in it, and both files of the folders ヂ and ア (whose
// second bytes are a letter in its two cases), so it plans what the machine does; and the
// old data ポ that the run writes back is shown whole.
TEST(Plan, SnapshotOfDoubleByteNamesPlansLikeTheOriginal) {
  SimMachine original;
  original.settings.ansiCodePage = 932;
  const char* log =
      "***  Installation Started 06/15/2001 10:12  ***\r\nTitle: DBCS\r\nMade Dir: C:\\App\r\n"
      "File Copy: C:\\App\\\x95\x5C\x8E\xA6.TXT\r\nFile Copy: C:\\\x83\x61\\A.DAT\r\n"
      "File Copy: C:\\\x83\x41\\A.DAT\r\nRegDB Key: Software\\\x95\x5C\r\nRegDB Val: new\r\n"
      "RegDB Name: Old\r\nRegDB Root: 2\r\nRegDB Old: \x83\x7C\r\n";
  for (const char* file : {"C:\\App\\INSTALL.LOG", "C:\\App\\\x95\x5C\x8E\xA6.TXT",
                           "C:\\App\\USER.TXT", "C:\\\x83\x61\\A.DAT", "C:\\\x83\x41\\A.DAT"})
    ASSERT_EQ(original.WriteFile(file, log), 0) << file;
  ASSERT_EQ(original.RegSetRaw("HKLM\\Software\\\x95\x5C", "Old", kRegSz, RegStringBytes("new")),
            0);
  InstallPlatform(&original);
  ConsoleUi ui;
  InstallUserInterface(&ui);
  MachineImage snapshot;
  ASSERT_EQ(SnapshotForLog("C:\\App\\INSTALL.LOG", &snapshot), 0);
  SimMachine copy;
  ASSERT_EQ(copy.ApplyImage(snapshot), 0);
  PlanResult plans[2];
  for (SimMachine* machine : {&copy, &original}) {
    InstallPlatform(machine);
    RunPlan("/A", "C:\\App\\INSTALL.LOG", &plans[machine == &original]);
  }
  ASSERT_EQ(plans[1].loadResult, 0);
  EXPECT_EQ(Steps(plans[0]), Steps(plans[1]));
  EXPECT_NE(Steps(plans[1]).find("Old = \"\x83\x7C\""), std::string::npos) << Steps(plans[1]);
  EXPECT_TRUE(original.FileExists("C:\\App\\USER.TXT"));
}

// Files the user changed after installing are named before anything is removed, each with
// what differs, and marked under the line that removes it; the run itself is the same as on
// an untouched machine. A removed file and an untouched one are not named.
TEST(Plan, NamesPrivateFilesChangedSinceInstallation) {
  SimMachine untouched;
  std::string error;
  ASSERT_EQ(untouched.ApplyImage(SampleImage(), &error), 0) << error;
  InstallPlatform(&untouched);
  PlanResult before;
  RunPlan("/A", kLog, &before);
  ASSERT_EQ(before.loadResult, 0);
  EXPECT_TRUE(before.changed.empty()) << before.changed[0].path;

  SimMachine machine;
  ASSERT_EQ(machine.ApplyImage(SampleImage(), &error), 0) << error;
  const std::string dir = "C:\\Program Files\\Fernhill\\Bramble Notes\\";
  machine.Find(dir + "README.TXT")->contents[0] ^= 1;                  // same time and length
  machine.Find(dir + "BRAMBLE.CNT")->contents += "!";                  // one byte longer
  machine.Find(dir + "Templates\\Memo.tpl")->lastWrite += 20000000;    // two seconds later
  machine.Find(dir + "Templates\\Letter.tpl")->lastWrite -= 20000000;  // two seconds earlier
  ASSERT_EQ(machine.RemoveFile((dir + "Templates\\Invoice.tpl").c_str()), 0);
  InstallPlatform(&machine);
  PlanResult result;
  RunPlan("/A", kLog, &result);
  ASSERT_EQ(result.loadResult, 0);

  std::string changed;
  for (const ChangedFile& file : result.changed)
    changed += file.path.substr(dir.size()) + " " + file.reason + ": " + file.detail + "\n";
  EXPECT_EQ(changed,
            "BRAMBLE.CNT size: 32 bytes, logged 31\n"
            "README.TXT checksum: same time and size, another CRC-32 than the logged 7d73e007\n"
            "Templates\\Letter.tpl older: last written 06-15-2001 10:12:28, logged "
            "06-15-2001 10:12:30\n"
            "Templates\\Memo.tpl newer: last written 06-15-2001 10:12:32, logged "
            "06-15-2001 10:12:30\n");

  // The mark follows the line that removes the file; apart from the marks and the removed
  // file, the run is the one on the untouched machine.
  std::string text = PlanText(result);
  EXPECT_NE(text.find("README.TXT\n    changed since installation: checksum: same time"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("Changed since installation (4 files"), 0u) << text;
  auto withoutRemoved = [](const std::string& steps) {
    std::string kept, line;
    std::istringstream in(steps);
    while (std::getline(in, line))
      if (line.find("Invoice.tpl") == std::string::npos) kept += line + "\n";
    return kept;
  };
  EXPECT_EQ(withoutRemoved(Steps(result, "changed")), withoutRemoved(Steps(before)));

  JsonWriter w;
  WritePlanJson(w, result);
  EXPECT_NE(w.out.find("{\"kind\": \"changed\", \"text\": \"C:\\\\Program Files\\\\Fernhill"
                       "\\\\Bramble Notes\\\\BRAMBLE.CNT\", \"reason\": \"size\""),
            std::string::npos)
      << w.out;
}

}  // namespace
