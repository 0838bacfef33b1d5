// Photoshop reader (PSD and large-document PSB): the merged picture that
// follows the layers, raw or PackBits-compressed, in bitmap, greyscale,
// duotone, multichannel, indexed, RGB, CMYK or Lab mode at 1, 8, 16 or 32
// bits a channel. The channels are stored one after the other, so a row is
// complete (and goes to the preview) only while the last channel is read.
// Extra channels are not drawn: Photoshop stores the merged picture already
// blended with white where it is transparent.
#include "codecs/CodecUtil.h"

#include <cmath>
#include <new>
#include <vector>

namespace {

enum : int {
  kModeBitmap = 0,
  kModeGrey = 1,
  kModeIndexed = 2,
  kModeRgb = 3,
  kModeCmyk = 4,
  kModeMultichannel = 7,
  kModeDuotone = 8,
  kModeLab = 9,
};

// Expands one PackBits row; a row that decodes short leaves zeros, a row
// that decodes long is cut.
void UnpackBits(const uint8_t* s, size_t n, uint8_t* d, size_t rowBytes)
{
  size_t i = 0, o = 0;
  while (i < n && o < rowBytes) {
    const int h = int8_t(s[i++]);
    if (h >= 0) {
      size_t k = size_t(h) + 1;
      if (k > n - i) k = n - i;
      if (k > rowBytes - o) k = rowBytes - o;
      std::memcpy(d + o, s + i, k);
      i += size_t(h) + 1;
      o += k;
    } else if (h != -128) {
      if (i >= n) break;
      size_t k = size_t(1 - h);
      if (k > rowBytes - o) k = rowBytes - o;
      std::memset(d + o, s[i++], k);
      o += k;
    }
  }
  if (o < rowBytes) std::memset(d + o, 0, rowBytes - o);
}

uint8_t FloatTo8(const uint8_t* p)
{
  const uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
  float f;
  std::memcpy(&f, &bits, 4);
  if (!(f > 0.0f)) return 0;  // also NaN
  if (f >= 1.0f) return 255;
  // 32-bit documents hold linear light; bring it to display gamma.
  return uint8_t(std::lround(std::pow(double(f), 1.0 / 2.2) * 255.0));
}

inline uint8_t Clamp8(double v)
{
  return v <= 0 ? 0 : v >= 255 ? 255 : uint8_t(std::lround(v));
}

// CIE L*a*b* (D50 as Photoshop stores it) to sRGB.
void LabToBgr(uint8_t L8, uint8_t a8, uint8_t b8, uint8_t* d)
{
  const double L = L8 * 100.0 / 255.0, a = a8 - 128.0, b = b8 - 128.0;
  const double fy = (L + 16.0) / 116.0, fx = fy + a / 500.0, fz = fy - b / 200.0;
  auto inv = [](double t) { return t > 6.0 / 29.0 ? t * t * t : 3.0 * (6.0 / 29.0) * (6.0 / 29.0) * (t - 4.0 / 29.0); };
  const double X = 0.9642 * inv(fx), Y = inv(fy), Z = 0.8249 * inv(fz);
  // Bradford-adapted D50 XYZ to linear sRGB.
  const double rl = 3.1338561 * X - 1.6168667 * Y - 0.4906146 * Z;
  const double gl = -0.9787684 * X + 1.9161415 * Y + 0.0334540 * Z;
  const double bl = 0.0719453 * X - 0.2289914 * Y + 1.4052427 * Z;
  auto gamma = [](double c) {
    c = c < 0 ? 0 : c > 1 ? 1 : c;
    return 255.0 * (c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055);
  };
  d[0] = Clamp8(gamma(bl));
  d[1] = Clamp8(gamma(gl));
  d[2] = Clamp8(gamma(rl));
}

}  // namespace

