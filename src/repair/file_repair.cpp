// File repair from the installation source (file_repair.h): the check and the queue, the
// newer-file question, and the source run with its prompt.
#include "repair/file_repair.h"

#include <cstdio>
#include <cstring>

#include "base/message_text.h"
#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "engine/restart_deletion.h"
#include "log/item_store.h"
#include "platform/platform.h"
#include "resource.h"
#include "ui/progress_display.h"

namespace {

// The first table has room for this many sections; a log with more gets a larger one.
constexpr int32_t kListTableSize = 1024;

// A line of a list file: a logged path (259 characters at most), the two DOS numbers and
// the rest of a stamp (79 at most), with room to spare.
constexpr size_t kListLineSize = 512;

PathText* ListFileOf(int section) {
  if (gRun.repairListFiles == nullptr || section < 0 || section >= gRun.repairListCount) {
    return nullptr;
  }
  return &gRun.repairListFiles[section];
}

// The logged date and time as the question shows them: the stamp up to its first '|',
// then the text between the first and the second.
void LoggedWhenText(const char* stampText, char* out, size_t size) {
  const char* first = FindChar(stampText, '|');
  if (first == nullptr) {
    CopyText(out, size, stampText);
    return;
  }
  const char* second = FindChar(first + 1, '|');
  size_t dateLength = static_cast<size_t>(first - stampText);
  size_t timeLength =
      second != nullptr ? static_cast<size_t>(second - first - 1) : strlen(first + 1);
  snprintf(out, size, "%.*s%.*s", static_cast<int>(dateLength), stampText,
           static_cast<int>(timeLength), first + 1);
}

bool HasBlank(const char* text) { return FindChar(text, ' ') != nullptr; }

// Where the list files go. The "/X=" switch names the list without quotation marks, so its
// path must hold no blank: the temporary folder, by its short form when its long one has
// blanks, or else the Windows directory's TEMP folder. On a volume without short names a
// user folder with a blank in its name has no such form; false when no folder will do.
bool ListFolder(char* folder, size_t size) {
  Platform& sys = Sys();
  char candidates[2][kPathSize] = {};
  if (sys.TempDirectory(candidates[0], sizeof candidates[0]) == 0) candidates[0][0] = '\0';
  if (sys.WindowsDirectory(candidates[1], sizeof candidates[1]) == 0) {
    candidates[1][0] = '\0';
  } else {
    EnsureTrailingBackslash(candidates[1], sizeof candidates[1]);
    AppendText(candidates[1], sizeof candidates[1], "TEMP\\");
  }
  for (char* candidate : candidates) {
    if (candidate[0] == '\0') continue;
    if (HasBlank(candidate)) NormalizePath(candidate, kPathSize, false);
    uint32_t attributes = sys.GetAttributes(candidate);
    if (HasBlank(candidate) || attributes == kNoAttributes || !(attributes & kAttrDirectory)) {
      continue;
    }
    CopyText(folder, size, candidate);
    return true;
  }
  return false;
}

// A new, empty list file; false when none can be made where its path has no blank.
bool MakeListFile(PathText* entry) {
  Platform& sys = Sys();
  char folder[kPathSize];
  if (!ListFolder(folder, sizeof folder)) return false;
  char name[kPathSize] = {};
  if (sys.TempFileName(folder, "KTC", 0, name) == 0) return false;
  name[kPathSize - 1] = '\0';
  if (strlen(name) >= PathText::kCapacity) {
    // A name the table cannot hold could not be deleted again: give it up now.
    sys.RemoveFile(name);
    return false;
  }
  entry->Set(name);
  // A run killed before the list is run and deleted must not leave it for good.
  DeleteAtNextRestart(name);
  return true;
}

// The list file of a section: its own, or that of a section with the same installation
// program (sources equal but for letter case), or a new one. Null when none can be had.
PathText* ListFileFor(int section) {
  PathText* entry = ListFileOf(section);
  if (entry == nullptr) return nullptr;
  if (!entry->Empty()) return entry;
  const char* source = SectionSource(section);
  for (int other = 0; other <= gStore.sectionCount && other < gRun.repairListCount; ++other) {
    const char* otherSource = SectionSource(other);
    if (other == section || otherSource == nullptr || gRun.repairListFiles[other].Empty()) continue;
    if (EqualNoCase(source, otherSource)) {
      entry->Set(gRun.repairListFiles[other].c_str());
      return entry;
    }
  }
  return MakeListFile(entry) ? entry : nullptr;
}

void QueueFile(const char* path, const FileStamp& stamp, int section) {
  PathText* list = ListFileFor(section);
  if (list == nullptr) {
    gRun.repairListFailed = true;
    return;
  }
  char line[kListLineSize];
  int length =
      snprintf(line, sizeof line, "%s|%u|%u|%s\r\n", path, static_cast<unsigned>(stamp.dosDate),
               static_cast<unsigned>(stamp.dosTime), stamp.rest != nullptr ? stamp.rest : "");
  // A cut line would ask for a file that was never logged.
  if (length < 0 || static_cast<size_t>(length) >= sizeof line) return;

  Platform& sys = Sys();
  FileHandle file = sys.OpenForWrite(list->c_str());
  if (file == kNoFile) {
    gRun.repairListFailed = true;
    return;
  }
  bool written = sys.Seek(file, 0, kSeekEnd) >= 0 &&
                 sys.WriteBytes(file, line, static_cast<uint32_t>(length)) == length;
  sys.CloseFile(file);
  if (written) {
    gRun.repairQueued = true;
  } else {
    gRun.repairListFailed = true;
  }
}

// Deletes a list file and forgets it in every section that shares it: those sections are
// done with it.
void DropListFile(const char* path) {
  char name[PathText::kCapacity];
  CopyText(name, sizeof name, path);
  Sys().RemoveFile(name);
  for (int32_t i = 0; i < gRun.repairListCount; ++i) {
    if (EqualNoCase(gRun.repairListFiles[i].c_str(), name)) gRun.repairListFiles[i].Clear();
  }
}

// The command line's "/X=" names the list file without quotation marks: a path with a
// blank would be cut there and name another file. False when the list has no such path.
bool ListArgument(const char* list, char* out, size_t size) {
  char path[PathText::kCapacity];
  CopyText(path, sizeof path, list);
  if (HasBlank(path)) NormalizePath(path, sizeof path, false);
  int length = snprintf(out, size, "/X=%s", path);
  return !HasBlank(path) && length > 0 && static_cast<size_t>(length) < size;
}

// The program's local last-write time as DOS date and time, and its length.
bool ReadProgramAttributes(const char* path, uint16_t* date, uint16_t* time, int64_t* length) {
  Platform& sys = Sys();
  FileHandle file = sys.OpenForRead(path);
  if (file == kNoFile) return false;
  uint64_t lastWrite = 0;
  bool dated =
      sys.GetLastWrite(file, &lastWrite) == 0 && sys.FileTimeToLocalDos(lastWrite, date, time) == 0;
  *length = sys.Seek(file, 0, kSeekEnd);
  sys.CloseFile(file);
  return dated && *length >= 0;
}

bool FormatAttributes(uint16_t date, uint16_t time, int64_t length, char* out, size_t size) {
  int written = snprintf(out, size, "%02d-%02d-%04d | %02d:%02d:%02d | %ld", DosMonth(date),
                         DosDay(date), DosYear(date), DosHour(time), DosMinute(time),
                         DosSecond(time), static_cast<long>(length));
  return written > 0 && static_cast<size_t>(written) < size;
}

}  // namespace

