#pragma once
// Straightforward, slow versions of the effects written directly from their
// formulas, to compare the fast routines against on random pictures.

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace ref {

inline int Clamp(int64_t v) { return int(std::clamp<int64_t>(v, 0, 255)); }
inline uint8_t* Px(QImage& img, int x, int y) { return img.scanLine(y) + 3 * x; }
inline const uint8_t* Px(const QImage& img, int x, int y) { return img.constScanLine(y) + 3 * x; }

// Channel values of the region's pixels changed by the contrast formula.
inline void AdjustColors(QImage& img, const int offset[3], const int contrast[3], bool gray,
                         bool negative, const bool zero[3], int x1, int y1, int x2, int y2)
{
  int64_t sum[3] = {0, 0, 0};
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      for (int c = 0; c < 3; ++c) sum[c] += Px(img, x, y)[c];
  const int64_t n = int64_t(x2 - x1 + 1) * (y2 - y1 + 1);
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      uint8_t* p = Px(img, x, y);
      int v[3];
      for (int c = 0; c < 3; ++c) {
        const int64_t m = contrast[c] + 100, k = m > 100 ? m * m / 100 : m, mean = sum[c] / n;
        v[c] = int(std::clamp<int64_t>(mean + (p[c] - mean) * k / 100 + offset[c], 0, 254));
        if (zero[c]) v[c] = 0;
      }
      if (gray) v[0] = v[1] = v[2] = (v[0] + v[1] + v[2]) / 3;
      for (int c = 0; c < 3; ++c) p[c] = uint8_t(negative ? 255 - v[c] : v[c]);
    }
}

// Literal window of the rank filters: arrays of (s + 1)², zero padded, sorted.
inline QImage RankFilter(const QImage& src, int sx, int sy, int kind)
{
  QImage out = src.copy();
  const int w = src.width(), h = src.height(), n = (sx + 1) * (sy + 1);
  std::vector<uint8_t> a(n);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int x0 = std::max(x - sx / 2, 0), y0 = std::max(y - sy / 2, 0);
      const int x1 = std::min(x0 + sx, w - 1), y1 = std::min(y0 + sy, h - 1);
      for (int c = 0; c < 3; ++c) {
        std::fill(a.begin(), a.end(), 0);
        int i = 0, mx = 0, mn = 255;
        for (int yy = y0; yy <= y1; ++yy)
          for (int xx = x0; xx <= x1; ++xx) {
            const int v = Px(src, xx, yy)[c];
            a[i++] = uint8_t(v);
            mx = std::max(mx, v);
            mn = std::min(mn, v);
          }
        std::sort(a.begin(), a.end());
        const int med = n == 1 ? a[0] : (a[n / 2] + a[n / 2 - 1]) / 2;
        Px(out, x, y)[c] = uint8_t(kind == 1 ? mx : kind == 3 ? mn : med);
      }
    }
  return out;
}

inline QImage MotionBlur(const QImage& src, int level, int dir)
{
  static const int sx[9] = {0, -1, 0, 1, 1, 1, 0, -1, -1}, sy[9] = {0, -1, -1, -1, 0, 1, 1, 1, 0};
  const int dx = sx[dir], dy = sy[dir], w = src.width(), h = src.height();
  QImage out = src.copy();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int n = level;
      if (dx == -1) n = std::min(n, x);
      if (dx == 1) n = std::min(n, w - 1 - x);
      if (dy == -1) n = std::min(n, y);
      if (dy == 1) n = std::min(n, h - 1 - y);
      for (int c = 0; c < 3; ++c) {
        int s = 0;
        for (int e = 0; e <= n; ++e) s += Px(src, x + e * dx, y + e * dy)[c];
        Px(out, x, y)[c] = uint8_t(s / (n + 1));
      }
    }
  return out;
}

