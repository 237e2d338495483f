// Profile (INI) files on the simulated machine. The file is parsed into sections and keys
// on every call and written back whole after a change, with the rules of the platform's
// profile functions: names compared without regard to case, blanks around names and
// values dropped, blank lines not kept, a matching pair of quotes around a value removed
// when it is read, lines ended by CR LF.
#include <cstring>

#include "platform/sim/sim_internal.h"

namespace {

struct IniKey {
  std::string name;
  bool hasValue = false;  // a line without '=' is a name alone (a comment, say)
  std::string value;
};

struct IniSection {
  std::string name;  // empty: the lines before the first header
  std::vector<IniKey> keys;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\x1a'; }

std::string Trim(const std::string& text) {
  size_t start = 0;
  size_t end = text.size();
  while (start < end && IsBlank(text[start])) ++start;
  while (end > start && IsBlank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

std::vector<IniSection> Parse(const std::string& text) {
  std::vector<IniSection> sections(1);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    if (line[0] == '[') {
      size_t close = line.rfind(']');
      if (close != std::string::npos) {
        IniSection section;
        section.name = line.substr(1, close - 1);
        sections.push_back(section);
        continue;
      }
    }
    IniKey key;
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
      key.name = line;
    } else {
      key.name = Trim(line.substr(0, equals));
      key.value = Trim(line.substr(equals + 1));
      key.hasValue = true;
    }
    sections.back().keys.push_back(key);
  }
  return sections;
}

std::string Serialize(const std::vector<IniSection>& sections) {
  std::string text;
  for (const IniSection& section : sections) {
    if (!section.name.empty()) text += "[" + section.name + "]\r\n";
    for (const IniKey& key : section.keys) {
      text += key.name;
      if (key.hasValue) text += "=" + key.value;
      text += "\r\n";
    }
  }
  return text;
}

// Copies a value as a read returns it: a matching pair of quotes removed, cut to size - 1.
int CopyEntry(const std::string& value, char* buffer, uint32_t size, bool stripQuotes) {
  std::string text = value;
  if (stripQuotes && text.size() >= 2 && (text[0] == '"' || text[0] == '\'') &&
      text.back() == text[0])
    text = text.substr(1, text.size() - 2);
  size_t length = std::min<size_t>(text.size(), size - 1);
  memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

// A list of names, each terminated, then one more terminator. When it does not fit, the
// list is cut at size - 2 and ended by two terminators, and size - 2 is returned.
int CopyList(const std::vector<std::string>& names, char* buffer, uint32_t size) {
  std::string list;
  for (const std::string& name : names) list += name + std::string(1, '\0');
  list.push_back('\0');
  if (list.size() <= size) {
    memcpy(buffer, list.data(), list.size());
    return static_cast<int>(list.size() - 1);
  }
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return static_cast<int>(size - 2);
}

}  // namespace

// A name without a backslash lies in the Windows directory.
static std::string ProfilePath(SimMachine& m, const char* file) {
  std::string name = file != nullptr ? file : "";
  if (SimFindOf(m, name, "\\/") == std::string::npos && !(name.size() >= 2 && name[1] == ':')) {
    std::string windows = m.settings.windowsDirectory;
    if (!windows.empty() && !SimEndsWith(m, windows, '\\')) windows += '\\';
    name = windows + name;
  }
  return m.FullPath(name.c_str());
}

int SimMachine::ReadIniString(const char* section, const char* key, const char* defaultValue,
                              char* buffer, uint32_t size, const char* file) {
  if (buffer == nullptr || size == 0) return 0;
  std::string fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  std::string path = ProfilePath(*this, file);
  if (!FileExists(path)) return CopyEntry(fallback, buffer, size, false);
  std::vector<IniSection> sections = Parse(FileContents(path));

  if (section == nullptr) {
    std::vector<std::string> names;
    for (const IniSection& entry : sections)
      if (!entry.name.empty()) names.push_back(entry.name);
    return CopyList(names, buffer, size);
  }
  if (key != nullptr) {
    if (key[0] == '\0') return CopyEntry(fallback, buffer, size, true);
    std::string wanted = Trim(key);
    for (const IniSection& entry : sections) {
      if (!SimEqualNoCase(entry.name, section)) continue;
      for (const IniKey& item : entry.keys)
        if (item.hasValue && SimEqualNoCase(item.name, wanted))
          return CopyEntry(item.value, buffer, size, true);
    }
    return CopyEntry(fallback, buffer, size, true);
  }
  if (section[0] == '\0') {
    buffer[0] = '\0';
    return 0;
  }
  // The keys of a section; comment lines and names without a value are not keys.
  std::vector<std::string> names;
  for (const IniSection& entry : sections) {
    if (!SimEqualNoCase(entry.name, section)) continue;
    for (const IniKey& item : entry.keys)
      if (item.hasValue && !item.name.empty() && item.name[0] != ';') names.push_back(item.name);
  }
  if (names.empty()) return CopyEntry(fallback, buffer, size, true);
  return CopyList(names, buffer, size);
}

int SimMachine::ReadIniInt(const char* section, const char* key, int defaultValue,
                           const char* file) {
  char text[64];
  if (ReadIniString(section, key, "", text, sizeof(text), file) == 0) return defaultValue;
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  // The number is read as the system's string-to-integer conversion with base 0 reads it:
  // "0x" hexadecimal, "0o" octal, "0b" binary, decimal otherwise.
  uint32_t base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) base = 16;
  else if (p[0] == '0' && (p[1] == 'o' || p[1] == 'O')) base = 8;
  else if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) base = 2;
  if (base != 10) p += 2;
  uint32_t value = 0;
  for (;; ++p) {
    uint32_t digit;
    if (*p >= '0' && *p <= '9') digit = static_cast<uint32_t>(*p - '0');
    else if (*p >= 'a' && *p <= 'f') digit = static_cast<uint32_t>(*p - 'a' + 10);
    else if (*p >= 'A' && *p <= 'F') digit = static_cast<uint32_t>(*p - 'A' + 10);
    else break;
    if (digit >= base) break;
    value = value * base + digit;
  }
  return static_cast<int>(negative ? 0u - value : value);
}

