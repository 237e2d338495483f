// Font scaling arithmetic and the dialog font's settings.
#include "ui/font_scaling.h"

#include <cstring>

#include "base/run_state.h"
#include "base/text.h"
#include "platform/platform.h"

namespace {

constexpr int kDefaultPoints = 8;
constexpr int kSmallestPoints = 6;
// The templates' one-line texts are 8 dialog units high: a font beyond 10 points no longer
// fits them, and the page titles would lose their lower half.
constexpr int kLargestPoints = 10;

}  // namespace

int WidenedEdge(int x) { return x + x / 6; }

int FontHeightForPoints(int points, int pixelsPerInch) {
  // MulDiv: the product in 64 bits, the quotient rounded half away from zero.
  long long product = static_cast<long long>(points) * pixelsPerInch;
  long long rounded = product >= 0 ? (product + 36) / 72 : (product - 36) / 72;
  return -static_cast<int>(rounded);
}

void ReadDialogFontSettings(const char* settingsFile) {
  Platform& sys = Sys();
  char face[256] = {};
  sys.ReadIniString("Settings", "Text Font", "", face, sizeof face, settingsFile);
  face[sizeof face - 1] = '\0';
  // A face name has at most 31 characters; a longer one names no font.
  gRun.fontFace.Clear();
  if (strlen(face) < gRun.fontFace.kCapacity) gRun.fontFace.Set(face);
  gRun.fontCharSet =
      static_cast<uint8_t>(sys.ReadIniInt("Settings", "Font Character Set", 0, settingsFile));
  int points = static_cast<uint8_t>(
      sys.ReadIniInt("Settings", "Font Character Size", kDefaultPoints, settingsFile));
  if (points == 0) points = kDefaultPoints;
  if (points < kSmallestPoints) points = kSmallestPoints;
  if (points > kLargestPoints) points = kLargestPoints;
  gRun.fontPoints = static_cast<uint8_t>(points);
}
