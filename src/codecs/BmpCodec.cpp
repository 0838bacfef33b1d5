// Windows bitmap (BMP, DIB, RLE) and icon reader.
//
// Bitmaps: file header plus a core (12 byte), OS/2 (16…64 byte) or info
// (40, 52, 56, 108, 124 byte) header; 1, 2, 4, 8, 16, 24 and 32 bits a
// pixel; 4- and 8-bit run-length compression; bit-field masks (a 32-bit
// picture with an alpha mask is laid on white); rows stored bottom-up or
// (negative height) top-down. A file without the file header (a packed DIB)
// is read as well.
//
// Icons and cursors: the first image of the directory, either a bitmap of
// doubled height (colour bitmap then a 1-bit AND mask) or a PNG stream.
// Transparent parts come out white.
#include "codecs/CodecUtil.h"
#include "codecs/BmpWrite.h"

#include <QBuffer>
#include <QColor>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace {

enum : uint32_t {
  kBiRgb = 0,
  kBiRle8 = 1,
  kBiRle4 = 2,
  kBiBitfields = 3,
  kBiJpeg = 4,
  kBiPng = 5,
  kBiAlphaBitfields = 6,
};

struct TBgr {
  uint8_t B = 0, G = 0, R = 0;
};

// One channel of a bit-field pixel: where it sits and how to stretch it to
// 0…255. Channels of up to 8 bits are widened by repeating their bits (5-bit
// 24 becomes 198, as in the Targa reader); wider or gapped masks are scaled.
struct TMaskChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;  // largest value after shifting
  int Bits = 0;      // width of a gapless mask of up to 8 bits, else 0

  void Set(uint32_t mask)
  {
    Mask = mask;
    Shift = 0;
    Max = 0;
    Bits = 0;
    if (mask == 0) return;
    while (!(mask & 1u)) { mask >>= 1; ++Shift; }
    Max = mask;  // may contain gaps; still a sound upper bound
    if ((Max & (Max + 1)) == 0 && Max <= 0xFF)
      while (Max >> Bits) ++Bits;
  }
  uint8_t Get(uint32_t px) const
  {
    if (Max == 0) return 0;
    const uint32_t v = (px & Mask) >> Shift;
    if (Bits == 0) return uint8_t((uint64_t(v) * 255 + Max / 2) / Max);
    uint32_t out = 0;
    for (int at = 8 - Bits;; at -= Bits) {
      out |= at >= 0 ? v << at : v >> -at;
      if (at <= 0) break;
    }
    return uint8_t(out);
  }
};

struct TDibInfo {
  int64_t Width = 0;
  int64_t Height = 0;   // positive, after taking the sign away
  bool TopDown = false;
  int BitCount = 0;
  uint32_t Compression = kBiRgb;
  uint32_t ImageSize = 0;
  uint32_t ColorsUsed = 0;
  uint32_t HeaderSize = 0;
  bool Core = false;        // 3-byte palette entries
  bool HasMasks = false;
  uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
};

