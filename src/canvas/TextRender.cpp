#include "canvas/TextRender.h"

#include "canvas/Layer.h"
#include "imagelib/ImageLoader.h"

#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

QHash<QString, int>& FontSizes()
{
  thread_local QHash<QString, int> sizes;
  return sizes;
}

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

  QHash<QString, int>& sizes = FontSizes();
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

void PreparePainter(QPainter& p, const QFont& font)
{
  p.setFont(font);
  p.setPen(Qt::black);
  p.setBackground(Qt::white);
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setRenderHint(QPainter::TextAntialiasing, font.styleStrategy() != QFont::NoAntialias);
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
    PreparePainter(p, font);
    draw(p, QFontMetrics(font));
  }
  return canvas.convertToFormat(QImage::Format_BGR888);
}

// ---------------------------------------------------------------- glyph tiles
//
// Large glyphs are filled as outlines, which costs far more than anything
// else in rendering a text, and the same glyphs come back at the same places
// again and again (every layer of a project in one face and box, the digits
// of numbers). Where the glyphs of a line reach into disjoint pixel columns,
// the pixels in a glyph's columns depend on that glyph and its exact place
// alone. So such a line, once drawn, leaves a tile per glyph, and a later
// line made only of known glyphs at known places is put together from the
// tiles, pixel for pixel as drawing it would give. Any other line is drawn.

// The pixels of one glyph's columns as drawn black on white (grey levels:
// black on white gives equal channels), rows clipped to the canvas.
struct TGlyphTile {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  std::vector<uint8_t> Grey;
};

constexpr size_t kTileCacheBytes = size_t(48) << 20;  // then all tiles are dropped
constexpr qsizetype kMaxTiledText = 256;

struct TGlyphCache {
  QHash<QString, std::shared_ptr<const TGlyphTile>> Tiles;
  QHash<QString, QRectF> Reach;  // outline bounds per face, size and glyph
  size_t Bytes = 0;
};

TGlyphCache& GlyphCache()
{
  thread_local TGlyphCache cache;
  return cache;
}

QString FontKey(const QFont& font)
{
  return font.key() + QChar(0x1F) + QString::number(int(font.styleStrategy())) + QChar(0x1F) +
         QString::number(int(font.hintingPreference()));
}

struct TPlacedGlyph {
  QString Key;      // glyph, face, size and exact place
  int Left, Right;  // the columns its outline can reach
  std::shared_ptr<const TGlyphTile> Tile;
};

// The glyphs of `text` drawn at (x, baseline) with the columns they reach;
// false when the line is not one whose glyphs keep apart on the canvas.
bool PlaceGlyphs(const QFont& font, const QString& text, int x, int baseline, const QSize& canvas,
                 std::vector<TPlacedGlyph>& placed)
{
  // Long texts are not the ones that come back; laying them out once more
  // would cost more than tiles could save.
  if (font.underline() || font.strikeOut() || font.overline() || text.isEmpty() || text.size() > kMaxTiledText)
    return false;
  // Left-to-right text without control characters or marks: laid out here
  // exactly as the painter lays out a line it draws.
  for (const QChar c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) return false;
    switch (c.direction()) {
      case QChar::DirL: case QChar::DirEN: case QChar::DirES: case QChar::DirET: case QChar::DirCS:
      case QChar::DirWS: case QChar::DirON: break;
      default: return false;
    }
  }
  TGlyphCache& cache = GlyphCache();
  QTextLayout layout(text, font);
  QTextOption option;
  option.setTextDirection(Qt::LeftToRight);
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (!line.isValid()) {
    layout.endLayout();
    return false;
  }
  line.setNumColumns(int(text.size()));
  layout.endLayout();
  if (line.textLength() != text.size()) return false;
  const double lineAscent = line.ascent();
  const QString common = FontKey(font) + QChar(0x1F) + QString::number(canvas.height()) + QChar(0x1F) +
                         QString::number(baseline);

  placed.clear();
  const QList<QGlyphRun> runs = line.glyphRuns();
  for (const QGlyphRun& run : runs) {
    if (run.overline() || run.underline() || run.strikeOut()) return false;
    const QRawFont raw = run.rawFont();
    const QString face = common + QChar(0x1F) + raw.familyName() + QChar(0x1F) + raw.styleName() + QChar(0x1F) +
                         QString::number(raw.pixelSize());
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
      const double gx = x + positions[i].x(), gy = positions[i].y() - lineAscent;
      const double sub = gx * 64;
      // Places are on the 1/64-pixel grid, on the line's base line.
      if (sub != std::floor(sub) || gy != 0) return false;
      const QString glyphKey = face + QChar(0x1F) + QString::number(glyphs[i]);
      auto r = cache.Reach.constFind(glyphKey);
      if (r == cache.Reach.constEnd()) {
        if (cache.Reach.size() > 65536) cache.Reach.clear();
        r = cache.Reach.insert(glyphKey, raw.pathForGlyph(glyphs[i]).controlPointRect());
      }
      if (r->isEmpty()) continue;  // a blank draws nothing
      // One column more each side for the rounding to the rasteriser's grid.
      const int left = int(std::floor(gx + r->left())) - 1, right = int(std::ceil(gx + r->right())) + 1;
      if (left < 0 || right > canvas.width()) return false;
      placed.push_back({glyphKey + QChar(0x1F) + QString::number(int64_t(sub)), left, right, nullptr});
    }
  }
  std::vector<std::pair<int, int>> columns;
  columns.reserve(placed.size());
  for (const TPlacedGlyph& g : placed) columns.push_back({g.Left, g.Right});
  std::sort(columns.begin(), columns.end());
  for (size_t i = 1; i < columns.size(); ++i)
    if (columns[i].first < columns[i - 1].second) return false;
  return true;
}

