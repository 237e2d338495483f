// The run parameters the uninstall passes share, and the rules that decide on a logged file.
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

bool BackupOfThisSection(const PassGates& g, const FileItem& item) {
  return !item.backupPath.Empty() && item.backupSection == g.minSection;
}

bool PreparationTakesFile(const PassGates& g, const FileItem& item, bool systemFile) {
  if (item.lastSection < g.minSection) return false;
  return systemFile || (g.automatic && (item.removeByDefault != 0 || g.rollback)) ||
         item.selected != 0;
}

bool EarlierInstallationKeepsFile(const PassGates& g, const FileItem& item) {
  return EarlierSectionKeeps(g, item.firstSection) && !BackupOfThisSection(g, item);
}

bool FileGoesForGood(const PassGates& g, const FileItem& item) {
  return !g.rollback || (item.backupSection == item.lastSection && item.backupPath.Empty());
}

bool RemovalTakesFile(const PassGates& g, const FileItem& item, bool systemFile) {
  if (item.path.Empty() || item.lastSection < g.minSection) return false;
  bool rolledBack = g.rollback && BackupOfThisSection(g, item);
  if (systemFile) return item.selected != 0 || rolledBack;
  return (g.automatic && (item.removeByDefault != 0 || rolledBack)) || item.selected != 0;
}

bool RestoresBackup(const PassGates& g, const FileItem& item) {
  return g.rollback && item.backupSection == g.minSection && !item.backupPath.Empty();
}
