// PNG reading through libpng: every colour type and depth (palette, grey,
// 16 bits, tRNS transparency), interlaced or not. An animated PNG gives its
// default image (the IDAT picture every PNG reader shows). The colour comes
// out as stored, transparency in a separate alpha plane, and an embedded
// ICC profile is passed on.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"
#include "codecs/Exif.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Everything libpng touches after setjmp lives here, reached through a
// pointer, so nothing depends on register contents after a longjmp.
struct TPngState {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  size_t Pos = 0;
  char Message[200] = {};
};

void PngRead(png_structp png, png_bytep out, size_t n)
{
  auto* s = static_cast<TPngState*>(png_get_io_ptr(png));
  if (n > s->Size - s->Pos) png_error(png, "The file ends in the middle of the picture");
  std::memcpy(out, s->Data + s->Pos, n);
  s->Pos += n;
}

[[noreturn]] void PngError(png_structp png, png_const_charp message)
{
  auto* s = static_cast<TPngState*>(png_get_error_ptr(png));
  std::snprintf(s->Message, sizeof s->Message, "%s", message ? message : "damaged PNG file");
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct THeader {
  png_uint_32 Width = 0, Height = 0;
  int BitDepth = 0, ColourType = 0, Interlace = 0;
  bool Alpha = false;  // after the transformations: 4 bytes a pixel
  int Passes = 1;
  QByteArray Icc;
  int Orientation = 1;
};

// Reads up to the picture data and sets the transformations: palette and low
// depths widened, 16 bits rounded to 8, grey made colour, blue first.
bool ReadHeader(TPngState* s, THeader* h)
{
  if (setjmp(png_jmpbuf(s->Png))) return false;
  png_set_read_fn(s->Png, s, PngRead);
  png_set_user_limits(s->Png, kMaxImageSide, kMaxImageSide);
  // A damaged text or profile chunk can not make libpng allocate much.
  png_set_chunk_malloc_max(s->Png, 64u << 20);
  png_read_info(s->Png, s->Info);
  png_get_IHDR(s->Png, s->Info, &h->Width, &h->Height, &h->BitDepth, &h->ColourType, &h->Interlace, nullptr,
               nullptr);
  png_charp name = nullptr;
  png_bytep profile = nullptr;
  png_uint_32 length = 0;
  int compression = 0;
  if (png_get_iCCP(s->Png, s->Info, &name, &compression, &profile, &length) && profile && length > 0)
    h->Icc = QByteArray(reinterpret_cast<const char*>(profile), qsizetype(length));
  // EXIF before the picture data: an eXIf chunk, or the text chunk other
  // tools (exiv2, ImageMagick) store it in.
  png_bytep exif = nullptr;
  png_uint_32 exifLength = 0;
  if (png_get_eXIf_1(s->Png, s->Info, &exifLength, &exif) && exif && exifLength > 0) {
    h->Orientation = ExifOrientation(QByteArray(reinterpret_cast<const char*>(exif), qsizetype(exifLength)));
  } else {
    png_textp texts = nullptr;
    const int count = png_get_text(s->Png, s->Info, &texts, nullptr);
    for (int i = 0; i < count && texts; ++i) {
      const QByteArray key(texts[i].key);
      if (key != "Raw profile type exif" && key != "Raw profile type APP1") continue;
      const size_t length = texts[i].text_length ? texts[i].text_length : texts[i].itxt_length;
      h->Orientation = ExifOrientation(ExifFromRawProfileText(QByteArray(texts[i].text, qsizetype(length))));
      break;
    }
  }
  const bool trns = png_get_valid(s->Png, s->Info, PNG_INFO_tRNS) != 0;
  h->Alpha = (h->ColourType & PNG_COLOR_MASK_ALPHA) != 0 || trns;
  if (h->ColourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s->Png);
  if (h->ColourType == PNG_COLOR_TYPE_GRAY && h->BitDepth < 8) png_set_expand_gray_1_2_4_to_8(s->Png);
  if (trns) png_set_tRNS_to_alpha(s->Png);
  if (h->BitDepth == 16) png_set_scale_16(s->Png);
  if (!(h->ColourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(s->Png);
  png_set_bgr(s->Png);
  h->Passes = png_set_interlace_handling(s->Png);
  png_read_update_info(s->Png, s->Info);
  if (png_get_rowbytes(s->Png, s->Info) != size_t(h->Width) * (h->Alpha ? 4 : 3))
    png_error(s->Png, "unexpected row layout");
  return true;
}

// Decodes the rows into `rows` (row pointers of the whole picture). Returns
// false on damage; *stopped is set when the progress callback asked to stop.
bool ReadRows(TPngState* s, png_bytep* rows, int height, int passes, TProgressReporter* progress, bool* stopped)
{
  if (setjmp(png_jmpbuf(s->Png))) return false;
  const int64_t total = int64_t(height) * passes;
  for (int p = 0; p < passes; ++p)
    for (int y = 0; y < height; ++y) {
      png_read_row(s->Png, rows[y], nullptr);
      const int64_t done = int64_t(p) * height + y + 1;
      if (!progress->RowsDone(int(done * height / total))) {
        *stopped = true;
        return true;
      }
    }
  return true;
}

int BitCountOf(const THeader& h)
{
  int channels = 1;
  switch (h.ColourType) {
  case PNG_COLOR_TYPE_GRAY_ALPHA: channels = 2; break;
  case PNG_COLOR_TYPE_RGB: channels = 3; break;
  case PNG_COLOR_TYPE_RGB_ALPHA: channels = 4; break;
  default: break;
  }
  return std::min(32, h.BitDepth * channels);
}

}  // namespace

bool DecodePng(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
  if (data.size() < 8 || std::memcmp(bytes, kPngSignature, 8) != 0) {
    error = QStringLiteral("Not a PNG file");
    return false;
  }
  TPngState state;
  state.Data = bytes;
  state.Size = size_t(data.size());
  state.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning);
  if (!state.Png) {
    error = QStringLiteral("Not enough memory");
    return false;
  }
  state.Info = png_create_info_struct(state.Png);
  struct TCleanup {
    TPngState& S;
    ~TCleanup() { png_destroy_read_struct(&S.Png, S.Info ? &S.Info : nullptr, nullptr); }
  } cleanup{state};
  if (!state.Info) {
    error = QStringLiteral("Not enough memory");
    return false;
  }

  THeader header;
  if (!ReadHeader(&state, &header)) {
    error = QStringLiteral("Damaged PNG file: %1").arg(QString::fromLatin1(state.Message));
    return false;
  }
  // The declared size is checked before anything is allocated for it.
  if (!CheckImageSize(header.Width, header.Height, error)) return false;
  const int w = int(header.Width), h = int(header.Height);

  try {
    QImage colour, rgba;
    std::vector<png_bytep> rows(static_cast<size_t>(h));
    if (header.Alpha) {
      rgba = QImage(w, h, QImage::Format_ARGB32);  // blue, green, red, alpha in memory
      if (rgba.isNull()) {
        error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(w).arg(h);
        return false;
      }
      rgba.fill(Qt::transparent);
      for (int y = 0; y < h; ++y) rows[size_t(y)] = rgba.scanLine(y);
    } else {
      colour = NewBitmap24(w, h, error);
      if (colour.isNull()) return false;
      for (int y = 0; y < h; ++y) rows[size_t(y)] = colour.scanLine(y);
    }
    TProgressReporter progress(opt.Progress, h);
    bool stopped = false;
    if (!ReadRows(&state, rows.data(), h, header.Passes, &progress, &stopped)) {
      error = QStringLiteral("Damaged PNG file: %1").arg(QString::fromLatin1(state.Message));
      return false;
    }
    QImage alpha;
    if (header.Alpha) {
      if (!SplitBgra(rgba.constBits(), size_t(rgba.bytesPerLine()), w, h, colour, alpha)) {
        error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(w).arg(h);
        return false;
      }
    }
    out.Bitmap = colour;
    out.Alpha = alpha;
    out.Width = w;
    out.Height = h;
    out.BitCount = BitCountOf(header);
    out.IccProfile = header.Icc;
    out.Orientation = header.Orientation;
    return true;
  } catch (const std::exception&) {
    error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(w).arg(h);
    return false;
  }
}
