// Helpers shared by the benchmark programs: timing, the store's size, and writing files and directories
// through the seam (so the same code seeds the simulated machine and a real disk).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "log/item_store.h"
#include "platform/platform.h"

using BenchClock = std::chrono::steady_clock;

inline double Seconds(BenchClock::time_point from, BenchClock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Records in the store, over all fifteen lists.
inline int32_t StoreItems() {
  const ItemStore& s = gStore;
  return s.PrivateFiles.count + s.SystemFiles.count + s.MissingFiles.count +
         s.EditedFiles.count + s.DeletedFiles.count + s.Directories.count + s.IniFiles.count +
         s.IniEdits.count + s.RegKeys.count + s.RegEdits.count + s.RegTrees.count +
         s.RepairValues.count + s.Icons.count + s.Programs.count + s.Services.count;
}

// Writes a file; 0 on success.
inline int PutFile(Platform& sys, const std::string& path, const std::string& bytes) {
  FileHandle file = sys.CreateTruncated(path.c_str());
  if (file == kNoFile) return 1;
  int written = bytes.empty()
                    ? 0
                    : sys.WriteBytes(file, bytes.data(), static_cast<uint32_t>(bytes.size()));
  sys.CloseFile(file);
  return written == static_cast<int>(bytes.size()) ? 0 : 1;
}

// Every directory of a path, outermost first (the root itself excepted).
inline void MakeDirectories(Platform& sys, const std::string& path) {
  for (size_t cut = path.find('\\', 3);; cut = path.find('\\', cut + 1)) {
    std::string part = cut == std::string::npos ? path : path.substr(0, cut);
    if (sys.GetAttributes(part.c_str()) == kNoAttributes) sys.MakeDirectory(part.c_str());
    if (cut == std::string::npos) break;
  }
}
