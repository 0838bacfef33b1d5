#pragma once
// The preview worker of the image viewer: loads one picture fitted into the
// viewer's box, handing the rows over band by band while they are decoded,
// and plays an animated GIF until it is told to stop.
//
// The worker owns the picture it writes. The window thread sees it only
// inside Serve, called from the slot of PresentReady, while the worker
// waits for exactly that; so it never reads rows half written and never
// needs a second copy of the whole picture per band.

#include "canvas/Functions.h"
#include "codecs/GifCodec.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Time for the animation: tests hand in a clock that does not wait.
class TFrameClock {
public:
  virtual ~TFrameClock() = default;
  virtual qint64 NowMs() = 0;
  virtual void SleepMs(int ms) = 0;
};
// The steady clock of the machine.
std::shared_ptr<TFrameClock> SystemFrameClock();

class TMakePreviewThread : public QThread {
  Q_OBJECT

public:
  enum TPresentKind { pkNone, pkBand, pkFrame };
  struct TPresent {
    TPresentKind Kind = pkNone;
    int Percent = 0;  // pkBand: signed percentage of rows decoded
    int Frame = -1;   // pkFrame: index of the frame shown
  };

  // Work bitmaps and frames of one animation together stay below this;
  // frames past it are not played, a screen too large for it is shown still.
  static constexpr qint64 kAnimationBudget = qint64(384) << 20;

  TMakePreviewThread(const QString& fileName, QSize box, TColor backColor,
                     std::shared_ptr<TFrameClock> clock = SystemFrameClock());
  // Tells the worker to stop and waits for it.
  ~TMakePreviewThread() override;

  void Terminate();
  bool Terminated() const { return m_terminate.load(); }

  // Window thread: hands the request the worker waits for, with the
  // worker's picture, to `show`, then lets the worker go on. False when no
  // request was waiting.
  bool Serve(const std::function<void(const TPresent&, const QImage&)>& show);

  QString FileName() const { return m_fileName; }
  QSize Box() const { return m_box; }
  // After the end (finished): the results.
  bool Failed() const { return m_failed; }
  bool Animated() const { return m_animated; }
  int PictureWidth() const { return m_width.load(); }
  int PictureHeight() const { return m_height.load(); }
  QImage TakePreview() { return std::move(m_preview); }
  int FramesKept() const { return m_framesKept; }

signals:
  // A band or a frame waits to be shown (queued to the window thread).
  void PresentReady();

protected:
  void run() override;

private:
  // Waits until the window thread has shown the request; false when the
  // worker was told to stop meanwhile.
  bool Present(TPresentKind kind, int percent, int frame = -1);
  void Play(TGifAnimation& gif);
  bool StillFrame(const TGifAnimation& gif);

  const QString m_fileName;
  const QSize m_box;
  const TColor m_backColor;
  std::shared_ptr<TFrameClock> m_clock;

  std::atomic<bool> m_terminate{false};
  std::atomic<int> m_width{0}, m_height{0};
  bool m_failed = false;
  bool m_animated = false;
  int m_framesKept = 0;
  QImage m_preview;

  // Standard rather than Qt's: ThreadSanitizer sees through these.
  std::mutex m_lock;
  std::condition_variable m_served;
  TPresent m_request;
};
