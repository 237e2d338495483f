// Deleting a file at the next restart of Windows, for what cannot go now (a file in use) and
// for what must not outlive a run that is killed (the program's temporary copy, the
// repair's list files).
#pragma once

// Appends "NUL=path" to the [rename] section of WININIT.INI in the Windows directory (made
// when missing), for the platforms that read that file at their next start. path is
// written as given.
void AppendWininitDeletion(const char* path);

// Appends "target=source" the same way: the next start moves source onto target. The file is
// only ever added to, never rewritten (the system's profile functions rewrite it whole, and a
// kill inside that rewrite would lose other programs' work for the next start); a second
// entry for one target comes after the first and wins. False when nothing was written.
bool AppendWininitEntry(const char* target, const char* source);

// Arranges for the file to be deleted at the next restart: a delay-until-reboot deletion on
// the NT family, a WININIT.INI entry (in short form) elsewhere. Sets no restart as needed: a
// file gone already by then is passed over.
void DeleteAtNextRestart(const char* path);
