// Shared files counted in the registry. Every installation that uses a shared file adds
// one to its value under SharedDLLs; an uninstall takes back what this application added
// and, when nobody is left, asks whether the file may go. The value is removed once the
// count reaches zero whatever the answer, so the question is never asked twice.
#include "uninstall/shared_dlls.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/message_text.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "log/run_journal.h"
#include "platform/platform.h"
#include "resource.h"
#include "ui/progress_display.h"

namespace {

constexpr char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr uint32_t kKeyAccess =
    kKeyQueryValue | kKeySetValue | kKeyCreateSubKey | kKeyEnumerateSubKeys | kKeyNotify;  // 0x1F
constexpr uint32_t kCountDataSize = 256;

// Reads a count stored as REG_DWORD, as a REG_BINARY of four bytes, or as REG_SZ decimal
// text; false for anything else.
bool ReadCount(RegHandle key, const char* name, int32_t* count) {
  unsigned char data[kCountDataSize + 1] = {};
  uint32_t type = 0;
  uint32_t size = kCountDataSize;
  if (Sys().RegQuery(key, name, &type, data, &size) != 0) return false;
  if (size > kCountDataSize) return false;
  if ((type == kRegDword && size >= 4) || (type == kRegBinary && size == 4)) {
    *count = static_cast<int32_t>(
        static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
        (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24));
    return true;
  }
  if (type == kRegSz) {
    data[size] = '\0';  // the value may lack its terminator
    *count = ReadDecimal(reinterpret_cast<const char*>(data));
    return true;
  }
  return false;
}

int AskWhetherToRemove(const char* path) {
  char question[kActionTextSize];
  char extra[kActionTextSize];
  MessageText(IDS_SHARED_QUESTION, question, sizeof question);
  MessageText(IDS_SHARED_ADVICE, extra, sizeof extra);
  const char* arguments[] = {path};
  FillText(gRun.actionText, sizeof gRun.actionText, question, arguments, 1);
  AppendText(gRun.actionText, sizeof gRun.actionText, extra);

  // No to All is tested first: once either was chosen it decides every later question.
  if (gRun.silent || gRun.sharedNoToAll) return kSharedKeep;
  if (gRun.sharedYesToAll) return kSharedRemove;

  switch (AskFourButtonQuestion()) {
    case IDC_ANSWER_YES: return kSharedRemove;
    case IDC_ANSWER_YES_TO_ALL: gRun.sharedYesToAll = true; return kSharedRemove;
    case IDC_ANSWER_NO_TO_ALL: gRun.sharedNoToAll = true; return kSharedKeep;
    case IDC_ANSWER_NO:
    default:  // closed with Escape or the system menu
      return kSharedKeep;
  }
}

// The names the counts' key holds, read once when the key is opened. Most files of an
// installation are counted nowhere, and asking the registry about each costs a round trip
// per file (about half a second for 10,000 files under Wine); a name that is not in this
// list is not asked about. The registry compares names without regard to case: for ASCII
// that is A-Z against a-z and nothing else, so only ASCII names are kept (as hashes, a
// collision only costs a query), and a key holding any other name is always asked.
constexpr int kCountedNamesCapacity = 4096;
constexpr uint32_t kCountedNameSize = 520;
uint32_t gCountedHashes[kCountedNamesCapacity];
int gCountedCount = 0;
bool gCountedComplete = false;  // every name of the key is in gCountedHashes

// FNV-1a over the ASCII upper case; false for a name with a byte outside ASCII.
bool HashAsciiNoCase(const char* text, uint32_t* hash) {
  uint32_t h = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    if (*p >= 0x80) return false;
    unsigned char c = (*p >= 'a' && *p <= 'z') ? static_cast<unsigned char>(*p - 32) : *p;
    h = (h ^ c) * 16777619u;
  }
  *hash = h;
  return true;
}

void ForgetCountedNames() {
  gCountedCount = 0;
  gCountedComplete = false;
}

// Reading costs a call per name, so it stops (and every file is asked about) once the key
// holds more names than the files the pass may ask about.
void ReadCountedNames(RegHandle key) {
  ForgetCountedNames();
  int64_t budget = static_cast<int64_t>(gStore.PrivateFiles.count) + gStore.SystemFiles.count;
  if (budget > kCountedNamesCapacity) budget = kCountedNamesCapacity;
  for (uint32_t index = 0;; ++index) {
    char name[kCountedNameSize];
    uint32_t size = sizeof name;
    int result = Sys().RegEnumValueAt(key, index, name, &size, nullptr);
    if (result == kErrNoMoreItems) break;
    if (result != 0 || gCountedCount >= budget) return;
    name[sizeof name - 1] = '\0';
    uint32_t hash = 0;
    if (!HashAsciiNoCase(name, &hash)) return;
    gCountedHashes[gCountedCount++] = hash;
  }
  std::sort(gCountedHashes, gCountedHashes + gCountedCount);
  gCountedComplete = true;
}

