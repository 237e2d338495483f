// Fuzzes ParseCommandLine and NormalizePath with arbitrary lines on a simulated machine.
// Input: byte 0 picks the code page (even: 1252, odd: 932) and, with byte 1, the buffer
// size handed to NormalizePath; the rest is the command line. The fields must stay
// terminated inside their widths and no byte past a buffer may be touched (ASan sees the
// exact-size heap buffer).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/sim/sim_machine.h"
#include "run/command_line.h"
#include "run/run_reset.h"

namespace {

struct Machine {
  SimMachine sim;
  SimUi ui;
  Machine() {
    InstallPlatform(&sim);
    InstallUserInterface(&ui);
    sim.WriteFile("C:\\Program Files\\My App\\INSTALL.LOG", "x");
    sim.WriteFile("C:\\Program Files\\My App\\Long Name Library.dll", "x");
    sim.MakeDirectories("C:\\Documents and Settings\\All Users");
  }
};

void Check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Machine machine;
  if (size < 2) return 0;
  uint32_t codePage = (data[0] & 1) ? 932 : 1252;
  if (machine.sim.settings.ansiCodePage != codePage) {
    machine.sim.settings.ansiCodePage = codePage;
    LoadTextRules();
  }
  size_t bufferSize = 1 + ((static_cast<size_t>(data[0] >> 1) << 8 | data[1]) % 300);
  std::string line(reinterpret_cast<const char*>(data + 2), size - 2);

  ResetRunWideState();
  ParseCommandLine(line.c_str());
  Check(gRun.logPath.Length() <= 255);
  Check(gRun.commandTitle.Length() <= 255);
  Check(gRun.hasCommandTitle == !gRun.commandTitle.Empty());
  Check(!gRun.cleanupRun || strcmp(gRun.cleanupArguments.c_str(), gRun.logPath.c_str()) == 0);
  // Outside a clean-up run the path holds no space (it ends at the first one).
  if (!gRun.cleanupRun) Check(FindChar(gRun.logPath.c_str(), ' ') == nullptr);

  std::vector<char> buffer(bufferSize);
  CopyText(buffer.data(), bufferSize, line.c_str());
  NormalizePath(buffer.data(), bufferSize, (data[1] & 1) != 0);
  Check(memchr(buffer.data(), '\0', bufferSize) != nullptr);
  return 0;
}
