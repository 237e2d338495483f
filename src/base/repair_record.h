// The name of an application's repair record: the key of HKEY_LOCAL_MACHINE under which the
// installation lists what the application needs (read by the shortcut launch) and which an
// uninstall deletes with the application.
#pragma once

#include <cstddef>

// Everything under this key of HKEY_LOCAL_MACHINE is one application's repair record.
constexpr char kRepairRecordPrefix[] =
    "Software\\Tarn Solutions\\Tarn Installation System\\Repair\\";
// A registry key's name holds at most 259 characters (MAX_PATH less the terminator).
constexpr size_t kRepairRecordNameSize = 260;

// Builds the record's key name for an install log path in long form: the prefix, then the
// path with each backslash turned into "/", cut at 259 characters on a whole character as
// the installation that wrote the record had to cut it. Returns 0, or 1 (and an empty name)
// when size is under kRepairRecordNameSize.
int BuildRepairRecordName(const char* longLogPath, char* name, size_t size);
