// Effects that move or regroup pixels: mosaic, raised grid, splash, fisheye
// and twist (the last two through bilinear sampling with wrap-around).

#include "imageeditor/effects/EffectSupport.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include <immintrin.h>

using namespace effects_detail;

namespace {

constexpr float kHalfPi = 1.5707964f;
constexpr float kPi = 3.1415927f;

inline uint32_t NextRandom(uint32_t& seed, uint32_t n)
{
  seed = seed * 134775813u + 1u;
  return uint32_t((uint64_t(seed) * n) >> 32);
}

// Integer part (toward zero) of a sample coordinate, its two weights and the
// wrapped positions of the two neighbours along one axis.
struct TAxisSample {
  int first, second;
  float w0, w1;
};

TAxisSample SampleAxis(float s, int size)
{
  if (!std::isfinite(s)) s = 0.0f;  // no position to speak of: the first pixel
  // The truncation is done in double so that any float stays exact, however
  // far outside the picture it lies.
  const double t = std::trunc(double(s));
  TAxisSample a;
  if (s >= 0.0f) {
    const float f = s - float(t);
    a.w0 = 1.0f - f;
    a.w1 = f;
  } else {
    const float f = float(t) - s;
    a.w0 = f;
    a.w1 = 1.0f - f;
  }
  double i = t;
  if (i < 0)
    i = (size - 1) - std::fmod(-i, double(size));
  else if (i > size - 1)
    i = std::fmod(i, double(size));
  a.first = int(i);
  a.second = a.first + 1 < size ? a.first + 1 : 0;
  return a;
}

}  // namespace

bool Mosaic(QImage& picture, int blockWidth, int blockHeight, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  const int w = picture.width(), h = picture.height();
  // Blocks wider or higher than the picture cover it in one block anyway.
  const int bw = std::clamp(blockWidth, 1, w), bh = std::clamp(blockHeight, 1, h);
  const int columns = w / bw + (w % bw != 0), rows = h / bh + (h % bh != 0);
  for (int i = 0; i < columns; ++i) {
    const int x0 = i * bw, x1 = std::min(x0 + bw, w);
    for (int j = 0; j < rows; ++j) {
      const int y0 = j * bh, y1 = std::min(y0 + bh, h);
      int64_t sum[3] = {0, 0, 0};
      for (int y = y0; y < y1; ++y) {
        const uint8_t* p = picture.constScanLine(y) + 3 * x0;
        uint32_t b = 0, g = 0, r = 0;  // one row: at most 2^31 / 255 pixels
        for (int x = x0; x < x1; ++x, p += 3) {
          b += p[0];
          g += p[1];
          r += p[2];
        }
        sum[0] += b;
        sum[1] += g;
        sum[2] += r;
      }
      const int64_t count = int64_t(x1 - x0) * (y1 - y0);
      const uint8_t colour[3] = {uint8_t(sum[0] / count), uint8_t(sum[1] / count),
                                 uint8_t(sum[2] / count)};
      for (int y = y0; y < y1; ++y) {
        uint8_t* p = picture.scanLine(y) + 3 * x0;
        for (int x = x0; x < x1; ++x, p += 3) {
          p[0] = colour[0];
          p[1] = colour[1];
          p[2] = colour[2];
        }
      }
    }
    if (!Report(progress, Percent(i, columns - 1))) return false;
  }
  return true;
}

