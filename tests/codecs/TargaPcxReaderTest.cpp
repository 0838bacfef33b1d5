// Targa and PCX readers: pixel formats, row order and orientation, the
// progressive rows and progress, and clean failure on damaged files.
#include "OwnReadersAUtil.h"

namespace {

TBytes TgaHeader(int type, int depth, int w, int h, int descriptor, int mapType = 0, int mapFirst = 0,
                 int mapLength = 0, int mapBits = 0, int idLength = 0)
{
  TBytes b;
  b.U8(idLength).U8(mapType).U8(type).U16LE(mapFirst).U16LE(mapLength).U8(mapBits);
  b.U16LE(0).U16LE(0).U16LE(w).U16LE(h).U8(depth).U8(descriptor);
  return b;
}

uint16_t Pack555(int r, int g, int b) { return uint16_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)); }

const char* const kTgaFixtures[] = {"tga/rgb24.tga", "tga/rle24.tga", "tga/pal8.tga",
                                    "tga/palrle8.tga", "tga/grey8.tga", "tga/greyrle.tga"};
const char* const kPcxFixtures[] = {"pcx/mono.pcx", "pcx/ega4planes.pcx", "pcx/packed4.pcx",
                                    "pcx/vga8.pcx", "pcx/rgb24.pcx"};

}  // namespace

TEST(TargaReader, ReadsFixturesOfEveryKind)
{
  struct { const char* path; int bits; TPatternFn fn; } cases[] = {
      {"tga/rgb24.tga", 24, PatternColor}, {"tga/rle24.tga", 24, PatternColor},
      {"tga/pal8.tga", 8, PatternColor},   {"tga/grey8.tga", 8, GreyColor},
      {"tga/greyrle.tga", 8, GreyColor},   {"tga/palrle8.tga", 8, PatternColor},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const TDecodedImage img = DecodeFixture(DecodeTarga, c.path);
    EXPECT_EQ(img.BitCount, c.bits);
    ExpectPicture(img, kFixW, kFixH, c.fn);
  }
}

TEST(TargaReader, FifteenBitTopDownRightToLeft)
{
  // 3 × 2, stored from the top row and from the right, with an image ID.
  TBytes b = TgaHeader(2, 15, 3, 2, 0x30, 0, 0, 0, 0, 4);
  b.Raw("ABCD");
  b.U16LE(Pack555(255, 0, 0)).U16LE(Pack555(0, 255, 0)).U16LE(Pack555(0, 0, 255));
  b.U16LE(Pack555(0, 0, 0)).U16LE(Pack555(255, 255, 255)).U16LE(Pack555(8, 16, 24));
  const TDecodedImage img = DecodeOk(DecodeTarga, b.Data());
  EXPECT_EQ(img.BitCount, 15);
  ASSERT_EQ(img.Bitmap.size(), QSize(3, 2));
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 0), 0x0000FFu);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x00FF00u);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0xFF0000u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 1), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 1), 0x181008u);  // 5-bit levels 1, 2, 3 widened

  // 32 bits: the alpha byte is not part of the colour.
  TBytes c = TgaHeader(2, 32, 1, 1, 0x28);
  c.U8(10).U8(20).U8(30).U8(0);
  const TDecodedImage rgba = DecodeOk(DecodeTarga, c.Data());
  EXPECT_EQ(rgba.BitCount, 32);
  EXPECT_EQ(PixelAt(rgba.Bitmap, 0, 0), 0x0A141Eu);
}

TEST(TargaReader, ColourMappedWithOffsetMapAndRunsAcrossRows)
{
  // Type 1, 16-bit indices into a 15-bit map whose first entry is 10.
  TBytes b = TgaHeader(1, 16, 2, 1, 0x20, 1, 10, 2, 16);
  b.U16LE(Pack555(255, 0, 0)).U16LE(Pack555(0, 0, 255));
  b.U16LE(11).U16LE(10);
  TDecodedImage img = DecodeOk(DecodeTarga, b.Data());
  EXPECT_EQ(img.BitCount, 16);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0xFF0000u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x0000FFu);

  // Type 9, 3 × 2, top-down: a run of four crosses into the second row,
  // then two literal pixels; an index outside the map shows black.
  TBytes c = TgaHeader(9, 8, 3, 2, 0x20, 1, 0, 3, 24);
  c.Bgr(0x0000FF).Bgr(0x00FF00).Bgr(0xFF0000);
  c.U8(0x83).U8(1).U8(0x01).U8(2).U8(200);
  img = DecodeOk(DecodeTarga, c.Data());
  EXPECT_EQ(img.BitCount, 8);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelAt(img.Bitmap, x, 0), 0x00FF00u);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 1), 0x00FF00u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 1), 0xFF0000u);
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 1), 0x000000u);
}

