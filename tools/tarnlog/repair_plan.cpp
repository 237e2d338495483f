// The plan of a repair (repair_plan.h). It walks the lists in the driver's order with the
// driver's own section rule and file check, so a file the plan names is one the repair
// would queue; it only reads the machine (no list file, no question, no program).
#include "tarnlog/repair_plan.h"

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "platform/platform.h"
#include "repair/file_check.h"
#include "repair/file_repair.h"
#include "repair/repair_driver.h"
#include "tarnlog/leftovers.h"
#include "tarnlog/load_log.h"
#include "tarnlog/machine_snapshot.h"

namespace {

const char* kRootNames[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};

std::string RootName(int root) {
  return root >= 0 && root <= 4 ? kRootNames[root] : "root " + std::to_string(root);
}

RepairPlanProgram* ProgramOf(RepairPlan* plan, int section) {
  // Sections whose sources differ only in case share one program, as their lists do.
  for (RepairPlanProgram& program : plan->programs) {
    if (EqualNoCase(SectionSource(program.section), SectionSource(section))) return &program;
  }
  RepairPlanProgram program;
  program.section = section;
  char path[256];
  const char* attributes = "";
  SplitRepairSource(SectionSource(section), path, sizeof path, &attributes);
  program.path = path;
  program.attributes = attributes;
  // The program lies on the installation media, which a copy of the machine leaves out:
  // its date, time and size are read where it is.
  OnSnapshotOriginal original;
  program.found = IsLoggedProgram(path, attributes);
  plan->programs.push_back(program);
  return &plan->programs.back();
}

void PlanFiles(const ItemList<FileItem>& files, bool missingFiles, RepairPlan* plan) {
  for (int32_t i = files.count - 1; i >= 0; --i) {
    const FileItem& item = *files[i];
    if (item.linkSpec != nullptr) {
      plan->links.push_back(item.path.c_str());
      continue;
    }
    StampVerdict verdict;
    {
      // A copy holds no contents of large files: the check reads the file itself.
      OnSnapshotOriginal original;
      verdict = CheckAgainstStamp(item.path.c_str(), item.stamp.c_str());
    }
    if (!IsChangedVerdict(verdict) && verdict != StampVerdict::kNewer) continue;
    int section = RepairSectionOf(item, missingFiles);
    if (!HasUsableSource(section)) {
      plan->unsourced.push_back(item.path.c_str());
      continue;
    }
    plan->files.push_back({item.path.c_str(), VerdictName(verdict), section});
    ProgramOf(plan, section)->files.push_back(item.path.c_str());
  }
}

}  // namespace

void RunRepairPlan(const std::string& switches, const char* logPath, RepairPlan* plan) {
  *plan = RepairPlan();
  StartRunAsProgram(switches, logPath);
  plan->loadResult = LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data());
  if (plan->loadResult != 0) return;
  PlanFiles(gStore.SystemFiles, false, plan);
  PlanFiles(gStore.PrivateFiles, false, plan);
  PlanFiles(gStore.MissingFiles, true, plan);
  const bool* rewritten = RewrittenRepairValues();
  for (int32_t i = 0; i < gStore.RepairValues.count; ++i) {
    const RepairValue& value = *gStore.RepairValues[i];
    if (value.item == nullptr || rewritten[i]) continue;
    std::string data = value.data != nullptr ? value.data : "";
    if (value.isChange) {
      const RegEditItem& owner = *static_cast<const RegEditItem*>(value.item);
      plan->values.push_back(RootName(owner.root) + "\\" + owner.key.c_str() + " " +
                             (owner.valueName.Empty() ? "(default)" : owner.valueName.c_str()) +
                             " = " + data);
    } else {
      const RegKeyItem& owner = *static_cast<const RegKeyItem*>(value.item);
      plan->values.push_back(RootName(owner.root) + "\\" + owner.key.c_str() + " " +
                             (owner.valueName.Empty() ? "(default)" : owner.valueName.c_str()) +
                             " = " + data);
    }
  }
  for (const ItemList<FileItem>* files : {&gStore.PrivateFiles, &gStore.SystemFiles}) {
    for (int32_t i = 0; i < files->count; ++i) {
      const FileItem& item = *(*files)[i];
      if (!item.path.Empty() && item.selfRegSection != 0)
        plan->servers.push_back(item.path.c_str());
    }
  }
  // The programs run from the newest section down.
  std::vector<RepairPlanProgram> ordered;
  for (int section = gStore.sectionCount; section >= 0; --section) {
    for (const RepairPlanProgram& program : plan->programs) {
      if (program.section == section) ordered.push_back(program);
    }
  }
  plan->programs = ordered;
}

