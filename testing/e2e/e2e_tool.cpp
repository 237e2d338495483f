// e2e_tool: the program of the end-to-end test under Wine that the install log names in
// two roles, without any window:
//   /REGSERVER and /UNREGSERVER: a self-registering program; sets or deletes the value
//       "Program" under HKLM\Software\Tarn E2E.
//   anything else: a program run at uninstall time; appends its command line (after the
//       program name) as one line to C:\e2e\ran.txt. With /hold it first waits while
//       C:\e2e\hold exists (a minute at most), so that a test can keep a run at work.
#include <windows.h>

#include <cstring>

namespace {

constexpr const char* kKey = "Software\\Tarn E2E";

void SetMark(bool registered) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (registered) {
    const char value[] = "registered";
    RegSetValueExA(key, "Program", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   sizeof value);
  } else {
    RegDeleteValueA(key, "Program");
  }
  RegCloseKey(key);
}

bool HasSwitch(const char* line, const char* name) {
  for (const char* p = line; *p != '\0'; ++p) {
    if ((*p == '/' || *p == '-') && lstrcmpiA(p + 1, name) == 0) return true;
  }
  return false;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  if (HasSwitch(commandLine, "REGSERVER")) {
    SetMark(true);
  } else if (HasSwitch(commandLine, "UNREGSERVER")) {
    SetMark(false);
  } else {
    if (HasSwitch(commandLine, "hold")) {
      for (int waited = 0;
           waited < 600 && GetFileAttributesA("C:\\e2e\\hold") != INVALID_FILE_ATTRIBUTES;
           ++waited) {
        Sleep(100);
      }
    }
    CreateDirectoryA("C:\\e2e", nullptr);
    HANDLE file = CreateFileA("C:\\e2e\\ran.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written;
      WriteFile(file, commandLine, static_cast<DWORD>(strlen(commandLine)), &written, nullptr);
      WriteFile(file, "\r\n", 2, &written, nullptr);
      CloseHandle(file);
    }
  }
  return 0;
}
