#include "imagelib/PictureFinish.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

QImage OrientBitmap(const QImage& stored, int orientation)
{
  if (stored.isNull() || orientation <= 1 || orientation > 8) return stored;
  const int bpp = stored.format() == QImage::Format_Grayscale8 ? 1 : 3;
  if (bpp == 3 && stored.format() != QImage::Format_BGR888) return stored;
  const int sw = stored.width(), sh = stored.height();
  const bool swap = SwapsSides(orientation);
  const int w = swap ? sh : sw, h = swap ? sw : sh;
  QImage out(w, h, stored.format());
  if (out.isNull()) return out;
  // Upright pixel (x, y) comes from stored column sx, row sy; for each
  // orientation one of them follows x and the other y, each forwards or
  // backwards.
  const bool mirrorX = orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7;
  const bool mirrorY = orientation == 3 || orientation == 4 || orientation == 7 || orientation == 8;
  if (!swap) {
    for (int y = 0; y < h; ++y) {
      const uint8_t* s = stored.constScanLine(mirrorY ? h - 1 - y : y);
      uint8_t* d = out.scanLine(y);
      if (!mirrorX) {
        std::memcpy(d, s, size_t(w) * size_t(bpp));
        continue;
      }
      for (int x = 0; x < w; ++x) std::memcpy(d + x * bpp, s + (w - 1 - x) * bpp, size_t(bpp));
    }
    return out;
  }
  // On its side: upright column x is stored row (mirrorX ? w-1-x : x), upright
  // row y is stored column (mirrorY ? h-1-y : y).
  std::vector<const uint8_t*> rows(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) rows[size_t(x)] = stored.constScanLine(mirrorX ? w - 1 - x : x);
  for (int y = 0; y < h; ++y) {
    const size_t col = size_t(mirrorY ? h - 1 - y : y) * size_t(bpp);
    uint8_t* d = out.scanLine(y);
    if (bpp == 1) {
      for (int x = 0; x < w; ++x) d[x] = rows[size_t(x)][col];
    } else {
      for (int x = 0; x < w; ++x, d += 3) std::memcpy(d, rows[size_t(x)] + col, 3);
    }
  }
  return out;
}

QImage AlphaAsBgr(const QImage& alpha)
{
  if (alpha.isNull() || alpha.format() != QImage::Format_Grayscale8) return QImage();
  QImage out(alpha.size(), QImage::Format_BGR888);
  if (out.isNull()) return out;
  for (int y = 0; y < alpha.height(); ++y) {
    const uint8_t* a = alpha.constScanLine(y);
    uint8_t* d = out.scanLine(y);
    for (int x = 0; x < alpha.width(); ++x, d += 3) d[0] = d[1] = d[2] = a[x];
  }
  return out;
}

QImage BgrAsAlpha(const QImage& bgr)
{
  if (bgr.isNull() || bgr.format() != QImage::Format_BGR888) return QImage();
  QImage out(bgr.size(), QImage::Format_Grayscale8);
  if (out.isNull()) return out;
  for (int y = 0; y < bgr.height(); ++y) {
    const uint8_t* s = bgr.constScanLine(y);
    uint8_t* a = out.scanLine(y);
    for (int x = 0; x < bgr.width(); ++x) a[x] = s[3 * x];
  }
  return out;
}

namespace {
template <typename F> void EachPixel(QImage& bgr, const QImage& alphaBgr, F f)
{
  if (bgr.isNull() || bgr.size() != alphaBgr.size() || bgr.format() != QImage::Format_BGR888 ||
      alphaBgr.format() != QImage::Format_BGR888)
    return;
  const int w = bgr.width();
  for (int y = 0; y < bgr.height(); ++y) {
    uint8_t* c = bgr.scanLine(y);
    const uint8_t* a = alphaBgr.constScanLine(y);
    for (int x = 0; x < w; ++x, c += 3) f(c, int(a[3 * x]));
  }
}
}  // namespace

void PremultiplyBitmap(QImage& bgr, const QImage& alphaBgr)
{
  EachPixel(bgr, alphaBgr, [](uint8_t* c, int a) {
    if (a == 255) return;
    for (int k = 0; k < 3; ++k) c[k] = uint8_t((c[k] * a + 127) / 255);
  });
}

void UnpremultiplyBitmap(QImage& bgr, const QImage& alphaBgr)
{
  EachPixel(bgr, alphaBgr, [](uint8_t* c, int a) {
    if (a == 255) return;
    for (int k = 0; k < 3; ++k) c[k] = a == 0 ? 255 : uint8_t(std::min(255, (c[k] * 255 + a / 2) / a));
  });
}

void LayOnWhite(QImage& bgr, const QImage& alphaBgr)
{
  EachPixel(bgr, alphaBgr, [](uint8_t* c, int a) {
    if (a == 255) return;
    for (int k = 0; k < 3; ++k) c[k] = uint8_t((c[k] * a + 255 * (255 - a) + 127) / 255);
  });
}

bool IsOpaque(const QImage& alpha)
{
  if (alpha.isNull()) return true;
  for (int y = 0; y < alpha.height(); ++y) {
    const uint8_t* a = alpha.constScanLine(y);
    for (int x = 0; x < alpha.width(); ++x)
      if (a[x] != 255) return false;
  }
  return true;
}
