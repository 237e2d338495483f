// The arithmetic of the dialogs' font scaling: every dialog and every control is made one
// sixth wider (its left and right edges each move by a sixth of their own coordinate),
// and the configured text font's height follows the display's pixels per inch.
#pragma once

#include <cstdint>

// An edge coordinate widened by a sixth: x + x / 6, truncated toward zero.
int WidenedEdge(int x);

// The font height (negative: a character height) for a size in points on a display with
// the given pixels per logical inch, as the system's MulDiv rounds it.
int FontHeightForPoints(int points, int pixelsPerInch);

// The dialog font of the settings file, read at start-up.
struct DialogFontSettings {
  char face[32];    // empty: the dialog template's face
  uint8_t charSet;  // "Font Character Set"
  uint8_t points;   // "Font Character Size", kept where dialogs stay readable
};

// Reads "Text Font", "Font Character Set" and "Font Character Size" from section
// "Settings" of the settings file. A size of 0 falls back to 8 points and sizes are kept
// between 6 and 14: the dialogs grow by only a sixth, so a larger font would not fit them.
DialogFontSettings ReadDialogFontSettings(const char* settingsFile);
