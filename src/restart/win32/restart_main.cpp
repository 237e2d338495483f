// _MSRSTRT.EXE: the restart program that the uninstaller carries as a resource and writes
// into the Windows directory when a restart is needed on the NT family. Restarting there
// needs the shutdown privilege, which it enables in its own token. It shows no window and
// removes itself at the restart it causes.
#include <windows.h>

#include "platform/win32/system_library.h"

namespace {

// The token calls exist only on the NT family; looked up at run time, they leave the
// program able to start on every Windows it is written out on.
struct TokenCalls {
  decltype(&OpenProcessToken) openToken = nullptr;
  decltype(&LookupPrivilegeValueA) lookupPrivilege = nullptr;
  decltype(&AdjustTokenPrivileges) adjust = nullptr;
};

bool FindTokenCalls(TokenCalls* calls) {
  HMODULE advapi = LoadFromSystemDirectory("ADVAPI32.DLL");
  if (advapi == nullptr) return false;
  calls->openToken =
      reinterpret_cast<decltype(&OpenProcessToken)>(GetProcAddress(advapi, "OpenProcessToken"));
  calls->lookupPrivilege = reinterpret_cast<decltype(&LookupPrivilegeValueA)>(
      GetProcAddress(advapi, "LookupPrivilegeValueA"));
  calls->adjust = reinterpret_cast<decltype(&AdjustTokenPrivileges)>(
      GetProcAddress(advapi, "AdjustTokenPrivileges"));
  return calls->openToken != nullptr && calls->lookupPrivilege != nullptr &&
         calls->adjust != nullptr;
}

// Enables the shutdown privilege in the process token; true when it is now enabled.
bool EnableShutdownPrivilege() {
  TokenCalls calls;
  if (!FindTokenCalls(&calls)) return false;
  HANDLE token = nullptr;
  if (!calls.openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return false;
  }
  TOKEN_PRIVILEGES privileges = {};
  bool adjusted = false;
  if (calls.lookupPrivilege(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // The call also succeeds when the token does not hold the privilege at all; it then
    // reports ERROR_NOT_ALL_ASSIGNED, and a restart would only be refused.
    adjusted = calls.adjust(token, FALSE, &privileges, 0, nullptr, nullptr) != FALSE &&
               GetLastError() == ERROR_SUCCESS;
  }
  CloseHandle(token);
  return adjusted;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  // It runs from the Windows directory, but the search would still try the current folder
  // and PATH for any library loaded by name.
  LimitLibrarySearchToSystem();
  char own[260];
  if (GetModuleFileNameA(nullptr, own, sizeof own) != 0) {
    MoveFileWithFlags(own, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
  }
  if (EnableShutdownPrivilege()) ExitWindowsEx(EWX_REBOOT, 0);
  return 0;
}
