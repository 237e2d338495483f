// A flat picture of a simulated machine's state, and the differences between two of them:
// what a run changed. Every file and folder of every drive, the entries of every INI file,
// every registry key and value, the services and the Program Manager's groups and items.
// Names are folded as the machine compares them, paths are long paths, and HKCR stands for
// HKLM\SOFTWARE\Classes, so an entry's name is the same whichever way a log spells it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

// Kinds of entries.
extern const char kStateFile[];     // a file: its contents, attributes and time
extern const char kStateFolder[];   // a folder: its attributes
extern const char kStateIni[];      // an entry of a file named *.INI: "PATH [SECTION] KEY"
extern const char kStateKey[];      // a registry key: "HKLM\PATH"
extern const char kStateValue[];    // a registry value: "HKLM\PATH|NAME"
extern const char kStateService[];  // a service by name
extern const char kStateGroup[];    // a Program Manager group by name
extern const char kStateIcon[];     // an item of a group: "GROUP|TITLE"

struct StateEntry {
  std::string kind;
  std::string name;   // folded (see above)
  std::string value;  // what it holds, as comparable text
};

struct MachineState {
  // By kind, then folded name.
  std::map<std::string, std::map<std::string, std::string>> entries;

  // The value, or null when the machine had no such entry.
  const std::string* Find(const std::string& kind, const std::string& name) const;
};

MachineState CaptureState(SimMachine& machine);

struct StateChange {
  enum What { kAdded, kRemoved, kChanged } what = kChanged;
  std::string kind;
  std::string name;
  std::string before;  // empty when added
  std::string after;   // empty when removed
};

std::vector<StateChange> DiffStates(const MachineState& before, const MachineState& after);
// "removed file C:\APP\A.EXE", with the values when changed (cut for reading).
std::string ChangeText(const StateChange& change);

// The name an entry of the given kind has for a path, key or value as a log writes it on
// this machine: a path's existing components take their long names, everything folded.
std::string StatePath(SimMachine& machine, const std::string& path);
// root: the log's number (0 HKCR .. 4 HKCC).
std::string StateKey(int root, const std::string& key);
std::string StateValue(int root, const std::string& key, const std::string& name);
// An INI file as the profile calls find it (a bare name lies in the Windows directory),
// and one of its entries.
std::string StateIniFile(SimMachine& machine, const std::string& file);
std::string StateIniEntry(SimMachine& machine, const std::string& file, const std::string& section,
                          const std::string& key);
std::string StateIcon(const std::string& group, const std::string& title);
// Bytes as lower-case hexadecimal digits, as a file's value shows its contents.
std::string StateHex(const std::string& bytes);
// The folded form of a name (ASCII letters upper-cased).
std::string StateFold(const std::string& text);
