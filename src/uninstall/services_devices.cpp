// Undoing system registrations: a service the installation created is stopped and
// deleted, and the "device=" lines it added to the [386Enh] sections of SYSTEM.INI are
// commented out with a ";".
//
// SYSTEM.INI decides whether the other platforms start at all, so it is rewritten through
// a working copy beside it and is never left missing: the copy replaces it only when every
// line was written, in one step where the platform can do that.
#include "uninstall/services_devices.h"

#include <cstdint>
#include <cstring>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/platform.h"
#include "uninstall/file_removal.h"

void RemoveService(const char* name) {
  ServiceHandle manager = Sys().ScmOpen(kScManagerConnect);
  if (manager == 0) return;  // no service manager on this platform
  ServiceHandle service = Sys().ServiceOpen(manager, name, kServiceDelete | kServiceStop);
  if (service != 0) {
    // The deletion takes effect once the service has stopped; the driver waits afterwards.
    Sys().ServiceStop(service);
    Sys().ServiceDelete(service);
    Sys().ServiceClose(service);
  }
  Sys().ServiceClose(manager);
}

namespace {

constexpr size_t kReadBufferSize = 16384;
// The head of a line is held back until it is known whether the line is to be commented
// out. A line longer than this cannot be a "device=" line for a path, so it is copied as
// it comes once the head is full.
constexpr size_t kLineHeadSize = 1024;

constexpr char kWorkingCopyName[] = "~KTMB383.TMP";
constexpr size_t kSystemIniNameLength = 10;  // "SYSTEM.INI"

// Reads SYSTEM.INI and writes the working copy, one line at a time. Lines end at CR, LF or
// CR LF and are written back with CR LF; their length is not limited.
struct DeviceLineCopier {
  FileHandle input = kNoFile;
  FileHandle output = kNoFile;
  const char* deviceName = nullptr;
  const char* fullPath = nullptr;

  char buffer[kReadBufferSize];
  uint32_t bufferCount = 0;
  uint32_t bufferPosition = 0;
  bool endOfFile = false;

  char head[kLineHeadSize];
  size_t headLength = 0;
  bool headOverflowed = false;  // the line went on past the head and was copied through

  bool inSection = false;
  bool changed = false;
  bool writeFailed = false;
};

bool WriteOut(DeviceLineCopier& copier, const void* data, size_t length) {
  if (copier.writeFailed) return false;
  if (length == 0) return true;
  int written = Sys().WriteBytes(copier.output, data, static_cast<uint32_t>(length));
  if (written != static_cast<int>(length)) copier.writeFailed = true;
  return !copier.writeFailed;
}

// The next byte of the file, or -1 at its end (a read error counts as the end).
int NextByte(DeviceLineCopier& copier) {
  if (copier.bufferPosition >= copier.bufferCount) {
    if (copier.endOfFile) return -1;
    int read = Sys().ReadBytes(copier.input, copier.buffer, kReadBufferSize);
    if (read <= 0) {
      copier.endOfFile = true;
      return -1;
    }
    copier.bufferCount = static_cast<uint32_t>(read);
    copier.bufferPosition = 0;
  }
  return static_cast<unsigned char>(copier.buffer[copier.bufferPosition++]);
}

void PutBack(DeviceLineCopier& copier) { --copier.bufferPosition; }

bool EqualsNoCase(const char* text, size_t length, const char* name) {
  size_t nameLength = strlen(name);
  if (nameLength != length) return false;
  for (size_t i = 0; i < length; ++i) {
    uint8_t c = static_cast<uint8_t>(text[i]);
    if (gTextRules.leadByte[c] && i + 1 < length) {
      // A double-byte character matches only itself: its second byte may be a letter's.
      if (text[i] != name[i] || text[i + 1] != name[i + 1]) return false;
      ++i;
      continue;
    }
    if (gTextRules.upper[c] != gTextRules.upper[static_cast<uint8_t>(name[i])]) return false;
  }
  return true;
}

// Decides what the held line means: a section header, or inside [386Enh] a "device=" line
// that names the device (then it is commented out). Returns true when it gets the ";".
bool ClassifyLine(DeviceLineCopier& copier) {
  const char* line = copier.head;
  size_t length = copier.headLength;
  size_t start = 0;
  while (start < length && (line[start] == ' ' || line[start] == '\t')) ++start;
  const char* text = line + start;
  size_t rest = length - start;

  if (copier.inSection) {
    if (rest > 0 && text[0] == '[') {
      copier.inSection = false;
    } else if (!copier.headOverflowed && rest >= 7 && EqualNoCaseAscii(text, "device=", 7)) {
      const char* value = text + 7;
      size_t valueLength = rest - 7;
      if (EqualsNoCase(value, valueLength, copier.deviceName) ||
          EqualsNoCase(value, valueLength, copier.fullPath)) {
        copier.changed = true;
        return true;
      }
    }
  }
  // A line that ended the section may open the next one.
  if (!copier.inSection && rest >= 8 && EqualNoCaseAscii(text, "[386Enh]", 8)) {
    copier.inSection = true;
  }
  return false;
}

// Copies one line; false at the end of the file (no line was there).
bool CopyLine(DeviceLineCopier& copier) {
  copier.headLength = 0;
  copier.headOverflowed = false;
  int c = NextByte(copier);
  if (c < 0) return false;

  // Fill the head. A line that does not end inside it is classified on its head (it can
  // still be a section header) and the rest is streamed through unchanged.
  while (c >= 0 && c != '\r' && c != '\n') {
    if (copier.headLength == kLineHeadSize) {
      copier.headOverflowed = true;
      break;
    }
    copier.head[copier.headLength++] = static_cast<char>(c);
    c = NextByte(copier);
  }

  if (ClassifyLine(copier)) WriteOut(copier, ";", 1);
  WriteOut(copier, copier.head, copier.headLength);
  if (copier.headOverflowed) {
    char chunk[256];
    size_t used = 0;
    while (c >= 0 && c != '\r' && c != '\n') {
      chunk[used++] = static_cast<char>(c);
      if (used == sizeof chunk) {
        WriteOut(copier, chunk, used);
        used = 0;
      }
      c = NextByte(copier);
    }
    WriteOut(copier, chunk, used);
  }
  // CR LF is one line end; a lone CR or LF is one too.
  if (c == '\r') {
    int next = NextByte(copier);
    if (next >= 0 && next != '\n') PutBack(copier);
  }
  WriteOut(copier, "\r\n", 2);
  return true;
}

// Puts the finished working copy in place of SYSTEM.INI.
void ReplaceSystemIni(const char* systemIni, const char* workingCopy) {
  if (gRun.platformKind == kPlatformNt) {
    // One step: there is no moment without a SYSTEM.INI.
    if (Sys().MoveFileFlags(workingCopy, systemIni, kMoveReplaceExisting) != 0) {
      Sys().RemoveFile(workingCopy);
    }
    return;
  }
  // The other platforms cannot replace a file in one step. SYSTEM.INI is deleted only
  // now, never scheduled for deletion at the restart (which would leave the next start
  // without it), and when the rename then fails the copy is copied into place instead.
  if (Sys().RemoveFile(systemIni) != 0) return;  // in use: it stays, with the copy beside it
  if (Sys().MoveFileFlags(workingCopy, systemIni, 0) == 0) return;
  if (Sys().CopyFileTo(workingCopy, systemIni, true) == 0) Sys().RemoveFile(workingCopy);
}

}  // namespace

