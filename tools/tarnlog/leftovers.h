// What an uninstall left on the machine: every item a loaded log names (files, folders, INI
// files and entries, registry values, keys and trees, services, icons) that is still there,
// each with the reason a run leaves it, worked out from the same pass gates the uninstall
// driver uses. `tarnlog verify` runs it after a real run; `tarnlog plan` after the planned
// run on its simulated machine.
#pragma once

#include <string>
#include <vector>

#include "tarnlog/json_writer.h"

// Reasons (the JSON form of docs/tarnlog.md); every one but kUnexplained says why a run
// leaves the item there.
extern const char kReasonShared[];          // SharedDLLs still counts it
extern const char kReasonSharedReleased[];  // its count reached zero and the run kept it
extern const char kReasonPendingDelete[];   // deleted at the next restart
extern const char kReasonPendingReplace[];  // its backup copy goes over it at the next restart
extern const char kReasonNotEmpty[];        // a folder or key that holds something else
extern const char kReasonLink[];            // a link, or below one: never entered
extern const char kReasonProtected[];       // Windows, System, Program Files, a root
extern const char kReasonEarlierSection[];  // a rollback keeps what an earlier section logged
extern const char kReasonBackupRestored[];  // a rollback put the earlier copy back
extern const char kReasonHasBackup[];       // replaced a file with a backup copy: not by default
extern const char kReasonSystemFile[];      // a system file the run leaves in place
extern const char kReasonNotOwned[];        // the log leaves it to the machine
extern const char kReasonRestored[];        // a changed entry put back to its earlier data
extern const char kReasonEditedFile[];      // an edited file: only a rollback puts it back
extern const char kReasonDeletedFile[];     // a file the installation deleted
extern const char kReasonInterrupted[];      // a run of the log stopped before it got there
extern const char kReasonUnexplained[];

struct Leftover {
  std::string kind;    // "file", "system file", "folder", "INI entry", "registry value"...
  std::string item;    // the path, entry or key, as the log names it
  std::string reason;  // one of the kReason... texts
  std::string detail;  // the reason in words, with what was found
  std::string anchor;  // the item as the run's action line shows it (the INI file of an
                       // entry, a key without its root and cut as the line cuts it)
};

// What only the run itself knows, for the plan: files whose SharedDLLs count the run took
// to zero and kept because the question was answered No. Afterwards nothing on the machine
// tells such a file from one the run failed to delete.
struct RunFacts {
  std::vector<std::string> sharedReleasedKept;
};

struct LeftoverReport {
  std::vector<Leftover> items;
  std::vector<std::string> notes;      // what could not be checked, and why
  std::vector<std::string> unchecked;  // the kinds of item not (or not all) checked
  int unexplained = 0;
  bool interrupted = false;  // a run of the log stopped part-way and left its journal
};

// Checks the installed machine against the loaded log (gStore, and gRun as start-up and the
// load left it, with uninstallMode and rollbackChosen of the run). Reads only.
void FindLeftovers(const RunFacts& facts, LeftoverReport* report);

// The members of one leftover, inside an open JSON object: "kind", "item", "reason",
// "detail".
void WriteLeftoverMembers(JsonWriter& w, const Leftover& leftover);
// One leftover as readable text (UTF-8), two lines: the item, then the reason indented.
std::string LeftoverText(const Leftover& leftover, const char* indent);

// ANSI (code page 1252) to UTF-8, for a terminal.
std::string Utf8(const std::string& ansi);
