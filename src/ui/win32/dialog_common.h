// What every dialog of the program does when it opens: the configured text font and a
// sixth more width for it (the two fonts are shared by all dialogs of a run), centring on
// the screen, and setting a control's text from the string table.
#pragma once

#include <windows.h>

// Widens the dialog and its controls by a sixth and gives the controls the configured
// text font. Called first in every dialog's WM_INITDIALOG.
void ScaleDialog(HWND dialog);

// The bold variant of the text font (the wizard's page title); null when none was made.
HFONT DialogBoldFont();

// Deletes the two fonts at the end of the run.
void DeleteDialogFonts();

// Places the dialog in the middle of the screen without repainting it.
void CentreOnScreen(HWND dialog);

// Sets a control's text from the string table (or its replacement in the settings file).
void SetControlText(HWND dialog, int control, int textId);

// Shows and enables the control, or hides and disables it.
void ShowControl(HWND dialog, int control, bool show);

// The rectangle of a control in the dialog's client coordinates.
RECT ControlRect(HWND dialog, int control);
