#include "PrintTestSupport.h"

#include <QPainter>

#include <algorithm>

bool TTestPrinter::Print(const QString& title, const std::function<void(QPainter&)>& draw, QString&)
{
  Page = QImage(M.PrintWidth, M.PrintHeight, QImage::Format_RGB32);
  Page.fill(Qt::white);
  QPainter p(&Page);
  draw(p);
  ++Jobs;
  Title = title;
  return true;
}

TPrinterMetrics MakeMetrics(int dpi, int printWidth, int printHeight, int offsetX, int offsetY, int paperWidth,
                            int paperHeight)
{
  TPrinterMetrics m;
  m.DpiX = m.DpiY = dpi;
  m.PrintWidth = printWidth;
  m.PrintHeight = printHeight;
  m.OffsetX = offsetX;
  m.OffsetY = offsetY;
  m.PaperWidth = paperWidth;
  m.PaperHeight = paperHeight;
  return m;
}

QImage SolidCover(QRgb colour)
{
  QImage cover(940, 940, QImage::Format_BGR888);
  cover.fill(QColor(colour));
  return cover;
}

namespace {

// Pixel x of a row of an RGB32 or 8-bit grey picture.
QRgb PixelOf(const QImage& img, const uchar* row, int x)
{
  if (img.format() == QImage::Format_Grayscale8) return qRgb(row[x], row[x], row[x]);
  return reinterpret_cast<const QRgb*>(row)[x];
}

QImage Readable(const QImage& image)
{
  if (image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_RGB32 ||
      image.format() == QImage::Format_ARGB32)
    return image;
  return image.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

QRect BoxWhere(const QImage& image, const std::function<bool(QRgb)>& match)
{
  const QImage img = Readable(image);
  int left = img.width(), right = -1, top = img.height(), bottom = -1;
  for (int y = 0; y < img.height(); ++y) {
    const uchar* row = img.constScanLine(y);
    for (int x = 0; x < img.width(); ++x) {
      if (!match(PixelOf(img, row, x))) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

int CountInRow(const QImage& image, int y, const std::function<bool(QRgb)>& match)
{
  if (y < 0 || y >= image.height()) return 0;
  const QImage img = Readable(image);
  const uchar* row = img.constScanLine(y);
  int n = 0;
  for (int x = 0; x < img.width(); ++x) n += match(PixelOf(img, row, x)) ? 1 : 0;
  return n;
}

int CountInColumn(const QImage& image, int x, const std::function<bool(QRgb)>& match)
{
  if (x < 0 || x >= image.width()) return 0;
  const QImage img = Readable(image);
  int n = 0;
  for (int y = 0; y < img.height(); ++y) n += match(PixelOf(img, img.constScanLine(y), x)) ? 1 : 0;
  return n;
}
