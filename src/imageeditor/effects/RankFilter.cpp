// Minimum, median and maximum filters over a window that is shifted inward
// at the left and top edges and cut off at the right and bottom edges.
//
// Minimum and maximum are separable: a horizontal pass (the row folded with
// itself at doubling distances) and a vertical pass (van Herk / Gil-Werman
// block extremes), both on whole vectors of bytes, in place.
//
// The median of a small window (up to 100 entries) comes from a comparator
// network on vectors of bytes. Larger windows keep one histogram per column
// (of the window's rows) and a coarse 16-bin histogram of the window; the
// fine 256-bin histogram of the window is only kept for the coarse bins the
// search visits and brought up to date lazily (Perreault and Hébert). The
// zeros that pad a cut-off window are counted at the bottom of the
// histogram. Both may run in bands of rows on several threads.

#include "imageeditor/effects/EffectSupport.h"

#include <limits>
#include <utility>
#include <type_traits>
#include <new>
#include <vector>

#include <immintrin.h>

// Functions built for processors with AVX2, called only where it is present.
#define JKT_AVX2 __attribute__((target("avx2")))

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

// Byte vectors: 16 bytes with SSE2, 32 with AVX2. Code on 32-byte vectors is
// built entirely into one AVX2 function (flatten), so no 32-byte vector is
// ever passed through a call built without AVX; the compiler's note about
// that calling convention does not apply anywhere in this file (templates
// are built at its end, so the note is off for all of it).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
struct TBytes16 {
  using T = __m128i;
  static constexpr int kWidth = 16;
  static T Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(uint8_t* p, T v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static T Zero() { return _mm_setzero_si128(); }
  static T Min(T a, T b) { return _mm_min_epu8(a, b); }
  static T Max(T a, T b) { return _mm_max_epu8(a, b); }
  // (a + b) div 2: the rounded-up mean less the odd bit.
  static T Mean(T a, T b) { return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1))); }
};
#if JKT_AVX2_TEMPLATES
struct TBytes32 {
  using T = __m256i;
  static constexpr int kWidth = 32;
  JKT_AVX2 static T Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  JKT_AVX2 static void Store(uint8_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  JKT_AVX2 static T Zero() { return _mm256_setzero_si256(); }
  JKT_AVX2 static T Min(T a, T b) { return _mm256_min_epu8(a, b); }
  JKT_AVX2 static T Max(T a, T b) { return _mm256_max_epu8(a, b); }
  JKT_AVX2 static T Mean(T a, T b)
  {
    return _mm256_sub_epi8(_mm256_avg_epu8(a, b), _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
  }
};
#endif

struct TMin {
  static uint8_t Pick(uint8_t a, uint8_t b) { return a < b ? a : b; }
  template <class V>
  static typename V::T Pick(typename V::T a, typename V::T b) { return V::Min(a, b); }
};
struct TMax {
  static uint8_t Pick(uint8_t a, uint8_t b) { return a > b ? a : b; }
  template <class V>
  static typename V::T Pick(typename V::T a, typename V::T b) { return V::Max(a, b); }
};

// The two row kernels of the minimum and maximum on byte vectors V.
//   Pick: dst[i] = extreme of a[i] and b[i] (dst may be a or b).
//   Fold: b[i] = extreme of b[i] and b[i + shift] for i < n − shift, in
//         place from the front, so every read comes before the write that
//         could touch it.
template <class Op, class V>
struct TRowKernels {
  static void Pick(uint8_t* dst, const uint8_t* a, const uint8_t* b, size_t n)
  {
    size_t i = 0;
    for (; i + V::kWidth <= n; i += V::kWidth)
      V::Store(dst + i, Op::template Pick<V>(V::Load(a + i), V::Load(b + i)));
    for (; i < n; ++i) dst[i] = Op::Pick(a[i], b[i]);
  }
  static void Fold(uint8_t* b, size_t n, size_t shift)
  {
    if (n <= shift) return;
    const size_t end = n - shift;
    size_t i = 0;
    for (; i + V::kWidth <= end; i += V::kWidth)
      V::Store(b + i, Op::template Pick<V>(V::Load(b + i), V::Load(b + i + shift)));
    for (; i < end; ++i) b[i] = Op::Pick(b[i], b[i + shift]);
  }
};

#if JKT_AVX2_TEMPLATES
// The AVX2 kernels, for processors that have it; they give the same bytes.
template <class Op>
__attribute__((target("avx2"), flatten)) void PickAvx2(uint8_t* dst, const uint8_t* a, const uint8_t* b, size_t n)
{
  TRowKernels<Op, TBytes32>::Pick(dst, a, b, n);
}
template <class Op>
__attribute__((target("avx2"), flatten)) void FoldAvx2(uint8_t* b, size_t n, size_t shift)
{
  TRowKernels<Op, TBytes32>::Fold(b, n, shift);
}
#endif

// Minimum or maximum in two passes. Across a row, after folding the row with
// itself at distances of 1, 2, 4 … pixels, entry i holds the extreme of the
// P pixels from i on (P the largest power of two not above the window), so a
// whole window is the extreme of two entries; windows cut off at the right
// end take a running extreme from the end of the row. Down the columns, the
// rows are grouped in blocks as long as the window: a window spans the tail
// of one block and the head of the next, so it is the extreme of that
// block's running extreme from the bottom (kept for the whole block) and the
// next block's running extreme from the top (one row, kept as the rows come
// in). Rows are read in order and each result row is written as soon as its
// window's last row has been read, which is never before the row itself, so
// the picture is filtered in place.
template <class Op>
class TMinMaxFilter {
 public:
  TMinMaxFilter(QImage& picture, int sizeX, int sizeY)
      : w_(picture.width()), h_(picture.height()), n_(size_t(w_) * 3), sizeX_(sizeX),
        wx_(AxisWindows(w_, sizeX)), wy_(AxisWindows(h_, sizeY)),
        blockRows_(std::min<int64_t>(int64_t(sizeY) + 1, h_))
  {
    uint8_t* bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    rows_.resize(h_);
    for (int y = 0; y < h_; ++y) rows_[y] = bits + y * stride;
    [[maybe_unused]] const bool avx2 = UseAvx2();
    pick_ = &TRowKernels<Op, TBytes16>::Pick;
    fold_ = &TRowKernels<Op, TBytes16>::Fold;
#if JKT_AVX2_TEMPLATES
    if (avx2) {
      pick_ = &PickAvx2<Op>;
      fold_ = &FoldAvx2<Op>;
    }
#endif
    blocks_[0].resize(size_t(blockRows_) * n_);
    blocks_[1].resize(size_t(blockRows_) * n_);
    running_.resize(n_);
    folded_.resize(n_);
    tail_.resize(n_);
    while (full_ < w_ && int64_t(wx_.lo[full_]) + sizeX <= w_ - 1) ++full_;
    while (power_ * 2 <= int64_t(sizeX) + 1) power_ *= 2;
  }

  bool Run(const TEffectProgress& progress)
  {
    const int64_t block = blockRows_;
    int y = 0;
    for (int r = 0; r < h_; ++r) {
      const int64_t k = r / block, first = k * block;
      uint8_t* rowInBlock = Block(k) + size_t(r - first) * n_;
      Across(rows_[r], rowInBlock);
      if (r == first) std::copy(rowInBlock, rowInBlock + n_, running_.data());
      else pick_(running_.data(), running_.data(), rowInBlock, n_);
      const bool blockEnds = r == h_ - 1 || r - first == block - 1;
      if (blockEnds) {
        // Running extremes from the bottom of the block, in place.
        for (int64_t i = r - first - 1; i >= 0; --i) {
          uint8_t* row = Block(k) + size_t(i) * n_;
          pick_(row, row, row + n_, n_);
        }
      }
      // Every result row whose window ends at row r.
      for (; y < h_ && wy_.hi[y] == r; ++y) {
        const int64_t lo = wy_.lo[y], kl = lo / block;
        const uint8_t* fromBottom = Block(kl) + size_t(lo - kl * block) * n_;
        if (kl == k) std::copy(fromBottom, fromBottom + n_, rows_[y]);  // the block itself
        else pick_(rows_[y], fromBottom, running_.data(), n_);
        if (!Report(progress, Percent(y, h_ - 1))) return false;
      }
    }
    return true;
  }

 private:
  uint8_t* Block(int64_t k) { return blocks_[k & 1].data(); }

  // The horizontal pass of one row. Windows x = 0 … full_ − 1 are whole:
  // the first ones all start at pixel 0, then they move one pixel a pixel.
  void Across(const uint8_t* in, uint8_t* out)
  {
    if (full_ > 0) {
      std::copy(in, in + n_, folded_.data());
      for (int64_t s = 1; s < power_; s *= 2) fold_(folded_.data(), n_, size_t(s) * 3);
      const uint8_t* f = folded_.data();
      const size_t second = size_t(int64_t(sizeX_) + 1 - power_) * 3;  // the second entry
      int x = 0;
      for (; x < full_ && wx_.lo[x] == 0; ++x)
        for (int c = 0; c < 3; ++c) out[3 * x + c] = Op::Pick(f[c], f[second + c]);
      if (x < full_) {
        const size_t lo = size_t(wx_.lo[x]) * 3;
        pick_(out + size_t(x) * 3, f + lo, f + lo + second, size_t(full_ - x) * 3);
      }
    }
    if (full_ < w_) {
      // Cut-off windows: running extremes from the right end.
      uint8_t* t = tail_.data();
      const size_t last = n_ - 3;
      for (int c = 0; c < 3; ++c) t[last + c] = in[last + c];
      for (size_t i = last; i-- > size_t(wx_.lo[full_]) * 3;) t[i] = Op::Pick(in[i], t[i + 3]);
      for (int x = full_; x < w_; ++x)
        for (int c = 0; c < 3; ++c) out[3 * x + c] = t[size_t(wx_.lo[x]) * 3 + c];
    }
  }

  const int w_, h_;
  const size_t n_;
  const int sizeX_;
  const TAxisWindows wx_, wy_;
  const int64_t blockRows_;
  int full_ = 0;         // windows that end at the last pixel or before it
  int64_t power_ = 1;    // the largest power of two not above a whole window
  std::vector<uint8_t*> rows_;
  std::vector<uint8_t> blocks_[2], running_, folded_, tail_;
  void (*pick_)(uint8_t*, const uint8_t*, const uint8_t*, size_t) = nullptr;
  void (*fold_)(uint8_t*, size_t, size_t) = nullptr;
};

// Allocator giving 16-byte aligned blocks for the histogram arrays.
template <class T>
struct TAlignedAllocator {
  using value_type = T;
  TAlignedAllocator() = default;
  template <class U>
  TAlignedAllocator(const TAlignedAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(16))); }
  void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t(16)); }
  bool operator==(const TAlignedAllocator&) const { return true; }
};

