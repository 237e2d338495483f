// ProgressDlg: set-up, the load bar's painting from the loader's position, and Cancel.
#include "ui/win32/progress_dlg.h"

#include "base/message_text.h"
#include "base/run_state.h"
#include "base/text.h"
#include "log/item_store.h"
#include "resource.h"
#include "ui/progress_geometry.h"
#include "ui/win32/dialog_common.h"

namespace {

constexpr COLORREF kBarColour = RGB(0, 0, 127);

// The bar's interior, inside its one-pixel edge (empty without a bar), and its filled width
// when it was last painted (-1: not yet). Both are kept so that the loader's call for every
// line costs a division and repaints only when the bar has visibly moved.
RECT gBarInterior = {};
bool gHasBar = false;
int gPaintedWidth = -1;

void OnInit(HWND dialog) {
  ScaleDialog(dialog);
  char caption[256];
  MessageText(IDS_UNINSTALL_CAPTION, caption, sizeof caption);
  SetWindowTextA(dialog, caption);
  SetControlText(dialog, IDC_CANCEL, IDS_CANCEL);
  char text[512];
  char part[256];
  MessageText(IDS_INITIALIZING, part, sizeof part);
  CopyText(text, sizeof text, part);
  MessageText(IDS_PROGRAM_TITLE, part, sizeof part);
  AppendText(text, sizeof text, part);
  MessageText(IDS_INITIALIZING_WIZARD, part, sizeof part);
  AppendText(text, sizeof text, part);
  SetDlgItemTextA(dialog, IDC_TEXT, text);
  CentreOnScreen(dialog);
  gHasBar = GetDlgItem(dialog, IDC_PROGRESS_BAR) != nullptr;
  if (gHasBar) {
    gBarInterior = ControlRect(dialog, IDC_PROGRESS_BAR);
    InflateRect(&gBarInterior, -1, -1);
  }
  gPaintedWidth = -1;
}

void OnPaint(HWND dialog) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  if (dc == nullptr) return;
  if (gHasBar) {
    RECT interior = gBarInterior;
    int width = interior.right - interior.left;
    int filled = FilledWidth(width, gStore.logPosition, gStore.logSize);
    gPaintedWidth = filled;
    RECT done = {interior.left, interior.top, interior.left + filled, interior.bottom};
    HBRUSH brush = CreateSolidBrush(kBarColour);
    if (brush != nullptr) {
      FillRect(dc, &done, brush);
      DeleteObject(brush);
    }
    RECT rest = {interior.left + filled, interior.top, interior.right, interior.bottom};
    FillRect(dc, &rest, GetSysColorBrush(COLOR_BTNFACE));
    RECT frame = interior;
    InflateRect(&frame, 1, 1);
    DrawEdge(dc, &frame, BDR_SUNKENOUTER, BF_RECT);
  }
  EndPaint(dialog, &paint);
}

INT_PTR CALLBACK ProgressDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: OnInit(dialog); return 0;
    case WM_PAINT: OnPaint(dialog); return 0;
    // Any command, Cancel and the system menu's Close included, stops the run; the window
    // stays until the run flow takes it down.
    case WM_COMMAND: gRun.cancelled = true; return 0;
    case WM_DESTROY:
      if (gRun.progressWindow == reinterpret_cast<WindowHandle>(dialog)) gRun.progressWindow = 0;
      return 0;
    default: return 0;
  }
}

}  // namespace

void RedrawLoadBarIfMoved(HWND dialog) {
  if (!gHasBar) return;
  int filled =
      FilledWidth(gBarInterior.right - gBarInterior.left, gStore.logPosition, gStore.logSize);
  if (filled == gPaintedWidth) return;
  InvalidateRect(dialog, &gBarInterior, FALSE);
  UpdateWindow(dialog);
}

HWND CreateInitializingDialog() {
  HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INITIALIZING),
                                   nullptr, ProgressDlg, 0);
  if (dialog != nullptr) ShowWindow(dialog, SW_SHOW);
  return dialog;
}
