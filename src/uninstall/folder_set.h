// FolderSet: the distinct folders that a pass has touched, kept so that work owed once per
// folder (telling the shell, trying to remove an emptied folder) is done once per folder
// rather than once per file. Files of one folder need not come one after another in a log.
#pragma once

#include "base/fixed_text.h"
#include "base/text.h"

struct FolderSet {
  static constexpr int kCapacity = 512;
  FixedText<260> folders[kCapacity];
  int count = 0;

  // Adds the folder unless it is there; false when the set is full (the caller settles what
  // it holds, clears it and adds again).
  bool Add(const char* folder) {
    for (int i = 0; i < count; ++i)
      if (EqualNoCase(folders[i].c_str(), folder)) return true;
    if (count == kCapacity) return false;
    folders[count++].Set(folder);
    return true;
  }
  void Clear() { count = 0; }
};
