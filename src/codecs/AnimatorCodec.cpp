// Autodesk Animator PIC and CEL pictures: 256-colour, uncompressed.
//
// The usual form starts with a 32-byte header (word 0x9119, width, height,
// x, y, depth 8, compression 0, size of the pixel data, 16 reserved bytes),
// then 256 RGB triples with 6-bit components, then the pixels row by row.
// Early Animator PIC files are bare 320 × 200 screens of 64 000 pixels with
// the 768-byte palette after them (or, in some, before them).
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"

namespace {

constexpr uint16_t kMagic = 0x9119;
constexpr size_t kHeaderBytes = 32;
constexpr size_t kPaletteBytes = 768;
constexpr int kScreenWidth = 320;
constexpr int kScreenHeight = 200;
constexpr size_t kScreenBytes = size_t(kScreenWidth) * kScreenHeight;

bool IsSixBitPalette(const uint8_t* pal)
{
  for (size_t i = 0; i < kPaletteBytes; ++i)
    if (pal[i] > 63) return false;
  return true;
}

// Colour table as blue, green, red triples. Components above 63 mean the
// palette was written with 8-bit values; take it as it is then.
void BuildPalette(const uint8_t* pal, uint8_t (&bgr)[256][3])
{
  const bool sixBit = IsSixBitPalette(pal);
  for (int i = 0; i < 256; ++i) {
    for (int c = 0; c < 3; ++c) {
      const uint8_t v = pal[3 * i + c];
      bgr[i][2 - c] = sixBit ? uint8_t((v << 2) | (v >> 4)) : v;
    }
  }
}

}  // namespace

bool DecodeAnimator(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  TByteReader r(data);
  const uint8_t* palette = nullptr;
  const uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;

  if (r.Size() >= 2 && r.U16LE() == kMagic) {
    width = r.U16LE();
    height = r.U16LE();
    r.Skip(4);  // position of the cel on the screen
    const uint8_t depth = r.U8();
    const uint8_t compression = r.U8();
    r.Seek(kHeaderBytes);  // past the size of the pixel data and reserved bytes
    palette = r.Take(kPaletteBytes);
    if (r.Failed() || !palette) {
      error = QStringLiteral("The Animator picture header is truncated");
      return false;
    }
    if (depth != 8) {
      error = QStringLiteral("Animator pictures of %1 bits per pixel are not supported").arg(depth);
      return false;
    }
    if (compression != 0) {
      error = QStringLiteral("Compressed Animator pictures are not supported");
      return false;
    }
    if (!CheckImageSize(width, height, error)) return false;
    pixels = r.Take(size_t(width) * size_t(height));
    if (!pixels) {
      error = QStringLiteral("The Animator picture data is truncated");
      return false;
    }
  } else if (r.Size() == kScreenBytes + kPaletteBytes) {
    const uint8_t* bytes = r.Data();
    width = kScreenWidth;
    height = kScreenHeight;
    if (IsSixBitPalette(bytes + kScreenBytes)) {
      pixels = bytes;
      palette = bytes + kScreenBytes;
    } else if (IsSixBitPalette(bytes)) {
      palette = bytes;
      pixels = bytes + kPaletteBytes;
    } else {
      error = QStringLiteral("Not an Autodesk Animator picture");
      return false;
    }
  } else {
    error = QStringLiteral("Not an Autodesk Animator picture");
    return false;
  }

  QImage img = NewBitmap24(width, height, error);
  if (img.isNull()) return false;

  uint8_t colours[256][3];
  BuildPalette(palette, colours);
  TProgressReporter progress(opt.Progress, height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = pixels + size_t(y) * size_t(width);
    uint8_t* d = img.scanLine(y);
    for (int x = 0; x < width; ++x) {
      const uint8_t* c = colours[s[x]];
      d[3 * x] = c[0];
      d[3 * x + 1] = c[1];
      d[3 * x + 2] = c[2];
    }
    if (!progress.RowsDone(y + 1)) break;
  }

  out.Bitmap = img;
  out.Width = width;
  out.Height = height;
  out.BitCount = 8;
  return true;
}
