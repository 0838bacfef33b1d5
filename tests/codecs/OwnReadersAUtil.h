#pragma once
// Shared by the tests of the bitmap, icon, Targa, PCX, Photoshop and
// portable-map readers: the pictures the fixtures hold, a byte builder for
// files the tools can not write, and a sink that records progressive rows.

#include "TestSupport.h"
#include "codecs/Codec.h"
#include "codecs/CodecTestUtil.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <cstdint>
#include <vector>

// The fixtures are 13 × 7 pictures of three patterns.
constexpr int kFixW = 13;
constexpr int kFixH = 7;

// Eight colours as 0x00BBGGRR, repeated diagonally.
inline uint32_t PatternColor(int x, int y)
{
  static const uint32_t pal[8] = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00,
                                  0xFF0000, 0x00FFFF, 0xFF8000, 0x204080};
  return pal[(x + 2 * y) % 8];
}
// Black where (x² + y) is a multiple of 3, white elsewhere.
inline uint32_t MonoColor(int x, int y) { return (x * x + y) % 3 == 0 ? 0x000000 : 0xFFFFFF; }
inline int GreyLevel(int x, int y) { return (x * 19 + y * 37) % 256; }
inline uint32_t GreyColor(int x, int y) { return uint32_t(GreyLevel(x, y)) * 0x010101u; }

using TPatternFn = uint32_t (*)(int, int);

// Checks size and every pixel of a decoded picture against a pattern.
inline void ExpectPicture(const TDecodedImage& img, int w, int h, TPatternFn fn)
{
  ASSERT_EQ(img.Width, w);
  ASSERT_EQ(img.Height, h);
  ASSERT_EQ(img.Bitmap.format(), QImage::Format_BGR888);
  ASSERT_EQ(img.Bitmap.width(), w);
  ASSERT_EQ(img.Bitmap.height(), h);
  int bad = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (PixelAt(img.Bitmap, x, y) != fn(x, y) && ++bad <= 5)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << PixelAt(img.Bitmap, x, y)
                      << ", expected " << fn(x, y);
}

inline TDecodedImage DecodeFixture(TDecoderFn fn, const char* path)
{
  const QByteArray data = ReadFixture(TestDataPath(QString::fromLatin1(path)));
  EXPECT_FALSE(data.isEmpty()) << path;
  return DecodeOk(fn, data);
}

// Little- and big-endian byte writer for hand-made files.
class TBytes {
public:
  TBytes& U8(int v) { m_b.append(char(uint8_t(v))); return *this; }
  TBytes& U16LE(int v) { return U8(v).U8(v >> 8); }
  TBytes& U32LE(uint32_t v) { return U16LE(int(v & 0xFFFF)).U16LE(int(v >> 16)); }
  TBytes& U16BE(int v) { return U8(v >> 8).U8(v); }
  TBytes& U32BE(uint32_t v) { return U16BE(int(v >> 16)).U16BE(int(v & 0xFFFF)); }
  TBytes& Fill(int n, int v) { for (int i = 0; i < n; ++i) U8(v); return *this; }
  TBytes& Raw(const QByteArray& a) { m_b.append(a); return *this; }
  TBytes& Bgr(uint32_t c) { return U8(int(c >> 16)).U8(int(c >> 8)).U8(int(c)); }
  int Size() const { return int(m_b.size()); }
  void Patch32LE(int at, uint32_t v) { for (int i = 0; i < 4; ++i) m_b[at + i] = char(uint8_t(v >> (8 * i))); }
  const QByteArray& Data() const { return m_b; }
private:
  QByteArray m_b;
};

// Records what a progressive reader hands on.
class TRecordingSink : public TRowSink {
public:
  void Begin(int width, int height, bool bottomUp) override
  {
    ++Begins; Width = width; Height = height; BottomUp = bottomUp;
  }
  void Row(int y, const uint8_t* bgr) override
  {
    Rows.push_back(y);
    LastRow.assign(bgr, bgr + 3 * Width);
  }
  int Begins = 0, Width = 0, Height = 0;
  bool BottomUp = false;
  std::vector<int> Rows;
  std::vector<uint8_t> LastRow;
};

// Decodes with a callback that asks to stop at its first call: the reader
// must succeed with the one row it finished and leave the rest white.
inline TDecodedImage DecodeStoppingAfterFirstRow(TDecoderFn fn, const QByteArray& data, TRecordingSink* sink,
                                                 std::vector<int>* percents = nullptr)
{
  TDecodeOptions opt;
  opt.Sink = sink;
  opt.Progress = [percents](int p) { if (percents) percents->push_back(p); return false; };
  TDecodedImage out;
  QString error;
  EXPECT_TRUE(fn(data, opt, out, error)) << error.toStdString();
  return out;
}

// Number of rows of a picture that are not entirely white.
inline int RowsNotWhite(const QImage& img)
{
  int n = 0;
  for (int y = 0; y < img.height(); ++y) {
    const uint8_t* p = img.constScanLine(y);
    for (int i = 0; i < img.width() * 3; ++i)
      if (p[i] != 255) { ++n; break; }
  }
  return n;
}

inline bool DecodeFails(TDecoderFn fn, const QByteArray& data)
{
  TDecodedImage out;
  QString error;
  const bool ok = fn(data, TDecodeOptions{}, out, error);
  EXPECT_TRUE(ok || !error.isEmpty());
  return !ok;
}
