// INI files guarded by copies while their entries are written back (ini_guard.h).
#include "uninstall/ini_guard.h"

#include <cstdlib>
#include <cstring>

#include "base/path_helpers.h"
#include "base/text.h"
#include "log/run_journal.h"
#include "platform/platform.h"
#include "uninstall/deferred.h"

namespace {

struct Guard {
  char file[kPathSize];
  char copy[kPathSize];  // empty: there is no copy (it could not be made)
  // The copy is the only whole version of a file a kill cut, and could not be put back: it
  // stays, for the user to put back, rather than go with the rest.
  bool kept;
};

// The files guarded in this run, each once: an INI pass writes to a handful of files, but a
// log may name any number.
Guard* gGuards = nullptr;
int gGuardCount = 0;
int gGuardCapacity = 0;

Guard* FindGuard(const char* file) {
  for (int i = 0; i < gGuardCount; ++i)
    if (EqualNoCase(gGuards[i].file, file)) return &gGuards[i];
  return nullptr;
}

void DeleteCopy(const char* copy) {
  Sys().SetAttributes(copy, kAttrNormal);
  Sys().RemoveFile(copy);
}

bool IsKept(const char* copy) {
  for (int i = 0; i < gGuardCount; ++i)
    if (gGuards[i].kept && EqualNoCase(gGuards[i].copy, copy)) return true;
  return false;
}

Guard* AddGuard(const char* file) {
  if (gGuardCount == gGuardCapacity) {
    int grown = gGuardCapacity == 0 ? 8 : gGuardCapacity * 2;
    void* bigger = realloc(gGuards, sizeof(Guard) * static_cast<size_t>(grown));
    if (bigger == nullptr) return nullptr;
    gGuards = static_cast<Guard*>(bigger);
    gGuardCapacity = grown;
  }
  Guard* guard = &gGuards[gGuardCount++];
  CopyText(guard->file, sizeof guard->file, file);
  guard->copy[0] = '\0';
  guard->kept = false;
  return guard;
}

// Puts back the whole copy an earlier run noted for file, and deletes the others it noted
// (cut by its kill, or made before a copy that was put back). True when there was a whole
// copy: put back, it guards this run's writes too; when it would not go back it is kept.
bool TakeOverEarlierCopy(const char* file, Guard* guard) {
  char copy[kPathSize];
  bool whole = false;
  for (int n = 0; FindIniCopy(file, n, copy, sizeof copy, &whole); ++n) {
    if (!FileExists(copy)) continue;
    if (whole && guard->copy[0] == '\0') {
      CopyText(guard->copy, sizeof guard->copy, copy);
      guard->kept = Sys().CopyFileTo(copy, file, false) != 0;
      continue;
    }
    DeleteCopy(copy);
  }
  return guard->copy[0] != '\0';
}

}  // namespace

void GuardIniFile(const char* file) {
  // A bare name is the Windows directory's to the profile functions, not the current
  // directory's where a copy would go: such a file goes unguarded.
  if (!JournalWriting() || strchr(file, '\\') == nullptr || FindGuard(file) != nullptr) return;
  Guard* guard = AddGuard(file);
  if (guard == nullptr) return;
  if (JournalResumed() && TakeOverEarlierCopy(file, guard)) return;

  char copy[kPathSize];
  UniqueTempName(file, copy, sizeof copy);
  if (copy[0] == '\0') return;
  // Noted before it is made, so that a copy cut by a kill is known and deleted; noted whole
  // before the first write, so that only a whole copy is ever put back.
  NoteIniCopy(file, copy);
  if (Sys().CopyFileTo(file, copy, true) != 0) {
    Sys().RemoveFile(copy);
    return;
  }
  NoteIniCopyWhole(copy);
  CopyText(guard->copy, sizeof guard->copy, copy);
}

void ReleaseIniGuards() {
  for (int i = 0; i < gGuardCount; ++i)
    if (gGuards[i].copy[0] != '\0' && !gGuards[i].kept) DeleteCopy(gGuards[i].copy);
  // What an earlier run left of files this run did not write to (deleted since, or not
  // chosen this time).
  char copy[kPathSize];
  bool whole = false;
  for (int n = 0; JournalResumed() && FindIniCopy(nullptr, n, copy, sizeof copy, &whole); ++n)
    if (FileExists(copy) && !IsKept(copy)) DeleteCopy(copy);
  ForgetIniGuards();
}

void ForgetIniGuards() {
  free(gGuards);
  gGuards = nullptr;
  gGuardCount = 0;
  gGuardCapacity = 0;
}
