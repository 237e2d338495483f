// The one reset of everything a run keeps between calls: the run state, the item store and
// its arena, the log reader, and the state the units keep for a run (self-removal, the
// shared counts' open key, the Program Manager conversation, the shell notices not yet
// sent, the repair record a shortcut launch left open, and when the progress display last
// showed a line and looked at the queue, the journal read or being written). Whatever starts a run from scratch (the program, a tool, a test fixture) calls
// it, so that nothing of an earlier run reaches the next; a unit that gains run-wide state
// adds its reset here.
#pragma once

void ResetRunWideState();
