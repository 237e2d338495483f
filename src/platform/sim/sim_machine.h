// The simulated Windows machine: every operation of the platform seam carried out on an
// in-memory machine (file system with long and 8.3 names, registry, INI files, services,
// the Program Manager stand-in, libraries, processes, restart-time operations), and a
// scripted user for the questions and windows of the user interface.
//
// A test builds a SimMachine (optionally seeded from a MachineImage), installs it and a
// SimUi with InstallPlatform/InstallUserInterface, runs code, and reads the machine back
// through the helpers at the end of SimMachine.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/image/machine_image.h"
#include "platform/platform.h"

// One file or directory.
struct SimNode {
  std::string name;       // long name
  std::string shortName;  // 8.3 name; empty when the long name is already 8.3
  uint32_t attributes = kAttrArchive;
  std::string contents;
  uint64_t lastWrite = 0;
  bool inUse = false;           // held open by another process
  int writers = 0;              // our own handles open for writing
  int openHandles = 0;          // our own handles of any kind
  std::string junctionTarget;   // non-empty on a directory junction
  SimNode* parent = nullptr;
  std::vector<std::unique_ptr<SimNode>> children;
  // children by folded long and short name: large directories are looked up constantly.
  std::unordered_map<std::string, SimNode*> index;

  bool IsDirectory() const { return (attributes & kAttrDirectory) != 0; }
};

struct SimRegValue {
  std::string name;
  uint32_t type = kRegSz;
  std::string data;
};

struct SimRegKey {
  std::string name;
  std::vector<SimRegValue> values;                           // insertion order
  std::map<std::string, std::unique_ptr<SimRegKey>> subkeys;  // by upper-cased name
  SimRegKey* parent = nullptr;
  bool deleted = false;
};

struct SimService {
  std::string name;
  std::string binaryPath;
  bool running = false;
  bool markedForDelete = false;
  int openHandles = 0;
};

struct SimGroup {
  std::string name;
  std::string path;
  std::vector<ImageGroupItem> items;
};

// A program start: CreateProcess, WinExec or ShellExecute.
struct SimProcessStart {
  enum Method { kCreateProcess, kWinExec, kShellExecute } method = kCreateProcess;
  std::string commandLine;  // for ShellExecute: the file
  std::string parameters;   // ShellExecute only
  std::string currentDir;
  // ShellExecute only: whether parameters and a directory were passed at all (null is
  // "none", which the shell treats differently from an empty text).
  bool hasParameters = false;
  bool hasDirectory = false;
  bool wait = false;
  int showState = kSwShowNormal;
};

// A call of a library entry point, with its arguments as text.
struct SimLibraryCall {
  std::string library;
  std::string entry;
  std::vector<std::string> arguments;
};

using SimProgramHook = std::function<void(class SimMachine& machine, const std::string& commandLine)>;

class SimMachine final : public Platform {
 public:
  SimMachine();
  ~SimMachine() override;
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  // Seeds the machine from an image (on top of the default machine). Returns 0, or
  // non-zero with the reason in *error when a part of the image cannot be applied.
  int ApplyImage(const MachineImage& image, std::string* error = nullptr);

  // --- Settings a test may change directly ------------------------------------------------
  ImagePlatform settings;          // kind, version, code pages, directories, admin, clock
  std::map<uint32_t, std::string> strings;  // the program's string table (ids 1..86 preset)
  std::map<uint64_t, std::string> resources;  // (type << 32 | id) -> bytes
  std::vector<std::string> topWindowClasses;
  bool ddeAvailable = true;  // DdeStart works

  // --- Test-facing read-back and set-up ------------------------------------------------------
  bool FileExists(const std::string& path);       // a file, not a directory
  bool DirectoryExists(const std::string& path);
  // The contents of a file; empty when it does not exist (check FileExists).
  std::string FileContents(const std::string& path);
  // Creates or replaces a file (parent directories as needed). 0 on success.
  int WriteFile(const std::string& path, const std::string& contents, uint64_t lastWrite = 0);
  int MakeDirectories(const std::string& path);
  int SetInUse(const std::string& path, bool inUse);
  int MakeJunction(const std::string& path, const std::string& target);
  SimNode* Find(const std::string& path);  // null when absent

