// Tree find-or-insert and lookup for the four tree-indexed lists. Records are found through
// a balanced index kept in the same order as the log-order tree, so a log written in an
// unlucky order costs no more than any other; the log-order links are still laid exactly
// as a walk from the root would lay them.
#include "log/item_tree.h"

#include <cstring>

#include "base/text.h"

int ReverseCompare(const char* stored, const char* sought) {
  return ReverseCompareLength(stored, strlen(stored), sought, strlen(sought));
}

namespace {

// The byte at as keys compare it: an ASCII letter upper-cased, unless it is the second byte
// of a double-byte character (ヂ is 0x83 0x61, ア 0x83 0x41), which compares exactly.
inline char KeyByte(const char* text, size_t at) {
  char c = text[at];
  if (c >= 'a' && c <= 'z' && !IsTrailByteAt(text, at)) return static_cast<char>(c - 32);
  return c;
}

}  // namespace

int ReverseCompareLength(const char* stored, size_t i, const char* sought, size_t j) {
  // Records of one file or one key share their whole key 1, byte for byte.
  if (i == j && memcmp(stored, sought, i) == 0) return 0;
  while (i > 0 && j > 0) {
    --i;
    --j;
    // Paths share long endings; equal bytes need no folding.
    if (stored[i] == sought[j]) continue;
    auto a = static_cast<signed char>(KeyByte(stored, i));
    auto b = static_cast<signed char>(KeyByte(sought, j));
    if (a != b) return static_cast<int>(a) - static_cast<int>(b);
  }
  if (i == 0 && j == 0) return 0;
  return i == 0 ? 1 : -1;
}

