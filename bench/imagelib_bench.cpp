// Box filter and area-averaging resample on a 4000 × 3000 photograph-sized
// bitmap, the sizes a thumbnail of 138 × 105 meets.
#include "imagelib/ImageLoader.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

QImage Noise(int w, int h)
{
  QImage img(w, h, QImage::Format_BGR888);
  std::mt19937 gen(42);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = img.scanLine(y);
    for (int x = 0; x < 3 * w; ++x) p[x] = uint8_t(gen());
  }
  return img;
}

const QImage& Big()
{
  static const QImage img = Noise(4000, 3000);
  return img;
}

void BM_ShrinkBitmap(benchmark::State& state)
{
  const int factor = int(state.range(0));
  for (auto _ : state) {
    QImage bmp = Big();
    ShrinkBitmap(bmp, factor);
    benchmark::DoNotOptimize(bmp.constBits());
  }
  state.SetItemsProcessed(state.iterations() * 4000 * 3000);
}
BENCHMARK(BM_ShrinkBitmap)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_ResampleBitmap(benchmark::State& state)
{
  const int nw = int(state.range(0)), nh = int(state.range(1));
  for (auto _ : state) {
    QImage dest;
    ResampleBitmap(Big(), dest, nw, nh, 0xFFFFFF);
    benchmark::DoNotOptimize(dest.constBits());
  }
  state.SetItemsProcessed(state.iterations() * 4000 * 3000);
}
BENCHMARK(BM_ResampleBitmap)->Args({138, 105})->Args({940, 705})->Args({4000, 2999})->Unit(benchmark::kMillisecond);

// The thumbnail path of a non-JPEG picture: box filter by 8, then resample.
void BM_ShrinkThenResample(benchmark::State& state)
{
  for (auto _ : state) {
    QImage bmp = Big();
    ShrinkBitmap(bmp, 8);
    QImage dest;
    ResampleBitmap(bmp, dest, 138, 103, 0xFFFFFF);
    benchmark::DoNotOptimize(dest.constBits());
  }
}
BENCHMARK(BM_ShrinkThenResample)->Unit(benchmark::kMillisecond);

// The preview path: rows fed one at a time, upwards as a bottom-up file does.
void BM_RowResamplerBottomUp(benchmark::State& state)
{
  const QImage& src = Big();
  for (auto _ : state) {
    QImage dest;
    TRowResampler rows;
    rows.Begin(dest, 4000, 3000, 470, 352, 0xFFFFFF, true);
    for (int y = 2999; y >= 0; --y) rows.AddRow(y, src.constScanLine(y));
    benchmark::DoNotOptimize(dest.constBits());
  }
}
BENCHMARK(BM_RowResamplerBottomUp)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
