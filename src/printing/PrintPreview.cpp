#include "printing/PrintPreview.h"

#include <QLineF>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QResizeEvent>

#include <array>

namespace {

// Room left around the sheet in the panel.
constexpr int kSheetMargin = 50;
// Above this size the cover is drawn straight from the picture instead of
// keeping a scaled copy.
constexpr int kScaledCopyLimit = 4096;

const QColor kSilver(0xC0, 0xC0, 0xC0);

void DrawPrintedCover(QPainter& painter, const QImage& cover, const TRect& target, bool cuttingLine,
                      int pageWidth, int pageHeight)
{
  painter.drawImage(QRect(target.Left, target.Top, target.Width(), target.Height()), cover);
  if (!cuttingLine) return;
  // One printer pixel wide: through the middle of the row or column it marks.
  painter.setPen(QPen(Qt::black, 1, Qt::DotLine, Qt::FlatCap));
  for (int y : {target.Top - 1, target.Bottom}) painter.drawLine(QLineF(0, y + 0.5, pageWidth, y + 0.5));
  for (int x : {target.Left - 1, target.Right}) painter.drawLine(QLineF(x + 0.5, 0, x + 0.5, pageHeight));
  painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
}

}  // namespace

int PositionCodeOfItem(int item)
{
  static constexpr std::array<int, 9> codes = {cpCenter, cpTop, cpBottom, cpLeft, cpRight,
                                               cpLeftTop, cpRightTop, cpLeftBottom, cpRightBottom};
  return item >= 0 && item < int(codes.size()) ? codes[size_t(item)] : -1;
}

const QStringList& PositionItemNames()
{
  static const QStringList names = {"Center", "Top", "Bottom", "Left", "Right",
                                    "LeftTop", "RightTop", "LeftBottom", "RightBottom"};
  return names;
}

QSize FitSheet(int width, int height, int boxWidth, int boxHeight)
{
  if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return {};
  const double rx = double(width) / boxWidth;
  const double ry = double(height) / boxHeight;
  const double s = ry >= rx ? ry : rx;
  int w = RoundHalfEven(width / s);
  int h = RoundHalfEven(height / s);
  if (width > boxWidth || height > boxHeight) {
    if (w == 0) {
      w = 1;
      h = boxHeight;
    }
    if (h == 0) {
      h = 1;
      w = boxWidth;
    }
  }
  return {w, h};
}

// ---------------------------------------------------------------- paint box

