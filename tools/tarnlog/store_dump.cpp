// The JSON form of the item store (store_dump.h). Field names are those of the record types
// in log/item_store.h, so a dump reads against the code without a legend.
#include "tarnlog/store_dump.h"

#include <unordered_map>

#include "base/run_state.h"
#include "log/item_store.h"

namespace {

void Field(JsonWriter& w, const char* name, const char* text) {
  JsonKey(w, name);
  JsonText(w, text);
}
void FieldOrNull(JsonWriter& w, const char* name, const char* text) {
  JsonKey(w, name);
  JsonTextOrNull(w, text);
}
void Field(JsonWriter& w, const char* name, int64_t number) {
  JsonKey(w, name);
  JsonNumber(w, number);
}
void FlagField(JsonWriter& w, const char* name, bool flag) {
  JsonKey(w, name);
  JsonBool(w, flag);
}

// An old-data list: strings one after another, ended by an empty string, inside a fixed
// field. A list that fills the field without its final empty string ends at the field.
void OldDataField(JsonWriter& w, const char* name, const char* data) {
  JsonKey(w, name);
  JsonOpenArray(w, true);
  size_t at = 0;
  while (at < kOldDataSize && data[at] != '\0') {
    std::string one;
    while (at < kOldDataSize && data[at] != '\0') one.push_back(data[at++]);
    JsonText(w, one.c_str());
    ++at;
  }
  JsonCloseArray(w);
}

void WriteHeader(JsonWriter& w) {
  JsonKey(w, "header");
  JsonOpenObject(w);
  Field(w, "appTitle", gRun.appTitle.c_str());
  Field(w, "appDirectory", gRun.appDirectory.c_str());
  Field(w, "statusMifName", gStore.statusMifName.c_str());
  Field(w, "manufacturer", gStore.manufacturer.c_str());
  Field(w, "product", gStore.product.c_str());
  Field(w, "versionNumber", gStore.versionNumber.c_str());
  Field(w, "serialNumber", gStore.serialNumber.c_str());
  FieldOrNull(w, "perUserId", gStore.perUserId);
  FlagField(w, "deleteInUse", gStore.deleteInUse);
  FlagField(w, "restorePointWanted", gRun.restorePointWanted);
  FlagField(w, "rollbackAvailable", gRun.rollbackAvailable);
  FlagField(w, "repairAvailable", gRun.repairAvailable);
  FieldOrNull(w, "subSystemName", gStore.subSystemName);
  Field(w, "sectionCount", gStore.sectionCount);
  Field(w, "lastSectionOffset", gStore.lastSectionOffset);
  Field(w, "profilesRoot", gStore.profilesRoot.c_str());
  Field(w, "commonProfileRoot", gStore.commonProfileRoot.c_str());
  Field(w, "systemDirPath", gStore.systemDirPath.c_str());
  JsonCloseObject(w);
}

void WriteSectionSources(JsonWriter& w) {
  JsonKey(w, "SectionSources");
  JsonOpenArray(w);
  for (int32_t i = 0; i <= gStore.sectionCount; ++i) {
    const char* source = nullptr;
    if (gStore.SectionSources != nullptr && i < gStore.sectionSourcesCapacity)
      source = gStore.SectionSources[i];
    JsonTextOrNull(w, source);
  }
  JsonCloseArray(w);
}

template <typename T, typename WriteRecord>
void WriteList(JsonWriter& w, const char* name, const ItemList<T>& list, WriteRecord write) {
  JsonKey(w, name);
  JsonOpenArray(w);
  for (int32_t i = 0; i < list.count; ++i) {
    JsonOpenObject(w, true);
    write(*list[i]);
    JsonCloseObject(w);
  }
  JsonCloseArray(w);
}

void WriteFileItem(JsonWriter& w, const FileItem& r) {
  Field(w, "path", r.path.c_str());
  Field(w, "backupPath", r.backupPath.c_str());
  Field(w, "stamp", r.stamp.c_str());
  FieldOrNull(w, "linkSpec", r.linkSpec);
  Field(w, "selected", r.selected);
  Field(w, "removeByDefault", r.removeByDefault);
  Field(w, "selfRegSection", r.selfRegSection);
  Field(w, "deviceSection", r.deviceSection);
  Field(w, "firstSection", r.firstSection);
  Field(w, "lastSection", r.lastSection);
  Field(w, "backupSection", r.backupSection);
  Field(w, "infoSection", r.infoSection);
  Field(w, "counterSection", r.counterSection);
  Field(w, "counterCount", r.counterCount);
}

// Where each registry record sits, so that a RepairValue can name its item by list and
// index rather than by an address that means nothing outside the process.
template <typename T>
std::unordered_map<const void*, int32_t> IndexOf(const ItemList<T>& list) {
  std::unordered_map<const void*, int32_t> index;
  index.reserve(static_cast<size_t>(list.count));
  for (int32_t i = 0; i < list.count; ++i) index.emplace(list[i], i);
  return index;
}

}  // namespace

