// Pictures stored turned (EXIF / TIFF orientation), in another colour space
// (an embedded ICC profile) or with transparency, written by the field's own
// tools (tests/data/make_colour_fixtures.sh) and compared with ImageMagick's
// own upright, sRGB, laid-on-white decoding of them.
#include "TestSupport.h"
#include "codecs/Codec.h"
#include "codecs/Exif.h"
#include "imagelib/ImageLoader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

struct TDiff {
  double Mean = 0;
  int Max = 0;
};

// Mean and largest channel difference of two 24-bit bitmaps of one size.
TDiff Difference(const QImage& a, const QImage& b)
{
  TDiff d;
  if (a.size() != b.size()) return TDiff{1e9, 1 << 20};
  const QImage x = a.convertToFormat(QImage::Format_BGR888), y = b.convertToFormat(QImage::Format_BGR888);
  int64_t sum = 0;
  for (int r = 0; r < x.height(); ++r) {
    const uint8_t* p = x.constScanLine(r);
    const uint8_t* q = y.constScanLine(r);
    for (int i = 0; i < 3 * x.width(); ++i) {
      const int v = std::abs(int(p[i]) - int(q[i]));
      sum += v;
      d.Max = std::max(d.Max, v);
    }
  }
  d.Mean = double(sum) / (3.0 * x.width() * x.height());
  return d;
}

QImage Reference(const QString& fixture)
{
  return QImage(TestDataPath(QStringLiteral("colour/%1.ref.ppm").arg(fixture))).convertToFormat(QImage::Format_BGR888);
}

