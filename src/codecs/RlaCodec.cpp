// Wavefront / Alias RLA and its RPF extension. A 740-byte big-endian header
// (full and active window, frame, storage type, channel counts, revision,
// descriptive strings, bits per channel ...) is followed by a table with the
// file offset of every scan line, bottom row first. A scan line holds each
// channel in turn (colour channels, then matte, then auxiliary ones) as a
// 2-byte length and run-length data: a signed count byte c >= 0 repeats the
// next byte c + 1 times, c < 0 copies -c literal bytes. Only the colour
// channels are read; channels wider than 8 bits keep their top 8 bits.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 740;
constexpr size_t kNumChanOffset = 20;
constexpr size_t kChanBitsOffset = 658;
constexpr int kMaxChannels = 256;

struct TRlaHeader {
  int Width = 0;
  int Height = 0;
  int Channels = 0;      // colour channels stored per scan line
  int BytesPerSample = 1;
  int Bits = 8;
};

int16_t S16(TByteReader& r) { return int16_t(r.U16BE()); }

bool ReadHeader(TByteReader& r, TRlaHeader& h, QString& error)
{
  if (r.Size() < kHeaderBytes) {
    error = QStringLiteral("The RLA header is truncated");
    return false;
  }
  r.Seek(8);  // the full window is not needed, the picture is the active window
  const int left = S16(r);
  const int right = S16(r);
  const int bottom = S16(r);
  const int top = S16(r);
  r.Seek(kNumChanOffset);
  const int numChan = S16(r);
  const int numMatte = S16(r);
  const int numAux = S16(r);
  r.Seek(kChanBitsOffset);
  int bits = S16(r);

  if (numChan < 1 || numChan > kMaxChannels || numMatte < 0 || numMatte > kMaxChannels ||
      numAux < 0 || numAux > kMaxChannels) {
    error = QStringLiteral("Not an RLA picture (bad channel counts)");
    return false;
  }
  if (bits == 0) bits = 8;  // old files leave the field empty
  if (bits < 1 || bits > 16) {
    error = QStringLiteral("RLA channels of %1 bits are not supported").arg(bits);
    return false;
  }
  const int64_t width = int64_t(right) - left + 1;
  const int64_t height = int64_t(top) - bottom + 1;
  if (!CheckImageSize(width, height, error)) return false;

  h.Width = int(width);
  h.Height = int(height);
  h.Channels = numChan;
  h.Bits = bits;
  h.BytesPerSample = bits > 8 ? 2 : 1;
  return true;
}

// Expands one channel's run-length block into `dst` (`need` bytes). Runs that
// overshoot the row are cut; a block that ends early leaves the rest as it was.
void ExpandRuns(const uint8_t* src, size_t len, uint8_t* dst, size_t need)
{
  size_t i = 0;
  size_t o = 0;
  while (i < len && o < need) {
    const int c = int8_t(src[i++]);
    if (c >= 0) {
      if (i >= len) break;
      const uint8_t v = src[i++];
      const size_t n = std::min(size_t(c) + 1, need - o);
      std::memset(dst + o, v, n);
      o += n;
    } else {
      const size_t n = std::min({size_t(-c), len - i, need - o});
      std::memcpy(dst + o, src + i, n);
      o += n;
      i += std::min(size_t(-c), len - i);
    }
  }
}

}  // namespace

bool DecodeRla(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  TByteReader r(data);
  TRlaHeader h;
  if (!ReadHeader(r, h, error)) return false;

  // The offset table, then a plausibility check before allocating: every
  // row stores its colour channels, and a run of 128 bytes takes 2 bytes.
  const int used = std::min(h.Channels, 3);
  const size_t rowBytes = size_t(h.Width) * size_t(h.BytesPerSample);
  const uint64_t tableEnd = kHeaderBytes + uint64_t(h.Height) * 4;
  const uint64_t minData = uint64_t(h.Height) * uint64_t(used) * (2 + rowBytes / 64);
  if (tableEnd + minData > r.Size()) {
    error = QStringLiteral("The RLA file is truncated");
    return false;
  }
  std::vector<uint32_t> offsets(size_t(h.Height));
  r.Seek(kHeaderBytes);
  for (auto& o : offsets) o = r.U32BE();
  for (uint32_t o : offsets) {
    if (o < tableEnd || o >= r.Size()) {
      error = QStringLiteral("The RLA scan line table is damaged");
      return false;
    }
  }

  QImage img = NewBitmap24(h.Width, h.Height, error);
  if (img.isNull()) return false;

  std::vector<uint8_t> planes(rowBytes * size_t(used));
  // Wide samples keep their top 8 bits; narrow ones are stretched to 0 … 255.
  auto to8 = [&h](const uint8_t* p) -> uint8_t {
    if (h.BytesPerSample == 2) return uint8_t(std::min(((p[0] << 8) | p[1]) >> (h.Bits - 8), 255));
    if (h.Bits == 8) return p[0];
    const int max = (1 << h.Bits) - 1;
    return uint8_t(std::min(int(p[0]), max) * 255 / max);
  };
  TProgressReporter progress(opt.Progress, h.Height);
  // Rows are stored bottom-up; the table lets us fill the picture from the top.
  for (int y = 0; y < h.Height; ++y) {
    r.Seek(offsets[size_t(h.Height - 1 - y)]);
    std::fill(planes.begin(), planes.end(), uint8_t(0));
    for (int c = 0; c < used; ++c) {
      const uint16_t len = r.U16BE();
      const uint8_t* block = r.Take(len);
      if (r.Failed() || !block) {
        error = QStringLiteral("The RLA file is truncated");
        return false;
      }
      ExpandRuns(block, len, planes.data() + size_t(c) * rowBytes, rowBytes);
    }
    const uint8_t* red = planes.data();
    const uint8_t* green = used >= 3 ? red + rowBytes : red;
    const uint8_t* blue = used >= 3 ? red + 2 * rowBytes : red;
    uint8_t* d = img.scanLine(y);
    const size_t step = size_t(h.BytesPerSample);
    for (int x = 0; x < h.Width; ++x) {
      const size_t s = size_t(x) * step;
      d[3 * x] = to8(blue + s);
      d[3 * x + 1] = to8(green + s);
      d[3 * x + 2] = to8(red + s);
    }
    if (!progress.RowsDone(y + 1)) break;
  }

  out.Bitmap = img;
  out.Width = h.Width;
  out.Height = h.Height;
  out.BitCount = 24;
  return true;
}
