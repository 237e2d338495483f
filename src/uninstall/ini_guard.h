// Copies that guard INI files while the run writes their entries back. The system rewrites
// a whole INI file for each entry it writes; a run killed inside that rewrite leaves the file
// cut, and the entries the log does not name (the user's own) would be lost with the rest.
// So each file gets a copy beside it before the run's first write to it, noted in the run's
// journal; a run started again after a kill puts a whole copy back before it writes the
// entries again. Without a journal there is nobody to put a copy back, and none is made.
#pragma once

// Before the run's first write to file (which exists): puts back the whole copy a killed run
// made of it, deletes any other copy that run left, and makes the file's copy unless it took
// one over. Later calls for the same file do nothing.
void GuardIniFile(const char* file);

// After the entries are written: deletes the copies, and any an earlier run left of files
// this run did not write to.
void ReleaseIniGuards();

// Forgets the guards without touching the copies (part of the run-wide reset).
void ForgetIniGuards();
