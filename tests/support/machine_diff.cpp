// CaptureState and DiffStates (machine_diff.h). The machine is read through its own seam
// (searches, registry enumeration), which changes nothing but the handles it opens and
// closes again.
#include "support/machine_diff.h"

#include <cstdio>
#include <cstring>

const char kStateFile[] = "file";
const char kStateFolder[] = "folder";
const char kStateIni[] = "INI entry";
const char kStateKey[] = "registry key";
const char kStateValue[] = "registry value";
const char kStateService[] = "service";
const char kStateGroup[] = "group";
const char kStateIcon[] = "icon";

namespace {

const char kClassesPrefix[] = "HKLM\\SOFTWARE\\CLASSES";

bool EndsWithNoCase(const std::string& text, const char* tail) {
  size_t n = strlen(tail);
  return text.size() >= n && StateFold(text.substr(text.size() - n)) == StateFold(tail);
}

}  // namespace

std::string StateHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

namespace {

// HKLM\SOFTWARE\Classes is what HKCR shows; its keys are named as a log names them.
std::string RootedName(const std::string& folded) {
  size_t n = strlen(kClassesPrefix);
  if (folded.compare(0, n, kClassesPrefix) == 0 && (folded.size() == n || folded[n] == '\\'))
    return "HKCR" + folded.substr(n);
  return folded;
}

void AddIniEntries(MachineState& state, const std::string& file, const std::string& text) {
  std::string section;
  std::map<std::string, int> seen;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    line = line.substr(first);
    if (line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      section =
          StateFold(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      continue;
    }
    size_t equals = line.find('=');
    std::string key = line.substr(0, equals);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    std::string name = file + " [" + section + "] " + StateFold(key);
    // A key written twice (the device lines of SYSTEM.INI) is one entry per line.
    int count = ++seen[name];
    if (count > 1) name += " #" + std::to_string(count);
    state.entries[kStateIni][name] = equals == std::string::npos ? "" : line.substr(equals + 1);
  }
}

void CaptureFolder(SimMachine& machine, const std::string& folder, MachineState& state) {
  FindEntry entry = {};
  SearchHandle search = machine.FindFirst((folder + "\\*").c_str(), &entry);
  if (search == kNoSearch) return;
  std::vector<std::string> below;
  do {
    entry.name[sizeof entry.name - 1] = '\0';
    std::string name = entry.name;
    if (name == "." || name == "..") continue;
    std::string path = folder + "\\" + name;
    std::string folded = StateFold(path);
    if (entry.attributes & kAttrDirectory) {
      state.entries[kStateFolder][folded] = "attributes " + std::to_string(entry.attributes);
      // A junction's contents are its target's, found under the target's own path.
      if (!(entry.attributes & kAttrReparsePoint)) below.push_back(path);
      continue;
    }
    SimNode* node = machine.Find(path);
    std::string contents = node != nullptr ? node->contents : std::string();
    state.entries[kStateFile][folded] = "attributes " + std::to_string(entry.attributes) +
                                        ", time " + std::to_string(entry.lastWrite) + ", " +
                                        std::to_string(contents.size()) + " bytes " +
                                        StateHex(contents);
    if (EndsWithNoCase(path, ".INI")) AddIniEntries(state, folded, contents);
  } while (machine.FindNext(search, &entry) == 0);
  machine.FindEnd(search);
  for (const std::string& path : below) CaptureFolder(machine, path, state);
}

std::string ValueText(uint32_t type, const std::string& data) {
  switch (type) {
    case kRegSz:
    case kRegExpandSz: return (type == kRegSz ? "sz " : "expand ") + std::string(data.c_str());
    case kRegDword:
      if (data.size() == 4) {
        uint32_t n = static_cast<uint8_t>(data[0]) | static_cast<uint8_t>(data[1]) << 8 |
                     static_cast<uint8_t>(data[2]) << 16 |
                     static_cast<uint32_t>(static_cast<uint8_t>(data[3])) << 24;
        return "dword " + std::to_string(n);
      }
      break;
    default: break;
  }
  return "type " + std::to_string(type) + " " + StateHex(data);
}

void CaptureKey(SimMachine& machine, RegHandle root, const std::string& rootName,
                const std::string& path, MachineState& state) {
  RegHandle key = 0;
  if (machine.RegOpen(root, path.c_str(), kKeyRead, &key) != 0) return;
  std::string name = RootedName(StateFold(path.empty() ? rootName : rootName + "\\" + path));
  if (!path.empty()) state.entries[kStateKey][name] = "";
  for (uint32_t i = 0;; ++i) {
    char valueName[1024];
    uint32_t nameSize = sizeof valueName, type = 0;
    if (machine.RegEnumValueAt(key, i, valueName, &nameSize, &type) != 0) break;
    uint32_t size = 0;
    std::string data;
    if (machine.RegQuery(key, valueName, &type, nullptr, &size) == 0) {
      data.assign(size, '\0');
      if (size > 0 && machine.RegQuery(key, valueName, &type, &data[0], &size) != 0) data.clear();
      data.resize(size < data.size() ? size : data.size());
    }
    state.entries[kStateValue][name + "|" + StateFold(valueName)] = ValueText(type, data);
  }
  std::vector<std::string> children;
  for (uint32_t i = 0;; ++i) {
    char child[512];
    uint32_t size = sizeof child;
    if (machine.RegEnumKeyAt(key, i, child, &size) != 0) break;
    children.push_back(child);
  }
  machine.RegClose(key);
  for (const std::string& child : children)
    CaptureKey(machine, root, rootName, path.empty() ? child : path + "\\" + child, state);
}

}  // namespace