// Reads the bitmap header at the reader's position; leaves the reader just
// after the header and any colour masks that follow an info header.
bool ReadDibHeader(TByteReader& r, TDibInfo& info, QString& error)
{
  const size_t start = r.Pos();
  info.HeaderSize = r.U32LE();
  if (r.Failed()) { error = QStringLiteral("The bitmap header is truncated"); return false; }
  const uint32_t hs = info.HeaderSize;
  if (hs == 12) {
    info.Core = true;
    info.Width = r.U16LE();
    info.Height = r.U16LE();
    r.U16LE();  // planes
    info.BitCount = r.U16LE();
  } else if ((hs >= 16 && hs <= 64 && hs % 4 == 0) || hs == 108 || hs == 124) {
    info.Width = int32_t(r.U32LE());
    const int32_t h = int32_t(r.U32LE());
    r.U16LE();  // planes
    info.BitCount = r.U16LE();
    // OS/2 2.x headers may stop after the bit count; missing fields are 0.
    const size_t have = hs - 16;
    uint32_t fields[6] = {0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < 6 && (i + 1) * 4 <= have; ++i) fields[i] = r.U32LE();
    info.Compression = fields[0];
    info.ImageSize = fields[1];
    info.ColorsUsed = fields[4];
    if (hs >= 52) {
      for (int i = 0; i < 3; ++i) info.Masks[i] = r.U32LE();
      info.HasMasks = info.Compression == kBiBitfields || info.Compression == kBiAlphaBitfields;
    }
    if (hs >= 56) info.Masks[3] = r.U32LE();
    if (r.Failed() || !r.Seek(start + hs)) {
      error = QStringLiteral("The bitmap header is truncated");
      return false;
    }
    if (hs < 52 && (info.Compression == kBiBitfields || info.Compression == kBiAlphaBitfields)) {
      for (int i = 0; i < 3; ++i) info.Masks[i] = r.U32LE();
      if (info.Compression == kBiAlphaBitfields) info.Masks[3] = r.U32LE();
      info.HasMasks = true;
    }
    // An OS/2 header with "compression" 3 or 4 means Huffman or 24-bit RLE.
    const bool os2 = hs != 40 && hs != 52 && hs != 56 && hs != 108 && hs != 124;
    if (os2 && info.Compression >= kBiBitfields) {
      error = QStringLiteral("This kind of OS/2 bitmap compression is not supported");
      return false;
    }
    if (h == std::numeric_limits<int32_t>::min()) {
      error = QStringLiteral("The bitmap header is damaged");
      return false;
    }
    info.TopDown = h < 0;
    info.Height = h < 0 ? -int64_t(h) : h;
  } else {
    error = QStringLiteral("The bitmap header has an unknown size (%1)").arg(hs);
    return false;
  }
  if (r.Failed()) { error = QStringLiteral("The bitmap header is truncated"); return false; }
  if (info.Width < 0) {
    error = QStringLiteral("The bitmap header is damaged (negative width)");
    return false;
  }
  return true;
}

bool ReadPalette(TByteReader& r, const TDibInfo& info, std::vector<TBgr>& pal, size_t limit, QString& error)
{
  pal.clear();
  const size_t entry = info.Core ? 3 : 4;
  if (info.BitCount > 8) {
    // Optional colour table of true-colour bitmaps: not used for drawing,
    // but skipped so that a packed DIB finds its pixels.
    const size_t n = info.ColorsUsed < r.Remaining() / entry ? info.ColorsUsed : r.Remaining() / entry;
    r.Skip(n * entry);
    return true;
  }
  size_t count = size_t(1) << info.BitCount;
  size_t stored = count;  // entries in the file, which may exceed what the pixels can use
  if (info.ColorsUsed != 0) stored = info.ColorsUsed;
  if (stored < count) count = stored;
  // A palette may be cut short by the pixel offset; read what is there.
  size_t avail = r.Remaining();
  if (limit > r.Pos() && limit - r.Pos() < avail) avail = limit - r.Pos();
  if (avail / entry < count) count = avail / entry;
  if (count == 0) {
    error = QStringLiteral("The bitmap has no colour table");
    return false;
  }
  pal.resize(size_t(1) << info.BitCount);  // missing entries stay black
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = r.Take(entry);
    pal[i] = {p[0], p[1], p[2]};
  }
  if (stored > count) r.Skip(std::min((stored - count) * entry, r.Remaining() / entry * entry));
  return true;
}

// Converts a QImage of any format to a 24-bit bitmap, with transparent parts
// laid onto white.
QImage FlattenOnWhite(const QImage& src)
{
  QImage argb = src.convertToFormat(QImage::Format_ARGB32);
  QImage out(argb.width(), argb.height(), QImage::Format_BGR888);
  if (argb.isNull() || out.isNull()) return QImage();
  for (int y = 0; y < argb.height(); ++y) {
    const QRgb* s = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    uint8_t* d = out.scanLine(y);
    for (int x = 0; x < argb.width(); ++x) {
      const int a = qAlpha(s[x]);
      const int inv = 255 - a;
      d[3 * x + 0] = uint8_t((qBlue(s[x]) * a + 255 * inv + 127) / 255);
      d[3 * x + 1] = uint8_t((qGreen(s[x]) * a + 255 * inv + 127) / 255);
      d[3 * x + 2] = uint8_t((qRed(s[x]) * a + 255 * inv + 127) / 255);
    }
  }
  return out;
}

