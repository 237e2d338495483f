// ConsoleUi: the user-interface back-end of the console tools. It has no windows: every
// question is printed to stderr and answered with the choice that changes the least, and
// the display and pump operations do nothing. It is portable, so the same tool behaves
// alike natively on the simulated machine and on Windows.
#pragma once

#include "base/fixed_text.h"
#include "platform/platform.h"

class ConsoleUi : public UserInterface {
 public:
  // The text and caption of the last question asked, and how many were asked.
  FixedText<1024> lastMessage;
  FixedText<256> lastCaption;
  int questionsAsked = 0;

  int AskMessage(WindowHandle owner, const char* text, const char* caption, uint32_t type) override;
  int AskOpenLog(WindowHandle owner, const char* filterText, char* path, uint32_t size) override;
  int AskSharedFile(WindowHandle owner, const char* text, const char* caption) override;

  int RegisterMainClass() override;
  WindowHandle CreateMainWindow(const char* caption, bool show) override;
  WindowHandle CreateProgressWindow() override;
  void RedrawLoadBar(WindowHandle progressWindow) override;
  void SetCaption(WindowHandle window, const char* text) override;
  bool IsVisible(WindowHandle window) override;
  void Enable(WindowHandle window, bool enable) override;
  void Destroy(WindowHandle window) override;
  void WaitCursor(bool on) override;
  void PumpMessages(int ms) override;
  void PumpUntilQuit() override;
  bool HasWizard() override;
  void SetActionText(const char* text) override;
  void InvalidateProgressBar() override;
  int ActionControlWidth() override;
  int MeasureActionText(const char* text) override;

 private:
  void Record(const char* text, const char* caption);
};

// The answer a console gives to a message box of the given button set: OK where OK is the
// only choice, otherwise Cancel, No or Abort, whichever the box offers; a tool never
// agrees to a change it was not asked to make.
int ConsoleDefaultAnswer(uint32_t type);
