#pragma once
// Loading any supported picture file into a 24-bit bitmap fitted into a box,
// and the two reduction routines behind it.

#include "canvas/Functions.h"
#include "codecs/Codec.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>

using TScaleProgress = std::function<bool(int percent)>;

class TGifAnimation;  // codecs/GifCodec.h

// "JPG", "TIF", … for a supported file name, else "".
QString ImageFileExt(const QString& fileName);
bool IsImageFile(const QString& fileName);
// ImageType code 1 … 14 of an extension key, 0 for any other.
uint8_t ImageFileType(const QString& extensionKey);
// 1, 2, 4 or 8: the power-of-two pre-reduction for a picture and a box.
int ShrinkFactor(int width, int height, int boxWidth, int boxHeight);
// Reduces in place by 2, 4, 8, 16 or 32 (box filter); other factors do nothing.
void ShrinkBitmap(QImage& bmp, int factor, const TScaleProgress& progress = {});
// Area-averaging reduction of src into dest (newWidth × newHeight), back colour
// for what is not written.
void ResampleBitmap(const QImage& src, QImage& dest, int newWidth, int newHeight, TColor backColor,
                    const TScaleProgress& progress = {});
// Bits per pixel of a QImage's pixel format (1 … 32).
uint8_t BitmapBitCount(const QImage& bmp);
// Bit count of an icon file from its directory (byte 8 of the file).
uint8_t IconBitCount(const QByteArray& iconFile);

// Loads a picture fitted into the box (never enlarged). Returns false and
// leaves dest untouched when the file can not be read.
bool LoadImageFile(const QString& fileName, QImage& dest, int boxWidth, int boxHeight,
                   int* outWidth = nullptr, int* outHeight = nullptr, int* outBitCount = nullptr,
                   const TScaleProgress& scaleProgress = {}, const TDecodeProgress& decodeProgress = {});

// The viewer's loader: full size or fitted, progressive for JPEG, Targa,
// TIFF, PCX and Photoshop; an animated GIF goes whole to `animation`.
bool LoadPreviewFile(const QString& fileName, QImage& dest, TGifAnimation* animation, TColor backColor,
                     int boxWidth, int boxHeight, int* outWidth, int* outHeight, bool fullSize,
                     const TScaleProgress& scaleProgress = {},
                     const TDecodeProgress& progressiveProgress = {},
                     const TDecodeProgress& otherProgress = {});
