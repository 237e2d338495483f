// The wizard's page logic: the step function over the page number and the counts of the
// item lists, the page descriptions, and the category entries with their selections.
#include "ui/wizard_pages.h"

#include <cstring>
#include <initializer_list>

#include "base/message_text.h"
#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "resource.h"

namespace {

struct CategoryTexts {
  int title;
  int description;
};

// Indexed by page; page 10 is the one whose title id is the higher of its pair.
constexpr CategoryTexts kCategoryTexts[kLastCategoryPage + 1] = {
    {0, 0},
    {IDS_PRIVATE_FILES_TITLE, IDS_PRIVATE_FILES_TEXT},
    {IDS_SYSTEM_FILES_TITLE, IDS_SYSTEM_FILES_TEXT},
    {IDS_DIRECTORIES_TITLE, IDS_DIRECTORIES_TEXT},
    {IDS_INI_FILES_TITLE, IDS_INI_FILES_TEXT},
    {IDS_INI_EDITS_TITLE, IDS_INI_EDITS_TEXT},
    {IDS_REG_KEYS_TITLE, IDS_REG_KEYS_TEXT},
    {IDS_REG_TREES_TITLE, IDS_REG_TREES_TEXT},
    {IDS_REG_EDITS_TITLE, IDS_REG_EDITS_TEXT},
    {IDS_ICONS_TITLE, IDS_ICONS_TEXT},
    {IDS_SUB_SYSTEMS_TITLE, IDS_SUB_SYSTEMS_TEXT},
};

bool IsCategory(int page) { return page >= kFirstCategoryPage && page <= kLastCategoryPage; }

bool HasSubSystem() { return gStore.subSystemName != nullptr; }

// Page 10's entries come from three sources in this order.
enum class Source { kNone, kSubSystem, kProgram, kService };

Source SubSystemPageSource(int32_t index, int32_t* within) {
  if (index < 0) return Source::kNone;
  if (HasSubSystem()) {
    if (index == 0) return Source::kSubSystem;
    --index;
  }
  if (index < gStore.Programs.count) {
    *within = index;
    return Source::kProgram;
  }
  index -= gStore.Programs.count;
  if (index < gStore.Services.count) {
    *within = index;
    return Source::kService;
  }
  return Source::kNone;
}

// The selected flag of an entry's record, or null for an index outside the page.
int32_t* SelectionOf(int page, int32_t index) {
  if (index < 0 || index >= CategoryEntryCount(page)) return nullptr;
  switch (page) {
    case 1: return &gStore.PrivateFiles[index]->selected;
    case 2: return &gStore.SystemFiles[index]->selected;
    case 3: return &gStore.Directories[index]->selected;
    case 4: return &gStore.IniFiles[index]->selected;
    case 5: return &gStore.IniEdits[index]->selected;
    case 6: return &gStore.RegKeys[index]->selected;
    case 7: return &gStore.RegTrees[index]->selected;
    case 8: return &gStore.RegEdits[index]->selected;
    case 9: return &gStore.Icons[index]->selected;
    case 10: {
      int32_t within = 0;
      switch (SubSystemPageSource(index, &within)) {
        case Source::kSubSystem: return &gStore.subSystemSelected;
        case Source::kProgram: return &gStore.Programs[within]->selected;
        case Source::kService: return &gStore.Services[within]->selected;
        case Source::kNone: return nullptr;
      }
      return nullptr;
    }
    default: return nullptr;
  }
}

// Joins parts into text, cutting the whole at a character boundary so that a double-byte
// character is never split by the cut.
void Join(char* text, size_t size, std::initializer_list<const char*> parts) {
  if (size == 0) return;
  char joined[4096];
  joined[0] = '\0';
  for (const char* part : parts) AppendText(joined, sizeof joined, part);
  size_t keep = BoundaryAtOrBefore(joined, size - 1);
  memcpy(text, joined, keep);
  text[keep] = '\0';
}

}  // namespace

bool CategoryHasEntries(int page) { return CategoryEntryCount(page) > 0; }

