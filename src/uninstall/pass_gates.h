// Which records a pass of the uninstall touches. Every pass reads the same run parameters,
// fixed when the run starts; the tools that plan a run or check what one left behind read
// them through the same calls, so that they cannot drift from the driver.
#pragma once

#include <cstdint>

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
