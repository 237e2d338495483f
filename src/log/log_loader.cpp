// LogLoader: preparation (profile roots, application and system directories, removable
// drives, the log's own directory), the header, and the record loop that dispatches each
// line by its keyword to the rule of its record or group. A rule ends either by reading the
// next line ("read on") or with the line after its group already read ("line in hand").
#include "log/log_loader.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "base/fixed_text.h"
#include "base/message_text.h"
#include "base/message_pump.h"
#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/item_tree.h"
#include "log/log_reader.h"
#include "log/run_journal.h"
#include "platform/platform.h"
#include "resource.h"

namespace {

// ---------------------------------------------------------------------------------------
// Keywords, in the order in which a line is tested.

enum Rec {
  kNoRecord,
  kNonSystem,
  kCounterIgnored,
  kFileCopy,
  kShellLink,
  kFileOverwrite,
  kLinkInfo,
  kBackupCopy,
  kRegKey,
  kRegVal,
  kRegName,
  kRegType,
  kRegRoot,
  kRegOld,
  kFileEdit,
  kCreateService,
  kAddDevice,
  kSelfRegister,
  kIniNew,
  kIniFile,
  kIniSect,
  kIniItem,
  kIniVal,
  kIniOld,
  kExecutePath,
  kExecuteProgram,
  kExecuteName,
  kIconGroup,
  kIconName,
  kIconCmd,
  kSubSystem,
  kMadeDir,
  kFileDelete,
  kFileTree,
  kRegTree,
  kSectionStart,
  kSource,
  kUninstallMif,
  kManufacturer,
  kProduct,
  kVersionNumber,
  kSerialNumber,
  kUserRights,
  kPerUserId,
  kDeleteInUse,
  kSystemRestore,
  kTitle,
};

struct Keyword {
  Rec kind;
  const char* text;
  bool wholeLine;  // the line must equal the text (else: the line begins with it)
  size_t valueAt;  // offset of the value in the line
};

// "SubSystem: B" is recognised on its twelve characters but its value keeps the "B".
const Keyword kKeywords[] = {
    {kNonSystem, "Non-System File:", true, 0},
    {kCounterIgnored, "Shared DLL counter ignored:", true, 0},
    {kFileCopy, "File Copy: ", false, 11},
    {kShellLink, "Shell Link: ", false, 12},
    {kFileOverwrite, "File Overwrite: ", false, 16},
    {kLinkInfo, "Link Info: ", false, 11},
    {kBackupCopy, "Backup Copy: ", false, 13},
    {kRegKey, "RegDB Key: ", false, 11},
    {kRegVal, "RegDB Val: ", false, 11},
    {kRegName, "RegDB Name: ", false, 12},
    {kRegType, "RegDB Type: ", false, 12},
    {kRegRoot, "RegDB Root: ", false, 12},
    {kRegOld, "RegDB Old: ", false, 11},
    {kFileEdit, "File Edit: ", false, 11},
    {kCreateService, "Create Service: ", false, 16},
    {kAddDevice, "Add Device: ", false, 12},
    {kSelfRegister, "Self-Register: ", false, 15},
    {kIniNew, "INI New: ", false, 9},
    {kIniFile, "INI File: ", false, 10},
    {kIniSect, "INI Sect: ", false, 10},
    {kIniItem, "INI Item: ", false, 10},
    {kIniVal, "INI Val: ", false, 9},
    {kIniOld, "INI Old: ", false, 9},
    {kExecutePath, "Execute Path: ", false, 14},
    {kExecuteProgram, "Execute Program: ", false, 17},
    {kExecuteName, "Execute Name: ", false, 14},
    {kIconGroup, "Icon Group: ", false, 12},
    {kIconName, "Icon Name: ", false, 11},
    {kIconCmd, "Icon Cmd: ", false, 10},
    {kSubSystem, "SubSystem: B", false, 11},
    {kMadeDir, "Made Dir: ", false, 10},
    {kFileDelete, "File Delete: ", false, 13},
    {kFileTree, "File Tree: ", false, 11},
    {kRegTree, "RegDB Tree: ", false, 12},
    {kSectionStart, "*** ", false, 4},
    {kSource, "Source: ", false, 8},
    {kUninstallMif, "Uninstall MIF: ", false, 15},
    {kManufacturer, "Manufacturer: ", false, 14},
    {kProduct, "Product: ", false, 9},
    {kVersionNumber, "Version Number: ", false, 16},
    {kSerialNumber, "Serial Number: ", false, 15},
    {kUserRights, "User Rights: Admin", true, 0},
    {kPerUserId, "Per-User ID: ", false, 13},
    {kDeleteInUse, "Delete in-use files: ", false, 21},
    {kSystemRestore, "System Restore: Enabled", false, 23},
    {kTitle, "Title: ", false, 7},
};

const Keyword* Classify(const char* line) {
  char first = UpperAscii(line[0]);
  for (const Keyword& k : kKeywords) {
    // Most keywords differ from the line at once; the first letter rules them out cheaply.
    if (UpperAscii(k.text[0]) != first) continue;
    size_t n = strlen(k.text);
    if (!EqualNoCaseAscii(line, k.text, n)) continue;
    // EqualNoCaseAscii stops at a shorter line's terminator; the line must hold the
    // whole keyword (and nothing more for a whole-line record).
    if (strnlen(line, n) < n) continue;
    if (k.wholeLine && line[n] != '\0') continue;
    return &k;
  }
  return nullptr;
}

Rec KindOf(const char* line) {
  const Keyword* k = Classify(line);
  return k != nullptr ? k->kind : kNoRecord;
}

// The value of a line already known to be of this kind.
const char* ValueOf(const char* line, Rec kind) {
  for (const Keyword& k : kKeywords) {
    if (k.kind == kind) return line + k.valueAt;
  }
  return line + strlen(line);
}

// ---------------------------------------------------------------------------------------
// The state of one load.

enum Next { kReadOn, kLineInHand, kRefused };

using Path = FixedText<260>;

struct Load {
  FileHandle file = kNoFile;
  char line[kLogLineSize] = {};
  bool nonSystem = false;
  bool counterIgnored = false;
  bool removableA = false;
  bool removableB = false;
  Path windowsDir;  // the four directories of system files, without a trailing backslash
  Path systemDir;
  Path win32sDir;
  bool rightsTested = false;
  char* appDirectory = nullptr;  // the caller's 256 bytes
  // The folders the load's path conversions looked up; the load changes no folder.
  FolderLookups* lookups = nullptr;
};

constexpr size_t kAppDirectorySize = 256;

void ReadLine(Load& ld) { ReadLogLine(ld.line, sizeof ld.line, ld.file, false); }

uint16_t Section() { return gStore.sectionCount; }

// In an OEM section the path fields are converted to the ANSI code page before they are
// stored or compared, so that a record repeated in a later section finds its item.
void ToAnsi(char* text) {
  if (!gStore.ansiLog) Sys().OemToAnsiText(text, text);
}

bool IsRemovable(const Load& ld, const char* path) {
  char drive = UpperAscii(path[0]);
  if (path[0] == '\0' || path[1] != ':') return false;
  return (drive == 'A' && ld.removableA) || (drive == 'B' && ld.removableB);
}

// The path up to its last backslash (without it); empty when it has none.
void DirectoryOf(const char* path, Path* dir) {
  const char* name = FileNamePart(path);
  size_t length = static_cast<size_t>(name - path);
  if (length > 0) --length;
  dir->SetPart(path, length);
}

bool IsSystemDirectory(const Load& ld, const char* dir) {
  return EqualNoCase(dir, ld.windowsDir.c_str()) || EqualNoCase(dir, ld.systemDir.c_str()) ||
         EqualNoCase(dir, gStore.systemDirPath.c_str()) || EqualNoCase(dir, ld.win32sDir.c_str());
}

// A directory value must name a local or network directory below a root.
bool IsDirectoryShape(const char* value) {
  if (strlen(value) <= 3) return false;
  if (value[0] == '\\' && value[1] == '\\') return true;
  bool letter = (value[0] >= 'a' && value[0] <= 'z') || (value[0] >= 'A' && value[0] <= 'Z');
  return letter && value[1] == ':' && value[2] == '\\';
}

// True when the texts agree, case-insensitively, on the length of the shorter one.
bool ShareLeadingPart(const char* a, const char* b) {
  return strlen(a) <= strlen(b) ? StartsWithNoCase(b, a) : StartsWithNoCase(a, b);
}

bool EndsWithNoCase(const char* text, const char* ending) {
  size_t n = strlen(text);
  size_t m = strlen(ending);
  return n >= m && EqualNoCaseAscii(text + n - m, ending, m);
}

// An arena copy of a value followed by one more zero byte, so that it reads as a list of
// one string too.
char* CopyAsList(const char* value) {
  size_t length = strlen(value);
  auto* copy = static_cast<char*>(ArenaAllocate(length + 2));
  memcpy(copy, value, length);
  copy[length] = '\0';
  copy[length + 1] = '\0';
  return copy;
}

void Refuse(int textId, int captionId) {
  char text[1024];
  char caption[256];
  MessageText(textId, text, sizeof text);
  MessageText(captionId, caption, sizeof caption);
  if (gRun.progressWindow != 0) {
    Ui().Destroy(gRun.progressWindow);
    gRun.progressWindow = 0;
  }
  Ui().AskMessage(gRun.mainWindow, text, caption, kMbOk);
}

// Old data lines packed as strings one after another, ended by an empty string. A list that
// does not fit its field keeps what fits: the last string is cut, later ones dropped, and
// the final empty string always has its byte.
struct OldData {
  char data[kOldDataSize] = {};
  size_t used = 0;
  bool full = false;

