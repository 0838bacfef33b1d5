// Dr. Halo CUT pictures: a 6-byte header (width, height, a reserved word),
// then every row as a 2-byte byte count and run-length data: a byte c with
// the high bit set repeats the next byte (c & 0x7F) times, otherwise the next
// c bytes are copied; a count of 0 ends the row. The colours come from the
// Dr. Halo palette file of the same name beside the picture (".pal" in any
// case); without one the indexes are shown as a grey ramp.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeaderBytes = 6;
constexpr size_t kPalHeaderBytes = 40;
constexpr qint64 kMaxPalFileBytes = 64 * 1024;

using TColours = uint8_t[256][3];  // blue, green, red

void GreyRamp(TColours& pal)
{
  for (int i = 0; i < 256; ++i) pal[i][0] = pal[i][1] = pal[i][2] = uint8_t(i);
}

// The palette file beside `cutPath`: same name, extension ".pal" in any case.
QString FindPaletteFile(const QString& cutPath)
{
  const QFileInfo info(cutPath);
  const QDir dir = info.dir();
  const QString base = info.completeBaseName();
  for (const char* ext : {".pal", ".PAL", ".Pal"}) {
    const QString p = dir.filePath(base + QLatin1String(ext));
    if (QFileInfo(p).isFile()) return p;
  }
  const QString wanted = base + QStringLiteral(".pal");
  const QStringList names = dir.entryList(QDir::Files | QDir::Hidden);
  for (const QString& n : names)
    if (n.compare(wanted, Qt::CaseInsensitive) == 0) return dir.filePath(n);
  return QString();
}

int ScaleComponent(uint16_t v, uint16_t max)
{
  if (max == 0 || max == 255) return std::min<int>(v, 255);
  return int(std::min<uint32_t>((uint32_t(v) * 255 + max / 2) / max, 255));
}

// Reads a Dr. Halo palette file into `pal`. Header: "AH", version, size,
// file type, subtype, board id, graphics mode, largest index, largest red,
// green and blue values, a 20-character name; then three words per colour.
// Colour entries never straddle a 512-byte block. Entries the file lacks
// keep their grey. Returns false when the file is not a Dr. Halo palette.
bool ReadHaloPalette(const QByteArray& bytes, TColours& pal)
{
  TByteReader r(bytes);
  if (r.Size() < kPalHeaderBytes || r.U8() != 'A' || r.U8() != 'H') return false;
  r.Seek(12);
  const int maxIndex = std::min<int>(r.U16LE(), 255);
  const uint16_t maxRed = r.U16LE();
  const uint16_t maxGreen = r.U16LE();
  const uint16_t maxBlue = r.U16LE();
  r.Seek(kPalHeaderBytes);
  for (int i = 0; i <= maxIndex; ++i) {
    if (r.Pos() % 512 > 512 - 6) r.Seek(std::min(r.Size(), (r.Pos() / 512 + 1) * 512));
    if (r.Remaining() < 6) break;
    const uint16_t red = r.U16LE();
    const uint16_t green = r.U16LE();
    const uint16_t blue = r.U16LE();
    pal[i][0] = uint8_t(ScaleComponent(blue, maxBlue));
    pal[i][1] = uint8_t(ScaleComponent(green, maxGreen));
    pal[i][2] = uint8_t(ScaleComponent(red, maxRed));
  }
  return true;
}

void LoadPalette(const QString& cutPath, TColours& pal)
{
  GreyRamp(pal);
  if (cutPath.isEmpty()) return;
  const QString path = FindPaletteFile(cutPath);
  if (path.isEmpty()) return;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = f.read(kMaxPalFileBytes);
  if (!ReadHaloPalette(bytes, pal)) GreyRamp(pal);
}

// Expands one row's run-length block into `width` indexes; what the block
// does not cover stays 0.
void ExpandRow(const uint8_t* src, size_t len, uint8_t* dst, size_t width)
{
  std::memset(dst, 0, width);
  size_t i = 0;
  size_t o = 0;
  while (i < len && o < width) {
    const uint8_t c = src[i++];
    const size_t n = c & 0x7F;
    if (n == 0) break;
    if (c & 0x80) {
      if (i >= len) break;
      std::memset(dst + o, src[i++], std::min(n, width - o));
      o += std::min(n, width - o);
    } else {
      const size_t k = std::min({n, len - i, width - o});
      std::memcpy(dst + o, src + i, k);
      o += k;
      i += std::min(n, len - i);
    }
  }
}

}  // namespace

bool DecodeCut(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  TByteReader r(data);
  const int width = r.U16LE();
  const int height = r.U16LE();
  r.U16LE();  // reserved
  if (r.Failed()) {
    error = QStringLiteral("The CUT header is truncated");
    return false;
  }
  if (!CheckImageSize(width, height, error)) return false;
  // Before allocating: every row needs its byte count, and a run covers at
  // most 127 pixels with 2 bytes.
  const uint64_t minBytes =
      kHeaderBytes + uint64_t(height) * 2 + uint64_t(width) * uint64_t(height) / 64;
  if (minBytes > r.Size()) {
    error = QStringLiteral("The CUT file is truncated");
    return false;
  }

  QImage img = NewBitmap24(width, height, error);
  if (img.isNull()) return false;

  TColours pal;
  LoadPalette(opt.FileName, pal);

  QByteArray indexes(width, '\0');
  auto* row = reinterpret_cast<uint8_t*>(indexes.data());
  TProgressReporter progress(opt.Progress, height);
  for (int y = 0; y < height; ++y) {
    const uint16_t len = r.U16LE();
    const uint8_t* block = r.Take(len);
    if (r.Failed() || !block) {
      error = QStringLiteral("The CUT file is truncated");
      return false;
    }
    ExpandRow(block, len, row, size_t(width));
    uint8_t* d = img.scanLine(y);
    for (int x = 0; x < width; ++x) std::memcpy(d + 3 * x, pal[row[x]], 3);
    if (!progress.RowsDone(y + 1)) break;
  }

  out.Bitmap = img;
  out.Width = width;
  out.Height = height;
  out.BitCount = 8;
  return true;
}
