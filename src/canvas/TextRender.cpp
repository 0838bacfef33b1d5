#include "canvas/TextRender.h"

#include "canvas/Layer.h"
#include "imagelib/ImageLoader.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>

#include <algorithm>
#include <cstdint>

namespace {

// A font of the face and styles whose cell (ascent plus descent) is exactly
// `cellHeight` pixels where the face allows it, otherwise the largest cell
// below it. The pixel size found is remembered per face, styles and height.
QFont FontForCell(const QString& face, uint8_t styles, int cellHeight, bool antialias)
{
  QFont font(face);
  font.setBold(styles & fsBold);
  font.setItalic(styles & fsItalic);
  font.setUnderline(styles & fsUnderline);
  font.setStrikeOut(styles & fsStrikeOut);
  font.setStyleStrategy(antialias ? QFont::PreferAntialias : QFont::NoAntialias);
  font.setHintingPreference(QFont::PreferNoHinting);
  cellHeight = std::max(cellHeight, 1);

  thread_local QHash<QString, int> sizes;
  const QString key = face + QChar(0x1F) + QString::number(styles) + QChar(0x1F) + QString::number(cellHeight);
  auto it = sizes.constFind(key);
  if (it != sizes.constEnd()) {
    font.setPixelSize(*it);
    return font;
  }
  auto cell = [&](int px) {
    font.setPixelSize(px);
    return QFontMetrics(font).height();
  };
  // The cell grows with the pixel size: find the largest size whose cell fits.
  int lo = 1, hi = std::max(2, cellHeight);
  while (cell(hi) <= cellHeight && hi < (1 << 16)) hi *= 2;
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    if (cell(mid) <= cellHeight) lo = mid;
    else hi = mid;
  }
  if (sizes.size() > 4096) sizes.clear();
  sizes.insert(key, lo);
  font.setPixelSize(lo);
  return font;
}

// Texts up to this length are measured whole; longer ones in pieces of it,
// summed in 64 bits (a long text at a large size overflows 32 bits).
constexpr qsizetype kMeasurePiece = 4096;
// The widest canvas a text is drawn on; what lies beyond could never be seen
// once the text is reduced into its box.
constexpr int kMaxCanvasWidth = 32000;

// The text's width when it is at most `limit`, else some width above it
// (measuring stops there: a long text need not be laid out whole to know).
int64_t TextWidth(const QFont& font, const QString& text, int64_t limit = INT64_MAX)
{
  const QFontMetrics fm(font);
  if (text.size() <= kMeasurePiece) return fm.horizontalAdvance(text);
  int64_t sum = 0;
  for (qsizetype at = 0; at < text.size() && sum <= limit; at += kMeasurePiece)
    sum += fm.horizontalAdvance(text.mid(at, kMeasurePiece));
  return sum;
}

// The start of `text` that covers at least `width` pixels (all of it when it
// is narrower), so a text far wider than its canvas is not laid out whole.
QString VisiblePart(const QFont& font, const QString& text, int64_t width)
{
  if (text.size() <= kMeasurePiece) return text;
  const QFontMetrics fm(font);
  int64_t sum = 0;
  for (qsizetype at = 0; at < text.size(); at += kMeasurePiece) {
    sum += fm.horizontalAdvance(text.mid(at, kMeasurePiece));
    if (sum > width) return text.left(at + kMeasurePiece);
  }
  return text;
}

// A white 24-bit bitmap with black text drawn by `draw` on an opaque white cell.
template <typename DrawFn>
QImage DrawText(int width, int height, const QFont& font, DrawFn draw)
{
  QImage canvas(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  if (canvas.isNull()) return QImage();
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    p.setFont(font);
    p.setPen(Qt::black);
    p.setBackground(Qt::white);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setRenderHint(QPainter::TextAntialiasing, font.styleStrategy() != QFont::NoAntialias);
    draw(p, QFontMetrics(font));
  }
  return canvas.convertToFormat(QImage::Format_BGR888);
}

void Blur(QImage& t, int height)
{
  if (height <= 200) {
    Smooth3x3(t, 1);
  } else if (height <= 400) {
    DiagonalBlurPasses(t, 1);
    Smooth3x3(t, 3);
  } else if (height <= 800) {
    DiagonalBlurPasses(t, 2);
    Smooth3x3(t, 3);
  } else {
    DiagonalBlurPasses(t, 3);
    Smooth3x3(t, 3);
    Smooth3x3(t, 3);
  }
}

// From the drawn text T to the finished picture and mask: shadow or flat
// colour, crop to the ink, reduce into the box, centre.
void Finish(QImage t, TColor color, bool shadow, int blurHeight, int offset, int boxWidth, int boxHeight,
            QImage& picture, QImage& mask)
{
  QImage s;
  if (shadow) {
    const QImage q = t.copy();
    Blur(t, blurHeight);
    BlendBitmap(t, NewBitmap(t.width(), t.height(), 0x000000), &q, offset, offset, 0, true);
    s = t.copy();
    FillBitmap(t, 0x000000);
    BlendBitmap(t, NewBitmap(t.width(), t.height(), color), &q, offset, offset, 0, true);
    CropToContent(s, t);
  } else {
    s = t.copy();
    CropToContent(t, s);
    FillBitmap(t, color);
  }
  const QSize fit = ShrinkToBox(t.width(), t.height(), boxWidth, boxHeight);
  const int w = std::max(fit.width() - 3, 1), h = std::max(fit.height() - 3, 1);
  QImage p, k;
  ResampleBitmap(t, p, w, h, 0xFFFFFF);
  ResampleBitmap(s, k, w, h, 0xFFFFFF);
  if (!shadow) {
    Sharpen3x3(p, 1);
    Sharpen3x3(k, 1);
  }
  picture = NewBitmap(boxWidth, boxHeight);
  DrawBitmap(picture, p, (boxWidth - p.width()) / 2, (boxHeight - p.height()) / 2);
  mask = NewBitmap(boxWidth, boxHeight);
  DrawBitmap(mask, k, (boxWidth - k.width()) / 2, (boxHeight - k.height()) / 2);
  for (int y = 0; y < mask.height(); ++y) {
    uint8_t* row = mask.scanLine(y);
    for (int x = 0; x < boxWidth; ++x) row[3 * x] = 0;
  }
}

}  // namespace

