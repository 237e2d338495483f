// _MSRSTRT.EXE: the restart program that the uninstaller carries as a resource and writes
// into the Windows directory when a restart is needed on the NT family. Restarting there
// needs the shutdown privilege, which it enables in its own token. It shows no window and
// removes itself at the restart it causes.
#include <windows.h>

namespace {

// Enables the shutdown privilege in the process token; true when it is now enabled.
bool EnableShutdownPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return false;
  }
  TOKEN_PRIVILEGES privileges = {};
  bool adjusted = false;
  if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // The call also succeeds when the token does not hold the privilege at all; it then
    // reports ERROR_NOT_ALL_ASSIGNED, and a restart would only be refused.
    adjusted = AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) != FALSE &&
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
  char own[260];
  if (GetModuleFileNameA(nullptr, own, sizeof own) != 0) {
    MoveFileExA(own, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
  }
  if (EnableShutdownPrivilege()) ExitWindowsEx(EWX_REBOOT, 0);
  return 0;
}
