// Times the thumbnail grid on a real folder, as a user sees it:
//   thumbnail_grid <folder> [width height]
// It shows a grid of width × height (default 960 × 660, six columns and four
// rows), sets the folder and prints
//   - the time until every cell of the first screen is made and painted,
//   - the time until the worker has made every thumbnail and ended,
//   - the longest time the window thread did not get to run its event loop
//     (a 1 ms timer notes every gap between its ticks), and the longest
//     processor time the thread spent inside one such gap (on a busy machine
//     the first also counts the time other programs had the processor),
//   - the peak resident memory and the processor time of the process.
#include "imagelib/Thumbnailer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>
#include <time.h>

namespace {

// Peak resident set size in megabytes (VmHWM).
double PeakResidentMb()
{
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return -1;
}

// User and system time of the whole process so far, in milliseconds.
double ProcessorMs()
{
  rusage u {};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Processor time of the calling thread, in nanoseconds.
qint64 ThreadNs()
{
  timespec t {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: thumbnail_grid <folder> [width height]\n");
    return 2;
  }
  QApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const int width = argc == 4 ? std::atoi(argv[2]) : 960;
  const int height = argc == 4 ? std::atoi(argv[3]) : 660;

  TThumbnail grid;
  grid.resize(width, height);
  grid.show();
  app.processEvents();

  QElapsedTimer clock;
  double firstScreen = -1, firstScreenCpu = -1, allMade = -1, longestGap = 0, longestWork = 0;
  qint64 lastTick = -1, lastThreadNs = 0;
  double startCpu = 0;
  int count = 0, failed = 0;

  // The window thread's pulse: the longest interval between two ticks of a
  // 1 ms timer is the longest time the thread was kept from its events.
  QTimer pulse;
  pulse.setTimerType(Qt::PreciseTimer);
  pulse.setInterval(1);
  QObject::connect(&pulse, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed(), threadNs = ThreadNs();
    if (lastTick >= 0) {
      longestGap = std::max(longestGap, (now - lastTick) / 1e6);
      longestWork = std::max(longestWork, (threadNs - lastThreadNs) / 1e6);
    }
    lastTick = now;
    lastThreadNs = threadNs;
  });

  auto firstScreenMade = [&] {
    if (grid.Count() == 0) return false;
    const int last = std::min(grid.LastVisible(), grid.Count() - 1);
    for (int i = std::max(0, grid.FirstVisible()); i <= last; ++i)
      if (!grid.Item(i).Made && !grid.Item(i).Failed) return false;
    return true;
  };
  grid.OnFolderScanned = [&](int n, qint64, bool) { count = n; };
  grid.OnProgress = [&](int) {
    if (firstScreen < 0 && firstScreenMade()) {
      grid.PaintBox()->repaint();  // painted now, not at the next turn of the loop
      firstScreen = clock.nsecsElapsed() / 1e6;
      firstScreenCpu = ProcessorMs() - startCpu;
    }
  };
  grid.OnIdle = [&] {
    allMade = clock.nsecsElapsed() / 1e6;
    for (int i = 0; i < grid.Count(); ++i)
      if (!grid.Item(i).Made) ++failed;
    app.quit();
  };

  startCpu = ProcessorMs();
  clock.start();
  pulse.start();
  grid.SetFolder(folder);
  app.exec();
  pulse.stop();

  std::printf("pictures            %d (%d not made)\n", count, failed);
  std::printf("first screen        %.0f ms (%d cells; %.0f ms of processor time)\n", firstScreen,
              std::min(grid.LastVisible(), grid.Count() - 1) - grid.FirstVisible() + 1, firstScreenCpu);
  std::printf("all thumbnails      %.0f ms\n", allMade);
  std::printf("longest gap         %.1f ms (window thread busy at most %.1f ms of it)\n", longestGap, longestWork);
  std::printf("peak resident       %.0f MB\n", PeakResidentMb());
  std::printf("processor time      %.0f ms\n", ProcessorMs());
  return failed == 0 && count > 0 ? 0 : 1;
}
