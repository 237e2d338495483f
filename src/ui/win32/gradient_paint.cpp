// Paints the 96 bands that ui/gradient.h computes.
#include "ui/win32/gradient_paint.h"

#include "ui/gradient.h"

void PaintGradient(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc == nullptr) return;
  RECT client;
  GetClientRect(window, &client);
  GradientColors colors = RunGradientColors();
  for (int i = 0; i < kGradientBands; ++i) {
    GradientBand band = GradientBandAt(colors, i, client.bottom);
    HBRUSH brush = CreateSolidBrush(RGB(band.red, band.green, band.blue));
    if (brush == nullptr) continue;
    HGDIOBJ old = SelectObject(dc, brush);
    PatBlt(dc, 0, band.top, client.right, band.bottom - band.top, PATCOPY);
    SelectObject(dc, old);
    DeleteObject(brush);
  }
  EndPaint(window, &paint);
}
