// uninstall_bench: how fast a silent automatic uninstall of a large installation runs.
// Prints its figures; it is not a test.
//
// It generates the large log of testing/loggen (48,000 private files, 48,000 registry values,
// 16,000 INI entries over 20 sections), puts the machine in the state the installation left
// (every file, value and INI entry present), and runs the uninstall the way UNTARN32.EXE /S
// does: the start-up values a silent run sets, the loader, then the uninstall driver (the
// restore point, the status report, self-removal and the restart are left out: none of them
// depends on the size of the log). Load and driver are timed as a whole; inside the driver
// every seam call is timed by kind through a wrapping Platform, and the wall time of each
// pass is taken from the first seam call that only that pass makes (the passes run in a
// fixed order: INI entries write profile strings, the file pass deletes files, the
// directory pass searches directories, the registry pass opens keys).
//
//   natively:  the simulated machine, seeded from the generator's machine image (built in
//              memory, or --log FILE --image IMAGE as loggen wrote them)
//   Windows:   the real file system and registry (under Wine: the prefix). The program
//              creates the files, values and INI files itself, through the seam, under
//              <temp>\untarn-bench\Uninstall; the registry values go where the generator
//              puts them (HKCR\CLSID, HKLM and HKCU\Software\Fernhill).
//
//   uninstall_bench [--seed-only] [--journal FILE] [--pump-sample N] [--full-pump]
//                   [--divide N] [--log FILE --image IMAGE]
//
// On Windows, --log FILE alone uninstalls an installation that is already in place (for
// one that another tool put there, such as the peer comparison's): nothing is seeded, and
// the check afterwards looks at the files and values the store names.
//
// --divide N makes a log with a N-th of every list (a quick look; the figures are for 1).
//
// --journal writes every change the uninstall made (each delete and each INI write that
// succeeded) so that testing/baseline_remove can make the same changes with the bare API.
// --seed-only puts the machine state back and ends (for that baseline run).
//
// Between items the driver only dispatches queued messages. Should it ask for timed waits
// (a timer tick on the hidden main window of a silent run), the first N of them
// (--pump-sample, default 200) are real and the rest only dispatch, so that the run stays
// short, and the figures show what all of them would add. --full-pump makes every wait real.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "bench_support.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "loggen/log_generator.h"
#include "platform/forwarding.h"
#include "platform/platform.h"
#include "run/run_reset.h"
#include "run/startup.h"
#include "ui/console_ui.h"
#include "uninstall/uninstall_driver.h"

#ifdef _WIN32
#include "platform/win32/win32_platform.h"
#include "ui/win32/win32_ui.h"
#else
#include <fstream>
#include <sstream>

#include "platform/image/machine_image.h"
#include "platform/sim/sim_machine.h"
#endif

namespace {

using Clock = BenchClock;

// ---------------------------------------------------------------------------------------
// Timing through the seam.

enum OpKind {
  kOpDelete,      // RemoveFile, RemoveEmptyDirectory, MoveFileFlags
  kOpAttributes,  // GetAttributes, SetAttributes
  kOpSearch,      // FindFirst, FindNext, FindEnd
  kOpRegistry,    // every Reg* call
  kOpIni,         // profile strings
  kOpShell,       // the shell's change notification
  kOpFileIo,      // opening, reading, writing files, copies, new directories
  kOpOther,
  kOpKinds
};
const char* const kOpNames[kOpKinds] = {
    "deletes (files, directories)", "attributes",          "directory search", "registry",
    "INI (profile strings)",        "shell notifications", "file contents",    "other"};

// The passes of the driver, in their fixed order. Each begins with the first seam call
// that only it makes: a profile write (INI entries), a registry call before any file is
// deleted (the shared counts of the file preparation), a file deletion, a directory
// search, a registry call after the files (values, keys and the repair record).
enum Pass {
  kPassStart,
  kPassIni,
  kPassPrepare,
  kPassFiles,
  kPassDirectories,
  kPassRegistry,
  kPasses
};
const char* const kPassNames[kPasses] = {"start (programs, services, INI files)",
                                         "INI entries",
                                         "file preparation (shared counts)",
                                         "files",
                                         "directories",
                                         "registry and records"};

struct OpStats {
  uint64_t calls = 0;
  uint64_t failures = 0;
  double seconds = 0;
};

// A Platform that forwards every call to the real back-end, adds up the time of each kind
// of call, notes when a pass begins, and writes a journal of the changes that succeeded.
class TimedPlatform final : public ForwardingPlatform {
 public:
  explicit TimedPlatform(Platform& inner) : ForwardingPlatform(inner) {}

  OpStats stats[kOpKinds];
  bool trackPasses = false;
  Pass pass = kPassStart;
  Clock::time_point passStart[kPasses] = {};
  bool passSeen[kPasses] = {};
  bool journalOn = false;
  std::string journal;
  uint64_t journalEntries = 0;

