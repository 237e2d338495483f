// A fresh simulated machine and scripted user for each test of the uninstall engine's
// units, with the run state and the item store reset and the code page rules loaded.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPlatform(&machine);
    InstallUserInterface(&ui);
    ResetRunWideState();
    LoadTextRules();
    gRun.platformKind = kPlatformNt;
    gRun.newShell = true;
    gRun.modulePath.Set("C:\\Program Files\\Sample App\\UNTARN32.EXE");
    gRun.programFilesDir.Set("C:\\Program Files");
    gStore.systemDirPath.Set("C:\\WINDOWS\\SYSTEM32");
  }
  void TearDown() override { ResetRunWideState(); }

  // The other platform kind: WININIT.INI instead of delayed moves, SYSTEM for System.
  void UseOtherPlatform() {
    machine.settings.ntFamily = false;
    machine.settings.systemDirectory = "C:\\WINDOWS\\SYSTEM";
    gRun.platformKind = kPlatformOther;
    gStore.systemDirPath.Set("C:\\WINDOWS\\SYSTEM");
  }

  void Write(const std::string& path, const std::string& contents = "x") {
    if (machine.WriteFile(path, contents) == 0) return;
    // The machine's set-up helper refuses files in a drive root; the file calls do not.
    FileHandle file = machine.CreateTruncated(path.c_str());
    ASSERT_NE(file, kNoFile) << path;
    EXPECT_EQ(machine.WriteBytes(file, contents.data(), static_cast<uint32_t>(contents.size())),
              static_cast<int>(contents.size()));
    machine.CloseFile(file);
  }

  // The strings of the NT kind's pending restart operations, in order ("" for the empty
  // target of a deletion).
  std::vector<std::string> PendingOperations() {
    uint32_t type = 0;
    std::string data;
    if (!machine.RegValue("HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                          "PendingFileRenameOperations", &type, &data)) {
      return {};
    }
    return RegStringsOf(data);
  }

  SimMachine machine;
  SimUi ui;
};