  // Registry: "HKLM\\Software\\X" paths. RegValue returns false when absent.
  bool RegValue(const std::string& keyPath, const std::string& name, uint32_t* type,
                std::string* data);
  // The text of a string value without its terminator; empty when absent.
  std::string RegString(const std::string& keyPath, const std::string& name);
  std::vector<std::string> RegMultiString(const std::string& keyPath, const std::string& name);
  bool RegKeyExists(const std::string& keyPath);
  int RegSetRaw(const std::string& keyPath, const std::string& name, uint32_t type,
                const std::string& data);
  int RegRemoveRaw(const std::string& keyPath, const std::string& name);
  int RegRemoveTree(const std::string& keyPath);
  size_t OpenRegistryHandles() const;  // handles the program opened and has not closed

  std::map<std::string, SimService> services;  // by upper-cased name
  std::vector<SimGroup> groups;
  std::vector<std::string> ddeCommands;   // every execute command, in order
  std::vector<std::string> ddeRequests;   // every request item, in order
  std::vector<SimProcessStart> processes;
  std::vector<SimLibraryCall> libraryCalls;
  // Every link saved, in order, with all its fields. The texts live in linkTexts, one entry
  // per link: a deque, so that saving another link moves none of them.
  std::vector<ShellLinkFields> links;
  std::deque<std::vector<std::string>> linkTexts;
  int settingsBroadcasts = 0;
  int directorySearches = 0;  // FindFirst calls
  int restartRequests = 0;
  bool fileErrorBoxesSuppressed = false;

  // A C++ stand-in for a program: called when a command line starts it (after any scripted
  // rules of the image). path is matched without regard to case.
  void SetProgramHook(const std::string& path, SimProgramHook hook);

  // Carries out what a restart does: pending rename operations of the NT kind, the
  // [rename] section of WININIT.INI (then renamed to WININIT.BAK), no file in use, every
  // service stopped and services marked for deletion removed.
  void SimulateRestart();

  // Full path resolution (relative paths, ".", "..", forward slashes) as the file system
  // sees it; empty when the path cannot be a path on this machine.
  std::string FullPath(const char* path);

  // Windows-style 8.3 name for a long name, unique among the given directory's entries;
  // empty when the long name is already a valid 8.3 name.
  std::string MakeShortName(const SimNode* directory, const std::string& longName);

