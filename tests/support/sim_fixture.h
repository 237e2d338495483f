// Test support over the simulated machine: a fixture that gives every test a fresh machine
// and scripted user, installed as the active back-ends, with the text rules loaded and the
// run state reset; and a helper that seeds a machine from a JSON machine image.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/sim/sim_machine.h"

// Seeds machine from the JSON text of a machine image; 0, or non-zero with *error set.
int LoadImageText(SimMachine& machine, const std::string& json, std::string* error);

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Seeds the machine from a JSON image (a failure fails the test) and reloads the text
  // rules, which depend on the image's code page.
  void LoadImage(const std::string& json);

  SimMachine& machine() { return *machine_; }
  SimUi& ui() { return *ui_; }

 private:
  std::unique_ptr<SimMachine> machine_;
  std::unique_ptr<SimUi> ui_;
};