int SimMachine::WriteIniString(const char* section, const char* key, const char* value,
                               const char* file) {
  if (section == nullptr) {
    if (key == nullptr && value == nullptr) return 0;  // a flush of the cache
    impl_->lastError = kErrInvalidParameter;
    return kErrInvalidParameter;
  }
  std::string path = ProfilePath(*this, file);
  bool exists = FileExists(path);
  std::vector<IniSection> sections = Parse(exists ? FileContents(path) : std::string());
  bool changed = false;
  if (key == nullptr) {
    for (size_t i = sections.size(); i-- > 1;) {
      if (SimEqualNoCase(sections[i].name, section)) {
        sections.erase(sections.begin() + static_cast<long>(i));
        changed = true;
      }
    }
  } else if (value == nullptr) {
    std::string wanted = Trim(key);
    for (IniSection& entry : sections) {
      if (changed || !SimEqualNoCase(entry.name, section)) continue;
      for (size_t i = 0; i < entry.keys.size(); ++i) {
        if (SimEqualNoCase(entry.keys[i].name, wanted)) {
          entry.keys.erase(entry.keys.begin() + static_cast<long>(i));
          changed = true;
          break;
        }
      }
    }
  } else {
    std::string name = Trim(key);
    std::string text = Trim(value);
    IniSection* target = nullptr;
    for (IniSection& entry : sections)
      if (target == nullptr && !entry.name.empty() && SimEqualNoCase(entry.name, section))
        target = &entry;
    if (target == nullptr) {
      IniSection added;
      added.name = Trim(section);
      sections.push_back(added);
      target = &sections.back();
    }
    IniKey* found = nullptr;
    for (IniKey& item : target->keys)
      if (found == nullptr && SimEqualNoCase(item.name, name)) found = &item;
    if (found == nullptr) {
      target->keys.push_back(IniKey{name, true, text});
      changed = true;
    } else if (!found->hasValue || found->value != text) {
      found->hasValue = true;
      found->value = text;
      changed = true;
    }
  }
  if (!changed) return 0;
  FileHandle handle = CreateTruncated(path.c_str());
  if (handle == kNoFile) return static_cast<int>(impl_->lastError);
  std::string text = Serialize(sections);
  WriteBytes(handle, text.data(), static_cast<uint32_t>(text.size()));
  CloseFile(handle);
  return 0;
}
