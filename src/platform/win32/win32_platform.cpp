// Win32Platform over the ANSI Win32 API, in the order of the seam: files, contents, search,
// process environment, code pages, profile files, registry, services, programs, libraries,
// resources, shell links, DDE, system. Every call's result is checked where it is made;
// failures return GetLastError() (or the Reg* result) and never leave a buffer unterminated.
#include "platform/win32/win32_platform.h"

#include "platform/win32/system_library.h"

#include <windows.h>
#include <ddeml.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <cstdlib>

namespace {

// The error of the call that just failed. A failure that left no code still must not read
// as success, so it becomes kErrGeneric.
int FailureCode() {
  DWORD code = GetLastError();
  return code == 0 ? kErrGeneric : static_cast<int>(code);
}

int Result(BOOL ok) { return ok ? 0 : FailureCode(); }

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
HKEY AsKey(RegHandle key) { return reinterpret_cast<HKEY>(key); }
SC_HANDLE AsService(ServiceHandle handle) { return reinterpret_cast<SC_HANDLE>(handle); }
HMODULE AsModule(LibHandle library) { return reinterpret_cast<HMODULE>(library); }

uint64_t FromFileTime(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(uint64_t value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

// The calls that return a length or the size they would need (GetCurrentDirectory,
// GetTempPath, GetWindowsDirectory...): a result that does not fit is a failure and leaves
// an empty buffer, never a cut path that would name another file.
int LengthResult(UINT length, char* buffer, uint32_t size) {
  if (length == 0 || length >= size) {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<int>(length);
}

FileHandle OpenFile(const char* path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE file = CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  return file == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(file);
}

void FillFindEntry(const WIN32_FIND_DATAA& data, FindEntry* entry) {
  memcpy(entry->name, data.cFileName, sizeof entry->name);
  entry->name[sizeof entry->name - 1] = '\0';
  static_assert(sizeof entry->shortName == sizeof data.cAlternateFileName,
                "the 8.3 name field matches the API's");
  memcpy(entry->shortName, data.cAlternateFileName, sizeof entry->shortName);
  entry->shortName[sizeof entry->shortName - 1] = '\0';
  entry->attributes = data.dwFileAttributes;
  entry->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  entry->lastWrite = FromFileTime(data.ftLastWriteTime);
}

// The System Restore records as the API lays them out: packed, no padding before the
// 64-bit sequence numbers.
#pragma pack(push, 1)
struct RestorePointInfoA {
  DWORD eventType;
  DWORD pointType;
  INT64 sequenceNumber;
  CHAR description[64];
};
struct StateManagerStatus {
  DWORD status;
  INT64 sequenceNumber;
};
#pragma pack(pop)
static_assert(sizeof(RestorePointInfoA) == 80, "packed restore point request");
static_assert(sizeof(StateManagerStatus) == 12, "packed restore point status");

using EntryNoArguments = HRESULT(WINAPI*)();
using EntryOnePointer = HRESULT(WINAPI*)(void*);
using RestorePointEntry = BOOL(WINAPI*)(RestorePointInfoA*, StateManagerStatus*);
using StatusMifEntry = BOOL(WINAPI*)(LPSTR, LPSTR, LPSTR, LPSTR, LPSTR, LPSTR, LPSTR, BOOL);
using ChangeNotifyEntry = void(WINAPI*)(LONG, UINT, LPCVOID, LPCVOID);

// The address of an export, converted to the caller's function type. 0 with the error set
// when the library or the export is missing.
template <typename Function>
Function EntryAddress(LibHandle library, const char* name) {
  if (library == 0 || name == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  FARPROC address = GetProcAddress(AsModule(library), name);
  return reinterpret_cast<Function>(address);
}

// SetFilePointer with both halves of the distance; the new position, or -1. (The 64-bit
// call of its own came with Windows 2000.) A low half of all ones is also a position, so
// only the error code tells a failure.
int64_t MoveFilePointer(HANDLE file, int64_t distance, DWORD method) {
  LONG high = static_cast<LONG>(distance >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(file, static_cast<LONG>(distance & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
  return (static_cast<int64_t>(high) << 32) | low;
}

// The service manager's calls, looked up at run time: the Windows 95 family's ADVAPI32
// does not export them, and a static import would keep the program from starting there.
// Without them every service operation fails as a call the system does not have.
struct ServiceCalls {
  decltype(&OpenSCManagerA) openManager = nullptr;
  decltype(&OpenServiceA) openService = nullptr;
  decltype(&CreateServiceA) createService = nullptr;
  decltype(&ControlService) control = nullptr;
  decltype(&DeleteService) remove = nullptr;
  decltype(&CloseServiceHandle) close = nullptr;
};

template <typename Function>
void LookUp(HMODULE library, const char* name, Function* entry) {
  *entry = library != nullptr ? reinterpret_cast<Function>(GetProcAddress(library, name)) : nullptr;
}

const ServiceCalls& Services() {
  static ServiceCalls calls;
  static bool resolved = false;
  if (!resolved) {
    HMODULE advapi = LoadFromSystemDirectory("ADVAPI32.DLL");
    LookUp(advapi, "OpenSCManagerA", &calls.openManager);
    LookUp(advapi, "OpenServiceA", &calls.openService);
    LookUp(advapi, "CreateServiceA", &calls.createService);
    LookUp(advapi, "ControlService", &calls.control);
    LookUp(advapi, "DeleteService", &calls.remove);
    LookUp(advapi, "CloseServiceHandle", &calls.close);
    resolved = true;
  }
  return calls;
}

// What a service operation reports when the system lacks the call.
int NoServiceCall() {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return ERROR_CALL_NOT_IMPLEMENTED;
}

ServiceHandle NoServiceHandle() {
  NoServiceCall();
  return 0;
}

// COM comes from OLE32.DLL, loaded when the first link is written: only a repair writes
// links, and a static import would map it and the two libraries it needs into every run.
struct ComCalls {
  decltype(&CoInitialize) initialize = nullptr;
  decltype(&CoCreateInstance) createInstance = nullptr;
  decltype(&CoUninitialize) uninitialize = nullptr;
};

const ComCalls& Com() {
  static ComCalls calls;
  static bool resolved = false;
  if (!resolved) {
    HMODULE ole = LoadFromSystemDirectory("OLE32.DLL");
    LookUp(ole, "CoInitialize", &calls.initialize);
    LookUp(ole, "CoCreateInstance", &calls.createInstance);
    LookUp(ole, "CoUninitialize", &calls.uninitialize);
    resolved = true;
  }
  return calls;
}

// A client-only conversation needs a callback, but it is asked nothing a client answers.
HDDEDATA CALLBACK DdeClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR,
                                    ULONG_PTR) {
  return nullptr;
}

int DdeFailure(DWORD instance) {
  UINT code = DdeGetLastError(instance);
  return code == 0 ? kErrGeneric : static_cast<int>(code);
}

}  // namespace

Win32Platform::~Win32Platform() {
  DdeDisconnectNow();
  DdeStop();
}

// --- Files and directories ---------------------------------------------------------------

uint32_t Win32Platform::GetAttributes(const char* path) {
  return GetFileAttributesA(path);
}

int Win32Platform::SetAttributes(const char* path, uint32_t attributes) {
  return Result(SetFileAttributesA(path, attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes));
}

int Win32Platform::RemoveFile(const char* path) { return Result(DeleteFileA(path)); }

int Win32Platform::CopyFileTo(const char* from, const char* to, bool failIfExists) {
  return Result(CopyFileA(from, to, failIfExists ? TRUE : FALSE));
}

int Win32Platform::MoveFileFlags(const char* from, const char* to, uint32_t flags) {
  return Result(MoveFileWithFlags(from, to, flags));
}

int Win32Platform::MakeDirectory(const char* path) {
  return Result(CreateDirectoryA(path, nullptr));
}

int Win32Platform::RemoveEmptyDirectory(const char* path) {
  return Result(RemoveDirectoryA(path));
}

// --- File contents -----------------------------------------------------------------------

// Others may go on reading and writing a file we only read (a log another program keeps).
FileHandle Win32Platform::OpenForRead(const char* path) {
  return OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
}

FileHandle Win32Platform::OpenForWrite(const char* path) {
  return OpenFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
}

// Read access too, so that a file just written can be checked through the same handle.
FileHandle Win32Platform::CreateTruncated(const char* path) {
  return OpenFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
}

int Win32Platform::ReadBytes(FileHandle file, void* buffer, uint32_t count) {
  DWORD done = 0;
  if (!ReadFile(AsHandle(file), buffer, count, &done, nullptr)) return -1;
  return static_cast<int>(done);
}

int Win32Platform::WriteBytes(FileHandle file, const void* data, uint32_t count) {
  DWORD done = 0;
  if (!WriteFile(AsHandle(file), data, count, &done, nullptr)) return -1;
  return static_cast<int>(done);
}

int64_t Win32Platform::Seek(FileHandle file, int64_t offset, int origin) {
  DWORD method = origin == kSeekCurrent ? FILE_CURRENT : origin == kSeekEnd ? FILE_END
                                                                            : FILE_BEGIN;
  return MoveFilePointer(AsHandle(file), offset, method);
}

// The file position is kept where it was, so that a caller's next write does not move.
int Win32Platform::SetLength(FileHandle file, int64_t length) {
  HANDLE handle = AsHandle(file);
  int64_t current = MoveFilePointer(handle, 0, FILE_CURRENT);
  if (current < 0) return FailureCode();
  if (MoveFilePointer(handle, length, FILE_BEGIN) < 0) return FailureCode();
  int result = Result(SetEndOfFile(handle));
  MoveFilePointer(handle, current, FILE_BEGIN);
  return result;
}

int Win32Platform::GetLastWrite(FileHandle file, uint64_t* fileTime) {
  FILETIME written;
  if (!GetFileTime(AsHandle(file), nullptr, nullptr, &written)) return FailureCode();
  *fileTime = FromFileTime(written);
  return 0;
}

int Win32Platform::FlushFile(FileHandle file) {
  return Result(FlushFileBuffers(AsHandle(file)));
}

void Win32Platform::CloseFile(FileHandle file) {
  if (file != kNoFile) CloseHandle(AsHandle(file));
}

// --- Directory search --------------------------------------------------------------------

SearchHandle Win32Platform::FindFirst(const char* pattern, FindEntry* entry) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern, &data);
  if (search == INVALID_HANDLE_VALUE) return kNoSearch;
  FillFindEntry(data, entry);
  return reinterpret_cast<SearchHandle>(search);
}

int Win32Platform::FindNext(SearchHandle search, FindEntry* entry) {
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(AsHandle(search), &data)) return FailureCode();
  FillFindEntry(data, entry);
  return 0;
}

void Win32Platform::FindEnd(SearchHandle search) {
  if (search != kNoSearch) FindClose(AsHandle(search));
}

// --- Process environment -----------------------------------------------------------------

int Win32Platform::GetCurrentDir(char* buffer, uint32_t size) {
  return LengthResult(GetCurrentDirectoryA(size, buffer), buffer, size);
}

int Win32Platform::TempDirectory(char* buffer, uint32_t size) {
  return LengthResult(GetTempPathA(size, buffer), buffer, size);
}

// GetModuleFileName cuts a long path silently (and on older systems without a terminator);
// a full buffer is therefore treated as a path that did not fit.
int Win32Platform::ModuleFileName(char* buffer, uint32_t size) {
  return LengthResult(GetModuleFileNameA(nullptr, buffer, size), buffer, size);
}

int Win32Platform::WindowsDirectory(char* buffer, uint32_t size) {
  return LengthResult(GetWindowsDirectoryA(buffer, size), buffer, size);
}

int Win32Platform::SystemDirectory(char* buffer, uint32_t size) {
  return LengthResult(GetSystemDirectoryA(buffer, size), buffer, size);
}

int Win32Platform::SetCurrentDir(const char* path) { return Result(SetCurrentDirectoryA(path)); }

uint32_t Win32Platform::TempFileName(const char* directory, const char* prefix, uint32_t unique,
                                     char* out) {
  return GetTempFileNameA(directory, prefix, unique, out);
}

namespace {

// The system's generators, newest first, each looked up at run time: RtlGenRandom from
// Windows XP on, CryptGenRandom where a cryptographic provider is installed (NT 4, later
// Windows 95 releases). True when one of them filled the buffer.
bool SystemRandom(void* buffer, uint32_t size) {
  HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
  if (advapi == nullptr) return false;
  using GenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);
  auto genRandom = reinterpret_cast<GenRandom>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")));
  if (genRandom != nullptr && genRandom(buffer, size)) return true;

  using Acquire = BOOL(WINAPI*)(ULONG_PTR*, LPCSTR, LPCSTR, DWORD, DWORD);
  using Generate = BOOL(WINAPI*)(ULONG_PTR, DWORD, BYTE*);
  using Release = BOOL(WINAPI*)(ULONG_PTR, DWORD);
  auto acquire = reinterpret_cast<Acquire>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "CryptAcquireContextA")));
  auto generate =
      reinterpret_cast<Generate>(reinterpret_cast<void*>(GetProcAddress(advapi, "CryptGenRandom")));
  auto release = reinterpret_cast<Release>(
      reinterpret_cast<void*>(GetProcAddress(advapi, "CryptReleaseContext")));
  if (acquire == nullptr || generate == nullptr || release == nullptr) return false;
  ULONG_PTR provider = 0;
  constexpr DWORD kProvRsaFull = 1;
  constexpr DWORD kCryptVerifyContext = 0xF0000000u;
  if (!acquire(&provider, nullptr, nullptr, kProvRsaFull, kCryptVerifyContext)) return false;
  bool filled = generate(provider, size, static_cast<BYTE*>(buffer)) != FALSE;
  release(provider, 0);
  return filled;
}

