// The system side of the simulated machine: the default machine and seeding from an image,
// directories and version, code pages, the clock, programs and their scripted effects,
// libraries and entry points, the Program Manager stand-in, resources and error texts.
#include <cstdio>
#include <cstring>

#include "platform/sim/sim_internal.h"
#include "platform/built_in_texts.h"

void SimRegistryInit(SimMachine& m, SimMachine::Impl& impl);

namespace {

constexpr int kErrProcNotFound = 127;
constexpr int kErrResourceNotFound = 1813;
constexpr int kErrDdeNoConversation = 1400;

// OEM code page 437 to ANSI code page 1252, byte by byte, with the best-fit choices of
// OemToCharA (box drawing to '+', '-' and the broken bar, Greek letters to Latin look-alikes).
// Generated once by a small program that called OemToCharA for every byte under Wine; kept
// as data so the simulated machine converts exactly as the real call does.
const uint8_t kOem437ToAnsi1252[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
    0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
    0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23,
    0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B,
    0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47,
    0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x53,
    0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B,
    0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77,
    0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F, 0xC7, 0xFC, 0xE9, 0xE2,
    0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2,
    0xA3, 0xA5, 0x50, 0x83, 0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA,
    0xBF, 0xAC, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB, 0xA6, 0xA6, 0xA6, 0xA6,
    0xA6, 0xA6, 0xA6, 0x2B, 0x2B, 0xA6, 0xA6, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B,
    0x2B, 0x2D, 0x2D, 0x2B, 0x2D, 0x2B, 0xA6, 0xA6, 0x2B, 0x2B, 0x2D, 0x2D,
    0xA6, 0x2D, 0x2B, 0x2D, 0x2D, 0x2D, 0x2D, 0x2B, 0x2B, 0x2B, 0x2B, 0x2B,
    0x2B, 0x2B, 0x2B, 0xA6, 0x5F, 0xA6, 0xA6, 0xAF, 0x61, 0xDF, 0x47, 0x70,
    0x53, 0x73, 0xB5, 0x74, 0x46, 0x54, 0x4F, 0x64, 0x38, 0x66, 0x65, 0x6E,
    0x3D, 0xB1, 0x3D, 0x3D, 0x28, 0x29, 0xF7, 0x98, 0xB0, 0xB7, 0xB7, 0x76,
    0x6E, 0xB2, 0xA6, 0xA0,
};

// A minimal executable image: "MZ", the offset of the PE header at byte 60, "PE\0\0".
std::string ExecutableStub() {
  std::string bytes(68, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  bytes[60] = 64;
  bytes[64] = 'P';
  bytes[65] = 'E';
  return bytes;
}

bool LooksLikeExecutable(const std::string& contents) {
  if (contents.size() < 64 || contents[0] != 'M' || contents[1] != 'Z') return false;
  uint32_t offset = 0;
  for (int i = 0; i < 4; ++i)
    offset |= static_cast<uint32_t>(static_cast<uint8_t>(contents[60 + i])) << (8 * i);
  return offset + 2 <= contents.size() && contents[offset] == 'P' && contents[offset + 1] == 'E';
}

std::string FileNamePartOf(SimMachine& m, const std::string& path) {
  size_t slash = SimFindLastOf(m, path, "\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutTrailingSlash(SimMachine& m, std::string path) {
  while (path.size() > 3 && SimEndsWith(m, path, '\\')) path.pop_back();
  return path;
}

// The program named at the start of a command line: quoted, or up to the first blank.
std::string ProgramOf(const std::string& commandLine) {
  size_t start = commandLine.find_first_not_of(' ');
  if (start == std::string::npos) return std::string();
  if (commandLine[start] == '"') {
    size_t close = commandLine.find('"', start + 1);
    return commandLine.substr(start + 1, (close == std::string::npos ? commandLine.size() : close) - start - 1);
  }
  size_t end = commandLine.find(' ', start);
  return commandLine.substr(start, (end == std::string::npos ? commandLine.size() : end) - start);
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
  return SimUpper(text).find(SimUpper(part)) != std::string::npos;
}

std::string Quoted(const char* text) { return text != nullptr ? text : "(null)"; }

}  // namespace

#define FAILRETURN(code)       \
  do {                         \
    impl_->lastError = (code); \
    return (code);             \
  } while (0)

// --- The default machine and images --------------------------------------------------------

static void SeedDefaults(SimMachine& m, SimMachine::Impl& impl) {
  SimTreeChanged();
  impl.drives.clear();
  SimDrive drive;
  drive.root = std::make_unique<SimNode>();
  drive.root->attributes = kAttrDirectory;
  impl.drives['C'] = std::move(drive);
  impl.currentDir = "C:\\";
  SimRegistryInit(m, impl);
}

static void EnsureStandardDirectories(SimMachine& m) {
  ImagePlatform& s = m.settings;
  if (s.systemDirectory.empty())
    s.systemDirectory =
        WithoutTrailingSlash(m, s.windowsDirectory) + (s.ntFamily ? "\\SYSTEM32" : "\\SYSTEM");
  m.MakeDirectories(s.windowsDirectory);
  m.MakeDirectories(s.systemDirectory);
  m.MakeDirectories(WithoutTrailingSlash(m, s.tempDirectory));
  m.MakeDirectories(s.currentDirectory);
  if (!s.modulePath.empty() && !m.FileExists(s.modulePath))
    m.WriteFile(s.modulePath, ExecutableStub());
}

SimMachine::SimMachine() : impl_(std::make_unique<Impl>()) {
  SeedDefaults(*this, *impl_);
  EnsureStandardDirectories(*this);
  MakeDirectories("C:\\Program Files");
  RegSetRaw("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", kRegSz,
            RegStringBytes("C:\\Program Files"));
  for (int id = kFirstTextId; id <= kLastTextId; ++id)
    if (StringTableText(id) != nullptr) strings[static_cast<uint32_t>(id)] = StringTableText(id);
}

SimMachine::~SimMachine() = default;

static void ApplyActions(SimMachine& m, SimMachine::Impl& impl,
                         const std::vector<ImageAction>& actions, const std::string& commandLine,
                         const ImageProgram* program);

int SimMachine::ApplyImage(const MachineImage& image, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what;
    return 1;
  };
  settings = image.platform;
  if (settings.defaultFileTime == 0) settings.defaultFileTime = SimNow(settings);
  SimTreeChanged();
  for (const ImageDrive& drive : image.platform.drives) {
    SimDrive& entry = impl_->drives[drive.letter];
    entry.type = drive.type;
    if (!entry.root) {
      entry.root = std::make_unique<SimNode>();
      entry.root->attributes = kAttrDirectory;
    }
  }
  EnsureStandardDirectories(*this);
  if (SetCurrentDir(settings.currentDirectory.c_str()) != 0)
    return fail("current directory " + settings.currentDirectory);

  for (const ImageDirectory& directory : image.directories) {
    if (!directory.junctionTarget.empty()) {
      if (MakeJunction(directory.path, directory.junctionTarget) != 0)
        return fail("junction " + directory.path);
      continue;
    }
    if (MakeDirectories(directory.path) != 0) return fail("directory " + directory.path);
    SimNode* node = Find(directory.path);
    node->attributes = directory.attributes | kAttrDirectory;
    if (!directory.shortName.empty()) SimSetShortName(*this, node, directory.shortName);
  }
  for (const ImageFile& file : image.files) {
    if (WriteFile(file.path, file.contents,
                  file.lastWrite != 0 ? file.lastWrite : settings.defaultFileTime) != 0)
      return fail("file " + file.path);
    SimNode* node = Find(file.path);
    node->attributes = file.attributes == 0 ? kAttrNormal : file.attributes & ~kAttrDirectory;
    if (!file.shortName.empty()) SimSetShortName(*this, node, file.shortName);
    node->inUse = file.inUse;
  }
  for (const ImageRegKey& key : image.registry) {
    if (RegSetRaw(key.path, "\x01", kRegNone, std::string()) != 0)
      return fail("registry key " + key.path);
    RegRemoveRaw(key.path, "\x01");
    for (const ImageRegValue& value : key.values) RegSetRaw(key.path, value.name, value.type, value.data);
  }
  for (const ImageService& service : image.services) {
    SimService entry;
    entry.name = service.name;
    entry.binaryPath = service.binaryPath;
    entry.running = service.running;
    services[SimUpper(service.name)] = entry;
  }
  for (const ImageGroup& group : image.groups) groups.push_back(SimGroup{group.name, group.path, group.items});
  for (const ImageLibrary& library : image.libraries) {
    impl_->libraries.push_back(library);
    if (library.path.find('\\') != std::string::npos && !FileExists(library.path))
      WriteFile(library.path, ExecutableStub(), settings.defaultFileTime);
  }
  for (const ImageProgram& program : image.programs) {
    impl_->programs.push_back(program);
    if (program.createFile && !FileExists(program.path))
      WriteFile(program.path, ExecutableStub(), settings.defaultFileTime);
  }
  return 0;
}

void SimMachine::SetProgramHook(const std::string& path, SimProgramHook hook) {
  impl_->hooks[SimUpper(FullPath(path.c_str()))] = std::move(hook);
}

// --- Process environment -------------------------------------------------------------------

int SimMachine::TempDirectory(char* buffer, uint32_t size) {
  std::string path = settings.tempDirectory;
  if (!SimEndsWith(*this, path, '\\')) path += '\\';
  return SimCopyOut(path, buffer, size);
}

int SimMachine::ModuleFileName(char* buffer, uint32_t size) {
  return SimCopyOut(settings.modulePath, buffer, size);
}

int SimMachine::WindowsDirectory(char* buffer, uint32_t size) {
  return SimCopyOut(WithoutTrailingSlash(*this, settings.windowsDirectory), buffer, size);
}

int SimMachine::SystemDirectory(char* buffer, uint32_t size) {
  return SimCopyOut(WithoutTrailingSlash(*this, settings.systemDirectory), buffer, size);
}

int SimMachine::RandomBytes(void* buffer, uint32_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  for (uint32_t i = 0; i < size; ++i) {
    // splitmix64: every call moves the state on, so no two calls repeat.
    uint64_t z = (randomState += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    out[i] = static_cast<uint8_t>(z ^ (z >> 31));
  }
  return 0;
}

uint32_t SimMachine::TempFileName(const char* directory, const char* prefix, uint32_t unique,
                                  char* out) {
  std::string base = directory != nullptr ? directory : "";
  if (!SimEndsWith(*this, base, '\\')) base += '\\';
  std::string start = prefix != nullptr ? std::string(prefix).substr(0, 3) : std::string();
  auto nameFor = [&](uint32_t number) {
    char digits[16];
    snprintf(digits, sizeof(digits), "%X.TMP", number & 0xFFFFu);
    return base + start + digits;
  };
  if (unique != 0) {
    std::string name = nameFor(unique);
    if (name.size() >= 260) return 0;
    memcpy(out, name.c_str(), name.size() + 1);
    return unique & 0xFFFFu;
  }
  if (!DirectoryExists(base)) {
    impl_->lastError = kErrPathNotFound;
    return 0;
  }
  for (int tries = 0; tries < 0x10000; ++tries) {
    impl_->tempCounter = (impl_->tempCounter % 0xFFFFu) + 1;
    std::string name = nameFor(impl_->tempCounter);
    if (Find(name) != nullptr) continue;
    FileHandle handle = CreateTruncated(name.c_str());
    if (handle == kNoFile) return 0;
    CloseFile(handle);
    if (name.size() >= 260) return 0;
    memcpy(out, name.c_str(), name.size() + 1);
    return impl_->tempCounter;
  }
  return 0;
}

VersionInfo SimMachine::Version() {
  return VersionInfo{settings.ntFamily ? 2u : 1u, settings.major, settings.minor, settings.build};
}

int SimMachine::DriveType(const char* root) {
  std::string path = root != nullptr ? root : impl_->currentDir.substr(0, 3);
  if (path.size() < 2 || path[1] != ':') return kDriveNoRootDir;
  char letter = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
  auto it = impl_->drives.find(letter);
  return it == impl_->drives.end() ? kDriveNoRootDir : it->second.type;
}

void SimMachine::SuppressFileErrorBoxes() { fileErrorBoxesSuppressed = true; }

void FileTimeToParts(uint64_t fileTime, SystemTime* time) {
  uint64_t totalSeconds = fileTime / 10000000u;
  int64_t days = static_cast<int64_t>(totalSeconds / 86400u);
  uint32_t secondsOfDay = static_cast<uint32_t>(totalSeconds % 86400u);
  // Civil date from days since 1970-01-01 (1601-01-01 is day -134774).
  int64_t z = days - 134774 + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t dayOfEra = z - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t mp = (5 * dayOfYear + 2) / 153;
  int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  time->year = static_cast<uint16_t>(year);
  time->month = static_cast<uint16_t>(month);
  time->day = static_cast<uint16_t>(day);
  time->dayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
  time->hour = static_cast<uint16_t>(secondsOfDay / 3600);
  time->minute = static_cast<uint16_t>(secondsOfDay / 60 % 60);
  time->second = static_cast<uint16_t>(secondsOfDay % 60);
  time->milliseconds = static_cast<uint16_t>(fileTime / 10000u % 1000u);
}

static uint64_t ToLocal(const ImagePlatform& settings, uint64_t fileTime) {
  int64_t shift = static_cast<int64_t>(settings.timeZoneMinutes) * 60 * 10000000;
  return static_cast<uint64_t>(static_cast<int64_t>(fileTime) + shift);
}

void SimMachine::LocalTimeNow(SystemTime* time) {
  FileTimeToParts(ToLocal(settings, SimNow(settings)), time);
}

int SimMachine::FileTimeToLocalDos(uint64_t fileTime, uint16_t* dosDate, uint16_t* dosTime) {
  SystemTime local;
  FileTimeToParts(ToLocal(settings, fileTime), &local);
  // DOS dates hold the years 1980 to 2107.
  if (local.year < 1980 || local.year > 2107) {
    impl_->lastError = kErrInvalidParameter;
    return kErrInvalidParameter;
  }
  *dosDate = static_cast<uint16_t>(local.day + 32 * local.month + 512 * (local.year - 1980));
  *dosTime = static_cast<uint16_t>(2048 * local.hour + 32 * local.minute + local.second / 2);
  return 0;
}

// --- Code pages ----------------------------------------------------------------------------

void SimMachine::OemToAnsiText(const char* src, char* dst) {
  size_t i = 0;
  for (; src[i] != '\0'; ++i) dst[i] = static_cast<char>(kOem437ToAnsi1252[static_cast<uint8_t>(src[i])]);
  dst[i] = '\0';
}

bool SimMachine::IsLeadByte(uint8_t byte) {
  switch (settings.ansiCodePage) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

uint8_t SimMachine::UpperByte(uint8_t byte) {
  if (byte >= 'a' && byte <= 'z') return static_cast<uint8_t>(byte - 32);
  if (settings.ansiCodePage != 1252) return byte;
  // The Latin letters of code page 1252 whose capitals it also holds.
  if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) return static_cast<uint8_t>(byte - 32);
  switch (byte) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return byte;
  }
}

// --- Programs ------------------------------------------------------------------------------

// Reads the "/X=<list>" list file and writes every listed file the program can extract.
static void ExtractList(SimMachine& m, const std::string& commandLine, const ImageProgram* program) {
  size_t at = SimUpper(commandLine).find("/X=");
  if (at == std::string::npos || program == nullptr) return;
  std::string listPath = commandLine.substr(at + 3);
  if (!listPath.empty() && listPath[0] == '"') {
    size_t close = listPath.find('"', 1);
    listPath = listPath.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  } else {
    listPath = listPath.substr(0, listPath.find(' '));
  }
  std::string list = m.FileContents(listPath);
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find_first_of("\r\n", start);
    if (end == std::string::npos) end = list.size();
    std::string line = list.substr(start, end - start);
    start = end + 1;
    // The bar is found by characters: the second byte of ポ is the bar's byte.
    std::string path = line.substr(0, SimFindOf(m, line, "|"));
    if (path.empty()) continue;
    std::string full = m.FullPath(path.c_str());
    std::string key = SimUpper(m, full);
    for (const ImageFile& file : program->extractable) {
      if (SimUpper(m, m.FullPath(file.path.c_str())) != key) continue;
      SimNode* existing = m.Find(full);
      if (existing != nullptr && (existing->inUse || (existing->attributes & kAttrReadOnly))) break;
      m.WriteFile(full, file.contents, file.lastWrite != 0 ? file.lastWrite : m.settings.defaultFileTime);
      break;
    }
  }
}

