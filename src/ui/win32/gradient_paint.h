// The main window's background when it is shown: the gradient of the display settings,
// painted band by band over the whole client area.
#pragma once

#include <windows.h>

// Answers WM_PAINT of the main window.
void PaintGradient(HWND window);
