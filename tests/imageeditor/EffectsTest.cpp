#include <gtest/gtest.h>

#include "TestSupport.h"
#include "imageeditor/ReferenceEffects.h"
#include "imageeditor/effects/EffectSupport.h"
#include "imageeditor/effects/Effects.h"

#include <cmath>
#include <thread>
#include <vector>

namespace {

QImage Uniform(int w, int h, uint8_t b, uint8_t g, uint8_t r)
{
  QImage img(w, h, QImage::Format_BGR888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = img.scanLine(y) + 3 * x;
      p[0] = b, p[1] = g, p[2] = r;
    }
  return img;
}

uint32_t Grey(int v) { return uint32_t(v) * 0x010101u; }

// Records every percentage and answers false from the call numbered stopAt.
struct TRecorder {
  std::vector<int> seen;
  int stopAt = -1;
  TEffectProgress Callback()
  {
    return [this](int p) {
      seen.push_back(p);
      return int(seen.size()) != stopAt;
    };
  }
};

}  // namespace

TEST(ToneEffects, AdjustColorsBoundsAndNegative)
{
  const QImage src = RandomBitmap(31, 17, 1);
  QImage img = src.copy();
  // Unchanged brightness and contrast still bound 255 to 254.
  AdjustColors(img, 0, 0, 0, 0, 0, 0, false, false, false, false, false, 0, 0, 31, 17);
  for (int y = 0; y < 17; ++y)
    for (int i = 0; i < 93; ++i) {
      const int v = src.constScanLine(y)[i];
      ASSERT_EQ(img.constScanLine(y)[i], v == 255 ? 254 : v);
    }
  // Colour shift 0 with the negative: 255 → 1, 0 → 255.
  QImage bw = Uniform(2, 1, 255, 0, 255);
  AdjustColors(bw, 0, 0, 0, 0, 0, 0, false, true, false, false, false, 0, 0, 2, 1);
  EXPECT_EQ(PixelAt(bw, 0, 0), 0x01FF01u);
  // Contrast −100 gives the mean colour plus the offset.
  QImage flat = Uniform(2, 1, 10, 20, 30);
  ref::Px(flat, 1, 0)[0] = 20;
  AdjustColors(flat, 5, 0, 0, -100, -100, -100, false, false, false, false, false, 0, 0, 2, 1);
  EXPECT_EQ(PixelAt(flat, 0, 0), PixelAt(flat, 1, 0));
  EXPECT_EQ(PixelAt(flat, 1, 0), 0x0F1423u);  // blue 15, green 20, red 30 + 5
}

TEST(ToneEffects, AdjustColorsMatchesFormula)
{
  struct Case { int off[3], con[3]; bool gray, neg, zero[3]; int x1, y1, x2, y2; };
  const Case cases[] = {
      {{10, -20, 0}, {50, -30, 100}, false, false, {false, false, false}, 0, 0, 40, 30},
      {{0, 0, 0}, {0, 0, 0}, true, true, {true, false, false}, 30, 20, 3, 2},
      {{300, -300, 7}, {-150, 2000000000, -100}, false, true, {false, true, true}, -5, -5, 99, 99},
      {{0, 0, 0}, {20, 20, 20}, false, false, {false, false, false}, 4, 4, 4, 9}};
  for (const Case& k : cases) {
    QImage fast = RandomBitmap(37, 23, 2), slow = fast.copy();
    AdjustColors(fast, k.off[2], k.off[1], k.off[0], k.con[2], k.con[1], k.con[0], k.gray, k.neg,
                 k.zero[2], k.zero[1], k.zero[0], k.x1, k.y1, k.x2, k.y2);
    const int x1 = std::max(std::min(k.x1, k.x2), 0), x2 = std::min(std::max(k.x1, k.x2), 36);
    const int y1 = std::max(std::min(k.y1, k.y2), 0), y2 = std::min(std::max(k.y1, k.y2), 22);
    ref::AdjustColors(slow, k.off, k.con, k.gray, k.neg, k.zero, x1, y1, x2, y2);
    EXPECT_TRUE(SamePixels(fast, slow)) << k.x1 << "," << k.y1;
  }
  // A region beside the picture changes nothing.
  QImage img = RandomBitmap(5, 5, 3), before = img.copy();
  EXPECT_TRUE(AdjustColors(img, 9, 9, 9, 0, 0, 0, false, false, false, false, false, 10, 10, 20, 20));
  EXPECT_TRUE(SamePixels(img, before));
}