// Counting helpers on 16 histogram bins: prefix sums and the number of
// leading bins whose prefix sum does not exceed a rank. The 16-bit version
// uses SSE2 where available.
inline void AddBins(uint16_t* to, const uint16_t* from, int n, bool add)
{
#ifdef __SSE2__
  for (int i = 0; i < n; i += 8) {
    const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(to + i));
    const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(from + i));
    _mm_store_si128(reinterpret_cast<__m128i*>(to + i), add ? _mm_add_epi16(a, b) : _mm_sub_epi16(a, b));
  }
#else
  for (int i = 0; i < n; ++i) to[i] = uint16_t(add ? to[i] + from[i] : to[i] - from[i]);
#endif
}

// to += plus − minus over n bins (n a multiple of 8).
inline void MoveBins(uint16_t* to, const uint16_t* plus, const uint16_t* minus, int n)
{
#ifdef __SSE2__
  for (int i = 0; i < n; i += 8) {
    const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(to + i));
    const __m128i p = _mm_load_si128(reinterpret_cast<const __m128i*>(plus + i));
    const __m128i m = _mm_load_si128(reinterpret_cast<const __m128i*>(minus + i));
    _mm_store_si128(reinterpret_cast<__m128i*>(to + i), _mm_sub_epi16(_mm_add_epi16(a, p), m));
  }
