// Effects that compute each pixel from a neighbourhood of the source picture:
// one-directional sharpening, emboss, sketch and crayon, motion blur.

#include "imageeditor/effects/EffectSupport.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace effects_detail;

namespace {

// Steps of directions 1 … 8: up-left, up, up-right, right, down-right, down,
// down-left, left.
constexpr int kStepX[9] = {0, -1, 0, 1, 1, 1, 0, -1, -1};
constexpr int kStepY[9] = {0, -1, -1, -1, 0, 1, 1, 1, 0};

}  // namespace

bool SharpenLine(QImage& picture, int mode, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  mode = std::clamp(mode, 1, 2);
  const int w = picture.width(), h = picture.height();
  if (w < 3 || h < 3) return true;  // no inner pixels
  const size_t n = size_t(w) * 3;
  // Source rows: the one above (already overwritten in the picture) and the
  // current one; the row below is still untouched in the picture.
  std::vector<uint8_t> above(picture.constScanLine(0), picture.constScanLine(0) + n);
  std::vector<uint8_t> current(n);
  for (int y = 1; y <= h - 2; ++y) {
    uint8_t* out = picture.scanLine(y);
    std::memcpy(current.data(), out, n);
    const uint8_t* c = current.data();
    if (mode == 1) {
      for (size_t i = 3; i < n - 3; ++i) out[i] = Clamp255(3 * c[i] - c[i - 3] - c[i + 3]);
    } else {
      const uint8_t* u = above.data();
      const uint8_t* d = picture.constScanLine(y + 1);
      for (size_t i = 3; i < n - 3; ++i) out[i] = Clamp255(3 * c[i] - u[i] - d[i]);
    }
    above.swap(current);
    if (!Report(progress, Percent(y, h - 2))) return false;
  }
  return true;
}

namespace {

// b − a + 127 clamped to 0 … 255 for n bytes, through saturating byte
// arithmetic: (b ⊖ a) ⊕ 127 ⊖ (a ⊖ b), where ⊖ and ⊕ saturate.
void EmbossBytes(const uint8_t* b, const uint8_t* a, uint8_t* out, size_t n)
{
  size_t i = 0;
#ifdef __SSE2__
  const __m128i mid = _mm_set1_epi8(127);
  for (; i + 16 <= n; i += 16) {
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i up = _mm_adds_epu8(_mm_subs_epu8(vb, va), mid);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_subs_epu8(up, _mm_subs_epu8(va, vb)));
  }
#endif
  for (; i < n; ++i) out[i] = Clamp255(int(b[i]) - int(a[i]) + 127);
}

}  // namespace