TEST(ToneEffects, SaturationThresholdSolarize)
{
  QImage img = Uniform(2, 1, 2, 2, 2);
  ref::Px(img, 1, 0)[0] = ref::Px(img, 1, 0)[1] = ref::Px(img, 1, 0)[2] = 255;
  AdjustSaturation(img, 0);  // level −100
  EXPECT_EQ(PixelAt(img, 0, 0), 0u);
  EXPECT_EQ(PixelAt(img, 1, 0), 0xFFFFFFu);

  const QImage src = RandomBitmap(19, 7, 4);
  for (int amount : {-5, 37, 100, 200}) {
    QImage s = src.copy();
    AdjustSaturation(s, amount);
    const int a = std::max(amount, 0);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 19; ++x) {
        const uint8_t* p = ref::Px(src, x, y);
        const int g = p[0] / 3 + p[1] / 3 + p[2] / 3;
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(ref::Px(s, x, y)[c], ref::Clamp(g + p[c] * a / 100 - g * a / 100));
      }
  }

  QImage t = RandomBitmap(9, 9, 5);
  ref::Px(t, 0, 0)[0] = ref::Px(t, 0, 0)[1] = ref::Px(t, 0, 0)[2] = 255;
  QImage all = t.copy();
  ApplyThreshold(all, 0);
  EXPECT_TRUE(SamePixels(all, Uniform(9, 9, 255, 255, 255)));
  ApplyThreshold(t, 255);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(PixelAt(t, x, y), x + y == 0 ? 0xFFFFFFu : 0u);

  QImage sol = Uniform(2, 1, 128, 129, 255);
  Solarize(sol);
  EXPECT_EQ(PixelAt(sol, 1, 0), 0x807E00u);
}

TEST(ToneEffects, NoiseGeneratorIsReproducible)
{
  // The generator from a fresh start: seed 0, seed × 134775813 + 1.
  SetRandomSeed(0);
  EXPECT_EQ(RandomBelow(1000), 0u);  // seed 1
  EXPECT_EQ(RandomSeed(), 1u);
  const uint32_t s2 = 134775813u + 1u;
  EXPECT_EQ(RandomBelow(1000), uint32_t(uint64_t(s2) * 1000 >> 32));
  EXPECT_EQ(RandomBelow(0), 0u);
  EXPECT_EQ(RandomSeed(), s2 * 134775813u + 1u);

  const QImage src = Uniform(23, 11, 128, 128, 128);
  for (bool colored : {false, true}) {
    SetRandomSeed(0);
    QImage a = src.copy();
    AddNoise(a, 80, colored);
    SetRandomSeed(0);
    QImage b = src.copy();
    AddNoise(b, 80, colored);
    EXPECT_TRUE(SamePixels(a, b));
    int lo = 255, hi = 0;
    for (int y = 0; y < 11; ++y)
      for (int i = 0; i < 69; ++i) {
        const uint8_t* p = a.constScanLine(y);
        lo = std::min<int>(lo, p[i]), hi = std::max<int>(hi, p[i]);
        if (!colored && i % 3) {
          ASSERT_EQ(p[i], p[i - i % 3]);  // one draw for all three
        }
      }
    EXPECT_EQ(lo, 128 - 40);
    EXPECT_EQ(hi, 128 + 39);
  }
  // Amount 1 changes nothing but still draws once per pixel.
  SetRandomSeed(0);
  QImage one = src.copy();
  AddNoise(one, 1, false);
  EXPECT_TRUE(SamePixels(one, src));
  const uint32_t after = RandomSeed();
  SetRandomSeed(0);
  for (int i = 0; i < 23 * 11; ++i) RandomBelow(1);
  EXPECT_EQ(after, RandomSeed());
  QImage neg = src.copy();
  EXPECT_TRUE(AddNoise(neg, -1, true));  // counts as unsigned: no overflow
}

