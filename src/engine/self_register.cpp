// Self-registration of COM servers. A name ending in "EXE" is a program file and is run
// with a switch; any other file is a library when its image headers say it is a 32-bit
// (PE) image, and is then loaded under an OLE initialisation so that its entry point can
// register. The current directory is moved to the file's own directory for the call, so
// that the libraries it loads are found beside it, and put back afterwards.
#include "engine/self_register.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/platform.h"
#include "ui/progress_display.h"

namespace {

constexpr uint32_t kHeaderOffsetPosition = 60;  // e_lfanew of the DOS header
constexpr size_t kDirectorySize = 260;
constexpr size_t kCommandLineSize = 512;

bool EndsWithExe(const char* path) {
  size_t length = strlen(path);
  const char* tail = (length >= 3) ? path + length - 3 : path;
  return EqualNoCase(tail, "EXE");
}

// Reads exactly count bytes; false on a short read.
bool ReadExactly(Platform& sys, FileHandle file, void* buffer, uint32_t count) {
  return sys.ReadBytes(file, buffer, count) == static_cast<int>(count);
}

void RegisterProgram(const char* path, const char* directory, int direction) {
  // A logged path holds up to 259 characters; cut, it would start some other program.
  char shortPath[kPathSize];
  if (strlen(path) >= sizeof shortPath) return;
  CopyText(shortPath, sizeof shortPath, path);
  NormalizePath(shortPath, sizeof shortPath, false);
  char commandLine[kCommandLineSize];
  if (BuildCommandLine(commandLine, sizeof commandLine, shortPath,
                       direction == kRegisterServer ? "/REGSERVER" : "/UNREGSERVER")) {
    Sys().StartProcess(commandLine, directory, true);
  }
}

void RegisterLibrary(const char* path, int direction) {
  Platform& sys = Sys();
  LibHandle ole = sys.LoadSystemLib("OLE32.DLL");
  if (ole == 0) return;
  int32_t initResult = -1;
  bool initialised = sys.HasEntry(ole, "OleInitialize") &&
                     sys.CallEntryWithPointer(ole, "OleInitialize", nullptr, &initResult) == 0 &&
                     (initResult == 0 || initResult == 1);
  if (initialised) {
    // S_FALSE (1) means OLE was already initialised on this thread: that is success too,
    // and refusing it would leave a server registered for a file about to be deleted.
    // The logged path, not its short form: the library registers the name it is loaded by.
    LibHandle library = sys.LoadLib(path);
    if (library != 0) {
      const char* entry =
          direction == kRegisterServer ? "DllRegisterServer" : "DllUnregisterServer";
      int32_t ignored = 0;
      if (sys.HasEntry(library, entry)) sys.CallEntry(library, entry, &ignored);
      sys.FreeLib(library);
    }
  }
  // Only an initialisation of this call is ended here: one more OleUninitialize would end
  // an initialisation some other part of the process made.
  if (initialised && sys.HasEntry(ole, "OleUninitialize")) {
    int32_t ignored = 0;
    sys.CallEntry(ole, "OleUninitialize", &ignored);
  }
  sys.FreeLib(ole);
}

}  // namespace

bool IsWin32Image(const char* path) {
  Platform& sys = Sys();
  FileHandle file = sys.OpenForRead(path);
  if (file == kNoFile) return false;
  bool image = false;
  char signature[2];
  uint8_t offsetBytes[4];
  if (ReadExactly(sys, file, signature, 2) && signature[0] == 'M' && signature[1] == 'Z' &&
      sys.Seek(file, kHeaderOffsetPosition, kSeekBegin) == kHeaderOffsetPosition &&
      ReadExactly(sys, file, offsetBytes, 4)) {
    uint32_t offset = static_cast<uint32_t>(offsetBytes[0]) |
                      (static_cast<uint32_t>(offsetBytes[1]) << 8) |
                      (static_cast<uint32_t>(offsetBytes[2]) << 16) |
                      (static_cast<uint32_t>(offsetBytes[3]) << 24);
    if (sys.Seek(file, offset, kSeekBegin) == static_cast<int64_t>(offset) &&
        ReadExactly(sys, file, signature, 2)) {
      image = signature[0] == 'P' && signature[1] == 'E';
    }
  }
  sys.CloseFile(file);
  return image;
}

void SelfRegister(const char* prefix, const char* path, int direction) {
  Platform& sys = Sys();
  char savedDirectory[kDirectorySize];
  int savedLength = sys.GetCurrentDir(savedDirectory, sizeof savedDirectory);
  bool saved = savedLength > 0 && static_cast<size_t>(savedLength) < sizeof savedDirectory;

  CopyText(gRun.actionText, kActionTextSize, prefix);
  AppendText(gRun.actionText, kActionTextSize, path);
  FitPathToControl(gRun.actionText, kActionTextSize);
  ShowAction(gRun.actionText);

  // The file's directory (the whole path when it has no backslash), in short form.
  char directory[256];
  CopyText(directory, sizeof directory, path);
  char* name = FileNamePart(directory);
  if (name != directory) {
    // A file in a drive's root keeps the root ("C:\"), not the drive's current directory.
    bool driveRoot = (name - directory == 3) && directory[1] == ':';
    name[driveRoot ? 0 : -1] = '\0';
  }
  NormalizePath(directory, sizeof directory, false);
  sys.SetCurrentDir(directory);

  if (EndsWithExe(path)) {
    RegisterProgram(path, directory, direction);
  } else if (IsWin32Image(path)) {
    RegisterLibrary(path, direction);
  }

  if (saved) sys.SetCurrentDir(savedDirectory);
}
