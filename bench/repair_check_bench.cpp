// repair_check_bench: how the file checks of a repair compare with the least any program
// must do to look at the same files. Prints its figures; it is not a test.
//
// The installation is the large generated one of testing/loggen (48,000 private files in a
// few hundred folders, logged over 20 sections), with files of realistic sizes instead of
// the generator's one-line contents: three in four small (128 bytes to 8 KB), one in four
// medium (8 to 64 KB), one in two hundred large (64 KB to 1 MB), about 500 MB in all, of
// pseudo-random bytes. Every file is written, then its date and time are read back and its
// stamp in the log is rewritten to match them, its size and its CRC-32: nothing is damaged,
// so every check reads every byte, as a repair of an intact installation does.
//
// Timed in one process on the same files, alternating slice by slice of 1,000 files (round 0
// is the warm-up that puts every file in the cache and is not counted):
//   repair: CheckAgainstStamp over SystemFiles and PrivateFiles, last to first, as the repair
//           driver walks them (the log loaded once beforehand by LogLoader; no user
//           interface, so no action lines are shown and no messages pumped)
//   bare:   each file opened, read to its end in 16 KB blocks and closed; on Windows with
//           CreateFileA, ReadFile and CloseHandle themselves, natively through the seam
//
//   repair_check_bench [--rounds N] [--divide N] [--reseed]
//
// Natively the files lie on the simulated machine; on Windows (under Wine: the prefix)
// under <temp>\untarn-bench\Repair, kept there between runs: a later run with the same
// --divide checks the same files without writing them again (--reseed writes them anew).
// The figures: each round's seconds, the medians, and the ratio repair / bare over all
// counted rounds (target: at most 1.3).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/run_state.h"
#include "base/text.h"
#include "bench_support.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "loggen/log_generator.h"
#include "platform/platform.h"
#include "run/run_reset.h"
#include "run/startup.h"
#include "repair/crc32.h"
#include "repair/file_check.h"
#include "repair/file_stamp.h"
#include "ui/console_ui.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Clock = BenchClock;

constexpr uint32_t kBlock = 16384;
// Bumped whenever the files or their stamps are made differently: a kept installation of
// another version is written again.
constexpr int kPayloadVersion = 1;

// The size of the next file: its class by chance, then log-uniform inside the class.
uint32_t FileSize(loggen::Random& random) {
  int pick = random.Below(1000);
  double low = 128, high = 8192;
  if (pick >= 995) {
    low = 65536;
    high = 1048576;
  } else if (pick >= 740) {
    low = 8192;
    high = 65536;
  }
  double u = (random.Next() & 0xFFFFF) / 1048576.0;
  return static_cast<uint32_t>(low * std::pow(high / low, u));
}

void RandomFill(std::string* bytes, uint64_t seed) {
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < bytes->size(); i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    memcpy(&(*bytes)[i], &state, bytes->size() - i < 8 ? bytes->size() - i : 8);
  }
}

std::string Marker(int divide) {
  return "repair_check_bench payload " + std::to_string(kPayloadVersion) + " divide " +
         std::to_string(divide) + "\r\n";
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  FileHandle file = Sys().OpenForRead(path.c_str());
  if (file == kNoFile) return bytes;
  char block[kBlock];
  int got;
  while ((got = Sys().ReadBytes(file, block, sizeof block)) > 0) bytes.append(block, got);
  Sys().CloseFile(file);
  return bytes;
}

// Writes every file with its contents and puts a stamp that matches it into the log:
// the date and time are the file's own as the system reports them after the write.
int Seed(const std::string& root, int divide, GeneratedLog* generated, uint64_t* totalBytes) {
  LogGenOptions options;
  options.appDirectory = root;
  options.privateFiles /= divide;
  options.regValues = 0;  // the file checks are what is measured
  options.iniEdits = 0;
  GenerateLog(options, generated);

  Platform& sys = Sys();
  for (const std::string& directory : generated->directories) MakeDirectories(sys, directory);
  loggen::Random random(options.seed ^ 0x5A5A5A5Au);
  std::unordered_map<std::string, std::string> stamps;
  std::string contents;
  *totalBytes = 0;
  for (size_t i = 0; i < generated->files.size(); ++i) {
    const std::string& path = generated->files[i];
    contents.resize(FileSize(random));
    RandomFill(&contents, i + 1);
    if (PutFile(sys, path, contents) != 0) {
      fprintf(stderr, "repair_check_bench: cannot write %s\n", path.c_str());
      return 1;
    }
    FileHandle file = sys.OpenForRead(path.c_str());
    uint64_t lastWrite = 0;
    uint16_t date = 0, time = 0;
    bool dated = file != kNoFile && sys.GetLastWrite(file, &lastWrite) == 0 &&
                 sys.FileTimeToLocalDos(lastWrite, &date, &time) == 0;
    if (file != kNoFile) sys.CloseFile(file);
    if (!dated) {
      fprintf(stderr, "repair_check_bench: no DOS time for %s\n", path.c_str());
      return 1;
    }
    char stamp[96];
    snprintf(stamp, sizeof stamp, " %02d-%02d-%04d | %02d:%02d:%02d | 1.0.0.0 | %u | %08x",
             DosMonth(date), DosDay(date), DosYear(date), DosHour(time), DosMinute(time),
             DosSecond(time), static_cast<unsigned>(contents.size()),
             Crc32Update(0, contents.data(), contents.size()));
    stamps[path] = stamp;
    *totalBytes += contents.size();
  }

  // The generator's stamps name its own one-line contents: each file's line gets its own.
  std::string log;
  log.reserve(generated->log.size() + generated->log.size() / 4);
  static const char kFileCopy[] = "File Copy: ";
  size_t at = 0;
  while (at < generated->log.size()) {
    size_t end = generated->log.find("\r\n", at);
    if (end == std::string::npos) end = generated->log.size();
    std::string line = generated->log.substr(at, end - at);
    if (line.compare(0, sizeof kFileCopy - 1, kFileCopy) == 0) {
      size_t bar = line.find(" |");
      auto found = stamps.find(line.substr(sizeof kFileCopy - 1, bar - (sizeof kFileCopy - 1)));
      if (bar != std::string::npos && found != stamps.end())
        line = line.substr(0, bar) + " |" + found->second;
    }
    log += line + "\r\n";
    at = end + 2;
  }
  generated->log = log;
  if (PutFile(sys, generated->logPath, generated->log) != 0) return 1;
  return PutFile(sys, root + "\\bench-payload.txt", Marker(divide));
}

