// Geometry of the progress displays, in pixels: the wizard's block bar, its animation
// frames, and the load bar of the initializing window. The window code paints what these
// compute.
#pragma once

#include <cstdint>

struct PixelRect {
  int left;
  int top;
  int right;
  int bottom;
};

// The width of the filled part of a bar: width * done / total, 0 when total is not above 0.
// Computed in 64 bits, so a large log or item count cannot overflow it; never more than
// width.
int FilledWidth(int width, int64_t done, int64_t total);

// The wizard's block bar: blocks of two thirds of the interior's height in pitch, each
// painted three pixels narrower than the pitch and one pixel inside the interior at top and
// bottom. Blocks are added while their left edge lies before the filled width, so the last
// may overhang it. Returns the number of blocks; BarBlock gives each one.
int BarBlockCount(const PixelRect& interior, int32_t position, int32_t total);
PixelRect BarBlock(const PixelRect& interior, int index);

// The animation: the tick counter runs 1 to 25; frames 1 to 20 show the moving icon
// (resource 107 + frame) beside the base icon, 21 to 25 the base icon alone.
constexpr int kAnimationFrames = 25;
constexpr int kMovingFrames = 20;
// The period of its timer, in milliseconds.
constexpr int kAnimationPeriodMs = 150;
int NextAnimationFrame(int frame);

// Where an icon is drawn in the animation area, from the system's dialog base units:
// the base icon for frame 0, the moving icon for frames 1 to 20. False for other frames.
bool AnimationIconPosition(int frame, int baseUnitX, int baseUnitY, int* x, int* y);
