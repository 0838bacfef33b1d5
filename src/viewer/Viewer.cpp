#include "viewer/Viewer.h"

#include "imagelib/ImageLoader.h"
#include "viewer/ViewerText.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>

#include <cstring>

TViewer::TViewer(QWidget* parent) : QWidget(parent)
{
  setObjectName(QStringLiteral("Viewer"));
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  setMinimumSize(1, 1);
  m_settle.setSingleShot(true);
  m_settle.setInterval(100);
  connect(&m_settle, &QTimer::timeout, this, [this] { Settle(); });
}

TViewer::~TViewer()
{
  m_worker.reset();  // tells it to stop and waits
}

QSize TViewer::Fitted() const
{
  return ShrinkToBox(m_width, m_height, width(), height());
}

QRect TViewer::PreviewRect() const
{
  if (m_preview.isNull()) return QRect();
  // The picture's own size fitted into the panel; while the panel is
  // resized the preview is stretched to it until it is made again.
  const QSize s = m_animating || m_width <= 0 ? ShrinkToBox(m_preview.width(), m_preview.height(), width(), height())
                                              : Fitted();
  return QRect((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height());
}

void TViewer::LoadFile(const QString& name)
{
  m_requestedName = name;
  if (name.trimmed().isEmpty()) return;
  if (m_worker) {
    // Already loading this picture for this size: let it go on.
    if (name == m_currentName && m_worker->Box() == size() && !m_worker->Terminated()) return;
    m_worker->Terminate();  // its end loads the latest request
    return;
  }
  if (name == m_currentName && (m_failed || (m_complete && m_preview.size() == Fitted()))) return;
  StartWorker(name);
}

void TViewer::StartWorker(const QString& name)
{
  if (m_currentName != name) {
    m_width = m_height = 0;
    m_failed = false;
  }
  m_currentName = name;
  m_complete = false;
  m_animating = false;
  m_framesShown = 0;
  m_drawnEnd = 0;
  m_preview = QImage();
  update();
  const TColor back = MakeColor(palette().window().color().red(), palette().window().color().green(),
                                palette().window().color().blue());
  m_worker = std::make_unique<TMakePreviewThread>(name, size(), back, m_clock);
  ++m_started;
  connect(m_worker.get(), &TMakePreviewThread::PresentReady, this, [this] { Serve(); }, Qt::QueuedConnection);
  connect(m_worker.get(), &QThread::finished, this, [this] { WorkerEnded(); }, Qt::QueuedConnection);
  m_worker->start(QThread::NormalPriority);
}

void TViewer::Serve()
{
  if (!m_worker) return;
  m_worker->Serve([this](const TMakePreviewThread::TPresent& r, const QImage& picture) {
    if (picture.isNull() || picture.format() != QImage::Format_BGR888) return;
    if (m_preview.size() != picture.size() || m_preview.format() != picture.format()) {
      m_preview = QImage(picture.size(), QImage::Format_BGR888);
      if (m_preview.isNull()) return;
      m_preview.fill(palette().window().color());
      m_drawnEnd = 0;
    }
    const int h = picture.height();
    int first = 0, end = h;
    if (r.Kind == TMakePreviewThread::pkBand) {
      if (!m_sizeStable) return;
      const TRowBand band = PreviewBand(h, r.Percent);
      // Rows skipped by a jump of the percentage are drawn with the band.
      first = r.Percent >= 0 ? std::min(band.First, m_drawnEnd) : band.First;
      end = band.End;
      if (r.Percent >= 0) m_drawnEnd = std::max(m_drawnEnd, end);
    } else {
      m_animating = true;
      ++m_framesShown;
      QMetaObject::invokeMethod(this, &TViewer::FrameShown, Qt::QueuedConnection);
    }
    const size_t bytes = size_t(picture.width()) * 3;
    for (int y = first; y < end; ++y) std::memcpy(m_preview.scanLine(y), picture.constScanLine(y), bytes);
    if (end <= first) return;
    const QRect target = PreviewRect();
    if (r.Kind == TMakePreviewThread::pkFrame || target.height() == 0) {
      update(target);
    } else {
      const int top = target.top() + int(qint64(first) * target.height() / h);
      const int bottom = target.top() + int((qint64(end) * target.height() + h - 1) / h);
      update(QRect(target.left(), top - 1, target.width(), bottom - top + 2));
    }
  });
}

void TViewer::WorkerEnded()
{
  if (!m_worker) return;
  std::unique_ptr<TMakePreviewThread> worker = std::move(m_worker);
  worker->wait();
  const bool stopped = worker->Terminated();
  const bool failed = worker->Failed();
  if (worker->FileName() == m_currentName) {
    m_width = worker->PictureWidth();
    m_height = worker->PictureHeight();
  }
  if (failed) {
    m_preview = QImage();
    m_failed = !stopped;
  } else if (!stopped) {
    QImage done = worker->TakePreview();
    if (!done.isNull()) m_preview = done;
    m_complete = true;
  }
  m_animating = false;
  worker.reset();
  update();

  if (m_closing) {
    m_closing = false;
    Stopped();
    return;
  }
  if (!m_requestedName.isEmpty() && m_requestedName == m_currentName && (m_complete || m_failed)) {
    Stopped();
    return;
  }
  if (m_sizeStable) LoadFile(m_requestedName);
  if (!m_worker) Stopped();
}

void TViewer::Stopped()
{
  if (OnStopped) OnStopped();
  emit PreviewStopped();
}

void TViewer::ClearPreview()
{
  if (m_worker)
    m_worker->Terminate();
  else
    Stopped();
  m_currentName.clear();
  m_requestedName.clear();
  m_complete = m_failed = false;
  if (!m_preview.isNull()) m_preview.fill(palette().window().color());
  update();
}

void TViewer::StopPreview()
{
  m_closing = true;
  if (m_worker) {
    m_animating = false;
    m_preview = QImage();
    m_complete = false;
    m_worker->Terminate();
  } else {
    m_closing = false;
    Stopped();
  }
  update();
}

void TViewer::ResizeDone()
{
  m_sizeStable = true;
  // A request that came while the panel was resized goes first.
  LoadFile(m_requestedName.isEmpty() ? m_currentName : m_requestedName);
}

void TViewer::GetFullPicture(QImage& bitmap, QString& name) const
{
  name = m_currentName;
  if (name.isEmpty()) return;
  if (m_complete && !m_animating && m_preview.width() < width() && m_preview.height() < height() &&
      m_preview.width() == m_width && m_preview.height() == m_height) {
    bitmap = m_preview.copy();
    return;
  }
  QImage full;
  int w = 0, h = 0;
  if (LoadPreviewFile(name, full, nullptr, 0xFFFFFF, 0, 0, &w, &h, true)) bitmap = full;
}

void TViewer::paintEvent(QPaintEvent* e)
{
  QPainter p(this);
  p.fillRect(e->rect(), palette().window());
  if (m_preview.isNull()) return;
  p.setRenderHint(QPainter::SmoothPixmapTransform, !m_sizeStable || m_animating);
  p.drawImage(PreviewRect(), m_preview);
}

void TViewer::resizeEvent(QResizeEvent* e)
{
  QWidget::resizeEvent(e);
  update();
  // While a splitter or the window border is dragged the preview is only
  // stretched; it is fitted again once the button is let go.
  m_sizeStable = false;
  m_settle.start();
}

void TViewer::Settle()
{
  if (QGuiApplication::mouseButtons() & Qt::LeftButton) {
    m_settle.start();
    return;
  }
  ResizeDone();
}
