// Effects that change each pixel from its own value: brightness and contrast,
// colour shift and negative, saturation, threshold, solarize and noise.

#include "imageeditor/effects/EffectSupport.h"

#include <array>

using namespace effects_detail;

namespace {

// Contrast factor: m = contrast + 100, squared / 100 above 100. Limited to a
// magnitude that already saturates every result, so the products below stay
// inside 64 bits.
int64_t ContrastFactor(int contrast)
{
  const int64_t m = int64_t(contrast) + 100;
  int64_t k = m > 100 ? m * m / 100 : m;
  constexpr int64_t limit = 1000000000000LL;
  return std::clamp(k, -limit, limit);
}

// One step of the shared generator on a local copy of the seed.
inline uint32_t NextRandom(uint32_t& seed, uint32_t n)
{
  seed = seed * 134775813u + 1u;
  return uint32_t((uint64_t(seed) * n) >> 32);
}

}  // namespace

bool AdjustColors(QImage& picture, int redOffset, int greenOffset, int blueOffset, int redContrast,
                  int greenContrast, int blueContrast, bool gray, bool negative, bool zeroRed,
                  bool zeroGreen, bool zeroBlue, int x1, int y1, int x2, int y2,
                  const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, picture.width() - 1);
  y2 = std::min(y2, picture.height() - 1);
  if (x1 > x2 || y1 > y2) return true;  // the region misses the picture

  // Means of the region, channel order blue, green, red.
  int64_t sum[3] = {0, 0, 0};
  for (int y = y1; y <= y2; ++y) {
    const uint8_t* p = picture.constScanLine(y) + 3 * x1;
    int64_t rb = 0, rg = 0, rr = 0;
    for (int x = x1; x <= x2; ++x, p += 3) {
      rb += p[0];
      rg += p[1];
      rr += p[2];
    }
    sum[0] += rb;
    sum[1] += rg;
    sum[2] += rr;
  }
  const int64_t count = int64_t(x2 - x1 + 1) * (y2 - y1 + 1);

  const int64_t factor[3] = {ContrastFactor(blueContrast), ContrastFactor(greenContrast),
                             ContrastFactor(redContrast)};
  const int64_t offset[3] = {blueOffset, greenOffset, redOffset};
  const bool zero[3] = {zeroBlue, zeroGreen, zeroRed};
  std::array<std::array<uint8_t, 256>, 3> table{};
  for (int c = 0; c < 3; ++c) {
    const int64_t mean = sum[c] / count;
    for (int v = 0; v < 256; ++v) {
      int64_t t = mean + (v - mean) * factor[c] / 100 + offset[c];
      t = std::clamp<int64_t>(t, 0, 254);
      if (zero[c]) t = 0;
      // Without grey the negative can go straight into the table.
      if (negative && !gray) t = 255 - t;
      table[c][v] = uint8_t(t);
    }
  }

  for (int y = y1; y <= y2; ++y) {
    uint8_t* p = picture.scanLine(y) + 3 * x1;
    if (!gray) {
      for (int x = x1; x <= x2; ++x, p += 3) {
        p[0] = table[0][p[0]];
        p[1] = table[1][p[1]];
        p[2] = table[2][p[2]];
      }
    } else {
      for (int x = x1; x <= x2; ++x, p += 3) {
        int g = (table[0][p[0]] + table[1][p[1]] + table[2][p[2]]) / 3;
        if (negative) g = 255 - g;
        p[0] = p[1] = p[2] = uint8_t(g);
      }
    }
    if (!Report(progress, Percent(y - y1, y2 - y1))) return false;
  }
  return true;
}

bool AdjustSaturation(QImage& picture, int amount, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  const int64_t a = std::max(amount, 0);
  std::array<int, 256> third{};
  std::array<int64_t, 256> scaled{};
  std::array<int64_t, 256> base{};  // grey − Scaled[grey]
  for (int i = 0; i < 256; ++i) {
    third[i] = i / 3;
    scaled[i] = int64_t(i) * a / 100;
  }
  for (int i = 0; i < 256; ++i) base[i] = i - scaled[i];

  const int w = picture.width(), h = picture.height();
  for (int y = 0; y < h; ++y) {
    uint8_t* p = picture.scanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      const int64_t b = base[third[p[0]] + third[p[1]] + third[p[2]]];
      p[0] = Clamp255(b + scaled[p[0]]);
      p[1] = Clamp255(b + scaled[p[1]]);
      p[2] = Clamp255(b + scaled[p[2]]);
    }
    if (!Report(progress, Percent(y, h - 1))) return false;
  }
  return true;
}

bool ApplyThreshold(QImage& picture, int level, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  level = std::clamp(level, 0, 255);
  std::array<uint8_t, 766> table{};
  for (int s = 0; s < 766; ++s) table[s] = s / 3 >= level ? 255 : 0;

  const int w = picture.width(), h = picture.height();
  for (int y = 0; y < h; ++y) {
    uint8_t* p = picture.scanLine(y);
    for (int x = 0; x < w; ++x, p += 3) p[0] = p[1] = p[2] = table[p[0] + p[1] + p[2]];
    if (!Report(progress, Percent(y, h - 1))) return false;
  }
  return true;
}

bool Solarize(QImage& picture, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  std::array<uint8_t, 256> table{};
  for (int v = 0; v < 256; ++v) table[v] = uint8_t(v > 128 ? 255 - v : v);

  const int n = picture.width() * 3, h = picture.height();
  for (int y = 0; y < h; ++y) {
    uint8_t* p = picture.scanLine(y);
    for (int i = 0; i < n; ++i) p[i] = table[p[i]];
    if (!Report(progress, Percent(y, h - 1))) return false;
  }
  return true;
}

bool AddNoise(QImage& picture, int amount, bool colored, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  const uint32_t n = uint32_t(amount);
  const int64_t half = n / 2;
  const int w = picture.width(), h = picture.height();
  uint32_t seed = RandomSeed();
  for (int y = 0; y < h; ++y) {
    uint8_t* p = picture.scanLine(y);
    if (colored) {
      for (int i = 0; i < 3 * w; ++i) p[i] = Clamp255(p[i] + int64_t(NextRandom(seed, n)) - half);
    } else {
      for (int x = 0; x < w; ++x, p += 3) {
        const int64_t d = int64_t(NextRandom(seed, n)) - half;
        p[0] = Clamp255(p[0] + d);
        p[1] = Clamp255(p[1] + d);
        p[2] = Clamp255(p[2] + d);
      }
    }
    // The generator is shared: keep it in step with the rows done so far.
    SetRandomSeed(seed);
    if (!Report(progress, Percent(y, h - 1))) return false;
  }
  return true;
}
