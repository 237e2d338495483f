// The plan of a repair on the sample application: the files it would have extracted again
// and why, the program it would run with them, and nothing changed on the machine.
#include "tarnlog/repair_plan.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"
#include "ui/console_ui.h"

namespace {

constexpr const char* kDir = "C:\\Program Files\\Fernhill\\Bramble Notes\\";

TEST(RepairPlan, NamesWhatTheRepairWouldExtractAndRun) {
  std::ifstream in(std::string(TARNLOG_SAMPLE_DIR) + "/image.json", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  MachineImage image;
  std::string error;
  ASSERT_EQ(ReadMachineImage(text.str(), &image, &error), 0) << error;
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
  ResetRunWideState();
}

}  // namespace