uint64_t Mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace

int Win32Platform::RandomBytes(void* buffer, uint32_t size) {
  if (SystemRandom(buffer, size)) return 0;
  // Without a generator: the clocks, the counters and this process's identity, mixed. Not
  // secret, but different on every run and not known before it starts.
  LARGE_INTEGER counter = {};
  QueryPerformanceCounter(&counter);
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  uint64_t state = Mix(static_cast<uint64_t>(counter.QuadPart)) ^ Mix(FromFileTime(now)) ^
                   Mix((static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^ GetTickCount()) ^
                   Mix(reinterpret_cast<uintptr_t>(&counter) ^ GetCurrentThreadId());
  auto* out = static_cast<uint8_t*>(buffer);
  for (uint32_t i = 0; i < size; ++i) {
    state += 0x9E3779B97F4A7C15u;
    out[i] = static_cast<uint8_t>(Mix(state));
  }
  return 0;
}

VersionInfo Win32Platform::Version() {
  OSVERSIONINFOA info;
  memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the ANSI version record the API expects");
  VersionInfo version = {};
  if (GetVersionExA(&info)) {
    version.platformId = info.dwPlatformId;
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.build = info.dwBuildNumber;
  }
  return version;
}

int Win32Platform::DriveType(const char* root) { return static_cast<int>(GetDriveTypeA(root)); }

void Win32Platform::SuppressFileErrorBoxes() { SetErrorMode(SEM_NOOPENFILEERRORBOX); }

void Win32Platform::LocalTimeNow(SystemTime* time) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  time->year = now.wYear;
  time->month = now.wMonth;
  time->dayOfWeek = now.wDayOfWeek;
  time->day = now.wDay;
  time->hour = now.wHour;
  time->minute = now.wMinute;
  time->second = now.wSecond;
  time->milliseconds = now.wMilliseconds;
}

