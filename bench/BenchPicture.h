#pragma once
// The benchmarks' photo-like picture: smooth gradients with grain, so that
// the rank filters see realistic value distributions.

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <random>

inline QImage PhotoLikePicture(int width, int height, uint32_t seed)
{
  QImage img(width, height, QImage::Format_BGR888);
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> grain(-24, 24);
  for (int y = 0; y < height; ++y) {
    uint8_t* p = img.scanLine(y);
    for (int x = 0; x < width; ++x, p += 3) {
      const int base[3] = {x * 255 / width, y * 255 / height, (x + y) * 255 / (width + height)};
      for (int c = 0; c < 3; ++c) p[c] = uint8_t(std::clamp(base[c] + grain(gen), 0, 255));
    }
  }
  return img;
}
