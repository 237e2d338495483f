// The progress display of the drivers: the wizard's progress mode, the action line shown
// in its control 1007, message pumping between items so that Cancel stays alive, the
// shortening of a long path with "..." so that it fits that control, and running a logged
// program to its end.
#include "ui/progress_display.h"

#include <cstdio>
#include <cstring>

#include "base/message_text.h"
#include "base/path_helpers.h"
#include "base/run_state.h"
#include "base/text.h"
#include "platform/platform.h"
#include "resource.h"
#include "ui/progress_geometry.h"

namespace {

// When the last action line was put on the screen.
bool gLineShown = false;
uint32_t gLineShownAt = 0;

// An appended key longer than this is cut to kCapKeep characters and "...".
constexpr size_t kCapLimit = 48;
constexpr size_t kCapKeep = 45;

// The path line is copied into a buffer of this size (255 characters at most).
constexpr size_t kFitCopySize = 256;

// One shortening step of the copy; returns false when it cannot get any shorter.
bool ShortenOnce(char* copy, size_t anchor) {
  size_t length = strlen(copy);
  // A copy cut below the anchor has nothing left to replace but its end.
  if (anchor > length) anchor = length;
  char* start = copy + anchor;
  // Step over the "..." put in by an earlier step, so that the next component is taken.
  if (*start == '.') {
    char* slash = FindChar(start, '\\');
    start = (slash != nullptr) ? slash + 1 : copy + length;
  }
  char* end = FindChar(start, '\\');
  bool lastComponent = (end == nullptr);
  if (!lastComponent && static_cast<size_t>(end - (copy + anchor)) > 3) {
    // Replace anchor..end by "..." and close the gap.
    char* spanStart = copy + anchor;
    memcpy(spanStart, "...", 3);
    memmove(spanStart + 3, end, strlen(end) + 1);
    return true;
  }
  // Replace the last four characters by "..."; below four there is nothing left to gain.
  if (length < 4) return false;
  size_t cut = BoundaryAtOrBefore(copy, length - 4);
  memcpy(copy + cut, "...", 4);  // with the terminator
  return true;
}

}  // namespace


int AskFourButtonQuestion() {
  UserInterface& ui = Ui();
  char caption[256];
  MessageText(gRun.repairMode ? IDS_NEWER_FILE_CAPTION : IDS_SHARED_CAPTION, caption,
              sizeof caption);
  // The question's own message loop goes on dispatching the wizard's timer: the animation
  // would tell the user that the work goes on while it waits for the answer.
  bool animated = gRun.progressMode;
  if (animated) ui.SetAnimationTimer(0);
  int answer = ui.AskSharedFile(gRun.wizardWindow, gRun.actionText, caption);
  if (animated) ui.SetAnimationTimer(kAnimationPeriodMs);
  // The question had the keyboard; with the focus back in the wizard, Escape reaches its
  // Cancel again.
  if (gRun.wizardWindow != 0) ui.FocusWindow(gRun.wizardWindow);
  return answer;
}

bool ActionLineDue() {
  if (!Ui().HasWizard()) return true;
  return !gLineShown || Sys().TickCount() - gLineShownAt >= kActionLineIntervalMs;
}

void ResetProgressDisplay() {
  gLineShown = false;
  gLineShownAt = 0;
  ResetMessagePump();
}

bool ConfirmCancel() {
  UserInterface& ui = Ui();
  bool animated = gRun.progressMode;
  if (animated) ui.SetAnimationTimer(0);
  char text[512];
  char caption[256];
  MessageText(IDS_CANCEL_QUESTION, text, sizeof text);
  MessageText(IDS_UNINSTALL_CAPTION, caption, sizeof caption);
  if (ui.AskMessage(gRun.wizardWindow, text, caption, kMbYesNo) == kIdYes) gRun.cancelled = true;
  // A cancelled run's window is hidden and its work stops: nothing left to animate.
  if (animated && !gRun.cancelled) ui.SetAnimationTimer(kAnimationPeriodMs);
  return gRun.cancelled;
}