  void Add(const char* value) {
    if (full) return;
    size_t room = kOldDataSize - 1 - used;  // the final empty string's byte stays free
    size_t length = strlen(value);
    if (room < 2) {
      full = true;
      return;
    }
    if (length + 1 > room) {
      length = room - 1;
      full = true;
    }
    memcpy(data + used, value, length);
    data[used + length] = '\0';
    used += length + 1;
    data[used] = '\0';
  }
  void CopyTo(char* field) const { memcpy(field, data, kOldDataSize); }
};

// ---------------------------------------------------------------------------------------
// File groups.

void FillNewFile(FileItem* item, const Path& path, const Path& backup, bool hasBackup,
                 const char* stamp, const char* linkSpec, const Load& ld) {
  item->path = path;
  item->backupPath = backup;
  item->stamp.Set(stamp);
  item->linkSpec = linkSpec != nullptr ? ArenaCopy(linkSpec) : nullptr;
  item->selected = 0;
  item->removeByDefault = hasBackup ? 0 : 1;
  item->selfRegSection = 0;
  item->deviceSection = 0;
  item->infoSection = 0;
  item->firstSection = Section();
  item->lastSection = Section();
  item->backupSection = Section();
  item->counterSection = ld.counterIgnored ? 0 : Section();
  item->counterCount = ld.counterIgnored ? 0 : 1;
}

void UpdateFile(FileItem* item, const Path& backup, bool hasBackup, const char* stamp,
                const char* linkSpec, const Load& ld) {
  item->lastSection = Section();
  if (!ld.counterIgnored) {
    ++item->counterCount;
    item->counterSection = Section();
  }
  if (hasBackup) {
    item->backupPath = backup;
    item->backupSection = Section();
  }
  item->stamp.Set(stamp);
  if (linkSpec != nullptr) item->linkSpec = ArenaCopy(linkSpec);
}

FileItem* FindLinear(const ItemList<FileItem>& list, const char* path) {
  for (int32_t i = 0; i < list.count; ++i) {
    if (EqualNoCase(list[i]->path.c_str(), path)) return list[i];
  }
  return nullptr;
}

// A file that an earlier section logged while it could not be found (its existence test
// failed then): the new record is that installation's as well, which a rollback of this
// one must keep.
void TakeEarlierLogging(FileItem* item) {
  if (Section() <= 1 || gStore.MissingFiles.count == 0) return;
  const FileItem* missing = FindLinear(gStore.MissingFiles, item->path.c_str());
  if (missing != nullptr && missing->lastSection < item->firstSection)
    item->firstSection = missing->lastSection;
}

void AppendMissing(const Path& path, const char* stamp, const char* linkSpec) {
  FileItem* item = NewItem<FileItem>();
  item->path = path;
  item->lastSection = Section();
  item->stamp.Set(stamp);
  item->linkSpec = linkSpec != nullptr ? ArenaCopy(linkSpec) : nullptr;
  AppendItem(gStore.MissingFiles, item);
}

// A file that an interrupted run of this log deleted before it could put the backup copy
// back over it: the run that finishes the job still puts it back.
bool AwaitsItsBackup(bool hasBackup, const Path& backup) {
  return hasBackup && JournalResumed() && FileExists(backup.c_str());
}

Next FileGroup(Load& ld, Rec kind) {
  // The kind comes from the keyword matched (in any case), so the path offset always lies
  // inside the line.
  const char* value = ValueOf(ld.line, kind);
  Path path;
  FixedText<80> stamp;
  const char* bar = FindChar(value, '|');
  if (bar != nullptr) {
    size_t length = static_cast<size_t>(bar - value);
    if (length > 0 && value[length - 1] == ' ') --length;
    path.SetPart(value, length);
    stamp.Set(bar + 1);
  } else {
    path.Set(value);
  }
  ToAnsi(path.data());

  if (kind == kShellLink && gStore.perUserId != nullptr &&
      StartsWithNoCase(path.c_str(), gStore.profilesRoot.c_str()) &&
      !StartsWithNoCase(path.c_str(), gStore.commonProfileRoot.c_str())) {
    path.Clear();  // a link in one user's profile belongs to that user's clean-up
  }

  bool overwrite = kind == kFileOverwrite;
  // A count an interrupted run took away (with its value, at zero) still made the file the
  // application's to remove.
  SharedFact taken;
  if (overwrite && gRun.newShell && !path.Empty() && FindSharedFact(path.c_str(), &taken)) {
    overwrite = false;
  }
  if (overwrite && gRun.newShell && !path.Empty()) {
    RegHandle key = 0;
    if (Sys().RegOpen(RegistryRoot(2), "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                      kKeyQueryValue, &key) == 0) {
      uint8_t data[256];
      uint32_t type = 0;
      uint32_t size = sizeof data;
      int result = Sys().RegQuery(key, path.c_str(), &type, data, &size);
      // A value too large for the buffer exists all the same.
      if (result == 0 || result == kErrMoreData) overwrite = false;
      Sys().RegClose(key);
    }
  }

  char linkSpec[kLogLineSize];
  bool hasLink = false;
  Path backup;
  bool hasBackup = false;
  ReadLine(ld);
  if (KindOf(ld.line) == kLinkInfo) {
    CopyText(linkSpec, sizeof linkSpec, ValueOf(ld.line, kLinkInfo));
    hasLink = true;
    ReadLine(ld);
  }
  Next next = kLineInHand;
  if (KindOf(ld.line) == kBackupCopy) {
    backup.Set(ValueOf(ld.line, kBackupCopy));
    ToAnsi(backup.data());
    hasBackup = true;
    gRun.rollbackAvailable = true;
    next = kReadOn;
  }
  const char* link = hasLink ? linkSpec : nullptr;

  if (path.Empty() || IsRemovable(ld, path.c_str()) || (overwrite && !hasBackup)) {
    // Not ours to remove, but a stamp or link description still serves repair.
    if (stamp.Empty() && !hasLink) return next;
    Path dir;
    DirectoryOf(path.c_str(), &dir);
    FileItem* item = IsSystemDirectory(ld, dir.c_str())
                         ? FindLinear(gStore.SystemFiles, path.c_str())
                         : TreeLookup(gStore.PrivateFiles, path.c_str());
    if (item != nullptr) {
      item->infoSection = Section();
      item->stamp = stamp;
      if (hasLink) item->linkSpec = ArenaCopy(link);
    } else {
      AppendMissing(path, stamp.c_str(), link);
    }
    return next;
  }

  if (!FileExists(path.c_str()) && !AwaitsItsBackup(hasBackup, backup)) {
    FileItem* item = FindLinear(gStore.MissingFiles, path.c_str());
    if (item != nullptr) {
      item->lastSection = Section();
      item->stamp = stamp;
      if (hasLink) item->linkSpec = ArenaCopy(link);
    } else {
      AppendMissing(path, stamp.c_str(), link);
    }
    return next;
  }

  Path dir;
  DirectoryOf(path.c_str(), &dir);
  if (IsSystemDirectory(ld, dir.c_str())) {
    FileItem* item = FindLinear(gStore.SystemFiles, path.c_str());
    if (item != nullptr) {
      UpdateFile(item, backup, hasBackup, stamp.c_str(), link, ld);
    } else {
      item = NewItem<FileItem>();
      FillNewFile(item, path, backup, hasBackup, stamp.c_str(), link, ld);
      TakeEarlierLogging(item);
      item->selected = ld.nonSystem ? 1 : 0;
      AppendItem(gStore.SystemFiles, item);
    }
    return next;
  }

  bool created = false;
  FileItem* item = TreeFindOrInsert(gStore.PrivateFiles, path.c_str(), &created);
  if (created) {
    FillNewFile(item, path, backup, hasBackup, stamp.c_str(), link, ld);
    TakeEarlierLogging(item);
  } else {
    UpdateFile(item, backup, hasBackup, stamp.c_str(), link, ld);
  }
  return next;
}

// ---------------------------------------------------------------------------------------
// Registry groups.

Next RegistryGroup(Load& ld) {
  Path key;
  key.Set(ValueOf(ld.line, kRegKey));
  ReadLine(ld);
  if (KindOf(ld.line) != kRegVal) return kLineInHand;
  char* data = CopyAsList(ValueOf(ld.line, kRegVal));
  do {
    ReadLine(ld);  // later value lines add nothing
  } while (KindOf(ld.line) == kRegVal);

  FixedText<256> name;
  int32_t type = 0;
  int32_t root = 0;
  if (KindOf(ld.line) == kRegName) {
    name.Set(ValueOf(ld.line, kRegName));
    ReadLine(ld);
  }
  if (KindOf(ld.line) == kRegType) {
    type = ReadDecimal(ValueOf(ld.line, kRegType));
    ReadLine(ld);
  }
  if (KindOf(ld.line) == kRegRoot) {
    root = ReadDecimal(ValueOf(ld.line, kRegRoot));
    ReadLine(ld);
  }
  // A per-user installation's current-user values are removed per user, not here.
  if (root == 1 && gStore.perUserId != nullptr) return kLineInHand;

  char rootText[12];
  snprintf(rootText, sizeof rootText, "%d", static_cast<int>(root));
  RepairValue* repair = NewItem<RepairValue>();
  repair->data = data;
  AppendItem(gStore.RepairValues, repair);

  if (KindOf(ld.line) == kRegOld) {
    OldData old;
    while (KindOf(ld.line) == kRegOld) {
      old.Add(ValueOf(ld.line, kRegOld));
      ReadLine(ld);
    }
    repair->isChange = 1;
    // The edit record's key field is narrower than the created-key record's.
    FixedText<256> editKey;
    editKey.Set(key.c_str());
    bool created = false;
    RegEditItem* item =
        TreeFindOrInsert(gStore.RegEdits, editKey.c_str(), name.c_str(), rootText, &created);
    if (created) {
      item->root = root;
      item->type = type;
      item->selected = 0;
      item->firstSection = Section();
      old.CopyTo(item->firstOldData);
    }
    old.CopyTo(item->lastOldData);
    item->section = Section();
    repair->item = item;
    return kLineInHand;
  }

  repair->type = type;
  bool created = false;
  RegKeyItem* item =
      TreeFindOrInsert(gStore.RegKeys, key.c_str(), name.c_str(), rootText, &created);
  if (created) {
    item->root = root;
    item->selected = 0;
    item->firstSection = Section();
  }
  item->section = Section();
  repair->item = item;
  return kLineInHand;
}

Next RegistryTree(Load& ld) {
  FixedText<256> key;
  key.Set(ValueOf(ld.line, kRegTree));
  int32_t root = 0;
  ReadLine(ld);
  if (KindOf(ld.line) == kRegRoot) {
    root = ReadDecimal(ValueOf(ld.line, kRegRoot));
    ReadLine(ld);
  }
  for (int32_t i = 0; i < gStore.RegTrees.count; ++i) {
    RegTreeItem* item = gStore.RegTrees[i];
    if (item->root == root && EqualNoCase(item->key.c_str(), key.c_str())) {
      item->section = Section();
      return kLineInHand;
    }
  }
  RegTreeItem* item = NewItem<RegTreeItem>();
  item->key = key;
  item->root = root;
  item->section = Section();
  item->firstSection = Section();
  AppendItem(gStore.RegTrees, item);
  return kLineInHand;
}

// ---------------------------------------------------------------------------------------
// Edited, deleted and INI files.

Next FileEdit(Load& ld) {
  Path path;
  path.Set(ValueOf(ld.line, kFileEdit));
  ToAnsi(path.data());
  Path backup;
  Next next = kLineInHand;
  ReadLine(ld);
  if (KindOf(ld.line) == kBackupCopy) {
    backup.Set(ValueOf(ld.line, kBackupCopy));
    ToAnsi(backup.data());
    next = kReadOn;
  }
  if (next == kLineInHand || IsRemovable(ld, path.c_str()) ||
      (!FileExists(path.c_str()) && !AwaitsItsBackup(!backup.Empty(), backup))) {
    return next;
  }
  for (int32_t i = 0; i < gStore.EditedFiles.count; ++i) {
    EditedFileItem* item = gStore.EditedFiles[i];
    if (EqualNoCase(item->path.c_str(), path.c_str())) {
      item->section = Section();
      item->backupPath = backup;
      return next;
    }
  }
  EditedFileItem* item = NewItem<EditedFileItem>();
  item->path = path;
  item->backupPath = backup;
  item->section = Section();
  AppendItem(gStore.EditedFiles, item);
  return next;
}

Next FileDelete(Load& ld) {
  Path path;
  path.Set(ValueOf(ld.line, kFileDelete));
  ReadLine(ld);
  if (KindOf(ld.line) != kBackupCopy) return kLineInHand;
  Path backup;
  backup.Set(ValueOf(ld.line, kBackupCopy));
  gRun.rollbackAvailable = true;
  for (int32_t i = 0; i < gStore.DeletedFiles.count; ++i) {
    DeletedFileItem* item = gStore.DeletedFiles[i];
    if (EqualNoCase(item->path.c_str(), path.c_str())) {
      item->backupPath = backup;
      item->section = Section();
      return kReadOn;
    }
  }
  DeletedFileItem* item = NewItem<DeletedFileItem>();
  item->path = path;
  item->backupPath = backup;
  item->section = Section();
  AppendItem(gStore.DeletedFiles, item);
  return kReadOn;
}

// Lines of a new INI file's group that the loader has no use for: "INI " followed by
// anything but "F" (a next "INI File: ") or "N" (a next "INI New: ").
bool IsSkippedIniLine(const char* line) {
  if (!EqualNoCaseAscii(line, "INI ", 4) || strnlen(line, 5) < 5) return false;
  char c = UpperAscii(line[4]);
  return c != 'F' && c != 'N';
}

Next NewIniFile(Load& ld) {
  ReadLine(ld);
  if (KindOf(ld.line) != kIniFile) return kLineInHand;
  Path path;
  path.Set(ValueOf(ld.line, kIniFile));
  ToAnsi(path.data());
  if (!IsRemovable(ld, path.c_str()) && FileExists(path.c_str())) {
    IniFileItem* found = nullptr;
    for (int32_t i = 0; i < gStore.IniFiles.count && found == nullptr; ++i) {
      if (EqualNoCase(gStore.IniFiles[i]->path.c_str(), path.c_str())) found = gStore.IniFiles[i];
    }
    if (found != nullptr) {
      found->section = Section();
    } else {
      IniFileItem* item = NewItem<IniFileItem>();
      item->path = path;
      item->section = Section();
      item->firstSection = Section();
      AppendItem(gStore.IniFiles, item);
    }
  }
  do {
    ReadLine(ld);
  } while (IsSkippedIniLine(ld.line));
  return kLineInHand;
}

Next IniEdit(Load& ld) {
  Path file;
  file.Set(ValueOf(ld.line, kIniFile));
  ToAnsi(file.data());
  if (IsRemovable(ld, file.c_str())) {
    ReadLine(ld);  // dropped unseen; the group's later lines are strays
    return kReadOn;
  }
  FixedText<256> sectionName;
  FixedText<256> key;
  ReadLine(ld);
  if (KindOf(ld.line) != kIniSect) return kLineInHand;
  sectionName.Set(ValueOf(ld.line, kIniSect));
  ReadLine(ld);
  if (KindOf(ld.line) != kIniItem) return kLineInHand;
  key.Set(ValueOf(ld.line, kIniItem));
  ReadLine(ld);
  if (KindOf(ld.line) != kIniVal) return kLineInHand;
  FixedText<512> oldValue;
  Next next = kLineInHand;
  ReadLine(ld);
  if (KindOf(ld.line) == kIniOld) {
    oldValue.Set(ValueOf(ld.line, kIniOld));
    next = kReadOn;
  }
  bool created = false;
  IniEditItem* item =
      TreeFindOrInsert(gStore.IniEdits, file.c_str(), sectionName.c_str(), key.c_str(), &created);
  if (created) {
    item->firstOldValue = oldValue;
    item->selected = 0;
    item->firstSection = Section();
  }
  item->lastOldValue = oldValue;
  item->section = Section();
  return next;
}

// ---------------------------------------------------------------------------------------
// Programs, icons, services, devices, self-registration.

Next ProgramGroup(Load& ld, Rec kind) {
  FixedText<260> command;
  command.Set(ValueOf(ld.line, kind));
  for (int32_t i = 0; i < gStore.Programs.count; ++i) {
    if (EqualNoCase(gStore.Programs[i]->command.c_str(), command.c_str())) {
      gStore.Programs[i]->section = Section();
      return kReadOn;
    }
  }
  ProgramItem* item = NewItem<ProgramItem>();
  item->command = command;
  item->section = Section();
  item->firstSection = Section();
  AppendItem(gStore.Programs, item);
  ReadLine(ld);
  if (KindOf(ld.line) != kExecuteName) return kLineInHand;
  item->displayName.Set(ValueOf(ld.line, kExecuteName));
  return kReadOn;
}

Next IconGroup(Load& ld) {
  FixedText<256> group;
  FixedText<256> title;
  FixedText<256> command;
  group.Set(ValueOf(ld.line, kIconGroup));
  ReadLine(ld);
  if (KindOf(ld.line) != kIconName) return kLineInHand;
  title.Set(ValueOf(ld.line, kIconName));
  ReadLine(ld);
  if (KindOf(ld.line) != kIconCmd) return kLineInHand;
  command.Set(ValueOf(ld.line, kIconCmd));
  for (int32_t i = 0; i < gStore.Icons.count; ++i) {
    IconItem* item = gStore.Icons[i];
    if (EqualNoCase(item->group.c_str(), group.c_str()) &&
        EqualNoCase(item->title.c_str(), title.c_str())) {
      item->command = command;
      return kReadOn;
    }
  }
  IconItem* item = NewItem<IconItem>();
  item->group = group;
  item->title = title;
  item->command = command;
  item->section = Section();
  item->firstSection = Section();
  AppendItem(gStore.Icons, item);
  return kReadOn;
}

void CreateService(const char* value) {
  FixedText<260> name;
  name.Set(value);
  for (int32_t i = 0; i < gStore.Services.count; ++i) {
    if (EqualNoCase(gStore.Services[i]->name.c_str(), name.c_str())) {
      gStore.Services[i]->section = Section();
      return;
    }
  }
  ServiceItem* item = NewItem<ServiceItem>();
  item->name = name;
  item->section = Section();
  item->firstSection = Section();
  AppendItem(gStore.Services, item);
}

void AddDevice(const char* value) {
  Path path;
  path.Set(value);
  ToAnsi(path.data());
  for (const ItemList<FileItem>* list : {&gStore.PrivateFiles, &gStore.SystemFiles}) {
    for (int32_t i = 0; i < list->count; ++i) {
      if (EqualNoCase((*list)[i]->path.c_str(), path.c_str()))
        (*list)[i]->deviceSection = Section();
    }
  }
}

void SelfRegister(const Load& ld, const char* value) {
  char wanted[256];
  CopyText(wanted, sizeof wanted, value);
  ToAnsi(wanted);
  NormalizePath(wanted, sizeof wanted, true, ld.lookups);
  for (const ItemList<FileItem>* list : {&gStore.PrivateFiles, &gStore.SystemFiles}) {
    for (int32_t i = 0; i < list->count; ++i) {
      char path[256];
      CopyText(path, sizeof path, (*list)[i]->path.c_str());
      NormalizePath(path, sizeof path, true, ld.lookups);
      if (EqualNoCase(path, wanted)) (*list)[i]->selfRegSection = Section();
    }
  }
}

// ---------------------------------------------------------------------------------------
// Directories.

void MadeDir(Load& ld) {
  char value[kLogLineSize + 1];
  CopyText(value, sizeof value, ValueOf(ld.line, kMadeDir));
  AppendText(value, sizeof value, "\\");
  ToAnsi(value);
  // Only a well-formed directory below a root may shorten the application directory: the
  // clean-up run removes the empty directories of whatever it names.
  if (!IsDirectoryShape(value)) return;

  char shortForm[kAppDirectorySize];
  CopyText(shortForm, sizeof shortForm, value);
  NormalizePath(shortForm, sizeof shortForm, false, ld.lookups);
  if (shortForm[0] != '\0' && StartsWithNoCase(ld.appDirectory, shortForm)) {
    ld.appDirectory[strlen(shortForm)] = '\0';
  }

  Path dir;
  dir.Set(value);
  for (int32_t i = 0; i < gStore.Directories.count; ++i) {
    DirItem* item = gStore.Directories[i];
    if (item->path.Empty() || !ShareLeadingPart(item->path.c_str(), dir.c_str())) continue;
    // A file tree is removed with everything in it. Cutting it back to a created parent
    // would widen that to the parent and to every file a user keeps there (or turn a
    // pattern tree into a whole one), so a parent of a tree gets its own entry, which the
    // directory pass reaches after the tree and removes only when empty.
    if (item->treeSection != 0 && dir.Length() < item->path.Length()) continue;
    // Nested created directories collapse into the outermost one.
    size_t shorter = item->path.Length() < dir.Length() ? item->path.Length() : dir.Length();
    item->path[shorter] = '\0';
    item->dirSection = Section();
    return;
  }
  DirItem* item = NewItem<DirItem>();
  item->path = dir;
  item->treeSection = 0;
  item->dirSection = Section();
  item->firstSection = Section();
  AppendItem(gStore.Directories, item);
}

void FileTree(const char* raw) {
  char value[kLogLineSize + 1];
  CopyText(value, sizeof value, raw);
  size_t length = strlen(value);
  if (length >= 4 && strcmp(value + length - 4, "\\*.*") == 0) value[length - 4] = '\0';
  // A value that already ends in a backslash names its directory as it stands.
  if (FindChar(value, '*') == nullptr && FindChar(value, '?') == nullptr) {
    EnsureTrailingBackslash(value, sizeof value);
  }
  if (!IsDirectoryShape(value)) return;
  Path dir;
  dir.Set(value);
  for (int32_t i = 0; i < gStore.Directories.count; ++i) {
    DirItem* item = gStore.Directories[i];
    if (EqualNoCase(item->path.c_str(), dir.c_str())) {
      item->treeSection = Section();
      item->dirSection = Section();
      return;
    }
  }
  DirItem* item = NewItem<DirItem>();
  item->path = dir;
  item->treeSection = Section();
  item->dirSection = Section();
  item->firstSection = Section();
  AppendItem(gStore.Directories, item);
}

// ---------------------------------------------------------------------------------------
// Sections and header values.

// Returns 1 when the log has more sections than section numbers can tell apart.
int SectionStart(Load& ld) {
  if (OpenSection() != 0) return 1;
  int64_t start = gLogReader.lineStart;
  gStore.lastSectionOffset = start > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(start);
  gStore.ansiLog = ld.line[4] == ' ';
  return 0;
}

void DeleteInUse(const char* value) {
  if (EqualNoCaseAscii(value, "On", 2) && strnlen(value, 2) == 2) {
    gStore.deleteInUse = true;
  } else if (EqualNoCaseAscii(value, "Of", 2) && strnlen(value, 2) == 2) {
    gStore.deleteInUse = false;
  }
}

void RightsRefused(Load& ld) {
  Refuse(67, 25);
  Sys().CloseFile(ld.file);
  ld.file = kNoFile;
}

// Returns kRefused when the installation needed administrator rights that this user lacks.
Next UserRights(Load& ld) {
  if (ld.rightsTested || gRun.platformKind != kPlatformNt) return kReadOn;
  ld.rightsTested = true;
  ServiceHandle manager = Sys().ScmOpen(kGenericRead | kGenericWrite | kGenericExecute);
  if (manager == 0) {
    RightsRefused(ld);
    return kRefused;
  }
  Sys().ServiceClose(manager);
  return kReadOn;
}

// ---------------------------------------------------------------------------------------

Next Dispatch(Load& ld) {
  const Keyword* keyword = Classify(ld.line);
  if (keyword == nullptr) return kReadOn;
  Rec kind = keyword->kind;
  const char* value = ld.line + keyword->valueAt;
  switch (kind) {
    case kFileCopy:
    case kShellLink:
    case kFileOverwrite: return FileGroup(ld, kind);
    case kRegKey: return RegistryGroup(ld);
    case kFileEdit: return FileEdit(ld);
    case kCreateService: CreateService(value); return kReadOn;
    case kAddDevice: AddDevice(value); return kReadOn;
    case kSelfRegister: SelfRegister(ld, value); return kReadOn;
    case kIniNew: return NewIniFile(ld);
    case kIniFile: return IniEdit(ld);
    case kExecutePath:
    case kExecuteProgram: return ProgramGroup(ld, kind);
    case kIconGroup: return IconGroup(ld);
    case kSubSystem:
      gStore.subSystemName = ArenaCopy(value);
      gStore.subSystemSelected = 0;
      if (gStore.subSystemFirstSection == 0) gStore.subSystemFirstSection = Section();
      gStore.subSystemSection = Section();
      return kReadOn;
    case kMadeDir: MadeDir(ld); return kReadOn;
    case kFileDelete: return FileDelete(ld);
    case kFileTree: FileTree(value); return kReadOn;
    case kRegTree: return RegistryTree(ld);
    case kSectionStart:
      if (SectionStart(ld) != 0) {
        Refuse(IDS_LOG_INVALID, IDS_PROGRAM_TITLE);
        Sys().CloseFile(ld.file);
        ld.file = kNoFile;
        return kRefused;
      }
      return kReadOn;
    case kSource:
      SetSectionSource(value);
      if (FindChar(ld.line, '|') != nullptr) gRun.repairAvailable = true;
      return kReadOn;
    case kUninstallMif: gStore.statusMifName.Set(value); return kReadOn;
    case kManufacturer: gStore.manufacturer.Set(value); return kReadOn;
    case kProduct: gStore.product.Set(value); return kReadOn;
    case kVersionNumber: gStore.versionNumber.Set(value); return kReadOn;
    case kSerialNumber: gStore.serialNumber.Set(value); return kReadOn;
    case kUserRights: return UserRights(ld);
    case kPerUserId: {
      auto* id = static_cast<char*>(ArenaAllocate(256));
      CopyText(id, 256, value);
      gStore.perUserId = id;
      return kReadOn;
    }
    case kDeleteInUse: DeleteInUse(value); return kReadOn;
    case kSystemRestore: gRun.restorePointWanted = true; return kReadOn;
    case kTitle: SetTitle(ld.line); return kReadOn;
    default:
      // Markers out of place and continuation lines outside their group.
      return kReadOn;
  }
}

// Reads one value of the Shell Folders key; empty when it cannot be read.
void ReadShellFolder(int root, const char* name, char* buffer, uint32_t size) {
  buffer[0] = '\0';
  RegHandle key = 0;
  if (Sys().RegOpen(RegistryRoot(root),
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                    kKeyQueryValue | kKeySetValue | kKeyNotify, &key) != 0) {
    return;
  }
  uint32_t type = 0;
  uint32_t got = size - 1;
  if (Sys().RegQuery(key, name, &type, buffer, &got) == 0) {
    buffer[got < size ? got : size - 1] = '\0';
  } else {
    buffer[0] = '\0';
  }
  Sys().RegClose(key);
}

// Position just after the backslash that stands `fromEnd` backslashes before the end
// (1: the last), or null when the text has fewer.
char* AfterBackslash(char* text, int fromEnd) {
  char* marks[2] = {nullptr, nullptr};
  for (char* p = text; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\') {
      marks[1] = marks[0];
      marks[0] = p;
    }
  }
  char* mark = marks[fromEnd - 1];
  return mark != nullptr ? mark + 1 : nullptr;
}

void ReadProfileRoots() {
  gStore.profilesRoot.Set("*");
  gStore.commonProfileRoot.Set("*");
  if (!gRun.newShell) return;
  char folder[257];
  ReadShellFolder(1, "Start Menu", folder, sizeof folder);
  if (folder[0] != '\0') {
    // A user's Start Menu lies in that user's profile; its parent holds all profiles.
    char* end = AfterBackslash(folder, 2);
    if (end != nullptr) gStore.profilesRoot.SetPart(folder, static_cast<size_t>(end - folder));
  }
  if (gRun.platformKind != kPlatformNt) return;
  ReadShellFolder(2, "Common Start Menu", folder, sizeof folder);
  if (folder[0] != '\0') {
    char* end = AfterBackslash(folder, 1);
    if (end != nullptr) {
      gStore.commonProfileRoot.SetPart(folder, static_cast<size_t>(end - folder));
    }
  }
}

// False when the system gives no directory.
bool TakeDirectory(int (Platform::*get)(char*, uint32_t), Path* dir) {
  char buffer[260] = {};
  bool known = (Sys().*get)(buffer, sizeof buffer) > 0;
  buffer[sizeof buffer - 1] = '\0';
  DropTrailingBackslash(buffer);
  dir->Set(buffer);
  return known;
}

// False when the Windows or the system directory is not known: the system's files could
// not be told from the application's.
bool Prepare(Load& ld, const char* logPath) {
  ReadProfileRoots();

  bool known = TakeDirectory(&Platform::WindowsDirectory, &ld.windowsDir);
  known = TakeDirectory(&Platform::SystemDirectory, &ld.systemDir) && known;
  ld.win32sDir = ld.systemDir;
  ld.win32sDir.Append("\\WIN32S");
  gStore.systemDirPath = ld.systemDir;

  // The application directory: the log's directory in short form.
  char dir[kAppDirectorySize];
  CopyText(dir, sizeof dir, logPath);
  const char* name = FileNamePart(dir);
  if (name != dir) {
    dir[name - dir - 1] = '\0';
    // A bare drive ("C:" of a log in a root) has nothing to shorten; the conversion would
    // take it for a relative name. A directory relative to the current one becomes a full
    // path: the clean-up run refuses a relative application directory.
    bool bareDrive = dir[0] != '\0' && dir[1] == ':' && dir[2] == '\0';
    if (!bareDrive) {
      MakeFullPath(dir, sizeof dir);
      NormalizePath(dir, sizeof dir, false, ld.lookups);
    }
    AppendText(dir, sizeof dir, "\\");
  } else {
    dir[0] = '\0';
  }
  CopyText(ld.appDirectory, kAppDirectorySize, dir);

  ld.removableA = Sys().DriveType("A:\\") == kDriveRemovable;
  ld.removableB = Sys().DriveType("B:\\") == kDriveRemovable;

  // The log's own directory goes first, above every section, unless it is a root or holds
  // the Windows or system directory.
  char own[kAppDirectorySize];
  CopyText(own, sizeof own, logPath);
  // The directories the log makes in or above it merge into this record by their names and
  // give it their sections; in a form that compares with none of them it would be removed
  // on its own, by a rollback too.
  bool ownKnown = NormalizePath(own, sizeof own, true, ld.lookups);
  KeepFolderPart(own);
  if (strlen(own) <= 3 || !ownKnown) own[0] = '\0';
  Path systemSlash = ld.systemDir;
  systemSlash.Append("\\");
  Path windowsSlash = ld.windowsDir;
  windowsSlash.Append("\\");
  if (own[0] != '\0' && !StartsWithNoCase(systemSlash.c_str(), own) &&
      !StartsWithNoCase(windowsSlash.c_str(), own)) {
    DirItem* item = NewItem<DirItem>();
    item->path.Set(own);
    item->treeSection = 0;
    item->dirSection = kLogDirectorySection;
    item->firstSection = kLogDirectorySection;
    AppendItem(gStore.Directories, item);
  }
  return known;
}

}  // namespace

