// Pictures written by the field's own tools (tests/data/make_tool_fixtures.sh
// writes them and their references), loaded through LoadImageFile and
// compared pixel for pixel with each tool's own decode laid on white.
#include "TestSupport.h"
#include "canvas/CoverDocument.h"
#include "imagelib/ImageLoader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// An 8-bit PAM reference (grey or colour, with or without alpha) as blue,
// green, red triples, its alpha laid on white.
struct TReference {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Bgr;
  std::vector<uint8_t> Alpha;  // 255 everywhere when the reference has none
};

bool ReadReference(const QString& path, TReference& ref)
{
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = f.readAll();
  const qsizetype end = data.indexOf("ENDHDR\n");
  if (!data.startsWith("P7\n") || end < 0) return false;
  int depth = 0, maxval = 0;
  for (const QByteArray& line : data.left(end).split('\n')) {
    const QList<QByteArray> kv = line.split(' ');
    if (kv.size() < 2) continue;
    if (kv[0] == "WIDTH") ref.Width = kv[1].toInt();
    else if (kv[0] == "HEIGHT") ref.Height = kv[1].toInt();
    else if (kv[0] == "DEPTH") depth = kv[1].toInt();
    else if (kv[0] == "MAXVAL") maxval = kv[1].toInt();
  }
  const auto* p = reinterpret_cast<const uint8_t*>(data.constData()) + end + 7;
  const size_t pixels = size_t(ref.Width) * size_t(ref.Height);
  if (maxval != 255 || depth < 1 || depth > 4 || size_t(data.size() - end - 7) < pixels * size_t(depth)) return false;
  ref.Bgr.resize(pixels * 3);
  ref.Alpha.resize(pixels);
  for (size_t i = 0; i < pixels; ++i, p += depth) {
    const bool colour = depth >= 3;
    const int a = depth == 2 ? p[1] : depth == 4 ? p[3] : 255;
    ref.Alpha[i] = uint8_t(a);
    for (int k = 0; k < 3; ++k) {
      const int c = colour ? p[2 - k] : p[0];
      ref.Bgr[3 * i + size_t(k)] = uint8_t((c * a + 255 * (255 - a) + 127) / 255);
    }
  }
  return true;
}

// Loads `fixture` through LoadImageFile into a box it fits, so it arrives at
// its own size, and compares it with its reference; `tolerance` is the
// largest difference a channel may show.
void ExpectLikeTool(const char* fixture, int tolerance = 0)
{
  SCOPED_TRACE(fixture);
  const QString path = TestDataPath(QString::fromLatin1(fixture));
  TReference ref;
  ASSERT_TRUE(ReadReference(path + ".ref.pam", ref));
  QImage img;
  int w = 0, h = 0;
  ASSERT_TRUE(LoadImageFile(path, img, 4096, 4096, &w, &h));
  ASSERT_EQ(QSize(w, h), QSize(ref.Width, ref.Height));
  ASSERT_EQ(img.size(), QSize(ref.Width, ref.Height));
  int bad = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* got = img.constScanLine(y);
    const uint8_t* want = ref.Bgr.data() + size_t(y) * size_t(w) * 3;
    for (int x = 0; x < w; ++x)
      for (int k = 0; k < 3; ++k)
        if (std::abs(int(got[3 * x + k]) - int(want[3 * x + k])) > tolerance && ++bad <= 3)
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << k << " is " << int(got[3 * x + k])
                        << ", the tool reads " << int(want[3 * x + k]);
  }
  EXPECT_EQ(bad, 0);
}

using TReader = bool (*)(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString&);

