// TIFF reading through libtiff from memory. The common layouts (bilevel,
// greyscale, palette, RGB with or without alpha, CMYK; 1 to 16 bits a sample;
// strips or tiles) are converted here row by row; anything else goes through
// libtiff's RGBA reader in bands. Rows are delivered as stored: the
// orientation the file states, its colour profile and its alpha are handed on
// for the loaders to apply (a reader feeding a preview lays alpha on white
// itself). CMYK pictures with a colour profile are converted through it.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"
#include "codecs/ColourProfile.h"
#include "codecs/Exif.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <tiffio.h>

namespace {

// libtiff may hand a single allocation at most this much.
constexpr tmsize_t kMaxTiffAlloc = 512LL * 1024 * 1024;

struct TTiffMemory {
  const uint8_t* Data;
  toff_t Size;
  toff_t Pos;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n)
{
  auto* m = static_cast<TTiffMemory*>(h);
  if (n <= 0 || m->Pos >= m->Size) return 0;
  const toff_t k = std::min<toff_t>(toff_t(n), m->Size - m->Pos);
  std::memcpy(buf, m->Data + m->Pos, size_t(k));
  m->Pos += k;
  return tmsize_t(k);
}

tmsize_t MemWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t MemSeek(thandle_t h, toff_t off, int whence)
{
  auto* m = static_cast<TTiffMemory*>(h);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = int64_t(m->Pos);
  else if (whence == SEEK_END) base = int64_t(m->Size);
  int64_t pos = 0;
  if (__builtin_add_overflow(base, int64_t(off), &pos) || pos < 0) return toff_t(-1);
  m->Pos = toff_t(pos);
  return toff_t(pos);
}

int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<TTiffMemory*>(h)->Size; }

int MemMap(thandle_t h, void** base, toff_t* size)
{
  auto* m = static_cast<TTiffMemory*>(h);
  *base = const_cast<uint8_t*>(m->Data);
  *size = m->Size;
  return 1;
}

void MemUnmap(thandle_t, void*, toff_t) {}

// The first error libtiff reports for this file; warnings are ignored.
struct TTiffMessages {
  QString FirstError;
};

int CollectError(TIFF*, void* user, const char*, const char* fmt, va_list ap)
{
  auto* msgs = static_cast<TTiffMessages*>(user);
  if (msgs && msgs->FirstError.isEmpty()) {
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    msgs->FirstError = QString::fromLocal8Bit(buf);
  }
  return 1;
}