TEST(NeighbourEffects, InnerFiltersMatchFormula)
{
  for (QSize size : {QSize(29, 13), QSize(3, 3), QSize(2, 9), QSize(40, 1)}) {
    const QImage src = RandomBitmap(size.width(), size.height(), 6);
    for (int what = 1; what <= 4; ++what) {
      QImage img = src.copy();
      if (what <= 2) SharpenLine(img, what);
      else EdgeSketch(img, what == 4);
      EXPECT_TRUE(SamePixels(img, ref::InnerFilter(src, what))) << what;
    }
  }
  QImage u = Uniform(8, 6, 90, 40, 200);
  SharpenLine(u, 1);
  EXPECT_TRUE(SamePixels(u, Uniform(8, 6, 90, 40, 200)));
  QImage sk = Uniform(6, 6, 90, 40, 200);
  EdgeSketch(sk, false);
  EXPECT_EQ(PixelAt(sk, 0, 0), 0x5A28C8u);  // the border keeps its value
  EXPECT_EQ(PixelAt(sk, 3, 3), 0xFFFFFFu);
}

TEST(NeighbourEffects, EmbossMatchesFormulaAndMirrors)
{
  // Pictures narrower and lower than the depth, and wide ones whose inner
  // columns run in long stretches.
  for (QSize size : {QSize(21, 14), QSize(67, 40), QSize(5, 3), QSize(1, 9), QSize(16, 1)}) {
    const QImage src = RandomBitmap(size.width(), size.height(), 7);
    for (int depth : {1, 2, 4, 9, 15})
      for (int dir = 1; dir <= 8; ++dir) {
        QImage img = src.copy();
        Emboss(img, depth, dir);
        ASSERT_TRUE(SamePixels(img, ref::Emboss(src, depth, dir)))
            << size.width() << "x" << size.height() << " " << depth << " " << dir;
      }
  }
  QImage flat = Uniform(5, 5, 3, 99, 250);
  Emboss(flat, 7, 3);
  EXPECT_TRUE(SamePixels(flat, Uniform(5, 5, 127, 127, 127)));
  // Values below 128 keep the differences inside the clamp: 1 and 5 sum to 254.
  QImage dark = RandomBitmap(12, 9, 8);
  for (int y = 0; y < 9; ++y)
    for (int i = 0; i < 36; ++i) dark.scanLine(y)[i] &= 0x7F;
  QImage a = dark.copy(), b = dark.copy();
  Emboss(a, 3, 1);
  Emboss(b, 3, 5);
  for (int y = 0; y < 9; ++y)
    for (int i = 0; i < 36; ++i) ASSERT_EQ(a.constScanLine(y)[i] + b.constScanLine(y)[i], 254);
}

