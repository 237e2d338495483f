// The platform seam: every operation the program asks of the operating system, in the
// vocabulary of the program. Two back-ends implement it: platform/win32 over the real API
// (the shipping program and the Windows tools) and platform/sim, a simulated Windows machine
// in memory (native tests and tools). Core code reaches the active back-end through Sys()
// and Ui() and never includes a Win32 header.
//
// Conventions, the same for every operation:
//  - Results are integers. 0 means success unless an operation says otherwise; failures
//    carry the platform's own error code (kErr... below) so that both back-ends can be held
//    to the same contract by one test suite.
//  - Nothing throws. Paths and texts are zero-terminated single-byte ANSI strings.
//  - Output buffers come with their size in bytes; nothing is written past it.
//
// Platform (system services) and UserInterface (windows, questions, the progress display)
// are separate so that a console tool can pair the real system with a console "user".
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

  // --- Files and directories ------------------------------------------------------------
  // GetFileAttributes: the attributes, or kNoAttributes when the path does not exist.
  virtual uint32_t GetAttributes(const char* path) = 0;
  // SetFileAttributes; 0 is passed on as kAttrNormal.
  virtual int SetAttributes(const char* path, uint32_t attributes) = 0;
  // DeleteFile. A file in use or read-only refuses.
  virtual int RemoveFile(const char* path) = 0;
  // CopyFile; with failIfExists an existing target refuses.
  virtual int CopyFileTo(const char* from, const char* to, bool failIfExists) = 0;
  // MoveFileEx. to may be null (delete); with kMoveDelayUntilReboot nothing moves now and
  // the operation is recorded for the next restart.
  virtual int MoveFileFlags(const char* from, const char* to, uint32_t flags) = 0;
  virtual int MakeDirectory(const char* path) = 0;
  // RemoveDirectory: only an empty directory goes; a reparse point is removed as a link.
  virtual int RemoveEmptyDirectory(const char* path) = 0;

  // --- File contents --------------------------------------------------------------------
  virtual FileHandle OpenForRead(const char* path) = 0;   // existing file, read only
  virtual FileHandle OpenForWrite(const char* path) = 0;  // existing file, write, not truncated
  virtual FileHandle CreateTruncated(const char* path) = 0;  // create or truncate, write
  // Returns the bytes read (0 at the end) or -1.
  virtual int ReadBytes(FileHandle file, void* buffer, uint32_t count) = 0;
  // Returns the bytes written or -1.
  virtual int WriteBytes(FileHandle file, const void* data, uint32_t count) = 0;
  // Returns the new position or -1.
  virtual int64_t Seek(FileHandle file, int64_t offset, int origin) = 0;
  // Cuts or extends the file to length bytes.
  virtual int SetLength(FileHandle file, int64_t length) = 0;
  virtual int GetLastWrite(FileHandle file, uint64_t* fileTime) = 0;
  // The last-write time and the length of an open file, the position left where it was.
  // (One query of everything a handle knows is no cheaper under Wine: it looks up the
  // file's name as well, many times the cost of a time query and three seeks.)
  virtual int GetTimeAndSize(FileHandle file, uint64_t* fileTime, int64_t* size);
  virtual void CloseFile(FileHandle file) = 0;

  // --- Directory search -----------------------------------------------------------------
  // FindFirstFile with a path that may end in a wildcard pattern ('*', '?').
  virtual SearchHandle FindFirst(const char* pattern, FindEntry* entry) = 0;
  // 0 when another entry was produced, non-zero when there is none.
  virtual int FindNext(SearchHandle search, FindEntry* entry) = 0;
  virtual void FindEnd(SearchHandle search) = 0;

  // --- Process environment --------------------------------------------------------------
  // Each returns the length written (without terminator), or 0 on failure.
  virtual int GetCurrentDir(char* buffer, uint32_t size) = 0;
  virtual int TempDirectory(char* buffer, uint32_t size) = 0;   // ends in a backslash
  virtual int ModuleFileName(char* buffer, uint32_t size) = 0;
  virtual int WindowsDirectory(char* buffer, uint32_t size) = 0;
  virtual int SystemDirectory(char* buffer, uint32_t size) = 0;
  virtual int SetCurrentDir(const char* path) = 0;
  // GetTempFileName: with unique non-zero the name is formed from it and no file is made;
  // with 0 a free number is found and the file is created. Returns the number used, 0 on
  // failure. out receives up to 260 bytes.
  virtual uint32_t TempFileName(const char* directory, const char* prefix, uint32_t unique,
                                char* out) = 0;
  // Fills buffer with bytes nobody can predict: the system's cryptographic generator where
  // it has one (looked up at run time), otherwise a mix of the machine's clocks and
  // counters. 0 on success.
  virtual int RandomBytes(void* buffer, uint32_t size) = 0;
  virtual VersionInfo Version() = 0;
  virtual int DriveType(const char* root) = 0;
  virtual void SuppressFileErrorBoxes() = 0;
  virtual void LocalTimeNow(SystemTime* time) = 0;
  // The local time of a file time as DOS date and time.
  virtual int FileTimeToLocalDos(uint64_t fileTime, uint16_t* dosDate, uint16_t* dosTime) = 0;
  // The time zone's daylight-saving shift in minutes (standard minus daylight bias, as a
  // positive number), 0 in a zone without daylight saving time. FileTimeToLocalDos applies
  // today's offset, so a time of the other season reads this much off.
  virtual int DaylightShiftMinutes() = 0;

  // --- Code pages -----------------------------------------------------------------------
  // OemToChar: converts an OEM code page text to the ANSI code page; src and dst may be
  // the same buffer.
  virtual void OemToAnsiText(const char* src, char* dst) = 0;
  virtual bool IsLeadByte(uint8_t byte) = 0;
  // The ANSI code page's upper-case of one byte (CharUpper on a single character).
  virtual uint8_t UpperByte(uint8_t byte) = 0;

  // --- Profile (INI) files --------------------------------------------------------------
  // GetPrivateProfileString. A file name without a path lies in the Windows directory.
  // Returns the characters copied. A null key lists the section's keys, a null section the
  // file's sections, each zero-terminated with a final extra zero.
  virtual int ReadIniString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, uint32_t size, const char* file) = 0;
  virtual int ReadIniInt(const char* section, const char* key, int defaultValue,
                         const char* file) = 0;
  // WritePrivateProfileString. A null value deletes the key, a null key the section.
  virtual int WriteIniString(const char* section, const char* key, const char* value,
                             const char* file) = 0;

  // --- Registry -------------------------------------------------------------------------
  virtual int RegOpen(RegHandle parent, const char* path, uint32_t access, RegHandle* key) = 0;
  virtual int RegCreate(RegHandle parent, const char* path, uint32_t access, RegHandle* key) = 0;
  // RegQueryValueEx. data may be null to ask for type and size only; *size is in and out.
  virtual int RegQuery(RegHandle key, const char* name, uint32_t* type, void* data,
                       uint32_t* size) = 0;
  virtual int RegSet(RegHandle key, const char* name, uint32_t type, const void* data,
                     uint32_t size) = 0;
  virtual int RegRemoveValue(RegHandle key, const char* name) = 0;
  // RegEnumValue without data; *nameSize is in (buffer size) and out (length).
  virtual int RegEnumValueAt(RegHandle key, uint32_t index, char* name, uint32_t* nameSize,
                             uint32_t* type) = 0;
  virtual int RegEnumKeyAt(RegHandle key, uint32_t index, char* name, uint32_t* nameSize) = 0;
  // Whether the key holds any value and any subkey (RegQueryInfoKey). This default asks the
  // two enumerations; a back-end that answers in one call overrides it.
  virtual int RegHoldsEntries(RegHandle key, bool* hasValues, bool* hasSubkeys);
  // RegDeleteKey: only a key without subkeys goes.
  virtual int RegRemoveKey(RegHandle parent, const char* path) = 0;
  virtual void RegClose(RegHandle key) = 0;

  // --- Services -------------------------------------------------------------------------
  // Each Open returns 0 on failure.
  virtual ServiceHandle ScmOpen(uint32_t access) = 0;
  virtual ServiceHandle ServiceOpen(ServiceHandle manager, const char* name, uint32_t access) = 0;
  // Creates an own-process service that starts on demand (fixtures and tests).
  virtual ServiceHandle ServiceCreate(ServiceHandle manager, const char* name,
                                      const char* binaryPath) = 0;
  virtual int ServiceStop(ServiceHandle service) = 0;
  virtual int ServiceDelete(ServiceHandle service) = 0;
  virtual void ServiceClose(ServiceHandle handle) = 0;

  // --- Programs -------------------------------------------------------------------------
  // CreateProcess with no application name; wait: block until it ends. currentDir may be
  // null (inherit). 0 when the process started.
  virtual int StartProcess(const char* commandLine, const char* currentDir, bool wait) = 0;
  // WinExec: starts without waiting; returns the WinExec result (above 31 when started).
  virtual int ExecProgram(const char* commandLine, int showState) = 0;
  // ShellExecute with the default verb; returns its result (above 32 when started).
  virtual int ShellOpen(const char* file, const char* parameters, const char* directory,
                        int showState) = 0;

  // --- Libraries and their entry points -------------------------------------------------
  // A library of the system by its bare name ("ismif32.dll"), looked for in the system
  // directory and nowhere else: the usual search also tries the program's folder, the
  // current folder and every folder on PATH, where anybody may have planted a library of
  // that name, and it would run with the uninstaller's rights. A name with a drive or a
  // folder refuses (0, kErrInvalidName); a library the system directory lacks is not
  // found (0, kErrModNotFound).
  virtual LibHandle LoadSystemLib(const char* name) = 0;
  // A library by its full path (a self-registering server); the libraries it needs are
  // looked for beside it and in the system directory. A bare name is taken as
  // LoadSystemLib takes it.
  virtual LibHandle LoadLib(const char* path) = 0;
  virtual bool HasEntry(LibHandle library, const char* name) = 0;
  // Calls a stdcall entry point without arguments that returns a 32-bit result
  // (DllRegisterServer, DllUnregisterServer, OleUninitialize). 0 when it was called.
  virtual int CallEntry(LibHandle library, const char* name, int32_t* result) = 0;
  // Calls a stdcall entry point with one pointer argument (OleInitialize).
  virtual int CallEntryWithPointer(LibHandle library, const char* name, void* argument,
                                   int32_t* result) = 0;
  // SRSetRestorePoint of the given library; result is its BOOL.
  virtual int CallRestorePoint(LibHandle library, const RestorePointRequest& request,
                               RestorePointStatus* status, int32_t* result) = 0;
  // InstallStatusMIF of the given library; result is its return value.
  virtual int CallInstallStatusMif(LibHandle library, const StatusMifArguments& arguments,
                                   int32_t* result) = 0;
  // SHChangeNotify of the given library with one ANSI path item.
  virtual int CallShellChangeNotify(LibHandle library, int32_t event, uint32_t flags,
                                    const char* path) = 0;
  virtual void FreeLib(LibHandle library) = 0;

  // --- The program's own resources ------------------------------------------------------
  // LoadString: returns the length copied (0 when the id has no text).
  virtual int LoadStringText(uint32_t id, char* buffer, int size) = 0;
  // A raw resource of the program's module (the embedded restart program).
  virtual int ResourceBytes(uint32_t type, uint32_t id, const void** data, uint32_t* size) = 0;

  // --- Shell links ----------------------------------------------------------------------
  virtual int CreateShellLink(const ShellLinkFields& link) = 0;

  // --- Program Manager over DDE ---------------------------------------------------------
  virtual int DdeStart() = 0;                        // DdeInitialize as a client
  virtual int DdeConnectTo(const char* service) = 0; // service and topic the same name
  // XTYP_REQUEST in CF_TEXT. Returns the bytes copied (terminator included) or -1.
  virtual int DdeRequestText(const char* item, char* buffer, uint32_t size,
                             uint32_t timeoutMs) = 0;
  virtual int DdeExecuteText(const char* command, uint32_t timeoutMs) = 0;
  virtual void DdeDisconnectNow() = 0;
  virtual void DdeStop() = 0;                        // DdeUninitialize

  // --- System ---------------------------------------------------------------------------
  virtual bool TopWindowOfClassExists(const char* className) = 0;
  virtual void BroadcastSettingsChange() = 0;  // WM_WININICHANGE to every top window
  virtual int RestartWindows() = 0;            // ExitWindowsEx with EWX_REBOOT
  virtual uint32_t LastError() = 0;
  // FormatMessage from the system in the user's language, cut to size - 1 bytes when
  // longer; returns the length copied (0 when the system has no text for code).
  virtual int SystemErrorText(uint32_t code, char* buffer, uint32_t size) = 0;
};

