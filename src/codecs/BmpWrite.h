#pragma once
// Writing a picture with transparency as a 32-bit Windows bitmap (version 4
// header, bit-field masks with an alpha mask), the form the bitmap reader
// hands back with its alpha.

#include <QByteArray>
#include <QImage>
#include <QString>

// `bgr` is the colour, `alpha` (Grayscale8, the same size, 255 opaque) its
// transparency. False with a message when there is nothing to write or the
// picture is too large for the format.
bool EncodeBmpWithAlpha(const QImage& bgr, const QImage& alpha, QByteArray& out, QString& error);
