// ItemDlg, in the order of the dialog's life: set-up of the window, the page set-up and
// read-back around every step, the commands, and the painting of the header band, the
// lines, the animation and the bar. Decisions come from ui/wizard_pages.h and
// ui/progress_geometry.h; only the drawing and the controls are here.
#include "ui/win32/item_dlg.h"

#include <cstring>

#include "base/message_text.h"
#include "base/run_state.h"
#include "resource.h"
#include "ui/progress_display.h"
#include "ui/progress_geometry.h"
#include "ui/win32/dialog_common.h"
#include "ui/wizard_pages.h"

namespace {

// The part of the banner bitmap that is stretched over the header band.
constexpr int kBannerWidth = 500;
constexpr int kBannerHeight = 63;
constexpr COLORREF kBarColour = RGB(0, 0, 127);
constexpr int kAnimationIcons = IDI_ANIMATION_LAST - IDI_ANIMATION_BASE + 1;

struct Wizard {
  HWND window = nullptr;
  HBITMAP banner = nullptr;
  HBRUSH hollowBrush = nullptr;
  HICON icons[kAnimationIcons] = {};
  RECT barInterior = {0, 0, 0, 0};
  bool timerStarted = false;
  // The progress display: the action line shown and the one waiting to be, the time it was
  // last put up, the blocks of the bar last asked for, and a memory context holding the
  // action control's font for measuring (a window's context would be a round trip to the
  // window system for every item).
  char shownAction[kActionTextSize] = {};
  int barBlocks = -1;
  int actionWidth = 0;
  HDC measureDc = nullptr;
  HGDIOBJ measureDcFont = nullptr;
};

Wizard gWizard;

HWND Item(int control) { return GetDlgItem(gWizard.window, control); }

// ---------------------------------------------------------------------------------------
// Pages.

void FillList(int page) {
  HWND list = Item(IDC_ITEM_LIST);
  if (list == nullptr) return;
  int32_t count = CategoryEntryCount(page);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  // One allocation for the whole list instead of one per entry.
  SendMessageA(list, LB_INITSTORAGE, static_cast<WPARAM>(count), static_cast<LPARAM>(count) * 64);
  HDC dc = GetDC(gWizard.window);
  LONG widest = 0;
  char text[kEntryTextSize];
  for (int32_t i = 0; i < count; ++i) {
    CategoryEntryText(page, i, text, sizeof text);
    SIZE extent = {0, 0};
    if (dc != nullptr && GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &extent) &&
        extent.cx > widest) {
      widest = extent.cx;
    }
    LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0 && CategoryEntrySelected(page, i)) {
      SendMessageA(list, LB_SETSEL, TRUE, index);
    }
  }
  if (dc != nullptr) ReleaseDC(gWizard.window, dc);
  SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
  SendMessageA(list, LB_SETTOPINDEX, 0, 0);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void SetUpPage() {
  HWND dialog = gWizard.window;
  PageLayout page;
  DescribePage(&page);
  SetControlText(dialog, IDC_NEXT, page.nextCaption);

  bool choice = page.choicePage;
  ShowControl(dialog, IDC_ITEM_LIST, page.categoryPage);
  ShowControl(dialog, IDC_SELECT_ALL, page.categoryPage);
  ShowControl(dialog, IDC_SELECT_NONE, page.categoryPage);
  ShowControl(dialog, IDC_RADIO_FIRST, choice);
  ShowControl(dialog, IDC_RADIO_SECOND, choice);
  ShowControl(dialog, IDC_RADIO_REPAIR, choice && page.repairChoice);
  ShowControl(dialog, IDC_SECOND_TEXT, page.secondTextShown);
  if (choice) {
    SetControlText(dialog, IDC_RADIO_FIRST, page.firstChoiceCaption);
    SetControlText(dialog, IDC_RADIO_SECOND, page.secondChoiceCaption);
    if (page.repairChoice) SetControlText(dialog, IDC_RADIO_REPAIR, IDS_REPAIR);
    CheckDlgButton(dialog, IDC_RADIO_FIRST,
                   page.checkedChoice == IDC_RADIO_FIRST ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_RADIO_SECOND,
                   page.checkedChoice == IDC_RADIO_SECOND ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_RADIO_REPAIR,
                   page.checkedChoice == IDC_RADIO_REPAIR ? BST_CHECKED : BST_UNCHECKED);
  }
  SetDlgItemTextA(dialog, IDC_TEXT, page.text);
  if (page.secondTextShown) SetDlgItemTextA(dialog, IDC_SECOND_TEXT, page.secondText);
  SetDlgItemTextA(dialog, IDC_TITLE, page.title);
  EnableWindow(Item(IDC_BACK), page.backEnabled ? TRUE : FALSE);
  if (page.nextAndBackHidden) {
    ShowWindow(Item(IDC_NEXT), SW_HIDE);
    ShowWindow(Item(IDC_BACK), SW_HIDE);
  }
  if (page.categoryPage) FillList(gRun.wizardPage);

  SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_NEXT)), TRUE);
  // The title is drawn transparently: the header under it must be painted first.
  RECT title = ControlRect(dialog, IDC_TITLE);
  RedrawWindow(dialog, &title, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void ReadBackPage() {
  HWND dialog = gWizard.window;
  int page = gRun.wizardPage;
  if (page == kPageMethod) {
    ReadBackMethod(IsDlgButtonChecked(dialog, IDC_RADIO_FIRST) == BST_CHECKED,
                   IsDlgButtonChecked(dialog, IDC_RADIO_REPAIR) == BST_CHECKED);
  } else if (page == kPageRollback) {
    ReadBackRollback(IsDlgButtonChecked(dialog, IDC_RADIO_FIRST) == BST_CHECKED);
  } else if (page >= kFirstCategoryPage && page <= kLastCategoryPage) {
    HWND list = Item(IDC_ITEM_LIST);
    int32_t count = CategoryEntryCount(page);
    for (int32_t i = 0; i < count; ++i) {
      bool selected = list != nullptr && SendMessageA(list, LB_GETSEL, i, 0) > 0;
      SetCategoryEntrySelected(page, i, selected);
    }
  }
}

void Step(bool next) {
  ReadBackPage();
  StepWizardPage(next);
  SetUpPage();
}

// ---------------------------------------------------------------------------------------
// Commands.

void AskCancel() {
  // The window stays until the run flow destroys it; only hide it.
  if (ConfirmCancel()) ShowWindow(gWizard.window, SW_HIDE);
}

void OnCommand(int command) {
  switch (command) {
    case IDC_NEXT:
      if (gRun.progressMode) return;
      if (gRun.wizardPage == kPageFinal) {
        gRun.wizardFinished = true;
        return;
      }
      Step(true);
      return;
    case IDC_BACK:
      if (!gRun.progressMode) Step(false);
      return;
    case IDC_CANCEL: AskCancel(); return;
    case IDC_SELECT_ALL:
    case IDC_SELECT_NONE:
      SendMessageA(Item(IDC_ITEM_LIST), LB_SETSEL, command == IDC_SELECT_ALL ? TRUE : FALSE, -1);
      return;
    default: return;
  }
}

// ---------------------------------------------------------------------------------------
// Painting.

void PaintHeader(HDC dc) {
  if (gWizard.banner == nullptr) return;
  RECT client;
  GetClientRect(gWizard.window, &client);
  RECT line = ControlRect(gWizard.window, IDC_HEADER_LINE);
  HDC source = CreateCompatibleDC(dc);
  if (source == nullptr) return;
  HGDIOBJ old = SelectObject(source, gWizard.banner);
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, 0, 0, client.right, line.top, source, 0, 0, kBannerWidth, kBannerHeight, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
}

void FillPixels(HDC dc, int left, int top, int right, int bottom, int colourIndex) {
  RECT rect = {left, top, right, bottom};
  FillRect(dc, &rect, GetSysColorBrush(colourIndex));
}

void PaintSeparator(HDC dc, int control) {
  RECT rect = ControlRect(gWizard.window, control);
  FillPixels(dc, rect.left + 1, rect.top + 1, rect.right + 1, rect.top + 2, COLOR_BTNSHADOW);
  FillPixels(dc, rect.left + 1, rect.top + 2, rect.right + 1, rect.top + 3, COLOR_WINDOW);
}

void PaintAnimation(HDC dc) {
  RECT area = ControlRect(gWizard.window, IDC_ANIMATION_AREA);
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return;
  // Composed off screen and put on the screen in one piece, so the icons never flicker.
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap = memory != nullptr ? CreateCompatibleBitmap(dc, width, height) : nullptr;
  if (bitmap == nullptr) {
    if (memory != nullptr) DeleteDC(memory);
    return;
  }
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT whole = {0, 0, width, height};
  FillRect(memory, &whole, GetSysColorBrush(COLOR_BTNFACE));
  LONG units = GetDialogBaseUnits();
  int unitX = LOWORD(units);
  int unitY = HIWORD(units);
  int x = 0;
  int y = 0;
  if (gWizard.icons[0] != nullptr && AnimationIconPosition(0, unitX, unitY, &x, &y)) {
    DrawIcon(memory, x, y, gWizard.icons[0]);
  }
  int frame = gRun.animationFrame;
  if (frame >= 1 && frame <= kMovingFrames && gWizard.icons[frame] != nullptr &&
      AnimationIconPosition(frame, unitX, unitY, &x, &y)) {
    DrawIcon(memory, x, y, gWizard.icons[frame]);
  }
  BitBlt(dc, area.left, area.top, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

void PaintBar(HDC dc) {
  const RECT& in = gWizard.barInterior;
  PixelRect interior = {in.left, in.top, in.right, in.bottom};
  int blocks = BarBlockCount(interior, gRun.progressPosition, gRun.progressTotal);
  HBRUSH brush = CreateSolidBrush(kBarColour);
  if (brush != nullptr) {
    for (int i = 0; i < blocks; ++i) {
      PixelRect block = BarBlock(interior, i);
      RECT rect = {block.left, block.top, block.right, block.bottom};
      FillRect(dc, &rect, brush);
    }
    DeleteObject(brush);
  }
  // The sunken frame one pixel outside the interior.
  FillPixels(dc, in.left - 1, in.top - 1, in.right + 1, in.top, COLOR_BTNSHADOW);
  FillPixels(dc, in.left - 1, in.top - 1, in.left, in.bottom + 1, COLOR_BTNSHADOW);
  FillPixels(dc, in.left - 1, in.bottom, in.right + 1, in.bottom + 1, COLOR_WINDOW);
  FillPixels(dc, in.right, in.top - 1, in.right + 1, in.bottom + 1, COLOR_WINDOW);
}

void OnPaint() {
  HWND dialog = gWizard.window;
  if (!gWizard.timerStarted) {
    gWizard.timerStarted = SetTimer(dialog, IDT_ANIMATION, kAnimationPeriodMs, nullptr) != 0;
  }
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  if (dc == nullptr) return;
  PaintHeader(dc);
  PaintSeparator(dc, IDC_BOTTOM_LINE);
  PaintSeparator(dc, IDC_HEADER_LINE);
  if (gRun.progressMode) {
    PaintAnimation(dc);
    PaintBar(dc);
  }
  EndPaint(dialog, &paint);
}

void OnTimer() {
  gRun.animationFrame = NextAnimationFrame(gRun.animationFrame);
  // Only the animation area is drawn again, and only while something is animated.
  if (!gRun.progressMode) return;
  RECT area = ControlRect(gWizard.window, IDC_ANIMATION_AREA);
  InvalidateRect(gWizard.window, &area, FALSE);
  UpdateWindow(gWizard.window);
}

// ---------------------------------------------------------------------------------------
// Creation and end.

void OnInit(HWND dialog, const char* caption) {
  gWizard.window = dialog;
  ScaleDialog(dialog);
  HFONT bold = DialogBoldFont();
  if (bold != nullptr && Item(IDC_TITLE) != nullptr) {
    SendMessageA(Item(IDC_TITLE), WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
  }
  SetControlText(dialog, IDC_BACK, IDS_BACK);
  SetControlText(dialog, IDC_CANCEL, IDS_CANCEL);
  SetControlText(dialog, IDC_SELECT_ALL, IDS_SELECT_ALL);
  SetControlText(dialog, IDC_SELECT_NONE, IDS_SELECT_NONE);
  SetWindowTextA(dialog, caption != nullptr ? caption : "");
  CentreOnScreen(dialog);
  gRun.wizardWindow = reinterpret_cast<WindowHandle>(dialog);
  gWizard.banner =
      static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BANNER),
                                      IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  if (gWizard.hollowBrush == nullptr) {
    LOGBRUSH hollow = {BS_HOLLOW, 0, 0};
    gWizard.hollowBrush = CreateBrushIndirect(&hollow);
  }
  SetUpPage();
  RECT bar = ControlRect(dialog, IDC_PROGRESS_BAR);
  InflateRect(&bar, -1, -1);
  gWizard.barInterior = bar;
  ShowWindow(Item(IDC_PROGRESS_BAR), SW_HIDE);
  ShowWindow(Item(IDC_BOTTOM_LINE), SW_HIDE);
  ShowWindow(Item(IDC_HEADER_LINE), SW_HIDE);
}

void OnDestroy() {
  KillTimer(gWizard.window, IDT_ANIMATION);
  if (gWizard.measureDc != nullptr) {
    SelectObject(gWizard.measureDc, gWizard.measureDcFont);
    DeleteDC(gWizard.measureDc);
  }
  if (gWizard.banner != nullptr) DeleteObject(gWizard.banner);
  HBRUSH hollow = gWizard.hollowBrush;
  gWizard = Wizard();
  gWizard.hollowBrush = hollow;  // kept for the process, as the other dialogs may ask
  gRun.wizardWindow = 0;
}

INT_PTR CALLBACK ItemDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: OnInit(dialog, reinterpret_cast<const char*>(lParam)); return TRUE;
    case WM_PAINT: OnPaint(); return TRUE;
    case WM_COMMAND: OnCommand(LOWORD(wParam)); return TRUE;
    case WM_TIMER:
      if (wParam == IDT_ANIMATION) OnTimer();
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == Item(IDC_TITLE) && gWizard.hollowBrush != nullptr) {
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(gWizard.hollowBrush);
      }
      return FALSE;
    case WM_DESTROY: OnDestroy(); return FALSE;
    default: return FALSE;
  }
}

}  // namespace