TEST(NeighbourEffects, MotionBlurMatchesFormula)
{
  for (QSize size : {QSize(33, 19), QSize(1, 7), QSize(9, 1), QSize(70, 45)}) {
    const QImage src = RandomBitmap(size.width(), size.height(), 9);
    for (int level : {0, 1, 5, 32, 255})
      for (int dir = 1; dir <= 8; ++dir) {
        QImage img = src.copy();
        MotionBlur(img, level, dir);
        ASSERT_TRUE(SamePixels(img, ref::MotionBlur(src, level, dir)))
            << size.width() << "x" << size.height() << " " << level << " " << dir;
      }
  }
  // Trails of more than 4096 pixels.
  for (QSize size : {QSize(4200, 2), QSize(2, 4200)}) {
    const QImage src = RandomBitmap(size.width(), size.height(), 19);
    for (int dir = 1; dir <= 8; ++dir) {
      QImage img = src.copy();
      MotionBlur(img, 5000, dir);
      ASSERT_TRUE(SamePixels(img, ref::MotionBlur(src, 5000, dir))) << size.width() << " " << dir;
    }
  }
  // The first column moving left has nothing to average with.
  const QImage src = RandomBitmap(6, 4, 10);
  QImage img = src.copy();
  MotionBlur(img, 4, 8);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(PixelAt(img, 0, y), PixelAt(src, 0, y));
}

TEST(RankFilter, MatchesLiteralWindows)
{
  // Odd sizes, one row, one column, blocks larger than the picture across,
  // down and both ways, several bands and stripes; with the AVX2 versions
  // where the processor has them, with the SSE2 ones and on threads.
  struct Case { int w, h, sx, sy; };
  for (const Case& k : {Case{37, 23, 3, 3}, Case{41, 29, 32, 32}, Case{17, 31, 4, 7}, Case{7, 5, 0, 0},
                        Case{1, 13, 5, 2}, Case{13, 1, 6, 6}, Case{9, 8, 100, 3}, Case{11, 6, 2, 40},
                        Case{5, 3, 64, 64}, Case{1, 1, 3, 3}, Case{67, 35, 1, 4},
                        Case{230, 80, 32, 32}, Case{450, 70, 2, 9}}) {
    const QImage src = RandomBitmap(k.w, k.h, uint32_t(k.w * 100 + k.sx));
    for (int kind = 1; kind <= 3; ++kind) {
      const QImage expected = ref::RankFilter(src, k.sx, k.sy, kind);
      for (int mode = 0; mode < 3; ++mode) {  // AVX2, SSE2, three bands of rows on threads
        effects_detail::baselineVectorsOnly = mode == 1;
        effects_detail::bandsOverride = mode == 2 ? 3 : 0;
        QImage img = src.copy();
        RankFilter(img, k.sx, k.sy, kind);
        effects_detail::baselineVectorsOnly = false;
        effects_detail::bandsOverride = 0;
        ASSERT_TRUE(SamePixels(img, expected)) << k.w << "x" << k.h << " size " << k.sx << ","
                                               << k.sy << " kind " << kind << " mode " << mode;
      }
    }
  }
  // Runs of equal values stress the lazy histogram slices.
  QImage bands = RandomBitmap(45, 20, 11);
  for (int y = 0; y < 20; ++y)
    for (int i = 0; i < 135; ++i) bands.scanLine(y)[i] = uint8_t(bands.scanLine(y)[i] < 128 ? 16 : 200);
  QImage img = bands.copy();
  RankFilter(img, 8, 8, rkMedian);
  EXPECT_TRUE(SamePixels(img, ref::RankFilter(bands, 8, 8, rkMedian)));
}

TEST(RankFilter, EdgesOfTheWindow)
{
  // Median of a uniform grey: the zeros of the cut-off window halve the last
  // column and row and zero the corner.
  QImage g = Uniform(8, 6, 100, 100, 100);
  RankFilter(g, 3, 3, rkMedian);
  EXPECT_EQ(PixelAt(g, 3, 2), Grey(100));
  EXPECT_EQ(PixelAt(g, 7, 2), Grey(50));
  EXPECT_EQ(PixelAt(g, 3, 5), Grey(50));
  EXPECT_EQ(PixelAt(g, 7, 5), 0u);
  // Maximum spreads one bright pixel over px − 2 … px + 1.
  QImage m = Uniform(10, 10, 0, 0, 0);
  ref::Px(m, 5, 5)[1] = 255;
  RankFilter(m, 3, 3, rkMaximum);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(PixelAt(m, x, y), x >= 3 && x <= 6 && y >= 3 && y <= 6 ? 0xFF00u : 0u);

  uint8_t a[] = {9, 3, 7, 1, 3, 8, 0, 5};
  EXPECT_EQ(MiddleValue(a, 7), (3 + 5) / 2);
  EXPECT_TRUE(std::is_sorted(std::begin(a), std::end(a)));
  uint8_t b[] = {4, 9, 1};
  EXPECT_EQ(MiddleValue(b, 2), (4 + 1) / 2);  // two middle entries even for an odd count
  EXPECT_EQ(MiddleValue(b, 0), 1);
}

