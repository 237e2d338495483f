// A simulated machine, a scripted user and an empty item store for each test of the
// uninstall driver, with helpers that add records to the store the way the loader would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/sim/sim_machine.h"
#include "run/run_reset.h"
#include "run/self_removal.h"
#include "uninstall/progman.h"

class DriverTest : public ::testing::Test {
 protected:
  static constexpr const char* kLog = "C:\\APP\\INSTALL.LOG";

  // A fresh machine and user each time, so that a table-driven test can start every case
  // from scratch with TearDown(); SetUp().
  void SetUp() override {
    machinePtr = std::make_unique<SimMachine>();
    uiPtr = std::make_unique<SimUi>();
    machine = machinePtr.get();
    ui = uiPtr.get();
    InstallPlatform(machine);
    InstallUserInterface(ui);
    ResetRunWideState();
    LoadTextRules();
    ui->wizardPresent = true;
    gRun.uninstallMode = kModeAutomatic;
    gRun.newShell = true;  // shared counts are kept from major version 4 on
    gRun.appTitle.Set("Sample");
    gStore.sectionCount = 1;
    gStore.profilesRoot.Set("*");
    gStore.commonProfileRoot.Set("*");
    machine->WriteFile(kLog, "*** Installation Started\r\n");
  }
  void TearDown() override { ResetRunWideState(); }

  FileItem* AddFile(ItemList<FileItem>& list, const std::string& path, uint16_t section = 1,
                    const std::string& contents = "data") {
    FileItem* item = NewItem<FileItem>();
    item->path.Set(path.c_str());
    item->firstSection = section;
    item->lastSection = section;
    item->backupSection = section;
    item->removeByDefault = 1;
    if (!contents.empty()) machine->WriteFile(path, contents);
    AppendItem(list, item);
    return item;
  }
  FileItem* AddPrivate(const std::string& path, uint16_t section = 1) {
    return AddFile(gStore.PrivateFiles, path, section);
  }
  DirItem* AddDirectory(const std::string& path, uint16_t section = 1, uint16_t tree = 0) {
    DirItem* item = NewItem<DirItem>();
    item->path.Set(path.c_str());
    item->dirSection = section;
    item->firstSection = section;
    item->treeSection = tree;
    machine->MakeDirectories(path);
    AppendItem(gStore.Directories, item);
    return item;
  }
  RegKeyItem* AddRegKey(const std::string& key, const std::string& value, uint16_t section = 1) {
    RegKeyItem* item = NewItem<RegKeyItem>();
    item->key.Set(key.c_str());
    item->valueName.Set(value.c_str());
    item->root = 2;
    item->section = section;
    item->firstSection = section;
    machine->RegSetRaw("HKLM\\" + key, value, kRegSz, RegStringBytes("x"));
    AppendItem(gStore.RegKeys, item);
    return item;
  }
  RegTreeItem* AddRegTree(const std::string& key, uint16_t section = 1) {
    RegTreeItem* item = NewItem<RegTreeItem>();
    item->key.Set(key.c_str());
    item->root = 2;
    item->section = section;
    item->firstSection = section;
    machine->RegSetRaw("HKLM\\" + key + "\\Sub", "v", kRegSz, RegStringBytes("x"));
    AppendItem(gStore.RegTrees, item);
    return item;
  }
  RegEditItem* AddRegEdit(const std::string& key, const std::string& value, const char* firstOld,
                          const char* lastOld, uint16_t section = 1) {
    RegEditItem* item = NewItem<RegEditItem>();
    item->key.Set(key.c_str());
    item->valueName.Set(value.c_str());
    item->root = 2;
    item->type = 0;  // REG_SZ in the log's numbering
    item->section = section;
    item->firstSection = section;
    CopyText(item->firstOldData, kOldDataSize, firstOld);
    CopyText(item->lastOldData, kOldDataSize, lastOld);
    AppendItem(gStore.RegEdits, item);
    return item;
  }
  IniFileItem* AddIniFile(const std::string& path, uint16_t section = 1) {
    IniFileItem* item = NewItem<IniFileItem>();
    item->path.Set(path.c_str());
    item->section = section;
    item->firstSection = section;
    machine->WriteFile(path, "[S]\r\nk=v\r\n");
    AppendItem(gStore.IniFiles, item);
    return item;
  }
  IniEditItem* AddIniEdit(const std::string& file, const char* section, const char* key,
                          const char* firstOld, const char* lastOld, uint16_t logSection = 1) {
    IniEditItem* item = NewItem<IniEditItem>();
    item->file.Set(file.c_str());
    item->sectionName.Set(section);
    item->key.Set(key);
    item->firstOldValue.Set(firstOld);
    item->lastOldValue.Set(lastOld);
    item->section = logSection;
    item->firstSection = logSection;
    AppendItem(gStore.IniEdits, item);
    return item;
  }
  ServiceItem* AddService(const std::string& name, uint16_t section = 1) {
    ServiceItem* item = NewItem<ServiceItem>();
    item->name.Set(name.c_str());
    item->section = section;
    item->firstSection = section;
    ServiceHandle manager = machine->ScmOpen(kScManagerAllAccess);
    machine->ServiceClose(machine->ServiceCreate(manager, name.c_str(), "C:\\APP\\SVC.EXE"));
    machine->ServiceClose(manager);
    AppendItem(gStore.Services, item);
    return item;
  }
  ProgramItem* AddProgram(const std::string& command, const std::string& display = "",
                          uint16_t section = 1) {
    ProgramItem* item = NewItem<ProgramItem>();
    item->command.Set(command.c_str());
    item->displayName.Set(display.c_str());
    item->section = section;
    item->firstSection = section;
    AppendItem(gStore.Programs, item);
    return item;
  }
  IconItem* AddIcon(const std::string& group, const std::string& title, const std::string& command,
                    uint16_t section = 1) {
    IconItem* item = NewItem<IconItem>();
    item->group.Set(group.c_str());
    item->title.Set(title.c_str());
    item->command.Set(command.c_str());
    item->section = section;
    item->firstSection = section;
    AppendItem(gStore.Icons, item);
    return item;
  }
  template <typename T>
  T* AddBackupItem(ItemList<T>& list, const std::string& path, const std::string& backup,
                   uint16_t section) {
    T* item = NewItem<T>();
    item->path.Set(path.c_str());
    item->backupPath.Set(backup.c_str());
    item->section = section;
    AppendItem(list, item);
    return item;
  }

