// Minimum, median and maximum filters over a window that is shifted inward
// at the left and top edges and cut off at the right and bottom edges.
//
// Minimum and maximum are separable: a horizontal pass and a vertical pass,
// each with van Herk / Gil-Werman block prefix and suffix extremes, three
// comparisons per value whatever the window size.
//
// The median keeps one histogram per column (of the window's rows) and a
// coarse 16-bin histogram of the window; the fine 256-bin histogram of the
// window is only kept for the coarse bins the search visits and brought up to
// date lazily (Perreault and Hébert). The zeros that pad a cut-off window are
// counted at the bottom of the histogram.

#include "imageeditor/effects/EffectSupport.h"

#include <limits>
#include <vector>

using namespace effects_detail;

namespace {

// Window of every coordinate along one axis: lo … hi, both included.
struct TAxisWindows {
  std::vector<int> lo, hi;
};

TAxisWindows AxisWindows(int length, int size)
{
  TAxisWindows a;
  a.lo.resize(length);
  a.hi.resize(length);
  for (int i = 0; i < length; ++i) {
    const int64_t lo = std::max<int64_t>(int64_t(i) - size / 2, 0);
    a.lo[i] = int(lo);
    a.hi[i] = int(std::min<int64_t>(lo + size, length - 1));
  }
  return a;
}

struct TMin {
  static uint8_t Pick(uint8_t a, uint8_t b) { return a < b ? a : b; }
};
struct TMax {
  static uint8_t Pick(uint8_t a, uint8_t b) { return a > b ? a : b; }
};

// Extremes over windows lo … hi of a line of `count` elements with a
// distance of `stride` (in units of T elements of `width` lanes). Every
// window is at most `block` long, and a window that is shorter than that
// ends at the end of the line. prefix[i] holds the extreme from the start of
// i's block to i, suffix[i] from i to the end of its block.
template <class Op>
void BlockExtremes(const uint8_t* in, uint8_t* prefix, uint8_t* suffix, int count, int block,
                   size_t lanes, size_t stride)
{
  for (int start = 0; start < count; start += block) {
    const int end = std::min(start + block, count) - 1;
    const size_t s0 = size_t(start) * stride;
    for (size_t k = 0; k < lanes; ++k) prefix[s0 + k] = in[s0 + k];
    for (int i = start + 1; i <= end; ++i) {
      const size_t o = size_t(i) * stride;
      for (size_t k = 0; k < lanes; ++k) prefix[o + k] = Op::Pick(prefix[o - stride + k], in[o + k]);
    }
    const size_t e0 = size_t(end) * stride;
    for (size_t k = 0; k < lanes; ++k) suffix[e0 + k] = in[e0 + k];
    for (int i = end - 1; i >= start; --i) {
      const size_t o = size_t(i) * stride;
      for (size_t k = 0; k < lanes; ++k) suffix[o + k] = Op::Pick(suffix[o + stride + k], in[o + k]);
    }
  }
}

template <class Op>
bool MinMaxFilter(QImage& picture, int sizeX, int sizeY, const TEffectProgress& progress)
{
  const int w = picture.width(), h = picture.height();
  const TAxisWindows wx = AxisWindows(w, sizeX), wy = AxisWindows(h, sizeY);
  const int blockX = int(std::min<int64_t>(int64_t(sizeX) + 1, w));
  const int blockY = int(std::min<int64_t>(int64_t(sizeY) + 1, h));
  const size_t rowBytes = size_t(w) * 3;

  // Horizontal pass into `across`; `prefix` is scratch for now.
  std::vector<uint8_t> across(rowBytes * h), prefix(rowBytes * h);
  std::vector<uint8_t> rowPrefix(rowBytes), rowSuffix(rowBytes);
  for (int y = 0; y < h; ++y) {
    BlockExtremes<Op>(picture.constScanLine(y), rowPrefix.data(), rowSuffix.data(), w, blockX, 3, 3);
    uint8_t* out = &across[rowBytes * y];
    for (int x = 0; x < w; ++x) {
      const int lo = wx.lo[x], hi = wx.hi[x];
      const uint8_t* s = &rowSuffix[size_t(lo) * 3];
      uint8_t* o = out + size_t(x) * 3;
      if (lo / blockX != hi / blockX) {
        const uint8_t* p = &rowPrefix[size_t(hi) * 3];
        o[0] = Op::Pick(s[0], p[0]);
        o[1] = Op::Pick(s[1], p[1]);
        o[2] = Op::Pick(s[2], p[2]);
      } else {
        // Same block: the window runs from lo to the block's end.
        o[0] = s[0];
        o[1] = s[1];
        o[2] = s[2];
      }
    }
  }

  // Vertical pass: block prefixes into `prefix`, suffixes in place.
  BlockExtremes<Op>(across.data(), prefix.data(), across.data(), h, blockY, rowBytes, rowBytes);
  for (int y = 0; y < h; ++y) {
    const int lo = wy.lo[y], hi = wy.hi[y];
    const uint8_t* s = &across[rowBytes * lo];
    uint8_t* out = picture.scanLine(y);
    if (lo / blockY != hi / blockY) {
      const uint8_t* p = &prefix[rowBytes * hi];
      for (size_t i = 0; i < rowBytes; ++i) out[i] = Op::Pick(s[i], p[i]);
    } else {
      std::copy(s, s + rowBytes, out);
    }
    if (!Report(progress, Percent(y, h - 1))) return false;
  }
  return true;
}

// Sliding-histogram median; Count must hold the largest window's pixel count.
template <class Count>
class TMedianFilter {
 public:
  TMedianFilter(const QImage& source, int sizeX, int sizeY)
      : src_(source), w_(source.width()), h_(source.height()),
        wx_(AxisWindows(w_, sizeX)), wy_(AxisWindows(h_, sizeY)),
        padded_((int64_t(sizeX) + 1) * (int64_t(sizeY) + 1)),
        fine_(size_t(w_) * 3 * 256), coarse_(size_t(w_) * 3 * 16)
  {
  }

