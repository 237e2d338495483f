// SnapshotForLog (machine_snapshot.h). It reads only through the platform seam, so it runs
// against the real machine on Windows and against a simulated one in tests alike. Copies are
// bounded (kMaxEntries files and keys, kMaxContents bytes per file): what lies beyond is left
// out, which can only make a directory look emptier than it is.
#include "tarnlog/machine_snapshot.h"

#include <cstring>
#include <map>
#include <set>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/platform.h"
#include "tarnlog/load_log.h"
#include "uninstall/file_removal.h"

namespace {

constexpr size_t kMaxEntries = 20000;
constexpr uint32_t kMaxContents = 4u << 20;

const char* const kRootNames[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};

// What comes before the last backslash of a path or key, or empty when it has none; the
// backslash is found by whole characters.
std::string FolderOf(const std::string& path) {
  size_t name = static_cast<size_t>(FileNamePart(path.c_str()) - path.c_str());
  return name > 0 ? path.substr(0, name - 1) : std::string();
}

struct Snapshot {
  MachineImage* image;
  std::set<std::string> seenDirs, seenKeys;
  std::map<std::string, size_t> fileIndex;          // upper-cased path: its entry in image->files
  std::map<std::string, uint64_t> withoutContents;  // copied as a directory entry only: size
  size_t entries = 0;

  // Folded as the uninstaller compares names: two files whose names differ only in a
  // double-byte character must not share an entry.
  static std::string Upper(const std::string& text) {
    std::string upper = text;
    FoldCase(&upper[0]);
    return upper;
  }

  std::string ReadContents(const std::string& path, uint64_t size) {
    std::string contents;
    if (size > kMaxContents) return contents;
    FileHandle file = Sys().OpenForRead(path.c_str());
    if (file == kNoFile) return contents;
    char buffer[16384];
    int got;
    while ((got = Sys().ReadBytes(file, buffer, sizeof buffer)) > 0) contents.append(buffer, got);
    Sys().CloseFile(file);
    return contents;
  }

  // The directory and every directory above it, each with its short name.
  void AddDirectory(const std::string& path) {
    std::string dir = path;
    while (!dir.empty() && EndsWithBackslash(dir.c_str())) dir.pop_back();
    if (dir.size() <= 2 || !seenDirs.insert(Upper(dir)).second) return;
    size_t cut = static_cast<size_t>(FileNamePart(dir.c_str()) - dir.c_str());
    if (cut > 3) AddDirectory(dir.substr(0, cut - 1));
    FindEntry entry = {};
    SearchHandle search = Sys().FindFirst(dir.c_str(), &entry);
    if (search == kNoSearch) return;
    Sys().FindEnd(search);
    if ((entry.attributes & kAttrDirectory) == 0) return;
    ImageDirectory copy;
    copy.path = dir;
    copy.attributes = entry.attributes;
    copy.shortName = entry.shortName;
    image->directories.push_back(copy);
  }

  // One file as it is: attributes, time, short name, contents (when not too large). A file
  // first met as a directory's entry, without contents, gets them when it turns out to be
  // one the log names: the checks against its stamp read them.
  void AddFile(const std::string& named, bool withContents) {
    if (named.empty()) return;
    // One entry per file, however the log names it: a short form (a logged program's
    // command) would otherwise be a second copy, without contents, seeded over the first.
    std::string path = named;
    if (path.find('~') != std::string::npos && path.size() < 256) {
      char buffer[256];
      CopyText(buffer, sizeof buffer, path.c_str());
      NormalizePath(buffer, sizeof buffer, true);
      path = buffer;
    }
    auto known = fileIndex.find(Upper(path));
    if (known != fileIndex.end()) {
      ImageFile& copy = image->files[known->second];
      auto bare = withoutContents.find(known->first);
      if (withContents && bare != withoutContents.end()) {
        copy.contents = ReadContents(path, bare->second);
        withoutContents.erase(bare);
      }
      return;
    }
    if (entries >= kMaxEntries) return;
    FindEntry entry = {};
    SearchHandle search = Sys().FindFirst(path.c_str(), &entry);
    if (search == kNoSearch) return;
    Sys().FindEnd(search);
    if (entry.attributes & kAttrDirectory) {
      AddDirectory(path);
      return;
    }
    std::string folder = FolderOf(path);
    if (!folder.empty()) AddDirectory(folder);
    ImageFile copy;
    copy.path = path;
    copy.attributes = entry.attributes;
    copy.lastWrite = entry.lastWrite;
    copy.shortName = entry.shortName;
    if (withContents)
      copy.contents = ReadContents(path, entry.size);
    else
      withoutContents[Upper(path)] = entry.size;
    fileIndex[Upper(path)] = image->files.size();
    image->files.push_back(copy);
    ++entries;
  }