static void ApplyActions(SimMachine& m, SimMachine::Impl& impl,
                         const std::vector<ImageAction>& actions, const std::string& commandLine,
                         const ImageProgram* program) {
  for (const ImageAction& action : actions) {
    switch (action.kind) {
      case ImageAction::kSetValue:
        m.RegSetRaw(action.key, action.valueName, action.valueType, action.data);
        break;
      case ImageAction::kRemoveValue:
        m.RegRemoveRaw(action.key, action.valueName);
        break;
      case ImageAction::kRemoveKey:
        m.RegRemoveTree(action.key);
        break;
      case ImageAction::kCreateFile:
        m.WriteFile(action.path, action.data);
        break;
      case ImageAction::kDeleteFile:
        m.RemoveFile(action.path.c_str());
        break;
      case ImageAction::kExtractList:
        ExtractList(m, commandLine, program);
        break;
    }
  }
}

// Runs what the started program does: the image's rules, then a test's hook. Returns false
// when nothing can be started under that name.
static bool RunProgram(SimMachine& m, SimMachine::Impl& impl, const std::string& commandLine) {
  std::string program = ProgramOf(commandLine);
  // Unquoted, the system reads the line up to each blank in turn and starts the first
  // program it finds: "C:\Program Files\A.EXE" starts a "C:\Program.exe" when there is one.
  size_t start = commandLine.find_first_not_of(' ');
  if (start != std::string::npos && commandLine[start] != '"') {
    for (size_t blank = commandLine.find(' ', start); blank != std::string::npos;
         blank = commandLine.find(' ', blank + 1)) {
      std::string head = commandLine.substr(start, blank - start);
      std::string full = m.FullPath(head.c_str());
      if (!full.empty() && (m.FileExists(full) || m.FileExists(full + ".EXE"))) {
        program = head;
        break;
      }
    }
  }
  std::string full = m.FullPath(program.c_str());
  if (full.empty()) return false;
  std::string candidates[] = {full, full + ".EXE"};
  const ImageProgram* scripted = nullptr;
  std::string found;
  for (const std::string& candidate : candidates) {
    for (const ImageProgram& entry : impl.programs)
      if (scripted == nullptr && SimEqualNoCase(m.FullPath(entry.path.c_str()), candidate)) {
        scripted = &entry;
        found = candidate;
      }
  }
  auto hook = impl.hooks.end();
  for (const std::string& candidate : candidates) {
    if (hook == impl.hooks.end()) hook = impl.hooks.find(SimUpper(candidate));
    if (found.empty() && m.FileExists(candidate)) found = candidate;
  }
  if (found.empty() && hook == impl.hooks.end()) return false;
  std::string arguments = commandLine.substr(std::min(commandLine.size(), commandLine.find(program) + program.size()));
  if (scripted != nullptr) {
    ImageProgram copy = *scripted;  // a rule may start other programs
    for (const ImageProgramRule& rule : copy.rules)
      if (rule.argument.empty() || ContainsNoCase(arguments, rule.argument))
        ApplyActions(m, impl, rule.actions, commandLine, &copy);
  }
  if (hook != impl.hooks.end()) {
    SimProgramHook call = hook->second;
    call(m, commandLine);
  }
  return true;
}