QImage DecodeEmbedded(const uint8_t* data, size_t size, const char* format, QString& error)
{
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
  QBuffer buf(&bytes);
  buf.open(QIODevice::ReadOnly);
  QImageReader reader(&buf, format);
  const QSize sz = reader.size();
  if (sz.isValid() && !CheckImageSize(sz.width(), sz.height(), error)) return QImage();
  QImage img;
  if (!reader.read(&img) || img.isNull()) {
    error = QStringLiteral("The embedded %1 picture is damaged").arg(QString::fromLatin1(format));
    return QImage();
  }
  QImage out = FlattenOnWhite(img);
  if (out.isNull()) error = QStringLiteral("Not enough memory for the picture");
  return out;
}

// Decodes the pixel array of a bitmap into `img` (already of the right
// size). `alpha`, when given, receives one alpha byte per pixel (32-bit
// pixels only, in picture row order).
class TDibPixels {
public:
  TDibPixels(const TDibInfo& info, const std::vector<TBgr>& pal, QImage& img)
      : m_info(info), m_pal(pal), m_img(img) {}

  std::vector<uint8_t>* Alpha = nullptr;

  bool Decode(const uint8_t* data, size_t size, const TDecodeProgress& progress, QString& error)
  {
    switch (m_info.Compression) {
    case kBiRgb:
    case kBiBitfields:
    case kBiAlphaBitfields:
      return DecodeRaw(data, size, progress, error);
    case kBiRle8:
    case kBiRle4:
      return DecodeRle(data, size, progress, error);
    default:
      error = QStringLiteral("Unknown bitmap compression (%1)").arg(m_info.Compression);
      return false;
    }
  }

private:
  int PictureRow(int64_t fileRow) const
  {
    return int(m_info.TopDown ? fileRow : m_info.Height - 1 - fileRow);
  }

  bool DecodeRaw(const uint8_t* data, size_t size, const TDecodeProgress& progress, QString& error)
  {
    const int bpp = m_info.BitCount;
    const int64_t w = m_info.Width;
    const int64_t h = m_info.Height;
    const int64_t stride = ((w * bpp + 31) / 32) * 4;
    if (m_info.Compression != kBiRgb && bpp != 16 && bpp != 32) {
      error = QStringLiteral("Bit-field masks need 16 or 32 bits a pixel");
      return false;
    }
    // The last row only needs its pixels, not its padding.
    const int64_t lastRow = (w * bpp + 7) / 8;
    if (int64_t(size) < stride * (h - 1) + lastRow) {
      error = QStringLiteral("The bitmap file is truncated");
      return false;
    }
    TMaskChannel ch[4];
    if (m_info.Compression != kBiRgb) {
      for (int i = 0; i < 4; ++i) ch[i].Set(m_info.Masks[i]);
    } else if (bpp == 16) {
      ch[0].Set(0x7C00); ch[1].Set(0x03E0); ch[2].Set(0x001F);
    } else if (bpp == 32) {
      ch[0].Set(0xFF0000); ch[1].Set(0xFF00); ch[2].Set(0xFF); ch[3].Set(0xFF000000u);
    }
    if (Alpha) Alpha->assign(size_t(w * h), 255);
    TProgressReporter rep(progress, int(h));
    for (int64_t fy = 0; fy < h; ++fy) {
      const uint8_t* s = data + fy * stride;
      const int y = PictureRow(fy);
      uint8_t* d = m_img.scanLine(y);
      switch (bpp) {
      case 1: case 2: case 4: case 8: {
        const int per = 8 / bpp;
        const int mask = (1 << bpp) - 1;
        for (int64_t x = 0; x < w; ++x) {
          const int shift = 8 - bpp * int(x % per + 1);
          const TBgr& c = m_pal[(s[x / per] >> shift) & mask];
          d[3 * x] = c.B; d[3 * x + 1] = c.G; d[3 * x + 2] = c.R;
        }
        break;
      }
      case 16:
        for (int64_t x = 0; x < w; ++x) {
          const uint32_t px = uint32_t(s[2 * x]) | (uint32_t(s[2 * x + 1]) << 8);
          d[3 * x] = ch[2].Get(px); d[3 * x + 1] = ch[1].Get(px); d[3 * x + 2] = ch[0].Get(px);
        }
        break;
      case 24:
        std::memcpy(d, s, size_t(w) * 3);
        break;
      case 32: {
        uint8_t* a = Alpha ? Alpha->data() + size_t(y) * size_t(w) : nullptr;
        for (int64_t x = 0; x < w; ++x) {
          const uint32_t px = uint32_t(s[4 * x]) | (uint32_t(s[4 * x + 1]) << 8) |
                              (uint32_t(s[4 * x + 2]) << 16) | (uint32_t(s[4 * x + 3]) << 24);
          d[3 * x] = ch[2].Get(px); d[3 * x + 1] = ch[1].Get(px); d[3 * x + 2] = ch[0].Get(px);
          if (a) a[x] = ch[3].Max ? ch[3].Get(px) : 255;
        }
        break;
      }
      default:
        error = QStringLiteral("Unsupported bit count (%1)").arg(bpp);
        return false;
      }
      if (!rep.RowsDone(int(fy + 1))) break;
    }
    return true;
  }