void WriteRepairPlanJson(JsonWriter& w, const RepairPlan& plan) {
  JsonOpenObject(w);
  JsonKey(w, "files");
  JsonOpenArray(w);
  for (const RepairPlanFile& file : plan.files) {
    JsonOpenObject(w, true);
    JsonKey(w, "path");
    JsonText(w, file.path.c_str());
    JsonKey(w, "reason");
    JsonText(w, file.reason.c_str());
    JsonKey(w, "section");
    JsonNumber(w, file.section);
    JsonCloseObject(w);
  }
  JsonCloseArray(w);
  const std::pair<const char*, const std::vector<std::string>*> lists[] = {
      {"unsourced", &plan.unsourced},
      {"values", &plan.values},
      {"links", &plan.links},
      {"servers", &plan.servers}};
  for (const auto& list : lists) {
    JsonKey(w, list.first);
    JsonOpenArray(w);
    for (const std::string& text : *list.second) JsonText(w, text.c_str());
    JsonCloseArray(w);
  }
  JsonKey(w, "programs");
  JsonOpenArray(w);
  for (const RepairPlanProgram& program : plan.programs) {
    JsonOpenObject(w, true);
    JsonKey(w, "section");
    JsonNumber(w, program.section);
    JsonKey(w, "path");
    JsonText(w, program.path.c_str());
    JsonKey(w, "attributes");
    JsonText(w, program.attributes.c_str());
    JsonKey(w, "found");
    JsonBool(w, program.found);
    JsonKey(w, "files");
    JsonOpenArray(w);
    for (const std::string& file : program.files) JsonText(w, file.c_str());
    JsonCloseArray(w);
    JsonCloseObject(w);
  }
  JsonCloseArray(w);
  JsonCloseObject(w);
  w.out.push_back('\n');
}

std::string RepairPlanText(const RepairPlan& plan) {
  std::string text;
  for (const RepairPlanFile& file : plan.files) {
    text += "extract again: " + Utf8(file.path) + "\n    " + file.reason +
            (file.reason == "newer" ? " (the repair asks first)" : "") + "\n";
  }
  for (const std::string& path : plan.unsourced)
    text += "changed, no installation program to repair it: " + Utf8(path) + "\n";
  for (const std::string& value : plan.values) text += "write value: " + Utf8(value) + "\n";
  for (const std::string& link : plan.links) text += "write link: " + Utf8(link) + "\n";
  for (const std::string& server : plan.servers) text += "register: " + Utf8(server) + "\n";
  for (const RepairPlanProgram& program : plan.programs) {
    text += "run: \"" + Utf8(program.path) + "\" /X=<list of " +
            std::to_string(program.files.size()) + " files>\n    " +
            (program.found ? "found with the logged attributes "
                           : "not found with the logged attributes: the repair asks for ") +
            Utf8(program.attributes) + "\n";
  }
  text += "-- repair planned: " + std::to_string(plan.files.size()) + " files, " +
          std::to_string(plan.values.size()) + " values, " + std::to_string(plan.links.size()) +
          " links, " + std::to_string(plan.servers.size()) + " servers, " +
          std::to_string(plan.programs.size()) + " installation programs\n";
  return text;
}
