// The extension table and the two loaders on real files written into the
// test's private temporary folder.
#include "TestSupport.h"
#include "codecs/GifCodec.h"
#include "imagelib/ImageLoader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <vector>

#include <sys/stat.h>

namespace {

using TDecoderFn = bool (*)(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString&);

QString TempFile(const QString& name) { return QDir::tempPath() + "/" + name; }

void WriteBytes(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

QByteArray ReadBytes(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// True while the reader still answers that it can not read its format.
bool ReaderMissing(TDecoderFn fn, const QString& path)
{
  TDecodedImage out;
  QString error;
  return !fn(ReadBytes(path), TDecodeOptions{}, out, error) && error.contains("can not be read yet");
}

#define SKIP_WITHOUT_READER(fn, path) \
  if (ReaderMissing(fn, path)) GTEST_SKIP() << "reader not available yet"

// A GIF of 4 colours with one frame per entry of `frames` (each a
// palette index filling the whole screen). The codes are written without
// compression: a clear code before every second pixel keeps them 3 bits wide.
QByteArray MakeGif(int w, int h, const std::vector<int>& frames)
{
  QByteArray g("GIF89a");
  auto u16 = [&](int v) {
    g.append(char(v & 0xFF));
    g.append(char((v >> 8) & 0xFF));
  };
  u16(w);
  u16(h);
  g.append(char(0x81));  // global palette of 4 entries
  g.append('\0');
  g.append('\0');
  const uint8_t palette[12] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  g.append(reinterpret_cast<const char*>(palette), 12);
  for (int index : frames) {
    g.append("\x21\xF9\x04", 3);
    g.append(char(1 << 2));  // keep
    u16(10);                 // 100 ms
    g.append('\0');
    g.append('\0');
    g.append(char(0x2C));
    u16(0);
    u16(0);
    u16(w);
    u16(h);
    g.append('\0');
    g.append(char(2));  // minimum code size
    QByteArray bits;
    uint32_t acc = 0;
    int n = 0;
    auto put = [&](int code) {
      acc |= uint32_t(code) << n;
      n += 3;
      while (n >= 8) {
        bits.append(char(acc & 0xFF));
        acc >>= 8;
        n -= 8;
      }
    };
    for (int i = 0; i < w * h; ++i) {
      if (i % 2 == 0) put(4);
      put(index);
    }
    put(5);
    if (n > 0) bits.append(char(acc & 0xFF));
    for (int pos = 0; pos < bits.size(); pos += 255) {
      const QByteArray block = bits.mid(pos, 255);
      g.append(char(block.size()));
      g.append(block);
    }
    g.append('\0');
  }
  g.append(char(0x3B));
  return g;
}

}  // namespace

TEST(ExtensionTable, KeysAreTheUpperCaseEndingOfTheName)
{
  EXPECT_EQ(ImageFileExt("Holiday.JpEg"), "JPEG");
  EXPECT_EQ(ImageFileExt("holiday.jpeg"), "JPEG");
  EXPECT_EQ(ImageFileExt("/some/dir/A.JPG"), "JPG");
  EXPECT_EQ(ImageFileExt("scan.tiff"), "TIFF");
  EXPECT_EQ(ImageFileExt("scan.Tif"), "TIF");
  EXPECT_EQ(ImageFileExt(".jpg"), "JPG");  // the whole name is the extension
  EXPECT_EQ(ImageFileExt("x.Pcc"), "PCC");
  for (const char* name : {"photo.jfif", "photo.sgi", "JPG", "PEG", "", "a.jpg.bak", "a.jpeg ", "a_jpg",
                           "aTIFF", "x.svg", "x.jxr", "x.heics", "x.apng"}) {
    EXPECT_EQ(ImageFileExt(name), QString()) << name;
    EXPECT_FALSE(IsImageFile(name)) << name;
  }
  EXPECT_TRUE(IsImageFile("cover.cut"));
  for (const char* name : {"x.png", "x.WebP", "x.heic", "x.HEIF", "x.avif", "x.jxl"}) EXPECT_TRUE(IsImageFile(name)) << name;
}

TEST(ExtensionTable, EveryKeyWithItsTypeCode)
{
  QStringList keys = ImageFileKeys();
  EXPECT_EQ(keys.size(), 36);  // the table holds 36 keys
  EXPECT_EQ(keys.removeDuplicates(), 0);
  std::vector<int> perType(20, 0);
  for (const QString& key : keys) {
    const int type = ImageFileType(key);
    ASSERT_GE(type, 1) << key.toStdString();
    ASSERT_LE(type, 19) << key.toStdString();
    ++perType[size_t(type)];
    EXPECT_EQ(ImageFileExt("name." + key.toLower()), key);  // every key is recognised by name
  }
  const std::vector<int> expected = {0, 2, 1, 1, 1, 3, 1, 2, 2, 3, 2, 2, 5, 2, 3, 1, 1, 2, 1, 1};
  EXPECT_EQ(perType, expected);
  EXPECT_EQ(ImageFileType("JPEG"), 5);
  EXPECT_EQ(ImageFileType("RLE"), 14);
  EXPECT_EQ(ImageFileType("CUT"), 2);
  EXPECT_EQ(ImageFileType("WMF"), 1);
  EXPECT_EQ(ImageFileType("JFIF"), 0);
  EXPECT_EQ(ImageFileType(""), 0);
  EXPECT_EQ(ImageFileType(".JPG"), 0);
}

TEST(LoadImageFile, UnsupportedMissingOrDamagedFilesLeaveTheDestination)
{
  const QString jfif = TempFile("photo.jfif");
  ASSERT_TRUE(PhotoBitmap(40, 30).save(jfif, "JPG"));
  const QString garbage = TempFile("garbage.jpg");
  WriteBytes(garbage, QByteArray(500, '\x5A'));
  const QString empty = TempFile("empty.bmp");
  WriteBytes(empty, QByteArray());
  const QString badGif = TempFile("bad.gif");
  WriteBytes(badGif, QByteArray("GIF89a\x10\x00", 8));
  // A FIFO under a picture's name, with no writer: opening it must not wait.
  const QString fifo = TempFile("pipe.jpg");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

  const QImage before = RandomBitmap(9, 9, 1);
  for (const QString& path : {jfif, garbage, empty, badGif, fifo, TempFile("missing.bmp"), TempFile("dir.tga")}) {
    SCOPED_TRACE(path.toStdString());
    QImage dest = before;
    int w = -1, h = -1, bits = -1;
    EXPECT_FALSE(LoadImageFile(path, dest, 100, 100, &w, &h, &bits));
    EXPECT_TRUE(SamePixels(dest, before));
    EXPECT_EQ(w, -1);
    EXPECT_FALSE(LoadPreviewFile(path, dest, nullptr, 0xFFFFFF, 100, 100, &w, &h, false));
    EXPECT_TRUE(SamePixels(dest, before));
  }
  QDir().mkpath(TempFile("folder.bmp"));
  QImage dest = before;
  EXPECT_FALSE(LoadImageFile(TempFile("folder.bmp"), dest, 100, 100));
  EXPECT_TRUE(SamePixels(dest, before));
}

TEST(LoadImageFile, BitmapIsPreReducedFittedAndSharpened)
{
  const QString path = TempFile("big.bmp");
  const QImage photo = PhotoBitmap(300, 200);
  ASSERT_TRUE(photo.save(path, "BMP"));
  SKIP_WITHOUT_READER(DecodeBmp, path);

  QImage dest;
  int w = 0, h = 0, bits = 0;
  ASSERT_TRUE(LoadImageFile(path, dest, 100, 100, &w, &h, &bits));
  EXPECT_EQ(dest.size(), ShrinkToBox(300, 200, 100, 100));  // 100 × 66
  EXPECT_EQ(dest.format(), QImage::Format_BGR888);
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 200);
  EXPECT_EQ(bits, 24);

  // The same steps by hand: box filter by 2, resample, mild sharpen.
  QImage expected = photo;
  ShrinkBitmap(expected, 2);
  QImage fitted;
  ResampleBitmap(expected, fitted, 100, 66, 0xFFFFFF);
  Sharpen3x3(fitted, 1);
  EXPECT_TRUE(SamePixels(dest, fitted));
}

TEST(LoadImageFile, PictureThatFitsArrivesAsAnExactCopy)
{
  const QString path = TempFile("small.bmp");
  const QImage photo = PhotoBitmap(50, 40);
  ASSERT_TRUE(photo.save(path, "BMP"));
  SKIP_WITHOUT_READER(DecodeBmp, path);
  QImage dest;
  int bits = 0;
  ASSERT_TRUE(LoadImageFile(path, dest, 100, 100, nullptr, nullptr, &bits));
  EXPECT_TRUE(SamePixels(dest, photo));

  const QString grey = TempFile("grey.bmp");
  ASSERT_TRUE(photo.convertToFormat(QImage::Format_Indexed8).save(grey, "BMP"));
  ASSERT_TRUE(LoadImageFile(grey, dest, 100, 100, nullptr, nullptr, &bits));
  EXPECT_EQ(bits, 8);
}

TEST(LoadImageFile, JpegIsDecodedAtTheReducedScale)
{
  const QString path = TempFile("photo.JPG");
  ASSERT_TRUE(PhotoBitmap(800, 600).save(path, "JPG", 90));
  SKIP_WITHOUT_READER(DecodeJpeg, path);

  QImage dest;
  int w = 0, h = 0, bits = 0;
  std::vector<int> decodeCalls;
  ASSERT_TRUE(LoadImageFile(path, dest, 138, 105, &w, &h, &bits, {}, [&](int p) {
    decodeCalls.push_back(p);
    return true;
  }));
  // Decoded at 1/4 (200 × 150), then fitted: 138 × 104, where fitting the
  // full 800 × 600 would give 138 × 103.
  EXPECT_EQ(dest.size(), QSize(138, 104));
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  EXPECT_EQ(bits, 24);
  ASSERT_FALSE(decodeCalls.empty());
  EXPECT_EQ(decodeCalls.back(), 100);
  for (size_t i = 1; i < decodeCalls.size(); ++i) EXPECT_NE(decodeCalls[i], decodeCalls[i - 1]);

  const QString grey = TempFile("grey.jpeg");
  ASSERT_TRUE(PhotoBitmap(64, 48).convertToFormat(QImage::Format_Grayscale8).save(grey, "JPG"));
  ASSERT_TRUE(LoadImageFile(grey, dest, 470, 470, &w, &h, &bits));
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(dest.size(), QSize(64, 48));
  EXPECT_EQ(dest.format(), QImage::Format_BGR888);
}

TEST(LoadImageFile, AStopIsNotAFailure)
{
  const QString path = TempFile("stop.bmp");
  ASSERT_TRUE(PhotoBitmap(400, 300).save(path, "BMP"));
  SKIP_WITHOUT_READER(DecodeBmp, path);
  QImage dest;
  int calls = 0;
  EXPECT_TRUE(LoadImageFile(path, dest, 100, 100, nullptr, nullptr, nullptr, [&](int) {
    ++calls;
    return false;
  }));
  EXPECT_EQ(dest.size(), ShrinkToBox(400, 300, 100, 100));
  EXPECT_EQ(PixelAt(dest, 50, dest.height() - 2), 0xFFFFFFu);  // not reached: white
  EXPECT_EQ(calls, 2);  // asked once by each reduction
}

TEST(LoadImageFile, GifGivesItsFirstFrameAndItsBitCount)
{
  const QString path = TempFile("two.gif");
  WriteBytes(path, MakeGif(30, 20, {1, 2}));
  SKIP_WITHOUT_READER(DecodeGifFirstFrame, path);
  QImage dest;
  int w = 0, h = 0, bits = 0;
  ASSERT_TRUE(LoadImageFile(path, dest, 100, 100, &w, &h, &bits));
  EXPECT_EQ(dest.size(), QSize(30, 20));
  EXPECT_EQ(PixelAt(dest, 5, 5), MakeColor(255, 0, 0));
  EXPECT_EQ(w, 30);
  EXPECT_EQ(h, 20);
  EXPECT_EQ(bits, 2);
}

TEST(LoadPreviewFile, JpegFullSizeAndFittedRowByRow)
{
  const QString path = TempFile("preview.jpg");
  ASSERT_TRUE(PhotoBitmap(640, 480).save(path, "JPG", 90));
  SKIP_WITHOUT_READER(DecodeJpeg, path);

  QImage full;
  int w = 0, h = 0;
  std::vector<int> calls;
  auto record = [&](int p) {
    calls.push_back(p);
    return true;
  };
  ASSERT_TRUE(LoadPreviewFile(path, full, nullptr, 0x00FF00, 100, 100, &w, &h, true, {}, record));
  EXPECT_EQ(full.size(), QSize(640, 480));
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), 100);
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_GT(calls[i], calls[i - 1]);

  // Fitted: the rows went through the same resample as the whole picture.
  QImage fitted;
  ASSERT_TRUE(LoadPreviewFile(path, fitted, nullptr, 0x00FF00, 100, 100, &w, &h, false));
  QImage expected;
  ResampleBitmap(full, expected, 100, 75, 0x00FF00);
  EXPECT_TRUE(SamePixels(fitted, expected));

  // A stop at once keeps the back colour below the rows decoded so far.
  QImage stopped;
  EXPECT_TRUE(LoadPreviewFile(path, stopped, nullptr, 0x00FF00, 100, 100, &w, &h, false, {},
                              [](int) { return false; }));
  EXPECT_EQ(stopped.size(), QSize(100, 75));
  EXPECT_EQ(PixelAt(stopped, 50, 74), 0x00FF00u);
}

