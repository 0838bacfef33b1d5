// Importing the tracks of a folder of 3000 tagged FLAC files (copies of one
// small fixture): how long a large import keeps the worker busy, and so how
// often the progress bar of the tracks editor is seen.
#include "editors/TrackImport.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr int Files = 3000;

void BM_ImportFolder(benchmark::State& state)
{
  QTemporaryDir dir;
  const QString source = QStringLiteral(JKT_TEST_DATA "/audio/01-flac.flac");
  for (int i = 0; i < Files; ++i)
    if (!QFile::copy(source, dir.filePath(QStringLiteral("track %1.flac").arg(i)))) {
      state.SkipWithError("cannot copy the fixture");
      return;
    }
  for (auto _ : state) {
    const TTrackImport r = ImportTracks({dir.path()});
    if (r.Lines.size() != Files) state.SkipWithError("not every file imported");
    benchmark::DoNotOptimize(r);
  }
  state.counters["files/s"] = benchmark::Counter(double(Files), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ImportFolder)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
