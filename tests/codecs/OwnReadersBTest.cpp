// Readers of Photo CD, Autodesk Animator, RLA/RPF and Dr. Halo CUT pictures.
#include "TestSupport.h"
#include "codecs/CodecTestUtil.h"
#include "codecs/OwnReadersBFiles.h"

#include <QDir>

#include <cstdlib>

namespace {

// Decodes with a progress callback that stops at its first call.
TDecodedImage DecodeStopped(TDecoderFn fn, const QByteArray& data, const QString& name = {})
{
  TDecodeOptions opt;
  int calls = 0;
  opt.Progress = [&calls](int) { ++calls; return false; };
  opt.FileName = name;
  TDecodedImage out;
  QString error;
  EXPECT_TRUE(fn(data, opt, out, error)) << error.toStdString();
  EXPECT_EQ(calls, 1);
  return out;
}

bool Near(uint32_t a, uint32_t b)
{
  for (int s = 0; s < 24; s += 8)
    if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > 1) return false;
  return true;
}

void ExpectFails(TDecoderFn fn, const QByteArray& data)
{
  TDecodedImage out;
  QString error;
  EXPECT_FALSE(fn(data, TDecodeOptions{}, out, error));
  EXPECT_FALSE(error.isEmpty());
}

std::vector<uint8_t> Indexes(int w, int h)
{
  std::vector<uint8_t> v;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) v.push_back(FixtureIndex(x, y));
  return v;
}

uint8_t Six(int v) { return uint8_t((v << 2) | (v >> 4)); }

}  // namespace

TEST(PcdReader, ConvertsBaseImageColoursSharingChromaPerBlock)
{
  auto luma = [](int x, int y) { return uint8_t((x + 3 * y) & 0xFF); };
  auto cb = [](int bx, int by) { return uint8_t((bx * 5 + by) & 0xFF); };
  auto cr = [](int bx, int by) { return uint8_t((bx + by * 7) & 0xFF); };
  const TDecodedImage img = DecodeOk(DecodePcd, MakePcd(0, luma, cb, cr));
  ASSERT_EQ(img.Bitmap.size(), QSize(768, 512));
  EXPECT_EQ(img.Width, 768);
  EXPECT_EQ(img.Height, 512);
  EXPECT_EQ(img.BitCount, 24);
  for (int y = 0; y < 512; y += 7)
    for (int x = 0; x < 768; x += 5)
      ASSERT_TRUE(Near(PixelAt(img.Bitmap, x, y), YccColour(luma(x, y), cb(x / 2, y / 2), cr(x / 2, y / 2))))
          << x << "," << y;
}

TEST(PcdReader, TurnsThePictureUpright)
{
  // A bright mark in the stored top-left corner; everything else dark.
  auto luma = [](int x, int y) { return uint8_t(x < 8 && y < 8 ? 200 : 20); };
  auto neutralB = [](int, int) { return uint8_t(156); };
  auto neutralR = [](int, int) { return uint8_t(137); };
  const QSize sizes[4] = {{768, 512}, {512, 768}, {768, 512}, {512, 768}};
  const QPoint marks[4] = {{0, 0}, {0, 767}, {767, 511}, {511, 0}};  // counter-clockwise turns
  for (int o = 0; o < 4; ++o) {
    SCOPED_TRACE(o);
    const TDecodedImage img = DecodeOk(DecodePcd, MakePcd(o | 0x40, luma, neutralB, neutralR));
    ASSERT_EQ(img.Bitmap.size(), sizes[o]);
    EXPECT_EQ(QSize(img.Width, img.Height), sizes[o]);
    EXPECT_TRUE(Near(PixelAt(img.Bitmap, marks[o].x(), marks[o].y()), YccColour(200, 156, 137)));
    EXPECT_TRUE(Near(PixelAt(img.Bitmap, sizes[o].width() / 2, sizes[o].height() / 2), YccColour(20, 156, 137)));
  }
}

