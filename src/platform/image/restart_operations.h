// The restart-time file operations as Windows keeps them, read back: the NT family's
// PendingFileRenameOperations value and the [rename] section of WININIT.INI. The simulated
// machine carries them out at its simulated restart; tarnlog reads the real machine's to
// tell a file that waits for the restart from one left behind.
#pragma once

#include <string>
#include <vector>

struct RestartOperation {
  std::string source;
  std::string target;  // empty: the source is deleted
  bool replace;        // the target is replaced when it exists
};

// The pairs of a PendingFileRenameOperations value (REG_MULTI_SZ data): "\??\source" and
// "\??\target" ("!" before a target that is replaced; empty: delete), up to the first
// empty source.
std::vector<RestartOperation> PendingRenamesOf(const std::string& data);

// The entries of the [rename] sections of a WININIT.INI text, in file order: "NUL=path"
// deletes, "target=source" moves (replacing the target). Blanks around names are not part
// of them; section names and NUL are told apart from other text without regard to case.
std::vector<RestartOperation> WininitRenamesOf(const std::string& text);
