// Pixel routines: the arithmetic at the edges (overlaps, clamping, rounding,
// tiny bitmaps) and the documented results of each routine.
#include "canvas/Functions.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

QImage Solid(int w, int h, TColor c) { return NewBitmap(w, h, c); }

uint8_t Green(const QImage& b, int x, int y) { return b.constScanLine(y)[3 * x + 1]; }

}  // namespace

TEST(BlendBitmap, NegativeOffsetTouchesOnlyTheOverlap)
{
  QImage dest = Solid(30, 5, 0x000000);
  QImage src(20, 5, QImage::Format_BGR888);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 20; ++x) {
      uint8_t* p = src.scanLine(y) + 3 * x;
      p[0] = p[1] = p[2] = uint8_t(x * 10);
    }
  const QImage mask = Solid(20, 5, 0x000000);
  BlendBitmap(dest, src, &mask, -10, 0, 0, false);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(PixelAt(dest, x, 2), MakeColor((x + 10) * 10, (x + 10) * 10, (x + 10) * 10));
  for (int x = 10; x < 30; ++x) EXPECT_EQ(PixelAt(dest, x, 2), 0u) << x;
}

TEST(BlendBitmap, SourceEntirelyOutsideChangesNothing)
{
  QImage dest = RandomBitmap(10, 10, 1);
  const QImage before = dest.copy();
  const QImage src = Solid(5, 5, 0x000000);
  for (auto [x, y] : {std::pair{10, 0}, {-5, 0}, {0, 10}, {0, -5}, {INT32_MAX - 2, 0}, {INT32_MIN + 2, 0}})
    BlendBitmap(dest, src, nullptr, x, y, 0, false);
  EXPECT_TRUE(SamePixels(dest, before));
}

TEST(BlendBitmap, WithoutMaskWhiteIsTransparentAndPercentMixes)
{
  QImage dest = Solid(4, 1, MakeColor(100, 100, 100));
  QImage src = Solid(4, 1, 0xFFFFFF);
  uint8_t* p = src.scanLine(0);
  p[3] = p[4] = p[5] = 0;        // pixel 1 black
  p[6] = 255; p[7] = 255; p[8] = 254;  // pixel 2 almost white: drawn
  BlendBitmap(dest, src, nullptr, 0, 0, 0, false);
  EXPECT_EQ(PixelAt(dest, 0, 0), MakeColor(100, 100, 100));
  EXPECT_EQ(PixelAt(dest, 1, 0), 0u);
  EXPECT_EQ(PixelAt(dest, 2, 0), MakeColor(254, 255, 255));

  QImage d2 = Solid(1, 1, MakeColor(200, 200, 200));
  BlendBitmap(d2, Solid(1, 1, MakeColor(0, 100, 255)), nullptr, 0, 0, 30, false);
  // (src × 70 + dest × 30) div 100
  EXPECT_EQ(PixelAt(d2, 0, 0), MakeColor(60, 130, 238));
  QImage d3 = RandomBitmap(3, 3, 2);
  const QImage before = d3.copy();
  BlendBitmap(d3, Solid(3, 3, 0), nullptr, 0, 0, 100, false);
  EXPECT_TRUE(SamePixels(d3, before));
  BlendBitmap(d3, Solid(3, 3, 0), nullptr, 0, 0, 250, false);  // clamped to 100
  EXPECT_TRUE(SamePixels(d3, before));
}

