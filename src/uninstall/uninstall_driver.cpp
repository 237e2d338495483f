// The uninstall driver. Order of the work:
//   start      labels, section gate, progress total, the wizard's progress display
//   programs   the programs the log asks to run at uninstall time
//   rollback   deleted files put back from their backups
//   services   created services, then the database-engine sub-system (may abort the run)
//   INI        created INI files, changed INI entries
//   rollback   edited files put back from their backups
//   files      preparation (shared counts, unregistration, device lines) from last to
//              first, then removal of private and system files, then re-registration of
//              files put back by a rollback
//   log        deleted after an automatic uninstall, before the directories go
//   dirs       directories, with their contents where the run calls for it
//   log        cut back to the previous section by a rollback
//   registry   changed values restored, created values and keys, whole trees
//   icons      Program Manager icons and emptied groups
//   records    the per-user clean-up program and the repair record
// The order matters: programs run while the application is still whole, files are
// unregistered before they go, and the log goes before the directory pass so that the
// application's directory can be removed.
#include "uninstall/uninstall_driver.h"

#include <cstdio>
#include <cstring>

#include "base/message_text.h"
#include "base/path_helpers.h"
#include "base/repair_record.h"
#include "base/run_state.h"
#include "base/text.h"
#include "engine/registry_value_write.h"
#include "engine/self_register.h"
#include "log/item_store.h"
#include "log/run_journal.h"
#include "platform/platform.h"
#include "resource.h"
#include "ui/progress_display.h"
#include "uninstall/file_removal.h"
#include "uninstall/ini_guard.h"
#include "uninstall/pass_gates.h"
#include "uninstall/path_set.h"
#include "uninstall/progman.h"
#include "uninstall/registry_removal.h"
#include "uninstall/services_devices.h"
#include "uninstall/shared_dlls.h"

namespace {

constexpr size_t kLabelSize = 64;

constexpr const char* kPerUserKey = "Software\\Tarn Solutions\\TamUser";
constexpr int kRootLocalMachine = 2;

// The action labels, each ending in CR LF so that the item stands on the next line.
enum LabelIndex {
  kLabelFile,        // 29 "Removing File:"
  kLabelSystemFile,  // 30 "Removing System File:"
  kLabelDirectory,   // 31 "Removing Directory:"
  kLabelEmptyDirs,   // 32 "Removing Empty Directories:"
  kLabelIniFile,     // 33 "Removing INI File:"
  kLabelIniEdit,     // 34 "Editing INI File:"
  kLabelRegKey,      // 35 "Removing Registration Database Key:"
  kLabelRegEdit,     // 36 "Editing Registration Database Key:"
  kLabelIcon,        // 37 "Removing Icon:"
  kLabelUnregister,  // 40 "Self-Unregistering file:"
  kLabelSubSystem,   // 44 "Removing Sub-System:"
  kLabelRegTree,     // 56 "Removing Registration Database Key Sub-Tree:"
  kLabelProgram,     // 57 "Executing External Program:"
  kLabelService,     // 58 "Deleting Service:"
  kLabelCount
};
constexpr int kLabelIds[kLabelCount] = {
    IDS_LABEL_FILE,     IDS_LABEL_SYSTEM_FILE, IDS_LABEL_DIRECTORY,  IDS_LABEL_EMPTY_DIRECTORIES,
    IDS_LABEL_INI_FILE, IDS_LABEL_INI_EDIT,    IDS_LABEL_REG_KEY,    IDS_LABEL_REG_EDIT,
    IDS_LABEL_ICON,     IDS_LABEL_UNREGISTER,  IDS_LABEL_SUB_SYSTEM, IDS_LABEL_REG_TREE,
    IDS_LABEL_PROGRAM,  IDS_LABEL_SERVICE};

char gLabels[kLabelCount][kLabelSize];

using Gates = PassGates;

void ShowItemAction(LabelIndex label, const char* item, ActionForm form) {
  ShowLabelledAction(gLabels[label], item, form);
}

bool Cancelled() { return gRun.cancelled; }

// Counted passes advance the bar for every item they visit, processed or not.
void CountVisit() { ++gRun.progressPosition; }

void RunPrograms(const Gates& g) {
  ItemList<ProgramItem>& list = gStore.Programs;
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    ProgramItem* item = list[i];
    if (!SelectionPasses(g, item->selected) || item->section < g.minSection) continue;
    if (EarlierSectionKeeps(g, item->firstSection)) continue;
    // The short form keeps blanks out of the path, so the split below only finds the
    // blanks that separate the arguments.
    if (FindChar(item->command.c_str(), '\\') != nullptr) {
      NormalizePath(item->command.data(), item->command.kCapacity, false);
    }
    const char* shown =
        item->displayName.Empty() ? item->command.c_str() : item->displayName.c_str();
    ShowItemAction(kLabelProgram, shown, ActionForm::kPlain);
    char program[sizeof item->command.text];
    char arguments[sizeof item->command.text];
    SplitProgramCommand(item->command.c_str(), g.automatic ? "Automatic" : "Custom", program,
                        arguments, sizeof program);
    RunAndWait(program, arguments);
  }
}

