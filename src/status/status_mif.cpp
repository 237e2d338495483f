// The status MIF report. The distribution system's own library is asked first; when it
// is absent or refuses, the file is written from a template: the built-in one, or the
// settings file's "Msg1000" text with "^" for line breaks. Placeholders %1% to %8% are
// filled in one pass in the shared scratch buffer, which the expansion never passes: a
// template that would outgrow it is cut at its end.
#include "status/status_mif.h"

#include <cstdio>
#include <cstring>

#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/platform.h"

namespace {

// The key's default: a text no settings file holds, so that an absent key is told apart
// from an empty one.
constexpr char kAbsentTemplate[] = "\x7F";

constexpr char kBuiltInTemplate[] =
    "START COMPONENT\r\n"
    "  NAME = \"WORKSTATION\"\r\n"
    "  START GROUP\r\n"
    "    NAME = \"ComponentID\"\r\n"
    "    ID = 1\r\n"
    "    CLASS = \"DMTF|ComponentID|1.0\"\r\n"
    "    START ATTRIBUTE\r\n"
    "      NAME = \"Manufacturer\"\r\n"
    "      ID = 1\r\n"
    "      ACCESS = READ-ONLY\r\n"
    "      STORAGE = SPECIFIC\r\n"
    "      TYPE = STRING(255)\r\n"
    "      VALUE = \"%1%\"\r\n"
    "    END ATTRIBUTE\r\n"
    "    START ATTRIBUTE\r\n"
    "      NAME = \"Product\"\r\n"
    "      ID = 2\r\n"
    "      ACCESS = READ-ONLY\r\n"
    "      STORAGE = SPECIFIC\r\n"
    "      TYPE = STRING(255)\r\n"
    "      VALUE = \"%2%\"\r\n"
    "    END ATTRIBUTE\r\n"
    "    START ATTRIBUTE\r\n"
    "      NAME = \"Version\"\r\n"
    "      ID = 3\r\n"
    "      ACCESS = READ-ONLY\r\n"
    "      STORAGE = SPECIFIC\r\n"
    "      TYPE = STRING(255)\r\n"
    "      VALUE = \"%3%\"\r\n"
    "    END ATTRIBUTE\r\n"
    "    START ATTRIBUTE\r\n"
    "      NAME = \"Serial Number\"\r\n"
    "      ID = 4\r\n"
    "      ACCESS = READ-ONLY\r\n"
    "      STORAGE = SPECIFIC\r\n"
    "      TYPE = STRING(255)\r\n"
    "      VALUE = \"%4%\"\r\n"
    "    END ATTRIBUTE\r\n"
    "    START ATTRIBUTE\r\n"
    "      NAME = \"%5%\"\r\n"
    "      ID = 5\r\n"
    "      ACCESS = READ-ONLY\r\n"
    "      STORAGE = SPECIFIC\r\n"
    "      TYPE = STRING(255)\r\n"
    "      VALUE = \"%6%\"\r\n"
    "    END ATTRIBUTE\r\n"
    "  END GROUP\r\n"
    "  START GROUP\r\n"
    "    NAME = \"%5%Status\"\r\n"
    "    ID = 2\r\n"
    "    CLASS = \"MICROSOFT|JOBSTATUS|1.0\"\r\n"
    "    START ATTRIBUTE\r\n"
    "      NAME = \"Status\"\r\n"
    "      ID = 1\r\n"
    "      ACCESS = READ-ONLY\r\n"
    "      STORAGE = SPECIFIC\r\n"
    "      TYPE = STRING(255)\r\n"
    "      VALUE = \"%7%\"\r\n"
    "    END ATTRIBUTE\r\n"
    "    START ATTRIBUTE\r\n"
    "      NAME = \"Description\"\r\n"
    "      ID = 2\r\n"
    "      ACCESS = READ-ONLY\r\n"
    "      STORAGE = SPECIFIC\r\n"
    "      TYPE = STRING(255)\r\n"
    "      VALUE = \"%8%\"\r\n"
    "    END ATTRIBUTE\r\n"
    "  END GROUP\r\n"
    "END COMPONENT\r\n";

// After a cut: drops a lead byte left at the end without its trail byte.
void DropDanglingLeadByte(char* text) {
  char* p = text;
  while (*p != '\0') {
    if (gTextRules.leadByte[static_cast<uint8_t>(*p)] && p[1] == '\0') {
      *p = '\0';
      return;
    }
    p = NextChar(p);
  }
}

// Hands the report to the distribution system's library; true when it made it.
bool ReportThroughLibrary() {
  Platform& sys = Sys();
  LibHandle library = sys.LoadSystemLib("ismif32.dll");
  if (library == 0) return false;
  bool made = false;
  if (sys.HasEntry(library, "InstallStatusMIF")) {
    StatusMifArguments arguments;
    arguments.fileName = gStore.statusMifName.c_str();
    arguments.manufacturer = gStore.manufacturer.c_str();
    arguments.product = gStore.product.c_str();
    arguments.version = gStore.versionNumber.c_str();
    arguments.locale = "ENU";
    arguments.serialNumber = gStore.serialNumber.c_str();
    arguments.description = gRun.cancelled          ? "Uninstall canceled by user"
                            : gRun.repairListFailed ? "Repair incomplete"
                                                    : "Uninstall successful";
    arguments.success = gRun.cancelled || gRun.repairListFailed ? 0 : 1;
    int32_t result = 0;
    made = sys.CallInstallStatusMif(library, arguments, &result) == 0 && result != 0;
  }
  sys.FreeLib(library);
  return made;
}

}  // namespace