void RemoveDeviceLines(const char* filePath) {
  char systemIni[kPathSize] = {};
  Sys().WindowsDirectory(systemIni, sizeof systemIni);
  systemIni[sizeof systemIni - 1] = '\0';
  AppendText(systemIni, sizeof systemIni, "\\SYSTEM.INI");
  size_t length = strlen(systemIni);
  // The working copy lies beside SYSTEM.INI: its name takes the place of the last 10
  // characters. A path cut short by the buffer has no such name, so nothing is done.
  if (length < kSystemIniNameLength ||
      !EqualNoCase(systemIni + length - kSystemIniNameLength, "SYSTEM.INI")) {
    return;
  }
  char workingCopy[kPathSize];
  memcpy(workingCopy, systemIni, length - kSystemIniNameLength);
  workingCopy[length - kSystemIniNameLength] = '\0';
  AppendText(workingCopy, sizeof workingCopy, kWorkingCopyName);
  if (strlen(workingCopy) != length - kSystemIniNameLength + strlen(kWorkingCopyName)) return;

  FileHandle input = Sys().OpenForRead(systemIni);
  if (input == kNoFile) return;
  FileHandle output = Sys().CreateTruncated(workingCopy);
  if (output == kNoFile) {
    Sys().CloseFile(input);
    return;
  }

  // The device name: the part after the System directory for a file in or below it, the
  // full path otherwise. The full path matches too.
  char systemDir[kPathSize] = {};
  if (!gStore.systemDirPath.Empty()) {
    CopyText(systemDir, sizeof systemDir, gStore.systemDirPath.c_str());
  } else {
    Sys().SystemDirectory(systemDir, sizeof systemDir);
    systemDir[sizeof systemDir - 1] = '\0';
  }
  AppendText(systemDir, sizeof systemDir, "\\");
  const char* deviceName = filePath;
  if (StartsWithNoCase(filePath, systemDir)) deviceName = filePath + strlen(systemDir);

  // The copier holds the 16 KB read buffer; it lives outside the stack of the caller's
  // deep pass loops.
  static DeviceLineCopier copier;
  copier.bufferCount = 0;
  copier.bufferPosition = 0;
  copier.endOfFile = false;
  copier.inSection = false;
  copier.changed = false;
  copier.writeFailed = false;
  copier.input = input;
  copier.output = output;
  copier.deviceName = deviceName;
  copier.fullPath = filePath;
  while (!copier.writeFailed && CopyLine(copier)) {
  }

  Sys().CloseFile(input);
  Sys().CloseFile(output);
  if (copier.writeFailed || !copier.changed) {
    // A failed write leaves SYSTEM.INI as it was; so does a file with nothing to change.
    DeleteFileNow(workingCopy);
    return;
  }
  ReplaceSystemIni(systemIni, workingCopy);
}