  // A directory's entries: files without contents, subdirectories (with theirs when deep).
  void AddDirectoryContents(const std::string& path, bool deep) {
    std::string dir = path;
    while (!dir.empty() && EndsWithBackslash(dir.c_str())) dir.pop_back();
    AddDirectory(dir);
    FindEntry entry = {};
    SearchHandle search = Sys().FindFirst((dir + "\\*.*").c_str(), &entry);
    if (search == kNoSearch) return;
    do {
      if (strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0) continue;
      std::string child = dir + "\\" + entry.name;
      if (entry.attributes & kAttrDirectory) {
        if (deep && entries < kMaxEntries)
          AddDirectoryContents(child, true);
        else
          AddDirectory(child);
      } else {
        AddFile(child, false);
      }
    } while (entries < kMaxEntries && Sys().FindNext(search, &entry) == 0);
    Sys().FindEnd(search);
  }

  // The values of one key (created on the image even when it has none).
  void AddKey(int root, const std::string& path) {
    std::string name = std::string(kRootNames[root]) + (path.empty() ? "" : "\\" + path);
    if (entries >= kMaxEntries || !seenKeys.insert(Upper(name)).second) return;
    RegHandle key = 0;
    if (Sys().RegOpen(RegistryRoot(root), path.c_str(), kKeyRead, &key) != 0) return;
    ImageRegKey copy;
    copy.path = name;
    for (uint32_t i = 0;; ++i) {
      char valueName[1024];
      uint32_t nameSize = sizeof valueName, type = 0;
      if (Sys().RegEnumValueAt(key, i, valueName, &nameSize, &type) != 0) break;
      uint32_t size = 0;
      if (Sys().RegQuery(key, valueName, &type, nullptr, &size) != 0) continue;
      std::string data(size, '\0');
      if (size > 0 && Sys().RegQuery(key, valueName, &type, &data[0], &size) != 0) continue;
      data.resize(size);
      copy.values.push_back({valueName, type, data});
    }
    Sys().RegClose(key);
    image->registry.push_back(copy);
    ++entries;
  }

  // Subkey names of a key, each as an (empty) key of its own, so that a parent that holds
  // more than the application's keys does not look empty.
  void AddSubkeyNames(int root, const std::string& path, bool deep) {
    RegHandle key = 0;
    if (Sys().RegOpen(RegistryRoot(root), path.c_str(), kKeyRead, &key) != 0) return;
    std::vector<std::string> names;
    for (uint32_t i = 0; entries + names.size() < kMaxEntries; ++i) {
      char name[512];
      uint32_t size = sizeof name;
      if (Sys().RegEnumKeyAt(key, i, name, &size) != 0) break;
      names.push_back(path.empty() ? std::string(name) : path + "\\" + name);
    }
    Sys().RegClose(key);
    for (const std::string& name : names) {
      if (deep) {
        AddKey(root, name);
        AddSubkeyNames(root, name, true);
      } else if (seenKeys.count(Upper(std::string(kRootNames[root]) + "\\" + name)) == 0) {
        AddKey(root, name);
      }
    }
  }

  // A logged key: its values, and above it each ancestor with its values and subkey names.
  void AddLoggedKey(int root, const std::string& path) {
    if (root < 0 || root > 4) return;
    AddKey(root, path);
    std::string above = path;
    while (true) {
      above = FolderOf(above);
      if (above.empty()) break;
      AddKey(root, above);
      AddSubkeyNames(root, above, false);
    }
    AddSubkeyNames(root, path, false);
  }
};

// The ANSI code page of the copy, told from the lead bytes the machine reports: the copy
// must take names by the same characters (the second byte of 表 is a backslash's). 936, 949
// and 950 share their lead bytes, and the simulated machine their rules, so any of them is
// copied as 936; a machine without lead bytes as 1252.
uint32_t AnsiCodePageOf(Platform& sys) {
  if (!sys.IsLeadByte(0x81)) return 1252;
  return sys.IsLeadByte(0xA1) ? 936 : 932;
}

void CopyPlatform(ImagePlatform* platform) {
  platform->ansiCodePage = AnsiCodePageOf(Sys());
  VersionInfo version = Sys().Version();
  platform->ntFamily = version.platformId == 2;
  platform->major = version.major;
  platform->minor = version.minor;
  platform->build = version.build;
  char buffer[260];
  if (Sys().WindowsDirectory(buffer, sizeof buffer) > 0) platform->windowsDirectory = buffer;
  if (Sys().SystemDirectory(buffer, sizeof buffer) > 0) platform->systemDirectory = buffer;
  if (Sys().TempDirectory(buffer, sizeof buffer) > 0) platform->tempDirectory = buffer;
  if (Sys().GetCurrentDir(buffer, sizeof buffer) > 0) platform->currentDirectory = buffer;
  ServiceHandle manager = Sys().ScmOpen(kGenericRead | kGenericWrite | kGenericExecute);
  platform->admin = manager != 0;
  if (manager != 0) Sys().ServiceClose(manager);
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    char root[4] = {letter, ':', '\\', '\0'};
    int type = Sys().DriveType(root);
    if (type > kDriveNoRootDir) platform->drives.push_back({letter, type});
  }
}

Platform* gSnapshotOriginal = nullptr;

}  // namespace

