// The plan of a repair on the sample application: the files it would have extracted again
// and why, the program it would run with them, and nothing changed on the machine.
#include "tarnlog/repair_plan.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"
#include "sample_image.h"
#include "tarnlog/load_log.h"
#include "tarnlog/machine_snapshot.h"
#include "ui/console_ui.h"

namespace {

constexpr const char* kDir = "C:\\Program Files\\Fernhill\\Bramble Notes\\";

TEST(RepairPlan, NamesWhatTheRepairWouldExtractAndRun) {
  MachineImage image = SampleImage();
  std::string error;
  SimMachine machine;
  ASSERT_EQ(machine.ApplyImage(image, &error), 0) << error;
  InstallPlatform(&machine);
  ConsoleUi console;
  InstallUserInterface(&console);

  std::string log = std::string(kDir) + "INSTALL.LOG";
  RepairPlan before;
  RunRepairPlan("", log.c_str(), &before);
  ASSERT_EQ(before.loadResult, 0);

  // The damage: one file edited in place (same time, same length), one removed, one longer.
  std::string readme = std::string(kDir) + "README.TXT";
  SimNode* node = machine.Find(readme);
  ASSERT_NE(node, nullptr);
  node->contents[0] ^= 1;
  node = machine.Find(std::string(kDir) + "BRAMBLE.CNT");
  ASSERT_NE(node, nullptr);
  node->contents += "!";
  ASSERT_EQ(machine.RemoveFile((std::string(kDir) + "BRAMBLE.HLP").c_str()), 0);

  RepairPlan plan;
  RunRepairPlan("", log.c_str(), &plan);
  ASSERT_EQ(plan.loadResult, 0);
  std::string reasons;
  for (const RepairPlanFile& file : plan.files) reasons += file.path + " " + file.reason + "\n";
  EXPECT_EQ(plan.files.size(), before.files.size() + 3) << reasons;
  EXPECT_NE(reasons.find(readme + " checksum\n"), std::string::npos) << reasons;
  EXPECT_NE(reasons.find("BRAMBLE.CNT size\n"), std::string::npos) << reasons;
  EXPECT_NE(reasons.find("BRAMBLE.HLP missing\n"), std::string::npos) << reasons;

  ASSERT_EQ(plan.programs.size(), 1u);
  EXPECT_EQ(plan.programs[0].path, "D:\\SETUP.EXE");
  EXPECT_EQ(plan.programs[0].attributes, "06-01-2001 | 09:00:00 | 412160");
  EXPECT_FALSE(plan.programs[0].found);  // not on this machine: the repair would ask
  EXPECT_EQ(plan.programs[0].files.size(), plan.files.size());
  EXPECT_FALSE(plan.links.empty());
  EXPECT_FALSE(plan.values.empty());
  EXPECT_NE(RepairPlanText(plan).find("extract again: " + readme + "\n    checksum\n"),
            std::string::npos);
  // Planning wrote no list file and ran nothing.
  EXPECT_TRUE(machine.processes.empty());
  EXPECT_EQ(machine.FindFirst("C:\\TEMP\\KTC*", nullptr), kNoSearch);
  ResetToolState();
}

// On Windows the plan runs on a copy of the machine, which holds neither the installation
// program (it lies on the media, which the log does not name as an item) nor the contents of
// large files. The program's attributes and the stamp checks are read on the machine itself.
TEST(RepairPlan, ReadsTheProgramAndTheFilesOnTheOriginalMachine) {
  SimMachine original;
  std::string error;
  ASSERT_EQ(original.ApplyImage(SampleImage(), &error), 0) << error;
  // The media as a folder (the simulated machine has no drive D: and no files in a root).
  const std::string log = std::string(kDir) + "INSTALL.LOG";
  std::string text = original.FileContents(log);
  for (size_t at; (at = text.find("D:\\SETUP.EXE")) != std::string::npos;)
    text.replace(at, 12, "C:\\Media\\SETUP.EXE");
  ASSERT_EQ(original.WriteFile(log, text), 0);
  ASSERT_EQ(original.WriteFile("C:\\Media\\SETUP.EXE", std::string(412160, 'x'),
                               FileTimeFromUtc(2001, 6, 1, 9, 0, 0)),
            0);
  InstallPlatform(&original);
  ConsoleUi console;
  InstallUserInterface(&console);
  MachineImage snapshot;
  ASSERT_EQ(SnapshotForLog(log.c_str(), &snapshot), 0);
  SimMachine copy;
  ASSERT_EQ(copy.ApplyImage(snapshot, &error), 0) << error;
  ASSERT_FALSE(copy.FileExists("C:\\Media\\SETUP.EXE"));
  // Changed on the machine after the copy was made: only a check there sees it.
  original.Find(std::string(kDir) + "README.TXT")->contents[0] ^= 1;

  RememberSnapshotOriginal(&original);
  InstallPlatform(&copy);
  RepairPlan plan;
  RunRepairPlan("", log.c_str(), &plan);
  ASSERT_EQ(plan.loadResult, 0);
  ASSERT_EQ(plan.programs.size(), 1u);
  EXPECT_TRUE(plan.programs[0].found) << RepairPlanText(plan);
  EXPECT_NE(RepairPlanText(plan).find("found with the logged attributes 06-01-2001"),
            std::string::npos);
  std::string reasons;
  for (const RepairPlanFile& file : plan.files) reasons += file.path + " " + file.reason + "\n";
  EXPECT_NE(reasons.find("README.TXT checksum\n"), std::string::npos) << reasons;
  EXPECT_EQ(&Sys(), &copy);  // the copy is installed again afterwards

  // Another size (or time) than the log's is not the logged program: the repair would ask.
  original.Find("C:\\Media\\SETUP.EXE")->contents += "x";
  RunRepairPlan("", log.c_str(), &plan);
  ASSERT_EQ(plan.programs.size(), 1u);
  EXPECT_FALSE(plan.programs[0].found);
  ResetToolState();
}

}  // namespace