  void Put(int64_t x, int64_t fy, int index)
  {
    if (x >= m_info.Width || fy >= m_info.Height) return;
    const TBgr& c = m_pal[size_t(index) < m_pal.size() ? size_t(index) : 0];
    uint8_t* d = m_img.scanLine(PictureRow(fy)) + 3 * x;
    d[0] = c.B; d[1] = c.G; d[2] = c.R;
  }

  bool DecodeRle(const uint8_t* data, size_t size, const TDecodeProgress& progress, QString& error)
  {
    const bool four = m_info.Compression == kBiRle4;
    if (m_info.BitCount != (four ? 4 : 8)) {
      error = QStringLiteral("Run-length compression does not match the bit count");
      return false;
    }
    // Pixels the stream skips take colour 0.
    m_img.fill(QColor(m_pal[0].R, m_pal[0].G, m_pal[0].B));
    TByteReader r(data, size);
    TProgressReporter rep(progress, int(m_info.Height));
    int64_t x = 0, fy = 0;
    while (fy < m_info.Height) {
      if (r.Remaining() < 2) {
        // A stream that ends without its end marker on a command boundary
        // is accepted; the rest stays colour 0.
        if (r.Remaining() == 0) return true;
        error = QStringLiteral("The run-length data is truncated");
        return false;
      }
      const int count = r.U8();
      const int value = r.U8();
      if (count > 0) {
        for (int i = 0; i < count; ++i, ++x)
          Put(x, fy, four ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
        continue;
      }
      if (value == 0) {  // end of line
        x = 0;
        ++fy;
        if (!rep.RowsDone(int(fy))) return true;
      } else if (value == 1) {  // end of bitmap
        break;
      } else if (value == 2) {  // delta
        const int dx = r.U8();
        const int dy = r.U8();
        if (r.Failed()) { error = QStringLiteral("The run-length data is truncated"); return false; }
        x += dx;
        for (int i = 0; i < dy && fy < m_info.Height; ++i) {
          ++fy;
          if (!rep.RowsDone(int(fy))) return true;
        }
      } else {  // literal run of `value` pixels, padded to 16 bits
        const int n = value;
        const size_t bytes = four ? size_t((n + 1) / 2) : size_t(n);
        const uint8_t* p = r.Take(bytes);
        if (!p) { error = QStringLiteral("The run-length data is truncated"); return false; }
        for (int i = 0; i < n; ++i, ++x)
          Put(x, fy, four ? ((i & 1) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4)) : p[i]);
        if (bytes & 1) r.Skip(1);
      }
    }
    rep.RowsDone(int(m_info.Height));
    return true;
  }

  const TDibInfo& m_info;
  const std::vector<TBgr>& m_pal;
  QImage& m_img;
};

