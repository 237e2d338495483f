// BuildRepairRecordName (repair_record.h).
#include "base/repair_record.h"

#include "base/text.h"

int BuildRepairRecordName(const char* longLogPath, char* name, size_t size) {
  if (size == 0) return 1;
  if (size < kRepairRecordNameSize) {
    name[0] = '\0';
    return 1;
  }
  CopyText(name, kRepairRecordNameSize, kRepairRecordPrefix);
  AppendText(name, kRepairRecordNameSize, longLogPath);
  // A key name cannot hold the path's backslashes. The prefix keeps its own.
  for (char* p = name + sizeof kRepairRecordPrefix - 1; *p != '\0'; p = NextChar(p)) {
    if (*p == '\\') *p = '/';
  }
  return 0;
}