void PrepareRepairLists() {
  int32_t count = gStore.sectionCount + 1;
  if (count < kListTableSize) count = kListTableSize;
  gRun.repairListFiles =
      static_cast<PathText*>(ArenaAllocate(sizeof(PathText) * static_cast<size_t>(count)));
  for (int32_t i = 0; i < count; ++i) gRun.repairListFiles[i].Clear();
  gRun.repairListCount = count;
}

bool HasUsableSource(int section) {
  const char* source = SectionSource(section);
  return source != nullptr && FindChar(source, '|') != nullptr;
}

bool IsNewerFileToBeReplaced(const char* path, const char* stampText, const StampCheck& check) {
  char format[kActionTextSize];
  MessageText(IDS_NEWER_FILE_QUESTION, format, sizeof format);
  char logged[128];
  LoggedWhenText(stampText, logged, sizeof logged);
  char current[64];
  snprintf(current, sizeof current, " %02d-%02d-%04d  %02d:%02d:%02d ", DosMonth(check.fileDate),
           DosDay(check.fileDate), DosYear(check.fileDate), DosHour(check.fileTime),
           DosMinute(check.fileTime), DosSecond(check.fileTime));
  const char* arguments[] = {path, logged, current};
  FillText(gRun.actionText, sizeof gRun.actionText, format, arguments, 3);

  if (gRun.silent || gRun.repairNoToAll) return false;
  if (gRun.repairYesToAll) return true;
  switch (AskFourButtonQuestion()) {
    case IDC_ANSWER_YES: return true;
    case IDC_ANSWER_YES_TO_ALL: gRun.repairYesToAll = true; return true;
    case IDC_ANSWER_NO_TO_ALL: gRun.repairNoToAll = true; return false;
    default: return false;  // No, or closed without an answer
  }
}