TEST(BlendBitmap, MaskWeights)
{
  const QImage src = RandomBitmap(6, 4, 3);
  QImage dest = RandomBitmap(6, 4, 4);
  const QImage before = dest.copy();
  const QImage white = Solid(6, 4, 0xFFFFFF);
  BlendBitmap(dest, src, &white, 0, 0, 0, false);
  EXPECT_TRUE(SamePixels(dest, before));
  const QImage black = Solid(6, 4, 0);
  BlendBitmap(dest, src, &black, 0, 0, 0, false);
  EXPECT_TRUE(SamePixels(dest, src));

  // Green 100 + percent 20 = 120 weight on all channels.
  QImage d = Solid(1, 1, MakeColor(10, 20, 30));
  const QImage m = Solid(1, 1, MakeColor(0, 100, 250));
  BlendBitmap(d, Solid(1, 1, MakeColor(200, 100, 0)), &m, 0, 0, 20, false);
  EXPECT_EQ(PixelAt(d, 0, 0), MakeColor((200 * 135 + 10 * 120) / 255, (100 * 135 + 20 * 120) / 255, (0 + 30 * 120) / 255));
  // Per channel: red weight from red 0+20, green 100+20, blue 250+20 → clamped 255.
  QImage e = Solid(1, 1, MakeColor(10, 20, 30));
  BlendBitmap(e, Solid(1, 1, MakeColor(200, 100, 0)), &m, 0, 0, 20, true);
  EXPECT_EQ(PixelAt(e, 0, 0), MakeColor((200 * 235 + 10 * 20) / 255, (100 * 135 + 20 * 120) / 255, 30));
}

TEST(SoftenMaskEdges, FadesToTransparentAtTheBorder)
{
  QImage m = Solid(100, 100, 0);
  SoftenMaskEdges(m, 10, 10);
  EXPECT_EQ(Green(m, 0, 50), 255);
  EXPECT_EQ(Green(m, 50, 0), 255);
  EXPECT_EQ(Green(m, 99, 50), 255);
  EXPECT_EQ(Green(m, 10, 50), 0);
  EXPECT_EQ(Green(m, 50, 10), 0);
  EXPECT_EQ(Green(m, 5, 50), 255 - RoundHalfEven(5 * 25.5));  // t = round(127.5) = 128 → 127
  EXPECT_EQ(m.constScanLine(0)[0], 0);  // blue and red untouched
  EXPECT_EQ(m.constScanLine(0)[2], 0);

  QImage z = Solid(100, 100, 0);
  SoftenMaskEdges(z, 0, 0);
  for (int i : {0, 1, 98, 99}) {
    EXPECT_EQ(Green(z, i, 50), 255) << i;
    EXPECT_EQ(Green(z, 50, i), 255) << i;
  }
  for (int i : {2, 50, 97}) EXPECT_EQ(Green(z, i, 50), 0) << i;

  QImage half = Solid(10, 10, 0);
  SoftenMaskEdges(half, 80, 80);  // acts as 50: the fade reaches the middle
  EXPECT_EQ(Green(half, 0, 5), 255);
  EXPECT_LT(Green(half, 5, 5), 255);
}

TEST(SoftenMaskEdges, TinyBitmapsStayInside)
{
  for (auto [w, h] : {std::pair{1, 1}, {1, 5}, {5, 1}, {2, 2}}) {
    QImage m = Solid(w, h, 0);
    SoftenMaskEdges(m, 30, 30);
    EXPECT_EQ(Green(m, 0, 0), 255);
    QImage f = Solid(w, h, 0);
    FadeEdgesToWhite(f, 30, 30);
    EXPECT_EQ(PixelAt(f, 0, 0), 0xFFFFFFu);
  }
}

TEST(FadeEdgesToWhite, ZeroPercentWhitensOnlyTheOutermostLines)
{
  QImage b = Solid(20, 10, 0);
  FadeEdgesToWhite(b, 0, 0);
  EXPECT_EQ(PixelAt(b, 0, 5), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(b, 19, 5), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(b, 5, 0), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(b, 5, 9), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(b, 1, 5), 0u);
  EXPECT_EQ(PixelAt(b, 5, 1), 0u);
}

TEST(GradientFill, EndColumnsAvoidPureBlackAndWhite)
{
  QImage b = Solid(470, 3, 0x123456);
  GradientFill(b, 0x000000, 0xFFFFFF, QPoint(0, 0), QPoint(469, 0));
  EXPECT_EQ(PixelAt(b, 0, 1), MakeColor(0, 0, 1));       // blue 1
  EXPECT_EQ(PixelAt(b, 469, 2), MakeColor(255, 255, 254)); // blue 254
  // Column 1: round(255/469) = 1 on every channel.
  EXPECT_EQ(PixelAt(b, 1, 0), MakeColor(1, 1, 1));

  QImage rb = Solid(470, 470, 0);
  GradientFill(rb, MakeColor(255, 0, 0), MakeColor(0, 0, 255), QPoint(0, 0), QPoint(469, 0));
  EXPECT_EQ(PixelAt(rb, 0, 100), MakeColor(255, 0, 0));
  EXPECT_EQ(PixelAt(rb, 469, 100), MakeColor(0, 0, 255));

  QImage v = Solid(5, 470, 0);
  GradientFill(v, MakeColor(255, 0, 0), MakeColor(0, 0, 255), QPoint(0, 0), QPoint(0, 469));
  for (int y : {0, 100, 469}) EXPECT_EQ(PixelAt(v, 0, y), PixelAt(v, 4, y));
  EXPECT_NE(PixelAt(v, 0, 0), PixelAt(v, 0, 469));
}

