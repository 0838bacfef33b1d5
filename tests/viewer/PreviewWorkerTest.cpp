// The preview worker on real files: animation frame times with a clock that
// does not wait, a GIF cut short in its last frame, an unreadable picture,
// a JPEG handed over band by band, and stopping while it plays or waits.
#include "TestSupport.h"
#include "codecs/Codec.h"
#include "imagelib/ImageLoader.h"
#include "viewer/MakePreview.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Time passes only when the worker sleeps.
class TFakeClock : public TFrameClock {
public:
  qint64 NowMs() override { return m_now.load(); }
  void SleepMs(int ms) override
  {
    m_now += ms;
    std::this_thread::yield();
  }

private:
  std::atomic<qint64> m_now{1000};
};

// Relays the worker's queued notices to the test's thread.
class TRelay : public QObject {
  Q_OBJECT
signals:
  void Ended();
};

struct TSeen {
  TMakePreviewThread::TPresent Request;
  qint64 At = 0;
  QImage Picture;
};

// Runs a worker, serving its requests on this thread; after `stopAfter`
// requests it is told to stop. Returns what it was asked to show.
std::vector<TSeen> RunWorker(TMakePreviewThread& worker, TFrameClock* clock, int stopAfter)
{
  std::vector<TSeen> seen;
  TRelay relay;
  QObject::connect(&worker, &TMakePreviewThread::PresentReady, &relay, [&] {
    worker.Serve([&](const TMakePreviewThread::TPresent& r, const QImage& picture) {
      seen.push_back({r, clock ? clock->NowMs() : 0, picture.copy()});
    });
    if (int(seen.size()) >= stopAfter) worker.Terminate();
  }, Qt::QueuedConnection);
  QObject::connect(&worker, &QThread::finished, &relay, [&] { emit relay.Ended(); }, Qt::QueuedConnection);
  QSignalSpy ended(&relay, &TRelay::Ended);
  worker.start();
  EXPECT_TRUE(ended.wait(20000));
  return seen;
}

}  // namespace

TEST(PreviewWorker, AnimationFrameTimesWithInjectedClock)
{
  auto clock = std::make_shared<TFakeClock>();
  TMakePreviewThread worker(TestDataPath("viewer/frame_times.gif"), QSize(100, 100), 0xFFFFFF, clock);
  const std::vector<TSeen> seen = RunWorker(worker, clock.get(), 6);
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_TRUE(worker.Animated());
  std::vector<int> frames;
  std::vector<qint64> stays;
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].Request.Kind, TMakePreviewThread::pkFrame);
    frames.push_back(seen[i].Request.Frame);
    if (i > 0) stays.push_back(seen[i].At - seen[i - 1].At);
  }
  EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 3, 0, 1}));
  // Delay 0, 5, 1500 (cut to 1000) hundredths, then no control block (10).
  EXPECT_EQ(stays, (std::vector<qint64>{34, 56, 11001, 111, 34}));
  // Each frame shows its colour over the whole 4 × 2 screen.
  EXPECT_EQ(seen[0].Picture.size(), QSize(4, 2));
  EXPECT_EQ(PixelAt(seen[0].Picture, 3, 1), 0x0000FFu);  // red
  EXPECT_EQ(PixelAt(seen[1].Picture, 0, 0), 0x00A000u);  // green
  EXPECT_EQ(PixelAt(seen[2].Picture, 2, 0), 0xFF0000u);  // blue
}

TEST(PreviewWorker, DamagedAndUnreadablePictures)
{
  // A GIF cut short inside its last frame plays the frames before it.
  auto clock = std::make_shared<TFakeClock>();
  TMakePreviewThread cut(TestDataPath("viewer/truncated_last_frame.gif"), QSize(100, 100), 0xFFFFFF, clock);
  const std::vector<TSeen> seen = RunWorker(cut, clock.get(), 4);
  EXPECT_FALSE(cut.Failed());
  EXPECT_EQ(cut.FramesKept(), 2);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[2].Request.Frame, 0);
  EXPECT_EQ(PixelAt(seen[1].Picture, 20, 15), 0x00FF00u);  // lime

  // Two frames on a logical screen of 12000 × 8000: refused, rather than
  // four work bitmaps of 288 MB each.
  TMakePreviewThread huge(TestDataPath("viewer/huge_screen.gif"), QSize(100, 100), 0xFFFFFF);
  RunWorker(huge, nullptr, 1000);
  EXPECT_TRUE(huge.Failed());
  EXPECT_FALSE(huge.Animated());

  // A file that is not what its name says: the load fails, nothing is shown.
  QTemporaryDir dir;
  const QString bad = dir.filePath("bad.jpg");
  QFile f(bad);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(5000, 'x'));
  f.close();
  TMakePreviewThread worker(bad, QSize(100, 100), 0xFFFFFF);
  RunWorker(worker, nullptr, 1000);
  EXPECT_TRUE(worker.Failed());
  EXPECT_TRUE(worker.TakePreview().isNull());
}

TEST(PreviewWorker, JpegArrivesBandByBandAsTheWholeLoad)
{
  QTemporaryDir dir;
  const QString file = dir.filePath("photo.jpg");
  QByteArray jpeg;
  QString error;
  ASSERT_TRUE(EncodeJpeg(PhotoBitmap(900, 600), jpeg, error));
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(jpeg);
  f.close();

  TMakePreviewThread worker(file, QSize(300, 250), 0x808080);
  const std::vector<TSeen> seen = RunWorker(worker, nullptr, 1000);
  ASSERT_FALSE(worker.Failed());
  ASSERT_GE(seen.size(), 50u);
  int last = -1;
  for (const TSeen& s : seen) {
    EXPECT_EQ(s.Request.Kind, TMakePreviewThread::pkBand);
    EXPECT_GT(s.Request.Percent, last);
    last = s.Request.Percent;
  }
  EXPECT_EQ(last, 100);
  QImage whole;
  int w = 0, h = 0;
  ASSERT_TRUE(LoadPreviewFile(file, whole, nullptr, 0x808080, 300, 250, &w, &h, false));
  const QImage done = worker.TakePreview();
  EXPECT_TRUE(SamePixels(done, whole));
  EXPECT_EQ(done.size(), QSize(300, 200));
  EXPECT_EQ(worker.PictureWidth(), 900);
  // Half way the upper half is there and the lower half is still the back colour.
  const TSeen& half = seen[seen.size() / 2];
  EXPECT_EQ(PixelAt(half.Picture, 150, 199), 0x808080u);
}

TEST(PreviewWorker, StopsAtOnceWhilePlayingOrWaiting)
{
  // Nobody serves it: the worker waits for the window thread, and the
  // destructor must not wait for that in turn.
  QElapsedTimer t;
  t.start();
  {
    TMakePreviewThread waiting(TestDataPath("viewer/frame_times.gif"), QSize(50, 50), 0xFFFFFF);
    waiting.start();
    QThread::msleep(50);
  }
  // Playing a frame of eleven seconds.
  {
    TMakePreviewThread playing(TestDataPath("viewer/frame_times.gif"), QSize(50, 50), 0xFFFFFF);
    TRelay relay;
    std::atomic<int> frames{0};
    QObject::connect(&playing, &TMakePreviewThread::PresentReady, &relay, [&] {
      if (playing.Serve({})) ++frames;
      if (frames == 3) emit relay.Ended();
    }, Qt::QueuedConnection);
    QSignalSpy third(&relay, &TRelay::Ended);
    playing.start();
    ASSERT_TRUE(third.wait(5000));
  }
  EXPECT_LT(t.elapsed(), 3000);
}

#include "PreviewWorkerTest.moc"