bool Grid3D(QImage& picture, int blockWidth, int blockHeight, int light, int dark,
            const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  const int width = picture.width(), height = picture.height();
  // A tile wider than the picture behaves as one exactly as wide: its right
  // edge column is never reached either way.
  const int w = std::clamp(blockWidth, 1, width), h = std::clamp(blockHeight, 1, height);
  light = std::clamp(light, 0, 255);
  dark = std::clamp(dark, 0, 255);
  std::array<uint8_t, 256> up{}, down{};
  for (int v = 0; v < 256; ++v) {
    up[v] = uint8_t(std::min(v + light, 255));
    down[v] = uint8_t(std::max(v - dark, 0));
  }
  auto apply = [](uint8_t* p, const std::array<uint8_t, 256>& t) {
    p[0] = t[p[0]];
    p[1] = t[p[1]];
    p[2] = t[p[2]];
  };

  const int cellW = w + 3, cellH = h + 3;
  for (int y = 0; y < height; ++y) {
    const int py = y % cellH;
    uint8_t* row = picture.scanLine(y);
    if (py <= h) {
      for (int cell = 0; cell < width; cell += cellW) {
        // Column 0 of the tile lightened, column w darkened (rows 0 … h).
        apply(row + 3 * cell, up);
        if (cell + w < width) apply(row + 3 * (cell + w), down);
        // The top row lightened, row h darkened (columns 0 … w − 1).
        if (py == 0 || py == h) {
          const auto& t = py == 0 ? up : down;
          const int end = std::min(cell + w, width);
          for (int x = cell; x < end; ++x) apply(row + 3 * x, t);
        }
      }
    }
    if (!Report(progress, Percent(y, height - 1))) return false;
  }
  return true;
}

bool Splash(QImage& picture, int level, const TEffectProgress& progress)
{
  if (!Prepare(picture)) return true;
  RandomizeFromClock();
  const int w = picture.width(), h = picture.height();
  const size_t n = size_t(w) * 3;
  const uint32_t range = uint32_t(uint64_t(int64_t(level) * 2));

  // The picture is changed in place. A pixel takes one from up to level − 1
  // rows above (a negative level: any row above), so those rows are kept in
  // a ring of original rows; rows[r] points to the original of row r while
  // it may be read.
  const int64_t back = level > 0 ? int64_t(level) - 1 : (level == 0 ? 0 : h);
  const int ringSize = int(std::min<int64_t>(back + 1, h));
  std::vector<uint8_t> ring(size_t(ringSize) * n);
  uint8_t* bits = picture.bits();
  const qsizetype stride = picture.bytesPerLine();
  std::vector<const uint8_t*> rows(h);
  for (int y = 0; y < h; ++y) rows[y] = bits + y * stride;

  // Two generator steps at once: seed × a + 1, then seed × a² + (a + 1).
  constexpr uint32_t kA = 134775813u, kA2 = kA * kA, kC2 = kA + 1u;
  // Columns whose every offset (−level + 1 … level) stays inside the row.
  const bool small = level > 0 && int64_t(level) * 2 <= int64_t(w);
  const int inner0 = small ? level - 1 : w, inner1 = small ? w - level : w;

  uint32_t seed = RandomSeed();
  for (int y = 0; y < h; ++y) {
    uint8_t* out = bits + y * stride;
    uint8_t* kept = ring.data() + size_t(y % ringSize) * n;
    std::memcpy(kept, out, n);
    rows[y] = kept;
    auto pixel = [&](int x) {
      const uint32_t s1 = seed * kA + 1u;
      seed = seed * kA2 + kC2;
      const int64_t r1 = uint32_t((uint64_t(s1) * range) >> 32);
      const int64_t r2 = uint32_t((uint64_t(seed) * range) >> 32);
      const int64_t sx = std::clamp<int64_t>(x + int64_t(level) - r1, 0, w - 1);
      const int64_t sy = std::clamp<int64_t>(y + int64_t(level) - r2, 0, h - 1);
      const uint8_t* p = rows[size_t(sy)] + 3 * sx;
      out[3 * x] = p[0];
      out[3 * x + 1] = p[1];
      out[3 * x + 2] = p[2];
    };
    const bool innerRow = small && y >= level - 1 && y + level <= h - 1;
    if (innerRow && inner0 < inner1) {
      for (int x = 0; x < inner0; ++x) pixel(x);
      // Neither offset needs a clamp here.
      const uint8_t* const* rowBase = rows.data() + (y + level);
      for (int x = inner0; x < inner1; ++x) {
        const uint32_t s1 = seed * kA + 1u;
        seed = seed * kA2 + kC2;
        const uint32_t r1 = uint32_t((uint64_t(s1) * range) >> 32);
        const uint32_t r2 = uint32_t((uint64_t(seed) * range) >> 32);
        const uint8_t* p = *(rowBase - r2) + 3 * (x + level - int(r1));
        uint8_t* o = out + 3 * x;
        o[0] = p[0];
        o[1] = p[1];
        o[2] = p[2];
      }
      for (int x = inner1; x < w; ++x) pixel(x);
    } else {
      for (int x = 0; x < w; ++x) pixel(x);
    }
    SetRandomSeed(seed);
    if (!Report(progress, Percent(y, h - 1))) return false;
  }
  return true;
}