// False only when the path is certainly not a name of the counts' key.
bool MayBeCounted(const char* path) {
  uint32_t hash = 0;
  if (!gCountedComplete || !HashAsciiNoCase(path, &hash)) return true;
  return std::binary_search(gCountedHashes, gCountedHashes + gCountedCount, hash);
}

// Writes a count back, always as REG_DWORD.
void WriteCount(RegHandle key, const char* path, int32_t count) {
  uint32_t value = static_cast<uint32_t>(count);
  unsigned char data[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  Sys().RegSet(key, path, kRegDword, data, sizeof data);
}

}  // namespace

// The counts' key stays open from the first file of a pass to CloseSharedCounts: a pass
// asks for every file it removes, and an open and a close per file cost more than the
// question itself.
// The machine it was opened on is kept with it, so that a handle never outlives its
// machine (tests run many machines in one process).
RegHandle gSharedKey = 0;
Platform* gSharedKeyMachine = nullptr;
// The key was not there when the pass first looked: nothing in the pass creates it, so no
// file of the pass is counted and it is not looked for again (a look per file is a round
// trip to the registry each).
bool gSharedKeyMissing = false;

void CloseSharedCounts() {
  if (gSharedKey != 0 && gSharedKeyMachine == &Sys()) Sys().RegClose(gSharedKey);
  gSharedKey = 0;
  gSharedKeyMachine = nullptr;
  gSharedKeyMissing = false;
  ForgetCountedNames();
}

void ForgetSharedCounts() {
  gSharedKey = 0;
  gSharedKeyMachine = nullptr;
  gSharedKeyMissing = false;
  ForgetCountedNames();
}

namespace {

// The count a killed run took back: its write may not have reached the registry. The value
// still holding the count before is brought to the count after; any other value was changed
// since by someone else and is left as it is.
int CompleteTakenCount(const char* path, const SharedFact& taken) {
  RegHandle key = gSharedKey;
  int32_t count = 0;
  if (key != 0 && ReadCount(key, path, &count) && count == taken.before) {
    if (taken.after >= 1) {
      WriteCount(key, path, taken.after);
    } else {
      Sys().RegRemoveValue(key, path);
    }
  }
  return taken.answer;
}

}  // namespace

int ReleaseSharedFile(const char* path, int decrement) {
  if (!gRun.newShell) return kSharedNotCounted;
  if (gSharedKeyMachine != &Sys()) {
    gSharedKey = 0;
    gSharedKeyMissing = false;
  }
  gSharedKeyMachine = &Sys();
  if (gSharedKeyMissing) return kSharedNotCounted;
  if (gSharedKey == 0) {
    if (Sys().RegOpen(RegistryRoot(2), kSharedDllsKey, kKeyAccess, &gSharedKey) != 0) {
      gSharedKey = 0;
      gSharedKeyMissing = true;
      return kSharedNotCounted;
    }
    ReadCountedNames(gSharedKey);
  }
  // A count an interrupted run of this log took back is not taken again: the machine is
  // brought to what that run wrote, and its answer stands.
  SharedFact noted;
  if (FindSharedFact(path, &noted)) return CompleteTakenCount(path, noted);
  if (!MayBeCounted(path)) return kSharedNotCounted;
  RegHandle key = gSharedKey;
  int32_t count = 0;
  if (!ReadCount(key, path, &count) || count <= 0) return kSharedNotCounted;

  // A rollback undoes one installation, whatever number of sections counted the file.
  int64_t taken = gRun.rollbackChosen ? 1 : decrement;
  int64_t newCount = static_cast<int64_t>(count) - taken;
  if (newCount < 0) newCount = 0;
  if (newCount > INT32_MAX) newCount = INT32_MAX;

  if (newCount >= 1) {
    NoteSharedFact(path, SharedFact{count, static_cast<int32_t>(newCount), kSharedKeep});
    WriteCount(key, path, static_cast<int32_t>(newCount));
    return kSharedKeep;
  }

  int answer = AskWhetherToRemove(path);
  NoteSharedFact(path, SharedFact{count, 0, answer});
  Sys().RegRemoveValue(key, path);
  return answer;
}
