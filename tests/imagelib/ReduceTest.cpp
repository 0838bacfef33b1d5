// The reduction arithmetic: the power-of-two box filter, the area-averaging
// resample (against a slow literal version) and its row-by-row form.
#include "TestSupport.h"
#include "imagelib/ImageLoader.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr TColor kBack = 0x123456;

// Channel c (0 blue, 1 green, 2 red) of pixel (x, y).
int Channel(const QImage& bmp, int x, int y, int c) { return bmp.constScanLine(y)[3 * x + c]; }

QImage Solid(int w, int h, uint8_t b, uint8_t g, uint8_t r)
{
  QImage img(w, h, QImage::Format_BGR888);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = img.scanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return img;
}

// The resample written out step by step, one pixel and one channel at a time.
std::vector<int64_t> RefWeights(int n, int newN)
{
  std::vector<int64_t> w(size_t(n), 0);
  const double f = double(n) / double(newN);
  if (f == 1.0) {
    for (auto& v : w) v = 1023;
    return w;
  }
  int k = 0;
  for (int i = 0; i < n; ++i) {
    const double e = double(k + 1) * f;
    if (i + 1 <= e) {
      w[size_t(i)] = 1024;
    } else {
      w[size_t(i)] = int64_t(std::trunc((e - i) * 1024));
      ++k;
    }
  }
  return w;
}

QImage RefResample(const QImage& src, int nw, int nh, TColor back)
{
  const int W = src.width(), H = src.height();
  const double fx = double(W) / nw, fy = double(H) / nh;
  if (!(fx > 1) && !(fy > 1)) return src.copy();
  const auto wx = RefWeights(W, nw), wy = RefWeights(H, nh);
  QImage dest(nw, nh, QImage::Format_BGR888);
  dest.fill(QColor(ColorRed(back), ColorGreen(back), ColorBlue(back)));
  std::vector<std::array<int64_t, 3>> A(size_t(W), {0, 0, 0});
  int64_t Sy = 0;
  int r = 0;
  for (int y = 0; y < H; ++y) {
    for (int i = 0; i < W; ++i)
      for (int c = 0; c < 3; ++c) A[size_t(i)][size_t(c)] += wy[size_t(y)] * Channel(src, i, y, c);
    Sy += wy[size_t(y)];
    if (wy[size_t(y)] != 1024 || y == H - 1) {
      int64_t S[3] = {0, 0, 0};
      int64_t Sx = 0;
      int m = 0;
      for (int i = 0; i < W; ++i) {
        for (int c = 0; c < 3; ++c) S[c] += wx[size_t(i)] * A[size_t(i)][size_t(c)];
        Sx += wx[size_t(i)];
        if (wx[size_t(i)] != 1024 || i == W - 1) {
          for (int c = 0; c < 3; ++c) {
            if (m < nw && r < nh) dest.scanLine(r)[3 * m + c] = uint8_t(S[c] / (Sx * Sy));
            S[c] = (1024 - wx[size_t(i)]) * A[size_t(i)][size_t(c)];
          }
          ++m;
          Sx = 1024 - wx[size_t(i)];
        }
      }
      ++r;
      for (int i = 0; i < W; ++i)
        for (int c = 0; c < 3; ++c) A[size_t(i)][size_t(c)] = (1024 - wy[size_t(y)]) * Channel(src, i, y, c);
      Sy = 1024 - wy[size_t(y)];
    }
  }
  return dest;
}

// The box filter written out: sums of f × f blocks divided by f².
QImage RefShrink(const QImage& src, int f)
{
  const int nw = src.width() / f, nh = src.height() / f;
  QImage out(nw, nh, QImage::Format_BGR888);
  for (int y = 0; y < nh; ++y)
    for (int x = 0; x < nw; ++x)
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int v = 0; v < f; ++v)
          for (int u = 0; u < f; ++u) sum += Channel(src, f * x + u, f * y + v, c);
        out.scanLine(y)[3 * x + c] = uint8_t(sum / (f * f));
      }
  return out;
}

// Number of rows holding anything but the back colour.
int WrittenRows(const QImage& bmp, TColor back)
{
  int rows = 0;
  for (int y = 0; y < bmp.height(); ++y)
    for (int x = 0; x < bmp.width(); ++x)
      if (PixelAt(bmp, x, y) != back) {
        ++rows;
        break;
      }
  return rows;
}