int Win32Platform::FileTimeToLocalDos(uint64_t fileTime, uint16_t* dosDate, uint16_t* dosTime) {
  FILETIME universal = ToFileTime(fileTime);
  FILETIME local;
  if (!FileTimeToLocalFileTime(&universal, &local)) return FailureCode();
  WORD date = 0;
  WORD time = 0;
  if (!FileTimeToDosDateTime(&local, &date, &time)) return FailureCode();
  *dosDate = date;
  *dosTime = time;
  return 0;
}

uint32_t Win32Platform::TickCount() { return GetTickCount(); }

int Win32Platform::DaylightShiftMinutes() {
  TIME_ZONE_INFORMATION zone = {};
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
  // A zone without daylight saving time leaves its change dates empty, whatever its biases.
  if (zone.StandardDate.wMonth == 0 || zone.DaylightDate.wMonth == 0) return 0;
  LONG shift = zone.StandardBias - zone.DaylightBias;
  return static_cast<int>(shift < 0 ? -shift : shift);
}

// --- Code pages --------------------------------------------------------------------------

void Win32Platform::OemToAnsiText(const char* src, char* dst) { OemToCharA(src, dst); }

bool Win32Platform::IsLeadByte(uint8_t byte) { return IsDBCSLeadByte(byte) != FALSE; }

