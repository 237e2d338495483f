// Generates large install logs for load tests and benchmarks, with the machine state that
// makes every logged item real: the files exist (so they classify as private files and not
// as missing ones), the registry values and the INI files exist.
//
// The realistic log spreads its private files over a few hundred folders of an application
// tree with varied names and extensions, adds a new part of every list in each section and
// logs a fraction of the earlier items again in later sections, as upgrades do. The
// degenerate log puts every private file into one folder under names whose last character
// varies slowest and rises with each file: the loader's search tree compares paths from
// their end and never rebalances, so each file lands one step deeper than the one before
// and the tree becomes a list.
//
// The every-kind log is small and holds at least one record of every kind the loader reads,
// in an installation and an upgrade, on a machine with what makes each kind do something:
// counted shared files, a service, Program Manager groups, a self-registering library, the
// programs the log runs, backups, a file in use, a read-only file, a protected folder named
// by the log and the installation program that repair runs.
//
// Header-only so that loggen and the load benchmark share it without a library of their own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct LogGenOptions {
  bool degenerate = false;
  int sections = 20;
  int privateFiles = 48000;
  int regValues = 48000;
  int iniEdits = 16000;
  // Percent of an earlier section's items that a later section logs again.
  int repeatPercent = 5;
  // The application directory, without a trailing backslash; the log lies in it.
  std::string appDirectory = "C:\\Program Files\\Fernhill\\Generated";
  // The directory of the INI files that are not in the application tree.
  std::string windowsDirectory = "C:\\WINDOWS";
  uint32_t seed = 20010615;
  // The every-kind log: the machine is of the Windows 95 family (WININIT.INI, SYSTEM).
  bool windows95 = false;
  // Where the every-kind log's file tree record is cut by the end of a read of this many
  // bytes (the uninstaller's log buffer): records it does not know (a newer installer's
  // fonts) fill the log before it, so that the piece read first ends inside the path,
  // after the folder that holds the application's. 0: no filling.
  size_t everyKindReadSize = 16384;
};

struct GenRegValue {
  int root = 2;          // log numbering: 0 HKCR, 1 HKCU, 2 HKLM
  std::string key;
  std::string name;
  int logType = 0;       // log numbering: 0 SZ, 1 EXPAND_SZ, 3 DWORD, 4 BINARY
  std::string data;      // as the log writes it
};

struct GenIniFile {
  std::string path;
  // section name, then key = value lines, in file order
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections;
};

// A file of the machine other than a generated private file, with its own contents.
struct GenFile {
  std::string path;
  std::string contents;
  std::string time = "2001-06-15 10:12:30";
  bool inUse = false;
  bool readOnly = false;
};

// What a scripted library or program does (docs/machine-image.md, Actions): "setValue"
// (key, name, value as a string), "removeValue", "removeKey", "extractList".
struct GenAction {
  std::string op;
  std::string key;
  std::string name;
  std::string value;
};

struct GenLibrary {
  std::string path;
  std::vector<GenAction> onRegister;
  std::vector<GenAction> onUnregister;
};

struct GenProgram {
  std::string path;
  std::string argument;  // the rule's argument; "" matches every start
  std::vector<GenAction> actions;
  std::vector<GenFile> extractable;
  bool createFile = true;
};

struct GenService {
  std::string name;
  std::string binaryPath;
  bool running = false;
};

struct GenGroup {
  std::string name;
  std::string path;
  std::vector<std::pair<std::string, std::string>> items;  // title, command
};

struct GeneratedLog {
  std::string logPath;                  // appDirectory\INSTALL.LOG
  std::string log;                      // the log's bytes
  std::vector<std::string> directories; // every directory the files need, parents first
  std::vector<std::string> files;       // every distinct private file
  std::vector<GenRegValue> values;      // every distinct registry value
  std::vector<GenIniFile> iniFiles;
  int privateFileLines = 0;             // file groups written (repeats included)
  int regGroups = 0;
  int iniGroups = 0;
  // The every-kind log's machine besides: its platform, other files (contents of their
  // own), registry values the log does not create, services, groups, libraries, programs.
  std::string platformKind = "nt";
  std::string modulePath;  // empty: the image's default
  std::vector<GenFile> otherFiles;
  std::vector<GenRegValue> otherValues;
  std::vector<GenService> services;
  std::vector<GenGroup> groups;
  std::vector<GenLibrary> libraries;
  std::vector<std::string> systemLibraries;  // bare names present (SFC.DLL)
  std::vector<GenProgram> programs;
};

namespace loggen {

// A small deterministic generator: the same seed gives the same log on every machine.
struct Random {
  uint64_t state;
  explicit Random(uint32_t seed) : state(seed * 2654435761ull + 1) {}
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state >> 11);
  }
  int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

inline uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// What every generated file holds: its own path, so sizes and checksums vary.
inline std::string FileContents(const std::string& path) { return "generated: " + path + "\r\n"; }

// The bytes of a generated INI file, sections and entries in file order.
inline std::string IniText(const GenIniFile& ini) {
  std::string text;
  for (const auto& section : ini.sections) {
    text += "[" + section.first + "]\r\n";
    for (const auto& entry : section.second) text += entry.first + "=" + entry.second + "\r\n";
  }
  return text;
}

// The FileStamp of a generated file: date, time, a version text, size and CRC-32.
inline std::string Stamp(const std::string& path) {
  std::string contents = FileContents(path);
  char text[96];
  snprintf(text, sizeof text, " 06-15-2001 | 10:12:30 | 1.0.0.0 | %u | %08x",
           static_cast<unsigned>(contents.size()), Crc32(contents));
  return text;
}

inline const char* const kTopFolders[] = {"Program", "Help", "Data", "Samples", "Templates",
                                          "Plugins", "Skins", "Fonts", "Docs", "Lib"};
