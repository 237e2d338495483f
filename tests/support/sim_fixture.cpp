// The simulated-machine fixture and image loading for tests.
#include "support/sim_fixture.h"

#include "base/text.h"
#include "platform/image/machine_image.h"
#include "run/run_reset.h"

int LoadImageText(SimMachine& machine, const std::string& json, std::string* error) {
  MachineImage image;
  if (ReadMachineImage(json, &image, error) != 0) return 1;
  return machine.ApplyImage(image, error);
}

void SimFixture::SetUp() {
  machine_ = std::make_unique<SimMachine>();
  ui_ = std::make_unique<SimUi>();
  InstallPlatform(machine_.get());
  InstallUserInterface(ui_.get());
  LoadTextRules();
  ResetRunWideState();
}

void SimFixture::TearDown() {
  ResetRunWideState();
  // A later use of the seam without a machine stops at once instead of touching freed state.
  InstallPlatform(nullptr);
  InstallUserInterface(nullptr);
  ui_.reset();
  machine_.reset();
}

void SimFixture::LoadImage(const std::string& json) {
  std::string error;
  ASSERT_EQ(LoadImageText(*machine_, json, &error), 0) << error;
  LoadTextRules();
}
