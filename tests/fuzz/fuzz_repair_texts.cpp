// Fuzzes the texts a repair reads from the log and writes for the installation program: the
// file stamp (ReadFileStamp), the "Source: " split (SplitRepairSource), the installation
// program's stamp as formatted from a file and compared with the logged attributes, the
// link description (ReadShellLinkSpec) and the line a queued file adds to its list file.
//
// Input: byte 0 picks the buffer size for the source's path and the program stamp; bytes
// 1 to 8 the program file's last-write time and bytes 9 and 10 its length; the rest is the
// text, handed to every reader in an exact-size heap copy (ASan sees a byte past it). Each
// reader's result is checked against what it promises, and the stamp and the program stamp
// are read back from their own formatted text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "platform/sim/sim_machine.h"
#include "repair/file_repair.h"
#include "repair/file_stamp.h"
#include "repair/shell_link.h"
#include "run/run_reset.h"

namespace {

constexpr const char* kProgram = "C:\\Media\\SETUP.EXE";
constexpr const char* kQueued = "C:\\App\\Gone\\";  // a folder no file is ever put in

void Check(bool condition) {
  if (!condition) abort();
}

struct Machine {
  SimMachine sim;
  SimUi ui;
  Machine() {
    InstallPlatform(&sim);
    InstallUserInterface(&ui);
    sim.settings.timeZoneMinutes = 0;
    sim.MakeDirectories("C:\\TEMP");
    sim.MakeDirectories("C:\\Media");
  }
};

// An exact-size, terminated heap copy of the text.
char* HeapText(const uint8_t* data, size_t size) {
  char* text = static_cast<char*>(malloc(size + 1));
  memcpy(text, data, size);
  text[size] = '\0';
  return text;
}

bool InText(const char* pointer, const char* text) {
  return pointer >= text && pointer <= text + strlen(text);
}

void CheckStamp(const char* text) {
  FileStamp stamp;
  if (ReadFileStamp(text, &stamp) != 0) {
    Check(stamp.rest == nullptr);
    return;
  }
  Check(strlen(text) >= kMinStampLength);
  Check(stamp.rest != nullptr && InText(stamp.rest, text));
  // The packed fields stayed in their own bits: the date and time are real.
  int month = DosMonth(stamp.dosDate), day = DosDay(stamp.dosDate);
  int year = DosYear(stamp.dosDate);
  Check(month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= 1980 && year <= 2107);
  Check(DosHour(stamp.dosTime) <= 23 && DosMinute(stamp.dosTime) <= 59 &&
        DosSecond(stamp.dosTime) <= 58);
  Check(PackDosDate(year, month, day) == stamp.dosDate);
  // Written again as the installer writes it, the stamp reads as the same values.
  char again[96];
  snprintf(again, sizeof again, " %02d-%02d-%04d | %02d:%02d:%02d | v | %u | %08x", month, day,
           year, DosHour(stamp.dosTime), DosMinute(stamp.dosTime), DosSecond(stamp.dosTime),
           static_cast<unsigned>(stamp.size), static_cast<unsigned>(stamp.checksum));
  FileStamp reread;
  Check(ReadFileStamp(again, &reread) == 0);
  Check(reread.dosDate == stamp.dosDate && reread.dosTime == stamp.dosTime &&
        reread.size == stamp.size && reread.checksum == stamp.checksum);
}

void CheckSource(const char* text, size_t pathSize) {
  char* path = static_cast<char*>(malloc(pathSize));
  const char* attributes = nullptr;
  bool fits = SplitRepairSource(text, path, pathSize, &attributes);
  Check(attributes != nullptr);
  Check(*attributes == '\0' || InText(attributes, text));
  if (fits) {
    size_t length = strlen(path);
    Check(length < pathSize && strncmp(path, text, length) == 0);
    // The path ends where the first '|' is, less one blank.
    const char* bar = strchr(text, '|');
    if (bar == nullptr) Check(length == strlen(text));
    if (bar != nullptr)
      Check(length == static_cast<size_t>(bar - text) ||
            (length + 1 == static_cast<size_t>(bar - text) && text[length] == ' '));
    if (bar != nullptr) Check(*attributes != ' ' && attributes > bar);
  }
  free(path);
}

// The program on the machine with a fuzzed time and length: its stamp, formatted into a
// buffer of stampSize bytes, fits or is refused, reads back as the file's own values, and
// equals the logged attributes of a source written from it.
void CheckProgramStamp(Machine& machine, uint64_t lastWrite, uint32_t length, size_t stampSize) {
  machine.sim.WriteFile(kProgram, std::string(length, 'x'), lastWrite);
  char* stamp = static_cast<char*>(malloc(stampSize));
  bool formatted = FormatProgramStamp(kProgram, stamp, stampSize);
  uint16_t date = 0, time = 0;
  bool dated = machine.sim.FileTimeToLocalDos(lastWrite, &date, &time) == 0;
  if (!dated || !formatted) {
    free(stamp);
    return;
  }
  Check(strlen(stamp) < stampSize);
  int month, day, year, hour, minute, second;
  long size;
  Check(sscanf(stamp, "%2d-%2d-%4d | %2d:%2d:%2d | %ld", &month, &day, &year, &hour, &minute,
               &second, &size) == 7);
  Check(month == DosMonth(date) && day == DosDay(date) && year == DosYear(date));
  Check(hour == DosHour(time) && minute == DosMinute(time) && second == DosSecond(time));
  Check(size == static_cast<long>(length));

  std::string source = std::string(kProgram) + " | " + stamp;
  char path[256];
  const char* attributes = nullptr;
  Check(SplitRepairSource(source.c_str(), path, sizeof path, &attributes));
  Check(strcmp(path, kProgram) == 0 && strcmp(attributes, stamp) == 0);
  free(stamp);
}

void CheckLinkSpec(const char* text) {
  ShellLinkSpec spec;
  int result = ReadShellLinkSpec(text, &spec);
  for (const char* field : {spec.target, spec.workingDirectory, spec.iconPath, spec.arguments})
    Check(memchr(field, '\0', kLinkFieldSize) != nullptr && strchr(field, '|') == nullptr);
  Check(spec.showCommand >= 0 && spec.showCommand <= 7);
  Check(spec.hotKey == 0 || (spec.hotKey & 0xFF) != 0);
  if (result == 0) {
    for (const char* field : {spec.target, spec.workingDirectory, spec.iconPath, spec.arguments})
      Check(*field != ' ');
  }
}

// A missing file is queued unless its stamp is too short to name a date: its list line is
// the path, the logged DOS date and time (0 where a stamp that does not read has none) and
// the stamp after its third '|', byte for byte, unless the line would be cut.
void CheckListLine(Machine& machine, const char* text) {
  const char* bar = strchr(text, '|');
  if (bar == nullptr) return;
  std::string name(text, static_cast<size_t>(bar - text));
  if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) return;
  std::string path = std::string(kQueued) + name;
  const char* stampText = bar + 1;

