// FindLeftovers (leftovers.h). Each list is walked in the driver's order and each record
// put through the driver's own gates (uninstall/pass_gates.h) before anything on the machine
// is looked at, so that an item the run was never meant to touch gets the gate's reason and
// not a guess from what is found. Only what the gates let through is explained by what the
// machine shows: a shared count, a pending restart operation, a folder's contents, a link.
#include "tarnlog/leftovers.h"

#include <cstring>
#include <set>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/image/machine_image.h"
#include "platform/image/restart_operations.h"
#include "platform/platform.h"
#include "ui/progress_display.h"
#include "uninstall/file_removal.h"
#include "uninstall/pass_gates.h"
#include "uninstall/progman.h"

const char kReasonShared[] = "shared";
const char kReasonInterrupted[] = "interrupted";
const char kReasonSharedReleased[] = "shared-released";
const char kReasonPendingDelete[] = "pending-delete";
const char kReasonPendingReplace[] = "pending-replace";
const char kReasonNotEmpty[] = "not-empty";
const char kReasonLink[] = "link";
const char kReasonProtected[] = "protected";
const char kReasonEarlierSection[] = "earlier-section";
const char kReasonBackupRestored[] = "backup-restored";
const char kReasonHasBackup[] = "has-backup";
const char kReasonSystemFile[] = "system-file";
const char kReasonNotOwned[] = "not-owned";
const char kReasonRestored[] = "restored";
const char kReasonEditedFile[] = "edited-file";
const char kReasonDeletedFile[] = "deleted-file";
const char kReasonUnexplained[] = "unexplained";