QByteArray FixtureBytes(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Decodes `fixture` with `reader` and compares it with its reference: the
// colour laid on white by the reader's alpha, and the alpha itself.
void ExpectReaderLikeTool(TReader reader, const char* fixture, int tolerance = 0)
{
  SCOPED_TRACE(fixture);
  const QString path = TestDataPath(QString::fromLatin1(fixture));
  TReference ref;
  ASSERT_TRUE(ReadReference(path + ".ref.pam", ref));
  TDecodedImage out;
  QString error;
  ASSERT_TRUE(reader(FixtureBytes(path), TDecodeOptions(), out, error)) << error.toStdString();
  ASSERT_EQ(QSize(out.Width, out.Height), QSize(ref.Width, ref.Height));
  ASSERT_EQ(out.Bitmap.size(), QSize(ref.Width, ref.Height));
  ASSERT_EQ(out.Bitmap.format(), QImage::Format_BGR888);
  if (!out.Alpha.isNull()) {
    ASSERT_EQ(out.Alpha.size(), out.Bitmap.size());
    ASSERT_EQ(out.Alpha.format(), QImage::Format_Grayscale8);
  }
  int bad = 0;
  for (int y = 0; y < ref.Height; ++y) {
    const uint8_t* got = out.Bitmap.constScanLine(y);
    const uint8_t* alpha = out.Alpha.isNull() ? nullptr : out.Alpha.constScanLine(y);
    for (int x = 0; x < ref.Width; ++x) {
      const size_t i = size_t(y) * size_t(ref.Width) + size_t(x);
      const int a = alpha ? alpha[x] : 255;
      if (std::abs(a - int(ref.Alpha[i])) > tolerance && ++bad <= 3)
        ADD_FAILURE() << "alpha (" << x << ", " << y << ") is " << a << ", the tool reads " << int(ref.Alpha[i]);
      for (int k = 0; k < 3; ++k) {
        const int c = (int(got[3 * x + k]) * a + 255 * (255 - a) + 127) / 255;
        if (std::abs(c - int(ref.Bgr[3 * i + size_t(k)])) > tolerance && ++bad <= 3)
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << k << " is " << c << ", the tool reads "
                        << int(ref.Bgr[3 * i + size_t(k)]);
      }
    }
  }
  EXPECT_EQ(bad, 0);
}

}  // namespace

TEST(ToolFixtures, WindowsBitmaps)
{
  for (const char* f : {"bmp/tool_netpbm_1.bmp", "bmp/tool_netpbm_4.bmp", "bmp/tool_netpbm_8.bmp",
                        "bmp/tool_netpbm_24.bmp", "bmp/tool_netpbm_os2_4.bmp", "bmp/tool_im_v3_24.bmp",
                        "bmp/tool_im_v5_24.bmp", "bmp/tool_im_os2_pal.bmp", "bmp/tool_im_rle8.bmp",
                        "bmp/tool_im_rle8.rle", "bmp/tool_im_v3_24.dib"})
    ExpectLikeTool(f);
  // 5- and 6-bit channels are widened by repeating their top bits (they
  // came out 1 darker than the tool where the bits were scaled instead).
  ExpectLikeTool("bmp/tool_im_rgb565.bmp");
  ExpectLikeTool("bmp/tool_im_rgb555.bmp");
  // A 32-bit picture with an alpha mask is laid on white (its alpha was
  // ignored, so transparent parts showed their hidden colour).
  ExpectLikeTool("bmp/tool_im_argb32.bmp");
}

TEST(ToolFixtures, Icons)
{
  for (const char* f : {"ico/tool_im_alpha.ico", "ico/tool_netpbm_alpha.ico", "ico/tool_netpbm_png.ico",
                        "ico/tool_netpbm_pal4.ico"})
    ExpectLikeTool(f);
}

TEST(ToolFixtures, Targa)
{
  // netpbm writes bottom-up (the origin bit clear), ImageMagick top-down
  // when told so; both come out upright.
  for (const char* f : {"tga/tool_netpbm_rgb.tga", "tga/tool_netpbm_rgb_rle.tga", "tga/tool_netpbm_cmap.tga",
                        "tga/tool_netpbm_cmap_rle.tga", "tga/tool_netpbm_grey_rle.tga", "tga/tool_im_topdown.tga",
                        "tga/tool_im_topdown_rle.tga", "tga/tool_im_cmap.tga"})
    ExpectLikeTool(f);
  // ImageMagick's default file stores its top row first but says it is
  // stored bottom-up: like every reader that follows the origin (netpbm,
  // ImageMagick with -auto-orient), this one shows it upside down.
  ExpectLikeTool("tga/tool_im_default.tga");
  // 32 bits with declared alpha are laid on white (the alpha was ignored).
  ExpectLikeTool("tga/tool_im_rgba.tga");
}

