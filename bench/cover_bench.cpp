// The cover's live-preview and print paths: composing 10 layers, re-rendering
// a text or track list (one update plus compose, as an editor change does),
// and the 940 × 940 print cover.
#include "canvas/CoverDocument.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <random>

namespace {

QTemporaryDir& Dir()
{
  static QTemporaryDir dir;
  return dir;
}

QString Photo(int w, int h, uint32_t seed)
{
  const QString path = Dir().path() + QStringLiteral("/photo%1.bmp").arg(seed);
  if (!QFile::exists(path)) {
    QImage img(w, h, QImage::Format_BGR888);
    std::mt19937 gen(seed);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w * 3; ++x) img.scanLine(y)[x] = uint8_t((x + y + int(gen() % 32)) & 0xFF);
    img.save(path, "BMP");
  }
  return path;
}

QStringList Tracks(int n)
{
  QStringList t;
  for (int i = 1; i <= n; ++i) t << QStringLiteral("Track %1 of the album|||%2:%3").arg(i).arg(i % 7).arg(i * 7 % 60, 2, 10, QChar('0'));
  return t;
}

// Ten layers of every kind over a gradient.
void Fill(TCoverDocument& doc)
{
  doc.SetWorkFolder(Dir().path() + "/work");
  doc.SetBackground("", imCenter, 0x0000FF, 0xFF0000, true, false);
  for (int i = 0; i < 4; ++i) doc.AddPictureLayer(20 + 40 * i, 20 + 30 * i, Photo(900, 600, uint32_t(i)), 10, 10, 900, 600);
  for (int i = 0; i < 3; ++i)
    doc.AddTextLayer(10 + 30 * i, 200 + 40 * i, "Cover text", "Times New Roman", 0xFFFFFF, fsBold, true, true, 300, 80);
  doc.AddTextLayer(300, 20, "2026", "Times New Roman", 0, 0, false, true, 150, 60);
  doc.AddTracksLayer(200, 150, Tracks(12), "Liberation Sans", 0xFFFFFF, 0, true, true, 0, 250, 300, taLeft);
  doc.AddTracksLayer(10, 300, Tracks(5), "Liberation Sans", 0, 0, false, false, 0, 200, 150, taRight);
}

void BM_Compose10Layers(benchmark::State& state)
{
  TCoverDocument doc;
  Fill(doc);
  for (auto _ : state) {
    doc.Compose();
    benchmark::DoNotOptimize(doc.Cover().constBits());
  }
}

void BM_UpdateTextLayer470SmoothShadow(benchmark::State& state)
{
  TCoverDocument doc;
  Fill(doc);
  doc.AddTextLayer(0, 0, "Jacketeer", "Times New Roman", 0x00FFFF, fsBold, true, true, 470, 470);
  const int n = doc.LayerCount() - 1;
  int i = 0;
  for (auto _ : state) {
    doc.UpdateTextLayer(n, 0, 0, (i++ & 1) ? "Jacketeer" : "Jacketeers", "Times New Roman", 0x00FFFF, fsBold, true,
                        true, 470, 470);
  }
}

void BM_UpdateTracksLayer20(benchmark::State& state)
{
  TCoverDocument doc;
  Fill(doc);
  const QStringList tracks = Tracks(20);
  doc.AddTracksLayer(100, 100, tracks, "Liberation Sans", 0xFFFFFF, 0, true, true, 0, 250, 300, taLeft);
  const int n = doc.LayerCount() - 1;
  int i = 0;
  for (auto _ : state) {
    doc.UpdateTracksLayer(n, 100, 100, tracks, "Liberation Sans", 0xFFFFFF, 0, true, true, 0, 250, 300,
                          uint8_t((i++) % 3));
  }
}

void BM_RenderPrintImage10Layers(benchmark::State& state)
{
  TCoverDocument doc;
  Fill(doc);
  QImage print;
  for (auto _ : state) {
    doc.RenderPrintImage(print);
    benchmark::DoNotOptimize(print.constBits());
  }
}

}  // namespace

BENCHMARK(BM_Compose10Layers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateTextLayer470SmoothShadow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateTracksLayer20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderPrintImage10Layers)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);  // fonts
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
