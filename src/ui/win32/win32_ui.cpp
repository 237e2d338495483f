// Win32Ui: message boxes, the install log's open-file dialog, the main window and its
// procedure, and the message pumps that keep the one user-interface thread responsive.
//
// A hidden main window is only made when something needs a real window: a box or dialog it
// owns, or showing it. Until then its handle stands for it, its caption and state are kept,
// waits use a thread timer and its destruction posts the quit message itself. The first
// window of a session makes the system start the desktop and wait until that is idle (under
// Wine the desktop process: up to ten seconds), and the user32 calls that load the display
// driver (cursors, icons, the stock brush of the class) do the same; a silent run that shows
// nothing must not pay for that, nor fail for want of a display.
#include "ui/win32/win32_ui.h"

#include "base/text.h"
#include "platform/win32/system_library.h"
#include "ui/win32/dialog_common.h"
#include "ui/win32/gradient_paint.h"
#include "ui/win32/item_dlg.h"
#include "ui/win32/progress_dlg.h"
#include "ui/win32/prompt_dlg.h"
#include "ui/win32/shared_dlg.h"

#include <windows.h>
#include <commdlg.h>

#include <cstring>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

constexpr char kMainClassName[] = "KTMBUninstall";
constexpr UINT_PTR kWaitTimerId = 8298;
constexpr WORD kMainIconId = 101;
constexpr size_t kCaptionSize = 256;

// The main window as the program sees it. Its handle is the address of this record, which no
// window handle can equal; `window` is the real window once made.
struct MainWindowState {
  bool exists = false;  // created and not yet destroyed, real or not
  HWND window = nullptr;
  bool enabled = true;
  char caption[kCaptionSize] = {};
};
MainWindowState gMain;
bool gMainClassRegistered = false;  // once per process, whichever main window comes first

// The main window once made; the pump's timer is set on it.
HWND gMainWindow = nullptr;
// Set by a wait before its timer starts; the main window (or the thread timer) clears it.
volatile LONG gWaitFlag = 0;
// The thread timer of a wait while there is no real main window.
UINT_PTR gThreadTimer = 0;

WindowHandle MainHandle() { return reinterpret_cast<WindowHandle>(&gMain); }
bool IsMain(WindowHandle window) { return window != 0 && window == MainHandle(); }

// The real window behind a handle: the main window's stays null until it is made.
HWND AsWindow(WindowHandle window) {
  if (IsMain(window)) return gMain.window;
  return reinterpret_cast<HWND>(window);
}

// The modeless dialogs get their keyboard handling (Tab, Enter, Escape, mnemonics) first.
bool IsDialogKey(MSG* message) {
  HWND wizard = WizardWindow();
  return wizard != nullptr && IsDialogMessageA(wizard, message);
}

// Dispatches everything that is queued now; false once the quit message was taken (it is
// posted again so that the outer loop still sees it).
bool DispatchPending() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    // A thread timer's tick has no window to go to: it ends the wait here.
    if (message.message == WM_TIMER && message.hwnd == nullptr && gThreadTimer != 0 &&
        message.wParam == gThreadTimer) {
      gWaitFlag = 0;
      continue;
    }
    if (IsDialogKey(&message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}

void CopyCaption(const char* caption) {
  // A long caption is cut on a whole character: the background paints it as it is.
  CopyText(gMain.caption, kCaptionSize, caption != nullptr ? caption : "");
}

bool RegisterMainClassNow() {
  if (gMainClassRegistered) return true;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kMainIconId));
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = kMainClassName;
  gMainClassRegistered = RegisterClassA(&windowClass) != 0;
  return gMainClassRegistered;
}

// Makes the real main window with the caption and state kept so far; false when it cannot
// be made (the caller then goes on without an owner, as with no main window at all).
bool MakeMainWindow(bool show) {
  if (gMain.window != nullptr) return true;
  if (!gMain.exists || !RegisterMainClassNow()) return false;
  HWND window = CreateWindowExA(0, kMainClassName, gMain.caption,
                                WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX, 0, 0,
                                640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return false;
  gMain.window = window;
  gMainWindow = window;
  if (!gMain.enabled) EnableWindow(window, FALSE);
  if (show) ShowWindow(window, SW_SHOWMAXIMIZED);
  UpdateWindow(window);
  return true;
}

// The owner a box or dialog gets: the main window is made for it when it was kept back.
HWND OwnerWindow(WindowHandle owner) {
  if (IsMain(owner)) MakeMainWindow(false);
  return AsWindow(owner);
}

}  // namespace

