// The journal of a run (run_journal.h): read once before the log is loaded, written line by
// line, each line flushed before the step it announces is taken.
#include "log/run_journal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/path_helpers.h"
#include "base/text.h"
#include "platform/platform.h"

namespace {

constexpr char kMagic[] = "UNTARN-JOURNAL";
// A journal larger than this is no journal this program wrote for one log.
constexpr int64_t kLargestJournal = 64 * 1024 * 1024;
constexpr size_t kLineSize = 4200;  // a key of 2047 characters, its name and the rest

struct Fact {
  char kind;       // 'S', 'B', 'R', 'V', 'E', 'T', 'I', 'K'
  char* text;      // the path, folder, "root<TAB>key<TAB>name", "target<TAB>temporary" or
                   // "INI file<TAB>copy"
  int32_t before;  // S: the count before, the count after, the answer; E: with contents
  int32_t after;
  int32_t answer;
};

struct Journal {
  char path[kPathSize] = {};
  FileHandle file = kNoFile;
  bool resumed = false;
  bool logUnchanged = false;  // the log is as the journal's header describes it
  bool writing = false;
  bool broken = false;  // a write failed: the rest of the run is not noted
  bool workDone = false;
  int64_t logLength = -1;
  // The log's identity, as the header names it.
  char logLongPath[kPathSize] = {};
  int64_t logSize = -1;
  uint64_t logTime = 0;
  Fact* facts = nullptr;
  int count = 0;
  int capacity = 0;
};

Journal gJournal;

void FreeFacts() {
  for (int i = 0; i < gJournal.count; ++i) free(gJournal.facts[i].text);
  free(gJournal.facts);
  gJournal.facts = nullptr;
  gJournal.count = 0;
  gJournal.capacity = 0;
}

void AddFact(char kind, const char* text, int32_t before, int32_t after, int32_t answer) {
  if (gJournal.count == gJournal.capacity) {
    int grown = gJournal.capacity == 0 ? 64 : gJournal.capacity * 2;
    void* bigger = realloc(gJournal.facts, sizeof(Fact) * static_cast<size_t>(grown));
    if (bigger == nullptr) return;
    gJournal.facts = static_cast<Fact*>(bigger);
    gJournal.capacity = grown;
  }
  size_t length = strlen(text);
  char* copy = static_cast<char*>(malloc(length + 1));
  if (copy == nullptr) return;
  memcpy(copy, text, length + 1);
  gJournal.facts[gJournal.count++] = Fact{kind, copy, before, after, answer};
}

const Fact* FindFact(char kind, const char* text) {
  for (int i = 0; i < gJournal.count; ++i) {
    const Fact& fact = gJournal.facts[i];
    if (fact.kind == kind && EqualNoCase(fact.text, text)) return &fact;
  }
  return nullptr;
}

// The log's identity: its long path, its size and its last-write time. False when the log
// cannot be opened.
bool ReadLogIdentity(const char* logPath, char* longPath, size_t size, int64_t* logSize,
                     uint64_t* logTime) {
  CopyText(longPath, size, logPath);
  NormalizePath(longPath, size, true);
  Platform& sys = Sys();
  FileHandle log = sys.OpenForRead(logPath);
  if (log == kNoFile) return false;
  bool read = sys.GetTimeAndSize(log, logTime, logSize) == 0;
  sys.CloseFile(log);
  return read;
}

// Splits line at its tabs into at most count fields; returns how many it found.
int SplitFields(char* line, char** fields, int count) {
  int found = 0;
  char* p = line;
  while (found < count) {
    fields[found++] = p;
    char* tab = strchr(p, '\t');
    if (tab == nullptr) break;
    *tab = '\0';
    p = tab + 1;
  }
  return found;
}

int64_t ReadNumber(const char* text) {
  bool negative = *text == '-';
  if (negative) ++text;
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + (*text - '0');
  return negative ? -value : value;
}

// Reads one complete line of the journal (the header excepted) into the facts.
void ReadFactLine(char* line) {
  char* fields[5] = {};
  int found = SplitFields(line, fields, 5);
  if (found < 2 || fields[0][0] == '\0' || fields[0][1] != '\0') return;
  switch (fields[0][0]) {
    case 'S':
      if (found == 5) {
        AddFact('S', fields[1], static_cast<int32_t>(ReadNumber(fields[2])),
                static_cast<int32_t>(ReadNumber(fields[3])),
                static_cast<int32_t>(ReadNumber(fields[4])));
      }
      break;
    case 'B': AddFact('B', fields[1], 0, 0, 0); break;
    case 'R': AddFact('R', fields[1], 0, 0, 0); break;
    case 'K': AddFact('K', fields[1], 0, 0, 0); break;
    case 'T':
    case 'I':
      if (found == 3) {
        char text[kLineSize];
        snprintf(text, sizeof text, "%s\t%s", fields[1], fields[2]);
        AddFact(fields[0][0], text, 0, 0, 0);
      }
      break;
    case 'E':
      if (found == 3) AddFact('E', fields[2], fields[1][0] == '1', 0, 0);
      break;
    case 'V':
      if (found == 4) {
        char text[kLineSize];
        snprintf(text, sizeof text, "%s\t%s\t%s", fields[1], fields[2], fields[3]);
        AddFact('V', text, 0, 0, 0);
      }
      break;
    case 'D':
      gJournal.workDone = true;
      gJournal.logLength = ReadNumber(fields[1]);
      break;
    default: break;  // a kind this version does not know: the version says it cannot be
  }
}

// Whether a line must be on the disk before the step after it. A killed process loses
// nothing it wrote; only a machine that loses its power loses what was not flushed. A flush
// costs a disk's round trip (under Wine about as much as the rest of a small run's journal),
// so only the lines whose loss would let a step be taken twice are flushed: a count taken
// back, a backup put back, a temporary copy made, a deletion at the restart, an INI file's
// copy whole, the work done (the log goes after it).
// A value noted as written back may be lost: writing its old data again is harmless; the
// header and the end's folders reach the disk with the next flushed line.
enum class Flush { kNo, kYes };

// Appends one line, flushed when it must be on the disk before the step it announces.
void WriteLine(const char* line, Flush flush) {
  if (!gJournal.writing || gJournal.broken) return;
  Platform& sys = Sys();
  uint32_t length = static_cast<uint32_t>(strlen(line));
  if (sys.WriteBytes(gJournal.file, line, length) != static_cast<int>(length) ||
      (flush == Flush::kYes && sys.FlushFile(gJournal.file) != 0)) {
    gJournal.broken = true;
  }
}

// The n-th (from 0) fact of kind whose text is "original<TAB>copy" for this original (any,
// when original is null): the copy's path into copy.
bool FindCopyFact(char kind, const char* original, int n, char* copy, size_t size) {
  for (int i = 0; i < gJournal.count; ++i) {
    const Fact& fact = gJournal.facts[i];
    const char* tab = fact.kind == kind ? strchr(fact.text, '\t') : nullptr;
    if (tab == nullptr) continue;
    char noted[kPathSize];
    CopyText(noted, sizeof noted, fact.text);
    size_t length = static_cast<size_t>(tab - fact.text);
    noted[length < sizeof noted ? length : sizeof noted - 1] = '\0';
    if ((original != nullptr && !EqualNoCase(noted, original)) || n-- > 0) continue;
    CopyText(copy, size, tab + 1);
    return true;
  }
  return false;
}

}  // namespace

