// ConsoleUi: questions on stderr with the answer that changes the least; no windows.
#include "ui/console_ui.h"

#include <cstdio>

int ConsoleDefaultAnswer(uint32_t type) {
  switch (type & 0xF) {
    case kMbOk: return kIdOk;
    case kMbOkCancel: return kIdCancel;
    case kMbAbortRetryIgnore: return kIdAbort;
    case kMbYesNoCancel: return kIdCancel;
    case kMbYesNo: return kIdNo;
    default: return kIdCancel;
  }
}

void ConsoleUi::Record(const char* text, const char* caption) {
  lastMessage.Set(text != nullptr ? text : "");
  lastCaption.Set(caption != nullptr ? caption : "");
  ++questionsAsked;
  fprintf(stderr, "[%s] %s\n", lastCaption.c_str(), lastMessage.c_str());
}

int ConsoleUi::AskMessage(WindowHandle owner, const char* text, const char* caption,
                          uint32_t type) {
  Record(text, caption);
  return ConsoleDefaultAnswer(type);
}

// There is nobody to browse for a log: the dialog counts as cancelled.
int ConsoleUi::AskOpenLog(WindowHandle owner, const char* filterText, char* path, uint32_t size) {
  Record(filterText, "open install log");
  return 1;
}

// The shared-file question is answered as if its dialog were closed, which keeps the file.
int ConsoleUi::AskSharedFile(WindowHandle owner, const char* text, const char* caption) {
  Record(text, caption);
  return kIdCancel;
}

int ConsoleUi::RegisterMainClass() { return 0; }
WindowHandle ConsoleUi::CreateMainWindow(const char* caption, bool show) { return 0; }
WindowHandle ConsoleUi::CreateProgressWindow() { return 0; }
void ConsoleUi::RedrawLoadBar(WindowHandle progressWindow) {}
void ConsoleUi::SetCaption(WindowHandle window, const char* text) {}
bool ConsoleUi::IsVisible(WindowHandle window) { return false; }
void ConsoleUi::Enable(WindowHandle window, bool enable) {}
void ConsoleUi::Destroy(WindowHandle window) {}
void ConsoleUi::WaitCursor(bool on) {}
void ConsoleUi::PumpMessages(int ms) {}
void ConsoleUi::PumpUntilQuit() {}
bool ConsoleUi::HasWizard() { return false; }
void ConsoleUi::SetActionText(const char* text) {}
void ConsoleUi::InvalidateProgressBar() {}
int ConsoleUi::ActionControlWidth() { return 0; }
int ConsoleUi::MeasureActionText(const char* text) { return 0; }
