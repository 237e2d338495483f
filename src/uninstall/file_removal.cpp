// File and directory removal: the delete with its fallback to deletion at the next
// restart, help-file companions, wildcard patterns, directory trees, and the test that
// keeps the system's own directories out of reach whatever form a logged path takes.
//
// A log is outside input: a path in it may be written in short or long form, with "."
// and ".." components or a trailing backslash, and may name a directory that is a link
// to somewhere else. Everything here that deletes more than one named file first brings
// the path to one canonical form and never walks through a reparse point.
#include "uninstall/file_removal.h"

#include <cstring>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "engine/restart_deletion.h"
#include "log/item_store.h"
#include "log/run_journal.h"
#include "platform/platform.h"
#include "uninstall/deferred.h"
#include "uninstall/path_set.h"

namespace {

// SHChangeNotify arguments.
constexpr int32_t kShellEventRmdir = 0x10;        // SHCNE_RMDIR
constexpr int32_t kShellEventUpdateDir = 0x1000;  // SHCNE_UPDATEDIR
constexpr uint32_t kShellPathAnsi = 0x1;          // SHCNF_PATHA

void NotifyShell(int32_t event, const char* path) {
  if (gRun.newShell && gRun.hasShellNotify) {
    Sys().CallShellChangeNotify(gRun.shellLibrary, event, kShellPathAnsi, path);
  }
}

// The shell hears of removals per folder and once, when FlushShellNotifications comes, not
// per file as they happen: a notification costs milliseconds (the shell resolves the path
// each time), which for an application of tens of thousands of files would outweigh the
// deletions themselves. Folders that lost files and folders removed are gathered until then.
PathSet gShellFolders;    // folders whose files were deleted
PathSet gRemovedFolders;  // folders removed with RemoveOneDirectory

bool ShellListens() { return gRun.newShell && gRun.hasShellNotify; }

// Adds path to set, telling the shell what has gathered first when the set is full.
void Gather(PathSet& set, const char* path) {
  if (set.Add(path)) return;
  FlushShellNotifications();
  set.Add(path);
}

void NoteDeletedFile(const char* path) {
  if (!ShellListens()) return;
  char folder[kPathSize];
  CopyText(folder, sizeof folder, path);
  CutAtLastBackslash(folder);
  Gather(gShellFolders, folder);
}

// Cuts path back to the nearest folder, itself included, that is still there.
void ToNearestExistingFolder(char* path) {
  while (Sys().GetAttributes(path) == kNoAttributes && CutToParentFolder(path)) {
  }
}

// True when path or a folder above it was removed in this batch.
bool InRemovedFolder(const char* path) {
  char folder[kPathSize];
  CopyText(folder, sizeof folder, path);
  do {
    if (gRemovedFolders.Contains(folder)) return true;
  } while (CutToParentFolder(folder));
  return false;
}

// True when the long form of path is the program's own file.
bool IsOwnFile(const char* path) {
  char longForm[kPathSize];
  CopyText(longForm, sizeof longForm, path);
  NormalizePath(longForm, sizeof longForm, true);
  return !gRun.modulePath.Empty() && EqualNoCase(longForm, gRun.modulePath.c_str());
}

// Number of components after the root of a canonical path.
int ComponentCount(const char* canonical) {
  const char* p = canonical;
  int skip = 0;
  if (p[0] == '\\' && p[1] == '\\') {
    p += 2;
    skip = 1;  // the backslash between server and share
  }
  int count = 0;
  for (; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\') ++count;
  }
  return count - skip;
}

bool SameDirectory(const char* canonical, const char* other) {
  if (other == nullptr || other[0] == '\0') return false;
  char canonicalOther[kPathSize];
  if (!CanonicalPath(other, canonicalOther, sizeof canonicalOther)) return false;
  return EqualNoCase(canonical, canonicalOther);
}

// True when the last component of a pattern lists every file ("*", "*.*", "**.*"...).
bool MatchesEveryFile(const char* pattern) {
  const char* name = FileNamePart(pattern);
  if (const char* slash = strrchr(name, '/')) name = slash + 1;
  bool star = false;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '*') {
      star = true;
    } else if (*p != '.') {
      return false;
    }
  }
  return star;
}

