// The dialog procedure of the repair's path prompt (prompt_dlg.h).
#include "ui/win32/prompt_dlg.h"

#include <windows.h>

#include "base/message_text.h"
#include "resource.h"
#include "ui/win32/dialog_common.h"

namespace {

struct PromptDialogData {
  const char* request;
  char* path;
  uint32_t size;
};

INT_PTR CALLBACK PromptDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      ScaleDialog(dialog);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      const PromptDialogData* data = reinterpret_cast<const PromptDialogData*>(lParam);
      char text[1024];
      MessageText(IDS_PROMPT_CAPTION, text, sizeof text);
      SetWindowTextA(dialog, text);
      SetDlgItemTextA(dialog, IDC_PROMPT_TEXT, data->request);
      SetControlText(dialog, IDOK, IDS_OK);
      SetControlText(dialog, IDCANCEL, IDS_CANCEL);
      // The field holds no more than the path buffer can take back.
      SendDlgItemMessageA(dialog, IDC_PROMPT_PATH, EM_LIMITTEXT, data->size - 1, 0);
      SetDlgItemTextA(dialog, IDC_PROMPT_PATH, data->path);
      CentreOnScreen(dialog);
      return TRUE;
    }
    case WM_COMMAND: {
      PromptDialogData* data =
          reinterpret_cast<PromptDialogData*>(GetWindowLongPtrA(dialog, DWLP_USER));
      switch (LOWORD(wParam)) {
        case IDOK:
          GetDlgItemTextA(dialog, IDC_PROMPT_PATH, data->path, static_cast<int>(data->size));
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
      }
    }
    default: return FALSE;
  }
}

}  // namespace

int ShowPromptDialog(void* ownerHwnd, const char* request, char* path, uint32_t size) {
  if (path == nullptr || size == 0) return IDCANCEL;
  PromptDialogData data = {request != nullptr ? request : "", path, size};
  INT_PTR result =
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROMPT),
                      static_cast<HWND>(ownerHwnd), PromptDlg, reinterpret_cast<LPARAM>(&data));
  return static_cast<int>(result);
}