  bool Run(QImage& picture, const TEffectProgress& progress)
  {
    // Ranks of the two middle entries of the padded, sorted window.
    const int64_t upper = padded_ / 2;
    const int64_t lower = padded_ > 1 ? upper - 1 : upper;
    int rows0 = 0, rows1 = -1;  // rows currently in the column histograms
    for (int y = 0; y < h_; ++y) {
      const int y0 = wy_.lo[y], y1 = wy_.hi[y];
      for (; rows1 < y1; ++rows1) AddRow(rows1 + 1, +1);
      for (; rows0 < y0; ++rows0) AddRow(rows0, -1);
      const int64_t rowsIn = y1 - y0 + 1;

      // Fresh window for the row: empty coarse histogram, no fine slices.
      std::fill(&kCoarse_[0][0], &kCoarse_[0][0] + 3 * 16, Count(0));
      for (auto& c : sliceLo_)
        for (int& v : c) v = 0;
      for (auto& c : sliceHi_)
        for (int& v : c) v = -1;
      int cols0 = 0, cols1 = -1;

      uint8_t* out = picture.scanLine(y);
      for (int x = 0; x < w_; ++x) {
        const int x0 = wx_.lo[x], x1 = wx_.hi[x];
        for (; cols1 < x1; ++cols1) AddColumnCoarse(cols1 + 1, +1);
        for (; cols0 < x0; ++cols0) AddColumnCoarse(cols0, -1);
        const int64_t zeros = padded_ - rowsIn * (x1 - x0 + 1);
        for (int c = 0; c < 3; ++c) {
          const int a = ValueAtRank(c, lower, zeros, x0, x1);
          const int b = upper == lower ? a : ValueAtRank(c, upper, zeros, x0, x1);
          out[3 * x + c] = uint8_t((a + b) / 2);
        }
      }
      if (!Report(progress, Percent(y, h_ - 1))) return false;
    }
    return true;
  }

 private:
  Count* Fine(int x, int c) { return &fine_[(size_t(x) * 3 + c) * 256]; }
  Count* Coarse(int x, int c) { return &coarse_[(size_t(x) * 3 + c) * 16]; }

  void AddRow(int row, int sign)
  {
    const uint8_t* p = src_.constScanLine(row);
    Count* fine = fine_.data();
    Count* coarse = coarse_.data();
    const Count d = Count(sign);
    for (size_t i = 0; i < size_t(w_) * 3; ++i) {
      fine[i * 256 + p[i]] += d;
      coarse[i * 16 + (p[i] >> 4)] += d;
    }
  }

