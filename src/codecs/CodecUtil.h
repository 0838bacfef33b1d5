#pragma once
// Small helpers shared by the picture readers: bounds-checked reading,
// size checks before allocating, and a progress reporter that calls its
// callback only when the percentage changes.

#include "codecs/Codec.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// Reads little- or big-endian values from a byte buffer. Reading past the end
// sets `failed` and returns 0, so a reader can check once after a header.
class TByteReader {
public:
  TByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  explicit TByteReader(const QByteArray& a)
      : m_data(reinterpret_cast<const uint8_t*>(a.constData())), m_size(size_t(a.size())) {}

  size_t Pos() const { return m_pos; }
  size_t Size() const { return m_size; }
  size_t Remaining() const { return m_pos <= m_size ? m_size - m_pos : 0; }
  bool Failed() const { return m_failed; }
  const uint8_t* Data() const { return m_data; }
  bool Seek(size_t pos) {
    if (pos > m_size) { m_failed = true; return false; }
    m_pos = pos; return true;
  }
  bool Skip(size_t n) {
    if (n > Remaining()) { m_failed = true; m_pos = m_size; return false; }
    m_pos += n; return true;
  }
  uint8_t U8() {
    if (Remaining() < 1) { m_failed = true; return 0; }
    return m_data[m_pos++];
  }
  uint16_t U16LE() { uint16_t a = U8(); uint16_t b = U8(); return uint16_t(a | (b << 8)); }
  uint16_t U16BE() { uint16_t a = U8(); uint16_t b = U8(); return uint16_t((a << 8) | b); }
  uint32_t U32LE() { uint32_t a = U16LE(); uint32_t b = U16LE(); return a | (b << 16); }
  uint32_t U32BE() { uint32_t a = U16BE(); uint32_t b = U16BE(); return (a << 16) | b; }
  // Copies n bytes; false (and nothing copied) when fewer remain.
  bool Read(void* dst, size_t n) {
    if (n > Remaining()) { m_failed = true; m_pos = m_size; return false; }
    std::memcpy(dst, m_data + m_pos, n); m_pos += n; return true;
  }
  // Pointer to the next n bytes, or nullptr when fewer remain.
  const uint8_t* Take(size_t n) {
    if (n > Remaining()) { m_failed = true; m_pos = m_size; return nullptr; }
    const uint8_t* p = m_data + m_pos; m_pos += n; return p;
  }

private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
  bool m_failed = false;
};

// True when width × height is a picture the readers accept (positive sides,
// no side above kMaxImageSide, no more than kMaxImagePixels pixels).
bool CheckImageSize(int64_t width, int64_t height, QString& error);

// A white-filled 24-bit bitmap, or a null image when the size is refused or
// the memory is not there (check with isNull()).
QImage NewBitmap24(int width, int height, QString& error);

// Calls a TDecodeProgress only when the percentage changes. Step(row) maps a
// row index (0-based, rows done = row + 1) to a percentage of `rows`.
class TProgressReporter {
public:
  TProgressReporter(const TDecodeProgress& cb, int rows, bool bottomUp = false)
      : m_cb(cb), m_rows(rows > 0 ? rows : 1), m_sign(bottomUp ? -1 : 1) {}
  // Returns false once the callback asked to stop.
  bool RowsDone(int done) {
    if (!m_cb) return true;
    int pct = int(int64_t(done) * 100 / m_rows) * m_sign;
    if (pct == m_last) return true;
    m_last = pct;
    return m_cb(pct);
  }
private:
  const TDecodeProgress& m_cb;
  int m_rows;
  int m_sign;
  int m_last = -1000;
};

// The smallest size a reduced decode may deliver for a width × height
// picture and the box of `opt` (see TDecodeOptions::BoxWidth): the picture
// fitted into the box as the loaders fit it; the full size when no box is set or the
// picture fits it.
void ReducedDecodeSize(int width, int height, const TDecodeOptions& opt, int& minWidth, int& minHeight);

// Splits rows of blue, green, red, alpha (8 bits each) into `bgr` (24-bit,
// colour as stored) and `alpha` (Grayscale8). `alpha` is left null when every
// pixel is opaque. False when the memory is not there.
bool SplitBgra(const uint8_t* bgra, size_t stride, int width, int height, QImage& bgr, QImage& alpha);

// Threads a library decoder may use for one picture: the machine's cores,
// at most 4 (the thumbnail worker and the viewer may decode side by side).
int DecoderThreads();