#else
  for (int i = 0; i < n; ++i) to[i] = uint16_t(to[i] + plus[i] - minus[i]);
#endif
}

inline void MoveBins(uint32_t* to, const uint32_t* plus, const uint32_t* minus, int n)
{
  for (int i = 0; i < n; ++i) to[i] = to[i] + plus[i] - minus[i];
}

inline void AddBins(uint32_t* to, const uint32_t* from, int n, bool add)
{
  for (int i = 0; i < n; ++i) to[i] = add ? to[i] + from[i] : to[i] - from[i];
}

#define JKT_INLINE __attribute__((always_inline)) inline

// Cumulative counts of 16 bins and the search for the bin holding a rank.
struct TCumulative16 {
  static void Move(uint16_t* to, const uint16_t* plus, const uint16_t* minus, int n) { MoveBins(to, plus, minus, n); }
  static void Add(uint16_t* to, const uint16_t* from, int n, bool add) { AddBins(to, from, n, add); }

  alignas(16) uint16_t sum[16];
#ifdef __SSE2__
  __m128i f0, f1;  // the sums with the sign bit flipped, for unsigned compares
#endif

  JKT_INLINE void Load(const uint16_t* bins)
  {
#ifdef __SSE2__
    __m128i v0 = _mm_load_si128(reinterpret_cast<const __m128i*>(bins));
    __m128i v1 = _mm_load_si128(reinterpret_cast<const __m128i*>(bins + 8));
    v0 = _mm_add_epi16(v0, _mm_slli_si128(v0, 2));
    v1 = _mm_add_epi16(v1, _mm_slli_si128(v1, 2));
    v0 = _mm_add_epi16(v0, _mm_slli_si128(v0, 4));
    v1 = _mm_add_epi16(v1, _mm_slli_si128(v1, 4));
    v0 = _mm_add_epi16(v0, _mm_slli_si128(v0, 8));
    v1 = _mm_add_epi16(v1, _mm_slli_si128(v1, 8));
    const __m128i top = _mm_shufflehi_epi16(v0, 0xFF);
    v1 = _mm_add_epi16(v1, _mm_unpackhi_epi64(top, top));
    _mm_store_si128(reinterpret_cast<__m128i*>(sum), v0);
    _mm_store_si128(reinterpret_cast<__m128i*>(sum + 8), v1);
    const __m128i flip = _mm_set1_epi16(int16_t(0x8000));
    f0 = _mm_xor_si128(v0, flip);
    f1 = _mm_xor_si128(v1, flip);
#else
    int total = 0;
    for (int i = 0; i < 16; ++i) sum[i] = uint16_t(total += bins[i]);
#endif
  }