  void ResetStats() {
    for (OpStats& s : stats) s = OpStats();
    pass = kPassStart;
    for (bool& seen : passSeen) seen = false;
  }
  void StartPasses(Clock::time_point now) {
    trackPasses = true;
    pass = kPassStart;
    passStart[kPassStart] = now;
    passSeen[kPassStart] = true;
  }

  // --- files ---
  uint32_t GetAttributes(const char* path) override {
    return Timed(kOpAttributes, kPasses, [&] { return inner_.GetAttributes(path); });
  }
  int SetAttributes(const char* path, uint32_t attributes) override {
    return Failing(kOpAttributes, kPasses, [&] { return inner_.SetAttributes(path, attributes); });
  }
  int RemoveFile(const char* path) override {
    int result = Failing(kOpDelete, kPassFiles, [&] { return inner_.RemoveFile(path); });
    if (result == 0) Journal({"F", path});
    return result;
  }
  int CopyFileTo(const char* from, const char* to, bool failIfExists) override {
    return Failing(kOpFileIo, kPasses, [&] { return inner_.CopyFileTo(from, to, failIfExists); });
  }
  int MoveFileFlags(const char* from, const char* to, uint32_t flags) override {
    return Failing(kOpDelete, kPasses, [&] { return inner_.MoveFileFlags(from, to, flags); });
  }
  int MakeDirectory(const char* path) override {
    return Failing(kOpFileIo, kPasses, [&] { return inner_.MakeDirectory(path); });
  }
  int RemoveEmptyDirectory(const char* path) override {
    int result = Failing(kOpDelete, kPasses, [&] { return inner_.RemoveEmptyDirectory(path); });
    if (result == 0) Journal({"D", path});
    return result;
  }
  FileHandle OpenForRead(const char* path) override {
    return Timed(kOpFileIo, kPasses, [&] { return inner_.OpenForRead(path); });
  }
  FileHandle OpenForWrite(const char* path) override {
    return Timed(kOpFileIo, kPasses, [&] { return inner_.OpenForWrite(path); });
  }
  FileHandle CreateTruncated(const char* path) override {
    return Timed(kOpFileIo, kPasses, [&] { return inner_.CreateTruncated(path); });
  }
  int ReadBytes(FileHandle file, void* buffer, uint32_t count) override {
    return Timed(kOpFileIo, kPasses, [&] { return inner_.ReadBytes(file, buffer, count); });
  }
  int WriteBytes(FileHandle file, const void* data, uint32_t count) override {
    return Timed(kOpFileIo, kPasses, [&] { return inner_.WriteBytes(file, data, count); });
  }
  int64_t Seek(FileHandle file, int64_t offset, int origin) override {
    return Timed(kOpFileIo, kPasses, [&] { return inner_.Seek(file, offset, origin); });
  }
  int SetLength(FileHandle file, int64_t length) override {
    return Timed(kOpFileIo, kPasses, [&] { return inner_.SetLength(file, length); });
  }
  int GetLastWrite(FileHandle file, uint64_t* fileTime) override {
    return Timed(kOpFileIo, kPasses, [&] { return inner_.GetLastWrite(file, fileTime); });
  }
  int GetTimeAndSize(FileHandle file, uint64_t* fileTime, int64_t* size) override {
    return Timed(kOpFileIo, kPasses, [&] { return inner_.GetTimeAndSize(file, fileTime, size); });
  }
  void CloseFile(FileHandle file) override {
    Timed(kOpFileIo, kPasses, [&] { inner_.CloseFile(file); });
  }

  // --- search ---
  SearchHandle FindFirst(const char* pattern, FindEntry* entry) override {
    return Timed(kOpSearch, kPassDirectories, [&] { return inner_.FindFirst(pattern, entry); });
  }
  int FindNext(SearchHandle search, FindEntry* entry) override {
    return Timed(kOpSearch, kPasses, [&] { return inner_.FindNext(search, entry); });
  }
  void FindEnd(SearchHandle search) override {
    Timed(kOpSearch, kPasses, [&] { inner_.FindEnd(search); });
  }

  // --- process environment and code pages (not timed: cheap and rare) ---
  int GetCurrentDir(char* buffer, uint32_t size) override {
    return Timed(kOpOther, kPasses, [&] { return inner_.GetCurrentDir(buffer, size); });
  }
  int WindowsDirectory(char* buffer, uint32_t size) override {
    return Timed(kOpOther, kPasses, [&] { return inner_.WindowsDirectory(buffer, size); });
  }
  int SystemDirectory(char* buffer, uint32_t size) override {
    return Timed(kOpOther, kPasses, [&] { return inner_.SystemDirectory(buffer, size); });
  }
  int DriveType(const char* root) override {
    return Timed(kOpOther, kPasses, [&] { return inner_.DriveType(root); });
  }

