// The repair's path prompt (dialog 107): the request for the installation program the
// repair looks for, and a field for its path. What the request says and what the path must
// match is the repair's business; this file only shows the texts and hands back what was
// typed.
#pragma once

#include <cstdint>

// Shows dialog 107 modally over ownerHwnd (an HWND, or null). path (size bytes) is the
// field's first text and receives the field's text on OK. Returns 1 for OK, 2 for Cancel
// (also Escape and the system menu's Close), -1 when the dialog could not be made.
int ShowPromptDialog(void* ownerHwnd, const char* request, char* path, uint32_t size);