HWND CreateWizardDialog(HWND owner, const char* caption) {
  HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_WIZARD), owner,
                                   ItemDlg, reinterpret_cast<LPARAM>(caption));
  if (dialog != nullptr) {
    ShowWindow(dialog, SW_SHOW);
    SetForegroundWindow(dialog);
  }
  return dialog;
}

HWND WizardWindow() { return gWizard.window; }

void EnterWizardProgressMode(const char* heading) {
  HWND dialog = gWizard.window;
  if (dialog == nullptr) return;
  ShowWindow(Item(IDC_TEXT), SW_HIDE);
  ShowWindow(Item(IDC_SECOND_TEXT), SW_HIDE);
  ShowControl(dialog, IDC_HEADING, true);
  ShowControl(dialog, IDC_ACTION, true);
  SetDlgItemTextA(dialog, IDC_HEADING, heading);
  EnableWindow(Item(IDC_NEXT), FALSE);
  EnableWindow(Item(IDC_BACK), FALSE);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  for (int i = 0; i < kAnimationIcons; ++i) {
    gWizard.icons[i] = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ANIMATION_BASE + i));
  }
  gWizard.shownAction[0] = '\0';
  gWizard.barBlocks = -1;
  RECT action = ControlRect(dialog, IDC_ACTION);
  gWizard.actionWidth = action.right - action.left;
  if (gWizard.measureDc == nullptr) {
    gWizard.measureDc = CreateCompatibleDC(nullptr);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(Item(IDC_ACTION), WM_GETFONT, 0, 0));
    if (gWizard.measureDc != nullptr && font != nullptr) {
      gWizard.measureDcFont = SelectObject(gWizard.measureDc, font);
    }
  }
  InvalidateRect(dialog, nullptr, TRUE);
}

