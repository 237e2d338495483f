// The plan of an uninstall: the loader and the uninstall driver run against a machine that
// records every change asked of it, in order, together with the action lines and the
// questions of the run, and then what the run keeps of what the log names, with the reason
// (leftovers.h). The machine is a simulated one, so nothing real changes.
#pragma once

#include <string>
#include <vector>

#include "tarnlog/json_writer.h"
#include "tarnlog/leftovers.h"

struct PlanStep {
  std::string kind;  // "action", "changed" (a ChangedFile the action line names), "question",
                     // "delete", "rmdir", "mkdir", "move", "copy", "attributes", "write", "ini",
                     // "regset", "regdelvalue", "regdelkey", "regcreate", "service", "process",
                     // "library", "dde", "link", "restart", "broadcast", "kept"
  std::string text;      // what it touches, in one line
  Leftover kept;         // for "kept": the item, its kind and the reason it stays; for
                         // "changed": reason and detail of the ChangedFile
  bool unnamed = false;  // a kept item no action line names (they come last)
};

// A private file that is no longer the copy the installation wrote: the user edited or
// replaced it, so removing it removes the user's own work.
struct ChangedFile {
  std::string path;
  std::string reason;  // VerdictName: "older", "newer", "size" or "checksum"
  std::string detail;  // what differs, in words ("1203 bytes, logged 1200")
};

struct PlanResult {
  int loadResult = 0;  // the loader's: 0 loaded, 1 refused
  bool rollback = false;
  std::vector<ChangedFile> changed;  // in PrivateFiles order, found before the run
  std::vector<PlanStep> steps;
  int unexplained = 0;  // kept items without a reason
  bool cancelled = false;
  bool rebootNeeded = false;
  bool selfDeletePending = false;
  bool resumed = false;  // an interrupted run of the log left its journal: this plan finishes it
  bool endOnly = false;  // that run had done its work: only its end is left
};

// Loads logPath (on the installed platform, which should be a simulated machine) as a run
// with the given command-line switches ("/A /R" and the like) would, then runs the
// uninstall driver with every platform and user-interface call recorded. The method is
// Automatic: choosing items needs the wizard. Returns the steps in the order they happened;
// each item the run keeps follows the action line that names it (or comes at the end when
// none does) as a "kept" step. Before the run, every private file is checked against its
// stamp as a repair checks it; those the user changed are listed in result->changed and
// marked by a "changed" step after the action line that removes them.
void RunPlan(const std::string& switches, const char* logPath, PlanResult* result);

void WritePlanJson(JsonWriter& w, const PlanResult& result);
std::string PlanText(const PlanResult& result);