bool HasWildcard(const char* path) {
  return FindChar(path, '*') != nullptr || FindChar(path, '?') != nullptr;
}

// True when a directory above the named one is a link. A tree reached through a link may
// be one of the protected directories under another name, which the comparison of names
// cannot see.
bool ReachedThroughLink(const char* directory) {
  char canonical[kPathSize];
  if (!CanonicalPath(directory, canonical, sizeof canonical)) return true;
  char* start = canonical;
  if (start[0] == '\\' && start[1] == '\\') {
    // Skip the server and the share: they are not directories of this machine.
    start += 2;
    for (int part = 0; part < 2 && *start != '\0'; ++part) {
      while (*start != '\0' && *start != '\\') start = NextChar(start);
      if (part == 0 && *start == '\\') ++start;
    }
  } else {
    start += 2;  // "X:"
  }
  // Each ancestor in turn: cut the path at the next backslash after the first component.
  char* p = start;
  if (*p == '\\') ++p;
  for (; *p != '\0'; p = NextChar(p)) {
    if (*p != '\\') continue;
    *p = '\0';
    uint32_t attributes = Sys().GetAttributes(canonical);
    *p = '\\';
    if (attributes != kNoAttributes && (attributes & kAttrReparsePoint)) return true;
  }
  return false;
}

bool IsLinkOrBelowLink(const char* directory) {
  uint32_t attributes = Sys().GetAttributes(directory);
  if (attributes != kNoAttributes && (attributes & kAttrReparsePoint)) return true;
  return ReachedThroughLink(directory);
}

}  // namespace

bool IsProtectedDirectory(const char* directory) {
  // Anything that cannot be read as a directory below a root is refused.
  if (directory == nullptr || strlen(directory) < 4) return true;
  char canonical[kPathSize];
  if (!CanonicalPath(directory, canonical, sizeof canonical)) return true;
  if (ComponentCount(canonical) < 1) return true;  // a drive or share root

  char windowsDir[kPathSize] = {};
  char systemDir[kPathSize] = {};
  // When the system cannot say where its directories are, nothing can be told apart from
  // them.
  if (Sys().WindowsDirectory(windowsDir, sizeof windowsDir) <= 0 ||
      Sys().SystemDirectory(systemDir, sizeof systemDir) <= 0) {
    return true;
  }
  windowsDir[sizeof windowsDir - 1] = '\0';
  systemDir[sizeof systemDir - 1] = '\0';
  return SameDirectory(canonical, windowsDir) || SameDirectory(canonical, systemDir) ||
         SameDirectory(canonical, gRun.programFilesDir.c_str()) ||
         SameDirectory(canonical, gStore.systemDirPath.c_str());
}

namespace {

// The delete itself: notes when the file is the program's own (*ownFile too), deletes it,
// and gathers its folder for the shell. True when it was deleted.
bool DeleteAndNote(const char* path, bool* ownFile) {
  *ownFile = IsOwnFile(path);
  if (*ownFile) gRun.selfDeletePending = true;
  if (Sys().RemoveFile(path) != 0) return false;
  NoteDeletedFile(path);
  return true;
}

}  // namespace

int DeleteFileNow(const char* path) {
  bool ownFile = false;
  if (DeleteAndNote(path, &ownFile)) return 0;
  // A failed delete leaves the file as it was, so asking now whether it exists answers as
  // asking before would, and a successful delete needs no second call.
  if (!gStore.deleteInUse || !FileExists(path)) return 1;
  // The program's own file is removed by the clean-up run of its temporary copy.
  if (ownFile) return 1;
  // Noted first: a run started again that puts a backup back over the file must know that
  // the restart would take it.
  NoteRestartDeletion(path);
  ScheduleDelete(path);
  return 1;
}

