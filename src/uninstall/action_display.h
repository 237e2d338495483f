// The progress display of the drivers: the action line, message pumping with the
// one-second wait, shortening a path to fit the action control, and running a program to
// its end.
#pragma once

#include <cstddef>

// Shows "\r\n\r\n" + text in the action control (when a text is given and the wizard
// exists), redraws the progress bar, then pumps messages.
void ShowAction(const char* text);

// Dispatches pending messages; with ms above 0 waits about ms milliseconds doing so.
void PumpMessages(int ms);

// Shortens the path line of text (the part after its first line break) with "..." until it
// fits the action control; text is a buffer of size bytes.
void FitPathToControl(char* text, size_t size);

// Runs "\"program\" arguments" and waits for it to end; nothing when it cannot start.
void RunAndWait(const char* program, const char* arguments);
