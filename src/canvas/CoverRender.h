#pragma once
// Building layer bitmaps from picture files.

#include <QImage>
#include <QString>

// Loads a picture sized for the box. Exact: a picture smaller than the box
// on either side is stretched to exactly the box. Not exact: a picture
// smaller on both sides is enlarged to FitToBox's size. Stretching repeats or
// drops rows and columns (nearest pixel). When `mask` is given it becomes an
// all-black (opaque) bitmap of the picture's size. Returns false when the file
// could not be read (the picture is then left as it was; `error`, when given,
// says why). A picture or mask that can not be allocated comes back null.
bool LoadPicture(const QString& fileName, int boxWidth, int boxHeight, QImage& picture, QImage* mask, bool exact,
                 QString* error = nullptr);

// The steps of LoadPicture on a picture already in memory: reduced into the
// box (area average, mildly sharpened when the size changed), then stretched
// by the exact / not-exact rule; sw × sh is the picture's own size.
QImage FitPicture(const QImage& picture, int sw, int sh, int boxWidth, int boxHeight, bool exact);

// Nearest-pixel stretch of a 24-bit bitmap to width × height; null when the
// bitmap can not be allocated.
QImage StretchBitmap(const QImage& src, int width, int height);
