// Opening large projects and laying out a long text, in process:
//   - open and render (cover and print cover) of 999 text layers, of 400
//     picture layers sharing one picture and of 20 layers sharing a GIF whose
//     screen is 10950 × 10950; the counter WorkMB is what the opening wrote
//     into the work folder;
//   - the layout of 2 MB of text in a 4000-pixel box.
// Peak memory of the same projects is measured by bench/hostile.sh with the
// real program.
#include "HostileProjects.h"
#include "canvas/CoverDocument.h"
#include "canvas/TextRender.h"
#include "project/ProjectFile.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>

namespace {

QTemporaryDir& Folder()
{
  static QTemporaryDir dir;
  return dir;
}

QString Project(const char* name)
{
  const QString path = Folder().filePath(QString::fromLatin1(name) + ".jkp");
  if (QFile::exists(path)) return path;
  const QByteArray jpeg = hostile::Jpeg600();
  if (qstrcmp(name, "text999") == 0) hostile::Write(path, {}, hostile::TextProject(999));
  else if (qstrcmp(name, "pictures400") == 0) hostile::PictureProject(path, 400, jpeg, "photo.jpg", 600, 200);
  else if (qstrcmp(name, "gif20") == 0) hostile::PictureProject(path, 20, hostile::HugeScreenGif(), "huge.gif", 10950, 300);
  return path;
}

qint64 FolderBytes(const QString& folder)
{
  qint64 sum = 0;
  QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) sum += it.nextFileInfo().size();
  return sum;
}

void OpenAndRender(benchmark::State& state, const char* name)
{
  const QString project = Project(name);
  qint64 written = 0, openMs = 0;
  for (auto _ : state) {
    QTemporaryDir work;
    TCoverDocument doc;
    doc.SetWorkFolder(work.path());
    doc.NewCover();
    QString error;
    QElapsedTimer timer;
    timer.start();
    if (!LoadProject(doc, project, error)) state.SkipWithError(qPrintable(error));
    openMs = timer.elapsed();
    QImage print;
    doc.RenderPrintImage(print);
    benchmark::DoNotOptimize(print.constBits());
    written = FolderBytes(work.path());
  }
  state.counters["WorkMB"] = double(written) / 1e6;
  state.counters["OpenMs"] = double(openMs);
}

void BM_OpenText999(benchmark::State& state) { OpenAndRender(state, "text999"); }
void BM_OpenPictures400(benchmark::State& state) { OpenAndRender(state, "pictures400"); }
void BM_OpenGif20(benchmark::State& state) { OpenAndRender(state, "gif20"); }

void BM_TextLayout2MB(benchmark::State& state)
{
  QString text;
  const QString words = QStringLiteral("Jacketeer lays out long texts ");
  while (text.size() < 2 * 1024 * 1024) text += words;
  for (auto _ : state) {
    QImage picture, mask;
    RenderTextBitmap(text, QStringLiteral("DejaVu Sans"), 0x000000, 0, false, false, 4000, int(state.range(0)),
                     picture, mask);
    benchmark::DoNotOptimize(picture.constBits());
  }
}

}  // namespace

BENCHMARK(BM_OpenText999)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_OpenPictures400)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_OpenGif20)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_TextLayout2MB)->Arg(100)->Arg(4000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
