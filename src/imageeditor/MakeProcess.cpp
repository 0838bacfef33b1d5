#include "imageeditor/MakeProcess.h"

#include "canvas/Functions.h"
#include "imageeditor/effects/Effects.h"

#include <QMutexLocker>

#include <exception>

TProcessThread::TProcessThread(const QImage& picture, QObject* parent)
    : QThread(parent), bitmap_(picture)
{
  // finished comes from the worker thread; the queued hop delivers the end of
  // the run on the thread this object belongs to.
  connect(this, &QThread::finished, this, &TProcessThread::RunEnded, Qt::QueuedConnection);
}

TProcessThread::~TProcessThread()
{
  Stop();
  disconnect();
  wait();
}

void TProcessThread::Begin(uint8_t effect)
{
  if (started_) return;  // never reused
  started_ = true;
  effect_ = effect;
  start();
}

void TProcessThread::StartBrightnessContrast(int brightness, int contrast, uint8_t channel)
{
  brightness_ = brightness;
  contrast_ = contrast;
  channel_ = channel;
  Begin(ecBrightnessContrast);
}

void TProcessThread::StartFisheye(long double scale)
{
  scale_ = scale;
  Begin(ecFisheye);
}

void TProcessThread::StartSharpen(uint8_t level)
{
  sharpenLevel_ = level;
  Begin(ecSharpen);
}

void TProcessThread::StartSmooth(uint8_t level)
{
  smoothLevel_ = level;
  Begin(ecSmooth);
}

void TProcessThread::StartSaturation(int amount)
{
  saturationAmount_ = amount;
  Begin(ecSaturation);
}

void TProcessThread::StartThreshold(int level)
{
  thresholdLevel_ = level;
  Begin(ecThreshold);
}

void TProcessThread::StartSolarize()
{
  Begin(ecSolarize);
}

void TProcessThread::StartAddNoise(int amount, bool colored)
{
  noiseAmount_ = amount;
  noiseColored_ = colored;
  Begin(ecAddNoise);
}

void TProcessThread::StartMosaic(int width, int height)
{
  mosaicWidth_ = width;
  mosaicHeight_ = height;
  Begin(ecMosaic);
}

void TProcessThread::StartGrid3D(int width, int height)
{
  gridWidth_ = width;
  gridHeight_ = height;
  Begin(ecGrid3D);
}

void TProcessThread::StartEmboss(uint8_t depth, uint8_t direction)
{
  embossDepth_ = depth;
  embossDirection_ = direction;
  Begin(ecEmboss);
}

void TProcessThread::StartSketch()
{
  Begin(ecSketch);
}

void TProcessThread::StartSplash(int level)
{
  splashLevel_ = level;
  Begin(ecSplash);
}

void TProcessThread::StartMotionBlur(uint8_t level, uint8_t direction)
{
  blurLevel_ = level;
  blurDirection_ = direction;
  Begin(ecMotionBlur);
}

void TProcessThread::StartTwist(int level)
{
  twistLevel_ = level;
  Begin(ecTwist);
}

void TProcessThread::StartMinimum(int size)
{
  minimumSize_ = size;
  Begin(ecMinimum);
}

void TProcessThread::StartMiddle(int size)
{
  middleSize_ = size;
  Begin(ecMiddle);
}

void TProcessThread::StartMaximum(int size)
{
  maximumSize_ = size;
  Begin(ecMaximum);
}

void TProcessThread::StartColorNegative(int red, int green, int blue, bool negative)
{
  redShift_ = red;
  greenShift_ = green;
  blueShift_ = blue;
  negative_ = negative;
  Begin(ecColorNegative);
}

void TProcessThread::StartCrayon()
{
  Begin(ecCrayon);
}

bool TProcessThread::DoProgress(int percent)
{
  if (OnProgress) OnProgress(this, percent);
  emit Progress(percent);
  return !stop_.load();
}

void TProcessThread::Stop()
{
  stop_.store(true);
  requestInterruption();
}

QImage TProcessThread::Bitmap() const
{
  QMutexLocker lock(&mutex_);
  return bitmap_;
}

bool TProcessThread::Completed() const
{
  QMutexLocker lock(&mutex_);
  return completed_;
}

QString TProcessThread::ErrorText() const
{
  QMutexLocker lock(&mutex_);
  return error_;
}