inline const char* const kMidFolders[] = {
    "English", "German", "French", "Italian", "Spanish", "Dutch", "Swedish", "Common",
    "Shared",  "Extras", "Legacy", "Office",  "Web",     "Print", "Import",  "Export"};
inline const char* const kLeafFolders[] = {"Basic", "Advanced", "Images", "Sounds",
                                           "Tutorial", "Reference", "Forms"};
inline const char* const kStems[] = {
    "main",    "toolbar", "splash",  "readme",  "license", "setup",   "config",   "common",
    "print",   "preview", "export",  "import",  "filter",  "convert", "spell",    "thesaur",
    "gramm",   "chart",   "table",   "draw",    "picture", "clip",    "sound",    "macro",
    "script",  "wizard",  "helper",  "update",  "network", "mail",    "fax",      "scan",
    "font",    "style",   "theme",   "icon",    "cursor",  "report",  "query",    "index",
    "catalog", "letter",  "memo",    "invoice", "budget",  "calendar", "contact", "notes",
    "journal", "archive", "backup",  "restore", "viewer",  "editor",  "browser",  "dict"};
// Extensions by top folder, in the order of kTopFolders.
inline const char* const kExtensions[][5] = {
    {".EXE", ".DLL", ".OCX", ".DLL", ".TLB"}, {".HLP", ".CNT", ".CHM", ".HTM", ".GID"},
    {".DAT", ".IDX", ".XML", ".TXT", ".LEX"}, {".DOC", ".TXT", ".BMP", ".WAV", ".RTF"},
    {".DOT", ".TPL", ".XLT", ".DOT", ".HTM"}, {".DLL", ".FLT", ".CNV", ".DLL", ".INI"},
    {".BMP", ".GIF", ".ICO", ".CUR", ".SKN"}, {".TTF", ".FON", ".TTF", ".PFB", ".PFM"},
    {".TXT", ".HTM", ".PDF", ".GIF", ".CSS"}, {".DLL", ".LIB", ".BPL", ".DLL", ".PKG"}};

inline std::string Number(const char* format, int n) {
  char text[96];
  snprintf(text, sizeof text, format, n);
  return text;
}

// The folders of the application tree: top, top\mid and some top\mid\leaf, a few hundred.
inline std::vector<std::string> AppFolders(const std::string& app, Random& random) {
  std::vector<std::string> folders;
  for (const char* top : kTopFolders) {
    folders.push_back(app + "\\" + top);
    for (const char* mid : kMidFolders) {
      if (random.Below(4) == 0) continue;
      std::string middle = app + "\\" + top + "\\" + mid;
      folders.push_back(middle);
      for (const char* leaf : kLeafFolders)
        if (random.Below(3) == 0) folders.push_back(middle + "\\" + leaf);
    }
  }
  return folders;
}

inline int TopIndexOf(const std::string& folder, const std::string& app) {
  std::string rest = folder.substr(app.size() + 1);
  for (int i = 0; i < 10; ++i) {
    size_t length = strlen(kTopFolders[i]);
    if (rest.compare(0, length, kTopFolders[i]) == 0 &&
        (rest.size() == length || rest[length] == '\\'))
      return i;
  }
  return 0;
}

// A realistic set of distinct file paths over the folders: most folders hold a few dozen
// files, a few hold many, names mix stems, numbers and the extensions of their folder.
inline std::vector<std::string> RealisticFiles(const std::vector<std::string>& folders,
                                               const std::string& app, int count,
                                               Random& random) {
  std::vector<std::string> files;
  std::unordered_set<std::string> seen;
  const int stems = static_cast<int>(sizeof kStems / sizeof kStems[0]);
  while (static_cast<int>(files.size()) < count) {
    // Squaring a uniform pick favours the first folders: uneven folder sizes.
    int a = random.Below(static_cast<int>(folders.size()));
    int b = random.Below(static_cast<int>(folders.size()));
    const std::string& folder = folders[static_cast<size_t>(a < b ? a : b)];
    int top = TopIndexOf(folder, app);
    std::string name = kStems[random.Below(stems)];
    int form = random.Below(4);
    if (form == 1) name += Number("%d", random.Below(100));
    if (form == 2) name += Number("%03d", random.Below(1000));
    if (form == 3) name += std::string("_") + kStems[random.Below(stems)];
    name += kExtensions[top][random.Below(5)];
    std::string path = folder + "\\" + name;
    if (seen.insert(path).second) files.push_back(path);
  }
  return files;
}

// Every private file in one folder, numbered so that each new path compares after all the
// earlier ones from the end: the number is written with its digits reversed, so the last
// character is the most significant digit and varies slowest.
inline std::vector<std::string> DegenerateFiles(const std::string& folder, int count) {
  std::vector<std::string> files;
  files.reserve(static_cast<size_t>(count));
  for (int n = 0; n < count; ++n) {
    std::string digits = Number("%06d", n);
    std::string reversed(digits.rbegin(), digits.rend());
    files.push_back(folder + "\\F" + reversed + ".DAT");
  }
  return files;
}

inline std::string Guid(Random& random) {
  char text[48];
  snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%04X%08X}", random.Next(),
           random.Next() & 0xFFFF, random.Next() & 0xFFFF, random.Next() & 0xFFFF,
           random.Next() & 0xFFFF, random.Next());
  return text;
}

