// The machine image of the sample application (tests/data/sample), read for the tarnlog
// tests; a failure to read it fails the test that asked.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/image/machine_image.h"

inline MachineImage SampleImage() {
  std::ifstream in(std::string(TARNLOG_SAMPLE_DIR) + "/image.json", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  MachineImage image;
  std::string error;
  EXPECT_EQ(ReadMachineImage(text.str(), &image, &error), 0) << error;
  return image;
}
