// A fresh simulated machine and scripted user for each test of the run-control units, with
// the run state reset and the code page rules loaded from the machine.
#pragma once

#include <gtest/gtest.h>

#include "base/run_state.h"
#include "base/text.h"
#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"

class SimRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPlatform(&machine);
    InstallUserInterface(&ui);
    ResetRunWideState();
    LoadTextRules();
  }
  void TearDown() override {
    // The code page rules are process-wide; leave them as the next test expects them.
    machine.settings.ansiCodePage = 1252;
    LoadTextRules();
    ResetRunWideState();
  }
  // Switches the machine to a double-byte code page and reloads the rules.
  void UseCodePage(uint32_t codePage) {
    machine.settings.ansiCodePage = codePage;
    LoadTextRules();
  }

  SimMachine machine;
  SimUi ui;
};