  // The first bin whose cumulative count exceeds r (r below the total).
  JKT_INLINE int Bin(int64_t r) const
  {
#ifdef __SSE2__
    // The sums only grow: the bins above r come last.
    const __m128i rv = _mm_set1_epi16(int16_t(uint16_t(r) ^ 0x8000));
    const __m128i above = _mm_packs_epi16(_mm_cmpgt_epi16(f0, rv), _mm_cmpgt_epi16(f1, rv));
    return __builtin_ctz(unsigned(_mm_movemask_epi8(above)) | 0x8000u);
#else
    int i = 0;
    while (i < 15 && sum[i] <= r) ++i;
    return i;
#endif
  }
};

struct TCumulative32 {
  static void Move(uint32_t* to, const uint32_t* plus, const uint32_t* minus, int n) { MoveBins(to, plus, minus, n); }
  static void Add(uint32_t* to, const uint32_t* from, int n, bool add) { AddBins(to, from, n, add); }

  int64_t sum[16];
  JKT_INLINE void Load(const uint32_t* bins)
  {
    int64_t total = 0;
    for (int i = 0; i < 16; ++i) sum[i] = total += bins[i];
  }
  JKT_INLINE int Bin(int64_t r) const
  {
    int i = 0;
    while (i < 15 && sum[i] <= r) ++i;
    return i;
  }
};

// The same with AVX2: all 16 sums in one register. The bins are moved in
// whole registers as well, since a register read right after two half-size
// writes of the same bytes would have to wait for them.
struct TCumulative16Avx2 {
  // to += plus − minus, or to ±= from, over n bins (n a multiple of 16).
  JKT_AVX2 static void Move(uint16_t* to, const uint16_t* plus, const uint16_t* minus, int n)
  {
    for (int i = 0; i < n; i += 16) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + i));
      const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(plus + i));
      const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(minus + i));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), _mm256_sub_epi16(_mm256_add_epi16(a, p), m));
    }
  }
  JKT_AVX2 static void Add(uint16_t* to, const uint16_t* from, int n, bool add)
  {
    for (int i = 0; i < n; i += 16) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + i));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), add ? _mm256_add_epi16(a, b) : _mm256_sub_epi16(a, b));
    }
  }

  alignas(32) uint16_t sum[16];
  __m256i f;  // the sums with the sign bit flipped, for unsigned compares

  JKT_AVX2 void Load(const uint16_t* bins)
  {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bins));
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 2));
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 4));
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 8));
    // Each half now holds its own running sums; the upper half gets the
    // lower half's total added.
    __m256i top = _mm256_shufflehi_epi16(v, 0xFF);
    top = _mm256_unpackhi_epi64(top, top);
    v = _mm256_add_epi16(v, _mm256_permute2x128_si256(top, top, 0x08));
    _mm256_store_si256(reinterpret_cast<__m256i*>(sum), v);
    f = _mm256_xor_si256(v, _mm256_set1_epi16(int16_t(0x8000)));
  }

  JKT_AVX2 int Bin(int64_t r) const
  {
    const __m256i rv = _mm256_set1_epi16(int16_t(uint16_t(r) ^ 0x8000));
    const unsigned above = unsigned(_mm256_movemask_epi8(_mm256_cmpgt_epi16(f, rv)));
    return int(__builtin_ctz(above | 0x80000000u) / 2);
  }
};