TEST(ToolFixtures, Pcx)
{
  for (const char* f : {"pcx/tool_netpbm_1.pcx", "pcx/tool_netpbm_4planes.pcx", "pcx/tool_netpbm_4packed.pcx",
                        "pcx/tool_netpbm_8.pcx", "pcx/tool_netpbm_24.pcx", "pcx/tool_im_1.pcx", "pcx/tool_im_pal.pcx",
                        "pcx/tool_im_24.pcx"})
    ExpectLikeTool(f);
}

TEST(ToolFixtures, Photoshop)
{
  for (const char* f : {"psd/tool_im_rgb_rle.psd", "psd/tool_im_rgb_raw.psd", "psd/tool_im_grey.psd",
                        "psd/tool_im_indexed.psd", "psd/tool_im_bitmap.psd"})
    ExpectLikeTool(f);
  // CMYK is turned into colour as libtiff and ImageMagick do, truncating
  // (it came out 1 brighter in places).
  ExpectLikeTool("psd/tool_im_cmyk.psd");
  // 16 bits: ImageMagick truncates to 8 bits, this reader rounds.
  ExpectLikeTool("psd/tool_im_rgb16.psd", 1);
  ExpectLikeTool("psd/tool_im_grey16.psd", 1);
}

TEST(ToolFixtures, PortableAnyMaps)
{
  for (const char* f : {"pnm/tool_netpbm_p1.pbm", "pnm/tool_netpbm_p2.pgm", "pnm/tool_netpbm_p3.ppm",
                        "pnm/tool_netpbm_p4.pbm", "pnm/tool_netpbm_p5.pgm", "pnm/tool_netpbm_p6.ppm",
                        "pnm/tool_netpbm_p6_16.ppm", "pnm/tool_netpbm_p5_16.pgm", "pnm/tool_netpbm_p3_16.ppm",
                        "pnm/tool_netpbm_p6_max1000.ppm", "pnm/tool_netpbm_p5_max15.pgm", "pnm/tool_im_p6_16.ppm"})
    ExpectLikeTool(f);
}

TEST(ToolFixtures, Tiff)
{
  for (const char* f : {"tiff/tool_libtiff_none.tif", "tiff/tool_libtiff_lzw_pred.tif",
                        "tiff/tool_libtiff_packbits.tif", "tiff/tool_libtiff_zip_grey.tif", "tiff/tool_libtiff_g4.tif",
                        "tiff/tool_libtiff_tiles.tif", "tiff/tool_libtiff_planar.tif", "tiff/tool_libtiff_planar_strips.tif",
                        "tiff/tool_libtiff_tiles_planar.tif", "tiff/tool_libtiff_bw.tif",
                        "tiff/tool_netpbm_pal4.tif", "tiff/tool_netpbm_pal8.tif", "tiff/tool_netpbm_miniswhite.tif",
                        "tiff/tool_netpbm_grey_miniswhite.tif", "tiff/tool_im_cmyk.tif", "tiff/tool_im_rgba.tif",
                        "tiff/tool_im_rgba_assoc.tif", "tiff/tool_im_bottomleft.tif"})
    ExpectLikeTool(f);
  // Every orientation; 5 to 8 (stored on the side) were not turned. The
  // viewer's progressive preview gets the same upright picture.
  for (const char* f : {"tiff/tool_libtiff_orient2.tif", "tiff/tool_libtiff_orient3.tif",
                        "tiff/tool_libtiff_orient4.tif", "tiff/tool_libtiff_orient5.tif",
                        "tiff/tool_libtiff_orient6.tif", "tiff/tool_libtiff_orient7.tif",
                        "tiff/tool_libtiff_orient8.tif"}) {
    ExpectLikeTool(f);
    const QString path = TestDataPath(QString::fromLatin1(f));
    QImage loaded, preview;
    int w = 0, h = 0;
    ASSERT_TRUE(LoadImageFile(path, loaded, 4096, 4096));
    ASSERT_TRUE(LoadPreviewFile(path, preview, nullptr, 0xFFFFFF, 0, 0, &w, &h, true));
    EXPECT_EQ(QSize(w, h), loaded.size()) << f;
    EXPECT_TRUE(SamePixels(preview, loaded)) << f;
  }
  // 16 bits are rounded to 8 (they were truncated); netpbm's grey reader
  // truncates, its colour reader rounds.
  ExpectLikeTool("tiff/tool_netpbm_rgb16.tif");
  ExpectLikeTool("tiff/tool_im_rgb16.tif");
  ExpectLikeTool("tiff/tool_netpbm_grey16.tif", 1);
  ExpectLikeTool("tiff/tool_libtiff_jpeg.tif", 2);
  ExpectLikeTool("tiff/tool_libtiff_jpeg_orient6.tif", 2);
}

