#include <gtest/gtest.h>

#include "TestSupport.h"
#include "canvas/Functions.h"
#include "imageeditor/MakeProcess.h"
#include "imageeditor/effects/Effects.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>

#include <functional>
#include <stdexcept>

namespace {

// Hands the worker's progress reports to this thread, where a spy can wait.
class TRelay : public QObject {
  Q_OBJECT
 public:
  explicit TRelay(TProcessThread& thread)
  {
    connect(&thread, &TProcessThread::Progress, this, &TRelay::Seen, Qt::QueuedConnection);
  }
 signals:
  void Seen(int percent);
};

// Runs one start operation and waits for the end of the run.
QImage RunToEnd(const QImage& picture, const std::function<void(TProcessThread&)>& start,
                TProcessThread** keep = nullptr)
{
  auto* thread = new TProcessThread(picture);
  QSignalSpy ended(thread, &TProcessThread::Ended);
  start(*thread);
  EXPECT_TRUE(ended.count() == 1 || ended.wait(20000));
  const QImage result = ended.isEmpty() ? QImage() : ended.at(0).at(0).value<QImage>();
  if (keep) *keep = thread;
  else delete thread;
  return result;
}

}  // namespace

TEST(ProcessThread, ReportsProgressAndEndsOnTheWindowThread)
{
  const QImage src = RandomBitmap(40, 21, 1);
  TProcessThread thread(src);
  TRelay relay(thread);
  QSignalSpy progress(&relay, &TRelay::Seen);
  QThread* endedOn = nullptr;
  QObject::connect(&thread, &TProcessThread::Ended, &thread,
                   [&](const QImage&) { endedOn = QThread::currentThread(); }, Qt::DirectConnection);
  QSignalSpy ended(&thread, &TProcessThread::Ended);
  thread.StartSolarize();
  ASSERT_TRUE(ended.wait(20000));
  EXPECT_EQ(endedOn, QCoreApplication::instance()->thread());
  // Progress is queued to this thread; everything was posted before Ended.
  ASSERT_EQ(progress.count(), 21);
  EXPECT_EQ(progress.first().at(0).toInt(), 0);
  EXPECT_EQ(progress.last().at(0).toInt(), 100);

  QImage expected = src.copy();
  Solarize(expected);
  EXPECT_TRUE(SamePixels(ended.at(0).at(0).value<QImage>(), expected));
  EXPECT_TRUE(SamePixels(thread.Bitmap(), expected));
  EXPECT_TRUE(thread.Completed());
  EXPECT_TRUE(SamePixels(src, RandomBitmap(40, 21, 1)));  // the caller's picture is untouched
}

TEST(ProcessThread, CatalogueDispatch)
{
  const QImage src = RandomBitmap(23, 17, 2);
  auto direct = [&](const std::function<void(QImage&)>& f) {
    QImage img = src.copy();
    f(img);
    return img;
  };
  struct Case {
    std::function<void(TProcessThread&)> start;
    std::function<void(QImage&)> expect;
  };
  const Case cases[] = {
      {[](TProcessThread& t) { t.StartSharpen(3); }, [](QImage& i) { SharpenLine(i, 2); }},
      {[](TProcessThread& t) { t.StartSharpen(4); }, [](QImage& i) { SharpenLine(i, 1); }},
      {[](TProcessThread& t) { t.StartSharpen(1); }, [](QImage& i) { Sharpen3x3(i, 2); }},
      {[](TProcessThread& t) { t.StartSmooth(2); }, [](QImage& i) { Smooth3x3(i, 3); }},
      {[](TProcessThread& t) { t.StartSharpen(5); }, [](QImage&) {}},
      {[](TProcessThread& t) { t.StartEmboss(4, 8); }, [](QImage&) {}},
      {[](TProcessThread& t) { t.StartMotionBlur(4, 7); }, [](QImage& i) { MotionBlur(i, 4, 8); }},
      {[](TProcessThread& t) { t.StartEmboss(4, 0); }, [](QImage& i) { Emboss(i, 4, 1); }},
      {[](TProcessThread& t) { t.StartBrightnessContrast(20, 30, 2); },
       [](QImage& i) { AdjustColors(i, 0, 20, 0, 0, 30, 0, false, false, false, false, false, 0, 0, 23, 17); }},
      {[](TProcessThread& t) { t.StartColorNegative(5, -6, 7, true); },
       [](QImage& i) { AdjustColors(i, 5, -6, 7, 0, 0, 0, false, true, false, false, false, 0, 0, 23, 17); }},
      {[](TProcessThread& t) { t.StartMiddle(5); }, [](QImage& i) { RankFilter(i, 5, 5, rkMedian); }},
      {[](TProcessThread& t) { t.StartGrid3D(4, 3); }, [](QImage& i) { Grid3D(i, 4, 3, 64, 64); }},
      {[](TProcessThread& t) { t.StartCrayon(); }, [](QImage& i) { EdgeSketch(i, true); }},
      {[](TProcessThread& t) { t.StartTwist(30); },
       [&](QImage& i) { QImage d = i.copy(); Twist(i, d, 30); i = d; }},
  };
  for (size_t n = 0; n < std::size(cases); ++n)
    EXPECT_TRUE(SamePixels(RunToEnd(src, cases[n].start), direct(cases[n].expect))) << "case " << n;
}

