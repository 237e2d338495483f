// The wizard's pages as numbers: which page follows which, what each page shows, the entry
// texts of the ten category pages and where their selections are kept. The dialog
// procedure only applies what these calls decide to its controls.
//
// Pages: 0 the method (Automatic, Custom, Repair), 1 to 10 the categories of logged
// changes, 11 the final page, 12 the rollback question.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kPageMethod = 0;
constexpr int kFirstCategoryPage = 1;
constexpr int kLastCategoryPage = 10;
constexpr int kPageFinal = 11;
constexpr int kPageRollback = 12;

constexpr size_t kPageTitleSize = 256;
constexpr size_t kPageTextSize = 1024;
// An entry of a category page; longer texts are cut at a character boundary.
constexpr size_t kEntryTextSize = 1024;

// Moves gRun.wizardPage one step forward (next) or back. The Custom method walks the
// category pages that have entries; Automatic and Repair go between the method page, the
// rollback question (Automatic with backups only) and the final page.
void StepWizardPage(bool next);

// True when the category page has at least one entry.
bool CategoryHasEntries(int page);

// Entries of a category page (0 for any other page).
int32_t CategoryEntryCount(int page);

// The text of an entry, cut to fit size bytes. Page 10 lists the database-engine
// sub-system (when the log names one), then the programs, then the services.
void CategoryEntryText(int page, int32_t index, char* text, size_t size);

// The selection of an entry, kept in its record (the sub-system's in the store).
bool CategoryEntrySelected(int page, int32_t index);
void SetCategoryEntrySelected(int page, int32_t index, bool selected);

// What a page shows: the dialog sets its controls from this and nothing else.
struct PageLayout {
  char title[kPageTitleSize];
  char text[kPageTextSize];        // the description (control 1002)
  char secondText[kPageTextSize];  // control 1004, when shown
  int nextCaption;                 // text id of Next: "&Next >" or "&Finish"
  bool categoryPage;               // list box with Select All and Select None
  bool choicePage;                 // the two radio buttons and the second text
  int firstChoiceCaption;          // "&Automatic" or "&Yes"
  int secondChoiceCaption;         // "&Custom" or "N&o"
  bool repairChoice;               // the third radio button, "&Repair"
  int checkedChoice;               // control id of the checked radio button, 0 for none
  bool secondTextShown;
  bool backEnabled;
  bool nextAndBackHidden;  // the final page of an automatic run serves as progress display
};

// Describes the page in gRun.wizardPage as the run stands.
void DescribePage(PageLayout* layout);

// Read-back of the choice pages: the method from the checked radio buttons, and whether
// the rollback question was answered Yes.
void ReadBackMethod(bool automaticChecked, bool repairChecked);
void ReadBackRollback(bool yesChecked);