TEST(GradientFill, HalfwayRoundsToEvenAndEqualPointsDoNothing)
{
  // t = 0.5 between 0 and 255 gives 127.5 → 128; between 0 and 1 gives 0.5 → 0.
  QImage b = Solid(3, 1, 0);
  GradientFill(b, MakeColor(0, 0, 0), MakeColor(255, 1, 3), QPoint(0, 0), QPoint(2, 0));
  EXPECT_EQ(PixelAt(b, 1, 0), MakeColor(128, 0, 2));
  QImage c = RandomBitmap(4, 4, 9);
  const QImage before = c.copy();
  GradientFill(c, 0, 0xFFFFFF, QPoint(1, 1), QPoint(1, 1));
  EXPECT_TRUE(SamePixels(c, before));
  // Points behind the start are at t = 0; beyond the end at t = 1.
  QImage d = Solid(10, 1, 0);
  GradientFill(d, MakeColor(10, 10, 10), MakeColor(20, 20, 20), QPoint(3, 0), QPoint(6, 0));
  EXPECT_EQ(PixelAt(d, 0, 0), MakeColor(10, 10, 10));
  EXPECT_EQ(PixelAt(d, 9, 0), MakeColor(20, 20, 20));
}

// A literal version of the 3 × 3 filters: full copy, every pixel by itself.
static QImage Reference3x3(const QImage& in, bool smooth, int level)
{
  QImage out = in.copy();
  for (int y = 1; y < in.height() - 1; ++y)
    for (int x = 1; x < in.width() - 1; ++x)
      for (int c = 0; c < 3; ++c) {
        auto P = [&](int dx, int dy) { return int(in.constScanLine(y + dy)[3 * (x + dx) + c]); };
        int v;
        if (smooth) {
          const int s = P(-1, -1) + P(0, -1) + P(1, -1) + P(-1, 0) + P(1, 0) + P(-1, 1) + P(0, 1) + P(1, 1);
          v = level == 1 ? (24 * P(0, 0) + s) >> 5 : level == 2 ? (8 * P(0, 0) + s) >> 4 : s >> 3;
        } else {
          const int n = P(-1, 0) + P(1, 0) + P(0, -1) + P(0, 1);
          v = level == 1 ? (8 * P(0, 0) - n) / 4 : level == 2 ? (6 * P(0, 0) - n) / 2 : 5 * P(0, 0) - n;
        }
        out.scanLine(y)[3 * x + c] = uint8_t(std::clamp(v, 0, 255));
      }
  return out;
}

TEST(Filter3x3, MatchesTheLiteralFormulaAtEveryLevel)
{
  for (auto [w, h] : {std::pair{3, 3}, {7, 5}, {33, 17}}) {
    const QImage src = RandomBitmap(w, h, uint32_t(w * 100 + h));
    for (int level = 0; level <= 4; ++level) {  // 0 and 4 are clamped to 1 and 3
      SCOPED_TRACE(testing::Message() << w << "x" << h << " level " << level);
      const int l = std::clamp(level, 1, 3);
      QImage s = src.copy();
      Smooth3x3(s, level);
      EXPECT_TRUE(SamePixels(s, Reference3x3(src, true, l)));
      QImage p = src.copy();
      Sharpen3x3(p, level);
      EXPECT_TRUE(SamePixels(p, Reference3x3(src, false, l)));
    }
  }
}