namespace {

// The source of a distortion: size and row addresses.
struct TSampleSource {
  int w, h;
  std::vector<const uint8_t*> rows;
  const uint8_t* last;  // the last pixel, the only one without a fourth byte after it
  const uint8_t* bits;  // rows at a distance of stride bytes
  int64_t stride;
  explicit TSampleSource(const QImage& img)
      : w(img.width()), h(img.height()), rows(h), bits(img.constBits()), stride(img.bytesPerLine())
  {
    for (int y = 0; y < h; ++y) rows[y] = img.constScanLine(y);
    last = rows[h - 1] + 3 * (w - 1);
  }
};

// The common case without wrap-around: 0 ≤ s and trunc(s) < size − 1 (the
// first test is false for a NaN; below 2^24 the truncation fits an int).
inline TAxisSample AxisOf(float s, int size)
{
  if (s >= 0.0f && s < 16777216.0f) {
    const int i = int(s);
    if (i < size - 1) {
      const float f = s - float(i);
      return {i, i + 1, 1.0f - f, f};
    }
  }
  return SampleAxis(s, size);
}

// Nearest integer with ties to even of a sum in 0 … 2^23 (adding and taking
// away 2^23 leaves no fraction bits), as a byte.
inline uint8_t RoundToByte(float sum)
{
  const float v = (sum + 8388608.0f) - 8388608.0f;
  return uint8_t(int(std::min(v, 255.0f)));
}

// Writes blue, green, red to out; with kSpare a fourth byte after them too
// (for buffers where that byte is written later or is spare).
template <bool kSpare = false>
inline void Sample(const TSampleSource& src, float sx, float sy, uint8_t* out)
{
  const TAxisSample ax = AxisOf(sx, src.w);
  const TAxisSample ay = AxisOf(sy, src.h);
  const uint8_t* r0 = src.rows[ay.first];
  const uint8_t* r1 = src.rows[ay.second];
  const uint8_t* p0 = r0 + 3 * ax.first;
  const uint8_t* p1 = r0 + 3 * ax.second;
  const uint8_t* p2 = r1 + 3 * ax.first;
  const uint8_t* p3 = r1 + 3 * ax.second;
#ifdef __SSE2__
  // The three channels side by side, with the same operations per channel.
  const __m128 k = _mm_mul_ps(_mm_setr_ps(ax.w0, ax.w1, ax.w0, ax.w1),
                              _mm_setr_ps(ay.w0, ay.w0, ay.w1, ay.w1));
  const __m128i zero = _mm_setzero_si128();
  auto channels = [&](const uint8_t* q) {
    // The fourth byte (the next pixel's or padding) lands in the unused lane.
    uint32_t v;
    if (q != src.last) std::memcpy(&v, q, 4);
    else v = uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16;
    const __m128i b = _mm_cvtsi32_si128(int(v));
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(b, zero), zero));
  };
  __m128 sum = _mm_mul_ps(channels(p0), _mm_shuffle_ps(k, k, 0x00));
  sum = _mm_add_ps(sum, _mm_mul_ps(channels(p1), _mm_shuffle_ps(k, k, 0x55)));
  sum = _mm_add_ps(sum, _mm_mul_ps(channels(p2), _mm_shuffle_ps(k, k, 0xAA)));
  sum = _mm_add_ps(sum, _mm_mul_ps(channels(p3), _mm_shuffle_ps(k, k, 0xFF)));
  const __m128 magic = _mm_set1_ps(8388608.0f);
  const __m128 rounded = _mm_min_ps(_mm_sub_ps(_mm_add_ps(sum, magic), magic), _mm_set1_ps(255.0f));
  __m128i bytes = _mm_cvttps_epi32(rounded);
  bytes = _mm_packus_epi16(_mm_packs_epi32(bytes, bytes), bytes);
  const uint32_t packed = uint32_t(_mm_cvtsi128_si32(bytes));
  if constexpr (kSpare) {
    std::memcpy(out, &packed, 4);
  } else {
    out[0] = uint8_t(packed);
    out[1] = uint8_t(packed >> 8);
    out[2] = uint8_t(packed >> 16);
  }
