// The loader's search trees over PrivateFiles, IniEdits, RegKeys and RegEdits: unbalanced
// binary trees threaded through each record's TreeLinks, with entry 0 of the list as the
// root. Key 1 (a path or key path) is ordered by ReverseCompare, because paths logged by
// one installation share their beginnings and differ at their ends; keys 2 and 3 by
// CompareNoCase. The tree is never rebalanced, so its shape follows the log order. Finding
// goes through a balanced index over the same order (the list's indexRoot), so the time to
// load a log does not depend on that shape.
#pragma once

#include <cstddef>

#include "log/item_store.h"

// Compares two texts from their last characters towards their first, ASCII upper-cased
// (the second byte of a double-byte character stays as it is, so ヂ and ア differ), as
// signed 8-bit values: stored minus sought at the first difference. When one text is a
// trailing part of the other, the shorter stored text gives +1, the shorter sought -1.
int ReverseCompare(const char* stored, const char* sought);
// The same with both lengths already known.
int ReverseCompareLength(const char* stored, size_t storedLength, const char* sought,
                         size_t soughtLength);

// The last eight characters of a key 1 of the given length, packed so that comparing two
// tails as numbers orders them as ReverseCompare orders their texts, or ties. Walks compare
// tails first and read the texts only on a tie, which most steps never reach.
uint64_t KeyTail(const char* text, size_t length);

// The keys of one record as the tree sees them (key2, key3 null where the list has none).
struct TreeKeys {
  const char* key1;
  const char* key2;
  const char* key3;
};

// Returns the record whose keys all equal the given ones. When there is none, appends a
// new record (every field at its zero value, keys written from the given texts) at index
// count of the list, links it into the tree, sets *created and returns it. Keys longer
// than their fields are stored cut; callers pass keys that fit so a repeat finds the record.
FileItem* TreeFindOrInsert(ItemList<FileItem>& list, const char* path, bool* created);
IniEditItem* TreeFindOrInsert(ItemList<IniEditItem>& list, const char* file,
                              const char* sectionName, const char* key, bool* created);
RegKeyItem* TreeFindOrInsert(ItemList<RegKeyItem>& list, const char* key, const char* valueName,
                             const char* rootText, bool* created);
RegEditItem* TreeFindOrInsert(ItemList<RegEditItem>& list, const char* key, const char* valueName,
                              const char* rootText, bool* created);

// The same walk without insertion: the matching record or null; the list is not changed.
FileItem* TreeLookup(const ItemList<FileItem>& list, const char* path);
IniEditItem* TreeLookup(const ItemList<IniEditItem>& list, const char* file,
                        const char* sectionName, const char* key);
RegKeyItem* TreeLookup(const ItemList<RegKeyItem>& list, const char* key, const char* valueName,
                       const char* rootText);
RegEditItem* TreeLookup(const ItemList<RegEditItem>& list, const char* key, const char* valueName,
                        const char* rootText);