QString TrackLineForDisplay(const QString& line)
{
  QString s = line;
  const qsizetype at = s.indexOf(QStringLiteral("|||"));
  if (at >= 0) s.replace(at, 3, QStringLiteral(" "));
  return s;
}

void RenderTextBitmap(const QString& text, const QString& fontName, TColor color, uint8_t fontStyles, bool shadow,
                      bool smooth, int boxWidth, int boxHeight, QImage& picture, QImage& mask)
{
  boxWidth = std::max(boxWidth, 1);
  boxHeight = std::max(boxHeight, 1);
  const int s = smooth ? 4 : 1;
  const int step = 10 * s;
  const int maxWidth = s * (boxWidth - 6);
  // The largest height of the candidates h0, h0 − step, … at which the text
  // fits the width (the last candidate when none does), then one step more:
  // the crop and reduction below bring it into the box. Widths grow with the
  // height, so the candidate is found by bisection.
  const int h0 = std::max(s * (boxHeight - 6), 1);
  const int last = h0 - step > 0 ? (h0 - 1) / step : 0;  // candidates k = 0 … last
  auto fits = [&](int k) {
    return TextWidth(FontForCell(fontName, fontStyles, h0 - k * step, smooth), text, maxWidth) <= maxWidth;
  };
  int lo = 0, hi = last;  // the first fitting candidate lies in [lo, hi]; hi when none fits
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (fits(mid)) hi = mid;
    else lo = mid + 1;
  }
  const int h = h0 - lo * step + step;

  const QFont font = FontForCell(fontName, fontStyles, h, smooth);
  const int wW = int(TextWidth(font, QStringLiteral("W")));
  const int64_t width = TextWidth(font, text, kMaxCanvasWidth) + wW;
  const QString drawn = width > kMaxCanvasWidth ? VisiblePart(font, text, kMaxCanvasWidth) : text;
  QImage t = DrawText(int(std::min<int64_t>(width, kMaxCanvasWidth)), h, font,
                      [&](QPainter& p, const QFontMetrics& fm) { p.drawText(wW / 2, fm.ascent(), drawn); });
  if (t.isNull()) {  // not enough memory: nothing is drawn
    picture = mask = QImage();
    return;
  }
  if (smooth) ShrinkBitmap(t, 4);
  const int offset = std::min(-1, -(boxHeight - 6) / 40);
  Finish(t, color, shadow, h, offset, boxWidth, boxHeight, picture, mask);
}

void RenderTracksBitmap(const QStringList& tracks, const QString& fontName, TColor color, uint8_t fontStyles,
                        bool shadow, bool smooth, int /*lineSpace: spacing follows from the box*/, int boxWidth,
                        int boxHeight, uint8_t alignment, QImage& picture, QImage& mask)
{
  boxWidth = std::max(boxWidth, 1);
  boxHeight = std::max(boxHeight, 1);
  QStringList lines;
  for (const QString& line : tracks) lines << TrackLineForDisplay(line);
  if (lines.isEmpty()) lines << QString();
  const int n = int(lines.size());
  const int s = smooth ? 4 : 1;
  const int area = std::max(s * (boxHeight - 6), 1);
  const int maxWidth = s * (boxWidth - 6);
  const int slot = area / n;
  int f = std::max(area / n, 1);

  QFont font = FontForCell(fontName, fontStyles, f, smooth);
  int k = 0;
  {
    int widest = -1;
    for (int i = 0; i < n; ++i) {
      const int w = int(std::min<int64_t>(TextWidth(font, lines[i], kMaxCanvasWidth), kMaxCanvasWidth));
      if (w > widest) {
        widest = w;
        k = i;
      }
    }
  }
  const int step = smooth ? 10 : 3;
  while (f - step > 0) {
    font = FontForCell(fontName, fontStyles, f, smooth);
    if (TextWidth(font, lines[k]) <= maxWidth && slot >= QFontMetrics(font).height()) break;
    f -= step;
  }
  font = FontForCell(fontName, fontStyles, f, smooth);

  const int wWW = int(TextWidth(font, QStringLiteral("WW")));
  const int widthK = int(std::min<int64_t>(TextWidth(font, lines[k], kMaxCanvasWidth), kMaxCanvasWidth));
  const int m = wWW / 3;
  const int g = (slot - f) / 2;
  const int r = widthK + m;
  QImage t = DrawText(widthK + wWW, area, font, [&](QPainter& p, const QFontMetrics& fm) {
    for (int i = 0; i < n; ++i) {
      const int wi = fm.horizontalAdvance(lines[i]);
      int x = m;
      if (alignment == taRight) x = m + r - wi;
      else if (alignment == taCenter) x = (r - wi) / 2 + m;
      p.drawText(x, i * (2 * g + f) + fm.ascent(), lines[i]);
    }
  });
  if (smooth) ShrinkBitmap(t, 4);
  const int offset = std::min(-1, -(f / 4) / 40);
  Finish(t, color, shadow, f, offset, boxWidth, boxHeight, picture, mask);
}
