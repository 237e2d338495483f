// Removing what the installation added to the registry: created values with their keys
// and emptied parents, whole key trees, and the database-engine keys when this
// application was their last user.
#pragma once

#include <cstddef>
#include <cstdint>

#include "log/log_reader.h"
#include "platform/platform.h"

// Keys that created-key removals opened, kept open for the items that follow. In a pass the
// values of one key come one after another and neighbouring keys share their parents, so
// most steps find their key open already; an open and a close per step would cost more
// than the step's own question. Closes everything it holds when it goes.
class OpenKeyCache {
 public:
  OpenKeyCache() = default;
  ~OpenKeyCache();
  OpenKeyCache(const OpenKeyCache&) = delete;
  OpenKeyCache& operator=(const OpenKeyCache&) = delete;

  // The key opened with the removal's access rights, or 0 when it does not open (a path
  // longer than a log line names no key the log made). The cache owns the handle.
  RegHandle Open(int root, const char* path);
  // Closes every handle held on that key (in any letter case), as before deleting it.
  void Forget(int root, const char* path);

 private:
  struct Entry {
    int root = 0;
    // Fixed text rather than a string: the Windows program links no C++ string code,
    // which would bring the runtime's exception and thread support (and their imports
    // of calls that Windows 95 and NT 4 lack) with it.
    char path[kLogLineSize] = {};
    RegHandle handle = 0;
    uint64_t lastUse = 0;
  };
  static constexpr int kEntries = 8;
  Entry entries_[kEntries];
  uint64_t clock_ = 0;
};

// Removes the value, then its key and every parent that became empty. keyPath (a buffer
// of keyPathSize bytes) is cut back to the last key tried. With openKeys, the keys it
// opens stay open there for later calls; without, none stays open.
void RemoveCreatedKey(int root, char* keyPath, size_t keyPathSize, const char* valueName,
                      OpenKeyCache* openKeys = nullptr);

// Deletes the key with all its subkeys; returns the result of deleting the key itself.
int DeleteKeyTree(int root, const char* key);

// The result of releasing the engine when the user chose Abort: the uninstall must stop.
constexpr int kRunAborted = 1;

// Releases this application's use of the database engine; 0, or kRunAborted.
int ReleaseDatabaseEngine();