bool JournalPathFor(const char* logPath, char* out, size_t size) {
  char path[kPathSize];
  CopyText(path, sizeof path, logPath);
  const char* name = FileNamePart(path);
  char* dot = nullptr;
  for (char* p = path + (name - path); *p != '\0'; p = NextChar(p)) {
    if (*p == '.') dot = p;
  }
  if (dot != nullptr && !EqualNoCase(dot, ".JNL")) *dot = '\0';
  return JoinPath(out, size, path, ".JNL", "");
}

JournalOpen OpenRunJournal(const char* logPath, bool readOnly) {
  ResetRunJournal();
  if (!JournalPathFor(logPath, gJournal.path, sizeof gJournal.path)) return JournalOpen::kNone;
  ReadLogIdentity(logPath, gJournal.logLongPath, sizeof gJournal.logLongPath,
                  &gJournal.logSize, &gJournal.logTime);

  Platform& sys = Sys();
  FileHandle file = sys.OpenForRead(gJournal.path);
  if (file == kNoFile) {
    return sys.GetAttributes(gJournal.path) == kNoAttributes ? JournalOpen::kNone
                                                              : JournalOpen::kUnreadable;
  }
  int64_t size = sys.Seek(file, 0, kSeekEnd);
  char* text = nullptr;
  bool read = size >= 0 && size <= kLargestJournal && sys.Seek(file, 0, kSeekBegin) == 0 &&
              (text = static_cast<char*>(malloc(static_cast<size_t>(size) + 1))) != nullptr;
  int64_t got = 0;
  while (read && got < size) {
    int part = sys.ReadBytes(file, text + got, static_cast<uint32_t>(size - got));
    if (part <= 0) break;
    got += part;
  }
  sys.CloseFile(file);
  if (!read || got != size) {
    free(text);
    return JournalOpen::kUnreadable;
  }
  text[size] = '\0';

  // The header: the format's version first, so that a newer journal is never misread.
  JournalOpen result = JournalOpen::kDropped;
  char* end = strstr(text, "\r\n");
  if (end != nullptr) {
    *end = '\0';
    char* fields[5] = {};
    int found = SplitFields(text, fields, 5);
    if (found >= 2 && strcmp(fields[0], kMagic) == 0) {
      if (ReadNumber(fields[1]) > kJournalVersion) {
        free(text);
        return JournalOpen::kNewerVersion;
      }
      bool sameLog = found == 5 && EqualNoCase(fields[2], gJournal.logLongPath);
      if (sameLog) {
        for (char* line = end + 2; *line != '\0';) {
          char* next = strstr(line, "\r\n");
          if (next == nullptr) break;  // cut by the kill
          *next = '\0';
          ReadFactLine(line);
          line = next + 2;
        }
        bool unchanged = ReadNumber(fields[3]) == gJournal.logSize &&
                         static_cast<uint64_t>(ReadNumber(fields[4])) == gJournal.logTime;
        // Once the work is done the log is cut (or deleted) as noted: then it has that
        // length, or is gone, and the journal is still this log's.
        bool endedAsNoted = gJournal.workDone &&
                            (gJournal.logLength == 0 ? gJournal.logSize < 0
                                                     : gJournal.logSize == gJournal.logLength);
        if (unchanged || endedAsNoted) {
          result = JournalOpen::kResumed;
          gJournal.logUnchanged = unchanged;
        } else {
          FreeFacts();
          gJournal.workDone = false;
          gJournal.logLength = -1;
        }
      }
    }
  }
  free(text);
  if (result == JournalOpen::kResumed) {
    gJournal.resumed = true;
  } else if (!readOnly) {
    // Another installation's, or not a journal at all: its facts say nothing of this log.
    sys.RemoveFile(gJournal.path);
  }
  return result;
}