int32_t CategoryEntryCount(int page) {
  switch (page) {
    case 1: return gStore.PrivateFiles.count;
    case 2: return gStore.SystemFiles.count;
    case 3: return gStore.Directories.count;
    case 4: return gStore.IniFiles.count;
    case 5: return gStore.IniEdits.count;
    case 6: return gStore.RegKeys.count;
    case 7: return gStore.RegTrees.count;
    case 8: return gStore.RegEdits.count;
    case 9: return gStore.Icons.count;
    case 10: return gStore.Programs.count + gStore.Services.count + (HasSubSystem() ? 1 : 0);
    default: return 0;
  }
}

void CategoryEntryText(int page, int32_t index, char* text, size_t size) {
  if (size == 0) return;
  text[0] = '\0';
  if (index < 0 || index >= CategoryEntryCount(page)) return;
  switch (page) {
    case 1: Join(text, size, {gStore.PrivateFiles[index]->path.c_str()}); return;
    case 2: Join(text, size, {gStore.SystemFiles[index]->path.c_str()}); return;
    case 3: {
      // Directories are logged with a trailing backslash, which the list leaves out.
      char path[sizeof gStore.Directories[index]->path.text];
      CopyText(path, sizeof path, gStore.Directories[index]->path.c_str());
      DropTrailingBackslash(path);
      Join(text, size, {path});
      return;
    }
    case 4: Join(text, size, {gStore.IniFiles[index]->path.c_str()}); return;
    case 5: {
      const IniEditItem* item = gStore.IniEdits[index];
      Join(text, size,
           {item->file.c_str(), ": [", item->sectionName.c_str(), "] ", item->key.c_str(), "=",
            item->firstOldValue.c_str()});
      return;
    }
    case 6: {
      const RegKeyItem* item = gStore.RegKeys[index];
      if (item->valueName.Empty()) {
        Join(text, size, {item->key.c_str()});
      } else {
        Join(text, size, {item->key.c_str(), " Value Name: ", item->valueName.c_str()});
      }
      return;
    }
    case 7: Join(text, size, {gStore.RegTrees[index]->key.c_str()}); return;
    case 8: {
      const RegEditItem* item = gStore.RegEdits[index];
      // The first string of the old data, cut to 255 characters.
      char old[256];
      size_t keep = BoundaryAtOrBefore(item->firstOldData, sizeof old - 1);
      memcpy(old, item->firstOldData, keep);
      old[keep] = '\0';
      if (item->valueName.Empty()) {
        Join(text, size, {item->key.c_str(), "=", old});
      } else {
        Join(text, size, {item->key.c_str(), " Value Name: ", item->valueName.c_str(), "=", old});
      }
      return;
    }
    case 9: Join(text, size, {gStore.Icons[index]->title.c_str()}); return;
    case 10: {
      int32_t within = 0;
      switch (SubSystemPageSource(index, &within)) {
        case Source::kSubSystem: Join(text, size, {gStore.subSystemName}); return;
        case Source::kProgram: {
          const ProgramItem* item = gStore.Programs[within];
          Join(text, size,
               {item->displayName.Empty() ? item->command.c_str() : item->displayName.c_str()});
          return;
        }
        case Source::kService: Join(text, size, {gStore.Services[within]->name.c_str()}); return;
        case Source::kNone: return;
      }
      return;
    }
    default: return;
  }
}

bool CategoryEntrySelected(int page, int32_t index) {
  const int32_t* selected = SelectionOf(page, index);
  return selected != nullptr && *selected != 0;
}

void SetCategoryEntrySelected(int page, int32_t index, bool selected) {
  int32_t* flag = SelectionOf(page, index);
  if (flag != nullptr) *flag = selected ? 1 : 0;
}