TEST(PcdReader, RejectsForeignDamagedAndStopsCleanly)
{
  const QByteArray good = MakePcd(0, [](int, int) { return uint8_t(0); },
                                  [](int, int) { return uint8_t(156); }, [](int, int) { return uint8_t(137); });
  QByteArray foreign = good;
  foreign[0x803] = 'X';
  ExpectFails(DecodePcd, foreign);
  ExpectFails(DecodePcd, good.left(good.size() - 1));
  ExpectTruncationsHandled(DecodePcd, good, 0x30000);
  ExpectRandomDamageSurvived(DecodePcd, good, 30);

  const TDecodedImage part = DecodeStopped(DecodePcd, good);
  ASSERT_EQ(part.Bitmap.size(), QSize(768, 512));
  EXPECT_EQ(PixelAt(part.Bitmap, 5, 1), 0u);          // first row pair decoded (black)
  EXPECT_EQ(PixelAt(part.Bitmap, 5, 2), 0xFFFFFFu);   // the rest left white
}

TEST(AnimatorReader, AppliesSixBitPaletteWithAndWithoutHeader)
{
  std::vector<uint8_t> pal(768);
  for (int i = 0; i < 256; ++i)
    for (int c = 0; c < 3; ++c) pal[size_t(3 * i + c)] = FixturePaletteSix(i, c);
  auto expected = [&](uint8_t index) {
    return uint32_t(Six(pal[3u * index])) | uint32_t(Six(pal[3u * index + 1]) << 8) |
           uint32_t(Six(pal[3u * index + 2]) << 16);
  };

  const std::vector<uint8_t> px = Indexes(37, 23);
  const TDecodedImage cel = DecodeOk(DecodeAnimator, MakePic(37, 23, pal, px));
  ASSERT_EQ(cel.Bitmap.size(), QSize(37, 23));
  EXPECT_EQ(cel.BitCount, 8);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) ASSERT_EQ(PixelAt(cel.Bitmap, x, y), expected(FixtureIndex(x, y)));

  // Animator Pro: 8-bit colour map chunk, rows packed or padded to even length.
  std::vector<uint8_t> pal8(768);
  for (size_t i = 0; i < 768; ++i) pal8[i] = uint8_t(i * 5);
  for (int stride : {37, 38}) {
    const TDecodedImage pro = DecodeOk(DecodeAnimator, MakeProPic(37, 23, stride, pal8, px));
    ASSERT_EQ(pro.Bitmap.size(), QSize(37, 23));
    for (int y = 0; y < 23; y += 4)
      for (int x = 0; x < 37; ++x) {
        const unsigned i = FixtureIndex(x, y);
        ASSERT_EQ(PixelAt(pro.Bitmap, x, y), uint32_t(pal8[3 * i]) | uint32_t(pal8[3 * i + 1] << 8) | uint32_t(pal8[3 * i + 2] << 16));
      }
  }

  // Bare 320 × 200 screens, palette after (or before) the pixels.
  const std::vector<uint8_t> screen = Indexes(320, 200);
  const QByteArray pixels(reinterpret_cast<const char*>(screen.data()), 64000);
  const QByteArray palette(reinterpret_cast<const char*>(pal.data()), 768);
  for (const QByteArray& file : {pixels + palette, palette + QByteArray(64000, char(200))}) {
    const TDecodedImage bare = DecodeOk(DecodeAnimator, file);
    ASSERT_EQ(bare.Bitmap.size(), QSize(320, 200));
    EXPECT_EQ(PixelAt(bare.Bitmap, 319, 199), expected(file.startsWith(pixels) ? FixtureIndex(319, 199) : 200));
  }
}

TEST(AnimatorReader, RejectsForeignDamagedAndStopsCleanly)
{
  const QByteArray good = MakePic(20, 10, std::vector<uint8_t>(768, 10), std::vector<uint8_t>(200, 7));
  QByteArray bad = good;
  bad[0] = 0x20;
  ExpectFails(DecodeAnimator, bad);  // no magic and not a bare screen
  bad = good;
  bad[10] = 4;
  ExpectFails(DecodeAnimator, bad);  // depth
  bad = good;
  bad[11] = 1;
  ExpectFails(DecodeAnimator, bad);  // compression
  bad = good;
  bad[2] = 0;
  ExpectFails(DecodeAnimator, bad);  // no pixels
  ExpectFails(DecodeAnimator, QByteArray(64768, char(100)));  // bare screen without a 6-bit palette
  const QByteArray pro = MakeProPic(20, 10, 20, std::vector<uint8_t>(768, 10), std::vector<uint8_t>(200, 7));
  ExpectFails(DecodeAnimator, pro.left(pro.size() - 1));
  ExpectRandomDamageSurvived(DecodeAnimator, pro);
  ExpectTruncationsHandled(DecodeAnimator, good, 800);
  ExpectFails(DecodeAnimator, good.left(good.size() - 1));
  ExpectRandomDamageSurvived(DecodeAnimator, good);

  const TDecodedImage part = DecodeStopped(DecodeAnimator, good);
  EXPECT_EQ(PixelAt(part.Bitmap, 19, 0), 0x282828u);
  EXPECT_EQ(PixelAt(part.Bitmap, 0, 9), 0xFFFFFFu);
}

