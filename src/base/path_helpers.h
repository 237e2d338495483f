// Path helpers used by the whole program: the existence test, the double-byte-safe
// character search, the file-name and folder parts, joining, the conversion of a path to
// its long or its short (8.3) form, and the canonical form in which two names of one
// directory compare equal. Every step over a path walks whole characters, so a backslash
// byte inside a double-byte character is never taken for a separator.
#pragma once

#include <cstddef>
#include <cstdint>

// The size of a path buffer (MAX_PATH).
constexpr size_t kPathSize = 260;

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

// What NormalizePath found when it looked a folder up, kept so that a run of conversions
// of paths under the same folders searches each folder once: a directory search is a
// round trip to the file system (under Wine to its server), and the loader converts every
// directory the log created, most of them sharing their first folders. Only for a stretch
// of work in which no folder on the way is created, renamed or removed. When it is full,
// the entry used longest ago makes room.
struct FolderLookups {
  static constexpr int kEntries = 64;
  struct Entry {
    char searched[kPathSize];  // the path up to the component, as it was searched for
    bool found;
    char name[kPathSize];
    char shortName[14];
    uint32_t lastUse;
  };
  Entry entries[kEntries];
  int count = 0;
  uint32_t clock = 0;
};

// Empties lookups (before a stretch of conversions begins).
void ForgetFolderLookups(FolderLookups* lookups);

// Converts path (a buffer of size bytes, normally 256) in place into its long form
// (longForm true; only paths containing '~' change) or its short 8.3 form. Components the
// file system does not find stay as written, and the result is then false. Never writes
// past size. With lookups, a folder searched for before (in either direction) is taken
// from there.
bool NormalizePath(char* path, size_t size, bool longForm, FolderLookups* lookups = nullptr);

// Puts the current directory in front of a path relative to it (one that starts with
// neither a drive nor a backslash); other paths stay as they are. Never writes past size.
void MakeFullPath(char* path, size_t size);

// Cuts the file name off, keeping the folder and its trailing backslash ("C:\\A\\B.TXT"
// gives "C:\\A\\"); a path without a backslash becomes empty.
void KeepFolderPart(char* path);

// Cuts path at its last backslash ("C:\\A\\B.TXT" gives "C:\\A"); false, and path
// unchanged, when it holds no backslash.
bool CutAtLastBackslash(char* path);

// Cuts path back to its parent folder (a drive's parent is its root, "C:\\"); false when
// it has none.
bool CutToParentFolder(char* path);

// Position of the last backslash of text, or null.
char* LastBackslash(char* text);

// True when the last character of path is a backslash. In a double-byte code page the
// second byte of a character may be the backslash's byte (0x83 0x5C is one character in
// code page 932), so the bytes are stepped as characters, never read from the end.
bool EndsWithBackslash(const char* path);

// Appends a backslash unless path already ends in one (an empty path becomes "\\").
// Never writes past size.
void EnsureTrailingBackslash(char* path, size_t size);

// Drops one trailing backslash, if there is one.
void DropTrailingBackslash(char* path);

// Joins a + b + c into out; false (and out empty) when the result would not fit, so that
// a caller never acts on a cut path that names something else.
bool JoinPath(char* out, size_t size, const char* a, const char* b, const char* c);

// True for a name that can only name a file in the folder it is joined to: not empty, no
// backslash or slash, no drive's colon, no "..", not only dots. A name read from a log that
// fails this could reach another folder ("..\Users\Public\thesis.doc").
bool IsPlainFileName(const char* name);

// The command line that starts program with arguments (null or empty: none): the program's
// path in quotation marks, so that a path with blanks (a volume without short names has
// them even in short form) cannot be read as "C:\Program.exe" and the rest. False (and
// out empty) when the line would not fit: a cut line would start something else.
bool BuildCommandLine(char* out, size_t size, const char* program, const char* arguments);

// Brings path to the one form in which two names of the same directory compare equal:
// absolute, backslashes only, no empty, "." or ".." components, no trailing dots or blanks
// on a component (the file system drops them), long names, no trailing backslash. A drive
// root becomes "C:" and a share root "\\\\server\\share". Returns false when the path
// does not fit out.
bool CanonicalPath(const char* path, char* out, size_t size);