#else
  const float k0 = ax.w0 * ay.w0, k1 = ax.w1 * ay.w0, k2 = ax.w0 * ay.w1, k3 = ax.w1 * ay.w1;
  // Every term is at least +0, so the sum may start with the first one.
  for (int c = 0; c < 3; ++c) {
    float sum = float(p0[c]) * k0;
    sum += float(p1[c]) * k1;
    sum += float(p2[c]) * k2;
    sum += float(p3[c]) * k3;
    out[c] = RoundToByte(sum);
  }
#endif
}

// One axis of eight sample points with AVX2, as SampleAxis does it, for
// points within 2^24 of the origin: the truncation, the two weights (swapped
// below 0) and the wrapped positions of the two neighbours.
struct TAxis8 {
  __m256i first, second;
  __m256 w0, w1;
};

__attribute__((target("avx2"))) inline TAxis8 Axis8(__m256 s, int size)
{
  const __m256i t = _mm256_cvttps_epi32(s);
  const __m256 tf = _mm256_cvtepi32_ps(t);
  const __m256 negative = _mm256_cmp_ps(s, _mm256_setzero_ps(), _CMP_LT_OQ);
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 f = _mm256_blendv_ps(_mm256_sub_ps(s, tf), _mm256_sub_ps(tf, s), negative);
  const __m256 g = _mm256_sub_ps(one, f);
  TAxis8 a;
  a.w0 = _mm256_blendv_ps(g, f, negative);
  a.w1 = _mm256_blendv_ps(f, g, negative);
  // The wrap: t mod size for t ≥ 0, size − 1 − ((−t) mod size) for t < 0,
  // which is (t − 1) mod size, both in 0 … size − 1. Below 2^24 the single
  // precision quotient is off by at most one, which the corrections take back.
  const __m256i zero = _mm256_setzero_si256(), vsize = _mm256_set1_epi32(size);
  const __m256i u = _mm256_add_epi32(t, _mm256_cmpgt_epi32(zero, t));
  const __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(u), _mm256_set1_ps(float(size))));
  __m256i m = _mm256_sub_epi32(u, _mm256_mullo_epi32(q, vsize));
  m = _mm256_add_epi32(m, _mm256_and_si256(_mm256_cmpgt_epi32(zero, m), vsize));
  m = _mm256_sub_epi32(m, _mm256_andnot_si256(_mm256_cmpgt_epi32(vsize, m), vsize));
  a.first = m;
  const __m256i next = _mm256_add_epi32(m, _mm256_set1_epi32(1));
  a.second = _mm256_andnot_si256(_mm256_cmpeq_epi32(next, vsize), next);
  return a;
}