  // --- profile strings ---
  int ReadIniString(const char* section, const char* key, const char* defaultValue, char* buffer,
                    uint32_t size, const char* file) override {
    return Timed(kOpIni, kPasses, [&] {
      return inner_.ReadIniString(section, key, defaultValue, buffer, size, file);
    });
  }
  int ReadIniInt(const char* section, const char* key, int defaultValue,
                 const char* file) override {
    return Timed(kOpIni, kPasses,
                 [&] { return inner_.ReadIniInt(section, key, defaultValue, file); });
  }
  int WriteIniString(const char* section, const char* key, const char* value,
                     const char* file) override {
    int result =
        Failing(kOpIni, kPassIni, [&] { return inner_.WriteIniString(section, key, value, file); });
    if (result == 0 && section != nullptr && key != nullptr) {
      if (value != nullptr) {
        Journal({"I", file, section, key, value});
      } else {
        Journal({"X", file, section, key});
      }
    }
    return result;
  }

  // --- registry ---
  int RegOpen(RegHandle parent, const char* path, uint32_t access, RegHandle* key) override {
    int result = Failing(kOpRegistry, kPassRegistry,
                         [&] { return inner_.RegOpen(parent, path, access, key); });
    if (result == 0) NoteKey(parent, path, *key);
    return result;
  }
  int RegCreate(RegHandle parent, const char* path, uint32_t access, RegHandle* key) override {
    int result = Failing(kOpRegistry, kPassRegistry,
                         [&] { return inner_.RegCreate(parent, path, access, key); });
    if (result == 0) NoteKey(parent, path, *key);
    return result;
  }
  int RegQuery(RegHandle key, const char* name, uint32_t* type, void* data,
               uint32_t* size) override {
    return Failing(kOpRegistry, kPassRegistry,
                   [&] { return inner_.RegQuery(key, name, type, data, size); });
  }
  int RegSet(RegHandle key, const char* name, uint32_t type, const void* data,
             uint32_t size) override {
    return Failing(kOpRegistry, kPassRegistry,
                   [&] { return inner_.RegSet(key, name, type, data, size); });
  }
  int RegRemoveValue(RegHandle key, const char* name) override {
    int result =
        Failing(kOpRegistry, kPassRegistry, [&] { return inner_.RegRemoveValue(key, name); });
    if (result == 0) {
      auto found = keys_.find(key);
      if (found != keys_.end()) {
        Journal({"V", RootText(found->second.root), found->second.path.c_str(), name});
      }
    }
    return result;
  }
  int RegEnumValueAt(RegHandle key, uint32_t index, char* name, uint32_t* nameSize,
                     uint32_t* type) override {
    return Timed(kOpRegistry, kPassRegistry,
                 [&] { return inner_.RegEnumValueAt(key, index, name, nameSize, type); });
  }
  int RegHoldsEntries(RegHandle key, bool* hasValues, bool* hasSubkeys) override {
    return Timed(kOpRegistry, kPassRegistry,
                 [&] { return inner_.RegHoldsEntries(key, hasValues, hasSubkeys); });
  }
  int RegEnumKeyAt(RegHandle key, uint32_t index, char* name, uint32_t* nameSize) override {
    return Timed(kOpRegistry, kPassRegistry,
                 [&] { return inner_.RegEnumKeyAt(key, index, name, nameSize); });
  }
  int RegRemoveKey(RegHandle parent, const char* path) override {
    int result =
        Failing(kOpRegistry, kPassRegistry, [&] { return inner_.RegRemoveKey(parent, path); });
    if (result == 0) {
      KeyPath full;
      if (Resolve(parent, path, &full)) Journal({"K", RootText(full.root), full.path.c_str()});
    }
    return result;
  }
  void RegClose(RegHandle key) override {
    Timed(kOpRegistry, kPassRegistry, [&] { inner_.RegClose(key); });
    keys_.erase(key);
  }

  // --- services, programs, libraries ---
  int CallShellChangeNotify(LibHandle library, int32_t event, uint32_t flags,
                            const char* path) override {
    return Timed(kOpShell, kPasses,
                 [&] { return inner_.CallShellChangeNotify(library, event, flags, path); });
  }
  int LoadStringText(uint32_t id, char* buffer, int size) override {
    return Timed(kOpOther, kPasses, [&] { return inner_.LoadStringText(id, buffer, size); });
  }

 private:
  struct KeyPath {
    RegHandle root = 0;
    std::string path;
  };

  // A pass begins with the first call that only it makes; the passes never go back.
  void Enter(Pass callPass) {
    if (callPass == kPassRegistry && pass < kPassFiles) callPass = kPassPrepare;
    if (!trackPasses || callPass >= kPasses || callPass <= pass) return;
    pass = callPass;
    passStart[callPass] = Clock::now();
    passSeen[callPass] = true;
  }

