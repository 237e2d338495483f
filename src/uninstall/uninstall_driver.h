// The uninstall driver: carries out an uninstall or a rollback once the user's choices are
// made. It walks the item store in one fixed order of passes, decides for every record
// whether this run touches it, shows each action in the wizard's progress display, and
// hands the record to the unit that undoes that kind of change.
#pragma once

#include <cstddef>
#include <cstdint>

// Runs every pass for the install log at logPath. Stops between items once gRun.cancelled
// is set. The steps that must not be taken twice are noted in the run's journal first
// (log/run_journal.h); a run that did its work notes that last, with what becomes of the
// log and the folders that hold it. What it leaves for the run flow is in gRun: cancelled,
// rebootNeeded and selfDeletePending.
void UninstallDriver(const char* logPath);

// The end of a run of the log, after the status report: when the journal says the work is
// done (this run's, or an interrupted run's), cuts or deletes the log as noted, deletes the
// journal and removes the folders that held them; otherwise keeps the journal for the next
// run.
void FinishUninstall(const char* logPath);

// Splits a logged program command into the program and its arguments: going back from the
// end, the command is cut at its end and at every blank (never at its first character)
// until the part before the cut exists as a file. A cut at a blank makes the text after it
// the arguments; a cut at the end keeps defaultArguments. When no part exists the whole
// command is the program. program and arguments are buffers of size bytes.
void SplitProgramCommand(const char* command, const char* defaultArguments, char* program,
                         char* arguments, size_t size);