TEST(ProcessThread, StopAndErrorsStillEnd)
{
  const QImage src = RandomBitmap(30, 12, 3);
  // A stop asked for at the first report ends the run after row 0.
  TProcessThread* thread = nullptr;
  const QImage stopped = RunToEnd(src, [](TProcessThread& t) {
    t.OnProgress = [&t](QObject* sender, int) {
      EXPECT_EQ(sender, &t);
      t.Stop();
    };
    t.StartMaximum(3);
  }, &thread);
  EXPECT_FALSE(thread->Completed());
  EXPECT_FALSE(thread->DoProgress(50));
  EXPECT_TRUE(thread->ErrorText().isEmpty());
  delete thread;
  QImage full = src.copy();
  RankFilter(full, 3, 3, rkMaximum);
  EXPECT_TRUE(SamePixels(stopped.copy(0, 0, 30, 1), full.copy(0, 0, 30, 1)));
  EXPECT_TRUE(SamePixels(stopped.copy(0, 1, 30, 11), src.copy(0, 1, 30, 11)));

  // An error inside the effect ends the run with what it had written.
  const QImage failed = RunToEnd(src, [](TProcessThread& t) {
    t.OnProgress = [](QObject*, int percent) {
      if (percent > 0) throw std::runtime_error("disk on fire");
    };
    t.StartSolarize();
  }, &thread);
  EXPECT_EQ(thread->ErrorText(), "disk on fire");
  EXPECT_FALSE(thread->Completed());
  delete thread;
  QImage first = src.copy();
  Solarize(first);
  EXPECT_TRUE(SamePixels(failed.copy(0, 0, 30, 1), first.copy(0, 0, 30, 1)));
}

TEST(ProcessThread, DestroyedWhileRunningAndFreeOnEnd)
{
  // Destroying a busy worker stops it and waits.
  {
    TProcessThread thread(RandomBitmap(800, 600, 4));
    TRelay relay(thread);
    QSignalSpy progress(&relay, &TRelay::Seen);
    thread.StartMiddle(32);
    ASSERT_TRUE(progress.wait(20000));
  }
  QPointer<TProcessThread> selfFreeing = new TProcessThread(RandomBitmap(8, 8, 5));
  selfFreeing->SetFreeOnEnd(true);
  QSignalSpy ended(selfFreeing.data(), &TProcessThread::Ended);
  int effect = -1;
  QObject::connect(selfFreeing.data(), &TProcessThread::Ended, [&] { effect = selfFreeing->Effect(); });
  selfFreeing->StartSketch();
  selfFreeing->StartSolarize();  // never reused: ignored
  ASSERT_TRUE(ended.wait(20000));
  EXPECT_EQ(effect, TProcessThread::ecSketch);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(selfFreeing.isNull());
}

#include "ProcessThreadTest.moc"