// The tile of a glyph's columns on the drawn 24-bit `canvas`; null when the
// pixels there are not grey.
std::shared_ptr<const TGlyphTile> CutTile(const QImage& canvas, const TPlacedGlyph& g)
{
  auto tile = std::make_shared<TGlyphTile>();
  int top = canvas.height(), bottom = -1;
  for (int y = 0; y < canvas.height(); ++y) {
    const uint8_t* row = canvas.constScanLine(y) + 3 * size_t(g.Left);
    for (int x = 0; x < g.Right - g.Left; ++x)
      if (row[3 * x] != 255 || row[3 * x + 1] != 255 || row[3 * x + 2] != 255) {
        top = std::min(top, y);
        bottom = y;
        break;
      }
  }
  tile->Left = g.Left;
  tile->Width = g.Right - g.Left;
  if (bottom < 0) return tile;  // nothing inked
  tile->Top = top;
  tile->Height = bottom - top + 1;
  tile->Grey.resize(size_t(tile->Width) * size_t(tile->Height));
  for (int y = 0; y < tile->Height; ++y) {
    const uint8_t* row = canvas.constScanLine(top + y) + 3 * size_t(g.Left);
    uint8_t* out = tile->Grey.data() + size_t(y) * size_t(tile->Width);
    for (int x = 0; x < tile->Width; ++x) {
      if (row[3 * x] != row[3 * x + 1] || row[3 * x] != row[3 * x + 2]) return nullptr;
      out[x] = row[3 * x];
    }
  }
  return tile;
}

// Grey levels to a 24-bit bitmap, reduced by the factor 4 the way
// ShrinkBitmap reduces (each pixel the sum of its 4 × 4 cell shifted right by
// 4; a remainder of rows or columns dropped) or taken as they are.
QImage GreyToBitmap(const std::vector<uint8_t>& grey, int width, int height, bool shrink)
{
  const int nw = shrink ? width / 4 : width, nh = shrink ? height / 4 : height;
  QImage out(nw, nh, QImage::Format_BGR888);
  if (out.isNull()) return out;
  std::vector<uint16_t> sums(size_t(nw) * 4);
  for (int oy = 0; oy < nh; ++oy) {
    uint8_t* o = out.scanLine(oy);
    if (!shrink) {
      const uint8_t* g = grey.data() + size_t(oy) * size_t(width);
      for (int x = 0; x < nw; ++x) o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = g[x];
      continue;
    }
    std::fill(sums.begin(), sums.end(), uint16_t(0));
    for (int r = 0; r < 4; ++r) {
      const uint8_t* g = grey.data() + size_t(4 * oy + r) * size_t(width);
      for (size_t j = 0; j < sums.size(); ++j) sums[j] = uint16_t(sums[j] + g[j]);
    }
    for (int x = 0; x < nw; ++x) {
      const uint8_t v = uint8_t((uint32_t(sums[4 * x]) + sums[4 * x + 1] + sums[4 * x + 2] + sums[4 * x + 3]) >> 4);
      o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = v;
    }
  }
  return out;
}

