// Windows bitmap and icon readers: the pixel formats, header kinds and
// compressions a user meets, and clean failure on damaged files.
#include "OwnReadersAUtil.h"

#include <QBuffer>

#include <cstdlib>

namespace {

// File header + 40-byte info header for w × h (negative h: top-down).
TBytes BmpHeaders(int w, int h, int bpp, uint32_t compression, int paletteEntries, int extraHeaderBytes = 0)
{
  TBytes b;
  const int off = 14 + 40 + extraHeaderBytes + 4 * paletteEntries;
  b.U8('B').U8('M').U32LE(0).U32LE(0).U32LE(uint32_t(off));
  b.U32LE(40).U32LE(uint32_t(w)).U32LE(uint32_t(h)).U16LE(1).U16LE(bpp).U32LE(compression);
  b.U32LE(0).U32LE(2835).U32LE(2835).U32LE(uint32_t(paletteEntries)).U32LE(0);
  return b;
}

uint32_t Rle4Color(int i) { return uint32_t(i * 16) | (uint32_t(255 - i * 16) << 8) | (uint32_t(i * 8) << 16); }

void ExpectNear(const TDecodedImage& img, TPatternFn fn, int tolerance)
{
  ASSERT_EQ(img.Bitmap.size(), QSize(kFixW, kFixH));
  for (int y = 0; y < kFixH; ++y)
    for (int x = 0; x < kFixW; ++x) {
      const uint32_t a = PixelAt(img.Bitmap, x, y), e = fn(x, y);
      for (int s = 0; s < 24; s += 8)
        ASSERT_LE(std::abs(int((a >> s) & 0xFF) - int((e >> s) & 0xFF)), tolerance) << x << "," << y;
    }
}

}  // namespace

TEST(BmpReader, ReadsFixturesOfEveryCommonDepth)
{
  struct { const char* path; int bits; TPatternFn fn; } cases[] = {
      {"bmp/rgb24.bmp", 24, PatternColor}, {"bmp/pal4.bmp", 4, PatternColor},
      {"bmp/rle8.bmp", 8, PatternColor},   {"bmp/mono.bmp", 1, MonoColor},
      {"bmp/argb32.bmp", 32, PatternColor},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const TDecodedImage img = DecodeFixture(DecodeBmp, c.path);
    EXPECT_EQ(img.BitCount, c.bits);
    ExpectPicture(img, kFixW, kFixH, c.fn);
  }
  // 5-6-5 bit fields lose the low bits of each channel.
  const TDecodedImage img = DecodeFixture(DecodeBmp, "bmp/rgb565.bmp");
  EXPECT_EQ(img.BitCount, 16);
  ExpectNear(img, PatternColor, 8);
}