// Puts the backup copies of deleted or edited files back (rollback only).
template <typename T>
void RestoreBackups(const Gates& g, ItemList<T>& list) {
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    T* item = list[i];
    if (item->section < g.minSection || !FileExists(item->backupPath.c_str())) continue;
    RemoveFileItem(item->path.c_str(), item->backupPath.c_str(), true);
  }
}

void RemoveServices(const Gates& g) {
  ItemList<ServiceItem>& list = gStore.Services;
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    ServiceItem* item = list[i];
    CountVisit();
    if (!SelectionPasses(g, item->selected) || item->section < g.minSection) continue;
    if (EarlierSectionKeeps(g, item->firstSection)) continue;
    ShowItemAction(kLabelService, item->name.c_str(), ActionForm::kPlain);
    RemoveService(item->name.c_str());
    // The service manager finishes a deletion in the background; give it time before
    // the files of the service are removed.
    PumpMessages(3500);
  }
}

// 0, or kRunAborted when the user chose Abort in the database engine's question.
int ReleaseSubSystem(const Gates& g) {
  const char* name = gStore.subSystemName;
  if (Cancelled() || name == nullptr || name[0] == '\0') return 0;
  if (!g.automatic && gStore.subSystemSelected == 0) return 0;
  // A rollback releases the engine only when the last installation was the one to set it up.
  if (gStore.subSystemSection < g.minSection) return 0;
  if (EarlierSectionKeeps(g, gStore.subSystemFirstSection)) return 0;
  ShowItemAction(kLabelSubSystem, name, ActionForm::kPlain);
  return ReleaseDatabaseEngine();
}

void RemoveIniFiles(const Gates& g) {
  ItemList<IniFileItem>& list = gStore.IniFiles;
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    IniFileItem* item = list[i];
    CountVisit();
    if (!SelectionPasses(g, item->selected) || item->section < g.minSection) continue;
    if (EarlierSectionKeeps(g, item->firstSection)) continue;
    ShowItemAction(kLabelIniFile, item->path.c_str(), ActionForm::kPlain);
    Sys().SetAttributes(item->path.c_str(), kAttrNormal);
    DeleteFileNow(item->path.c_str());
  }
}

void RestoreIniEdits(const Gates& g) {
  ItemList<IniEditItem>& list = gStore.IniEdits;
  // Writing entries never removes a file, so an INI file found once stays found for the
  // rest of the pass: one existence test per file, not per entry.
  static PathSet existingFiles;
  existingFiles.Clear();
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    IniEditItem* item = list[i];
    CountVisit();
    if (!SelectionPasses(g, item->selected) || item->section < g.minSection) continue;
    // Writing an entry would create a file the user has since removed.
    if (!existingFiles.Contains(item->file.c_str())) {
      if (!FileExists(item->file.c_str())) continue;
      if (!existingFiles.Add(item->file.c_str())) {
        existingFiles.Clear();
        existingFiles.Add(item->file.c_str());
      }
      GuardIniFile(item->file.c_str());
    }
    ShowItemAction(kLabelIniEdit, item->file.c_str(), ActionForm::kPlain);
    const char* value = g.rollback ? item->lastOldValue.c_str() : item->firstOldValue.c_str();
    // An empty old value means the entry did not exist before: delete it.
    Sys().WriteIniString(item->sectionName.c_str(), item->key.c_str(),
                         value[0] == '\0' ? nullptr : value, item->file.c_str());
  }
  ReleaseIniGuards();
}