// Eight samples at once with AVX2, with the same single-precision operations
// in the same order as Sample. Writes four bytes per pixel like
// Sample<true>; false, with nothing written, when a point lies 2^24 or more
// from the origin (or is not a number) and needs the general path.
__attribute__((target("avx2"))) bool Sample8(const TSampleSource& src, const float* sx,
                                             const float* sy, uint8_t* out)
{
  const __m256 vx = _mm256_loadu_ps(sx), vy = _mm256_loadu_ps(sy);
  const __m256 limit = _mm256_set1_ps(16777216.0f);
  const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
  const __m256 near = _mm256_and_ps(_mm256_cmp_ps(_mm256_and_ps(vx, absMask), limit, _CMP_LT_OQ),
                                    _mm256_cmp_ps(_mm256_and_ps(vy, absMask), limit, _CMP_LT_OQ));
  if (_mm256_movemask_ps(near) != 0xFF) return false;
  const TAxis8 ax = Axis8(vx, src.w), ay = Axis8(vy, src.h);

  const __m256i stride = _mm256_set1_epi32(int(src.stride)), three = _mm256_set1_epi32(3);
  const __m256i row0 = _mm256_mullo_epi32(ay.first, stride), row1 = _mm256_mullo_epi32(ay.second, stride);
  const __m256i col0 = _mm256_mullo_epi32(ax.first, three), col1 = _mm256_mullo_epi32(ax.second, three);
  __m256i at[4] = {_mm256_add_epi32(row0, col0), _mm256_add_epi32(row0, col1), _mm256_add_epi32(row1, col0),
                   _mm256_add_epi32(row1, col1)};
  // The last pixel has no fourth byte after it: it is read from one byte
  // earlier and shifted down.
  const __m256i lastPixel = _mm256_set1_epi32(int(src.last - src.bits));
  const int* base = reinterpret_cast<const int*>(src.bits);
  const __m256 k[4] = {_mm256_mul_ps(ax.w0, ay.w0), _mm256_mul_ps(ax.w1, ay.w0), _mm256_mul_ps(ax.w0, ay.w1),
                       _mm256_mul_ps(ax.w1, ay.w1)};
  __m256i p[4];
  for (int i = 0; i < 4; ++i) {
    const __m256i isLast = _mm256_cmpeq_epi32(at[i], lastPixel);
    const __m256i word = _mm256_i32gather_epi32(base, _mm256_add_epi32(at[i], isLast), 1);
    p[i] = _mm256_blendv_epi8(word, _mm256_srli_epi32(word, 8), isLast);
  }
  const __m256i byte = _mm256_set1_epi32(0xFF);
  const __m256 magic = _mm256_set1_ps(8388608.0f), top = _mm256_set1_ps(255.0f);
  __m256i packed = _mm256_setzero_si256();
  for (int c = 0; c < 3; ++c) {
    __m256 v[4];
    for (int i = 0; i < 4; ++i) v[i] = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(p[i], 8 * c), byte));
    __m256 sum = _mm256_mul_ps(v[0], k[0]);
    sum = _mm256_add_ps(sum, _mm256_mul_ps(v[1], k[1]));
    sum = _mm256_add_ps(sum, _mm256_mul_ps(v[2], k[2]));
    sum = _mm256_add_ps(sum, _mm256_mul_ps(v[3], k[3]));
    const __m256 rounded = _mm256_min_ps(_mm256_sub_ps(_mm256_add_ps(sum, magic), magic), top);
    packed = _mm256_or_si256(packed, _mm256_slli_epi32(_mm256_cvttps_epi32(rounded), 8 * c));
  }
  alignas(32) uint32_t words[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(words), packed);
  for (int i = 0; i < 8; ++i) std::memcpy(out + 3 * i, &words[i], 4);
  return true;
}

}  // namespace

void BilinearSample(const QImage& source, float sx, float sy, uint8_t out[3])
{
  Sample(TSampleSource(source), sx, sy, out);
}

