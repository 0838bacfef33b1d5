// Kodak Photo CD image pac: the 768 × 512 base image only. The base image
// sits at a fixed offset and is stored in row pairs: two rows of luma, then
// one row of blue and one of red chroma at half resolution, shared by both
// luma rows. The picture is turned upright by the orientation byte.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"

#include <cstring>

namespace {

constexpr int kBaseWidth = 768;
constexpr int kBaseHeight = 512;
constexpr size_t kSignatureOffset = 0x800;
constexpr size_t kOrientationOffset = 0x0E02;
constexpr size_t kBaseOffset = 0x30000;
constexpr size_t kPairBytes = size_t(kBaseWidth) * 2 + size_t(kBaseWidth / 2) * 2;
constexpr size_t kBaseBytes = kPairBytes * (kBaseHeight / 2);

inline uint8_t Clamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : uint8_t(v)); }

// YCC to RGB: L = 1.3584 Y, C1 = 2.2179 (Cb - 156), C2 = 1.8215 (Cr - 137),
// R = L + C2, G = L - 0.194 C1 - 0.509 C2, B = L + C1; kept in 16.16 fixed
// point tables so the per-pixel work is additions and a shift.
struct TYccTables {
  int Luma[256];
  int RedCr[256];
  int GreenCb[256];
  int GreenCr[256];
  int BlueCb[256];
  TYccTables()
  {
    constexpr double one = 65536.0;
    for (int i = 0; i < 256; ++i) {
      const double c1 = 2.2179 * (i - 156);
      const double c2 = 1.8215 * (i - 137);
      Luma[i] = int(1.3584 * i * one + 0.5);
      RedCr[i] = int(c2 * one);
      GreenCb[i] = int(-0.194 * c1 * one);
      GreenCr[i] = int(-0.509 * c2 * one);
      BlueCb[i] = int(c1 * one);
    }
  }
};

const TYccTables& Tables()
{
  static const TYccTables tables;
  return tables;
}

inline int Fixed(int v) { return (v + 32768) >> 16; }

// Turns the picture by quarter turns counter-clockwise (1, 2 or 3).
QImage Rotate(const QImage& src, int quarterTurns, QString& error)
{
  const int w = src.width();
  const int h = src.height();
  const bool swap = quarterTurns != 2;
  QImage dst = NewBitmap24(swap ? h : w, swap ? w : h, error);
  if (dst.isNull()) return dst;
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = src.constScanLine(y);
    for (int x = 0; x < w; ++x) {
      int dx, dy;
      if (quarterTurns == 1) { dx = y; dy = w - 1 - x; }
      else if (quarterTurns == 2) { dx = w - 1 - x; dy = h - 1 - y; }
      else { dx = h - 1 - y; dy = x; }
      std::memcpy(dst.scanLine(dy) + 3 * dx, s + 3 * x, 3);
    }
  }
  return dst;
}

}  // namespace

bool DecodePcd(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  const size_t size = size_t(data.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
  if (size < kSignatureOffset + 7 || std::memcmp(bytes + kSignatureOffset, "PCD_IPI", 7) != 0) {
    error = QStringLiteral("Not a Kodak Photo CD image");
    return false;
  }
  if (size < kBaseOffset + kBaseBytes) {
    error = QStringLiteral("The Photo CD image is truncated");
    return false;
  }
  const int turns = bytes[kOrientationOffset] & 3;

  QImage img = NewBitmap24(kBaseWidth, kBaseHeight, error);
  if (img.isNull()) return false;

  const TYccTables& t = Tables();
  TProgressReporter progress(opt.Progress, kBaseHeight / 2);
  for (int pair = 0; pair < kBaseHeight / 2; ++pair) {
    const uint8_t* luma = bytes + kBaseOffset + size_t(pair) * kPairBytes;
    const uint8_t* cb = luma + 2 * kBaseWidth;
    const uint8_t* cr = cb + kBaseWidth / 2;
    for (int sub = 0; sub < 2; ++sub) {
      const uint8_t* yRow = luma + sub * kBaseWidth;
      uint8_t* d = img.scanLine(2 * pair + sub);
      for (int x = 0; x < kBaseWidth; ++x) {
        const int l = t.Luma[yRow[x]];
        const uint8_t b = cb[x >> 1];
        const uint8_t r = cr[x >> 1];
        d[3 * x] = Clamp(Fixed(l + t.BlueCb[b]));
        d[3 * x + 1] = Clamp(Fixed(l + t.GreenCb[b] + t.GreenCr[r]));
        d[3 * x + 2] = Clamp(Fixed(l + t.RedCr[r]));
      }
    }
    if (!progress.RowsDone(pair + 1)) break;
  }

  if (turns != 0) {
    img = Rotate(img, turns, error);
    if (img.isNull()) return false;
  }
  out.Bitmap = img;
  out.Width = img.width();
  out.Height = img.height();
  out.BitCount = 24;
  return true;
}
