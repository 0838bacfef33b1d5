#include "codecs/OwnReadersBFiles.h"

#include <algorithm>
#include <cmath>

namespace {

void Put16LE(QByteArray& a, int v) { a.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
void Put16BE(QByteArray& a, int v) { a.append(char((v >> 8) & 0xFF)).append(char(v & 0xFF)); }
void Put16BEAt(QByteArray& a, int at, int v) { a[at] = char((v >> 8) & 0xFF); a[at + 1] = char(v & 0xFF); }
void Put32BE(QByteArray& a, uint32_t v) { Put16BE(a, int(v >> 16)); Put16BE(a, int(v & 0xFFFF)); }

// Splits bytes into repeat runs (3 or more equal bytes) and literal stretches,
// neither longer than maxLen; `sink` gets (repeat?, first byte, length).
void Segments(const uint8_t* p, int n, int maxLen, const std::function<void(bool, const uint8_t*, int)>& sink)
{
  int x = 0;
  while (x < n) {
    int run = 1;
    while (x + run < n && run < maxLen && p[x + run] == p[x]) ++run;
    if (run >= 3) { sink(true, p + x, run); x += run; continue; }
    int lit = 0;
    while (x + lit < n && lit < maxLen &&
           !(x + lit + 2 < n && p[x + lit] == p[x + lit + 1] && p[x + lit] == p[x + lit + 2]))
      ++lit;
    sink(false, p + x, lit);
    x += lit;
  }
}

}  // namespace

QByteArray MakePcd(int orientation, const std::function<uint8_t(int, int)>& luma,
                   const std::function<uint8_t(int, int)>& cb, const std::function<uint8_t(int, int)>& cr)
{
  QByteArray f(0x30000, '\0');
  f.replace(0x800, 7, "PCD_IPI");
  f[0x0E02] = char(orientation);
  for (int pair = 0; pair < 256; ++pair) {
    for (int sub = 0; sub < 2; ++sub)
      for (int x = 0; x < 768; ++x) f.append(char(luma(x, 2 * pair + sub)));
    for (int bx = 0; bx < 384; ++bx) f.append(char(cb(bx, pair)));
    for (int bx = 0; bx < 384; ++bx) f.append(char(cr(bx, pair)));
  }
  return f;
}

uint32_t YccColour(int y, int cb, int cr)
{
  const double l = 1.3584 * y, c1 = 2.2179 * (cb - 156), c2 = 1.8215 * (cr - 137);
  auto clamp = [](double v) { return uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
  return clamp(l + c2) | (clamp(l - 0.194 * c1 - 0.509 * c2) << 8) | (clamp(l + c1) << 16);
}

QByteArray MakePic(int w, int h, const std::vector<uint8_t>& palette, const std::vector<uint8_t>& pixels)
{
  QByteArray f;
  Put16LE(f, 0x9119);
  Put16LE(f, w);
  Put16LE(f, h);
  Put16LE(f, 0);
  Put16LE(f, 0);
  f.append(char(8)).append(char(0));
  Put16LE(f, (w * h) & 0xFFFF);
  Put16LE(f, (w * h) >> 16);
  f.append(QByteArray(16, '\0'));
  f.append(reinterpret_cast<const char*>(palette.data()), int(palette.size()));
  f.append(reinterpret_cast<const char*>(pixels.data()), int(pixels.size()));
  return f;
}

QByteArray MakeProPic(int w, int h, int stride, const std::vector<uint8_t>& palette, const std::vector<uint8_t>& pixels)
{
  auto put32 = [](QByteArray& a, uint32_t v) { Put16LE(a, int(v & 0xFFFF)); Put16LE(a, int(v >> 16)); };
  QByteArray f;
  put32(f, 0);
  Put16LE(f, 0x9500);
  Put16LE(f, w);
  Put16LE(f, h);
  f.append(QByteArray(8, '\0')).append(char(8)).append(QByteArray(45, '\0'));
  put32(f, uint32_t(6 + 2 + palette.size()));
  Put16LE(f, 0);
  Put16LE(f, 0);
  f.append(reinterpret_cast<const char*>(palette.data()), int(palette.size()));
  put32(f, uint32_t(6 + stride * h));
  Put16LE(f, 1);
  for (int y = 0; y < h; ++y)
    f.append(reinterpret_cast<const char*>(pixels.data()) + y * w, w).append(QByteArray(stride - w, char(0xEE)));
  return f;
}

QByteArray MakeRla(const QImage& pic, int channels, int bits, int mattes)
{
  const int w = pic.width(), h = pic.height();
  QByteArray f(740, '\0');
  const int window[4] = {10, 10 + w - 1, 5, 5 + h - 1};
  for (int i = 0; i < 4; ++i) { Put16BEAt(f, 2 * i, window[i]); Put16BEAt(f, 8 + 2 * i, window[i]); }
  Put16BEAt(f, 20, channels);
  Put16BEAt(f, 22, mattes);
  Put16BEAt(f, 26, 0xFFFE);
  Put16BEAt(f, 658, bits);
  Put16BEAt(f, 662, 8);
  const int bps = bits > 8 ? 2 : 1;
  QByteArray rows;
  std::vector<uint32_t> offsets;
  for (int k = 0; k < h; ++k) {  // bottom row first
    offsets.push_back(uint32_t(740 + 4 * h + rows.size()));
    const uint8_t* src = pic.constScanLine(h - 1 - k);
    for (int c = 0; c < channels + mattes; ++c) {
      std::vector<uint8_t> plane;
      for (int x = 0; x < w; ++x) {
        const uint8_t v = c < channels ? src[3 * x + 2 - c] : 255;  // red, green, blue
        if (bps == 1) { plane.push_back(v); continue; }
        const int wide = (v << (bits - 8)) | (0x5A & ((1 << (bits - 8)) - 1));  // big-endian, noise below
        plane.push_back(uint8_t(wide >> 8));
        plane.push_back(uint8_t(wide & 0xFF));
      }
      QByteArray block;
      Segments(plane.data(), int(plane.size()), 128, [&](bool repeat, const uint8_t* p, int n) {
        if (repeat) block.append(char(n - 1)).append(char(*p));
        else block.append(char(-n)).append(reinterpret_cast<const char*>(p), n);
      });
      Put16BE(rows, int(block.size()));
      rows.append(block);
    }
  }
  for (uint32_t o : offsets) Put32BE(f, o);
  return f + rows;
}

QByteArray MakeCut(int w, int h, const std::vector<uint8_t>& indexes)
{
  QByteArray f;
  Put16LE(f, w);
  Put16LE(f, h);
  Put16LE(f, 0);
  for (int y = 0; y < h; ++y) {
    QByteArray row;
    Segments(indexes.data() + size_t(y) * size_t(w), w, 127, [&](bool repeat, const uint8_t* p, int n) {
      if (repeat) row.append(char(0x80 | n)).append(char(*p));
      else row.append(char(n)).append(reinterpret_cast<const char*>(p), n);
    });
    row.append('\0');
    Put16LE(f, int(row.size()));
    f.append(row);
  }
  return f;
}

QByteArray MakeHaloPal(int count, int maxValue, const std::function<uint32_t(int)>& rgbWords)
{
  QByteArray f("AH");
  Put16LE(f, 0x0A);
  Put16LE(f, 0);
  f.append('P').append('\0');
  Put16LE(f, 0);
  Put16LE(f, 0);
  Put16LE(f, count - 1);
  for (int c = 0; c < 3; ++c) Put16LE(f, maxValue);
  f.append(QByteArray("Dr. Halo").leftJustified(20, '\0'));
  for (int i = 0; i < count; ++i) {
    if (f.size() % 512 > 512 - 6) f.append(QByteArray(512 - f.size() % 512, '\0'));
    const uint32_t v = rgbWords(i);  // red in the low 10 bits, then green, blue
    for (int c = 0; c < 3; ++c) Put16LE(f, int((v >> (10 * c)) & 0x3FF));
  }
  return f;
}

uint8_t FixtureIndex(int x, int y) { return uint8_t((x / 5) * 17 + y * 3 + (y >= 15 ? x * x : 0)); }
uint8_t FixturePaletteSix(int i, int c) { return uint8_t((i * (c + 1) * 7 + c * 11) & 63); }
uint8_t FixturePcdLuma(int x, int y) { return uint8_t((x / 3 + y / 2) & 0xFF); }
uint32_t FixtureRlaColour(int x, int y)
{
  return uint32_t((x * 7) & 0xFF) | (uint32_t(y < 10 ? 40 : (x * y) & 0xFF) << 8) | (uint32_t(x < 16 ? 200 : y * 9) << 16);
}
