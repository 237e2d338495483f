// The fault sweep (fault_sweep.h): its cases, one run, and the checks after it.
#include "faults/fault_sweep.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "base/repair_record.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "log/run_journal.h"
#include "loggen/log_generator.h"
#include "repair/crc32.h"
#include "run/program.h"
#include "run/run_reset.h"
#include "scenario/scenario_fixture.h"
#include "tarnlog/leftovers.h"
#include "tarnlog/load_log.h"
#include "tarnlog/repair_plan.h"
#include "tarnlog/verify.h"
#include "uninstall/file_removal.h"

const char kCheckRunaway[] = "runaway";
const char kCheckException[] = "exception";
const char kCheckHandles[] = "handles left open";
const char kCheckOle[] = "OLE uninitialised more often than initialised";
const char kCheckOutside[] = "changed outside the log";
const char kCheckCounts[] = "count taken twice";
const char kCheckFurther[] = "further than the unfaulted run";
const char kCheckUnreadCount[] = "removed a counted file whose count it could not read";
const char kCheckVerifyMisses[] = "verify misses a leftover";
const char kCheckVerifyBlames[] = "verify blames the log";
const char kCheckVerifyUnexplained[] = "verify calls unexplained what nothing failed";
const char kCheckRepairPlan[] = "repair plan misses a file";
const char kCheckRunAgain[] = "run again, not as a whole run leaves it";