std::string StateFold(const std::string& text) {
  std::string folded = text;
  for (char& c : folded)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return folded;
}

std::string StatePath(SimMachine& machine, const std::string& path) {
  std::string full = machine.FullPath(path.c_str());
  if (full.size() < 3) return StateFold(path);
  std::string result = full.substr(0, 2);
  size_t start = 3;
  while (start <= full.size()) {
    size_t end = full.find('\\', start);
    if (end == std::string::npos) end = full.size();
    std::string part = full.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    SimNode* node = machine.Find(result + "\\" + part);
    result += "\\" + (node != nullptr ? node->name : part);
  }
  return StateFold(result);
}

std::string StateKey(int root, const std::string& key) {
  static const char* const kRoots[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};
  if (root < 0 || root > 4) return std::string();
  std::string name = kRoots[root];
  if (!key.empty()) name += "\\" + key;
  return RootedName(StateFold(name));
}

std::string StateValue(int root, const std::string& key, const std::string& name) {
  return StateKey(root, key) + "|" + StateFold(name);
}

std::string StateIniFile(SimMachine& machine, const std::string& file) {
  std::string path = file;
  if (path.find('\\') == std::string::npos) path = machine.settings.windowsDirectory + "\\" + path;
  return StatePath(machine, path);
}

std::string StateIniEntry(SimMachine& machine, const std::string& file, const std::string& section,
                          const std::string& key) {
  return StateIniFile(machine, file) + " [" + StateFold(section) + "] " + StateFold(key);
}

std::string StateIcon(const std::string& group, const std::string& title) {
  return StateFold(group) + "|" + StateFold(title);
}

const std::string* MachineState::Find(const std::string& kind, const std::string& name) const {
  auto byKind = entries.find(kind);
  if (byKind == entries.end()) return nullptr;
  auto entry = byKind->second.find(name);
  return entry == byKind->second.end() ? nullptr : &entry->second;
}

MachineState CaptureState(SimMachine& machine) {
  MachineState state;
  std::vector<char> drives = {'C'};
  for (const ImageDrive& drive : machine.settings.drives)
    if (drive.letter != 'C') drives.push_back(drive.letter);
  for (char drive : drives) CaptureFolder(machine, std::string(1, drive) + ":", state);

  static const struct {
    uint32_t handle;
    const char* name;
  } kRoots[] = {
      {0x80000001u, "HKCU"}, {0x80000002u, "HKLM"}, {0x80000003u, "HKU"}, {0x80000005u, "HKCC"}};
  for (const auto& root : kRoots) CaptureKey(machine, root.handle, root.name, "", state);

  for (const auto& service : machine.services) {
    const SimService& s = service.second;
    state.entries[kStateService][StateFold(s.name)] =
        s.binaryPath + (s.running ? ", running" : "") + (s.markedForDelete ? ", deleted" : "");
  }
  for (const SimGroup& group : machine.groups) {
    state.entries[kStateGroup][StateFold(group.name)] = group.path;
    for (const ImageGroupItem& item : group.items)
      state.entries[kStateIcon][StateIcon(group.name, item.title)] = item.command;
  }
  return state;
}

std::vector<StateChange> DiffStates(const MachineState& before, const MachineState& after) {
  std::vector<StateChange> changes;
  static const std::map<std::string, std::string> kNone;
  std::vector<std::string> kinds;
  for (const auto& k : before.entries) kinds.push_back(k.first);
  for (const auto& k : after.entries)
    if (before.entries.count(k.first) == 0) kinds.push_back(k.first);
  for (const std::string& kind : kinds) {
    auto b = before.entries.find(kind);
    auto a = after.entries.find(kind);
    const auto& was = b != before.entries.end() ? b->second : kNone;
    const auto& is = a != after.entries.end() ? a->second : kNone;
    for (const auto& entry : was) {
      auto now = is.find(entry.first);
      if (now == is.end()) {
        changes.push_back({StateChange::kRemoved, kind, entry.first, entry.second, ""});
      } else if (now->second != entry.second) {
        changes.push_back({StateChange::kChanged, kind, entry.first, entry.second, now->second});
      }
    }
    for (const auto& entry : is)
      if (was.count(entry.first) == 0)
        changes.push_back({StateChange::kAdded, kind, entry.first, "", entry.second});
  }
  return changes;
}

std::string ChangeText(const StateChange& change) {
  auto cut = [](const std::string& text) {
    return text.size() > 90 ? text.substr(0, 87) + "..." : text;
  };
  static const char* const kWhat[] = {"added", "removed", "changed"};
  std::string text = std::string(kWhat[change.what]) + " " + change.kind + " " + change.name;
  if (change.what == StateChange::kChanged)
    text += ": " + cut(change.before) + " -> " + cut(change.after);
  return text;
}