  ResetRunWideState();
  OpenSection();
  SetSectionSource((std::string(kProgram) + " | 01-01-2003 | 00:00:00 | 1").c_str());
  PrepareRepairLists();
  StampVerdict verdict = CheckAndQueueFile(path.c_str(), stampText, 1);
  FileStamp stamp;
  bool readable = ReadFileStamp(stampText, &stamp) == 0;
  bool longEnough = strlen(stampText) >= kMinStampLength;
  bool absent = machine.sim.GetAttributes(path.c_str()) == kNoAttributes;
  // Left alone: a stamp that names no date, or one that does not read on a file that is
  // there (it cannot tell an intact file from a changed one).
  Check((verdict == StampVerdict::kNoStamp) == (!longEnough || (!readable && !absent)));
  if (absent && longEnough) Check(verdict == StampVerdict::kMissing);
  std::string list = gRun.repairListFiles[1].c_str();
  if (verdict == StampVerdict::kMissing) {
    if (!readable) ReadFileStampLoosely(stampText, &stamp);
    Check(!list.empty());
    char numbers[32];
    snprintf(numbers, sizeof numbers, "|%u|%u|", static_cast<unsigned>(stamp.dosDate),
             static_cast<unsigned>(stamp.dosTime));
    std::string expected = path + numbers + stamp.rest + "\r\n";
    std::string written = machine.sim.FileContents(list);
    // A line longer than the writer's buffer is left out rather than cut.
    Check(written == expected || (written.empty() && expected.size() >= 512));
    Check(gRun.repairQueued == !written.empty());
  }
  DropRemainingListFiles();
  ResetRunWideState();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Machine machine;
  if (size < 11) return 0;
  size_t bufferSize = 1 + data[0] % 80;
  uint64_t lastWrite = 0;
  memcpy(&lastWrite, data + 1, sizeof lastWrite);
  // Times from 1970 to about 2150 mostly: the DOS range and both sides of it.
  lastWrite = 116444736000000000ull + lastWrite % (180ull * 365 * 86400 * 10000000);
  uint32_t length = static_cast<uint32_t>(data[9] | data[10] << 8);
  char* text = HeapText(data + 11, size - 11);

  CheckStamp(text);
  CheckSource(text, bufferSize);
  CheckProgramStamp(machine, lastWrite, length, bufferSize);
  CheckLinkSpec(text);
  CheckListLine(machine, text);
  free(text);
  return 0;
}
