// The rules that decide what the passes do with a logged file, shared by the driver and
// tarnlog's plan and verify: one table per kind of run over the records that matter.
#include "uninstall/pass_gates.h"

#include <gtest/gtest.h>

#include "log/item_store.h"

namespace {

// A file record: the sections that logged it, the last that brought a backup copy (as the
// loader keeps it: the first section when none did) and whether there is one.
struct Record {
  const char* name;
  uint16_t first, last, backup;
  bool copy, removeByDefault, selected, system;
};

// What the rules answer for it.
struct Answers {
  bool prepared, earlierKeeps, goesForGood, removed, restores;
};

FileItem Make(const Record& r) {
  FileItem item;
  item.path.Set("C:\\APP\\F.DLL");
  if (r.copy) item.backupPath.Set("C:\\BACKUP\\F.DLL");
  item.firstSection = r.first;
  item.lastSection = r.last;
  item.backupSection = r.backup;
  item.removeByDefault = r.removeByDefault;
  item.selected = r.selected;
  return item;
}

void Check(const PassGates& g, const Record& r, const Answers& a) {
  FileItem item = Make(r);
  SCOPED_TRACE(r.name);
  EXPECT_EQ(PreparationTakesFile(g, item, r.system), a.prepared);
  EXPECT_EQ(EarlierInstallationKeepsFile(g, item), a.earlierKeeps);
  EXPECT_EQ(FileGoesForGood(g, item), a.goesForGood);
  EXPECT_EQ(RemovalTakesFile(g, item, r.system), a.removed);
  EXPECT_EQ(RestoresBackup(g, item), a.restores);
}

TEST(FileRules, AutomaticUninstall) {
  const PassGates g{true, false, false, 1};
  const struct {
    Record r;
    Answers a;
  } rows[] = {
      // name                        first last backup copy default selected system
      {{"private, replaced nothing", 1, 1, 1, false, true, false, false},
       {true, false, true, true, false}},
      {{"private, kept a backup", 1, 1, 1, true, false, false, false},
       {false, false, true, false, false}},
      {{"private, of two sections", 1, 2, 1, false, true, false, false},
       {true, false, true, true, false}},
      {{"system, not chosen", 1, 1, 1, false, false, false, true},
       {true, false, true, false, false}},
      {{"system, chosen", 1, 1, 1, false, false, true, true}, {true, false, true, true, false}},
  };
  for (const auto& row : rows) Check(g, row.r, row.a);
}

TEST(FileRules, CustomUninstallTakesWhatWasSelected) {
  const PassGates g{false, true, false, 1};
  const struct {
    Record r;
    Answers a;
  } rows[] = {
      {{"private, selected", 1, 1, 1, true, false, true, false}, {true, false, true, true, false}},
      {{"private, left out", 1, 1, 1, false, true, false, false},
       {false, false, true, false, false}},
      {{"system, left out", 1, 1, 1, false, false, false, true},
       {true, false, true, false, false}},
  };
  for (const auto& row : rows) Check(g, row.r, row.a);
}

// The rollback of section 2: what section 2 brought goes, what it replaced comes back, what
// section 1 logged stays.
TEST(FileRules, RollbackOfTheLastSection) {
  const PassGates g{true, false, true, 2};
  const struct {
    Record r;
    Answers a;
  } rows[] = {
      {{"brought by the last", 2, 2, 2, false, true, false, false},
       {true, false, true, true, false}},
      {{"replaced, backup of the last", 1, 2, 2, true, false, false, false},
       {true, false, false, true, true}},
      {{"replaced, backup of an earlier", 1, 2, 1, true, false, false, false},
       {true, true, false, false, false}},
      {{"logged by both, no backup", 1, 2, 1, false, true, false, false},
       {true, true, false, true, false}},
      {{"only the earlier", 1, 1, 1, false, true, false, false}, {false, true, true, false, false}},
      {{"system, backup of the last", 1, 2, 2, true, false, false, true},
       {true, false, false, true, true}},
  };
  for (const auto& row : rows) Check(g, row.r, row.a);
}

}  // namespace