void SetWizardAnimationTimer(int periodMs) {
  if (gWizard.window == nullptr) return;
  if (periodMs <= 0) {
    KillTimer(gWizard.window, IDT_ANIMATION);
    // A paint while it is stopped must not start it again behind the caller's back.
    gWizard.timerStarted = true;
    return;
  }
  gWizard.timerStarted =
      SetTimer(gWizard.window, IDT_ANIMATION, static_cast<UINT>(periodMs), nullptr) != 0;
}

void SetWizardAction(const char* text) {
  if (gWizard.window == nullptr || strcmp(text, gWizard.shownAction) == 0) return;
  strncpy(gWizard.shownAction, text, sizeof gWizard.shownAction - 1);
  gWizard.shownAction[sizeof gWizard.shownAction - 1] = '\0';
  SetDlgItemTextA(gWizard.window, IDC_ACTION, gWizard.shownAction);
}

void InvalidateWizardBar() {
  if (gWizard.window == nullptr) return;
  // Only a new block changes the picture.
  const RECT& in = gWizard.barInterior;
  PixelRect interior = {in.left, in.top, in.right, in.bottom};
  int blocks = BarBlockCount(interior, gRun.progressPosition, gRun.progressTotal);
  if (blocks == gWizard.barBlocks) return;
  gWizard.barBlocks = blocks;
  InvalidateRect(gWizard.window, &gWizard.barInterior, FALSE);
}

int WizardActionWidth() {
  if (gWizard.actionWidth > 0) return gWizard.actionWidth;
  HWND action = gWizard.window != nullptr ? Item(IDC_ACTION) : nullptr;
  RECT rect;
  if (action == nullptr || !GetWindowRect(action, &rect)) return 0;
  return rect.right - rect.left;
}

int MeasureWizardAction(const char* text) {
  HWND action = gWizard.window != nullptr ? Item(IDC_ACTION) : nullptr;
  if (action == nullptr) return 0;
  if (gWizard.measureDc != nullptr) {
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(gWizard.measureDc, text, static_cast<int>(strlen(text)), &extent);
    return extent.cx;
  }
  HDC dc = GetDC(action);
  if (dc == nullptr) return 0;
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(action, WM_GETFONT, 0, 0));
  HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  SIZE extent = {0, 0};
  GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &extent);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(action, dc);
  return extent.cx;
}