void RemoveFileAndCompanions(const char* path) {
  // The delete is tried before the attributes are looked at: almost no file carries any
  // that stand in the way, and a second call per file is a noticeable part of a large
  // uninstall. Only a file that refused has them cleared and goes through the whole
  // delete, with its in-use handling.
  // The companions go first: a run killed between the two and started again finds the
  // file still there, and so comes back to them; the other way round it would pass over
  // the missing file and leave them for good.
  char companion[kPathSize];
  for (int i = 0; HelpFileCompanion(path, i, companion, sizeof companion); ++i) {
    DeleteFileNow(companion);
  }
  bool ownFile = false;
  if (!DeleteAndNote(path, &ownFile)) {
    uint32_t attributes = Sys().GetAttributes(path);
    if (attributes != kNoAttributes) {
      if (attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem))
        Sys().SetAttributes(path, kAttrNormal);
      DeleteFileNow(path);
    }
  }
}

bool HelpFileCompanion(const char* path, int index, char* out, size_t size) {
  static const char* const kCompanionExtensions[] = {".GID", ".FTS"};
  size_t length = strlen(path);
  if (index < 0 || index >= 2 || length <= 4 || length >= size ||
      !EqualNoCase(path + length - 4, ".HLP")) {
    return false;
  }
  memcpy(out, path, length - 4);
  memcpy(out + length - 4, kCompanionExtensions[index], 5);
  return true;
}

namespace {

// True when the target holds the backup's copy now (not only after the restart).
bool PutBackupBack(const char* backup, const char* target) {
  // Once the copy is back, the backup goes: from then on the target must be left alone, or a
  // run started again after a kill would delete it with nothing left to put back.
  if (Sys().CopyFileTo(backup, target, false) == 0) {
    NoteBackupRestored(target);
    RemoveFileAndCompanions(backup);
    return true;
  }

  char temporary[kPathSize];
  // Never a name an interrupted run used: its move onto the target may be scheduled.
  UniqueTempName(target, temporary, sizeof temporary);
  if (temporary[0] != '\0') NoteTemporaryCopy(target, temporary);
  if (temporary[0] == '\0' || Sys().CopyFileTo(backup, temporary, false) != 0) {
    // Neither copy could be made: the installed file goes, and the backup copy stays so
    // that nothing of the original is lost.
    RemoveFileAndCompanions(target);
    return false;
  }
  // The backup copy goes only once the restart will put its duplicate in place; otherwise
  // the duplicate goes and the backup copy stays, as when no copy can be made.
  if (ScheduleReplaceAtRestart(temporary, target) != 0) {
    Sys().RemoveFile(temporary);
    RemoveFileAndCompanions(target);
    return false;
  }
  NoteBackupRestored(target);
  RemoveFileAndCompanions(backup);
  return false;
}

// A killed run may have scheduled the target's deletion at the next restart while it was in
// use; put back now, the target would go then. A copy of it goes over it after that
// deletion, so that the restart ends with what was put back.
void KeepAcrossRestart(const char* target) {
  char temporary[kPathSize];
  UniqueTempName(target, temporary, sizeof temporary);
  if (temporary[0] == '\0') return;
  NoteTemporaryCopy(target, temporary);
  if (Sys().CopyFileTo(target, temporary, false) != 0 ||
      ScheduleReplaceAtRestart(temporary, target) != 0) {
    Sys().RemoveFile(temporary);
  }
}

}  // namespace

void ScheduleReplace(const char* backup, const char* target) {
  char earlier[kPathSize];
  bool scheduledBefore =
      IsRestartDeletionNoted(target) || FindTemporaryCopy(target, 0, earlier, sizeof earlier);
  if (PutBackupBack(backup, target) && scheduledBefore) KeepAcrossRestart(target);
  // The copies an interrupted run of this log made to go over the target at the restart
  // go then, after whatever was scheduled before them: a move of one onto the target, when
  // that run got as far as scheduling it, still comes first.
  for (int n = 0; FindTemporaryCopy(target, n, earlier, sizeof earlier); ++n) {
    if (Sys().GetAttributes(earlier) != kNoAttributes) DeleteAtNextRestart(earlier);
  }
}

