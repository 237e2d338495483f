// The check after a run: loads a copy of the log saved before an uninstall (or, with
// rollback, a rollback) on the machine the run changed, and lists every item the log names
// that is still there, with the reason the run left it (leftovers.h).
#pragma once

#include <string>

#include "tarnlog/json_writer.h"
#include "tarnlog/leftovers.h"

struct VerifyResult {
  int loadResult = 0;  // the loader's: 0 loaded, 1 refused (the user interface was told why)
  bool rollback = false;
  std::string appTitle;
  int sections = 0;
  LeftoverReport report;
};

// Loads logPath on the installed platform as an automatic run (a rollback with rollback
// set) would, and checks the machine against it. Changes nothing.
void RunVerify(bool rollback, const char* logPath, VerifyResult* result);

// {"rollback", "items": [{"kind", "item", "reason", "detail"}], "notes", "unexplained"}
void WriteVerifyJson(JsonWriter& w, const VerifyResult& result);
std::string VerifyText(const VerifyResult& result);