// Distinct registry values of the kinds an installation writes: COM classes under HKCR,
// file types, settings under HKLM and per-user defaults under HKCU.
inline std::vector<GenRegValue> RegistryValues(const std::vector<std::string>& files,
                                               int count, Random& random) {
  static const char* const kAreas[] = {"Options", "Toolbars", "Recent", "Printing",
                                       "Filters", "Spelling", "Display", "Network"};
  static const char* const kNames[] = {"Enabled", "Path",  "Size",  "Position", "Color",
                                       "Count",   "Order", "Style", "Level",    "Mode"};
  std::vector<GenRegValue> values;
  values.reserve(static_cast<size_t>(count));
  int serial = 0;
  while (static_cast<int>(values.size()) < count) {
    int kind = random.Below(10);
    const std::string& file = files[static_cast<size_t>(random.Below(static_cast<int>(files.size())))];
    if (kind < 3) {
      // A COM class: four values under CLSID.
      std::string clsid = "CLSID\\" + Guid(random);
      values.push_back({0, clsid, "", 0, "Generated Object " + std::to_string(serial)});
      values.push_back({0, clsid + "\\InprocServer32", "", 0, file});
      values.push_back({0, clsid + "\\InprocServer32", "ThreadingModel", 0, "Apartment"});
      values.push_back({0, clsid + "\\ProgID", "", 0, "Generated.Object." + std::to_string(serial)});
    } else if (kind < 4) {
      std::string ext = ".g" + Number("%05d", serial);
      values.push_back({0, ext, "", 0, "Generated.Document." + std::to_string(serial)});
      values.push_back({0, "Generated.Document." + std::to_string(serial) + "\\shell\\open\\command", "",
                        1, "\"" + file + "\" \"%1\""});
    } else if (kind < 8) {
      std::string key = std::string("Software\\Fernhill\\Generated\\") + kAreas[random.Below(8)] +
                        "\\Set" + std::to_string(serial / 7);
      std::string name = std::string(kNames[random.Below(10)]) + std::to_string(serial);
      int type = random.Below(3) == 0 ? 3 : (random.Below(5) == 0 ? 4 : 0);
      std::string data = type == 3   ? std::to_string(random.Below(100000))
                         : type == 4 ? Number("%08x", static_cast<int>(random.Next() & 0x7FFFFFFF))
                                     : file;
      values.push_back({2, key, name, type, data});
    } else {
      std::string key = std::string("Software\\Fernhill\\Generated\\User\\") + kAreas[random.Below(8)];
      values.push_back({1, key, std::string("Default") + std::to_string(serial), 0,
                        "value " + std::to_string(random.Below(1000))});
    }
    ++serial;
  }
  values.resize(static_cast<size_t>(count));
  return values;
}

inline std::vector<GenIniFile> IniFiles(const LogGenOptions& options, int count) {
  // 40 files of 20 sections of 20 keys hold 16000 entries; more entries add files.
  const int keysPerSection = 20, sectionsPerFile = 20;
  int fileCount = (count + keysPerSection * sectionsPerFile - 1) / (keysPerSection * sectionsPerFile);
  std::vector<GenIniFile> files;
  int made = 0;
  for (int f = 0; f < fileCount; ++f) {
    GenIniFile file;
    file.path = f % 2 == 0 ? options.windowsDirectory + "\\GEN" + Number("%02d", f) + ".INI"
                           : options.appDirectory + "\\Program\\generated" + Number("%02d", f) + ".ini";
    for (int s = 0; s < sectionsPerFile && made < count; ++s) {
      file.sections.push_back({"Section " + std::to_string(s), {}});
      for (int k = 0; k < keysPerSection && made < count; ++k, ++made)
        file.sections.back().second.push_back(
            {"Key" + std::to_string(k), "value " + std::to_string(made)});
    }
    files.push_back(file);
  }
  return files;
}

// Which section first logs item i of n, when n items are spread evenly over the sections.
inline int SectionOf(int i, int n, int sections) {
  return static_cast<int>(static_cast<int64_t>(i) * sections / (n > 0 ? n : 1)) + 1;
}

}  // namespace loggen