// Lays a picture on white by its alpha (one byte a pixel, picture row
// order). An alpha of 0 everywhere means the writer left it empty: the
// picture stays opaque and the result is false.
bool LayOnWhite(QImage& img, const std::vector<uint8_t>& alpha)
{
  const size_t w = size_t(img.width());
  if (alpha.size() != w * size_t(img.height())) return false;
  bool any = false;
  for (uint8_t a : alpha) if (a != 0) { any = true; break; }
  if (!any) return false;
  for (int y = 0; y < img.height(); ++y) {
    uint8_t* d = img.scanLine(y);
    const uint8_t* a = alpha.data() + size_t(y) * w;
    for (size_t x = 0; x < w; ++x) {
      const int inv = 255 - a[x];
      for (int k = 0; k < 3; ++k) d[3 * x + k] = uint8_t((d[3 * x + k] * a[x] + 255 * inv + 127) / 255);
    }
  }
  return true;
}

// The alpha of a picture (one byte a pixel, picture row order) as a
// Grayscale8 plane; null when it is opaque everywhere, or 0 everywhere (the
// writer left it empty).
QImage AlphaPlane(const QImage& img, const std::vector<uint8_t>& alpha)
{
  const size_t w = size_t(img.width());
  if (alpha.size() != w * size_t(img.height())) return QImage();
  bool any = false, seeThrough = false;
  for (uint8_t a : alpha) {
    any = any || a != 0;
    seeThrough = seeThrough || a != 255;
  }
  if (!any || !seeThrough) return QImage();
  QImage plane(img.width(), img.height(), QImage::Format_Grayscale8);
  if (plane.isNull()) return plane;
  for (int y = 0; y < img.height(); ++y) std::memcpy(plane.scanLine(y), alpha.data() + size_t(y) * w, w);
  return plane;
}

// False when the uncompressed pixel rows can not fit into `size` bytes.
bool RawDataFits(const TDibInfo& info, size_t size, QString& error)
{
  if (info.Compression == kBiRle4 || info.Compression == kBiRle8) return true;
  const int64_t stride = ((info.Width * info.BitCount + 31) / 32) * 4;
  const int64_t lastRow = (info.Width * info.BitCount + 7) / 8;
  if (int64_t(size) < stride * (info.Height - 1) + lastRow) {
    error = QStringLiteral("The bitmap file is truncated");
    return false;
  }
  return true;
}

bool CheckBitCount(const TDibInfo& info, QString& error)
{
  switch (info.BitCount) {
  case 1: case 2: case 4: case 8: case 16: case 24: case 32:
    return true;
  default:
    error = QStringLiteral("Unsupported bit count (%1)").arg(info.BitCount);
    return false;
  }
}

// Everything after the file header: info header, palette, pixels.
// `pixelOffset` is relative to `r`'s buffer start, 0 when unknown.
bool DecodeDib(TByteReader& r, size_t pixelOffset, const TDecodeOptions& opt, TDecodedImage& out,
               QString& error)
{
  TDibInfo info;
  if (!ReadDibHeader(r, info, error)) return false;
  if (info.Compression == kBiJpeg || info.Compression == kBiPng) {
    const size_t at = pixelOffset ? pixelOffset : r.Pos();
    if (at >= r.Size()) { error = QStringLiteral("The bitmap file is truncated"); return false; }
    QImage img = DecodeEmbedded(r.Data() + at, r.Size() - at,
                                info.Compression == kBiPng ? "PNG" : "JPEG", error);
    if (img.isNull()) return false;
    out.Bitmap = img;
    out.Width = img.width();
    out.Height = img.height();
    out.BitCount = info.BitCount ? info.BitCount : 24;
    return true;
  }
  if (!CheckBitCount(info, error)) return false;
  if (!CheckImageSize(info.Width, info.Height, error)) return false;
  std::vector<TBgr> pal;
  if (!ReadPalette(r, info, pal, pixelOffset, error)) return false;
  size_t at = r.Pos();
  if (pixelOffset != 0) {
    if (pixelOffset >= r.Size()) { error = QStringLiteral("The bitmap file is truncated"); return false; }
    at = pixelOffset;
  }
  if (!RawDataFits(info, r.Size() - at, error)) return false;
  QImage img = NewBitmap24(int(info.Width), int(info.Height), error);
  if (img.isNull()) return false;
  TDibPixels pixels(info, pal, img);
  // 32-bit pixels with an alpha mask hand their alpha on beside the colour
  // (none when it is 0 everywhere: the writer left it empty).
  std::vector<uint8_t> alpha;
  if (info.BitCount == 32 && info.HasMasks && info.Masks[3] != 0) pixels.Alpha = &alpha;
  if (!pixels.Decode(r.Data() + at, r.Size() - at, opt.Progress, error)) return false;
  out.Alpha = AlphaPlane(img, alpha);
  out.Bitmap = img;
  out.Width = int(info.Width);
  out.Height = int(info.Height);
  out.BitCount = info.BitCount;
  return true;
}

