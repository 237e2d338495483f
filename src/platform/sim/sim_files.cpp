// The simulated file system: drives, paths, 8.3 names, attributes, files in use, handles,
// wildcard search and the restart-time operations (pending renames and WININIT.INI).
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/image/restart_operations.h"
#include "platform/sim/sim_internal.h"

namespace {

constexpr int kErrNotSameDevice = 17;
constexpr int kErrCallNotImplemented = 120;
constexpr int kErrDirectory = 267;
constexpr int kErrNegativeSeek = 131;

const char kSessionManagerKey[] = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

// Characters that a long name may hold but an 8.3 name may not.
bool IsShortInvalid(char c) { return strchr("+,;=[] ", c) != nullptr || c == '.'; }

// The DOS wildcard dialect that directory searches use: '?' before a dot or the end may
// match nothing, "*." picks names without an extension, and "*.*" is everything.
// Pattern form: '<' DOS star, '>' DOS question mark, '"' DOS dot.
std::string DosPattern(const std::string& pattern) {
  if (pattern == "*.*") return "*";
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (c == '?')
      out += '>';
    else if (c == '.' && (next == '?' || next == '*' || next == '\0'))
      out += '"';
    else if (c == '*' && next == '.')
      out += '<';
    else
      out += c;
  }
  return out;
}

}  // namespace

// Matches a name against a pattern made by DosPattern; upper is the code page's folding.
// Both are taken by characters: a star never resumes inside a double-byte character, and
// such a character matches only itself (its second byte may be a letter's).
static bool MatchDos(const char* p, const char* n, SimMachine& m) {
  while (true) {
    switch (*p) {
      case '\0': return *n == '\0';
      case '*':
        for (const char* k = n;; k += SimCharLength(m, k)) {
          if (MatchDos(p + 1, k, m)) return true;
          if (*k == '\0') return false;
        }
      case '<': {
        const char* lastDot = strrchr(n, '.');  // a dot is never the second byte of one
        const char* limit = lastDot != nullptr ? lastDot : n + strlen(n);
        for (const char* k = n; k <= limit; k += SimCharLength(m, k)) {
          if (MatchDos(p + 1, k, m)) return true;
          if (*k == '\0') break;
        }
        return false;
      }
      case '>':
        if (*n != '\0' && *n != '.') {
          ++p;
          n += SimCharLength(m, n);
          continue;
        }
        while (*p == '>') ++p;
        continue;
      case '"':
        if (*n == '.') {
          ++p;
          ++n;
          continue;
        }
        if (*n == '\0') {
          ++p;
          continue;
        }
        return false;
      default: {
        size_t length = SimCharLength(m, p);
        if (length == 2 || SimCharLength(m, n) == 2) {
          if (length != SimCharLength(m, n) || memcmp(p, n, length) != 0) return false;
        } else if (m.UpperByte(static_cast<uint8_t>(*p)) != m.UpperByte(static_cast<uint8_t>(*n))) {
          return false;
        }
        p += length;
        n += length;
      }
    }
  }
}

std::string SimUpper(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

bool SimEqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && SimUpper(a) == SimUpper(b);
}

size_t SimCharLength(SimMachine& m, const char* text) {
  if (*text == '\0') return 0;
  // No code page has a lead byte below 0x81; the common case asks nothing of the machine.
  uint8_t c = static_cast<uint8_t>(*text);
  return c >= 0x81 && text[1] != '\0' && m.IsLeadByte(c) ? 2 : 1;
}

std::string SimUpper(SimMachine& m, const std::string& text) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); i += SimCharLength(m, out.c_str() + i)) {
    if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 32);
  }
  return out;
}

size_t SimFindOf(SimMachine& m, const std::string& text, const char* chars, size_t from) {
  const char* start = text.c_str();
  for (size_t i = from; i < text.size(); i += SimCharLength(m, start + i)) {
    if (start[i] != '\0' && strchr(chars, start[i]) != nullptr) return i;
    if (start[i] == '\0') break;
  }
  return std::string::npos;
}

size_t SimFindLastOf(SimMachine& m, const std::string& text, const char* chars) {
  size_t last = std::string::npos;
  for (size_t i = SimFindOf(m, text, chars); i != std::string::npos;
       i = SimFindOf(m, text, chars, i + 1)) {
    last = i;
  }
  return last;
}

bool SimEndsWith(SimMachine& m, const std::string& text, char c) {
  const char* start = text.c_str();
  size_t last = std::string::npos;
  for (size_t i = 0; i < text.size() && start[i] != '\0'; i += SimCharLength(m, start + i))
    last = i;
  return last != std::string::npos && start[last] == c;
}

