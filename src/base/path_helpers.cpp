// Path helpers: the existence test, the double-byte-safe character search, the file-name
// part, and the long/short conversion that walks a path component by component through
// the platform's directory search.
#include "base/path_helpers.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "platform/platform.h"

bool FileExists(const char* path) { return Sys().GetAttributes(path) != kNoAttributes; }

// Steps whole characters so that a trail byte equal to c (0x5C, the backslash, is a valid
// trail byte in the Far East code pages) is never reported.
const char* FindChar(const char* text, char c) {
  for (const char* p = text;; p = NextChar(p)) {
    if (*p == c) return p;
    if (*p == '\0') return nullptr;
  }
}

void KeepFolderPart(char* path) { *FileNamePart(path) = '\0'; }

bool CutAtLastBackslash(char* path) {
  char* name = FileNamePart(path);
  if (name == path) return false;
  name[-1] = '\0';
  return true;
}

bool EndsWithBackslash(const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p != '\0'; p = NextChar(p)) last = p;
  return last != nullptr && *last == '\\';
}

void EnsureTrailingBackslash(char* path, size_t size) {
  if (!EndsWithBackslash(path)) AppendText(path, size, "\\");
}

void DropTrailingBackslash(char* path) {
  if (EndsWithBackslash(path)) path[strlen(path) - 1] = '\0';
}

const char* FileNamePart(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\') name = p + 1;
  }
  return name;
}

