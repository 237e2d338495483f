// The scripted user and the windows of the simulated machine. Every question is written to
// the transcript; answers come from the queue a test filled, and a question nobody scripted
// gets the answer that changes least (Cancel, No, no file) and is counted, so a test can
// insist that the run asked nothing it did not expect.
#include <cstring>

#include "platform/sim/sim_machine.h"

// The answer that does least to the machine: Cancel, No or Abort where the buttons offer
// them, no file, the question closed without a choice.
int SimUi::UnscriptedAnswer(SimQuestion::Kind kind, uint32_t buttons) {
  switch (kind) {
    case SimQuestion::kOpenLog: return 1;  // no file chosen
    case SimQuestion::kSharedFile:         // closed without a choice
    case SimQuestion::kInstallationPath: return kIdCancel;
    case SimQuestion::kMessage: break;
  }
  switch (buttons & 0xF) {
    case kMbOkCancel:
    case kMbYesNoCancel:
      return kIdCancel;
    case kMbYesNo:
      return kIdNo;
    case kMbAbortRetryIgnore:
      return kIdAbort;
    default:
      return kIdOk;
  }
}

bool SimUi::TakeAnswer(SimQuestion::Kind kind, SimAnswer* answer) {
  if (answers.empty() || answers.front().kind != kind) {
    unscriptedQuestions++;
    return false;
  }
  *answer = answers.front();
  answers.pop_front();
  return true;
}

int SimUi::AskMessage(WindowHandle owner, const char* text, const char* caption, uint32_t type) {
  SimQuestion question;
  question.kind = SimQuestion::kMessage;
  question.text = text != nullptr ? text : "";
  question.caption = caption != nullptr ? caption : "";
  question.buttons = type;
  SimAnswer answer;
  question.scripted = TakeAnswer(SimQuestion::kMessage, &answer);
  question.answer = question.scripted ? answer.id : UnscriptedAnswer(question.kind, type);
  transcript.push_back(question);
  return question.answer;
}

int SimUi::AskOpenLog(WindowHandle owner, const char* filterText, char* path, uint32_t size) {
  SimQuestion question;
  question.kind = SimQuestion::kOpenLog;
  question.text = filterText != nullptr ? filterText : "";
  SimAnswer answer;
  question.scripted = TakeAnswer(SimQuestion::kOpenLog, &answer);
  int result = UnscriptedAnswer(question.kind, 0);
  if (question.scripted && answer.id == 0 && answer.path.size() + 1 <= size) {
    memcpy(path, answer.path.c_str(), answer.path.size() + 1);
    result = 0;
  }
  question.answer = result;
  transcript.push_back(question);
  return result;
}

int SimUi::AskSharedFile(WindowHandle owner, const char* text, const char* caption) {
  SimQuestion question;
  question.kind = SimQuestion::kSharedFile;
  question.text = text != nullptr ? text : "";
  question.caption = caption != nullptr ? caption : "";
  question.animationTimerMs = animationTimerMs;
  SimAnswer answer;
  question.scripted = TakeAnswer(SimQuestion::kSharedFile, &answer);
  question.answer = question.scripted ? answer.id : UnscriptedAnswer(question.kind, 0);
  transcript.push_back(question);
  return question.answer;
}

int SimUi::AskInstallationPath(WindowHandle owner, const char* request, char* path,
                               uint32_t size) {
  SimQuestion question;
  question.kind = SimQuestion::kInstallationPath;
  question.text = request != nullptr ? request : "";
  question.caption = path != nullptr ? path : "";
  SimAnswer answer;
  question.scripted = TakeAnswer(SimQuestion::kInstallationPath, &answer);
  int result = UnscriptedAnswer(question.kind, 0);
  if (question.scripted && answer.id == kIdOk && path != nullptr && answer.path.size() < size) {
    memcpy(path, answer.path.c_str(), answer.path.size() + 1);
    result = kIdOk;
  }
  question.answer = result;
  transcript.push_back(question);
  return result;
}

int SimUi::RegisterMainClass() { return mainClassRegisters ? 0 : 1; }

WindowHandle SimUi::CreateMainWindow(const char* caption, bool show) {
  WindowHandle handle = nextWindow_++;
  SimWindow window;
  window.kind = SimWindow::kMain;
  window.caption = caption != nullptr ? caption : "";
  window.visible = show;
  windows[handle] = window;
  return handle;
}

WindowHandle SimUi::CreateProgressWindow() {
  if (!progressWindowEnabled) return 0;
  WindowHandle handle = nextWindow_++;
  SimWindow window;
  window.kind = SimWindow::kProgress;
  window.visible = true;
  windows[handle] = window;
  return handle;
}

void SimUi::RedrawLoadBar(WindowHandle progressWindow) {
  auto it = windows.find(progressWindow);
  if (it != windows.end() && !it->second.destroyed) loadBarRedraws++;
}

void SimUi::SetCaption(WindowHandle window, const char* text) {
  auto it = windows.find(window);
  if (it != windows.end() && !it->second.destroyed) it->second.caption = text != nullptr ? text : "";
}

bool SimUi::IsVisible(WindowHandle window) {
  auto it = windows.find(window);
  return it != windows.end() && !it->second.destroyed && it->second.visible;
}

void SimUi::Enable(WindowHandle window, bool enable) {
  auto it = windows.find(window);
  if (it != windows.end() && !it->second.destroyed) it->second.enabled = enable;
}

void SimUi::Destroy(WindowHandle window) {
  auto it = windows.find(window);
  if (it != windows.end()) {
    it->second.destroyed = true;
    it->second.visible = false;
  }
}

void SimUi::WaitCursor(bool on) { waitCursor = on; }

void SimUi::PumpMessages(int ms) {
  pumpWaits.push_back(ms);
  if (pumpHook) pumpHook(ms);
}

void SimUi::PumpUntilQuit() { quitPumps++; }

bool SimUi::HasWizard() { return wizardPresent; }

// Like the real timer, it belongs to the wizard window: without one there is none.
void SimUi::SetAnimationTimer(int periodMs) {
  if (wizardPresent) animationTimerMs = periodMs > 0 ? periodMs : 0;
}

void SimUi::SetActionText(const char* text) {
  if (!wizardPresent) return;
  std::string line = text != nullptr ? text : "";
  if (line == actionText) return;
  actionText = line;
  actionLines.push_back(line);
}

void SimUi::InvalidateProgressBar() {
  if (wizardPresent) progressBarInvalidations++;
}

int SimUi::ActionControlWidth() { return wizardPresent ? actionControlWidth : 0; }

int SimUi::MeasureActionText(const char* text) {
  if (!wizardPresent || text == nullptr) return 0;
  return 6 * static_cast<int>(strlen(text));
}
