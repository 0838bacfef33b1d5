#pragma once
// The preview panel of the image viewer: shows the focused picture fitted
// and centred, drawn band by band while its worker decodes it, and plays
// animated GIFs. At most one worker runs; requests that come while one runs
// only change the name asked for, and the latest is loaded once it ended.

#include "viewer/MakePreview.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class TViewer : public QWidget {
  Q_OBJECT

public:
  explicit TViewer(QWidget* parent = nullptr);
  // Stops the worker and waits for it.
  ~TViewer() override;

  // Raised when no preview worker runs any more.
  std::function<void()> OnStopped;

  void LoadFile(const QString& name);
  void ClearPreview();
  // Before the window closes: stops the worker; OnStopped follows.
  void StopPreview();
  // The panel's size is settled: the picture is fitted again when needed.
  void ResizeDone();
  // While the panel is resized the preview is only stretched.
  void SetSizeStable(bool stable) { m_sizeStable = stable; }
  // The whole picture: the preview when it was not reduced, else the file
  // read again at full size. `name` gets the file's name; with no picture
  // shown `bitmap` is left alone.
  void GetFullPicture(QImage& bitmap, QString& name) const;

  // The clock of the animations (tests hand in one that does not wait).
  void SetFrameClock(std::shared_ptr<TFrameClock> clock) { m_clock = std::move(clock); }

  // State, for the window and for tests.
  QString CurrentName() const { return m_currentName; }
  QString RequestedName() const { return m_requestedName; }
  const QImage& Preview() const { return m_preview; }
  bool Running() const { return m_worker != nullptr; }
  bool Animating() const { return m_animating; }
  int FramesShown() const { return m_framesShown; }
  int PictureWidth() const { return m_width; }
  int PictureHeight() const { return m_height; }
  int WorkersStarted() const { return m_started; }
  // Where the preview is drawn: fitted into the panel and centred.
  QRect PreviewRect() const;

signals:
  // The same moments as Qt signals, for whoever waits on them.
  void PreviewStopped();
  void FrameShown();

protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

private:
  QSize Fitted() const;
  void StartWorker(const QString& name);
  void Serve();
  void WorkerEnded();
  void Stopped();
  void Settle();

  std::unique_ptr<TMakePreviewThread> m_worker;
  std::shared_ptr<TFrameClock> m_clock = SystemFrameClock();
  QImage m_preview;  // window thread only: what is shown
  QString m_currentName;
  QString m_requestedName;
  int m_width = 0, m_height = 0;  // the picture's as stored
  int m_drawnEnd = 0;             // rows of the preview drawn so far
  int m_framesShown = 0;
  int m_started = 0;
  bool m_complete = false;  // m_preview holds the whole of m_currentName
  bool m_failed = false;    // m_currentName can not be read
  bool m_animating = false;
  bool m_closing = false;
  bool m_sizeStable = true;
  QTimer m_settle;  // fits the preview again once a resize is over
};
