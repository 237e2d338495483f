// The one check of a logged file against its stamp, shared by the repair (which queues
// what it finds changed) and by the tools that show what a repair or an uninstall would
// find (tarnlog plan).
#pragma once

#include <cstdint>

#include "repair/file_stamp.h"

enum class StampVerdict {
  kNoStamp,          // stamp shorter than 21 characters, or unreadable on a file that is
                     // there: the file is left alone
  kSame,             // date, time, size and checksum as logged
  kMissing,          // the file does not exist
  kUnreadable,       // it exists but cannot be opened or read: counts as changed
  kOlder,            // the logged date and time are after the file's: counts as changed
  kSizeDiffers,      // same date and time, another length
  kChecksumDiffers,  // same date, time and length, another CRC-32
  kNewer,            // the file is newer than the logged one: a repair asks before replacing it
};

// What the check read and found, for the texts that report it.
struct StampCheck {
  FileStamp stamp;  // as logged (valid unless the verdict is kNoStamp)
  bool haveFileTime = false;
  uint16_t fileDate = 0;  // the file's local last-write time as DOS date and time
  uint16_t fileTime = 0;
  bool haveFileSize = false;
  uint64_t fileSize = 0;
};

// Compares the file at path with its logged stamp; fills *check when it is given.
StampVerdict CheckAgainstStamp(const char* path, const char* stampText,
                               StampCheck* check = nullptr);

// True for the verdicts after which the logged copy should be extracted again without
// asking (kMissing, kUnreadable, kOlder, kSizeDiffers, kChecksumDiffers).
bool IsChangedVerdict(StampVerdict verdict);

// A short lower-case name of the verdict ("missing", "size", "newer"...), for tools.
const char* VerdictName(StampVerdict verdict);