TEST(TileEffects, MosaicBlocks)
{
  QImage img = RandomBitmap(12, 7, 12);
  QImage whole = img.copy();
  Mosaic(whole, 50, 50);
  int64_t sum = 0;
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 12; ++x) sum += ref::Px(img, x, y)[0];
  EXPECT_EQ(ref::Px(whole, 11, 6)[0], sum / 84);
  EXPECT_EQ(PixelAt(whole, 0, 0), PixelAt(whole, 11, 6));

  TRecorder rec;
  Mosaic(img, 5, 5, rec.Callback());
  EXPECT_EQ(rec.seen, (std::vector<int>{0, 50, 100}));
  EXPECT_EQ(PixelAt(img, 10, 0), PixelAt(img, 11, 4));  // last block: two columns wide
  EXPECT_NE(PixelAt(img, 9, 0), PixelAt(img, 10, 0));
}

TEST(TileEffects, Grid3DValues)
{
  QImage g = Uniform(40, 30, 100, 100, 100);
  Grid3D(g, 5, 4, 64, 64);
  EXPECT_EQ(PixelAt(g, 0, 0), Grey(228));
  EXPECT_EQ(PixelAt(g, 0, 2), Grey(164));
  EXPECT_EQ(PixelAt(g, 3, 0), Grey(164));
  EXPECT_EQ(PixelAt(g, 0, 4), Grey(100));
  EXPECT_EQ(PixelAt(g, 5, 0), Grey(36));
  EXPECT_EQ(PixelAt(g, 5, 4), Grey(36));
  EXPECT_EQ(PixelAt(g, 2, 4), Grey(36));
  EXPECT_EQ(PixelAt(g, 6, 2), Grey(100));
  EXPECT_EQ(PixelAt(g, 2, 6), Grey(100));
  EXPECT_EQ(PixelAt(g, 8, 7), Grey(228));  // the next cell
  QImage white = Uniform(9, 9, 250, 250, 250);
  Grid3D(white, 3, 3, 64, 64);
  EXPECT_EQ(PixelAt(white, 0, 3), Grey(191));
  const QImage src = RandomBitmap(35, 26, 13);
  for (auto [w, h] : {std::pair{1, 1}, {4, 6}, {40, 2}, {1000, 1000}}) {
    QImage img = src.copy();
    Grid3D(img, w, h, 64, 64);
    EXPECT_TRUE(SamePixels(img, ref::Grid3D(src, w, h, 64, 64))) << w << "x" << h;
  }
}

TEST(TileEffects, SplashNeighbours)
{
  const QImage src = RandomBitmap(15, 11, 14);
  QImage a = src.copy(), b = src.copy();
  Splash(a, 1);
  Splash(b, 8);
  QImage c = src.copy();
  Splash(c, 8);
  EXPECT_FALSE(SamePixels(b, c));  // reseeded from the clock
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 15; ++x) {
      const uint32_t v = PixelAt(a, x, y);
      bool found = false;
      for (int dy = 0; dy <= 1; ++dy)
        for (int dx = 0; dx <= 1; ++dx)
          found = found || v == PixelAt(src, std::min(x + dx, 14), std::min(y + dy, 10));
      ASSERT_TRUE(found) << x << "," << y;
    }
}

