// loggen: writes a large install log (and, on request, the machine image in which every
// logged item exists) for load tests and the load benchmark.
//
//   loggen [--degenerate | --every-kind [--windows95]] [--sections N] OUT.LOG [--image OUT.json]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "loggen/log_generator.h"

namespace {

int Usage() {
  fprintf(
      stderr,
      "usage: loggen [--degenerate | --every-kind [--windows95]] [--sections N] [--app-dir DIR]\n"
      "              OUT.LOG [--image OUT.json]\n"
      "  --degenerate  every private file in one folder, ordered so that the loader's\n"
      "                search tree becomes a list\n"
      "  --every-kind  a small log of two sections with every kind of record, on a machine\n"
      "                where each does something (--windows95: of the Windows 95 family)\n"
      "  --sections N  number of log sections (default 20)\n"
      "  --app-dir DIR the application directory on the machine (default\n"
      "                C:\\Program Files\\Fernhill\\Generated); the log's own path is "
      "DIR\\INSTALL.LOG\n"
      "  --image FILE  also write the machine image in which every logged item exists;\n"
      "                the log itself is one of its files\n");
  return 2;
}

int WriteFile(const char* path, const std::string& bytes) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) {
    fprintf(stderr, "loggen: cannot write %s\n", path);
    return 1;
  }
  size_t written = fwrite(bytes.data(), 1, bytes.size(), file);
  int closed = fclose(file);
  if (written != bytes.size() || closed != 0) {
    fprintf(stderr, "loggen: writing %s failed\n", path);
    return 1;
  }
  return 0;
}

// The "*** " lines of a log.
int Sections(const std::string& log) {
  int count = 0;
  for (size_t at = 0; at < log.size(); at = log.find("\r\n", at) + 2) {
    if (log.compare(at, 4, "*** ") == 0) ++count;
    if (log.find("\r\n", at) == std::string::npos) break;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  LogGenOptions options;
  const char* logOut = nullptr;
  const char* imageOut = nullptr;
  bool everyKind = false;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--degenerate") == 0) {
      options.degenerate = true;
    } else if (strcmp(argv[i], "--every-kind") == 0) {
      everyKind = true;
    } else if (strcmp(argv[i], "--windows95") == 0) {
      options.windows95 = true;
    } else if (strcmp(argv[i], "--sections") == 0 && i + 1 < argc) {
      options.sections = atoi(argv[++i]);
      if (options.sections < 1 || options.sections > 1000) return Usage();
    } else if (strcmp(argv[i], "--app-dir") == 0 && i + 1 < argc) {
      options.appDirectory = argv[++i];
      while (!options.appDirectory.empty() && options.appDirectory.back() == '\\')
        options.appDirectory.pop_back();
    } else if (strcmp(argv[i], "--image") == 0 && i + 1 < argc) {
      imageOut = argv[++i];
    } else if (argv[i][0] == '-' || logOut != nullptr) {
      return Usage();
    } else {
      logOut = argv[i];
    }
  }
  if (logOut == nullptr) return Usage();

  GeneratedLog generated;
  if (everyKind) {
    if (options.appDirectory == LogGenOptions().appDirectory)
      options.appDirectory = "C:\\Program Files\\Fernhill\\Every Kind";
    GenerateEveryKindLog(options, &generated);
  } else {
    GenerateLog(options, &generated);
  }
  if (WriteFile(logOut, generated.log) != 0) return 1;
  if (imageOut != nullptr && WriteFile(imageOut, MachineImageJson(generated, true)) != 0)
    return 1;
  fprintf(stderr,
          "loggen: %s: %zu bytes, %d sections, %zu private files in %d file groups, "
          "%zu registry values in %d groups, %d INI groups; the log is %s on the machine\n",
          logOut, generated.log.size(), Sections(generated.log), generated.files.size(),
          generated.privateFileLines, generated.values.size(), generated.regGroups,
          generated.iniGroups, generated.logPath.c_str());
  return 0;
}