void ShowAction(const char* text) {
  UserInterface& ui = Ui();
  if (ui.HasWizard()) {
    if (text != nullptr) {
      // The two line breaks put the action below the heading line of the control.
      // A text that fills the line is cut on a whole character.
      char line[kActionTextSize];
      CopyText(line, sizeof line, "\r\n\r\n");
      AppendText(line, sizeof line, text);
      ui.SetActionText(line);
      gLineShown = true;
      gLineShownAt = Sys().TickCount();
    }
    ui.InvalidateProgressBar();
  }
  // Only what is queued is dispatched: a timed wait here would be raised to the system's
  // 10 ms timer resolution for every item, many times the cost of the removals themselves,
  // while the queued messages alone keep Cancel, painting and the animation alive. Between
  // items a look may also be spared when the back-end looked a moment ago.
  if (QueueLookDue()) PumpMessages(0);
}

void FitPathToControl(char* text, size_t size) {
  if (text == nullptr || size == 0) return;
  UserInterface& ui = Ui();
  // Without the wizard there is nothing to fit the text to.
  if (!ui.HasWizard()) return;
  int width = ui.ActionControlWidth();
  if (width <= 0) return;

  // The path line starts after the first line break and every CR or LF that follows it.
  char* pathLine = text;
  while (*pathLine != '\0' && *pathLine != '\r' && *pathLine != '\n') ++pathLine;
  if (*pathLine == '\0') {
    pathLine = text;
  } else {
    while (*pathLine == '\r' || *pathLine == '\n') ++pathLine;
  }
  if (ui.MeasureActionText(pathLine) < width) return;

  char copy[kFitCopySize];
  size_t copyLength = BoundaryAtOrBefore(pathLine, kFitCopySize - 1);
  memcpy(copy, pathLine, copyLength);
  copy[copyLength] = '\0';

  // The drive ("C:\") stays: shortening starts just after the first backslash.
  const char* firstSlash = FindChar(copy, '\\');
  size_t anchor = (firstSlash != nullptr) ? static_cast<size_t>(firstSlash + 1 - copy) : 0;

  while (ui.MeasureActionText(copy) >= width) {
    if (!ShortenOnce(copy, anchor)) break;  // the control is too narrow even for "..."
  }

  // The copy is never longer than the path line it replaces, so it fits where that was.
  size_t room = size - static_cast<size_t>(pathLine - text);
  CopyText(pathLine, room, copy);
}

void CapActionItem(const char* item, char* out, size_t size) {
  static_assert(kCappedItemSize > kCapLimit, "a capped item fits its buffer");
  if (strlen(item) <= kCapLimit) {
    CopyText(out, size, item);
    return;
  }
  // In a double-byte code page byte 45 may be the second half of a character; the cut
  // goes before that character, so the line never shows half of one.
  char capped[kCappedItemSize];
  size_t keep = BoundaryAtOrBefore(item, kCapKeep);
  memcpy(capped, item, keep);
  memcpy(capped + keep, "...", 4);
  CopyText(out, size, capped);
}

void StartProgressDisplay(int headingId) {
  char heading[1024];
  MessageTextWithTitle(headingId, heading, sizeof heading);
  Ui().EnterProgressMode(heading);
  ShowAction(nullptr);
  gRun.progressMode = true;
}

void ShowLabelledAction(const char* label, const char* item, ActionForm form) {
  // Between two lines the display puts up, the bar and the messages still go on.
  if (!ActionLineDue()) {
    ShowAction(nullptr);
    return;
  }
  char* line = gRun.actionText;
  CopyText(line, kActionTextSize, label);
  if (form == ActionForm::kCapped) {
    char capped[kCappedItemSize];
    CapActionItem(item, capped, sizeof capped);
    AppendText(line, kActionTextSize, capped);
  } else {
    AppendText(line, kActionTextSize, item);
  }
  if (form == ActionForm::kFitted) FitPathToControl(line, kActionTextSize);
  ShowAction(line);
}

void RunAndWait(const char* program, const char* arguments) {
  char commandLine[1024];
  if (BuildCommandLine(commandLine, sizeof commandLine, program, arguments)) {
    Sys().StartProcess(commandLine, nullptr, true);
  }
}