namespace {

// Where the copy of the log taken before the run lies: a folder no log names.
constexpr const char kSavedLog[] = "C:\\Saved Logs\\INSTALL.LOG";
constexpr const char kSharedCounts[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char kEngineKey[] = "Software\\Borland\\Database Engine";
constexpr const char kCopyName[] = "KTM1A2B.EXE";

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

MachineImage ImageOf(const std::string& json) {
  MachineImage image;
  std::string error;
  if (ReadMachineImage(json, &image, &error) != 0)
    image.platform.modulePath = "(unreadable: " + error + ")";
  return image;
}

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  size_t at = text.find(what);
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

// The repair fixture on the simulated machine: its installation program is a scripted
// program that extracts what its list names from the payload, and its self-registering
// library a scripted library; then the damage of tests/wine/repair.sh.
SweepCase RepairFixtureCase(const std::string& dataDir) {
  const std::string app = "C:\\Program Files\\Tarn Repair";
  const std::string sys = "C:\\windows\\system32";
  const std::string setup = "C:\\Tarn Media\\SETUP.EXE";
  const uint64_t installed = FileTimeFromUtc(2024, 3, 1, 10, 0, 0);
  SweepCase c;
  c.name = "repair fixture repair";
  c.kind = SweepCase::kRepair;
  c.image = ImageOf(ReadHostFile(dataDir + "/repair/image.json"));
  c.logPath = app + "\\INSTALL.LOG";
  c.commandLine = "\"" + c.logPath + "\"";
  c.wizard = true;

  ImageProgram program;
  program.path = setup;
  program.createFile = false;
  ImageAction extract;
  extract.kind = ImageAction::kExtractList;
  program.rules = {{"/X=", {extract}}};
  const std::string payload = dataDir + "/repair/payload/";
  for (const char* name :
       {"REPAIR.EXE", "CORE.DLL", "README.TXT", "HELP.TXT", "DATA\\TABLE.DAT", "DATA\\WORDS.DAT"}) {
    std::string host = name;
    std::replace(host.begin(), host.end(), '\\', '/');
    program.extractable.push_back(
        {app + "\\" + name, ReadHostFile(payload + "Tarn Repair/" + host), installed});
  }
  program.extractable.push_back(
      {sys + "\\TSREPAIR.DLL", ReadHostFile(payload + "system32/TSREPAIR.DLL"), installed});
  const std::string library = loggen::ImageStub("E2E self-registering library");
  program.extractable.push_back({app + "\\E2ESELF.DLL", library, installed});
  c.image.programs.push_back(program);
  const std::string setupBytes = loggen::ImageStub("Tarn Repair installation program");
  c.image.files.push_back({setup, setupBytes, FileTimeFromUtc(2024, 3, 1, 9, 0, 0)});
  c.image.files.push_back({app + "\\E2ESELF.DLL", library, installed});
  c.image.files.push_back({app + "\\UNTARN32.EXE", loggen::ImageStub("uninstaller"), installed});
  ImageLibrary self;
  self.path = app + "\\E2ESELF.DLL";
  self.exports = {"DllRegisterServer", "DllUnregisterServer"};
  ImageAction set;
  set.kind = ImageAction::kSetValue;
  set.key = "HKLM\\Software\\Tarn E2E";
  set.valueName = "Library";
  set.data = RegStringBytes("registered");
  ImageAction remove = set;
  remove.kind = ImageAction::kRemoveValue;
  self.onRegister = {set};
  self.onUnregister = {remove};
  c.image.libraries.push_back(self);

  char stamp[96];
  snprintf(stamp, sizeof stamp, " 03-01-2024 | 10:00:00 | 1.0.0.0 | %u | %08x",
           static_cast<unsigned>(library.size()), Crc32Update(0, library.data(), library.size()));
  std::string log = ReadHostFile(dataDir + "/repair/INSTALL.LOG.in");
  log = Replaced(log, "@SOURCE@",
                 setup + " | 03-01-2024 | 09:00:00 | " + std::to_string(setupBytes.size()));
  log = Replaced(log, "@E2ESELF@", stamp);
  std::string crlf;
  for (char ch : log) {
    if (ch == '\n') crlf += '\r';
    crlf += ch;
  }
  c.image.files.push_back({c.logPath, crlf, installed});

  c.prepare = [app, sys](SimMachine& m) {
    m.RemoveFile((app + "\\HELP.TXT").c_str());
    m.RemoveFile((sys + "\\TSREPAIR.DLL").c_str());
    m.WriteFile(app + "\\README.TXT", m.FileContents(app + "\\README.TXT") + "more",
                FileTimeFromUtc(2024, 3, 1, 10, 0, 0));
    std::string core = m.FileContents(app + "\\CORE.DLL");
    core[core.size() - 1] = '9';
    m.WriteFile(app + "\\CORE.DLL", core, FileTimeFromUtc(2024, 3, 1, 10, 0, 0));
    m.WriteFile(app + "\\DATA\\WORDS.DAT", m.FileContents(app + "\\DATA\\WORDS.DAT"),
                FileTimeFromUtc(2024, 5, 1, 10, 0, 0));
    m.RemoveFile("C:\\Tarn Menu\\Tarn Repair\\Tarn Repair.lnk");
    m.RemoveEmptyDirectory("C:\\Tarn Menu\\Tarn Repair");
    m.RegRemoveRaw("HKLM\\Software\\Tarn Repair", "Path");
    m.RegRemoveRaw("HKLM\\Software\\Tarn Repair", "Level");
    m.RegSetRaw("HKLM\\Software\\Tarn Repair", "Color", kRegSz, RegStringBytes("blue"));
    m.RegRemoveRaw("HKLM\\Software\\Tarn E2E", "Library");
  };
  return c;
}

SweepCase EveryKindCase(const char* name, SweepCase::Kind kind, bool windows95) {
  LogGenOptions options;
  options.appDirectory = "C:\\Program Files\\Fernhill\\Every Kind";
  options.windows95 = windows95;
  GeneratedLog generated;
  GenerateEveryKindLog(options, &generated);
  SweepCase c;
  c.name = name;
  c.kind = kind;
  c.image = ImageOf(MachineImageJson(generated, true));
  c.logPath = generated.logPath;
  const char* switches = kind == SweepCase::kRollback ? "/A /R " : "/A ";
  if (windows95) switches = "/S ";
  c.commandLine = (kind == SweepCase::kRepair ? "" : switches) + ("\"" + c.logPath + "\"");
  c.wizard = !windows95;
  if (kind == SweepCase::kRepair) {
    const std::string app = options.appDirectory;
    c.prepare = [app](SimMachine& m) {
      m.RemoveFile((app + "\\Program\\EVERY.HLP").c_str());
      m.WriteFile(app + "\\Data\\TABLE.DAT", "changed by the user",
                  FileTimeFromUtc(2001, 6, 15, 10, 12, 30));
      m.RemoveFile("C:\\Tarn Menu\\Every Kind\\Every Kind.lnk");
      m.RemoveEmptyDirectory("C:\\Tarn Menu\\Every Kind");
      m.RemoveFile("C:\\WINDOWS\\SYSTEM32\\EVERYHK.DLL");
      m.RegRemoveRaw("HKLM\\Software\\Fernhill\\Every Kind\\1.0", "InstallDir");
      m.RegSetRaw("HKLM\\Software\\Fernhill\\Every Kind\\1.0", "Level", kRegDword,
                  RegDwordBytes(1));
    };
  }
  return c;
}

}  // namespace

std::vector<SweepCase> StandardSweepCases(const std::string& dataDir) {
  std::vector<SweepCase> cases;
  MachineImage sample = ImageOf(ReadHostFile(dataDir + "/sample/image.json"));
  const std::string sampleLog = "C:\\Program Files\\Fernhill\\Bramble Notes\\INSTALL.LOG";
  for (bool rollback : {false, true}) {
    SweepCase c;
    c.name = rollback ? "sample rollback" : "sample uninstall";
    c.kind = rollback ? SweepCase::kRollback : SweepCase::kUninstall;
    c.image = sample;
    c.logPath = sampleLog;
    c.commandLine = std::string(rollback ? "/S /R " : "/S ") + "\"" + sampleLog + "\"";
    cases.push_back(c);
  }
  cases.push_back(RepairFixtureCase(dataDir));
  cases.push_back(EveryKindCase("every kind uninstall", SweepCase::kUninstall, false));
  cases.push_back(EveryKindCase("every kind rollback", SweepCase::kRollback, false));
  SweepCase freed = EveryKindCase("every kind rollback, files freed before it runs again",
                                  SweepCase::kRollback, false);
  std::vector<std::string> held;
  for (const ImageFile& file : freed.image.files)
    if (file.inUse) held.push_back(file.path);
  freed.beforeRunAgain = [held](SimMachine& m) {
    for (const std::string& path : held) m.SetInUse(path.c_str(), false);
  };
  cases.push_back(freed);
  cases.push_back(EveryKindCase("every kind repair", SweepCase::kRepair, false));
  cases.push_back(EveryKindCase("every kind uninstall, Windows 95", SweepCase::kUninstall, true));
  return cases;
}

std::vector<uint64_t> SpreadCalls(const std::vector<uint64_t>& failable, size_t count) {
  std::vector<uint64_t> picked;
  if (failable.empty() || count == 0) return picked;
  if (count >= failable.size()) return failable;
  for (size_t i = 0; i < count; ++i) {
    size_t at = count == 1 ? 0 : i * (failable.size() - 1) / (count - 1);
    if (picked.empty() || picked.back() != failable[at]) picked.push_back(failable[at]);
  }
  return picked;
}

std::string SweepRun::Text() const {
  std::string text = k == 0 ? std::string("unfaulted run")
                            : (killed ? "killed at k=" : "k=") + std::to_string(k) + " " +
                                  FaultOpName(op) + (injected ? "" : " (not failed)");
  for (const SweepFinding& f : findings) text += "\n  " + f.check + ": " + f.detail;
  return text;
}

namespace {

bool Below(const std::string& name, const std::string& folder) {
  return name.size() > folder.size() && name.compare(0, folder.size(), folder) == 0 &&
         name[folder.size()] == '\\';
}

bool BelowAny(const std::string& name, const std::set<std::string>& folders) {
  for (const std::string& f : folders)
    if (Below(name, f)) return true;
  return false;
}

std::string ParentOf(const std::string& name) {
  size_t cut = name.rfind('\\');
  return cut == std::string::npos ? std::string() : name.substr(0, cut);
}

std::string LastPart(const std::string& name) {
  size_t cut = name.rfind('\\');
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

bool Matches(const std::string& name, const char* prefix, size_t digits, const char* suffix) {
  size_t p = strlen(prefix), s = strlen(suffix);
  if (name.size() < p + s || name.compare(0, p, prefix) != 0 ||
      name.compare(name.size() - s, s, suffix) != 0)
    return false;
  return digits == 0 || name.size() == p + digits + s;
}

// An image's key path ("HKCR\..." or a full root name) as a state name.
std::string ImageKeyName(const std::string& path) {
  static const char* const kLong[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                      "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
  static const char* const kShort[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};
  std::string folded = StateFold(path);
  size_t cut = folded.find('\\');
  std::string root = folded.substr(0, cut);
  std::string rest = cut == std::string::npos ? std::string() : folded.substr(cut + 1);
  for (int i = 0; i < 5; ++i)
    if (root == kShort[i] || root == kLong[i]) return StateKey(i, rest);
  return folded;
}

int64_t CountOf(const std::string* value) {
  if (value == nullptr) return 0;
  if (value->compare(0, 6, "dword ") == 0) return atoll(value->c_str() + 6);
  if (value->compare(0, 3, "sz ") == 0) return atoll(value->c_str() + 3);
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// What the log names, as entry names of the machine's state.

struct CaseSweep::Names {
  std::set<std::string> files;          // every file the five lists name, backups, companions
  std::set<std::string> reportedFiles;  // the files verify reports (the five lists)
  std::set<std::string> folders;        // logged folders and the log's own
  std::set<std::string> ownedFolders;   // those but the protected ones: what lies below them
                                        // is the run's to change
  std::set<std::string> trees;          // folders logged with their contents
  std::set<std::string> fileFolders;    // the folders of logged files
  std::set<std::string> iniFiles;       // INI files the run may rewrite whole
  std::set<std::string> createdIniFiles;
  std::set<std::string> iniEntries;
  std::set<std::string> iniEditFiles;            // files whose entries the log changes
  std::set<std::string> editedFiles;             // files a rollback puts back whole
  std::map<std::string, std::string> backupOf;   // a logged file -> its backup copy
  std::set<std::string> keys;                    // keys of created values
  std::set<std::string> otherKeys;               // keys the run or the scripts may make or remove
  std::set<std::string> values;                  // created and changed values
  std::set<std::string> loggedTrees;             // registry trees the log names
  std::set<std::string> keyTrees;                // those, the repair record, what scripts remove
  std::set<std::string> stampedFiles;            // files repair checks against their stamps
  std::map<std::string, std::string> extracted;  // what the installation program writes
  std::set<std::string> services;
  std::set<std::string> icons;  // GROUP|TITLE
  std::set<std::string> iconCommands;
  std::map<std::string, std::string> iconCommandByTitle;  // TITLE of the log -> command

  // Whether verify reports the entry when it is there: the items the log names and what
  // lies in its folders and trees. An icon is the log's by its title in its group, or by
  // its command in any group, as the removal finds it.
  bool Reported(const std::string& kind, const std::string& name, const std::string& value) const {
    if (kind == kStateFile)
      return reportedFiles.count(name) || createdIniFiles.count(name) ||
             BelowAny(name, ownedFolders);
    if (kind == kStateFolder) return folders.count(name) || BelowAny(name, ownedFolders);
    if (kind == kStateIni) return iniEntries.count(name) != 0;
    std::string key = name.substr(0, name.find('|'));
    if (kind == kStateKey || kind == kStateValue) {
      if (loggedTrees.count(key) || BelowAny(key, loggedTrees)) return true;
      return kind == kStateKey ? keys.count(name) != 0 : values.count(name) != 0;
    }
    if (kind == kStateService) return services.count(name) != 0;
    if (kind == kStateIcon) return icons.count(name) || iconCommands.count(StateFold(value));
    return false;
  }
  std::set<std::string> groups;
  std::set<std::string> ownFiles;  // the program's own, outside the log
  std::set<std::string> ownValues;
  std::set<std::string> protectedFolders;
  std::string tempDir;
  std::string windowsTemp;
  std::map<std::string, int64_t> countAllowance;  // value entry -> what the run may take
  std::set<std::string> scriptedValues;
  std::set<std::string> scriptedFiles;
};

CaseSweep::CaseSweep(const SweepCase& sweepCase) : case_(sweepCase), names_(new Names) {
  // The names come from the log as the run's loader reads it on the machine before the run.
  SimMachine machine;
  Prepare(machine);
  SimUi ui;
  InstallPlatform(&machine);
  InstallUserInterface(&ui);
  bool rollback = case_.kind == SweepCase::kRollback;
  StartRunAsProgram(rollback ? "/A /R" : "/A", case_.logPath.c_str());
  LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data());
  Names& n = *names_;
  auto path = [&](const char* p) { return StatePath(machine, p); };
  auto file = [&](const char* p, bool reported) {
    if (p[0] == '\0') return;
    std::string name = path(p);
    n.files.insert(name);
    if (reported) n.reportedFiles.insert(name);
    n.fileFolders.insert(ParentOf(name));
    char companion[300];
    for (int i = 0; HelpFileCompanion(p, i, companion, sizeof companion); ++i)
      n.files.insert(path(companion));
  };
  for (const ItemList<FileItem>* list :
       {&gStore.PrivateFiles, &gStore.SystemFiles, &gStore.MissingFiles}) {
    for (int32_t i = 0; i < list->count; ++i) {
      const FileItem& item = *(*list)[i];
      file(item.path.c_str(), true);
      file(item.backupPath.c_str(), false);
      if (!item.backupPath.Empty())
        n.backupOf[path(item.path.c_str())] = path(item.backupPath.c_str());
      if (!item.path.Empty() && !item.stamp.Empty() && item.linkSpec == nullptr)
        n.stampedFiles.insert(path(item.path.c_str()));
    }
  }
  for (int32_t i = 0; i < gStore.EditedFiles.count; ++i) {
    file(gStore.EditedFiles[i]->path.c_str(), true);
    file(gStore.EditedFiles[i]->backupPath.c_str(), false);
    n.backupOf[path(gStore.EditedFiles[i]->path.c_str())] =
        path(gStore.EditedFiles[i]->backupPath.c_str());
    n.iniFiles.insert(path(gStore.EditedFiles[i]->path.c_str()));
    n.editedFiles.insert(path(gStore.EditedFiles[i]->path.c_str()));
  }
  for (int32_t i = 0; i < gStore.DeletedFiles.count; ++i) {
    file(gStore.DeletedFiles[i]->path.c_str(), true);
    file(gStore.DeletedFiles[i]->backupPath.c_str(), false);
    n.backupOf[path(gStore.DeletedFiles[i]->path.c_str())] =
        path(gStore.DeletedFiles[i]->backupPath.c_str());
  }
  for (int32_t i = 0; i < gStore.Directories.count; ++i) {
    std::string name = path(gStore.Directories[i]->path.c_str());
    while (name.size() > 3 && name.back() == '\\') name.pop_back();
    n.folders.insert(name);
    if (gStore.Directories[i]->treeSection != 0) n.trees.insert(name);
  }
  for (int32_t i = 0; i < gStore.IniFiles.count; ++i) {
    n.iniFiles.insert(path(gStore.IniFiles[i]->path.c_str()));
    n.createdIniFiles.insert(path(gStore.IniFiles[i]->path.c_str()));
    n.files.insert(path(gStore.IniFiles[i]->path.c_str()));
  }
  for (int32_t i = 0; i < gStore.IniEdits.count; ++i) {
    const IniEditItem& item = *gStore.IniEdits[i];
    n.iniEntries.insert(
        StateIniEntry(machine, item.file.c_str(), item.sectionName.c_str(), item.key.c_str()));
    n.iniEditFiles.insert(StateIniFile(machine, item.file.c_str()));
  }
  for (int32_t i = 0; i < gStore.RegKeys.count; ++i) {
    const RegKeyItem& item = *gStore.RegKeys[i];
    n.keys.insert(StateKey(item.root, item.key.c_str()));
    n.values.insert(StateValue(item.root, item.key.c_str(), item.valueName.c_str()));
  }
  for (int32_t i = 0; i < gStore.RegEdits.count; ++i) {
    const RegEditItem& item = *gStore.RegEdits[i];
    n.values.insert(StateValue(item.root, item.key.c_str(), item.valueName.c_str()));
  }
  for (int32_t i = 0; i < gStore.RegTrees.count; ++i)
    n.loggedTrees.insert(StateKey(gStore.RegTrees[i]->root, gStore.RegTrees[i]->key.c_str()));
  n.keyTrees = n.loggedTrees;
  for (int32_t i = 0; i < gStore.Services.count; ++i)
    n.services.insert(StateFold(gStore.Services[i]->name.c_str()));
  for (int32_t i = 0; i < gStore.Icons.count; ++i) {
    const IconItem& icon = *gStore.Icons[i];
    n.icons.insert(StateIcon(icon.group.c_str(), icon.title.c_str()));
    if (!icon.command.Empty()) n.iconCommands.insert(StateFold(icon.command.c_str()));
    n.iconCommandByTitle[StateFold(icon.title.c_str())] = StateFold(icon.command.c_str());
    n.groups.insert(StateFold(icon.group.c_str()));
  }
  for (int32_t i = 0; i < gStore.SystemFiles.count; ++i) {
    if (gStore.SystemFiles[i]->deviceSection != 0) {
      n.iniFiles.insert(path((machine.settings.windowsDirectory + "\\SYSTEM.INI").c_str()));
      n.ownFiles.insert(path((machine.settings.windowsDirectory + "\\~KTMB383.TMP").c_str()));
    }
  }
  for (int32_t i = 0; i < gStore.PrivateFiles.count; ++i) {
    if (gStore.PrivateFiles[i]->deviceSection != 0) {
      n.iniFiles.insert(path((machine.settings.windowsDirectory + "\\SYSTEM.INI").c_str()));
      n.ownFiles.insert(path((machine.settings.windowsDirectory + "\\~KTMB383.TMP").c_str()));
    }
  }

  // What the run may take from the counts: one per section that counted a file (one in a
  // rollback), for files of the sections the run undoes.
  int minSection = rollback ? gStore.sectionCount : 1;
  if (case_.kind != SweepCase::kRepair && gRun.newShell) {
    for (const ItemList<FileItem>* list : {&gStore.PrivateFiles, &gStore.SystemFiles}) {
      for (int32_t i = 0; i < list->count; ++i) {
        const FileItem& item = *(*list)[i];
        if (item.counterSection < minSection) continue;
        n.countAllowance[StateValue(2, kSharedCounts, item.path.c_str())] +=
            rollback ? 1 : item.counterCount;
      }
    }
  }
  if (case_.kind != SweepCase::kRepair && gStore.subSystemName != nullptr &&
      gStore.subSystemSection >= minSection)
    n.countAllowance[StateValue(2, kEngineKey, "UseCount")] += 1;
  if (gStore.subSystemName != nullptr) {
    n.keyTrees.insert(StateKey(2, kEngineKey));
    n.keyTrees.insert(StateKey(2, "Software\\Borland\\BLW32"));
    n.otherKeys.insert(StateKey(2, "Software\\Borland"));
  }

  // The program's own: the log, the status report, the restart operations, its temporary
  // copy and list files, the repair record.
  std::string windows = StatePath(machine, machine.settings.windowsDirectory);
  n.ownFiles.insert(path(case_.logPath.c_str()));
  char journal[260];
  if (JournalPathFor(case_.logPath.c_str(), journal, sizeof journal))
    n.ownFiles.insert(path(journal));
  n.folders.insert(ParentOf(path(case_.logPath.c_str())));
  if (!gStore.statusMifName.Empty())
    n.ownFiles.insert(windows + "\\" + StateFold(gStore.statusMifName.c_str()));
  n.ownFiles.insert(windows + "\\WININIT.INI");
  n.ownFiles.insert(windows + "\\WININIT.BAK");
  n.ownFiles.insert(windows + "\\_MSRSTRT.EXE");
  const char* sessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
  n.ownValues.insert(StateValue(2, sessionManager, "PendingFileRenameOperations"));
  for (std::string k = StateKey(2, sessionManager); k.find('\\') != std::string::npos;
       k = ParentOf(k))
    n.otherKeys.insert(k);
  n.tempDir = StatePath(machine, machine.settings.tempDirectory);
  while (n.tempDir.size() > 3 && n.tempDir.back() == '\\') n.tempDir.pop_back();
  n.windowsTemp = windows + "\\TEMP";
  char record[kRepairRecordNameSize];
  char longLog[300];
  CopyText(longLog, sizeof longLog, case_.logPath.c_str());
  if (BuildRepairRecordName(longLog, record, sizeof record) == 0)
    n.keyTrees.insert(StateKey(2, record));
  char system[260] = {};
  machine.SystemDirectory(system, sizeof system);
  for (const char* folder :
       {machine.settings.windowsDirectory.c_str(), static_cast<const char*>(system),
        "C:\\Program Files", machine.settings.tempDirectory.c_str(), "C:\\"}) {
    std::string name = StatePath(machine, folder);
    while (name.size() > 2 && name.back() == '\\') name.pop_back();
    n.protectedFolders.insert(name);
  }

  for (const std::string& f : n.folders)
    if (!n.protectedFolders.count(f)) n.ownedFolders.insert(f);

  // What the scripted programs and libraries of the image do.
  auto scripted = [&](const std::vector<ImageAction>& actions) {
    for (const ImageAction& a : actions) {
      if (a.kind == ImageAction::kSetValue || a.kind == ImageAction::kRemoveValue) {
        std::string key = ImageKeyName(a.key);
        n.scriptedValues.insert(key + "|" + StateFold(a.valueName));
        for (std::string k = key; k.find('\\') != std::string::npos; k = ParentOf(k))
          n.otherKeys.insert(k);
      } else if (a.kind == ImageAction::kRemoveKey) {
        n.keyTrees.insert(ImageKeyName(a.key));
      } else if (a.kind == ImageAction::kCreateFile || a.kind == ImageAction::kDeleteFile) {
        n.scriptedFiles.insert(path(a.path.c_str()));
      }
    }
  };
  for (const ImageLibrary& library : case_.image.libraries) {
    scripted(library.onRegister);
    scripted(library.onUnregister);
  }
  for (const ImageProgram& program : case_.image.programs) {
    for (const ImageProgramRule& rule : program.rules) scripted(rule.actions);
    for (const ImageFile& f : program.extractable) {
      uint64_t time = f.lastWrite != 0 ? f.lastWrite : machine.settings.defaultFileTime;
      n.extracted[path(f.path.c_str())] = "time " + std::to_string(time) + ", " +
                                          std::to_string(f.contents.size()) + " bytes " +
                                          StateHex(f.contents);
    }
  }
  ResetRunWideState();
  InstallPlatform(nullptr);
  InstallUserInterface(nullptr);

  baseline_ = Execute(0, true);
}

CaseSweep::~CaseSweep() = default;

std::vector<uint64_t> CaseSweep::FailableCalls() const {
  std::vector<uint64_t> calls;
  for (size_t i = 0; i < trace_.size(); ++i)
    if (FailureOf(trace_[i]).canFail) calls.push_back(i + 1);
  return calls;
}

SweepRun CaseSweep::Run(uint64_t k) { return Execute(k, false); }
SweepRun CaseSweep::Kill(uint64_t k) { return Execute(k, false, true); }
SweepRun CaseSweep::KillAndRunAgain(uint64_t k) { return Execute(k, false, true, true); }

void CaseSweep::Prepare(SimMachine& machine) const {
  std::string error;
  machine.ApplyImage(case_.image, &error);
  // The restart program that the Windows build carries as resource 300/30202.
  machine.resources[(uint64_t{300} << 32) | 30202] = "MZ restart program";
  if (case_.prepare) case_.prepare(machine);
  machine.WriteFile(kSavedLog, machine.FileContents(case_.logPath));
}

namespace {

// The command line of the clean-up run the run started, when it started one: its own
// temporary copy with "/z" and what to remove.
bool CleanupStart(const SimMachine& machine, size_t from, std::string* program,
                  std::string* arguments) {
  for (size_t i = from; i < machine.processes.size(); ++i) {
    const SimProcessStart& start = machine.processes[i];
    if (start.method != SimProcessStart::kWinExec) continue;
    const std::string& line = start.commandLine;
    if (line.empty() || line[0] != '"') continue;
    size_t close = line.find('"', 1);
    if (close == std::string::npos) continue;
    std::string path = line.substr(1, close - 1);
    std::string rest = close + 2 <= line.size() ? line.substr(close + 2) : std::string();
    if (!Matches(StateFold(LastPart(path)), kCopyName, 0, "") || rest.compare(0, 2, "/z") != 0)
      continue;
    *program = path;
    *arguments = rest;
    return true;
  }
  return false;
}

// Values without the attributes: a file whose attributes were cleared for a delete that
// then failed holds what it held.
std::string WithoutAttributes(const std::string* value) {
  if (value == nullptr) return "(none)";
  if (value->compare(0, 11, "attributes ") != 0) return *value;
  size_t comma = value->find(", ");
  return comma == std::string::npos ? std::string() : value->substr(comma + 2);
}

// A file's bytes without its time.
std::string ContentsOf(const std::string& value) {
  size_t bytes = value.find(" bytes ");
  size_t start = value.rfind(", ", bytes);
  return start == std::string::npos ? value : value.substr(start + 2);
}

std::string Shown(const std::string* value) {
  if (value == nullptr) return "(none)";
  return value->size() > 60 ? value->substr(0, 57) + "..." : *value;
}

}  // namespace

void CaseSweep::RunWhole(SimMachine& machine, size_t processesBefore) const {
  RunProgram(case_.commandLine.c_str());
  std::string copy, arguments;
  if (CleanupStart(machine, processesBefore, &copy, &arguments)) {
    // The clean-up run is the same program started from its copy.
    ResetRunWideState();
    std::string own = machine.settings.modulePath;
    machine.settings.modulePath = copy;
    RunProgram(arguments.c_str());
    machine.settings.modulePath = own;
  }
}

SweepRun CaseSweep::Execute(uint64_t k, bool unfaulted, bool kill, bool runAgain) {
  SweepRun run;
  run.k = k;
  run.killed = kill;
  if (k >= 1 && k <= trace_.size()) run.op = trace_[k - 1];
  SimMachine machine;
  Prepare(machine);
  if (unfaulted) before_ = CaptureState(machine);

  SimUi sim;
  WizardUi wizard(sim);
  wizard.script.present = case_.wizard;
  wizard.script.mode = case_.kind == SweepCase::kRepair ? kModeRepair : kModeAutomatic;
  FaultPlatform fault(machine);
  FaultUi ui(wizard, fault);
  if (kill) {
    fault.KillAt(k);
  } else {
    fault.FailCall(k);
  }
  fault.RecordTrace(unfaulted);
  if (!unfaulted) {
    // Far more calls than the unfaulted run made is a run that would not end.
    fault.LimitCalls(trace_.size() * 20 + 1000);
    ui.LimitCalls(trace_.size() * 20 + 1000);
  }
  InstallPlatform(&fault);
  InstallUserInterface(&ui);
  ResetRunWideState();
  LoadTextRules();
  try {
    RunWhole(machine, 0);
  } catch (const RunawayRun& e) {
    run.findings.push_back({kCheckRunaway, e.what()});
  } catch (const std::exception& e) {
    run.findings.push_back({kCheckException, e.what()});
  }
  ResetRunWideState();
  run.calls = fault.calls();
  run.injected = kill ? fault.killed() : fault.injected();
  if (unfaulted) trace_ = fault.trace();
  if (fault.OpenHandles() != 0) run.findings.push_back({kCheckHandles, fault.OpenHandlesText()});
  // Every OleUninitialize ends an OleInitialize of this run; one more would end what
  // another part of the process began.
  int ole = 0;
  for (const SimLibraryCall& call : machine.libraryCalls) {
    if (call.entry == "OleInitialize") ++ole;
    if (call.entry == "OleUninitialize" && --ole < 0) {
      run.findings.push_back(
          {kCheckOle, "OleUninitialize of " + call.library + " without OleInitialize"});
      ole = 0;
    }
  }

  InstallPlatform(&machine);
  InstallUserInterface(&sim);
  MachineState after = CaptureState(machine);
  CheckOutside(machine, after, &run);
  CheckCounts(after, &run);
  if (case_.kind == SweepCase::kRepair) {
    if (!unfaulted) CheckRepairPlan(machine, after, &run);
  } else {
    CheckVerify(machine, after, &run, unfaulted ? &baselineListed_ : nullptr);
  }
  // A run whose work is done (its journal gone, the log cut or deleted) is not started
  // again: a rollback started again would undo the installation before.
  char journal[260] = {};
  JournalPathFor(case_.logPath.c_str(), journal, sizeof journal);
  bool workDone = !machine.FileExists(journal) &&
                  (!machine.FileExists(case_.logPath) ||
                   machine.FileContents(case_.logPath) != machine.FileContents(kSavedLog));
  runAgain = runAgain && !workDone;
  if (runAgain) {
    // The user starts the same uninstall again, and it finishes as a whole run would have.
    if (case_.beforeRunAgain) case_.beforeRunAgain(machine);
    SimUi againSim;
    WizardUi again(againSim);
    again.script = wizard.script;
    InstallUserInterface(&again);
    ResetRunWideState();
    LoadTextRules();
    try {
      RunWhole(machine, machine.processes.size());
    } catch (const std::exception& e) {
      run.findings.push_back({kCheckException, std::string("run again: ") + e.what()});
    }
    ResetRunWideState();
    InstallUserInterface(&sim);
  }
  machine.SimulateRestart();
  MachineState final = CaptureState(machine);
  if (runAgain) {
    const Names& n = *names_;
    for (const StateChange& c : DiffStates(baselineFinal_, final)) {
      // Each run makes a folder of its own for its temporary copy, which the Windows 95
      // family's restart leaves empty (it deletes files only), as does a kill between
      // making it and scheduling its deletion; the restart's record of its work
      // (WININIT.BAK) holds each run's entries.
      bool copyFolder = c.kind == kStateFolder && ParentOf(c.name) == n.tempDir &&
                        Matches(LastPart(c.name), "", 8, ".TMP");
      // The system makes a repair's list file and the run then schedules its deletion:
      // a kill between the two calls leaves it, empty.
      bool emptyList = c.kind == kStateFile && c.what == StateChange::kAdded &&
                       Matches(LastPart(c.name), "KTC", 0, ".TMP") &&
                       ContentsOf(c.after).compare(0, 8, "0 bytes ") == 0;
      // A run started again looks at the parents of keys the killed run removed, and may
      // find empty one that the whole run's order of passes left.
      bool emptyParent = false;
      if (c.kind == kStateKey && c.what == StateChange::kRemoved)
        for (const std::string& logged : n.keys) emptyParent = emptyParent || Below(logged, c.name);
      if (copyFolder || emptyList || emptyParent || LastPart(c.name) == "WININIT.BAK") continue;
      run.findings.push_back({kCheckRunAgain, ChangeText(c)});
    }
  }
  if (unfaulted) {
    baselineAfter_ = std::move(after);
    baselineFinal_ = std::move(final);
  } else {
    CheckFurther(final, baselineFinal_, &run);
    lastAfter_ = std::move(after);
  }
  ResetRunWideState();
  InstallPlatform(nullptr);
  InstallUserInterface(nullptr);
  return run;
}

void CaseSweep::CheckOutside(SimMachine& machine, const MachineState& after, SweepRun* run) const {
  const Names& n = *names_;
  auto ancestorOfLogged = [&](const std::string& folder) {
    for (const std::string& f : n.files)
      if (Below(f, folder)) return true;
    for (const std::string& f : n.folders)
      if (Below(f, folder)) return true;
    return false;
  };
  auto ownTemporary = [&](const std::string& name) {
    // The copy's folder: eight characters and ".TMP" in the temporary directory.
    std::string folder = ParentOf(name);
    bool copyFolder = [&](const std::string& f) {
      return ParentOf(f) == n.tempDir && Matches(LastPart(f), "", 8, ".TMP");
    }(name);
    if (copyFolder) return true;
    if (ParentOf(folder) == n.tempDir && Matches(LastPart(folder), "", 8, ".TMP") &&
        LastPart(name) == kCopyName)
      return true;
    // List files of a repair.
    return (folder == n.tempDir || folder == n.windowsTemp) &&
           Matches(LastPart(name), "KTC", 0, ".TMP");
  };
  // The copies that guard INI files while their entries are written go beside them.
  auto iniFolder = [&](const std::string& folder) {
    for (const std::string& f : n.iniEditFiles)
      if (ParentOf(f) == folder) return true;
    return false;
  };
  auto keyAllowed = [&](const std::string& key) {
    if (n.keys.count(key) || n.otherKeys.count(key) || n.keyTrees.count(key) ||
        BelowAny(key, n.keyTrees))
      return true;
    for (const std::string& logged : n.keys)
      if (Below(logged, key)) return true;  // a parent that became empty, or was made
    return false;
  };
  for (const StateChange& c : DiffStates(before_, after)) {
    const std::string& name = c.name;
    bool allowed = false;
    if (c.kind == kStateFile) {
      allowed = n.files.count(name) || n.ownFiles.count(name) || n.scriptedFiles.count(name) ||
                n.iniFiles.count(name) || n.iniEditFiles.count(name) || BelowAny(name, n.trees) ||
                ownTemporary(name) ||
                (Matches(LastPart(name), "~KTU", 4, ".TMP") &&
                 (n.fileFolders.count(ParentOf(name)) || iniFolder(ParentOf(name))));
    } else if (c.kind == kStateFolder) {
      bool shielded = n.protectedFolders.count(name) != 0;
      if (c.what == StateChange::kAdded) {
        allowed = ancestorOfLogged(name) || ownTemporary(name);
      } else {
        allowed = !shielded && (n.folders.count(name) || BelowAny(name, n.ownedFolders) ||
                                n.fileFolders.count(name) || ownTemporary(name));
      }
    } else if (c.kind == kStateIni) {
      std::string file = name.substr(0, name.find(" ["));
      // The restart's work of other programs is only ever added to.
      bool restartFile = LastPart(file) == "WININIT.INI";
      // A kill inside the system's rewrite of a file cuts it; the run started again puts
      // back the copy made before the first write (the check of that run proves it).
      allowed = n.iniEntries.count(name) || n.iniFiles.count(file) || n.files.count(file) ||
                (n.ownFiles.count(file) && (!restartFile || c.what == StateChange::kAdded)) ||
                (run->killed && n.iniEditFiles.count(file));
    } else if (c.kind == kStateKey) {
      allowed = keyAllowed(name);
    } else if (c.kind == kStateValue) {
      std::string key = name.substr(0, name.find('|'));
      allowed = n.values.count(name) || n.ownValues.count(name) || n.scriptedValues.count(name) ||
                n.countAllowance.count(name) || n.keyTrees.count(key) || BelowAny(key, n.keyTrees);
    } else if (c.kind == kStateService) {
      allowed = n.services.count(name) != 0;
    } else if (c.kind == kStateGroup) {
      allowed = n.groups.count(name) != 0;
    } else if (c.kind == kStateIcon) {
      allowed = n.icons.count(name) || n.iconCommands.count(StateFold(c.before));
    }
    if (!allowed) run->findings.push_back({kCheckOutside, ChangeText(c)});
  }
  (void)machine;
}

void CaseSweep::CheckCounts(const MachineState& after, SweepRun* run) const {
  const Names& n = *names_;
  std::set<std::string> counted;
  auto collect = [&](const MachineState& state) {
    auto values = state.entries.find(kStateValue);
    if (values == state.entries.end()) return;
    std::string sharedKey = StateKey(2, kSharedCounts) + "|";
    for (const auto& v : values->second)
      if (v.first.compare(0, sharedKey.size(), sharedKey) == 0) counted.insert(v.first);
  };
  collect(before_);
  collect(after);
  for (const auto& allowance : n.countAllowance) counted.insert(allowance.first);
  for (const std::string& name : counted) {
    int64_t was = CountOf(before_.Find(kStateValue, name));
    int64_t is = CountOf(after.Find(kStateValue, name));
    auto allowance = n.countAllowance.find(name);
    int64_t may = allowance == n.countAllowance.end() ? 0 : allowance->second;
    if (is < was - may || is > was) {
      run->findings.push_back(
          {kCheckCounts, name + ": " + std::to_string(was) + " before, " + std::to_string(is) +
                             " after; the log lets the run take " + std::to_string(may)});
    }
  }
}

// On the machine after a restart, when whatever the run left for it is done.
void CaseSweep::CheckFurther(const MachineState& after, const MachineState& unfaulted,
                             SweepRun* run) const {
  const Names& n = *names_;
  std::set<std::pair<std::string, std::string>> names;
  for (const MachineState* state : {&before_, &unfaulted, &after})
    for (const auto& kind : state->entries)
      for (const auto& entry : kind.second)
        if (n.Reported(kind.first, entry.first, entry.second) || n.files.count(entry.first))
          names.insert({kind.first, entry.first});
  for (const auto& entry : names) {
    const std::string* was = before_.Find(entry.first, entry.second);
    const std::string* expected = unfaulted.Find(entry.first, entry.second);
    const std::string* is = after.Find(entry.first, entry.second);
    // What the unfaulted run leaves must not be lost or changed by a failure; what it
    // takes away may stay, or stay as a step of the run left it (a value put back before
    // its tree would have gone).
    if (expected == nullptr) continue;
    std::string now = WithoutAttributes(is);
    if (now == WithoutAttributes(expected) || now == WithoutAttributes(was)) continue;
    // A repair that could not read a file extracts it again, as the installation left it.
    auto extracted = n.extracted.find(entry.second);
    if (entry.first == kStateFile && extracted != n.extracted.end() && now == extracted->second)
      continue;
    // When the earlier copy could not be put back it stays where the installation kept it,
    // and the file goes (the design's answer to a copy that cannot be made).
    auto backup = n.backupOf.find(entry.second);
    if (entry.first == kStateFile && is == nullptr && backup != n.backupOf.end()) {
      const std::string* kept = after.Find(kStateFile, backup->second);
      if (kept != nullptr && ContentsOf(*kept) == ContentsOf(*expected)) continue;
    }
    std::string text = entry.first + " " + entry.second + ": before " + Shown(was) +
                       ", unfaulted " + Shown(expected) + ", now " + Shown(is);
    // The design counts a file whose count cannot be read as counted nowhere: it goes.
    if (entry.first == kStateFile && is == nullptr) {
      std::string count = StateValue(2, kSharedCounts, entry.second);
      const std::string* countBefore = before_.Find(kStateValue, count);
      const std::string* countNow = after.Find(kStateValue, count);
      if (countBefore != nullptr && countNow != nullptr && *countBefore == *countNow) {
        run->findings.push_back({kCheckUnreadCount, text});
        continue;
      }
    }
    run->findings.push_back({kCheckFurther, text});
  }
}

namespace {

// A leftover's item as the name of a state entry.
struct ItemName {
  std::string kind;
  std::string name;
};

ItemName NameOfLeftover(SimMachine& machine, const Leftover& l) {
  const std::string& item = l.item;
  if (l.kind == "folder") return {kStateFolder, StatePath(machine, item)};
  if (l.kind == "INI entry") {
    size_t open = item.find(" [");
    size_t close = open == std::string::npos ? std::string::npos : item.find("] ", open);
    if (close == std::string::npos) return {kStateIni, item};
    return {kStateIni,
            StateIniEntry(machine, item.substr(0, open), item.substr(open + 2, close - open - 2),
                          item.substr(close + 2))};
  }
  if (l.kind == "registry value") {
    size_t colon = item.find(": ");
    std::string label = colon == std::string::npos ? std::string() : item.substr(colon + 2);
    if (label == "(default)") label.clear();
    return {kStateValue, ImageKeyName(item.substr(0, colon)) + "|" + StateFold(label)};
  }
  if (l.kind == "registry key" || l.kind == "registry tree") return {kStateKey, ImageKeyName(item)};
  if (l.kind == "service") return {kStateService, StateFold(item)};
  if (l.kind == "icon") {
    size_t group = item.rfind(" (group ");
    if (group == std::string::npos) return {kStateIcon, item};
    std::string name = item.substr(group + 8);
    if (!name.empty() && name.back() == ')') name.pop_back();
    return {kStateIcon, StateIcon(name, item.substr(0, group))};
  }
  return {kStateFile, StatePath(machine, item)};  // the kinds of file
}

// Reasons that say the log has the run keep the item: never the reason for what the
// unfaulted run removed. And the one that says the run did its work without looking.
bool BlamesTheLog(const std::string& reason) {
  for (const char* r :
       {kReasonEarlierSection, kReasonProtected, kReasonHasBackup, kReasonSystemFile,
        kReasonNotOwned, kReasonEditedFile, kReasonDeletedFile, kReasonLink})
    if (reason == r) return true;
  return false;
}
bool ClaimsTheWorkDone(const std::string& reason) { return reason == kReasonBackupRestored; }

}  // namespace

// After the unfaulted run every item the log names that is still there must be listed,
// and what it lists is kept (in *listed) for the faulted runs.
void CaseSweep::CheckVerify(SimMachine& machine, const MachineState& after, SweepRun* run,
                            std::vector<std::string>* listed) const {
  const bool unfaultedRun = listed != nullptr;
  const Names& n = *names_;
  VerifyResult check;
  RunVerify(case_.kind == SweepCase::kRollback, kSavedLog, &check);
  if (check.loadResult != 0) {
    run->findings.push_back({kCheckVerifyMisses, "verify could not load the saved log"});
    return;
  }
  std::vector<ItemName> items;
  for (const Leftover& l : check.report.items) items.push_back(NameOfLeftover(machine, l));
  std::vector<bool> used(items.size(), false);
  auto find = [&](const std::string& kind, const std::string& name) -> int {
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].name == name && (items[i].kind == kind)) return static_cast<int>(i);
    return -1;
  };
  auto findAbove = [&](const std::string& kind, const std::string& name) -> int {
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].kind == kind && Below(name, items[i].name)) return static_cast<int>(i);
    return -1;
  };
  // What verify says it could not check (no service manager, no Program Manager) it cannot
  // be held to.
  auto unchecked = [&](const std::string& kind) {
    for (const std::string& what : check.report.unchecked)
      if ((what == "services" && kind == kStateService) || (what == "icons" && kind == kStateIcon))
        return true;
    return false;
  };
  for (const auto& kind : after.entries) {
    if (unchecked(kind.first)) continue;
    for (const auto& entry : kind.second) {
      const std::string& name = entry.first;
      if (!n.Reported(kind.first, name, entry.second)) continue;
      const std::string* unfaulted = unfaultedRun ? nullptr : baselineAfter_.Find(kind.first, name);
      if (unfaulted != nullptr && *unfaulted == entry.second) continue;
      // Left, or left otherwise, because of the failure: verify must name it. An entry of a
      // file that the rollback puts back whole is the file's.
      std::string iniFile = name.substr(0, name.find(" ["));
      bool ofEditedFile = case_.kind == SweepCase::kRollback && kind.first == kStateIni &&
                          n.editedFiles.count(iniFile);
      int exact = ofEditedFile ? find(kStateFile, iniFile) : find(kind.first, name);
      int by = exact;
      if (by < 0 && kind.first == kStateFile) {
        by = find(kStateFolder, ParentOf(name));
        if (by < 0 && !n.reportedFiles.count(name)) by = findAbove(kStateFolder, name);
      }
      if (by < 0 && kind.first == kStateFolder) by = findAbove(kStateFolder, name);
      if (by < 0 && kind.first == kStateIni) by = find(kStateFile, name.substr(0, name.find(" [")));
      if (by < 0 && kind.first == kStateIcon) {
        // Listed under the log's title, found by its command.
        std::string group = name.substr(0, name.find('|'));
        for (size_t i = 0; i < items.size() && by < 0; ++i) {
          if (items[i].kind != kStateIcon ||
              items[i].name.compare(0, group.size() + 1, group + "|") != 0)
            continue;
          auto command = n.iconCommandByTitle.find(items[i].name.substr(group.size() + 1));
          if (command != n.iconCommandByTitle.end() && command->second == StateFold(entry.second))
            by = static_cast<int>(i);
        }
      }
      if (by < 0 && (kind.first == kStateKey || kind.first == kStateValue)) {
        std::string key = kind.first == kStateKey ? name : name.substr(0, name.find('|'));
        by = find(kStateKey, key);
        if (by < 0) by = findAbove(kStateKey, key);
      }
      if (by < 0) {
        run->findings.push_back(
            {kCheckVerifyMisses, kind.first + " " + name + " (" + Shown(&entry.second) + ")"});
        continue;
      }
      used[static_cast<size_t>(by)] = true;
      const Leftover& l = check.report.items[static_cast<size_t>(by)];
      if (!unfaultedRun && exact >= 0 &&
          ((unfaulted == nullptr && BlamesTheLog(l.reason)) || ClaimsTheWorkDone(l.reason)))
        run->findings.push_back(
            {kCheckVerifyBlames, l.kind + " " + l.item + ": " + l.reason + ": " + l.detail});
    }
  }
  // What it calls unexplained must be something the failure left, or left without what the
  // unfaulted run did for it (a deletion at the restart it did not schedule).
  for (size_t i = 0; i < items.size(); ++i) {
    const Leftover& l = check.report.items[i];
    std::string key = items[i].kind + " " + items[i].name;
    if (listed != nullptr) {
      listed->push_back(key);
      continue;
    }
    if (l.reason != kReasonUnexplained) continue;
    if (used[i] ||
        std::find(baselineListed_.begin(), baselineListed_.end(), key) != baselineListed_.end())
      continue;
    run->findings.push_back({kCheckVerifyUnexplained, l.kind + " " + l.item + ": " + l.detail});
  }
}

void CaseSweep::CheckRepairPlan(SimMachine& machine, const MachineState& after,
                                SweepRun* run) const {
  RepairPlan plan;
  RunRepairPlan("", case_.logPath.c_str(), &plan);
  std::set<std::string> planned;
  for (const RepairPlanFile& f : plan.files) planned.insert(StatePath(machine, f.path));
  for (const std::string& name : names_->stampedFiles) {
    const std::string* is = after.Find(kStateFile, name);
    const std::string* unfaulted = baselineAfter_.Find(kStateFile, name);
    if (WithoutAttributes(is) == WithoutAttributes(unfaulted) || planned.count(name)) continue;
    // Left as the installation program extracts it: nothing to repair.
    auto extracted = names_->extracted.find(name);
    if (extracted != names_->extracted.end() && WithoutAttributes(is) == extracted->second)
      continue;
    run->findings.push_back(
        {kCheckRepairPlan, name + ": unfaulted " + Shown(unfaulted) + ", now " + Shown(is)});
  }
}
