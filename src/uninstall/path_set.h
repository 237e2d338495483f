// PathSet: the distinct paths (folders, files) that a pass has dealt with, kept so that work
// owed once per path (telling the shell of a folder, trying to remove an emptied folder,
// testing that an INI file exists) is done once rather than once per item. The items of one
// path need not come one after another in a log.
#pragma once

#include <cstdint>

#include "base/fixed_text.h"
#include "base/text.h"

struct PathSet {
  static constexpr int kCapacity = 512;
  FixedText<260> paths[kCapacity];
  uint32_t hashes[kCapacity] = {};  // compared first: a pass asks for every file it removes
  int count = 0;

  // Adds the folder unless it is there; false when the set is full (the caller settles what
  // it holds, clears it and adds again).
  bool Add(const char* path) {
    if (Contains(path)) return true;
    if (count == kCapacity) return false;
    hashes[count] = HashNoCase(path);
    paths[count++].Set(path);
    return true;
  }
  bool Contains(const char* path) const {
    uint32_t hash = HashNoCase(path);
    for (int i = count - 1; i >= 0; --i)
      if (hashes[i] == hash && EqualNoCase(paths[i].c_str(), path)) return true;
    return false;
  }
  void Clear() { count = 0; }

  // FNV-1a over the code page's upper case, so names equal without regard to case hash
  // alike (double-byte characters included: their bytes pass through the same table).
  static uint32_t HashNoCase(const char* text) {
    uint32_t hash = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
      hash = (hash ^ gTextRules.upper[*p]) * 16777619u;
    return hash;
  }
};