bool JournalResumed() { return gJournal.resumed; }

bool JournalLogUnchanged() { return gJournal.resumed && gJournal.logUnchanged; }

int BeginJournal() {
  if (gJournal.writing) return 0;
  if (gJournal.path[0] == '\0' || gJournal.logSize < 0) return 1;
  Platform& sys = Sys();
  if (gJournal.resumed) {
    gJournal.file = sys.OpenForWrite(gJournal.path);
    if (gJournal.file == kNoFile) return 1;
    // A line cut by the kill is cut away, so that the next line starts on a line of its own.
    if (sys.Seek(gJournal.file, 0, kSeekEnd) < 0) {
      sys.CloseFile(gJournal.file);
      gJournal.file = kNoFile;
      return 1;
    }
    gJournal.writing = true;
    WriteLine("\r\n", Flush::kNo);
    return gJournal.broken ? 1 : 0;
  }
  gJournal.file = sys.CreateTruncated(gJournal.path);
  if (gJournal.file == kNoFile) return 1;
  gJournal.writing = true;
  char header[kLineSize];
  snprintf(header, sizeof header, "%s\t%d\t%s\t%lld\t%llu\r\n", kMagic, kJournalVersion,
           gJournal.logLongPath, static_cast<long long>(gJournal.logSize),
           static_cast<unsigned long long>(gJournal.logTime));
  WriteLine(header, Flush::kNo);
  return gJournal.broken ? 1 : 0;
}

bool FindSharedFact(const char* path, SharedFact* fact) {
  const Fact* found = FindFact('S', path);
  if (found == nullptr) return false;
  *fact = SharedFact{found->before, found->after, found->answer};
  return true;
}

