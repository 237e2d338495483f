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

// Reads "Text Font", "Font Character Set" and "Font Character Size" from section
// "Settings" of the settings file into gRun (fontFace, fontCharSet, fontPoints). A size of
// 0 falls back to 8 points and sizes are kept between 6 and 10: the templates' one-line
// texts are 8 dialog units high, and a larger font no longer fits them. A face of more than
// 31 characters names no font and is ignored.
void ReadDialogFontSettings(const char* settingsFile);
