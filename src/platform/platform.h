// The platform seam: every operation the program asks of the operating system, in the
// vocabulary of the program. Two back-ends implement it: platform/win32 over the real API
// (the shipping program and the Windows tools) and platform/sim, a simulated Windows machine
// in memory (native tests and tools). Core code reaches the active back-end through Sys()
// and Ui() and never includes a Win32 header.
//
// Conventions, the same for every operation:
//  - Results are integers (or handles) in one of five kinds, named in docs/design.md: a
//    status (0 success, else the platform's own error code, kErr... below, so that both
//    back-ends can be held to one contract suite), a handle, a length, a count, an answer.
//  - Nothing throws. Paths and texts are zero-terminated single-byte ANSI strings.
//  - Output buffers come with their size in bytes; nothing is written past it.
//
// Platform (system services) and UserInterface (windows, questions, the progress display)
// are separate so that a console tool can pair the real system with a console "user". Their
// operations are listed, each with what it does, in platform_operations.def and
// ui_operations.def; wrappers that forward to another back-end derive from forwarding.h.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------
// Handles and constants. Values match the Win32 API so that the win32 back-end passes them
// through unchanged and stored data (attributes, registry types) means the same everywhere.

using FileHandle = intptr_t;     // kNoFile when not open
using SearchHandle = intptr_t;   // kNoSearch when nothing was found
using RegHandle = uintptr_t;     // 0 when not open; roots from RegistryRoot()
using ServiceHandle = uintptr_t; // 0 when not open
using LibHandle = uintptr_t;     // 0 when not loaded
using WindowHandle = uintptr_t;  // 0 when there is no window

constexpr FileHandle kNoFile = -1;
constexpr SearchHandle kNoSearch = -1;
constexpr uint32_t kNoAttributes = 0xFFFFFFFFu;  // GetFileAttributes failure

enum : uint32_t {
  kAttrReadOnly = 0x1,
  kAttrHidden = 0x2,
  kAttrSystem = 0x4,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
  kAttrReparsePoint = 0x400,
};

// Win32 error codes that the contract holds both back-ends to.
enum : int {
  kErrNone = 0,
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrAccessDenied = 5,
  kErrInvalidHandle = 6,
  kErrNoMoreFiles = 18,
  kErrSharingViolation = 32,
  kErrFileExists = 80,
  kErrInvalidParameter = 87,
  kErrInsufficientBuffer = 122,
  kErrInvalidName = 123,
  kErrDirNotEmpty = 145,
  kErrAlreadyExists = 183,
  kErrModNotFound = 126,
  kErrMoreData = 234,
  kErrNoMoreItems = 259,
  kErrServiceDoesNotExist = 1060,
  kErrServiceNotActive = 1062,
  kErrServiceExists = 1073,
  kErrServiceMarkedForDelete = 1072,
  kErrGeneric = 31,  // ERROR_GEN_FAILURE: a failure without a more precise code
};

// MoveFileEx flags.
enum : uint32_t {
  kMoveReplaceExisting = 0x1,
  kMoveCopyAllowed = 0x2,
  kMoveDelayUntilReboot = 0x4,
};

// Registry value types and access rights.
enum : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
};
enum : uint32_t {
  kKeyQueryValue = 0x1,
  kKeySetValue = 0x2,
  kKeyCreateSubKey = 0x4,
  kKeyEnumerateSubKeys = 0x8,
  kKeyNotify = 0x10,
  kKeyRead = 0x20019,
  kKeyAllAccess = 0xF003F,
};

// Registry roots in the numbering of the install log: 0 HKEY_CLASSES_ROOT,
// 1 HKEY_CURRENT_USER, 2 HKEY_LOCAL_MACHINE, 3 HKEY_USERS, 4 HKEY_CURRENT_CONFIG.
// Returns the predefined handle, or 0 for a number outside 0..4.
inline RegHandle RegistryRoot(int rootNumber) {
  switch (rootNumber) {
    case 0: return 0x80000000u;
    case 1: return 0x80000001u;
    case 2: return 0x80000002u;
    case 3: return 0x80000003u;
    case 4: return 0x80000005u;
    default: return 0;
  }
}

// Service manager rights.
enum : uint32_t {
  kScManagerConnect = 0x1,
  kScManagerCreateService = 0x2,
  kScManagerAllAccess = 0xF003F,
  kGenericRead = 0x80000000u,
  kGenericWrite = 0x40000000u,
  kGenericExecute = 0x20000000u,
  kServiceStop = 0x20,
  kServiceQueryStatus = 0x4,
  kServiceDelete = 0x10000,
};

// Drive types (GetDriveType).
enum : int {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};

// Message boxes: button sets, answers.
enum : uint32_t {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbAbortRetryIgnore = 0x2,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
};
enum : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7,
};

// Show states.
enum : int { kSwHide = 0, kSwShowNormal = 1, kSwShow = 5 };

// Seek origins.
enum : int { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };

// File times are FILETIME values: 100-nanosecond intervals since 1601-01-01 (UTC).
struct SystemTime {
  uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

struct FindEntry {
  char name[260];       // the long name
  char shortName[14];   // the 8.3 name, empty when the long name is already 8.3
  uint32_t attributes;
  uint64_t size;
  uint64_t lastWrite;
};

struct VersionInfo {
  uint32_t platformId;  // 2: Windows NT family; 1: Windows 95 family
  uint32_t major;
  uint32_t minor;
  uint32_t build;
};

// The restore point records of the System Restore interface.
struct RestorePointRequest {
  uint32_t eventType;
  uint32_t pointType;
  int64_t sequenceNumber;
  char description[64];
};
struct RestorePointStatus {
  uint32_t status;
  int64_t sequenceNumber;
};

// What a shell link holds; the shell writes it into the link file.
struct ShellLinkFields {
  const char* linkPath;
  const char* target;
  const char* workingDirectory;
  const char* iconPath;
  int iconIndex;
  int showCommand;
  uint16_t hotKey;  // 0: none
  const char* arguments;
};

// The arguments of the distribution system's InstallStatusMIF.
struct StatusMifArguments {
  const char* fileName;
  const char* manufacturer;
  const char* product;
  const char* version;
  const char* locale;
  const char* serialNumber;
  const char* description;
  int success;
};

// ---------------------------------------------------------------------------------------

class Platform {
 public:
  virtual ~Platform() = default;

#define PLATFORM_OP(result, Name, parameters, arguments) virtual result Name parameters = 0;
#define PLATFORM_OP_DEFAULTED(result, Name, parameters, arguments) virtual result Name parameters;
#include "platform/platform_operations.def"

  // Whether a library name names no folder or drive (no backslash, slash or colon, read
  // by the characters of this machine's code page), so that only the system directory can
  // supply it. Both back-ends refuse any other name for a system library.
  bool IsBareLibraryName(const char* name);
};

// ---------------------------------------------------------------------------------------

class UserInterface {
 public:
  virtual ~UserInterface() = default;

#define UI_OP(result, Name, parameters, arguments) virtual result Name parameters = 0;
#define UI_OP_WITH_DEFAULT(result, Name, parameters, arguments, body) \
  virtual result Name parameters body
#include "platform/ui_operations.def"
};

// The active back-ends. The program installs them once at start; tests install a
// simulated machine per test.
Platform& Sys();
UserInterface& Ui();
void InstallPlatform(Platform* platform);
void InstallUserInterface(UserInterface* ui);