void DumpStore(JsonWriter& w) {
  JsonOpenObject(w);
  WriteHeader(w);
  WriteSectionSources(w);

  auto file = [&](const FileItem& r) { WriteFileItem(w, r); };
  WriteList(w, "PrivateFiles", gStore.PrivateFiles, file);
  WriteList(w, "SystemFiles", gStore.SystemFiles, file);
  WriteList(w, "MissingFiles", gStore.MissingFiles, file);
  WriteList(w, "EditedFiles", gStore.EditedFiles, [&](const EditedFileItem& r) {
    Field(w, "path", r.path.c_str());
    Field(w, "backupPath", r.backupPath.c_str());
    Field(w, "section", r.section);
  });
  WriteList(w, "DeletedFiles", gStore.DeletedFiles, [&](const DeletedFileItem& r) {
    Field(w, "path", r.path.c_str());
    Field(w, "backupPath", r.backupPath.c_str());
    Field(w, "section", r.section);
  });
  WriteList(w, "Directories", gStore.Directories, [&](const DirItem& r) {
    Field(w, "path", r.path.c_str());
    Field(w, "selected", r.selected);
    Field(w, "treeSection", r.treeSection);
    Field(w, "dirSection", r.dirSection);
    Field(w, "firstSection", r.firstSection);
  });
  WriteList(w, "IniFiles", gStore.IniFiles, [&](const IniFileItem& r) {
    Field(w, "path", r.path.c_str());
    Field(w, "selected", r.selected);
    Field(w, "section", r.section);
    Field(w, "firstSection", r.firstSection);
  });
  WriteList(w, "IniEdits", gStore.IniEdits, [&](const IniEditItem& r) {
    Field(w, "file", r.file.c_str());
    Field(w, "sectionName", r.sectionName.c_str());
    Field(w, "key", r.key.c_str());
    Field(w, "firstOldValue", r.firstOldValue.c_str());
    Field(w, "lastOldValue", r.lastOldValue.c_str());
    Field(w, "selected", r.selected);
    Field(w, "section", r.section);
    Field(w, "firstSection", r.firstSection);
  });
  WriteList(w, "RegKeys", gStore.RegKeys, [&](const RegKeyItem& r) {
    Field(w, "key", r.key.c_str());
    Field(w, "valueName", r.valueName.c_str());
    Field(w, "rootText", r.rootText.c_str());
    Field(w, "root", r.root);
    Field(w, "selected", r.selected);
    Field(w, "section", r.section);
    Field(w, "firstSection", r.firstSection);
  });
  WriteList(w, "RegEdits", gStore.RegEdits, [&](const RegEditItem& r) {
    Field(w, "key", r.key.c_str());
    Field(w, "valueName", r.valueName.c_str());
    Field(w, "rootText", r.rootText.c_str());
    OldDataField(w, "firstOldData", r.firstOldData);
    OldDataField(w, "lastOldData", r.lastOldData);
    Field(w, "root", r.root);
    Field(w, "type", r.type);
    Field(w, "selected", r.selected);
    Field(w, "section", r.section);
    Field(w, "firstSection", r.firstSection);
  });
  WriteList(w, "RegTrees", gStore.RegTrees, [&](const RegTreeItem& r) {
    Field(w, "key", r.key.c_str());
    Field(w, "root", r.root);
    Field(w, "selected", r.selected);
    Field(w, "section", r.section);
    Field(w, "firstSection", r.firstSection);
  });

  std::unordered_map<const void*, int32_t> keyIndex = IndexOf(gStore.RegKeys);
  std::unordered_map<const void*, int32_t> editIndex = IndexOf(gStore.RegEdits);
  WriteList(w, "RepairValues", gStore.RepairValues, [&](const RepairValue& r) {
    Field(w, "isChange", r.isChange);
    Field(w, "type", r.type);
    JsonKey(w, "item");
    const auto& index = r.isChange ? editIndex : keyIndex;
    auto found = index.find(r.item);
    if (found == index.end()) {
      // Not a record of the list that isChange names: a loader fault worth seeing.
      JsonNull(w);
    } else {
      JsonOpenObject(w, true);
      Field(w, "list", r.isChange ? "RegEdits" : "RegKeys");
      Field(w, "index", found->second);
      JsonCloseObject(w);
    }
    FieldOrNull(w, "data", r.data);
  });
  WriteList(w, "Icons", gStore.Icons, [&](const IconItem& r) {
    Field(w, "group", r.group.c_str());
    Field(w, "title", r.title.c_str());
    Field(w, "command", r.command.c_str());
    Field(w, "selected", r.selected);
    Field(w, "section", r.section);
    Field(w, "firstSection", r.firstSection);
  });
  WriteList(w, "Programs", gStore.Programs, [&](const ProgramItem& r) {
    Field(w, "command", r.command.c_str());
    Field(w, "displayName", r.displayName.c_str());
    Field(w, "selected", r.selected);
    Field(w, "section", r.section);
    Field(w, "firstSection", r.firstSection);
  });
  WriteList(w, "Services", gStore.Services, [&](const ServiceItem& r) {
    Field(w, "name", r.name.c_str());
    Field(w, "selected", r.selected);
    Field(w, "section", r.section);
    Field(w, "firstSection", r.firstSection);
  });
  JsonCloseObject(w);
  w.out.push_back('\n');
}
