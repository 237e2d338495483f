// Bar and animation geometry of the progress displays.
#include "ui/progress_geometry.h"

namespace {

// The moving icon's path: x in quarters of the horizontal base unit, y in eighths of the
// vertical one. Index 0 is the base icon's place.
struct Offset {
  int x;
  int y;
};
constexpr Offset kPath[kMovingFrames + 1] = {
    {0, 10}, {0, 10}, {5, 8},  {8, 6},   {14, 5},   {19, 2},   {26, 2},
    {30, 2}, {38, 2}, {42, 2}, {50, 0},  {57, 0},   {62, 0},   {72, 0},
    {78, 2}, {87, 3}, {94, 4}, {102, 8}, {110, 10}, {114, 11}, {118, 13},
};

constexpr int kBlockGap = 3;

}  // namespace

int FilledWidth(int width, int64_t done, int64_t total) {
  if (width <= 0 || total <= 0 || done <= 0) return 0;
  if (done >= total) return width;
  return static_cast<int>(static_cast<int64_t>(width) * done / total);
}

int BarBlockCount(const PixelRect& interior, int32_t position, int32_t total) {
  int pitch = (interior.bottom - interior.top) * 2 / 3;
  if (pitch <= 0) return 0;
  int filled = FilledWidth(interior.right - interior.left, position, total);
  // Blocks whose left edge lies before the filled width: ceil(filled / pitch).
  return (filled + pitch - 1) / pitch;
}

PixelRect BarBlock(const PixelRect& interior, int index) {
  int pitch = (interior.bottom - interior.top) * 2 / 3;
  PixelRect block;
  block.left = interior.left + index * pitch;
  block.right = block.left + pitch - kBlockGap;
  block.top = interior.top + 1;
  block.bottom = interior.bottom - 1;
  return block;
}

int NextAnimationFrame(int frame) { return frame >= kAnimationFrames || frame < 1 ? 1 : frame + 1; }

bool AnimationIconPosition(int frame, int baseUnitX, int baseUnitY, int* x, int* y) {
  if (frame < 0 || frame > kMovingFrames) return false;
  *x = kPath[frame].x * baseUnitX / 4;
  *y = kPath[frame].y * baseUnitY / 8;
  return true;
}