TEST(TargaReader, BottomUpFilesFillThePreviewUpwardsWithNegativeProgress)
{
  const QByteArray data = ReadFixture(TestDataPath("tga/rle24.tga"));
  TRecordingSink sink;
  std::vector<int> percents;
  TDecodeOptions opt;
  opt.Sink = &sink;
  opt.Progress = [&](int p) { percents.push_back(p); return true; };
  TDecodedImage out;
  QString error;
  ASSERT_TRUE(DecodeTarga(data, opt, out, error));
  EXPECT_EQ(sink.Begins, 1);
  EXPECT_TRUE(sink.BottomUp);
  EXPECT_EQ(sink.Rows, (std::vector<int>{6, 5, 4, 3, 2, 1, 0}));
  ASSERT_EQ(percents.size(), 7u);
  EXPECT_EQ(percents.front(), -14);
  EXPECT_EQ(percents.back(), -100);

  // Top-down file: positive progress, rows from the top.
  TBytes b = TgaHeader(3, 8, 2, 2, 0x20);
  b.U8(1).U8(2).U8(3).U8(4);
  TRecordingSink down;
  percents.clear();
  opt.Sink = &down;
  ASSERT_TRUE(DecodeTarga(b.Data(), opt, out, error));
  EXPECT_FALSE(down.BottomUp);
  EXPECT_EQ(down.Rows, (std::vector<int>{0, 1}));
  EXPECT_EQ(percents, (std::vector<int>{50, 100}));
}

TEST(TargaReader, StopAfterFirstRow)
{
  TRecordingSink sink;
  std::vector<int> percents;
  const TDecodedImage img =
      DecodeStoppingAfterFirstRow(DecodeTarga, ReadFixture(TestDataPath("tga/rgb24.tga")), &sink, &percents);
  EXPECT_EQ(sink.Rows, std::vector<int>{kFixH - 1});
  EXPECT_EQ(percents, std::vector<int>{-14});
  EXPECT_EQ(RowsNotWhite(img.Bitmap), 1);
  EXPECT_EQ(PixelAt(img.Bitmap, 3, kFixH - 1), PatternColor(3, kFixH - 1));
}

TEST(TargaReader, DamagedAndTruncatedFilesFail)
{
  EXPECT_TRUE(DecodeFails(DecodeTarga, TgaHeader(5, 24, 2, 2, 0).Data() + QByteArray(12, 0)));  // unknown type
  EXPECT_TRUE(DecodeFails(DecodeTarga, TgaHeader(2, 12, 2, 2, 0).Data() + QByteArray(12, 0)));  // bad depth
  EXPECT_TRUE(DecodeFails(DecodeTarga, TgaHeader(1, 8, 2, 2, 0).Data() + QByteArray(12, 0)));   // no map
  EXPECT_TRUE(DecodeFails(DecodeTarga, TgaHeader(2, 24, 0, 2, 0).Data() + QByteArray(12, 0)));  // no width
  // A huge picture in a tiny file is refused before anything is allocated.
  EXPECT_TRUE(DecodeFails(DecodeTarga, TgaHeader(10, 32, 65535, 65535, 0).Data() + QByteArray(12, 0)));
  // Runs that end early.
  TBytes b = TgaHeader(10, 24, 200, 2, 0);
  b.U8(0xFF).Bgr(1).U8(0xFF).Bgr(2);
  EXPECT_TRUE(DecodeFails(DecodeTarga, b.Data()));
  for (const char* f : kTgaFixtures) {
    SCOPED_TRACE(f);
    const QByteArray data = ReadFixture(TestDataPath(f));
    ExpectTruncationsHandled(DecodeTarga, data, 18);
    ExpectRandomDamageSurvived(DecodeTarga, data);
  }
}

namespace {

TBytes PcxHeader(int bits, int planes, int w, int h, int bytesPerLine, bool rle = true,
                 const std::vector<uint32_t>& palette = {})
{
  TBytes b;
  b.U8(0x0A).U8(5).U8(rle ? 1 : 0).U8(bits).U16LE(0).U16LE(0).U16LE(w - 1).U16LE(h - 1).U16LE(72).U16LE(72);
  for (int i = 0; i < 16; ++i) {
    const uint32_t c = i < int(palette.size()) ? palette[size_t(i)] : 0;
    b.U8(int(c & 0xFF)).U8(int(c >> 8)).U8(int(c >> 16));
  }
  b.U8(0).U8(planes).U16LE(bytesPerLine).U16LE(1).U16LE(0).U16LE(0).Fill(54, 0);
  return b;
}

}  // namespace

