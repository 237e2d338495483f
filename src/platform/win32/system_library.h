// Loading libraries without the usual search, and the system calls that not every Windows
// has, looked up at run time. Loading without the search: LoadLibrary with a bare name tries the
// program's folder, the system folders, the current folder and every folder on PATH; a
// library that most machines lack (ismif32.dll) could be planted in any of them by anybody
// who can write there, and it would run with the uninstaller's rights. The uninstaller, its
// temporary copy and the restart program load libraries only through these.
//
// A function that a Windows the programs start on does not export must not be imported:
// the loader refuses the whole program. Such calls are looked up here instead.
#pragma once

#include <windows.h>

// Limits the search for every library loaded later by name, and for the libraries those
// need, to the system directory. Called first thing by both programs. The call that does
// it (SetDefaultDllDirectories) exists from Windows 8, and on Vista and 7 with update
// KB2533623; it is looked up at run time, since a static import of it would keep the
// program from starting on the Windows 95 family and NT 4. True when the search is limited.
bool LimitLibrarySearchToSystem();

// A library of the system by its bare name ("SFC.DLL"), from the system directory: the
// full path is built from GetSystemDirectory, so nothing is searched at all. The name must
// name no folder (the caller checks; the seam refuses other names).
HMODULE LoadFromSystemDirectory(const char* bareName);

// A library by its full path. Where the system can be told so, the libraries it needs come
// from its own folder and the system directory only; elsewhere the old search applies, in
// which the current folder (set by the caller to the library's own) finds them.
HMODULE LoadLibraryFromPath(const char* path);

// MoveFileExA, which the Windows 95 family does not have: there it fails with
// ERROR_CALL_NOT_IMPLEMENTED (the callers use WININIT.INI on that family anyway).
BOOL MoveFileWithFlags(const char* from, const char* to, DWORD flags);
