#pragma once
// Building layer bitmaps from picture files.

#include <QIODevice>
#include <QImage>
#include <QString>

// Loads a picture sized for the box. Exact: a picture smaller than the box
// on either side is stretched to exactly the box. Not exact: a picture
// smaller on both sides is enlarged to FitToBox's size. Stretching repeats or
// drops rows and columns (nearest pixel). When `mask` is given it becomes an
// all-black (opaque) bitmap of the picture's size. Returns false when the file
// could not be read (the picture is then left as it was; `error`, when given,
// says why). A picture or mask that can not be allocated comes back null.
//
// A picture with transparency brings it along: the mask, when given, is
// transparent where the picture is (green 255 − alpha), and `alpha`, when
// given, receives the alpha (Grayscale8, stretched like the picture; null
// when the picture is opaque).
bool LoadPicture(const QString& fileName, int boxWidth, int boxHeight, QImage& picture, QImage* mask, bool exact,
                 QString* error = nullptr, QImage* alpha = nullptr);

// FitPicture's steps for a picture's alpha (Grayscale8), without sharpening:
// the alpha that goes with FitPicture's result.
QImage FitAlpha(const QImage& alpha, int sw, int sh, int boxWidth, int boxHeight, bool exact);

// A picture layer's mask from its alpha: green 255 − alpha, blue and red 0
// (all black, opaque, when alpha is null). Null when memory runs out.
QImage MaskFromAlpha(const QImage& alpha, int width, int height);

// Soft edges on a picture layer's mask that may already carry the picture's
// own transparency: every pixel becomes as transparent as the soft edges or
// the mask make it, whichever is more. On an all-black mask this is
// SoftenMaskEdges.
void SoftenPictureMask(QImage& mask, int horizontalPercent, int verticalPercent);

// Writes a layer's work copy: a 24-bit bitmap, or with alpha a 32-bit one
// that keeps it. False when the file could not be written.
bool SaveWorkCopy(const QImage& picture, const QImage& alpha, QIODevice& file);

// The steps of LoadPicture on a picture already in memory: reduced into the
// box (area average, mildly sharpened when the size changed), then stretched
// by the exact / not-exact rule; sw × sh is the picture's own size.
QImage FitPicture(const QImage& picture, int sw, int sh, int boxWidth, int boxHeight, bool exact);

// Nearest-pixel stretch of a 24-bit bitmap to width × height; null when the
// bitmap can not be allocated.
QImage StretchBitmap(const QImage& src, int width, int height);