StampVerdict CheckAndQueueFile(const char* path, const char* stampText, int section) {
  StampCheck check;
  StampVerdict verdict = CheckAgainstStamp(path, stampText, &check);
  if (!HasUsableSource(section)) return verdict;
  bool queue = IsChangedVerdict(verdict) ||
               (verdict == StampVerdict::kNewer && IsNewerFileToBeReplaced(path, stampText, check));
  if (queue) QueueFile(path, check.stamp, section);
  return verdict;
}

bool SplitRepairSource(const char* source, char* path, size_t size, const char** attributes) {
  *attributes = "";
  if (size == 0) return false;
  path[0] = '\0';
  if (source == nullptr) return false;
  // Stepped as characters: in code page 932 the second byte of ポ is the bar's byte.
  const char* bar = FindChar(source, '|');
  size_t length = bar != nullptr ? static_cast<size_t>(bar - source) : strlen(source);
  if (bar != nullptr && length > 0 && source[length - 1] == ' ') --length;
  if (bar != nullptr) {
    const char* rest = bar + 1;
    while (*rest == ' ') ++rest;
    *attributes = rest;
  }
  // A cut path would name another file; the caller asks for the program instead.
  if (length >= size) return false;
  memcpy(path, source, length);
  path[length] = '\0';
  return true;
}

bool FormatProgramStamp(const char* path, char* out, size_t size) {
  uint16_t date = 0;
  uint16_t time = 0;
  int64_t length = 0;
  return ReadProgramAttributes(path, &date, &time, &length) &&
         FormatAttributes(date, time, length, out, size);
}

bool IsLoggedProgram(const char* path, const char* attributes) {
  uint16_t date = 0;
  uint16_t time = 0;
  int64_t length = 0;
  if (*path == '\0' || !ReadProgramAttributes(path, &date, &time, &length)) return false;
  char stamp[64];
  if (FormatAttributes(date, time, length, stamp, sizeof stamp) && strcmp(stamp, attributes) == 0) {
    return true;
  }
  // Across a daylight-saving change the program's time reads one shift off its record:
  // when the time rule calls the two the same, the rest must still match to the letter.
  uint16_t loggedDate = 0;
  uint16_t loggedTime = 0;
  if (ReadStampWhen(attributes, &loggedDate, &loggedTime) != 0 ||
      CompareWithLoggedTime(loggedDate, loggedTime, date, time) != StampTimeOrder::kSame) {
    return false;
  }
  return FormatAttributes(loggedDate, loggedTime, length, stamp, sizeof stamp) &&
         strcmp(stamp, attributes) == 0;
}

void FormatPromptRequest(const char* shownAttributes, char* out, size_t size) {
  char format[1024];
  MessageText(IDS_PROMPT_TEXT, format, sizeof format);
  const char* arguments[] = {shownAttributes != nullptr ? shownAttributes : ""};
  FillText(out, size, format, arguments, 1);
}

void RunInstallationPrograms() {
  for (int section = gStore.sectionCount; section >= 0; --section) {
    PathText* list = ListFileOf(section);
    if (list == nullptr || list->Empty() || !HasUsableSource(section)) continue;

    char path[256];
    const char* attributes = "";
    SplitRepairSource(SectionSource(section), path, sizeof path, &attributes);
    char shown[1024];
    CopyText(shown, sizeof shown, attributes);
    for (char* p = shown; *p != '\0'; p = NextChar(p)) {
      if (*p == '|') *p = '/';
    }

    char request[1024];
    FormatPromptRequest(shown, request, sizeof request);
    while (!IsLoggedProgram(path, attributes)) {
      if (Ui().AskInstallationPath(gRun.wizardWindow, request, path, sizeof path) != kIdOk) {
        // The user gave up: no list is run any more, and none stays behind.
        for (int rest = section; rest >= 0; --rest) {
          PathText* left = ListFileOf(rest);
          if (left != nullptr && !left->Empty()) DropListFile(left->c_str());
        }
        return;
      }
      path[sizeof path - 1] = '\0';
    }

    char argument[300];
    if (ListArgument(list->c_str(), argument, sizeof argument)) {
      RunAndWait(path, argument);
    } else {
      gRun.repairListFailed = true;
    }
    DropListFile(list->c_str());
  }
}

void ReportUnrepairedFiles() {
  if (!gRun.repairListFailed || gRun.silent) return;
  char text[1024];
  MessageText(IDS_REPAIR_LIST_FAILED, text, sizeof text);
  char caption[256];
  MessageText(IDS_REPAIR_FINAL_TITLE, caption, sizeof caption);
  Ui().AskMessage(gRun.wizardWindow, text, caption, kMbOk);
}

void DropRemainingListFiles() {
  for (int32_t i = 0; i < gRun.repairListCount; ++i) {
    if (!gRun.repairListFiles[i].Empty()) DropListFile(gRun.repairListFiles[i].c_str());
  }
}