TEST(TileEffects, SplashMatchesFormula)
{
  // The run's starting seed comes from the clock; the seed it leaves behind
  // gives it back.
  for (QSize size : {QSize(41, 29), QSize(1, 6), QSize(7, 1), QSize(3, 3)})
    for (int level : {-3, 0, 1, 2, 9, 40, 2000000000}) {
      const QImage src = RandomBitmap(size.width(), size.height(), 20);
      QImage img = src.copy();
      Splash(img, level);
      const uint32_t start =
          ref::RewindSeed(RandomSeed(), int64_t(2) * size.width() * size.height());
      ASSERT_TRUE(SamePixels(img, ref::Splash(src, level, start)))
          << size.width() << "x" << size.height() << " " << level;
    }
}

TEST(TileEffects, BilinearSamplingWraps)
{
  QImage src(5, 3, QImage::Format_BGR888);
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 15; ++i) src.scanLine(y)[i] = uint8_t(10 * (i / 3) + 100 * y);
  auto at = [&](float x, float y) {
    uint8_t o[3];
    BilinearSample(src, x, y, o);
    return int(o[0]);
  };
  EXPECT_EQ(at(2, 1), 120);
  EXPECT_EQ(at(2.5f, 0), 25);    // 25 exactly
  EXPECT_EQ(at(1.25f, 0), 12);   // 12.5: ties go to the even neighbour
  EXPECT_EQ(at(-0.25f, 0), 8);   // 7.5; below 0 the weights are swapped: 0.25 and 0.75
  EXPECT_EQ(at(-1.5f, 0), 35);   // −1 wraps to W − 2: columns 3 and 4
  EXPECT_EQ(at(-5.5f, 0), 20);   // −W wraps to W − 1: columns 4 and 0
  EXPECT_EQ(at(7, 0), 20);       // 7 mod 5
  EXPECT_EQ(at(4.5f, 0), 20);    // column W − 1 pairs with column 0: 40·0.5 + 0·0.5
  for (float far : {3e9f, -3e9f, 1e30f, -1e38f, INFINITY, NAN}) {
    const int v = at(far, far);
    EXPECT_TRUE(v >= 0 && v <= 255);
  }
}

TEST(TileEffects, FisheyeAndTwistGeometry)
{
  const QImage src = RandomBitmap(9, 7, 15);
  // Fisheye: the centre (4.5, 3.5) lies between pixels; the pixel at the
  // centre of an even-sized picture samples the centre exactly.
  const QImage even = RandomBitmap(8, 6, 16);
  QImage dst = even.copy();
  Fisheye(even, dst, 1.29L);
  EXPECT_EQ(PixelAt(dst, 4, 3), PixelAt(even, 4, 3));
  // R equal to a pixel's distance, and far beyond, still completes.
  for (long double k : {0.125L, 0.001L, 0.0L, 100.0L}) {  // 0.125: R = 1, the distance of (5, 3)
    QImage d = even.copy();
    EXPECT_TRUE(Fisheye(even, d, k));
  }
  // Twist with a huge level turns by a quarter: right of the centre takes
  // the pixel below it.
  QImage tw = src.copy();
  Twist(src, tw, 1000000000);
  EXPECT_EQ(PixelAt(tw, 4, 3), PixelAt(src, 4, 3));
  EXPECT_EQ(PixelAt(tw, 5, 3), PixelAt(src, 4, 4));
  EXPECT_EQ(PixelAt(tw, 4, 2), PixelAt(src, 5, 3));
  QImage zero = src.copy();
  EXPECT_TRUE(Twist(src, zero, 0));
  EXPECT_FLOAT_EQ(AngleOf(0, 2), 1.5707964f);
  EXPECT_FLOAT_EQ(AngleOf(0, -2), -1.5707964f);
  EXPECT_FLOAT_EQ(AngleOf(-1, 0), 3.1415927f);
  EXPECT_FLOAT_EQ(AngleOf(-1, -1), 3.1415927f + std::atan(1.0f));
}