// Builds the log and the state of the machine it was written on.
inline void GenerateLog(const LogGenOptions& options, GeneratedLog* out) {
  using namespace loggen;
  Random random(options.seed);
  *out = GeneratedLog();
  const std::string& app = options.appDirectory;
  out->logPath = app + "\\INSTALL.LOG";

  std::vector<std::string> folders;
  if (options.degenerate) {
    folders.push_back(app + "\\Data");
    out->files = DegenerateFiles(app + "\\Data", options.privateFiles);
  } else {
    folders = AppFolders(app, random);
    out->files = RealisticFiles(folders, app, options.privateFiles, random);
  }
  // Parents first, so a machine can be seeded in order.
  out->directories.push_back(app);
  for (const std::string& folder : folders) {
    size_t from = app.size() + 1;
    for (size_t cut = folder.find('\\', from); cut != std::string::npos;
         cut = folder.find('\\', cut + 1))
      out->directories.push_back(folder.substr(0, cut));
    out->directories.push_back(folder);
  }
  {
    std::unordered_set<std::string> seen;
    std::vector<std::string> unique;
    for (const std::string& d : out->directories)
      if (seen.insert(d).second) unique.push_back(d);
    out->directories.swap(unique);
  }
  out->values = RegistryValues(out->files, options.regValues, random);
  out->iniFiles = IniFiles(options, options.iniEdits);

  struct IniEntry {
    const GenIniFile* file;
    const std::string* section;
    const std::string* key;
    const std::string* value;
  };
  std::vector<IniEntry> entries;
  for (const GenIniFile& file : out->iniFiles)
    for (const auto& section : file.sections)
      for (const auto& entry : section.second)
        entries.push_back({&file, &section.first, &entry.first, &entry.second});

  const int sections = options.sections < 1 ? 1 : options.sections;
  const int fileCount = static_cast<int>(out->files.size());
  const int valueCount = static_cast<int>(out->values.size());
  const int entryCount = static_cast<int>(entries.size());
  std::string& log = out->log;
  log.reserve(static_cast<size_t>(fileCount) * 200 + static_cast<size_t>(valueCount) * 150);

  auto fileGroup = [&](const std::string& path) {
    log += "File Copy: " + path + " |" + Stamp(path) + "\r\n";
    ++out->privateFileLines;
  };
  auto regGroup = [&](const GenRegValue& v) {
    log += "RegDB Key: " + v.key + "\r\nRegDB Val: " + v.data + "\r\n";
    if (!v.name.empty()) log += "RegDB Name: " + v.name + "\r\n";
    if (v.logType != 0) log += "RegDB Type: " + std::to_string(v.logType) + "\r\n";
    if (v.root != 0) log += "RegDB Root: " + std::to_string(v.root) + "\r\n";
    ++out->regGroups;
  };
  auto iniGroup = [&](const IniEntry& e, bool withOld) {
    log += "INI File: " + e.file->path + "\r\nINI Sect: " + *e.section + "\r\nINI Item: " +
           *e.key + "\r\nINI Val: " + *e.value + "\r\n";
    if (withOld) log += "INI Old: previous " + *e.value + "\r\n";
    ++out->iniGroups;
  };

  int nextFile = 0, nextValue = 0, nextEntry = 0;
  for (int s = 1; s <= sections; ++s) {
    log += Number("***  Installation Started 06/%02d/2001 10:12  ***\r\n", (s - 1) % 28 + 1);
    log += "Title: Generated Application Installation\r\n";
    log += "Source: C:\\SETUP\\SETUP.EXE | 06-01-2001 | 09:00:00 | 412160\r\n";
    if (s == 1) {
      log += "Manufacturer: Fernhill Software\r\nProduct: Generated Application\r\n";
      log += "Version Number: 1.0\r\nDelete in-use files: On\r\n";
      for (const std::string& d : out->directories) log += "Made Dir: " + d + "\r\n";
    }
    // This section's new items, then a share of the earlier ones again (an upgrade).
    int filesBefore = nextFile, valuesBefore = nextValue, entriesBefore = nextEntry;
    for (; nextFile < fileCount && SectionOf(nextFile, fileCount, sections) == s; ++nextFile)
      fileGroup(out->files[static_cast<size_t>(nextFile)]);
    for (int r = 0; r < filesBefore * options.repeatPercent / 100 / (s > 1 ? s - 1 : 1); ++r)
      fileGroup(out->files[static_cast<size_t>(random.Below(filesBefore))]);
    for (; nextValue < valueCount && SectionOf(nextValue, valueCount, sections) == s; ++nextValue)
      regGroup(out->values[static_cast<size_t>(nextValue)]);
    for (int r = 0; r < valuesBefore * options.repeatPercent / 100 / (s > 1 ? s - 1 : 1); ++r)
      regGroup(out->values[static_cast<size_t>(random.Below(valuesBefore))]);
    for (; nextEntry < entryCount && SectionOf(nextEntry, entryCount, sections) == s; ++nextEntry)
      iniGroup(entries[static_cast<size_t>(nextEntry)], nextEntry % 4 == 0);
    for (int r = 0; r < entriesBefore * options.repeatPercent / 100 / (s > 1 ? s - 1 : 1); ++r)
      iniGroup(entries[static_cast<size_t>(random.Below(entriesBefore))], true);
  }
}

// ---------------------------------------------------------------------------------------
// The every-kind log.

