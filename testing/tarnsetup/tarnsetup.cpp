// tarnsetup: the installation program of the repair tests and the demo. It carries a payload
// of files appended to its own executable (written by tarnpack.py) and, started as
// `TARNSETUP.EXE /X=<list file>` the way the uninstaller's repair starts an installation
// program, extracts exactly the files that the list names: each to its listed path, with the
// listed DOS date and time as its last-write time. It writes nowhere else. README explains the
// list, the payload and how a listed path finds its payload entry.
//
// What it did goes to standard output and, when the environment names one in TARNSETUP_REPORT,
// is appended to that file too: a program started by another program has nowhere to show it.
// TARNSETUP_PAUSE_MS makes it wait that long before it extracts, so that a test can act on
// the repair while the installation program runs.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNoList = 1;
constexpr int kExitUsage = 2;

// The trailer at the very end of the executable: where the payload starts, how many entries
// it holds, and the mark that says a payload is there at all.
constexpr char kPayloadMark[8] = {'T', 'A', 'R', 'N', 'P', 'A', 'Y', '1'};
constexpr DWORD kTrailerSize = 16;
constexpr DWORD kMaxPayloadBytes = 64u * 1024 * 1024;  // far beyond any test's payload

struct Entry {
  std::string name;  // relative path, backslashes
  DWORD offset = 0;  // of the data inside the payload buffer
  DWORD size = 0;
};

struct Payload {
  std::vector<char> bytes;
  std::vector<Entry> entries;
};

// One line of the list: path|DOS date|DOS time|rest of the logged stamp.
struct ListLine {
  std::string path;
  WORD dosDate = 0;
  WORD dosTime = 0;
  bool checked = false;  // the rest carried a size and a checksum
  unsigned long size = 0;
  unsigned long crc = 0;
};

FILE* gReport = nullptr;

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  if (gReport != nullptr) {
    va_start(args, format);
    vfprintf(gReport, format, args);
    va_end(args);
    fflush(gReport);
  }
}

DWORD ReadLittle32(const char* p) {
  const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
  return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<DWORD>(u[3]) << 24);
}

bool ReadAt(HANDLE file, DWORD offset, char* buffer, DWORD count) {
  if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
      INVALID_SET_FILE_POINTER) {
    return false;
  }
  DWORD got = 0;
  return ReadFile(file, buffer, count, &got, nullptr) && got == count;
}

// Reads the payload that tarnpack.py appended to this executable. False (and no entries) when
// there is none or it does not hold together; nothing is then extracted.
bool LoadPayload(Payload* payload) {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) return false;
  HANDLE file = CreateFileA(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = false;
  char trailer[kTrailerSize];
  DWORD fileSize = GetFileSize(file, nullptr);
  if (fileSize != INVALID_FILE_SIZE && fileSize >= kTrailerSize &&
      ReadAt(file, fileSize - kTrailerSize, trailer, kTrailerSize) &&
      memcmp(trailer + 8, kPayloadMark, sizeof kPayloadMark) == 0) {
    DWORD start = ReadLittle32(trailer);
    DWORD count = ReadLittle32(trailer + 4);
    DWORD end = fileSize - kTrailerSize;
    if (start <= end && end - start <= kMaxPayloadBytes) {
      payload->bytes.resize(end - start + 1);
      ok = ReadAt(file, start, &payload->bytes[0], end - start);
      // Entries: u32 name length, name, u32 data length, data; each checked against the end
      // before it is taken.
      DWORD at = 0, limit = end - start;
      for (DWORD i = 0; ok && i < count; ++i) {
        Entry entry;
        ok = limit - at >= 4;
        DWORD nameLength = ok ? ReadLittle32(&payload->bytes[at]) : 0;
        ok = ok && limit - at - 4 >= nameLength && nameLength > 0;
        if (ok) entry.name.assign(&payload->bytes[at + 4], nameLength);
        at += ok ? 4 + nameLength : 0;
        ok = ok && limit - at >= 4;
        entry.size = ok ? ReadLittle32(&payload->bytes[at]) : 0;
        ok = ok && limit - at - 4 >= entry.size;
        entry.offset = at + 4;
        at += ok ? 4 + entry.size : 0;
        if (ok) payload->entries.push_back(entry);
      }
      ok = ok && at == limit;
    }
  }
  CloseHandle(file);
  if (!ok) payload->entries.clear();
  return ok;
}