void TProcessThread::run()
{
  QImage picture;
  {
    QMutexLocker lock(&mutex_);
    picture = bitmap_;
  }
  // The picture shares its pixels with the owner's until the effect first
  // writes; then it gets its own, so the owner's picture never changes.
  bool completed = false;
  QString error;
  try {
    completed = Execute(picture);
  } catch (const std::exception& e) {
    error = QString::fromLocal8Bit(e.what());
  } catch (...) {
    error = QStringLiteral("Unknown error");
  }
  if (!error.isEmpty()) completed = false;
  QMutexLocker lock(&mutex_);
  bitmap_ = picture;
  completed_ = completed;
  error_ = error;
}

bool TProcessThread::Execute(QImage& picture)
{
  const TEffectProgress progress = [this](int percent) { return DoProgress(percent); };
  if (picture.isNull()) return true;
  if (picture.format() != QImage::Format_BGR888)
    picture = picture.convertToFormat(QImage::Format_BGR888);
  const int x2 = picture.width(), y2 = picture.height();

  switch (effect_) {
    case ecBrightnessContrast: {
      const int b = brightness_, c = contrast_;
      switch (channel_) {
        case 0: return AdjustColors(picture, b, b, b, c, c, c, false, false, false, false, false,
                                    0, 0, x2, y2, progress);
        case 1: return AdjustColors(picture, b, 0, 0, c, 0, 0, false, false, false, false, false,
                                    0, 0, x2, y2, progress);
        case 2: return AdjustColors(picture, 0, b, 0, 0, c, 0, false, false, false, false, false,
                                    0, 0, x2, y2, progress);
        case 3: return AdjustColors(picture, 0, 0, b, 0, 0, c, false, false, false, false, false,
                                    0, 0, x2, y2, progress);
        default: return true;
      }
    }
    case ecFisheye:
    case ecTwist: {
      QImage target = picture.copy();
      const bool done = effect_ == ecFisheye ? Fisheye(picture, target, scale_, progress)
                                             : Twist(picture, target, twistLevel_, progress);
      picture = target;
      return done;
    }
    case ecSharpen:
      if (sharpenLevel_ <= 2) {
        Sharpen3x3(picture, sharpenLevel_ + 1, progress);
        return !stop_.load();
      }
      if (sharpenLevel_ == 3) return SharpenLine(picture, 2, progress);
      if (sharpenLevel_ == 4) return SharpenLine(picture, 1, progress);
      return true;
    case ecSmooth:
      if (smoothLevel_ <= 2) {
        Smooth3x3(picture, smoothLevel_ + 1, progress);
        return !stop_.load();
      }
      return true;
    case ecSaturation: return AdjustSaturation(picture, saturationAmount_, progress);
    case ecThreshold: return ApplyThreshold(picture, thresholdLevel_, progress);
    case ecSolarize: return Solarize(picture, progress);
    case ecAddNoise: return AddNoise(picture, noiseAmount_, noiseColored_, progress);
    case ecMosaic: return Mosaic(picture, mosaicWidth_, mosaicHeight_, progress);
    case ecGrid3D: return Grid3D(picture, gridWidth_, gridHeight_, 64, 64, progress);
    case ecEmboss:
      if (embossDirection_ > 7) return true;
      return Emboss(picture, embossDepth_, embossDirection_ + 1, progress);
    case ecSketch: return EdgeSketch(picture, false, progress);
    case ecSplash: return Splash(picture, splashLevel_, progress);
    case ecMotionBlur:
      if (blurDirection_ > 7) return true;
      return MotionBlur(picture, blurLevel_, blurDirection_ + 1, progress);
    case ecMinimum: return RankFilter(picture, minimumSize_, minimumSize_, rkMinimum, progress);
    case ecMiddle: return RankFilter(picture, middleSize_, middleSize_, rkMedian, progress);
    case ecMaximum: return RankFilter(picture, maximumSize_, maximumSize_, rkMaximum, progress);
    case ecColorNegative:
      return AdjustColors(picture, redShift_, greenShift_, blueShift_, 0, 0, 0, false, negative_,
                          false, false, false, 0, 0, x2, y2, progress);
    case ecCrayon: return EdgeSketch(picture, true, progress);
    default: return true;  // not in the catalogue: nothing to run
  }
}

void TProcessThread::RunEnded()
{
  emit Ended(Bitmap());
  if (freeOnEnd_) deleteLater();
}