namespace {

// Replaces the bytes [start, end) of the terminated text in a buffer of size bytes by
// replacement; what follows moves along. The result is cut at size - 1 bytes.
void ReplaceSpan(char* text, size_t size, size_t start, size_t end, const char* replacement) {
  size_t length = strnlen(text, size - 1);
  size_t tailLength = length - end;
  size_t newLength = strlen(replacement);
  size_t limit = size - 1;
  if (start + newLength > limit) newLength = limit - start;
  size_t tailRoom = limit - start - newLength;
  if (tailLength > tailRoom) tailLength = tailRoom;
  memmove(text + start + newLength, text + end, tailLength);
  memcpy(text + start, replacement, newLength);
  text[start + newLength + tailLength] = '\0';
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Moves past one component and the backslash after it (or to the end).
size_t SkipComponent(const char* path, size_t position) {
  const char* p = path + position;
  while (*p != '\0' && *p != '\\') p = NextChar(p);
  if (*p == '\\') ++p;
  return static_cast<size_t>(p - path);
}

// Puts the current directory and a backslash in front of the path.
void PrefixCurrentDirectory(char* path, size_t size) {
  char directory[256] = {};
  Sys().GetCurrentDir(directory, sizeof directory);
  directory[sizeof directory - 1] = '\0';
  // The current directory of a drive root already ends in a backslash.
  EnsureTrailingBackslash(directory, sizeof directory);
  ReplaceSpan(path, size, 0, 0, directory);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

FolderLookups::Entry* FindLookup(FolderLookups* lookups, const char* searched) {
  for (int i = 0; i < lookups->count; ++i) {
    if (strcmp(lookups->entries[i].searched, searched) == 0) return &lookups->entries[i];
  }
  return nullptr;
}

FolderLookups::Entry* FreeLookup(FolderLookups* lookups) {
  if (lookups->count < FolderLookups::kEntries) return &lookups->entries[lookups->count++];
  FolderLookups::Entry* oldest = &lookups->entries[0];
  for (FolderLookups::Entry& entry : lookups->entries) {
    if (entry.lastUse < oldest->lastUse) oldest = &entry;
  }
  return oldest;
}

// The directory search for the path as it stands (cut after the component to look up);
// true with the entry when the file system found it.
bool LookUpComponent(const char* searched, FindEntry* entry, FolderLookups* lookups) {
  size_t length = strlen(searched);
  bool kept = lookups != nullptr && length < sizeof lookups->entries[0].searched;
  if (kept) {
    FolderLookups::Entry* known = FindLookup(lookups, searched);
    if (known != nullptr) {
      known->lastUse = ++lookups->clock;
      if (!known->found) return false;
      memcpy(entry->name, known->name, sizeof entry->name);
      memcpy(entry->shortName, known->shortName, sizeof entry->shortName);
      return true;
    }
  }
  SearchHandle search = Sys().FindFirst(searched, entry);
  bool found = search != kNoSearch;
  if (found) Sys().FindEnd(search);
  entry->name[sizeof entry->name - 1] = '\0';
  entry->shortName[sizeof entry->shortName - 1] = '\0';
  if (kept) {
    FolderLookups::Entry* slot = FreeLookup(lookups);
    memcpy(slot->searched, searched, length + 1);
    slot->found = found;
    static_assert(sizeof slot->name == sizeof entry->name, "the long name field matches");
    static_assert(sizeof slot->shortName == sizeof entry->shortName, "the 8.3 field matches");
    memcpy(slot->name, entry->name, sizeof slot->name);
    memcpy(slot->shortName, entry->shortName, sizeof slot->shortName);
    slot->lastUse = ++lookups->clock;
  }
  return found;
}

}  // namespace

void ForgetFolderLookups(FolderLookups* lookups) {
  lookups->count = 0;
  lookups->clock = 0;
}

void MakeFullPath(char* path, size_t size) {
  if (path == nullptr || size < 2 || path[0] == '\0') return;
  bool rooted = path[0] == '\\' || (IsAsciiLetter(path[0]) && path[1] == ':');
  if (!rooted) PrefixCurrentDirectory(path, size);
}

bool NormalizePath(char* path, size_t size, bool longForm, FolderLookups* lookups) {
  if (path == nullptr || size < 2) return false;
  path[size - 1] = '\0';

  // A path without '~' holds no short component, so its long form is itself.
  if (longForm && FindChar(path, '~') == nullptr) return true;

  if (FindChar(path, '\\') == nullptr) PrefixCurrentDirectory(path, size);

  if (IsAsciiLetter(path[0]) && path[1] == ':') path[0] = UpperAscii(path[0]);

  bool found = true;
  size_t position = 0;
  if (path[0] == '\\' && path[1] == '\\') position = SkipComponent(path, 2);  // the server
  position = SkipComponent(path, position);  // the drive or the share

  while (path[position] != '\0') {
    size_t end = position;
    while (path[end] != '\0' && path[end] != '\\')
      end = static_cast<size_t>(NextChar(path + end) - path);

    // An empty component (a doubled backslash) names nothing to look up. A wildcard
    // component is a pattern, not a name: replacing it by the first match would make the
    // path name one file where the caller meant all of them.
    bool lookUp = end > position;
    for (size_t i = position; i < end && lookUp; ++i) {
      if (path[i] == '*' || path[i] == '?') lookUp = false;
    }
    if (lookUp) {
      char saved = path[end];
      path[end] = '\0';
      FindEntry entry = {};
      bool hit = LookUpComponent(path, &entry, lookups);
      path[end] = saved;
      if (hit) {
        const char* replacement =
            (longForm || entry.shortName[0] == '\0') ? entry.name : entry.shortName;
        size_t newLength = strlen(replacement);
        ReplaceSpan(path, size, position, end, replacement);
        end = position + newLength;
        if (end > size - 1) end = size - 1;
      } else {
        found = false;
      }
    }
    position = end;
    if (path[position] == '\\') ++position;
  }
  return found;
}

bool CutToParentFolder(char* path) {
  if (strlen(path) <= 3) return false;
  char* name = FileNamePart(path);
  if (name == path) return false;
  if (name - path == 3 && path[1] == ':') {
    path[3] = '\0';
  } else {
    name[-1] = '\0';
  }
  return true;
}

bool JoinPath(char* out, size_t size, const char* a, const char* b, const char* c) {
  size_t la = strlen(a), lb = strlen(b), lc = strlen(c);
  if (la + lb + lc + 1 > size) {
    out[0] = '\0';
    return false;
  }
  memcpy(out, a, la);
  memcpy(out + la, b, lb);
  memcpy(out + la + lb, c, lc);
  out[la + lb + lc] = '\0';
  return true;
}

bool IsPlainFileName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  bool onlyDots = true;
  for (const char* p = name; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\' || *p == '/' || *p == ':') return false;
    if (p[0] == '.' && p[1] == '.') return false;
    if (*p != '.') onlyDots = false;
  }
  return !onlyDots;
}

bool BuildCommandLine(char* out, size_t size, const char* program, const char* arguments) {
  bool withArguments = arguments != nullptr && arguments[0] != '\0';
  int length = snprintf(out, size, withArguments ? "\"%s\" %s" : "\"%s\"", program,
                        withArguments ? arguments : "");
  if (length < 0 || static_cast<size_t>(length) >= size) {
    if (size > 0) out[0] = '\0';
    return false;
  }
  return true;
}

char* LastBackslash(char* text) {
  char* last = nullptr;
  for (char* p = text; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\') last = p;
  }
  return last;
}

bool CanonicalPath(const char* path, char* out, size_t size) {
  char absolute[2 * kPathSize];
  absolute[0] = '\0';
  if (IsSeparator(path[0]) && IsSeparator(path[1])) {
    CopyText(absolute, sizeof absolute, path);
  } else if (path[0] != '\0' && path[1] == ':') {
    // "C:" and "C:name" (relative to the drive's current directory, which is not known
    // here) are taken as rooted: treating too much as the root errs toward protection.
    absolute[0] = path[0];
    absolute[1] = ':';
    absolute[2] = '\\';
    absolute[3] = '\0';
    AppendText(absolute, sizeof absolute, path + 2);
  } else {
    char current[kPathSize] = {};
    Sys().GetCurrentDir(current, sizeof current);
    current[sizeof current - 1] = '\0';
    if (IsSeparator(path[0])) {
      // Rooted on the current drive.
      current[2] = '\0';
      CopyText(absolute, sizeof absolute, current);
    } else {
      CopyText(absolute, sizeof absolute, current);
      AppendText(absolute, sizeof absolute, "\\");
    }
    AppendText(absolute, sizeof absolute, path);
  }
  if (strlen(absolute) + 1 >= sizeof absolute) return false;

  // The root: "X:" or "\\server\share".
  size_t used = 0;
  const char* p = absolute;
  if (IsSeparator(p[0]) && IsSeparator(p[1])) {
    out[used++] = '\\';
    out[used++] = '\\';
    p += 2;
    for (int part = 0; part < 2; ++part) {
      if (part == 1) {
        if (used + 1 >= size) return false;
        out[used++] = '\\';
      }
      while (*p != '\0' && !IsSeparator(*p)) {
        const char* next = NextChar(p);
        while (p < next) {
          if (used + 1 >= size) return false;
          out[used++] = *p++;
        }
      }
      while (IsSeparator(*p)) ++p;
    }
  } else {
    if (size < 3) return false;
    out[used++] = UpperAscii(p[0]);
    out[used++] = ':';
    p += 2;
  }
  const size_t rootLength = used;

  // Components, each appended as "\name"; ".." takes the last one back off.
  while (*p != '\0') {
    while (IsSeparator(*p)) ++p;
    if (*p == '\0') break;
    const char* start = p;
    while (*p != '\0' && !IsSeparator(*p)) p = NextChar(p);
    size_t length = static_cast<size_t>(p - start);
    // Trailing dots and blanks are dropped by the file system ("WINDOWS." is WINDOWS).
    while (length > 0 && (start[length - 1] == '.' || start[length - 1] == ' ')) {
      if (length == 2 && start[0] == '.' && start[1] == '.') break;
      --length;
    }
    if (length == 0) continue;  // ".", "...", or blanks only
    if (length == 1 && start[0] == '.') continue;
    if (length == 2 && start[0] == '.' && start[1] == '.') {
      // Back to the last separator, found forwards: from the end, the second byte of a
      // double-byte character could pass for one.
      out[used] = '\0';
      char* last = LastBackslash(out + rootLength);
      used = last != nullptr ? static_cast<size_t>(last - out) : rootLength;
      continue;
    }
    if (used + 1 + length + 1 > size) return false;
    out[used++] = '\\';
    memcpy(out + used, start, length);
    used += length;
  }
  out[used] = '\0';
  if (used == rootLength) return true;
  NormalizePath(out, size, true);
  while (strlen(out) > rootLength && EndsWithBackslash(out)) out[strlen(out) - 1] = '\0';
  return true;
}