TEST(LoadPreviewFile, BitmapFullSizeReportsOnceAndFittedUsesTheBackColour)
{
  const QString path = TempFile("preview.bmp");
  const QImage photo = PhotoBitmap(300, 30);
  ASSERT_TRUE(photo.save(path, "BMP"));
  SKIP_WITHOUT_READER(DecodeBmp, path);
  QImage dest;
  int w = 0, h = 0;
  std::vector<int> other;
  ASSERT_TRUE(LoadPreviewFile(path, dest, nullptr, 0xFFFFFF, 100, 100, &w, &h, true, {}, {}, [&](int p) {
    other.push_back(p);
    return true;
  }));
  EXPECT_TRUE(SamePixels(dest, photo));
  EXPECT_EQ(other, std::vector<int>{100});

  ASSERT_TRUE(LoadPreviewFile(path, dest, nullptr, 0x0000FF, 100, 100, &w, &h, false));
  QImage expected;
  ResampleBitmap(photo, expected, 100, 10, 0x0000FF);  // not sharpened
  EXPECT_TRUE(SamePixels(dest, expected));
  EXPECT_EQ(w, 300);
}

TEST(LoadPreviewFile, OneFrameGifFillsBothTwoFramesOnlyTheAnimation)
{
  const QString one = TempFile("one.gif"), two = TempFile("anim.gif");
  WriteBytes(one, MakeGif(30, 20, {3}));
  WriteBytes(two, MakeGif(30, 20, {1, 2}));
  SKIP_WITHOUT_READER(DecodeGifFirstFrame, one);

  TGifAnimation anim;
  QImage dest;
  int w = 0, h = 0;
  ASSERT_TRUE(LoadPreviewFile(one, dest, &anim, 0xFFFFFF, 100, 100, &w, &h, false));
  EXPECT_EQ(anim.FrameCount(), 1);
  EXPECT_EQ(dest.size(), QSize(30, 20));
  EXPECT_EQ(PixelAt(dest, 3, 3), MakeColor(0, 0, 255));

  const QImage before = dest.copy();
  ASSERT_TRUE(LoadPreviewFile(two, dest, &anim, 0xFFFFFF, 100, 100, &w, &h, true));
  EXPECT_EQ(anim.FrameCount(), 2);
  EXPECT_EQ(anim.Data, ReadBytes(two));
  EXPECT_TRUE(SamePixels(dest, before));
  EXPECT_EQ(w, 30);
  EXPECT_EQ(h, 20);

  // Without an animation target the frames are still counted.
  EXPECT_TRUE(LoadPreviewFile(two, dest, nullptr, 0xFFFFFF, 100, 100, &w, &h, false));
  EXPECT_TRUE(SamePixels(dest, before));
}

