// Truevision Targa reader: colour-mapped (types 1 and 9), true colour
// (2 and 10) and grey (3 and 11) pictures, uncompressed or run-length
// encoded, 8, 15, 16, 24 or 32 bits a pixel, stored from the top or the
// bottom row and from the left or the right. Rows are handed on in the
// order they are stored, so a bottom-up file fills its preview upwards.
// A 32-bit picture whose header declares 8 alpha bits is laid on white,
// unless every alpha value is 0 (writers that declare alpha and leave it
// empty mean an opaque picture).
#include "codecs/CodecUtil.h"

#include <utility>
#include <vector>

namespace {

struct TTgaHeader {
  int IdLength = 0;
  int ColorMapType = 0;
  int ImageType = 0;
  int MapFirst = 0;
  int MapLength = 0;
  int MapEntryBits = 0;
  int Width = 0;
  int Height = 0;
  int Depth = 0;
  int Descriptor = 0;

  bool Rle() const { return ImageType >= 9; }
  int BaseType() const { return ImageType & 7; }
  bool TopDown() const { return (Descriptor & 0x20) != 0; }
  bool DeclaresAlpha() const { return Depth == 32 && BaseType() == 2 && (Descriptor & 0x0F) == 8; }
  bool RightToLeft() const { return (Descriptor & 0x10) != 0; }
};

// 5-5-5 pixel (the top bit is an attribute bit) to blue, green, red.
inline void From555(uint32_t v, uint8_t* d)
{
  const uint32_t b = v & 0x1F, g = (v >> 5) & 0x1F, r = (v >> 10) & 0x1F;
  d[0] = uint8_t((b << 3) | (b >> 2));
  d[1] = uint8_t((g << 3) | (g >> 2));
  d[2] = uint8_t((r << 3) | (r >> 2));
}

// Reads pixels one by one from the stored stream, expanding run-length
// packets, which may run on from one row into the next.
class TPixelStream {
public:
  TPixelStream(TByteReader& r, int bytesPerPixel, bool rle) : m_r(r), m_bpp(bytesPerPixel), m_rle(rle) {}

  // Fills `count` pixels of raw bytes; false when the data runs out.
  bool ReadRow(uint8_t* dst, int count)
  {
    if (!m_rle) return m_r.Read(dst, size_t(count) * size_t(m_bpp));
    int done = 0;
    while (done < count) {
      if (m_left == 0) {
        const int h = m_r.U8();
        if (m_r.Failed()) return false;
        m_left = (h & 0x7F) + 1;
        m_run = (h & 0x80) != 0;
        if (m_run && !m_r.Read(m_value, size_t(m_bpp))) return false;
      }
      const int n = m_left < count - done ? m_left : count - done;
      uint8_t* d = dst + size_t(done) * size_t(m_bpp);
      if (m_run) {
        for (int i = 0; i < n; ++i)
          for (int k = 0; k < m_bpp; ++k) d[i * m_bpp + k] = m_value[k];
      } else if (!m_r.Read(d, size_t(n) * size_t(m_bpp))) {
        return false;
      }
      m_left -= n;
      done += n;
    }
    return true;
  }

private:
  TByteReader& m_r;
  int m_bpp;
  bool m_rle;
  int m_left = 0;
  bool m_run = false;
  uint8_t m_value[4] = {0, 0, 0, 0};
};

bool ReadHeader(TByteReader& r, TTgaHeader& h, QString& error)
{
  h.IdLength = r.U8();
  h.ColorMapType = r.U8();
  h.ImageType = r.U8();
  h.MapFirst = r.U16LE();
  h.MapLength = r.U16LE();
  h.MapEntryBits = r.U8();
  r.U16LE();  // x origin
  r.U16LE();  // y origin
  h.Width = r.U16LE();
  h.Height = r.U16LE();
  h.Depth = r.U8();
  h.Descriptor = r.U8();
  if (r.Failed()) { error = QStringLiteral("The Targa header is truncated"); return false; }
  const int t = h.ImageType;
  if ((t != 1 && t != 2 && t != 3 && t != 9 && t != 10 && t != 11) || h.ColorMapType > 1) {
    error = QStringLiteral("Not a Targa file, or a kind of Targa picture that is not supported");
    return false;
  }
  const int base = h.BaseType();
  bool depthOk = false;
  if (base == 1) depthOk = h.Depth == 8 || h.Depth == 16;
  else if (base == 2) depthOk = h.Depth == 15 || h.Depth == 16 || h.Depth == 24 || h.Depth == 32;
  else depthOk = h.Depth == 8 || h.Depth == 16;  // grey, or grey with alpha
  if (!depthOk) {
    error = QStringLiteral("The Targa file has an unsupported pixel depth (%1)").arg(h.Depth);
    return false;
  }
  if (h.ColorMapType == 1) {
    const int e = h.MapEntryBits;
    if (e != 15 && e != 16 && e != 24 && e != 32) {
      error = QStringLiteral("The Targa colour map has an unsupported entry size (%1)").arg(e);
      return false;
    }
  } else if (base == 1) {
    error = QStringLiteral("The colour-mapped Targa file has no colour map");
    return false;
  }
  return CheckImageSize(h.Width, h.Height, error);
}

// True when any pixel of a 32-bit picture has an alpha other than 0; reads
// the pixels from a copy of the reader, so the caller's position stays.
bool AnyAlpha(const TByteReader& at, const TTgaHeader& h)
{
  TByteReader r = at;
  TPixelStream stream(r, 4, h.Rle());
  std::vector<uint8_t> raw(size_t(h.Width) * 4);
  for (int fy = 0; fy < h.Height; ++fy) {
    if (!stream.ReadRow(raw.data(), h.Width)) return false;
    for (size_t i = 3; i < raw.size(); i += 4)
      if (raw[i] != 0) return true;
  }
  return false;
}

}  // namespace