int SharedAnswer(const Gates& g, const FileItem* item) {
  if (item->counterSection < g.minSection) return kSharedNotCounted;
  return ReleaseSharedFile(item->path.c_str(), item->counterCount);
}

// A file that stays loses its path so that no later pass touches it; in a rollback a file
// whose backup is put back keeps it, because the removal pass restores the backup.
void KeepFile(const Gates& g, FileItem* item) {
  if (g.rollback && BackupOfThisSection(g, *item)) return;
  item->path.Clear();
}

// Unregisters the file and removes its device lines, unless a rollback puts an older copy
// back (that copy keeps the registration and lines it had).
void UndoFileRegistrations(const Gates& g, FileItem* item) {
  if (!FileGoesForGood(g, *item)) return;
  if (item->selfRegSection >= g.minSection) {
    SelfRegister(gLabels[kLabelUnregister], item->path.c_str(), kUnregisterServer);
  }
  if (item->deviceSection >= g.minSection) RemoveDeviceLines(item->path.c_str());
}

void PreparePrivateFiles(const Gates& g) {
  ItemList<FileItem>& list = gStore.PrivateFiles;
  for (int32_t i = list.count - 1; i >= 0 && !Cancelled(); --i) {
    FileItem* item = list[i];
    if (!PreparationTakesFile(g, *item, false)) continue;
    int answer = SharedAnswer(g, item);
    if (answer == kSharedKeep || EarlierInstallationKeepsFile(g, *item)) {
      KeepFile(g, item);
    } else {
      UndoFileRegistrations(g, item);
    }
  }
}

void PrepareSystemFiles(const Gates& g) {
  ItemList<FileItem>& list = gStore.SystemFiles;
  for (int32_t i = list.count - 1; i >= 0 && !Cancelled(); --i) {
    FileItem* item = list[i];
    if (!PreparationTakesFile(g, *item, true)) continue;
    int answer = SharedAnswer(g, item);
    if (answer == kSharedKeep || EarlierInstallationKeepsFile(g, *item)) {
      KeepFile(g, item);
    } else if (answer == kSharedRemove) {
      item->selected = 1;
    }
    if (item->selected != 0 && !item->path.Empty()) UndoFileRegistrations(g, item);
  }
}

// True when the path lies under one of the profile folders, whose directories belong to
// the user's Start Menu and are never removed here.
bool UnderProfileRoot(const char* path) {
  return StartsWithNoCase(path, gStore.profilesRoot.c_str()) ||
         StartsWithNoCase(path, gStore.commonProfileRoot.c_str());
}

// A removed file's directory goes when it is empty. The attempts wait for the end of the
// pass (or for a full set): trying after every file costs a failed call per file while the
// folder still holds files, and directories only get emptier, so the end state is the same.
PathSet gEmptiedFolders;

void RemoveEmptiedFolders() {
  for (int i = 0; i < gEmptiedFolders.count; ++i)
    RemoveEmptiedFolder(gEmptiedFolders.paths[i].c_str());
  gEmptiedFolders.Clear();
}

void RemovePrivateFiles(const Gates& g) {
  ItemList<FileItem>& list = gStore.PrivateFiles;
  gEmptiedFolders.Clear();
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    FileItem* item = list[i];
    CountVisit();
    if (!RemovalTakesFile(g, *item, false)) continue;
    if (RemoveFileItem(item->path.c_str(), item->backupPath.c_str(), RestoresBackup(g, *item)) != 0)
      continue;
    ShowItemAction(kLabelFile, item->path.c_str(), ActionForm::kFitted);
    if (UnderProfileRoot(item->path.c_str())) continue;
    char directory[sizeof item->path.text];
    CopyText(directory, sizeof directory, item->path.c_str());
    if (!CutAtLastBackslash(directory)) continue;
    if (!gEmptiedFolders.Add(directory)) {
      RemoveEmptiedFolders();
      gEmptiedFolders.Add(directory);
    }
  }
  RemoveEmptiedFolders();
}

