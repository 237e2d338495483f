// Dialog font scaling, centring and control helpers shared by every dialog.
#include "ui/win32/dialog_common.h"

#include <cstring>

#include "base/message_text.h"
#include "base/run_state.h"
#include "ui/font_scaling.h"

namespace {

// Made by the first dialog whose template font could be read; shared by all later ones.
HFONT gTextFont = nullptr;
HFONT gBoldFont = nullptr;

void WidenWindow(HWND window, HWND parent) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  if (parent != nullptr) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  int left = WidenedEdge(rect.left);
  int right = WidenedEdge(rect.right);
  MoveWindow(window, left, rect.top, right - left, rect.bottom - rect.top, FALSE);
}

BOOL CALLBACK ScaleChild(HWND child, LPARAM font) {
  WidenWindow(child, GetParent(child));
  SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
  return TRUE;
}

void MakeFonts(HWND dialog) {
  HFONT templateFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  LOGFONTA description;
  if (templateFont == nullptr ||
      GetObjectA(templateFont, sizeof description, &description) != sizeof description) {
    return;
  }
  description.lfWeight = FW_LIGHT;
  description.lfCharSet = gRun.fontCharSet;
  HDC screen = GetDC(nullptr);
  int pixelsPerInch = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  description.lfHeight = FontHeightForPoints(gRun.fontPoints, pixelsPerInch);
  if (!gRun.fontFace.Empty()) {
    strncpy(description.lfFaceName, gRun.fontFace.c_str(), LF_FACESIZE - 1);
    description.lfFaceName[LF_FACESIZE - 1] = '\0';
  }
  if (gTextFont == nullptr) gTextFont = CreateFontIndirectA(&description);
  if (gBoldFont == nullptr) {
    description.lfWeight = FW_BOLD;
    gBoldFont = CreateFontIndirectA(&description);
  }
}

}  // namespace

void ScaleDialog(HWND dialog) {
  WidenWindow(dialog, nullptr);
  if (gTextFont == nullptr) MakeFonts(dialog);
  // Without the font the controls keep their template font and size.
  if (gTextFont == nullptr) return;
  EnumChildWindows(dialog, ScaleChild, reinterpret_cast<LPARAM>(gTextFont));
}

HFONT DialogBoldFont() { return gBoldFont; }

void DeleteDialogFonts() {
  if (gTextFont != nullptr) DeleteObject(gTextFont);
  if (gBoldFont != nullptr) DeleteObject(gBoldFont);
  gTextFont = nullptr;
  gBoldFont = nullptr;
}

void CentreOnScreen(HWND dialog) {
  RECT rect;
  if (!GetWindowRect(dialog, &rect)) return;
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int screenWidth = gRun.screenWidth > 0 ? gRun.screenWidth : GetSystemMetrics(SM_CXSCREEN);
  int screenHeight = gRun.screenHeight > 0 ? gRun.screenHeight : GetSystemMetrics(SM_CYSCREEN);
  SetWindowPos(dialog, nullptr, (screenWidth - width) / 2, (screenHeight - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void SetControlText(HWND dialog, int control, int textId) {
  char text[256];
  MessageText(textId, text, sizeof text);
  SetDlgItemTextA(dialog, control, text);
}

void ShowControl(HWND dialog, int control, bool show) {
  HWND window = GetDlgItem(dialog, control);
  if (window == nullptr) return;
  EnableWindow(window, show ? TRUE : FALSE);
  ShowWindow(window, show ? SW_SHOW : SW_HIDE);
}

RECT ControlRect(HWND dialog, int control) {
  RECT rect = {0, 0, 0, 0};
  HWND window = GetDlgItem(dialog, control);
  if (window == nullptr) return rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}
