#include "imagelib/ImageLoader.h"

#include "codecs/CodecUtil.h"
#include "codecs/ColourProfile.h"
#include "codecs/Exif.h"
#include "imagelib/PictureFinish.h"

#if __has_include("codecs/GifCodec.h")
#include "codecs/GifCodec.h"
#define JKT_HAVE_GIF_ANIMATION 1
#endif

#include <QColor>
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <new>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

// ---------------------------------------------------------------------------
// The extension table: key, type code and decoder of every supported format.

enum class TFormatKind {
  Jpeg,         // scaled decoding, progressive preview
  Progressive,  // Targa, TIFF, PCX, Photoshop: progressive preview
  Plain,        // RLA, portable any-map, Animator, Photo CD, Halo CUT
  Bitmap,       // Windows bitmap
  Icon,
  Metafile,
  Gif,
  Reduced,      // WebP, HEIF/AVIF, JPEG XL: may decode reduced for a box
};

using TDecoder = bool (*)(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString&);

struct TFormat {
  const char* Key;
  uint8_t Type;
  TFormatKind Kind;
  TDecoder Decode;
};

constexpr TFormat kFormats[] = {
    {"JPG", 5, TFormatKind::Jpeg, DecodeJpeg},
    {"JPE", 5, TFormatKind::Jpeg, DecodeJpeg},
    {"JPEG", 5, TFormatKind::Jpeg, DecodeJpeg},
    {"BMP", 14, TFormatKind::Bitmap, DecodeBmp},
    {"DIB", 14, TFormatKind::Bitmap, DecodeBmp},
    {"RLE", 14, TFormatKind::Bitmap, DecodeBmp},
    {"ICO", 4, TFormatKind::Icon, DecodeIcon},
    {"WMF", 1, TFormatKind::Metafile, DecodeWmf},
    {"EMF", 1, TFormatKind::Metafile, DecodeEmf},
    {"TGA", 12, TFormatKind::Progressive, DecodeTarga},
    {"WIN", 12, TFormatKind::Progressive, DecodeTarga},
    {"VST", 12, TFormatKind::Progressive, DecodeTarga},
    {"VDA", 12, TFormatKind::Progressive, DecodeTarga},
    {"ICB", 12, TFormatKind::Progressive, DecodeTarga},
    {"TIF", 13, TFormatKind::Progressive, DecodeTiff},
    {"TIFF", 13, TFormatKind::Progressive, DecodeTiff},
    {"PCX", 7, TFormatKind::Progressive, DecodePcx},
    {"PCC", 7, TFormatKind::Progressive, DecodePcx},
    {"PSD", 10, TFormatKind::Progressive, DecodePsd},
    {"PDD", 10, TFormatKind::Progressive, DecodePsd},
    {"RPF", 11, TFormatKind::Plain, DecodeRla},
    {"RLA", 11, TFormatKind::Plain, DecodeRla},
    {"PPM", 9, TFormatKind::Plain, DecodePnm},
    {"PGM", 9, TFormatKind::Plain, DecodePnm},
    {"PBM", 9, TFormatKind::Plain, DecodePnm},
    {"PIC", 8, TFormatKind::Plain, DecodeAnimator},
    {"CEL", 8, TFormatKind::Plain, DecodeAnimator},
    {"PCD", 6, TFormatKind::Plain, DecodePcd},
    {"GIF", 3, TFormatKind::Gif, DecodeGifFirstFrame},
    {"CUT", 2, TFormatKind::Plain, DecodeCut},
    {"PNG", 15, TFormatKind::Plain, DecodePng},
    {"WEBP", 16, TFormatKind::Reduced, DecodeWebp},
    {"HEIC", 17, TFormatKind::Reduced, DecodeHeif},
    {"HEIF", 17, TFormatKind::Reduced, DecodeHeif},
    {"AVIF", 18, TFormatKind::Reduced, DecodeHeif},
    {"JXL", 19, TFormatKind::Reduced, DecodeJxl},
};

const TFormat* FormatOfKey(const QString& key)
{
  for (const TFormat& f : kFormats)
    if (key == QLatin1String(f.Key)) return &f;
  return nullptr;
}

// The reader of a file: the one its name gives, unless its first bytes
// plainly belong to another format of the table (a WebP or PNG saved under
// ".jpg" is common on the web). Signatures too weak to be sure of (bitmaps,
// Targa, PCX, …) never override the name.
const TFormat* FormatOfFile(const TFormat* byName, const QByteArray& data)
{
  const TFormat* byContent = FormatOfKey(ImageKeyOfContent(data));
  if (!byContent || byContent->Decode == byName->Decode || byContent->Kind == TFormatKind::Bitmap) return byName;
  return byContent;
}