TEST(Filter3x3, SharpenTruncatesNegativeQuotientsTowardZero)
{
  // Centre 1 with neighbours 10: (8 − 40) div 4 = −8 → 0; centre 20: (160 − 43) div 4 = 29.
  QImage b = Solid(3, 3, MakeColor(10, 10, 10));
  b.scanLine(1)[3] = 1;
  Sharpen3x3(b, 1);
  EXPECT_EQ(b.constScanLine(1)[3], 0);
  QImage c = Solid(3, 3, MakeColor(10, 10, 10));
  c.scanLine(1)[3] = 20;
  c.scanLine(0)[3] = 13;
  Sharpen3x3(c, 1);
  EXPECT_EQ(c.constScanLine(1)[3], (160 - 43) / 4);
  // Level 2 with a negative odd numerator: (6 − 41) div 2 = −17 (toward zero) → clamped 0.
}

TEST(Filter3x3, SmallBitmapsAndStops)
{
  for (auto [w, h] : {std::pair{2, 2}, {1, 10}, {10, 2}, {0, 0}}) {
    QImage b = RandomBitmap(std::max(w, 1), std::max(h, 1), 5);
    if (w == 0) b = QImage();
    const QImage before = b.copy();
    int calls = 0;
    Smooth3x3(b, 2, [&](int) { ++calls; return true; });
    Sharpen3x3(b, 2);
    EXPECT_TRUE(b.isNull() ? before.isNull() : SamePixels(b, before));
    EXPECT_EQ(calls, 0);
  }
  const QImage src = RandomBitmap(9, 9, 6);
  QImage b = src.copy();
  std::vector<int> seen;
  Smooth3x3(b, 1, [&](int pct) { seen.push_back(pct); return false; });
  ASSERT_EQ(seen, std::vector<int>{100 / 7});
  const QImage full = Reference3x3(src, true, 1);
  EXPECT_EQ(0, memcmp(b.constScanLine(1), full.constScanLine(1), 27));  // row 1 done
  for (int y = 2; y < 9; ++y) EXPECT_EQ(0, memcmp(b.constScanLine(y), src.constScanLine(y), 27)) << y;

  QImage c = src.copy();
  std::vector<int> all;
  Sharpen3x3(c, 3, [&](int pct) { all.push_back(pct); return true; });
  EXPECT_EQ(all.size(), 7u);
  EXPECT_EQ(all.back(), 100);
}

TEST(DiagonalBlur, ReadsPixelsAlreadyDoneAndClampsCoordinates)
{
  // 1 × 1: the pixel is the average of itself four times.
  QImage one = Solid(1, 1, MakeColor(7, 8, 9));
  DiagonalBlur(one, 3);
  EXPECT_EQ(PixelAt(one, 0, 0), MakeColor(7, 8, 9));
  // Literal in-place reference on a random picture.
  const QImage src = RandomBitmap(11, 7, 8);
  for (int d : {1, 2, 5, 20}) {
    QImage ref = src.copy();
    for (int y = 0; y < ref.height(); ++y)
      for (int x = 0; x < ref.width(); ++x)
        for (int c = 0; c < 3; ++c) {
          auto P = [&](int xx, int yy) {
            xx = std::clamp(xx, 0, ref.width() - 1);
            yy = std::clamp(yy, 0, ref.height() - 1);
            return int(ref.constScanLine(yy)[3 * xx + c]);
          };
          const int v = (P(x + d, y + d) + P(x + d, y - d) + P(x - d, y + d) + P(x - d, y - d)) >> 2;
          ref.scanLine(y)[3 * x + c] = uint8_t(v);
        }
    QImage b = src.copy();
    DiagonalBlur(b, d);
    EXPECT_TRUE(SamePixels(b, ref)) << d;
  }
  QImage p1 = src.copy(), p2 = src.copy();
  DiagonalBlurPasses(p1, 3);
  DiagonalBlur(p2, 3);
  DiagonalBlur(p2, 2);
  DiagonalBlur(p2, 1);
  EXPECT_TRUE(SamePixels(p1, p2));
}