  template <typename Call>
  auto Timed(OpKind kind, Pass callPass, Call&& call) -> decltype(call()) {
    Enter(callPass);
    OpStats& s = stats[kind];
    ++s.calls;
    Clock::time_point start = Clock::now();
    if constexpr (std::is_void_v<decltype(call())>) {
      call();
      s.seconds += Seconds(start, Clock::now());
    } else {
      auto result = call();
      s.seconds += Seconds(start, Clock::now());
      return result;
    }
  }

  // The same for calls that return 0 on success; failures are counted.
  template <typename Call>
  int Failing(OpKind kind, Pass callPass, Call&& call) {
    int result = Timed(kind, callPass, call);
    if (result != 0) ++stats[kind].failures;
    return result;
  }

  static bool IsRoot(RegHandle key) { return key >= 0x80000000u && key <= 0x80000005u; }
  static const char* RootText(RegHandle root) {
    static char text[16];
    snprintf(text, sizeof text, "%lx", static_cast<unsigned long>(root));
    return text;
  }

  bool Resolve(RegHandle parent, const char* path, KeyPath* out) {
    if (IsRoot(parent)) {
      out->root = parent;
      out->path = path != nullptr ? path : "";
      return true;
    }
    auto found = keys_.find(parent);
    if (found == keys_.end()) return false;
    *out = found->second;
    if (path != nullptr && path[0] != '\0') {
      if (!out->path.empty()) out->path += "\\";
      out->path += path;
    }
    return true;
  }

  void NoteKey(RegHandle parent, const char* path, RegHandle key) {
    if (!journalOn) return;
    KeyPath full;
    if (Resolve(parent, path, &full)) keys_[key] = full;
  }

  // One journal line: the fields separated by tabs.
  void Journal(std::initializer_list<const char*> fields) {
    if (!journalOn) return;
    bool first = true;
    for (const char* field : fields) {
      if (!first) journal += '\t';
      journal += field != nullptr ? field : "";
      first = false;
    }
    journal += '\n';
    ++journalEntries;
  }

  std::map<RegHandle, KeyPath> keys_;
};

// A UserInterface that forwards to the real one and times the message pumps. The first
// `sample` waits are made as asked; later ones only dispatch what is queued (unless every
// wait is to be real).
class TimedUi final : public ForwardingUi {
 public:
  explicit TimedUi(UserInterface& inner) : ForwardingUi(inner) {}

  int sample = 200;
  bool fullPump = false;
  OpStats waits;       // pumps with a wait, made as asked
  OpStats dispatches;  // pumps that only dispatched
  uint64_t waitsAsked = 0;

  void Reset() {
    waits = OpStats();
    dispatches = OpStats();
    waitsAsked = 0;
  }

  void PumpMessages(int ms) override {
    if (ms > 0) ++waitsAsked;
    bool real = ms > 0 && (fullPump || waits.calls < static_cast<uint64_t>(sample));
    OpStats& s = real ? waits : dispatches;
    Clock::time_point start = Clock::now();
    inner_.PumpMessages(real ? ms : 0);
    s.seconds += Seconds(start, Clock::now());
    ++s.calls;
  }