namespace loggen {

// An executable image header (MZ, and PE where e_lfanew points) followed by a text, so that
// the file loads as a library and registers itself.
inline std::string ImageStub(const std::string& text) {
  std::string bytes(68, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  bytes[60] = 64;
  bytes[64] = 'P';
  bytes[65] = 'E';
  return bytes + text;
}

inline std::string StampOf(const std::string& contents,
                           const char* when = "06-15-2001 | 10:12:30") {
  char text[96];
  snprintf(text, sizeof text, " %s | 1.0.0.0 | %u | %08x", when,
           static_cast<unsigned>(contents.size()), Crc32(contents));
  return text;
}

}  // namespace loggen

// The every-kind log of an application in options.appDirectory (the realistic generator's
// sizes are not used), in two sections: the installation and an upgrade that replaces files
// with backup copies, deletes and edits files, changes values and entries again and adds
// a file, a value and an icon.
inline void GenerateEveryKindLog(const LogGenOptions& options, GeneratedLog* out) {
  using namespace loggen;
  *out = GeneratedLog();
  const std::string app = options.appDirectory;
  const std::string win = options.windowsDirectory;
  const std::string sys = win + (options.windows95 ? "\\SYSTEM" : "\\SYSTEM32");
  const std::string menu = "C:\\Tarn Menu\\Every Kind";
  const std::string setup = "C:\\SETUP\\SETUP.EXE";
  out->platformKind = options.windows95 ? "95" : "nt";
  out->logPath = app + "\\INSTALL.LOG";
  out->modulePath = app + "\\UNTARN32.EXE";
  out->directories = {app,
                      app + "\\Program",
                      app + "\\Data",
                      app + "\\Logs",
                      app + "\\Logs\\Old",
                      app + "\\BACKUP",
                      menu,
                      win + "\\Downloaded Program Files"};
  std::string& log = out->log;

  // Files with stamps: generated contents, or contents of their own.
  GenProgram installer;
  installer.path = setup;
  installer.argument = "/X=";
  installer.actions = {{"extractList", "", "", ""}};
  installer.createFile = false;
  auto stamped = [&](const std::string& path, const std::string* contents = nullptr) {
    std::string bytes = contents != nullptr ? *contents : FileContents(path);
    GenFile file{path, bytes};
    installer.extractable.push_back(file);
    if (contents != nullptr) {
      out->otherFiles.push_back(file);
    } else {
      out->files.push_back(path);
    }
    return " |" + StampOf(bytes);
  };
  auto line = [&](const std::string& text) { log += text + "\r\n"; };
  auto value = [&](int root, const std::string& key, const std::string& name, int type,
                   const std::string& data) {
    line("RegDB Key: " + key);
    line("RegDB Val: " + data);
    if (!name.empty()) line("RegDB Name: " + name);
    if (type != 0) line("RegDB Type: " + std::to_string(type));
    if (root != 0) line("RegDB Root: " + std::to_string(root));
    ++out->regGroups;
  };
  auto ini = [&](const std::string& file, const std::string& section, const std::string& key,
                 const std::string& data, const char* old) {
    line("INI File: " + file);
    line("INI Sect: " + section);
    line("INI Item: " + key);
    line("INI Val: " + data);
    if (old != nullptr) line(std::string("INI Old: ") + old);
    ++out->iniGroups;
  };

  const std::string core = app + "\\Program\\EVERYCORE.DLL";
  const std::string coreBytes = ImageStub("Every Kind core 2.0"),
                    coreBackup = ImageStub("Every Kind core 1.0");
  const std::string clsid = "CLSID\\{7E2A1C40-5B3D-11D5-8F2E-0050DA2C7E12}";
  const std::string setupBytes = ImageStub("Every Kind setup program");
  const std::string untarn = ImageStub("uninstaller");
  const std::string protectedFolder = win;

  // --- The installation.
  line("***  Installation Started 06/15/2001 10:12  ***");
  line("Title: Every Kind Installation");
  line("Source: " + setup + " | 06-01-2001 | 09:00:00 | " + std::to_string(setupBytes.size()));
  line("Uninstall MIF: EVERYKND");
  line("Manufacturer: Fernhill Software");
  line("Product: Every Kind");
  line("Version Number: 1.0");
  line("Serial Number: EK-0001");
  line("User Rights: Admin");
  line("Per-User ID: {1C7D5E60-5B3D-11D5-8F2E-0050DA2C7E12}");
  line("Delete in-use files: On");
  line("System Restore: Enabled");
  line("SubSystem: BDE");
  for (const char* dir : {"", "\\Program", "\\Data"}) line("Made Dir: " + app + dir);
  line("Made Dir: " + menu);
  // A folder of the system that a damaged log names: it is never the run's to remove.
  line("Made Dir: " + protectedFolder);
  line("File Copy: " + app + "\\Program\\EVERY.EXE" + stamped(app + "\\Program\\EVERY.EXE"));
  line("File Copy: " + app + "\\Program\\EVERYUN.EXE" + stamped(app + "\\Program\\EVERYUN.EXE"));
  line("File Copy: " + app + "\\Program\\EVERY.HLP" + stamped(app + "\\Program\\EVERY.HLP"));
  line("File Copy: " + core + stamped(core, &coreBytes));
  line("Self-Register: " + core);
  line("File Copy: " + app + "\\Program\\SHARED.DLL" + stamped(app + "\\Program\\SHARED.DLL"));
  line("File Copy: " + app + "\\Program\\INUSE.DLL" + stamped(app + "\\Program\\INUSE.DLL"));
  line("File Copy: " + app + "\\Data\\TABLE.DAT" + stamped(app + "\\Data\\TABLE.DAT"));
  line("File Copy: " + app + "\\Data\\READONLY.DAT" + stamped(app + "\\Data\\READONLY.DAT"));
  line("File Copy: " + app + "\\UNTARN32.EXE");
  line("File Overwrite: " + sys + "\\EVERYRT.DLL" + stamped(sys + "\\EVERYRT.DLL"));
  line("Non-System File:");
  line("File Copy: " + sys + "\\EVERYHK.DLL" + stamped(sys + "\\EVERYHK.DLL"));
  line("Shared DLL counter ignored:");
  line("File Copy: " + sys + "\\EVERYVXD.386" + stamped(sys + "\\EVERYVXD.386"));
  line("Add Device: " + sys + "\\EVERYVXD.386");
  const std::string linkPath = menu + "\\Every Kind.lnk";
  const std::string linkBytes = "stand-in for the installed link";
  line("Shell Link: " + linkPath + stamped(linkPath, &linkBytes));
  line("Link Info: " + app + "\\Program\\EVERY.EXE | " + app + "\\Program | " + app +
       "\\Program\\EVERY.EXE | 0 | 1 | 0 | /start");
  const std::string tree = "File Tree: " + app.substr(0, app.rfind('\\'));
  if (options.everyKindReadSize > log.size() + tree.size() + 64) {
    size_t fill = options.everyKindReadSize - log.size() - tree.size();
    const std::string font = "Font Registered: " + win + "\\FONTS\\EVERY";
    for (int i = 0; fill > 0; ++i) {
      std::string number = Number("%04d.TTF", i);
      size_t whole = font.size() + number.size() + 2;
      // The last line takes what is left, with a longer name.
      if (fill < 2 * whole) number = std::string(fill - font.size() - 2 - 4, 'X') + ".TTF";
      line(font + number);
      fill -= font.size() + number.size() + 2;
    }
  }
  line(tree + app.substr(app.rfind('\\')) + "\\Logs");
  out->privateFileLines = 14;
  line("INI New: ");
  ini(app + "\\Program\\EVERY.INI", "Options", "AutoSave", "1", nullptr);
  ini(win + "\\WIN.INI", "Extensions", "evk", app + "\\Program\\EVERY.EXE ^.evk", nullptr);
  ini(win + "\\EVERYSH.INI", "Shared", "Runtime", "2.0", "1.5");
  out->values = {
      {2, "Software\\Fernhill\\Every Kind\\1.0", "InstallDir", 0, app},
      {2, "Software\\Fernhill\\Every Kind\\1.0", "Level", 3, "4096"},
      {2, "Software\\Fernhill\\Every Kind\\1.0", "Flags", 4, "0a1bf0"},
      {2, "Software\\Fernhill\\Every Kind\\1.0", "Paths", 2, app + "\\Data"},
      {2, "Software\\Fernhill\\Every Kind\\1.0", "Home", 1, "%ProgramFiles%\\Fernhill\\Every Kind"},
      {1, "Software\\Fernhill\\Every Kind\\Settings", "Greeting", 0, "Greetings from Every Kind"},
      {0, ".evk", "", 0, "EveryKind.Document"},
      {0, clsid + "\\InprocServer32", "", 0, core},
  };
  for (const GenRegValue& v : out->values) value(v.root, v.key, v.name, v.logType, v.data);
  value(2, "Software\\Fernhill\\Every Kind\\1.0", "Version", 0, "1.0");
  value(0, ".txt", "", 0, "EveryKind.Document");
  line("RegDB Old: txtfile");
  line("RegDB Tree: Software\\Fernhill\\Every Kind\\Cache");
  line("RegDB Root: 2");
  line("Create Service: EveryKindSvc");
  const std::string exe = app + "\\Program\\EVERY.EXE";
  for (const char* title : {"Every Kind", "Every Kind Help"}) {
    line("Icon Group: Every Kind");
    line(std::string("Icon Name: ") + title);
    line("Icon Cmd: " + exe + (std::string(title) == "Every Kind" ? "" : " /help"));
  }
  line("Icon Group: Accessories");
  line("Icon Name: Every Kind Tool");
  line("Icon Cmd: " + exe + " /tool");
  line("Execute Path: " + exe + " /cleanup");
  line("Execute Name: Every Kind clean-up");
  line("Execute Program: " + app + "\\Program\\EVERYUN.EXE");

  // --- The upgrade.
  line("***  Installation Started 03/01/2002 09:30  ***");
  line("Title: Every Kind Installation");
  line("Source: " + setup + " | 06-01-2001 | 09:00:00 | " + std::to_string(setupBytes.size()));
  line("Version Number: 1.1");
  line("Made Dir: " + app + "\\BACKUP");
  for (const char* again : {"\\Program\\EVERY.EXE", "\\Program\\SHARED.DLL"})
    line("File Copy: " + app + again + " |" + StampOf(FileContents(app + again)));
  line("File Copy: " + app + "\\Program\\PLUGIN.DLL" + stamped(app + "\\Program\\PLUGIN.DLL"));
  line("File Copy: " + core + " |" + StampOf(coreBytes));
  line("Backup Copy: " + app + "\\BACKUP\\EVERYCORE.DLL");
  line("Self-Register: " + core);
  line("File Overwrite: " + sys + "\\EVERYCTL.OCX" + stamped(sys + "\\EVERYCTL.OCX"));
  line("Backup Copy: " + app + "\\BACKUP\\EVERYCTL.OCX");
  line("File Delete: " + app + "\\Data\\OLD.DAT");
  line("Backup Copy: " + app + "\\BACKUP\\OLD.DAT");
  line("File Edit: " + win + "\\CONTROL.INI");
  line("Backup Copy: " + app + "\\BACKUP\\CONTROL.BAK");
  out->privateFileLines += 6;
  ini(win + "\\EVERYSH.INI", "Shared", "Runtime", "2.1", "2.0");
  value(2, "Software\\Fernhill\\Every Kind\\1.0", "Version", 0, "1.1");
  line("RegDB Old: 1.0");
  GenRegValue plugin = {2, "Software\\Fernhill\\Every Kind\\Plugins", "Plugin", 0,
                        app + "\\Program\\PLUGIN.DLL"};
  value(plugin.root, plugin.key, plugin.name, plugin.logType, plugin.data);
  out->values.push_back(plugin);
  line("Create Service: EveryKindSvc");
  line("Icon Group: Every Kind");
  line("Icon Name: Every Kind Plug-in");
  line("Icon Cmd: " + exe + " /plugin");

  // --- The machine as both installations left it.
  auto other = [&](const std::string& path, const std::string& contents) {
    out->otherFiles.push_back({path, contents});
  };
  other(out->modulePath, untarn);
  out->otherFiles.push_back({setup, setupBytes, "2001-06-01 09:00:00"});
  other(app + "\\Program\\EVERY.GID", "help index");
  other(app + "\\Logs\\setup.log", "installed\r\n");
  // Another application of the same maker, beside this one.
  other(app.substr(0, app.rfind('\\')) + "\\Bramble Notes\\NOTES.TXT", "another application's");
  other(app + "\\Logs\\Old\\first.log", "first run\r\n");
  other(app + "\\BACKUP\\EVERYCORE.DLL", coreBackup);
  other(app + "\\BACKUP\\EVERYCTL.OCX", "older control");
  other(app + "\\BACKUP\\OLD.DAT", "old data");
  other(app + "\\BACKUP\\CONTROL.BAK", "[Current]\r\ncolor schemes=Windows Standard\r\n");
  other(win + "\\CONTROL.INI", "[Current]\r\ncolor schemes=Every Kind\r\n");
  // Work another program left for the next start, which the run must add to, never spoil.
  if (options.windows95)
    other(win + "\\WININIT.INI", "[rename]\r\nNUL=C:\\WINDOWS\\TEMP\\OLDSETUP.TMP\r\n");
  other(win + "\\SYSTEM.INI",
        "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\ndevice=*vmm\r\ndevice=EVERYVXD.386\r\n"
        "device=OTHER.386\r\n");
  // Generated files with a property, written as files of their own: two in use (one the
  // rollback puts its backup copy over), one read-only.
  const std::pair<std::string, bool> special[] = {{app + "\\Program\\INUSE.DLL", true},
                                                  {sys + "\\EVERYCTL.OCX", true},
                                                  {app + "\\Data\\READONLY.DAT", false}};
  for (const auto& property : special) {
    for (size_t i = 0; i < out->files.size(); ++i) {
      if (out->files[i] != property.first) continue;
      out->files.erase(out->files.begin() + static_cast<long>(i));
      GenFile file{property.first, FileContents(property.first)};
      file.inUse = property.second;
      file.readOnly = !property.second;
      out->otherFiles.push_back(file);
      break;
    }
  }
  out->iniFiles = {
      {app + "\\Program\\EVERY.INI",
       {{"Options", {{"AutoSave", "1"}, {"LastFolder", "C:\\My Data"}}}}},
      {win + "\\WIN.INI",
       {{"Extensions",
         {{"txt", "notepad.exe ^.txt"}, {"evk", app + "\\Program\\EVERY.EXE ^.evk"}}}}},
      {win + "\\EVERYSH.INI", {{"Shared", {{"Runtime", "2.1"}, {"Users", "2"}}}}},
  };
  const std::string counts = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
  out->otherValues = {
      {2, "Software\\Fernhill\\Every Kind\\1.0", "Version", 0, "1.1"},
      {0, ".txt", "", 0, "EveryKind.Document"},
      {2, "Software\\Fernhill\\Every Kind\\Cache\\Recent", "File1", 0, app + "\\Data\\TABLE.DAT"},
      {2, "Software\\Fernhill\\Every Kind\\Cache\\Window", "Left", 3, "120"},
      {2, counts, app + "\\Program\\SHARED.DLL", 3, "3"},
      {2, counts, sys + "\\EVERYRT.DLL", 3, "2"},
      {2, counts, sys + "\\EVERYCTL.OCX", 3, "1"},
      {2, "Software\\Borland\\Database Engine", "UseCount", 0, "2"},
      {2, "Software\\Fernhill\\Bramble Notes\\Settings", "Theme", 0, "Autumn"},
      {2, "Software\\Tarn Solutions\\TamUser", "Path", 0, win + "\\TAMUSER.EXE"},
      {2,
       "Software\\Tarn Solutions\\Tarn Installation System\\Repair\\" +
           [&] {
             std::string name = out->logPath;
             for (char& c : name)
               if (c == '\\') c = '/';
             return name;
           }(),
       "Source", 0, setup},
  };
  // The Windows 95 family has no service manager.
  if (!options.windows95) out->services = {{"EveryKindSvc", exe, true}};
  out->groups = {
      {"Every Kind",
       win + "\\EVERYKND.GRP",
       {{"Every Kind", exe},
        {"Every Kind Help", exe + " /help"},
        {"Every Kind Plug-in", exe + " /plugin"}}},
      {"Accessories",
       win + "\\ACCESSOR.GRP",
       {{"Notepad", "notepad.exe"}, {"Every Kind Tool", exe + " /tool"}}},
  };
  out->libraries = {{core,
                     {{"setValue", "HKCR\\" + clsid + "\\InprocServer32", "", core}},
                     {{"removeKey", "HKCR\\" + clsid, "", ""}}}};
  out->systemLibraries = {"SFC.DLL"};
  out->programs = {
      {exe,
       "/cleanup",
       {{"setValue", "HKCU\\Software\\Fernhill\\Every Kind Cleanup", "Done", "1"}},
       {},
       false},
      {app + "\\Program\\EVERYUN.EXE", "", {}, {}, false},
      {win + "\\TAMUSER.EXE", "/U", {}, {}, true},
      installer,
  };
}

// ---------------------------------------------------------------------------------------
// The machine image (docs/machine-image.md) in which every logged item exists.

namespace loggen {

inline void JsonString(std::string& out, const std::string& text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      if (c == '"' || c == '\\') out.push_back('\\');
      out.push_back(c);
    }
  }
  out.push_back('"');
}

