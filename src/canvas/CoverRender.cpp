#include "canvas/CoverRender.h"

#include "canvas/Functions.h"
#include "codecs/BmpWrite.h"
#include "imagelib/ImageLoader.h"
#include "imagelib/PictureFinish.h"

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
// The stretch rule for the alpha that goes with a picture of its size: it
// takes the picture's size, nearest pixel alike.
QImage StretchedAlpha(const QImage& alpha, int sw, int sh, int bw, int bh, bool exact)
{
  return BgrAsAlpha(Stretched(AlphaAsBgr(alpha), sw, sh, bw, bh, exact));
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
                 QString* error, QImage* alpha)
{
  boxWidth = std::max(boxWidth, 1);
  boxHeight = std::max(boxHeight, 1);
  int sw = 0, sh = 0;
  QImage own;
  const bool wantAlpha = mask || alpha;
  const bool ok = LoadImageFile(fileName, picture, boxWidth, boxHeight, &sw, &sh, nullptr, {}, {}, error,
                                wantAlpha ? &own : nullptr);
  if (ok) {
    if (!own.isNull()) own = StretchedAlpha(own, sw, sh, boxWidth, boxHeight, exact);
    picture = Stretched(picture, sw, sh, boxWidth, boxHeight, exact);
  } else {
    own = QImage();
  }
  if (alpha) *alpha = own;
  if (mask) *mask = MaskFromAlpha(own, picture.width(), picture.height());
  return ok;
}

QImage FitAlpha(const QImage& alpha, int sw, int sh, int boxWidth, int boxHeight, bool exact)
{
  if (alpha.isNull()) return QImage();
  boxWidth = std::max(boxWidth, 1);
  boxHeight = std::max(boxHeight, 1);
  const QSize fit = ShrinkToBox(alpha.width(), alpha.height(), boxWidth, boxHeight);
  QImage a = alpha;
  if (fit != alpha.size()) {
    QImage reduced;
    ResampleBitmap(AlphaAsBgr(alpha), reduced, fit.width(), fit.height(), 0xFFFFFF);
    a = BgrAsAlpha(reduced);
  }
  return StretchedAlpha(a, sw, sh, boxWidth, boxHeight, exact);
}

QImage MaskFromAlpha(const QImage& alpha, int width, int height)
{
  QImage mask = NewBitmap(width, height, 0x000000);
  if (mask.isNull() || alpha.isNull() || alpha.size() != mask.size()) return mask;
  for (int y = 0; y < height; ++y) {
    const uint8_t* a = alpha.constScanLine(y);
    uint8_t* m = mask.scanLine(y);
    for (int x = 0; x < width; ++x) m[3 * x + 1] = uint8_t(255 - a[x]);
  }
  return mask;
}

void SoftenPictureMask(QImage& mask, int horizontalPercent, int verticalPercent)
{
  if (mask.isNull()) return;
  QImage soft = NewBitmap(mask.width(), mask.height(), 0x000000);
  if (soft.isNull()) {
    SoftenMaskEdges(mask, horizontalPercent, verticalPercent);  // no room for the better rule
    return;
  }
  SoftenMaskEdges(soft, horizontalPercent, verticalPercent);
  if (mask.format() != QImage::Format_BGR888) mask = mask.convertToFormat(QImage::Format_BGR888);
  for (int y = 0; y < mask.height(); ++y) {
    const uint8_t* s = soft.constScanLine(y);
    uint8_t* m = mask.scanLine(y);
    for (int i = 0; i < 3 * mask.width(); ++i) m[i] = std::max(m[i], s[i]);
  }
}

bool SaveWorkCopy(const QImage& picture, const QImage& alpha, QIODevice& file)
{
  if (alpha.isNull() || alpha.size() != picture.size()) return picture.save(&file, "BMP");
  QByteArray bytes;
  QString error;
  if (!EncodeBmpWithAlpha(picture, alpha, bytes, error)) return false;
  return file.write(bytes) == bytes.size();
}
