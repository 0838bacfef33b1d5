// Megapixels per second of every image effect on a 4000 × 3000 picture, one
// thread. The picture is photo-like: smooth gradients with grain, so that the
// rank filters see realistic value distributions. The time of an iteration is
// the processor time of the effect alone (not the copy of the picture), which
// stays meaningful on a busy machine. The AllCores runs let the effects that
// split the picture into bands use every processor; their time is the
// elapsed time.
#include <benchmark/benchmark.h>

#include "BenchPicture.h"
#include "canvas/Functions.h"
#include "imageeditor/effects/EffectSupport.h"
#include "imageeditor/effects/Effects.h"

#include <QImage>

#include <emmintrin.h>

#include <cmath>
#include <chrono>
#include <ctime>
#include <functional>
#include <random>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// One band, on the benchmark's thread, unless a run asks for all cores.
const bool kOneThread = (effects_detail::bandsOverride = 1, true);

const QImage& Picture()
{
  static const QImage picture = PhotoLikePicture(kWidth, kHeight, 42);
  return picture;
}

void Run(benchmark::State& state, const std::function<void(QImage&)>& effect)
{
  const QImage& src = Picture();
  for (auto _ : state) {
    QImage img = src.copy();
    const std::clock_t start = std::clock();
    effect(img);
    state.SetIterationTime(double(std::clock() - start) / CLOCKS_PER_SEC);
    benchmark::DoNotOptimize(img.constBits());
  }
  state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * double(state.iterations()),
                                              benchmark::Counter::kIsRate);
}

// The distortions write into a destination the caller supplies as a copy of
// the picture; that copy is not timed either.
void Distort(benchmark::State& state, bool twist)
{
  const QImage& src = Picture();
  for (auto _ : state) {
    QImage dst = src.copy();
    const std::clock_t start = std::clock();
    if (twist) Twist(src, dst, 100);
    else Fisheye(src, dst, (100 - 10) * 0.007L + 0.66L);
    state.SetIterationTime(double(std::clock() - start) / CLOCKS_PER_SEC);
    benchmark::DoNotOptimize(dst.constBits());
  }
  state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * double(state.iterations()),
                                              benchmark::Counter::kIsRate);
}

// Elapsed time with one band per processor.
void AllCores(benchmark::State& state, const std::function<void(QImage&)>& effect)
{
  const QImage& src = Picture();
  effects_detail::bandsOverride = 0;
  double cpu = 0;
  for (auto _ : state) {
    QImage img = src.copy();
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    effect(img);
    cpu += double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    benchmark::DoNotOptimize(img.constBits());
  }
  effects_detail::bandsOverride = 1;
  // Processor seconds of all threads together, per run: the work the bands
  // add over one thread.
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
  state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 * double(state.iterations()),
                                              benchmark::Counter::kIsRate);
}

