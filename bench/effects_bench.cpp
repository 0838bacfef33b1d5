// Megapixels per second of every image effect on a 4000 × 3000 picture, one
// thread. The picture is photo-like: smooth gradients with grain, so that the
// rank filters see realistic value distributions. The time of an iteration is
// the processor time of the effect alone (not the copy of the picture), which
// stays meaningful on a busy machine.
#include <benchmark/benchmark.h>

#include "BenchPicture.h"
#include "canvas/Functions.h"
#include "imageeditor/effects/Effects.h"

#include <QImage>

#include <ctime>
#include <functional>
#include <random>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

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
EFFECT(Middle32, RankFilter(img, 32, 32, rkMedian));
EFFECT(Emboss, Emboss(img, 4, 1));
EFFECT(Sketch, EdgeSketch(img, false));
EFFECT(Crayon, EdgeSketch(img, true));
EFFECT(MotionBlur32Right, MotionBlur(img, 32, 4));
EFFECT(MotionBlur32DownRight, MotionBlur(img, 32, 5));
EFFECT(Mosaic10, Mosaic(img, 10, 10));
EFFECT(Grid3D10, Grid3D(img, 10, 10, 64, 64));
EFFECT(Splash10, Splash(img, 10));
void BM_Fisheye(benchmark::State& state) { Distort(state, false); }
BENCHMARK(BM_Fisheye)->Unit(benchmark::kMillisecond)->UseManualTime();
void BM_Twist(benchmark::State& state) { Distort(state, true); }
BENCHMARK(BM_Twist)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
