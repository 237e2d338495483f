// The display arithmetic: the block bar and the load bar, the animation path, the
// background gradient and the font scaling, with the settings file's odd values.
#include <gtest/gtest.h>

#include <string>

#include "base/run_state.h"
#include "platform/sim/sim_machine.h"
#include "support/sim_fixture.h"
#include "ui/font_scaling.h"
#include "ui/gradient.h"
#include "ui/progress_geometry.h"

namespace {

TEST(ProgressGeometry, BlockBarFillsWhatItShould) {
  const PixelRect interior = {10, 20, 410, 41};  // 400 wide, 21 high: pitch 14
  EXPECT_EQ(BarBlockCount(interior, 0, 10), 0);
  // Half done: 200 px; blocks start at 0, 14, ... 196, the last one overhanging.
  EXPECT_EQ(BarBlockCount(interior, 5, 10), 15);
  // Done: the blocks reach the interior's right edge (the last may overhang it).
  int all = BarBlockCount(interior, 10, 10);
  PixelRect last = BarBlock(interior, all - 1);
  EXPECT_LT(last.left, interior.right);
  EXPECT_GE(last.left + 14, interior.right);
  PixelRect first = BarBlock(interior, 0);
  EXPECT_EQ(first.left, 10);
  EXPECT_EQ(first.right, 10 + 14 - 3);  // a three-pixel gap follows each block
  EXPECT_EQ(first.top, 21);
  EXPECT_EQ(first.bottom, 40);
  // A total of 0 or a position past the total never overflows the interior.
  EXPECT_EQ(BarBlockCount(interior, 3, 0), 0);
  EXPECT_EQ(BarBlockCount(interior, 99, 10), all);
  EXPECT_EQ(FilledWidth(400, int64_t{3} << 40, int64_t{4} << 40), 300);
  EXPECT_EQ(FilledWidth(145, 50, 100), 72);  // rounded down
  EXPECT_EQ(FilledWidth(145, 7, 0), 0);      // an empty log draws an empty bar
}

TEST(ProgressGeometry, AnimationPathAndFrames) {
  int x = -1, y = -1;
  ASSERT_TRUE(AnimationIconPosition(0, 8, 16, &x, &y));  // the base icon
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 20);
  ASSERT_TRUE(AnimationIconPosition(10, 8, 16, &x, &y));
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 0);
  ASSERT_TRUE(AnimationIconPosition(20, 6, 13, &x, &y));
  EXPECT_EQ(x, 118 * 6 / 4);
  EXPECT_EQ(y, 13 * 13 / 8);
  EXPECT_FALSE(AnimationIconPosition(21, 8, 16, &x, &y));
  int frame = 1;
  for (int tick = 0; tick < 24; ++tick) frame = NextAnimationFrame(frame);
  EXPECT_EQ(frame, 25);
  EXPECT_EQ(NextAnimationFrame(frame), 1);
}

TEST(Gradient, BandsRunFromStartToEndColour) {
  GradientColors colors = {{0, 0, 255}, {0, 255, -255}};  // blue to green
  GradientBand first = GradientBandAt(colors, 0, 768);
  EXPECT_EQ(first.top, -1);
  EXPECT_EQ(first.bottom, 8);
  EXPECT_EQ(first.blue, 255);
  EXPECT_EQ(GradientBandAt(colors, 1, 768).green, 2);  // 255 / 95
  EXPECT_EQ(GradientBandAt(colors, 2, 768).green, 5);
  GradientBand last = GradientBandAt(colors, 95, 768);
  EXPECT_EQ(last.bottom, 768);
  EXPECT_EQ(last.green, 255);
  EXPECT_EQ(last.blue, 0);
  // Each band starts where the one before ends, also on a client too low for 96 bands.
  for (int i = 1; i < kGradientBands; ++i) {
    EXPECT_EQ(GradientBandAt(colors, i, 50).top, GradientBandAt(colors, i - 1, 50).bottom);
  }
  // Settings outside 0..255 are clamped per band, not refused; huge ones do not overflow.
  GradientColors wild = {{-100, 400, 2147483647}, {200, -400, -4294967295LL}};
  GradientBand wildFirst = GradientBandAt(wild, 0, 96);
  EXPECT_EQ(wildFirst.red, 0);
  EXPECT_EQ(wildFirst.green, 255);
  EXPECT_EQ(wildFirst.blue, 255);
  EXPECT_EQ(GradientBandAt(wild, 95, 96).blue, 0);
}

TEST(FontScaling, EdgesAndHeights) {
  // A control at x 60, 120 wide, ends at 70 and 140 wide; x 5 keeps its edge.
  EXPECT_EQ(WidenedEdge(60), 70);
  EXPECT_EQ(WidenedEdge(180), 210);
  EXPECT_EQ(WidenedEdge(5), 5);
  EXPECT_EQ(WidenedEdge(-12), -14);
  EXPECT_EQ(FontHeightForPoints(8, 96), -11);
  EXPECT_EQ(FontHeightForPoints(9, 96), -12);
  EXPECT_EQ(FontHeightForPoints(8, 120), -13);
}

class FontSettingsTest : public SimFixture {};

TEST_F(FontSettingsTest, OddSettingsStillGiveAReadableFont) {
  const char* file = "C:\\APP\\UNTARN32.INI";
  struct Case {
    std::string settings;
    std::string face;
    int points;
    int charSet;
  } cases[] = {
      {"", "", 8, 0},
      {"Text Font=Tahoma\r\nFont Character Size=10\r\nFont Character Set=161\r\n", "Tahoma", 10,
       161},
      {"Font Character Size=0\r\n", "", 8, 0},
      {"Font Character Size=255\r\n", "", 10, 0},
      {"Font Character Size=511\r\nFont Character Set=300\r\n", "", 10, 44},  // kept as one byte
      {"Text Font=" + std::string(40, 'F') + "\r\n", "", 8, 0},               // no such face
  };
  for (const Case& c : cases) {
    machine().WriteFile(file, "[Settings]\r\n" + c.settings);
    ReadDialogFontSettings(file);
    EXPECT_EQ(gRun.fontFace.c_str(), c.face) << c.settings;
    EXPECT_EQ(gRun.fontPoints, c.points) << c.settings;
    EXPECT_EQ(gRun.fontCharSet, c.charSet) << c.settings;
  }
}

}  // namespace