const TFormat* FormatOfName(const QString& fileName)
{
  for (const TFormat& f : kFormats) {
    const QString dotted = QLatin1Char('.') + QLatin1String(f.Key);
    if (fileName.size() >= dotted.size() && fileName.right(dotted.size()).toUpper() == dotted) return &f;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Small helpers.

constexpr int kWeightOne = 1024;  // the resample's weights are in 1/1024

// Largest file the loaders read into memory.
constexpr qint64 kMaxFileBytes = qint64(1) << 30;

// Fills a 24-bit bitmap with one colour: one row is built, the others are
// copied from it (grey colours, white among them, are a single memset).
void FillWith(QImage& bmp, TColor color)
{
  const int w = bmp.width(), h = bmp.height();
  if (w <= 0 || h <= 0) return;
  const uint8_t b = uint8_t(ColorBlue(color)), g = uint8_t(ColorGreen(color)), r = uint8_t(ColorRed(color));
  if (b == g && g == r) {
    std::memset(bmp.bits(), b, size_t(bmp.sizeInBytes()));
    return;
  }
  uint8_t* first = bmp.scanLine(0);
  for (int x = 0; x < w; ++x) {
    first[3 * x] = b;
    first[3 * x + 1] = g;
    first[3 * x + 2] = r;
  }
  const size_t bytes = size_t(w) * 3;
  for (int y = 1; y < h; ++y) std::memcpy(bmp.scanLine(y), first, bytes);
}

// A 24-bit bitmap for a destination that may be large (a full-size preview
// of a photograph is tens of megabytes). Large ones are placed in memory
// aligned for huge pages and marked for them, which spares the system most of
// the page faults of the first write. Null when there is not enough memory.
QImage NewDestBitmap(int width, int height)
{
  const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
  const size_t bytes = stride * size_t(height);
#ifdef __linux__
  constexpr size_t kHuge = size_t(2) << 20;
  if (bytes >= 2 * kHuge) {
    void* mem = nullptr;
    if (posix_memalign(&mem, kHuge, (bytes + kHuge - 1) / kHuge * kHuge) == 0) {
      madvise(mem, bytes, MADV_HUGEPAGE);
      QImage img(static_cast<uchar*>(mem), width, height, qsizetype(stride), QImage::Format_BGR888,
                 [](void* p) { std::free(p); }, mem);
      if (!img.isNull()) return img;
      std::free(mem);
    }
  }
#endif
  return QImage(width, height, QImage::Format_BGR888);
}

bool ReadWholeFile(const QString& fileName, QByteArray& data, QString* error = nullptr)
{
  QFile file;
  if (!OpenRegularFile(fileName, file, error)) return false;
  const qint64 size = file.size();
  if (size <= 0 || size > kMaxFileBytes) {
    if (error) *error = size <= 0 ? QStringLiteral("the file is empty") : QStringLiteral("the file is too large");
    return false;
  }
  data.resize(qsizetype(size));
  if (data.size() != size) {
    if (error) *error = QStringLiteral("not enough memory");
    return false;
  }
  if (file.read(data.data(), size) != size) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

// A 24-bit copy of any decoded picture; pictures with transparency are laid
// on white, so their transparent parts come out white.
QImage To24(const QImage& img)
{
  if (img.isNull() || img.format() == QImage::Format_BGR888) return img;
  if (!img.hasAlphaChannel()) return img.convertToFormat(QImage::Format_BGR888);
  QImage white(img.size(), QImage::Format_RGB32);
  if (white.isNull()) return QImage();
  white.fill(Qt::white);
  {
    QPainter p(&white);
    p.drawImage(0, 0, img);
  }
  return white.convertToFormat(QImage::Format_BGR888);
}

// Width and height from a JPEG's frame header, read before decoding so the
// decoder can be told its scale.
bool JpegHeaderSize(const QByteArray& data, int& width, int& height)
{
  const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
  const size_t n = size_t(data.size());
  if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
  size_t i = 2;
  while (i + 4 <= n) {
    if (p[i] != 0xFF) return false;
    const uint8_t marker = p[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    i += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA) return false;  // image data before any frame
    const size_t len = size_t(p[i]) << 8 | p[i + 1];
    if (len < 2) return false;
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (i + 7 > n) return false;
      height = int(p[i + 3]) << 8 | p[i + 4];
      width = int(p[i + 5]) << 8 | p[i + 6];
      return width > 0 && height > 0;
    }
    i += len;
  }
  return false;
}

// Column or row weights of the resample, in 1/1024: 1024 for a source column
// that lies wholly inside its output column, otherwise the share left of the
// output edge that cuts it. A ratio of exactly 1 gives 1023 everywhere, so
// that every source column closes an output column.
void ComputeWeights(int n, int newN, std::vector<uint16_t>& w)
{
  w.assign(size_t(n), uint16_t(kWeightOne));
  const double f = double(n) / double(newN);
  if (f == 1.0) {
    std::fill(w.begin(), w.end(), uint16_t(kWeightOne - 1));
    return;
  }
  int k = 0;
  for (int i = 0; i < n; ++i) {
    const double edge = double(k + 1) * f;
    if (double(i + 1) <= edge) continue;
    // Only an enlargement (outside the callers' use) could push the share
    // outside 0 … 1024; it is held there so no sum ever goes negative.
    const double share = std::trunc((edge - double(i)) * kWeightOne);
    w[size_t(i)] = uint16_t(std::clamp(share, 0.0, double(kWeightOne)));
    ++k;
  }
}

// True when the resample has anything to reduce: otherwise it copies.
bool Reduces(int width, int height, int newWidth, int newHeight)
{
  return double(width) / double(newWidth) > 1.0 || double(height) / double(newHeight) > 1.0;
}

// The whole-bitmap reduction of a decoded picture into the box, written to a
// separate bitmap so the caller's destination is only replaced on success.
bool FitInto(const QImage& work, QImage& dest, int boxWidth, int boxHeight, TColor back,
             const TScaleProgress& progress, QSize* fitted = nullptr)
{
  const QSize s = ShrinkToBox(work.width(), work.height(), boxWidth, boxHeight);
  QImage out;
  ResampleBitmap(work, out, s.width(), s.height(), back, progress);
  if (out.isNull()) return false;
  if (fitted) *fitted = s;
  dest = out;
  return true;
}

// The orientation a decoder reported, 1 when it is not one of 1 … 8.
int OrientationOf(int orientation) { return orientation >= 1 && orientation <= 8 ? orientation : 1; }

// What FinishDecoded makes of a decoded picture.
struct TFinished {
  QImage Bitmap;         // 24-bit, upright, sRGB
  QImage Alpha;          // Grayscale8, upright; null when opaque or laid on white
};

// Turns a decoded picture into what the program shows: reduced into the box
// (`fit`; a power-of-two pre-reduction first when `preShrink`), converted to
// sRGB by its colour profile, turned upright, its transparency laid on white
// or (with `keepAlpha`) handed out beside it. The box is the upright one; the
// reduction runs on the stored picture with the box turned alike, so only
// the reduced picture is turned. The decoded bitmaps are released on the way.
bool FinishDecoded(TDecodedImage& d, bool fit, int boxWidth, int boxHeight, bool preShrink, TColor back,
                   const TScaleProgress& progress, bool keepAlpha, TFinished& out)
{
  QImage work = To24(d.Bitmap);
  d.Bitmap = QImage();
  if (work.isNull()) return false;
  const int orientation = OrientationOf(d.Orientation);
  const bool swap = SwapsSides(orientation);
  const int bw = swap ? boxHeight : boxWidth, bh = swap ? boxWidth : boxHeight;

  // Transparency is averaged with the colour premultiplied, so transparent
  // pixels lend their neighbours nothing.
  QImage alpha;
  const bool reduces =
      fit && (ShrinkToBox(work.width(), work.height(), bw, bh) != work.size() ||
              (preShrink && ShrinkFactor(work.width(), work.height(), bw, bh) > 1));
  if (!d.Alpha.isNull() && d.Alpha.size() == work.size() && d.Alpha.format() == QImage::Format_Grayscale8 &&
      !IsOpaque(d.Alpha)) {
    alpha = AlphaAsBgr(d.Alpha);
    if (alpha.isNull()) return false;
    if (reduces) PremultiplyBitmap(work, alpha);
  }
  d.Alpha = QImage();

  QImage result = work;
  if (fit) {
    if (preShrink) {
      const int f = ShrinkFactor(work.width(), work.height(), bw, bh);
      if (f > 1) {
        if (!alpha.isNull()) ShrinkBitmap(alpha, f);
        ShrinkBitmap(work, f, progress);
      }
    }
    if (!FitInto(work, result, bw, bh, back, progress)) return false;
    if (!alpha.isNull()) {
      QImage fitted;
      if (!FitInto(alpha, fitted, bw, bh, 0xFFFFFF, {})) return false;
      alpha = fitted.size() == result.size() ? fitted : QImage();  // a stopped reduction keeps no alpha
    }
  }
  work = QImage();  // the conversions below then work on the only copy
  if (!alpha.isNull() && reduces) UnpremultiplyBitmap(result, alpha);

  if (!d.IccProfile.isEmpty()) {
    const TColourTransform toSrgb(d.IccProfile, TProfilePixels::Bgr);
    toSrgb.ConvertBitmap(result);
  }
  if (!alpha.isNull() && !keepAlpha) {
    LayOnWhite(result, alpha);
    alpha = QImage();
  }
  out.Bitmap = OrientBitmap(result, orientation);
  if (out.Bitmap.isNull()) return false;
  if (!alpha.isNull()) {
    out.Alpha = OrientBitmap(BgrAsAlpha(alpha), orientation);
    if (out.Alpha.isNull()) return false;
  }
  return true;
}

// Fills the preview target while a progressive reader decodes: the
// destination is re-created as soon as the picture's size is known and every
// row goes straight into the row-by-row resample (or is copied when the
// picture is shown at its own size). Rows are converted to sRGB once they are
// reduced. A picture stored turned is reduced as stored in a bitmap of its
// own, and every finished row is placed into the destination turned upright,
// so the preview grows upright too.
class TPreviewSink : public TRowSink {
public:
  TPreviewSink(QImage& dest, int boxWidth, int boxHeight, bool fullSize, TColor back, int* outWidth,
               int* outHeight)
      : m_dest(dest), m_boxWidth(boxWidth), m_boxHeight(boxHeight), m_fullSize(fullSize), m_back(back),
        m_outWidth(outWidth), m_outHeight(outHeight)
  {
  }

  void Describe(int orientation, const QByteArray& iccProfile) override
  {
    m_orientation = OrientationOf(orientation);
    m_colour.Create(iccProfile, TProfilePixels::Bgr);
  }

  void Begin(int width, int height, bool bottomUp) override
  {
    m_begun = true;
    const bool swap = SwapsSides(m_orientation);
    if (m_outWidth) *m_outWidth = swap ? height : width;
    if (m_outHeight) *m_outHeight = swap ? width : height;
    m_ok = false;
    m_placed = 0;
    m_bottomUp = bottomUp;
    if (width <= 0 || height <= 0) return;
    const int bw = swap ? m_boxHeight : m_boxWidth, bh = swap ? m_boxWidth : m_boxHeight;
    const QSize s = m_fullSize ? QSize(width, height) : ShrinkToBox(width, height, bw, bh);
    QImage& target = m_orientation == 1 ? m_dest : m_stored;
    m_ok = m_rows.Begin(target, width, height, s.width(), s.height(), m_back, bottomUp);
    if (m_ok && m_orientation != 1) {
      const QSize upright = swap ? m_stored.size().transposed() : m_stored.size();
      m_dest = QImage(upright, QImage::Format_BGR888);
      m_ok = !m_dest.isNull();
      if (m_ok) m_dest.fill(QColor(ColorRed(m_back), ColorGreen(m_back), ColorBlue(m_back)));
    }
  }

  void Row(int y, const uint8_t* bgr) override
  {
    if (!m_ok || !m_rows.AddRow(y, bgr)) return;
    if (m_orientation == 1 && !m_colour.Valid()) return;
    QImage& target = m_orientation == 1 ? m_dest : m_stored;
    const int written = m_rows.RowsWritten();
    for (; m_placed < written; ++m_placed) {
      const int r = m_bottomUp ? target.height() - 1 - m_placed : m_placed;
      uint8_t* line = target.scanLine(r);
      m_colour.ConvertBgr(line, target.width());
      if (m_orientation != 1) PlaceRow(r, line, target.width(), target.height());
    }
  }

  bool Begun() const { return m_begun; }
  bool Ok() const { return m_ok; }

private:
  // Stored row r of a w × h reduced picture into the upright destination.
  void PlaceRow(int r, const uint8_t* line, int w, int h)
  {
    const int o = m_orientation;
    const bool mirrorX = o == 2 || o == 3 || o == 6 || o == 7;
    const bool mirrorY = o == 3 || o == 4 || o == 7 || o == 8;
    if (!SwapsSides(o)) {
      uint8_t* d = m_dest.scanLine(mirrorY ? h - 1 - r : r);
      if (!mirrorX) std::memcpy(d, line, size_t(w) * 3);
      else
        for (int x = 0; x < w; ++x) std::memcpy(d + 3 * (w - 1 - x), line + 3 * x, 3);
      return;
    }
    // On its side: stored row r is upright column (mirrorX ? h-1-r : r), its
    // pixel c upright row (mirrorY ? w-1-c : c).
    const int x = mirrorX ? h - 1 - r : r;
    for (int c = 0; c < w; ++c) std::memcpy(m_dest.scanLine(mirrorY ? w - 1 - c : c) + 3 * x, line + 3 * c, 3);
  }

  QImage& m_dest;
  int m_boxWidth, m_boxHeight;
  bool m_fullSize;
  TColor m_back;
  int* m_outWidth;
  int* m_outHeight;
  bool m_begun = false;
  bool m_ok = false;
  bool m_bottomUp = false;
  int m_orientation = 1;
  int m_placed = 0;  // reduced rows converted and placed so far
  QImage m_stored;   // the reduced picture as stored, when it is turned
  TColourTransform m_colour;
  TRowResampler m_rows;
};

}  // namespace

// ---------------------------------------------------------------------------
// Extension table look-ups.

QString ImageFileExt(const QString& fileName)
{
  const TFormat* f = FormatOfName(fileName);
  return f ? QString::fromLatin1(f->Key) : QString();
}

bool IsImageFile(const QString& fileName) { return !ImageFileExt(fileName).isEmpty(); }

uint8_t ImageFileType(const QString& extensionKey)
{
  for (const TFormat& f : kFormats)
    if (extensionKey == QLatin1String(f.Key)) return f.Type;
  return 0;
}

QString ImageKeyOfContent(const QByteArray& head)
{
  const auto* p = reinterpret_cast<const uint8_t*>(head.constData());
  const qsizetype n = head.size();
  auto starts = [&](const char* sig, qsizetype len, qsizetype at = 0) {
    return n >= at + len && std::memcmp(p + at, sig, size_t(len)) == 0;
  };
  if (starts("\x89PNG\r\n\x1A\n", 8)) return QStringLiteral("PNG");
  if (starts("\xFF\xD8\xFF", 3)) return QStringLiteral("JPG");
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return QStringLiteral("GIF");
  if (starts("II*\0", 4) || starts("MM\0*", 4)) return QStringLiteral("TIF");
  if (starts("RIFF", 4) && starts("WEBP", 4, 8)) return QStringLiteral("WEBP");
  if (starts("\xFF\x0A", 2) || starts("\0\0\0\x0CJXL \r\n\x87\n", 12)) return QStringLiteral("JXL");
  if (starts("ftyp", 4, 4)) {
    // ISO media file: the brands say HEIC or AVIF (AV1 brands first, as a
    // file may list both "mif1" and "avif").
    const qsizetype boxSize = qsizetype(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
    const qsizetype end = std::min(n, std::max<qsizetype>(boxSize, 16));
    bool heif = false;
    for (qsizetype at = 8; at + 4 <= end; at += 4) {
      if (at == 12) continue;  // the minor version
      const QByteArray brand = head.mid(at, 4);
      if (brand == "avif" || brand == "avis") return QStringLiteral("AVIF");
      if (brand == "heic" || brand == "heix" || brand == "heim" || brand == "heis" || brand == "hevc" ||
          brand == "hevx" || brand == "mif1" || brand == "msf1")
        heif = true;
    }
    if (heif) return QStringLiteral("HEIC");
  }
  if (starts("BM", 2)) return QStringLiteral("BMP");
  if (starts("8BPS", 4)) return QStringLiteral("PSD");
  return QString();
}

QString ImageTypeKey(int imageType)
{
  for (const TFormat& f : kFormats)
    if (f.Type == imageType) return QString::fromLatin1(f.Key);
  return QString();
}

QStringList ImageFileKeys()
{
  QStringList keys;
  for (const TFormat& f : kFormats) keys << QString::fromLatin1(f.Key);
  return keys;
}

// ---------------------------------------------------------------------------
// Reduction.

int ShrinkFactor(int width, int height, int boxWidth, int boxHeight)
{
  const int64_t w = width, h = height, bw = boxWidth, bh = boxHeight;
  if (w <= 2 * bw && h <= 2 * bh) return 1;
  if (w <= 4 * bw && h <= 4 * bh) return 2;
  if (w <= 8 * bw && h <= 8 * bh) return 4;
  return 8;
}

void ShrinkBitmap(QImage& bmp, int factor, const TScaleProgress& progress)
{
  int shift;
  switch (factor) {
  case 2: shift = 2; break;
  case 4: shift = 4; break;
  case 8: shift = 6; break;
  case 16: shift = 8; break;
  case 32: shift = 10; break;
  default: return;
  }
  if (bmp.isNull()) return;
  try {
    const QImage src = bmp.format() == QImage::Format_BGR888 ? bmp : bmp.convertToFormat(QImage::Format_BGR888);
    const int w = src.width(), h = src.height();
    int nw = w / factor, nh = h / factor;
    if (nw == 0 && nh == 0) return;
    // A picture narrower (or shorter) than the factor gives one column (row)
    // that averages all the source pixels it has.
    const bool narrow = nw == 0;
    const bool flat = !narrow && nh == 0;
    if (narrow) nw = 1;
    if (flat) nh = 1;
    const int cellWidth = narrow ? w : factor;
    const int cellHeight = flat ? h : factor;
    const uint32_t cellPixels = uint32_t(cellWidth * cellHeight);
    const bool byShift = !narrow && !flat;

    QImage out(nw, nh, QImage::Format_BGR888);
    if (out.isNull()) return;
    // Rows are first added up per source column (at most 32 rows of 255 fit
    // in 16 bits, and the sums run over contiguous memory), then each output
    // row adds its columns in groups when its last source row is in.
    const size_t usedBytes = size_t(nw) * size_t(cellWidth) * 3;
    std::vector<uint16_t> columns(usedBytes, 0);
    const int usedRows = nh * cellHeight;
    int lastPercent = -1;
    for (int y = 0; y < h; ++y) {
      if (y < usedRows) {
        const uint8_t* p = src.constScanLine(y);
        uint16_t* col = columns.data();
        if (y % cellHeight != cellHeight - 1) {
          for (size_t j = 0; j < usedBytes; ++j) col[j] = uint16_t(col[j] + p[j]);
        } else {
          // The last row of an output row: add it, write, clear the sums.
          uint8_t* o = out.scanLine(y / cellHeight);
          for (int i = 0; i < nw; ++i, o += 3) {
            uint32_t b = 0, g = 0, r = 0;
            for (int k = 0; k < cellWidth; ++k, col += 3, p += 3) {
              b += uint32_t(col[0]) + p[0];
              g += uint32_t(col[1]) + p[1];
              r += uint32_t(col[2]) + p[2];
              col[0] = col[1] = col[2] = 0;
            }
            if (byShift) {
              o[0] = uint8_t(b >> shift);
              o[1] = uint8_t(g >> shift);
              o[2] = uint8_t(r >> shift);
            } else {
              o[0] = uint8_t(b / cellPixels);
              o[1] = uint8_t(g / cellPixels);
              o[2] = uint8_t(r / cellPixels);
            }
          }
        }
      }
      const int percent = int(int64_t(y) * 100 / h);
      if (percent != lastPercent) {
        lastPercent = percent;
        if (progress && !progress(percent)) return;
      }
    }
    bmp = out;
  } catch (const std::exception&) {
    // Not enough memory: the bitmap stays as it was.
  }
}

bool TRowResampler::Begin(QImage& dest, int width, int height, int newWidth, int newHeight, TColor backColor,
                          bool bottomUp)
{
  m_dest = nullptr;
  m_done = 0;
  m_written = 0;
  m_acc32.clear();
  m_acc64.clear();
  try {
    QString error;
    if (width <= 0 || height <= 0 || newWidth <= 0 || newHeight <= 0 ||
        !CheckImageSize(width, height, error) || !CheckImageSize(newWidth, newHeight, error)) {
      dest = QImage();
      return false;
    }
    m_w = width;
    m_h = height;
    m_bottomUp = bottomUp;
    const double fy = double(height) / double(newHeight);
    m_copy = !Reduces(width, height, newWidth, newHeight);
    m_nw = m_copy ? width : newWidth;
    m_nh = m_copy ? height : newHeight;
    dest = NewDestBitmap(m_nw, m_nh);
    if (dest.isNull()) return false;
    FillWith(dest, backColor);
    if (!m_copy) {
      ComputeWeights(width, newWidth, m_wx);
      ComputeWeights(height, newHeight, m_wy);
      // Largest column-weight sum of one output column, for choosing the
      // cheaper 32-bit division where the sums allow it.
      uint64_t sx = 0;
      m_maxSx = 0;
      for (int i = 0; i < width; ++i) {
        sx += m_wx[size_t(i)];
        if (m_wx[size_t(i)] != kWeightOne || i == width - 1) {
          m_maxSx = std::max(m_maxSx, sx);
          sx = uint64_t(kWeightOne) - m_wx[size_t(i)];
        }
      }
      // One output row gathers at most about fy + 2 source rows of weight
      // 1024 and value 255; beyond 32 bits only for extreme reductions.
      m_wide = (fy + 2.0) * kWeightOne * 255.0 >= 4294967295.0;
      if (m_wide) m_acc64.assign(size_t(width) * 3, 0);
      else m_acc32.assign(size_t(width) * 3, 0);
      m_sy = 0;
      if (bottomUp) {
        // The output row of the accumulation in progress: one past the row
        // closed by the bottom row, which always closes one.
        int closing = 0;
        for (int y = 0; y < height; ++y)
          if (m_wy[size_t(y)] != kWeightOne || y == height - 1) ++closing;
        m_outRow = closing;
      } else {
        m_outRow = 0;
      }
    }
    m_dest = &dest;
    return true;
  } catch (const std::exception&) {
    dest = QImage();
    m_dest = nullptr;
    return false;
  }
}

int TRowResampler::NextRow() const
{
  if (!m_dest || m_done >= m_h) return -1;
  return m_bottomUp ? m_h - 1 - m_done : m_done;
}

bool TRowResampler::AddRow(int y, const uint8_t* bgr)
{
  if (y < 0 || y != NextRow()) return false;
  if (m_copy) std::memcpy(m_dest->scanLine(y), bgr, size_t(m_w) * 3);
  else AddReduced(y, bgr);
  ++m_done;
  return true;
}

template <typename T>
void TRowResampler::Accumulate(std::vector<T>& acc, const uint8_t* bgr, uint32_t w, bool reset)
{
  T* a = acc.data();
  const size_t n = acc.size();
  if (reset) {
    for (size_t j = 0; j < n; ++j) a[j] = T(w) * bgr[j];
  } else if (w == uint32_t(kWeightOne)) {
    for (size_t j = 0; j < n; ++j) a[j] += T(bgr[j]) << 10;
  } else {
    for (size_t j = 0; j < n; ++j) a[j] += T(w) * bgr[j];
  }
}

template <typename T>
void TRowResampler::EmitRow(const std::vector<T>& acc, int r)
{
  if (r < 0 || r >= m_nh) return;
  ++m_written;
  uint8_t* out = m_dest->scanLine(r);
  const T* a = acc.data();
  const uint16_t* wx = m_wx.data();
  const uint64_t sy = m_sy;
  // Every sum is at most 255 · Sx · Sy; when that fits 32 bits the divisions
  // are done in 32 bits, which is several times faster.
  const bool small = 255 * m_maxSx * sy <= 0xFFFFFFFFull;
  uint64_t s0 = 0, s1 = 0, s2 = 0, sx = 0;
  int m = 0;
  const int last = m_w - 1;
  for (int i = 0; i <= last; ++i, a += 3) {
    const uint64_t w = wx[i];
    s0 += w * a[0];
    s1 += w * a[1];
    s2 += w * a[2];
    sx += w;
    if (w != uint64_t(kWeightOne) || i == last) {
      const uint64_t d = sx * sy;
      if (m < m_nw && d != 0) {
        uint8_t* o = out + 3 * m;
        if (small) {
          const uint32_t d32 = uint32_t(d);
          o[0] = uint8_t(uint32_t(s0) / d32);
          o[1] = uint8_t(uint32_t(s1) / d32);
          o[2] = uint8_t(uint32_t(s2) / d32);
        } else {
          o[0] = uint8_t(s0 / d);
          o[1] = uint8_t(s1 / d);
          o[2] = uint8_t(s2 / d);
        }
      }
      ++m;
      const uint64_t rest = uint64_t(kWeightOne) - w;
      s0 = rest * a[0];
      s1 = rest * a[1];
      s2 = rest * a[2];
      sx = rest;
    }
  }
}

void TRowResampler::AddReduced(int y, const uint8_t* bgr)
{
  const uint32_t w = m_wy[size_t(y)];
  const bool closing = w != uint32_t(kWeightOne) || y == m_h - 1;
  const uint32_t rest = uint32_t(kWeightOne) - w;
  auto step = [&](auto& acc) {
    if (!m_bottomUp) {
      Accumulate(acc, bgr, w, false);
      m_sy += w;
      if (closing) {
        EmitRow(acc, m_outRow++);
        Accumulate(acc, bgr, rest, true);
        m_sy = rest;
      }
      return;
    }
    // Upwards: a closing row first completes the output row below it with
    // its lower share, then starts its own output row with its upper share.
    if (!closing) {
      Accumulate(acc, bgr, w, false);
      m_sy += w;
    } else {
      if (y != m_h - 1) {
        Accumulate(acc, bgr, rest, false);
        m_sy += rest;
        EmitRow(acc, m_outRow);
      }
      Accumulate(acc, bgr, w, true);
      m_sy = w;
      --m_outRow;
    }
    if (y == 0) EmitRow(acc, m_outRow);
  };
  if (m_wide) step(m_acc64);
  else step(m_acc32);
}

void ResampleBitmap(const QImage& src, QImage& dest, int newWidth, int newHeight, TColor backColor,
                    const TScaleProgress& progress)
{
  try {
    if (src.isNull() || newWidth <= 0 || newHeight <= 0) {
      dest = QImage();
      return;
    }
    // Holds the source's pixels even when dest is the source itself.
    const QImage s = src.format() == QImage::Format_BGR888 ? src : src.convertToFormat(QImage::Format_BGR888);
    const int h = s.height();
    if (!Reduces(s.width(), h, newWidth, newHeight)) {
      dest = s.copy();
      if (progress) progress(100);
      return;
    }
    TRowResampler rows;
    if (!rows.Begin(dest, s.width(), h, newWidth, newHeight, backColor)) return;
    int lastPercent = -1;
    for (int y = 0; y < h; ++y) {
      rows.AddRow(y, s.constScanLine(y));
      const int percent = int(int64_t(y + 1) * 100 / h);
      if (percent != lastPercent) {
        lastPercent = percent;
        if (progress && !progress(percent)) return;
      }
    }
  } catch (const std::exception&) {
    dest = QImage();
  }
}

// ---------------------------------------------------------------------------
// Bit counts.

uint8_t BitmapBitCount(const QImage& bmp)
{
  switch (bmp.format()) {
  case QImage::Format_Invalid: return 24;  // no pixel format of its own
  case QImage::Format_Mono:
  case QImage::Format_MonoLSB: return 1;
  case QImage::Format_Indexed8:
  case QImage::Format_Grayscale8:
  case QImage::Format_Alpha8: return 8;
  case QImage::Format_RGB555: return 15;
  case QImage::Format_RGB16:
  case QImage::Format_RGB444:
  case QImage::Format_ARGB4444_Premultiplied:
  case QImage::Format_Grayscale16: return 16;
  case QImage::Format_RGB888:
  case QImage::Format_BGR888: return 24;
  case QImage::Format_RGB32:
  case QImage::Format_ARGB32:
  case QImage::Format_ARGB32_Premultiplied:
  case QImage::Format_RGBX8888:
  case QImage::Format_RGBA8888:
  case QImage::Format_RGBA8888_Premultiplied: return 32;
  default: return 16;  // any other layout counts as a custom format
  }
}

uint8_t IconBitCount(const QByteArray& iconFile)
{
  if (iconFile.size() < 9) return 8;
  switch (uint8_t(iconFile[8])) {
  case 2: return 1;
  case 16: return 4;
  default: return 8;
  }
}

// ---------------------------------------------------------------------------
// Loaders.

bool LoadImageFile(const QString& fileName, QImage& dest, int boxWidth, int boxHeight, int* outWidth,
                   int* outHeight, int* outBitCount, const TScaleProgress& scaleProgress,
                   const TDecodeProgress& decodeProgress, QString* errorOut, QImage* outAlpha)
{
  QString error;
  const bool ok = [&]() -> bool {
  try {
    const TFormat* format = FormatOfName(fileName);
    if (!format) {
      error = QStringLiteral("not a picture type this program reads");
      return false;
    }
    if (boxWidth <= 0 || boxHeight <= 0) return false;
    QByteArray data;
    if (!ReadWholeFile(fileName, data, &error)) return false;
    format = FormatOfFile(format, data);

    TDecodeOptions opt;
    opt.FileName = fileName;
    const TFormatKind kind = format->Kind;
    const bool decoderProgress = kind == TFormatKind::Jpeg || kind == TFormatKind::Progressive ||
                                 kind == TFormatKind::Plain || kind == TFormatKind::Reduced;
    if (decoderProgress) opt.Progress = decodeProgress;
    if (kind == TFormatKind::Reduced) {
      opt.BoxWidth = boxWidth;
      opt.BoxHeight = boxHeight;
    }
    if (kind == TFormatKind::Jpeg) {
      int w = 0, h = 0;
      if (JpegHeaderSize(data, w, h)) {
        // The decoder reduces the picture as stored: a picture stored on its
        // side is measured against the box turned alike.
        const bool swap = SwapsSides(ExifOrientation(JpegExifBlock(data)));
        opt.ScaleDenom = swap ? ShrinkFactor(w, h, boxHeight, boxWidth) : ShrinkFactor(w, h, boxWidth, boxHeight);
      }
    }

    TDecodedImage decoded;
    if (!format->Decode(data, opt, decoded, error)) return false;
    if (kind != TFormatKind::Icon) data = QByteArray();  // the decoded picture may be large: free what we can
    if (decoded.Bitmap.isNull() || decoded.Width <= 0 || decoded.Height <= 0) {
      error = QStringLiteral("not enough memory");
      return false;
    }

    int bitCount = decoded.BitCount;
    bool sharpen = true;
    switch (kind) {
    case TFormatKind::Icon:
      bitCount = IconBitCount(data);
      sharpen = false;
      break;
    case TFormatKind::Metafile:
      bitCount = BitmapBitCount(decoded.Bitmap);
      sharpen = false;
      break;
    default:
      break;
    }
    // JPEG pictures come already reduced by the decoder.
    const bool preShrink = kind != TFormatKind::Jpeg && kind != TFormatKind::Icon && kind != TFormatKind::Metafile;
    const bool swap = SwapsSides(OrientationOf(decoded.Orientation));
    const int width = swap ? decoded.Height : decoded.Width, height = swap ? decoded.Width : decoded.Height;

    TFinished finished;
    if (!FinishDecoded(decoded, true, boxWidth, boxHeight, preShrink, 0xFFFFFF, scaleProgress, outAlpha != nullptr,
                       finished)) {
      error = QStringLiteral("not enough memory");
      return false;
    }
    // Colour kept apart from its alpha is not sharpened: the white behind
    // transparent pixels would darken the edges of the opaque ones.
    if (sharpen && finished.Alpha.isNull() && finished.Bitmap.size() != QSize(width, height))
      Sharpen3x3(finished.Bitmap, 1);

    dest = finished.Bitmap;
    if (outAlpha) *outAlpha = finished.Alpha;
    if (outWidth) *outWidth = width;
    if (outHeight) *outHeight = height;
    if (outBitCount) *outBitCount = bitCount;
    return true;
  } catch (...) {
    error = QStringLiteral("not enough memory");
    return false;
  }
  }();
  if (!ok && errorOut) *errorOut = error.isEmpty() ? QStringLiteral("the picture can not be read") : error;
  return ok;
}

bool LoadPreviewFile(const QString& fileName, QImage& dest, TGifAnimation* animation, TColor backColor,
                     int boxWidth, int boxHeight, int* outWidth, int* outHeight, bool fullSize,
                     const TScaleProgress& scaleProgress, const TDecodeProgress& progressiveProgress,
                     const TDecodeProgress& otherProgress)
{
  try {
    const TFormat* format = FormatOfName(fileName);
    if (!format) return false;
    if (!fullSize && (boxWidth <= 0 || boxHeight <= 0)) return false;
    QByteArray data;
    if (!ReadWholeFile(fileName, data)) return false;
    format = FormatOfFile(format, data);

    TDecodeOptions opt;
    opt.FileName = fileName;
    TDecodedImage decoded;
    QString error;
    const TFormatKind kind = format->Kind;

    // Places a whole decoded picture: a copy at full size, else fitted;
    // upright, in sRGB, laid on white.
    auto place = [&](TDecodedImage& d, TColor back) {
      if (d.Bitmap.isNull() || d.Width <= 0 || d.Height <= 0) return false;
      const bool swap = SwapsSides(OrientationOf(d.Orientation));
      const int width = swap ? d.Height : d.Width, height = swap ? d.Width : d.Height;
      TFinished finished;
      if (!FinishDecoded(d, !fullSize, boxWidth, boxHeight, false, back, scaleProgress, false, finished)) return false;
      dest = finished.Bitmap;
      if (outWidth) *outWidth = width;
      if (outHeight) *outHeight = height;
      return true;
    };

    switch (kind) {
    case TFormatKind::Jpeg:
    case TFormatKind::Progressive: {
      TPreviewSink sink(dest, boxWidth, boxHeight, fullSize, backColor, outWidth, outHeight);
      opt.Sink = &sink;
      opt.Progress = progressiveProgress;
      if (!format->Decode(data, opt, decoded, error)) return false;
      if (sink.Begun()) return sink.Ok();
      // The reader delivered the picture whole instead of row by row.
      return place(decoded, backColor);
    }
    case TFormatKind::Bitmap:
    case TFormatKind::Icon:
    case TFormatKind::Metafile: {
      if (!format->Decode(data, opt, decoded, error)) return false;
      if (!place(decoded, backColor)) return false;
      if (fullSize && kind == TFormatKind::Bitmap && otherProgress) otherProgress(100);
      return true;
    }
    case TFormatKind::Reduced:
      if (!fullSize) {
        opt.BoxWidth = boxWidth;
        opt.BoxHeight = boxHeight;
      }
      [[fallthrough]];
    case TFormatKind::Plain:
      opt.Progress = otherProgress;
      if (!format->Decode(data, opt, decoded, error)) return false;
      return place(decoded, 0xFFFFFF);
    case TFormatKind::Gif: {
#ifdef JKT_HAVE_GIF_ANIMATION
      TGifAnimation gif;
      if (!gif.LoadFromData(data, error) || gif.FrameCount() == 0) return false;
      bool ok = true;
      if (gif.FrameCount() == 1) {
        const QImage canvas = gif.FirstFrameOnWhite();
        if (canvas.isNull()) return false;
        TDecodedImage whole;
        whole.Bitmap = canvas;
        whole.Width = gif.ScreenWidth;
        whole.Height = gif.ScreenHeight;
        ok = place(whole, 0xFFFFFF);
      } else {
        if (outWidth) *outWidth = gif.ScreenWidth;
        if (outHeight) *outHeight = gif.ScreenHeight;
      }
      if (ok && animation) *animation = std::move(gif);
      return ok;
#else
      (void)animation;
      if (!format->Decode(data, opt, decoded, error)) return false;
      return place(decoded, 0xFFFFFF);
#endif
    }
    }
    return false;
  } catch (...) {
    return false;
  }
}
