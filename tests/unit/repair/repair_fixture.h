// A fresh simulated machine and scripted user for each repair test, with the run state and
// the item store reset, the code page rules loaded and the clock in UTC, and helpers that
// write files with a time and the stamps the installer would have logged for them.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#include "repair/crc32.h"
#include "run/run_reset.h"

class RepairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPlatform(&machine);
    InstallUserInterface(&ui);
    ResetRunWideState();
    machine.settings.timeZoneMinutes = 0;
    LoadTextRules();
    gRun.platformKind = kPlatformNt;
  }
  void TearDown() override { ResetRunWideState(); }

  // 15 March 2003, 10:20:30 plus the given seconds.
  static uint64_t When(int plusSeconds = 0) {
    return FileTimeFromUtc(2003, 3, 15, 10, 20, 30) +
           static_cast<uint64_t>(static_cast<int64_t>(plusSeconds) * 10000000);
  }

  void Put(const std::string& path, const std::string& contents, uint64_t lastWrite = When()) {
    ASSERT_EQ(machine.WriteFile(path, contents, lastWrite), 0) << path;
  }

  // The stamp the installer logs for contents written at 03-15-2003 10:20:30.
  static std::string StampFor(const std::string& contents,
                              const char* when = "03-15-2003 | 10:20:30") {
    char text[128];
    snprintf(text, sizeof text, " %s | 1.0 | %u | %08x", when,
             static_cast<unsigned>(contents.size()),
             Crc32Update(0, contents.data(), contents.size()));
    return text;
  }

  SimMachine machine;
  SimUi ui;
};
