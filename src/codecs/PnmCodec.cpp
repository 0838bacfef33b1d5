// Portable bitmap, graymap and pixmap reader (P1 … P6): plain (ASCII) and
// raw forms, comments anywhere in the header, any maximum value from 1 to
// 65535 (two bytes a sample, most significant first, above 255), scaled to
// 0 … 255. Only the first picture of a multi-picture file is read.
#include "codecs/CodecUtil.h"

#include <vector>

namespace {

class TPnmParser {
public:
  explicit TPnmParser(const QByteArray& data)
      : m_p(reinterpret_cast<const uint8_t*>(data.constData())), m_n(size_t(data.size())) {}

  static bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

  // Skips white space and comments (from '#' to the end of the line).
  void SkipSpace()
  {
    while (m_i < m_n) {
      if (IsSpace(m_p[m_i])) { ++m_i; continue; }
      if (m_p[m_i] == '#') {
        while (m_i < m_n && m_p[m_i] != '\n' && m_p[m_i] != '\r') ++m_i;
        continue;
      }
      break;
    }
  }

  // An unsigned decimal number; false when there is none or it exceeds `limit`.
  bool Number(uint32_t& v, uint32_t limit)
  {
    SkipSpace();
    if (m_i >= m_n || m_p[m_i] < '0' || m_p[m_i] > '9') return false;
    uint64_t x = 0;
    while (m_i < m_n && m_p[m_i] >= '0' && m_p[m_i] <= '9') {
      x = x * 10 + uint32_t(m_p[m_i++] - '0');
      if (x > limit) return false;
    }
    v = uint32_t(x);
    return true;
  }

  // One plain-bitmap digit: '0' or '1', separators optional.
  bool Bit(int& v)
  {
    SkipSpace();
    if (m_i >= m_n || (m_p[m_i] != '0' && m_p[m_i] != '1')) return false;
    v = m_p[m_i++] - '0';
    return true;
  }

  // The single white-space byte that ends the header of a raw picture.
  bool EndOfHeader()
  {
    if (m_i >= m_n || !IsSpace(m_p[m_i])) return false;
    ++m_i;
    return true;
  }

  const uint8_t* Take(size_t n)
  {
    if (n > m_n - m_i) return nullptr;
    const uint8_t* p = m_p + m_i;
    m_i += n;
    return p;
  }

  size_t Remaining() const { return m_n - m_i; }
  uint8_t Byte(size_t k) const { return k < m_n ? m_p[k] : 0; }

private:
  const uint8_t* m_p;
  size_t m_n;
  size_t m_i = 0;
};

}  // namespace

bool DecodePnm(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  TPnmParser p(data);
  if (data.size() < 2 || p.Byte(0) != 'P' || p.Byte(1) < '1' || p.Byte(1) > '6') {
    error = QStringLiteral("Not a portable bitmap, graymap or pixmap file");
    return false;
  }
  const int kind = p.Byte(1) - '0';
  p.Take(2);
  const bool raw = kind >= 4;
  const int family = raw ? kind - 3 : kind;  // 1 bitmap, 2 graymap, 3 pixmap
  uint32_t w = 0, h = 0, maxval = 1;
  if (!p.Number(w, 1u << 30) || !p.Number(h, 1u << 30) || (family != 1 && !p.Number(maxval, 1u << 30))) {
    error = QStringLiteral("The picture header is damaged or truncated");
    return false;
  }
  if (maxval < 1 || maxval > 65535) {
    error = QStringLiteral("The picture header has a bad maximum value (%1)").arg(maxval);
    return false;
  }
  if (!CheckImageSize(w, h, error)) return false;
  if (raw && !p.EndOfHeader()) {
    error = QStringLiteral("The picture header is damaged or truncated");
    return false;
  }

  // Refuse before allocating when the file can not hold the picture: raw
  // rows have a fixed size, plain samples take at least one byte each.
  const int channels = family == 3 ? 3 : 1;
  const size_t sampleBytes = maxval > 255 ? 2 : 1;
  const size_t rowBytes = family == 1 ? (size_t(w) + 7) / 8 : size_t(w) * size_t(channels) * sampleBytes;
  const size_t minBytes = raw ? rowBytes * h : size_t(w) * h * size_t(channels);
  const QString truncated = QStringLiteral("The picture file is truncated or damaged");
  if (p.Remaining() < minBytes) { error = truncated; return false; }

  // Sample value → 0 … 255, rounded.
  std::vector<uint8_t> scale(size_t(maxval) + 1);
  for (uint32_t v = 0; v <= maxval; ++v) scale[v] = uint8_t((uint64_t(v) * 255 + maxval / 2) / maxval);

  QImage img = NewBitmap24(int(w), int(h), error);
  if (img.isNull()) return false;
  std::vector<uint32_t> samples(size_t(w) * size_t(channels));
  TProgressReporter rep(opt.Progress, int(h));

  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* d = img.scanLine(int(y));
    if (family == 1) {
      // 1 is black.
      if (raw) {
        const uint8_t* s = p.Take(rowBytes);
        if (!s) { error = truncated; return false; }
        for (uint32_t x = 0; x < w; ++x) {
          const uint8_t v = (s[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
          d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = v;
        }
      } else {
        for (uint32_t x = 0; x < w; ++x) {
          int bit = 0;
          if (!p.Bit(bit)) { error = truncated; return false; }
          d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = bit ? 0 : 255;
        }
      }
    } else {
      if (raw) {
        const uint8_t* s = p.Take(rowBytes);
        if (!s) { error = truncated; return false; }
        for (size_t i = 0; i < samples.size(); ++i)
          samples[i] = sampleBytes == 2 ? (uint32_t(s[2 * i]) << 8) | s[2 * i + 1] : s[i];
      } else {
        for (uint32_t& v : samples)
          if (!p.Number(v, 0xFFFFFFFFu)) { error = truncated; return false; }
      }
      // Samples above the maximum are damage; they are taken as the maximum.
      for (uint32_t& v : samples) if (v > maxval) v = maxval;
      if (channels == 1) {
        for (uint32_t x = 0; x < w; ++x) d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = scale[samples[x]];
      } else {
        for (uint32_t x = 0; x < w; ++x) {
          d[3 * x] = scale[samples[3 * x + 2]];
          d[3 * x + 1] = scale[samples[3 * x + 1]];
          d[3 * x + 2] = scale[samples[3 * x]];
        }
      }
    }
    if (!rep.RowsDone(int(y + 1))) break;
  }
  out.Bitmap = img;
  out.Width = int(w);
  out.Height = int(h);
  out.BitCount = family == 1 ? 1 : family == 2 ? 8 : 24;
  return true;
}
