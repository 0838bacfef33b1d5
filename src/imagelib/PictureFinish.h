#pragma once
// The last steps between a decoded picture and what the program shows:
// turning it upright by its EXIF orientation and handling its transparency.
// The loaders apply them after reduction, so they only touch small bitmaps.

#include <QImage>

// Orientations 5 to 8 store the picture's columns as rows: the upright
// picture's width is the stored height.
inline bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// The upright picture of a 24-bit (Format_BGR888) or 8-bit (Grayscale8)
// bitmap stored with EXIF orientation 1 … 8. Orientation 1 or any value
// outside 1 … 8 gives the bitmap itself; null when memory runs out.
QImage OrientBitmap(const QImage& stored, int orientation);

// Alpha (Grayscale8, 255 opaque) as a 24-bit bitmap with the value in all
// three bytes, so the reduction routines can shrink it like the colour.
QImage AlphaAsBgr(const QImage& alpha);
// The first byte of every pixel of a 24-bit bitmap as a Grayscale8 plane.
QImage BgrAsAlpha(const QImage& bgr);
// Colour times alpha (both the same size), in place: what averaging needs so
// that the colour of transparent pixels does not bleed into their neighbours.
void PremultiplyBitmap(QImage& bgr, const QImage& alphaBgr);
// The reverse, in place; fully transparent pixels become white.
void UnpremultiplyBitmap(QImage& bgr, const QImage& alphaBgr);
// Lays colour (not premultiplied) on white by its alpha, in place.
void LayOnWhite(QImage& bgr, const QImage& alphaBgr);
// True when every alpha value is 255 (or the plane is null).
bool IsOpaque(const QImage& alpha);