void RemoveSystemFiles(const Gates& g) {
  ItemList<FileItem>& list = gStore.SystemFiles;
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    FileItem* item = list[i];
    CountVisit();
    if (!RemovalTakesFile(g, *item, true)) continue;
    if (RemoveFileItem(item->path.c_str(), item->backupPath.c_str(), RestoresBackup(g, *item)) != 0)
      continue;
    ShowItemAction(kLabelSystemFile, item->path.c_str(), ActionForm::kFitted);
  }
}

// Registers the files a rollback put back, as the older installation had them.
void ReregisterRestored(const Gates& g, ItemList<FileItem>& list, bool privateFiles) {
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    FileItem* item = list[i];
    if (item->path.Empty()) continue;
    bool chosen =
        privateFiles ? (g.automatic && (item->removeByDefault != 0 || !item->backupPath.Empty())) ||
                           item->selected != 0
                     : item->selected != 0 || !item->backupPath.Empty();
    if (!chosen || item->lastSection < g.minSection) continue;
    if (!BackupOfThisSection(g, *item) || item->selfRegSection < g.minSection) continue;
    SelfRegister(gLabels[kLabelUnregister], item->path.c_str(), kRegisterServer);
  }
}

// True when the folder holds the log (at any depth): it waits for the end of the run, since
// the log (and the journal beside it) stays until the work it describes is done.
bool HoldsTheLog(const char* folder, const char* longLogPath) {
  char inside[kPathSize];
  if (!JoinPath(inside, sizeof inside, folder, "\\", "")) return false;
  char canonical[kPathSize];
  if (CanonicalPath(folder, canonical, sizeof canonical)) EnsureTrailingBackslash(canonical, sizeof canonical);
  return StartsWithNoCase(longLogPath, inside) ||
         (canonical[0] != '\0' && StartsWithNoCase(longLogPath, canonical));
}

void RemoveDirectories(const Gates& g, const char* longLogPath) {
  ItemList<DirItem>& list = gStore.Directories;
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    DirItem* item = list[i];
    CountVisit();
    if (!SelectionPasses(g, item->selected) || item->dirSection < g.minSection) continue;
    if (EarlierSectionKeeps(g, item->firstSection)) continue;
    bool withContents = g.custom || item->treeSection >= g.minSection;
    DropTrailingBackslash(item->path.data());
    if (HoldsTheLog(item->path.c_str(), longLogPath)) {
      NoteEndFolder(item->path.c_str(), withContents);
      continue;
    }
    ShowItemAction(withContents ? kLabelDirectory : kLabelEmptyDirs, item->path.c_str(),
                   ActionForm::kFitted);
    RemoveDirectoryTree(item->path.c_str(), withContents);
  }
}

// What becomes of the log at the end of the work: an automatic uninstall deletes it (0); a
// rollback leaves it as it was before the last installation, without its last section (or
// deletes it when that was the only one); a custom run keeps it (-1).
int64_t LogFate(const Gates& g) {
  if (g.rollback) return gStore.lastSectionOffset;
  return g.automatic ? 0 : -1;
}

void CutLogTo(const char* logPath, int64_t length) {
  if (length == 0) {
    DeleteFileNow(logPath);
    return;
  }
  Platform& sys = Sys();
  FileHandle log = sys.OpenForWrite(logPath);
  if (log == kNoFile) return;
  // Cut only once: a run that ends an interrupted one may find it cut already.
  int64_t size = sys.Seek(log, 0, kSeekEnd);
  if (size > length) sys.SetLength(log, length);
  sys.CloseFile(log);
}

void RestoreRegEdits(const Gates& g) {
  ItemList<RegEditItem>& list = gStore.RegEdits;
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    RegEditItem* item = list[i];
    CountVisit();
    if (!SelectionPasses(g, item->selected) || item->section < g.minSection) continue;
    ShowItemAction(kLabelRegEdit, item->key.c_str(), ActionForm::kCapped);
    // Written back once: a run started again after a kill does not write it a second time.
    if (IsValueRestored(item->root, item->key.c_str(), item->valueName.c_str())) continue;
    // A key removed since the installation is not made again.
    RegistryValueWrite(item->root, item->type, item->key.c_str(), item->valueName.c_str(),
                       g.rollback ? item->lastOldData : item->firstOldData, false);
    // Noted once written: a kill between the two only makes the next run write the same old
    // data again, where a note made first would leave the value as the installation set it.
    NoteValueRestored(item->root, item->key.c_str(), item->valueName.c_str());
  }
}

