#pragma once
// The effect worker: one run of one effect on a picture, on its own thread.
//
// The owner creates a TProcessThread on the picture to change, connects to
// Progress and Ended, and calls one Start… operation, which stores the
// effect's parameters and starts the thread. The run works on its own copy
// of the picture and reports progress after every row (Progress is emitted
// on the worker thread; connect with the default or a queued connection to
// receive it on the window thread). Stop() asks the run to end; the effect
// notices at its next progress report, i.e. after the current row. Ended is
// emitted on the thread that created the object once the run is over,
// whatever the cause (completed, stopped or failed with an exception), and
// carries the picture as the run left it. A thread is never reused: a second
// Start… call is ignored.

#include <QImage>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>

// Reports a percentage: the sender and the percent.
using TProgressEvent = std::function<void(QObject* sender, int percent)>;

class TProcessThread : public QThread {
  Q_OBJECT

 public:
  // Effect codes of the catalogue.
  enum TEffectCode : uint8_t {
    ecBrightnessContrast = 0, ecFisheye = 1, ecSharpen = 2, ecSmooth = 3, ecSaturation = 4,
    ecThreshold = 5, ecSolarize = 6, ecAddNoise = 7, ecMosaic = 8, ecGrid3D = 9, ecEmboss = 10,
    ecSketch = 11, ecSplash = 12, ecMotionBlur = 13, ecTwist = 14, ecMinimum = 15,
    ecMiddle = 16, ecMaximum = 17, ecColorNegative = 18, ecCrayon = 19
  };

  explicit TProcessThread(const QImage& picture, QObject* parent = nullptr);
  // Asks a running effect to stop, drops every connection and waits for the
  // thread to end.
  ~TProcessThread() override;

  // Called on the worker thread at every progress report, before Progress is
  // emitted. Optional; set it before starting.
  TProgressEvent OnProgress;
  // When set, the object deletes itself (deleteLater) after Ended.
  void SetFreeOnEnd(bool free) { freeOnEnd_ = free; }

  // Start operations: one per effect. Channel: 0 all, 1 red, 2 green, 3 blue.
  // Directions 0 … 7: up-left, up, up-right, right, down-right, down,
  // down-left, left.
  void StartBrightnessContrast(int brightness, int contrast, uint8_t channel);
  void StartFisheye(long double scale);
  void StartSharpen(uint8_t level);
  void StartSmooth(uint8_t level);
  void StartSaturation(int amount);
  void StartThreshold(int level);
  void StartSolarize();
  void StartAddNoise(int amount, bool colored);
  void StartMosaic(int width, int height);
  void StartGrid3D(int width, int height);
  void StartEmboss(uint8_t depth, uint8_t direction);
  void StartSketch();
  void StartSplash(int level);
  void StartMotionBlur(uint8_t level, uint8_t direction);
  void StartTwist(int level);
  void StartMinimum(int size);
  void StartMiddle(int size);
  void StartMaximum(int size);
  void StartColorNegative(int red, int green, int blue, bool negative);
  void StartCrayon();

  // The effects' progress callback: reports the percent and answers false
  // once a stop has been asked for.
  bool DoProgress(int percent);
  // Asks the run to stop at its next progress report (any thread).
  void Stop();
  bool StopRequested() const { return stop_.load(); }

  int Effect() const { return effect_; }
  // The picture as the run left it; the original before the run has ended.
  QImage Bitmap() const;
  // True when the effect ran to its end (not stopped, no error).
  bool Completed() const;
  // The error that ended the run, empty when there was none.
  QString ErrorText() const;

 signals:
  // A progress report, emitted on the worker thread.
  void Progress(int percent);
  // The run is over; emitted on the creating thread after the worker ended.
  void Ended(const QImage& picture);

 protected:
  void run() override;

 private:
  void Begin(uint8_t effect);
  bool Execute(QImage& picture);
  void RunEnded();

  mutable QMutex mutex_;
  QImage bitmap_;
  bool completed_ = false;
  QString error_;
  std::atomic<bool> stop_{false};
  bool started_ = false;
  bool freeOnEnd_ = false;

  uint8_t effect_ = 0;
  int brightness_ = 0, contrast_ = 0;
  uint8_t channel_ = 0;
  long double scale_ = 1.0L;
  uint8_t sharpenLevel_ = 0, smoothLevel_ = 0;
  int saturationAmount_ = 0, thresholdLevel_ = 0;
  int noiseAmount_ = 0;
  bool noiseColored_ = false;
  int mosaicWidth_ = 1, mosaicHeight_ = 1, gridWidth_ = 1, gridHeight_ = 1;
  uint8_t embossDepth_ = 1, embossDirection_ = 0;
  int splashLevel_ = 0;
  uint8_t blurLevel_ = 0, blurDirection_ = 0;
  int twistLevel_ = 1;
  int minimumSize_ = 0, middleSize_ = 0, maximumSize_ = 0;
  int redShift_ = 0, greenShift_ = 0, blueShift_ = 0;
  bool negative_ = false;
};
