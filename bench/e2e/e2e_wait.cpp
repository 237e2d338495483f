// e2e_wait: starts a program and waits for it and for every process it started, directly or
// through a process that has already ended (the temporary copy that an uninstall hands its
// clean-up run to), then prints how long each took. Wine's own helpers that the first window
// of a session starts (the desktop process and the services it asks for) outlive the run by
// seconds; they are named, not waited for.
//
//   e2e_wait PROGRAM [ARGUMENTS...]
//
// Prints a line per process of the run and one line for scripts:
//   result: e2e first=S all=S processes=N desktop=0|1
// where first is the time from the start to the end of the program started, all the time
// to the end of the last process of the run, and desktop tells whether the run started the
// desktop process. Exit status: 0, or 2 when the program could not be started.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kMaxFamily = 64;
constexpr size_t kCommandSize = 4096;

struct Member {
  DWORD id;
  char name[MAX_PATH];
  double ended;  // seconds from the start
};

Member gFamily[kMaxFamily];
int gFamilyCount = 0;
bool gDesktopStarted = false;
LARGE_INTEGER gFrequency, gStart;

double Elapsed() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - gStart.QuadPart) / gFrequency.QuadPart;
}

bool InFamily(DWORD id) {
  for (int i = 0; i < gFamilyCount; ++i)
    if (gFamily[i].id == id) return true;
  return false;
}

// Wine's system processes: started on behalf of the session, not by the program's own work.
bool IsWineHelper(const char* name) {
  static const char* const kHelpers[] = {"explorer.exe",       "services.exe", "winedevice.exe",
                                         "plugplay.exe",       "rpcss.exe",    "svchost.exe",
                                         "conhost.exe",        "winemenubuilder.exe",
                                         "wineboot.exe",       "start.exe"};
  for (const char* helper : kHelpers)
    if (lstrcmpiA(name, helper) == 0) return true;
  return false;
}

// Adds the processes whose parent belongs to the run; returns how many children it saw
// without a name yet (a process that is still starting, or already ending, shows none: it
// cannot be told from a helper until it has one). A process is only looked at while it
// runs, so one that has ended in between is simply missed; its own children are still found
// through their parent's id.
int AddChildren(HANDLE* handles, int* handleCount) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int unnamed = 0;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (!InFamily(entry.th32ParentProcessID) || InFamily(entry.th32ProcessID)) continue;
    if (entry.szExeFile[0] == '\0') {
      ++unnamed;
      continue;
    }
    if (IsWineHelper(entry.szExeFile)) {
      if (lstrcmpiA(entry.szExeFile, "explorer.exe") == 0) gDesktopStarted = true;
      continue;
    }
    if (gFamilyCount == kMaxFamily) break;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    Member& m = gFamily[gFamilyCount++];
    m.id = entry.th32ProcessID;
    lstrcpynA(m.name, entry.szExeFile, sizeof m.name);
    m.ended = -1;
    handles[(*handleCount)++] = process;
  }
  CloseHandle(snapshot);
  return unnamed;
}

// Looks again while a child still has no name, for at most half a second.
void AddNamedChildren(HANDLE* handles, int* handleCount) {
  for (int tries = 0; AddChildren(handles, handleCount) > 0 && tries < 25; ++tries) Sleep(20);
}

// The command line as the program's own arguments came, each one quoted when it holds a
// blank (switches stay bare, as the program expects them).
bool BuildCommand(int argc, char** argv, char* command, size_t size) {
  command[0] = '\0';
  size_t used = 0;
  for (int i = 1; i < argc; ++i) {
    bool quote = strchr(argv[i], ' ') != nullptr;
    int written = snprintf(command + used, size - used, "%s%s%s%s", i > 1 ? " " : "",
                           quote ? "\"" : "", argv[i], quote ? "\"" : "");
    if (written < 0 || static_cast<size_t>(written) >= size - used) return false;
    used += static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: e2e_wait PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  static char command[kCommandSize];
  if (!BuildCommand(argc, argv, command, sizeof command)) {
    fprintf(stderr, "e2e_wait: the command line is too long\n");
    return 2;
  }
  QueryPerformanceFrequency(&gFrequency);
  QueryPerformanceCounter(&gStart);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    fprintf(stderr, "e2e_wait: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 2;
  }
  CloseHandle(process.hThread);
  gFamily[0].id = process.dwProcessId;
  lstrcpynA(gFamily[0].name, argv[1], sizeof gFamily[0].name);
  gFamily[0].ended = -1;
  gFamilyCount = 1;

  // Waits for one process after another, looking for new children each time one ends: the
  // last child of a process is only certain once that process has ended.
  HANDLE handles[kMaxFamily];
  int handleCount = 0;
  handles[handleCount++] = process.hProcess;
  int done = 0;  // handles[i] belongs to gFamily[i]
  while (done < handleCount) {
    // Looked at while waiting too, so that a child started by a process that lives on is
    // caught before it could end unseen.
    DWORD waited = WaitForSingleObject(handles[done], 50);
    if (waited == WAIT_TIMEOUT) {
      AddChildren(handles, &handleCount);
      continue;
    }
    gFamily[done].ended = Elapsed();
    CloseHandle(handles[done]);
    ++done;
    AddNamedChildren(handles, &handleCount);
  }
  double all = 0;
  for (int i = 0; i < gFamilyCount; ++i) {
    printf("  %-24s ended after %7.3f s\n", gFamily[i].name, gFamily[i].ended);
    if (gFamily[i].ended > all) all = gFamily[i].ended;
  }
  printf("  desktop process started by the run: %s\n", gDesktopStarted ? "yes" : "no");
  printf("result: e2e first=%.3f all=%.3f processes=%d desktop=%d\n", gFamily[0].ended, all,
         gFamilyCount, gDesktopStarted ? 1 : 0);
  return 0;
}
