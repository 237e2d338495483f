// Registry removal: a created value with its key and the parents that became empty, whole
// key trees, and the database engine's keys when this application was their last user.
// Nothing here is reported: a key that cannot be opened or deleted is left.
#include "uninstall/registry_removal.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/message_text.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/run_journal.h"
#include "platform/platform.h"
#include "resource.h"
#include "uninstall/shared_dlls.h"

namespace {

constexpr uint32_t kKeyAccess =
    kKeyQueryValue | kKeySetValue | kKeyCreateSubKey | kKeyEnumerateSubKeys | kKeyNotify;  // 0x1F
constexpr uint32_t kNameSize = 256;
constexpr size_t kChildPathSize = 400;
// A child that will not go is tried again at most this often before its parent gives up.
constexpr int kTreeAttempts = 2048;

constexpr char kEngineKey[] = "Software\\Borland\\Database Engine";
constexpr char kEngineLibraryKey[] = "Software\\Borland\\BLW32";
constexpr char kEngineParentKey[] = "Software\\Borland";
constexpr char kEngineServerClass[] = "IB_Server";
// The engine's use count in the run's journal, where no file's path can look like it.
constexpr char kEngineFact[] = "<database engine>";
constexpr int kRootLocalMachine = 2;

// A name that does not fit the buffer still exists: the enumeration then reports
// kErrMoreData, and a key holding such a value or subkey is not empty.
// Cuts keyPath at its last backslash; a path without one becomes empty.
void CutToParent(char* keyPath) {
  char* last = nullptr;
  for (char* p = keyPath; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\') last = p;
  }
  if (last != nullptr) {
    *last = '\0';
  } else {
    keyPath[0] = '\0';
  }
}

// Reads the engine's use count: REG_SZ decimal text, REG_DWORD, or a four-byte REG_BINARY.
bool ReadUseCount(RegHandle key, int32_t* count) {
  unsigned char data[kNameSize + 1] = {};
  uint32_t type = 0;
  uint32_t size = kNameSize;
  if (Sys().RegQuery(key, "UseCount", &type, data, &size) != 0 || size > kNameSize) return false;
  if (type == kRegSz) {
    data[size] = '\0';
    *count = ReadDecimal(reinterpret_cast<const char*>(data));
    return true;
  }
  if ((type == kRegDword && size >= 4) || (type == kRegBinary && size == 4)) {
    *count = static_cast<int32_t>(
        static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
        (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24));
    return true;
  }
  return false;
}

// The count goes back as text whatever type it had, as the engine's own installer writes it.
void WriteUseCount(RegHandle key, int32_t count) {
  char text[16];
  snprintf(text, sizeof text, "%d", static_cast<int>(count));
  Sys().RegSet(key, "UseCount", kRegSz, text, static_cast<uint32_t>(strlen(text) + 1));
}

// True when the user chose Abort while the engine's local server was running.
bool WaitForServerToStop() {
  while (Sys().TopWindowOfClassExists(kEngineServerClass)) {
    char text[512];
    char caption[256];
    MessageText(IDS_ENGINE_SERVER_RUNNING, text, sizeof text);
    MessageText(IDS_UNINSTALL_CAPTION, caption, sizeof caption);
    int answer = Ui().AskMessage(gRun.wizardWindow, text, caption, kMbAbortRetryIgnore);
    if (answer == kIdRetry) continue;
    if (answer == kIdIgnore) return false;
    // Abort, or a box that could not be shown: the keys stay and the uninstall stops
    // rather than pull the engine from under a running server.
    return true;
  }
  return false;
}

}  // namespace

OpenKeyCache::~OpenKeyCache() {
  for (Entry& e : entries_) {
    if (e.handle != 0) Sys().RegClose(e.handle);
  }
}

RegHandle OpenKeyCache::Open(int root, const char* path) {
  if (strnlen(path, kLogLineSize) >= kLogLineSize) return 0;
  Entry* victim = &entries_[0];
  for (Entry& e : entries_) {
    if (e.handle != 0 && e.root == root && strcmp(e.path, path) == 0) {
      e.lastUse = ++clock_;
      return e.handle;
    }
    if (e.handle == 0 || (victim->handle != 0 && e.lastUse < victim->lastUse)) victim = &e;
  }
  RegHandle key = 0;
  if (Sys().RegOpen(RegistryRoot(root), path, kKeyAccess, &key) != 0) return 0;
  if (victim->handle != 0) Sys().RegClose(victim->handle);
  victim->root = root;
  CopyText(victim->path, sizeof victim->path, path);
  victim->handle = key;
  victim->lastUse = ++clock_;
  return key;
}

void OpenKeyCache::Forget(int root, const char* path) {
  for (Entry& e : entries_) {
    if (e.handle == 0 || e.root != root || CompareNoCase(e.path, path) != 0) continue;
    Sys().RegClose(e.handle);
    e.handle = 0;
  }
}

