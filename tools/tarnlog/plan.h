// The plan of an uninstall: the loader and the uninstall driver run against a machine that
// records every change asked of it, in order, together with the action lines and the
// questions of the run. The machine is a simulated one, so nothing real changes.
#pragma once

#include <string>
#include <vector>

#include "tarnlog/json_writer.h"

struct PlanStep {
  std::string kind;    // "action", "question", "delete", "rmdir", "mkdir", "move", "copy",
                       // "attributes", "write", "ini", "regset", "regdelvalue", "regdelkey",
                       // "regcreate", "service", "process", "library", "dde", "link",
                       // "restart", "broadcast"
  std::string text;    // what it touches, in one line
};

struct PlanResult {
  int loadResult = 0;  // the loader's: 0 loaded, 1 refused
  std::vector<PlanStep> steps;
  bool cancelled = false;
  bool rebootNeeded = false;
  bool selfDeletePending = false;
};

// Loads logPath (on the installed platform, which should be a simulated machine) as a run
// with the given command-line switches ("/A /R" and the like) would, then runs the
// uninstall driver with every platform and user-interface call recorded. The method is
// Automatic: choosing items needs the wizard. Returns the steps in the order they happened.
void RunPlan(const std::string& switches, const char* logPath, PlanResult* result);

void WritePlanJson(JsonWriter& w, const PlanResult& result);
std::string PlanText(const PlanResult& result);