TEST(ToolFixtures, Gif)
{
  for (const char* f : {"gif/tool_netpbm.gif", "gif/tool_netpbm_interlaced.gif", "gif/tool_giflib_interlaced.gif",
                        "gif/tool_im_interlaced.gif"})
    ExpectLikeTool(f);
  // Transparent pixels, and the screen around a first frame smaller than
  // it, come out white (they showed the GIF's background colour).
  ExpectLikeTool("gif/tool_im_transparent.gif");
  ExpectLikeTool("gif/tool_giflib_anim.gif");
}

TEST(ToolFixtures, Jpeg)
{
  for (const char* f : {"jpeg/tool_cjpeg.jpg", "jpeg/tool_cjpeg_progressive.jpg", "jpeg/tool_cjpeg_grey.jpg",
                        "jpeg/tool_cjpeg_444_restart.jpg", "jpeg/tool_im_cmyk.jpg"})
    ExpectLikeTool(f, 2);
}

// The whole road of a bottom-up Targa file: reader, loader, work copy,
// screen cover and print cover keep its top row on top.
TEST(ToolFixtures, BottomUpTargaStaysUprightOnTheCoverAndInPrint)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TCoverDocument doc;
  doc.SetWorkFolder(dir.path() + "/work");
  // 23 × 13, green = 19 × row: dark on top, light at the bottom. Placed as
  // if it were 690 × 390, so the screen layer is 230 × 130.
  doc.AddPictureLayer(0, 0, TestDataPath("tga/tool_netpbm_rgb_rle.tga"), 0, 0, 690, 390);
  const TLayer* layer = doc.LayerByNumber(1);
  ASSERT_NE(layer, nullptr);
  ASSERT_EQ(QSize(layer->Width, layer->Height), QSize(230, 130));
  auto green = [](const QImage& img, int x, int y) { return int((PixelAt(img, x, y) >> 8) & 0xFF); };
  EXPECT_LT(green(layer->Picture, 115, 3), 40);
  EXPECT_GT(green(layer->Picture, 115, 126), 200);
  EXPECT_LT(green(doc.Cover(), 115, 4), 40);
  EXPECT_GT(green(doc.Cover(), 115, 125), 200);
  QImage print;
  doc.RenderPrintImage(print);
  EXPECT_LT(green(print, 230, 8), 40);
  EXPECT_GT(green(print, 230, 250), 200);
}

