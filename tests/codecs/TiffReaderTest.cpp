#include "LibraryReaderSupport.h"
#include "imagelib/PictureFinish.h"

namespace {

// Reads a binary P6 file with maxval 255 (the reference pictures here).
QImage ReadPpm(const QByteArray& data)
{
  QList<QByteArray> head;
  int pos = 0;
  while (head.size() < 4 && pos < data.size()) {
    while (pos < data.size() && QChar(data[pos]).isSpace()) ++pos;
    const int start = pos;
    while (pos < data.size() && !QChar(data[pos]).isSpace()) ++pos;
    head.append(data.mid(start, pos - start));
  }
  ++pos;
  if (head.size() < 4 || head[0] != "P6") return {};
  const int w = head[1].toInt(), h = head[2].toInt();
  if (data.size() - pos < w * h * 3) return {};
  QImage img(w, h, QImage::Format_BGR888);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = reinterpret_cast<const uint8_t*>(data.constData()) + pos + y * w * 3;
    uint8_t* dst = img.scanLine(y);
    for (int x = 0; x < w; ++x) { dst[3 * x] = src[3 * x + 2]; dst[3 * x + 1] = src[3 * x + 1]; dst[3 * x + 2] = src[3 * x]; }
  }
  return img;
}

void ExpectPattern(const QImage& img, int tol)
{
  ASSERT_EQ(img.size(), QSize(29, 17));
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 29; ++x) {
      if (tol == 0) ASSERT_EQ(PixelAt(img, x, y), PatternColor(x, y)) << x << "," << y;
      else ASSERT_TRUE(ColorNear(PixelAt(img, x, y), PatternColor(x, y), tol)) << x << "," << y;
    }
}

TEST(TiffReader, EveryCompressionAndLayoutGivesTheSamePixels)
{
  for (const char* name : {"tiff/rgb8_none.tif", "tiff/rgb8_lzw.tif", "tiff/rgb8_packbits.tif", "tiff/rgb8_deflate.tif",
                           "tiff/rgb8_tiled.tif", "tiff/rgb8_planar.tif", "tiff/rgb16.tif"}) {
    SCOPED_TRACE(name);
    const TDecodedImage out = DecodeOk(DecodeTiff, Fixture(name));
    EXPECT_EQ(out.Width, 29);
    EXPECT_EQ(out.Height, 17);
    EXPECT_EQ(out.BitCount, 24);
    ExpectPattern(out.Bitmap, 0);
  }
}

TEST(TiffReader, GreyBilevelAndPaletteReportTheirDepth)
{
  for (const char* name : {"tiff/grey8.tif", "tiff/grey16.tif"}) {
    SCOPED_TRACE(name);
    const TDecodedImage out = DecodeOk(DecodeTiff, Fixture(name));
    EXPECT_EQ(out.BitCount, 8);
    ASSERT_EQ(out.Bitmap.size(), QSize(16, 8));
    EXPECT_EQ(PixelAt(out.Bitmap, 7, 3), Rgb(40, 40, 40));
    EXPECT_EQ(PixelAt(out.Bitmap, 8, 3), Rgb(200, 200, 200));
  }
  // Both photometric senses of a bilevel picture show black where ink is.
  for (const char* name : {"tiff/bilevel_minisblack.tif", "tiff/bilevel_miniswhite.tif"}) {
    SCOPED_TRACE(name);
    const TDecodedImage out = DecodeOk(DecodeTiff, Fixture(name));
    EXPECT_EQ(out.BitCount, 1);
    ASSERT_EQ(out.Bitmap.size(), QSize(19, 7));
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 19; ++x)
        ASSERT_EQ(PixelAt(out.Bitmap, x, y), (x + y) % 3 == 0 ? 0u : 0xFFFFFFu) << x << "," << y;
  }
  const TDecodedImage p4 = DecodeOk(DecodeTiff, Fixture("tiff/palette4.tif"));
  EXPECT_EQ(p4.BitCount, 4);
  EXPECT_EQ(PixelAt(p4.Bitmap, 4, 0), Rgb(255, 255, 255));
  EXPECT_EQ(PixelAt(p4.Bitmap, 8, 0), Rgb(255, 0, 0));
  EXPECT_EQ(PixelAt(p4.Bitmap, 0, 8), Rgb(119, 0, 0));  // 16-bit colour map entry 30583
  const TDecodedImage p8 = DecodeOk(DecodeTiff, Fixture("tiff/palette8.tif"));
  EXPECT_EQ(p8.BitCount, 8);
  EXPECT_TRUE(SamePixels(p8.Bitmap, ReadPpm(Fixture("tiff/palette8_ref.ppm"))));
}