int SimMachine::StartProcess(const char* commandLine, const char* currentDir, bool wait) {
  SimProcessStart start;
  start.method = SimProcessStart::kCreateProcess;
  start.commandLine = commandLine != nullptr ? commandLine : "";
  start.currentDir = currentDir != nullptr ? currentDir : impl_->currentDir;
  start.wait = wait;
  processes.push_back(start);
  if (!RunProgram(*this, *impl_, start.commandLine)) {
    impl_->lastError = kErrFileNotFound;
    return kErrFileNotFound;
  }
  return 0;
}

int SimMachine::ExecProgram(const char* commandLine, int showState) {
  SimProcessStart start;
  start.method = SimProcessStart::kWinExec;
  start.commandLine = commandLine != nullptr ? commandLine : "";
  start.currentDir = impl_->currentDir;
  start.showState = showState;
  processes.push_back(start);
  if (!RunProgram(*this, *impl_, start.commandLine)) return kErrFileNotFound;  // WinExec's code
  return 33;
}

int SimMachine::ShellOpen(const char* file, const char* parameters, const char* directory,
                          int showState) {
  SimProcessStart start;
  start.method = SimProcessStart::kShellExecute;
  start.commandLine = file != nullptr ? file : "";
  start.parameters = parameters != nullptr ? parameters : "";
  start.currentDir = directory != nullptr ? directory : impl_->currentDir;
  start.hasParameters = parameters != nullptr;
  start.hasDirectory = directory != nullptr;
  start.showState = showState;
  processes.push_back(start);
  if (Find(start.commandLine) == nullptr) {
    impl_->lastError = kErrFileNotFound;  // as the shell leaves it
    return 2;                             // SE_ERR_FNF
  }
  if (LooksLikeExecutable(FileContents(start.commandLine)))
    RunProgram(*this, *impl_, "\"" + start.commandLine + "\" " + start.parameters);
  return 42;
}