TEST(TileEffects, DistortionsMatchFormula)
{
  // Odd and even sizes, lenses whose edge R falls inside the picture (far
  // samples wrap), and swirls of every strength; with the AVX2 sampling
  // where the processor has it, with the SSE2 one and on threads.
  for (QSize size : {QSize(37, 23), QSize(24, 31), QSize(1, 5), QSize(6, 1), QSize(2, 2),
                     QSize(19, 530), QSize(75, 40)}) {
    const QImage src = RandomBitmap(size.width(), size.height(), 21);
    for (int mode = 0; mode < 3; ++mode) {  // AVX2, SSE2, three bands of rows on threads
      effects_detail::baselineVectorsOnly = mode == 1;
      effects_detail::bandsOverride = mode == 2 ? 3 : 0;
      for (long double k : {1.353L, 1.29L, 0.66L, 0.3L, 0.125L, 0.0L, 40.0L}) {
        QImage dst = src.copy();
        Fisheye(src, dst, k);
        ASSERT_TRUE(SamePixels(dst, ref::Fisheye(src, k)))
            << size.width() << "x" << size.height() << " " << double(k) << " mode " << mode;
      }
      for (int level : {1, 3, 10, 100, -7, 0}) {
        QImage dst = src.copy();
        Twist(src, dst, level);
        ASSERT_TRUE(SamePixels(dst, ref::Twist(src, level)))
            << size.width() << "x" << size.height() << " " << level << " mode " << mode;
      }
      effects_detail::baselineVectorsOnly = false;
      effects_detail::bandsOverride = 0;
    }
  }
}

TEST(TileEffects, DistortionsStopAfterTheReportedRow)
{
  const QImage src = RandomBitmap(23, 300, 22);
  for (bool twist : {false, true}) {
    const QImage blank = Uniform(23, 300, 1, 2, 3);
    QImage full = blank.copy(), part = blank.copy();
    auto run = [&](QImage& dst, const TEffectProgress& p) {
      return twist ? Twist(src, dst, 50, p) : Fisheye(src, dst, 1.29L, p);
    };
    TRecorder all, stop;
    EXPECT_TRUE(run(full, all.Callback()));
    stop.stopAt = 3;
    EXPECT_FALSE(run(part, stop.Callback()));
    ASSERT_EQ(all.seen.size(), 300u);
    EXPECT_EQ(all.seen[150], 150 * 100 / 299);
    EXPECT_EQ(stop.seen.size(), 3u);
    EXPECT_TRUE(SamePixels(part.copy(0, 0, 23, 3), full.copy(0, 0, 23, 3)));
    EXPECT_TRUE(SamePixels(part.copy(0, 3, 23, 297), blank.copy(0, 3, 23, 297)));
  }
}

TEST(EffectProgress, BandsOnThreadsReportInOrderAndStop)
{
  // Rows done by other threads are still reported one by one, in order,
  // from the calling thread; a stop ends the run with the rows reported so
  // far finished.
  const QImage src = RandomBitmap(23, 300, 23);
  using TRun = std::function<bool(QImage&, const TEffectProgress&)>;
  const TRun runs[] = {
      [&](QImage& i, const TEffectProgress& p) { return Twist(src, i, 50, p); },
      [](QImage& i, const TEffectProgress& p) { return RankFilter(i, 20, 20, rkMedian, p); },
      [](QImage& i, const TEffectProgress& p) { return RankFilter(i, 3, 3, rkMedian, p); }};
  effects_detail::bandsOverride = 4;
  const std::thread::id caller = std::this_thread::get_id();
  for (const TRun& run : runs) {
    TRecorder all;
    QImage full = src.copy();
    bool onCaller = true;
    EXPECT_TRUE(run(full, [&](int p) {
      onCaller = onCaller && std::this_thread::get_id() == caller;
      return all.Callback()(p);
    }));
    ASSERT_EQ(all.seen.size(), 300u);
    for (int y = 0; y < 300; ++y) ASSERT_EQ(all.seen[y], y * 100 / 299);
    EXPECT_TRUE(onCaller);
    for (int stopAt : {3, 150}) {
      TRecorder stop;
      stop.stopAt = stopAt;
      QImage part = src.copy();
      EXPECT_FALSE(run(part, stop.Callback()));
      EXPECT_EQ(stop.seen.size(), size_t(stopAt));
      EXPECT_TRUE(SamePixels(part.copy(0, 0, 23, stopAt), full.copy(0, 0, 23, stopAt)));
    }
  }
  effects_detail::bandsOverride = 0;
}

