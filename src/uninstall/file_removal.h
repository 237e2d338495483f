// Removing files and directories for the uninstall: one file or a wildcard pattern with
// the help-index companions of a help file, whole directory trees or only their empty
// directories, with the shell told about each removal. A file in use is handed to the
// deferred deletion when the log allows it.
#pragma once

#include <cstddef>

// Deletes the file; 0 when deleted, 1 when not (it may then be scheduled for deletion at
// the next restart). Notes when the file is the program's own.
int DeleteFileNow(const char* path);

// Clears the file's attributes, deletes it, and deletes the companions of a help file.
void RemoveFileAndCompanions(const char* path);

// The help system's index files, made beside a help file (".HLP") when it was first opened:
// the index-th companion's path (".GID", then ".FTS") into out. False when path is no help
// file, index is past the last companion, or the path does not fit.
bool HelpFileCompanion(const char* path, int index, char* out, size_t size);

// Copies the backup back over the target now, or at the next restart when the target is
// in use; the backup copy is deleted. When neither can be arranged the target goes and the
// backup copy stays.
void ScheduleReplace(const char* backup, const char* target);

// The result of RemoveFileItem for a pattern refused as too wide (or through a link).
constexpr int kPatternRefused = 1;

// Removes one logged file or every file matching a pattern; with restore set (and a
// backup given) the backup copy is put back over the path. 0 when handled, or
// kPatternRefused.
int RemoveFileItem(const char* path, const char* backup, bool restore);

// Removes the directory (which may end in a file pattern) with its subdirectories: with
// withFiles their files go too, otherwise only empty directories go. Protected
// directories (Windows, System, Program Files, drive roots) are never touched, and links
// (reparse points) are never entered.
void RemoveDirectoryTree(const char* directory, bool withFiles);

// Tells the shell what was removed since the last call: folders that lost files, and the
// topmost of the folders removed. Removals are told per folder and in a batch; whoever
// removes files or directories calls it when the work is done.
void FlushShellNotifications();

// Removes the folder a removed file lay in when nothing is left in it. A folder that is a
// link (junction or symbolic link) stays: it belongs to its target, not to the application.
void RemoveEmptiedFolder(const char* directory);

// Forgets the removals not yet told to the shell (part of the reset of a run).
void ForgetShellNotifications();

// Removes one empty directory; 0 when removed.
int RemoveOneDirectory(const char* directory);

// True when the directory is one the uninstall must never remove, whatever the form of
// the path (short or long names, trailing backslash, "." and ".." components, case).
bool IsProtectedDirectory(const char* directory);