// ---------------------------------------------------------------------------------------

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // MessageBox; returns the kId... of the answer.
  virtual int AskMessage(WindowHandle owner, const char* text, const char* caption,
                         uint32_t type) = 0;
  // The open-file dialog for the install log: filter display text, pattern "install.log",
  // buffer preset by the caller. 0 when the user chose a file.
  virtual int AskOpenLog(WindowHandle owner, const char* filterText, char* path,
                         uint32_t size) = 0;
  // The four-button shared-file question (dialog 104); returns the id of the button
  // (1005 Yes, 1006 No, 1007 Yes to All, 1 No to All) or 2 when it was closed otherwise.
  virtual int AskSharedFile(WindowHandle owner, const char* text, const char* caption) = 0;
  // The repair's path prompt (dialog 107): asks for the installation program whose
  // attributes are shown; path (size bytes) holds the path to start from and receives the
  // one entered. Returns 1 (OK) or 2 (Cancel); a back-end that cannot ask answers Cancel.
  virtual int AskInstallationPath(WindowHandle owner, const char* attributes, char* path,
                                  uint32_t size) {
    return kIdCancel;
  }

  // The main window (hidden, timer target, owner of every dialog). RegisterMainClass
  // returns 0 when the class is ready, non-zero when it cannot be registered;
  // CreateMainWindow returns 0 when the window cannot be made.
  virtual int RegisterMainClass() = 0;
  virtual WindowHandle CreateMainWindow(const char* caption, bool show) = 0;
  // The "initializing" window; 0 when there is none to show.
  virtual WindowHandle CreateProgressWindow() = 0;
  // Redraws the load bar of the initializing window at once.
  virtual void RedrawLoadBar(WindowHandle progressWindow) = 0;
  virtual void SetCaption(WindowHandle window, const char* text) = 0;
  virtual bool IsVisible(WindowHandle window) = 0;
  virtual void Enable(WindowHandle window, bool enable) = 0;
  virtual void Destroy(WindowHandle window) = 0;

  // The cursor while the log loads.
  virtual void WaitCursor(bool on) = 0;

  // Dispatches pending messages; with ms above 0 also waits for the main window's timer to
  // tick once after ms milliseconds (the program's one-second waits).
  virtual void PumpMessages(int ms) = 0;
  // Dispatches messages until the quit message (after the main window was destroyed).
  virtual void PumpUntilQuit() = 0;

  // The wizard (dialog 106), created modeless on the page in gRun.wizardPage, owned by the
  // given window (0: no owner). Returns 0 when no wizard can be shown; a back-end without
  // the wizard keeps these defaults.
  virtual WindowHandle CreateWizard(WindowHandle owner) { return 0; }
  // Switches the wizard into its progress display with the given heading text.
  virtual void EnterProgressMode(const char* heading) {}
  // Blocks until a message arrives (the wizard's wait loop polls the run's flags after it).
  virtual void WaitForMessage() {}
  // The wizard's animation timer: (re)started with a period in milliseconds, stopped with 0.
  virtual void SetAnimationTimer(int periodMs) {}
  // Gives the keyboard focus to a window of the program.
  virtual void FocusWindow(WindowHandle window) {}

  // The wizard's progress display, used by the drivers. Without a wizard window these do
  // nothing and measure nothing.
  virtual bool HasWizard() = 0;
  // True when an action line given now would be put on the screen. A display that shows
  // the line only every so often answers false in between, and the driver then spares
  // itself building and fitting a line nobody would see. Every line counts by default.
  virtual bool ActionLineDue() { return true; }
  // True when a look at the message queue between two items is worth its cost now. A
  // back-end whose look is a round trip to the window system answers false for a short
  // while after the last one. Only the work's progress display asks; every other pump
  // looks at once, so that a click is never left waiting in the queue.
  virtual bool QueueLookDue() { return true; }
  virtual void SetActionText(const char* text) = 0;     // control 1007, when it differs
  virtual void InvalidateProgressBar() = 0;             // control 3830
  virtual int ActionControlWidth() = 0;                 // pixels, 0 without a wizard
  virtual int MeasureActionText(const char* text) = 0;  // pixels in the control's font
};

// Whether a library name names no folder or drive (no backslash, slash or colon), so that
// only the system directory can supply it. Both back-ends refuse any other name for a
// system library.
bool IsBareLibraryName(const char* name);

// The active back-ends. The program installs them once at start; tests install a
// simulated machine per test.
Platform& Sys();
UserInterface& Ui();
void InstallPlatform(Platform* platform);
void InstallUserInterface(UserInterface* ui);