uint8_t Win32Platform::UpperByte(uint8_t byte) {
  char one[1] = {static_cast<char>(byte)};
  CharUpperBuffA(one, 1);
  return static_cast<uint8_t>(one[0]);
}

// --- Profile (INI) files -----------------------------------------------------------------

int Win32Platform::ReadIniString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const char* file) {
  if (size == 0) return 0;
  return static_cast<int>(
      GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file));
}

int Win32Platform::ReadIniInt(const char* section, const char* key, int defaultValue,
                              const char* file) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, defaultValue, file));
}

int Win32Platform::WriteIniString(const char* section, const char* key, const char* value,
                                  const char* file) {
  return Result(WritePrivateProfileStringA(section, key, value, file));
}

// --- Registry ----------------------------------------------------------------------------

int Win32Platform::RegOpen(RegHandle parent, const char* path, uint32_t access, RegHandle* key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(AsKey(parent), path, 0, access, &opened);
  *key = result == ERROR_SUCCESS ? reinterpret_cast<RegHandle>(opened) : 0;
  return static_cast<int>(result);
}

int Win32Platform::RegCreate(RegHandle parent, const char* path, uint32_t access,
                             RegHandle* key) {
  HKEY created = nullptr;
  LONG result = RegCreateKeyExA(AsKey(parent), path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                access, nullptr, &created, nullptr);
  *key = result == ERROR_SUCCESS ? reinterpret_cast<RegHandle>(created) : 0;
  return static_cast<int>(result);
}