 private:
};

// ---------------------------------------------------------------------------------------
// The machine state and what the uninstall must leave of it.

// What the check after the run looks at: files and values that must be gone, INI entries
// that must no longer hold the value the installation wrote.
struct IniEntryCheck {
  std::string file, section, key, installed;
};
struct RegValueCheck {
  int root;
  std::string key, name;
};
struct Expectation {
  std::vector<std::string> files;
  std::vector<RegValueCheck> values;
  std::vector<IniEntryCheck> iniEntries;
};

Expectation ExpectationOf(const GeneratedLog& generated) {
  Expectation e;
  e.files = generated.files;
  e.files.push_back(generated.logPath);
  for (const GenRegValue& v : generated.values) e.values.push_back({v.root, v.key, v.name});
  for (const GenIniFile& ini : generated.iniFiles)
    for (const auto& section : ini.sections)
      for (const auto& entry : section.second)
        e.iniEntries.push_back({ini.path, section.first, entry.first, entry.second});
  return e;
}

#ifdef _WIN32
// Writes a file through the seam; 0 on success.

// The registry bytes of a generated value, typed as the log's numbering says.
void ValueBytes(const GenRegValue& v, uint32_t* type, std::string* bytes) {
  if (v.logType == 3) {
    uint32_t number = static_cast<uint32_t>(strtoul(v.data.c_str(), nullptr, 10));
    *type = kRegDword;
    bytes->assign(reinterpret_cast<const char*>(&number), 4);
  } else if (v.logType == 4) {
    *type = kRegBinary;
    bytes->clear();
    for (size_t i = 0; i + 1 < v.data.size(); i += 2)
      bytes->push_back(static_cast<char>(strtoul(v.data.substr(i, 2).c_str(), nullptr, 16)));
  } else {
    *type = v.logType == 1 ? kRegExpandSz : kRegSz;
    *bytes = v.data;
    bytes->push_back('\0');
  }
}

// Puts the installation's state on the real machine through the seam: directories, every
// file (rewritten, so that a run after an uninstall starts from the same state), the INI
// files, the log and the registry values.
int SeedReal(Platform& sys, const GeneratedLog& generated) {
  for (const std::string& d : generated.directories) MakeDirectories(sys, d);
  for (const std::string& path : generated.files) {
    if (PutFile(sys, path, loggen::FileContents(path)) != 0) {
      fprintf(stderr, "uninstall_bench: cannot create %s\n", path.c_str());
      return 1;
    }
  }
  if (PutIniFiles(sys, generated) != 0) return 1;
  if (PutFile(sys, generated.logPath, generated.log) != 0) return 1;
  RegHandle key = 0;
  int keyRoot = -1;
  std::string keyPath;
  for (const GenRegValue& v : generated.values) {
    if (key == 0 || v.root != keyRoot || v.key != keyPath) {
      if (key != 0) sys.RegClose(key);
      key = 0;
      if (sys.RegCreate(RegistryRoot(v.root), v.key.c_str(), kKeyAllAccess, &key) != 0) {
        fprintf(stderr, "uninstall_bench: cannot create key %s\n", v.key.c_str());
        return 1;
      }
      keyRoot = v.root;
      keyPath = v.key;
    }
    uint32_t type = 0;
    std::string bytes;
    ValueBytes(v, &type, &bytes);
    if (sys.RegSet(key, v.name.c_str(), type, bytes.data(), static_cast<uint32_t>(bytes.size())) !=
        0) {
      fprintf(stderr, "uninstall_bench: cannot set %s\\%s\n", v.key.c_str(), v.name.c_str());
      return 1;
    }
  }
  if (key != 0) sys.RegClose(key);
  return 0;
}
// An installation the benchmark did not make: what the loaded store names must go.
Expectation ExpectationOfStore() {
  Expectation e;
  const ItemStore& s = gStore;
  for (int32_t i = 0; i < s.PrivateFiles.count; ++i)
    e.files.push_back(s.PrivateFiles[i]->path.c_str());
  for (int32_t i = 0; i < s.RegKeys.count; ++i) {
    const RegKeyItem* item = s.RegKeys[i];
    if (item->valueName.Empty()) continue;
    e.values.push_back({item->root, item->key.c_str(), item->valueName.c_str()});
  }
  return e;
}
#else
std::string ReadHostFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int RootNumberOf(const std::string& keyPath, std::string* rest) {
  static const char* const kRoots[] = {"HKCR\\", "HKCU\\", "HKLM\\", "HKU\\", "HKCC\\"};
  for (int i = 0; i < 5; ++i) {
    size_t length = strlen(kRoots[i]);
    if (keyPath.compare(0, length, kRoots[i]) == 0) {
      *rest = keyPath.substr(length);
      return i;
    }
  }
  return -1;
}

// Without the generator's lists, every file and value of the image is looked at; the INI
// files (restored, not removed) and anything the log does not name are then left.
Expectation ExpectationOf(const MachineImage& image) {
  Expectation e;
  for (const ImageFile& file : image.files) e.files.push_back(file.path);
  for (const ImageRegKey& key : image.registry) {
    std::string rest;
    int root = RootNumberOf(key.path, &rest);
    if (root < 0) continue;
    for (const ImageRegValue& value : key.values) e.values.push_back({root, rest, value.name});
  }
  return e;
}
#endif

struct CheckResult {
  size_t filesLeft = 0, valuesLeft = 0, iniLeft = 0;
};

CheckResult Check(Platform& sys, const Expectation& e) {
  CheckResult r;
  for (const std::string& path : e.files)
    if (sys.GetAttributes(path.c_str()) != kNoAttributes) ++r.filesLeft;
  for (const RegValueCheck& v : e.values) {
    RegHandle key = 0;
    if (sys.RegOpen(RegistryRoot(v.root), v.key.c_str(), kKeyQueryValue, &key) != 0) continue;
    uint32_t type = 0, size = 0;
    if (sys.RegQuery(key, v.name.c_str(), &type, nullptr, &size) == 0) ++r.valuesLeft;
    sys.RegClose(key);
  }
  for (const IniEntryCheck& entry : e.iniEntries) {
    char value[512] = {};
    sys.ReadIniString(entry.section.c_str(), entry.key.c_str(), "", value, sizeof value,
                      entry.file.c_str());
    if (entry.installed == value) ++r.iniLeft;
  }
  return r;
}

// ---------------------------------------------------------------------------------------
// The run.

// What start-up sets for "UNTARN32.EXE /S /A log" (platform, shell notification, own
// paths, CRC table, Program Files directory, the hidden main window), without the temporary
// copy of the program, which would schedule its own deletion at the next restart.
void StartLikeSilentRun(const std::string& logPath) {
  ResetRunWideState();
  Platform& sys = Sys();
  TakeVersionFlags();
  gRun.shellLibrary = sys.LoadSystemLib("SHELL32.DLL");
  gRun.hasShellNotify = gRun.shellLibrary != 0 && sys.HasEntry(gRun.shellLibrary, "SHChangeNotify");
  char path[256] = {};
  sys.ModuleFileName(path, sizeof path);
  path[sizeof path - 1] = '\0';
  gRun.modulePath.Set(path);
  NormalizePath(gRun.modulePath.data(), PathText::kCapacity, true);
  gRun.silent = true;
  gRun.automatic = true;
  gRun.uninstallMode = kModeAutomatic;
  gRun.wizardPage = 11;
  gRun.logPath.Set(logPath.c_str());
  RegHandle key = 0;
  if (sys.RegOpen(RegistryRoot(2), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", kKeyRead,
                  &key) == 0) {
    char value[261] = {};
    uint32_t type = 0, size = 260;
    if (sys.RegQuery(key, "ProgramFilesDir", &type, value, &size) == 0) {
      value[size < 260 ? size : 260] = '\0';
      gRun.programFilesDir.Set(value);
    }
    sys.RegClose(key);
  }
  if (Ui().RegisterMainClass() != 0) gRun.mainWindow = Ui().CreateMainWindow(" ", false);
}

void EndSilentRun() {
  if (gRun.mainWindow != 0) {
    Ui().Destroy(gRun.mainWindow);
    gRun.mainWindow = 0;
    Ui().PumpUntilQuit();
  }
  if (gRun.shellLibrary != 0) Sys().FreeLib(gRun.shellLibrary);
  gRun.shellLibrary = 0;
}

int WriteHostFile(const char* path, const std::string& bytes) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) return 1;
  size_t written = fwrite(bytes.data(), 1, bytes.size(), file);
  return (fclose(file) == 0 && written == bytes.size()) ? 0 : 1;
}

