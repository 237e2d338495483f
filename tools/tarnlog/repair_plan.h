// The plan of a repair: what a repair of the loaded installation would do, found with the
// repair's own checks (repair/file_check.h, repair/file_repair.h) and changing nothing:
// each file it would have extracted again and why, the registry values it writes again,
// the links it writes again, the servers it registers again, and each installation program
// with its list and whether it is where the log says.
#pragma once

#include <string>
#include <vector>

#include "tarnlog/json_writer.h"

struct RepairPlanFile {
  std::string path;
  std::string reason;  // VerdictName: "missing", "unreadable", "older", "size", "checksum",
                       // "newer" (the repair would ask)
  int section = 0;
};

struct RepairPlanProgram {
  int section = 0;
  std::string path;                // as the log names it
  std::string attributes;          // date, time and size the log records
  bool found = false;              // that file is there with those attributes: no prompt
  std::vector<std::string> files;  // the list it would be run with, in order
};

struct RepairPlan {
  int loadResult = 0;
  std::vector<RepairPlanFile> files;
  std::vector<std::string> unsourced;  // changed files of sections without a source
  std::vector<std::string> values;
  std::vector<std::string> links;
  std::vector<std::string> servers;
  std::vector<RepairPlanProgram> programs;
};

// Loads logPath as a run with the given switches would, then plans the repair on the
// installed machine (only reading it).
void RunRepairPlan(const std::string& switches, const char* logPath, RepairPlan* plan);

void WriteRepairPlanJson(JsonWriter& w, const RepairPlan& plan);
std::string RepairPlanText(const RepairPlan& plan);