struct TSizes {
  int W, H, NW, NH;
};

// Odd sizes, exact halves, one axis unchanged, one-pixel sides, and the
// thumbnail case.
const TSizes kCases[] = {
    {37, 23, 5, 7},   {101, 99, 100, 33}, {64, 48, 32, 24}, {9, 13, 9, 4},    {13, 9, 4, 9},
    {277, 209, 138, 104}, {1, 50, 1, 7},  {50, 1, 7, 1},    {3, 3, 1, 1},     {17, 31, 16, 30},
    {200, 150, 3, 149}, {29, 1000, 28, 1}, {500, 375, 138, 103},
};

}  // namespace

TEST(ShrinkFactor, ThresholdsAtTwiceFourAndEightTimesTheBox)
{
  EXPECT_EQ(ShrinkFactor(276, 210, 138, 105), 1);  // exactly twice: no pre-reduction
  EXPECT_EQ(ShrinkFactor(277, 210, 138, 105), 2);
  EXPECT_EQ(ShrinkFactor(276, 211, 138, 105), 2);
  EXPECT_EQ(ShrinkFactor(552, 420, 138, 105), 2);
  EXPECT_EQ(ShrinkFactor(553, 100, 138, 105), 4);
  EXPECT_EQ(ShrinkFactor(1104, 840, 138, 105), 4);
  EXPECT_EQ(ShrinkFactor(1105, 10, 138, 105), 8);
  EXPECT_EQ(ShrinkFactor(4000, 3000, 138, 105), 8);
  EXPECT_EQ(ShrinkFactor(10, 10, 470, 470), 1);
  EXPECT_EQ(ShrinkFactor(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX), 1);  // no overflow
}

TEST(ShrinkBitmap, MatchesBlockAveragesAndDropsLeftoverColumnsAndRows)
{
  for (int f : {2, 4, 8, 16, 32}) {
    for (auto [w, h] : {std::pair{67, 35}, std::pair{64, 64}, std::pair{100, 33}}) {
      if (w < f || h < f) continue;
      SCOPED_TRACE(testing::Message() << f << " " << w << "x" << h);
      const QImage src = RandomBitmap(w, h, uint32_t(f * 1000 + w));
      QImage bmp = src;
      ShrinkBitmap(bmp, f);
      EXPECT_TRUE(SamePixels(bmp, RefShrink(src, f)));
    }
  }

  // An odd width by 2 drops the last column: changing it changes nothing.
  QImage a = RandomBitmap(5, 4, 7), b = a;
  b.scanLine(0)[12] ^= 0xFF;
  b.scanLine(3)[14] ^= 0xFF;
  ShrinkBitmap(a, 2);
  ShrinkBitmap(b, 2);
  EXPECT_EQ(a.size(), QSize(2, 2));
  EXPECT_TRUE(SamePixels(a, b));

  // 1023 rows by 4 give 255 rows; the last 3 rows do not count.
  QImage tall = RandomBitmap(8, 1023, 8), tall2 = tall;
  for (int y = 1020; y < 1023; ++y) tall2.scanLine(y)[0] ^= 0xFF;
  ShrinkBitmap(tall, 4);
  ShrinkBitmap(tall2, 4);
  EXPECT_EQ(tall.size(), QSize(2, 255));
  EXPECT_TRUE(SamePixels(tall, tall2));
}

TEST(ShrinkBitmap, OtherFactorsTooSmallPicturesAndStopsLeaveTheBitmap)
{
  const QImage src = RandomBitmap(40, 30, 3);
  for (int f : {0, 1, 3, 6, 64, -2}) {
    QImage bmp = src;
    ShrinkBitmap(bmp, f);
    EXPECT_TRUE(SamePixels(bmp, src)) << f;
  }
  QImage tiny = RandomBitmap(3, 3, 4);
  const QImage tinyCopy = tiny.copy();
  ShrinkBitmap(tiny, 8);
  EXPECT_TRUE(SamePixels(tiny, tinyCopy));

  // A stop at once keeps the old content.
  std::vector<int> calls;
  QImage bmp = src;
  ShrinkBitmap(bmp, 2, [&](int p) { calls.push_back(p); return false; });
  EXPECT_TRUE(SamePixels(bmp, src));
  EXPECT_EQ(calls, std::vector<int>{0});

  // Progress runs from 0 and changes on every call.
  calls.clear();
  bmp = RandomBitmap(10, 300, 5);
  ShrinkBitmap(bmp, 2, [&](int p) { calls.push_back(p); return true; });
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), 0);
  EXPECT_EQ(calls.back(), 99);
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_GT(calls[i], calls[i - 1]);
}