// --- Libraries -----------------------------------------------------------------------------

// The image's library listed under exactly this name: a bare name matches the bare names
// (the system's libraries), a path matches the library placed at that path.
static const ImageLibrary* ImageLibraryFor(SimMachine& m, SimMachine::Impl& impl,
                                           const std::string& name) {
  bool bare = m.IsBareLibraryName(name.c_str());
  for (const ImageLibrary& library : impl.libraries) {
    bool libraryBare = m.IsBareLibraryName(library.path.c_str());
    if (bare != libraryBare) continue;
    if (bare ? SimEqualNoCase(library.path, name)
             : SimEqualNoCase(m.FullPath(library.path.c_str()), m.FullPath(name.c_str())))
      return &library;
  }
  return nullptr;
}

static LibHandle NoLibrary(SimMachine::Impl& impl, int error) {
  impl.lastError = error;
  return 0;
}

// A loaded library is counted under the name it was asked for, as the calls record it.
static LibHandle KeepLoaded(SimMachine::Impl& impl, SimLibrary library) {
  for (auto& entry : impl.loaded) {
    if (SimEqualNoCase(entry.second.name, library.name)) {
      entry.second.references++;
      return entry.first;
    }
  }
  library.references = 1;
  LibHandle handle = static_cast<LibHandle>(0x10000000 + impl.nextHandle);
  impl.nextHandle += 4;
  impl.loaded[handle] = library;
  return handle;
}