#define EFFECT(name, body)                                                    \
  void BM_##name(benchmark::State& state) { Run(state, [](QImage& img) { body; }); } \
  BENCHMARK(BM_##name)->Unit(benchmark::kMillisecond)->UseManualTime()

EFFECT(BrightnessContrast, AdjustColors(img, 20, 20, 20, 30, 30, 30, false, false, false, false, false, 0, 0, kWidth, kHeight));
EFFECT(ColorNegative, AdjustColors(img, 5, -5, 9, 0, 0, 0, false, true, false, false, false, 0, 0, kWidth, kHeight));
EFFECT(Saturation, AdjustSaturation(img, 150));
EFFECT(Threshold, ApplyThreshold(img, 128));
EFFECT(Solarize, Solarize(img));
EFFECT(AddNoise, AddNoise(img, 80, false));
EFFECT(AddNoiseColored, AddNoise(img, 80, true));
EFFECT(SharpenHorizontal, SharpenLine(img, 1));
EFFECT(SharpenVertical, SharpenLine(img, 2));
EFFECT(Smooth3x3, Smooth3x3(img, 2));
EFFECT(Sharpen3x3, Sharpen3x3(img, 2));
EFFECT(Minimum3, RankFilter(img, 3, 3, rkMinimum));
EFFECT(Minimum32, RankFilter(img, 32, 32, rkMinimum));
EFFECT(Maximum32, RankFilter(img, 32, 32, rkMaximum));
EFFECT(Middle3, RankFilter(img, 3, 3, rkMedian));
EFFECT(Middle4, RankFilter(img, 4, 4, rkMedian));
EFFECT(Middle32, RankFilter(img, 32, 32, rkMedian));
EFFECT(Emboss, Emboss(img, 4, 1));
EFFECT(Sketch, EdgeSketch(img, false));
EFFECT(Crayon, EdgeSketch(img, true));
EFFECT(MotionBlur32Right, MotionBlur(img, 32, 4));
EFFECT(MotionBlur32DownRight, MotionBlur(img, 32, 5));
EFFECT(Mosaic10, Mosaic(img, 10, 10));
EFFECT(Grid3D10, Grid3D(img, 10, 10, 64, 64));
EFFECT(Splash10, Splash(img, 10));
#define ALL_CORES(name, body)                                                      \
  void BM_##name##AllCores(benchmark::State& state) { AllCores(state, [](QImage& img) { body; }); } \
  BENCHMARK(BM_##name##AllCores)->Unit(benchmark::kMillisecond)->UseManualTime()

ALL_CORES(Middle3, RankFilter(img, 3, 3, rkMedian));
ALL_CORES(Middle32, RankFilter(img, 32, 32, rkMedian));
// The destination is made once, outside the timed runs, as in BM_Twist.
ALL_CORES(Twist, static QImage dst = img.copy(); Twist(img, dst, 100));
void BM_Fisheye(benchmark::State& state) { Distort(state, false); }
BENCHMARK(BM_Fisheye)->Unit(benchmark::kMillisecond)->UseManualTime();
void BM_Twist(benchmark::State& state) { Distort(state, true); }
BENCHMARK(BM_Twist)->Unit(benchmark::kMillisecond)->UseManualTime();

// The share of the twist that its exact angles take: the arctangent, sine
// and cosine of every pixel of the picture in single precision from the
// system's mathematics library, as Twist computes them, against a faster
// formulation with polynomials four pixels at a time (about 1e-7 off, so not
// the same pixels). Twist's time less the first plus the second is what a
// twist with polynomial angles would take; bench/effects_compare.sh prints it.
struct TAngleSums {
  float u = 0, v = 0;
};

TAngleSums ExactAngles(int level)
{
  const float cx = (kWidth - 1) / 2.0f, cy = (kHeight - 1) / 2.0f, K = float(level);
  TAngleSums sums;
  for (int y = 0; y < kHeight; ++y) {
    const float dy = float(y) - cy;
    for (int x = 0; x < kWidth; ++x) {
      const float dx = float(x) - cx, r = std::sqrt(dx * dx + dy * dy);
      const float angle = std::atan(dy / dx) + (dx < 0.0f ? 3.1415927f : 0.0f);
      const float theta = angle - r / K + 1.5707964f;
      sums.u += std::cos(theta);
      sums.v += std::sin(theta);
    }
  }
  return sums;
}

TAngleSums PolynomialAngles(int level)
{
  const float cx = (kWidth - 1) / 2.0f, cy = (kHeight - 1) / 2.0f;
  const __m128 vK = _mm_set1_ps(float(level)), one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
  const __m128 sign = _mm_set1_ps(-0.0f), quarter = _mm_set1_ps(0.78539816f), half = _mm_set1_ps(1.5707964f);
  const __m128 tan8 = _mm_set1_ps(0.41421356f), pi = _mm_set1_ps(3.1415927f);
  __m128 su = zero, sv = zero;
  for (int y = 0; y < kHeight; ++y) {
    const __m128 dy = _mm_set1_ps(float(y) - cy);
    for (int x = 0; x < kWidth; x += 4) {
      const __m128 dx = _mm_sub_ps(_mm_setr_ps(float(x), float(x + 1), float(x + 2), float(x + 3)), _mm_set1_ps(cx));
      const __m128 r = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)));
      // atan(dy / dx): |q| reduced to [0, tan π/8] around 0, π/4 or π/2.
      const __m128 q = _mm_div_ps(dy, dx), a = _mm_andnot_ps(sign, q);
      const __m128 big = _mm_cmpgt_ps(a, _mm_set1_ps(2.4142137f)), mid = _mm_andnot_ps(big, _mm_cmpgt_ps(a, tan8));
      __m128 z = _mm_or_ps(_mm_and_ps(big, _mm_div_ps(_mm_set1_ps(-1.0f), a)),
                           _mm_andnot_ps(big, _mm_or_ps(_mm_and_ps(mid, _mm_div_ps(_mm_sub_ps(a, one), _mm_add_ps(a, one))),
                                                        _mm_andnot_ps(mid, a))));
      const __m128 base = _mm_or_ps(_mm_and_ps(big, half), _mm_and_ps(mid, quarter));
      const __m128 z2 = _mm_mul_ps(z, z);
      __m128 p = _mm_set1_ps(8.05374449538e-2f);
      p = _mm_add_ps(_mm_mul_ps(p, z2), _mm_set1_ps(-1.38776856032e-1f));
      p = _mm_add_ps(_mm_mul_ps(p, z2), _mm_set1_ps(1.99777106478e-1f));
      p = _mm_add_ps(_mm_mul_ps(p, z2), _mm_set1_ps(-3.33329491539e-1f));
      z = _mm_add_ps(base, _mm_add_ps(_mm_mul_ps(_mm_mul_ps(p, z2), z), z));
      __m128 angle = _mm_or_ps(z, _mm_and_ps(q, sign));
      angle = _mm_add_ps(angle, _mm_and_ps(_mm_cmplt_ps(dx, zero), pi));
      const __m128 theta = _mm_add_ps(_mm_sub_ps(angle, _mm_div_ps(r, vK)), half);
      // sin and cos: θ less the nearest multiple of π/2, then the quadrant.
      const __m128i j = _mm_cvtps_epi32(_mm_mul_ps(theta, _mm_set1_ps(0.63661977f)));
      const __m128 jf = _mm_cvtepi32_ps(j);
      __m128 t = _mm_sub_ps(theta, _mm_mul_ps(jf, _mm_set1_ps(1.5703125f)));
      t = _mm_sub_ps(t, _mm_mul_ps(jf, _mm_set1_ps(4.8382679e-4f)));
      const __m128 t2 = _mm_mul_ps(t, t);
      __m128 s = _mm_set1_ps(-1.9515295891e-4f);
      s = _mm_add_ps(_mm_mul_ps(s, t2), _mm_set1_ps(8.3321608736e-3f));
      s = _mm_add_ps(_mm_mul_ps(s, t2), _mm_set1_ps(-1.6666654611e-1f));
      s = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(s, t2), t), t);
      __m128 c = _mm_set1_ps(2.443315711809948e-5f);
      c = _mm_add_ps(_mm_mul_ps(c, t2), _mm_set1_ps(-1.388731625493765e-3f));
      c = _mm_add_ps(_mm_mul_ps(c, t2), _mm_set1_ps(4.166664568298827e-2f));
      c = _mm_add_ps(_mm_sub_ps(_mm_mul_ps(_mm_mul_ps(c, t2), t2), _mm_mul_ps(_mm_set1_ps(0.5f), t2)), one);
      const __m128i odd = _mm_cmpeq_epi32(_mm_and_si128(j, _mm_set1_epi32(1)), _mm_set1_epi32(1));
      const __m128 swap = _mm_castsi128_ps(odd);
      __m128 sn = _mm_or_ps(_mm_and_ps(swap, c), _mm_andnot_ps(swap, s));
      __m128 cs = _mm_or_ps(_mm_and_ps(swap, s), _mm_andnot_ps(swap, c));
      const __m128i q2 = _mm_and_si128(j, _mm_set1_epi32(2)), q13 = _mm_add_epi32(j, _mm_set1_epi32(1));
      sn = _mm_xor_ps(sn, _mm_castsi128_ps(_mm_slli_epi32(q2, 30)));
      cs = _mm_xor_ps(cs, _mm_castsi128_ps(_mm_slli_epi32(_mm_and_si128(q13, _mm_set1_epi32(2)), 30)));
      su = _mm_add_ps(su, cs);
      sv = _mm_add_ps(sv, sn);
    }
  }
  alignas(16) float u[4], v[4];
  _mm_store_ps(u, su);
  _mm_store_ps(v, sv);
  return {u[0] + u[1] + u[2] + u[3], v[0] + v[1] + v[2] + v[3]};
}

void Angles(benchmark::State& state, bool exact)
{
  for (auto _ : state) {
    const std::clock_t start = std::clock();
    const TAngleSums sums = exact ? ExactAngles(100) : PolynomialAngles(100);
    state.SetIterationTime(double(std::clock() - start) / CLOCKS_PER_SEC);
    benchmark::DoNotOptimize(sums);
  }
}
void BM_TwistAnglesExact(benchmark::State& state) { Angles(state, true); }
BENCHMARK(BM_TwistAnglesExact)->Unit(benchmark::kMillisecond)->UseManualTime();
void BM_TwistAnglesPolynomial(benchmark::State& state) { Angles(state, false); }
BENCHMARK(BM_TwistAnglesPolynomial)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