TEST(LoadPreviewFile, BottomUpTargaFillsFromTheBottomWithTheSameResult)
{
  // An uncompressed 24-bit Targa stored bottom row first.
  const QImage photo = PhotoBitmap(123, 77);
  QByteArray tga(18, '\0');
  tga[2] = 2;
  tga[12] = char(123);
  tga[14] = char(77);
  tga[16] = 24;
  for (int y = 76; y >= 0; --y) tga.append(reinterpret_cast<const char*>(photo.constScanLine(y)), 123 * 3);
  const QString path = TempFile("bottom.tga");
  WriteBytes(path, tga);
  SKIP_WITHOUT_READER(DecodeTarga, path);

  QImage dest;
  int w = 0, h = 0;
  std::vector<int> calls;
  auto record = [&](int p) {
    calls.push_back(p);
    return true;
  };
  ASSERT_TRUE(LoadPreviewFile(path, dest, nullptr, 0xFFFFFF, 50, 50, &w, &h, true, {}, record));
  EXPECT_TRUE(SamePixels(dest, photo));
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), -100);  // passed through as the reader reports it

  ASSERT_TRUE(LoadPreviewFile(path, dest, nullptr, 0x00FFFF, 50, 50, &w, &h, false));
  QImage expected;
  ResampleBitmap(photo, expected, 50, 31, 0x00FFFF);
  EXPECT_TRUE(SamePixels(dest, expected));
  EXPECT_EQ(w, 123);
  EXPECT_EQ(h, 77);

  // Stopped after the first rows: the top keeps the back colour.
  int rows = 0;
  ASSERT_TRUE(LoadPreviewFile(path, dest, nullptr, 0x00FFFF, 50, 50, &w, &h, false, {},
                              [&](int) { return ++rows < 20; }));
  EXPECT_EQ(PixelAt(dest, 10, 0), 0x00FFFFu);
  EXPECT_EQ(PixelAt(dest, 10, 30), PixelAt(expected, 10, 30));
}

