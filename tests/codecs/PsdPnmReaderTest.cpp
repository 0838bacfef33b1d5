// Photoshop and portable bitmap/graymap/pixmap readers: colour modes and
// depths, compression, header syntax, progressive rows and damaged files.
#include "OwnReadersAUtil.h"

namespace {

TBytes PsdFile(int channels, int w, int h, int depth, int mode, int compression, const QByteArray& image,
               const QByteArray& modeData = {}, int resourceBytes = 0, int layerBytes = 0)
{
  TBytes b;
  b.Raw("8BPS").U16BE(1).Fill(6, 0).U16BE(channels).U32BE(uint32_t(h)).U32BE(uint32_t(w));
  b.U16BE(depth).U16BE(mode);
  b.U32BE(uint32_t(modeData.size())).Raw(modeData);
  b.U32BE(uint32_t(resourceBytes)).Fill(resourceBytes, 0x42);
  b.U32BE(uint32_t(layerBytes)).Fill(layerBytes, 0x17);
  b.U16BE(compression).Raw(image);
  return b;
}

QByteArray Bytes(std::initializer_list<int> v)
{
  QByteArray a;
  for (int x : v) a.append(char(uint8_t(x)));
  return a;
}

// RGB 3 × 2 in PackBits with runs, literals and a no-op header, behind
// image resources and a layer section.
QByteArray PackBitsRgb()
{
  TBytes counts;
  for (int n : {2, 4, 4, 2, 2, 5}) counts.U16BE(n);
  const QByteArray rows = Bytes({0xFE, 200, 0x02, 1, 2, 3,          // red
                                 0x02, 10, 20, 30, 0xFE, 7,         // green
                                 0xFE, 0, 0x80, 0x02, 4, 5, 6});    // blue
  return PsdFile(3, 3, 2, 8, 3, 1, counts.Data() + rows, {}, 4, 8).Data();
}

}  // namespace

TEST(PsdReader, ReadsFixturesOfEveryMode)
{
  struct { const char* path; int bits; TPatternFn fn; } cases[] = {
      {"psd/rgb_rle.psd", 24, PatternColor}, {"psd/grey.psd", 8, GreyColor},
      {"psd/indexed.psd", 8, PatternColor},  {"psd/rgb16.psd", 24, PatternColor},
      {"psd/bitmap.psd", 1, MonoColor},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const TDecodedImage img = DecodeFixture(DecodePsd, c.path);
    EXPECT_EQ(img.BitCount, c.bits);
    ExpectPicture(img, kFixW, kFixH, c.fn);
  }
}

TEST(PsdReader, PackBitsCmykAndSixteenBitGrey)
{
  TDecodedImage img = DecodeOk(DecodePsd, PackBitsRgb());
  EXPECT_EQ(img.BitCount, 24);
  ASSERT_EQ(img.Bitmap.size(), QSize(3, 2));
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0x000AC8u);
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 0), 0x001EC8u);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 1), 0x040701u);
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 1), 0x060703u);

  // CMYK stores ink inverted: 0 is full ink. Full cyan, then full black.
  // A fifth (alpha) channel is ignored.
  img = DecodeOk(DecodePsd, PsdFile(5, 2, 1, 8, 4, 0, Bytes({0, 255, 255, 255, 255, 255, 255, 0, 9, 9})).Data());
  EXPECT_EQ(img.BitCount, 32);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0xFFFF00u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x000000u);
  // The same at 16 bits a channel.
  img = DecodeOk(DecodePsd, PsdFile(4, 2, 1, 16, 4, 0,
                                    Bytes({0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0}))
                                .Data());
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0xFFFF00u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x000000u);

  img = DecodeOk(DecodePsd, PsdFile(1, 3, 1, 16, 1, 0, Bytes({0, 0, 0x80, 0x80, 0xFF, 0xFF})).Data());
  EXPECT_EQ(img.BitCount, 8);
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0x000000u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x808080u);
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 0), 0xFFFFFFu);
}

TEST(PsdReader, RowsReachThePreviewOnlyWhenAllChannelsAreRead)
{
  TRecordingSink sink;
  std::vector<int> percents;
  TDecodeOptions opt;
  opt.Sink = &sink;
  opt.Progress = [&](int p) { percents.push_back(p); return true; };
  TDecodedImage out;
  QString error;
  ASSERT_TRUE(DecodePsd(PackBitsRgb(), opt, out, error));
  EXPECT_EQ(sink.Begins, 1);
  EXPECT_EQ(sink.Rows, (std::vector<int>{0, 1}));
  EXPECT_EQ(percents.back(), 100);

  // Stopping during the first channel: success, nothing composed yet.
  TRecordingSink none;
  TDecodedImage img = DecodeStoppingAfterFirstRow(DecodePsd, PackBitsRgb(), &none);
  EXPECT_TRUE(none.Rows.empty());
  EXPECT_EQ(RowsNotWhite(img.Bitmap), 0);
  // A one-channel picture stops with its first row done.
  TRecordingSink one;
  img = DecodeStoppingAfterFirstRow(DecodePsd, ReadFixture(TestDataPath("psd/grey.psd")), &one);
  EXPECT_EQ(one.Rows, std::vector<int>{0});
  EXPECT_EQ(RowsNotWhite(img.Bitmap), 1);
}