  // The labels of every action line shown so far, in order (the text before the CR LF).
  std::vector<std::string> ActionLabels() const {
    std::vector<std::string> labels;
    for (const std::string& line : ui->actionLines) {
      std::string text = line.substr(line.rfind("\r\n\r\n", 0) == 0 ? 4 : 0);
      labels.push_back(text.substr(0, text.find("\r\n")));
    }
    return labels;
  }
  // The item text (after the label) of every action line with the given label.
  std::vector<std::string> ActionItems(const std::string& label) const {
    std::vector<std::string> items;
    for (const std::string& line : ui->actionLines) {
      std::string text = line.substr(line.rfind("\r\n\r\n", 0) == 0 ? 4 : 0);
      size_t br = text.find("\r\n");
      if (br != std::string::npos && text.substr(0, br) == label)
        items.push_back(text.substr(br + 2));
    }
    return items;
  }
  // Sets `cancelled` as soon as an action line with the label appears.
  void CancelAt(const std::string& label) {
    ui->pumpHook = [this, label](int) {
      if (!ui->actionLines.empty()) {
        const std::string& line = ui->actionLines.back();
        if (line.find(label + "\r\n") != std::string::npos) gRun.cancelled = true;
      }
    };
  }
  int Starts(SimProcessStart::Method method) const {
    int n = 0;
    for (const SimProcessStart& start : machine->processes) n += start.method == method;
    return n;
  }

  std::unique_ptr<SimMachine> machinePtr;
  std::unique_ptr<SimUi> uiPtr;
  SimMachine* machine = nullptr;
  SimUi* ui = nullptr;
};