bool Emboss(QImage& picture, int depth, int direction, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  depth = std::clamp(depth, 1, 15);
  direction = std::clamp(direction, 1, 8);
  const int w = picture.width(), h = picture.height();
  const int f = -(depth / 2), g = depth - depth / 2;
  const size_t n = size_t(w) * 3;

  // Which coordinate each of B (added) and A (subtracted) takes per axis:
  // 0 the pixel's own, 1 the "a" neighbour (x + f), 2 the "b" neighbour (x + g).
  struct Pick { int bx, by, ax, ay; };
  static constexpr Pick kPicks[9] = {
      {0, 0, 0, 0}, {2, 2, 1, 1}, {0, 2, 0, 1}, {1, 2, 2, 1}, {1, 0, 2, 0},
      {1, 1, 2, 2}, {0, 1, 0, 2}, {2, 1, 1, 2}, {2, 0, 1, 0}};
  const Pick pick = kPicks[direction];
  const int shift[3] = {0, f, g};

  std::vector<int> colB(w), colA(w);
  for (int x = 0; x < w; ++x) {
    const int cand[3] = {x, std::max(x + f, 0), std::min(x + g, w - 1)};
    colB[x] = 3 * cand[pick.bx];
    colA[x] = 3 * cand[pick.ax];
  }
  // Columns whose neighbours are all inside the picture: there B and A are
  // fixed offsets from the pixel.
  const int inner0 = std::min(-f, w), inner1 = std::max(w - g, inner0);

  // The picture is changed in place; the rows it still needs after they
  // were overwritten (up to -f rows above the current one, and the current
  // one) are kept in a ring of original rows.
  const int ringSize = 1 - f;
  std::vector<uint8_t> ring(size_t(ringSize) * n);
  uint8_t* bits = picture.bits();
  const qsizetype stride = picture.bytesPerLine();
  auto sourceRow = [&](int r, int y) -> const uint8_t* {
    return r < y + 1 ? ring.data() + size_t(r % ringSize) * n : bits + r * stride;
  };

  for (int y = 0; y < h; ++y) {
    uint8_t* out = bits + y * stride;
    std::memcpy(ring.data() + size_t(y % ringSize) * n, out, n);
    const int cand[3] = {y, std::max(y + f, 0), std::min(y + g, h - 1)};
    const uint8_t* rowB = sourceRow(cand[pick.by], y);
    const uint8_t* rowA = sourceRow(cand[pick.ay], y);
    auto edge = [&](int x0, int x1) {
      for (int x = x0; x < x1; ++x) EmbossBytes(rowB + colB[x], rowA + colA[x], out + 3 * x, 3);
    };
    edge(0, inner0);
    if (inner1 > inner0)
      EmbossBytes(rowB + 3 * (inner0 + shift[pick.bx]), rowA + 3 * (inner0 + shift[pick.ax]),
                  out + 3 * inner0, size_t(inner1 - inner0) * 3);
    edge(inner1, w);
    if (!Report(progress, Percent(y, h - 1))) return false;
  }
  return true;
}

bool EdgeSketch(QImage& picture, bool crayon, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  const int w = picture.width(), h = picture.height();
  if (w < 3 || h < 3) return true;  // no inner pixels
  const size_t n = size_t(w) * 3;
  std::vector<uint8_t> above(picture.constScanLine(0), picture.constScanLine(0) + n);
  std::vector<uint8_t> current(n);
  for (int y = 1; y <= h - 2; ++y) {
    uint8_t* out = picture.scanLine(y);
    std::memcpy(current.data(), out, n);
    const uint8_t* u = above.data();
    const uint8_t* c = current.data();
    const uint8_t* d = picture.constScanLine(y + 1);
    for (size_t i = 3; i < n - 3; i += 3) {
      int e[3];
      for (int k = 0; k < 3; ++k) {
        const size_t j = i + k;
        const int s = std::abs(d[j] - c[j]) + std::abs(c[j - 3] - c[j + 3]) +
                      std::abs(u[j - 3] - d[j + 3]) + std::abs(u[j + 3] - d[j - 3]);
        e[k] = std::min(s, 255);
      }
      if (crayon) {
        out[i] = uint8_t(std::min(2 * e[0], 255));
        out[i + 1] = uint8_t(std::min(2 * e[1], 255));
        out[i + 2] = uint8_t(std::min(2 * e[2], 255));
      } else {
        const int grey = std::min((e[0] + e[1] + e[2]) / 2, 255);
        out[i] = out[i + 1] = out[i + 2] = uint8_t(255 - grey);
      }
    }
    above.swap(current);
    if (!Report(progress, Percent(y, h - 2))) return false;
  }
  return true;
}

