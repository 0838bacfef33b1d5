#pragma once
// Helpers shared by the tests: fixture paths and bitmap comparison.

#include <QImage>
#include <QString>

#include <cstdint>
#include <random>

// Path of a file under tests/data.
QString TestDataPath(const QString& relative);

// A 24-bit bitmap filled with reproducible random bytes.
QImage RandomBitmap(int width, int height, uint32_t seed);

// A photograph-like 24-bit bitmap: smooth gradients and some detail.
QImage PhotoBitmap(int width, int height);

// Blue, green, red of pixel (x, y) of a 24-bit bitmap as 0x00BBGGRR.
uint32_t PixelAt(const QImage& bmp, int x, int y);

// True when both are 24-bit bitmaps of one size with the same pixel bytes
// (row padding ignored).
bool SamePixels(const QImage& a, const QImage& b);
