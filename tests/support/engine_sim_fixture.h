// The uninstall units' fixture (a fresh simulated machine and scripted user, the run state,
// the item store and the code page rules reset) with the settings file and the read-backs
// that the Program Manager, self-registration, status report, action display and
// self-removal tests use.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/engine_fixture.h"

class EngineSimTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    gRun.settingsFile.Set("C:\\WINDOWS\\UNTARN32.INI");
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
};
