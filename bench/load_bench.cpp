// load_bench: how fast the loader reads a large install log. Prints its figures; it is not
// a test and asserts nothing.
//
// It generates a realistic and a degenerate log (testing/loggen/log_generator.h), puts every
// logged file on the machine so that files classify as they would after an installation,
// and loads each log several times as the uninstaller does, timing only the loads.
//
//   natively:  the simulated machine, seeded through the platform seam; or, with
//              --log FILE --image IMAGE, a log and image that loggen wrote
//   Windows:   the real file system (under Wine: the prefix), seeded into
//              <temp>\untarn-bench\Realistic and ...\Degenerate on the first run and reused
//              afterwards (only the logs are written again)
//
//   load_bench [--runs N] [--degenerate-runs M] [--log FILE --image IMAGE]
//   (--degenerate-runs 0 leaves the degenerate log out: it takes minutes by design)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "base/run_state.h"
#include "base/text.h"
#include "bench_support.h"
#include "log/item_store.h"
#include "log/log_loader.h"
#include "loggen/log_generator.h"
#include "platform/platform.h"
#include "run/run_reset.h"
#include "run/startup.h"
#include "ui/console_ui.h"

#ifndef _WIN32
#include "platform/image/machine_image.h"
#endif

namespace {

using Clock = BenchClock;

// Puts the generated machine state in place: directories, files, INI files and the log.
// Files already there are kept, so a second run on a real disk only rewrites the log.
int Seed(const GeneratedLog& generated) {
  for (const std::string& d : generated.directories) MakeDirectories(Sys(), d);
  for (const std::string& path : generated.files) {
    if (Sys().GetAttributes(path.c_str()) != kNoAttributes) continue;
    if (PutFile(Sys(), path, loggen::FileContents(path)) != 0) {
      size_t cut = path.rfind('\\');
      MakeDirectories(Sys(), path.substr(0, cut));
      if (PutFile(Sys(), path, loggen::FileContents(path)) != 0) {
        fprintf(stderr, "load_bench: cannot create %s\n", path.c_str());
        return 1;
      }
    }
  }
  if (PutIniFiles(Sys(), generated) != 0) {
    fprintf(stderr, "load_bench: cannot write the INI files\n");
    return 1;
  }
  MakeDirectories(Sys(), generated.logPath.substr(0, generated.logPath.rfind('\\')));
  if (PutFile(Sys(), generated.logPath, generated.log) != 0) {
    fprintf(stderr, "load_bench: cannot write %s\n", generated.logPath.c_str());
    return 1;
  }
  return 0;
}

// One load as the uninstaller does it: fresh run state and store, the start-up flags.
int LoadOnce(const std::string& logPath) {
  ResetRunWideState();
  TakeVersionFlags();
  gRun.logPath.Set(logPath.c_str());
  return LogLoader(gRun.logPath.c_str(), gRun.appDirectory.data());
}

size_t CountLines(const std::string& log) {
  size_t lines = 0;
  for (char c : log) lines += c == '\r' ? 1 : 0;
  return lines;
}

// Loads the log runs times and prints the figures.
int Measure(const char* name, const std::string& logPath, const std::string& log, int runs) {
  double best = 1e9, total = 0;
  int32_t items = 0;
  for (int run = 0; run < runs; ++run) {
    Clock::time_point start = Clock::now();
    int result = LoadOnce(logPath);
    Clock::time_point end = Clock::now();
    if (result != 0) {
      fprintf(stderr, "load_bench: the loader refused %s\n", logPath.c_str());
      return 1;
    }
    double seconds = Seconds(start, end);
    best = seconds < best ? seconds : best;
    total += seconds;
    items = StoreItems();
  }
  size_t lines = CountLines(log);
  printf("  %-10s %6.1f MB, %7zu records (lines), %6d items stored (%d private files)\n", name,
         log.size() / 1e6, lines, items, gStore.PrivateFiles.count);
  printf(
      "  %-10s %d load%s: total %.3f s, mean %.3f s, best %.3f s; %.0f records/s, %.0f items/s\n",
      "", runs, runs == 1 ? "" : "s", total, total / runs, best, lines / best, items / best);
  fflush(stdout);
  return 0;
}

#ifndef _WIN32
std::string ReadHostFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
#endif

}  // namespace

int main(int argc, char** argv) {
  int runs = 5, degenerateRuns = 1;
  const char* logFile = nullptr;
  const char* imageFile = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--degenerate-runs") == 0 && i + 1 < argc) {
      degenerateRuns = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--log") == 0 && i + 1 < argc) {
      logFile = argv[++i];
    } else if (strcmp(argv[i], "--image") == 0 && i + 1 < argc) {
      imageFile = argv[++i];
    } else {
      fprintf(stderr,
              "usage: load_bench [--runs N] [--degenerate-runs M] [--log FILE --image IMAGE]\n");
      return 2;
    }
  }
  if (runs < 1) runs = 1;

  static ConsoleUi ui;
  InstallUserInterface(&ui);
  BenchMachine& machine = InstallBenchMachine();
  std::string root = kRealMachine ? BenchTempFolder(machine, "") : "C:\\Program Files\\Fernhill";
  printf("load_bench on %s (%s)\n", kMachineName, root.c_str());
  LoadTextRules();

#ifndef _WIN32
  if (logFile != nullptr || imageFile != nullptr) {
    // A log and image that loggen wrote: the log is the image's file at the path it names.
    MachineImage image;
    std::string error;
    Clock::time_point start = Clock::now();
    if (imageFile == nullptr || logFile == nullptr ||
        ReadMachineImage(ReadHostFile(imageFile), &image, &error) != 0 ||
        machine.ApplyImage(image, &error) != 0) {
      fprintf(stderr, "load_bench: --log and --image go together (%s)\n", error.c_str());
      return 2;
    }
    std::string log = ReadHostFile(logFile);
    std::string logPath;
    for (const ImageFile& file : image.files)
      if (file.contents == log) logPath = file.path;
    if (logPath.empty()) {
      fprintf(stderr, "load_bench: the image does not hold %s (write both with loggen)\n", logFile);
      return 2;
    }
    printf("  seeded from %s in %.2f s\n", imageFile, Seconds(start, Clock::now()));
    return Measure("given", logPath, log, runs);
  }
#else
  (void)logFile;
  (void)imageFile;
#endif

  for (int degenerate = 0; degenerate < 2; ++degenerate) {
    if (degenerate == 1 && degenerateRuns < 1) break;
    LogGenOptions options;
    options.degenerate = degenerate == 1;
    options.appDirectory = root + (degenerate ? "\\Degenerate" : "\\Realistic");
    options.windowsDirectory = options.appDirectory + "\\Windows";
    GeneratedLog generated;
    GenerateLog(options, &generated);
    Clock::time_point start = Clock::now();
    if (Seed(generated) != 0) return 1;
    printf("  %-10s seeded in %.2f s\n", degenerate ? "degenerate" : "realistic",
           Seconds(start, Clock::now()));
    if (Measure(degenerate ? "degenerate" : "realistic", generated.logPath, generated.log,
                degenerate ? degenerateRuns : runs) != 0)
      return 1;
  }
  return 0;
}
