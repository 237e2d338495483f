// Win32Ui: message boxes, the install log's open-file dialog, the main window and its
// procedure, and the message pumps that keep the one user-interface thread responsive.
#include "ui/win32/win32_ui.h"

#include "ui/win32/shared_dlg.h"

#include <windows.h>
#include <commdlg.h>

#include <cstring>

namespace {

constexpr char kMainClassName[] = "KTMBUninstall";
constexpr UINT_PTR kWaitTimerId = 8298;
constexpr WORD kMainIconId = 101;

// The main window, once created; the pump's timer is set on it.
HWND gMainWindow = nullptr;
// Set by a wait before its timer starts; the main window clears it when the timer fires.
volatile LONG gWaitFlag = 0;

HWND AsWindow(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// Dispatches everything that is queued now; false once the quit message was taken (it is
// posted again so that the outer loop still sees it).
bool DispatchPending() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}

}  // namespace

// The main window is a backdrop: it never holds controls, and its background (when shown)
// is painted in full by WM_PAINT, so erasing first would only flicker.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (gMainWindow == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_PAINT: {
      // The gradient is drawn by the display work still to come; until then the update
      // region is only validated so that WM_PAINT is not sent again and again.
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
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
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

int Win32Ui::AskMessage(WindowHandle owner, const char* text, const char* caption,
                        uint32_t type) {
  return MessageBoxA(AsWindow(owner), text, caption, type);
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
  request.hwndOwner = AsWindow(owner);
  request.lpstrFilter = filter;
  request.nFilterIndex = 1;
  request.lpstrFile = path;
  request.nMaxFile = size;
  request.Flags = OFN_FILEMUSTEXIST;
  return GetOpenFileNameA(&request) ? 0 : 1;
}

// The four-button question is dialog 104, which arrives with the dialogs work; until then
// every shared file is answered as if the dialog had been closed.
int Win32Ui::AskSharedFile(WindowHandle owner, const char* text, const char* caption) {
  int answer = ShowSharedDialog(reinterpret_cast<void*>(owner), text, caption);
  // A dialog that could not be shown answers as a closed one: the file stays.
  return answer < 0 ? kIdCancel : answer;
}

int Win32Ui::RegisterMainClass() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kMainIconId));
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = kMainClassName;
  return RegisterClassA(&windowClass) != 0 ? 1 : 0;
}

WindowHandle Win32Ui::CreateMainWindow(const char* caption, bool show) {
  HWND window = CreateWindowExA(0, kMainClassName, caption,
                                WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX, 0, 0,
                                640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return 0;
  gMainWindow = window;
  if (show) ShowWindow(window, SW_SHOWMAXIMIZED);
  UpdateWindow(window);
  return reinterpret_cast<WindowHandle>(window);
}

// The initializing window (dialog 112) comes with the dialogs work.
WindowHandle Win32Ui::CreateProgressWindow() { return 0; }

void Win32Ui::RedrawLoadBar(WindowHandle progressWindow) {
  if (progressWindow == 0) return;
  RedrawWindow(AsWindow(progressWindow), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void Win32Ui::SetCaption(WindowHandle window, const char* text) {
  if (window != 0) SetWindowTextA(AsWindow(window), text);
}

bool Win32Ui::IsVisible(WindowHandle window) {
  return window != 0 && IsWindowVisible(AsWindow(window)) != FALSE;
}

void Win32Ui::Enable(WindowHandle window, bool enable) {
  if (window != 0) EnableWindow(AsWindow(window), enable ? TRUE : FALSE);
}

void Win32Ui::Destroy(WindowHandle window) {
  if (window != 0) DestroyWindow(AsWindow(window));
}

void Win32Ui::WaitCursor(bool on) {
  if (on) {
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
    previousCursor_ = reinterpret_cast<uintptr_t>(previous);
  } else {
    SetCursor(reinterpret_cast<HCURSOR>(previousCursor_));
    previousCursor_ = 0;
  }
}

// A wait of ms milliseconds keeps dispatching: the timer message that ends it arrives
// through the same queue as the clicks and repaints that must not be held up meanwhile.
// Milliseconds between two looks at the queue when only queued messages are wanted.
constexpr DWORD kLookInterval = 20;

void Win32Ui::PumpMessages(int ms) {
  if (ms <= 0 || gMainWindow == nullptr) {
    // The drivers ask between every two items. A look at the queue is a round trip to the
    // window system, dearer than many removals; looking at most every 20 ms still answers
    // Cancel, painting and the animation at once to a person.
    static DWORD lastLook = 0;
    DWORD now = GetTickCount();
    if (ms <= 0 && now - lastLook < kLookInterval) return;
    lastLook = now;
    DispatchPending();
    return;
  }
  gWaitFlag = 1;
  if (SetTimer(gMainWindow, kWaitTimerId, static_cast<UINT>(ms), nullptr) == 0) {
    // Without a timer nothing would ever clear the flag.
    gWaitFlag = 0;
    DispatchPending();
    return;
  }
  for (;;) {
    if (!DispatchPending()) break;
    if (gWaitFlag == 0 || gMainWindow == nullptr) break;
    WaitMessage();
  }
  if (gMainWindow != nullptr) KillTimer(gMainWindow, kWaitTimerId);
  gWaitFlag = 0;
}

void Win32Ui::PumpUntilQuit() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Without the wizard window there is no progress display to update or measure.
bool Win32Ui::HasWizard() { return false; }
void Win32Ui::SetActionText(const char* text) {}
void Win32Ui::InvalidateProgressBar() {}
int Win32Ui::ActionControlWidth() { return 0; }
int Win32Ui::MeasureActionText(const char* text) { return 0; }