void SetTitle(const char* line) {
  PathText& title = gRun.appTitle;
  title.Set(strnlen(line, 8) >= 8 ? line + 7 : "");
  if (title.Length() > 13 && EndsWithNoCase(title.c_str(), " INSTALLATION")) {
    title[title.Length() - 13] = '\0';
  }
  if (title.Length() > 8 && EndsWithNoCase(title.c_str(), " INSTALL")) {
    title[title.Length() - 8] = '\0';
  }
  if (!gRun.hasCommandTitle) Ui().SetCaption(gRun.mainWindow, title.c_str());
}

int LogLoader(const char* logPath, char* appDirectory) {
  static Load ld;  // the line buffer is large; one load runs at a time
  static FolderLookups lookups;
  ld = Load();
  ForgetFolderLookups(&lookups);
  ld.lookups = &lookups;
  ld.appDirectory = appDirectory;
  if (!Prepare(ld, logPath)) {
    Refuse(IDS_LOG_UNREADABLE, IDS_PROGRAM_TITLE);
    return 1;
  }

  ld.file = Sys().OpenForRead(logPath);
  if (ld.file == kNoFile) {
    Refuse(IDS_LOG_UNREADABLE, IDS_PROGRAM_TITLE);
    return 1;
  }
  int64_t size = Sys().Seek(ld.file, 0, kSeekEnd);
  gStore.logSize = size < 0 ? 0 : (size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(size));
  Sys().Seek(ld.file, 0, kSeekBegin);
  ResetLogReader();

  ReadLine(ld);
  gStore.ansiLog = ld.line[4] == ' ' && strnlen(ld.line, 4) == 4;
  // Section 1 is the one the first line opens.
  gStore.sectionCount = 0;
  if (gStore.SectionSources != nullptr) gStore.SectionSources[0] = nullptr;
  OpenSection();
  bool valid = strncmp(ld.line, "*** ", 4) == 0;
  if (valid) {
    do {
      ReadLine(ld);
    } while (ld.line[0] != '\0' && strncmp(ld.line, "Title:", 6) != 0);
    valid = ld.line[0] != '\0';
  }
  if (!valid) {
    Refuse(gLogReader.readFailed ? IDS_LOG_UNREADABLE : IDS_LOG_INVALID, IDS_PROGRAM_TITLE);
    Sys().CloseFile(ld.file);
    return 1;
  }
  SetTitle(ld.line);

  int64_t previousPosition = -1;
  ReadLine(ld);
  while (ld.line[0] != '\0') {
    int64_t position = LogReaderPosition();
    gStore.logPosition = position > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(position);
    if (gRun.progressWindow != 0 && position != previousPosition) {
      Ui().RedrawLoadBar(gRun.progressWindow);
      // A window that answers nothing while a large log loads cannot be cancelled, and holds
      // up every program that sends to all windows (the desktop among them) until the load
      // ends. What is queued is dispatched as the bar moves, as often as between the work's
      // items; Cancel only sets the run's flag, which the run flow reads after the load.
      if (QueueLookDue()) PumpMessages(0);
    }
    previousPosition = position;

    ld.nonSystem = false;
    ld.counterIgnored = false;
    if (KindOf(ld.line) == kNonSystem) {
      ld.nonSystem = true;
      ReadLine(ld);
    }
    if (KindOf(ld.line) == kCounterIgnored) {
      ld.counterIgnored = true;
      ReadLine(ld);
    }

    Next next = Dispatch(ld);
    if (next == kRefused) return 1;
    if (next == kReadOn) ReadLine(ld);
  }
  Sys().CloseFile(ld.file);
  // A log read only in part would have the run undo part of the installation, and delete
  // or cut the log as if it had all been undone; the line where the read stopped may name
  // a folder above the one logged.
  if (gLogReader.readFailed) {
    Refuse(IDS_LOG_UNREADABLE, IDS_PROGRAM_TITLE);
    return 1;
  }
  return 0;
}