TEST(RlaReader, DecodesChannelsFromTheActiveWindowBottomUp)
{
  const QImage pic = RandomBitmap(33, 21, 7);
  QImage runs = pic.copy();
  for (int y = 0; y < 21; ++y)  // long equal stretches for repeat runs
    for (int x = 0; x < 33; ++x)
      if (y % 3 == 0 || x < 12) std::memset(runs.scanLine(y) + 3 * x, y * 11, 3);
  for (const QImage& src : {pic, runs}) {
    for (int bits : {8, 12, 16}) {
      SCOPED_TRACE(bits);
      const TDecodedImage img = DecodeOk(DecodeRla, MakeRla(src, 3, bits, 1));
      EXPECT_EQ(img.BitCount, 24);
      EXPECT_EQ(QSize(img.Width, img.Height), QSize(33, 21));
      EXPECT_TRUE(SamePixels(img.Bitmap, src));
    }
  }
  const TDecodedImage grey = DecodeOk(DecodeRla, MakeRla(pic, 1, 8, 0));
  const uint32_t red = PixelAt(pic, 4, 6) & 0xFF;
  EXPECT_EQ(PixelAt(grey.Bitmap, 4, 6), red | (red << 8) | (red << 16));
}

TEST(RlaReader, RejectsForeignDamagedAndStopsCleanly)
{
  const QImage pic = RandomBitmap(16, 9, 3);
  const QByteArray good = MakeRla(pic, 3, 8, 1);
  QByteArray bad = good;
  bad[20] = char(0x80);
  ExpectFails(DecodeRla, bad);  // negative channel count
  bad = good;
  bad[658 + 1] = 32;
  ExpectFails(DecodeRla, bad);  // float channels
  bad = good;
  bad[12] = 0x7F;  // active window bottom above its top
  ExpectFails(DecodeRla, bad);
  bad = good;
  bad[740] = 0x7F;  // first scan line offset beyond the file
  ExpectFails(DecodeRla, bad);
  ExpectFails(DecodeRla, good.left(good.size() - 10));  // into the top row's blue channel
  ExpectTruncationsHandled(DecodeRla, good, 740);
  ExpectRandomDamageSurvived(DecodeRla, good);

  const TDecodedImage part = DecodeStopped(DecodeRla, good);
  EXPECT_EQ(PixelAt(part.Bitmap, 3, 0), PixelAt(pic, 3, 0));  // top row first
  EXPECT_EQ(PixelAt(part.Bitmap, 3, 8), 0xFFFFFFu);
}

TEST(CutReader, ShowsIndexesAsGreyWithoutPalette)
{
  const std::vector<uint8_t> idx = Indexes(300, 30);  // rows longer than one run
  const TDecodedImage img = DecodeOk(DecodeCut, MakeCut(300, 30, idx));
  ASSERT_EQ(img.Bitmap.size(), QSize(300, 30));
  EXPECT_EQ(img.BitCount, 8);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 300; ++x) ASSERT_EQ(PixelAt(img.Bitmap, x, y), FixtureIndex(x, y) * 0x010101u);
}