TEST(PcxReader, ReadsFixturesOfEveryKind)
{
  struct { const char* path; int bits; TPatternFn fn; } cases[] = {
      {"pcx/mono.pcx", 1, MonoColor},    {"pcx/ega4planes.pcx", 4, PatternColor},
      {"pcx/packed4.pcx", 4, PatternColor}, {"pcx/vga8.pcx", 8, PatternColor},
      {"pcx/rgb24.pcx", 24, PatternColor},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const TDecodedImage img = DecodeFixture(DecodePcx, c.path);
    EXPECT_EQ(img.BitCount, c.bits);
    ExpectPicture(img, kFixW, kFixH, c.fn);
  }
}

TEST(PcxReader, TwoBitOddLinePaddingRunsAcrossLinesAndGreyWithoutPalette)
{
  // 2 bits, 3 × 1, four header colours.
  TBytes b = PcxHeader(2, 1, 3, 1, 1, true, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000});
  b.U8(0xC1).U8(0x1B);  // 00 01 10 11
  TDecodedImage img = DecodeOk(DecodePcx, b.Data());
  EXPECT_EQ(img.BitCount, 4);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0x000000u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x0000FFu);
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 0), 0x00FF00u);

  // 24 bits, 2 × 2, three bytes a plane line (one of padding); one run
  // covers the end of the first line and the start of the second.
  TBytes c = PcxHeader(8, 3, 2, 2, 3);
  c.U8(10).U8(20).U8(99);             // red line
  c.U8(30).U8(40).U8(99);             // green line
  c.U8(50).U8(60);                    // blue line ...
  c.U8(0xC3).U8(0xC5);                // ... padding, then red 0xC5, 0xC5 of row 2
  c.U8(0xC1).U8(0xC0);                // padding 0xC0 (needs a run of one)
  c.U8(1).U8(2).U8(0).U8(3).U8(4).U8(0);
  img = DecodeOk(DecodePcx, c.Data());
  EXPECT_EQ(img.BitCount, 24);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0x321E0Au);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x3C2814u);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 1), 0x0301C5u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 1), 0x0402C5u);

  // 8 bits with no palette block at the end: grey levels, uncompressed.
  TBytes d = PcxHeader(8, 1, 2, 1, 2, false);
  d.U8(0x40).U8(0xF0);
  img = DecodeOk(DecodePcx, d.Data());
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0x404040u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0xF0F0F0u);
}

TEST(PcxReader, RowsGoToThePreviewAndStopAfterOneRow)
{
  const QByteArray data = ReadFixture(TestDataPath("pcx/vga8.pcx"));
  TRecordingSink sink;
  TDecodeOptions opt;
  opt.Sink = &sink;
  TDecodedImage out;
  QString error;
  ASSERT_TRUE(DecodePcx(data, opt, out, error));
  EXPECT_FALSE(sink.BottomUp);
  EXPECT_EQ(sink.Rows, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(sink.LastRow.size(), size_t(3 * kFixW));
  EXPECT_EQ(sink.LastRow[0], uint8_t(PatternColor(0, 6) >> 16));

  TRecordingSink one;
  const TDecodedImage img = DecodeStoppingAfterFirstRow(DecodePcx, data, &one);
  EXPECT_EQ(one.Rows, std::vector<int>{0});
  EXPECT_EQ(RowsNotWhite(img.Bitmap), 1);
}

TEST(PcxReader, DamagedAndTruncatedFilesFail)
{
  EXPECT_TRUE(DecodeFails(DecodePcx, PcxHeader(3, 1, 4, 4, 2).Data() + QByteArray(64, 0)));  // 3 bits
  EXPECT_TRUE(DecodeFails(DecodePcx, PcxHeader(8, 1, 40, 4, 2).Data() + QByteArray(64, 0))); // short lines
  QByteArray bad = ReadFixture(TestDataPath("pcx/rgb24.pcx"));
  bad[0] = 0x0B;
  EXPECT_TRUE(DecodeFails(DecodePcx, bad));
  bad = ReadFixture(TestDataPath("pcx/rgb24.pcx"));
  bad[8] = 0; bad[9] = 0; bad[4] = 5;  // right edge left of the left edge
  EXPECT_TRUE(DecodeFails(DecodePcx, bad));
  for (const char* f : kPcxFixtures) {
    SCOPED_TRACE(f);
    const QByteArray data = ReadFixture(TestDataPath(f));
    ExpectTruncationsHandled(DecodePcx, data, 128);
    ExpectRandomDamageSurvived(DecodePcx, data);
  }
}