// Sliding-histogram median; Count must hold the largest window's pixel count.
// Every column histogram is brought to the window's rows just before the
// column enters the window. The picture is done in bands of rows and, within
// a band, in stripes of columns narrow enough for their column histograms to
// stay in the cache; a band is reported row by row once all its stripes are
// done, and a stop puts the band's unreported rows back.
template <class Count>
class TMedianFilter {
 public:
  static constexpr int kBandRows = 64;
  static constexpr int kAhead = 2;

  TMedianFilter(const QImage& source, int sizeX, int sizeY)
      : src_(source), w_(source.width()), h_(source.height()),
        wx_(AxisWindows(w_, sizeX)), wy_(AxisWindows(h_, sizeY)),
        padded_((int64_t(sizeX) + 1) * (int64_t(sizeY) + 1)), rows_(h_)
  {
    for (int y = 0; y < h_; ++y) rows_[y] = src_.constScanLine(y);
    // About 400 columns of histograms (600 KB) at a time: fewer restarts of
    // the window at stripe edges, still well inside a second-level cache.
    const int64_t span = std::min<int64_t>(int64_t(sizeX) + 1, w_);
    stripe_ = int(std::max<int64_t>(64, 400 - span));
    const size_t columns = size_t(std::min<int64_t>(int64_t(stripe_) + span, w_));
    fine_.resize(columns * 768);
    coarse_.resize(columns * 48);
  }

  // Rows y0 … y1 − 1 of the picture at bits (rows stride bytes apart).
  bool Run(uint8_t* bits, qsizetype stride, int y0, int y1, const TRowDone& rowDone)
  {
    for (int band = y0; band < y1; band += kBandRows) {
      const int bandEnd = std::min(band + kBandRows, y1);
      for (int xs = 0; xs < w_; xs += stripe_) {
        const int xe = std::min(xs + stripe_, w_);
        if constexpr (sizeof(Count) == 2) {
#if JKT_AVX2_TEMPLATES
          if (UseAvx2()) RunBlockAvx2(bits, stride, band, bandEnd, xs, xe);
          else
#endif
            RunBlock<TCumulative16>(bits, stride, band, bandEnd, xs, xe);
        } else {
          RunBlock<TCumulative32>(bits, stride, band, bandEnd, xs, xe);
        }
      }
      for (int y = band; y < bandEnd; ++y) {
        if (!rowDone(y)) {
          for (int r = y + 1; r < bandEnd; ++r) std::copy(rows_[r], rows_[r] + size_t(w_) * 3, bits + r * stride);
          return false;
        }
      }
    }
    return true;
  }

 private:
#if JKT_AVX2_TEMPLATES
  // Everything it calls is built into it, with AVX2.
  __attribute__((target("avx2"), flatten)) void RunBlockAvx2(uint8_t* bits, qsizetype stride, int band,
                                                             int bandEnd, int xs, int xe)
  {
    if constexpr (sizeof(Count) == 2) RunBlock<TCumulative16Avx2>(bits, stride, band, bandEnd, xs, xe);
  }
#endif

