// The program's temporary copy: made at start-up so that a clean-up run of the copy can
// remove the installed program file at the end, and deleted at the next restart.
#pragma once

// Copies the program as "KTM1A2B.EXE" into a new folder of its own in the temporary
// directory and schedules both for deletion at the next restart; gRun.tempCopyPath holds
// the copy's path, or stays empty when no copy could be made.
void MakeTempCopy();

// Arranges for the copy at path, and the folder made for it, to go at the next restart of
// Windows: delay-until-reboot deletions on the NT family, a "NUL=" line in WININIT.INI's
// [rename] section elsewhere (which deletes files only: the empty folder stays there).
// Silent: when neither works nothing is scheduled.
void ScheduleTempCopyDeletion(const char* path);