void StepWizardPage(bool next) {
  int page = gRun.wizardPage;
  int mode = gRun.uninstallMode;
  if (mode == kModeAutomatic || mode == kModeRepair) {
    bool rollbackQuestion = gRun.rollbackAvailable && mode == kModeAutomatic;
    if (next) {
      if (page == kPageFinal || page == kPageRollback) {
        page = kPageFinal;
      } else {
        page = rollbackQuestion ? kPageRollback : kPageFinal;
      }
    } else {
      if (page == kPageMethod || page == kPageRollback) {
        page = kPageMethod;
      } else {
        page = rollbackQuestion ? kPageRollback : kPageMethod;
      }
    }
    gRun.wizardPage = static_cast<uint8_t>(page);
    return;
  }
  // Custom: walk to the next page in the direction that has something to show.
  for (;;) {
    if (!next && page == kPageMethod) break;
    page += next ? 1 : -1;
    if (page == kPageMethod) break;
    if (page > kLastCategoryPage) {
      page = kPageFinal;
      break;
    }
    if (IsCategory(page) && CategoryHasEntries(page)) break;
  }
  gRun.wizardPage = static_cast<uint8_t>(page);
}

void DescribePage(PageLayout* layout) {
  *layout = PageLayout{};
  int page = gRun.wizardPage;
  layout->nextCaption = page == kPageFinal ? IDS_FINISH : IDS_NEXT;
  layout->backEnabled = true;
  if (page == kPageMethod || page == kPageRollback) {
    layout->choicePage = true;
    layout->secondTextShown = true;
    if (page == kPageMethod) {
      layout->firstChoiceCaption = IDS_AUTOMATIC;
      layout->secondChoiceCaption = IDS_CUSTOM;
      layout->repairChoice = gRun.repairAvailable;
      int mode = gRun.uninstallMode;
      layout->checkedChoice = mode == kModeCustom   ? IDC_RADIO_SECOND
                              : mode == kModeRepair ? IDC_RADIO_REPAIR
                                                    : IDC_RADIO_FIRST;
      MessageTextWithTitle(IDS_METHOD_TEXT, layout->text, sizeof layout->text);
      MessageText(IDS_METHOD_SECOND_TEXT, layout->secondText, sizeof layout->secondText);
      MessageText(IDS_METHOD_TITLE, layout->title, sizeof layout->title);
      layout->backEnabled = false;
    } else {
      layout->firstChoiceCaption = IDS_YES;
      layout->secondChoiceCaption = IDS_NO;
      // After the damage check the user must answer the question for themselves.
      if (gRun.launchShortcut == 0) {
        layout->checkedChoice = gRun.rollbackChosen ? IDC_RADIO_FIRST : IDC_RADIO_SECOND;
      }
      MessageText(IDS_ROLLBACK_TEXT, layout->text, sizeof layout->text);
      MessageText(IDS_ROLLBACK_SECOND_TEXT, layout->secondText, sizeof layout->secondText);
      MessageText(IDS_ROLLBACK_TITLE, layout->title, sizeof layout->title);
    }
    return;
  }
  if (page == kPageFinal) {
    layout->secondTextShown = true;
    bool repair = gRun.uninstallMode == kModeRepair;
    MessageTextWithTitle(repair ? IDS_REPAIR_FINAL_TEXT : IDS_FINAL_TEXT, layout->text,
                         sizeof layout->text);
    MessageText(repair ? IDS_REPAIR_FINAL_SECOND_TEXT : IDS_FINAL_SECOND_TEXT, layout->secondText,
                sizeof layout->secondText);
    MessageText(repair ? IDS_REPAIR_FINAL_TITLE : IDS_FINAL_TITLE, layout->title,
                sizeof layout->title);
    layout->backEnabled = !gRun.startAtFinish;
    layout->nextAndBackHidden = gRun.automatic;
    return;
  }
  if (IsCategory(page)) {
    layout->categoryPage = true;
    MessageText(kCategoryTexts[page].title, layout->title, sizeof layout->title);
    MessageText(kCategoryTexts[page].description, layout->text, sizeof layout->text);
  }
}

void ReadBackMethod(bool automaticChecked, bool repairChecked) {
  gRun.uninstallMode = automaticChecked ? kModeAutomatic
                       : repairChecked  ? kModeRepair
                                        : kModeCustom;
}

void ReadBackRollback(bool yesChecked) { gRun.rollbackChosen = yesChecked; }