  // Rows band … bandEnd − 1, columns xs … xe − 1; TCumulative counts.
  template <class TCumulative>
  void RunBlock(uint8_t* bits, qsizetype stride, int band, int bandEnd, int xs, int xe)
  {
    // Ranks of the two middle entries of the padded, sorted window.
    const int64_t upper = padded_ / 2;
    const int64_t lower = padded_ > 1 ? upper - 1 : upper;
    base_ = wx_.lo[xs];
    const size_t columns = size_t(wx_.hi[xe - 1] - base_ + 1);
    std::fill(fine_.begin(), fine_.begin() + columns * 768, Count(0));
    std::fill(coarse_.begin(), coarse_.begin() + columns * 48, Count(0));
    int rows0 = wy_.lo[band], rows1 = rows0 - 1;  // rows the column histograms hold
    for (int y = band; y < bandEnd; ++y) {
      // Rows each column drops and takes in when it next enters the window.
      dropFrom_ = rows0;
      dropTo_ = wy_.lo[y];
      takeFrom_ = rows1 + 1;
      takeTo_ = wy_.hi[y] + 1;
      rows0 = wy_.lo[y];
      rows1 = wy_.hi[y];
      const int64_t rowsIn = rows1 - rows0 + 1;

      std::fill(std::begin(kCoarse_), std::end(kCoarse_), Count(0));
      for (auto& c : range_)
        for (TRange& r : c) r = {0, -1};
      int cols0 = base_, cols1 = base_ - 1;
      // Column histograms are brought up to date a few columns before they
      // enter the window: their counters are written byte by byte and read
      // as vectors, and the processor must not wait for the one to reach the
      // other.
      int ready = base_ - 1;
      const int lastColumn = wx_.hi[xe - 1];

      uint8_t* out = bits + y * stride;
      for (int x = xs; x < xe; ++x) {
        const int x0 = wx_.lo[x], x1 = wx_.hi[x];
        for (; ready < x1; ++ready) UpdateColumn(ready + 1);
        if (cols1 + 1 == x1 && cols0 + 1 == x0) {
          // The usual step: one column in, one out.
          TCumulative::Move(kCoarse_, Coarse(x1), Coarse(cols0), 48);
          cols0 = x0;
          cols1 = x1;
        }
        for (; cols1 < x1; ++cols1) TCumulative::Add(kCoarse_, Coarse(cols1 + 1), 48, true);
        for (; cols0 < x0; ++cols0) TCumulative::Add(kCoarse_, Coarse(cols0), 48, false);
        for (const int ahead = std::min(x1 + kAhead, lastColumn); ready < ahead; ++ready)
          UpdateColumn(ready + 1);
        const int64_t zeros = padded_ - rowsIn * (x1 - x0 + 1);
        if (upper < zeros) {
          out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = 0;
          continue;
        }
        const int64_t lo = std::max<int64_t>(lower - zeros, 0), hi = upper - zeros;
        for (int c = 0; c < 3; ++c) {
          TCumulative coarse, fine;
          coarse.Load(&kCoarse_[c * 16]);
          const int binA = coarse.Bin(lo);
          const int64_t below = binA ? coarse.sum[binA - 1] : 0;
          const int64_t restA = lo - below;
          fine.Load(Slice<TCumulative>(c, binA, x0, x1));
          const int fineA = fine.Bin(restA);
          int b;
          if (hi < int64_t(coarse.sum[binA])) {
            const int64_t restB = hi - below;
            b = binA * 16 + (restB < int64_t(fine.sum[fineA]) ? fineA : fine.Bin(restB));
          } else {
            const int binB = coarse.Bin(hi);
            fine.Load(Slice<TCumulative>(c, binB, x0, x1));
            b = binB * 16 + fine.Bin(hi - coarse.sum[binB - 1]);
          }
          const int a = lower < zeros ? 0 : binA * 16 + fineA;
          out[3 * x + c] = uint8_t((a + b) / 2);
        }
      }
    }
  }

  Count* Fine(int x) { return &fine_[size_t(x - base_) * 768]; }
  Count* Coarse(int x) { return &coarse_[size_t(x - base_) * 48]; }

  // Brings column x's histograms to the current window rows.
  JKT_INLINE void UpdateColumn(int x)
  {
    Count* fine = Fine(x);
    Count* coarse = Coarse(x);
    if (dropTo_ - dropFrom_ == 1 && takeTo_ - takeFrom_ == 1) {
      // The usual step: one row out, one row in.
      const uint8_t* d = rows_[dropFrom_] + 3 * x;
      const uint8_t* t = rows_[takeFrom_] + 3 * x;
      const unsigned d0 = d[0], d1 = d[1], d2 = d[2], t0 = t[0], t1 = t[1], t2 = t[2];
      --fine[d0];
      --fine[256 + d1];
      --fine[512 + d2];
      --coarse[d0 >> 4];
      --coarse[16 + (d1 >> 4)];
      --coarse[32 + (d2 >> 4)];
      ++fine[t0];
      ++fine[256 + t1];
      ++fine[512 + t2];
      ++coarse[t0 >> 4];
      ++coarse[16 + (t1 >> 4)];
      ++coarse[32 + (t2 >> 4)];
      return;
    }
    for (int r = dropFrom_; r < dropTo_; ++r) {
      const uint8_t* p = rows_[r] + 3 * x;
      for (int c = 0; c < 3; ++c) {
        --fine[c * 256 + p[c]];
        --coarse[c * 16 + (p[c] >> 4)];
      }
    }
    for (int r = takeFrom_; r < takeTo_; ++r) {
      const uint8_t* p = rows_[r] + 3 * x;
      for (int c = 0; c < 3; ++c) {
        ++fine[c * 256 + p[c]];
        ++coarse[c * 16 + (p[c] >> 4)];
      }
    }
  }

