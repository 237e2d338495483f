// The run parameters the uninstall passes share.
#include "uninstall/pass_gates.h"

#include "base/run_state.h"
#include "log/item_store.h"

uint16_t MinimumSection() {
  return (gRun.rollbackChosen && gRun.uninstallMode != kModeCustom) ? gStore.sectionCount : 1;
}

PassGates CurrentGates() {
  PassGates g;
  g.automatic = gRun.uninstallMode == kModeAutomatic;
  g.custom = gRun.uninstallMode == kModeCustom;
  g.rollback = gRun.rollbackChosen && !g.custom;
  g.minSection = MinimumSection();
  return g;
}
