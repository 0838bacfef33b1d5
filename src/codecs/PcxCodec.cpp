// ZSoft PCX reader: monochrome, 4-colour, 16-colour (packed or four bit
// planes, palette in the header), 256-colour (palette at the end of the
// file) and true colour (three or four byte planes), run-length encoded or
// plain. Rows go to the preview as soon as they are decoded.
#include "codecs/CodecUtil.h"

#include <vector>

namespace {

// The standard 16 EGA colours, for files whose header palette is empty.
const uint8_t kEgaPalette[16][3] = {
    {0, 0, 0},       {0, 0, 170},     {0, 170, 0},     {0, 170, 170},
    {170, 0, 0},     {170, 0, 170},   {170, 85, 0},    {170, 170, 170},
    {85, 85, 85},    {85, 85, 255},   {85, 255, 85},   {85, 255, 255},
    {255, 85, 85},   {255, 85, 255},  {255, 255, 85},  {255, 255, 255},
};

// Expands the run-length stream; runs may cross from one row into the next.
class TPcxStream {
public:
  TPcxStream(TByteReader& r, bool rle) : m_r(r), m_rle(rle) {}

  bool Read(uint8_t* dst, size_t n)
  {
    if (!m_rle) return m_r.Read(dst, n);
    size_t done = 0;
    while (done < n) {
      if (m_left == 0) {
        const uint8_t b = m_r.U8();
        if (m_r.Failed()) return false;
        if ((b & 0xC0) == 0xC0) {
          m_left = b & 0x3F;
          m_value = m_r.U8();
          if (m_r.Failed()) return false;
          continue;  // a count of 0 is an empty run
        }
        dst[done++] = b;
        continue;
      }
      const size_t k = m_left < n - done ? m_left : n - done;
      std::memset(dst + done, m_value, k);
      m_left -= k;
      done += k;
    }
    return true;
  }

private:
  TByteReader& m_r;
  bool m_rle;
  size_t m_left = 0;
  uint8_t m_value = 0;
};

}  // namespace

bool DecodePcx(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  TByteReader r(data);
  const uint8_t maker = r.U8();
  const uint8_t version = r.U8();
  const uint8_t encoding = r.U8();
  const int bits = r.U8();
  const int xmin = r.U16LE(), ymin = r.U16LE(), xmax = r.U16LE(), ymax = r.U16LE();
  r.Skip(4);  // resolution
  uint8_t headerPal[48];
  r.Read(headerPal, sizeof headerPal);
  r.U8();  // reserved
  const int planes = r.U8();
  const int bytesPerLine = r.U16LE();
  r.U16LE();  // palette kind (colour or grey); the data decides
  if (r.Failed() || data.size() < 128) { error = QStringLiteral("The PCX header is truncated"); return false; }
  if (maker != 0x0A || encoding > 1) { error = QStringLiteral("Not a PCX file"); return false; }
  if (xmax < xmin || ymax < ymin) { error = QStringLiteral("The PCX header is damaged (bad picture bounds)"); return false; }
  const int width = xmax - xmin + 1;
  const int height = ymax - ymin + 1;
  if (!CheckImageSize(width, height, error)) return false;

  int bitCount = 0;
  if (planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) bitCount = bits == 2 ? 4 : bits;
  else if (bits == 1 && planes >= 2 && planes <= 4) bitCount = 4;
  else if (bits == 8 && planes == 3) bitCount = 24;
  else if (bits == 8 && planes == 4) bitCount = 32;
  if (bitCount == 0) {
    error = QStringLiteral("Unsupported PCX pixel format (%1 bits, %2 planes)").arg(bits).arg(planes);
    return false;
  }
  if (int64_t(bytesPerLine) * 8 < int64_t(width) * bits) {
    error = QStringLiteral("The PCX header is damaged (line too short)");
    return false;
  }

  // Palette: header colours for up to 16 colours, the block after 0x0C at
  // the end for 256, a grey ramp when that block is missing.
  uint8_t pal[256][3];
  const bool indexed = bitCount <= 8;
  if (indexed && bits * planes <= 4) {
    // Version 3 files carry no palette; use the standard colours then too.
    bool empty = true;
    for (uint8_t b : headerPal) if (b) { empty = false; break; }
    if (version == 3) empty = true;
    for (int i = 0; i < 16; ++i)
      for (int k = 0; k < 3; ++k) pal[i][k] = empty ? kEgaPalette[i][k] : headerPal[3 * i + k];
    if (bits == 1 && planes == 1) {
      // Monochrome is black and white whatever the header holds.
      for (int k = 0; k < 3; ++k) { pal[0][k] = 0; pal[1][k] = 255; }
    }
  } else if (indexed) {
    const qsizetype at = data.size() - 769;
    if (at >= 128 && uint8_t(data[at]) == 0x0C) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(data.constData()) + at + 1;
      for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) pal[i][k] = p[3 * i + k];
    } else {
      for (int i = 0; i < 256; ++i) pal[i][0] = pal[i][1] = pal[i][2] = uint8_t(i);
    }
  }

  // The smallest stored size of the rows (a run holds at most 63 bytes).
  const size_t lineBytes = size_t(bytesPerLine) * size_t(planes);
  const size_t total = lineBytes * size_t(height);
  const size_t minBytes = encoding == 1 ? (total + 62) / 63 * 2 : total;
  if (size_t(data.size()) - 128 < minBytes) { error = QStringLiteral("The PCX file is truncated"); return false; }
  QImage img = NewBitmap24(width, height, error);
  if (img.isNull()) return false;
  r.Seek(128);
  std::vector<uint8_t> line(lineBytes);
  std::vector<uint8_t> row(size_t(width) * 3);
  TPcxStream stream(r, encoding == 1);
  TProgressReporter rep(opt.Progress, height);
  if (opt.Sink) opt.Sink->Begin(width, height, false);

  for (int y = 0; y < height; ++y) {
    if (!stream.Read(line.data(), lineBytes)) {
      error = QStringLiteral("The PCX file is truncated");
      return false;
    }
    uint8_t* d = row.data();
    if (bitCount >= 24) {
      const uint8_t* rp = line.data();
      const uint8_t* gp = rp + bytesPerLine;
      const uint8_t* bp = gp + bytesPerLine;
      for (int x = 0; x < width; ++x, d += 3) { d[0] = bp[x]; d[1] = gp[x]; d[2] = rp[x]; }
    } else {
      const int mask = (1 << bits) - 1;
      const int per = 8 / bits;
      for (int x = 0; x < width; ++x, d += 3) {
        int idx = 0;
        for (int p = 0; p < planes; ++p) {
          const uint8_t byte = line[size_t(p) * size_t(bytesPerLine) + size_t(x / per)];
          const int v = (byte >> (8 - bits * (x % per + 1))) & mask;
          idx |= v << (p * bits);
        }
        d[0] = pal[idx][2]; d[1] = pal[idx][1]; d[2] = pal[idx][0];
      }
    }
    std::memcpy(img.scanLine(y), row.data(), row.size());
    if (opt.Sink) opt.Sink->Row(y, row.data());
    if (!rep.RowsDone(y + 1)) break;
  }
  out.Bitmap = img;
  out.Width = width;
  out.Height = height;
  out.BitCount = bitCount;
  return true;
}
