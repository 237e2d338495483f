// The contract suite against the simulated machine: one default machine for the whole run,
// as the Wine run has one prefix, so that each test must clean up after itself there too.
#include <gtest/gtest.h>

#include "base/text.h"
#include "contract/contract_support.h"
#include "platform/platform.h"
#include "platform/sim/sim_machine.h"

int main(int argc, char** argv) {
  static SimMachine machine;
  static SimUi ui;
  InstallPlatform(&machine);
  InstallUserInterface(&ui);
  machine.SuppressFileErrorBoxes();
  LoadTextRules();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