// Keys go from the last logged to the first, so that subkeys go before their parents.
void RemoveRegKeys(const Gates& g) {
  ItemList<RegKeyItem>& list = gStore.RegKeys;
  OpenKeyCache openKeys;  // closed when the pass ends
  for (int32_t i = list.count - 1; i >= 0 && !Cancelled(); --i) {
    RegKeyItem* item = list[i];
    CountVisit();
    if (!SelectionPasses(g, item->selected) || item->section < g.minSection) continue;
    if (EarlierSectionKeeps(g, item->firstSection)) continue;
    ShowItemAction(kLabelRegKey, item->key.c_str(), ActionForm::kCapped);
    RemoveCreatedKey(item->root, item->key.data(), item->key.kCapacity, item->valueName.c_str(),
                     &openKeys);
  }
}

void RemoveRegTrees(const Gates& g) {
  ItemList<RegTreeItem>& list = gStore.RegTrees;
  for (int32_t i = list.count - 1; i >= 0 && !Cancelled(); --i) {
    RegTreeItem* item = list[i];
    CountVisit();
    if (!SelectionPasses(g, item->selected) || item->section < g.minSection) continue;
    if (EarlierSectionKeeps(g, item->firstSection)) continue;
    ShowItemAction(kLabelRegTree, item->key.c_str(), ActionForm::kCapped);
    DeleteKeyTree(item->root, item->key.c_str());
  }
}

void RemoveIcons(const Gates& g) {
  ItemList<IconItem>& list = gStore.Icons;
  bool opened = false;
  for (int32_t i = 0; i < list.count && !Cancelled(); ++i) {
    IconItem* item = list[i];
    CountVisit();
    if (!SelectionPasses(g, item->selected)) continue;
    if (g.rollback && item->section != g.minSection) continue;
    if (EarlierSectionKeeps(g, item->firstSection)) continue;
    // The conversation reads every group once; it is opened only when an icon goes.
    if (!opened) {
      OpenProgmanConversation();
      opened = true;
    }
    ShowItemAction(kLabelIcon, item->title.c_str(), ActionForm::kPlain);
    RemoveProgmanIcon(i);
    if (JournalResumed()) RemoveProgmanGroupLeftEmpty(i);
  }
  if (opened) CloseProgmanConversation();
}

// Starts the per-user clean-up program, which removes what the application left in each
// user's profile; it runs on its own, the uninstall does not wait for it.
void StartPerUserCleanup() {
  Platform& sys = Sys();
  RegHandle key = 0;
  if (sys.RegOpen(RegistryRoot(kRootLocalMachine), kPerUserKey, kKeyQueryValue, &key) != 0) {
    return;
  }
  char path[256] = {};
  uint32_t type = 0;
  uint32_t size = sizeof path - 1;  // keeps room for the terminator
  if (sys.RegQuery(key, "Path", &type, path, &size) == 0) {
    path[sizeof path - 1] = '\0';
    NormalizePath(path, sizeof path, false);
    char arguments[512];
    snprintf(arguments, sizeof arguments, "/U \"%s\"", gStore.perUserId);
    char command[1024];
    if (BuildCommandLine(command, sizeof command, path, arguments))
      sys.ExecProgram(command, kSwShow);
  }
  sys.RegClose(key);
}

// The installer keeps a repair record per install log, named by the log's long path with
// forward slashes because a registry key name cannot hold a backslash. longPath was taken
// before the log and its directory went: a short path cannot be brought to its long form
// once its components no longer exist.
void RemoveRepairRecord(const char* longPath) {
  char key[kRepairRecordNameSize];
  if (BuildRepairRecordName(longPath, key, sizeof key) == 0) DeleteKeyTree(kRootLocalMachine, key);
}

}  // namespace

