#include "codecs/CodecUtil.h"

#include "canvas/Functions.h"

#include <QCoreApplication>

#include <algorithm>
#include <thread>

bool CheckImageSize(int64_t width, int64_t height, QString& error)
{
  if (width <= 0 || height <= 0) {
    error = QStringLiteral("The picture has no pixels (%1 × %2)").arg(width).arg(height);
    return false;
  }
  if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
    error = QStringLiteral("The picture is too large (%1 × %2)").arg(width).arg(height);
    return false;
  }
  return true;
}

QImage NewBitmap24(int width, int height, QString& error)
{
  if (!CheckImageSize(width, height, error)) return QImage();
  QImage img(width, height, QImage::Format_BGR888);
  if (img.isNull()) {
    error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(width).arg(height);
    return QImage();
  }
  img.fill(Qt::white);
  return img;
}

void ReducedDecodeSize(int width, int height, const TDecodeOptions& opt, int& minWidth, int& minHeight)
{
  minWidth = width;
  minHeight = height;
  if (opt.BoxWidth <= 0 || opt.BoxHeight <= 0 || width <= 0 || height <= 0) return;
  if (width <= opt.BoxWidth && height <= opt.BoxHeight) return;
  // The size the loaders fit the picture to, so a decoder that scales
  // while decoding delivers the final size and nothing is resampled again.
  const QSize fit = ShrinkToBox(width, height, opt.BoxWidth, opt.BoxHeight);
  minWidth = fit.width();
  minHeight = fit.height();
  minWidth = std::max(minWidth, 1);
  minHeight = std::max(minHeight, 1);
}

bool SplitBgra(const uint8_t* bgra, size_t stride, int width, int height, QImage& bgr, QImage& alpha)
{
  bool opaque = true;
  for (int y = 0; y < height && opaque; ++y) {
    const uint8_t* s = bgra + size_t(y) * stride;
    for (int x = 0; x < width; ++x)
      if (s[4 * x + 3] != 255) {
        opaque = false;
        break;
      }
  }
  QImage colour(width, height, QImage::Format_BGR888);
  if (colour.isNull()) return false;
  QImage a;
  if (!opaque) {
    a = QImage(width, height, QImage::Format_Grayscale8);
    if (a.isNull()) return false;
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = bgra + size_t(y) * stride;
    uint8_t* d = colour.scanLine(y);
    uint8_t* ad = opaque ? nullptr : a.scanLine(y);
    for (int x = 0; x < width; ++x, s += 4, d += 3) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      if (ad) ad[x] = s[3];
    }
  }
  bgr = colour;
  alpha = a;
  return true;
}

int DecoderThreads()
{
  const unsigned n = std::thread::hardware_concurrency();
  return int(std::clamp(n, 1u, 4u));
}
