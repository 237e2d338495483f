// MachineImage: a description of a Windows machine's state that a test or scenario starts
// from. It is plain data read from JSON (docs/machine-image.md) and carries nothing of the
// machine that consumes it: the simulated machine seeds itself from it, and the Windows
// fixture tool seeds a Wine prefix from the same record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One change that a scripted program or library makes when it runs.
struct ImageAction {
  enum Kind {
    kSetValue,     // key, valueName, valueType, data: creates the key as needed
    kRemoveValue,  // key, valueName
    kRemoveKey,    // key (with everything below it)
    kCreateFile,   // path, data (the contents); replaces an existing file
    kDeleteFile,   // path
    kExtractList,  // reads the list file named by "/X=<path>" on the command line and writes
                   // every listed file that the program's extractable files hold
  };
  Kind kind = kSetValue;
  std::string key;  // "HKLM\\SOFTWARE\\..." form
  std::string valueName;
  uint32_t valueType = 1;  // REG_SZ
  std::string data;        // value bytes as the registry stores them, or file contents
  std::string path;
};

struct ImageFile {
  std::string path;        // full path, "C:\\Dir\\Name.ext"
  std::string contents;    // raw bytes
  uint64_t lastWrite = 0;  // FILETIME; 0 takes the image's defaultFileTime
  uint32_t attributes = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
  std::string shortName;   // explicit 8.3 name; empty: generated
  bool inUse = false;      // held open by another process: not deletable, not writable
};

struct ImageDirectory {
  std::string path;
  uint32_t attributes = 0x10;  // FILE_ATTRIBUTE_DIRECTORY (always added)
  std::string shortName;
  std::string junctionTarget;  // non-empty: the directory is a junction to this path
};

struct ImageRegValue {
  std::string name;  // empty: the key's default value
  uint32_t type = 1;
  std::string data;  // bytes as the registry stores them (strings with their terminators)
};

struct ImageRegKey {
  std::string path;  // root abbreviation (HKCR, HKCU, HKLM, HKU, HKCC) or full root name,
                     // then the subkey path, separated by backslashes
  std::vector<ImageRegValue> values;
};

struct ImageService {
  std::string name;
  std::string binaryPath;
  bool running = false;
};

struct ImageGroupItem {
  std::string title;
  std::string command;
};

struct ImageGroup {
  std::string name;
  std::string path;  // the group file, shown in the header line of a group request
  std::vector<ImageGroupItem> items;
};

struct ImageLibrary {
  std::string path;  // a full path (a file is created) or a bare system name ("SFC.DLL")
  std::vector<std::string> exports;
  std::vector<ImageAction> onRegister;    // what DllRegisterServer does
  std::vector<ImageAction> onUnregister;  // what DllUnregisterServer does
  int32_t registerResult = 0;             // returned by both entry points (S_OK)
  int32_t restorePointResult = 1;         // SRSetRestorePoint's BOOL
  int64_t restorePointSequence = 1;       // the sequence number it reports
  int32_t statusMifResult = 1;            // InstallStatusMIF's result
};

// What a program does when started with a command line containing `argument` (compared
// without regard to case; empty matches every start).
struct ImageProgramRule {
  std::string argument;
  std::vector<ImageAction> actions;
};

struct ImageProgram {
  std::string path;  // matched against the program named first on the command line
  std::vector<ImageProgramRule> rules;
  std::vector<ImageFile> extractable;  // the files a kExtractList action can write
  bool createFile = true;  // also create an "MZ" stub file at path when seeding
};

struct ImageDrive {
  char letter = 'C';
  int type = 3;  // DRIVE_FIXED
};

struct ImagePlatform {
  bool ntFamily = true;
  uint32_t major = 4, minor = 0, build = 1381;
  uint32_t ansiCodePage = 1252;  // 1252, or double-byte 932, 936, 949, 950
  uint32_t oemCodePage = 437;
  bool admin = true;  // the service manager opens with full access
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string systemDirectory;   // empty: <windows>\SYSTEM32 (NT) or <windows>\SYSTEM
  std::string tempDirectory = "C:\\TEMP\\";
  std::string currentDirectory = "C:\\";
  std::string modulePath = "C:\\WINDOWS\\UNTARN32.EXE";
  std::vector<ImageDrive> drives;  // empty: C: fixed only
  bool progmanPresent = true;      // the Program Manager DDE service answers
  int32_t timeZoneMinutes = 0;     // local time minus UTC, today
  int32_t daylightShiftMinutes = 0;  // the zone's daylight-saving shift; 0: none
  uint64_t now = 0;                // FILETIME of "now"; 0: 2001-06-15 12:00:00
  uint64_t defaultFileTime = 0;    // 0: the same as now
};

struct MachineImage {
  ImagePlatform platform;
  std::vector<ImageDirectory> directories;
  std::vector<ImageFile> files;  // parent directories are created as needed
  std::vector<ImageRegKey> registry;
  std::vector<ImageService> services;
  std::vector<ImageGroup> groups;
  std::vector<ImageLibrary> libraries;
  std::vector<ImageProgram> programs;
};

// Parses the JSON text of a machine image into *image (which starts from its defaults).
// Returns 0, or non-zero with a message naming the offending member in *error.
int ReadMachineImage(const std::string& json, MachineImage* image, std::string* error);

// The registry bytes of a string value (with its terminator) and of a list of strings
// (each terminated, then one more terminator).
std::string RegStringBytes(const std::string& text);
std::string RegMultiStringBytes(const std::vector<std::string>& texts);
// The other way: the strings of REG_MULTI_SZ bytes, split at every terminator with empty
// strings kept (a pending rename's empty target is one); only the list's final terminator
// is dropped.
std::vector<std::string> RegStringsOf(const std::string& bytes);
std::string RegDwordBytes(uint32_t value);

// The FILETIME of a UTC calendar time (the image's "YYYY-MM-DD HH:MM:SS" times).
uint64_t FileTimeFromUtc(int year, int month, int day, int hour, int minute, int second);