int Win32Platform::RegQuery(RegHandle key, const char* name, uint32_t* type, void* data,
                            uint32_t* size) {
  DWORD valueType = 0;
  DWORD valueSize = size != nullptr ? *size : 0;
  LONG result = RegQueryValueExA(AsKey(key), name, nullptr, &valueType,
                                 static_cast<BYTE*>(data), size != nullptr ? &valueSize : nullptr);
  if (type != nullptr) *type = valueType;
  if (size != nullptr) *size = valueSize;
  return static_cast<int>(result);
}

int Win32Platform::RegSet(RegHandle key, const char* name, uint32_t type, const void* data,
                          uint32_t size) {
  return static_cast<int>(
      RegSetValueExA(AsKey(key), name, 0, type, static_cast<const BYTE*>(data), size));
}

int Win32Platform::RegRemoveValue(RegHandle key, const char* name) {
  return static_cast<int>(RegDeleteValueA(AsKey(key), name));
}

int Win32Platform::RegEnumValueAt(RegHandle key, uint32_t index, char* name,
                                  uint32_t* nameSize, uint32_t* type) {
  DWORD length = *nameSize;
  DWORD valueType = 0;
  LONG result =
      RegEnumValueA(AsKey(key), index, name, &length, nullptr, &valueType, nullptr, nullptr);
  *nameSize = length;
  if (type != nullptr) *type = valueType;
  return static_cast<int>(result);
}