bool ExpandCarets(char* text, size_t size) {
  if (size == 0) return false;
  size_t length = strnlen(text, size - 1);
  text[length] = '\0';
  bool cut = false;
  char* p = text;
  while (*p != '\0') {
    if (*p != '^') {
      p = NextChar(p);
      continue;
    }
    size_t at = static_cast<size_t>(p - text);
    if (at + 2 > size - 1) {
      // Not even the line break fits: the text ends here.
      *p = '\0';
      return true;
    }
    // Move the rest one byte right, dropping what would fall off the buffer's end.
    size_t tail = length - (at + 1);
    if (at + 2 + tail > size - 1) {
      tail = size - 1 - (at + 2);
      cut = true;
    }
    memmove(p + 2, p + 1, tail);
    p[0] = '\r';
    p[1] = '\n';
    length = at + 2 + tail;
    text[length] = '\0';
    p += 2;
  }
  if (cut) DropDanglingLeadByte(text);
  return cut;
}

bool ExpandMifPlaceholders(char* text, size_t size, const MifValues& values) {
  if (size == 0) return false;
  const size_t limit = size - 1;  // characters that fit before the terminator
  size_t length = strnlen(text, limit);
  text[length] = '\0';
  bool cut = false;
  size_t at = 0;
  while (at < length) {
    char* p = text + at;
    if (p[0] != '%' || p[1] < '1' || p[1] > '8' || p[2] != '%') {
      at = static_cast<size_t>(NextChar(p) - text);
      continue;
    }
    const char* value = values.value[p[1] - '1'];
    if (value == nullptr) value = "";
    size_t valueLength = strlen(value);
    size_t tailStart = at + 3;
    size_t tailLength = length - tailStart;
    if (at + valueLength > limit) {
      // The value itself reaches past the buffer: keep what fits of it, drop the rest.
      valueLength = BoundaryAtOrBefore(value, limit - at);
      tailLength = 0;
      cut = true;
    } else if (at + valueLength + tailLength > limit) {
      tailLength = limit - (at + valueLength);
      cut = true;
    }
    memmove(text + at + valueLength, text + tailStart, tailLength);
    memcpy(text + at, value, valueLength);
    length = at + valueLength + tailLength;
    text[length] = '\0';
    at += valueLength;  // an inserted value is not scanned again
  }
  if (cut) DropDanglingLeadByte(text);
  return cut;
}

void WriteStatusMif() {
  // The report belongs in the Windows directory: a logged name that reaches elsewhere would
  // empty and overwrite some other file.
  if (!IsPlainFileName(gStore.statusMifName.c_str())) return;
  if (ReportThroughLibrary()) return;

  Platform& sys = Sys();
  char path[512];
  // Without the Windows directory the name alone would land in the current directory.
  if (sys.WindowsDirectory(path, 256) <= 0) return;
  EnsureTrailingBackslash(path, sizeof path);
  AppendText(path, sizeof path, gStore.statusMifName.c_str());
  FileHandle file = sys.CreateTruncated(path);
  if (file == kNoFile) return;

  char* buffer = gRun.scratchBuffer;
  int read = sys.ReadIniString("Language", "Msg1000", kAbsentTemplate, buffer, kScratchBufferSize,
                               gRun.settingsFile.c_str());
  buffer[kScratchBufferSize - 1] = '\0';
  if (read == 1 && buffer[0] == kAbsentTemplate[0]) {
    CopyText(buffer, kScratchBufferSize, kBuiltInTemplate);
  } else {
    ExpandCarets(buffer, kScratchBufferSize);
  }

  SystemTime now{};
  sys.LocalTimeNow(&now);
  char date[48];
  snprintf(date, sizeof date, "%02d/%02d/%02d %d:%02d", now.month, now.day, now.year % 100,
           now.hour, now.minute);

  MifValues values = {{
      gStore.manufacturer.c_str(),
      gStore.product.c_str(),
      gStore.versionNumber.c_str(),
      gStore.serialNumber.c_str(),
      gRun.rollbackChosen ? "Rollback" : "Uninstall",
      date,
      gRun.cancelled || gRun.repairListFailed ? "Failed" : "Success",
      gRun.cancelled          ? "Canceled by user"
      : gRun.repairListFailed ? "Repair incomplete"
                              : "",
  }};
  ExpandMifPlaceholders(buffer, kScratchBufferSize, values);

  sys.WriteBytes(file, buffer, static_cast<uint32_t>(strlen(buffer)));
  sys.CloseFile(file);
}