inline QImage Emboss(const QImage& src, int d, int dir)
{
  const int w = src.width(), h = src.height(), f = -(d / 2), g = d - d / 2;
  QImage out = src.copy();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int xa = std::max(x + f, 0), xb = std::min(x + g, w - 1);
      const int ya = std::max(y + f, 0), yb = std::min(y + g, h - 1);
      const int B[9][2] = {{0, 0}, {xb, yb}, {x, yb}, {xa, yb}, {xa, y},
                           {xa, ya}, {x, ya}, {xb, ya}, {xb, y}};
      const int A[9][2] = {{0, 0}, {xa, ya}, {x, ya}, {xb, ya}, {xb, y},
                           {xb, yb}, {x, yb}, {xa, yb}, {xa, y}};
      for (int c = 0; c < 3; ++c)
        Px(out, x, y)[c] = uint8_t(Clamp(Px(src, B[dir][0], B[dir][1])[c] -
                                         Px(src, A[dir][0], A[dir][1])[c] + 127));
    }
  return out;
}

// Sharpen along one line (mode 1 horizontal, 2 vertical) and edge sketch.
inline QImage InnerFilter(const QImage& src, int what)
{
  const int w = src.width(), h = src.height();
  QImage out = src.copy();
  auto P = [&](int x, int y, int c) { return int(Px(src, x, y)[c]); };
  for (int y = 1; y < h - 1; ++y)
    for (int x = 1; x < w - 1; ++x) {
      int e[3];
      for (int c = 0; c < 3; ++c) {
        if (what == 1) e[c] = Clamp(3 * P(x, y, c) - P(x - 1, y, c) - P(x + 1, y, c));
        if (what == 2) e[c] = Clamp(3 * P(x, y, c) - P(x, y - 1, c) - P(x, y + 1, c));
        if (what >= 3)
          e[c] = Clamp(std::abs(P(x, y + 1, c) - P(x, y, c)) + std::abs(P(x - 1, y, c) - P(x + 1, y, c)) +
                       std::abs(P(x - 1, y - 1, c) - P(x + 1, y + 1, c)) +
                       std::abs(P(x + 1, y - 1, c) - P(x - 1, y + 1, c)));
      }
      uint8_t* o = Px(out, x, y);
      for (int c = 0; c < 3; ++c) {
        if (what <= 2) o[c] = uint8_t(e[c]);
        if (what == 3) o[c] = uint8_t(255 - Clamp((e[0] + e[1] + e[2]) / 2));  // sketch
        if (what == 4) o[c] = uint8_t(Clamp(2 * e[c]));                         // crayon
      }
    }
  return out;
}

inline QImage Grid3D(const QImage& src, int w, int h, int light, int dark)
{
  QImage out = src.copy();
  for (int y = 0; y < out.height(); ++y)
    for (int x = 0; x < out.width(); ++x) {
      const int px = x % (w + 3), py = y % (h + 3);
      uint8_t* p = Px(out, x, y);
      for (int c = 0; c < 3; ++c) {
        int v = p[c];
        if (px == 0 && py <= h) v = Clamp(v + light);
        else if (px == w && py <= h) v = Clamp(v - dark);
        if (py == 0 && px < w) v = Clamp(v + light);
        else if (py == h && px < w) v = Clamp(v - dark);
        p[c] = uint8_t(v);
      }
    }
  return out;
}

// Splash from the generator state seed (the one before the first draw).
inline QImage Splash(const QImage& src, int level, uint32_t seed)
{
  const int w = src.width(), h = src.height();
  const uint32_t range = uint32_t(uint64_t(int64_t(level) * 2));
  auto draw = [&] {
    seed = seed * 134775813u + 1u;
    return int64_t((uint64_t(seed) * range) >> 32);
  };
  QImage out = src.copy();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int64_t r1 = draw(), r2 = draw();
      const int64_t sx = std::clamp<int64_t>(x + int64_t(level) - r1, 0, w - 1);
      const int64_t sy = std::clamp<int64_t>(y + int64_t(level) - r2, 0, h - 1);
      for (int c = 0; c < 3; ++c) Px(out, x, y)[c] = Px(src, int(sx), int(sy))[c];
    }
  return out;
}