namespace {

// Starts loading the two source rows around (sx, sy) into the cache; a
// point outside the picture is clamped, which is near enough for a hint.
inline void PrefetchSample(const TSampleSource& src, float sx, float sy)
{
  const int ix = std::clamp(_mm_cvttss_si32(_mm_set_ss(sx)), 0, src.w - 1);
  const int iy = std::clamp(_mm_cvttss_si32(_mm_set_ss(sy)), 0, src.h - 1);
  _mm_prefetch(reinterpret_cast<const char*>(src.rows[iy] + 3 * ix), _MM_HINT_T0);
  _mm_prefetch(reinterpret_cast<const char*>(src.rows[std::min(iy + 1, src.h - 1)] + 3 * ix), _MM_HINT_T0);
}

// Fills destination from bilinear samples of source at the points that
// coords(y, x0, x1, sx, sy) gives for columns x0 … x1 − 1 of row y
// (sx[i], sy[i] for column x0 + i). A distortion reads the source along
// curves that cross many rows, so the work goes in bands of rows and, within
// a band, in narrow tiles that touch far fewer source rows and pages than a
// whole row; the points of a tile are worked out first, so that the reads of
// the samples a few points ahead can be started while one is being summed.
// Each finished band is copied out row by row with its progress, so a stop
// leaves the rows below the reported one untouched.
template <typename TCoords>
bool Remap(const QImage& source, QImage& destination, const TEffectProgress& progress,
           const TCoords& coords)
{
  const int w = destination.width(), h = destination.height();
  constexpr int kBand = 256, kTile = 32, kAhead = 64;
  const size_t n = size_t(w) * 3;
  const TSampleSource sampled(source);
  // Offsets of the eight-sample version must fit 32 bits.
  const bool eight = UseAvx2() && sampled.stride * sampled.h < (int64_t(1) << 31);
  uint8_t* bits = destination.bits();
  const qsizetype bytesPerLine = destination.bytesPerLine();
  // Bands of rows may run on several threads, each with its own buffers.
  return RunBands(h, int64_t(w) * h, progress, [&](int first, int end, const TRowDone& rowDone) {
    // Rows of the band with a spare byte each: every sample writes four bytes.
    const size_t stride = n + 1;
    std::vector<uint8_t> band(size_t(std::min(kBand, end - first)) * stride);
    std::vector<float> sx(size_t(kBand) * kTile), sy(size_t(kBand) * kTile);
    for (int y0 = first; y0 < end; y0 += kBand) {
      const int y1 = std::min(y0 + kBand, end);
      for (int x0 = 0; x0 < w; x0 += kTile) {
        const int x1 = std::min(x0 + kTile, w), tw = x1 - x0;
        for (int y = y0; y < y1; ++y) coords(y, x0, x1, &sx[size_t(y - y0) * tw], &sy[size_t(y - y0) * tw]);
        const int count = (y1 - y0) * tw;
        for (int i = 0; i < std::min(kAhead, count); ++i) PrefetchSample(sampled, sx[i], sy[i]);
        for (int y = y0, i = 0; y < y1; ++y) {
          uint8_t* out = band.data() + size_t(y - y0) * stride + size_t(x0) * 3;
          int x = 0;
          if (eight) {
            for (; x + 8 <= tw; x += 8, i += 8) {
              if (i + kAhead + 8 <= count)
                for (int j = 0; j < 8; ++j) PrefetchSample(sampled, sx[i + kAhead + j], sy[i + kAhead + j]);
              if (!Sample8(sampled, &sx[i], &sy[i], out + 3 * x))
                for (int j = 0; j < 8; ++j) Sample<true>(sampled, sx[i + j], sy[i + j], out + 3 * (x + j));
            }
          }
          for (; x < tw; ++x, ++i) {
            if (i + kAhead < count) PrefetchSample(sampled, sx[i + kAhead], sy[i + kAhead]);
            Sample<true>(sampled, sx[i], sy[i], out + 3 * x);
          }
        }
      }
      for (int y = y0; y < y1; ++y) {
        std::memcpy(bits + y * bytesPerLine, band.data() + size_t(y - y0) * stride, n);
        if (!rowDone(y)) return false;
      }
    }
    return true;
  });
}

}  // namespace

