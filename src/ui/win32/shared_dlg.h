// The four-button shared-file question (dialog 104): Yes, No, Yes to All and No to All.
// It also asks the repair's newer-file question, with another caption.
#pragma once

// Shows dialog 104 modally over ownerHwnd (an HWND, or null) with the question text and
// the caption. Returns the id of the command that ended it: 1005 Yes, 1006 No, 1007 Yes
// to All, 1 No to All (the default button, so Enter), 2 when closed with Escape or the
// system menu; -1 when the dialog could not be created.
int ShowSharedDialog(void* ownerHwnd, const char* text, const char* caption);