TEST(LoadImageFile, IconIsLaidOnWhiteAndNotReduced)
{
  QImage icon(32, 32, QImage::Format_ARGB32);
  icon.fill(Qt::transparent);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 16; ++x) icon.setPixel(x, y, qRgb(255, 0, 0));
  const QString path = TempFile("half.ico");
  ASSERT_TRUE(icon.save(path, "ICO"));
  SKIP_WITHOUT_READER(DecodeIcon, path);

  QImage dest;
  int w = 0, h = 0, bits = 0;
  ASSERT_TRUE(LoadImageFile(path, dest, 100, 100, &w, &h, &bits));
  EXPECT_EQ(dest.size(), QSize(32, 32));
  EXPECT_EQ(PixelAt(dest, 5, 5), MakeColor(255, 0, 0));
  EXPECT_EQ(PixelAt(dest, 25, 5), 0xFFFFFFu);
  EXPECT_EQ(bits, IconBitCount(ReadBytes(path)));
  EXPECT_EQ(w, 32);

  // Fitted into a smaller box: resampled, never sharpened.
  ASSERT_TRUE(LoadImageFile(path, dest, 16, 16));
  EXPECT_EQ(dest.size(), QSize(16, 16));
  EXPECT_EQ(PixelAt(dest, 2, 8), MakeColor(255, 0, 0));
  EXPECT_EQ(PixelAt(dest, 13, 8), 0xFFFFFFu);
}