TEST(CropToContent, CropsBothToTheInkWithAMargin)
{
  QImage s = Solid(100, 40, 0xFFFFFF);
  for (int y = 15; y < 25; ++y)
    for (int x = 45; x < 55; ++x) std::memset(s.scanLine(y) + 3 * x, 0, 3);
  QImage o = RandomBitmap(100, 40, 11);
  const QImage oBefore = o.copy();
  CropToContent(s, o);
  // Ink columns 45 … 54 and rows 15 … 24, three pixels more on each side,
  // the right and bottom edges excluded: 42 … 56 by 12 … 26.
  EXPECT_EQ(s.size(), QSize(15, 15));
  EXPECT_EQ(o.size(), QSize(15, 15));
  EXPECT_EQ(PixelAt(s, 3, 3), 0u);
  EXPECT_EQ(PixelAt(s, 2, 3), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(o, 0, 0), PixelAt(oBefore, 42, 12));
}

TEST(CropToContent, InkNearTheBordersAndNoInk)
{
  // Light grey within 5 of the reference is not ink.
  QImage s = Solid(20, 10, 0xFFFFFF);
  std::memset(s.scanLine(5) + 3 * 10, 251, 3);
  QImage o = Solid(20, 10, 0);
  CropToContent(s, o);
  EXPECT_EQ(s.size(), QSize(20, 10));  // no ink: left as it was
  QImage t = Solid(20, 10, 0xFFFFFF);
  std::memset(t.scanLine(0), 0, 3);          // top-left corner ink... is also the reference
  std::memset(t.scanLine(9) + 3 * 19, 0, 3);  // bottom-right ink
  QImage u = Solid(20, 10, 0);
  CropToContent(t, u);
  // Reference is the black corner (0), so nothing is below −5: unchanged.
  EXPECT_EQ(t.size(), QSize(20, 10));
  QImage v = Solid(20, 10, 0xFFFFFF);
  std::memset(v.scanLine(9) + 3 * 19, 0, 3);
  std::memset(v.scanLine(0) + 3 * 1, 0, 3);
  QImage w = Solid(20, 10, 0);
  CropToContent(v, w);
  EXPECT_EQ(v.size(), QSize(19, 9));  // 0 … 18 by 0 … 8 (the last column and row are the excluded edge)
}

TEST(BoxFitting, ShrinkAndFitRules)
{
  EXPECT_EQ(ShrinkToBox(940, 470, 470, 470), QSize(470, 235));
  EXPECT_EQ(ShrinkToBox(400, 300, 470, 470), QSize(400, 300));
  EXPECT_EQ(ShrinkToBox(470, 470, 470, 470), QSize(470, 470));
  EXPECT_EQ(ShrinkToBox(10000, 1, 100, 100), QSize(100, 1));   // height 0 becomes 1 with width BW
  EXPECT_EQ(ShrinkToBox(1, 10000, 100, 100), QSize(1, 100));   // width 0 becomes 1 with height BH
  // rx = 2898 beats ry = 2857: both sides divided by the width ratio.
  EXPECT_EQ(ShrinkToBox(4000, 3000, 138, 105), QSize(138, 103));
  EXPECT_EQ(FitToBox(100, 50, 470, 470), QSize(476, 238));
  EXPECT_EQ(FitToBox(1000, 500, 470, 470), QSize(470, 235));
  EXPECT_EQ(FitToBox(470, 470, 470, 470), QSize(470, 470));
  // Far under a hundredth of the box: no division by zero, stays in the box.
  const QSize tiny = FitToBox(2, 1, 470, 470);
  EXPECT_LE(tiny.width(), 470);
  EXPECT_GT(tiny.width(), 2);
  // Boxes without area never divide by zero.
  EXPECT_NO_FATAL_FAILURE(ShrinkToBox(10, 10, 0, 0));
  EXPECT_NO_FATAL_FAILURE(FitToBox(10, 10, 0, -5));
}

TEST(PointInRect, EdgesAreOutside)
{
  const TRect r{10, 20, 30, 40};
  EXPECT_TRUE(PointInRect(11, 21, r));
  EXPECT_TRUE(PointInRect(29, 39, r));
  EXPECT_FALSE(PointInRect(10, 25, r));
  EXPECT_FALSE(PointInRect(30, 25, r));
  EXPECT_FALSE(PointInRect(15, 20, r));
  EXPECT_FALSE(PointInRect(15, 40, r));
}
