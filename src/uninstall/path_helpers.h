// Path helpers used by the whole program: the existence test, the double-byte-safe
// character search, the file-name part, and the conversion of a path to its long or its
// short (8.3) form.
#pragma once

#include <cstddef>

// True when the platform reports attributes for the path.
bool FileExists(const char* path);

// First occurrence of c in text, stepping over double-byte characters, or null.
const char* FindChar(const char* text, char c);
inline char* FindChar(char* text, char c) {
  return const_cast<char*>(FindChar(static_cast<const char*>(text), c));
}

// Position just after the last backslash, or the start when there is none; a path ending
// in a backslash yields its end.
const char* FileNamePart(const char* path);
inline char* FileNamePart(char* path) {
  return const_cast<char*>(FileNamePart(static_cast<const char*>(path)));
}

// Converts path (a buffer of size bytes, normally 256) in place into its long form
// (longForm true; only paths containing '~' change) or its short 8.3 form. Components the
// file system does not find stay as written. Never writes past size.
void NormalizePath(char* path, size_t size, bool longForm);

// Puts the current directory in front of a path relative to it (one that starts with
// neither a drive nor a backslash); other paths stay as they are. Never writes past size.
void MakeFullPath(char* path, size_t size);