TEST(BmpReader, Rle4WithRunsLiteralsAndDeltas)
{
  TBytes b = BmpHeaders(6, 3, 4, 2, 16);
  for (int i = 0; i < 16; ++i) b.Bgr(Rle4Color(i)).U8(0);
  // Bottom row: a run of one 1, then a literal 2,1,2,3,4 (padded); end of line.
  b.U8(1).U8(0x10).U8(0).U8(5).U8(0x21).U8(0x23).U8(0x40).U8(0).U8(0).U8(0);
  // Jump 3 right and 1 up: the middle row keeps colour 0; then a run of three 5s.
  b.U8(0).U8(2).U8(3).U8(1).U8(3).U8(0x55).U8(0).U8(1);
  const TDecodedImage img = DecodeOk(DecodeBmp, b.Data());
  ASSERT_EQ(img.Bitmap.size(), QSize(6, 3));
  EXPECT_EQ(img.BitCount, 4);
  const int expect[3][6] = {{0, 0, 0, 5, 5, 5}, {0, 0, 0, 0, 0, 0}, {1, 2, 1, 2, 3, 4}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(PixelAt(img.Bitmap, x, y), Rle4Color(expect[y][x])) << x << "," << y;
}

TEST(BmpReader, BitFieldsTopDownCoreHeaderAndPackedDib)
{
  // 32 bits with ten bits a channel, rows stored top-down.
  TBytes b = BmpHeaders(2, -2, 32, 3, 0, 12);
  b.U32LE(0x3FF00000).U32LE(0x000FFC00).U32LE(0x000003FF);
  b.U32LE(0x3FF00000).U32LE(0x000FFC00);   // red, green
  b.U32LE(0x000003FF).U32LE(512u << 20 | 512u << 10 | 512u);  // blue, mid grey
  TDecodedImage img = DecodeOk(DecodeBmp, b.Data());
  EXPECT_EQ(img.BitCount, 32);
  ASSERT_EQ(img.Bitmap.size(), QSize(2, 2));
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0x0000FFu);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x00FF00u);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 1), 0xFF0000u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 1), 0x808080u);

  // OS/2 core header: 16-bit sizes and three-byte palette entries.
  TBytes c;
  c.U8('B').U8('M').U32LE(0).U32LE(0).U32LE(14 + 12 + 3 * 256);
  c.U32LE(12).U16LE(3).U16LE(1).U16LE(1).U16LE(8);
  for (int i = 0; i < 256; ++i) c.U8(i).U8(255 - i).U8(7);
  c.U8(0).U8(1).U8(200).U8(0);
  img = DecodeOk(DecodeBmp, c.Data());
  EXPECT_EQ(img.BitCount, 8);
  ASSERT_EQ(img.Bitmap.size(), QSize(3, 1));
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 0), 0xC83707u);  // blue 200, green 55, red 7

  // The same picture as a packed DIB (no file header).
  img = DecodeOk(DecodeBmp, c.Data().mid(14));
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x01FE07u);
}

TEST(BmpReader, EmptyDamagedAndTruncatedFilesFail)
{
  for (auto wh : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
    TBytes b = BmpHeaders(wh.first, wh.second, 24, 0, 0);
    b.Fill(64, 0);
    EXPECT_TRUE(DecodeFails(DecodeBmp, b.Data()));
  }
  const QByteArray good = ReadFixture(TestDataPath("bmp/rgb24.bmp"));
  QByteArray bad = good;
  bad[14] = char(77);  // unknown header size
  EXPECT_TRUE(DecodeFails(DecodeBmp, bad));
  bad = good;
  bad[28] = char(7);  // 7 bits a pixel
  EXPECT_TRUE(DecodeFails(DecodeBmp, bad));
  EXPECT_TRUE(DecodeFails(DecodeBmp, good.left(good.size() - 10)));
  EXPECT_TRUE(DecodeFails(DecodeBmp, "GIF89a"));
  // Width × height that overflow 32 bits must be refused, not allocated.
  TBytes huge = BmpHeaders(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, 0);
  EXPECT_TRUE(DecodeFails(DecodeBmp, huge.Data()));

  for (const char* f : {"bmp/rgb24.bmp", "bmp/pal4.bmp", "bmp/rle8.bmp", "bmp/mono.bmp", "bmp/rgb565.bmp",
                        "bmp/argb32.bmp"}) {
    SCOPED_TRACE(f);
    const QByteArray data = ReadFixture(TestDataPath(f));
    ExpectTruncationsHandled(DecodeBmp, data, 54);
    ExpectRandomDamageSurvived(DecodeBmp, data);
  }
}

TEST(BmpReader, StopAfterFirstRowKeepsOneRow)
{
  const QByteArray data = ReadFixture(TestDataPath("bmp/rgb24.bmp"));
  std::vector<int> percents;
  const TDecodedImage img = DecodeStoppingAfterFirstRow(DecodeBmp, data, nullptr, &percents);
  ASSERT_EQ(percents.size(), 1u);
  EXPECT_EQ(RowsNotWhite(img.Bitmap), 1);
  // Bottom-up file: the one row decoded is the last one.
  EXPECT_EQ(PixelAt(img.Bitmap, 0, kFixH - 1), PatternColor(0, kFixH - 1));
}