TEST(CutReader, TakesColoursFromPaletteFileBeside)
{
  const QString dir = QDir::tempPath() + "/cut";
  ASSERT_TRUE(QDir().mkpath(dir));
  const QByteArray cut = MakeCut(40, 30, Indexes(40, 30));
  auto writeFile = [](const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
  };
  // 256 colours cross several 512-byte blocks; values up to 63.
  const QByteArray pal = MakeHaloPal(256, 63, [](int i) { return uint32_t(i % 64) | (uint32_t(63 - i % 64) << 10) | (32u << 20); });
  ASSERT_TRUE(writeFile(dir + "/Scan.cut", cut));
  ASSERT_TRUE(writeFile(dir + "/Scan.PAL", pal));
  TDecodeOptions opt;
  opt.FileName = dir + "/Scan.cut";
  TDecodedImage img;
  QString error;
  ASSERT_TRUE(DecodeCut(cut, opt, img, error)) << error.toStdString();
  for (int y = 0; y < 30; y += 3)
    for (int x = 0; x < 40; ++x) {
      const int i = FixtureIndex(x, y) % 64;
      const uint32_t r = uint32_t((i * 255 + 31) / 63), g = uint32_t(((63 - i) * 255 + 31) / 63);
      ASSERT_EQ(PixelAt(img.Bitmap, x, y), r | (g << 8) | (130u << 16)) << x << "," << y;
    }

  // A palette file of another kind leaves the grey ramp.
  ASSERT_TRUE(writeFile(dir + "/Scan.PAL", QByteArray(100, 'x')));
  ASSERT_TRUE(DecodeCut(cut, opt, img, error));
  EXPECT_EQ(PixelAt(img.Bitmap, 7, 3), FixtureIndex(7, 3) * 0x010101u);
}

TEST(CutReader, RejectsDamagedAndStopsCleanly)
{
  const QByteArray good = MakeCut(40, 30, Indexes(40, 30));
  QByteArray bad = good;
  bad[0] = bad[1] = 0;
  ExpectFails(DecodeCut, bad);  // no width
  bad = good;
  bad[3] = 0x7F;  // height far beyond the data
  ExpectFails(DecodeCut, bad);
  ExpectFails(DecodeCut, good.left(good.size() - 2));
  ExpectTruncationsHandled(DecodeCut, good, 6);
  ExpectRandomDamageSurvived(DecodeCut, good);

  const TDecodedImage part = DecodeStopped(DecodeCut, good);
  EXPECT_EQ(PixelAt(part.Bitmap, 39, 0), FixtureIndex(39, 0) * 0x010101u);
  EXPECT_EQ(PixelAt(part.Bitmap, 0, 1), 0xFFFFFFu);
}

TEST(OwnReadersBFixtures, CommittedFilesDecode)
{
  const TDecodedImage cut = DecodeOk(DecodeCut, ReadFixture(TestDataPath("cut/pattern.cut")));
  const TDecodedImage pic = DecodeOk(DecodeAnimator, ReadFixture(TestDataPath("pic/pattern.cel")));
  ASSERT_EQ(cut.Bitmap.size(), QSize(40, 30));
  ASSERT_EQ(pic.Bitmap.size(), QSize(40, 30));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const uint8_t i = FixtureIndex(x, y);
      ASSERT_EQ(PixelAt(cut.Bitmap, x, y), i * 0x010101u);
      ASSERT_EQ(PixelAt(pic.Bitmap, x, y), uint32_t(Six(FixturePaletteSix(i, 0))) |
                                               uint32_t(Six(FixturePaletteSix(i, 1)) << 8) |
                                               uint32_t(Six(FixturePaletteSix(i, 2)) << 16));
    }
  const TDecodedImage pro = DecodeOk(DecodeAnimator, ReadFixture(TestDataPath("pic/pro.pic")));
  ASSERT_EQ(pro.Bitmap.size(), QSize(41, 30));
  const unsigned i = FixtureIndex(40, 29);
  auto p8 = [](unsigned k) { return (k * 5) & 0xFFu; };  // its colour map
  EXPECT_EQ(PixelAt(pro.Bitmap, 40, 29), p8(3 * i) | (p8(3 * i + 1) << 8) | (p8(3 * i + 2) << 16));
  const TDecodedImage rla = DecodeOk(DecodeRla, ReadFixture(TestDataPath("rla/pattern.rla")));
  ASSERT_EQ(rla.Bitmap.size(), QSize(33, 21));
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 33; ++x) ASSERT_EQ(PixelAt(rla.Bitmap, x, y), FixtureRlaColour(x, y));
  const TDecodedImage pcd = DecodeOk(DecodePcd, ReadFixture(TestDataPath("pcd/pattern.pcd")));
  ASSERT_EQ(pcd.Bitmap.size(), QSize(768, 512));
  for (int y = 0; y < 512; y += 9)
    for (int x = 0; x < 768; x += 11)
      ASSERT_TRUE(Near(PixelAt(pcd.Bitmap, x, y), YccColour(FixturePcdLuma(x, y), 156, 137)));
}