LogGenOptions Divided(int divisor) {
  LogGenOptions options;
  options.privateFiles /= divisor;
  options.regValues /= divisor;
  options.iniEdits /= divisor;
  return options;
}

void PrintRate(const char* name, double seconds, int64_t items) {
  if (items > 0 && seconds > 0) {
    printf("  %-46s %8.3f s  %7lld items  %9.0f items/s\n", name, seconds,
           static_cast<long long>(items), items / seconds);
  } else {
    printf("  %-46s %8.3f s\n", name, seconds);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool seedOnly = false, fullPump = false;
  int pumpSample = 200, divisor = 1;
  const char* journalFile = nullptr;
  const char* logFile = nullptr;
  const char* imageFile = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--seed-only") == 0) {
      seedOnly = true;
    } else if (strcmp(argv[i], "--full-pump") == 0) {
      fullPump = true;
    } else if (strcmp(argv[i], "--pump-sample") == 0 && i + 1 < argc) {
      pumpSample = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--divide") == 0 && i + 1 < argc) {
      divisor = atoi(argv[++i]);
      if (divisor < 1) divisor = 1;
    } else if (strcmp(argv[i], "--journal") == 0 && i + 1 < argc) {
      journalFile = argv[++i];
    } else if (strcmp(argv[i], "--log") == 0 && i + 1 < argc) {
      logFile = argv[++i];
    } else if (strcmp(argv[i], "--image") == 0 && i + 1 < argc) {
      imageFile = argv[++i];
    } else {
      fprintf(stderr,
              "usage: uninstall_bench [--seed-only] [--journal FILE] [--pump-sample N] "
              "[--full-pump] [--divide N] [--log FILE --image IMAGE]\n");
      return 2;
    }
  }

  static BenchMachine real;
#ifdef _WIN32
  static Win32Ui realUi;
  const char* where = "this machine's file system and registry";
#else
  static ConsoleUi realUi;
  const char* where = kMachineName;
#endif
  static TimedPlatform timed(real);
  static TimedUi ui(realUi);
  ui.sample = pumpSample;
  ui.fullPump = fullPump;
  InstallPlatform(&timed);
  InstallUserInterface(&ui);
  LoadTextRules();

  GeneratedLog generated;
  Expectation expectation;
  std::string logPath;
  size_t logBytes = 0;
  Clock::time_point seedStart = Clock::now();
