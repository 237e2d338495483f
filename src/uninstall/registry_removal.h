// Removing what the installation added to the registry: created values with their keys
// and emptied parents, whole key trees, and the database-engine keys when this
// application was their last user.
#pragma once

#include <cstddef>

// Removes the value, then its key and every parent that became empty. keyPath (a buffer
// of keyPathSize bytes) is cut back to the last key tried.
void RemoveCreatedKey(int root, char* keyPath, size_t keyPathSize, const char* valueName);

// Deletes the key with all its subkeys; returns the result of deleting the key itself.
int DeleteKeyTree(int root, const char* key);

// True when the user chose Abort (the uninstall must stop).
bool ReleaseDatabaseEngine();
