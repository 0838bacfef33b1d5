#include "canvas/CoverRender.h"

#include "canvas/Functions.h"
#include "imagelib/ImageLoader.h"

#include <algorithm>
#include <cstring>
#include <vector>

QImage StretchBitmap(const QImage& srcIn, int width, int height)
{
  if (width <= 0 || height <= 0) return QImage();
  QImage out(width, height, QImage::Format_BGR888);
  if (out.isNull()) return out;
  if (srcIn.isNull()) {
    FillBitmap(out, 0xFFFFFF);
    return out;
  }
  const QImage src = srcIn.format() == QImage::Format_BGR888 ? srcIn : srcIn.convertToFormat(QImage::Format_BGR888);
  if (src.isNull()) return QImage();
  const int sw = src.width(), sh = src.height();
  std::vector<int> cols(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) cols[size_t(x)] = int(int64_t(x) * sw / width) * 3;
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = src.constScanLine(int(int64_t(y) * sh / height));
    uint8_t* d = out.scanLine(y);
    for (int x = 0; x < width; ++x) std::memcpy(d + 3 * x, s + cols[size_t(x)], 3);
  }
  return out;
}

namespace {
// Stretch rule shared by both forms: exact fills the box when the picture is
// smaller on either side, not exact enlarges a picture smaller on both sides.
QImage Stretched(QImage picture, int sw, int sh, int bw, int bh, bool exact)
{
  if (exact) {
    if (sw < bw || sh < bh) picture = StretchBitmap(picture, bw, bh);
  } else if (picture.width() < bw && picture.height() < bh) {
    const QSize fit = FitToBox(picture.width(), picture.height(), bw, bh);
    picture = StretchBitmap(picture, fit.width(), fit.height());
  }
  return picture;
}
}  // namespace

QImage FitPicture(const QImage& picture, int sw, int sh, int boxWidth, int boxHeight, bool exact)
{
  boxWidth = std::max(boxWidth, 1);
  boxHeight = std::max(boxHeight, 1);
  const QSize fit = ShrinkToBox(picture.width(), picture.height(), boxWidth, boxHeight);
  QImage out;
  if (fit != picture.size()) {
    ResampleBitmap(picture, out, fit.width(), fit.height(), 0xFFFFFF);
    Sharpen3x3(out, 1);
  } else {
    out = picture;
  }
  return Stretched(out, sw, sh, boxWidth, boxHeight, exact);
}

bool LoadPicture(const QString& fileName, int boxWidth, int boxHeight, QImage& picture, QImage* mask, bool exact,
                 QString* error)
{
  boxWidth = std::max(boxWidth, 1);
  boxHeight = std::max(boxHeight, 1);
  int sw = 0, sh = 0;
  const bool ok = LoadImageFile(fileName, picture, boxWidth, boxHeight, &sw, &sh, nullptr, {}, {}, error);
  if (ok) picture = Stretched(picture, sw, sh, boxWidth, boxHeight, exact);
  if (mask) *mask = NewBitmap(picture.width(), picture.height(), 0x000000);
  return ok;
}
