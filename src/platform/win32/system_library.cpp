// Library loading from the system directory, the process-wide limit of the search, and
// the KERNEL32 calls looked up at run time.
#include "platform/win32/system_library.h"

#include <cstring>

namespace {

// The flags of SetDefaultDllDirectories and LoadLibraryEx that came with it. Older systems
// reject them (ERROR_INVALID_PARAMETER), so they are passed only where the calls exist.
constexpr DWORD kSearchDllLoadDir = 0x00000100;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
constexpr DWORD kSearchSystem32 = 0x00000800;    // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDllDirectoriesEntry = BOOL(WINAPI*)(DWORD);
using MoveFileExEntry = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);

FARPROC KernelEntry(const char* name) {
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  return kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
}

// The LOAD_LIBRARY_SEARCH flags are understood exactly where AddDllDirectory exists.
bool SystemKnowsSearchFlags() { return KernelEntry("AddDllDirectory") != nullptr; }

}  // namespace

bool LimitLibrarySearchToSystem() {
  auto limit =
      reinterpret_cast<SetDefaultDllDirectoriesEntry>(KernelEntry("SetDefaultDllDirectories"));
  return limit != nullptr && limit(kSearchSystem32) != FALSE;
}

HMODULE LoadFromSystemDirectory(const char* bareName) {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  size_t nameLength = strlen(bareName);
  // The directory never ends in a backslash (unless it were a root), so one always goes
  // between; a doubled one would still name the same file.
  if (length == 0 || length + 1 + nameLength >= MAX_PATH) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  path[length] = '\\';
  memcpy(path + length + 1, bareName, nameLength + 1);
  return LoadLibraryA(path);
}

HMODULE LoadLibraryFromPath(const char* path) {
  if (SystemKnowsSearchFlags()) {
    return LoadLibraryExA(path, nullptr, kSearchDllLoadDir | kSearchSystem32);
  }
  return LoadLibraryA(path);
}

BOOL MoveFileWithFlags(const char* from, const char* to, DWORD flags) {
  auto move = reinterpret_cast<MoveFileExEntry>(KernelEntry("MoveFileExA"));
  if (move == nullptr) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return move(from, to, flags);
}
