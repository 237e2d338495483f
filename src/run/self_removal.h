// Self-removal and restart at the end of a run. A running program cannot delete its own
// file, so when its file was among those removed the run starts its temporary copy as a
// clean-up run (/z) that deletes the installed program and its emptied directories after
// this process has ended. A restart needed on the NT family goes through the restart
// program (_MSRSTRT.EXE), which enables the shutdown privilege first.
#pragma once

#include <cstddef>

// Writes the embedded restart program (resource 300/30202) as "_MSRSTRT.EXE" in the
// Windows directory; path (size bytes) receives its path. 0 when it was written; any
// failure leaves no file behind.
int WriteRestartProgram(char* path, size_t size);

// The self-removal decision at the end of a run that was not a clean-up run: starts the
// clean-up run when the program's own file was to be removed and the run was not
// cancelled, passing the restart on to it where that applies; a run started with /Z or /z
// deletes its own file and settings file instead.
void FinishSelfRemoval();

// Restarts Windows when gRun.rebootNeeded is still set, unless the clean-up run started by
// FinishSelfRemoval will restart instead.
void RestartIfNeeded();

// The clean-up run of the temporary copy; arguments is the text after the /z switch: the
// installed program's path, a blank, and the application directory.
void RunCleanup(const char* arguments);

// Forgets what the end of an earlier run recorded (tests run many runs in one process).
void ResetSelfRemoval();