// The file at a full path: a library the image placed there, or any image file (without
// the entry points a test looks for). False when there is no loadable file.
static bool LibraryFileAt(SimMachine& m, SimMachine::Impl& impl, const std::string& path,
                          ImageLibrary* info) {
  if (!m.FileExists(path)) return false;
  const ImageLibrary* listed = ImageLibraryFor(m, impl, path);
  if (listed != nullptr) {
    *info = *listed;
    return true;
  }
  if (!LooksLikeExecutable(m.FileContents(path))) return false;
  info->path = path;
  return true;
}

// Only the system directory supplies a system library: what lies in the program's folder,
// the current folder or the temporary folder under the same name is never found.
LibHandle SimMachine::LoadSystemLib(const char* name) {
  if (!IsBareLibraryName(name)) return NoLibrary(*impl_, kErrInvalidName);
  std::string file = name;
  if (file.find('.') == std::string::npos) file += ".DLL";  // as LoadLibrary completes it
  SimLibrary library;
  library.name = name;
  const ImageLibrary* listed = ImageLibraryFor(*this, *impl_, file);
  if (SimEqualNoCase(file, "SHELL32.DLL")) {
    library.info.path = file;
    library.info.exports = {"SHChangeNotify", "ShellExecuteA"};
  } else if (SimEqualNoCase(file, "OLE32.DLL")) {
    library.info.path = file;
    library.info.exports = {"OleInitialize", "OleUninitialize", "CoInitialize", "CoUninitialize"};
  } else if (listed != nullptr) {
    library.info = *listed;
  } else if (!LibraryFileAt(*this, *impl_,
                            WithoutTrailingSlash(*this, settings.systemDirectory) + "\\" + file,
                            &library.info)) {
    return NoLibrary(*impl_, kErrModNotFound);
  }
  if (library.info.exports.empty()) {
    if (SimEqualNoCase(file, "SFC.DLL")) library.info.exports = {"SRSetRestorePoint"};
    if (SimEqualNoCase(file, "ismif32.dll")) library.info.exports = {"InstallStatusMIF"};
  }
  return KeepLoaded(*impl_, library);
}

