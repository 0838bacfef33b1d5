// The readers of PNG, WebP, HEIF/AVIF and JPEG XL on hostile and damaged
// input. (Their pictures are compared with the formats' own decoders in
// tests/imagelib/ToolFixturesTest.cpp.)
#include "LibraryReaderSupport.h"

#include <QFile>

namespace {

using TReader = bool (*)(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString&);

void PutU32BE(QByteArray& a, qsizetype at, uint32_t v)
{
  for (int k = 0; k < 4; ++k) a[at + k] = char(v >> (24 - 8 * k));
}

uint32_t Crc32(const QByteArray& a, qsizetype from, qsizetype n)
{
  uint32_t c = 0xFFFFFFFFu;
  for (qsizetype i = from; i < from + n; ++i) {
    c ^= uint8_t(a[i]);
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

// Every "ispe" box (the stored size of a HEIF picture) made to declare w × h.
QByteArray WithIspe(QByteArray a, uint32_t w, uint32_t h)
{
  for (qsizetype i = a.indexOf("ispe"); i >= 0 && i + 16 <= a.size(); i = a.indexOf("ispe", i + 4)) {
    PutU32BE(a, i + 8, w);
    PutU32BE(a, i + 12, h);
  }
  return a;
}

}  // namespace

// A small file that declares a huge picture is refused from its header,
// before the decoder allocates anything for it.
TEST(LibraryFormatReaders, HugeDeclaredPicturesAreRefusedBeforeDecoding)
{
  QByteArray png = Fixture("png/lib_im_rgb8.png");
  ASSERT_GT(png.size(), 33);
  PutU32BE(png, 16, 16000);  // IHDR width and height, with a matching CRC
  PutU32BE(png, 20, 16000);
  PutU32BE(png, 29, Crc32(png, 12, 17));

  QByteArray webp = Fixture("webp/lib_cwebp_lossless.webp");
  ASSERT_EQ(webp.mid(12, 4), QByteArray("VP8L"));
  // 14-bit width − 1 and height − 1 after the signature byte: 16384 × 16384.
  const uint32_t bits = uint32_t(uint8_t(webp[21])) | uint32_t(uint8_t(webp[22])) << 8 |
                        uint32_t(uint8_t(webp[23])) << 16 | uint32_t(uint8_t(webp[24])) << 24;
  const uint32_t huge = (bits & 0xF0000000u) | 0x3FFFu | 0x3FFFu << 14;
  for (int k = 0; k < 4; ++k) webp[21 + k] = char(huge >> (8 * k));

  const struct {
    TReader Reader;
    const char* Name;
    QByteArray Data;
  } cases[] = {
      {DecodeHeif, "avif", WithIspe(Fixture("avif/lib_avifenc_lossless.avif"), 16000, 16000)},
      {DecodeHeif, "heic", WithIspe(Fixture("heif/lib_heifenc.heic"), 16000, 16000)},
      {DecodePng, "png", png},
      {DecodeWebp, "webp", webp},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TDecodedImage out;
    QString error;
    EXPECT_FALSE(c.Reader(c.Data, TDecodeOptions(), out, error));
    EXPECT_TRUE(error.contains("too large")) << error.toStdString();
    EXPECT_TRUE(out.Bitmap.isNull());
  }
}

// Truncated files fail with a message and leave the output alone; files
// with damaged bytes never crash.
TEST(LibraryFormatReaders, DamagedFilesFailWithAMessage)
{
  const struct {
    TReader Reader;
    const char* File;
  } cases[] = {
      {DecodePng, "png/lib_im_rgba8.png"},          {DecodePng, "png/lib_im_interlaced.png"},
      {DecodeWebp, "webp/lib_cwebp_lossy.webp"},    {DecodeWebp, "webp/lib_img2webp_anim.webp"},
      {DecodeHeif, "heif/lib_heifenc_alpha.heic"},  {DecodeHeif, "avif/lib_avifenc_lossy.avif"},
      {DecodeJxl, "jxl/lib_cjxl_lossy.jxl"},        {DecodeJxl, "jxl/lib_cjxl_alpha_lossless.jxl"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    const QByteArray whole = Fixture(c.File);
    ASSERT_GT(whole.size(), 100);
    for (const qsizetype keep : {qsizetype(0), qsizetype(7), qsizetype(40), whole.size() / 2, whole.size() - 20}) {
      SCOPED_TRACE(keep);
      TDecodedImage out;
      QString error;
      EXPECT_FALSE(c.Reader(whole.left(keep), TDecodeOptions(), out, error));
      EXPECT_FALSE(error.isEmpty());
      EXPECT_TRUE(out.Bitmap.isNull());
    }
    for (qsizetype at = 16; at < whole.size(); at += whole.size() / 13) {
      QByteArray bad = whole;
      bad[at] = char(~bad[at]);
      TDecodedImage out;
      QString error;
      if (c.Reader(bad, TDecodeOptions(), out, error)) EXPECT_FALSE(out.Bitmap.isNull());
      else EXPECT_FALSE(error.isEmpty());
    }
  }
  // A 3 KB file whose alpha grid declares 58929 × 33025 behind a 64 × 48
  // picture (found by fuzzing): refused before libheif allocates 1.9 GB.
  TDecodedImage out;
  QString error;
  EXPECT_FALSE(DecodeHeif(Fixture("heif/hostile_grid_beyond_picture.heic"), TDecodeOptions(), out, error));
  EXPECT_FALSE(error.isEmpty());
  // A 3 KB file whose grid declares a canvas far beyond any picture behind a
  // 65535 × 48 picture, the side libheif checks (found by fuzzing).
  error.clear();
  EXPECT_FALSE(DecodeHeif(Fixture("heif/hostile_grid_beyond_the_limit.heic"), TDecodeOptions(), out, error));
  EXPECT_TRUE(error.contains("too large")) << error.toStdString();
}