int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Messages that libtiff sends without a per-file handler must not reach
// stderr either.
void SilenceGlobalHandlers()
{
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

struct TTiffCloser {
  TIFF* Tif = nullptr;
  ~TTiffCloser() { if (Tif) TIFFClose(Tif); }
};

struct TOpenOptions {
  TIFFOpenOptions* Opts = TIFFOpenOptionsAlloc();
  ~TOpenOptions() { TIFFOpenOptionsFree(Opts); }
};

enum class TKind { Grey, Palette, Rgb, Cmyk };

// How the native path turns one stored row into blue, green, red.
struct TLayout {
  TKind Kind = TKind::Grey;
  int Bits = 8;            // bits per sample: 1, 2, 4, 8 or 16
  int Samples = 1;         // samples per pixel
  bool MinIsWhite = false;
  int Alpha = -1;          // sample index of the alpha, -1 none
  bool Premultiplied = false;
  std::vector<uint8_t> Lut; // palette: index → b, g, r
  int BitCount = 24;
  const TColourTransform* Cmyk = nullptr;  // CMYK through the file's profile
};

inline uint32_t RawSample(const uint8_t* row, size_t i, int bits)
{
  switch (bits) {
  case 8: return row[i];
  case 16: { uint16_t v; std::memcpy(&v, row + 2 * i, 2); return v; }
  default: {
    const size_t bit = i * size_t(bits);
    const int shift = 8 - bits - int(bit & 7);
    return (row[bit >> 3] >> shift) & ((1u << bits) - 1);
  }
  }
}

inline uint8_t To8(uint32_t v, int bits)
{
  switch (bits) {
  case 8: return uint8_t(v);
  case 16: return uint8_t((v * 255 + 32767) / 65535);
  case 1: return v ? 255 : 0;
  case 2: return uint8_t(v * 85);
  case 4: return uint8_t(v * 17);
  default: return 0;
  }
}

inline uint8_t OverWhite(int c, int a, bool premultiplied)
{
  const int v = premultiplied ? c + (255 - a) : (c * a + 255 * (255 - a) + 127) / 255;
  return uint8_t(std::clamp(v, 0, 255));
}

// Converts `width` stored pixels starting at `row` to BGR. With `alpha` the
// picture's alpha goes there (one byte a pixel) and the colour stays as it is
// without it; otherwise the colour is laid on white.
void ConvertRow(const TLayout& L, const uint8_t* row, int width, uint8_t* bgr, uint8_t* alpha = nullptr)
{
  const int bits = L.Bits;
  const size_t spp = size_t(L.Samples);
  if (L.Kind == TKind::Cmyk && L.Cmyk) {
    thread_local std::vector<uint8_t> inks;
    inks.resize(size_t(width) * 4);
    for (int x = 0; x < width; ++x)
      for (int k = 0; k < 4; ++k) inks[size_t(x) * 4 + size_t(k)] = To8(RawSample(row, size_t(x) * spp + size_t(k), bits), bits);
    L.Cmyk->ConvertCmyk(inks.data(), bgr, width);
  }
  for (int x = 0; x < width; ++x, bgr += 3) {
    const size_t s = size_t(x) * spp;
    int b = 0, g = 0, r = 0;
    switch (L.Kind) {
    case TKind::Grey: {
      int v = To8(RawSample(row, s, bits), bits);
      if (L.MinIsWhite) v = 255 - v;
      b = g = r = v;
      break;
    }
    case TKind::Palette: {
      const uint32_t idx = RawSample(row, s, bits);
      if (size_t(idx) * 3 + 2 < L.Lut.size()) {
        b = L.Lut[idx * 3]; g = L.Lut[idx * 3 + 1]; r = L.Lut[idx * 3 + 2];
      }
      break;
    }
    case TKind::Rgb:
      r = To8(RawSample(row, s, bits), bits);
      g = To8(RawSample(row, s + 1, bits), bits);
      b = To8(RawSample(row, s + 2, bits), bits);
      break;
    case TKind::Cmyk: {
      if (L.Cmyk) {
        b = bgr[0]; g = bgr[1]; r = bgr[2];
        break;
      }
      const int c = To8(RawSample(row, s, bits), bits), m = To8(RawSample(row, s + 1, bits), bits);
      const int y = To8(RawSample(row, s + 2, bits), bits), k = To8(RawSample(row, s + 3, bits), bits);
      r = (255 - c) * (255 - k) / 255;
      g = (255 - m) * (255 - k) / 255;
      b = (255 - y) * (255 - k) / 255;
      break;
    }
    }
    if (L.Alpha >= 0 && alpha) {
      const int a = To8(RawSample(row, s + size_t(L.Alpha), bits), bits);
      alpha[x] = uint8_t(a);
      if (L.Premultiplied && a > 0 && a < 255) {
        b = std::min(255, (b * 255 + a / 2) / a);
        g = std::min(255, (g * 255 + a / 2) / a);
        r = std::min(255, (r * 255 + a / 2) / a);
      }
    } else if (L.Alpha >= 0) {
      const int a = To8(RawSample(row, s + size_t(L.Alpha), bits), bits);
      b = OverWhite(b, a, L.Premultiplied);
      g = OverWhite(g, a, L.Premultiplied);
      r = OverWhite(r, a, L.Premultiplied);
    }
    bgr[0] = uint8_t(b); bgr[1] = uint8_t(g); bgr[2] = uint8_t(r);
  }
}

// True for a null alpha plane or one without a single transparent pixel.
bool OpaqueEverywhere(const QImage& alpha)
{
  for (int y = 0; y < alpha.height(); ++y) {
    const uint8_t* a = alpha.constScanLine(y);
    for (int x = 0; x < alpha.width(); ++x)
      if (a[x] != 255) return false;
  }
  return true;
}

// Decides whether the native path can read this file, and how.
bool NativeLayout(TIFF* tif, TLayout& L)
{
  uint16_t bits = 1, spp = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT, photometric = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
    photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  if (format != SAMPLEFORMAT_UINT || spp < 1 || spp > 8) return false;
  if (planar != PLANARCONFIG_CONTIG && spp > 1) return false;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) return false;
  L.Bits = bits;
  L.Samples = spp;

  uint16_t extraCount = 0;
  uint16_t* extraTypes = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
  auto alphaAfter = [&](int colourSamples) {
    if (spp > colourSamples && extraCount > 0 && extraTypes &&
        (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA || extraTypes[0] == EXTRASAMPLE_UNASSALPHA)) {
      L.Alpha = colourSamples;
      L.Premultiplied = extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    }
  };

  switch (photometric) {
  case PHOTOMETRIC_MINISWHITE:
  case PHOTOMETRIC_MINISBLACK:
    L.Kind = TKind::Grey;
    L.MinIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
    alphaAfter(1);
    L.BitCount = L.Alpha >= 0 ? 32 : bits == 1 ? 1 : bits <= 4 ? 4 : 8;
    return true;
  case PHOTOMETRIC_PALETTE: {
    if (bits > 8) return false;
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) return false;
    const int n = 1 << bits;
    // Some writers store 8-bit values in the 16-bit colour map.
    bool eightBit = true;
    for (int i = 0; i < n; ++i)
      if (red[i] > 255 || green[i] > 255 || blue[i] > 255) { eightBit = false; break; }
    L.Lut.resize(size_t(n) * 3);
    for (int i = 0; i < n; ++i) {
      const int sh = eightBit ? 0 : 8;
      L.Lut[size_t(i) * 3] = uint8_t(blue[i] >> sh);
      L.Lut[size_t(i) * 3 + 1] = uint8_t(green[i] >> sh);
      L.Lut[size_t(i) * 3 + 2] = uint8_t(red[i] >> sh);
    }
    L.Kind = TKind::Palette;
    L.BitCount = bits == 1 ? 1 : bits <= 4 ? 4 : 8;
    return true;
  }
  case PHOTOMETRIC_RGB:
    if (spp < 3 || bits < 8) return false;
    L.Kind = TKind::Rgb;
    alphaAfter(3);
    L.BitCount = L.Alpha >= 0 ? 32 : 24;
    return true;
  case PHOTOMETRIC_SEPARATED: {
    uint16_t inkset = INKSET_CMYK;
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
    if (inkset != INKSET_CMYK || spp < 4 || bits < 8) return false;
    L.Kind = TKind::Cmyk;
    alphaAfter(4);
    L.BitCount = 24;
    return true;
  }
  default:
    return false;
  }
}

