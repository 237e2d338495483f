// The dialog procedure of the shared-file question. The decision what an answer means is
// the caller's; this file only shows the texts and reports which button ended it.
#include "ui/win32/shared_dlg.h"

#include <windows.h>

#include "run/message_text.h"

namespace {

constexpr int kSharedDialogId = 104;
constexpr int kQuestionControl = 1002;
constexpr int kYesButton = 1005;
constexpr int kNoButton = 1006;
constexpr int kYesToAllButton = 1007;
constexpr int kNoToAllButton = IDOK;

struct SharedDialogTexts {
  const char* text;
  const char* caption;
};

void SetButtonText(HWND dialog, int control, int textId) {
  char text[64];
  MessageText(textId, text, sizeof text);
  SetDlgItemTextA(dialog, control, text);
}

// Places the dialog in the middle of the screen, whatever its owner.
void CentreOnScreen(HWND dialog) {
  RECT rect;
  if (!GetWindowRect(dialog, &rect)) return;
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK SharedDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      // The dialog font's scaling is added with the other dialogs' font handling.
      const SharedDialogTexts* texts = reinterpret_cast<const SharedDialogTexts*>(lParam);
      if (texts != nullptr) {
        SetDlgItemTextA(dialog, kQuestionControl, texts->text != nullptr ? texts->text : "");
        SetWindowTextA(dialog, texts->caption != nullptr ? texts->caption : "");
      }
      SetButtonText(dialog, kYesButton, 51);
      SetButtonText(dialog, kNoButton, 52);
      SetButtonText(dialog, kYesToAllButton, 69);
      SetButtonText(dialog, kNoToAllButton, 53);
      CentreOnScreen(dialog);
      // Enter must answer No to All, the safe answer: the focus goes to the default button,
      // not to the first button in tab order (Yes).
      SetFocus(GetDlgItem(dialog, kNoToAllButton));
      return FALSE;
    }
    case WM_COMMAND:
      // Every command is an answer, Escape (IDCANCEL) and the system menu's Close too.
      EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    default: return FALSE;
  }
}

}  // namespace

int ShowSharedDialog(void* ownerHwnd, const char* text, const char* caption) {
  SharedDialogTexts texts = {text, caption};
  INT_PTR result =
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kSharedDialogId),
                      static_cast<HWND>(ownerHwnd), SharedDlg, reinterpret_cast<LPARAM>(&texts));
  return static_cast<int>(result);
}
