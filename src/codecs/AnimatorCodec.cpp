// Autodesk Animator PIC and CEL pictures: 256-colour, uncompressed.
//
// The usual form starts with a 32-byte header (word 0x9119, width, height,
// x, y, depth 8, compression 0, size of the pixel data, 16 reserved bytes),
// then 256 RGB triples with 6-bit components, then the pixels row by row.
// Early Animator PIC files are bare 320 × 200 screens of 64 000 pixels with
// the 768-byte palette after them (or, in some, before them).
// Animator Pro writes a 64-byte header (file size, word 0x9500, width,
// height, x, y, user id, depth, reserved bytes) followed by chunks, each a
// 4-byte size (header included) and a 2-byte type: 0 is the colour map (a
// version word, then 8-bit RGB triples), 1 the pixels one byte each.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"

#include <algorithm>

namespace {

constexpr uint16_t kMagic = 0x9119;
constexpr uint16_t kProMagic = 0x9500;
constexpr size_t kHeaderBytes = 32;
constexpr size_t kProHeaderBytes = 64;
constexpr size_t kPaletteBytes = 768;
constexpr int kScreenWidth = 320;
constexpr int kScreenHeight = 200;
constexpr size_t kScreenBytes = size_t(kScreenWidth) * kScreenHeight;

using TColours = uint8_t[256][3];  // blue, green, red

struct TPicture {
  int Width = 0;
  int Height = 0;
  const uint8_t* Pixels = nullptr;
  size_t Stride = 0;
  TColours Colours = {};
};

bool IsSixBitPalette(const uint8_t* pal)
{
  for (size_t i = 0; i < kPaletteBytes; ++i)
    if (pal[i] > 63) return false;
  return true;
}

// Colour table from RGB triples. Components above 63 mean the palette was
// written with 8-bit values; take it as it is then.
void SetPalette(const uint8_t* pal, int count, bool sixBit, TColours& bgr)
{
  for (int i = 0; i < count; ++i) {
    for (int c = 0; c < 3; ++c) {
      const uint8_t v = pal[3 * i + c];
      bgr[i][2 - c] = sixBit ? uint8_t((v << 2) | (v >> 4)) : v;
    }
  }
}

bool ReadClassic(TByteReader& r, TPicture& pic, QString& error)
{
  r.Seek(2);
  pic.Width = r.U16LE();
  pic.Height = r.U16LE();
  r.Skip(4);  // position of the cel on the screen
  const uint8_t depth = r.U8();
  const uint8_t compression = r.U8();
  r.Seek(kHeaderBytes);  // past the size of the pixel data and reserved bytes
  const uint8_t* palette = r.Take(kPaletteBytes);
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
  if (!CheckImageSize(pic.Width, pic.Height, error)) return false;
  pic.Stride = size_t(pic.Width);
  pic.Pixels = r.Take(pic.Stride * size_t(pic.Height));
  if (!pic.Pixels) {
    error = QStringLiteral("The Animator picture data is truncated");
    return false;
  }
  SetPalette(palette, 256, IsSixBitPalette(palette), pic.Colours);
  return true;
}

bool ReadPro(TByteReader& r, TPicture& pic, QString& error)
{
  r.Seek(6);
  pic.Width = r.U16LE();
  pic.Height = r.U16LE();
  r.Skip(4 + 4);  // position, user id
  const uint8_t depth = r.U8();
  if (r.Size() < kProHeaderBytes) {
    error = QStringLiteral("The Animator picture header is truncated");
    return false;
  }
  if (depth != 8) {
    error = QStringLiteral("Animator pictures of %1 bits per pixel are not supported").arg(depth);
    return false;
  }
  if (!CheckImageSize(pic.Width, pic.Height, error)) return false;
  for (int i = 0; i < 256; ++i) pic.Colours[i][0] = pic.Colours[i][1] = pic.Colours[i][2] = uint8_t(i);

  const size_t w = size_t(pic.Width);
  const size_t h = size_t(pic.Height);
  r.Seek(kProHeaderBytes);
  while (r.Remaining() >= 6) {
    const uint32_t size = r.U32LE();
    const uint16_t type = r.U16LE();
    if (size < 6 || size - 6 > r.Remaining()) {
      error = QStringLiteral("The Animator picture is damaged or truncated");
      return false;
    }
    const size_t len = size - 6;
    const uint8_t* body = r.Take(len);
    if (type == 0 && len >= 2) {
      const int count = int(std::min<size_t>((len - 2) / 3, 256));
      SetPalette(body + 2, count, false, pic.Colours);
    } else if (type == 1 && !pic.Pixels) {
      // Rows are packed; some writers pad them to an even length.
      const size_t padded = w + (w & 1);
      if (len / h >= padded && len % h == 0) pic.Stride = len / h;
      else if (len >= w * h) pic.Stride = w;
      else break;
      pic.Pixels = body;
    }
  }
  if (!pic.Pixels) {
    error = QStringLiteral("The Animator picture has no pixel data");
    return false;
  }
  return true;
}

}  // namespace

bool DecodeAnimator(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  TByteReader r(data);
  TPicture pic;
  const uint16_t magic = r.U16LE();
  r.Seek(4);
  const uint16_t proMagic = r.U16LE();

  if (!r.Failed() && magic == kMagic) {
    if (!ReadClassic(r, pic, error)) return false;
  } else if (!r.Failed() && proMagic == kProMagic) {
    if (!ReadPro(r, pic, error)) return false;
  } else if (r.Size() == kScreenBytes + kPaletteBytes) {
    const uint8_t* bytes = r.Data();
    const uint8_t* palette = nullptr;
    pic.Width = kScreenWidth;
    pic.Height = kScreenHeight;
    pic.Stride = kScreenWidth;
    if (IsSixBitPalette(bytes + kScreenBytes)) {
      pic.Pixels = bytes;
      palette = bytes + kScreenBytes;
    } else if (IsSixBitPalette(bytes)) {
      palette = bytes;
      pic.Pixels = bytes + kPaletteBytes;
    } else {
      error = QStringLiteral("Not an Autodesk Animator picture");
      return false;
    }
    SetPalette(palette, 256, true, pic.Colours);
  } else {
    error = QStringLiteral("Not an Autodesk Animator picture");
    return false;
  }

  QImage img = NewBitmap24(pic.Width, pic.Height, error);
  if (img.isNull()) return false;

  TProgressReporter progress(opt.Progress, pic.Height);
  for (int y = 0; y < pic.Height; ++y) {
    const uint8_t* s = pic.Pixels + size_t(y) * pic.Stride;
    uint8_t* d = img.scanLine(y);
    for (int x = 0; x < pic.Width; ++x) {
      const uint8_t* c = pic.Colours[s[x]];
      d[3 * x] = c[0];
      d[3 * x + 1] = c[1];
      d[3 * x + 2] = c[2];
    }
    if (!progress.RowsDone(y + 1)) break;
  }

  out.Bitmap = img;
  out.Width = pic.Width;
  out.Height = pic.Height;
  out.BitCount = 8;
  return true;
}