// The generator state count draws before seed.
inline uint32_t RewindSeed(uint32_t seed, int64_t count)
{
  uint32_t inverse = 134775813u;  // Newton steps for the inverse modulo 2^32
  for (int i = 0; i < 5; ++i) inverse *= 2u - 134775813u * inverse;
  for (int64_t i = 0; i < count; ++i) seed = (seed - 1u) * inverse;
  return seed;
}

// Bilinear sample with wrap-around, single precision, ties to even.
inline void Sample(const QImage& src, float sx, float sy, uint8_t out[3])
{
  const int w = src.width(), h = src.height();
  struct Axis { int i0, i1; float w0, w1; };
  auto axis = [](float s, int size) {
    if (!std::isfinite(s)) s = 0.0f;
    double i = std::trunc(double(s));
    Axis a;
    const float f = s >= 0.0f ? s - float(i) : float(i) - s;
    a.w0 = s >= 0.0f ? 1.0f - f : f;
    a.w1 = s >= 0.0f ? f : 1.0f - f;
    if (i < 0) i = (size - 1) - std::fmod(-i, double(size));
    else if (i > size - 1) i = std::fmod(i, double(size));
    a.i0 = int(i);
    a.i1 = a.i0 + 1 >= size ? size - a.i0 - 1 : a.i0 + 1;
    return a;
  };
  const Axis ax = axis(sx, w), ay = axis(sy, h);
  for (int c = 0; c < 3; ++c) {
    float sum = 0.0f;
    sum += float(Px(src, ax.i0, ay.i0)[c]) * (ax.w0 * ay.w0);
    sum += float(Px(src, ax.i1, ay.i0)[c]) * (ax.w1 * ay.w0);
    sum += float(Px(src, ax.i0, ay.i1)[c]) * (ax.w0 * ay.w1);
    sum += float(Px(src, ax.i1, ay.i1)[c]) * (ax.w1 * ay.w1);
    out[c] = uint8_t(std::clamp(std::nearbyint(sum), 0.0f, 255.0f));
  }
}

inline QImage Fisheye(const QImage& src, long double scale)
{
  QImage out = src.copy();
  const float cx = float(src.width()) / 2.0f, cy = float(src.height()) / 2.0f;
  const float R = float(scale * src.width());
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x) {
      const float dx = float(x) - cx, dy = float(y) - cy;
      const float r = std::sqrt(dx * dx + dy * dy);
      float sx = cx, sy = cy;
      if (r != 0.0f) {
        const float k = (1.0f / (1.0f - r / R) - 1.0f) * (R / 2.0f);
        sx = cx + dx * k / r;
        sy = cy + dy * k / r;
      }
      Sample(src, sx, sy, Px(out, x, y));
    }
  return out;
}

inline QImage Twist(const QImage& src, int level)
{
  QImage out = src.copy();
  const float cx = float(src.width() - 1) / 2.0f, cy = float(src.height() - 1) / 2.0f;
  const float halfPi = 1.5707964f, pi = 3.1415927f;
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x) {
      const float dx = float(x) - cx, dy = float(y) - cy;
      const float r = std::sqrt(dx * dx + dy * dy);
      float u = 0.0f, v = 0.0f;
      if (r != 0.0f) {
        float angle = dy > 0.0f ? halfPi : -halfPi;
        if (dx != 0.0f) angle = std::atan(dy / dx) + (dx < 0.0f ? pi : 0.0f);
        const float theta = angle - r / float(level) + halfPi;
        u = r * std::cos(theta);
        v = r * std::sin(theta);
      }
      Sample(src, u + cx, v + cy, Px(out, x, y));
    }
  return out;
}

}  // namespace ref
