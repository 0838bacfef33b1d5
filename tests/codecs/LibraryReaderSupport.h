#pragma once
// Helpers for the JPEG, GIF, TIFF and metafile reader tests.

#include "TestSupport.h"
#include "codecs/Codec.h"
#include "codecs/CodecTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

// Records what a reader hands to its row sink.
class TRecordingSink : public TRowSink {
public:
  int Begins = 0, Width = 0, Height = 0;
  bool BottomUp = false;
  std::vector<int> RowOrder;
  QImage Picture;  // rows as received
  void Begin(int w, int h, bool bottomUp) override
  {
    ++Begins; Width = w; Height = h; BottomUp = bottomUp;
    Picture = QImage(w, h, QImage::Format_BGR888);
    Picture.fill(Qt::white);
  }
  void Row(int y, const uint8_t* bgr) override
  {
    RowOrder.push_back(y);
    if (y >= 0 && y < Height) std::memcpy(Picture.scanLine(y), bgr, size_t(Width) * 3);
  }
  // Every row exactly once, top-down.
  bool AllRowsInOrder() const
  {
    if (int(RowOrder.size()) != Height) return false;
    for (int i = 0; i < Height; ++i) if (RowOrder[size_t(i)] != i) return false;
    return true;
  }
};

inline QByteArray Fixture(const char* relative) { return ReadFixture(TestDataPath(QString::fromLatin1(relative))); }

// True when every channel of the two 0x00BBGGRR colours is within `tol`.
inline bool ColorNear(uint32_t a, uint32_t b, int tol)
{
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tol) return false;
  return true;
}

inline uint32_t Rgb(int r, int g, int b) { return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16); }

#define EXPECT_COLOR_NEAR(img, x, y, expected, tol)                                             \
  EXPECT_TRUE(ColorNear(PixelAt(img, x, y), expected, tol))                                     \
      << "pixel (" << (x) << "," << (y) << ") is " << std::hex << PixelAt(img, x, y)           \
      << " expected " << (expected) << std::dec

// The 29 × 17 picture behind the lossless fixtures: red 7x, green 13y, blue 5(x+y).
inline uint32_t PatternColor(int x, int y) { return Rgb((x * 7) % 256, (y * 13) % 256, ((x + y) * 5) % 256); }

// The 37 × 23 picture behind the JPEG fixtures: four solid quadrants.
inline uint32_t QuadColor(int x, int y)
{
  if (x < 18 && y < 11) return Rgb(220, 30, 30);
  if (y < 11) return Rgb(30, 200, 40);
  if (x < 18) return Rgb(40, 50, 210);
  return Rgb(240, 240, 60);
}

// Checks the quadrant centres of a (possibly scaled) quad picture.
inline void ExpectQuadrants(const QImage& img, int tol)
{
  const int w = img.width(), h = img.height();
  const int xs[2] = {w * 9 / 37 / 1, w * 28 / 37};
  const int ys[2] = {h * 5 / 23, h * 17 / 23};
  for (int x : xs)
    for (int y : ys) EXPECT_COLOR_NEAR(img, x, y, QuadColor(x * 37 / w, y * 23 / h), tol);
}
