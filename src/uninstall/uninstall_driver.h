// The uninstall driver: carries out an uninstall or a rollback once the user's choices are
// made. It walks the item store in one fixed order of passes, decides for every record
// whether this run touches it, shows each action in the wizard's progress display, and
// hands the record to the unit that undoes that kind of change.
#pragma once

#include <cstddef>
#include <cstdint>

// Runs every pass for the install log at logPath (which it deletes or cuts back when the
// run calls for it). Stops between items once gRun.cancelled is set. What it leaves for
// the run flow is in gRun: cancelled, rebootNeeded and selfDeletePending.
void UninstallDriver(const char* logPath);

// Splits a logged program command into the program and its arguments: going back from the
// end, the command is cut at its end and at every blank (never at its first character)
// until the part before the cut exists as a file. A cut at a blank makes the text after it
// the arguments; a cut at the end keeps defaultArguments. When no part exists the whole
// command is the program. program and arguments are buffers of size bytes.
void SplitProgramCommand(const char* command, const char* defaultArguments, char* program,
                         char* arguments, size_t size);