bool Fisheye(const QImage& source, QImage& destination, long double scale,
             const TEffectProgress& progress)
{
  if (source.isNull()) return true;
  if (source.format() != QImage::Format_BGR888)
    return Fisheye(source.convertToFormat(QImage::Format_BGR888), destination, scale, progress);
  if (!Prepare(destination) || destination.size() != source.size()) return true;
  const int w = destination.width();
  const float cx = float(source.width()) / 2.0f, cy = float(source.height()) / 2.0f;
  const float R = float(scale * w);
  const float halfR = R / 2.0f;
  std::vector<float> colDx(w), colDx2(w);
  for (int x = 0; x < w; ++x) {
    colDx[x] = float(x) - cx;
    colDx2[x] = colDx[x] * colDx[x];
  }
  auto coords = [&](int y, int x0, int x1, float* sxs, float* sys) {
    const float dy = float(y) - cy, dy2 = dy * dy;
    int x = x0;
#ifdef __SSE2__
    // Four columns at a time with the same single-precision operations.
    const __m128 vdy = _mm_set1_ps(dy), vdy2 = _mm_set1_ps(dy2), vR = _mm_set1_ps(R),
                 vHalfR = _mm_set1_ps(halfR), one = _mm_set1_ps(1.0f), vcx = _mm_set1_ps(cx),
                 vcy = _mm_set1_ps(cy), zero = _mm_setzero_ps();
    for (; x + 4 <= x1; x += 4) {
      const __m128 dx = _mm_loadu_ps(&colDx[x]);
      const __m128 r = _mm_sqrt_ps(_mm_add_ps(_mm_loadu_ps(&colDx2[x]), vdy2));
      const __m128 k = _mm_mul_ps(
          _mm_sub_ps(_mm_div_ps(one, _mm_sub_ps(one, _mm_div_ps(r, vR))), one), vHalfR);
      const __m128 sx = _mm_add_ps(vcx, _mm_div_ps(_mm_mul_ps(dx, k), r));
      const __m128 sy = _mm_add_ps(vcy, _mm_div_ps(_mm_mul_ps(vdy, k), r));
      const __m128 centre = _mm_cmpeq_ps(r, zero);
      _mm_storeu_ps(sxs + (x - x0), _mm_or_ps(_mm_and_ps(centre, vcx), _mm_andnot_ps(centre, sx)));
      _mm_storeu_ps(sys + (x - x0), _mm_or_ps(_mm_and_ps(centre, vcy), _mm_andnot_ps(centre, sy)));
    }
#endif
    for (; x < x1; ++x) {
      const float dx = colDx[x];
      const float r = std::sqrt(colDx2[x] + dy2);
      float sx = cx, sy = cy;
      if (r != 0.0f) {
        // At r = R this divides by zero; the sampler takes the resulting
        // infinite or undefined coordinates as 0.
        const float k = (1.0f / (1.0f - r / R) - 1.0f) * halfR;
        sx = cx + dx * k / r;
        sy = cy + dy * k / r;
      }
      sxs[x - x0] = sx;
      sys[x - x0] = sy;
    }
  };
  return Remap(source, destination, progress, coords);
}

namespace {

inline float Angle(float dx, float dy)
{
  if (dx == 0.0f) return dy > 0.0f ? kHalfPi : -kHalfPi;
  const float a = std::atan(dy / dx);
  return dx < 0.0f ? a + kPi : a;
}

}  // namespace

float AngleOf(float dx, float dy)
{
  return Angle(dx, dy);
}