TEST(TiffReader, AlphaCmykAndYCbCrAreConverted)
{
  const TDecodedImage rgba = DecodeOk(DecodeTiff, Fixture("tiff/rgba8.tif"));
  EXPECT_EQ(rgba.BitCount, 32);
  ASSERT_EQ(rgba.Bitmap.size(), QSize(29, 17));
  // Half-transparent: the colour as it is, the alpha beside it.
  ASSERT_EQ(rgba.Alpha.size(), QSize(29, 17));
  for (int x : {0, 10, 28}) {
    EXPECT_COLOR_NEAR(rgba.Bitmap, x, 5, PatternColor(x, 5), 2);
    EXPECT_NEAR(rgba.Alpha.constScanLine(5)[x], 128, 1);
  }
  const TDecodedImage cmyk = DecodeOk(DecodeTiff, Fixture("tiff/cmyk8.tif"));
  EXPECT_EQ(cmyk.BitCount, 24);
  ExpectPattern(cmyk.Bitmap, 3);
  const TDecodedImage ycc = DecodeOk(DecodeTiff, Fixture("tiff/rgb8_jpeg_ycbcr.tif"));
  ASSERT_EQ(ycc.Bitmap.size(), QSize(37, 23));
  ExpectQuadrants(ycc.Bitmap, 16);
}

TEST(TiffReader, BottomUpPicturesAreTurnedUpright)
{
  // The reader hands the rows as stored with the orientation; the loaders
  // turn the picture.
  const TDecodedImage out = DecodeOk(DecodeTiff, Fixture("tiff/rgb8_bottomup.tif"));
  EXPECT_EQ(out.Orientation, 4);
  const QImage upright = OrientBitmap(out.Bitmap, out.Orientation);
  ASSERT_EQ(upright.size(), QSize(29, 17));
  for (int y : {0, 7, 16})
    for (int x : {0, 13, 28}) EXPECT_EQ(PixelAt(upright, x, y), PatternColor(x, 16 - y)) << x << "," << y;
}

TEST(TiffReader, SinkGetsEveryRowOnceForStripsTilesAndGeneralLayouts)
{
  for (const char* name : {"tiff/rgb8_lzw.tif", "tiff/rgb8_tiled.tif", "tiff/rgb8_planar.tif"}) {
    SCOPED_TRACE(name);
    const QByteArray data = Fixture(name);
    TRecordingSink sink;
    std::vector<int> seen;
    TDecodeOptions opt;
    opt.Sink = &sink;
    opt.Progress = [&seen](int pct) { seen.push_back(pct); return true; };
    TDecodedImage out;
    QString error;
    ASSERT_TRUE(DecodeTiff(data, opt, out, error)) << error.toStdString();
    EXPECT_EQ(sink.Begins, 1);
    EXPECT_TRUE(sink.AllRowsInOrder());
    ExpectPattern(sink.Picture, 0);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
  }
}

TEST(TiffReader, StopAfterTheFirstRowKeepsTheRestWhite)
{
  for (const char* name : {"tiff/rgb8_lzw.tif", "tiff/rgb8_tiled.tif", "tiff/rgb8_planar.tif"}) {
    SCOPED_TRACE(name);
    TDecodeOptions opt;
    opt.Progress = [](int) { return false; };
    TDecodedImage out;
    QString error;
    ASSERT_TRUE(DecodeTiff(Fixture(name), opt, out, error));
    ASSERT_EQ(out.Bitmap.size(), QSize(29, 17));
    EXPECT_EQ(PixelAt(out.Bitmap, 3, 0), PatternColor(3, 0));
    EXPECT_EQ(PixelAt(out.Bitmap, 3, 16), 0xFFFFFFu);
  }
}

TEST(TiffReader, DamagedFilesFailCleanly)
{
  for (const char* name : {"tiff/rgb8_lzw.tif", "tiff/rgb8_tiled.tif", "tiff/palette4.tif", "tiff/rgb8_jpeg_ycbcr.tif",
                           "tiff/bilevel_miniswhite.tif"}) {
    SCOPED_TRACE(name);
    const QByteArray data = Fixture(name);
    ExpectTruncationsHandled(DecodeTiff, data, 8);
    ExpectRandomDamageSurvived(DecodeTiff, data, 100);
  }
}

}  // namespace