void SplitProgramCommand(const char* command, const char* defaultArguments, char* program,
                         char* arguments, size_t size) {
  CopyText(program, size, command);
  CopyText(arguments, size, defaultArguments);
  size_t length = strlen(program);
  // A blank is never a trail byte of a double-byte character, so stepping back byte by
  // byte finds only real blanks.
  for (size_t cut = length; cut > 0; --cut) {
    if (cut != length && program[cut] != ' ') continue;
    char kept = program[cut];
    program[cut] = '\0';
    if (FileExists(program)) {
      if (kept == ' ') CopyText(arguments, size, command + cut + 1);
      return;
    }
    program[cut] = kept;
  }
}

namespace {

void RunPasses(const char* logPath) {
  if (gRun.uninstallMode == kModeCustom) gRun.rollbackChosen = false;
  Gates g = CurrentGates();

  char longLogPath[256];
  CopyText(longLogPath, sizeof longLogPath, logPath);
  NormalizePath(longLogPath, sizeof longLogPath, true);

  for (int i = 0; i < kLabelCount; ++i) MessageText(kLabelIds[i], gLabels[i], kLabelSize);

  gRun.progressPosition = 0;
  int32_t total = gStore.Icons.count + gStore.Services.count + gStore.RegEdits.count +
                  gStore.RegTrees.count + gStore.RegKeys.count + gStore.IniEdits.count +
                  gStore.IniFiles.count + gStore.Directories.count + gStore.SystemFiles.count +
                  gStore.PrivateFiles.count;
  gRun.progressTotal = total > 0 ? total : 1;

  StartProgressDisplay(IDS_UNINSTALL_HEADING);
  // Before the first step that must not be taken twice: a run killed from here on is
  // finished by running it again.
  BeginJournal();

  RunPrograms(g);
  if (g.rollback) RestoreBackups(g, gStore.DeletedFiles);
  RemoveServices(g);
  // The user chose to stop: what was done stays done, nothing else is touched.
  if (ReleaseSubSystem(g) == kRunAborted) return;
  RemoveIniFiles(g);
  RestoreIniEdits(g);
  if (g.rollback) RestoreBackups(g, gStore.EditedFiles);
  PreparePrivateFiles(g);
  PrepareSystemFiles(g);
  CloseSharedCounts();
  RemovePrivateFiles(g);
  RemoveSystemFiles(g);
  if (g.rollback) {
    ReregisterRestored(g, gStore.PrivateFiles, true);
    ReregisterRestored(g, gStore.SystemFiles, false);
  }
  // The folders that hold the log wait for the end, when the log is cut or deleted.
  RemoveDirectories(g, longLogPath);
  RestoreRegEdits(g);
  RemoveRegKeys(g);
  RemoveRegTrees(g);
  RemoveIcons(g);
  if (Cancelled()) return;

  // Only a run that removes the whole application clears what the installer keeps about
  // it; a rollback that leaves earlier sections keeps both for the remaining installation.
  bool wholeApplication =
      (g.automatic && !g.rollback) || (g.rollback && gStore.lastSectionOffset == 0);
  if (wholeApplication) {
    if (gStore.perUserId != nullptr && gStore.perUserId[0] != '\0') StartPerUserCleanup();
    RemoveRepairRecord(longLogPath);
  }
  NoteWorkDone(LogFate(g));
}

}  // namespace

void UninstallDriver(const char* logPath) {
  RunPasses(logPath);
  // The shell hears of every removal of the run here, per folder.
  FlushShellNotifications();
}

void FinishUninstall(const char* logPath) {
  int64_t logLength = -1;
  if (!IsWorkDone(&logLength)) {
    // Cancelled, stopped, or no uninstall at all: the journal (when there is one) stays for
    // the next run of the log.
    CloseRunJournal(false);
    return;
  }
  CloseRunJournal(false);
  if (logLength >= 0) CutLogTo(logPath, logLength);
  CloseRunJournal(true);
  for (int i = 0; i < EndFolderCount(); ++i) {
    bool withContents = false;
    const char* folder = EndFolderAt(i, &withContents);
    if (folder != nullptr) RemoveDirectoryTree(folder, withContents);
  }
  FlushShellNotifications();
}