void NoteSharedFact(const char* path, const SharedFact& fact) {
  char line[kLineSize];
  snprintf(line, sizeof line, "S\t%s\t%d\t%d\t%d\r\n", path, static_cast<int>(fact.before),
           static_cast<int>(fact.after), fact.answer);
  // Only what an earlier run noted is looked up: this run takes each step once anyway.
  WriteLine(line, Flush::kYes);
}

bool FindTemporaryCopy(const char* target, int n, char* temporary, size_t size) {
  return FindCopyFact('T', target, n, temporary, size);
}

void NoteTemporaryCopy(const char* target, const char* temporary) {
  char line[kLineSize];
  snprintf(line, sizeof line, "T\t%s\t%s\r\n", target, temporary);
  WriteLine(line, Flush::kYes);
}

void NoteIniCopy(const char* file, const char* copy) {
  char line[kLineSize];
  snprintf(line, sizeof line, "I\t%s\t%s\r\n", file, copy);
  // Reaches the disk with the line that says the copy is whole: a copy lost with this line
  // at a power cut is only a stray file, never put back.
  WriteLine(line, Flush::kNo);
}

void NoteIniCopyWhole(const char* copy) {
  char line[kLineSize];
  snprintf(line, sizeof line, "K\t%s\r\n", copy);
  WriteLine(line, Flush::kYes);
}

bool FindIniCopy(const char* file, int n, char* copy, size_t size, bool* whole) {
  if (!FindCopyFact('I', file, n, copy, size)) return false;
  *whole = FindFact('K', copy) != nullptr;
  return true;
}

bool JournalWriting() { return gJournal.writing && !gJournal.broken; }

bool IsRestartDeletionNoted(const char* path) { return FindFact('R', path) != nullptr; }

void NoteRestartDeletion(const char* path) {
  char line[kLineSize];
  snprintf(line, sizeof line, "R\t%s\r\n", path);
  WriteLine(line, Flush::kYes);
}

bool IsBackupRestored(const char* path) { return FindFact('B', path) != nullptr; }

void NoteBackupRestored(const char* path) {
  char line[kLineSize];
  snprintf(line, sizeof line, "B\t%s\r\n", path);
  WriteLine(line, Flush::kYes);
}

bool IsValueRestored(int root, const char* key, const char* valueName) {
  char text[kLineSize];
  snprintf(text, sizeof text, "%d\t%s\t%s", root, key, valueName);
  return FindFact('V', text) != nullptr;
}

void NoteValueRestored(int root, const char* key, const char* valueName) {
  char text[kLineSize];
  snprintf(text, sizeof text, "%d\t%s\t%s", root, key, valueName);
  char line[kLineSize + 8];
  snprintf(line, sizeof line, "V\t%s\r\n", text);
  WriteLine(line, Flush::kNo);
}

void NoteEndFolder(const char* folder, bool withContents) {
  char line[kLineSize];
  snprintf(line, sizeof line, "E\t%d\t%s\r\n", withContents ? 1 : 0, folder);
  WriteLine(line, Flush::kNo);
  AddFact('E', folder, withContents ? 1 : 0, 0, 0);
}

void NoteWorkDone(int64_t logLength) {
  char line[64];
  snprintf(line, sizeof line, "D\t%lld\r\n", static_cast<long long>(logLength));
  WriteLine(line, Flush::kYes);
  gJournal.workDone = true;
  gJournal.logLength = logLength;
}

bool IsWorkDone(int64_t* logLength) {
  if (logLength != nullptr) *logLength = gJournal.logLength;
  return gJournal.workDone;
}

int EndFolderCount() {
  int count = 0;
  for (int i = 0; i < gJournal.count; ++i) count += gJournal.facts[i].kind == 'E';
  return count;
}

const char* EndFolderAt(int index, bool* withContents) {
  for (int i = 0; i < gJournal.count; ++i) {
    if (gJournal.facts[i].kind != 'E') continue;
    if (index-- != 0) continue;
    if (withContents != nullptr) *withContents = gJournal.facts[i].before != 0;
    return gJournal.facts[i].text;
  }
  return nullptr;
}

void CloseRunJournal(bool deleteIt) {
  if (gJournal.file != kNoFile) Sys().CloseFile(gJournal.file);
  gJournal.file = kNoFile;
  gJournal.writing = false;
  if (deleteIt && gJournal.path[0] != '\0') Sys().RemoveFile(gJournal.path);
}

void ResetRunJournal() {
  FreeFacts();
  gJournal = Journal();
}
