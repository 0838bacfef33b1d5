#include "imageeditor/BaseImageEditor.h"

#include "codecs/Codec.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

// ---------------------------------------------------------------- TViewBox

TViewBox::TViewBox(TBaseImageEditor& owner) : QWidget(&owner), m_owner(owner)
{
  setObjectName(QStringLiteral("ViewBox"));
  // Every pixel is painted by the panel; no background fill first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::PointingHandCursor);
}

void TViewBox::paintEvent(QPaintEvent* e)
{
  m_owner.PaintView(e);
}

void TViewBox::mousePressEvent(QMouseEvent* e)
{
  const QPoint p = e->position().toPoint();
  m_owner.ViewMouseDown(e->button(), p.x(), p.y());
}

void TViewBox::mouseMoveEvent(QMouseEvent* e)
{
  const QPoint p = e->position().toPoint();
  m_owner.ViewMouseMove(p.x(), p.y());
}

void TViewBox::mouseReleaseEvent(QMouseEvent* e)
{
  if (e->button() == Qt::LeftButton) m_owner.ViewMouseUp();
}

void TViewBox::resizeEvent(QResizeEvent* e)
{
  QWidget::resizeEvent(e);
  m_owner.FitView();
}

// ---------------------------------------------------------------- TBaseImageEditor

TBaseImageEditor::TBaseImageEditor(QWidget* parent, const QImage& initialPicture) : QFrame(parent)
{
  setObjectName(QStringLiteral("ImageEditor"));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor::fromRgb(kBackColor));
  setPalette(pal);
  setCursor(Qt::PointingHandCursor);

  m_viewBox = new TViewBox(*this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_viewBox);

  if (!initialPicture.isNull()) m_bitmap = initialPicture.convertToFormat(QImage::Format_BGR888);
  ResetView();
}

void TBaseImageEditor::SetBitmap(const QImage& source)
{
  m_bitmap = source.isNull() || source.format() == QImage::Format_BGR888
                 ? source
                 : source.convertToFormat(QImage::Format_BGR888);
  ResetView();
}

void TBaseImageEditor::CopyToClipboard() const
{
  if (m_bitmap.isNull()) return;
  QApplication::clipboard()->setImage(m_bitmap);
}

bool TBaseImageEditor::ClipboardPicture(QImage& picture, QString& error)
{
  const QMimeData* data = QApplication::clipboard()->mimeData();
  error.clear();
  if (!data || !data->hasImage()) return false;
  const QImage image = qvariant_cast<QImage>(data->imageData());
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
    error = QStringLiteral("The picture on the clipboard can not be read.");
    return false;
  }
  if (image.width() > kMaxImageSide || image.height() > kMaxImageSide ||
      int64_t(image.width()) * image.height() > kMaxImagePixels) {
    error = QStringLiteral("The picture on the clipboard is too large to edit (%1 × %2 pixels).")
                .arg(image.width())
                .arg(image.height());
    return false;
  }
  QImage converted;
  if (image.hasAlphaChannel()) {
    // Transparent parts come out white, as in pictures read from files.
    QImage white(image.size(), QImage::Format_RGB32);
    if (!white.isNull()) {
      white.fill(Qt::white);
      QPainter p(&white);
      p.drawImage(0, 0, image);
      p.end();
      converted = white.convertToFormat(QImage::Format_BGR888);
    }
  } else {
    converted = image.convertToFormat(QImage::Format_BGR888);
  }
  if (converted.isNull()) {
    error = QStringLiteral("There is not enough memory for the picture on the clipboard.");
    return false;
  }
  picture = converted;
  return true;
}

void TBaseImageEditor::ResetView()
{
  setCursor(Qt::PointingHandCursor);
  m_dragging = false;
  m_pictureWidth = m_bitmap.width();
  m_pictureHeight = m_bitmap.height();
  m_viewWidth = m_viewBox->width();
  m_viewHeight = m_viewBox->height();
  m_left = 0;
  m_top = 0;
  m_right = m_viewWidth;
  m_bottom = m_viewHeight;
  SyncViewRect();
}