bool SimSplitPath(SimMachine& m, const std::string& fullPath, SimPath* out) {
  if (fullPath.size() < 3 || fullPath[1] != ':' || fullPath[2] != '\\') return false;
  out->drive = static_cast<char>(toupper(static_cast<unsigned char>(fullPath[0])));
  out->parts.clear();
  size_t start = 3;
  while (start < fullPath.size()) {
    size_t end = SimFindOf(m, fullPath, "\\", start);
    if (end == std::string::npos) end = fullPath.size();
    if (end > start) out->parts.push_back(fullPath.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

int SimCopyOut(const std::string& text, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  if (text.size() + 1 > size) {
    buffer[0] = '\0';
    return 0;
  }
  memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

// --- Paths ---------------------------------------------------------------------------------

// True when path is already a full path in the form FullPath gives back, apart from the
// drive letter's case: nothing to resolve, drop or refuse. Most paths a log names are.
static bool IsPlainFullPath(SimMachine& m, const char* path) {
  if (!isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':' || path[2] != '\\')
    return false;
  const char* part = path + 3;
  if (*part == '\0') return true;
  for (;;) {
    const char* end = part;
    while (*end != '\0' && *end != '\\') {
      switch (*end) {
        case '/': case '<': case '>': case ':': case '"': case '|': return false;
        default: break;
      }
      end += SimCharLength(m, end);
    }
    size_t length = static_cast<size_t>(end - part);
    if (length == 0 || end[-1] == '.' || end[-1] == ' ') return false;  // also "." and ".."
    if (*end == '\0') return true;
    part = end + 1;
  }
}

std::string SimMachine::FullPath(const char* path) {
  if (path == nullptr || path[0] == '\0') return std::string();
  if (IsPlainFullPath(*this, path)) {
    std::string full = path;
    full[0] = static_cast<char>(toupper(static_cast<unsigned char>(full[0])));
    return full;
  }
  std::string text = path;
  std::replace(text.begin(), text.end(), '/', '\\');
  if (text.size() >= 2 && text[0] == '\\' && text[1] == '\\') return std::string();  // UNC
  std::string base;
  std::string rest;
  if (text.size() >= 2 && text[1] == ':') {
    char drive = static_cast<char>(toupper(static_cast<unsigned char>(text[0])));
    if (drive < 'A' || drive > 'Z') return std::string();
    rest = text.substr(2);
    // "C:name" is relative to the current directory only when that lies on drive C.
    bool fromRoot = (!rest.empty() && rest[0] == '\\') ||
                    toupper(static_cast<unsigned char>(impl_->currentDir[0])) != drive;
    base = fromRoot ? std::string(1, drive) + ":\\" : impl_->currentDir;
  } else if (text[0] == '\\') {
    base = impl_->currentDir.substr(0, 3);
    rest = text;
  } else {
    base = impl_->currentDir;
    rest = text;
  }
  SimPath parsed;
  if (!SimSplitPath(*this, base, &parsed)) return std::string();
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = SimFindOf(*this, rest, "\\", start);
    if (end == std::string::npos) end = rest.size();
    std::string part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parsed.parts.empty()) parsed.parts.pop_back();
      continue;
    }
    // The file system drops trailing dots and blanks of a name.
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (part.empty()) continue;
    if (SimFindOf(*this, part, "<>:\"|") != std::string::npos) return std::string();
    parsed.parts.push_back(part);
  }
  std::string full = std::string(1, parsed.drive) + ":\\";
  for (size_t i = 0; i < parsed.parts.size(); ++i) {
    if (i > 0) full += '\\';
    full += parsed.parts[i];
  }
  return full;
}

static uint64_t gTreeGeneration = 1;
void SimTreeChanged() { ++gTreeGeneration; }
uint64_t SimTreeGeneration() { return gTreeGeneration; }

// The key under which a name is indexed: single bytes folded by the code page, double-byte
// characters as they stand.
static void FoldNameInto(SimMachine& m, const char* name, size_t length, std::string* folded) {
  folded->clear();
  for (size_t i = 0; i < length; ++i) {
    uint8_t c = static_cast<uint8_t>(name[i]);
    if (m.IsLeadByte(c) && i + 1 < length) {
      *folded += name[i];
      *folded += name[++i];
      continue;
    }
    *folded += static_cast<char>(m.UpperByte(c));
  }
}

static std::string FoldName(SimMachine& m, const std::string& name) {
  std::string folded;
  FoldNameInto(m, name.data(), name.size(), &folded);
  return folded;
}

static void IndexChild(SimMachine& m, SimNode* directory, SimNode* child) {
  SimTreeChanged();
  directory->index[FoldName(m, child->name)] = child;
  if (!child->shortName.empty()) directory->index[FoldName(m, child->shortName)] = child;
}

static void UnindexChild(SimMachine& m, SimNode* directory, SimNode* child) {
  SimTreeChanged();
  for (const std::string* name : {&child->name, &child->shortName}) {
    if (name->empty()) continue;
    auto it = directory->index.find(FoldName(m, *name));
    if (it != directory->index.end() && it->second == child) directory->index.erase(it);
  }
}

void SimSetShortName(SimMachine& m, SimNode* node, const std::string& shortName) {
  if (node->parent != nullptr) UnindexChild(m, node->parent, node);
  node->shortName = shortName;
  if (node->parent != nullptr) IndexChild(m, node->parent, node);
}

static SimNode* ChildNamed(SimMachine& m, SimNode* directory, const char* name, size_t length) {
  // Lookups are the sim's busiest work; the folded key reuses one buffer.
  thread_local std::string key;
  FoldNameInto(m, name, length, &key);
  auto it = directory->index.find(key);
  return it == directory->index.end() ? nullptr : it->second;
}

static SimNode* ChildNamed(SimMachine& m, SimNode* directory, const std::string& name) {
  return ChildNamed(m, directory, name.data(), name.size());
}

// Where a lookup lands: the node (null when absent), its directory (null when a parent is
// missing) and the error of a failed lookup.
struct SimLookup {
  SimNode* node = nullptr;
  SimNode* directory = nullptr;
  std::string leaf;
  int error = 0;
};

static SimLookup LookUp(SimMachine& m, SimMachine::Impl& impl, const std::string& full,
                        int depth = 0);

// A junction stands for its target directory when a path goes through it.
static SimNode* ThroughJunction(SimMachine& m, SimMachine::Impl& impl, SimNode* node, int depth) {
  while (node != nullptr && !node->junctionTarget.empty()) {
    if (depth > 16) return nullptr;
    SimLookup target = LookUp(m, impl, m.FullPath(node->junctionTarget.c_str()), depth + 1);
    node = target.node;
    ++depth;
  }
  return node;
}

static SimLookup LookUp(SimMachine& m, SimMachine::Impl& impl, const std::string& full, int depth) {
  SimLookup result;
  if (full.size() < 3 || full[1] != ':' || full[2] != '\\') {
    result.error = kErrInvalidName;
    return result;
  }
  auto drive = impl.drives.find(static_cast<char>(toupper(static_cast<unsigned char>(full[0]))));
  if (drive == impl.drives.end()) {
    result.error = kErrPathNotFound;
    return result;
  }
  SimNode* current = drive->second.root.get();
  // The components are taken in place; empty ones (doubled backslashes) are skipped.
  const char* text = full.c_str();
  size_t start = 3;
  size_t end = 0;
  SimDirectoryCache& cache = impl.directories;
  if (cache.generation != SimTreeGeneration() || cache.codePage != m.settings.ansiCodePage) {
    cache.byPath.clear();
    cache.generation = SimTreeGeneration();
    cache.codePage = m.settings.ansiCodePage;
  }
  size_t leafCut = SimFindLastOf(m, full, "\\");
  bool cacheable = leafCut > 2 && leafCut + 1 < full.size();
  thread_local std::string directoryText;
  if (cacheable) {
    directoryText.assign(text, leafCut);
    auto known = cache.byPath.find(directoryText);
    if (known != cache.byPath.end()) {
      current = known->second;
      start = leafCut + 1;
    }
  }
  auto nextPart = [&]() {
    while (start < full.size() && text[start] == '\\') ++start;
    end = start;
    while (end < full.size() && text[end] != '\\') end += SimCharLength(m, text + end);
    return end > start;
  };
  if (!nextPart()) {
    result.node = current;
    return result;
  }
  for (;;) {
    size_t partStart = start;
    size_t partEnd = end;
    start = end;
    if (!nextPart()) {
      // Not directoryText: a junction on the way may have run a lookup of its own.
      if (cacheable && partStart == leafCut + 1)
        cache.byPath.emplace(full.substr(0, leafCut), current);
      result.directory = current;
      result.leaf.assign(text + partStart, partEnd - partStart);
      result.node = ChildNamed(m, current, text + partStart, partEnd - partStart);
      if (result.node == nullptr) result.error = kErrFileNotFound;
      return result;
    }
    SimNode* next = ChildNamed(m, current, text + partStart, partEnd - partStart);
    next = ThroughJunction(m, impl, next, depth);
    if (next == nullptr || !next->IsDirectory()) {
      result.error = kErrPathNotFound;
      return result;
    }
    current = next;
  }
}

uint64_t SimNow(const ImagePlatform& settings) {
  return settings.now != 0 ? settings.now : FileTimeFromUtc(2001, 6, 15, 12, 0, 0);
}

std::string SimMachine::MakeShortName(const SimNode* directory, const std::string& longName) {
  if (!settings.shortNames) return std::string();
  // Already 8.3: one dot at most, a base of 1 to 8 and an extension of up to 3 characters,
  // none of them a character that 8.3 names exclude.
  size_t dot = longName.rfind('.');
  std::string base = dot == std::string::npos ? longName : longName.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : longName.substr(dot + 1);
  // Names are taken by characters: a double-byte character stands whole (its second byte
  // may be a bracket's or a letter's), counts as two of the eight bytes, and is never cut.
  auto excluded = [&](const std::string& part) {
    for (size_t i = 0; i < part.size(); i += SimCharLength(*this, part.c_str() + i))
      if (SimCharLength(*this, part.c_str() + i) == 1 && IsShortInvalid(part[i])) return true;
    return false;
  };
  bool valid = !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
               (dot == std::string::npos || dot == longName.find('.')) && !excluded(base) &&
               !excluded(ext);
  if (valid) return std::string();

  // A leading dot does not start an extension (".profile" is all base).
  if (dot == 0) {
    base = longName;
    ext.clear();
  }
  // The part's characters as an 8.3 name holds them, within limit bytes.
  auto shortPart = [&](const std::string& part, size_t limit) {
    std::string out;
    for (size_t i = 0; i < part.size();) {
      size_t length = SimCharLength(*this, part.c_str() + i);
      char c = part[i];
      if (length == 1 && (c == ' ' || c == '.')) {
        ++i;
        continue;
      }
      if (out.size() + length > limit) break;
      if (length == 2)
        out.append(part, i, 2);
      else
        out += strchr("+,;=[]", c) != nullptr
                   ? '_'
                   : static_cast<char>(UpperByte(static_cast<uint8_t>(c)));
      i += length;
    }
    return out;
  };
  std::string shortExt = shortPart(ext, 3);
  std::string shortBase;
  size_t baseRoom = 0;
  for (int number = 1; number < 1000000; ++number) {
    std::string tail = "~" + std::to_string(number);
    if (baseRoom != 8 - tail.size()) {
      baseRoom = 8 - tail.size();
      shortBase = shortPart(base, baseRoom);
      if (shortBase.empty()) shortBase = "_";
    }
    std::string candidate = shortBase + tail;
    if (!shortExt.empty()) candidate += "." + shortExt;
    bool taken = directory != nullptr &&
                 directory->index.find(FoldName(*this, candidate)) != directory->index.end();
    if (!taken) return candidate;
  }
  return std::string();
}

static SimNode* AddChild(SimMachine& m, SimNode* directory, const std::string& name,
                         uint32_t attributes, uint64_t now) {
  auto node = std::make_unique<SimNode>();
  node->name = name;
  node->shortName = m.MakeShortName(directory, name);
  node->attributes = attributes;
  node->lastWrite = now;
  node->parent = directory;
  SimNode* raw = node.get();
  directory->children.push_back(std::move(node));
  IndexChild(m, directory, raw);
  return raw;
}

static std::unique_ptr<SimNode> Detach(SimMachine& m, SimNode* node) {
  UnindexChild(m, node->parent, node);
  auto& siblings = node->parent->children;
  for (auto it = siblings.begin(); it != siblings.end(); ++it) {
    if (it->get() == node) {
      std::unique_ptr<SimNode> owned = std::move(*it);
      siblings.erase(it);
      return owned;
    }
  }
  return nullptr;
}

static bool IsBusy(const SimNode* node) { return node->inUse || node->openHandles > 0; }

static bool Contains(const SimNode* ancestor, const SimNode* node) {
  for (; node != nullptr; node = node->parent)
    if (node == ancestor) return true;
  return false;
}

// --- Files and directories -----------------------------------------------------------------

#define FAIL(code)             \
  do {                         \
    impl_->lastError = (code); \
    return (code);             \
  } while (0)

uint32_t SimMachine::GetAttributes(const char* path) {
  SimLookup at = LookUp(*this, *impl_, FullPath(path));
  if (at.node == nullptr) {
    impl_->lastError = at.error != 0 ? at.error : kErrFileNotFound;
    return kNoAttributes;
  }
  return at.node->attributes;
}

int SimMachine::SetAttributes(const char* path, uint32_t attributes) {
  SimLookup at = LookUp(*this, *impl_, FullPath(path));
  if (at.node == nullptr) FAIL(at.error);
  uint32_t kept = at.node->attributes & (kAttrDirectory | kAttrReparsePoint);
  uint32_t wanted = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
  if (wanted == 0 && kept == 0) wanted = kAttrNormal;
  at.node->attributes = kept | wanted;
  return 0;
}

int SimMachine::RemoveFile(const char* path) {
  SimLookup at = LookUp(*this, *impl_, FullPath(path));
  if (at.node == nullptr) FAIL(at.error);
  if (at.node->IsDirectory() || (at.node->attributes & kAttrReadOnly)) FAIL(kErrAccessDenied);
  if (IsBusy(at.node)) FAIL(kErrSharingViolation);
  Detach(*this, at.node);
  return 0;
}

int SimMachine::CopyFileTo(const char* from, const char* to, bool failIfExists) {
  SimLookup source = LookUp(*this, *impl_, FullPath(from));
  if (source.node == nullptr) FAIL(source.error);
  if (source.node->IsDirectory()) FAIL(kErrAccessDenied);
  SimLookup target = LookUp(*this, *impl_, FullPath(to));
  if (target.directory == nullptr)
    FAIL(target.error == kErrFileNotFound ? kErrPathNotFound : target.error);
  if (target.node == source.node) FAIL(kErrSharingViolation);
  SimNode* node = target.node;
  if (node != nullptr) {
    if (failIfExists) FAIL(kErrFileExists);
    if (node->IsDirectory() || (node->attributes & kAttrReadOnly)) FAIL(kErrAccessDenied);
    if (IsBusy(node)) FAIL(kErrSharingViolation);
  } else {
    node = AddChild(*this, target.directory, target.leaf, kAttrArchive, 0);
  }
  node->contents = source.node->contents;
  node->attributes = (source.node->attributes & ~kAttrNormal) | kAttrArchive;
  node->lastWrite = source.node->lastWrite;
  return 0;
}

int SimMachine::MoveFileFlags(const char* from, const char* to, uint32_t flags) {
  if (flags & kMoveDelayUntilReboot) {
    if (!settings.ntFamily) FAIL(kErrCallNotImplemented);
    std::string source = FullPath(from);
    if (source.empty()) FAIL(kErrInvalidName);
    // The pending list lives in a value of the machine's own hive; writing it needs the
    // rights of an administrator.
    if (!settings.admin) FAIL(kErrAccessDenied);
    std::string target;
    if (to != nullptr && to[0] != '\0') {
      std::string full = FullPath(to);
      if (full.empty()) FAIL(kErrInvalidName);
      target = std::string((flags & kMoveReplaceExisting) ? "!" : "") + "\\??\\" + full;
    }
    uint32_t type = 0;
    std::string data;
    if (!RegValue(kSessionManagerKey, kPendingValue, &type, &data) || type != kRegMultiSz)
      data.clear();
    // Drop the list's final terminator before appending: only that one, since an empty
    // target (a deletion) ends its pair with a terminator of its own.
    if (data.size() >= 2 && data[data.size() - 1] == '\0' && data[data.size() - 2] == '\0')
      data.pop_back();
    if (data.size() == 1 && data[0] == '\0') data.clear();
    data += "\\??\\" + source + std::string(1, '\0') + target + std::string(1, '\0');
    data.push_back('\0');
    return RegSetRaw(kSessionManagerKey, kPendingValue, kRegMultiSz, data);
  }
  if (to == nullptr || to[0] == '\0') FAIL(kErrInvalidParameter);
  SimLookup source = LookUp(*this, *impl_, FullPath(from));
  if (source.node == nullptr) FAIL(source.error);
  if (source.directory == nullptr) FAIL(kErrAccessDenied);  // a root
  SimLookup target = LookUp(*this, *impl_, FullPath(to));
  if (target.directory == nullptr)
    FAIL(target.error == kErrFileNotFound ? kErrPathNotFound : target.error);
  SimNode* node = source.node;
  if (IsBusy(node)) FAIL(kErrSharingViolation);
  if (target.node != nullptr && target.node != node) {
    if (!(flags & kMoveReplaceExisting)) FAIL(kErrAlreadyExists);
    if (target.node->IsDirectory() || node->IsDirectory()) FAIL(kErrAccessDenied);
    if (target.node->attributes & kAttrReadOnly) FAIL(kErrAccessDenied);
    if (IsBusy(target.node)) FAIL(kErrSharingViolation);
  }
  if (node->IsDirectory() && Contains(node, target.directory)) FAIL(kErrAccessDenied);
  SimPath sourcePath, targetPath;
  SimSplitPath(*this, FullPath(from), &sourcePath);
  SimSplitPath(*this, FullPath(to), &targetPath);
  bool sameDrive = sourcePath.drive == targetPath.drive;
  if (!sameDrive && (node->IsDirectory() || !(flags & kMoveCopyAllowed))) FAIL(kErrNotSameDevice);
  if (target.node != nullptr && target.node != node) Detach(*this, target.node);
  std::unique_ptr<SimNode> owned = Detach(*this, node);
  owned->name = target.leaf;
  owned->parent = target.directory;
  owned->shortName.clear();
  owned->shortName = MakeShortName(target.directory, target.leaf);
  SimNode* moved = owned.get();
  target.directory->children.push_back(std::move(owned));
  IndexChild(*this, target.directory, moved);
  return 0;
}

int SimMachine::MakeDirectory(const char* path) {
  SimLookup at = LookUp(*this, *impl_, FullPath(path));
  if (at.directory == nullptr) {
    if (at.node != nullptr) FAIL(kErrAlreadyExists);  // a root
    FAIL(at.error == kErrFileNotFound ? kErrPathNotFound : at.error);
  }
  if (at.node != nullptr) FAIL(kErrAlreadyExists);
  AddChild(*this, at.directory, at.leaf, kAttrDirectory, SimNow(settings));
  return 0;
}

int SimMachine::RemoveEmptyDirectory(const char* path) {
  std::string full = FullPath(path);
  SimLookup at = LookUp(*this, *impl_, full);
  if (at.node == nullptr) FAIL(at.error);
  if (at.directory == nullptr) FAIL(kErrAccessDenied);  // a root
  if (!at.node->IsDirectory()) FAIL(kErrDirectory);
  if (at.node->attributes & kAttrReadOnly) FAIL(kErrAccessDenied);
  if (at.node->junctionTarget.empty()) {
    if (!at.node->children.empty()) FAIL(kErrDirNotEmpty);
    SimLookup current = LookUp(*this, *impl_, impl_->currentDir);
    if (current.node != nullptr && Contains(at.node, current.node)) FAIL(kErrSharingViolation);
  }
  Detach(*this, at.node);
  return 0;
}

// --- File contents -------------------------------------------------------------------------

static FileHandle OpenHandle(SimMachine::Impl& impl, SimNode* node, bool read, bool write) {
  FileHandle handle = impl.nextHandle;
  impl.nextHandle += 4;
  impl.files[handle] = SimOpenFile{node, 0, read, write};
  node->openHandles++;
  if (write) node->writers++;
  return handle;
}

FileHandle SimMachine::OpenForRead(const char* path) {
  SimLookup at = LookUp(*this, *impl_, FullPath(path));
  if (at.node == nullptr) {
    impl_->lastError = at.error;
    return kNoFile;
  }
  if (at.node->IsDirectory()) {
    impl_->lastError = kErrAccessDenied;
    return kNoFile;
  }
  // A writer of ours shares reading, so only write access ever conflicts.
  return OpenHandle(*impl_, at.node, true, false);
}

FileHandle SimMachine::OpenForWrite(const char* path) {
  SimLookup at = LookUp(*this, *impl_, FullPath(path));
  if (at.node == nullptr) {
    impl_->lastError = at.error;
    return kNoFile;
  }
  if (at.node->IsDirectory() || (at.node->attributes & kAttrReadOnly)) {
    impl_->lastError = kErrAccessDenied;
    return kNoFile;
  }
  if (at.node->inUse || at.node->writers > 0) {
    impl_->lastError = kErrSharingViolation;
    return kNoFile;
  }
  return OpenHandle(*impl_, at.node, false, true);
}

FileHandle SimMachine::CreateTruncated(const char* path) {
  SimLookup at = LookUp(*this, *impl_, FullPath(path));
  if (at.directory == nullptr) {
    impl_->lastError = at.node != nullptr             ? kErrAccessDenied
                       : at.error == kErrFileNotFound ? kErrPathNotFound
                                                      : at.error;
    return kNoFile;
  }
  SimNode* node = at.node;
  if (node != nullptr) {
    if (node->IsDirectory() || (node->attributes & kAttrReadOnly)) {
      impl_->lastError = kErrAccessDenied;
      return kNoFile;
    }
    if (node->inUse || node->writers > 0) {
      impl_->lastError = kErrSharingViolation;
      return kNoFile;
    }
    node->contents.clear();
    node->attributes |= kAttrArchive;
    node->attributes &= ~kAttrNormal;
    node->lastWrite = SimNow(settings);
  } else {
    node = AddChild(*this, at.directory, at.leaf, kAttrArchive, SimNow(settings));
  }
  return OpenHandle(*impl_, node, true, true);
}

int SimMachine::ReadBytes(FileHandle file, void* buffer, uint32_t count) {
  auto it = impl_->files.find(file);
  if (it == impl_->files.end()) {
    impl_->lastError = kErrInvalidHandle;
    return -1;
  }
  SimOpenFile& open = it->second;
  // A handle from OpenForWrite has no read access; CreateTruncated's has both.
  if (!open.read) {
    impl_->lastError = kErrAccessDenied;
    return -1;
  }
  const std::string& contents = open.node->contents;
  if (open.position >= contents.size()) return 0;
  size_t n = std::min<size_t>(count, contents.size() - open.position);
  memcpy(buffer, contents.data() + open.position, n);
  open.position += n;
  return static_cast<int>(n);
}

int SimMachine::WriteBytes(FileHandle file, const void* data, uint32_t count) {
  auto it = impl_->files.find(file);
  if (it == impl_->files.end()) {
    impl_->lastError = kErrInvalidHandle;
    return -1;
  }
  SimOpenFile& open = it->second;
  if (!open.write) {
    impl_->lastError = kErrAccessDenied;
    return -1;
  }
  std::string& contents = open.node->contents;
  if (contents.size() < open.position + count) contents.resize(open.position + count, '\0');
  memcpy(&contents[open.position], data, count);
  open.position += count;
  open.node->lastWrite = SimNow(settings);
  open.node->attributes = (open.node->attributes & ~kAttrNormal) | kAttrArchive;
  return static_cast<int>(count);
}

int64_t SimMachine::Seek(FileHandle file, int64_t offset, int origin) {
  auto it = impl_->files.find(file);
  if (it == impl_->files.end()) {
    impl_->lastError = kErrInvalidHandle;
    return -1;
  }
  SimOpenFile& open = it->second;
  int64_t base = origin == kSeekCurrent ? static_cast<int64_t>(open.position)
                 : origin == kSeekEnd   ? static_cast<int64_t>(open.node->contents.size())
                                        : 0;
  if (origin < kSeekBegin || origin > kSeekEnd) {
    impl_->lastError = kErrInvalidParameter;
    return -1;
  }
  if (base + offset < 0) {
    impl_->lastError = kErrNegativeSeek;
    return -1;
  }
  open.position = static_cast<uint64_t>(base + offset);
  return base + offset;
}

int SimMachine::SetLength(FileHandle file, int64_t length) {
  auto it = impl_->files.find(file);
  if (it == impl_->files.end()) FAIL(kErrInvalidHandle);
  if (!it->second.write) FAIL(kErrAccessDenied);
  if (length < 0) FAIL(kErrNegativeSeek);
  it->second.node->contents.resize(static_cast<size_t>(length), '\0');
  it->second.node->lastWrite = SimNow(settings);
  return 0;
}

int SimMachine::GetLastWrite(FileHandle file, uint64_t* fileTime) {
  auto it = impl_->files.find(file);
  if (it == impl_->files.end()) FAIL(kErrInvalidHandle);
  *fileTime = it->second.node->lastWrite;
  return 0;
}

int SimMachine::FlushFile(FileHandle file) {
  if (impl_->files.find(file) == impl_->files.end()) FAIL(kErrInvalidHandle);
  return 0;
}

int SimMachine::ClaimRunLock(const char* name) {
  std::string wanted = name != nullptr ? name : "";
  if (!heldRunLock.empty()) return 0;
  if (otherProcessLocks.count(wanted) != 0) FAIL(kErrAlreadyExists);
  heldRunLock = wanted;
  return 0;
}

void SimMachine::ReleaseRunLock() { heldRunLock.clear(); }

void SimMachine::CloseFile(FileHandle file) {
  auto it = impl_->files.find(file);
  if (it == impl_->files.end()) return;
  SimNode* node = it->second.node;
  node->openHandles--;
  if (it->second.write) node->writers--;
  impl_->files.erase(it);
}

// --- Directory search ----------------------------------------------------------------------

static void FillEntry(const SimNode* node, const std::string& name, FindEntry* entry) {
  memset(entry, 0, sizeof(*entry));
  strncpy(entry->name, name.c_str(), sizeof(entry->name) - 1);
  if (name != "." && name != "..")
    strncpy(entry->shortName, node->shortName.c_str(), sizeof(entry->shortName) - 1);
  entry->attributes = node->attributes;
  entry->size = node->IsDirectory() ? 0 : node->contents.size();
  entry->lastWrite = node->lastWrite;
}

SearchHandle SimMachine::FindFirst(const char* pattern, FindEntry* entry) {
  ++directorySearches;
  std::string text = pattern != nullptr ? pattern : "";
  std::replace(text.begin(), text.end(), '/', '\\');
  size_t slash = SimFindLastOf(*this, text, "\\");
  std::string directoryPart, namePart;
  if (slash != std::string::npos) {
    directoryPart = text.substr(0, slash + 1);
    namePart = text.substr(slash + 1);
  } else if (text.size() >= 2 && text[1] == ':') {
    directoryPart = text.substr(0, 2);
    namePart = text.substr(2);
  } else {
    namePart = text;
  }
  if (namePart.empty()) {
    impl_->lastError = kErrFileNotFound;
    return kNoSearch;
  }
  SimSearch search;
  if (!HasWildcard(namePart)) {
    SimLookup at = LookUp(*this, *impl_, FullPath(text.c_str()));
    if (at.node == nullptr || at.directory == nullptr) {
      impl_->lastError = at.node != nullptr ? kErrFileNotFound : at.error;
      return kNoSearch;
    }
    FindEntry found;
    FillEntry(at.node, at.node->name, &found);
    search.entries.push_back(found);
  } else {
    std::string directoryFull = FullPath(directoryPart.empty() ? "." : directoryPart.c_str());
    SimLookup at = LookUp(*this, *impl_, directoryFull);
    SimNode* directory = ThroughJunction(*this, *impl_, at.node, 0);
    if (directory == nullptr || !directory->IsDirectory()) {
      impl_->lastError = kErrPathNotFound;
      return kNoSearch;
    }
    std::string dos = DosPattern(namePart);
    auto matches = [&](const std::string& name) {
      return MatchDos(dos.c_str(), name.c_str(), *this);
    };
    FindEntry found;
    if (directory->parent != nullptr) {
      for (const char* dots : {".", ".."}) {
        if (!matches(dots)) continue;
        const SimNode* source = strcmp(dots, ".") == 0 ? directory : directory->parent;
        FillEntry(source, dots, &found);
        found.attributes = source->attributes;
        search.entries.push_back(found);
      }
    }
    std::vector<const SimNode*> children;
    for (const auto& child : directory->children) children.push_back(child.get());
    std::sort(children.begin(), children.end(), [](const SimNode* a, const SimNode* b) {
      return SimUpper(a->name) < SimUpper(b->name);
    });
    for (const SimNode* child : children) {
      if (matches(child->name) || (!child->shortName.empty() && matches(child->shortName))) {
        FillEntry(child, child->name, &found);
        search.entries.push_back(found);
      }
    }
  }
  if (search.entries.empty()) {
    impl_->lastError = kErrFileNotFound;
    return kNoSearch;
  }
  *entry = search.entries[0];
  search.next = 1;
  SearchHandle handle = impl_->nextHandle;
  impl_->nextHandle += 4;
  impl_->searches[handle] = std::move(search);
  return handle;
}

int SimMachine::FindNext(SearchHandle search, FindEntry* entry) {
  auto it = impl_->searches.find(search);
  if (it == impl_->searches.end()) FAIL(kErrInvalidHandle);
  if (it->second.next >= it->second.entries.size()) FAIL(kErrNoMoreFiles);
  *entry = it->second.entries[it->second.next++];
  return 0;
}

void SimMachine::FindEnd(SearchHandle search) { impl_->searches.erase(search); }

// --- Current directory ---------------------------------------------------------------------

int SimMachine::GetCurrentDir(char* buffer, uint32_t size) {
  return SimCopyOut(impl_->currentDir, buffer, size);
}

int SimMachine::SetCurrentDir(const char* path) {
  std::string full = FullPath(path);
  SimLookup at = LookUp(*this, *impl_, full);
  SimNode* node = ThroughJunction(*this, *impl_, at.node, 0);
  if (node == nullptr) FAIL(at.error != 0 ? at.error : kErrFileNotFound);
  if (!node->IsDirectory()) FAIL(kErrDirectory);
  impl_->currentDir = full;
  return 0;
}

// --- Test helpers --------------------------------------------------------------------------

SimNode* SimMachine::Find(const std::string& path) {
  return LookUp(*this, *impl_, FullPath(path.c_str())).node;
}

bool SimMachine::FileExists(const std::string& path) {
  SimNode* node = Find(path);
  return node != nullptr && !node->IsDirectory();
}

bool SimMachine::DirectoryExists(const std::string& path) {
  SimNode* node = Find(path);
  return node != nullptr && node->IsDirectory();
}

std::string SimMachine::FileContents(const std::string& path) {
  SimNode* node = Find(path);
  return node != nullptr ? node->contents : std::string();
}

int SimMachine::MakeDirectories(const std::string& path) {
  std::string full = FullPath(path.c_str());
  SimPath parsed;
  if (!SimSplitPath(*this, full, &parsed)) return kErrInvalidName;
  auto drive = impl_->drives.find(parsed.drive);
  if (drive == impl_->drives.end()) return kErrPathNotFound;
  SimNode* current = drive->second.root.get();
  for (const std::string& part : parsed.parts) {
    SimNode* next = ThroughJunction(*this, *impl_, ChildNamed(*this, current, part), 0);
    if (next == nullptr) next = AddChild(*this, current, part, kAttrDirectory, SimNow(settings));
    if (!next->IsDirectory()) return kErrAccessDenied;
    current = next;
  }
  return 0;
}

int SimMachine::WriteFile(const std::string& path, const std::string& contents,
                          uint64_t lastWrite) {
  std::string full = FullPath(path.c_str());
  size_t slash = SimFindLastOf(*this, full, "\\");
  if (full.empty() || slash < 3 || slash == full.size() - 1) return kErrInvalidName;
  int result = MakeDirectories(full.substr(0, slash));
  if (result != 0) return result;
  SimLookup at = LookUp(*this, *impl_, full);
  if (at.directory == nullptr) return at.error;
  SimNode* node = at.node;
  if (node == nullptr) node = AddChild(*this, at.directory, at.leaf, kAttrArchive, 0);
  if (node->IsDirectory()) return kErrAccessDenied;
  node->contents = contents;
  node->lastWrite = lastWrite != 0 ? lastWrite : SimNow(settings);
  return 0;
}

int SimMachine::SetInUse(const std::string& path, bool inUse) {
  SimNode* node = Find(path);
  if (node == nullptr) return kErrFileNotFound;
  node->inUse = inUse;
  return 0;
}

int SimMachine::MakeJunction(const std::string& path, const std::string& target) {
  int result = MakeDirectories(path);
  if (result != 0) return result;
  SimNode* node = Find(path);
  if (node == nullptr || !node->children.empty()) return kErrDirNotEmpty;
  node->junctionTarget = FullPath(target.c_str());
  node->attributes |= kAttrReparsePoint;
  SimTreeChanged();
  return 0;
}

// --- Restart -------------------------------------------------------------------------------

static void ClearInUse(SimNode* node) {
  node->inUse = false;
  for (auto& child : node->children) ClearInUse(child.get());
}

// Deletes (a file, or an empty directory) or moves one entry at restart; failures leave the
// entry where it is, as the session manager does.
static void CarryOut(SimMachine& m, const std::string& source, const std::string& target,
                             bool replace) {
  if (target.empty()) {
    if (m.RemoveFile(source.c_str()) != 0) m.RemoveEmptyDirectory(source.c_str());
    return;
  }
  m.MoveFileFlags(source.c_str(), target.c_str(),
                  replace ? kMoveReplaceExisting | kMoveCopyAllowed : kMoveCopyAllowed);
}

void SimMachine::SimulateRestart() {
  for (auto& drive : impl_->drives) ClearInUse(drive.second.root.get());
  std::vector<intptr_t> open;
  for (auto& file : impl_->files) open.push_back(file.first);
  for (intptr_t handle : open) CloseFile(handle);
  std::string savedDir = impl_->currentDir;
  impl_->currentDir = "C:\\";

  // Pending renames of the NT kind: pairs of "\??\source" and "\??\target", "!\??\target"
  // (replace) or an empty target (delete).
  uint32_t type = 0;
  std::string data;
  if (RegValue(kSessionManagerKey, kPendingValue, &type, &data)) {
    for (const RestartOperation& operation : PendingRenamesOf(data))
      CarryOut(*this, operation.source, operation.target, operation.replace);
    RegRemoveRaw(kSessionManagerKey, kPendingValue);
  }

  // WININIT.INI [rename]: "NUL=path" deletes, "target=source" moves, in file order.
  std::string windows = settings.windowsDirectory;
  if (!windows.empty() && !SimEndsWith(*this, windows, '\\')) windows += '\\';
  std::string wininit = windows + "WININIT.INI";
  if (FileExists(wininit)) {
    for (const RestartOperation& operation : WininitRenamesOf(FileContents(wininit)))
      CarryOut(*this, operation.source, operation.target, operation.replace);
    std::string backup = windows + "WININIT.BAK";
    MoveFileFlags(wininit.c_str(), backup.c_str(), kMoveReplaceExisting);
  }

  for (auto it = services.begin(); it != services.end();) {
    it->second.running = false;
    it->second.openHandles = 0;
    if (it->second.markedForDelete)
      it = services.erase(it);
    else
      ++it;
  }
  impl_->serviceHandles.clear();
  impl_->currentDir = savedDir;
  if (!DirectoryExists(savedDir)) impl_->currentDir = "C:\\";
}
