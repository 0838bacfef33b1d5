#include "LibraryReaderSupport.h"

namespace {

int SosOffset(const QByteArray& jpeg) { return int(jpeg.indexOf(QByteArray("\xFF\xDA", 2))); }

TEST(JpegReader, DecodesColourBaselineAndProgressive)
{
  for (const char* name : {"jpeg/quad_37x23.jpg", "jpeg/quad_progressive.jpg", "jpeg/quad_cmyk.jpg"}) {
    SCOPED_TRACE(name);
    TDecodedImage out = DecodeOk(DecodeJpeg, Fixture(name));
    ASSERT_EQ(out.Bitmap.format(), QImage::Format_BGR888);
    EXPECT_EQ(out.Bitmap.size(), QSize(37, 23));
    EXPECT_EQ(out.Width, 37);
    EXPECT_EQ(out.Height, 23);
    EXPECT_EQ(out.BitCount, 24);
    ExpectQuadrants(out.Bitmap, 16);
  }
}

TEST(JpegReader, GreyscaleReportsEightBitsAndGreyPixels)
{
  TDecodedImage out = DecodeOk(DecodeJpeg, Fixture("jpeg/grey_16x8.jpg"));
  EXPECT_EQ(out.BitCount, 8);
  ASSERT_EQ(out.Bitmap.size(), QSize(16, 8));
  EXPECT_COLOR_NEAR(out.Bitmap, 2, 4, Rgb(40, 40, 40), 6);
  EXPECT_COLOR_NEAR(out.Bitmap, 13, 4, Rgb(200, 200, 200), 6);
  const uint8_t* p = out.Bitmap.constScanLine(3) + 3 * 5;
  EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]);
}

TEST(JpegReader, ScaledDecodingRoundsSizesUpAndKeepsStoredSize)
{
  const QByteArray data = Fixture("jpeg/quad_37x23.jpg");
  const struct { int denom; QSize size; } cases[] = {
      {1, {37, 23}}, {2, {19, 12}}, {4, {10, 6}}, {8, {5, 3}}, {3, {37, 23}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.denom);
    TDecodeOptions opt;
    opt.ScaleDenom = c.denom;
    TDecodedImage out;
    QString error;
    ASSERT_TRUE(DecodeJpeg(data, opt, out, error)) << error.toStdString();
    EXPECT_EQ(out.Bitmap.size(), c.size);
    EXPECT_EQ(out.Width, 37);
    EXPECT_EQ(out.Height, 23);
    if (c.denom <= 2) ExpectQuadrants(out.Bitmap, 24);
  }
}

TEST(JpegReader, ProgressReportsRisingPercentagesAndCanStop)
{
  const QByteArray data = Fixture("jpeg/quad_37x23.jpg");
  std::vector<int> seen;
  TDecodeOptions opt;
  opt.Progress = [&seen](int pct) { seen.push_back(pct); return true; };
  TDecodedImage out;
  QString error;
  ASSERT_TRUE(DecodeJpeg(data, opt, out, error));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);

  // Stopping after the first row is a success; the rest stays white.
  opt.Progress = [](int) { return false; };
  TDecodedImage stopped;
  ASSERT_TRUE(DecodeJpeg(data, opt, stopped, error));
  ASSERT_EQ(stopped.Bitmap.size(), QSize(37, 23));
  EXPECT_COLOR_NEAR(stopped.Bitmap, 5, 0, QuadColor(5, 0), 24);
  EXPECT_EQ(PixelAt(stopped.Bitmap, 5, 22), 0xFFFFFFu);
}

TEST(JpegReader, SinkReceivesEveryRowOnceInOrder)
{
  const QByteArray data = Fixture("jpeg/quad_37x23.jpg");
  const TDecodedImage plain = DecodeOk(DecodeJpeg, data);
  TRecordingSink sink;
  TDecodeOptions opt;
  opt.Sink = &sink;
  TDecodedImage out;
  QString error;
  ASSERT_TRUE(DecodeJpeg(data, opt, out, error));
  EXPECT_EQ(sink.Begins, 1);
  EXPECT_EQ(sink.Width, 37);
  EXPECT_EQ(sink.Height, 23);
  EXPECT_FALSE(sink.BottomUp);
  EXPECT_TRUE(sink.AllRowsInOrder());
  EXPECT_TRUE(SamePixels(sink.Picture, plain.Bitmap));
  EXPECT_EQ(out.Width, 37);
}

TEST(JpegReader, DamagedFilesFailCleanly)
{
  for (const char* name : {"jpeg/quad_37x23.jpg", "jpeg/quad_progressive.jpg", "jpeg/quad_cmyk.jpg"}) {
    SCOPED_TRACE(name);
    const QByteArray data = Fixture(name);
    ExpectTruncationsHandled(DecodeJpeg, data, SosOffset(data));
    ExpectRandomDamageSurvived(DecodeJpeg, data);
  }
  TDecodedImage out;
  QString error;
  EXPECT_FALSE(DecodeJpeg(QByteArray("not a picture at all"), TDecodeOptions{}, out, error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_TRUE(out.Bitmap.isNull());
}

TEST(JpegWriter, RoundTripKeepsPictureAndAcceptsOtherFormats)
{
  QImage src(40, 30, QImage::Format_BGR888);
  for (int y = 0; y < 30; ++y) {
    uint8_t* p = src.scanLine(y);
    for (int x = 0; x < 40; ++x, p += 3) { p[0] = uint8_t(x * 6); p[1] = uint8_t(y * 8); p[2] = 128; }
  }
  QByteArray bytes;
  QString error;
  ASSERT_TRUE(EncodeJpeg(src, bytes, error)) << error.toStdString();
  ASSERT_TRUE(bytes.startsWith("\xFF\xD8"));
  TDecodedImage back = DecodeOk(DecodeJpeg, bytes);
  ASSERT_EQ(back.Bitmap.size(), src.size());
  for (int y = 2; y < 30; y += 9)
    for (int x = 2; x < 40; x += 9) EXPECT_COLOR_NEAR(back.Bitmap, x, y, PixelAt(src, x, y), 12);

  // Higher quality gives a larger file; other pixel formats are converted.
  QByteArray best;
  ASSERT_TRUE(EncodeJpeg(src.convertToFormat(QImage::Format_RGB32), best, error, 100));
  EXPECT_GT(best.size(), bytes.size());
  EXPECT_FALSE(EncodeJpeg(QImage(), bytes, error));
}

}  // namespace
