// Which records a pass of the uninstall touches, and what it does with a logged file. Every
// pass reads the same run parameters, fixed when the run starts, and decides with the rules
// below; the tools that plan a run or check what one left behind (tarnlog plan and verify)
// call the same rules, so that they cannot drift from the driver.
#pragma once

#include <cstdint>

struct FileItem;

struct PassGates {
  bool automatic;
  bool custom;
  bool rollback;        // only the last section is undone
  uint16_t minSection;  // the lowest section a pass touches
};

// The lowest section a pass touches: the last section in a rollback, 1 otherwise.
uint16_t MinimumSection();

// The gates of a run as gRun and gStore stand now (a Custom run never rolls back).
PassGates CurrentGates();

// True when the user's choice lets the record through: every record in an automatic run,
// only the selected ones otherwise.
inline bool SelectionPasses(const PassGates& g, int32_t selected) {
  return g.automatic || selected != 0;
}

// True when a rollback must leave the record as the earlier installations left it: an
// earlier section logged it too, so the last section did not bring it.
inline bool EarlierSectionKeeps(const PassGates& g, uint16_t firstSection) {
  return g.rollback && firstSection < g.minSection;
}

// --- Files ------------------------------------------------------------------------------
// A file's record remembers the sections that logged it, the section whose backup copy it
// keeps, and whether the loader marked it for an automatic uninstall (removeByDefault).

// True when the file's backup copy is the last section's, which a rollback puts back.
bool BackupOfThisSection(const PassGates& g, const FileItem& item);

// True when the preparation pass weighs the file (its shared count, its registrations,
// its device lines): every system file, and a private file the run removes or rolls back.
bool PreparationTakesFile(const PassGates& g, const FileItem& item, bool systemFile);

// True when a rollback leaves the file as an earlier installation put it there: that
// installation logged it too and the last one kept no older copy to put back.
bool EarlierInstallationKeepsFile(const PassGates& g, const FileItem& item);

// True when the file goes for good, so that its registrations and device lines are undone:
// always in an uninstall; in a rollback only when no older copy comes back.
bool FileGoesForGood(const PassGates& g, const FileItem& item);

// True when the removal pass removes the file (or replaces it by its backup copy), once the
// preparation has let it through: a private file an automatic run removes by default or
// rolls back, a system file only when chosen or rolled back; anything the user selected.
bool RemovalTakesFile(const PassGates& g, const FileItem& item, bool systemFile);

// True when removing the file puts its backup copy back in its place.
bool RestoresBackup(const PassGates& g, const FileItem& item);