QByteArray ReadAll(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

// Every orientation, JPEG and TIFF, through the whole-picture loader, the
// viewer's progressive loader at full size and fitted into a box that is
// not square: upright like ImageMagick's -auto-orient, with the upright size
// reported.
TEST(PictureOrientation, EveryOrientationComesUprightFromEveryLoader)
{
  for (const char* ext : {"jpg", "tif", "png", "webp"}) {
    for (int n = 1; n <= 8; ++n) {
      const QString name = QStringLiteral("orient_%1.%2").arg(n).arg(QLatin1String(ext));
      SCOPED_TRACE(name.toStdString());
      // The PNG and WebP files hold the JPEG's pixels as ImageMagick decoded them.
      const bool lossless = QLatin1String(ext) == QLatin1String("png") || QLatin1String(ext) == QLatin1String("webp");
      const QImage ref = Reference(lossless ? QStringLiteral("orient_%1.jpg").arg(n) : name);
      ASSERT_FALSE(ref.isNull());
      const QSize upright = n >= 5 ? QSize(32, 48) : QSize(48, 32);
      ASSERT_EQ(ref.size(), upright);
      const int tolerance = QLatin1String(ext) == QLatin1String("jpg") ? 3 : 0;

      QImage whole;
      int w = 0, h = 0;
      ASSERT_TRUE(LoadImageFile(TestDataPath("colour/" + name), whole, 100, 100, &w, &h));
      EXPECT_EQ(QSize(w, h), upright);
      EXPECT_LE(Difference(whole, ref).Max, tolerance);

      QImage preview;
      w = h = 0;
      ASSERT_TRUE(LoadPreviewFile(TestDataPath("colour/" + name), preview, nullptr, 0xFFFFFF, 0, 0, &w, &h, true));
      EXPECT_EQ(QSize(w, h), upright);
      EXPECT_LE(Difference(preview, ref).Max, tolerance);

      // Fitted into 40 × 20, the upright picture's fit, rows placed as they
      // come: the same as the reference reduced alike.
      QImage fitted, refFitted;
      ASSERT_TRUE(LoadPreviewFile(TestDataPath("colour/" + name), fitted, nullptr, 0xFFFFFF, 40, 20, &w, &h, false));
      EXPECT_EQ(fitted.size(), ShrinkToBox(upright.width(), upright.height(), 40, 20));
      ResampleBitmap(ref, refFitted, fitted.width(), fitted.height(), 0xFFFFFF);
      EXPECT_LE(Difference(fitted, refFitted).Max, tolerance + 2);
    }
  }
}

// The reduced path (power-of-two pre-reduction, resample, sharpen) turns the
// reduced picture: the result matches the upright reference reduced the
// same way (the reference is a PPM, read through the same loader).
TEST(PictureOrientation, ReducedPicturesAreTurnedAfterReduction)
{
  QTemporaryDir dir;
  for (int n : {3, 6, 8}) {
    const QString name = QStringLiteral("orient_%1.tif").arg(n);
    SCOPED_TRACE(name.toStdString());
    const QString refPath = dir.filePath(QStringLiteral("ref%1.ppm").arg(n));
    ASSERT_TRUE(Reference(name).save(refPath, "PPM"));
    QImage got, want;
    int w = 0, h = 0;
    ASSERT_TRUE(LoadImageFile(TestDataPath("colour/" + name), got, 14, 14, &w, &h));
    ASSERT_TRUE(LoadImageFile(refPath, want, 14, 14));
    EXPECT_EQ(QSize(w, h), n >= 5 ? QSize(32, 48) : QSize(48, 32));
    ASSERT_EQ(got.size(), want.size());
    EXPECT_LE(Difference(got, want).Mean, 4.0);
  }
}

// A photograph in Adobe RGB shows the colours ImageMagick gives it converted
// to sRGB; a damaged profile is passed over and the picture shown as stored.
TEST(PictureColour, ProfilesConvertToSrgbAndBrokenOnesAreIgnored)
{
  const QString path = TestDataPath("colour/adobe_rgb.jpg");
  const QImage ref = Reference("adobe_rgb.jpg");
  QImage got;
  ASSERT_TRUE(LoadImageFile(path, got, 500, 500));
  const TDiff converted = Difference(got, ref);

  QByteArray data = ReadAll(path);
  TDecodedImage raw;
  QString error;
  ASSERT_TRUE(DecodeJpeg(data, {}, raw, error));
  ASSERT_FALSE(raw.IccProfile.isEmpty());
  const TDiff unconverted = Difference(raw.Bitmap, ref);
  std::printf("Adobe RGB against ImageMagick's sRGB: converted mean %.2f max %d; unconverted mean %.2f max %d\n",
              converted.Mean, converted.Max, unconverted.Mean, unconverted.Max);
  EXPECT_LT(converted.Mean, 1.5);
  EXPECT_LE(converted.Max, 12);
  EXPECT_GT(unconverted.Mean, 5.0);

  QImage preview;
  ASSERT_TRUE(LoadPreviewFile(path, preview, nullptr, 0xFFFFFF, 0, 0, nullptr, nullptr, true));
  EXPECT_LT(Difference(preview, ref).Mean, 1.5);

  // A grey picture whose values are CIE L*: mid-grey 136 shows as 127.
  QImage grey;
  ASSERT_TRUE(LoadImageFile(TestDataPath("colour/grey_lstar.jpg"), grey, 100, 100));
  const TDiff greyDiff = Difference(grey, Reference("grey_lstar.jpg"));
  EXPECT_LE(greyDiff.Max, 2) << greyDiff.Mean;

  // The profile's signature "acsp" spoiled: no transform, the stored colours.
  const qsizetype sig = data.indexOf("acsp");
  ASSERT_GT(sig, 0);
  data[sig] = 'X';
  QTemporaryDir dir;
  const QString broken = dir.filePath("broken.jpg");
  QFile f(broken);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
  f.close();
  QImage shown;
  ASSERT_TRUE(LoadImageFile(broken, shown, 500, 500));
  EXPECT_EQ(Difference(shown, raw.Bitmap).Max, 0);
}

// A TIFF whose right half is transparent: laid on white for the viewer and
// the thumbnails, its alpha handed out to a caller that asks for it.
TEST(PictureAlpha, TransparencyIsLaidOnWhiteOrHandedOut)
{
  const QString path = TestDataPath("colour/half_alpha.tif");
  QImage onWhite, preview;
  ASSERT_TRUE(LoadImageFile(path, onWhite, 100, 100));
  EXPECT_EQ(Difference(onWhite, Reference("half_alpha.tif")).Max, 0);
  ASSERT_TRUE(LoadPreviewFile(path, preview, nullptr, 0xFFFFFF, 0, 0, nullptr, nullptr, true));
  EXPECT_EQ(Difference(preview, onWhite).Max, 0);

  QImage colour, alpha;
  ASSERT_TRUE(LoadImageFile(path, colour, 16, 16, nullptr, nullptr, nullptr, {}, {}, nullptr, &alpha));
  ASSERT_EQ(alpha.format(), QImage::Format_Grayscale8);
  ASSERT_EQ(alpha.size(), colour.size());
  EXPECT_EQ(colour.size(), QSize(16, 8));
  for (int x : {0, 5, 7}) EXPECT_EQ(alpha.constScanLine(4)[x], 255) << x;
  for (int x : {9, 12, 15}) EXPECT_EQ(alpha.constScanLine(4)[x], 0) << x;
  // The opaque half keeps its own colour up to the edge: transparent pixels
  // lend it nothing (orange is red 255, green 165, blue 0).
  EXPECT_EQ(PixelAt(colour, 7, 4), 0x00A5FFu);
}

// The metadata parsers on hand-made blocks: both byte orders, a tag of the
// wrong type, a directory running past the end; ICC chunks stored out of
// order are put together by their numbers, a missing one gives nothing.
TEST(PictureMetadata, ExifOrientationAndIccChunksAreReadWithinBounds)
{
  const QByteArray le = QByteArray::fromHex("49492a0008000000" "0100" "120103000100000006000000" "00000000");
  const QByteArray be = QByteArray::fromHex("4d4d002a00000008" "0001" "011200030000000100080000" "00000000");
  EXPECT_EQ(ExifOrientation(le), 6);
  EXPECT_EQ(ExifOrientation(be), 8);
  EXPECT_EQ(ExifOrientation(le.left(20)), 1);  // the entry cut short
  QByteArray wrong = le;
  wrong[10 + 2] = 2;  // ASCII instead of SHORT
  EXPECT_EQ(ExifOrientation(wrong), 1);
  QByteArray far = le;
  far[4] = char(0xF0);  // directory beyond the block
  EXPECT_EQ(ExifOrientation(far), 1);

  auto segment = [](uint8_t marker, const QByteArray& body) {
    QByteArray s;
    s += char(0xFF);
    s += char(marker);
    s += char((body.size() + 2) >> 8);
    s += char((body.size() + 2) & 0xFF);
    return s + body;
  };
  auto chunk = [&](int n, int of, const QByteArray& part) {
    return segment(0xE2, QByteArray("ICC_PROFILE", 12) + char(n) + char(of) + part);
  };
  const QByteArray soi = QByteArray::fromHex("ffd8"), sos = QByteArray::fromHex("ffda0002");
  const QByteArray jpeg = soi + segment(0xE1, QByteArray("Exif\0\0", 6) + le) + chunk(2, 3, "BB") +
                          chunk(1, 3, "AA") + chunk(3, 3, "CC") + sos;
  EXPECT_EQ(JpegIccProfile(jpeg), QByteArray("AABBCC"));
  EXPECT_EQ(ExifOrientation(JpegExifBlock(jpeg)), 6);
  EXPECT_TRUE(JpegIccProfile(soi + chunk(1, 3, "AA") + chunk(3, 3, "CC") + sos).isEmpty());
  EXPECT_TRUE(JpegIccProfile(soi + chunk(1, 2, "AA") + chunk(1, 2, "AA") + chunk(2, 2, "B") + sos).isEmpty());
  // Chunks after the image data are not looked for.
  EXPECT_TRUE(JpegIccProfile(soi + sos + chunk(1, 1, "AA")).isEmpty());
}