// Where the decoded rows go: the bitmap, the sink, or both.
struct TOutput {
  const TDecodeOptions& Opt;
  QImage Bitmap;
  QImage Alpha;               // Grayscale8 when the alpha is kept apart
  std::vector<uint8_t> Row;   // for the sink when there is no bitmap
  TProgressReporter Progress;
  int Width, Height;
  TOutput(const TDecodeOptions& opt, int w, int h) : Opt(opt), Progress(opt.Progress, h), Width(w), Height(h) {}
  uint8_t* RowBuffer(int y) { return Bitmap.isNull() ? Row.data() : Bitmap.scanLine(y); }
  uint8_t* AlphaRow(int y) { return Alpha.isNull() ? nullptr : Alpha.scanLine(y); }
  // Hands row y on; false when the caller asked to stop.
  bool Done(int y)
  {
    if (Opt.Sink) Opt.Sink->Row(y, RowBuffer(y));
    return Progress.RowsDone(y + 1);
  }
};

QString ReadFailure(const TTiffMessages& msgs)
{
  return msgs.FirstError.isEmpty() ? QStringLiteral("The TIFF file is damaged")
                                   : QStringLiteral("The TIFF file is damaged: %1").arg(msgs.FirstError);
}

bool ReadStrips(TIFF* tif, const TLayout& L, TOutput& out, const TTiffMessages& msgs, QString& error)
{
  const tmsize_t lineSize = TIFFScanlineSize(tif);
  const int64_t needed = (int64_t(out.Width) * L.Samples * L.Bits + 7) / 8;
  if (lineSize <= 0 || lineSize < needed || lineSize > kMaxTiffAlloc) {
    error = ReadFailure(msgs);
    return false;
  }
  std::vector<uint8_t> line(static_cast<size_t>(lineSize));
  for (int y = 0; y < out.Height; ++y) {
    if (TIFFReadScanline(tif, line.data(), uint32_t(y), 0) < 0) {
      error = ReadFailure(msgs);
      return false;
    }
    ConvertRow(L, line.data(), out.Width, out.RowBuffer(y), out.AlphaRow(y));
    if (!out.Done(y)) break;
  }
  return true;
}

