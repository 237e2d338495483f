// Shell link re-creation (shell_link.h).
#include "repair/shell_link.h"

#include <cstring>

#include "base/path_helpers.h"
#include "base/text.h"
#include "platform/platform.h"

namespace {

// Reads one field into out (kLinkFieldSize bytes): blanks before it skipped, up to the
// next '|' or the end, one trailing blank dropped, the '|' consumed. A missing field reads
// as empty. Returns false when the field does not fit.
bool ReadField(const char** cursor, char* out) {
  const char* p = *cursor;
  while (*p == ' ') ++p;
  // Stepped as characters: in code page 932 the second byte of ポ is the bar's byte.
  const char* end = FindChar(p, '|');
  size_t length = end != nullptr ? static_cast<size_t>(end - p) : strlen(p);
  *cursor = end != nullptr ? end + 1 : p + length;
  if (length > 0 && p[length - 1] == ' ') --length;
  if (length >= kLinkFieldSize) {
    out[0] = '\0';
    return false;
  }
  memcpy(out, p, length);
  out[length] = '\0';
  return true;
}

}  // namespace

int ReadShellLinkSpec(const char* text, ShellLinkSpec* spec) {
  memset(spec, 0, sizeof *spec);
  const char* cursor = text != nullptr ? text : "";
  char number[kLinkFieldSize];
  bool fits = ReadField(&cursor, spec->target);
  fits = ReadField(&cursor, spec->workingDirectory) && fits;
  fits = ReadField(&cursor, spec->iconPath) && fits;
  fits = ReadField(&cursor, number) && fits;
  spec->iconIndex = ReadDecimal(number);
  fits = ReadField(&cursor, number) && fits;
  spec->showCommand = ReadDecimal(number) & 7;
  fits = ReadField(&cursor, number) && fits;
  int32_t hotKey = ReadDecimal(number);
  spec->hotKey = (hotKey & 0xFF) != 0 ? static_cast<uint16_t>(hotKey & 0xFFFF) : 0;
  fits = ReadField(&cursor, spec->arguments) && fits;
  return fits ? 0 : 1;
}

void CreateFolderChain(const char* path) {
  if (path == nullptr) return;
  char folder[kPathSize];
  if (strlen(path) >= sizeof folder) return;
  CopyText(folder, sizeof folder, path);
  char* slash = FindChar(folder, '\\');
  // Each backslash after the first ends one folder of the chain; NextChar keeps the trail
  // byte of a double-byte character from being taken for one.
  for (char* p = slash; p != nullptr && *p != '\0'; p = NextChar(p)) {
    if (*p != '\\') continue;
    *p = '\0';
    if (*folder != '\0') Sys().MakeDirectory(folder);
    *p = '\\';
  }
}

int RecreateShellLink(const char* linkPath, const char* specText) {
  if (linkPath == nullptr || *linkPath == '\0') return 1;
  ShellLinkSpec spec;
  if (ReadShellLinkSpec(specText, &spec) != 0) return 1;
  CreateFolderChain(linkPath);
  ShellLinkFields fields = {};
  fields.linkPath = linkPath;
  fields.target = spec.target;
  fields.workingDirectory = spec.workingDirectory;
  fields.iconPath = spec.iconPath;
  fields.iconIndex = spec.iconIndex;
  fields.showCommand = spec.showCommand;
  fields.hotKey = spec.hotKey;
  fields.arguments = spec.arguments;
  return Sys().CreateShellLink(fields) == 0 ? 0 : 1;
}