unsigned long Crc32(const char* data, DWORD size) {
  static unsigned long table[256];
  if (table[1] == 0) {
    for (unsigned long n = 0; n < 256; ++n) {
      unsigned long c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
  }
  unsigned long crc = 0xFFFFFFFFUL;
  for (DWORD i = 0; i < size; ++i) {
    crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
  }
  return crc ^ 0xFFFFFFFFUL;
}

// Reads decimal digits at *p into *value; false when there are none or the number outgrows
// `limit`.
bool ReadDecimal(const char** p, unsigned long limit, unsigned long* value) {
  const char* s = *p;
  unsigned long number = 0;
  if (*s < '0' || *s > '9') return false;
  for (; *s >= '0' && *s <= '9'; ++s) {
    number = number * 10 + static_cast<unsigned long>(*s - '0');
    if (number > limit) return false;
  }
  *value = number;
  *p = s;
  return true;
}

void SkipBlanks(const char** p) {
  while (**p == ' ') ++*p;
}

// The first c at or after from that is a character of its own, stepped with the ANSI code
// page: in code page 932 the second byte of ポ is the bar's byte and that of 表 the
// backslash's. npos when there is none.
size_t FindCharFrom(const std::string& text, char c, size_t from) {
  const char* start = text.c_str();
  const char* p = start;
  while (*p != '\0' && static_cast<size_t>(p - start) < from) p = CharNextA(p);
  for (; *p != '\0'; p = CharNextA(p)) {
    if (*p == c) return static_cast<size_t>(p - start);
  }
  return std::string::npos;
}

// Only a full path is taken: a relative one would land wherever the program happens to run.
bool IsFullPath(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') return true;
  return path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
}

bool ParseListLine(const std::string& text, ListLine* line) {
  size_t bar = FindCharFrom(text, '|', 0);
  if (bar == std::string::npos) return false;
  line->path = text.substr(0, bar);
  if (!IsFullPath(line->path)) return false;
  const char* p = text.c_str() + bar + 1;
  unsigned long date = 0, time = 0;
  if (!ReadDecimal(&p, 0xFFFF, &date) || *p++ != '|') return false;
  if (!ReadDecimal(&p, 0xFFFF, &time) || *p++ != '|') return false;
  line->dosDate = static_cast<WORD>(date);
  line->dosTime = static_cast<WORD>(time);
  // The rest of the logged stamp, " <size> | <crc32 hex>"; when present it must be whole.
  SkipBlanks(&p);
  if (*p == '\0') return true;
  if (!ReadDecimal(&p, 0xFFFFFFFFUL, &line->size)) return false;
  SkipBlanks(&p);
  if (*p++ != '|') return false;
  SkipBlanks(&p);
  char* end = nullptr;
  line->crc = strtoul(p, &end, 16);
  if (end == p) return false;
  p = end;
  SkipBlanks(&p);
  if (*p != '\0') return false;
  line->checked = true;
  return true;
}

// A payload entry belongs to a listed path when the path ends with the entry's name at a
// folder boundary ("App\DATA\T.DAT" matches "C:\Program Files\App\DATA\T.DAT"), without
// regard to case. Of several, one whose size and checksum are the logged ones wins, then the
// longest name: the most specific.
// Where a name may start in path: marked for each position just after one of its
// backslashes. The boundaries are found from the start, by characters: the byte before a
// name may be the second half of 表 rather than a separator. Found once per listed path, not
// once per payload entry: a payload of thousands of files is searched for every line.
std::vector<bool> NameStarts(const std::string& path) {
  std::vector<bool> starts(path.size() + 1, false);
  for (size_t at = FindCharFrom(path, '\\', 0); at != std::string::npos;
       at = FindCharFrom(path, '\\', at + 1)) {
    starts[at + 1] = true;
  }
  return starts;
}

// True when path ends with name just after one of its backslashes, without regard to case.
bool EndsWithEntryName(const std::string& path, const std::vector<bool>& nameStarts,
                       const std::string& name) {
  if (name.size() >= path.size()) return false;
  size_t tail = path.size() - name.size();
  return nameStarts[tail] && lstrcmpiA(path.c_str() + tail, name.c_str()) == 0;
}

const Entry* FindEntry(const Payload& payload, const ListLine& line) {
  const Entry* best = nullptr;
  bool bestFits = false;
  std::vector<bool> nameStarts = NameStarts(line.path);
  for (const Entry& entry : payload.entries) {
    if (!EndsWithEntryName(line.path, nameStarts, entry.name)) continue;
    bool fits = !line.checked || (entry.size == line.size &&
                                  Crc32(&payload.bytes[entry.offset], entry.size) == line.crc);
    if (best == nullptr || (fits && !bestFits) ||
        (fits == bestFits && entry.name.size() > best->name.size())) {
      best = &entry;
      bestFits = fits;
    }
  }
  return best != nullptr && bestFits ? best : nullptr;
}

// Every folder on the way to the file; the drive or share itself is never made.
void CreateFolders(const std::string& path) {
  size_t from = 3;
  if (path[1] != ':') {
    size_t server = FindCharFrom(path, '\\', 2);
    size_t share = server == std::string::npos ? server : FindCharFrom(path, '\\', server + 1);
    if (share == std::string::npos) return;
    from = share + 1;
  }
  for (size_t at = FindCharFrom(path, '\\', from); at != std::string::npos;
       at = FindCharFrom(path, '\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
}

// Writes the entry to the listed path and gives it the listed time; a message when it fails.
const char* Extract(const Payload& payload, const Entry& entry, const ListLine& line) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(line.dosDate, line.dosTime, &local) ||
      !LocalFileTimeToFileTime(&local, &utc)) {
    return "the DOS date or time is not a time";
  }
  CreateFolders(line.path);
  DWORD attributes = GetFileAttributesA(line.path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetFileAttributesA(line.path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  HANDLE file = CreateFileA(line.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "cannot be created";
  DWORD written = 0;
  bool ok = entry.size == 0 || (WriteFile(file, &payload.bytes[entry.offset], entry.size,
                                          &written, nullptr) &&
                                written == entry.size);
  ok = ok && SetFileTime(file, nullptr, nullptr, &utc);
  CloseHandle(file);
  return ok ? nullptr : "could not be written";
}

bool ReadListFile(const char* path, std::string* text) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char block[16384];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, block, sizeof block, &got, nullptr) != 0) && got > 0) {
    text->append(block, got);
  }
  CloseHandle(file);
  return ok;
}