TEST(PsdReader, DamagedAndTruncatedFilesFail)
{
  const QByteArray px = Bytes({1, 2, 3, 4});
  EXPECT_TRUE(DecodeFails(DecodePsd, PsdFile(3, 2, 2, 8, 3, 2, px).Data()));   // zip compression
  EXPECT_TRUE(DecodeFails(DecodePsd, PsdFile(1, 2, 2, 8, 3, 0, px).Data()));   // too few channels
  EXPECT_TRUE(DecodeFails(DecodePsd, PsdFile(1, 2, 2, 8, 5, 0, px).Data()));   // unknown mode
  EXPECT_TRUE(DecodeFails(DecodePsd, PsdFile(1, 2, 2, 8, 2, 0, px).Data()));   // indexed without palette
  EXPECT_TRUE(DecodeFails(DecodePsd, PsdFile(1, 2, 2, 7, 1, 0, px).Data()));   // 7 bits
  EXPECT_TRUE(DecodeFails(DecodePsd, PsdFile(1, 0, 2, 8, 1, 0, px).Data()));   // no width
  EXPECT_TRUE(DecodeFails(DecodePsd, PsdFile(1, 60000, 60000, 8, 1, 0, px).Data()));  // far too little data
  QByteArray bad = PackBitsRgb();
  bad[4] = 9;  // version
  EXPECT_TRUE(DecodeFails(DecodePsd, bad));
  for (const char* f : {"psd/rgb_rle.psd", "psd/grey.psd", "psd/indexed.psd", "psd/rgb16.psd", "psd/bitmap.psd"}) {
    SCOPED_TRACE(f);
    const QByteArray data = ReadFixture(TestDataPath(f));
    ExpectTruncationsHandled(DecodePsd, data, 26);
    ExpectRandomDamageSurvived(DecodePsd, data);
  }
}

TEST(PnmReader, ReadsFixturesOfEveryKind)
{
  struct { const char* path; int bits; TPatternFn fn; } cases[] = {
      {"pnm/p1.pbm", 1, MonoColor},    {"pnm/p4.pbm", 1, MonoColor},   {"pnm/p2.pgm", 8, GreyColor},
      {"pnm/p5.pgm", 8, GreyColor},    {"pnm/p3.ppm", 24, PatternColor}, {"pnm/p6.ppm", 24, PatternColor},
      {"pnm/p6_16.ppm", 24, PatternColor},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const TDecodedImage img = DecodeFixture(DecodePnm, c.path);
    EXPECT_EQ(img.BitCount, c.bits);
    ExpectPicture(img, kFixW, kFixH, c.fn);
  }
}

TEST(PnmReader, CommentsOddMaximaAndPackedPlainBits)
{
  const uint32_t expect[3] = {0x000000, 0x808080, 0xFFFFFF};
  // Comments between every header field; 500 of 1000 rounds to 128.
  TDecodedImage img = DecodeOk(DecodePnm, "P2 # kind\n3# width\n# whole line\n 1\n#max\n1000\n0 500\n1000\n");
  ASSERT_EQ(img.Bitmap.size(), QSize(3, 1));
  EXPECT_EQ(img.BitCount, 8);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelAt(img.Bitmap, x, 0), expect[x]);
  // Raw with two bytes a sample, most significant first.
  img = DecodeOk(DecodePnm, QByteArray("P5\n3 1\n1000\n") + Bytes({0, 0, 0x01, 0xF4, 0x03, 0xE8}));
  for (int x = 0; x < 3; ++x) EXPECT_EQ(PixelAt(img.Bitmap, x, 0), expect[x]);
  // Maximum 1: two levels; a sample above the maximum counts as the maximum.
  img = DecodeOk(DecodePnm, "P3 2 1 1 0 1 0 7 7 7");
  EXPECT_EQ(PixelAt(img.Bitmap, 0, 0), 0x00FF00u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0xFFFFFFu);
  // Plain bits need no separators.
  img = DecodeOk(DecodePnm, "P1\n3 2\n010\n1 0 1");
  EXPECT_EQ(img.BitCount, 1);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 0), 0x000000u);
  EXPECT_EQ(PixelAt(img.Bitmap, 1, 1), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 1), 0x000000u);
}

TEST(PnmReader, ProgressStopsAfterOneRow)
{
  std::vector<int> percents;
  const TDecodedImage img =
      DecodeStoppingAfterFirstRow(DecodePnm, ReadFixture(TestDataPath("pnm/p6.ppm")), nullptr, &percents);
  EXPECT_EQ(percents, std::vector<int>{14});
  EXPECT_EQ(RowsNotWhite(img.Bitmap), 1);
  EXPECT_EQ(PixelAt(img.Bitmap, 2, 0), PatternColor(2, 0));
}

TEST(PnmReader, DamagedAndTruncatedFilesFail)
{
  for (const char* d : {"P5 2 2 0\n1234", "P5 2 2 70000\n12345678", "P7 2 2 255\n1234", "P5 0 2 255\n",
                        "P2 2 2 255 1 2 3", "P2 2 2 255 1 2 x 4", "P5 2 2 255", "P6 99999999999 1 255\n",
                        "P6 60000 60000 255\nabc", "P5 2 1 255\n1"}) {
    SCOPED_TRACE(d);
    EXPECT_TRUE(DecodeFails(DecodePnm, d));
  }
  for (const char* f : {"pnm/p1.pbm", "pnm/p2.pgm", "pnm/p3.ppm", "pnm/p4.pbm", "pnm/p5.pgm", "pnm/p6.ppm",
                        "pnm/p6_16.ppm"}) {
    SCOPED_TRACE(f);
    const QByteArray data = ReadFixture(TestDataPath(f));
    ExpectTruncationsHandled(DecodePnm, data, 8);
    ExpectRandomDamageSurvived(DecodePnm, data);
  }
}