#ifdef _WIN32
  const bool existing = logFile != nullptr;
  if (imageFile != nullptr) {
    fprintf(stderr,
            "uninstall_bench: on Windows --log names an installation in place; no --image\n");
    return 2;
  }
  std::string defaultJournal = BenchTempFolder(real, "\\uninstall-journal.txt");
  if (journalFile == nullptr && !existing) journalFile = defaultJournal.c_str();
  if (existing) {
    logPath = logFile;
    if (seedOnly) {
      fprintf(stderr, "uninstall_bench: --seed-only seeds the generated installation only\n");
      return 2;
    }
  } else {
    std::string root = BenchTempFolder(real, "\\Uninstall");
    LogGenOptions options = Divided(divisor);
    options.appDirectory = root + "\\App";
    options.windowsDirectory = root + "\\Windows";
    GenerateLog(options, &generated);
    if (SeedReal(real, generated) != 0) return 1;
    logPath = generated.logPath;
    logBytes = generated.log.size();
    expectation = ExpectationOf(generated);
  }
#else
  MachineImage image;
  std::string error, json, log;
  if (logFile != nullptr || imageFile != nullptr) {
    if (logFile == nullptr || imageFile == nullptr) {
      fprintf(stderr, "uninstall_bench: --log and --image go together\n");
      return 2;
    }
    json = ReadHostFile(imageFile);
    log = ReadHostFile(logFile);
  } else {
    GenerateLog(Divided(divisor), &generated);
    json = MachineImageJson(generated, true);
    log = generated.log;
  }
  if (ReadMachineImage(json, &image, &error) != 0 || real.ApplyImage(image, &error) != 0) {
    fprintf(stderr, "uninstall_bench: the machine image was refused: %s\n", error.c_str());
    return 2;
  }
  for (const ImageFile& file : image.files)
    if (file.contents == log) logPath = file.path;
  if (logPath.empty()) {
    fprintf(stderr, "uninstall_bench: the image does not hold the log (write both with loggen)\n");
    return 2;
  }
  logBytes = log.size();
  expectation = logFile != nullptr ? ExpectationOf(image) : ExpectationOf(generated);
#endif
  double seedSeconds = Seconds(seedStart, Clock::now());
  printf("uninstall_bench on %s\n", where);
  if (logBytes == 0) {
    printf("  the installation in place; log %s\n", logPath.c_str());
  } else {
    printf(
        "  machine seeded in %.2f s: %zu files, %zu registry values, %zu INI entries; log %s (%.1f "
        "MB)\n",
        seedSeconds, expectation.files.size(), expectation.values.size(),
        expectation.iniEntries.size(), logPath.c_str(), logBytes / 1e6);
  }
  fflush(stdout);
  if (seedOnly) return 0;

  // The load, as a silent automatic run makes it.
  StartLikeSilentRun(logPath);
  timed.ResetStats();
  ui.Reset();
  Clock::time_point loadStart = Clock::now();
  int refused = LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data());
  Clock::time_point loadEnd = Clock::now();
  if (refused != 0) {
    fprintf(stderr, "uninstall_bench: the loader refused %s\n", logPath.c_str());
    return 1;
  }
  OpStats loadStats[kOpKinds];
  for (int k = 0; k < kOpKinds; ++k) loadStats[k] = timed.stats[k];
  const ItemStore& s = gStore;
#ifdef _WIN32
  if (existing) expectation = ExpectationOfStore();