// The main window is a backdrop: it never holds controls, and its background (when shown)
// is painted in full by WM_PAINT, so erasing first would only flicker.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (gMainWindow == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_PAINT:
      PaintGradient(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_TIMER:
      gWaitFlag = 0;
      return 0;
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED:
      return 0;
    case WM_DESTROY:
      gMainWindow = nullptr;
      gMain.window = nullptr;
      gMain.exists = false;
      // The end of the run: the dialogs that shared the fonts are gone.
      DeleteDialogFonts();
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

int Win32Ui::AskMessage(WindowHandle owner, const char* text, const char* caption,
                        uint32_t type) {
  return MessageBoxA(OwnerWindow(owner), text, caption, type);
}

// The filter is one pair, "display text" and "install.log", ended by an extra zero.
int Win32Ui::AskOpenLog(WindowHandle owner, const char* filterText, char* path, uint32_t size) {
  constexpr char kPattern[] = "install.log";
  char filter[512];
  size_t textLength = strnlen(filterText, sizeof filter - sizeof kPattern - 2);
  memcpy(filter, filterText, textLength);
  filter[textLength] = '\0';
  memcpy(filter + textLength + 1, kPattern, sizeof kPattern);
  filter[textLength + 1 + sizeof kPattern] = '\0';

  OPENFILENAMEA request;
  memset(&request, 0, sizeof request);
  request.lStructSize = sizeof request;
  request.hwndOwner = OwnerWindow(owner);
  request.lpstrFilter = filter;
  request.nFilterIndex = 1;
  request.lpstrFile = path;
  request.nMaxFile = size;
  request.Flags = OFN_FILEMUSTEXIST;
  // The dialog's library is loaded only for the dialog: it loads the common controls, and
  // their start-up loads the display driver, which would start the desktop in every run.
  HMODULE library = LoadFromSystemDirectory("COMDLG32.DLL");
  if (library == nullptr) return 1;
  using OpenFileNameEntry = BOOL(WINAPI*)(OPENFILENAMEA*);
  OpenFileNameEntry entry =
      reinterpret_cast<OpenFileNameEntry>(GetProcAddress(library, "GetOpenFileNameA"));
  int result = entry != nullptr && entry(&request) ? 0 : 1;
  FreeLibrary(library);
  return result;
}

int Win32Ui::AskSharedFile(WindowHandle owner, const char* text, const char* caption) {
  int answer = ShowSharedDialog(OwnerWindow(owner), text, caption);
  // A dialog that could not be shown answers as a closed one: the file stays.
  return answer < 0 ? kIdCancel : answer;
}

int Win32Ui::AskInstallationPath(WindowHandle owner, const char* request, char* path,
                                 uint32_t size) {
  int answer = ShowPromptDialog(OwnerWindow(owner), request, path, size);
  // A prompt that could not be shown is a cancelled one: the repair stops asking.
  return answer == IDOK ? kIdOk : kIdCancel;
}

// The class goes with the window: registering it loads the icon, the cursor and the brush,
// which is what starts the desktop.
int Win32Ui::RegisterMainClass() { return 0; }

WindowHandle Win32Ui::CreateMainWindow(const char* caption, bool show) {
  gMain = MainWindowState();
  gMain.exists = true;
  CopyCaption(caption);
  if (show && !MakeMainWindow(true)) {
    gMain.exists = false;
    return 0;
  }
  return MainHandle();
}

WindowHandle Win32Ui::CreateProgressWindow() {
  return reinterpret_cast<WindowHandle>(CreateInitializingDialog());
}

void Win32Ui::RedrawLoadBar(WindowHandle progressWindow) {
  if (progressWindow == 0) return;
  RedrawLoadBarIfMoved(AsWindow(progressWindow));
}

void Win32Ui::SetCaption(WindowHandle window, const char* text) {
  if (IsMain(window)) CopyCaption(text);
  HWND real = AsWindow(window);
  if (real != nullptr) SetWindowTextA(real, text);
}

bool Win32Ui::IsVisible(WindowHandle window) {
  HWND real = AsWindow(window);
  return real != nullptr && IsWindowVisible(real) != FALSE;
}

void Win32Ui::Enable(WindowHandle window, bool enable) {
  if (IsMain(window)) gMain.enabled = enable;
  HWND real = AsWindow(window);
  if (real != nullptr) EnableWindow(real, enable ? TRUE : FALSE);
}

// Destroying the main window posts the quit message that PumpUntilQuit waits for; one that
// was never made posts it here.
void Win32Ui::Destroy(WindowHandle window) {
  if (IsMain(window) && gMain.window == nullptr) {
    if (!gMain.exists) return;
    gMain.exists = false;
    DeleteDialogFonts();
    PostQuitMessage(0);
    return;
  }
  HWND real = AsWindow(window);
  if (real != nullptr) DestroyWindow(real);
}

// The cursor only shows over a window of this thread: with no window made there is nothing
// to set (and loading the cursor would start the desktop).
void Win32Ui::WaitCursor(bool on) {
  if (on) {
    waitCursorSet_ = gMain.window != nullptr;
    if (!waitCursorSet_) return;
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
    previousCursor_ = reinterpret_cast<uintptr_t>(previous);
  } else {
    if (waitCursorSet_) SetCursor(reinterpret_cast<HCURSOR>(previousCursor_));
    waitCursorSet_ = false;
    previousCursor_ = 0;
  }
}

// A wait of ms milliseconds keeps dispatching: the timer message that ends it arrives
// through the same queue as the clicks and repaints that must not be held up meanwhile.
void Win32Ui::PumpMessages(int ms) {
  if (ms <= 0 || !gMain.exists) {
    DispatchPending();
    return;
  }
  gWaitFlag = 1;
  // Without a real main window the tick comes as a thread timer: the same wait, no window.
  HWND timerWindow = gMainWindow;
  UINT_PTR timer = SetTimer(timerWindow, timerWindow != nullptr ? kWaitTimerId : 0,
                            static_cast<UINT>(ms), nullptr);
  if (timer == 0) {
    // Without a timer nothing would ever clear the flag.
    gWaitFlag = 0;
    DispatchPending();
    return;
  }
  if (timerWindow == nullptr) gThreadTimer = timer;
  for (;;) {
    if (!DispatchPending()) break;
    if (gWaitFlag == 0 || !gMain.exists) break;
    WaitMessage();
  }
  if (timerWindow == nullptr) {
    KillTimer(nullptr, timer);
    gThreadTimer = 0;
  } else if (gMainWindow != nullptr) {
    KillTimer(gMainWindow, kWaitTimerId);
  }
  gWaitFlag = 0;
}

void Win32Ui::PumpUntilQuit() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogKey(&message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

WindowHandle Win32Ui::CreateWizard(WindowHandle owner) {
  return reinterpret_cast<WindowHandle>(CreateWizardDialog(AsWindow(owner), gMain.caption));
}
void Win32Ui::EnterProgressMode(const char* heading) { EnterWizardProgressMode(heading); }
void Win32Ui::WaitForMessage() { WaitMessage(); }
void Win32Ui::SetAnimationTimer(int periodMs) { SetWizardAnimationTimer(periodMs); }
void Win32Ui::FocusWindow(WindowHandle window) {
  HWND real = AsWindow(window);
  if (real != nullptr) SetFocus(real);
}

bool Win32Ui::HasWizard() { return WizardWindow() != nullptr; }
void Win32Ui::SetActionText(const char* text) { SetWizardAction(text); }
void Win32Ui::InvalidateProgressBar() { InvalidateWizardBar(); }
int Win32Ui::ActionControlWidth() { return WizardActionWidth(); }
int Win32Ui::MeasureActionText(const char* text) { return MeasureWizardAction(text); }