// The trail of every pixel is the ray of level + 1 pixels from it in the
// direction, cut off at the picture edge. Neighbouring pixels along a ray
// share all but one pixel of their trails, so each sum comes from the sum of
// the previous row (or pixel) by adding one pixel and removing one.
bool MotionBlur(QImage& picture, int level, int direction, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  direction = std::clamp(direction, 1, 8);
  const int w = picture.width(), h = picture.height();
  // A trail longer than the picture is cut off anyway.
  const int L = std::clamp(level, 0, std::max(w, h));
  const int dx = kStepX[direction], dy = kStepY[direction];
  const QImage source = picture.copy();

  std::vector<const uint8_t*> rows(h);
  for (int y = 0; y < h; ++y) rows[y] = source.constScanLine(y);
  auto inside = [&](int64_t x, int64_t y) { return x >= 0 && x < w && y >= 0 && y < h; };
  auto px = [&](int x, int y) { return rows[y] + 3 * x; };
  // Pixels of the trail: level + 1, fewer near the edge it runs into.
  auto trailCount = [&](int x, int y) {
    int n = L;
    if (dx < 0) n = std::min(n, x);
    if (dx > 0) n = std::min(n, w - 1 - x);
    if (dy < 0) n = std::min(n, y);
    if (dy > 0) n = std::min(n, h - 1 - y);
    return n + 1;
  };
  auto direct = [&](int x, int y, int32_t* t) {
    t[0] = t[1] = t[2] = 0;
    const int count = trailCount(x, y);
    for (int e = 0; e < count; ++e) {
      const uint8_t* p = px(x + e * dx, y + e * dy);
      t[0] += p[0];
      t[1] += p[1];
      t[2] += p[2];
    }
  };

  // Exact division by 1 … 4096 through a multiply and shift (valid for the
  // sums that occur: at most 255 × divisor).
  const int maxDiv = std::min(L + 1, 4096);
  std::vector<uint64_t> recip(maxDiv + 1);
  for (int d = 1; d <= maxDiv; ++d) recip[d] = ((uint64_t(1) << 32) + d - 1) / d;
  auto divide = [&](int32_t s, int d) -> uint8_t {
    return d <= maxDiv ? uint8_t((uint64_t(s) * recip[d]) >> 32) : uint8_t(s / d);
  };

  std::vector<int32_t> prev(size_t(w) * 3), cur(size_t(w) * 3);
  for (int y = 0; y < h; ++y) {
    uint8_t* out = picture.scanLine(y);
    const bool descending = dy == 0 && dx < 0;
    for (int i = 0; i < w; ++i) {
      const int x = descending ? w - 1 - i : i;
      int32_t* t = &cur[size_t(x) * 3];
      if (dy < 0) {
        // From the trail of (x + dx, y − 1): add this pixel, drop its last.
        const int qx = x + dx;
        if (inside(qx, y - 1)) {
          const int32_t* q = &prev[size_t(qx) * 3];
          const uint8_t* p = px(x, y);
          t[0] = q[0] + p[0];
          t[1] = q[1] + p[1];
          t[2] = q[2] + p[2];
          const int64_t lx = x + int64_t(L + 1) * dx, ly = y - int64_t(L + 1);
          if (inside(lx, ly)) {
            const uint8_t* l = px(int(lx), int(ly));
            t[0] -= l[0];
            t[1] -= l[1];
            t[2] -= l[2];
          }
        } else {
          direct(x, y, t);
        }
      } else {
        // From the trail of (x − dx, y − dy): drop that pixel, add the new end.
        const int qx = x - dx, qy = y - dy;
        if (inside(qx, qy)) {
          const int32_t* q = dy == 0 ? &cur[size_t(qx) * 3] : &prev[size_t(qx) * 3];
          const uint8_t* p = px(qx, qy);
          t[0] = q[0] - p[0];
          t[1] = q[1] - p[1];
          t[2] = q[2] - p[2];
          const int64_t ex = x + int64_t(L) * dx, ey = y + int64_t(L) * dy;
          if (inside(ex, ey)) {
            const uint8_t* e = px(int(ex), int(ey));
            t[0] += e[0];
            t[1] += e[1];
            t[2] += e[2];
          }
        } else {
          direct(x, y, t);
        }
      }
      const int count = trailCount(x, y);
      out[3 * x] = divide(t[0], count);
      out[3 * x + 1] = divide(t[1], count);
      out[3 * x + 2] = divide(t[2], count);
    }
    prev.swap(cur);
    if (!Report(progress, Percent(y, h - 1))) return false;
  }
  return true;
}
