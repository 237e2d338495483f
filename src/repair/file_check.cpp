// The file check against a FileStamp (file_check.h), in the order that spares work: the
// file is opened at once (only a file that will not open is looked at further, to tell a
// missing one from a folder or a locked one), a date that differs needs no reading, a length
// that differs needs no checksum.
#include "repair/file_check.h"

#include <cstring>

#include "platform/platform.h"
#include "repair/crc32.h"

namespace {

StampVerdict CompareTimes(const FileStamp& logged, uint16_t fileDate, uint16_t fileTime) {
  switch (CompareWithLoggedTime(logged.dosDate, logged.dosTime, fileDate, fileTime)) {
    case StampTimeOrder::kFileNewer: return StampVerdict::kNewer;
    case StampTimeOrder::kFileOlder: return StampVerdict::kOlder;
    default: return StampVerdict::kSame;
  }
}

StampVerdict CheckOpenFile(FileHandle file, StampCheck* check) {
  Platform& sys = Sys();
  uint64_t lastWrite = 0;
  int64_t length = -1;
  if (sys.GetTimeAndSize(file, &lastWrite, &length) != 0 || length < 0) {
    return StampVerdict::kUnreadable;
  }
  // A time that does not fit the DOS range (before 1980) says nothing either way: the
  // length and the checksum decide alone.
  if (sys.FileTimeToLocalDos(lastWrite, &check->fileDate, &check->fileTime) == 0) {
    check->haveFileTime = true;
    StampVerdict byTime = CompareTimes(check->stamp, check->fileDate, check->fileTime);
    if (byTime != StampVerdict::kSame) return byTime;
  }

  check->haveFileSize = true;
  check->fileSize = static_cast<uint64_t>(length);
  if (check->fileSize != check->stamp.size) return StampVerdict::kSizeDiffers;

  uint32_t crc = 0;
  if (Crc32OfFile(file, &crc) != 0) return StampVerdict::kUnreadable;
  return crc == check->stamp.checksum ? StampVerdict::kSame : StampVerdict::kChecksumDiffers;
}

}  // namespace

StampVerdict CheckAgainstStamp(const char* path, const char* stampText, StampCheck* check) {
  StampCheck local;
  if (check == nullptr) check = &local;
  *check = StampCheck();
  Platform& sys = Sys();
  if (ReadFileStamp(stampText, &check->stamp) != 0) {
    // A stamp that does not read cannot tell an intact file from a changed one, so the file
    // is left alone; but a missing file has nothing to overwrite. A stamp too short to name
    // a date leaves even a missing file alone.
    if (stampText == nullptr || strlen(stampText) < kMinStampLength || path == nullptr ||
        *path == '\0' || sys.GetAttributes(path) != kNoAttributes) {
      return StampVerdict::kNoStamp;
    }
    ReadFileStampLoosely(stampText, &check->stamp);
    return StampVerdict::kMissing;
  }
  if (path == nullptr || *path == '\0') return StampVerdict::kMissing;

  FileHandle file = sys.OpenForRead(path);
  if (file == kNoFile) {
    // A folder where the file should be is not the file, and one held locked cannot be
    // read: both count as changed, and the installation program decides what it can do.
    return sys.GetAttributes(path) == kNoAttributes ? StampVerdict::kMissing
                                                    : StampVerdict::kUnreadable;
  }
  StampVerdict verdict = CheckOpenFile(file, check);
  sys.CloseFile(file);
  return verdict;
}

bool IsChangedVerdict(StampVerdict verdict) {
  switch (verdict) {
    case StampVerdict::kMissing:
    case StampVerdict::kUnreadable:
    case StampVerdict::kOlder:
    case StampVerdict::kSizeDiffers:
    case StampVerdict::kChecksumDiffers: return true;
    default: return false;
  }
}

const char* VerdictName(StampVerdict verdict) {
  switch (verdict) {
    case StampVerdict::kNoStamp: return "no-stamp";
    case StampVerdict::kSame: return "same";
    case StampVerdict::kMissing: return "missing";
    case StampVerdict::kUnreadable: return "unreadable";
    case StampVerdict::kOlder: return "older";
    case StampVerdict::kSizeDiffers: return "size";
    case StampVerdict::kChecksumDiffers: return "checksum";
    case StampVerdict::kNewer: return "newer";
  }
  return "?";
}