bool ReadTiles(TIFF* tif, const TLayout& L, TOutput& out, const TTiffMessages& msgs, QString& error)
{
  uint32_t tw = 0, th = 0;
  TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
  TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
  const tmsize_t tileSize = TIFFTileSize(tif);
  const tmsize_t tileRow = TIFFTileRowSize(tif);
  const int64_t needed = (int64_t(tw) * L.Samples * L.Bits + 7) / 8;
  if (tw == 0 || th == 0 || tw > uint32_t(kMaxImageSide) || th > uint32_t(kMaxImageSide) || tileSize <= 0 ||
      tileSize > kMaxTiffAlloc || tileRow < needed || int64_t(tileRow) * th > tileSize) {
    error = ReadFailure(msgs);
    return false;
  }
  std::vector<uint8_t> tile(static_cast<size_t>(tileSize));
  std::vector<uint8_t> bgr(size_t(tw) * 3), alpha(tw);
  for (uint32_t ty = 0; ty < uint32_t(out.Height); ty += th) {
    const int bandRows = int(std::min<uint32_t>(th, uint32_t(out.Height) - ty));
    for (uint32_t tx = 0; tx < uint32_t(out.Width); tx += tw) {
      if (TIFFReadEncodedTile(tif, TIFFComputeTile(tif, tx, ty, 0, 0), tile.data(), tileSize) < 0) {
        error = ReadFailure(msgs);
        return false;
      }
      const int cols = int(std::min<uint32_t>(tw, uint32_t(out.Width) - tx));
      for (int r = 0; r < bandRows; ++r) {
        uint8_t* a = out.AlphaRow(int(ty) + r);
        ConvertRow(L, tile.data() + size_t(r) * size_t(tileRow), cols, bgr.data(), a ? alpha.data() : nullptr);
        std::memcpy(out.RowBuffer(int(ty) + r) + size_t(tx) * 3, bgr.data(), size_t(cols) * 3);
        if (a) std::memcpy(a + tx, alpha.data(), size_t(cols));
      }
    }
    for (int r = 0; r < bandRows; ++r)
      if (!out.Done(int(ty) + r)) return true;
  }
  return true;
}

// libtiff's general reader, a band of rows at a time.
bool ReadThroughRgba(TIFF* tif, TOutput& out, const TTiffMessages& msgs, QString& error)
{
  char emsg[1024] = {};
  TIFFRGBAImage img;
  if (!TIFFRGBAImageOK(tif, emsg) || !TIFFRGBAImageBegin(&img, tif, 0, emsg)) {
    error = QStringLiteral("This kind of TIFF picture can not be read: %1").arg(QString::fromLocal8Bit(emsg));
    return false;
  }
  struct TEnd { TIFFRGBAImage* I; ~TEnd() { TIFFRGBAImageEnd(I); } } end{&img};
  // The picture is read as stored (asking for its own orientation turns
  // nothing); the loaders turn it upright.
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  img.req_orientation = orientation;
  // Every call decodes the strips (or tiles) it touches from their first
  // row, so a band follows the file's own strips: bands of a few rows out of
  // a strip of thousands would decode that strip again for every band.
  uint32_t unit = 0;
  if (TIFFIsTiled(tif)) TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
  else TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
  constexpr int64_t kRasterPixels = 16LL * 1024 * 1024;  // 64 MiB of RGBA
  const int64_t most = std::max<int64_t>(16, kRasterPixels / out.Width);
  const int band = int(std::min({std::max<int64_t>(unit, 16), most, int64_t(out.Height)}));
  std::vector<uint32_t> raster(size_t(out.Width) * size_t(band));
  for (int y0 = 0; y0 < out.Height; y0 += band) {
    const int rows = std::min(band, out.Height - y0);
    img.row_offset = y0;
    img.col_offset = 0;
    std::fill(raster.begin(), raster.end(), 0xFFFFFFFFu);
    if (!TIFFRGBAImageGet(&img, raster.data(), uint32_t(out.Width), uint32_t(rows))) {
      error = ReadFailure(msgs);
      return false;
    }
    for (int r = 0; r < rows; ++r) {
      const uint32_t* src = raster.data() + size_t(r) * size_t(out.Width);
      uint8_t* dst = out.RowBuffer(y0 + r);
      uint8_t* alpha = out.AlphaRow(y0 + r);
      for (int x = 0; x < out.Width; ++x, dst += 3) {
        const int a = int(TIFFGetA(src[x]));
        if (alpha) {
          // The RGBA reader hands premultiplied colour: undone here.
          alpha[x] = uint8_t(a);
          const int half = a / 2;
          dst[0] = a == 0 ? 255 : uint8_t(std::min(255, (int(TIFFGetB(src[x])) * 255 + half) / a));
          dst[1] = a == 0 ? 255 : uint8_t(std::min(255, (int(TIFFGetG(src[x])) * 255 + half) / a));
          dst[2] = a == 0 ? 255 : uint8_t(std::min(255, (int(TIFFGetR(src[x])) * 255 + half) / a));
          continue;
        }
        // The RGBA reader hands premultiplied colour.
        dst[0] = OverWhite(int(TIFFGetB(src[x])), a, true);
        dst[1] = OverWhite(int(TIFFGetG(src[x])), a, true);
        dst[2] = OverWhite(int(TIFFGetR(src[x])), a, true);
      }
      if (!out.Done(y0 + r)) return true;
    }
  }
  return true;
}

}  // namespace