// The files to check in the driver's order: SystemFiles, then PrivateFiles, each from the
// last record to the first.
std::vector<const FileItem*> FilesInDriverOrder() {
  std::vector<const FileItem*> files;
  for (const ItemList<FileItem>* list : {&gStore.SystemFiles, &gStore.PrivateFiles}) {
    for (int32_t i = list->count - 1; i >= 0; --i)
      if ((*list)[i]->linkSpec == nullptr) files.push_back((*list)[i]);
  }
  return files;
}

// The bare program: open, read to the end in 16 KB blocks, close. Returns the bytes read.
uint64_t BarePass(const std::vector<const FileItem*>& files, size_t from, size_t to,
                  int* failures) {
  static char block[kBlock];
  uint64_t bytes = 0;
  for (size_t i = from; i < to; ++i) {
    const char* path = files[i]->path.c_str();
#ifdef _WIN32
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      ++*failures;
      continue;
    }
    DWORD got = 0;
    while (ReadFile(file, block, kBlock, &got, nullptr) && got > 0) bytes += got;
    CloseHandle(file);
#else
    FileHandle file = Sys().OpenForRead(path);
    if (file == kNoFile) {
      ++*failures;
      continue;
    }
    int got;
    while ((got = Sys().ReadBytes(file, block, kBlock)) > 0) bytes += static_cast<uint64_t>(got);
    Sys().CloseFile(file);
#endif
  }
  return bytes;
}

// The repair's check of the same files. Returns how many were not as logged.
int RepairPass(const std::vector<const FileItem*>& files, size_t from, size_t to) {
  int notSame = 0;
  for (size_t i = from; i < to; ++i) {
    if (CheckAgainstStamp(files[i]->path.c_str(), files[i]->stamp.c_str()) != StampVerdict::kSame)
      ++notSame;
  }
  return notSame;
}