uint64_t KeyTail(const char* text, size_t length) {
  uint64_t tail = 0;
  for (size_t k = 0; k < 8; ++k) {
    // Characters compare as signed bytes: flipping the top bit orders them as unsigned.
    // A text that has ended orders after every character (a shorter stored text gives +1),
    // so its missing places take the highest value; that ties with 0x7F, never contradicts.
    uint8_t byte = 0xFF;
    if (k < length) byte = static_cast<uint8_t>(KeyByte(text, length - 1 - k)) ^ 0x80u;
    tail = (tail << 8) | byte;
  }
  return tail;
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

// The sought keys of one walk, with what every step compares taken once.
struct Sought {
  TreeKeys keys;
  size_t length;  // of key 1
  uint64_t tail;  // KeyTail of key 1
};

Sought MakeSought(const TreeKeys& keys) {
  size_t length = strlen(keys.key1);
  return {keys, length, KeyTail(keys.key1, length)};
}

// Order of the stored record against the sought keys (only the sign counts); keys 2 and 3
// only break ties. storedTail is the KeyTail kept in the record's index entry.
template <typename T>
int Order(const T& stored, uint64_t storedTail, const Sought& sought) {
  if (storedTail != sought.tail) return storedTail < sought.tail ? -1 : 1;
  TreeKeys keys = KeysOf(stored);
  int result =
      ReverseCompareLength(keys.key1, stored.links.keyLength, sought.keys.key1, sought.length);
  if (result == 0 && sought.keys.key2 != nullptr)
    result = CompareNoCase(keys.key2, sought.keys.key2);
  if (result == 0 && sought.keys.key3 != nullptr)
    result = CompareNoCase(keys.key3, sought.keys.key3);
  return result;
}

// The balanced index is an AA tree over the list's index entries: a lower child never
// shares its parent's level, and no two higher children in a row do. Skew and split
// restore that after an insertion and change nothing on a tree that already holds it.
int32_t Skew(TreeIndexNode* nodes, int32_t node) {
  int32_t lower = nodes[node].lower;
  if (lower < 0 || nodes[lower].level != nodes[node].level) return node;
  nodes[node].lower = nodes[lower].higher;
  nodes[lower].higher = node;
  return lower;
}

int32_t Split(TreeIndexNode* nodes, int32_t node) {
  int32_t higher = nodes[node].higher;
  if (higher < 0 || nodes[higher].higher < 0) return node;
  if (nodes[nodes[higher].higher].level != nodes[node].level) return node;
  nodes[node].higher = nodes[higher].lower;
  nodes[higher].lower = node;
  ++nodes[higher].level;
  return higher;
}

template <typename T>
struct Insertion {
  ItemList<T>& list;
  Sought sought;
  T* found = nullptr;        // the record that already has the sought keys
  T* made = nullptr;         // the new record, when there was none
  T* predecessor = nullptr;  // the nearest record ordering before the sought keys
  T* successor = nullptr;    // the nearest record ordering after them
};

// Finds the sought keys below node, or makes a record and an index entry for them; returns
// the new root of this part of the index. Depth is bounded by twice the log of the count.
template <typename T>
int32_t Insert(int32_t node, Insertion<T>& in) {
  TreeIndexNode* nodes = in.list.index;  // has room for one more entry (FindOrInsert)
  if (node < 0) {
    in.made = NewItem<T>();
    SetKeys(*in.made, in.sought.keys);
    // The tail of key 1 as stored: a key too long for its field is kept cut.
    uint64_t tail = KeyTail(KeysOf(*in.made).key1, in.made->links.keyLength);
    int32_t made = in.list.indexCount++;
    nodes[made] = {tail, in.made, -1, -1, 1};
    return made;
  }
  T* stored = static_cast<T*>(nodes[node].item);
  int result = Order(*stored, nodes[node].tail, in.sought);
  if (result == 0) {
    in.found = stored;
    return node;
  }
  if (result < 0) {
    in.predecessor = stored;
    nodes[node].higher = Insert(nodes[node].higher, in);
  } else {
    in.successor = stored;
    nodes[node].lower = Insert(nodes[node].lower, in);
  }
  if (in.found != nullptr) return node;
  return Split(nodes, Skew(nodes, node));
}

// Links a new record into the log-order tree at the slot a walk from the root would reach.
// Its neighbours in the order decide it: of the two, one lies below the other, and the new
// record hangs from the lower one, which has its link on that side free.
template <typename T>
void LinkInLogOrder(const Insertion<T>& in) {
  if (in.predecessor != nullptr && in.predecessor->links.before == nullptr) {
    in.predecessor->links.before = in.made;
  } else if (in.successor != nullptr) {
    in.successor->links.after = in.made;
  }
}

// Entries of a list's first index. Most logs name a few hundred records of a kind; an index
// as large as the list's capacity (1.5 MB for 48000 files) would be taken for every load
// that names one. A list that outgrows it goes straight to its capacity.
constexpr int32_t kFirstIndexCapacity = 1024;

template <typename T>
void ReserveIndexEntry(ItemList<T>& list) {
  if (list.indexCount < list.indexCapacity) return;
  int32_t grown = kFirstIndexCapacity;
  if (list.indexCapacity > 0) {
    grown = list.indexCapacity * 2;
    if (grown < list.capacity) grown = list.capacity;
  }
  if (grown <= list.indexCount) grown = list.indexCount + 16;
  auto* nodes = static_cast<TreeIndexNode*>(
      ArenaAllocate(sizeof(TreeIndexNode) * static_cast<size_t>(grown)));
  for (int32_t i = 0; i < list.indexCount; ++i) nodes[i] = list.index[i];
  list.index = nodes;
  list.indexCapacity = grown;
}

template <typename T>
T* FindOrInsert(ItemList<T>& list, const TreeKeys& sought, bool* created) {
  ReserveIndexEntry(list);
  Insertion<T> in{list, MakeSought(sought)};
  int32_t root = Insert(list.indexRoot, in);
  *created = in.made != nullptr;
  if (in.found != nullptr) return in.found;
  list.indexRoot = root;
  LinkInLogOrder(in);
  AppendItem(list, in.made);
  return in.made;
}

template <typename T>
T* Lookup(const ItemList<T>& list, const TreeKeys& sought) {
  Sought walk = MakeSought(sought);
  int32_t node = list.indexRoot;
  while (node >= 0) {
    const TreeIndexNode& entry = list.index[node];
    T* stored = static_cast<T*>(entry.item);
    int result = Order(*stored, entry.tail, walk);
    if (result == 0) return stored;
    node = result < 0 ? entry.higher : entry.lower;
  }
  return nullptr;
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