LibHandle SimMachine::LoadLib(const char* path) {
  if (path == nullptr || *path == '\0') return NoLibrary(*impl_, kErrModNotFound);
  if (IsBareLibraryName(path)) return LoadSystemLib(path);
  SimLibrary library;
  library.name = path;
  if (!LibraryFileAt(*this, *impl_, path, &library.info)) return NoLibrary(*impl_, kErrModNotFound);
  return KeepLoaded(*impl_, library);
}

static SimLibrary* LibraryOf(SimMachine::Impl& impl, LibHandle handle) {
  auto it = impl.loaded.find(handle);
  return it != impl.loaded.end() ? &it->second : nullptr;
}

bool SimMachine::HasEntry(LibHandle library, const char* name) {
  SimLibrary* loaded = LibraryOf(*impl_, library);
  if (loaded == nullptr || name == nullptr) return false;
  // Export names are exact, as GetProcAddress compares them.
  for (const std::string& entry : loaded->info.exports)
    if (entry == name) return true;
  return false;
}

int SimMachine::CallEntry(LibHandle library, const char* name, int32_t* result) {
  SimLibrary* loaded = LibraryOf(*impl_, library);
  if (loaded == nullptr) FAILRETURN(kErrInvalidHandle);
  if (!HasEntry(library, name)) FAILRETURN(kErrProcNotFound);
  libraryCalls.push_back(SimLibraryCall{loaded->name, name, {}});
  ImageLibrary info = loaded->info;
  int32_t value = 0;
  if (strcmp(name, "DllRegisterServer") == 0) {
    ApplyActions(*this, *impl_, info.onRegister, std::string(), nullptr);
    value = info.registerResult;
  } else if (strcmp(name, "DllUnregisterServer") == 0) {
    ApplyActions(*this, *impl_, info.onUnregister, std::string(), nullptr);
    value = info.registerResult;
  }
  if (result != nullptr) *result = value;
  return 0;
}

int SimMachine::CallEntryWithPointer(LibHandle library, const char* name, void* argument,
                                     int32_t* result) {
  SimLibrary* loaded = LibraryOf(*impl_, library);
  if (loaded == nullptr) FAILRETURN(kErrInvalidHandle);
  if (!HasEntry(library, name)) FAILRETURN(kErrProcNotFound);
  libraryCalls.push_back(SimLibraryCall{loaded->name, name, {argument == nullptr ? "null" : "pointer"}});
  if (result != nullptr) *result = 0;  // S_OK
  return 0;
}

int SimMachine::CallRestorePoint(LibHandle library, const RestorePointRequest& request,
                                 RestorePointStatus* status, int32_t* result) {
  SimLibrary* loaded = LibraryOf(*impl_, library);
  if (loaded == nullptr) FAILRETURN(kErrInvalidHandle);
  if (!HasEntry(library, "SRSetRestorePoint")) FAILRETURN(kErrProcNotFound);
  char description[sizeof(request.description) + 1] = {};
  memcpy(description, request.description, sizeof(request.description));
  libraryCalls.push_back(SimLibraryCall{
      loaded->name, "SRSetRestorePoint",
      {std::to_string(request.eventType), std::to_string(request.pointType),
       std::to_string(request.sequenceNumber), description}});
  if (status != nullptr) {
    status->status = loaded->info.restorePointResult != 0 ? 0u : 1u;
    status->sequenceNumber = loaded->info.restorePointSequence;
  }
  if (result != nullptr) *result = loaded->info.restorePointResult;
  return 0;
}

int SimMachine::CallInstallStatusMif(LibHandle library, const StatusMifArguments& arguments,
                                     int32_t* result) {
  SimLibrary* loaded = LibraryOf(*impl_, library);
  if (loaded == nullptr) FAILRETURN(kErrInvalidHandle);
  if (!HasEntry(library, "InstallStatusMIF")) FAILRETURN(kErrProcNotFound);
  libraryCalls.push_back(SimLibraryCall{
      loaded->name, "InstallStatusMIF",
      {Quoted(arguments.fileName), Quoted(arguments.manufacturer), Quoted(arguments.product),
       Quoted(arguments.version), Quoted(arguments.locale), Quoted(arguments.serialNumber),
       Quoted(arguments.description), std::to_string(arguments.success)}});
  if (result != nullptr) *result = loaded->info.statusMifResult;
  return 0;
}

