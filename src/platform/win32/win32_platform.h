// Win32Platform: the production back-end of the platform seam, a thin pass-through to the
// ANSI Win32 API. It holds no decisions of the program: each operation makes the call the
// seam names and turns the API's result into the seam's convention (0 or the Win32 error
// code, lengths, handles). The one piece of state is the DDE client instance and its single
// conversation, which the Program Manager exchange keeps between calls.
#pragma once

#include "platform/platform.h"

class Win32Platform : public Platform {
 public:
  Win32Platform() = default;
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

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
  int ClaimRunLock(const char* name) override;
  void ReleaseRunLock() override;

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
  int RandomBytes(void* buffer, uint32_t size) override;
  VersionInfo Version() override;
  int DriveType(const char* root) override;
  void SuppressFileErrorBoxes() override;
  void LocalTimeNow(SystemTime* time) override;
  int FileTimeToLocalDos(uint64_t fileTime, uint16_t* dosDate, uint16_t* dosTime) override;
  int DaylightShiftMinutes() override;
  uint32_t TickCount() override;

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
  int RegHoldsEntries(RegHandle key, bool* hasValues, bool* hasSubkeys) override;
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

 private:
  // The DDE client instance (DdeInitialize) and its one conversation; 0 when absent.
  unsigned long ddeInstance_ = 0;
  uintptr_t ddeConversation_ = 0;
};
