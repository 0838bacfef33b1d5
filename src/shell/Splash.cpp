#include "shell/Splash.h"

#include "shell/Main.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>

#include <algorithm>

namespace {

// The text column right of the disc, and the status line at the bottom.
constexpr qreal kColumnLeft = 202;
constexpr qreal kColumnRight = 368;
constexpr qreal kStatusLeft = 16;
constexpr qreal kStatusBaseline = 261;

// Width `text` takes when drawn in `metrics`, including any overhang of its
// last glyph past the advance.
qreal DrawnWidth(const QFontMetricsF& metrics, const QString& text)
{
  return std::max(metrics.horizontalAdvance(text), metrics.tightBoundingRect(text).right());
}

// `font` at the largest pixel size, at most `largest`, at which `text` fits
// into `width` on `device` (whose resolution changes hinting and widths).
QFont Fitted(QFont font, const QString& text, qreal width, int largest, const QPaintDevice* device)
{
  for (int size = largest; size > 6; --size) {
    font.setPixelSize(size);
    if (DrawnWidth(QFontMetricsF(font, device), text) <= width) return font;
  }
  font.setPixelSize(6);
  return font;
}

}  // namespace

TfrmSplash::TfrmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
  InitJacketeerResources();
  setObjectName(QStringLiteral("frmSplash"));
  setFixedSize(382, 274);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

void TfrmSplash::paintEvent(QPaintEvent*)
{
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QSvgRenderer svg(QStringLiteral(":/splash.svg"));
  if (svg.isValid()) svg.render(&p, QRectF(rect()));
  else p.fillRect(rect(), QColor(0x1c, 0x2c, 0x4c));

  // Every text is sized from the metrics of the font it is drawn in, so it
  // fits its place whatever the fonts and the screen's scale.
  QFont base(QStringLiteral("DejaVu Sans"));
  base.setStyleHint(QFont::SansSerif);
  const qreal column = kColumnRight - kColumnLeft;

  const QString title = QStringLiteral("Jacketeer");
  QFont titleFont = base;
  titleFont.setBold(true);
  titleFont = Fitted(titleFont, title, column, 34, p.device());
  const QFontMetricsF titleMetrics(titleFont, p.device());
  const QStringList lines{QStringLiteral("CD and DVD covers"), QStringLiteral("designed and printed")};
  int lineSize = 13;  // one size for both lines: the one the longer needs
  for (const QString& line : lines)
    lineSize = std::min(lineSize, Fitted(base, line, column, 13, p.device()).pixelSize());
  QFont lineFont = base;
  lineFont.setPixelSize(lineSize);
  const QFontMetricsF lineMetrics(lineFont, p.device());

  // The block of title and lines sits centred on the disc's height.
  const qreal blockHeight = titleMetrics.height() + lines.size() * lineMetrics.lineSpacing();
  qreal baseline = 120 - blockHeight / 2 + titleMetrics.ascent();
  p.setFont(titleFont);
  p.setPen(Qt::white);
  p.drawText(QPointF(kColumnLeft, baseline), title);
  baseline += titleMetrics.descent() + lineMetrics.leading() + lineMetrics.ascent() + 2;
  p.setFont(lineFont);
  p.setPen(QColor(0xc9, 0xd6, 0xee));
  for (const QString& line : lines) {
    p.drawText(QPointF(kColumnLeft + 2, baseline), line);
    baseline += lineMetrics.lineSpacing();
  }

  const QString status = QStringLiteral("Starting…");
  p.setFont(Fitted(base, status, width() - 2 * kStatusLeft, 12, p.device()));
  p.setPen(QColor(0xe0, 0xe7, 0xf3));
  p.drawText(QPointF(kStatusLeft, kStatusBaseline), status);
}