// Where the repair's time goes: the check's steps made one by one through the seam, each
// timed, over every file once (after the timed rounds; not part of the ratio).
void Breakdown(const std::vector<const FileItem*>& files) {
  enum { kOpen, kTimeAndSize, kLocalDos, kReadAndSum, kClose, kSteps };
  static const char* const kNames[] = {"OpenForRead", "GetTimeAndSize", "FileTimeToLocalDos",
                                       "Crc32OfFile (reads and sum)", "CloseFile"};
  double seconds[kSteps] = {};
  Platform& sys = Sys();
  Clock::time_point mark = Clock::now();
  auto lap = [&](int step) {
    Clock::time_point now = Clock::now();
    seconds[step] += Seconds(mark, now);
    mark = now;
  };
  for (const FileItem* item : files) {
    mark = Clock::now();
    FileHandle file = sys.OpenForRead(item->path.c_str());
    lap(kOpen);
    if (file == kNoFile) continue;
    uint64_t lastWrite = 0;
    int64_t size = 0;
    uint16_t date = 0, time = 0;
    sys.GetTimeAndSize(file, &lastWrite, &size);
    lap(kTimeAndSize);
    sys.FileTimeToLocalDos(lastWrite, &date, &time);
    lap(kLocalDos);
    uint32_t crc = 0;
    Crc32OfFile(file, &crc);
    lap(kReadAndSum);
    sys.CloseFile(file);
    lap(kClose);
  }
  double total = 0;
  for (double s : seconds) total += s;
  printf("  the check's steps, each timed, one pass (%.3f s in all):\n", total);
  for (int step = 0; step < kSteps; ++step)
    printf("    %-28s %7.3f s  %5.1f us/file  %4.1f%%\n", kNames[step], seconds[step],
           seconds[step] / files.size() * 1e6, 100 * seconds[step] / total);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n == 0 ? 0 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 5, divide = 1;
  bool reseed = false;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--divide") == 0 && i + 1 < argc) {
      divide = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--reseed") == 0) {
      reseed = true;
    } else {
      fprintf(stderr, "usage: repair_check_bench [--rounds N] [--divide N] [--reseed]\n");
      return 2;
    }
  }
  if (rounds < 1) rounds = 1;
  if (divide < 1) divide = 1;

  static ConsoleUi ui;
  InstallUserInterface(&ui);
  BenchMachine& machine = InstallBenchMachine();
  std::string root = kRealMachine ? BenchTempFolder(machine, "\\Repair")
                                  : "C:\\Program Files\\Fernhill\\Generated";
  const char* where = kMachineName;
  LoadTextRules();
  printf("repair_check_bench on %s (%s)\n", where, root.c_str());

  GeneratedLog generated;
  std::string logPath = root + "\\INSTALL.LOG";
  Clock::time_point start = Clock::now();
  if (reseed || ReadAll(root + "\\bench-payload.txt") != Marker(divide)) {
    uint64_t written = 0;
    if (Seed(root, divide, &generated, &written) != 0) return 1;
    printf("  seeded %zu files, %.1f MB, in %.1f s\n", generated.files.size(), written / 1e6,
           Seconds(start, Clock::now()));
    logPath = generated.logPath;
  } else {
    printf("  the files of an earlier run are in place\n");
  }
  start = Clock::now();
  ResetRunWideState();
  TakeVersionFlags();
  gRun.logPath.Set(logPath.c_str());
  if (LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data()) != 0) {
    fprintf(stderr, "repair_check_bench: the loader refused %s\n", logPath.c_str());
    return 1;
  }
  double load = Seconds(start, Clock::now());
  std::vector<const FileItem*> files = FilesInDriverOrder();
  printf("  log loaded in %.2f s: %zu files to check, %d missing\n", load, files.size(),
         gStore.MissingFiles.count);
  if (gStore.MissingFiles.count != 0 || files.empty()) {
    fprintf(stderr, "repair_check_bench: the installation is not complete; run with --reseed\n");
    return 1;
  }

  // Both go over the same slice of files, one after the other, the order swapped from one
  // slice to the next: a change in the machine's load while the benchmark runs falls on
  // both alike, and neither always finds the other's traces in the caches.
  const size_t kSlice = 1000;
  std::vector<double> bare, repair;
  uint64_t bytes = 0;
  double bareTotal = 0, repairTotal = 0;
  for (int round = 0; round <= rounds; ++round) {
    int failures = 0, notSame = 0;
    double bareSeconds = 0, repairSeconds = 0;
    bytes = 0;
    for (size_t from = 0, slice = 0; from < files.size(); from += kSlice, ++slice) {
      size_t to = std::min(files.size(), from + kSlice);
      for (int turn = 0; turn < 2; ++turn) {
        bool bareTurn = (turn == 0) == (slice % 2 == 0);
        start = Clock::now();
        if (bareTurn)
          bytes += BarePass(files, from, to, &failures);
        else
          notSame += RepairPass(files, from, to);
        (bareTurn ? bareSeconds : repairSeconds) += Seconds(start, Clock::now());
      }
    }
    if (failures != 0 || notSame != 0) {
      fprintf(stderr, "repair_check_bench: %d files not opened, %d not as logged\n", failures,
              notSame);
      return 1;
    }
    printf("  round %d%s: bare %.3f s, repair %.3f s (%.2f)\n", round,
           round == 0 ? " (warm-up)" : "", bareSeconds, repairSeconds, repairSeconds / bareSeconds);
    fflush(stdout);
    if (round == 0) continue;
    bare.push_back(bareSeconds);
    repair.push_back(repairSeconds);
    bareTotal += bareSeconds;
    repairTotal += repairSeconds;
  }
  Breakdown(files);
  double bareMedian = Median(bare), repairMedian = Median(repair);
  double ratio = repairTotal / bareTotal;
  printf(
      "  %zu files, %.1f MB each pass; medians of %d rounds: bare %.3f s (%.0f files/s, "
      "%.2f GB/s), repair %.3f s (%.0f files/s, %.2f GB/s)\n",
      files.size(), bytes / 1e6, rounds, bareMedian, files.size() / bareMedian,
      bytes / bareMedian / 1e9, repairMedian, files.size() / repairMedian,
      bytes / repairMedian / 1e9);
  printf(
      "  ratio repair / bare over all %d rounds: %.2f (target: at most 1.30); with one load "
      "of the log: %.2f\n",
      rounds, ratio, (repairTotal / rounds + load) / (bareTotal / rounds));
  printf(
      "result: repaircheck files=%zu megabytes=%.1f bare=%.3f repair=%.3f load=%.3f "
      "ratio=%.2f\n",
      files.size(), bytes / 1e6, bareMedian, repairMedian, load, ratio);
  return 0;
}