TEST(ShrinkBitmap, NarrowOrFlatPictureGivesOneColumnOrRowOfItsOwnPixels)
{
  // 3 columns, reduced by 8: one column averaging the three.
  QImage narrow = Solid(3, 40, 10, 20, 30);
  narrow.scanLine(0)[0] = 250;  // lies in output row 0
  ShrinkBitmap(narrow, 8);
  ASSERT_EQ(narrow.size(), QSize(1, 5));
  EXPECT_EQ(Channel(narrow, 0, 0, 0), (23 * 10 + 250) / 24);
  EXPECT_EQ(PixelAt(narrow, 0, 4), MakeColor(30, 20, 10));

  QImage flat = Solid(40, 3, 10, 20, 30);
  ShrinkBitmap(flat, 16);
  ASSERT_EQ(flat.size(), QSize(2, 1));
  EXPECT_EQ(PixelAt(flat, 1, 0), MakeColor(30, 20, 10));
}

TEST(ResampleBitmap, EqualsTheLiteralArithmeticOnOddSizes)
{
  uint32_t seed = 100;
  for (const TSizes& s : kCases) {
    SCOPED_TRACE(testing::Message() << s.W << "x" << s.H << " -> " << s.NW << "x" << s.NH);
    const QImage src = RandomBitmap(s.W, s.H, seed++);
    QImage dest;
    ResampleBitmap(src, dest, s.NW, s.NH, kBack);
    ASSERT_EQ(dest.size(), QSize(s.NW, s.NH));
    EXPECT_TRUE(SamePixels(dest, RefResample(src, s.NW, s.NH, kBack)));
  }
}

TEST(ResampleBitmap, ExactHalvesAreBlockAverages)
{
  const QImage src = RandomBitmap(64, 48, 11);
  QImage dest;
  ResampleBitmap(src, dest, 32, 24, kBack);
  EXPECT_TRUE(SamePixels(dest, RefShrink(src, 2)));
}

TEST(ResampleBitmap, UnchangedWidthTakes1023OfItsColumnAnd1OfTheLeft)
{
  // Columns 200, 255, 255, 0 over two rows, halved in height only.
  QImage src = Solid(4, 2, 0, 0, 0);
  const int values[] = {200, 255, 255, 0};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) src.scanLine(y)[3 * x] = uint8_t(values[x]);
  QImage dest;
  ResampleBitmap(src, dest, 4, 1, kBack);
  ASSERT_EQ(dest.size(), QSize(4, 1));
  EXPECT_EQ(Channel(dest, 0, 0, 0), 200);                      // first column: plain average
  EXPECT_EQ(Channel(dest, 1, 0, 0), (200 + 1023 * 255) / 1024);  // 254
  EXPECT_EQ(Channel(dest, 2, 0, 0), 255);
  EXPECT_EQ(Channel(dest, 3, 0, 0), 255 / 1024);  // 0
  EXPECT_EQ(Channel(dest, 1, 0, 1), 0);
}

TEST(ResampleBitmap, NoReductionCopiesAndReportsOnce)
{
  const QImage src = RandomBitmap(31, 17, 12);
  std::vector<int> calls;
  QImage dest = RandomBitmap(5, 5, 1);
  ResampleBitmap(src, dest, 31, 17, kBack, [&](int p) { calls.push_back(p); return true; });
  EXPECT_TRUE(SamePixels(dest, src));
  EXPECT_EQ(calls, std::vector<int>{100});

  // A larger size on both sides is a copy at the source's size as well.
  ResampleBitmap(src, dest, 40, 20, kBack);
  EXPECT_TRUE(SamePixels(dest, src));
}