// The surface the preview is painted on; its mouse events go to the preview.
class TPreviewPaintBox : public QWidget {
public:
  explicit TPreviewPaintBox(TPrintPreview* owner) : QWidget(owner), m_owner(owner)
  {
    setObjectName(QStringLiteral("pbPreview"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

protected:
  void paintEvent(QPaintEvent*) override
  {
    QPainter p(this);
    m_owner->Paint(p);
  }
  void mousePressEvent(QMouseEvent* e) override
  {
    const QPoint p = e->position().toPoint();
    m_owner->MouseDown(e->button(), p.x(), p.y());
  }
  void mouseMoveEvent(QMouseEvent* e) override
  {
    const QPoint p = e->position().toPoint();
    m_owner->MouseMove(p.x(), p.y());
  }
  void mouseReleaseEvent(QMouseEvent* e) override { m_owner->MouseUp(e->button()); }

private:
  TPrintPreview* m_owner;
};

// ---------------------------------------------------------------- preview

TPrintPreview::TPrintPreview(QWidget* parent) : QFrame(parent)
{
  setObjectName(QStringLiteral("PrintPreview"));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kSilver);
  setPalette(pal);
  m_paintBox = new TPreviewPaintBox(this);
  m_paintBox->hide();
}

TPrintPreview::~TPrintPreview() = default;

void TPrintPreview::SetCover(const QImage* cover)
{
  m_metrics = m_printer ? m_printer->Metrics() : TPrinterMetrics{};
  m_coverImage = cover;
  m_scaled = QImage();
  m_dragging = false;
  m_coverX = (m_metrics.PrintWidth - m_coverWidth) / 2 + m_metrics.OffsetX;
  m_coverY = (m_metrics.PrintHeight - m_coverHeight) / 2 + m_metrics.OffsetY;
  m_placedByPosition = false;
  m_metricsRead = true;
  Layout();
  m_paintBox->show();
  m_paintBox->update();
}

void TPrintPreview::SetActualSize()
{
  m_coverWidth = RoundHalfEven(m_metrics.DpiX * kCoverInches);
  m_coverHeight = RoundHalfEven(m_metrics.DpiY * kCoverInches);
  SetPosition(m_position);
}

void TPrintPreview::SetPosition(int code)
{
  if (code < 0 || code > 8) return;
  m_position = code;
  ApplyPosition();
  Layout();
  m_paintBox->update();
}

void TPrintPreview::SetCuttingLine(bool on)
{
  m_cuttingLine = on;
  // The edge positions leave room for the line; a dragged cover stays put.
  if (m_metricsRead && m_placedByPosition) {
    ApplyPosition();
    Layout();
  }
  m_paintBox->update();
}

void TPrintPreview::ApplyPosition()
{
  const TPrinterMetrics& m = m_metrics;
  // At the edges the cover lies inside the printable area, and so does the
  // cutting line when it is drawn: its last column and row as well as its
  // first ones.
  const int inset = m_cuttingLine ? 1 : 0;
  const int centreX = m.OffsetX + (m.PrintWidth - m_coverWidth) / 2;
  const int leftX = m.OffsetX + inset;
  const int rightX = m.OffsetX + m.PrintWidth - m_coverWidth - inset;
  const int centreY = m.OffsetY + (m.PrintHeight - m_coverHeight) / 2;
  const int topY = m.OffsetY + inset;
  const int bottomY = m.OffsetY + m.PrintHeight - m_coverHeight - inset;
  switch (m_position) {
    case cpTop: m_coverX = centreX, m_coverY = topY; break;
    case cpBottom: m_coverX = centreX, m_coverY = bottomY; break;
    case cpLeft: m_coverX = leftX, m_coverY = centreY; break;
    case cpRight: m_coverX = rightX, m_coverY = centreY; break;
    case cpLeftTop: m_coverX = leftX, m_coverY = topY; break;
    case cpRightTop: m_coverX = rightX, m_coverY = topY; break;
    case cpLeftBottom: m_coverX = leftX, m_coverY = bottomY; break;
    case cpRightBottom: m_coverX = rightX, m_coverY = bottomY; break;
    default: m_coverX = centreX, m_coverY = centreY; break;
  }
  m_placedByPosition = true;
}

void TPrintPreview::resizeEvent(QResizeEvent* event)
{
  QFrame::resizeEvent(event);
  Layout();
}

void TPrintPreview::Layout()
{
  m_paintBox->setGeometry(contentsRect());
  if (!m_metricsRead) return;
  const int width = m_paintBox->width();
  const int height = m_paintBox->height();
  const TPrinterMetrics& m = m_metrics;
  const QSize page = FitSheet(m.PaperWidth, m.PaperHeight, width - kSheetMargin, height - kSheetMargin);
  if (page.isEmpty()) {
    m_previewScale = 0.0;
    m_pageRect = m_coverRect = TRect{};
    m_areaX = m_areaY = m_areaWidth = m_areaHeight = 0;
    return;
  }
  m_previewScale = double(page.width()) / m.PaperWidth;
  m_pageRect.Left = (width - page.width()) / 2;
  m_pageRect.Top = (height - page.height()) / 2;
  m_pageRect.Right = m_pageRect.Left + page.width();
  m_pageRect.Bottom = m_pageRect.Top + page.height();
  if (m_coverImage) {
    m_coverRect.Left = m_pageRect.Left + RoundHalfEven(m_coverX * m_previewScale);
    m_coverRect.Top = m_pageRect.Top + RoundHalfEven(m_coverY * m_previewScale);
    m_coverRect.Right = m_coverRect.Left + RoundHalfEven(m_coverWidth * m_previewScale);
    m_coverRect.Bottom = m_coverRect.Top + RoundHalfEven(m_coverHeight * m_previewScale);
  }
  m_areaX = RoundHalfEven(m.OffsetX * m_previewScale);
  m_areaY = RoundHalfEven(m.OffsetY * m_previewScale);
  m_areaWidth = RoundHalfEven(m.PrintWidth * m_previewScale);
  m_areaHeight = RoundHalfEven(m.PrintHeight * m_previewScale);
}

void TPrintPreview::Paint(QPainter& p)
{
  const QRect box = m_paintBox->rect();
  p.fillRect(box, kSilver);
  if (!m_metricsRead || m_previewScale <= 0.0) return;
  const TRect& page = m_pageRect;
  p.fillRect(QRect(page.Left, page.Top, page.Width(), page.Height()), Qt::white);

  const TRect& c = m_coverRect;
  if (m_coverImage && !m_coverImage->isNull() && c.Width() > 0 && c.Height() > 0) {
    const QRect target(c.Left, c.Top, c.Width(), c.Height());
    if (c.Width() <= kScaledCopyLimit && c.Height() <= kScaledCopyLimit) {
      if (m_scaled.size() != target.size() || m_scaledFrom != m_coverImage->cacheKey()) {
        m_scaled = m_coverImage->scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_scaledFrom = m_coverImage->cacheKey();
      }
      p.drawImage(target.topLeft(), m_scaled);
    } else {
      p.drawImage(target, *m_coverImage);
    }
  }

  // The printable area, in red across the whole box.
  p.setPen(QPen(QColor(0xFF, 0, 0), 0, Qt::SolidLine));
  for (int y : {page.Top + m_areaY, page.Top + m_areaY + m_areaHeight}) p.drawLine(0, y, box.width(), y);
  for (int x : {page.Left + m_areaX, page.Left + m_areaX + m_areaWidth}) p.drawLine(x, 0, x, box.height());

  if (m_cuttingLine && m_coverImage) {
    p.setPen(QPen(Qt::black, 0, Qt::DotLine));
    for (int y : {c.Top - 1, c.Bottom}) p.drawLine(page.Left, y, page.Right, y);
    for (int x : {c.Left - 1, c.Right}) p.drawLine(x, page.Top, x, page.Bottom);
    p.setPen(QPen(Qt::black, 0, Qt::SolidLine));
  }
}

void TPrintPreview::MouseDown(Qt::MouseButton button, int x, int y)
{
  if (button != Qt::LeftButton || !m_metricsRead || !m_coverImage) return;
  if (!PointInRect(x, y, m_coverRect)) return;
  m_dragging = true;
  m_lastX = x;
  m_lastY = y;
}

void TPrintPreview::MouseMove(int x, int y)
{
  const bool overCover = m_metricsRead && m_coverImage && PointInRect(x, y, m_coverRect);
  m_paintBox->setCursor(overCover ? Qt::PointingHandCursor : Qt::ArrowCursor);
  if (!m_dragging || m_previewScale <= 0.0) return;
  const int dx = x - m_lastX;
  const int dy = y - m_lastY;
  m_coverRect.Left += dx;
  m_coverRect.Right += dx;
  m_coverRect.Top += dy;
  m_coverRect.Bottom += dy;
  m_lastX = x;
  m_lastY = y;
  m_coverX = RoundHalfEven((m_coverRect.Left - m_pageRect.Left) / m_previewScale);
  m_coverY = RoundHalfEven((m_coverRect.Top - m_pageRect.Top) / m_previewScale);
  m_placedByPosition = false;
  m_paintBox->update();
}

void TPrintPreview::MouseUp(Qt::MouseButton button)
{
  if (button == Qt::LeftButton) m_dragging = false;
}

bool TPrintPreview::PrintCover(const QImage& cover, const QString& title, QString& error)
{
  if (!m_printer || !m_metricsRead) {
    error = QStringLiteral("The printer has not been measured yet.");
    return false;
  }
  const TPrinterMetrics m = m_metrics;
  TRect target;
  target.Left = m_coverX - m.OffsetX;
  target.Top = m_coverY - m.OffsetY;
  target.Right = target.Left + m_coverWidth;
  target.Bottom = target.Top + m_coverHeight;
  const bool line = m_cuttingLine;
  return m_printer->Print(
      title, [&](QPainter& p) { DrawPrintedCover(p, cover, target, line, m.PrintWidth, m.PrintHeight); }, error);
}