#endif
  printf(
      "  store: %d private files, %d system, %d missing, %d directories, %d INI files, "
      "%d INI entries, %d registry values, %d changed values, %d trees\n",
      s.PrivateFiles.count, s.SystemFiles.count, s.MissingFiles.count, s.Directories.count,
      s.IniFiles.count, s.IniEdits.count, s.RegKeys.count, s.RegEdits.count, s.RegTrees.count);

  // The driver, bracketed as the run flow brackets it (without the restore point).
  timed.ResetStats();
  ui.Reset();
  timed.journalOn = true;
  const int64_t passItems[kPasses] = {
      s.Programs.count + s.Services.count + s.IniFiles.count,
      s.IniEdits.count,
      0,
      s.PrivateFiles.count + s.SystemFiles.count,
      s.Directories.count,
      s.RegEdits.count + s.RegKeys.count + s.RegTrees.count + s.Icons.count};
  // The items the driver walks: the total of its progress bar.
  const int64_t driverItems = s.Icons.count + s.Services.count + s.RegEdits.count +
                              s.RegTrees.count + s.RegKeys.count + s.IniEdits.count +
                              s.IniFiles.count + s.Directories.count + s.SystemFiles.count +
                              s.PrivateFiles.count;
  Sys().SetCurrentDir("\\");
  Clock::time_point driverStart = Clock::now();
  timed.StartPasses(driverStart);
  UninstallDriver(gRun.logPath.c_str());
  Clock::time_point driverEnd = Clock::now();
  timed.trackPasses = false;
  timed.journalOn = false;
  Sys().BroadcastSettingsChange();
  const bool mainWindowMade = gRun.mainWindow != 0;
  EndSilentRun();

  double loadSeconds = Seconds(loadStart, loadEnd);
  double driverSeconds = Seconds(driverStart, driverEnd);
  printf("\n  %-46s %8s\n", "phase", "time");
  PrintRate("load (records stored)", loadSeconds, StoreItems());
  for (int p = 0; p < kPasses; ++p) {
    if (!timed.passSeen[p]) {
      printf("    pass: %-38s %8s  (no seam call marked it)\n", kPassNames[p], "-");
      continue;
    }
    Clock::time_point end = driverEnd;
    for (int q = p + 1; q < kPasses; ++q) {
      if (timed.passSeen[q]) {
        end = timed.passStart[q];
        break;
      }
    }
    char name[64];
    snprintf(name, sizeof name, "  pass: %s", kPassNames[p]);
    if (p == kPassPrepare) {
      PrintRate(name, Seconds(timed.passStart[p], end), s.PrivateFiles.count + s.SystemFiles.count);
      continue;
    }
    PrintRate(name, Seconds(timed.passStart[p], end), passItems[p]);
  }
  PrintRate("driver (every pass)", driverSeconds, driverItems);
  PrintRate("load + driver", loadSeconds + driverSeconds, driverItems);

  printf("\n  %-30s %10s %9s %10s %10s   %10s %9s\n", "driver: seam calls by kind", "calls",
         "failed", "seconds", "us/call", "load calls", "load s");
  double seamTotal = 0;
  for (int k = 0; k < kOpKinds; ++k) {
    const OpStats& o = timed.stats[k];
    seamTotal += o.seconds;
    printf("  %-30s %10llu %9llu %10.3f %10.2f   %10llu %9.3f\n", kOpNames[k],
           static_cast<unsigned long long>(o.calls), static_cast<unsigned long long>(o.failures),
           o.seconds, o.calls > 0 ? o.seconds * 1e6 / o.calls : 0.0,
           static_cast<unsigned long long>(loadStats[k].calls), loadStats[k].seconds);
  }
  double pumps = ui.waits.seconds + ui.dispatches.seconds;
  printf("  %-30s %10s %9s %10.3f   (%.0f %% of the driver)\n", "seam total", "", "", seamTotal,
         driverSeconds > 0 ? 100 * seamTotal / driverSeconds : 0.0);
  printf("  %-30s %10s %9s %10.3f   (%.0f %%; the rest, %.3f s, is the program's own work)\n",
         "message pumps", "", "", pumps, driverSeconds > 0 ? 100 * pumps / driverSeconds : 0.0,
         driverSeconds - seamTotal - pumps);
  printf("  main window for the pumps' timer: %s\n", gRun.mainWindow != 0 || mainWindowMade
                                                         ? "made (hidden)"
                                                         : "none (the pumps only dispatch)");
  printf(
      "  message pumps: %llu with a wait asked; %llu made real (%.3f s, %.2f ms each), "
      "%llu only dispatched (%.3f s)\n",
      static_cast<unsigned long long>(ui.waitsAsked),
      static_cast<unsigned long long>(ui.waits.calls), ui.waits.seconds,
      ui.waits.calls > 0 ? ui.waits.seconds * 1e3 / ui.waits.calls : 0.0,
      static_cast<unsigned long long>(ui.dispatches.calls), ui.dispatches.seconds);
  if (ui.waits.calls > 0 && ui.waits.calls < ui.waitsAsked) {
    double each = ui.waits.seconds / ui.waits.calls;
    printf(
        "  with every wait real (as UNTARN32.EXE makes them) the driver would take about %.0f s "
        "more\n",
        each * static_cast<double>(ui.waitsAsked - ui.waits.calls));
  }

  Clock::time_point checkStart = Clock::now();
  CheckResult left = Check(real, expectation);
  printf(
      "\n  check (%.1f s): %zu of %zu files, %zu of %zu registry values and %zu of %zu INI "
      "entries are as the installation left them\n",
      Seconds(checkStart, Clock::now()), left.filesLeft, expectation.files.size(), left.valuesLeft,
      expectation.values.size(), left.iniLeft, expectation.iniEntries.size());
  if (journalFile != nullptr) {
    if (WriteHostFile(journalFile, timed.journal) != 0) {
      fprintf(stderr, "uninstall_bench: cannot write the journal %s\n", journalFile);
      return 1;
    }
    printf("  journal: %llu changes written to %s\n",
           static_cast<unsigned long long>(timed.journalEntries), journalFile);
  }
  // One line for scripts: load and driver seconds, items.
  printf("result: uninstall load=%.3f driver=%.3f items=%lld\n", loadSeconds, driverSeconds,
         static_cast<long long>(driverItems));
  return 0;
}
