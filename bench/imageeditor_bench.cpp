// The image editor as a user meets it: the time from releasing an effect
// dialog's slider to the finished preview on screen, on a 4000 × 3000
// picture, and the longest time the window thread went without handling
// its events meanwhile (max_gap_ms: what a user would feel as a stall).
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include "BenchPicture.h"
#include "imageeditor/ImageEditor.h"
#include "imageeditor/ToolBase.h"
#include "imageeditor/formImageEditor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

TfrmImageEditor& Window()
{
  static std::unique_ptr<TfrmImageEditor> frm = [] {
    auto w = std::make_unique<TfrmImageEditor>();
    w->SetPicture(PhotoLikePicture(kWidth, kHeight, 7));
    w->SetPictureFile(QStringLiteral("/tmp/photo.jpg"));
    w->show();
    return w;
  }();
  return *frm;
}

// Runs the event loop until the editor is idle; answers the longest gap
// between two turns of the loop, in milliseconds.
double WaitIdle(TImageEditor* editor)
{
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, longest = 0;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(1);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  tick.start();
  QEventLoop loop;
  QObject::connect(editor, &TImageEditor::Finished, &loop, &QEventLoop::quit);
  if (editor->Running()) loop.exec();
  // The refresh that follows the end of the run.
  QCoreApplication::processEvents();
  longest = std::max(longest, clock.nsecsElapsed() - last);
  return double(longest) / 1e6;
}

// The thumb held, moved to `value` and released: the dialog asks for its run.
void Release(QSlider* slider, int value)
{
  slider->setSliderDown(true);
  slider->setValue(value);
  slider->setSliderDown(false);
}

void ReleaseToPreview(benchmark::State& state, const char* item, int value, int otherValue)
{
  TfrmImageEditor& frm = Window();
  TfrmToolBase* tool = frm.Tool(QString::fromLatin1(item));
  tool->show();
  WaitIdle(frm.Editor());  // a first run at show
  double longest = 0;
  for (auto _ : state) {
    // Untimed: a run elsewhere, so that releasing at `value` starts one.
    state.PauseTiming();
    Release(tool->Slider(0), otherValue);
    WaitIdle(frm.Editor());
    state.ResumeTiming();

    QElapsedTimer t;
    t.start();
    Release(tool->Slider(0), value);
    longest = std::max(longest, WaitIdle(frm.Editor()));
    state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
  }
  tool->close();
  WaitIdle(frm.Editor());
  state.counters["max_gap_ms"] = longest;
}

void BM_BrightnessContrastRelease(benchmark::State& state)
{
  ReleaseToPreview(state, "muEffectBC", 30, 20);
}
BENCHMARK(BM_BrightnessContrastRelease)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(8);

void BM_Middle3Release(benchmark::State& state)
{
  ReleaseToPreview(state, "muEffectMid", 3, 4);
}
BENCHMARK(BM_Middle3Release)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);

}  // namespace

int main(int argc, char** argv)
{
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qargc = 1;
  char* qargv[] = {argv[0], nullptr};
  QApplication app(qargc, qargv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
