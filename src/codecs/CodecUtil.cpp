#include "codecs/CodecUtil.h"

#include <QCoreApplication>

bool CheckImageSize(int64_t width, int64_t height, QString& error)
{
  if (width <= 0 || height <= 0) {
    error = QStringLiteral("The picture has no pixels (%1 × %2)").arg(width).arg(height);
    return false;
  }
  if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
    error = QStringLiteral("The picture is too large (%1 × %2)").arg(width).arg(height);
    return false;
  }
  return true;
}

QImage NewBitmap24(int width, int height, QString& error)
{
  if (!CheckImageSize(width, height, error)) return QImage();
  QImage img(width, height, QImage::Format_BGR888);
  if (img.isNull()) {
    error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(width).arg(height);
    return QImage();
  }
  img.fill(Qt::white);
  return img;
}