int Win32Platform::RegEnumKeyAt(RegHandle key, uint32_t index, char* name, uint32_t* nameSize) {
  DWORD length = *nameSize;
  LONG result =
      RegEnumKeyExA(AsKey(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
  *nameSize = length;
  return static_cast<int>(result);
}

int Win32Platform::RegHoldsEntries(RegHandle key, bool* hasValues, bool* hasSubkeys) {
  DWORD subkeys = 0;
  DWORD values = 0;
  LONG result = RegQueryInfoKeyA(AsKey(key), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                 nullptr, &values, nullptr, nullptr, nullptr, nullptr);
  *hasValues = result == ERROR_SUCCESS && values != 0;
  *hasSubkeys = result == ERROR_SUCCESS && subkeys != 0;
  return static_cast<int>(result);
}

// Passed through as it is: the NT family refuses a key that has subkeys, the Windows 95
// family deletes the whole tree. The program empties a tree itself before it deletes the
// key, so both give the same outcome for it.
int Win32Platform::RegRemoveKey(RegHandle parent, const char* path) {
  return static_cast<int>(RegDeleteKeyA(AsKey(parent), path));
}

void Win32Platform::RegClose(RegHandle key) {
  if (key != 0) RegCloseKey(AsKey(key));
}

// --- Services ----------------------------------------------------------------------------

ServiceHandle Win32Platform::ScmOpen(uint32_t access) {
  const ServiceCalls& calls = Services();
  if (calls.openManager == nullptr) return NoServiceHandle();
  return reinterpret_cast<ServiceHandle>(calls.openManager(nullptr, nullptr, access));
}

ServiceHandle Win32Platform::ServiceOpen(ServiceHandle manager, const char* name,
                                         uint32_t access) {
  const ServiceCalls& calls = Services();
  if (calls.openService == nullptr) return NoServiceHandle();
  return reinterpret_cast<ServiceHandle>(calls.openService(AsService(manager), name, access));
}

ServiceHandle Win32Platform::ServiceCreate(ServiceHandle manager, const char* name,
                                           const char* binaryPath) {
  const ServiceCalls& calls = Services();
  if (calls.createService == nullptr) return NoServiceHandle();
  return reinterpret_cast<ServiceHandle>(
      calls.createService(AsService(manager), name, name, SERVICE_ALL_ACCESS,
                          SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                          binaryPath, nullptr, nullptr, nullptr, nullptr, nullptr));
}

int Win32Platform::ServiceStop(ServiceHandle service) {
  const ServiceCalls& calls = Services();
  if (calls.control == nullptr) return NoServiceCall();
  SERVICE_STATUS status;
  return Result(calls.control(AsService(service), SERVICE_CONTROL_STOP, &status));
}

int Win32Platform::ServiceDelete(ServiceHandle service) {
  const ServiceCalls& calls = Services();
  if (calls.remove == nullptr) return NoServiceCall();
  return Result(calls.remove(AsService(service)));
}

void Win32Platform::ServiceClose(ServiceHandle handle) {
  const ServiceCalls& calls = Services();
  if (handle != 0 && calls.close != nullptr) calls.close(AsService(handle));
}

// --- Programs ----------------------------------------------------------------------------

int Win32Platform::StartProcess(const char* commandLine, const char* currentDir, bool wait) {
  // CreateProcess may write into the command line, so it gets a copy of its own.
  size_t length = strlen(commandLine);
  char* line = static_cast<char*>(malloc(length + 1));
  if (line == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  memcpy(line, commandLine, length + 1);

  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  BOOL started = CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, currentDir,
                                &startup, &process);
  int result = started ? 0 : FailureCode();
  free(line);
  if (!started) return result;
  if (wait) WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

int Win32Platform::ExecProgram(const char* commandLine, int showState) {
  return static_cast<int>(WinExec(commandLine, static_cast<UINT>(showState)));
}

int Win32Platform::ShellOpen(const char* file, const char* parameters, const char* directory,
                             int showState) {
  HINSTANCE result = ShellExecuteA(nullptr, nullptr, file, parameters, directory, showState);
  return static_cast<int>(reinterpret_cast<INT_PTR>(result));
}

// --- Libraries and their entry points ----------------------------------------------------

LibHandle Win32Platform::LoadSystemLib(const char* name) {
  if (!IsBareLibraryName(name)) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  return reinterpret_cast<LibHandle>(LoadFromSystemDirectory(name));
}

LibHandle Win32Platform::LoadLib(const char* path) {
  if (IsBareLibraryName(path)) return LoadSystemLib(path);
  return reinterpret_cast<LibHandle>(LoadLibraryFromPath(path));
}

bool Win32Platform::HasEntry(LibHandle library, const char* name) {
  return library != 0 && GetProcAddress(AsModule(library), name) != nullptr;
}

int Win32Platform::CallEntry(LibHandle library, const char* name, int32_t* result) {
  EntryNoArguments entry = EntryAddress<EntryNoArguments>(library, name);
  if (entry == nullptr) return FailureCode();
  HRESULT value = entry();
  if (result != nullptr) *result = static_cast<int32_t>(value);
  return 0;
}

int Win32Platform::CallEntryWithPointer(LibHandle library, const char* name, void* argument,
                                        int32_t* result) {
  EntryOnePointer entry = EntryAddress<EntryOnePointer>(library, name);
  if (entry == nullptr) return FailureCode();
  HRESULT value = entry(argument);
  if (result != nullptr) *result = static_cast<int32_t>(value);
  return 0;
}

int Win32Platform::CallRestorePoint(LibHandle library, const RestorePointRequest& request,
                                    RestorePointStatus* status, int32_t* result) {
  RestorePointEntry entry = EntryAddress<RestorePointEntry>(library, "SRSetRestorePoint");
  if (entry == nullptr) return FailureCode();
  RestorePointInfoA info;
  memset(&info, 0, sizeof info);
  info.eventType = request.eventType;
  info.pointType = request.pointType;
  info.sequenceNumber = request.sequenceNumber;
  memcpy(info.description, request.description, sizeof info.description);
  info.description[sizeof info.description - 1] = '\0';
  StateManagerStatus outcome;
  memset(&outcome, 0, sizeof outcome);
  BOOL value = entry(&info, &outcome);
  if (status != nullptr) {
    status->status = outcome.status;
    status->sequenceNumber = outcome.sequenceNumber;
  }
  if (result != nullptr) *result = value;
  return 0;
}

// The library's prototype takes writable strings although it only reads them.
int Win32Platform::CallInstallStatusMif(LibHandle library, const StatusMifArguments& arguments,
                                        int32_t* result) {
  StatusMifEntry entry = EntryAddress<StatusMifEntry>(library, "InstallStatusMIF");
  if (entry == nullptr) return FailureCode();
  BOOL value = entry(const_cast<LPSTR>(arguments.fileName),
                     const_cast<LPSTR>(arguments.manufacturer),
                     const_cast<LPSTR>(arguments.product), const_cast<LPSTR>(arguments.version),
                     const_cast<LPSTR>(arguments.locale),
                     const_cast<LPSTR>(arguments.serialNumber),
                     const_cast<LPSTR>(arguments.description), arguments.success);
  if (result != nullptr) *result = value;
  return 0;
}

int Win32Platform::CallShellChangeNotify(LibHandle library, int32_t event, uint32_t flags,
                                         const char* path) {
  ChangeNotifyEntry entry = EntryAddress<ChangeNotifyEntry>(library, "SHChangeNotify");
  if (entry == nullptr) return FailureCode();
  entry(event, flags, path, nullptr);
  return 0;
}

void Win32Platform::FreeLib(LibHandle library) {
  if (library != 0) FreeLibrary(AsModule(library));
}

// --- The program's own resources ---------------------------------------------------------

int Win32Platform::LoadStringText(uint32_t id, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  return LoadStringA(GetModuleHandleA(nullptr), id, buffer, size);
}

int Win32Platform::ResourceBytes(uint32_t type, uint32_t id, const void** data,
                                 uint32_t* size) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type));
  if (found == nullptr) return FailureCode();
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return FailureCode();
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return FailureCode();
  *data = bytes;
  *size = SizeofResource(module, found);
  return 0;
}