// One image of an icon: a bitmap with doubled height followed by an AND mask.
bool DecodeIconBitmap(const uint8_t* data, size_t size, TDecodedImage& out, QString& error)
{
  TByteReader r(data, size);
  TDibInfo info;
  if (!ReadDibHeader(r, info, error)) return false;
  if (info.Compression != kBiRgb) {
    error = QStringLiteral("The icon image is compressed in an unknown way");
    return false;
  }
  if (!CheckBitCount(info, error)) return false;
  info.Height /= 2;
  if (!CheckImageSize(info.Width, info.Height, error)) return false;
  std::vector<TBgr> pal;
  if (!ReadPalette(r, info, pal, 0, error)) return false;
  if (!RawDataFits(info, size - r.Pos(), error)) return false;
  QImage img = NewBitmap24(int(info.Width), int(info.Height), error);
  if (img.isNull()) return false;
  const int64_t w = info.Width;
  const int64_t h = info.Height;
  const size_t xorBytes = size_t(((w * info.BitCount + 31) / 32) * 4 * h);
  const size_t at = r.Pos();
  std::vector<uint8_t> alpha;
  TDibPixels pixels(info, pal, img);
  if (info.BitCount == 32) pixels.Alpha = &alpha;
  if (!pixels.Decode(data + at, size - at, TDecodeProgress(), error)) return false;

  if (!LayOnWhite(img, alpha)) {
    // The AND mask: a set bit shows the background (white). Icons that
    // leave the mask out are drawn opaque.
    const size_t maskStride = size_t(((w + 31) / 32) * 4);
    const size_t maskAt = at + xorBytes;
    if (maskAt <= size && (size - maskAt) / maskStride >= size_t(h)) {
      for (int64_t fy = 0; fy < h; ++fy) {
        const uint8_t* m = data + maskAt + size_t(fy) * maskStride;
        uint8_t* d = img.scanLine(int(info.TopDown ? fy : h - 1 - fy));
        for (int64_t x = 0; x < w; ++x)
          if (m[x / 8] & (0x80 >> (x % 8))) { d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = 255; }
      }
    }
  }
  out.Bitmap = img;
  out.Width = int(w);
  out.Height = int(h);
  out.BitCount = info.BitCount;
  return true;
}

}  // namespace

bool DecodeBmp(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  TByteReader r(data);
  TDecodedImage result;
  if (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') {
    r.Skip(10);
    const uint32_t offBits = r.U32LE();
    if (r.Failed()) { error = QStringLiteral("The bitmap file header is truncated"); return false; }
    // An offset inside the headers is damage; fall back to what follows the palette.
    const size_t off = offBits >= 14 + 12 ? size_t(offBits) : 0;
    if (!DecodeDib(r, off, opt, result, error)) return false;
  } else {
    // A packed DIB: header, palette and pixels with no file header.
    if (data.size() < 4) { error = QStringLiteral("Not a Windows bitmap file"); return false; }
    const uint32_t hs = TByteReader(data).U32LE();
    if (hs != 12 && hs != 40 && hs != 52 && hs != 56 && hs != 64 && hs != 108 && hs != 124) {
      error = QStringLiteral("Not a Windows bitmap file");
      return false;
    }
    if (!DecodeDib(r, 0, opt, result, error)) return false;
  }
  out = result;
  return true;
}

