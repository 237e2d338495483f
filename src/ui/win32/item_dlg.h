// The wizard window (dialog 106, procedure ItemDlg): the pages of the uninstall wizard and,
// after Finish, the progress display of the drivers. The page logic is portable
// (ui/wizard_pages.h); this file applies it to the controls and paints the header, the
// separator lines, the animation and the block bar.
#pragma once

#include <windows.h>

// Creates the wizard modeless on the page in gRun.wizardPage, with the background window's
// caption; null when it cannot.
HWND CreateWizardDialog(HWND owner, const char* caption);

// The wizard window while it exists, else null.
HWND WizardWindow();

// Switches the wizard into its progress display with the given heading.
void EnterWizardProgressMode(const char* heading);

// Starts the animation timer with the period in milliseconds (again, when it runs), or
// stops it with 0.
void SetWizardAnimationTimer(int periodMs);

// The action line (control 1007), set only when it differs from what is shown.
void SetWizardAction(const char* text);

// Has the block bar drawn again (without erasing) at the next paint.
void InvalidateWizardBar();

// The action control's width, and a text's width in its font, in pixels.
int WizardActionWidth();
int MeasureWizardAction(const char* text);
