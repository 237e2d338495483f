// The main window's background: 96 horizontal bands from the start colour at the top to
// the end colour at the bottom, from the settings file's display settings.
#pragma once

constexpr int kGradientBands = 96;

struct GradientColors {
  int start[3];             // red, green, blue at the top, as configured (not clamped)
  long long difference[3];  // end minus start, per component (any two ints apart)
};

struct GradientBand {
  int top;  // the previous band's bottom; -1 for band 0
  int bottom;
  int red;
  int green;
  int blue;
};

// The colours of the run's display settings (gRun).
GradientColors RunGradientColors();

// Band i (0 to 95) of a client area whose bottom is clientBottom. Components are
// start + i * difference / 95, truncated toward zero and clamped to 0..255 per band, so
// that colour settings outside that range still give a gradient.
GradientBand GradientBandAt(const GradientColors& colors, int i, int clientBottom);
