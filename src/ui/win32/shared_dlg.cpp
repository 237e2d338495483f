// The dialog procedure of the shared-file question. The decision what an answer means is
// the caller's; this file only shows the texts and reports which button ended it.
#include "ui/win32/shared_dlg.h"

#include <windows.h>

#include "base/message_text.h"
#include "resource.h"
#include "ui/win32/dialog_common.h"

namespace {

struct SharedDialogTexts {
  const char* text;
  const char* caption;
};

INT_PTR CALLBACK SharedDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      ScaleDialog(dialog);
      const SharedDialogTexts* texts = reinterpret_cast<const SharedDialogTexts*>(lParam);
      if (texts != nullptr) {
        SetDlgItemTextA(dialog, IDC_QUESTION_TEXT, texts->text != nullptr ? texts->text : "");
        SetWindowTextA(dialog, texts->caption != nullptr ? texts->caption : "");
      }
      SetControlText(dialog, IDC_ANSWER_YES, IDS_YES);
      SetControlText(dialog, IDC_ANSWER_NO, IDS_NO);
      SetControlText(dialog, IDC_ANSWER_YES_TO_ALL, IDS_YES_TO_ALL);
      SetControlText(dialog, IDC_ANSWER_NO_TO_ALL, IDS_NO_TO_ALL);
      CentreOnScreen(dialog);
      // Enter must answer No to All, the safe answer: the focus goes to the default button,
      // not to the first button in tab order (Yes).
      SetFocus(GetDlgItem(dialog, IDC_ANSWER_NO_TO_ALL));
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
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SHARED_FILE),
                      static_cast<HWND>(ownerHwnd), SharedDlg, reinterpret_cast<LPARAM>(&texts));
  return static_cast<int>(result);
}