  // --- Platform ------------------------------------------------------------------------
  uint32_t GetAttributes(const char* path) override;
  int SetAttributes(const char* path, uint32_t attributes) override;
  int RemoveFile(const char* path) override;
  int CopyFileTo(const char* from, const char* to, bool failIfExists) override;
  int MoveFileFlags(const char* from, const char* to, uint32_t flags) override;
  int MakeDirectory(const char* path) override;
  int RemoveEmptyDirectory(const char* path) override;
  FileHandle OpenForRead(const char* path) override;
  FileHandle OpenForWrite(const char* path) override;
  FileHandle CreateTruncated(const char* path) override;
  int ReadBytes(FileHandle file, void* buffer, uint32_t count) override;
  int WriteBytes(FileHandle file, const void* data, uint32_t count) override;
  int64_t Seek(FileHandle file, int64_t offset, int origin) override;
  int SetLength(FileHandle file, int64_t length) override;
  int GetLastWrite(FileHandle file, uint64_t* fileTime) override;
  int FlushFile(FileHandle file) override;
  void CloseFile(FileHandle file) override;
  // Run locks: the names held by other processes of the machine (a test adds one to stand
  // for a run still going) and the one this process holds.
  int ClaimRunLock(const char* name) override;
  void ReleaseRunLock() override;
  std::set<std::string> otherProcessLocks;
  std::string heldRunLock;
  SearchHandle FindFirst(const char* pattern, FindEntry* entry) override;
  int FindNext(SearchHandle search, FindEntry* entry) override;
  void FindEnd(SearchHandle search) override;
  int GetCurrentDir(char* buffer, uint32_t size) override;
  int TempDirectory(char* buffer, uint32_t size) override;
  int ModuleFileName(char* buffer, uint32_t size) override;
  int WindowsDirectory(char* buffer, uint32_t size) override;
  int SystemDirectory(char* buffer, uint32_t size) override;
  int SetCurrentDir(const char* path) override;
  uint32_t TempFileName(const char* directory, const char* prefix, uint32_t unique,
                        char* out) override;
  VersionInfo Version() override;
  int DriveType(const char* root) override;
  void SuppressFileErrorBoxes() override;
  void LocalTimeNow(SystemTime* time) override;
  int FileTimeToLocalDos(uint64_t fileTime, uint16_t* dosDate, uint16_t* dosTime) override;
  int DaylightShiftMinutes() override { return settings.daylightShiftMinutes; }
  // Every reading moves the clock on by tickStep, so that by default any wait has passed; a
  // test that needs time to stand still sets tickStep to 0.
  uint32_t TickCount() override { return tickCount += tickStep; }
  uint32_t tickCount = 0;
  uint32_t tickStep = 1000;
  // A repeatable stream from randomState, so that a test can foresee (and occupy) the names
  // a run will draw.
  int RandomBytes(void* buffer, uint32_t size) override;
  uint64_t randomState = 0x7A6E5C3B2A190817u;
  void OemToAnsiText(const char* src, char* dst) override;
  bool IsLeadByte(uint8_t byte) override;
  uint8_t UpperByte(uint8_t byte) override;
  int ReadIniString(const char* section, const char* key, const char* defaultValue,
                    char* buffer, uint32_t size, const char* file) override;
  int ReadIniInt(const char* section, const char* key, int defaultValue,
                 const char* file) override;
  int WriteIniString(const char* section, const char* key, const char* value,
                     const char* file) override;
  int RegOpen(RegHandle parent, const char* path, uint32_t access, RegHandle* key) override;
  int RegCreate(RegHandle parent, const char* path, uint32_t access, RegHandle* key) override;
  int RegQuery(RegHandle key, const char* name, uint32_t* type, void* data,
               uint32_t* size) override;
  int RegSet(RegHandle key, const char* name, uint32_t type, const void* data,
             uint32_t size) override;
  int RegRemoveValue(RegHandle key, const char* name) override;
  int RegEnumValueAt(RegHandle key, uint32_t index, char* name, uint32_t* nameSize,
                     uint32_t* type) override;
  int RegEnumKeyAt(RegHandle key, uint32_t index, char* name, uint32_t* nameSize) override;
  int RegRemoveKey(RegHandle parent, const char* path) override;
  void RegClose(RegHandle key) override;
  ServiceHandle ScmOpen(uint32_t access) override;
  ServiceHandle ServiceOpen(ServiceHandle manager, const char* name, uint32_t access) override;
  ServiceHandle ServiceCreate(ServiceHandle manager, const char* name,
                              const char* binaryPath) override;
  int ServiceStop(ServiceHandle service) override;
  int ServiceDelete(ServiceHandle service) override;
  void ServiceClose(ServiceHandle handle) override;
  int StartProcess(const char* commandLine, const char* currentDir, bool wait) override;
  int ExecProgram(const char* commandLine, int showState) override;
  int ShellOpen(const char* file, const char* parameters, const char* directory,
                int showState) override;
  LibHandle LoadSystemLib(const char* name) override;
  LibHandle LoadLib(const char* path) override;
  bool HasEntry(LibHandle library, const char* name) override;
  int CallEntry(LibHandle library, const char* name, int32_t* result) override;
  int CallEntryWithPointer(LibHandle library, const char* name, void* argument,
                           int32_t* result) override;
  int CallRestorePoint(LibHandle library, const RestorePointRequest& request,
                       RestorePointStatus* status, int32_t* result) override;
  int CallInstallStatusMif(LibHandle library, const StatusMifArguments& arguments,
                           int32_t* result) override;
  int CallShellChangeNotify(LibHandle library, int32_t event, uint32_t flags,
                            const char* path) override;
  void FreeLib(LibHandle library) override;
  int LoadStringText(uint32_t id, char* buffer, int size) override;
  int ResourceBytes(uint32_t type, uint32_t id, const void** data, uint32_t* size) override;
  int CreateShellLink(const ShellLinkFields& link) override;
  int DdeStart() override;
  int DdeConnectTo(const char* service) override;
  int DdeRequestText(const char* item, char* buffer, uint32_t size, uint32_t timeoutMs) override;
  int DdeExecuteText(const char* command, uint32_t timeoutMs) override;
  void DdeDisconnectNow() override;
  void DdeStop() override;
  bool TopWindowOfClassExists(const char* className) override;
  void BroadcastSettingsChange() override;
  int RestartWindows() override;
  uint32_t LastError() override;
  int SystemErrorText(uint32_t code, char* buffer, uint32_t size) override;

