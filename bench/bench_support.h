// Helpers shared by the benchmark programs: the machine they run on, timing, the store's
// size, and writing files and directories through the seam (so the same code seeds the
// simulated machine and a real disk).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "log/item_store.h"
#include "loggen/log_generator.h"
#include "platform/platform.h"

#ifdef _WIN32
#include "platform/win32/win32_platform.h"
// A benchmark on Windows times this machine's file system and registry.
using BenchMachine = Win32Platform;
constexpr bool kRealMachine = true;
constexpr char kMachineName[] = "this machine's file system";
#else
#include "platform/sim/sim_machine.h"
// Elsewhere it times the simulated machine, which it seeds itself.
using BenchMachine = SimMachine;
constexpr bool kRealMachine = false;
constexpr char kMachineName[] = "the simulated machine";
#endif

// The machine, made once and installed behind the seam.
inline BenchMachine& InstallBenchMachine() {
  static BenchMachine machine;
  InstallPlatform(&machine);
  return machine;
}

// The benchmarks' own folder in the temporary directory, "<temp>untarn-bench" followed by
// below; on a real disk what they seed there is kept between runs.
inline std::string BenchTempFolder(Platform& machine, const char* below) {
  char temp[260] = {};
  machine.TempDirectory(temp, sizeof temp);
  temp[sizeof temp - 1] = '\0';
  return std::string(temp) + "untarn-bench" + below;
}

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

// Writes every generated INI file, its folders first; 0 when all were written.
inline int PutIniFiles(Platform& sys, const GeneratedLog& generated) {
  for (const GenIniFile& ini : generated.iniFiles) {
    MakeDirectories(sys, ini.path.substr(0, ini.path.rfind('\\')));
    if (PutFile(sys, ini.path, loggen::IniText(ini)) != 0) return 1;
  }
  return 0;
}
