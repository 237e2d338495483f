// Win32Ui: the user-interface back-end over the real windowing API: message boxes, the
// open-file dialog for the install log, the main window (class "KTMBUninstall", the owner
// of every dialog and the target of the one-second timer, with its gradient), the
// initializing window, the wizard and its progress display, and the message pumps, which
// hand the dialogs their keyboard messages first.
#pragma once

#include "platform/platform.h"

class Win32Ui : public UserInterface {
 public:
  int AskMessage(WindowHandle owner, const char* text, const char* caption,
                 uint32_t type) override;
  int AskOpenLog(WindowHandle owner, const char* filterText, char* path, uint32_t size) override;
  int AskSharedFile(WindowHandle owner, const char* text, const char* caption) override;
  int AskInstallationPath(WindowHandle owner, const char* request, char* path,
                          uint32_t size) override;

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

  WindowHandle CreateWizard(WindowHandle owner) override;
  void EnterProgressMode(const char* heading) override;
  void WaitForMessage() override;
  void SetAnimationTimer(int periodMs) override;
  void FocusWindow(WindowHandle window) override;

  bool HasWizard() override;
  void SetActionText(const char* text) override;
  void InvalidateProgressBar() override;
  int ActionControlWidth() override;
  int MeasureActionText(const char* text) override;

 private:
  uintptr_t previousCursor_ = 0;  // the cursor WaitCursor(false) puts back
  bool waitCursorSet_ = false;    // WaitCursor(true) set the wait cursor
};
