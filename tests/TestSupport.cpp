#include "TestSupport.h"

#include <cstring>

QString TestDataPath(const QString& relative)
{
  return QStringLiteral(JKT_TEST_DATA) + "/" + relative;
}

QImage RandomBitmap(int width, int height, uint32_t seed)
{
  QImage img(width, height, QImage::Format_BGR888);
  std::mt19937 gen(seed);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = img.scanLine(y);
    for (int x = 0; x < width * 3; ++x) row[x] = uint8_t(gen() & 0xFF);
  }
  return img;
}

QImage PhotoBitmap(int width, int height)
{
  QImage img(width, height, QImage::Format_BGR888);
  for (int y = 0; y < height; ++y) {
    uint8_t* p = img.scanLine(y);
    for (int x = 0; x < width; ++x, p += 3) {
      p[0] = uint8_t(x * 255 / width);
      p[1] = uint8_t(y * 255 / height);
      p[2] = uint8_t(((x / 16 + y / 16) % 2) ? 200 : 60);
    }
  }
  return img;
}

uint32_t PixelAt(const QImage& bmp, int x, int y)
{
  const uint8_t* p = bmp.constScanLine(y) + 3 * x;
  return uint32_t(p[2]) | (uint32_t(p[1]) << 8) | (uint32_t(p[0]) << 16);
}

bool SamePixels(const QImage& a, const QImage& b)
{
  if (a.size() != b.size() || a.format() != b.format()) return false;
  const size_t n = size_t(a.width()) * (a.format() == QImage::Format_BGR888 ? 3 : 4);
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.constScanLine(y), b.constScanLine(y), n) != 0) return false;
  return true;
}
