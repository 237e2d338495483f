// Feeds every input of a fuzz target's corpus to the target's entry once. Linked with each
// fuzz target in the native tree, it runs the kept inputs in the ordinary test command
// without clang or libFuzzer, so a crash that was found and fixed stays fixed. A failed
// check in the target aborts and a fault ends the process through the sanitizers; either
// fails the test, naming the input. An empty or missing corpus fails too, rather than pass
// having run nothing.
//   <target>_replay CORPUS_FOLDER_OR_FILE...
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// The input being run, named when the run ends in an abort or a sanitizer's report.
std::string gCurrentInput;

void NameCurrentInput() {
  static const char kPrefix[] = "failing input: ";
  if (write(STDERR_FILENO, kPrefix, sizeof kPrefix - 1) < 0) return;
  if (write(STDERR_FILENO, gCurrentInput.data(), gCurrentInput.size()) < 0) return;
  if (write(STDERR_FILENO, "\n", 1) < 0) return;
}

void OnAbort(int) {
  NameCurrentInput();
  signal(SIGABRT, SIG_DFL);  // abort() raises again and ends the process
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The file named, or the files directly inside the folder named, in name order so that a
// failure reproduces in the same order.
bool CollectInputs(const std::string& argument, std::vector<std::string>* inputs) {
  if (IsRegularFile(argument)) {
    inputs->push_back(argument);
    return true;
  }
  DIR* folder = opendir(argument.c_str());
  if (folder == nullptr) return false;
  std::vector<std::string> found;
  while (const dirent* entry = readdir(folder)) {
    std::string path = argument + "/" + entry->d_name;
    if (IsRegularFile(path)) found.push_back(path);
  }
  closedir(folder);
  std::sort(found.begin(), found.end());
  inputs->insert(inputs->end(), found.begin(), found.end());
  return true;
}

bool ReadInput(const std::string& path, std::string* bytes) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes->clear();
  char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, got);
  bool ok = ferror(file) == 0;
  fclose(file);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s CORPUS_FOLDER_OR_FILE...\n", argv[0]);
    return 2;
  }
  signal(SIGABRT, OnAbort);
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_set_death_callback(NameCurrentInput);
#endif
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!CollectInputs(argv[i], &inputs)) {
      fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[i]);
      return 1;
    }
  }
  if (inputs.empty()) {
    fprintf(stderr, "%s: no inputs\n", argv[0]);
    return 1;
  }
  size_t bytes = 0;
  for (const std::string& path : inputs) {
    std::string contents;
    if (!ReadInput(path, &contents)) {
      fprintf(stderr, "%s: cannot read %s\n", argv[0], path.c_str());
      return 1;
    }
    // An exact-size heap copy, as libFuzzer hands it: a read one byte past the input is
    // then a fault the address sanitizer reports.
    std::unique_ptr<uint8_t[]> data(new uint8_t[contents.size()]);
    std::copy(contents.begin(), contents.end(), data.get());
    gCurrentInput = path;
    LLVMFuzzerTestOneInput(data.get(), contents.size());
    bytes += contents.size();
  }
  printf("replayed %zu inputs (%zu bytes)\n", inputs.size(), bytes);
  return 0;
}