  // The machine's private state (sim_internal.h), declared here for the sim's own files.
  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------------------------------
// The scripted user.

struct SimQuestion {
  enum Kind { kMessage, kOpenLog, kSharedFile, kInstallationPath } kind = kMessage;
  std::string text;
  std::string caption;
  uint32_t buttons = 0;  // kMb... of a message; 0 otherwise
  int answer = 0;        // what the user answered
  bool scripted = false;
  int animationTimerMs = 0;  // the wizard's animation timer while the question was open
};

struct SimAnswer {
  SimQuestion::Kind kind = SimQuestion::kMessage;
  int id = 0;            // the button (kId..., or 1005/1006/1007/1 for the shared question)
  std::string path;      // an open-log or installation-path answer: the chosen file
};

struct SimWindow {
  enum Kind { kMain, kProgress } kind = kMain;
  std::string caption;
  bool visible = false;
  bool enabled = true;
  bool destroyed = false;
};

class SimUi final : public UserInterface {
 public:
  // Answers, taken in order. An answer of the wrong kind for the question asked is not
  // used: the question counts as unscripted and gets the safest answer.
  void AnswerMessage(int id) { answers.push_back({SimQuestion::kMessage, id, {}}); }
  void AnswerShared(int id) { answers.push_back({SimQuestion::kSharedFile, id, {}}); }
  void AnswerOpenLog(const std::string& path) { answers.push_back({SimQuestion::kOpenLog, 0, path}); }
  void CancelOpenLog() { answers.push_back({SimQuestion::kOpenLog, 1, {}}); }
  // The repair's path prompt: OK with the path typed in, or Cancel.
  void AnswerInstallationPath(const std::string& path) {
    answers.push_back({SimQuestion::kInstallationPath, kIdOk, path});
  }
  void CancelInstallationPath() { answers.push_back({SimQuestion::kInstallationPath, kIdCancel, {}}); }

  // What a question nobody scripted gets: the answer that changes least (Cancel, No,
  // Abort, no file), by the kind of question and, for a message, its buttons.
  static int UnscriptedAnswer(SimQuestion::Kind kind, uint32_t buttons);

  std::deque<SimAnswer> answers;
  std::vector<SimQuestion> transcript;
  int unscriptedQuestions = 0;

  // Windows.
  bool mainClassRegisters = true;
  bool progressWindowEnabled = false;
  std::map<WindowHandle, SimWindow> windows;
  int loadBarRedraws = 0;
  bool waitCursor = false;
  int quitPumps = 0;
  std::vector<int> pumpWaits;                 // the ms of every PumpMessages call
  std::function<void(int ms)> pumpHook;       // called from every PumpMessages

  // The wizard's progress display.
  bool wizardPresent = false;
  int actionControlWidth = 540;
  std::string actionText;                     // the control's current text
  std::vector<std::string> actionLines;       // every text the control showed, in order
  int progressBarInvalidations = 0;
  int animationTimerMs = 0;                   // the animation timer's period; 0: stopped
  WindowHandle focusWindow = 0;               // where FocusWindow put the focus last

  int AskMessage(WindowHandle owner, const char* text, const char* caption,
                 uint32_t type) override;
  int AskOpenLog(WindowHandle owner, const char* filterText, char* path, uint32_t size) override;
  int AskSharedFile(WindowHandle owner, const char* text, const char* caption) override;
  // Recorded with the attributes as text and the path it started from as caption.
  int AskInstallationPath(WindowHandle owner, const char* request, char* path,
                          uint32_t size) override;
  int RegisterMainClass() override;
  WindowHandle CreateMainWindow(const char* caption, bool show) override;
  WindowHandle CreateProgressWindow() override;
  void RedrawLoadBar(WindowHandle progressWindow) override;
  void SetCaption(WindowHandle window, const char* text) override;
  bool IsVisible(WindowHandle window) override;
  void Enable(WindowHandle window, bool enable) override;
  void Destroy(WindowHandle window) override;
  void WaitCursor(bool on) override;
  void PumpMessages(int ms) override;
  void PumpUntilQuit() override;
  bool HasWizard() override;
  void SetAnimationTimer(int periodMs) override;
  void FocusWindow(WindowHandle window) override { focusWindow = window; }
  void SetActionText(const char* text) override;
  void InvalidateProgressBar() override;
  int ActionControlWidth() override;
  int MeasureActionText(const char* text) override;

 private:
  WindowHandle nextWindow_ = 0x100;
  bool TakeAnswer(SimQuestion::Kind kind, SimAnswer* answer);
};

// Calendar conversions of FILETIME values (UTC).
void FileTimeToParts(uint64_t fileTime, SystemTime* time);