int SimMachine::CallShellChangeNotify(LibHandle library, int32_t event, uint32_t flags,
                                      const char* path) {
  SimLibrary* loaded = LibraryOf(*impl_, library);
  if (loaded == nullptr) FAILRETURN(kErrInvalidHandle);
  if (!HasEntry(library, "SHChangeNotify")) FAILRETURN(kErrProcNotFound);
  libraryCalls.push_back(SimLibraryCall{
      loaded->name, "SHChangeNotify", {std::to_string(event), std::to_string(flags), Quoted(path)}});
  return 0;
}

void SimMachine::FreeLib(LibHandle library) {
  auto it = impl_->loaded.find(library);
  if (it != impl_->loaded.end() && --it->second.references <= 0) impl_->loaded.erase(it);
}

// --- Resources -----------------------------------------------------------------------------

int SimMachine::LoadStringText(uint32_t id, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  auto it = strings.find(id);
  if (it == strings.end()) {
    buffer[0] = '\0';
    return 0;
  }
  size_t length = std::min<size_t>(it->second.size(), static_cast<size_t>(size - 1));
  memcpy(buffer, it->second.data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

int SimMachine::ResourceBytes(uint32_t type, uint32_t id, const void** data, uint32_t* size) {
  auto it = resources.find((static_cast<uint64_t>(type) << 32) | id);
  if (it == resources.end()) FAILRETURN(kErrResourceNotFound);
  *data = it->second.data();
  *size = static_cast<uint32_t>(it->second.size());
  return 0;
}

// --- Shell links ---------------------------------------------------------------------------

int SimMachine::CreateShellLink(const ShellLinkFields& link) {
  if (link.linkPath == nullptr) FAILRETURN(kErrInvalidParameter);
  std::vector<std::string> texts = {Quoted(link.linkPath), Quoted(link.target),
                                    Quoted(link.workingDirectory), Quoted(link.iconPath),
                                    Quoted(link.arguments)};
  std::string contents = "[link]\r\ntarget=" + texts[1] + "\r\narguments=" + texts[4] +
                         "\r\ndirectory=" + texts[2] + "\r\nicon=" + texts[3] + "," +
                         std::to_string(link.iconIndex) + "\r\nshow=" +
                         std::to_string(link.showCommand) + "\r\nhotkey=" +
                         std::to_string(link.hotKey) + "\r\n";
  FileHandle handle = CreateTruncated(link.linkPath);
  if (handle == kNoFile) return static_cast<int>(impl_->lastError);
  WriteBytes(handle, contents.data(), static_cast<uint32_t>(contents.size()));
  CloseFile(handle);
  const std::vector<std::string>& kept = linkTexts.emplace_back(std::move(texts));
  ShellLinkFields fields = link;
  fields.linkPath = kept[0].c_str();
  fields.target = kept[1].c_str();
  fields.workingDirectory = kept[2].c_str();
  fields.iconPath = kept[3].c_str();
  fields.arguments = kept[4].c_str();
  links.push_back(fields);
  return 0;
}

// --- Program Manager stand-in --------------------------------------------------------------

int SimMachine::DdeStart() {
  if (!ddeAvailable) FAILRETURN(kErrGeneric);
  impl_->ddeStarted = true;
  return 0;
}

int SimMachine::DdeConnectTo(const char* service) {
  if (!impl_->ddeStarted || !settings.progmanPresent || service == nullptr ||
      !SimEqualNoCase(service, "PROGMAN"))
    FAILRETURN(kErrDdeNoConversation);
  impl_->ddeConnected = true;
  return 0;
}

static int FindGroup(SimMachine& m, const std::string& name) {
  for (size_t i = 0; i < m.groups.size(); ++i)
    if (SimEqualNoCase(m.groups[i].name, name)) return static_cast<int>(i);
  return -1;
}

int SimMachine::DdeRequestText(const char* item, char* buffer, uint32_t size, uint32_t timeoutMs) {
  if (!impl_->ddeConnected || item == nullptr) return -1;
  ddeRequests.push_back(item);
  std::string answer;
  if (SimEqualNoCase(item, "GROUPS")) {
    for (const SimGroup& group : groups) answer += group.name + "\r\n";
  } else {
    int index = FindGroup(*this, item);
    if (index < 0) return -1;
    const SimGroup& group = groups[static_cast<size_t>(index)];
    std::string path = group.path;
    if (path.empty())
      path = WithoutTrailingSlash(*this, settings.windowsDirectory) + "\\" + group.name + ".GRP";
    answer = "\"" + group.name + "\"," + path + "," + std::to_string(group.items.size()) + "\r\n";
    for (const ImageGroupItem& entry : group.items)
      answer += "\"" + entry.title + "\",\"" + entry.command + "\",,,0,0,0\r\n";
  }
  // The answer with its terminator; an answer longer than the buffer is cut and still
  // terminated, so a caller can always treat the buffer as a string.
  if (buffer == nullptr || size == 0) return -1;
  uint32_t copied = std::min(static_cast<uint32_t>(answer.size() + 1), size);
  memcpy(buffer, answer.c_str(), copied - 1);
  buffer[copied - 1] = '\0';
  return static_cast<int>(copied);
}

// The arguments of one "[Command(a,b)]": split at commas, blanks and quotes around each
// taken off.
static std::vector<std::string> DdeArguments(const std::string& text) {
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == ',' && !quoted) {
      arguments.push_back(current);
      current.clear();
      continue;
    }
    current += c;
  }
  arguments.push_back(current);
  for (std::string& argument : arguments) {
    size_t start = argument.find_first_not_of(' ');
    size_t end = argument.find_last_not_of(' ');
    argument = start == std::string::npos ? std::string() : argument.substr(start, end - start + 1);
  }
  return arguments;
}