  // Brings the window's fine slice of coarse bin `bin` to columns x0 … x1.
  template <class TCumulative>
  JKT_INLINE const Count* Slice(int c, int bin, int x0, int x1)
  {
    Count* s = kFine_[c][bin];
    int& lo = range_[c][bin].lo;
    int& hi = range_[c][bin].hi;
    const size_t at = size_t(c) * 256 + size_t(bin) * 16;
    if (hi + 1 == x1 && lo + 1 == x0 && hi >= lo) {
      TCumulative::Move(s, Fine(x1) + at, Fine(lo) + at, 16);
      lo = x0;
      hi = x1;
      return s;
    }
    const int64_t moves = int64_t(std::max(x0 - lo, 0)) + std::max(x1 - hi, 0);
    if (hi < lo || hi < x0 || moves > x1 - x0 + 1) {
      std::fill(s, s + 16, Count(0));
      lo = x0;
      hi = x0 - 1;
    }
    for (; hi < x1; ++hi) TCumulative::Add(s, Fine(hi + 1) + at, 16, true);
    for (; lo < x0; ++lo) TCumulative::Add(s, Fine(lo) + at, 16, false);
    return s;
  }

  const QImage& src_;
  const int w_, h_;
  const TAxisWindows wx_, wy_;
  const int64_t padded_;
  std::vector<const uint8_t*> rows_;
  int stripe_ = 64, base_ = 0;
  std::vector<Count, TAlignedAllocator<Count>> fine_, coarse_;
  int dropFrom_ = 0, dropTo_ = 0, takeFrom_ = 0, takeTo_ = 0;
  alignas(32) Count kCoarse_[48] = {};
  alignas(32) Count kFine_[3][16][16] = {};
  // Columns each fine slice currently holds.
  struct TRange {
    int lo, hi;
  };
  TRange range_[3][16] = {};
};

// Median of small windows (at most kMaxEntries entries, the zeros of a
// cut-off window included) through a comparator network: Batcher's
// odd-even merge sort of the window's entries, keeping only the comparators
// that lead to the two middle entries. Each comparator works on 16 or 32
// bytes at once, one channel of one pixel per byte: along a row the window
// of the next byte of the same channel lies three bytes further. Pixels
// whose window is shifted or cut off at the left or right edge are done one
// by one; rows cut off at the bottom get rows of zeros.
class TSmallMedian {
 public:
  static constexpr int kMaxEntries = 100;

  TSmallMedian(const QImage& source, int sizeX, int sizeY)
      : src_(source), w_(source.width()), h_(source.height()), sizeX_(sizeX),
        count_((sizeX + 1) * (sizeY + 1)), wx_(AxisWindows(w_, sizeX)), wy_(AxisWindows(h_, sizeY))
  {
    int p = 1;
    while (p < count_) p *= 2;
    std::vector<std::pair<int, int>> all;
    for (int m = 1; m < p; m *= 2)
      for (int k = m; k >= 1; k /= 2)
        for (int j = k % m; j + k < p; j += 2 * k)
          for (int i = 0; i < std::min(k, p - j - k); ++i)
            if ((i + j) / (2 * m) == (i + j + k) / (2 * m) && i + j + k < count_)
              all.push_back({i + j, i + j + k});  // pairs reaching past the entries compare with +∞
    std::vector<bool> needed(count_, false);
    needed[count_ / 2 - 1] = needed[count_ / 2] = true;
    for (auto c = all.rbegin(); c != all.rend(); ++c) {
      if (!needed[c->first] && !needed[c->second]) continue;
      needed[c->first] = needed[c->second] = true;
      network_.push_back(*c);
    }
    std::reverse(network_.begin(), network_.end());
  }

  // Whether a window of this size is small enough (and has two middle entries).
  static bool Fits(int sizeX, int sizeY)
  {
    const int64_t entries = (int64_t(sizeX) + 1) * (int64_t(sizeY) + 1);
    return sizeX >= 0 && sizeY >= 0 && entries >= 2 && entries <= kMaxEntries;
  }

  // Rows y0 … y1 − 1 of the picture at bits (rows stride bytes apart).
  bool Run(uint8_t* bits, qsizetype stride, int y0, int y1, const TRowDone& rowDone) const
  {
    [[maybe_unused]] const bool avx2 = UseAvx2();
    for (int y = y0; y < y1; ++y) {
      uint8_t* out = bits + y * stride;
#if JKT_AVX2_TEMPLATES
      if (avx2) RowAvx2(y, out);
      else
#endif
        Row<TBytes16>(y, out);
      if (!rowDone(y)) return false;
    }
    return true;
  }