bool DecodeIcon(const QByteArray& data, const TDecodeOptions&, TDecodedImage& out, QString& error)
{
  TByteReader r(data);
  const uint16_t reserved = r.U16LE();
  const uint16_t type = r.U16LE();
  const uint16_t count = r.U16LE();
  if (r.Failed()) { error = QStringLiteral("The icon file is truncated"); return false; }
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) {
    error = QStringLiteral("Not an icon file");
    return false;
  }
  r.Skip(6);  // width, height, colour count, reserved, planes or hot spot x
  const uint16_t entryBits = r.U16LE();  // bit count, or hot spot y of a cursor
  const uint32_t bytes = r.U32LE();
  const uint32_t offset = r.U32LE();
  if (r.Failed()) { error = QStringLiteral("The icon file is truncated"); return false; }
  if (offset >= uint32_t(data.size()) || bytes == 0) {
    error = QStringLiteral("The icon file is truncated");
    return false;
  }
  const size_t avail = size_t(data.size()) - offset;
  const size_t size = bytes < avail ? bytes : avail;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(data.constData()) + offset;
  TDecodedImage result;
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (size >= 8 && std::memcmp(p, kPng, 8) == 0) {
    QImage img = DecodeEmbedded(p, size, "PNG", error);
    if (img.isNull()) return false;
    result.Bitmap = img;
    result.Width = img.width();
    result.Height = img.height();
    result.BitCount = 32;
  } else if (!DecodeIconBitmap(p, size, result, error)) {
    return false;
  }
  if (type == 1 && entryBits != 0 && entryBits <= 32) result.BitCount = entryBits;
  out = result;
  return true;
}

bool EncodeBmpWithAlpha(const QImage& bgrIn, const QImage& alpha, QByteArray& out, QString& error)
{
  const QImage bgr = bgrIn.format() == QImage::Format_BGR888 ? bgrIn : bgrIn.convertToFormat(QImage::Format_BGR888);
  if (bgr.isNull() || alpha.size() != bgr.size() || alpha.format() != QImage::Format_Grayscale8 ||
      !CheckImageSize(bgr.width(), bgr.height(), error)) {
    if (error.isEmpty()) error = QStringLiteral("There is no picture to save");
    return false;
  }
  // A 108-byte (version 4) header with bit-field masks for blue, green, red
  // and alpha; rows bottom-up, four bytes a pixel.
  const int w = bgr.width(), h = bgr.height();
  const int64_t pixelBytes = int64_t(w) * h * 4;
  constexpr int kFileHeader = 14, kInfoHeader = 108;
  if (pixelBytes + kFileHeader + kInfoHeader > 0x7FFFFFFF) {
    error = QStringLiteral("The picture is too large for a bitmap file");
    return false;
  }
  out.clear();
  out.reserve(qsizetype(pixelBytes + kFileHeader + kInfoHeader));
  auto u16 = [&](uint32_t v) { out += char(v & 0xFF); out += char((v >> 8) & 0xFF); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
  out += "BM";
  u32(uint32_t(pixelBytes + kFileHeader + kInfoHeader));
  u32(0);
  u32(kFileHeader + kInfoHeader);
  u32(kInfoHeader);
  u32(uint32_t(w));
  u32(uint32_t(h));
  u16(1);
  u16(32);
  u32(kBiBitfields);
  u32(uint32_t(pixelBytes));
  u32(2835);  // 72 dots an inch
  u32(2835);
  u32(0);
  u32(0);
  u32(0x00FF0000);  // red
  u32(0x0000FF00);  // green
  u32(0x000000FF);  // blue
  u32(0xFF000000);  // alpha
  u32(0x73524742);  // "sRGB"
  for (int i = 0; i < 12; ++i) u32(0);  // end points and gamma, unused
  std::vector<char> row(size_t(w) * 4);
  for (int y = h - 1; y >= 0; --y) {
    const uint8_t* c = bgr.constScanLine(y);
    const uint8_t* a = alpha.constScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[size_t(x) * 4] = char(c[3 * x]);
      row[size_t(x) * 4 + 1] = char(c[3 * x + 1]);
      row[size_t(x) * 4 + 2] = char(c[3 * x + 2]);
      row[size_t(x) * 4 + 3] = char(a[x]);
    }
    out.append(row.data(), qsizetype(row.size()));
  }
  return true;
}
