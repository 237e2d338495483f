// Shared files counted in the registry (SharedDLLs): lowering the count by what this
// application added, and asking the user before an unused shared file goes.
#pragma once

constexpr int kSharedNotCounted = 0;  // not a counted file: treat it normally
constexpr int kSharedKeep = 1;        // the file stays
constexpr int kSharedRemove = 2;      // the user agreed to delete it

// The key of the counts stays open between calls; a pass that asked closes it here.
int ReleaseSharedFile(const char* path, int decrement);
void CloseSharedCounts();

// Drops the open counts' key without closing it: the machine it was opened on may be gone.
// Part of the reset of a run.
void ForgetSharedCounts();
