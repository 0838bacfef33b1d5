#include "codecs/Exif.h"

#include <QList>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Reads 16/32-bit values of either byte order from a block, 0 past its end.
struct TTiffBytes {
  const uint8_t* Data;
  size_t Size;
  bool BigEndian;

  uint16_t U16(size_t at) const
  {
    if (at > Size || Size - at < 2) return 0;
    const uint8_t* p = Data + at;
    return BigEndian ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
  }
  uint32_t U32(size_t at) const
  {
    if (at > Size || Size - at < 4) return 0;
    const uint8_t* p = Data + at;
    return BigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                     : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }
};

constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;

// Calls `segment(marker, body, length)` for every marker segment of a JPEG
// before its image data, until it returns false. False when the file does
// not start like a JPEG.
template <typename F> bool WalkJpegSegments(const QByteArray& jpeg, F segment)
{
  const auto* p = reinterpret_cast<const uint8_t*>(jpeg.constData());
  const size_t n = size_t(jpeg.size());
  if (n < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
  size_t i = 2;
  while (i + 4 <= n) {
    if (p[i] != 0xFF) return true;  // not a marker: the header part is over (or damaged)
    const uint8_t marker = p[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    i += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // stand-alone markers
    if (marker == 0xD9 || marker == 0xDA) return true;                   // end, or the image data
    const size_t len = size_t(p[i]) << 8 | p[i + 1];
    if (len < 2 || len > n - i) return true;
    if (!segment(marker, p + i + 2, len - 2)) return true;
    i += len;
  }
  return true;
}

}  // namespace

int ExifOrientation(const QByteArray& block)
{
  const QByteArray tiffBlock = block.startsWith(QByteArray("Exif\0\0", 6)) ? block.mid(6) : block;
  const auto* p = reinterpret_cast<const uint8_t*>(tiffBlock.constData());
  const size_t n = size_t(tiffBlock.size());
  if (n < 8) return 1;
  TTiffBytes b{p, n, false};
  if (p[0] == 'M' && p[1] == 'M') b.BigEndian = true;
  else if (!(p[0] == 'I' && p[1] == 'I')) return 1;
  if (b.U16(2) != 42) return 1;  // BigTIFF and anything else: no orientation known
  const size_t ifd = b.U32(4);
  if (ifd < 8 || ifd > n - 2) return 1;
  const size_t count = b.U16(ifd);
  const size_t room = (n - ifd - 2) / 12;
  const size_t entries = count < room ? count : room;
  for (size_t k = 0; k < entries; ++k) {
    const size_t e = ifd + 2 + 12 * k;
    if (b.U16(e) != kTagOrientation) continue;
    const uint16_t type = b.U16(e + 2);
    if (b.U32(e + 4) < 1) return 1;
    uint32_t v = 0;
    if (type == kTypeShort) v = b.U16(e + 8);
    else if (type == kTypeLong) v = b.U32(e + 8);
    return v >= 1 && v <= 8 ? int(v) : 1;
  }
  return 1;
}

QByteArray JpegExifBlock(const QByteArray& jpeg)
{
  QByteArray block;
  WalkJpegSegments(jpeg, [&](uint8_t marker, const uint8_t* body, size_t len) {
    if (marker != 0xE1 || len < 6 || std::memcmp(body, "Exif\0\0", 6) != 0) return true;
    block = QByteArray(reinterpret_cast<const char*>(body + 6), qsizetype(len - 6));
    return false;
  });
  return block;
}

QByteArray JpegIccProfile(const QByteArray& jpeg)
{
  // Each chunk: "ICC_PROFILE\0", its number (1 … count), the count, data.
  constexpr size_t kHead = 14;
  struct TChunk {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
  };
  std::vector<TChunk> chunks;
  int count = 0;
  bool bad = false;
  size_t total = 0;
  WalkJpegSegments(jpeg, [&](uint8_t marker, const uint8_t* body, size_t len) {
    if (marker != 0xE2 || len < kHead || std::memcmp(body, "ICC_PROFILE\0", 12) != 0) return true;
    const int number = body[12], of = body[13];
    if (of == 0 || number == 0 || number > of || (count != 0 && of != count)) {
      bad = true;
      return false;
    }
    if (count == 0) {
      count = of;
      chunks.assign(size_t(count), TChunk{});
    }
    TChunk& c = chunks[size_t(number - 1)];
    if (c.Data) {  // the same number twice
      bad = true;
      return false;
    }
    c.Data = body + kHead;
    c.Size = len - kHead;
    total += c.Size;
    return true;
  });
  if (bad || count == 0 || total == 0 || total > size_t(kMaxIccProfileBytes)) return QByteArray();
  QByteArray profile;
  profile.reserve(qsizetype(total));
  for (const TChunk& c : chunks) {
    if (!c.Data) return QByteArray();  // a chunk is missing
    profile.append(reinterpret_cast<const char*>(c.Data), qsizetype(c.Size));
  }
  return profile;
}

QByteArray ExifFromRawProfileText(const QByteArray& text)
{
  // Only the first directory matters; 64 KB is the most a JPEG segment holds.
  constexpr qsizetype kMaxBytes = 65536;
  const QList<QByteArray> head = text.left(64).simplified().split(' ');
  if (head.size() < 2) return {};
  bool ok = false;
  const qsizetype length = head[1].toLongLong(&ok);
  if (!ok || length <= 0 || length > kMaxBytes) return {};
  // Skip the name and the length, then read hexadecimal digits across lines.
  qsizetype i = text.indexOf(head[1]);
  if (i < 0) return {};
  i += head[1].size();
  QByteArray out;
  out.reserve(length);
  int high = -1;
  for (; i < text.size() && out.size() < length; ++i) {
    const char c = text[i];
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c == '\n' || c == '\r' || c == ' ' || c == '\t') continue;
    else return {};
    if (high < 0) high = v;
    else { out.append(char(high << 4 | v)); high = -1; }
  }
  return out.size() == length ? out : QByteArray();
}