int RemoveFileItem(const char* path, const char* backup, bool restore) {
  // An interrupted run of this log put the backup back already; it may have been killed
  // before it deleted the backup copy.
  if (restore && IsBackupRestored(path)) {
    if (backup != nullptr && backup[0] != '\0') RemoveFileAndCompanions(backup);
    return 0;
  }
  if (!HasWildcard(path)) {
    RemoveFileAndCompanions(path);
    if (restore && backup != nullptr && backup[0] != '\0') ScheduleReplace(backup, path);
    return 0;
  }

  char directory[kPathSize];
  CopyText(directory, sizeof directory, path);
  if (strlen(path) >= sizeof directory) return kPatternRefused;
  char* slash = LastBackslash(directory);
  if (slash != nullptr) {
    slash[1] = '\0';  // keep the backslash: matches are put after it
  } else {
    directory[0] = '\0';
  }

  // The directory the pattern lists, without its backslash. A wildcard in it would let
  // the listing reach directories that were never checked.
  char bare[kPathSize];
  CopyText(bare, sizeof bare, directory);
  DropTrailingBackslash(bare);
  if (HasWildcard(bare)) return kPatternRefused;

  // The files listed in a directory that is a link, or lies below one, are the target's.
  if (bare[0] != '\0' && IsLinkOrBelowLink(bare)) return kPatternRefused;

  // A pattern that takes every file is refused for a short (root or relative) pattern and
  // for the directories that hold the system, whatever form their names take.
  if (MatchesEveryFile(path) && (strlen(path) < 4 || IsProtectedDirectory(bare)))
    return kPatternRefused;

  FindEntry entry;
  SearchHandle search = Sys().FindFirst(path, &entry);
  if (search == kNoSearch) return 0;
  do {
    entry.name[sizeof entry.name - 1] = '\0';
    if (entry.attributes & kAttrDirectory) continue;
    char match[kPathSize];
    if (!JoinPath(match, sizeof match, directory, entry.name, "")) continue;
    RemoveFileAndCompanions(match);
  } while (Sys().FindNext(search, &entry) == 0);
  Sys().FindEnd(search);
  return 0;
}

void RemoveEmptiedFolder(const char* directory) {
  // Removing a link as a directory takes the link away whatever its target holds.
  uint32_t attributes = Sys().GetAttributes(directory);
  if (attributes == kNoAttributes || (attributes & kAttrReparsePoint)) return;
  Sys().RemoveEmptyDirectory(directory);
}

int RemoveOneDirectory(const char* directory) {
  Sys().SetAttributes(directory, kAttrNormal);
  if (Sys().RemoveEmptyDirectory(directory) != 0) return 1;
  if (ShellListens()) Gather(gRemovedFolders, directory);
  return 0;
}

