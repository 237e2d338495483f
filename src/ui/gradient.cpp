// The background gradient's bands.
#include "ui/gradient.h"

#include "base/run_state.h"

namespace {

int Clamp(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

}  // namespace

GradientColors RunGradientColors() {
  GradientColors colors;
  colors.start[0] = gRun.startRed;
  colors.start[1] = gRun.startGreen;
  colors.start[2] = gRun.startBlue;
  colors.difference[0] = static_cast<long long>(gRun.endRed) - gRun.startRed;
  colors.difference[1] = static_cast<long long>(gRun.endGreen) - gRun.startGreen;
  colors.difference[2] = static_cast<long long>(gRun.endBlue) - gRun.startBlue;
  return colors;
}

GradientBand GradientBandAt(const GradientColors& colors, int i, int clientBottom) {
  GradientBand band;
  // 64-bit products: a settings file may hold any 32-bit number.
  auto component = [&](int c) {
    long long value =
        colors.start[c] + static_cast<long long>(i) * colors.difference[c] / (kGradientBands - 1);
    return Clamp(value < 0 ? -1 : value > 255 ? 256 : static_cast<int>(value));
  };
  band.top =
      i == 0 ? -1 : static_cast<int>(static_cast<long long>(i) * clientBottom / kGradientBands);
  band.bottom = static_cast<int>(static_cast<long long>(i + 1) * clientBottom / kGradientBands);
  band.red = component(0);
  band.green = component(1);
  band.blue = component(2);
  return band;
}