TEST(EffectProgress, PercentagesStopsAndOneRow)
{
  const QImage src = RandomBitmap(13, 5, 17);
  // Rows: i × 100 div (H − 1); inner rows: i × 100 div (H − 2) from i = 1.
  TRecorder rows, inner;
  QImage a = src.copy(), b = src.copy();
  Solarize(a, rows.Callback());
  EdgeSketch(b, true, inner.Callback());
  EXPECT_EQ(rows.seen, (std::vector<int>{0, 25, 50, 75, 100}));
  EXPECT_EQ(inner.seen, (std::vector<int>{33, 66, 100}));

  // A stop after the first row leaves the other rows as they were.
  using TRun = std::function<bool(QImage&, const TEffectProgress&)>;
  const TRun runs[] = {
      [](QImage& i, const TEffectProgress& p) { return Solarize(i, p); },
      [](QImage& i, const TEffectProgress& p) { return Emboss(i, 4, 2, p); },
      [](QImage& i, const TEffectProgress& p) { return MotionBlur(i, 3, 6, p); },
      [](QImage& i, const TEffectProgress& p) { return RankFilter(i, 3, 3, rkMedian, p); },
      [](QImage& i, const TEffectProgress& p) { return RankFilter(i, 3, 3, rkMinimum, p); },
      [](QImage& i, const TEffectProgress& p) { return Splash(i, 2, p); },
      [](QImage& i, const TEffectProgress& p) { return AddNoise(i, 50, true, p); }};
  for (const TRun& run : runs) {
    TRecorder stop;
    stop.stopAt = 1;
    QImage img = src.copy();
    EXPECT_FALSE(run(img, stop.Callback()));
    EXPECT_EQ(stop.seen.size(), 1u);
    EXPECT_TRUE(SamePixels(img.copy(0, 1, 13, 4), src.copy(0, 1, 13, 4)));
    QImage full = src.copy();
    EXPECT_TRUE(run(full, {}));
    if (&run != &runs[5] && &run != &runs[6]) {  // random ones draw differently
      EXPECT_TRUE(SamePixels(img.copy(0, 0, 13, 1), full.copy(0, 0, 13, 1)));
    }
  }

  // One row: reported once as 100, processed completely.
  const QImage line = RandomBitmap(11, 1, 18);
  TRecorder once;
  QImage m = line.copy();
  EXPECT_TRUE(MotionBlur(m, 2, 4, once.Callback()));
  EXPECT_EQ(once.seen, (std::vector<int>{100}));
  EXPECT_TRUE(SamePixels(m, ref::MotionBlur(line, 2, 4)));
  QImage r = line.copy();
  RankFilter(r, 3, 3, rkMaximum);
  EXPECT_TRUE(SamePixels(r, ref::RankFilter(line, 3, 3, 1)));
  TRecorder single;
  QImage mo = line.copy();
  Mosaic(mo, 20, 1, single.Callback());
  EXPECT_EQ(single.seen, (std::vector<int>{100}));
}
