// The repair driver (repair_driver.h), pass by pass: the files of SystemFiles, PrivateFiles
// and MissingFiles from the last to the first (a link is written again, any other file is
// checked and queued), the logged registry values, the run of the installation programs,
// and the re-registration of servers. Cancel stops the registry and registration passes; the
// file passes only queue, so they run to the end, and what they queued is still extracted.
#include "repair/repair_driver.h"

#include <algorithm>

#include "base/message_text.h"
#include "base/run_state.h"
#include "base/text.h"
#include "engine/registry_value_write.h"
#include "engine/self_register.h"
#include "log/item_store.h"
#include "platform/platform.h"
#include "repair/file_repair.h"
#include "repair/shell_link.h"
#include "resource.h"
#include "ui/progress_display.h"

namespace {

// The label of every action line of the repair (text 84, "Checking:").
char gStepLabel[64];

void RepairFiles(const ItemList<FileItem>& files, bool missingFiles) {
  for (int32_t i = files.count - 1; i >= 0; --i) {
    const FileItem& item = *files[i];
    ShowLabelledAction(gStepLabel, item.path.c_str(), ActionForm::kFitted);
    if (item.linkSpec != nullptr) {
      RecreateShellLink(item.path.c_str(), item.linkSpec);
    } else {
      CheckAndQueueFile(item.path.c_str(), item.stamp.c_str(), RepairSectionOf(item, missingFiles));
    }
    gRun.progressPosition++;
  }
}

void WriteRepairValues() {
  const bool* rewritten = RewrittenRepairValues();
  for (int32_t i = 0; i < gStore.RepairValues.count && !gRun.cancelled; ++i) {
    const RepairValue& value = *gStore.RepairValues[i];
    if (value.item == nullptr || rewritten[i]) continue;
    const char* data = value.data != nullptr ? value.data : "";
    if (value.isChange) {
      const RegEditItem& owner = *static_cast<const RegEditItem*>(value.item);
      RegistryValueWrite(owner.root, owner.type, owner.key.c_str(), owner.valueName.c_str(), data,
                         true);
    } else {
      const RegKeyItem& owner = *static_cast<const RegKeyItem*>(value.item);
      RegistryValueWrite(owner.root, value.type, owner.key.c_str(), owner.valueName.c_str(), data,
                         true);
    }
  }
}

void RegisterServers(const ItemList<FileItem>& files) {
  for (int32_t i = 0; i < files.count && !gRun.cancelled; ++i) {
    const FileItem& item = *files[i];
    if (item.path.Empty() || item.selfRegSection == 0) continue;
    SelfRegister(gStepLabel, item.path.c_str(), kRegisterServer);
  }
}

// The value a RepairValue writes: root, key and name of its owner.
struct ValueName {
  int32_t root = 0;
  const char* key = "";
  const char* name = "";
};

ValueName NameOf(const RepairValue& value) {
  if (value.item == nullptr) return ValueName();
  if (value.isChange) {
    const RegEditItem& owner = *static_cast<const RegEditItem*>(value.item);
    return {owner.root, owner.key.c_str(), owner.valueName.c_str()};
  }
  const RegKeyItem& owner = *static_cast<const RegKeyItem*>(value.item);
  return {owner.root, owner.key.c_str(), owner.valueName.c_str()};
}

}  // namespace

const bool* RewrittenRepairValues() {
  const int32_t count = gStore.RepairValues.count;
  bool* rewritten = static_cast<bool*>(ArenaAllocate(static_cast<size_t>(count) + 1));
  int32_t* order =
      static_cast<int32_t*>(ArenaAllocate(sizeof(int32_t) * (static_cast<size_t>(count) + 1)));
  for (int32_t i = 0; i < count; ++i) {
    rewritten[i] = false;
    order[i] = i;
  }
  // The writings of one value next to each other, in log order.
  std::sort(order, order + count, [](int32_t a, int32_t b) {
    ValueName x = NameOf(*gStore.RepairValues[a]);
    ValueName y = NameOf(*gStore.RepairValues[b]);
    if (x.root != y.root) return x.root < y.root;
    int byKey = CompareNoCase(x.key, y.key);
    if (byKey != 0) return byKey < 0;
    int byName = CompareNoCase(x.name, y.name);
    if (byName != 0) return byName < 0;
    return a < b;
  });
  for (int32_t i = 0; i + 1 < count; ++i) {
    ValueName x = NameOf(*gStore.RepairValues[order[i]]);
    ValueName y = NameOf(*gStore.RepairValues[order[i + 1]]);
    rewritten[order[i]] =
        x.root == y.root && EqualNoCase(x.key, y.key) && EqualNoCase(x.name, y.name);
  }
  return rewritten;
}

int RepairSectionOf(const FileItem& item, bool missingFile) {
  if (!missingFile && item.infoSection != 0) return item.infoSection;
  return item.lastSection;
}

void RepairDriver() {
  gRun.repairMode = true;
  MessageText(IDS_REPAIR_STEP, gStepLabel, sizeof gStepLabel);
  PrepareRepairLists();
  if (!gRun.progressMode) StartProgressDisplay(IDS_REPAIR_HEADING);

  int32_t total = gStore.PrivateFiles.count + gStore.SystemFiles.count + gStore.IniFiles.count +
                  gStore.IniEdits.count + gStore.RegKeys.count + gStore.RegEdits.count +
                  gStore.Icons.count + gStore.Services.count;
  gRun.progressTotal = total > 0 ? total : 1;

  RepairFiles(gStore.SystemFiles, false);
  RepairFiles(gStore.PrivateFiles, false);
  RepairFiles(gStore.MissingFiles, true);
  WriteRepairValues();
  // Servers are registered once the files are back: a deleted server registers only after
  // its installation program has extracted it again.
  if (gRun.repairQueued) RunInstallationPrograms();
  DropRemainingListFiles();
  RegisterServers(gStore.PrivateFiles);
  RegisterServers(gStore.SystemFiles);
  ReportUnrepairedFiles();
}
