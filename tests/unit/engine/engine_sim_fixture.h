// A fresh simulated machine and scripted user for each test of the Program Manager,
// self-registration, status report, action display and self-removal units, with the run
// state, the item store and the code page rules reset.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "log/item_store.h"
#include "platform/sim/sim_machine.h"
#include "run/run_state.h"

class EngineSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallPlatform(&machine);
    InstallUserInterface(&ui);
    ResetRunState();
    ResetItemStore();
    LoadTextRules();
    gRun.platformKind = kPlatformNt;
    gRun.settingsFile.Set("C:\\WINDOWS\\UNTARN32.INI");
  }
  void TearDown() override {
    ResetItemStore();
    ResetRunState();
  }

  void Write(const std::string& path, const std::string& contents = "x") {
    ASSERT_EQ(machine.WriteFile(path, contents), 0) << path;
  }

  // The command lines of every program start of the given kind, in order.
  std::vector<std::string> Starts(SimProcessStart::Method method) const {
    std::vector<std::string> lines;
    for (const SimProcessStart& start : machine.processes) {
      if (start.method == method) lines.push_back(start.commandLine);
    }
    return lines;
  }

  // The entry points called in the given library (matched by the end of its name), in order.
  std::vector<std::string> CallsOf(const std::string& library) const {
    std::vector<std::string> entries;
    for (const SimLibraryCall& call : machine.libraryCalls) {
      if (call.library.size() >= library.size() &&
          EqualNoCase(call.library.c_str() + call.library.size() - library.size(),
                      library.c_str())) {
        entries.push_back(call.entry);
      }
    }
    return entries;
  }

  SimMachine machine;
  SimUi ui;
};
