// Undo and redo: the time of one undo and of one redo on a cover of ten
// layers (a body drag and an editor change of a text), and the memory a
// hundred steps of moving a 940 × 940 picture layer take beyond the cover.
#include "BenchPicture.h"

#include "canvas/CoverHistory.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

QTemporaryDir& Dir()
{
  static QTemporaryDir dir;
  return dir;
}

QString Photo(int w, int h, uint32_t seed)
{
  const QString path = Dir().path() + QStringLiteral("/photo%1x%2-%3.bmp").arg(w).arg(h).arg(seed);
  if (!QFile::exists(path)) PhotoLikePicture(w, h, seed).save(path, "BMP");
  return path;
}

// Ten layers of every kind over a gradient, the top text selected.
void Fill(TCoverDocument& doc)
{
  doc.SetWorkFolder(Dir().path() + "/work");
  doc.SetBackground("", imCenter, 0x0000FF, 0xFF0000, true, false);
  for (int i = 0; i < 4; ++i)
    doc.LoadPictureLayer(20 + 40 * i, 20 + 30 * i, Photo(900, 600, uint32_t(i)), 10, 10, 900, 600, 300, 200);
  for (int i = 0; i < 3; ++i)
    doc.AddTextLayer(10 + 30 * i, 200 + 40 * i, "Cover text", "Times New Roman", 0xFFFFFF, fsBold, true, true, 300, 80);
  doc.AddTextLayer(300, 20, "2026", "Times New Roman", 0, 0, false, true, 150, 60);
  const QStringList tracks{"Track one|||3:41", "Track two|||4:05", "Track three|||5:12", "Track four|||3:58"};
  doc.AddTracksLayer(200, 150, tracks, "Liberation Sans", 0xFFFFFF, 0, true, true, 0, 250, 300, taLeft);
  doc.AddTextLayer(0, 0, "Jacketeer", "Times New Roman", 0x00FFFF, fsBold, true, true, 470, 470);
  doc.SelectLayer(doc.LayerCount() - 1);
}

// One step on the ten-layer cover: a body drag (0) or an editor change of
// the 470 × 470 text (1); then each iteration times the undo (or the redo).
void UndoRedo(benchmark::State& state, bool timeUndo)
{
  TCoverDocument doc;
  Fill(doc);
  TCoverHistory history(doc);
  const int top = doc.LayerCount() - 1;
  if (state.range(0) == 0) {
    TCoverDocument::TStepScope step(doc);
    doc.MoveLayerTo(top, 30, 40);
    doc.Redraw();
  } else {
    doc.UpdateTextLayer(top, 0, 0, "Jacketeers", "Times New Roman", 0x00FFFF, fsBold, true, true, 470, 470);
  }
  if (!timeUndo) history.Undo();
  for (auto _ : state) {
    if (timeUndo) {
      history.Undo();
      state.PauseTiming();
      history.Redo();
      state.ResumeTiming();
    } else {
      history.Redo();
      state.PauseTiming();
      history.Undo();
      state.ResumeTiming();
    }
  }
  state.SetLabel(state.range(0) == 0 ? "drag" : "text editor");
}

void BM_Undo10Layers(benchmark::State& state) { UndoRedo(state, true); }
void BM_Redo10Layers(benchmark::State& state) { UndoRedo(state, false); }

double ResidentMB()
{
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A 940 × 940 picture in a 470 × 470 box moved a hundred times, each move a
// step. Reports the growth of resident memory over the cover itself and the
// bitmap bytes the history holds on its own.
void BM_Memory100MovesOf940Picture(benchmark::State& state)
{
  const QString photo = Photo(940, 940, 7);
  for (auto _ : state) {
    TCoverDocument doc;
    doc.SetWorkFolder(Dir().path() + "/work");
    doc.NewCover();
    doc.LoadPictureLayer(0, 0, photo, 10, 10, 940, 940, 470, 470);
    doc.SelectLayer(1);
    const double coverMB = double(doc.LayerBitmapBytes()) / (1024.0 * 1024.0);
    const double before = ResidentMB();
    TCoverHistory history(doc);
    for (int i = 1; i <= 100; ++i) {
      TCoverDocument::TStepScope step(doc);
      doc.MoveLayerTo(1, i, i / 2);
      doc.Redraw();
    }
    const double after = ResidentMB();
    state.counters["steps"] = history.UndoCount();
    state.counters["cover_MB"] = coverMB;
    state.counters["growth_MB"] = after - before;
    state.counters["kept_MB"] = double(history.KeptBytes()) / (1024.0 * 1024.0);
  }
}

}  // namespace

BENCHMARK(BM_Undo10Layers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redo10Layers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory100MovesOf940Picture)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);  // fonts
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