TEST(ResampleBitmap, StopAtOnceLeavesAtMostOneRow)
{
  const QImage src = Solid(30, 90, 1, 2, 3);
  for (auto [nw, nh] : {std::pair{10, 30}, std::pair{10, 90}, std::pair{30, 89}}) {
    SCOPED_TRACE(testing::Message() << nw << "x" << nh);
    int calls = 0;
    QImage dest;
    ResampleBitmap(src, dest, nw, nh, kBack, [&](int) { ++calls; return false; });
    ASSERT_EQ(dest.size(), QSize(nw, nh));
    EXPECT_EQ(calls, 1);
    EXPECT_LE(WrittenRows(dest, kBack), 1);
    EXPECT_EQ(PixelAt(dest, nw - 1, nh - 1), kBack);
  }
  // Ratio 1 in height: the first row closes its output row at once.
  QImage dest;
  ResampleBitmap(src, dest, 10, 90, kBack, [](int) { return false; });
  EXPECT_EQ(PixelAt(dest, 0, 0), MakeColor(3, 2, 1));
}

TEST(ResampleBitmap, ProgressCountsRowsToHundred)
{
  std::vector<int> calls;
  QImage dest;
  ResampleBitmap(RandomBitmap(20, 250, 13), dest, 7, 11, kBack, [&](int p) { calls.push_back(p); return true; });
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), 100);
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_GT(calls[i], calls[i - 1]);
}

TEST(ResampleBitmap, OddRequestsStaySafe)
{
  const QImage src = RandomBitmap(20, 40, 14);
  QImage dest;
  // Larger on one side only: the reduced side is averaged, nothing is read
  // or written outside the bitmaps.
  ResampleBitmap(src, dest, 50, 10, kBack);
  EXPECT_EQ(dest.size(), QSize(50, 10));
  ResampleBitmap(src, dest, 10, 4000, kBack);
  EXPECT_EQ(dest.size(), QSize(10, 4000));
  ResampleBitmap(src, dest, 0, 10, kBack);
  EXPECT_TRUE(dest.isNull());
  ResampleBitmap(QImage(), dest, 10, 10, kBack);
  EXPECT_TRUE(dest.isNull());

  // A source of another pixel format is read as 24 bits.
  const QImage argb = src.convertToFormat(QImage::Format_RGB32);
  QImage a, b;
  ResampleBitmap(argb, a, 7, 9, kBack);
  ResampleBitmap(src, b, 7, 9, kBack);
  EXPECT_TRUE(SamePixels(a, b));

  // The destination may be the source itself.
  QImage self = src;
  ResampleBitmap(self, self, 7, 9, kBack);
  EXPECT_TRUE(SamePixels(self, b));
}

TEST(RowResampler, TopDownAndBottomUpEqualTheWholeBitmapForm)
{
  uint32_t seed = 200;
  for (const TSizes& s : kCases) {
    SCOPED_TRACE(testing::Message() << s.W << "x" << s.H << " -> " << s.NW << "x" << s.NH);
    const QImage src = RandomBitmap(s.W, s.H, seed++);
    QImage whole;
    ResampleBitmap(src, whole, s.NW, s.NH, kBack);
    for (bool bottomUp : {false, true}) {
      SCOPED_TRACE(bottomUp);
      QImage dest;
      TRowResampler rows;
      ASSERT_TRUE(rows.Begin(dest, s.W, s.H, s.NW, s.NH, kBack, bottomUp));
      for (int k = 0; k < s.H; ++k) {
        const int y = bottomUp ? s.H - 1 - k : k;
        ASSERT_EQ(rows.NextRow(), y);
        EXPECT_TRUE(rows.AddRow(y, src.constScanLine(y)));
      }
      EXPECT_EQ(rows.NextRow(), -1);
      EXPECT_TRUE(SamePixels(dest, whole));
    }
  }
}