TEST(IconReader, BitmapEntriesWithAlphaAndPalette)
{
  TDecodedImage img = DecodeFixture(DecodeIcon, "ico/alpha32.ico");
  EXPECT_EQ(img.BitCount, 32);
  // The top-left 3 × 2 pixels are transparent and come out white.
  ExpectPicture(img, kFixW, kFixH, [](int x, int y) { return x < 3 && y < 2 ? 0xFFFFFFu : PatternColor(x, y); });
  img = DecodeFixture(DecodeIcon, "ico/pal4.ico");
  EXPECT_EQ(img.BitCount, 4);
  ExpectPicture(img, kFixW, kFixH, PatternColor);
}

namespace {

TBytes IconDirectory(int w, int h, int bits, int bytes)
{
  TBytes b;
  b.U16LE(0).U16LE(1).U16LE(1);
  b.U8(w).U8(h).U8(bits <= 8 ? 1 << bits : 0).U8(0).U16LE(1).U16LE(bits).U32LE(uint32_t(bytes)).U32LE(22);
  return b;
}

}  // namespace

TEST(IconReader, AndMaskMakesWhiteAndPngEntriesAreFlattened)
{
  // 1-bit, 3 × 2: colours black/red; the AND mask hides pixel (2, 0).
  TBytes b = IconDirectory(3, 2, 1, 40 + 8 + 8 + 8);
  b.U32LE(40).U32LE(3).U32LE(4).U16LE(1).U16LE(1).U32LE(0).U32LE(0).U32LE(0).U32LE(0).U32LE(0).U32LE(0);
  b.U32LE(0x000000).U32LE(0x00FF0000u);  // black, red (bytes B, G, R, 0)
  b.U32LE(0xC0u).U32LE(0x20u);   // colour rows, bottom first: 1,1,0 / 0,0,1
  b.U32LE(0x00u).U32LE(0x20u);   // mask rows, bottom first: none / pixel 2
  TDecodedImage img = DecodeOk(DecodeIcon, b.Data());
  EXPECT_EQ(img.BitCount, 1);
  ASSERT_EQ(img.Bitmap.size(), QSize(3, 2));
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0x000000u);
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 0), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 1), 0x0000FFu);
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 1), 0x000000u);

  // PNG entry with a half-transparent red pixel.
  QImage png(2, 1, QImage::Format_ARGB32);
  png.setPixel(0, 0, qRgba(255, 0, 0, 128));
  png.setPixel(1, 0, qRgba(0, 0, 255, 255));
  QByteArray pngBytes;
  QBuffer buf(&pngBytes);
  buf.open(QIODevice::WriteOnly);
  ASSERT_TRUE(png.save(&buf, "PNG"));
  TBytes p = IconDirectory(2, 1, 32, int(pngBytes.size()));
  p.Raw(pngBytes);
  img = DecodeOk(DecodeIcon, p.Data());
  ASSERT_EQ(img.Bitmap.size(), QSize(2, 1));
  EXPECT_EQ(img.BitCount, 32);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0x7F7FFFu);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0xFF0000u);
}

TEST(IconReader, DamagedAndTruncatedIconsFail)
{
  const QByteArray good = ReadFixture(TestDataPath("ico/alpha32.ico"));
  QByteArray bad = good;
  bad[2] = 7;  // neither icon nor cursor
  EXPECT_TRUE(DecodeFails(DecodeIcon, bad));
  bad = good;
  bad[18] = char(0xFF);  // image offset far beyond the file
  EXPECT_TRUE(DecodeFails(DecodeIcon, bad));
  for (const char* f : {"ico/alpha32.ico", "ico/pal4.ico"}) {
    SCOPED_TRACE(f);
    const QByteArray data = ReadFixture(TestDataPath(f));
    ExpectTruncationsHandled(DecodeIcon, data, 22 + 40);
    ExpectRandomDamageSurvived(DecodeIcon, data);
  }
}