// A picture saved under another format's extension (a WebP or PNG named
// ".jpg", as browsers save them) is read by what its first bytes say; the
// name still decides whether a file is a picture at all.
TEST(LoadImageFile, ReadsByContentWhenTheNameSaysAnotherFormat)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const struct {
    const char* Fixture;
    const char* Key;
    const char* SavedAs;
  } cases[] = {{"webp/lib_cwebp_lossless.webp", "WEBP", "photo.jpg"},
               {"png/lib_im_rgb8.png", "PNG", "photo.gif"},
               {"avif/lib_avifenc_lossless.avif", "AVIF", "photo.heic"},
               {"heif/lib_heifenc.heic", "HEIC", "photo.avif"},
               {"jxl/lib_cjxl_lossless.jxl", "JXL", "photo.png"},
               {"jpeg/tool_cjpeg.jpg", "JPG", "photo.tif"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Fixture);
    const QString original = TestDataPath(QString::fromLatin1(c.Fixture));
    QFile f(original);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(ImageKeyOfContent(f.read(32)), QString::fromLatin1(c.Key));
    const QString renamed = dir.filePath(QString::fromLatin1(c.SavedAs));
    QFile::remove(renamed);
    ASSERT_TRUE(QFile::copy(original, renamed));
    QImage expected, got;
    ASSERT_TRUE(LoadImageFile(original, expected, 40, 40));
    ASSERT_TRUE(LoadImageFile(renamed, got, 40, 40));
    EXPECT_TRUE(SamePixels(got, expected));
  }
  EXPECT_EQ(ImageKeyOfContent("RIFF\x10\0\0\0WAVEfmt "), QString());
  EXPECT_EQ(ImageKeyOfContent(QByteArray("\0\0\0\x18" "ftypmp42\0\0\0\0mp42isom", 24)), QString());
}
