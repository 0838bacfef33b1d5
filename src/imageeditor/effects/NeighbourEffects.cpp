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
// the previous row (or pixel) by adding one pixel and removing one; within a
// row these are runs of plain element-wise operations.
bool MotionBlur(QImage& picture, int level, int direction, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  direction = std::clamp(direction, 1, 8);
  const int w = picture.width(), h = picture.height();
  // A trail longer than the picture is cut off anyway.
  const int L = std::clamp(level, 0, std::max(w, h));
  const int dx = kStepX[direction], dy = kStepY[direction];
  const ptrdiff_t n = ptrdiff_t(w) * 3;

  // The picture is changed in place. Rows still to be read after they were
  // overwritten (the row above; for upward trails the rows up to L + 1
  // above) are kept in a ring of original rows; rows[r] points to the
  // original of row r while it may be read.
  uint8_t* bits = picture.bits();
  const qsizetype stride = picture.bytesPerLine();
  const int ringSize = std::min(dy < 0 ? L + 2 : 2, h);
  std::vector<uint8_t> ring(size_t(ringSize) * size_t(n));
  std::vector<const uint8_t*> rows(h);
  for (int y = 0; y < h; ++y) rows[y] = bits + y * stride;
  // Longest trail each column allows sideways, and each row up or down.
  std::vector<int> colLimit(w);
  for (int x = 0; x < w; ++x) colLimit[x] = dx < 0 ? std::min(L, x) : dx > 0 ? std::min(L, w - 1 - x) : L;
  auto rowLimit = [&](int y) { return dy < 0 ? std::min(L, y) : dy > 0 ? std::min(L, h - 1 - y) : L; };

  // Exact division by 1 … 4096 through a multiply and shift (valid for the
  // sums that occur: at most 255 × divisor).
  const int maxDiv = std::min(L + 1, 4096);
  std::vector<uint64_t> recip(maxDiv + 1);
  for (int d = 1; d <= maxDiv; ++d) recip[d] = ((uint64_t(1) << 32) + d - 1) / d;
  const bool byRecip = L + 1 <= maxDiv;
  std::vector<uint64_t> rowRecip(w);  // per column, for the current row limit
  int recipLimit = -1;

  std::vector<int32_t> prev(n), cur(n);
  for (int y = 0; y < h; ++y) {
    uint8_t* out = bits + y * stride;
    uint8_t* kept = ring.data() + size_t(y % ringSize) * size_t(n);
    std::memcpy(kept, out, size_t(n));
    rows[y] = kept;
    const uint8_t* p = kept;
    int32_t* t = cur.data();
    const int32_t* q = prev.data();
    const int ly = rowLimit(y);
    // The whole trail of pixel x, summed directly.
    auto direct = [&](int x) {
      const int count = std::min(ly, colLimit[x]) + 1;
      int32_t s[3] = {0, 0, 0};
      for (int e = 0; e < count; ++e) {
        const uint8_t* v = rows[y + e * dy] + 3 * (x + e * dx);
        s[0] += v[0];
        s[1] += v[1];
        s[2] += v[2];
      }
      t[3 * x] = s[0];
      t[3 * x + 1] = s[1];
      t[3 * x + 2] = s[2];
    };

    if (dy == 0) {
      // Along the row: a running sum toward the direction's far end.
      const ptrdiff_t span = ptrdiff_t(L + 1) * 3;
      if (dx > 0) {
        for (ptrdiff_t i = n - 3; i < n; ++i) t[i] = p[i];
        ptrdiff_t i = n - 4;
        for (; i >= 0 && i + span >= n; --i) t[i] = t[i + 3] + p[i];
        for (; i >= 0; --i) t[i] = t[i + 3] + p[i] - p[i + span];
      } else {
        for (ptrdiff_t i = 0; i < 3; ++i) t[i] = p[i];
        ptrdiff_t i = 3;
        for (; i < n && i < span; ++i) t[i] = t[i - 3] + p[i];
        for (; i < n; ++i) t[i] = t[i - 3] + p[i] - p[i - span];
      }
    } else if (y == 0) {
      for (int x = 0; x < w; ++x) direct(x);
    } else {
      // Columns whose trail follows from the previous row's sum at column
      // x + side, and the row and column offset of the pixel that enters
      // (dy > 0: the new far end) or leaves (dy < 0: the old far end).
      const int side = dy > 0 ? -dx : dx;
      const int reach = dy > 0 ? L : L + 1;
      const int xa = side < 0 ? 1 : 0, xb = side > 0 ? w - 1 : w;
      const int endRow = dy > 0 ? y + L : y - L - 1;
      const bool endRowInside = endRow >= 0 && endRow < h;
      const int ea = dx < 0 ? reach : 0, eb = dx > 0 ? w - reach : w;
      const ptrdiff_t qo = ptrdiff_t(side) * 3, eo = ptrdiff_t(reach) * dx * 3;
      const uint8_t* above = rows[y - 1];
      const uint8_t* far = endRowInside ? rows[endRow] : nullptr;
      auto run = [&](int x0, int x1, bool withEnd) {
        if (x0 >= x1) return;
        const ptrdiff_t i0 = ptrdiff_t(x0) * 3, i1 = ptrdiff_t(x1) * 3;
        if (dy > 0) {
          if (withEnd)
            for (ptrdiff_t i = i0; i < i1; ++i) t[i] = q[i + qo] - above[i + qo] + far[i + eo];
          else
            for (ptrdiff_t i = i0; i < i1; ++i) t[i] = q[i + qo] - above[i + qo];
        } else {
          if (withEnd)
            for (ptrdiff_t i = i0; i < i1; ++i) t[i] = q[i + qo] + p[i] - far[i + eo];
          else
            for (ptrdiff_t i = i0; i < i1; ++i) t[i] = q[i + qo] + p[i];
        }
      };
      const int lo = std::max(xa, ea), hi = std::min(xb, eb);
      if (!endRowInside || lo >= hi) {
        run(xa, xb, false);
      } else {
        run(xa, lo, false);
        run(lo, hi, true);
        run(hi, xb, false);
      }
      for (int x = 0; x < xa; ++x) direct(x);
      for (int x = xb; x < w; ++x) direct(x);
    }

    if (byRecip) {
      if (ly != recipLimit) {
        for (int x = 0; x < w; ++x) rowRecip[x] = recip[std::min(ly, colLimit[x]) + 1];
        recipLimit = ly;
      }
      for (int x = 0; x < w; ++x) {
        const uint64_t r = rowRecip[x];
        out[3 * x] = uint8_t((uint64_t(t[3 * x]) * r) >> 32);
        out[3 * x + 1] = uint8_t((uint64_t(t[3 * x + 1]) * r) >> 32);
        out[3 * x + 2] = uint8_t((uint64_t(t[3 * x + 2]) * r) >> 32);
      }
    } else {
      for (int x = 0; x < w; ++x) {
        const int count = std::min(ly, colLimit[x]) + 1;
        for (int c = 0; c < 3; ++c) out[3 * x + c] = uint8_t(t[3 * x + c] / count);
      }
    }
    prev.swap(cur);
    if (!Report(progress, Percent(y, h - 1))) return false;
  }
  return true;
}
