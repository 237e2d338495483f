// tarnseed: seeds the real machine (in practice a throwaway Wine prefix) from a machine
// image, the same JSON that seeds the simulated machine, and reports what it did. With
// --hold it then keeps the image's in-use files open so that a program run meanwhile
// finds them held by another process.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/image/machine_image.h"
#include "seed_machine.h"

namespace {

constexpr DWORD kHoldLimitMs = 300 * 1000;
constexpr DWORD kPollMs = 100;

void PrintUsage() {
  fputs(
      "usage: tarnseed [--hold] [--until PATH] [--ready PATH] IMAGE.json\n"
      "\n"
      "Seeds this machine from a machine image: directories, files (contents, last-write\n"
      "times, attributes), registry keys and values, services (created stopped, with the\n"
      "image's binary path) and stub files for its programs and libraries. Prints one line\n"
      "per change, then what was skipped and what failed. Exit status: 0 when every change\n"
      "was made, 1 when some failed, 2 for a usage or image error.\n"
      "\n"
      "Files marked \"inUse\" cannot stay in use once tarnseed has ended. With --hold,\n"
      "tarnseed stays running after seeding and keeps each of them open (read access,\n"
      "shared for reading only, so that deleting or overwriting it fails) until the file\n"
      "named by --until appears or 300 seconds have passed. --ready PATH is created once\n"
      "the files are held, so a script started in the background knows when to go on.\n"
      "\n"
      "Paths are Windows paths; one beginning with / is taken as a Unix path on Wine's\n"
      "Z: drive. Program Manager groups are not seeded (a stand-in serves them), nor are\n"
      "chosen short names, junctions or the image's platform settings.\n",
      stderr);
}

// Wine maps the Unix root to Z:, so a Unix path is reachable there.
std::string WindowsPath(const char* path) {
  std::string text = path;
  if (!text.empty() && text[0] == '/') {
    for (char& c : text) {
      if (c == '/') c = '\\';
    }
    text = "Z:" + text;
  }
  return text;
}

bool ReadWholeFile(const std::string& path, std::string* contents) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char block[65536];
  DWORD got = 0;
  bool ok = true;
  for (;;) {
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    contents->append(block, got);
  }
  CloseHandle(file);
  return ok;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Keeps the in-use files open until the stop file appears or the time limit passes.
// Returns the number of files that could not be held.
int HoldFiles(const std::vector<std::string>& paths, const std::string& untilPath,
              const std::string& readyPath) {
  std::vector<HANDLE> handles;
  int failures = 0;
  for (const std::string& path : paths) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      printf("failed: hold %s (error %lu)\n", path.c_str(),
             static_cast<unsigned long>(GetLastError()));
      ++failures;
      continue;
    }
    handles.push_back(file);
    printf("held: %s\n", path.c_str());
  }
  if (!readyPath.empty()) {
    HANDLE ready = CreateFileA(readyPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
      printf("failed: ready file %s (error %lu)\n", readyPath.c_str(),
             static_cast<unsigned long>(GetLastError()));
      ++failures;
    } else {
      CloseHandle(ready);
    }
  }
  fflush(stdout);

  DWORD start = GetTickCount();
  while (GetTickCount() - start < kHoldLimitMs) {
    if (!untilPath.empty() && Exists(untilPath)) break;
    Sleep(kPollMs);
  }
  for (HANDLE file : handles) CloseHandle(file);
  printf("released %zu file(s)\n", handles.size());
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  bool hold = false;
  std::string untilPath, readyPath, imagePath;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (strcmp(arg, "--hold") == 0) {
      hold = true;
    } else if ((strcmp(arg, "--until") == 0 || strcmp(arg, "--ready") == 0) && i + 1 < argc) {
      (arg[2] == 'u' ? untilPath : readyPath) = WindowsPath(argv[++i]);
    } else if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0 || arg[0] == '-' ||
               !imagePath.empty()) {
      PrintUsage();
      return 2;
    } else {
      imagePath = WindowsPath(arg);
    }
  }
  if (imagePath.empty()) {
    PrintUsage();
    return 2;
  }

  std::string json;
  if (!ReadWholeFile(imagePath, &json)) {
    fprintf(stderr, "tarnseed: cannot read %s (error %lu)\n", imagePath.c_str(),
            static_cast<unsigned long>(GetLastError()));
    return 2;
  }
  MachineImage image;
  std::string error;
  if (ReadMachineImage(json, &image, &error) != 0) {
    fprintf(stderr, "tarnseed: %s: %s\n", imagePath.c_str(), error.c_str());
    return 2;
  }

  SeedReport report;
  int failures = SeedMachine(image, &report);
  for (const std::string& line : report.done) printf("done: %s\n", line.c_str());
  for (const std::string& line : report.skipped) printf("skipped: %s\n", line.c_str());
  for (const std::string& line : report.failed) printf("failed: %s\n", line.c_str());

  std::vector<std::string> inUse = FilesInUse(image);
  if (!hold) {
    for (const std::string& path : inUse) {
      printf("skipped: in use %s: not held (run with --hold)\n", path.c_str());
    }
  }
  printf("seeded: %zu change(s), %zu skipped, %d failed\n", report.done.size(),
         report.skipped.size(), failures);
  fflush(stdout);

  if (hold) failures += HoldFiles(inUse, untilPath, readyPath);
  return failures == 0 ? 0 : 1;
}
