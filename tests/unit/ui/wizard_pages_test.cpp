// The wizard's page logic on the simulated machine: the step function over every mix of
// empty and filled lists in each method, page descriptions for the switches, the entry
// texts of odd records, and the read-back of selections through the page-10 mapping.
#include "ui/wizard_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/run_state.h"
#include "log/item_store.h"
#include "resource.h"
#include "run/run_reset.h"
#include "support/sim_fixture.h"

namespace {

class WizardPagesTest : public SimFixture {
 protected:
  // Gives category page `page` one entry.
  void Fill(int page) {
    switch (page) {
      case 1: AppendItem(gStore.PrivateFiles, NewItem<FileItem>()); break;
      case 2: AppendItem(gStore.SystemFiles, NewItem<FileItem>()); break;
      case 3: AppendItem(gStore.Directories, NewItem<DirItem>()); break;
      case 4: AppendItem(gStore.IniFiles, NewItem<IniFileItem>()); break;
      case 5: AppendItem(gStore.IniEdits, NewItem<IniEditItem>()); break;
      case 6: AppendItem(gStore.RegKeys, NewItem<RegKeyItem>()); break;
      case 7: AppendItem(gStore.RegTrees, NewItem<RegTreeItem>()); break;
      case 8: AppendItem(gStore.RegEdits, NewItem<RegEditItem>()); break;
      case 9: AppendItem(gStore.Icons, NewItem<IconItem>()); break;
      default: AppendItem(gStore.Services, NewItem<ServiceItem>()); break;
    }
  }
  std::vector<int> Walk(bool next, int from) {
    std::vector<int> pages;
    gRun.wizardPage = static_cast<uint8_t>(from);
    for (int guard = 0; guard < 20; ++guard) {
      StepWizardPage(next);
      pages.push_back(gRun.wizardPage);
      if (gRun.wizardPage == (next ? kPageFinal : kPageMethod)) break;
    }
    return pages;
  }
  std::string Entry(int page, int32_t index) {
    char text[kEntryTextSize];
    CategoryEntryText(page, index, text, sizeof text);
    return text;
  }
};

// Custom: Next visits exactly the filled category pages in order and then the final page;
// Back visits them in reverse and ends on the method page, for every mix of lists.
TEST_F(WizardPagesTest, CustomWalksTheFilledPagesOfEveryMix) {
  for (int mask = 0; mask < (1 << 10); ++mask) {
    ResetRunWideState();
    gRun.uninstallMode = kModeCustom;
    std::vector<int> forward;
    for (int page = 1; page <= 10; ++page) {
      if (mask & (1 << (page - 1))) {
        Fill(page);
        forward.push_back(page);
      }
    }
    std::vector<int> backward(forward.rbegin(), forward.rend());
    forward.push_back(kPageFinal);
    backward.push_back(kPageMethod);
    ASSERT_EQ(Walk(true, kPageMethod), forward) << "mask " << mask;
    ASSERT_EQ(Walk(false, kPageFinal), backward) << "mask " << mask;
  }
  // Back on the method page stays there.
  gRun.wizardPage = kPageMethod;
  StepWizardPage(false);
  EXPECT_EQ(gRun.wizardPage, kPageMethod);
}

// Page 10 shows with only the sub-system named, with no program or service.
TEST_F(WizardPagesTest, SubSystemAloneShowsPageTen) {
  gRun.uninstallMode = kModeCustom;
  gStore.subSystemName = ArenaCopy("B");
  EXPECT_EQ(Walk(true, kPageMethod), (std::vector<int>{10, kPageFinal}));
}

// Automatic and Repair skip the categories; only Automatic with backups asks about the
// rollback.
TEST_F(WizardPagesTest, AutomaticAndRepairGoStraightToTheEnd) {
  Fill(1);
  struct Case {
    int mode;
    bool rollbackAvailable;
    std::vector<int> forward, backward;
  } cases[] = {
      {kModeAutomatic, true, {kPageRollback, kPageFinal}, {kPageRollback, kPageMethod}},
      {kModeAutomatic, false, {kPageFinal}, {kPageMethod}},
      {kModeRepair, true, {kPageFinal}, {kPageMethod}},
  };
  for (const Case& c : cases) {
    gRun.uninstallMode = c.mode;
    gRun.rollbackAvailable = c.rollbackAvailable;
    EXPECT_EQ(Walk(true, kPageMethod), c.forward) << c.mode << c.rollbackAvailable;
    EXPECT_EQ(Walk(false, kPageFinal), c.backward) << c.mode << c.rollbackAvailable;
  }
}

TEST_F(WizardPagesTest, PagesDescribeTheirControlsForTheSwitches) {
  gRun.appTitle.Set("Bramble %s & Notes");
  PageLayout page;

  gRun.wizardPage = kPageMethod;
  gRun.repairAvailable = true;
  DescribePage(&page);
  EXPECT_TRUE(page.choicePage && page.repairChoice && !page.backEnabled);
  EXPECT_EQ(page.checkedChoice, IDC_RADIO_FIRST);  // no method chosen yet
  EXPECT_EQ(page.nextCaption, IDS_NEXT);
  EXPECT_STREQ(page.title, "Select Uninstall Method");
  // The title is put in once; its own "%s" and "&" stay text.
  EXPECT_EQ(std::string(page.text).find("Welcome to the Bramble %s & Notes uninstall"), 0u);

  gRun.wizardPage = kPageRollback;
  gRun.rollbackChosen = true;  // /R presets Yes
  DescribePage(&page);
  EXPECT_EQ(page.checkedChoice, IDC_RADIO_FIRST);
  EXPECT_FALSE(page.repairChoice);
  gRun.launchShortcut = 1;  // after the damage check nothing is preset
  DescribePage(&page);
  EXPECT_EQ(page.checkedChoice, 0);

  gRun.wizardPage = kPageFinal;
  gRun.uninstallMode = kModeRepair;
  gRun.startAtFinish = true;  // /U
  DescribePage(&page);
  EXPECT_STREQ(page.title, "Perform Repair");
  EXPECT_FALSE(page.backEnabled);
  EXPECT_EQ(page.nextCaption, IDS_FINISH);
  gRun.automatic = true;  // /A: the final page is the progress display
  gRun.uninstallMode = kModeAutomatic;
  DescribePage(&page);
  EXPECT_TRUE(page.nextAndBackHidden);
  EXPECT_STREQ(page.title, "Perform Uninstall");

  gRun.wizardPage = 10;
  DescribePage(&page);
  EXPECT_TRUE(page.categoryPage);
  EXPECT_STREQ(page.title, "Select Sub-Systems to Remove");
}

TEST_F(WizardPagesTest, EntryTextsOfEachCategory) {
  DirItem* dir = NewItem<DirItem>();
  dir->path.Set("C:\\APP\\DATA\\");
  AppendItem(gStore.Directories, dir);
  IniEditItem* ini = NewItem<IniEditItem>();
  ini->file.Set("C:\\WINDOWS\\WIN.INI");
  ini->sectionName.Set("Ext");
  ini->key.Set("bnt");
  ini->firstOldValue.Set("old");
  AppendItem(gStore.IniEdits, ini);
  RegKeyItem* key = NewItem<RegKeyItem>();
  key->key.Set("Software\\A");
  AppendItem(gStore.RegKeys, key);
  RegKeyItem* named = NewItem<RegKeyItem>();
  named->key.Set("Software\\A");
  named->valueName.Set("V");
  AppendItem(gStore.RegKeys, named);
  RegEditItem* edit = NewItem<RegEditItem>();
  edit->key.Set("Software\\B");
  edit->valueName.Set("Color");
  memcpy(edit->firstOldData, "red\0blue\0", 10);
  AppendItem(gStore.RegEdits, edit);

  EXPECT_EQ(Entry(3, 0), "C:\\APP\\DATA");
  EXPECT_EQ(Entry(5, 0), "C:\\WINDOWS\\WIN.INI: [Ext] bnt=old");
  EXPECT_EQ(Entry(6, 0), "Software\\A");
  EXPECT_EQ(Entry(6, 1), "Software\\A Value Name: V");
  EXPECT_EQ(Entry(8, 0), "Software\\B Value Name: Color=red");  // the first string only
  EXPECT_EQ(Entry(8, 5), "");                                   // outside the list
}

// Page 10 concatenates the sub-system, the programs and the services; its indexes map
// back to each source, and long or double-byte texts are cut whole.
TEST_F(WizardPagesTest, PageTenMapsEntriesBackToTheirSources) {
  LoadImage(R"({"platform": {"ansiCodePage": 932}})");
  gStore.subSystemName = ArenaCopy("Database Engine");
  ProgramItem* named = NewItem<ProgramItem>();
  named->command.Set("C:\\APP\\CLEAN.EXE");
  named->displayName.Set("Clean-up");
  AppendItem(gStore.Programs, named);
  ProgramItem* bare = NewItem<ProgramItem>();
  bare->command.Set("C:\\APP\\TOOL.EXE /x");
  AppendItem(gStore.Programs, bare);
  ServiceItem* service = NewItem<ServiceItem>();
  service->name.Set("BrambleSync");
  AppendItem(gStore.Services, service);

  EXPECT_EQ(CategoryEntryCount(10), 4);
  EXPECT_EQ(Entry(10, 0), "Database Engine");
  EXPECT_EQ(Entry(10, 1), "Clean-up");
  EXPECT_EQ(Entry(10, 2), "C:\\APP\\TOOL.EXE /x");
  EXPECT_EQ(Entry(10, 3), "BrambleSync");
  SetCategoryEntrySelected(10, 0, true);
  SetCategoryEntrySelected(10, 2, true);
  SetCategoryEntrySelected(10, 3, true);
  SetCategoryEntrySelected(10, 4, true);  // outside: ignored
  EXPECT_EQ(gStore.subSystemSelected, 1);
  EXPECT_EQ(named->selected, 0);
  EXPECT_EQ(bare->selected, 1);
  EXPECT_EQ(service->selected, 1);
  EXPECT_TRUE(CategoryEntrySelected(10, 3));

  // A path of double-byte characters cut to a small buffer never splits a character.
  FileItem* file = NewItem<FileItem>();
  std::string wide(258, '\x82');  // lead bytes; each pairs with the next byte
  file->path.Set(wide.c_str());
  AppendItem(gStore.PrivateFiles, file);
  char text[8];
  CategoryEntryText(1, 0, text, sizeof text);
  EXPECT_EQ(std::string(text).size(), 6u);
}

TEST_F(WizardPagesTest, ReadBackOfTheChoices) {
  ReadBackMethod(false, true);
  EXPECT_EQ(gRun.uninstallMode, kModeRepair);
  ReadBackMethod(false, false);
  EXPECT_EQ(gRun.uninstallMode, kModeCustom);
  ReadBackMethod(true, false);
  EXPECT_EQ(gRun.uninstallMode, kModeAutomatic);
  ReadBackRollback(false);
  EXPECT_FALSE(gRun.rollbackChosen);
}

}  // namespace
