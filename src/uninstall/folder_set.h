// FolderSet: the distinct folders that a pass has touched, kept so that work owed once per
// folder (telling the shell, trying to remove an emptied folder) is done once per folder
// rather than once per file. Files of one folder need not come one after another in a log.
#pragma once

#include <cstdint>

#include "base/fixed_text.h"
#include "base/text.h"

struct FolderSet {
  static constexpr int kCapacity = 512;
  FixedText<260> folders[kCapacity];
  uint32_t hashes[kCapacity] = {};  // compared first: a pass asks for every file it removes
  int count = 0;

  // Adds the folder unless it is there; false when the set is full (the caller settles what
  // it holds, clears it and adds again).
  bool Add(const char* folder) {
    uint32_t hash = HashNoCase(folder);
    for (int i = count - 1; i >= 0; --i)
      if (hashes[i] == hash && EqualNoCase(folders[i].c_str(), folder)) return true;
    if (count == kCapacity) return false;
    hashes[count] = hash;
    folders[count++].Set(folder);
    return true;
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
