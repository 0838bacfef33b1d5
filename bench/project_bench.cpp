// Saving and opening a project with five picture layers made from
// 4000 × 3000 JPEG photographs (each embedded byte for byte).
#include "canvas/CoverDocument.h"
#include "codecs/Codec.h"
#include "project/ProjectFile.h"
#include "project/WorkFolder.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <random>

namespace {

constexpr int W = 4000, H = 3000, Layers = 5;

// A photograph-like picture: smooth colour fields with a little noise, so
// the JPEG has a realistic size.
QImage Photo(uint32_t seed)
{
  QImage img(W, H, QImage::Format_BGR888);
  std::mt19937 gen(seed);
  for (int y = 0; y < H; ++y) {
    uint8_t* row = img.scanLine(y);
    for (int x = 0; x < W; ++x) {
      const uint32_t n = gen() & 15;
      row[3 * x] = uint8_t((x / 16 + seed * 40) & 0xFF) ^ uint8_t(n);
      row[3 * x + 1] = uint8_t((y / 12) & 0xFF) ^ uint8_t(n);
      row[3 * x + 2] = uint8_t(((x + y) / 28) & 0xFF);
    }
  }
  return img;
}

struct TFixture {
  QTemporaryDir Dir;
  std::unique_ptr<TCoverDocument> Doc;
  QString Project;
  qint64 ProjectSize = 0;

  TFixture()
  {
    QDir(Dir.path()).mkpath("work");
    Doc = std::make_unique<TCoverDocument>();
    Doc->SetWorkFolder(Dir.filePath("work"));
    Doc->NewCover();
    for (int i = 0; i < Layers; ++i) {
      QByteArray jpeg;
      QString error;
      if (!EncodeJpeg(Photo(uint32_t(i + 1)), jpeg, error, 85)) std::fprintf(stderr, "%s\n", qPrintable(error));
      const QString path = Dir.filePath(QString("photo%1.jpg").arg(i));
      QFile f(path);
      if (f.open(QIODevice::WriteOnly)) f.write(jpeg);
      f.close();
      Doc->AddPictureLayer(20 * i, 30 * i, path, 10, 10, W, H);
    }
    Project = Dir.filePath("five.jkp");
    QString error;
    if (!SaveProject(*Doc, Project, error)) std::fprintf(stderr, "%s\n", qPrintable(error));
    ProjectSize = QFile(Project).size();
  }
};

TFixture& Fixture()
{
  static TFixture f;
  return f;
}

void BM_SaveProjectFiveJpegs(benchmark::State& state)
{
  TFixture& f = Fixture();
  const QString out = f.Dir.filePath("save.jkp");
  for (auto _ : state) {
    QString error;
    if (!SaveProject(*f.Doc, out, error)) state.SkipWithError(qPrintable(error));
  }
  state.counters["MB"] = double(f.ProjectSize) / 1e6;
}

void BM_OpenProjectFiveJpegs(benchmark::State& state)
{
  TFixture& f = Fixture();
  for (auto _ : state) {
    TCoverDocument doc;
    doc.SetWorkFolder(f.Dir.filePath("work-open"));
    doc.NewCover();
    QString error;
    if (!LoadProject(doc, f.Project, error)) state.SkipWithError(qPrintable(error));
    if (doc.LayerCount() != Layers + 1) state.SkipWithError("layers missing after opening");
    benchmark::DoNotOptimize(doc.Cover().constBits());
  }
  state.counters["MB"] = double(f.ProjectSize) / 1e6;
}

}  // namespace

BENCHMARK(BM_SaveProjectFiveJpegs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenProjectFiveJpegs)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
