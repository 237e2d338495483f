// Tree find-or-insert and lookup for the four tree-indexed lists. The walk is iterative: a
// log written in an unlucky order degenerates a tree into a chain thousands deep.
#include "log/item_tree.h"

#include <cstring>

#include "base/text.h"

int ReverseCompare(const char* stored, const char* sought) {
  return ReverseCompareLength(stored, strlen(stored), sought, strlen(sought));
}

int ReverseCompareLength(const char* stored, size_t i, const char* sought, size_t j) {
  while (i > 0 && j > 0) {
    --i;
    --j;
    // Paths share long endings; equal bytes need no folding.
    if (stored[i] == sought[j]) continue;
    auto a = static_cast<signed char>(UpperAscii(stored[i]));
    auto b = static_cast<signed char>(UpperAscii(sought[j]));
    if (a != b) return static_cast<int>(a) - static_cast<int>(b);
  }
  if (i == 0 && j == 0) return 0;
  return i == 0 ? 1 : -1;
}

namespace {

TreeKeys KeysOf(const FileItem& r) { return {r.path.c_str(), nullptr, nullptr}; }
TreeKeys KeysOf(const IniEditItem& r) {
  return {r.file.c_str(), r.sectionName.c_str(), r.key.c_str()};
}
TreeKeys KeysOf(const RegKeyItem& r) {
  return {r.key.c_str(), r.valueName.c_str(), r.rootText.c_str()};
}
TreeKeys KeysOf(const RegEditItem& r) {
  return {r.key.c_str(), r.valueName.c_str(), r.rootText.c_str()};
}

void SetKeys(FileItem& r, const TreeKeys& k) {
  r.path.Set(k.key1);
  r.links.keyLength = static_cast<uint32_t>(r.path.Length());
}
void SetKeys(IniEditItem& r, const TreeKeys& k) {
  r.file.Set(k.key1);
  r.links.keyLength = static_cast<uint32_t>(r.file.Length());
  r.sectionName.Set(k.key2);
  r.key.Set(k.key3);
}
void SetKeys(RegKeyItem& r, const TreeKeys& k) {
  r.key.Set(k.key1);
  r.links.keyLength = static_cast<uint32_t>(r.key.Length());
  r.valueName.Set(k.key2);
  r.rootText.Set(k.key3);
}
void SetKeys(RegEditItem& r, const TreeKeys& k) {
  r.key.Set(k.key1);
  r.links.keyLength = static_cast<uint32_t>(r.key.Length());
  r.valueName.Set(k.key2);
  r.rootText.Set(k.key3);
}

// Order of the stored record against the sought keys; keys 2 and 3 only break ties.
// The sought key's length is taken once per walk, not once per record on the way.
int CompareKeys(const TreeKeys& stored, size_t storedLength, const TreeKeys& sought,
                size_t soughtLength) {
  int result = ReverseCompareLength(stored.key1, storedLength, sought.key1, soughtLength);
  if (result == 0 && sought.key2 != nullptr) result = CompareNoCase(stored.key2, sought.key2);
  if (result == 0 && sought.key3 != nullptr) result = CompareNoCase(stored.key3, sought.key3);
  return result;
}

// Walks from the root. Returns the match, or null with *slot pointing at the empty link
// where a new record belongs (null *slot for an empty list).
template <typename T>
T* Walk(const ItemList<T>& list, const TreeKeys& sought, void*** slot) {
  *slot = nullptr;
  if (list.count == 0) return nullptr;
  T* node = list.items[0];
  size_t soughtLength = strlen(sought.key1);
  for (;;) {
    int result = CompareKeys(KeysOf(*node), node->links.keyLength, sought, soughtLength);
    if (result == 0) return node;
    void** link = result < 0 ? &node->links.before : &node->links.after;
    if (*link == nullptr) {
      *slot = link;
      return nullptr;
    }
    node = static_cast<T*>(*link);
  }
}

template <typename T>
T* FindOrInsert(ItemList<T>& list, const TreeKeys& sought, bool* created) {
  void** slot = nullptr;
  T* found = Walk(list, sought, &slot);
  *created = false;
  if (found != nullptr) return found;
  T* item = NewItem<T>();
  SetKeys(*item, sought);
  AppendItem(list, item);
  if (slot != nullptr) *slot = item;
  *created = true;
  return item;
}

template <typename T>
T* Lookup(const ItemList<T>& list, const TreeKeys& sought) {
  void** slot = nullptr;
  return Walk(list, sought, &slot);
}

}  // namespace

FileItem* TreeFindOrInsert(ItemList<FileItem>& list, const char* path, bool* created) {
  return FindOrInsert(list, {path, nullptr, nullptr}, created);
}
IniEditItem* TreeFindOrInsert(ItemList<IniEditItem>& list, const char* file,
                              const char* sectionName, const char* key, bool* created) {
  return FindOrInsert(list, {file, sectionName, key}, created);
}
RegKeyItem* TreeFindOrInsert(ItemList<RegKeyItem>& list, const char* key, const char* valueName,
                             const char* rootText, bool* created) {
  return FindOrInsert(list, {key, valueName, rootText}, created);
}
RegEditItem* TreeFindOrInsert(ItemList<RegEditItem>& list, const char* key, const char* valueName,
                              const char* rootText, bool* created) {
  return FindOrInsert(list, {key, valueName, rootText}, created);
}

FileItem* TreeLookup(const ItemList<FileItem>& list, const char* path) {
  return Lookup(list, {path, nullptr, nullptr});
}
IniEditItem* TreeLookup(const ItemList<IniEditItem>& list, const char* file,
                        const char* sectionName, const char* key) {
  return Lookup(list, {file, sectionName, key});
}
RegKeyItem* TreeLookup(const ItemList<RegKeyItem>& list, const char* key, const char* valueName,
                       const char* rootText) {
  return Lookup(list, {key, valueName, rootText});
}
RegEditItem* TreeLookup(const ItemList<RegEditItem>& list, const char* key, const char* valueName,
                        const char* rootText) {
  return Lookup(list, {key, valueName, rootText});
}