namespace {

constexpr const char* kSharedDllsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* kSessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPendingValue = "PendingFileRenameOperations";
const char* const kRootNames[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};
// A folder's or key's contents are named up to this many entries.
constexpr size_t kNamedEntries = 8;
// Stands for an INI entry that is not there: no value written by an installation holds it.
constexpr const char* kNoEntry = "\x01\x02tarnlog: no entry\x02\x01";

// The key under which an item is reported once: folded as the uninstaller compares names,
// so that two names differing only in a double-byte character (C:\ヂ and C:\ア, whose
// second bytes are a letter's in its two cases) stay two items.
std::string Upper(const std::string& text) {
  std::string upper = text;
  FoldCase(&upper[0]);
  return upper;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string SectionList(uint16_t first, uint16_t last) {
  return first == last ? "section " + std::to_string(first)
                       : "sections " + std::to_string(first) + " to " + std::to_string(last);
}

bool FileThere(const char* path) {
  uint32_t attributes = Sys().GetAttributes(path);
  return attributes != kNoAttributes && (attributes & kAttrDirectory) == 0;
}

// Whether two files hold the same bytes; false when either cannot be read whole.
bool SameContents(const char* a, const char* b) {
  FileHandle first = Sys().OpenForRead(a);
  if (first == kNoFile) return false;
  FileHandle second = Sys().OpenForRead(b);
  bool same = second != kNoFile;
  char left[4096];
  char right[4096];
  while (same) {
    int got = Sys().ReadBytes(first, left, sizeof left);
    int other = Sys().ReadBytes(second, right, sizeof right);
    same = got == other && got >= 0 &&
           memcmp(left, right, static_cast<size_t>(got > 0 ? got : 0)) == 0;
    if (got <= 0) break;
  }
  if (second != kNoFile) Sys().CloseFile(second);
  Sys().CloseFile(first);
  return same;
}

bool FolderThere(const char* path) {
  uint32_t attributes = Sys().GetAttributes(path);
  return attributes != kNoAttributes && (attributes & kAttrDirectory) != 0;
}

bool IsLink(const char* path) {
  uint32_t attributes = Sys().GetAttributes(path);
  return attributes != kNoAttributes && (attributes & kAttrReparsePoint) != 0;
}

// The nearest folder above path that is a link, or empty. The directory pass refuses to
// delete files below one (file_removal.cpp): the tree may be a protected directory under
// another name.
std::string LinkAbove(const std::string& path) {
  std::string found;
  // Stepped as characters: the second byte of 表 is the backslash's byte.
  const char* text = path.c_str();
  if (path.size() < 3) return found;
  const char* from = text + 3;  // after "C:\"
  if (text[0] == '\\' && text[1] == '\\') {
    // Past the server and the share: they are not folders of this machine.
    const char* server = FindChar(text + 2, '\\');
    const char* share = server == nullptr ? nullptr : FindChar(server + 1, '\\');
    if (share == nullptr) return found;
    from = share + 1;
  }
  for (const char* cut = FindChar(from, '\\'); cut != nullptr; cut = FindChar(cut + 1, '\\')) {
    std::string above = path.substr(0, static_cast<size_t>(cut - text));
    if (IsLink(above.c_str())) found = above;
  }
  return found;
}

// "a, b\ and 3 more": the names of entries, folders with a backslash.
std::string EntriesText(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size() && i < kNamedEntries; ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  if (names.size() > kNamedEntries)
    text += " and " + std::to_string(names.size() - kNamedEntries) + " more";
  return text;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  FindEntry entry = {};
  SearchHandle search = Sys().FindFirst((folder + "\\*.*").c_str(), &entry);
  if (search == kNoSearch) return names;
  do {
    entry.name[sizeof entry.name - 1] = '\0';
    if (strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0) continue;
    names.push_back(std::string(entry.name) + ((entry.attributes & kAttrDirectory) ? "\\" : ""));
  } while (Sys().FindNext(search, &entry) == 0);
  Sys().FindEnd(search);
  return names;
}

// What keeps a folder from being removed: the files anywhere below it and the links (never
// entered), as paths relative to it, nearest first. Empty folders below it are not named:
// the directory pass removes them. When nothing else is found, its own entries.
std::vector<std::string> WhatIsLeftBelow(const std::string& folder) {
  constexpr size_t kLookedAt = 5000;  // bounds the walk of a large tree
  std::vector<std::string> left;
  std::vector<std::string> level = {std::string()};
  size_t lookedAt = 0;
  while (!level.empty() && lookedAt < kLookedAt) {
    std::vector<std::string> next;
    for (const std::string& relative : level) {
      std::string base = relative.empty() ? folder : folder + "\\" + relative;
      FindEntry entry = {};
      SearchHandle search = Sys().FindFirst((base + "\\*.*").c_str(), &entry);
      if (search == kNoSearch) continue;
      do {
        entry.name[sizeof entry.name - 1] = '\0';
        if (strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0) continue;
        ++lookedAt;
        std::string name = relative.empty() ? entry.name : relative + "\\" + entry.name;
        if (!(entry.attributes & kAttrDirectory)) {
          left.push_back(name);
        } else if (entry.attributes & kAttrReparsePoint) {
          left.push_back(name + "\\");
        } else {
          next.push_back(name);
        }
      } while (lookedAt < kLookedAt && Sys().FindNext(search, &entry) == 0);
      Sys().FindEnd(search);
    }
    level = next;
  }
  return left.empty() ? FolderEntries(folder) : left;
}

std::string KeyName(int root, const char* key) {
  return std::string(kRootNames[root]) + (key[0] != '\0' ? "\\" : "") + key;
}

// A key as the registry passes' action lines show it: without its root, and capped.
std::string KeyAnchor(const char* key) {
  char capped[kCappedItemSize];
  CapActionItem(key, capped, sizeof capped);
  return capped;
}

std::string ValueLabel(const char* name) { return name[0] != '\0' ? name : "(default)"; }

bool KeyThere(int root, const char* key) {
  RegHandle handle = 0;
  if (Sys().RegOpen(RegistryRoot(root), key, kKeyQueryValue, &handle) != 0) return false;
  Sys().RegClose(handle);
  return true;
}

// Value names, then subkey names with a backslash.
std::vector<std::string> KeyEntries(int root, const char* key) {
  std::vector<std::string> names;
  RegHandle handle = 0;
  if (Sys().RegOpen(RegistryRoot(root), key, kKeyRead, &handle) != 0) return names;
  for (uint32_t i = 0;; ++i) {
    char name[1024];
    uint32_t size = sizeof name, type = 0;
    if (Sys().RegEnumValueAt(handle, i, name, &size, &type) != 0) break;
    names.push_back(ValueLabel(name));
  }
  for (uint32_t i = 0;; ++i) {
    char name[512];
    uint32_t size = sizeof name;
    if (Sys().RegEnumKeyAt(handle, i, name, &size) != 0) break;
    names.push_back(std::string(name) + "\\");
  }
  Sys().RegClose(handle);
  return names;
}

// The value's type and bytes; false when it is not there. A value too large for the
// buffer is there all the same, with its bytes left out.
bool ReadValue(int root, const char* key, const char* name, uint32_t* type, std::string* bytes) {
  RegHandle handle = 0;
  if (Sys().RegOpen(RegistryRoot(root), key, kKeyQueryValue, &handle) != 0) return false;
  char data[4096];
  uint32_t size = sizeof data;
  int result = Sys().RegQuery(handle, name, type, data, &size);
  Sys().RegClose(handle);
  if (result == kErrMoreData) {
    bytes->clear();
    return true;
  }
  if (result != 0) return false;
  bytes->assign(data, size < sizeof data ? size : sizeof data);
  return true;
}

// A count as the shared-file pass reads it: REG_DWORD, four-byte REG_BINARY or decimal text.
bool SharedCount(const char* path, int32_t* count) {
  uint32_t type = 0;
  std::string bytes;
  if (!ReadValue(2, kSharedDllsKey, path, &type, &bytes)) return false;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
  if ((type == kRegDword && bytes.size() >= 4) || (type == kRegBinary && bytes.size() == 4)) {
    *count =
        static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
    return true;
  }
  if (type == kRegSz) {
    *count = ReadDecimal(bytes.c_str());
    return true;
  }
  return false;
}

// The strings of an old-data list (strings one after another, ended by an empty one).
std::vector<std::string> OldDataStrings(const char* data) {
  std::vector<std::string> strings;
  size_t at = 0;
  while (at < kOldDataSize && data[at] != '\0') {
    strings.push_back(std::string(data + at, strnlen(data + at, kOldDataSize - at)));
    at += strings.back().size() + 1;
  }
  return strings;
}

std::string HexBytes(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

// The registry's data in the log's text form for the log's type number (0 REG_SZ,
// 1 REG_EXPAND_SZ, 2 REG_MULTI_SZ as "a | b", 3 REG_DWORD in decimal, 4 REG_BINARY in hex),
// so that it compares with old data as the restore writes it; empty when the registry type
// is not the one the restore writes.
bool DataAsLogText(int logType, uint32_t type, const std::string& bytes, std::string* text) {
  static const uint32_t kRegistryTypes[] = {kRegSz, kRegExpandSz, kRegMultiSz, kRegDword,
                                            kRegBinary};
  if (logType < 0 || logType > 4 || type != kRegistryTypes[logType]) return false;
  switch (logType) {
    case 2: {
      std::vector<std::string> strings = RegStringsOf(bytes);
      while (!strings.empty() && strings.back().empty()) strings.pop_back();
      text->clear();
      for (size_t i = 0; i < strings.size(); ++i) *text += (i > 0 ? " | " : "") + strings[i];
      return true;
    }
    case 3: {
      if (bytes.size() < 4) return false;
      const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
      *text = std::to_string(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
      return true;
    }
    case 4: *text = HexBytes(bytes); return true;
    default: *text = std::string(bytes.c_str()); return true;
  }
}

// The old data in the same form: what the restore of a changed value writes back.
std::string OldDataAsLogText(int logType, const char* data) {
  std::vector<std::string> strings = OldDataStrings(data);
  std::string first = strings.empty() ? std::string() : strings[0];
  switch (logType) {
    case 2: {
      std::string text;
      for (size_t i = 0; i < strings.size(); ++i) text += (i > 0 ? " | " : "") + strings[i];
      return text;
    }
    case 3: return std::to_string(static_cast<uint32_t>(ReadDecimal(first.c_str())));
    case 4: {
      std::string hex;
      for (char c : first) {
        char u = UpperAscii(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'F')) hex.push_back(u);
      }
      if (hex.size() % 2 != 0) hex.pop_back();  // the restore drops a last unpaired digit
      return hex;
    }
    default: return first;
  }
}

// A restart-time operation: a deletion (empty target) or a move of source onto target.
struct PendingOperation {
  std::string source;
  std::string target;
  const char* where;
};

std::string LongForm(const std::string& path, bool longForm) {
  char buffer[256];
  CopyText(buffer, sizeof buffer, path.c_str());
  NormalizePath(buffer, sizeof buffer, longForm);
  return buffer;
}

// The restart operations of both kinds: the NT family's pending renames and the [rename]
// section of WININIT.INI (short names there).
std::vector<PendingOperation> ReadPendingOperations() {
  std::vector<PendingOperation> operations;
  RegHandle key = 0;
  if (Sys().RegOpen(RegistryRoot(2), kSessionManagerKey, kKeyQueryValue, &key) == 0) {
    uint32_t type = 0, size = 0;
    if (Sys().RegQuery(key, kPendingValue, &type, nullptr, &size) == 0 && size > 0) {
      std::string data(size, '\0');
      if (Sys().RegQuery(key, kPendingValue, &type, &data[0], &size) == 0) {
        data.resize(size);
        for (const RestartOperation& operation : PendingRenamesOf(data))
          operations.push_back({operation.source, operation.target, kPendingValue});
      }
    }
    Sys().RegClose(key);
  }

  char windows[260] = {};
  Sys().WindowsDirectory(windows, sizeof windows);
  windows[sizeof windows - 1] = '\0';
  std::string wininit = windows;
  if (!wininit.empty() && !EndsWithBackslash(wininit.c_str())) wininit += '\\';
  wininit += "WININIT.INI";
  FileHandle file = Sys().OpenForRead(wininit.c_str());
  if (file == kNoFile) return operations;
  std::string text;
  char block[4096];
  int got;
  while ((got = Sys().ReadBytes(file, block, sizeof block)) > 0) text.append(block, got);
  Sys().CloseFile(file);
  for (const RestartOperation& operation : WininitRenamesOf(text))
    operations.push_back({operation.source, operation.target, "WININIT.INI"});
  return operations;
}

bool SamePath(const std::string& a, const std::string& b) {
  if (EqualNoCase(a.c_str(), b.c_str())) return true;
  return EqualNoCase(LongForm(a, true).c_str(), LongForm(b, true).c_str()) ||
         EqualNoCase(LongForm(a, false).c_str(), LongForm(b, false).c_str());
}

class Scan {
 public:
  Scan(const RunFacts& facts, LeftoverReport* report)
      : g_(CurrentGates()), facts_(facts), report_(report), pending_(ReadPendingOperations()) {}

  // The driver's order of passes.
  void Run() {
    Services();
    IniFiles();
    IniEntries();
    Files(gStore.PrivateFiles, false);
    Files(gStore.SystemFiles, true);
    NotOwnedFiles();
    EditedFiles();
    DeletedFiles();
    Folders();
    CreatedValues();
    ChangedValues();
    CreatedKeys();
    Trees();
    Icons();
  }

 private:
  // Reports the item; anchor_ names it as the action line does, when that differs.
  void Add(const char* kind, const std::string& item, const char* reason,
           const std::string& detail) {
    if (!seen_.insert(Upper(std::string(kind) + "|" + item)).second) return;
    report_->items.push_back({kind, item, reason, detail, anchor_.empty() ? item : anchor_});
    if (strcmp(reason, kReasonUnexplained) == 0) ++report_->unexplained;
  }

  // Only in a rollback: the record came with an earlier section, which the rollback leaves.
  std::string EarlierDetail(uint16_t first, uint16_t last) const {
    if (last < g_.minSection)
      return "logged by " + SectionList(first, last) + " only; the rollback undoes section " +
             std::to_string(g_.minSection);
    return "section " + std::to_string(first) +
           " installed it before the last installation did; the rollback leaves it as that one "
           "left it";
  }

  // A deletion (*replace false) or a move onto the path (*replace true) waiting for the
  // next restart; where names the mechanism.
  bool Pending(const char* path, bool* replace, const char** where) const {
    bool found = false;
    *replace = false;
    for (const PendingOperation& op : pending_) {
      if (op.target.empty() ? SamePath(op.source, path) : SamePath(op.target, path)) {
        found = true;
        *where = op.where;
        if (!op.target.empty()) *replace = true;
      }
    }
    return found;
  }

  // A file the run tried to delete (or to put its backup over: backup names the copy) and
  // that is still there.
  void FileStillThere(const char* kind, const std::string& path, const char* backup,
                      const std::string& unexplainedHint) {
    bool restore = backup != nullptr && backup[0] != '\0';
    bool replace = false;
    const char* where = "";
    if (Pending(path.c_str(), &replace, &where)) {
      if (replace)
        Add(kind, path, kReasonPendingReplace,
            std::string("in use: its earlier copy goes over it at the next restart (") + where +
                ")");
      else
        Add(kind, path, kReasonPendingDelete,
            std::string("in use: deleted at the next restart (") + where + ")");
      return;
    }
    // The copy goes once it is back in place; one still there with other data was not put
    // back.
    if (restore && FileThere(backup) && !SameContents(path.c_str(), backup)) {
      Add(kind, path, kReasonUnexplained,
          std::string("the rollback puts back the earlier copy, but it holds other data and the "
                      "copy is still there (") +
              backup + ")");
      return;
    }
    if (restore) {
      Add(kind, path, kReasonBackupRestored,
          "the rollback put back the copy the last installation had replaced");
      return;
    }
    std::string detail = "the run deletes it, and no deletion at the next restart is waiting";
    if (!gStore.deleteInUse) detail += "; the log does not let files in use go at the next restart";
    Add(kind, path, kReasonUnexplained, detail + unexplainedHint);
  }

  bool SharedReleasedKept(const char* path) const {
    for (const std::string& kept : facts_.sharedReleasedKept)
      if (EqualNoCase(kept.c_str(), path)) return true;
    return false;
  }

  // The shared-count step of the preparation pass; true when it keeps the file.
  bool SharedKeeps(const char* kind, const FileItem& item) {
    const char* path = item.path.c_str();
    if (item.counterSection < g_.minSection || !gRun.newShell) return false;
    int32_t count = 0;
    if (SharedCount(path, &count) && count > 0) {
      Add(kind, path, kReasonShared,
          "SharedDLLs still counts " + std::to_string(count) + " other user" +
              (count == 1 ? "" : "s"));
      return true;
    }
    if (SharedReleasedKept(path)) {
      Add(kind, path, kReasonSharedReleased,
          "its SharedDLLs count reached zero and the run kept it (asked whether to remove it, the "
          "answer was No)");
      return true;
    }
    return false;
  }

  void Files(const ItemList<FileItem>& list, bool system) {
    anchor_.clear();
    const char* kind = system ? "system file" : "file";
    for (int32_t i = 0; i < list.count; ++i) {
      const FileItem& item = *list[i];
      const char* path = item.path.c_str();
      if (item.path.Empty() || !FileThere(path)) continue;
      if (item.lastSection < g_.minSection) {
        Add(kind, path, kReasonEarlierSection, EarlierDetail(item.firstSection, item.lastSection));
        continue;
      }
      // A rollback puts the earlier copy back whatever the count says.
      bool putBack = g_.rollback && BackupOfThisSection(g_, item);
      if (PreparationTakesFile(g_, item, system)) {
        if (!putBack && SharedKeeps(kind, item)) continue;
        if (EarlierInstallationKeepsFile(g_, item)) {
          Add(kind, path, kReasonEarlierSection,
              EarlierDetail(item.firstSection, item.lastSection));
          continue;
        }
      }
      bool chosen = RemovalTakesFile(g_, item, system);
      if (!chosen && system) {
        Add(kind, path, kReasonSystemFile,
            "a file of the system directory: it goes only when the log marks it non-system, or "
            "when its SharedDLLs count reaches zero and removing it is agreed to");
        continue;
      }
      if (!chosen) {
        Add(kind, path, kReasonHasBackup,
            "it replaced a file of which the installation kept a backup copy (" +
                std::string(item.backupPath.c_str()) +
                "): an automatic run removes only what replaced nothing");
        continue;
      }
      const char* restore = RestoresBackup(g_, item) ? item.backupPath.c_str() : nullptr;
      std::string hint;
      if (item.counterSection >= g_.minSection && gRun.newShell)
        hint = "; unless SharedDLLs counted it and the run kept it when the count reached zero";
      FileStillThere(kind, path, restore, hint);
    }
  }

  // Records the loader set aside as not the application's: present now, they are files the
  // log leaves where they are.
  void NotOwnedFiles() {
    anchor_.clear();
    const ItemList<FileItem>& list = gStore.MissingFiles;
    for (int32_t i = 0; i < list.count; ++i) {
      const char* path = list[i]->path.c_str();
      if (list[i]->path.Empty() || !FileThere(path)) continue;
      if (SharedReleasedKept(path)) {
        Add("file", path, kReasonSharedReleased,
            "its SharedDLLs count reached zero and the run kept it (asked whether to remove it, "
            "the answer was No)");
        continue;
      }
      char drive = UpperAscii(path[0]);
      char root[4] = {path[0], ':', '\\', '\0'};
      if (path[1] == ':' && (drive == 'A' || drive == 'B') &&
          Sys().DriveType(root) == kDriveRemovable) {
        Add("file", path, kReasonNotOwned, "on a removable drive: the log leaves it there");
      } else {
        Add("file", path, kReasonNotOwned,
            "overwritten without a backup copy and not counted in SharedDLLs: not the "
            "application's "
            "to remove (a count that the run took to zero looks the same)");
      }
    }
  }

  void EditedFiles() {
    anchor_.clear();
    const ItemList<EditedFileItem>& list = gStore.EditedFiles;
    for (int32_t i = 0; i < list.count; ++i) {
      const EditedFileItem& item = *list[i];
      const char* path = item.path.c_str();
      if (!FileThere(path)) continue;
      if (!g_.rollback) {
        Add("edited file", path, kReasonEditedFile,
            "the installation edited it and kept a backup copy; an uninstall leaves it, only a "
            "rollback puts the copy back");
      } else if (item.section < g_.minSection) {
        Add("edited file", path, kReasonEarlierSection, EarlierDetail(item.section, item.section));
      } else {
        FileStillThere("edited file", path, item.backupPath.c_str(), "");
      }
    }
  }

  void DeletedFiles() {
    anchor_.clear();
    const ItemList<DeletedFileItem>& list = gStore.DeletedFiles;
    for (int32_t i = 0; i < list.count; ++i) {
      const DeletedFileItem& item = *list[i];
      const char* path = item.path.c_str();
      if (!FileThere(path)) continue;
      if (g_.rollback && item.section >= g_.minSection) {
        FileStillThere("deleted file", path, item.backupPath.c_str(), "");
      } else {
        Add("deleted file", path, kReasonDeletedFile,
            "the installation deleted it (keeping a backup copy); the uninstall never removes it");
      }
    }
  }

  void Services() {
    anchor_.clear();
    const ItemList<ServiceItem>& list = gStore.Services;
    for (int32_t i = 0; i < list.count; ++i) {
      const ServiceItem& item = *list[i];
      ServiceHandle manager = Sys().ScmOpen(kScManagerConnect);
      if (manager == 0) {
        report_->notes.push_back("services not checked: the service manager does not open");
        report_->unchecked.push_back("services");
        return;
      }
      ServiceHandle service = Sys().ServiceOpen(manager, item.name.c_str(), kServiceQueryStatus);
      if (service != 0) Sys().ServiceClose(service);
      Sys().ServiceClose(manager);
      if (service == 0) continue;
      if (item.section < g_.minSection || EarlierSectionKeeps(g_, item.firstSection)) {
        Add("service", item.name.c_str(), kReasonEarlierSection,
            EarlierDetail(item.firstSection, item.section));
      } else {
        Add("service", item.name.c_str(), kReasonUnexplained, "the run deletes the service");
      }
    }
  }

  bool IniFileGoes(const char* path) const {
    const ItemList<IniFileItem>& list = gStore.IniFiles;
    for (int32_t i = 0; i < list.count; ++i) {
      const IniFileItem& item = *list[i];
      if (EqualNoCase(item.path.c_str(), path))
        return item.section >= g_.minSection && !EarlierSectionKeeps(g_, item.firstSection);
    }
    return false;
  }

  void IniFiles() {
    anchor_.clear();
    const ItemList<IniFileItem>& list = gStore.IniFiles;
    for (int32_t i = 0; i < list.count; ++i) {
      const IniFileItem& item = *list[i];
      const char* path = item.path.c_str();
      if (!FileThere(path)) continue;
      if (item.section < g_.minSection || EarlierSectionKeeps(g_, item.firstSection)) {
        Add("INI file", path, kReasonEarlierSection,
            EarlierDetail(item.firstSection, item.section));
      } else {
        FileStillThere("INI file", path, nullptr, "");
      }
    }
  }

  void IniEntries() {
    const ItemList<IniEditItem>& list = gStore.IniEdits;
    for (int32_t i = 0; i < list.count; ++i) {
      const IniEditItem& item = *list[i];
      const char* file = item.file.c_str();
      if (!FileThere(file)) continue;
      char value[1024];
      Sys().ReadIniString(item.sectionName.c_str(), item.key.c_str(), kNoEntry, value, sizeof value,
                          file);
      value[sizeof value - 1] = '\0';
      if (strcmp(value, kNoEntry) == 0) continue;
      std::string entry =
          std::string(file) + " [" + item.sectionName.c_str() + "] " + item.key.c_str();
      anchor_ = file;
      if (item.section < g_.minSection) {
        Add("INI entry", entry, kReasonEarlierSection,
            EarlierDetail(item.firstSection, item.section));
        continue;
      }
      bool replace = false;
      const char* where = "";
      if (IniFileGoes(file) && Pending(file, &replace, &where) && !replace) {
        Add("INI entry", entry, kReasonPendingDelete,
            std::string("its file, in use, is deleted at the next restart (") + where + ")");
        continue;
      }
      const char* old = g_.rollback ? item.lastOldValue.c_str() : item.firstOldValue.c_str();
      if (old[0] == '\0') {
        Add("INI entry", entry, kReasonUnexplained,
            "holds " + Quoted(value) + "; it did not exist before, and the run deletes it");
      } else if (strcmp(value, old) == 0) {
        Add("INI entry", entry, kReasonRestored, "back to its earlier value " + Quoted(old));
      } else {
        Add("INI entry", entry, kReasonUnexplained,
            "holds " + Quoted(value) + ", but the run puts back its earlier value " + Quoted(old));
      }
    }
  }

  void Folders() {
    const ItemList<DirItem>& list = gStore.Directories;
    for (int32_t i = 0; i < list.count; ++i) {
      const DirItem& item = *list[i];
      // The log's own directory is where the log is read from, not something the log
      // names: verify reads a copy kept elsewhere.
      if (item.dirSection == kLogDirectorySection) continue;
      std::string path = item.path.c_str();
      anchor_ = path;
      while (anchor_.size() > 3 && EndsWithBackslash(anchor_.c_str())) anchor_.pop_back();
      if (FindChar(path.c_str(), '*') != nullptr || FindChar(path.c_str(), '?') != nullptr)
        path = path.substr(0, FileNamePart(path.c_str()) - path.c_str());
      while (path.size() > 3 && EndsWithBackslash(path.c_str())) path.pop_back();
      if (!FolderThere(path.c_str())) continue;
      if (item.dirSection < g_.minSection || EarlierSectionKeeps(g_, item.firstSection)) {
        Add("folder", path, kReasonEarlierSection,
            EarlierDetail(item.firstSection, item.dirSection));
        continue;
      }
      bool withContents = g_.custom || item.treeSection >= g_.minSection;
      if (IsProtectedDirectory(path.c_str())) {
        Add("folder", path, kReasonProtected,
            "a protected folder (Windows, System, Program Files or a root): never removed");
        continue;
      }
      if (IsLink(path.c_str())) {
        Add("folder", path, kReasonLink,
            "a link (junction or symbolic link): the run never enters it, its contents belong to "
            "its target");
        continue;
      }
      std::string link = withContents ? LinkAbove(path) : std::string();
      if (!link.empty()) {
        Add("folder", path, kReasonLink,
            "lies below the link " + link + ": the run deletes no files through a link");
        continue;
      }
      std::vector<std::string> entries = WhatIsLeftBelow(path);
      // A whole tree goes with everything in it: what is left must be waiting for the
      // restart. A pattern tree and a created folder keep what is not theirs.
      bool wholeTree = withContents && FindChar(item.path.c_str(), '*') == nullptr &&
                       FindChar(item.path.c_str(), '?') == nullptr;
      std::vector<std::string> stray;
      for (const std::string& entry : entries) {
        bool replace = false;
        const char* where = "";
        if (wholeTree && !Pending((path + "\\" + entry).c_str(), &replace, &where))
          stray.push_back(entry);
      }
      if (!stray.empty()) {
        Add("folder", path, kReasonUnexplained,
            "the run deletes everything in it, but it holds " + EntriesText(stray) +
                ", not waiting for the restart");
      } else if (!entries.empty()) {
        Add("folder", path, kReasonNotEmpty,
            "holds " + EntriesText(entries) + (wholeTree ? ", deleted at the next restart" : ""));
      } else {
        Add("folder", path, kReasonUnexplained, "empty, and the run removes it");
      }
    }
  }

  // The created-value pass's gates for a record.
  bool CreatedValueGoes(const RegKeyItem& item) const {
    return item.section >= g_.minSection && !EarlierSectionKeeps(g_, item.firstSection);
  }

  void CreatedValues() {
    const ItemList<RegKeyItem>& list = gStore.RegKeys;
    for (int32_t i = list.count - 1; i >= 0; --i) {
      const RegKeyItem& item = *list[i];
      if (item.root < 0 || item.root > 4) continue;
      uint32_t type = 0;
      std::string bytes;
      if (!ReadValue(item.root, item.key.c_str(), item.valueName.c_str(), &type, &bytes)) continue;
      std::string value =
          KeyName(item.root, item.key.c_str()) + ": " + ValueLabel(item.valueName.c_str());
      anchor_ = KeyAnchor(item.key.c_str());
      if (!CreatedValueGoes(item)) {
        Add("registry value", value, kReasonEarlierSection,
            EarlierDetail(item.firstSection, item.section));
      } else {
        Add("registry value", value, kReasonUnexplained,
            "created by the installation, and the run deletes it");
      }
    }
  }

  void ChangedValues() {
    const ItemList<RegEditItem>& list = gStore.RegEdits;
    for (int32_t i = 0; i < list.count; ++i) {
      const RegEditItem& item = *list[i];
      if (item.root < 0 || item.root > 4) continue;
      uint32_t type = 0;
      std::string bytes;
      if (!ReadValue(item.root, item.key.c_str(), item.valueName.c_str(), &type, &bytes)) continue;
      // A value created by one section and changed by another is the created-value pass's,
      // which runs after the restore: it was reported there.
      std::string value =
          KeyName(item.root, item.key.c_str()) + ": " + ValueLabel(item.valueName.c_str());
      anchor_ = KeyAnchor(item.key.c_str());
      if (item.section < g_.minSection) {
        Add("registry value", value, kReasonEarlierSection,
            EarlierDetail(item.firstSection, item.section));
        continue;
      }
      std::string old =
          OldDataAsLogText(item.type, g_.rollback ? item.lastOldData : item.firstOldData);
      std::string now;
      if (DataAsLogText(item.type, type, bytes, &now) && now == old) {
        Add("registry value", value, kReasonRestored, "back to its earlier data " + Quoted(old));
      } else {
        Add("registry value", value, kReasonUnexplained,
            "the run puts back its earlier data " + Quoted(old) + ", but it holds " +
                (DataAsLogText(item.type, type, bytes, &now) ? Quoted(now)
                                                             : "data of another type"));
      }
    }
  }

  // The keys of created values: a key goes with its last value, unless something else is
  // left in it.
  void CreatedKeys() {
    const ItemList<RegKeyItem>& list = gStore.RegKeys;
    std::set<std::string> done;
    for (int32_t i = list.count - 1; i >= 0; --i) {
      const RegKeyItem& item = *list[i];
      if (item.root < 0 || item.root > 4 || item.key.Empty()) continue;
      std::string name = KeyName(item.root, item.key.c_str());
      if (!done.insert(Upper(name)).second) continue;
      if (!KeyThere(item.root, item.key.c_str())) continue;
      anchor_ = KeyAnchor(item.key.c_str());
      bool anyGoes = false;
      uint16_t first = item.firstSection, last = item.section;
      for (int32_t j = 0; j < list.count; ++j) {
        const RegKeyItem& other = *list[j];
        if (other.root != item.root || !EqualNoCase(other.key.c_str(), item.key.c_str())) continue;
        if (CreatedValueGoes(other)) anyGoes = true;
        if (other.firstSection < first) first = other.firstSection;
        if (other.section > last) last = other.section;
      }
      if (!anyGoes) {
        Add("registry key", name, kReasonEarlierSection, EarlierDetail(first, last));
        continue;
      }
      std::vector<std::string> entries = KeyEntries(item.root, item.key.c_str());
      if (!entries.empty()) {
        Add("registry key", name, kReasonNotEmpty, "holds " + EntriesText(entries));
      } else {
        Add("registry key", name, kReasonUnexplained,
            "empty, and the run deletes it with its last value");
      }
    }
  }

  void Trees() {
    const ItemList<RegTreeItem>& list = gStore.RegTrees;
    for (int32_t i = list.count - 1; i >= 0; --i) {
      const RegTreeItem& item = *list[i];
      if (item.root < 0 || item.root > 4 || item.key.Empty()) continue;
      if (!KeyThere(item.root, item.key.c_str())) continue;
      std::string name = KeyName(item.root, item.key.c_str());
      anchor_ = KeyAnchor(item.key.c_str());
      if (item.section < g_.minSection || EarlierSectionKeeps(g_, item.firstSection)) {
        Add("registry tree", name, kReasonEarlierSection,
            EarlierDetail(item.firstSection, item.section));
        continue;
      }
      std::vector<std::string> entries = KeyEntries(item.root, item.key.c_str());
      Add("registry tree", name, kReasonUnexplained,
          "the run deletes it with everything below it" +
              (entries.empty() ? std::string() : "; it holds " + EntriesText(entries)));
    }
  }

  // The icon's line in the groups read at the conversation's start, matched as the removal
  // matches it: the same command in any group, or the same title in the same group.
  static bool IconListed(const IconItem& icon, std::string* group) {
    for (int slot = 0; slot < kGroupTableSlots && gProgman.GroupTable[slot] != nullptr; ++slot) {
      std::string text = gProgman.GroupTable[slot];
      size_t start = 0;
      std::string groupName;
      bool header = true;
      while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        // "name",... : the first quoted field and, on an item line, the second.
        std::vector<std::string> quoted;
        size_t at = 0;
        while (quoted.size() < 2 && at < line.size() && line[at] == '"') {
          size_t close = line.find('"', at + 1);
          if (close == std::string::npos) break;
          quoted.push_back(line.substr(at + 1, close - at - 1));
          at = close + 1;
          if (at < line.size() && line[at] == ',') ++at;
        }
        if (header) {
          header = false;
          if (quoted.empty()) break;
          groupName = quoted[0];
          continue;
        }
        if (quoted.size() < 2) continue;
        bool sameCommand =
            !icon.command.Empty() && EqualNoCase(quoted[1].c_str(), icon.command.c_str());
        bool sameTitle = EqualNoCase(groupName.c_str(), icon.group.c_str()) &&
                         EqualNoCase(quoted[0].c_str(), icon.title.c_str());
        if (sameCommand || sameTitle) {
          *group = groupName;
          return true;
        }
      }
    }
    return false;
  }

  void Icons() {
    const ItemList<IconItem>& list = gStore.Icons;
    if (list.count == 0) return;
    OpenProgmanConversation();
    if (!gProgman.connected || gProgman.groupList == nullptr) {
      report_->notes.push_back("icons not checked: no Program Manager answered");
      report_->unchecked.push_back("icons");
      CloseProgmanConversation();
      return;
    }
    int listed = 0, read = 0;
    for (const char* p = gProgman.groupList; *p != '\0';) {
      const char* end = p;
      while (*end != '\0' && *end != '\r' && *end != '\n') ++end;
      if (end > p) ++listed;
      p = end;
      while (*p == '\r' || *p == '\n') ++p;
    }
    while (read < kGroupTableSlots && gProgman.GroupTable[read] != nullptr) ++read;
    if (read < listed) {
      report_->notes.push_back("the Program Manager did not show " + std::to_string(listed - read) +
                               " of its " + std::to_string(listed) +
                               " groups: icons in them are not checked");
      report_->unchecked.push_back("icons");
    }
    for (int32_t i = 0; i < list.count; ++i) {
      const IconItem& icon = *list[i];
      std::string group;
      if (!IconListed(icon, &group)) continue;
      std::string name = icon.title.c_str() + std::string(" (group ") + group + ")";
      anchor_ = icon.title.c_str();
      if ((g_.rollback && icon.section != g_.minSection) ||
          EarlierSectionKeeps(g_, icon.firstSection)) {
        Add("icon", name, kReasonEarlierSection, EarlierDetail(icon.firstSection, icon.section));
      } else {
        Add("icon", name, kReasonUnexplained, "the run deletes the icon");
      }
    }
    CloseProgmanConversation();
  }

  PassGates g_;
  const RunFacts& facts_;
  LeftoverReport* report_;
  std::vector<PendingOperation> pending_;
  std::set<std::string> seen_;
  std::string anchor_;
};

}  // namespace

void FindLeftovers(const RunFacts& facts, LeftoverReport* report) {
  *report = LeftoverReport();
  Scan(facts, report).Run();
}

void WriteLeftoverMembers(JsonWriter& w, const Leftover& leftover) {
  JsonKey(w, "kind");
  JsonText(w, leftover.kind.c_str());
  JsonKey(w, "item");
  JsonText(w, leftover.item.c_str());
  JsonKey(w, "reason");
  JsonText(w, leftover.reason.c_str());
  JsonKey(w, "detail");
  JsonText(w, leftover.detail.c_str());
}

std::string Utf8(const std::string& ansi) {
  std::string out;
  for (unsigned char c : ansi) AppendUtf8(out, CodePoint1252(c));
  return out;
}

std::string LeftoverText(const Leftover& leftover, const char* indent) {
  return std::string(indent) + Utf8(leftover.kind + " " + leftover.item) + "\n" + indent + "    " +
         leftover.reason + ": " + Utf8(leftover.detail) + "\n";
}
