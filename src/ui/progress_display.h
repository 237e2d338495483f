// The progress display that the uninstall and repair drivers share: the wizard's progress
// mode with its heading, the action line (a label and an item, the item shortened to fit
// the action control), message pumping between items, and running a program to its end.
#pragma once

#include "base/message_pump.h"

#include <cstddef>

// How the item of an action line is put after its label.
enum class ActionForm {
  kPlain,   // as it is
  kFitted,  // a path, shortened with "..." to fit the action control
  kCapped,  // a registry key: over 48 characters it is cut to 45 and "..."
};

// The item of a capped action line, which a buffer of this size always holds.
constexpr size_t kCappedItemSize = 49;

// Writes item into out (size bytes) as a capped action line shows it: over 48 bytes it is
// cut to its first 45, on a whole character, and "..." follows.
void CapActionItem(const char* item, char* out, size_t size);

// Puts the wizard into progress mode: the heading is the message text headingId with the
// application's title, the action line starts empty, and progressMode is set.
void StartProgressDisplay(int headingId);

// Shows label + item as the action line when the display will show it; otherwise only
// keeps the bar and the messages going. The line is built in gRun.actionText.
void ShowLabelledAction(const char* label, const char* item, ActionForm form);

// True when an action line given now would be put on the screen. The line changes with
// every item, far faster than anyone can read, and is shown at most every
// kActionLineIntervalMs; in between the driver spares itself building and fitting a line
// nobody would see. Without the wizard every line counts.
bool ActionLineDue();
constexpr unsigned kActionLineIntervalMs = 120;

// Forgets when the last line was shown and the queue looked at (the start of a run).
void ResetProgressDisplay();

// Shows "\r\n\r\n" + text in the action control (when a text is given and the wizard
// exists), redraws the progress bar, then pumps messages.
void ShowAction(const char* text);


// Asks the four-button question whose text is in gRun.actionText over the wizard (the
// shared-file question, or the repair's newer-file question while repairMode is set) and
// returns the button's id. The animation is paused while the question is open in progress
// mode, and the wizard has the keyboard focus again afterwards.
int AskFourButtonQuestion();

// The wizard's Cancel button: asks whether to cancel (text 59) over the wizard, with its
// animation paused in the progress display. Yes sets gRun.cancelled; returns it.
bool ConfirmCancel();

// Shortens the path line of text (the part after its first line break) with "..." until it
// fits the action control; text is a buffer of size bytes.
void FitPathToControl(char* text, size_t size);

// Runs "\"program\" arguments" and waits for it to end; nothing when it cannot start.
void RunAndWait(const char* program, const char* arguments);