bool Twist(const QImage& source, QImage& destination, int level, const TEffectProgress& progress)
{
  if (source.isNull()) return true;
  if (source.format() != QImage::Format_BGR888)
    return Twist(source.convertToFormat(QImage::Format_BGR888), destination, level, progress);
  if (!Prepare(destination) || destination.size() != source.size()) return true;
  const int w = destination.width(), h = destination.height();
  const float cx = float(w - 1) / 2.0f, cy = float(h - 1) / 2.0f;
  const float K = float(level);
  std::vector<float> colDx(w), colDx2(w);
  for (int x = 0; x < w; ++x) {
    colDx[x] = float(x) - cx;
    colDx2[x] = colDx[x] * colDx[x];
  }
  // The arithmetic runs four columns at a time with the same single-precision
  // operations; only the arctangent and the sine and cosine are called one
  // by one. The angle atan(dy / dx), plus π when dx < 0, needs no test for
  // dx = 0: dy / 0 is ±∞, whose arctangent is ±π/2 as wanted (dy = 0 there
  // is the centre, whose point is the centre itself).
  constexpr int kChunk = 64;
  auto coords = [&](int y, int x0, int x1, float* sxs, float* sys) {
    alignas(16) float ratio[kChunk], turn[kChunk], cosine[kChunk], sine[kChunk];
    const float dy = float(y) - cy, dy2 = dy * dy;
    const __m128 vdy = _mm_set1_ps(dy), vdy2 = _mm_set1_ps(dy2), vK = _mm_set1_ps(K),
                 vHalfPi = _mm_set1_ps(kHalfPi), vPi = _mm_set1_ps(kPi), vcx = _mm_set1_ps(cx),
                 vcy = _mm_set1_ps(cy), zero = _mm_setzero_ps();
    for (int c0 = x0; c0 < x1; c0 += kChunk) {
      const int n = std::min(kChunk, x1 - c0), n4 = (n + 3) & ~3;
      // Columns past n repeat the last one, so whole groups of four stay
      // defined; their results are not stored.
      auto load = [&](const std::vector<float>& v, int i) {
        alignas(16) float f[4];
        for (int j = 0; j < 4; ++j) f[j] = v[size_t(c0 + std::min(i + j, n - 1))];
        return _mm_load_ps(f);
      };
      for (int i = 0; i < n4; i += 4) _mm_store_ps(ratio + i, _mm_div_ps(vdy, load(colDx, i)));
      for (int i = 0; i < n; ++i) ratio[i] = std::atan(ratio[i]);
      for (int i = 0; i < n4; i += 4) {
        const __m128 dx = load(colDx, i);
        const __m128 r = _mm_sqrt_ps(_mm_add_ps(load(colDx2, i), vdy2));
        const __m128 angle = _mm_add_ps(_mm_load_ps(ratio + i), _mm_and_ps(_mm_cmplt_ps(dx, zero), vPi));
        _mm_store_ps(turn + i, _mm_add_ps(_mm_sub_ps(angle, _mm_div_ps(r, vK)), vHalfPi));
      }
      for (int i = 0; i < n; ++i) {
        cosine[i] = std::cos(turn[i]);
        sine[i] = std::sin(turn[i]);
      }
      for (int i = 0; i < n4; i += 4) {
        const __m128 r = _mm_sqrt_ps(_mm_add_ps(load(colDx2, i), vdy2));
        const __m128 centre = _mm_cmpeq_ps(r, zero);
        const __m128 u = _mm_andnot_ps(centre, _mm_mul_ps(r, _mm_load_ps(cosine + i)));
        const __m128 v = _mm_andnot_ps(centre, _mm_mul_ps(r, _mm_load_ps(sine + i)));
        alignas(16) float px[4], py[4];
        _mm_store_ps(px, _mm_add_ps(u, vcx));
        _mm_store_ps(py, _mm_add_ps(v, vcy));
        for (int j = 0; j < 4 && i + j < n; ++j) {
          sxs[c0 - x0 + i + j] = px[j];
          sys[c0 - x0 + i + j] = py[j];
        }
      }
    }
  };
  return Remap(source, destination, progress, coords);
}