// PNG, WebP, HEIF, AVIF and JPEG XL as their own decoders read them: every
// colour type and depth, transparency, animations (the first picture) and a
// turned AVIF; lossless files exactly.
TEST(ToolFixtures, LibraryFormats)
{
  struct TCase {
    TReader Reader;
    const char* File;
    int Tolerance;
  };
  const TCase cases[] = {
      {DecodePng, "png/lib_im_rgb8.png", 0},           {DecodePng, "png/lib_im_palette.png", 0},
      {DecodePng, "png/lib_im_palette_trns.png", 0},   {DecodePng, "png/lib_im_grey4.png", 0},
      {DecodePng, "png/lib_im_grey1.png", 0},          {DecodePng, "png/lib_im_rgb16.png", 0},
      {DecodePng, "png/lib_im_rgba16.png", 0},         {DecodePng, "png/lib_im_rgba8.png", 0},
      {DecodePng, "png/lib_im_grey_alpha.png", 0},     {DecodePng, "png/lib_im_interlaced.png", 0},
      {DecodePng, "png/lib_ffmpeg_anim.png", 0},       {DecodeWebp, "webp/lib_cwebp_lossless.webp", 0},
      {DecodeWebp, "webp/lib_cwebp_lossy.webp", 0},    {DecodeWebp, "webp/lib_cwebp_alpha_lossless.webp", 0},
      {DecodeWebp, "webp/lib_cwebp_alpha_lossy.webp", 0}, {DecodeWebp, "webp/lib_img2webp_anim.webp", 0},
      {DecodeHeif, "heif/lib_heifenc.heic", 0},        {DecodeHeif, "heif/lib_heifenc_alpha.heic", 0},
      {DecodeHeif, "heif/lib_heifenc_thumb.heif", 0},  {DecodeHeif, "avif/lib_avifenc_lossless.avif", 0},
      {DecodeHeif, "avif/lib_avifenc_lossy.avif", 2},  {DecodeHeif, "avif/lib_avifenc_alpha_lossless.avif", 0},
      {DecodeHeif, "avif/lib_avifenc_irot1.avif", 0},  {DecodeJxl, "jxl/lib_cjxl_lossless.jxl", 0},
      {DecodeJxl, "jxl/lib_cjxl_lossy.jxl", 1},        {DecodeJxl, "jxl/lib_cjxl_progressive.jxl", 1},
      {DecodeJxl, "jxl/lib_cjxl_alpha_lossless.jxl", 0}, {DecodeJxl, "jxl/lib_cjxl_grey.jxl", 0},
  };
  for (const TCase& c : cases) ExpectReaderLikeTool(c.Reader, c.File, c.Tolerance);
  // Through the loader, by name: the opaque ones arrive as their tools read them.
  for (const char* f : {"png/lib_im_rgb16.png", "webp/lib_cwebp_lossless.webp", "heif/lib_heifenc.heic",
                        "avif/lib_avifenc_irot1.avif", "jxl/lib_cjxl_lossless.jxl"})
    ExpectLikeTool(f, 0);
}

// A reduced decode (thumbnails) delivers less than the whole picture but
// never less than the box needs, and the loader still reports the stored
// size; the thumbnail looks like the whole picture fitted.
TEST(ToolFixtures, LibraryFormatsDecodeReducedForABox)
{
  struct TCase {
    TReader Reader;
    const char* File;
    QSize Reduced;  // what the reader delivers for a 16 × 16 box
  };
  // HEIF: the 32 × 24 thumbnail the file carries; WebP: scaled in the
  // decoder to the fitted size (8 × 6); JPEG XL: its eighth-resolution pass, at full size.
  const TCase cases[] = {{DecodeHeif, "heif/lib_heifenc_thumb.heif", QSize(32, 24)},
                         {DecodeWebp, "webp/lib_cwebp_lossy.webp", QSize(8, 6)},
                         {DecodeJxl, "jxl/lib_cjxl_progressive.jxl", QSize(64, 48)}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    const QString path = TestDataPath(QString::fromLatin1(c.File));
    TDecodeOptions opt;
    opt.BoxWidth = 8;
    opt.BoxHeight = 8;
    TDecodedImage out;
    QString error;
    ASSERT_TRUE(c.Reader(FixtureBytes(path), opt, out, error)) << error.toStdString();
    EXPECT_EQ(QSize(out.Width, out.Height), QSize(64, 48));
    EXPECT_EQ(out.Bitmap.size(), c.Reduced);

    QImage thumb, whole, fitted;
    int w = 0, h = 0;
    ASSERT_TRUE(LoadImageFile(path, thumb, 16, 16, &w, &h));
    EXPECT_EQ(QSize(w, h), QSize(64, 48));
    EXPECT_EQ(thumb.size(), QSize(16, 12));
    ASSERT_TRUE(LoadImageFile(path, whole, 64, 64));
    ResampleBitmap(whole, fitted, 16, 12, 0xFFFFFF);
    int sum = 0;
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 16 * 3; ++x) sum += std::abs(int(thumb.constScanLine(y)[x]) - int(fitted.constScanLine(y)[x]));
    EXPECT_LE(sum / (16 * 12 * 3), 12);  // the same picture, on average (sharpening differs at edges)
  }
}
