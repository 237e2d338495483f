// Work left for the next restart: deleting or replacing files that are in use, through
// delay-until-reboot moves on the Windows NT family and the [rename] section of
// WININIT.INI elsewhere. Every scheduled operation sets gRun.rebootNeeded.
#pragma once

#include <cstddef>

// Arranges for the file to be deleted at the next restart, which is then needed.
void ScheduleDelete(const char* path);

// Arranges for temporary (a copy made beside the target) to replace target at the next
// restart, which is then needed: the target in use cannot be overwritten now. 0 when
// every operation the restart needs was recorded.
int ScheduleReplaceAtRestart(const char* temporary, const char* target);

// A path in the target's directory named "~KTU%04x.TMP" that does not exist yet.
void UniqueTempName(const char* target, char* out, size_t size);
