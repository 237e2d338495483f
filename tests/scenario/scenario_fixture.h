// Whole runs on the simulated machine: a machine image, an install log, a command line and
// the user's answers go in; the machine is read back afterwards.
//
// The wizard is played by WizardUi: a user interface that forwards everything to the
// scripted SimUi and stands in for the wizard window, answering its pages as the test's
// WizardScript says (the method, rollback, the selections, Finish or Cancel).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/image/machine_image.h"
#include "platform/forwarding.h"
#include "platform/sim/sim_machine.h"
#include "run/run_flow.h"
#include "run/run_reset.h"
#include "run/self_removal.h"
#include "run/startup.h"
#include "ui/progress_geometry.h"
#include "uninstall/progman.h"

struct WizardScript {
  bool present = false;  // CreateWizard makes a window
  bool cancel = false;   // the user cancels on the first page
  int mode = kModeAutomatic;
  bool rollback = false;
  std::function<void()> select;  // sets `selected` flags as the category pages would
};

class WizardUi final : public ForwardingUi {
 public:
  explicit WizardUi(SimUi& sim) : ForwardingUi(sim), sim_(sim) {}

  WizardScript script;
  int wizardsCreated = 0;
  int waits = 0;
  // How many times the queue was looked at between the wizard's creation and each wait.
  std::vector<size_t> pumpsBeforeWait;
  std::string heading;

  WindowHandle CreateWizard(WindowHandle owner) override {
    if (!script.present) return 0;
    ++wizardsCreated;
    pumpsAtCreation_ = sim_.pumpWaits.size();
    sim_.wizardPresent = true;
    // The real wizard starts its animation timer when it is first painted.
    sim_.animationTimerMs = kAnimationPeriodMs;
    return 0x7000;
  }
  void EnterProgressMode(const char* text) override { heading = text; }
  // The user answers the pages while the run waits for a message.
  void WaitForMessage() override {
    ++waits;
    pumpsBeforeWait.push_back(sim_.pumpWaits.size() - pumpsAtCreation_);
    if (script.cancel) {
      gRun.cancelled = true;
      return;
    }
    gRun.uninstallMode = script.mode;
    gRun.rollbackChosen = script.rollback;
    if (script.select) script.select();
    gRun.wizardFinished = true;
  }

  void Destroy(WindowHandle window) override {
    if (window == 0x7000) {
      sim_.wizardPresent = false;
      return;
    }
    sim_.Destroy(window);
  }

 private:
  SimUi& sim_;
  size_t pumpsAtCreation_ = 0;
};

class ScenarioTest : public ::testing::Test {
 protected:
  // A fresh machine and user each time, so that a table-driven test can start every case
  // from scratch with TearDown(); SetUp().
  void SetUp() override {
    machinePtr = std::make_unique<SimMachine>();
    simPtr = std::make_unique<SimUi>();
    uiPtr = std::make_unique<WizardUi>(*simPtr);
    machine = machinePtr.get();
    sim = simPtr.get();
    ui = uiPtr.get();
    InstallPlatform(machine);
    InstallUserInterface(ui);
    ResetRunWideState();
    // The restart program that the Windows build embeds as resource 300/30202.
    machine->resources[(uint64_t{300} << 32) | 30202] = "MZ restart program";
  }
  void TearDown() override { ResetRunWideState(); }

  void LoadImage(const std::string& json) {
    MachineImage image;
    std::string error;
    ASSERT_EQ(0, ReadMachineImage(json, &image, &error)) << error;
    ASSERT_EQ(0, machine->ApplyImage(image, &error)) << error;
    LoadTextRules();
  }

  // Start-up and the run flow, as the Windows entry runs them.
  void Run(const char* commandLine) {
    if (RunStartup(commandLine) == kStartupRunFlow) RunFlow();
  }

  int Starts(SimProcessStart::Method method, const std::string& prefix = "") const {
    int n = 0;
    for (const SimProcessStart& start : machine->processes) {
      n += start.method == method && start.commandLine.compare(0, prefix.size(), prefix) == 0;
    }
    return n;
  }

  // Starts of the temporary copy (in a folder of its own under C:\TEMP) with switch.
  int CleanupStarts(const std::string& switchText) const {
    int n = 0;
    for (const SimProcessStart& start : machine->processes) {
      const std::string& line = start.commandLine;
      n += start.method == SimProcessStart::kWinExec && line.rfind("\"C:\\TEMP\\", 0) == 0 &&
           line.find("\\KTM1A2B.EXE\" " + switchText + " ") != std::string::npos;
    }
    return n;
  }

  std::unique_ptr<SimMachine> machinePtr;
  std::unique_ptr<SimUi> simPtr;
  std::unique_ptr<WizardUi> uiPtr;
  SimMachine* machine = nullptr;
  SimUi* sim = nullptr;
  WizardUi* ui = nullptr;
};