// --- Shell links -------------------------------------------------------------------------

int Win32Platform::CreateShellLink(const ShellLinkFields& link) {
  const ComCalls& com = Com();
  if (com.initialize == nullptr || com.createInstance == nullptr || com.uninitialize == nullptr) {
    return ERROR_MOD_NOT_FOUND;
  }
  HRESULT initialized = com.initialize(nullptr);
  IShellLinkA* shellLink = nullptr;
  IPersistFile* persist = nullptr;
  WCHAR widePath[MAX_PATH];
  HRESULT status = com.createInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void**>(&shellLink));
  if (FAILED(status)) goto done;
  status = shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
  if (FAILED(status)) goto done;

  shellLink->SetPath(link.target != nullptr ? link.target : "");
  shellLink->SetWorkingDirectory(link.workingDirectory != nullptr ? link.workingDirectory : "");
  shellLink->SetIconLocation(link.iconPath != nullptr ? link.iconPath : "", link.iconIndex);
  shellLink->SetShowCmd(link.showCommand);
  // A hot key without its virtual key (the low byte) is no hot key: none is set.
  if ((link.hotKey & 0xFF) != 0) shellLink->SetHotkey(link.hotKey);
  shellLink->SetArguments(link.arguments != nullptr ? link.arguments : "");

  if (MultiByteToWideChar(CP_ACP, 0, link.linkPath, -1, widePath, MAX_PATH) == 0) {
    status = E_INVALIDARG;
    goto done;
  }
  status = persist->Save(widePath, FALSE);

done:
  if (persist != nullptr) persist->Release();
  if (shellLink != nullptr) shellLink->Release();
  if (SUCCEEDED(initialized)) com.uninitialize();
  if (SUCCEEDED(status)) return 0;
  return status == 0 ? kErrGeneric : static_cast<int>(status);
}

// --- Program Manager over DDE ------------------------------------------------------------

int Win32Platform::DdeStart() {
  if (ddeInstance_ != 0) return 0;
  DWORD instance = 0;
  UINT result = DdeInitializeA(&instance, DdeClientCallback, APPCMD_CLIENTONLY, 0);
  if (result != DMLERR_NO_ERROR) return static_cast<int>(result);
  ddeInstance_ = instance;
  return 0;
}

int Win32Platform::DdeConnectTo(const char* service) {
  if (ddeInstance_ == 0) return DMLERR_DLL_NOT_INITIALIZED;
  DdeDisconnectNow();
  HSZ name = DdeCreateStringHandleA(ddeInstance_, service, CP_WINANSI);
  if (name == nullptr) return DdeFailure(ddeInstance_);
  HCONV conversation = DdeConnect(ddeInstance_, name, name, nullptr);
  int result = conversation != nullptr ? 0 : DdeFailure(ddeInstance_);
  DdeFreeStringHandle(ddeInstance_, name);
  ddeConversation_ = reinterpret_cast<uintptr_t>(conversation);
  return result;
}

