// The initializing window (dialog 112, procedure ProgressDlg): a text, a bar that grows
// with the part of the install log read so far, and a Cancel button that stops the run
// before the wizard.
#pragma once

#include <windows.h>

// Creates the window modeless and shows it; null when it cannot.
HWND CreateInitializingDialog();

// Paints the bar at once when the part of the log read so far has moved it by a pixel;
// otherwise does nothing, so that it can be called for every line.
void RedrawLoadBarIfMoved(HWND dialog);
