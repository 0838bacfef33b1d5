#include "LibraryReaderSupport.h"

#include <QTemporaryDir>

namespace {

// Both fixtures draw a red square over the left half and a blue rectangle
// over the lower right quarter of a 96 × 48 picture.
void ExpectRects(const TDecodedImage& out)
{
  EXPECT_EQ(out.Width, 96);
  EXPECT_EQ(out.Height, 48);
  EXPECT_EQ(out.BitCount, 24);
  ASSERT_EQ(out.Bitmap.size(), QSize(96, 48));
  EXPECT_COLOR_NEAR(out.Bitmap, 12, 24, Rgb(255, 0, 0), 8);
  EXPECT_COLOR_NEAR(out.Bitmap, 72, 36, Rgb(0, 0, 255), 8);
  EXPECT_COLOR_NEAR(out.Bitmap, 72, 12, Rgb(255, 255, 255), 8);
}

TEST(MetafileReader, DrawsWmfAndEmfAtTheirOwnSize)
{
  ExpectRects(DecodeOk(DecodeWmf, Fixture("wmf/rects_96x48.wmf")));
  ExpectRects(DecodeOk(DecodeEmf, Fixture("emf/rects_96x48.emf")));
}

TEST(MetafileReader, RecordsRunningPastTheEndAreRefused)
{
  QByteArray wmf = Fixture("wmf/rects_96x48.wmf");
  wmf[22 + 18] = char(0x7F);  // first record claims far more words than there are
  TDecodedImage out;
  QString error;
  EXPECT_FALSE(DecodeWmf(wmf, TDecodeOptions{}, out, error));
  EXPECT_FALSE(error.isEmpty());

  QByteArray emf = Fixture("emf/rects_96x48.emf");
  emf[88 + 4] = char(0xF0);
  error.clear();
  EXPECT_FALSE(DecodeEmf(emf, TDecodeOptions{}, out, error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_TRUE(out.Bitmap.isNull());
}

TEST(MetafileReader, OversizedDrawingsAreRefused)
{
  QByteArray wmf = Fixture("wmf/rects_96x48.wmf");
  wmf[14] = 1;  // one unit per inch: 1000 × 500 inches
  wmf[15] = 0;
  TDecodedImage out;
  QString error;
  EXPECT_FALSE(DecodeWmf(wmf, TDecodeOptions{}, out, error));
  EXPECT_TRUE(error.contains("too large"));

  QByteArray emf = Fixture("emf/rects_96x48.emf");
  emf[24 + 10] = char(0x7F);  // frame right edge far away
  EXPECT_FALSE(DecodeEmf(emf, TDecodeOptions{}, out, error));
}

TEST(MetafileReader, DamagedFilesFailCleanly)
{
  const QByteArray wmf = Fixture("wmf/rects_96x48.wmf");
  ExpectTruncationsHandled(DecodeWmf, wmf, 40);
  ExpectRandomDamageSurvived(DecodeWmf, wmf, 100);
  const QByteArray emf = Fixture("emf/rects_96x48.emf");
  ExpectTruncationsHandled(DecodeEmf, emf, 88);
  ExpectRandomDamageSurvived(DecodeEmf, emf, 100);
}

}  // namespace

namespace {

TEST(MetafileReader, HeaderRecordSizeIsNotTrusted)
{
  // The header claims a largest record of 3 GB; the records themselves are small.
  TDecodedImage out;
  QString error;
  EXPECT_TRUE(DecodeWmf(Fixture("wmf/regress_huge_max_record.wmf"), TDecodeOptions{}, out, error))
      << error.toStdString();
}

}  // namespace

namespace {

TEST(MetafileReader, EmfHeaderPointersOutsideTheHeaderAreIgnored)
{
  QByteArray emf = Fixture("emf/rects_96x48.emf");
  emf[64] = char(0x70);  // description offset past the 88-byte header, no length
  ExpectRects(DecodeOk(DecodeEmf, emf));
  // Found by fuzzing; bounds in reverse order as well.
  TDecodedImage out;
  QString error;
  DecodeEmf(Fixture("emf/regress_description_outside_header.emf"), TDecodeOptions{}, out, error);
  // A header claiming more bytes and records than the file holds.
  DecodeEmf(Fixture("emf/regress_byte_count_past_end.emf"), TDecodeOptions{}, out, error);
}

}  // namespace

namespace {

TEST(MetafileReader, ShapesLinesAndTextAreDrawn)
{
  const TDecodedImage wmf = DecodeOk(DecodeWmf, Fixture("wmf/shapes_text.wmf"));
  ASSERT_EQ(wmf.Bitmap.size(), QSize(200, 150));  // 800 × 600 units at 384 a inch
  EXPECT_COLOR_NEAR(wmf.Bitmap, 150, 40, Rgb(0, 160, 0), 2);    // filled polygon, colour kept exactly
  EXPECT_COLOR_NEAR(wmf.Bitmap, 150, 140, Rgb(255, 255, 255), 8);  // under an open line: not filled
  const TDecodedImage emf = DecodeOk(DecodeEmf, Fixture("emf/shapes_text.emf"));
  ASSERT_EQ(emf.Bitmap.size(), QSize(149, 119));
  EXPECT_COLOR_NEAR(emf.Bitmap, 35, 35, Rgb(0, 160, 0), 8);
  EXPECT_COLOR_NEAR(emf.Bitmap, 75, 100, Rgb(255, 255, 255), 8);
}

}  // namespace

namespace {

TEST(MetafileReader, VeryLargeDrawingsAreDrawnSmaller)
{
  QByteArray wmf = Fixture("wmf/rects_96x48.wmf");
  wmf[14] = 10;  // ten units per inch: 9600 × 4800 pixels
  wmf[15] = 0;
  const TDecodedImage out = DecodeOk(DecodeWmf, wmf);
  EXPECT_EQ(out.Width, 9600);
  EXPECT_EQ(out.Height, 4800);
  ASSERT_EQ(out.Bitmap.size(), QSize(4096, 2048));
  EXPECT_COLOR_NEAR(out.Bitmap, 512, 1024, Rgb(255, 0, 0), 8);
  EXPECT_COLOR_NEAR(out.Bitmap, 3072, 1536, Rgb(0, 0, 255), 8);
}

}  // namespace

namespace {

// Points the WMF reader at another font folder for the length of a test.
class TFontFolderGuard {
public:
  explicit TFontFolderGuard(const QString& folder) { SetWmfFontFolder(folder); }
  ~TFontFolderGuard() { SetWmfFontFolder(QString()); }
};

TEST(MetafileReader, WithoutFontsDrawingsAreDrawnAndTextIsRefusedByName)
{
  QTemporaryDir empty;
  ASSERT_TRUE(empty.isValid());
  TFontFolderGuard guard(empty.path());
  // No text: drawn as with fonts.
  ExpectRects(DecodeOk(DecodeWmf, Fixture("wmf/rects_96x48.wmf")));
  // Text: the message names the missing fonts and where they were looked for.
  TDecodedImage out;
  QString error;
  EXPECT_FALSE(DecodeWmf(Fixture("wmf/shapes_text.wmf"), TDecodeOptions{}, out, error));
  EXPECT_TRUE(error.contains("fonts to draw it with are missing")) << error.toStdString();
  EXPECT_TRUE(error.contains(empty.path())) << error.toStdString();
  EXPECT_FALSE(error.contains("damaged")) << error.toStdString();
  EXPECT_TRUE(out.Bitmap.isNull());
}

}  // namespace
