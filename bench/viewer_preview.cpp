// Previews one picture as the image viewer does: the preview worker decodes
// it fitted into a box and hands every band to this (window) thread, which
// copies the band's rows into its own picture. Prints the milliseconds to
// the first band with rows in it and to the whole preview, best of N runs.
// Usage: viewer_preview <file> [box width] [box height] [runs]
#include "viewer/MakePreview.h"
#include "viewer/ViewerText.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: viewer_preview <file> [box width] [box height] [runs]\n");
    return 2;
  }
  const QString file = QString::fromLocal8Bit(argv[1]);
  const QSize box(argc > 2 ? std::atoi(argv[2]) : 500, argc > 3 ? std::atoi(argv[3]) : 400);
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
  qint64 bestFirst = -1, bestWhole = -1;
  for (int run = 0; run < runs; ++run) {
    QImage shown;
    qint64 first = -1;
    QElapsedTimer t;
    TMakePreviewThread worker(file, box, 0xFFFFFF);
    QEventLoop loop;
    QObject::connect(&worker, &TMakePreviewThread::PresentReady, &loop, [&] {
      worker.Serve([&](const TMakePreviewThread::TPresent& r, const QImage& picture) {
        if (picture.isNull()) return;
        if (shown.size() != picture.size()) shown = QImage(picture.size(), QImage::Format_BGR888);
        const TRowBand band = PreviewBand(picture.height(), r.Percent);
        for (int y = band.First; y < band.End; ++y)
          std::memcpy(shown.scanLine(y), picture.constScanLine(y), size_t(picture.width()) * 3);
        if (first < 0 && band.End > band.First) first = t.elapsed();
      });
    }, Qt::QueuedConnection);
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    t.start();
    worker.start();
    loop.exec();
    const qint64 whole = t.elapsed();
    if (worker.Failed()) {
      std::fprintf(stderr, "viewer_preview: %s can not be read\n", argv[1]);
      return 1;
    }
    if (bestWhole < 0 || whole < bestWhole) bestWhole = whole;
    if (first >= 0 && (bestFirst < 0 || first < bestFirst)) bestFirst = first;
  }
  std::printf("first_band_ms %lld\nwhole_preview_ms %lld\n", (long long)bestFirst, (long long)bestWhole);
  return 0;
}
