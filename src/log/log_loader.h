// LogLoader: reads INSTALL.LOG once, at the start of the run, into the item store. It
// classifies every record (private, system or missing file; directory merges; repeats of
// an item in later sections), ignores what does not concern this machine or user
// (removable drives, per-user parts), reads the header values and tests the administrator
// rights that the installation required.
#pragma once

// Loads the log at logPath; appDirectory (256 bytes) receives the application directory in
// short form with a trailing backslash. Returns 0 when loaded, 1 when refused; on refusal
// the user has already been told and the store keeps what was loaded before.
int LogLoader(const char* logPath, char* appDirectory);

// Sets appTitle from a "Title: " line (value at offset 7), cuts a trailing " INSTALLATION"
// or " INSTALL", and makes it the main window's caption unless the command line gave one.
void SetTitle(const char* line);