  void AddColumnCoarse(int x, int sign)
  {
    for (int c = 0; c < 3; ++c) {
      const Count* col = Coarse(x, c);
      Count* k = kCoarse_[c];
      if (sign > 0)
        for (int i = 0; i < 16; ++i) k[i] += col[i];
      else
        for (int i = 0; i < 16; ++i) k[i] -= col[i];
    }
  }

  // Brings the window's fine slice of coarse bin `bin` to columns x0 … x1.
  Count* Slice(int c, int bin, int x0, int x1)
  {
    Count* s = kFine_[c][bin];
    int& lo = sliceLo_[c][bin];
    int& hi = sliceHi_[c][bin];
    const int64_t moves = int64_t(std::max(x0 - lo, 0)) + std::max(x1 - hi, 0);
    if (hi < lo || hi < x0 || moves > x1 - x0 + 1) {
      for (int i = 0; i < 16; ++i) s[i] = 0;
      lo = x0;
      hi = x0 - 1;
    }
    for (; hi < x1; ++hi) {
      const Count* f = Fine(hi + 1, c) + bin * 16;
      for (int i = 0; i < 16; ++i) s[i] += f[i];
    }
    for (; lo < x0; ++lo) {
      const Count* f = Fine(lo, c) + bin * 16;
      for (int i = 0; i < 16; ++i) s[i] -= f[i];
    }
    return s;
  }

  // Value of the given rank (from 0) in the window plus `zeros` padding zeros.
  int ValueAtRank(int c, int64_t rank, int64_t zeros, int x0, int x1)
  {
    if (rank < zeros) return 0;
    int64_t r = rank - zeros;
    const Count* k = kCoarse_[c];
    int bin = 0;
    while (bin < 15 && r >= int64_t(k[bin])) r -= k[bin++];
    const Count* s = Slice(c, bin, x0, x1);
    int i = 0;
    while (i < 15 && r >= int64_t(s[i])) r -= s[i++];
    return bin * 16 + i;
  }

  const QImage& src_;
  const int w_, h_;
  const TAxisWindows wx_, wy_;
  const int64_t padded_;
  std::vector<Count> fine_, coarse_;
  Count kCoarse_[3][16] = {};
  Count kFine_[3][16][16] = {};
  int sliceLo_[3][16] = {};
  int sliceHi_[3][16] = {};
};

}  // namespace

bool RankFilter(QImage& picture, int sizeX, int sizeY, int kind, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  // A negative size would leave an empty window; the smallest window is the
  // pixel itself.
  sizeX = std::max(sizeX, 0);
  sizeY = std::max(sizeY, 0);
  switch (kind) {
    case rkMaximum: return MinMaxFilter<TMax>(picture, sizeX, sizeY, progress);
    case rkMinimum: return MinMaxFilter<TMin>(picture, sizeX, sizeY, progress);
    case rkMedian: {
      const QImage source = picture.copy();
      const int64_t largest = std::min<int64_t>(int64_t(sizeX) + 1, picture.width()) *
                              std::min<int64_t>(int64_t(sizeY) + 1, picture.height());
      if (largest <= std::numeric_limits<uint16_t>::max())
        return TMedianFilter<uint16_t>(source, sizeX, sizeY).Run(picture, progress);
      return TMedianFilter<uint32_t>(source, sizeX, sizeY).Run(picture, progress);
    }
    default: return true;  // unknown kind: nothing to do
  }
}

void SortBytes(uint8_t* a, int low, int high)
{
  // Quicksort around the middle element; the smaller side recurses, the
  // larger one loops, so the depth stays logarithmic.
  while (low < high) {
    const uint8_t pivot = a[low + (high - low) / 2];
    int i = low, j = high;
    while (i <= j) {
      while (a[i] < pivot) ++i;
      while (a[j] > pivot) --j;
      if (i <= j) std::swap(a[i++], a[j--]);
    }
    if (j - low < high - i) {
      SortBytes(a, low, j);
      low = i;
    } else {
      SortBytes(a, i, high);
      high = j;
    }
  }
}

int MiddleValue(uint8_t* a, int highest)
{
  if (highest < 0) return 0;
  SortBytes(a, 0, highest);
  const int mid = (highest + 1) / 2;
  if (mid == 0) return a[0];
  return (a[mid] + a[mid - 1]) / 2;
}