TEST(RowResampler, OutputRowsAppearAsSoonAsTheyAreClosed)
{
  // Thirds in height: the edge after source row 2 is only seen at row 3
  // (which gives it no share), so output row 0 is complete after four rows;
  // walking upwards, output row 2 is complete at row 6.
  const QImage src = Solid(6, 9, 9, 8, 7);
  for (bool bottomUp : {false, true}) {
    QImage dest;
    TRowResampler rows;
    ASSERT_TRUE(rows.Begin(dest, 6, 9, 2, 3, kBack, bottomUp));
    for (int k = 0; k < 4; ++k) rows.AddRow(rows.NextRow(), src.constScanLine(0));
    const int done = bottomUp ? 2 : 0, pending = bottomUp ? 0 : 2;
    EXPECT_EQ(PixelAt(dest, 1, done), MakeColor(7, 8, 9)) << bottomUp;
    EXPECT_EQ(PixelAt(dest, 1, 1), kBack) << bottomUp;
    EXPECT_EQ(PixelAt(dest, 1, pending), kBack) << bottomUp;
  }
}

TEST(RowResampler, CopiesWhenNothingIsReducedAndIgnoresStrayRows)
{
  const QImage src = RandomBitmap(13, 7, 15);
  QImage dest;
  TRowResampler rows;
  ASSERT_TRUE(rows.Begin(dest, 13, 7, 13, 7, kBack, true));
  EXPECT_TRUE(rows.Copying());
  EXPECT_FALSE(rows.AddRow(0, src.constScanLine(0)));  // bottom row expected first
  EXPECT_FALSE(rows.AddRow(99, src.constScanLine(0)));
  for (int y = 6; y >= 3; --y) rows.AddRow(y, src.constScanLine(y));
  EXPECT_EQ(PixelAt(dest, 4, 2), kBack);
  for (int y = 2; y >= 0; --y) rows.AddRow(y, src.constScanLine(y));
  EXPECT_TRUE(SamePixels(dest, src));

  EXPECT_FALSE(rows.Begin(dest, 0, 7, 1, 1, kBack));
  EXPECT_TRUE(dest.isNull());
  EXPECT_FALSE(rows.AddRow(0, src.constScanLine(0)));
  EXPECT_FALSE(rows.Begin(dest, 100000, 100000, 10, 10, kBack));  // refused before allocating
}

TEST(BitCount, PixelFormatsAndIconDirectory)
{
  EXPECT_EQ(BitmapBitCount(QImage()), 24);
  EXPECT_EQ(BitmapBitCount(QImage(2, 2, QImage::Format_Mono)), 1);
  EXPECT_EQ(BitmapBitCount(QImage(2, 2, QImage::Format_Indexed8)), 8);
  EXPECT_EQ(BitmapBitCount(QImage(2, 2, QImage::Format_Grayscale8)), 8);
  EXPECT_EQ(BitmapBitCount(QImage(2, 2, QImage::Format_RGB555)), 15);
  EXPECT_EQ(BitmapBitCount(QImage(2, 2, QImage::Format_RGB16)), 16);
  EXPECT_EQ(BitmapBitCount(QImage(2, 2, QImage::Format_BGR888)), 24);
  EXPECT_EQ(BitmapBitCount(QImage(2, 2, QImage::Format_ARGB32)), 32);
  EXPECT_EQ(BitmapBitCount(QImage(2, 2, QImage::Format_RGBA64)), 16);  // custom

  QByteArray ico(22, '\0');
  ico[8] = 2;
  EXPECT_EQ(IconBitCount(ico), 1);
  ico[8] = 16;
  EXPECT_EQ(IconBitCount(ico), 4);
  ico[8] = 0;
  EXPECT_EQ(IconBitCount(ico), 8);
  EXPECT_EQ(IconBitCount(QByteArray(8, '\x02')), 8);  // too short to hold the byte
}

TEST(RowResampler, LargeDestinationsBehaveLikeAnyBitmap)
{
  // Over 4 MB: the destination lives in its own block of memory.
  const QImage src = RandomBitmap(1501, 1000, 16);
  QImage dest;
  TRowResampler rows;
  ASSERT_TRUE(rows.Begin(dest, 1501, 1000, 1501, 1000, 0x0000FF));
  EXPECT_EQ(PixelAt(dest, 1500, 999), 0x0000FFu);
  for (int y = 0; y < 1000; ++y) rows.AddRow(y, src.constScanLine(y));
  EXPECT_TRUE(SamePixels(dest, src));
  QImage shared = dest;  // copies share, then part on the first write
  shared.scanLine(0)[0] ^= 1;
  EXPECT_TRUE(SamePixels(dest, src));
  dest = QImage();
  EXPECT_EQ(shared.width(), 1501);
}