bool DecodeTiff(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  if (data.size() < 8 || !(data.startsWith("II") || data.startsWith("MM"))) {
    error = QStringLiteral("The file is not a TIFF picture");
    return false;
  }
  SilenceGlobalHandlers();
  TTiffMemory mem{reinterpret_cast<const uint8_t*>(data.constData()), toff_t(data.size()), 0};
  TTiffMessages msgs;
  TOpenOptions options;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.Opts, kMaxTiffAlloc);
  TIFFOpenOptionsSetErrorHandlerExtR(options.Opts, CollectError, &msgs);
  TIFFOpenOptionsSetWarningHandlerExtR(options.Opts, IgnoreWarning, nullptr);
  TTiffCloser closer;
  closer.Tif = TIFFClientOpenExt("memory", "r", &mem, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap,
                                 MemUnmap, options.Opts);
  TIFF* tif = closer.Tif;
  if (!tif) {
    error = ReadFailure(msgs);
    return false;
  }
  uint32_t w = 0, h = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h)) {
    error = QStringLiteral("The TIFF file has no picture size");
    return false;
  }
  if (!CheckImageSize(w, h, error)) return false;
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  if (!TIFFIsCODECConfigured(compression)) {
    error = QStringLiteral("The TIFF file uses a compression that can not be read (%1)").arg(compression);
    return false;
  }

  // The colour profile, as stored (bounded like every other allocation).
  QByteArray icc;
  uint32_t iccSize = 0;
  void* iccData = nullptr;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccSize, &iccData) && iccData && iccSize > 0 &&
      iccSize <= uint32_t(kMaxIccProfileBytes))
    icc = QByteArray(static_cast<const char*>(iccData), qsizetype(iccSize));

  TLayout layout;
  const bool native = NativeLayout(tif, layout);
  int bitCount = layout.BitCount;
  TColourTransform cmyk;
  if (native && layout.Kind == TKind::Cmyk && !icc.isEmpty() && cmyk.Create(icc, TProfilePixels::Cmyk))
    layout.Cmyk = &cmyk;
  if (!native) {
    uint16_t spp = 3;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    bitCount = spp == 2 || spp >= 4 ? 32 : 24;
  }
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  if (orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT) orientation = ORIENTATION_TOPLEFT;

  TOutput dest(opt, int(w), int(h));
  const bool tiled = TIFFIsTiled(tif);
  // Tiles arrive a band at a time, so they are gathered in the bitmap even
  // when a sink is listening.
  if (!opt.Sink || tiled) {
    dest.Bitmap = NewBitmap24(int(w), int(h), error);
    if (dest.Bitmap.isNull()) return false;
  } else {
    dest.Row.assign(size_t(w) * 3, 0xFF);
  }
  // Without a preview listening, a picture with alpha keeps it apart.
  const bool hasAlpha = native ? layout.Alpha >= 0 : bitCount == 32;
  if (!opt.Sink && hasAlpha) {
    dest.Alpha = QImage(int(w), int(h), QImage::Format_Grayscale8);
    if (dest.Alpha.isNull()) {
      error = QStringLiteral("Not enough memory for the picture");
      return false;
    }
    dest.Alpha.fill(255);
  }
  if (opt.Sink) {
    opt.Sink->Describe(orientation, icc);
    opt.Sink->Begin(int(w), int(h), false);
  }

  bool ok;
  if (!native) ok = ReadThroughRgba(tif, dest, msgs, error);
  else if (tiled) ok = ReadTiles(tif, layout, dest, msgs, error);
  else ok = ReadStrips(tif, layout, dest, msgs, error);
  if (!ok) return false;

  out.Bitmap = dest.Bitmap;
  out.Width = int(w);
  out.Height = int(h);
  out.BitCount = bitCount;
  out.IccProfile = icc;
  out.Orientation = orientation;
  out.Alpha = OpaqueEverywhere(dest.Alpha) ? QImage() : dest.Alpha;
  return true;
}