namespace {

// One axis of fitting: low/high are the view's edges in picture coordinates.
void FitAxis(int& low, int& high, int viewSize, int pictureSize)
{
  high = low + viewSize;
  if (viewSize >= pictureSize) {
    // Centred; C++ division truncates toward zero, so the odd pixel of an
    // odd difference falls after the picture.
    low = (pictureSize - viewSize) / 2;
    high = low + viewSize;
  } else if (low + viewSize > pictureSize) {
    high = pictureSize;
    low = pictureSize - viewSize;
  } else if (low < 0) {
    low = 0;
    high = viewSize;
  }
}

}  // namespace

void TBaseImageEditor::FitView()
{
  if (!m_viewBox) return;
  m_viewWidth = m_viewBox->width();
  m_viewHeight = m_viewBox->height();
  FitAxis(m_left, m_right, m_viewWidth, m_pictureWidth);
  FitAxis(m_top, m_bottom, m_viewHeight, m_pictureHeight);
  SyncViewRect();
}

void TBaseImageEditor::RefreshView()
{
  // A preview keeps the part of the picture the user panned to; a picture
  // of another size starts again at its top-left corner.
  if (m_bitmap.width() != m_pictureWidth || m_bitmap.height() != m_pictureHeight) ResetView();
  m_dragging = false;
  FitView();
  m_viewBox->update();
}

void TBaseImageEditor::PaintView(QPaintEvent* e)
{
  QPainter p(m_viewBox);
  const QRect dirty = e->rect();
  // Where the picture lies in view coordinates.
  const QRect picture = QRect(-m_left, -m_top, m_bitmap.width(), m_bitmap.height()).intersected(dirty);
  const QRegion back = QRegion(dirty).subtracted(picture);
  for (const QRect& r : back) p.fillRect(r, QColor::fromRgb(kBackColor));
  if (!picture.isEmpty() && !m_bitmap.isNull())
    p.drawImage(picture, m_bitmap, picture.translated(m_left, m_top));
}

void TBaseImageEditor::ViewMouseDown(Qt::MouseButton button, int x, int y)
{
  if (button != Qt::LeftButton) return;
  m_dragX = x;
  m_dragY = y;
  m_dragging = true;
}

int TBaseImageEditor::PanAxis(int& low, int& high, int delta, int pictureSize)
{
  const int size = high - low;
  const int oldLow = low;
  low += delta;
  high += delta;
  if (low < 0) {
    low = 0;
    high = size;
  } else if (high > pictureSize) {
    high = pictureSize;
    low = pictureSize - size;
  }
  return low - oldLow;
}

void TBaseImageEditor::ViewMouseMove(int x, int y)
{
  if (!m_dragging) return;
  // An axis pans only when the picture is larger than the view on it. The
  // position taken into account is the mouse position less what could not be
  // applied at an edge, so the picture point under the mouse stays tied to
  // where the edge was reached.
  int dx = 0, dy = 0;
  int currentX = x, currentY = y;
  if (m_right - m_left < m_pictureWidth) {
    dx = PanAxis(m_left, m_right, m_dragX - x, m_pictureWidth);
    currentX = m_dragX - dx;
  }
  if (m_bottom - m_top < m_pictureHeight) {
    dy = PanAxis(m_top, m_bottom, m_dragY - y, m_pictureHeight);
    currentY = m_dragY - dy;
  }
  SyncViewRect();
  // Only the strips that come into view are painted again.
  if (dx != 0 || dy != 0) m_viewBox->scroll(-dx, -dy);
  m_dragX = currentX;
  m_dragY = currentY;
}

void TBaseImageEditor::ViewMouseUp()
{
  m_dragging = false;
}