void RememberSnapshotOriginal(Platform* original) { gSnapshotOriginal = original; }
Platform* SnapshotOriginal() { return gSnapshotOriginal; }

int SnapshotForLog(const char* logPath, MachineImage* image) {
  *image = MachineImage();
  // The machine's own characters from the first path on: its folders are cut and its
  // names told apart by them before the log is loaded.
  LoadTextRules();
  CopyPlatform(&image->platform);
  Snapshot s{image, {}, {}, {}, {}, 0};
  std::string log = logPath;
  // The uninstaller beside its log is the program whose own removal the plan shows.
  std::string logDir = FolderOf(log);
  image->platform.modulePath = logDir + "\\UNTARN32.EXE";
  s.AddFile(log, true);
  s.AddFile(image->platform.modulePath, false);
  if (!logDir.empty()) s.AddDirectoryContents(logDir, false);

  int loaded = LoadLogAsUninstaller(logPath);

  auto files = [&](const ItemList<FileItem>& list) {
    for (int32_t i = 0; i < list.count; ++i) {
      std::string path = list[i]->path.c_str();
      s.AddFile(path, true);
      s.AddFile(list[i]->backupPath.c_str(), true);
      std::string folder = FolderOf(path);
      if (!folder.empty()) s.AddDirectoryContents(folder, false);
      // A help file's companions go with it.
      char companion[kPathSize];
      for (int c = 0; HelpFileCompanion(path.c_str(), c, companion, sizeof companion); ++c) {
        s.AddFile(companion, false);
      }
    }
  };
  files(gStore.PrivateFiles);
  files(gStore.SystemFiles);
  files(gStore.MissingFiles);
  for (int32_t i = 0; i < gStore.EditedFiles.count; ++i) {
    s.AddFile(gStore.EditedFiles[i]->path.c_str(), true);
    s.AddFile(gStore.EditedFiles[i]->backupPath.c_str(), true);
  }
  for (int32_t i = 0; i < gStore.DeletedFiles.count; ++i) {
    s.AddFile(gStore.DeletedFiles[i]->path.c_str(), true);
    s.AddFile(gStore.DeletedFiles[i]->backupPath.c_str(), true);
  }
  for (int32_t i = 0; i < gStore.IniFiles.count; ++i)
    s.AddFile(gStore.IniFiles[i]->path.c_str(), true);
  for (int32_t i = 0; i < gStore.IniEdits.count; ++i)
    s.AddFile(gStore.IniEdits[i]->file.c_str(), true);
  for (int32_t i = 0; i < gStore.Directories.count; ++i) {
    std::string path = gStore.Directories[i]->path.c_str();
    // A "File Tree: " entry may end in a file pattern: its directory is what is copied.
    if (FindChar(path.c_str(), '*') != nullptr || FindChar(path.c_str(), '?') != nullptr)
      path = FolderOf(path);
    s.AddDirectoryContents(path, true);
  }
  // A logged program is found by cutting its command at blanks until a file exists.
  for (int32_t i = 0; i < gStore.Programs.count; ++i) {
    std::string command = gStore.Programs[i]->command.c_str();
    for (size_t blank = 0; blank != std::string::npos; blank = command.find(' ', blank + 1))
      s.AddFile(blank == 0 ? command : command.substr(0, blank), false);
    s.AddFile(command, false);
  }

  for (int32_t i = 0; i < gStore.RegKeys.count; ++i)
    s.AddLoggedKey(gStore.RegKeys[i]->root, gStore.RegKeys[i]->key.c_str());
  for (int32_t i = 0; i < gStore.RegEdits.count; ++i)
    s.AddLoggedKey(gStore.RegEdits[i]->root, gStore.RegEdits[i]->key.c_str());
  for (int32_t i = 0; i < gStore.RegTrees.count; ++i) {
    const RegTreeItem& tree = *gStore.RegTrees[i];
    s.AddLoggedKey(tree.root, tree.key.c_str());
    if (tree.root >= 0 && tree.root <= 4) s.AddSubkeyNames(tree.root, tree.key.c_str(), true);
  }
  // What start-up and the engine read beside the logged keys.
  s.AddKey(2, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  s.AddKey(2, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs");
  s.AddKey(1, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  s.AddKey(2, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  if (!gRun.appTitle.Empty())
    s.AddLoggedKey(2, std::string("Software\\Tarn Solutions\\Tarn Installation System\\Repair\\") +
                          gRun.appTitle.c_str());
  s.AddLoggedKey(2, "Software\\Tarn Solutions\\TamUser");

  for (int32_t i = 0; i < gStore.Services.count; ++i) {
    ServiceHandle manager = Sys().ScmOpen(kScManagerConnect);
    if (manager == 0) break;
    ServiceHandle service =
        Sys().ServiceOpen(manager, gStore.Services[i]->name.c_str(), kServiceQueryStatus);
    if (service != 0) {
      image->services.push_back({gStore.Services[i]->name.c_str(), std::string(), false});
      Sys().ServiceClose(service);
    }
    Sys().ServiceClose(manager);
  }
  return loaded;
}