 private:
#if JKT_AVX2_TEMPLATES
  __attribute__((target("avx2"), flatten)) void RowAvx2(int y, uint8_t* out) const { Row<TBytes32>(y, out); }
#endif

  template <class V>
  void Row(int y, uint8_t* out) const
  {
    using T = typename V::T;
    const int y0 = wy_.lo[y], y1 = wy_.hi[y];
    const int half = sizeX_ / 2;
    // Pixels half … w − 1 − sizeX + half have whole windows starting at
    // x − half; their bytes run from 3·half on.
    const int64_t bytes = 3 * (int64_t(w_) - sizeX_);
    int first = w_, last = w_;  // pixels done one by one: 0 … first − 1, last … w − 1
    if (bytes >= V::kWidth) {
      first = half;
      last = w_ - sizeX_ + half;
      const uint8_t* rows[kMaxEntries];
      for (int r = y0; r <= y1; ++r) rows[r - y0] = src_.constScanLine(r);
      const int rowsIn = y1 - y0 + 1;
      T v[kMaxEntries];
      for (int64_t b = 0;; b += V::kWidth) {
        if (b + V::kWidth > bytes) b = bytes - V::kWidth;  // the last vector overlaps
        int e = 0;
        for (int r = 0; r < rowsIn; ++r)
          for (int k = 0; k <= sizeX_; ++k) v[e++] = V::Load(rows[r] + b + 3 * k);
        for (; e < count_; ++e) v[e] = V::Zero();
        for (const auto& [i, j] : network_) {
          const T a = v[i], c = v[j];
          v[i] = V::Min(a, c);
          v[j] = V::Max(a, c);
        }
        V::Store(out + 3 * half + b, V::Mean(v[count_ / 2 - 1], v[count_ / 2]));
        if (b + V::kWidth >= bytes) break;
      }
    }
    for (int x = 0; x < w_; ++x) {
      if (x == first) x = last;
      if (x >= w_) break;
      uint8_t a[3][kMaxEntries] = {};
      int e = 0;
      for (int r = y0; r <= y1; ++r) {
        const uint8_t* p = src_.constScanLine(r);
        for (int c = wx_.lo[x]; c <= wx_.hi[x]; ++c, ++e)
          for (int ch = 0; ch < 3; ++ch) a[ch][e] = p[3 * c + ch];
      }
      for (int ch = 0; ch < 3; ++ch) {
        std::sort(a[ch], a[ch] + count_);
        out[3 * x + ch] = uint8_t((a[ch][count_ / 2 - 1] + a[ch][count_ / 2]) / 2);
      }
    }
  }

  const QImage& src_;
  const int w_, h_, sizeX_, count_;
  const TAxisWindows wx_, wy_;
  std::vector<std::pair<int, int>> network_;
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
    case rkMaximum: return TMinMaxFilter<TMax>(picture, sizeX, sizeY).Run(progress);
    case rkMinimum: return TMinMaxFilter<TMin>(picture, sizeX, sizeY).Run(progress);
    case rkMedian: {
      // Bands of rows may run on several threads; each has its own
      // histograms and writes only its own rows.
      const QImage source = picture.copy();
      uint8_t* bits = picture.bits();
      const qsizetype stride = picture.bytesPerLine();
      const int w = picture.width(), h = picture.height();
      if (TSmallMedian::Fits(sizeX, sizeY)) {
        const TSmallMedian small(source, sizeX, sizeY);
        return RunBands(h, int64_t(w) * h, progress, [&](int y0, int y1, const TRowDone& rowDone) {
          return small.Run(bits, stride, y0, y1, rowDone);
        });
      }
      const int64_t largest = std::min<int64_t>(int64_t(sizeX) + 1, w) * std::min<int64_t>(int64_t(sizeY) + 1, h);
      return RunBands(h, int64_t(w) * h, progress, [&](int y0, int y1, const TRowDone& rowDone) {
        if (largest <= std::numeric_limits<uint16_t>::max())
          return TMedianFilter<uint16_t>(source, sizeX, sizeY).Run(bits, stride, y0, y1, rowDone);
        return TMedianFilter<uint32_t>(source, sizeX, sizeY).Run(bits, stride, y0, y1, rowDone);
      });
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