// One line of black text on a white width × height 24-bit bitmap, its origin
// at (x, baseline), reduced by the factor 4 with ShrinkBitmap when `shrink`:
// from tiles when every glyph is known, else drawn.
QImage DrawTextLine(int width, int height, const QFont& font, const QString& text, int x, int baseline, bool shrink)
{
  auto draw = [&] {
    QImage t = DrawText(width, height, font, [&](QPainter& p, const QFontMetrics&) { p.drawText(x, baseline, text); });
    return t;
  };
  auto finish = [&](QImage t) {
    if (shrink && !t.isNull()) ShrinkBitmap(t, 4);
    return t;
  };
  std::vector<TPlacedGlyph> placed;
  if (!PlaceGlyphs(font, text, x, baseline, QSize(width, height), placed)) return finish(draw());
  TGlyphCache& cache = GlyphCache();
  bool known = true;
  for (TPlacedGlyph& g : placed) {
    auto it = cache.Tiles.constFind(g.Key);
    if (it == cache.Tiles.constEnd()) known = false;
    else g.Tile = *it;
  }
  if (!known) {
    QImage canvas = draw();
    if (canvas.isNull()) return canvas;
    // Ink outside every glyph's columns would mean the outlines reach further
    // than measured: nothing is remembered from such a line.
    std::vector<uint8_t> claimed(size_t(width), 0);
    for (const TPlacedGlyph& g : placed) std::fill(claimed.begin() + g.Left, claimed.begin() + g.Right, uint8_t(1));
    for (int y = 0; y < canvas.height(); ++y) {
      const uint8_t* row = canvas.constScanLine(y);
      for (int x = 0; x < canvas.width(); ++x)
        if (!claimed[size_t(x)] && (row[3 * x] & row[3 * x + 1] & row[3 * x + 2]) != 255) return finish(canvas);
    }
    for (const TPlacedGlyph& g : placed) {
      if (g.Tile) continue;
      auto tile = CutTile(canvas, g);
      if (!tile) continue;
      if (cache.Bytes > kTileCacheBytes) {
        cache.Tiles.clear();
        cache.Bytes = 0;
      }
      cache.Bytes += tile->Grey.size() + sizeof(TGlyphTile) + size_t(g.Key.size()) * 2 + 64;
      cache.Tiles.insert(g.Key, tile);
    }
    return finish(canvas);
  }
  // A line smaller than one cell of the reduction is left to ShrinkBitmap.
  const bool small = shrink && (width < 4 || height < 4);
  std::vector<uint8_t> grey;
  try {
    grey.assign(size_t(width) * size_t(height), 255);
  } catch (const std::bad_alloc&) {
    return QImage();
  }
  for (const TPlacedGlyph& g : placed) {
    const TGlyphTile& t = *g.Tile;
    for (int ty = 0; ty < t.Height; ++ty) {
      uint8_t* row = grey.data() + size_t(t.Top + ty) * size_t(width) + size_t(t.Left);
      const uint8_t* tile = t.Grey.data() + size_t(ty) * size_t(t.Width);
      std::memcpy(row, tile, size_t(t.Width));  // the columns are this glyph's alone
    }
  }
  if (small) return finish(GreyToBitmap(grey, width, height, false));
  return GreyToBitmap(grey, width, height, shrink);
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

// BlendBitmap (t, a bitmap of t's size filled with `color`, &mask, offset,
// offset, 0, per channel), without making the colour bitmap: where the mask
// is 255 the blend leaves t as it is, so only the other bytes are worked.
void BlendFlat(QImage& t, TColor color, const QImage& mask, int offset)
{
  const QImage one = NewBitmap(1, 1, color);
  const uint8_t c[3] = {one.constScanLine(0)[0], one.constScanLine(0)[1], one.constScanLine(0)[2]};
  const int w = std::min(t.width(), mask.width()), h = std::min(t.height(), mask.height());
  // Destination (x, y) takes the mask at (x - offset, y - offset); offset < 0.
  const int x0 = std::max(offset, 0), y0 = std::max(offset, 0);
  const int x1 = std::min(w + offset, t.width()), y1 = std::min(h + offset, t.height());
  for (int y = y0; y < y1; ++y) {
    uint8_t* d = t.scanLine(y) + 3 * x0;
    const uint8_t* m = mask.constScanLine(y - offset) + 3 * (x0 - offset);
    for (int x = x0; x < x1; ++x, d += 3, m += 3) {
      if ((m[0] & m[1] & m[2]) == 255) continue;
      for (int k = 0; k < 3; ++k) d[k] = uint8_t((c[k] * (255 - m[k]) + d[k] * m[k]) / 255);
    }
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
    BlendFlat(t, 0x000000, q, offset);
    s = t.copy();
    FillBitmap(t, 0x000000);
    BlendFlat(t, color, q, offset);
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

void ClearTextRenderCaches()
{
  FontSizes().clear();
  TGlyphCache& cache = GlyphCache();
  cache.Tiles.clear();
  cache.Reach.clear();
  cache.Bytes = 0;
}

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
  const int canvasWidth = std::max(int(std::min<int64_t>(width, kMaxCanvasWidth)), 1);
  QImage t = DrawTextLine(canvasWidth, std::max(h, 1), font, drawn, wW / 2, QFontMetrics(font).ascent(), smooth);
  if (t.isNull()) {  // not enough memory: nothing is drawn
    picture = mask = QImage();
    return;
  }
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