bool DecodePsd(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  TByteReader r(data);
  const uint32_t sig = r.U32BE();
  const int version = r.U16BE();
  r.Skip(6);
  const int channels = r.U16BE();
  const uint32_t height = r.U32BE();
  const uint32_t width = r.U32BE();
  const int depth = r.U16BE();
  const int mode = r.U16BE();
  if (r.Failed()) { error = QStringLiteral("The Photoshop header is truncated"); return false; }
  if (sig != 0x38425053 || (version != 1 && version != 2)) {  // "8BPS"
    error = QStringLiteral("Not a Photoshop file");
    return false;
  }
  const bool large = version == 2;
  if (channels < 1 || channels > 56 || (depth != 1 && depth != 8 && depth != 16 && depth != 32)) {
    error = QStringLiteral("The Photoshop header is damaged");
    return false;
  }
  int needed = 0, bitCount = 0;
  switch (mode) {
  case kModeBitmap: needed = 1; bitCount = 1; break;
  case kModeGrey: case kModeDuotone: case kModeMultichannel: needed = 1; bitCount = 8; break;
  case kModeIndexed: needed = 1; bitCount = 8; break;
  case kModeRgb: case kModeLab: needed = 3; bitCount = 24; break;
  case kModeCmyk: needed = 4; bitCount = 32; break;
  default:
    error = QStringLiteral("Unsupported Photoshop colour mode (%1)").arg(mode);
    return false;
  }
  if ((mode == kModeBitmap) != (depth == 1) || (mode == kModeIndexed && depth != 8)) {
    error = QStringLiteral("The Photoshop header is damaged (mode and depth do not match)");
    return false;
  }
  if (channels < needed) {
    error = QStringLiteral("The Photoshop file has too few channels for its colour mode");
    return false;
  }
  if (!CheckImageSize(width, height, error)) return false;
  const int w = int(width), h = int(height);

  // Colour mode data (the palette of indexed pictures), image resources,
  // layer and mask information.
  uint8_t pal[256][3] = {};
  const uint32_t modeLen = r.U32BE();
  const uint8_t* modeData = r.Take(modeLen);
  if (!modeData) { error = QStringLiteral("The Photoshop file is truncated"); return false; }
  if (mode == kModeIndexed) {
    if (modeLen < 768) { error = QStringLiteral("The Photoshop palette is missing"); return false; }
    for (int i = 0; i < 256; ++i)
      for (int k = 0; k < 3; ++k) pal[i][k] = modeData[k * 256 + i];
  }
  const uint32_t resLen = r.U32BE();
  r.Skip(resLen);
  uint64_t layerLen = large ? (uint64_t(r.U32BE()) << 32) | r.U32BE() : r.U32BE();
  if (r.Failed() || layerLen > r.Remaining() || !r.Skip(size_t(layerLen))) {
    error = QStringLiteral("The Photoshop file is truncated");
    return false;
  }
  const int compression = r.U16BE();
  if (r.Failed()) { error = QStringLiteral("The Photoshop file is truncated"); return false; }
  if (compression != 0 && compression != 1) {
    error = QStringLiteral("This Photoshop compression is not supported (%1)").arg(compression);
    return false;
  }

  const size_t rowBytes = depth == 1 ? (size_t(w) + 7) / 8 : size_t(w) * size_t(depth / 8);
  const size_t rowsTotal = size_t(channels) * size_t(h);
  // PackBits: a byte count per row of every channel, then the rows.
  std::vector<uint32_t> counts;
  std::vector<uint8_t> planes, rowBuf, composed;
  std::vector<uint8_t> last;  // the row of the last needed channel
  QImage img;
  try {
    if (compression == 1) {
      const size_t entry = large ? 4 : 2;
      if (rowsTotal > r.Remaining() / entry) { error = QStringLiteral("The Photoshop file is truncated"); return false; }
      counts.resize(rowsTotal);
      uint64_t sum = 0;
      for (size_t i = 0; i < rowsTotal; ++i) {
        counts[i] = large ? r.U32BE() : r.U16BE();
        if (i < size_t(needed) * size_t(h)) sum += counts[i];
      }
      if (sum > r.Remaining()) { error = QStringLiteral("The Photoshop file is truncated"); return false; }
    } else if (rowsTotal > 0 && r.Remaining() / rowBytes < size_t(needed) * size_t(h)) {
      error = QStringLiteral("The Photoshop file is truncated");
      return false;
    }
    planes.resize(size_t(needed - 1) * size_t(w) * size_t(h));
    rowBuf.resize(rowBytes);
    composed.resize(size_t(w) * 3);
    last.resize(size_t(w));
  } catch (const std::bad_alloc&) {
    error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(w).arg(h);
    return false;
  }
  img = NewBitmap24(w, h, error);
  if (img.isNull()) return false;

  TProgressReporter rep(opt.Progress, needed * h);
  if (opt.Sink) opt.Sink->Begin(w, h, false);
  bool go = true;
  for (int c = 0; c < needed && go; ++c) {
    const bool lastChannel = c == needed - 1;
    for (int y = 0; y < h && go; ++y) {
      const uint8_t* src;
      if (compression == 1) {
        const uint32_t n = counts[size_t(c) * size_t(h) + size_t(y)];
        const uint8_t* p = r.Take(n);
        if (!p) { error = QStringLiteral("The Photoshop file is truncated"); return false; }
        UnpackBits(p, n, rowBuf.data(), rowBytes);
        src = rowBuf.data();
      } else {
        src = r.Take(rowBytes);
        if (!src) { error = QStringLiteral("The Photoshop file is truncated"); return false; }
      }
      uint8_t* dst = lastChannel ? last.data() : planes.data() + (size_t(c) * size_t(h) + size_t(y)) * size_t(w);
      switch (depth) {
      case 1:
        // A set bit is black.
        for (int x = 0; x < w; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
        break;
      case 8:
        std::memcpy(dst, src, size_t(w));
        break;
      case 16:
        for (int x = 0; x < w; ++x) {
          const uint32_t v = (uint32_t(src[2 * x]) << 8) | src[2 * x + 1];
          dst[x] = uint8_t((v * 255 + 32767) / 65535);
        }
        break;
      default:
        for (int x = 0; x < w; ++x) dst[x] = FloatTo8(src + 4 * size_t(x));
        break;
      }
      if (lastChannel) {
        const size_t at = size_t(y) * size_t(w);
        const uint8_t* p0 = needed > 1 ? planes.data() + at : last.data();
        const uint8_t* p1 = needed > 1 ? planes.data() + size_t(h) * size_t(w) + at : nullptr;
        const uint8_t* p2 = needed > 2 ? (needed == 3 ? last.data() : planes.data() + 2 * size_t(h) * size_t(w) + at) : nullptr;
        uint8_t* d = composed.data();
        for (int x = 0; x < w; ++x, d += 3) {
          switch (mode) {
          case kModeIndexed: {
            const uint8_t* e = pal[last[size_t(x)]];
            d[0] = e[2]; d[1] = e[1]; d[2] = e[0];
            break;
          }
          case kModeRgb:
            d[0] = p2[x]; d[1] = p1[x]; d[2] = p0[x];
            break;
          case kModeLab:
            LabToBgr(p0[x], p1[x], p2[x], d);
            break;
          case kModeCmyk: {
            // Stored inverted: 255 is no ink. Truncated, as libtiff does.
            const uint32_t k = last[size_t(x)];
            d[0] = uint8_t(p2[x] * k / 255);
            d[1] = uint8_t(p1[x] * k / 255);
            d[2] = uint8_t(p0[x] * k / 255);
            break;
          }
          default:
            d[0] = d[1] = d[2] = last[size_t(x)];
            break;
          }
        }
        std::memcpy(img.scanLine(y), composed.data(), composed.size());
        if (opt.Sink) opt.Sink->Row(y, composed.data());
      }
      go = rep.RowsDone(c * h + y + 1);
    }
  }
  out.Bitmap = img;
  out.Width = w;
  out.Height = h;
  out.BitCount = bitCount;
  return true;
}