int SimMachine::DdeExecuteText(const char* command, uint32_t timeoutMs) {
  if (!impl_->ddeConnected || command == nullptr) return kErrDdeNoConversation;
  ddeCommands.push_back(command);
  std::string text = command;
  int result = 0;
  size_t start = 0;
  while ((start = text.find('[', start)) != std::string::npos) {
    size_t open = text.find('(', start);
    size_t close = text.find(")]", start);
    if (open == std::string::npos || close == std::string::npos || open > close) return kErrGeneric;
    std::string verb = text.substr(start + 1, open - start - 1);
    std::vector<std::string> arguments = DdeArguments(text.substr(open + 1, close - open - 1));
    start = close + 2;
    int group = FindGroup(*this, arguments[0]);
    if (SimEqualNoCase(verb, "ShowGroup")) {
      if (group < 0) result = kErrGeneric;
      else impl_->activeGroup = group;
    } else if (SimEqualNoCase(verb, "CreateGroup")) {
      if (group < 0) {
        groups.push_back(SimGroup{arguments[0], std::string(), {}});
        group = static_cast<int>(groups.size()) - 1;
      }
      impl_->activeGroup = group;
    } else if (SimEqualNoCase(verb, "DeleteGroup")) {
      if (group < 0) {
        result = kErrGeneric;
      } else {
        groups.erase(groups.begin() + group);
        if (impl_->activeGroup == group) impl_->activeGroup = -1;
        else if (impl_->activeGroup > group) impl_->activeGroup--;
      }
    } else if (SimEqualNoCase(verb, "DeleteItem")) {
      bool removed = false;
      if (impl_->activeGroup >= 0) {
        auto& items = groups[static_cast<size_t>(impl_->activeGroup)].items;
        for (size_t i = 0; i < items.size() && !removed; ++i) {
          if (SimEqualNoCase(items[i].title, arguments[0])) {
            items.erase(items.begin() + static_cast<long>(i));
            removed = true;
          }
        }
      }
      if (!removed) result = kErrGeneric;
    } else if (SimEqualNoCase(verb, "AddItem")) {
      if (impl_->activeGroup < 0) {
        result = kErrGeneric;
      } else {
        ImageGroupItem entry;
        entry.command = arguments[0];
        entry.title = arguments.size() > 1 ? arguments[1] : FileNamePartOf(*this, arguments[0]);
        groups[static_cast<size_t>(impl_->activeGroup)].items.push_back(entry);
      }
    } else {
      result = kErrGeneric;
    }
  }
  return result;
}

void SimMachine::DdeDisconnectNow() { impl_->ddeConnected = false; }

void SimMachine::DdeStop() {
  impl_->ddeConnected = false;
  impl_->ddeStarted = false;
}

// --- System --------------------------------------------------------------------------------

bool SimMachine::TopWindowOfClassExists(const char* className) {
  for (const std::string& name : topWindowClasses)
    if (className != nullptr && SimEqualNoCase(name, className)) return true;
  return false;
}

void SimMachine::BroadcastSettingsChange() { settingsBroadcasts++; }

int SimMachine::RestartWindows() {
  restartRequests++;
  return 0;
}

uint32_t SimMachine::LastError() { return impl_->lastError; }

int SimMachine::SystemErrorText(uint32_t code, char* buffer, uint32_t size) {
  static const struct {
    uint32_t code;
    const char* text;
  } kTexts[] = {
      {0, "The operation completed successfully."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough memory resources are available to process this command."},
      {11, "An attempt was made to load a program with an incorrect format."},
      {32, "The process cannot access the file because it is being used by another process."},
      {80, "The file exists."},
      {87, "The parameter is incorrect."},
      {145, "The directory is not empty."},
      {183, "Cannot create a file when that file already exists."},
      {1155, "No application is associated with the specified file for this operation."},
  };
  if (buffer == nullptr || size == 0) return 0;
  for (const auto& entry : kTexts) {
    if (entry.code == code) {
      // System message texts end with a line break; a text longer than the buffer is cut.
      std::string text = std::string(entry.text) + "\r\n";
      if (text.size() >= size) text.resize(size - 1);
      return SimCopyOut(text, buffer, size);
    }
  }
  impl_->lastError = 317;  // ERROR_MR_MID_NOT_FOUND
  return 0;
}