inline const char* RootName(int root) { return root == 0 ? "HKCR" : root == 1 ? "HKCU" : "HKLM"; }

// A registry value in the image's form for the log's type number.
inline std::string RegValueJson(int logType, const std::string& data) {
  std::string json;
  if (logType == 3) return data;
  if (logType == 4) return "{\"binary\": \"" + data + "\"}";
  if (logType == 1 || logType == 2) {
    json = logType == 1 ? "{\"expand\": " : "{\"multi\": [";
    JsonString(json, data);
    return json + (logType == 1 ? "}" : "]}");
  }
  JsonString(json, data);
  return json;
}

inline std::string Base64(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
    encoded.push_back(kAlphabet[(group >> 18) & 63]);
    encoded.push_back(kAlphabet[(group >> 12) & 63]);
    encoded.push_back(i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=');
    encoded.push_back(i + 2 < bytes.size() ? kAlphabet[group & 63] : '=');
  }
  return encoded;
}

// A file of its own in the image: as text when it is printable, else in base64.
inline std::string GenFileJson(const GenFile& file) {
  std::string json = "{\"path\": ";
  JsonString(json, file.path);
  json += ", \"time\": \"" + file.time + "\", ";
  bool text = true;
  for (unsigned char c : file.contents)
    if ((c < 0x20 && c != '\r' && c != '\n') || c >= 0x80) text = false;
  if (text) {
    json += "\"text\": ";
    JsonString(json, file.contents);
  } else {
    json += "\"base64\": \"" + Base64(file.contents) + "\"";
  }
  if (file.inUse) json += ", \"inUse\": true";
  if (file.readOnly) json += ", \"attributes\": [\"readonly\"]";
  return json + "}";
}