void RemoveCreatedKey(int root, char* keyPath, size_t keyPathSize, const char* valueName,
                      OpenKeyCache* openKeys) {
  RegHandle rootKey = RegistryRoot(root);
  if (rootKey == 0 || keyPath == nullptr || keyPathSize == 0) return;
  keyPath[keyPathSize - 1] = '\0';
  if (valueName == nullptr) valueName = "";
  OpenKeyCache ownKeys;
  OpenKeyCache& keys = openKeys != nullptr ? *openKeys : ownKeys;

  // An empty path would name the root itself, which is never the installation's to
  // delete; the walk stops before reaching it.
  bool firstTime = true;
  while (keyPath[0] != '\0') {
    RegHandle key = keys.Open(root, keyPath);
    if (key == 0) {
      // A run that finishes an interrupted one finds keys gone that the killed run removed
      // before it got to their parents: the parents are still looked at. Otherwise a
      // missing key ends the walk.
      if (!JournalResumed()) return;
      CutToParent(keyPath);
      firstTime = false;
      continue;
    }
    if (firstTime) Sys().RegRemoveValue(key, valueName);
    bool hasValues = true;
    bool hasSubkeys = true;
    // A key whose contents cannot be told counts as holding something: it stays.
    if (Sys().RegHoldsEntries(key, &hasValues, &hasSubkeys) != 0 || hasValues || hasSubkeys) {
      return;
    }
    keys.Forget(root, keyPath);  // no handle of ours outlives the key
    Sys().RegRemoveKey(rootKey, keyPath);
    CutToParent(keyPath);
    firstTime = false;
  }
}

int DeleteKeyTree(int root, const char* key) {
  RegHandle rootKey = RegistryRoot(root);
  // An empty key names the whole root: a log never gets to delete that.
  if (rootKey == 0 || key == nullptr || key[0] == '\0') return kErrInvalidParameter;
  const size_t keyLength = strlen(key);

  // Children are read at index `skipped`: each child that cannot be handled (its path
  // would not fit the 400-byte buffer, or it would not go) is stepped over, so the walk
  // goes on with its siblings and never retries what already failed. A skipped child
  // keeps this key, whose deletion then fails.
  uint32_t skipped = 0;
  for (int attempt = 0; attempt < kTreeAttempts; ++attempt) {
    RegHandle handle = 0;
    if (Sys().RegOpen(rootKey, key, kKeyAccess, &handle) != 0) break;
    char name[kNameSize];
    uint32_t nameSize = kNameSize;
    int result = Sys().RegEnumKeyAt(handle, skipped, name, &nameSize);
    Sys().RegClose(handle);
    if (result == kErrMoreData) {
      ++skipped;  // a name longer than the buffer: it could not be named to delete it
      continue;
    }
    if (result != 0) break;
    name[kNameSize - 1] = '\0';

    // The child path is built only when key + "\" + name and the terminator fit.
    size_t nameLength = strlen(name);
    if (keyLength + 1 + nameLength + 1 > kChildPathSize) {
      ++skipped;
      continue;
    }
    char child[kChildPathSize];
    memcpy(child, key, keyLength);
    child[keyLength] = '\\';
    memcpy(child + keyLength + 1, name, nameLength + 1);
    if (DeleteKeyTree(root, child) != 0) ++skipped;
  }
  return Sys().RegRemoveKey(rootKey, key);
}

int ReleaseDatabaseEngine() {
  RegHandle rootKey = RegistryRoot(kRootLocalMachine);
  RegHandle key = 0;
  if (Sys().RegOpen(rootKey, kEngineKey, kKeyAccess, &key) != 0) return 0;
  int32_t count = 0;
  bool counted = ReadUseCount(key, &count) && count > 0;

  // The count is taken back once over a killed run and the next: a noted count is brought
  // to what the killed run wrote, and a removal it began is finished; a count someone else
  // changed since is left alone.
  SharedFact noted;
  if (FindSharedFact(kEngineFact, &noted)) {
    bool untouched = counted && count == noted.before;
    if (noted.after >= 1 || (counted && !untouched)) {
      if (untouched) WriteUseCount(key, noted.after);
      Sys().RegClose(key);
      return 0;
    }
  } else {
    if (!counted) {
      Sys().RegClose(key);
      return 0;
    }
    if (count >= 2) {
      // Other applications still use the engine.
      NoteSharedFact(kEngineFact, SharedFact{count, count - 1, kSharedKeep});
      WriteUseCount(key, count - 1);
      Sys().RegClose(key);
      return 0;
    }
    NoteSharedFact(kEngineFact, SharedFact{count, 0, kSharedRemove});
  }

  // This application is the engine's last user.
  if (WaitForServerToStop()) {
    Sys().RegClose(key);
    return kRunAborted;
  }
  Sys().RegClose(key);
  DeleteKeyTree(kRootLocalMachine, kEngineKey);
  DeleteKeyTree(kRootLocalMachine, kEngineLibraryKey);

  RegHandle parent = 0;
  if (Sys().RegOpen(rootKey, kEngineParentKey, kKeyAccess, &parent) != 0) return 0;
  bool hasValues = true;
  bool hasSubkeys = true;
  bool empty =
      Sys().RegHoldsEntries(parent, &hasValues, &hasSubkeys) == 0 && !hasValues && !hasSubkeys;
  Sys().RegClose(parent);
  if (empty) Sys().RegRemoveKey(rootKey, kEngineParentKey);
  return 0;
}