void RemoveDirectoryTree(const char* directoryPath, bool withFiles) {
  char directory[kPathSize];
  if (strlen(directoryPath) >= sizeof directory) return;
  CopyText(directory, sizeof directory, directoryPath);

  char filePattern[kPathSize] = "\\*.*";
  if (HasWildcard(directory)) {
    char* slash = LastBackslash(directory);
    if (slash == nullptr) return;
    CopyText(filePattern, sizeof filePattern, slash);
    *slash = '\0';
  }
  // A wildcard left in the directory part would let the listing below reach directories
  // that were never checked.
  if (HasWildcard(directory)) return;
  if (IsProtectedDirectory(directory)) return;
  // Only the deletion of files is dangerous through a link; empty directories may go.
  if (withFiles && ReachedThroughLink(directory)) return;

  // A directory that is a link (junction or symbolic link) is never entered: its contents
  // belong to its target. With files the link itself may go; it is removed as a link.
  uint32_t attributes = Sys().GetAttributes(directory);
  if (attributes != kNoAttributes && (attributes & kAttrReparsePoint)) {
    if (withFiles && Sys().RemoveEmptyDirectory(directory) == 0) {
      NotifyShell(kShellEventRmdir, directory);
    }
    return;
  }

  char listing[kPathSize];
  char child[kPathSize];
  FindEntry entry;
  if (JoinPath(listing, sizeof listing, directory, "\\*.*", "")) {
    SearchHandle search = Sys().FindFirst(listing, &entry);
    if (search != kNoSearch) {
      do {
        entry.name[sizeof entry.name - 1] = '\0';
        if (!(entry.attributes & kAttrDirectory)) continue;
        // "." and "..", and directories such as ".cache", are not entered.
        if (entry.name[0] == '.') continue;
        if (entry.attributes & kAttrReparsePoint) {
          if (withFiles && JoinPath(child, sizeof child, directory, "\\", entry.name) &&
              Sys().RemoveEmptyDirectory(child) == 0) {
            NotifyShell(kShellEventRmdir, child);
          }
          continue;
        }
        // A child whose path with the pattern does not fit is left alone, and with it
        // this directory.
        char childPattern[kPathSize];
        if (!JoinPath(child, sizeof child, directory, "\\", entry.name)) continue;
        if (!JoinPath(childPattern, sizeof childPattern, child, filePattern, "")) continue;
        RemoveDirectoryTree(childPattern, withFiles);
      } while (Sys().FindNext(search, &entry) == 0);
      Sys().FindEnd(search);
    }
  }

  if (withFiles && JoinPath(listing, sizeof listing, directory, filePattern, "")) {
    SearchHandle search = Sys().FindFirst(listing, &entry);
    if (search != kNoSearch) {
      do {
        entry.name[sizeof entry.name - 1] = '\0';
        if (entry.attributes & kAttrDirectory) continue;
        if (!JoinPath(child, sizeof child, directory, "\\", entry.name)) continue;
        // A file link goes as a link; its attributes are not touched so that the
        // target's stay as they are.
        if (!(entry.attributes & kAttrReparsePoint)) Sys().SetAttributes(child, kAttrNormal);
        DeleteFileNow(child);
      } while (Sys().FindNext(search, &entry) == 0);
      Sys().FindEnd(search);
    }
  }

  RemoveOneDirectory(directory);
}

// A removed folder is told only when the folder above it stays: the shell drops a folder's
// contents with it. A folder that lost files is told when it is still there; when it went
// with no notice (the driver removes emptied folders quietly), the nearest folder above it
// that is still there is told instead, unless a removal told of it already.
void ForgetShellNotifications() {
  gShellFolders.Clear();
  gRemovedFolders.Clear();
}

void FlushShellNotifications() {
  PathSet& updated = gShellFolders;
  PathSet& removed = gRemovedFolders;
  static PathSet survivors;
  survivors.Clear();
  for (int i = 0; i < updated.count; ++i) {
    char folder[kPathSize];
    CopyText(folder, sizeof folder, updated.paths[i].c_str());
    if (InRemovedFolder(folder)) continue;
    ToNearestExistingFolder(folder);
    // More folders than the set holds are told as they come, perhaps twice.
    if (!survivors.Add(folder)) NotifyShell(kShellEventUpdateDir, folder);
  }
  for (int i = 0; i < survivors.count; ++i)
    NotifyShell(kShellEventUpdateDir, survivors.paths[i].c_str());
  for (int i = 0; i < removed.count; ++i) {
    char parent[kPathSize];
    CopyText(parent, sizeof parent, removed.paths[i].c_str());
    if (CutToParentFolder(parent) && InRemovedFolder(parent)) continue;
    NotifyShell(kShellEventRmdir, removed.paths[i].c_str());
  }
  updated.Clear();
  removed.Clear();
}