bool DecodeTarga(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  TByteReader r(data);
  TTgaHeader h;
  if (!ReadHeader(r, h, error)) return false;
  if (!r.Skip(size_t(h.IdLength))) { error = QStringLiteral("The Targa file is truncated"); return false; }

  // The colour map, turned into blue, green, red triples. True-colour files
  // may carry one too; it is skipped.
  std::vector<uint8_t> map;
  if (h.ColorMapType == 1) {
    const int eb = (h.MapEntryBits + 7) / 8;
    const uint8_t* p = r.Take(size_t(h.MapLength) * size_t(eb));
    if (!p) { error = QStringLiteral("The Targa colour map is truncated"); return false; }
    if (h.BaseType() == 1) {
      map.resize(size_t(h.MapLength) * 3);
      for (int i = 0; i < h.MapLength; ++i) {
        const uint8_t* e = p + size_t(i) * size_t(eb);
        uint8_t* d = map.data() + size_t(i) * 3;
        if (eb == 2) From555(uint32_t(e[0]) | (uint32_t(e[1]) << 8), d);
        else { d[0] = e[0]; d[1] = e[1]; d[2] = e[2]; }
      }
    }
  }

  const int bytesPerPixel = (h.Depth + 7) / 8;
  // The smallest stored size of the pixels (runs of 128 when compressed).
  const size_t pixels = size_t(h.Width) * size_t(h.Height);
  const size_t minBytes = h.Rle() ? (pixels + 127) / 128 * size_t(1 + bytesPerPixel) : pixels * size_t(bytesPerPixel);
  if (r.Remaining() < minBytes) { error = QStringLiteral("The Targa file is truncated"); return false; }
  QImage img = NewBitmap24(h.Width, h.Height, error);
  if (img.isNull()) return false;

  const bool alpha = h.DeclaresAlpha() && AnyAlpha(r, h);
  const bool bottomUp = !h.TopDown();
  std::vector<uint8_t> raw(size_t(h.Width) * size_t(bytesPerPixel));
  std::vector<uint8_t> row(size_t(h.Width) * 3);
  TPixelStream stream(r, bytesPerPixel, h.Rle());
  TProgressReporter rep(opt.Progress, h.Height, bottomUp);
  if (opt.Sink) opt.Sink->Begin(h.Width, h.Height, bottomUp);

  const int base = h.BaseType();
  const size_t mapCount = size_t(h.MapLength);
  for (int fy = 0; fy < h.Height; ++fy) {
    if (!stream.ReadRow(raw.data(), h.Width)) {
      error = QStringLiteral("The Targa file is truncated");
      return false;
    }
    const uint8_t* s = raw.data();
    uint8_t* d = row.data();
    for (int x = 0; x < h.Width; ++x, s += bytesPerPixel, d += 3) {
      if (base == 1) {
        size_t idx = bytesPerPixel == 1 ? s[0] : size_t(s[0]) | (size_t(s[1]) << 8);
        // Indices outside the map are damage; they show as black.
        idx -= size_t(h.MapFirst);
        if (idx < mapCount) { d[0] = map[3 * idx]; d[1] = map[3 * idx + 1]; d[2] = map[3 * idx + 2]; }
        else { d[0] = d[1] = d[2] = 0; }
      } else if (base == 3) {
        d[0] = d[1] = d[2] = s[0];
      } else if (bytesPerPixel == 2) {
        From555(uint32_t(s[0]) | (uint32_t(s[1]) << 8), d);
      } else if (alpha) {
        const int a = s[3], inv = 255 - a;
        for (int k = 0; k < 3; ++k) d[k] = uint8_t((s[k] * a + 255 * inv + 127) / 255);
      } else {
        d[0] = s[0]; d[1] = s[1]; d[2] = s[2];
      }
    }
    if (h.RightToLeft()) {
      for (int a = 0, b = h.Width - 1; a < b; ++a, --b)
        for (int k = 0; k < 3; ++k) std::swap(row[3 * size_t(a) + k], row[3 * size_t(b) + k]);
    }
    const int y = bottomUp ? h.Height - 1 - fy : fy;
    std::memcpy(img.scanLine(y), row.data(), row.size());
    if (opt.Sink) opt.Sink->Row(y, row.data());
    if (!rep.RowsDone(fy + 1)) break;
  }
  out.Bitmap = img;
  out.Width = h.Width;
  out.Height = h.Height;
  out.BitCount = h.Depth;
  return true;
}
