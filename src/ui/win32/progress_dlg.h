// The initializing window (dialog 112, procedure ProgressDlg): a text, a bar that grows
// with the part of the install log read so far, and a Cancel button that stops the run
// before the wizard.
#pragma once

#include <windows.h>

// Creates the window modeless and shows it; null when it cannot.
HWND CreateInitializingDialog();
