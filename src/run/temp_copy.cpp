// The temporary copy and its restart-time deletion. The temporary directory is one that
// every program of the user can write, and an uninstaller usually runs with more rights
// than they do: a copy at a fixed name there could be replaced, or a program planted
// where it is about to be made. The copy therefore goes into a folder that this run makes
// under a name nobody can know in advance, and a folder that is already there is never
// used.
#include "run/temp_copy.h"

#include <cstdint>
#include <cstring>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/platform.h"
#include "engine/restart_deletion.h"

namespace {

constexpr char kCopyName[] = "KTM1A2B.EXE";  // the copy's name, the same in every run
// Eight characters of 32 kinds (40 bits) and ".TMP": an 8.3 name, whose short form is
// itself, so the copy's path has no more blanks than the temporary directory's.
constexpr char kFolderAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
constexpr int kFolderNameLetters = 8;
// Names already taken are passed over; this many in a row means something else is wrong.
constexpr int kFolderTries = 16;

// Makes a new folder in directory; false when none could be made.
bool MakeOwnFolder(const char* directory, char* folder, size_t size) {
  Platform& sys = Sys();
  for (int attempt = 0; attempt < kFolderTries; ++attempt) {
    uint8_t bytes[kFolderNameLetters];
    if (sys.RandomBytes(bytes, sizeof bytes) != 0) return false;
    char name[kFolderNameLetters + 5];
    for (int i = 0; i < kFolderNameLetters; ++i) name[i] = kFolderAlphabet[bytes[i] & 31];
    memcpy(name + kFolderNameLetters, ".TMP", 5);
    if (!JoinPath(folder, size, directory, name, "")) return false;
    int result = sys.MakeDirectory(folder);
    if (result == 0) return true;
    if (result != kErrAlreadyExists && result != kErrFileExists) return false;
  }
  return false;
}

}  // namespace

void MakeTempCopy() {
  gRun.inPlaceRun = false;
  gRun.tempCopyPath.Clear();

  Platform& sys = Sys();
  char directory[kPathSize] = {};
  if (sys.TempDirectory(directory, sizeof directory) == 0) return;
  EnsureTrailingBackslash(directory, sizeof directory);
  char folder[kPathSize];
  if (!MakeOwnFolder(directory, folder, sizeof folder)) return;
  // The copy's path must fit the run's path field whole: a cut path names another file.
  char copy[PathText::kCapacity];
  if (!JoinPath(copy, sizeof copy, folder, "\\", kCopyName)) {
    sys.RemoveEmptyDirectory(folder);
    return;
  }
  // The deletion is scheduled before the copy is made, so that a run killed while it copies
  // leaves nothing for good; a restart finding no copy passes over its entry.
  ScheduleTempCopyDeletion(copy);
  char own[kPathSize] = {};
  int ownLength = sys.ModuleFileName(own, sizeof own);
  if (ownLength <= 0 || static_cast<size_t>(ownLength) >= sizeof own ||
      sys.CopyFileTo(own, copy, true) != 0) {
    sys.RemoveEmptyDirectory(folder);
    return;
  }
  gRun.tempCopyPath.Set(copy);
}

void ScheduleTempCopyDeletion(const char* path) {
  if (gRun.platformKind != kPlatformNt) {
    AppendWininitDeletion(path);
    return;
  }
  Platform& sys = Sys();
  sys.MoveFileFlags(path, nullptr, kMoveDelayUntilReboot);
  // Restart-time operations run in order: the folder is empty by the time its turn comes.
  char folder[kPathSize];
  CopyText(folder, sizeof folder, path);
  if (CutAtLastBackslash(folder)) sys.MoveFileFlags(folder, nullptr, kMoveDelayUntilReboot);
}
