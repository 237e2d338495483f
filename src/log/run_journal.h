// The journal of a run: a file beside the install log in which a run notes, before it takes
// a step that must not be taken twice, that it takes it (flushed to the disk where a lost
// line would let the step be taken twice after a power loss; run_journal.cpp says which).
// A run that is killed part-way (power lost, the process ended, a time limit) leaves the
// journal and the log; the next run of the same log reads the journal and finishes the job
// without taking any noted step a second time:
//   - a shared file's count taken back (with the answer to the question about removing it):
//     the next run takes no count again and keeps to the answer;
//   - a backup copy put back over a file: the next run leaves that file alone (the backup
//     copy may be gone already);
//   - a registry value written back to its old data: the next run does not write it again
//     (noted once written: writing the same data again after a kill is harmless);
//   - a copy of an INI file made before the run's first write to it: the system rewrites
//     the whole file for each entry, and a kill inside that rewrite leaves it cut; the next
//     run puts the whole copy back and writes the entries again;
//   - the work done, with what becomes of the log: the next run only ends the run (cuts or
//     deletes the log and removes the folders the log held up).
// Every other step of an uninstall finds the machine as the killed run left it and does the
// same again with the same result. The journal goes when the run is done; a cancelled run
// keeps it, so that a later run of the log does not take its counts twice either.
//
// Format: text lines ended by CR LF, fields separated by tabs (no path holds one):
//   UNTARN-JOURNAL <version> <log's long path> <log's size> <log's last-write time>
//   S <path> <count before> <count after> <answer>   a shared count taken back (the
//                                                      database engine's: <database engine>)
//   B <path>                                           a backup copy put back over path
//   R <path>                                           path's deletion at the next restart
//   T <path> <temporary>                               a copy of path's backup made to go
//                                                      over it at the next restart
//   I <INI file> <copy>                                a copy of an INI file, made before
//                                                      the run's first write to it
//   K <copy>                                           that copy is whole
//   V <root> <key> <value name>                        a value written back to its old data
//   E <1|0> <folder>                                   a folder to remove at the end, with
//                                                      its contents (1) or when empty (0)
//   D <log length>                                     the work is done; the log is cut to
//                                                      that length (0: deleted; -1: kept)
// A line that does not end in CR LF was cut by the kill and is not read.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kJournalVersion = 2;

enum class JournalOpen {
  kNone,          // no journal: the run starts afresh
  kResumed,       // the journal of an interrupted run of this log, read
  kDropped,       // a journal of another log, or of this log before it changed: dropped
  kNewerVersion,  // written by a newer program: not read, and the run must not go on
  kUnreadable,    // there, but it cannot be read: the run must not go on
};

// The journal's path for a log: the log's with its extension replaced by "JNL" (one more
// extension when the log's is already that). False when it does not fit size.
bool JournalPathFor(const char* logPath, char* out, size_t size);

// Reads the journal of the log at logPath, when there is one, and remembers its facts for
// the run. The log's identity (long path, size, last-write time) must match the header;
// otherwise the journal is of another installation and is dropped (deleted, unless
// readOnly: the tools that only look at a machine leave it as it is).
JournalOpen OpenRunJournal(const char* logPath, bool readOnly = false);

// True when the run continues an interrupted one (OpenRunJournal found its journal).
bool JournalResumed();
// True when the run resumes and the log is still as the interrupted run found it (not cut
// nor deleted yet).
bool JournalLogUnchanged();

// Starts writing before the first step that must not run twice: continues the journal read,
// or makes a new one with its header. 0 when the journal can be written; a run that cannot
// write one goes on as runs always did (a kill then may take a step twice).
int BeginJournal();

// What a shared file's count became. answer is the kShared... result of the release.
struct SharedFact {
  int32_t before;
  int32_t after;
  int answer;
};
bool FindSharedFact(const char* path, SharedFact* fact);
void NoteSharedFact(const char* path, const SharedFact& fact);

// The copies of a backup made beside a file in use, to replace it at the next restart:
// each is noted before it is made, so that a run started again after a kill can see that
// none is left behind for good. n counts the copies noted for target, from 0.
bool FindTemporaryCopy(const char* target, int n, char* temporary, size_t size);
void NoteTemporaryCopy(const char* target, const char* temporary);

// The copy of an INI file made before the run's first write to it: noted before it is made,
// and again once it is whole (before the first write). n counts the copies an earlier run
// noted for file (for any file when file is null), from 0; whole says whether it was noted
// whole.
void NoteIniCopy(const char* file, const char* copy);
void NoteIniCopyWhole(const char* copy);
bool FindIniCopy(const char* file, int n, char* copy, size_t size, bool* whole);

// True while the run's journal is written (begun, and no write has failed).
bool JournalWriting();

// A file's deletion at the next restart, noted before it is scheduled: a run started again
// that puts a backup back over the file (free by then) must keep it from that deletion.
bool IsRestartDeletionNoted(const char* path);
void NoteRestartDeletion(const char* path);

bool IsBackupRestored(const char* path);
void NoteBackupRestored(const char* path);

bool IsValueRestored(int root, const char* key, const char* valueName);
void NoteValueRestored(int root, const char* key, const char* valueName);

// The end of the work: the folders to remove once the log is out of their way, and what
// becomes of the log (its new length; 0: deleted; -1: kept). After this, a new run only ends
// the run.
void NoteEndFolder(const char* folder, bool withContents);
void NoteWorkDone(int64_t logLength);

// Whether the journal read says the work was done, and what was to become of the log.
bool IsWorkDone(int64_t* logLength);
// The folders the end of the work removes, in the order noted.
int EndFolderCount();
const char* EndFolderAt(int index, bool* withContents);

// Closes the journal; deleteIt removes the file (the run is done with it).
void CloseRunJournal(bool deleteIt);

// Forgets the journal of an earlier run (part of the run-wide reset).
void ResetRunJournal();
