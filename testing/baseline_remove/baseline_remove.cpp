// baseline_remove: the smallest program that makes the changes of an uninstall, written
// straight against the Win32 API, to measure what the system itself needs for them. Its
// time is the yardstick for the uninstall's own (bench/uninstall_bench, scripts/bench.sh).
//
// It reads the journal that uninstall_bench wrote (one change per line, fields separated
// by tabs, in the order the uninstall made them) and makes the same changes with one call
// each, checking nothing beforehand:
//   F path                          DeleteFileA
//   D path                          RemoveDirectoryA
//   V root key name                 RegOpenKeyExA, RegDeleteValueA, RegCloseKey
//   K root key                      RegDeleteKeyA
//   I file section key value        WritePrivateProfileStringA
//   X file section key              WritePrivateProfileStringA with no value (deletes it)
// root is the predefined key in hexadecimal (80000002 is HKEY_LOCAL_MACHINE).
//
//   baseline_remove [JOURNAL]   (default: <temp>\untarn-bench\uninstall-journal.txt)
//
// The machine must first be in the state the uninstall started from
// (uninstall_bench --seed-only). Reading the journal is timed apart from the changes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum Kind { kFile, kDirectory, kValue, kKey, kIni, kKinds };
const char* const kKindNames[kKinds] = {"files (DeleteFileA)", "directories (RemoveDirectoryA)",
                                        "values (RegDeleteValueA)", "keys (RegDeleteKeyA)",
                                        "INI (WritePrivateProfileStringA)"};

struct Change {
  Kind kind;
  HKEY root;
  const char* fields[4];  // into the journal buffer
};

double Now() {
  static LARGE_INTEGER frequency = {};
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool ReadWholeFile(const char* path, std::string* text) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char block[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, block, sizeof block, &got, nullptr) != FALSE) && got > 0)
    text->append(block, got);
  CloseHandle(file);
  return ok;
}

// Splits the journal in place: each line's fields become terminated strings. A line of an
// unknown kind or with too few fields is counted and left out.
std::vector<Change> Parse(std::string& text, int* rejected) {
  std::vector<Change> changes;
  char* p = &text[0];
  char* end = p + text.size();
  while (p < end) {
    char* lineEnd = static_cast<char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
    if (lineEnd == nullptr) lineEnd = end;
    *lineEnd = '\0';
    char* fields[6] = {};
    int count = 0;
    for (char* field = p; field != nullptr && count < 6;) {
      fields[count++] = field;
      char* tab = strchr(field, '\t');
      if (tab != nullptr) *tab++ = '\0';
      field = tab;
    }
    p = lineEnd + 1;
    if (count == 0 || fields[0][0] == '\0') continue;
    Change change = {};
    int needed = 0;
    switch (fields[0][0]) {
      case 'F': change.kind = kFile; needed = 2; break;
      case 'D': change.kind = kDirectory; needed = 2; break;
      case 'V': change.kind = kValue; needed = 4; break;
      case 'K': change.kind = kKey; needed = 3; break;
      case 'I': change.kind = kIni; needed = 5; break;
      case 'X': change.kind = kIni; needed = 4; break;
      default: needed = 99; break;
    }
    if (count < needed) {
      ++*rejected;
      continue;
    }
    int first = 1;
    if (change.kind == kValue || change.kind == kKey) {
      change.root = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(strtoul(fields[1], nullptr, 16)));
      first = 2;
    }
    for (int i = first; i < needed; ++i) change.fields[i - first] = fields[i];
    // X carries no value: the entry is deleted.
    if (fields[0][0] == 'X') change.fields[3] = nullptr;
    changes.push_back(change);
  }
  return changes;
}

// One change with one call (the value needs its key opened and closed); true when done.
bool Make(const Change& c) {
  switch (c.kind) {
    case kFile: return DeleteFileA(c.fields[0]) != FALSE;
    case kDirectory: return RemoveDirectoryA(c.fields[0]) != FALSE;
    case kValue: {
      HKEY key = nullptr;
      if (RegOpenKeyExA(c.root, c.fields[0], 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
      bool done = RegDeleteValueA(key, c.fields[1]) == ERROR_SUCCESS;
      RegCloseKey(key);
      return done;
    }
    case kKey: return RegDeleteKeyA(c.root, c.fields[0]) == ERROR_SUCCESS;
    case kIni:
      return WritePrivateProfileStringA(c.fields[1], c.fields[2], c.fields[3], c.fields[0]) != FALSE;
    default: return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  if (argc > 2) {
    fprintf(stderr, "usage: baseline_remove [JOURNAL]\n");
    return 2;
  }
  if (argc == 2) {
    path = argv[1];
  } else {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    path = std::string(temp) + "untarn-bench\\uninstall-journal.txt";
  }

  double readStart = Now();
  std::string text;
  if (!ReadWholeFile(path.c_str(), &text)) {
    fprintf(stderr, "baseline_remove: cannot read %s\n", path.c_str());
    return 1;
  }
  int rejected = 0;
  std::vector<Change> changes = Parse(text, &rejected);
  double readSeconds = Now() - readStart;

  double seconds[kKinds] = {};
  long calls[kKinds] = {};
  long failed[kKinds] = {};
  double start = Now();
  for (const Change& c : changes) {
    double before = Now();
    bool done = Make(c);
    seconds[c.kind] += Now() - before;
    ++calls[c.kind];
    if (!done) ++failed[c.kind];
  }
  double total = Now() - start;

  printf("baseline_remove: the uninstall's changes made with the bare Win32 API\n");
  printf("  journal %s read in %.3f s: %zu changes (%d lines not understood)\n", path.c_str(),
         readSeconds, changes.size(), rejected);
  printf("  %-34s %8s %7s %9s %9s\n", "kind", "changes", "failed", "seconds", "us each");
  long failures = 0;
  for (int k = 0; k < kKinds; ++k) {
    failures += failed[k];
    printf("  %-34s %8ld %7ld %9.3f %9.2f\n", kKindNames[k], calls[k], failed[k], seconds[k],
           calls[k] > 0 ? seconds[k] * 1e6 / calls[k] : 0.0);
  }
  printf("  %-34s %8zu %7ld %9.3f   %.0f changes/s\n", "total", changes.size(), failures, total,
         total > 0 ? changes.size() / total : 0.0);
  if (failures > 0)
    printf("  (failed changes: the machine was not in the state the uninstall started from)\n");
  printf("result: baseline seconds=%.3f changes=%zu failed=%ld\n", total, changes.size(), failures);
  return failures > 0 ? 1 : 0;
}
