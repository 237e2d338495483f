// The dialog procedure of the shared-file question. The decision what an answer means is
// the caller's; this file only shows the texts and reports which button ended it.
#include "ui/win32/shared_dlg.h"

#include <windows.h>

#include "run/message_text.h"
#include "ui/win32/dialog_common.h"

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

INT_PTR CALLBACK SharedDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      ScaleDialog(dialog);
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
