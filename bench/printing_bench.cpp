// Printing a cover of ten layers to a PDF file: from the Print button (the
// print cover rendered again, picture layers re-read from their JPEG
// photographs) to the finished A4 file at 600 dpi, and the same from the
// command line's project file.
#include "canvas/CoverDocument.h"
#include "codecs/Codec.h"
#include "printing/DesktopPrinter.h"
#include "printing/PrintPdf.h"
#include "printing/PrintPreview.h"
#include "project/ProjectFile.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <random>

namespace {

QTemporaryDir& Dir()
{
  static QTemporaryDir dir;
  return dir;
}

// A 3000 × 2000 photograph-like JPEG.
QString Photo(uint32_t seed)
{
  const QString path = Dir().filePath(QStringLiteral("photo%1.jpg").arg(seed));
  if (QFile::exists(path)) return path;
  QImage img(3000, 2000, QImage::Format_BGR888);
  std::mt19937 gen(seed);
  for (int y = 0; y < img.height(); ++y) {
    uint8_t* row = img.scanLine(y);
    for (int x = 0; x < img.width(); ++x) {
      const uint8_t n = uint8_t(gen() & 15);
      row[3 * x] = uint8_t((x / 12 + seed * 50) & 0xFF) ^ n;
      row[3 * x + 1] = uint8_t((y / 8) & 0xFF) ^ n;
      row[3 * x + 2] = uint8_t(((x + y) / 20) & 0xFF);
    }
  }
  QByteArray jpeg;
  QString error;
  if (!EncodeJpeg(img, jpeg, error, 85)) std::fprintf(stderr, "%s\n", qPrintable(error));
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(jpeg);
  return path;
}

QStringList Tracks(int n)
{
  QStringList t;
  for (int i = 1; i <= n; ++i) t << QStringLiteral("Track %1 of the album|||%2:%3").arg(i).arg(i % 7).arg(i * 7 % 60);
  return t;
}

// Ten layers of every kind over a gradient: four photographs, three texts,
// a year and two track lists.
struct TFixture {
  TCoverDocument Doc;
  QString Project = Dir().filePath(QStringLiteral("ten.jkp"));

  TFixture()
  {
    Doc.SetWorkFolder(Dir().filePath(QStringLiteral("work")));
    Doc.NewCover();
    Doc.SetBackground(QString(), imCenter, 0x0000FF, 0xFF0000, true, false);
    for (int i = 0; i < 4; ++i) Doc.AddPictureLayer(20 + 40 * i, 20 + 30 * i, Photo(uint32_t(i)), 10, 10, 3000, 2000);
    for (int i = 0; i < 3; ++i)
      Doc.AddTextLayer(10 + 30 * i, 200 + 40 * i, "Cover text", "Times New Roman", 0xFFFFFF, fsBold, true, true, 300,
                       80);
    Doc.AddTextLayer(300, 20, "2026", "Times New Roman", 0, 0, false, true, 150, 60);
    Doc.AddTracksLayer(200, 150, Tracks(12), "Liberation Sans", 0xFFFFFF, 0, true, true, 0, 250, 300, taLeft);
    Doc.AddTracksLayer(10, 300, Tracks(5), "Liberation Sans", 0, 0, false, false, 0, 200, 150, taRight);
    QString error;
    if (!SaveProject(Doc, Project, error)) std::fprintf(stderr, "%s\n", qPrintable(error));
  }
};

TFixture& Fixture()
{
  static TFixture f;
  return f;
}

void BM_PrintButtonToPdf10Layers(benchmark::State& state)
{
  TFixture& f = Fixture();
  TDesktopPrinter printer{QPageSize(QPageSize::A4)};
  printer.SetOutputFile(Dir().filePath(QStringLiteral("print.pdf")));
  TPrintPreview preview;
  QImage shown;
  f.Doc.RenderPrintImage(shown);
  preview.SetPrinter(&printer);
  preview.SetCover(&shown);
  preview.SetActualSize();
  preview.SetCuttingLine(true);
  for (auto _ : state) {
    // What the window's Print does once the file name is known.
    QImage cover;
    f.Doc.RenderPrintImage(cover);
    QString error;
    if (!preview.PrintCover(cover, QStringLiteral("bench"), error)) state.SkipWithError(qPrintable(error));
  }
  state.counters["KB"] = double(QFile(printer.OutputFile()).size()) / 1e3;
}

void BM_PrintPdfCommand10Layers(benchmark::State& state)
{
  TFixture& f = Fixture();
  TPrintPdfOptions options;
  options.Project = f.Project;
  options.Output = Dir().filePath(QStringLiteral("command.pdf"));
  options.CuttingLine = true;
  for (auto _ : state) {
    QString error;
    if (!PrintProjectToPdf(options, error)) state.SkipWithError(qPrintable(error));
  }
}

}  // namespace

BENCHMARK(BM_PrintButtonToPdf10Layers)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PrintPdfCommand10Layers)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