inline std::string ActionsJson(const std::vector<GenAction>& actions) {
  std::string json = "[";
  for (size_t i = 0; i < actions.size(); ++i) {
    const GenAction& a = actions[i];
    json += i == 0 ? "{\"op\": " : ", {\"op\": ";
    JsonString(json, a.op);
    if (!a.key.empty()) {
      json += ", \"key\": ";
      JsonString(json, a.key);
    }
    if (a.op == "setValue" || a.op == "removeValue") {
      json += ", \"name\": ";
      JsonString(json, a.name);
    }
    if (a.op == "setValue") {
      json += ", \"value\": ";
      JsonString(json, a.value);
    }
    json += "}";
  }
  return json + "]";
}

}  // namespace loggen

// The image as JSON text. With logInImage the log itself is one of the image's files
// (base64), so the image alone is the whole machine.
inline std::string MachineImageJson(const GeneratedLog& generated, bool logInImage) {
  using namespace loggen;
  std::string json = "{\n  \"platform\": {\"kind\": \"" + generated.platformKind +
                     "\", \"version\": [" +
                     (generated.platformKind == "nt" ? "5, 1, 2600" : "4, 10, 2222") + "]";
  if (!generated.modulePath.empty()) {
    json += ", \"modulePath\": ";
    JsonString(json, generated.modulePath);
  }
  json += "},\n";
  json += "  \"directories\": [";
  for (size_t i = 0; i < generated.directories.size(); ++i) {
    json += i == 0 ? "\n    " : ",\n    ";
    JsonString(json, generated.directories[i]);
  }
  json += "\n  ],\n  \"files\": [";
  bool first = true;
  auto file = [&](const std::string& path, const std::string& contents) {
    json += first ? "\n    {\"path\": " : ",\n    {\"path\": ";
    first = false;
    JsonString(json, path);
    json += ", \"time\": \"2001-06-15 10:12:30\", \"text\": ";
    JsonString(json, contents);
    json += "}";
  };
  for (const std::string& path : generated.files) file(path, FileContents(path));
  for (const GenIniFile& ini : generated.iniFiles) file(ini.path, IniText(ini));
  for (const GenFile& other : generated.otherFiles) {
    json += first ? "\n    " : ",\n    ";
    first = false;
    json += GenFileJson(other);
  }
  if (logInImage) {
    std::string encoded = Base64(generated.log);
    json += ",\n    {\"path\": ";
    JsonString(json, generated.logPath);
    json += ", \"base64\": \"" + encoded + "\"}";
  }
  json += "\n  ],\n  \"registry\": {";
  // One member per key, its values in log order.
  std::vector<std::string> keyOrder;
  std::unordered_map<std::string, std::vector<const GenRegValue*>> byKey;
  std::vector<const GenRegValue*> all;
  for (const GenRegValue& v : generated.values) all.push_back(&v);
  for (const GenRegValue& v : generated.otherValues) all.push_back(&v);
  for (const GenRegValue* each : all) {
    const GenRegValue& v = *each;
    std::string key = std::string(RootName(v.root)) + "\\" + v.key;
    auto found = byKey.find(key);
    if (found == byKey.end()) {
      keyOrder.push_back(key);
      byKey[key].push_back(&v);
    } else {
      found->second.push_back(&v);
    }
  }
  for (size_t k = 0; k < keyOrder.size(); ++k) {
    json += k == 0 ? "\n    " : ",\n    ";
    JsonString(json, keyOrder[k]);
    json += ": {";
    std::unordered_set<std::string> names;
    bool firstValue = true;
    for (const GenRegValue* v : byKey[keyOrder[k]]) {
      if (!names.insert(v->name).second) continue;
      json += firstValue ? "" : ", ";
      firstValue = false;
      JsonString(json, v->name);
      json += ": " + RegValueJson(v->logType, v->data);
    }
    json += "}";
  }
  json += "\n  }";
  if (!generated.services.empty()) {
    json += ",\n  \"services\": [";
    for (size_t i = 0; i < generated.services.size(); ++i) {
      const GenService& service = generated.services[i];
      json += i == 0 ? "\n    {\"name\": " : ",\n    {\"name\": ";
      JsonString(json, service.name);
      json += ", \"binaryPath\": ";
      JsonString(json, service.binaryPath);
      json += std::string(", \"running\": ") + (service.running ? "true" : "false") + "}";
    }
    json += "\n  ]";
  }
  if (!generated.groups.empty()) {
    json += ",\n  \"groups\": [";
    for (size_t i = 0; i < generated.groups.size(); ++i) {
      const GenGroup& group = generated.groups[i];
      json += i == 0 ? "\n    {\"name\": " : ",\n    {\"name\": ";
      JsonString(json, group.name);
      json += ", \"path\": ";
      JsonString(json, group.path);
      json += ", \"items\": [";
      for (size_t j = 0; j < group.items.size(); ++j) {
        json += j == 0 ? "{\"title\": " : ", {\"title\": ";
        JsonString(json, group.items[j].first);
        json += ", \"command\": ";
        JsonString(json, group.items[j].second);
        json += "}";
      }
      json += "]}";
    }
    json += "\n  ]";
  }
  if (!generated.libraries.empty() || !generated.systemLibraries.empty()) {
    json += ",\n  \"libraries\": [";
    bool firstLibrary = true;
    for (const std::string& name : generated.systemLibraries) {
      json += firstLibrary ? "\n    {\"path\": " : ",\n    {\"path\": ";
      firstLibrary = false;
      JsonString(json, name);
      json += "}";
    }
    for (const GenLibrary& library : generated.libraries) {
      json += firstLibrary ? "\n    {\"path\": " : ",\n    {\"path\": ";
      firstLibrary = false;
      JsonString(json, library.path);
      json += ", \"exports\": [\"DllRegisterServer\", \"DllUnregisterServer\"], \"register\": " +
              ActionsJson(library.onRegister) +
              ", \"unregister\": " + ActionsJson(library.onUnregister) + "}";
    }
    json += "\n  ]";
  }
  if (!generated.programs.empty()) {
    json += ",\n  \"programs\": [";
    for (size_t i = 0; i < generated.programs.size(); ++i) {
      const GenProgram& program = generated.programs[i];
      json += i == 0 ? "\n    {\"path\": " : ",\n    {\"path\": ";
      JsonString(json, program.path);
      json += ", \"on\": {";
      JsonString(json, program.argument);
      json += ": " + ActionsJson(program.actions) + "}";
      if (!program.extractable.empty()) {
        json += ", \"extractable\": [";
        for (size_t j = 0; j < program.extractable.size(); ++j)
          json += (j == 0 ? "" : ", ") + GenFileJson(program.extractable[j]);
        json += "]";
      }
      json += std::string(", \"createFile\": ") + (program.createFile ? "true" : "false") + "}";
    }
    json += "\n  ]";
  }
  json += "\n}\n";
  return json;
}