int Win32Platform::DdeRequestText(const char* item, char* buffer, uint32_t size,
                                  uint32_t timeoutMs) {
  if (ddeConversation_ == 0 || size == 0) return -1;
  HSZ itemName = DdeCreateStringHandleA(ddeInstance_, item, CP_WINANSI);
  if (itemName == nullptr) return -1;
  HDDEDATA data = DdeClientTransaction(nullptr, 0, reinterpret_cast<HCONV>(ddeConversation_),
                                       itemName, CF_TEXT, XTYP_REQUEST, timeoutMs, nullptr);
  DdeFreeStringHandle(ddeInstance_, itemName);
  if (data == nullptr) return -1;
  DWORD copied = DdeGetData(data, reinterpret_cast<BYTE*>(buffer), size, 0);
  DdeFreeDataHandle(data);
  // An answer longer than the buffer is cut; it still ends in a terminator.
  if (copied > size) copied = size;
  if (copied == 0 || buffer[copied - 1] != '\0') {
    if (copied < size) {
      buffer[copied++] = '\0';
    } else {
      buffer[size - 1] = '\0';
    }
  }
  return static_cast<int>(copied);
}

int Win32Platform::DdeExecuteText(const char* command, uint32_t timeoutMs) {
  if (ddeConversation_ == 0) return DMLERR_NO_CONV_ESTABLISHED;
  DWORD length = static_cast<DWORD>(strlen(command)) + 1;
  HDDEDATA data = DdeCreateDataHandle(ddeInstance_,
                                      reinterpret_cast<BYTE*>(const_cast<char*>(command)),
                                      length, 0, nullptr, 0, 0);
  if (data == nullptr) return DdeFailure(ddeInstance_);
  // The data handle is handed over: the transaction frees it.
  HDDEDATA answer = DdeClientTransaction(reinterpret_cast<BYTE*>(data), 0xFFFFFFFF,
                                         reinterpret_cast<HCONV>(ddeConversation_), nullptr, 0,
                                         XTYP_EXECUTE, timeoutMs, nullptr);
  return answer != nullptr ? 0 : DdeFailure(ddeInstance_);
}

void Win32Platform::DdeDisconnectNow() {
  if (ddeConversation_ == 0) return;
  DdeDisconnect(reinterpret_cast<HCONV>(ddeConversation_));
  ddeConversation_ = 0;
}

void Win32Platform::DdeStop() {
  if (ddeInstance_ == 0) return;
  DdeDisconnectNow();
  DdeUninitialize(ddeInstance_);
  ddeInstance_ = 0;
}

// --- Runs of one log ------------------------------------------------------------------------

namespace {
HANDLE gRunLock = nullptr;  // held until the process ends
}  // namespace

int Win32Platform::ClaimRunLock(const char* name) {
  if (gRunLock != nullptr) return 0;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return FailureCode();
  // The name is already there: another process made it and still holds it (a process that
  // ended, killed or not, took its handle with it and the name with it).
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return kErrAlreadyExists;
  }
  gRunLock = mutex;
  return 0;
}

void Win32Platform::ReleaseRunLock() {
  if (gRunLock != nullptr) CloseHandle(gRunLock);
  gRunLock = nullptr;
}

// --- System ------------------------------------------------------------------------------

bool Win32Platform::TopWindowOfClassExists(const char* className) {
  return FindWindowA(className, nullptr) != nullptr;
}

void Win32Platform::BroadcastSettingsChange() {
  PostMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, 0);
}

int Win32Platform::RestartWindows() { return Result(ExitWindowsEx(EWX_REBOOT, 0)); }

uint32_t Win32Platform::LastError() { return GetLastError(); }

int Win32Platform::SystemErrorText(uint32_t code, char* buffer, uint32_t size) {
  if (size == 0) return 0;
  buffer[0] = '\0';
  // The system sizes the text itself, so a long text is cut to the buffer rather than lost.
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<char*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) {
    if (text != nullptr) LocalFree(text);
    return 0;
  }
  DWORD kept = 0;
  // Whole characters only: a lead byte without its trail byte would show as garbage.
  while (kept < length && kept + 1 < size) {
    DWORD step = IsDBCSLeadByte(static_cast<BYTE>(text[kept])) && kept + 1 < length ? 2 : 1;
    if (kept + step + 1 > size) break;
    kept += step;
  }
  memcpy(buffer, text, kept);
  buffer[kept] = '\0';
  LocalFree(text);
  return static_cast<int>(kept);
}