int Run(const char* listPath) {
  std::string list;
  if (!ReadListFile(listPath, &list)) {
    Say("tarnsetup: cannot read the list %s\n", listPath);
    return kExitNoList;
  }
  Payload payload;
  if (!LoadPayload(&payload)) Say("tarnsetup: this program carries no payload\n");
  Say("tarnsetup: list %s, %u payload entries\n", listPath,
      static_cast<unsigned>(payload.entries.size()));
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find_first_of("\r\n", start);
    if (end == std::string::npos) end = list.size();
    std::string text = list.substr(start, end - start);
    start = end + 1;
    if (text.empty()) continue;
    ListLine line;
    if (!ParseListLine(text, &line)) {
      Say("skipped (unreadable line): %s\n", text.c_str());
      continue;
    }
    const Entry* entry = FindEntry(payload, line);
    if (entry == nullptr) {
      Say("skipped (no payload entry of that name, size and checksum): %s\n", line.path.c_str());
      continue;
    }
    const char* problem = Extract(payload, *entry, line);
    if (problem != nullptr) {
      Say("failed (%s): %s\n", problem, line.path.c_str());
    } else {
      Say("extracted: %s\n", line.path.c_str());
    }
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  const char* listPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    if ((argv[i][0] == '/' || argv[i][0] == '-') && (argv[i][1] == 'X' || argv[i][1] == 'x') &&
        argv[i][2] == '=') {
      listPath = argv[i] + 3;
    }
  }
  char reportPath[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("TARNSETUP_REPORT", reportPath, sizeof reportPath);
  if (length > 0 && length < sizeof reportPath) gReport = fopen(reportPath, "a");
  char pause[16];
  length = GetEnvironmentVariableA("TARNSETUP_PAUSE_MS", pause, sizeof pause);
  if (length > 0 && length < sizeof pause) Sleep(static_cast<DWORD>(strtoul(pause, nullptr, 10)));
  int status = kExitUsage;
  if (listPath == nullptr || *listPath == '\0') {
    Say("usage: TARNSETUP.EXE /X=<list file>\n"
        "Extracts the files that the list names from the payload this program carries.\n");
  } else {
    status = Run(listPath);
  }
  if (gReport != nullptr) fclose(gReport);
  return status;
}
