// Megapixels per second of the composition helpers on a 4000 × 3000 bitmap.
#include "canvas/Functions.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int W = 4000, H = 3000;

QImage Random(uint32_t seed)
{
  QImage img(W, H, QImage::Format_BGR888);
  std::mt19937 gen(seed);
  for (int y = 0; y < H; ++y) {
    uint8_t* row = img.scanLine(y);
    for (int x = 0; x < W * 3; ++x) row[x] = uint8_t(gen());
  }
  return img;
}

void Report(benchmark::State& state)
{
  state.counters["MP/s"] = benchmark::Counter(double(W) * H / 1e6 * double(state.iterations()),
                                              benchmark::Counter::kIsRate);
}

void BM_BlendBitmapWithMask(benchmark::State& state)
{
  QImage dest = Random(1);
  const QImage src = Random(2), mask = Random(3);
  for (auto _ : state) {
    BlendBitmap(dest, src, &mask, 0, 0, 0, false);
    benchmark::DoNotOptimize(dest.constBits());
  }
  Report(state);
}

void BM_Smooth3x3(benchmark::State& state)
{
  QImage img = Random(4);
  for (auto _ : state) {
    Smooth3x3(img, int(state.range(0)));
    benchmark::DoNotOptimize(img.constBits());
  }
  Report(state);
}

void BM_Sharpen3x3(benchmark::State& state)
{
  QImage img = Random(5);
  for (auto _ : state) {
    Sharpen3x3(img, int(state.range(0)));
    benchmark::DoNotOptimize(img.constBits());
  }
  Report(state);
}

void BM_DiagonalBlurPasses(benchmark::State& state)
{
  QImage img = Random(6);
  for (auto _ : state) {
    DiagonalBlurPasses(img, int(state.range(0)));
    benchmark::DoNotOptimize(img.constBits());
  }
  Report(state);
}

}  // namespace

BENCHMARK(BM_BlendBitmapWithMask)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Smooth3x3)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen3x3)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiagonalBlurPasses)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
