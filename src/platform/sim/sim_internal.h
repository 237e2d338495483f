// The private state of the simulated machine, shared by its source files (files, registry,
// profiles, system services). Not part of the test-facing API.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sim/sim_machine.h"

struct SimDrive {
  int type = kDriveFixed;
  std::unique_ptr<SimNode> root;
};

struct SimOpenFile {
  SimNode* node = nullptr;
  uint64_t position = 0;
  bool read = false;
  bool write = false;
};

struct SimSearch {
  std::vector<FindEntry> entries;
  size_t next = 0;
};

struct SimServiceHandle {
  bool manager = false;
  uint32_t access = 0;
  std::string key;  // upper-cased service name
};

struct SimLibrary {
  std::string name;  // as loaded: the full path or the bare name
  ImageLibrary info;
  int references = 0;
};

// A parsed path: drive letter and the components below its root.
struct SimPath {
  char drive = 0;
  std::vector<std::string> parts;
};

// Directories that file lookups passed through, by the exact text of their paths: a log
// names thousands of files in a few hundred folders, and this spares walking the folders
// above each one again. Any change to the tree's names, junctions or drives empties it
// (SimTreeChanged), as does a change of code page, by which names fold.
struct SimDirectoryCache {
  std::unordered_map<std::string, SimNode*> byPath;
  uint64_t generation = 0;  // of SimTreeGeneration() when it was filled
  uint32_t codePage = 0;
};

struct SimMachine::Impl {
  std::map<char, SimDrive> drives;
  std::string currentDir = "C:\\";
  uint32_t lastError = 0;

  SimDirectoryCache directories;

  intptr_t nextHandle = 0x40;
  std::map<intptr_t, SimOpenFile> files;
  std::map<intptr_t, SimSearch> searches;

  std::vector<std::unique_ptr<SimRegKey>> regRoots;  // HKCU, HKLM, HKU, HKCC
  std::map<uint32_t, SimRegKey*> rootKeys;           // predefined handle -> key
  std::map<RegHandle, SimRegKey*> regHandles;
  std::vector<std::unique_ptr<SimRegKey>> deletedKeys;  // kept while handles may point at them

  std::map<ServiceHandle, SimServiceHandle> serviceHandles;

  std::vector<ImageLibrary> libraries;  // from the image
  std::map<LibHandle, SimLibrary> loaded;

  std::vector<ImageProgram> programs;
  std::map<std::string, SimProgramHook> hooks;  // by upper-cased path

  bool ddeStarted = false;
  bool ddeConnected = false;
  int activeGroup = -1;
  uint32_t tempCounter = 0;
};

// Counts changes to the names, junctions and drives of every simulated file tree, so that
// remembered lookups can tell they are stale. One count for all machines: a change on one
// only costs the others a fresh walk.
void SimTreeChanged();
uint64_t SimTreeGeneration();

// Upper-cases ASCII letters only: the folding for keys of the sim's own maps.
std::string SimUpper(const std::string& text);
bool SimEqualNoCase(const std::string& a, const std::string& b);
// The same folding for names that may hold double-byte characters (registry keys): those
// stand as they are, since their second byte may be a letter's (ヂ and ア differ in it).
std::string SimUpper(SimMachine& m, const std::string& text);

// Path text taken by the characters of the machine's ANSI code page, never by bytes from
// its end: in code page 932 the second byte of 表 is the backslash's byte.
// The length in bytes of the character that starts at text (0 at the terminator).
size_t SimCharLength(SimMachine& m, const char* text);
// The first character at or after from (the start of a character) that is one of chars;
// npos when there is none.
size_t SimFindOf(SimMachine& m, const std::string& text, const char* chars, size_t from = 0);
// The last character of text that is one of chars; npos when there is none.
size_t SimFindLastOf(SimMachine& m, const std::string& text, const char* chars);
// True when the last character of text is c.
bool SimEndsWith(SimMachine& m, const std::string& text, char c);
// Splits a resolved full path ("C:\\A\\B") into drive and parts; false when not a path.
bool SimSplitPath(SimMachine& m, const std::string& fullPath, SimPath* out);
// The machine's clock: settings.now, or the default moment when none is set.
uint64_t SimNow(const ImagePlatform& settings);
// Copies text into a caller buffer of size bytes; returns the length copied, or 0 (with
// nothing but a terminator written) when it does not fit.
int SimCopyOut(const std::string& text, char* buffer, uint32_t size);

// Sets a node's short name and keeps its directory's name index true.
void SimSetShortName(SimMachine& m, SimNode* node, const std::string& shortName);
