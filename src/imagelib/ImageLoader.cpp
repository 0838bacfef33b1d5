#include "imagelib/ImageLoader.h"

QString ImageFileExt(const QString&) { return {}; }
bool IsImageFile(const QString& fileName) { return !ImageFileExt(fileName).isEmpty(); }
uint8_t ImageFileType(const QString&) { return 0; }
int ShrinkFactor(int, int, int, int) { return 1; }
void ShrinkBitmap(QImage&, int, const TScaleProgress&) {}
void ResampleBitmap(const QImage& src, QImage& dest, int w, int h, TColor, const TScaleProgress&)
{
  dest = src.scaled(w, h);
}
uint8_t BitmapBitCount(const QImage&) { return 24; }
uint8_t IconBitCount(const QByteArray&) { return 8; }
bool LoadImageFile(const QString&, QImage&, int, int, int*, int*, int*, const TScaleProgress&,
                   const TDecodeProgress&)
{
  return false;
}
bool LoadPreviewFile(const QString&, QImage&, TGifAnimation*, TColor, int, int, int*, int*, bool,
                     const TScaleProgress&, const TDecodeProgress&, const TDecodeProgress&)
{
  return false;
}
