// Windows metafiles: WMF drawn by libwmf's raster device, EMF turned into SVG
// by libemf2svg and drawn by Qt; both on a white bitmap at the metafile's own
// size. The record structure is walked first, so that a file whose records
// run past its end never reaches the libraries.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/font.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>

namespace {

// Metafiles are drawn, not stored: a drawing whose own size is past this is
// drawn smaller (same proportions) rather than into hundreds of megabytes.
constexpr int kMaxMetafileSide = 4096;
constexpr int64_t kMaxMetafilePixels = 16LL * 1024 * 1024;
constexpr double kScreenDpi = 96.0;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr int kMaxRecords = 2'000'000;

// The size to draw a metafile of own size w × h at; false when the size
// itself is unusable.
bool MetafileDrawSize(int w, int h, int& dw, int& dh, QString& error)
{
  if (!CheckImageSize(w, h, error)) return false;
  dw = w;
  dh = h;
  if (w > kMaxMetafileSide || h > kMaxMetafileSide || int64_t(w) * h > kMaxMetafilePixels) {
    const double s = std::min({double(kMaxMetafileSide) / w, double(kMaxMetafileSide) / h,
                               std::sqrt(double(kMaxMetafilePixels) / (double(w) * h))});
    dw = std::max(1, int(w * s));
    dh = std::max(1, int(h * s));
  }
  return true;
}

// Draws SVG text on white at w × h.
bool RenderSvg(const QByteArray& svg, int w, int h, TDecodedImage& out, QString& error)
{
  QSvgRenderer renderer(svg);
  if (!renderer.isValid()) {
    error = QStringLiteral("The metafile could not be drawn");
    return false;
  }
  QImage canvas(w, h, QImage::Format_RGB32);
  if (canvas.isNull()) {
    error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(w).arg(h);
    return false;
  }
  canvas.fill(Qt::white);
  {
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, w, h));
  }
  QImage bgr = canvas.convertToFormat(QImage::Format_BGR888);
  if (bgr.isNull()) {
    error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(w).arg(h);
    return false;
  }
  out.Bitmap = bgr;
  out.Width = w;
  out.Height = h;
  out.BitCount = 24;
  return true;
}

// ---- WMF ----

// Checks the headers and that every record lies inside the file. Returns the
// offset of the standard header (after a placeable header) or -1, and the
// size in words of the largest record.
int64_t CheckWmfStructure(const QByteArray& data, uint32_t& largestRecord, QString& error)
{
  largestRecord = 3;
  TByteReader rd(data);
  int64_t start = 0;
  if (rd.U32LE() == kPlaceableKey) start = 22;
  if (!rd.Seek(size_t(start)) || rd.Remaining() < 18) {
    error = QStringLiteral("The file is not a Windows metafile");
    return -1;
  }
  const uint16_t type = rd.U16LE();
  const uint16_t headerWords = rd.U16LE();
  const uint16_t version = rd.U16LE();
  if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x300 && version != 0x100)) {
    error = QStringLiteral("The file is not a Windows metafile");
    return -1;
  }
  rd.Seek(size_t(start) + 18);
  int records = 0;
  while (true) {
    if (rd.Remaining() < 6) {
      // Many writers end the file without the closing record.
      if (records > 0 && rd.Remaining() == 0) return start;
      error = QStringLiteral("The metafile is damaged: a record runs past the end of the file");
      return -1;
    }
    const size_t at = rd.Pos();
    const uint32_t words = rd.U32LE();
    const uint16_t function = rd.U16LE();
    if (words < 3 || uint64_t(words) * 2 > uint64_t(rd.Size() - at)) {
      error = QStringLiteral("The metafile is damaged: a record runs past the end of the file");
      return -1;
    }
    largestRecord = std::max(largestRecord, words);
    if (function == 0) return start;  // the closing record
    if (++records > kMaxRecords) {
      error = QStringLiteral("The metafile has too many records");
      return -1;
    }
    rd.Seek(at + size_t(words) * 2);
  }
}

// The placeable header gives the drawing's bounds in units of 1/inch inch.
bool PlaceableSize(const QByteArray& data, int& w, int& h)
{
  TByteReader rd(data);
  if (rd.U32LE() != kPlaceableKey) return false;
  rd.Skip(2);
  const int left = int16_t(rd.U16LE()), top = int16_t(rd.U16LE());
  const int right = int16_t(rd.U16LE()), bottom = int16_t(rd.U16LE());
  const int inch = rd.U16LE();
  if (rd.Failed() || inch <= 0) return false;
  w = int(std::lround(std::abs(right - left) * kScreenDpi / inch));
  h = int(std::lround(std::abs(bottom - top) * kScreenDpi / inch));
  return w > 0 && h > 0;
}

// The image libwmf draws into is left to the caller: its record, pixel
// array, row table and drawing state are freed here.
struct TGdImage {
  gdImagePtr Image = nullptr;
  ~TGdImage()
  {
    if (!Image) return;
    std::free(Image->polyInts);
    std::free(Image->style);
    std::free(Image->tpixels);
    std::free(Image->_tpixels);
    std::free(Image);
  }
};

// ---- WMF fonts ----
//
// libwmf loads a font for the default text settings before the first record
// is played, and stops with an error when it finds no font file at all, even
// for a drawing that holds no text. Its own font loader is therefore wrapped:
// a font that can not be loaded is noted instead of stopping the drawing, and
// only text that would be drawn with it stops the drawing, with a message that
// names the missing fonts.

std::mutex g_fontFolderLock;
QString g_fontFolder;  // empty: the folders libwmf was built with

QString FontFolderSetting()
{
  std::lock_guard<std::mutex> lock(g_fontFolderLock);
  return g_fontFolder;
}

struct TWmfFontState {
  wmfMap Map = nullptr;
  wmfStringWidth StringWidth = nullptr;
  void (*DrawText)(wmfAPI*, wmfDrawText_t*) = nullptr;
  bool TextWithoutFont = false;
};

TWmfFontState* FontState(wmfAPI* api) { return static_cast<TWmfFontState*>(api->user_data); }

wmfFontmapData* FontmapData(wmfAPI* api)
{
  auto* fonts = static_cast<wmfFontData*>(api->font_data);
  return fonts ? static_cast<wmfFontmapData*>(fonts->user_data) : nullptr;
}

void MapFont(wmfAPI* api, wmfFont* font)
{
  const wmf_error_t before = api->err;
  FontState(api)->Map(api, font);
  // No font file: the font stays without a face; text drawn with it is refused.
  if (font && font->user_data && !WMF_FONT_FTFACE(font) &&
      (api->err == wmf_E_BadFile || api->err == wmf_E_DeviceError))
    api->err = before;
}

float StringWidth(wmfAPI* api, wmfFont* font, char* text)
{
  if (!font || !WMF_FONT_FTFACE(font)) return 0.0f;
  return FontState(api)->StringWidth(api, font, text);
}

void DrawText(wmfAPI* api, wmfDrawText_t* text)
{
  if (!text || !text->dc || !text->dc->font || !WMF_FONT_FTFACE(text->dc->font)) {
    FontState(api)->TextWithoutFont = true;
    api->err = wmf_E_DeviceError;
    return;
  }
  FontState(api)->DrawText(api, text);
}

// Puts the wrappers in place and, when a folder is set, makes it the only
// place libwmf looks for font files.
bool InstallFontHandling(wmfAPI* api, TWmfFontState& state, const QString& folder)
{
  auto* fonts = static_cast<wmfFontData*>(api->font_data);
  auto* functions = static_cast<wmfFunctionReference*>(api->function_reference);
  wmfFontmapData* fontmap = FontmapData(api);
  if (!fonts || !fonts->map || !fonts->stringwidth || !functions || !functions->draw_text || !fontmap)
    return false;
  state.Map = fonts->map;
  state.StringWidth = fonts->stringwidth;
  state.DrawText = functions->draw_text;
  api->user_data = &state;
  fonts->map = MapFont;
  fonts->stringwidth = StringWidth;
  functions->draw_text = DrawText;
  if (!folder.isEmpty()) {
    const QByteArray path = QFile::encodeName(folder);
    auto** dirs = static_cast<char**>(wmf_malloc(api, 2 * sizeof(char*)));
    if (!dirs) return false;
    dirs[0] = wmf_strdup(api, path.constData());
    dirs[1] = nullptr;
    if (!dirs[0]) return false;
    fontmap->fontdirs = dirs;
  }
  return true;
}

QString MissingFontsMessage(wmfAPI* api)
{
  // The first folder is the one libwmf searches first: its own, or the one set.
  QString folder = QStringLiteral("its font folder");
  if (wmfFontmapData* fontmap = FontmapData(api); fontmap && fontmap->fontdirs && fontmap->fontdirs[0])
    folder = QFile::decodeName(fontmap->fontdirs[0]);
  return QStringLiteral("The metafile holds text, and the fonts to draw it with are missing: none were found in "
                        "%1 (they come with the package fonts-urw-base35)")
      .arg(folder);
}

// The reason libwmf gave up, in words.
QString WmfFailure(wmfAPI* api, const TWmfFontState& fonts)
{
  if (fonts.TextWithoutFont) return MissingFontsMessage(api);
  switch (api->err) {
  case wmf_E_InsMem: return QStringLiteral("Not enough memory to draw the metafile");
  case wmf_E_BadFormat:
  case wmf_E_EOF: return QStringLiteral("The metafile is damaged");
  default: return QStringLiteral("The metafile could not be drawn");
  }
}

struct TWmfApi {
  wmfAPI* Api = nullptr;
  bool Opened = false;
  ~TWmfApi()
  {
    if (Api) {
      if (Opened) wmf_mem_close(Api);
      wmf_api_destroy(Api);
    }
  }
};

}  // namespace

void SetWmfFontFolder(const QString& folder)
{
  std::lock_guard<std::mutex> lock(g_fontFolderLock);
  g_fontFolder = folder;
}

bool DecodeWmf(const QByteArray& data, const TDecodeOptions&, TDecodedImage& out, QString& error)
{
  uint32_t largestRecord = 0;
  const int64_t start = CheckWmfStructure(data, largestRecord, error);
  if (start < 0) return false;
  // libwmf sizes its record buffer from the header; a damaged header could
  // ask for gigabytes, so it is told the largest record actually present.
  QByteArray copy = data;
  for (int i = 0; i < 4; ++i) copy[qsizetype(start + 12 + i)] = char((largestRecord >> (8 * i)) & 0xFF);

  TWmfFontState fonts;  // outlives the library instance that points at it
  TWmfApi wmf;
  wmfAPI_Options options = {};
  options.function = wmf_gd_function;
  const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
  if (wmf_api_create(&wmf.Api, flags, &options) != wmf_E_None || !wmf.Api) {
    error = QStringLiteral("The metafile reader could not be started");
    return false;
  }
  if (!InstallFontHandling(wmf.Api, fonts, FontFolderSetting())) {
    error = QStringLiteral("The metafile reader could not be started");
    return false;
  }
  if (wmf_mem_open(wmf.Api, reinterpret_cast<unsigned char*>(copy.data()), long(copy.size())) != wmf_E_None) {
    error = QStringLiteral("The metafile could not be opened");
    return false;
  }
  wmf.Opened = true;
  wmfD_Rect bbox = {};
  if (wmf_scan(wmf.Api, 0, &bbox) != wmf_E_None) {
    error = WmfFailure(wmf.Api, fonts);
    return false;
  }
  int w = 0, h = 0;
  if (!PlaceableSize(data, w, h)) {
    unsigned int dw = 0, dh = 0;
    if (wmf_display_size(wmf.Api, &dw, &dh, kScreenDpi, kScreenDpi) != wmf_E_None) {
      error = WmfFailure(wmf.Api, fonts);
      return false;
    }
    w = int(std::min<unsigned>(dw, unsigned(kMaxImageSide) + 1));
    h = int(std::min<unsigned>(dh, unsigned(kMaxImageSide) + 1));
  }
  int dw = 0, dh = 0;
  if (!MetafileDrawSize(w, h, dw, dh, error)) return false;

  // libwmf's raster device keeps colours exact (its SVG device rounds every
  // colour to a named one). It draws into a true-colour image it leaves to us.
  wmf_gd_t* gd = WMF_GD_GetData(wmf.Api);
  gd->type = wmf_gd_image;
  gd->bbox = bbox;
  gd->width = unsigned(dw);
  gd->height = unsigned(dh);
  const wmf_error_t played = wmf_play(wmf.Api, 0, &bbox);
  TGdImage image{static_cast<gdImagePtr>(gd->gd_image)};
  gd->gd_image = nullptr;
  if (played != wmf_E_None || !image.Image) {
    error = WmfFailure(wmf.Api, fonts);
    return false;
  }
  const int* pixels = wmf_gd_image_pixels(image.Image);
  if (!pixels || !image.Image->trueColor || image.Image->sx != dw || image.Image->sy != dh) {
    error = QStringLiteral("The metafile could not be drawn");
    return false;
  }
  QString sizeError;
  QImage bitmap = NewBitmap24(dw, dh, sizeError);
  if (bitmap.isNull()) {
    error = sizeError;
    return false;
  }
  // Pixels are 0x7FRRGGBB with 0 alpha opaque, 127 transparent; laid on white.
  for (int y = 0; y < dh; ++y) {
    const int* src = pixels + size_t(y) * size_t(dw);
    uint8_t* dst = bitmap.scanLine(y);
    for (int x = 0; x < dw; ++x, dst += 3) {
      const uint32_t p = uint32_t(src[x]);
      const int a = 127 - int((p >> 24) & 0x7F);  // opacity 0 … 127
      const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      dst[0] = uint8_t((b * a + 255 * (127 - a) + 63) / 127);
      dst[1] = uint8_t((g * a + 255 * (127 - a) + 63) / 127);
      dst[2] = uint8_t((r * a + 255 * (127 - a) + 63) / 127);
    }
  }
  out.Bitmap = bitmap;
  out.Width = w;
  out.Height = h;
  out.BitCount = 24;
  return true;
}

// ---- EMF ----

// The EMF converter looks fonts up through fontconfig and then calls FcFini
// after every text record, tearing down the library that Qt shares in the
// same process (fontconfig then aborts on caches Qt still holds). This
// definition takes the place of fontconfig's for the whole program, so that
// shutdown becomes a no-op; fontconfig's memory is released at process exit.
extern "C" void FcFini(void) {}


namespace {

constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEof = 14;
constexpr uint32_t kEmfSignature = 0x464D4520u;  // " EMF"

// Walks the records. On success `length` is the number of bytes up to and
// including the end record (or the whole file when it has none), `records`
// the number of records in them and `hasEof` whether an end record was seen.
bool CheckEmfStructure(const QByteArray& data, QString& error, size_t& length, uint32_t& records, bool& hasEof)
{
  TByteReader rd(data);
  const uint32_t type = rd.U32LE();
  const uint32_t size = rd.U32LE();
  rd.Seek(40);
  const uint32_t signature = rd.U32LE();
  if (rd.Failed() || type != kEmrHeader || signature != kEmfSignature || size < 88 || size % 4 != 0 ||
      size > uint32_t(data.size())) {
    error = QStringLiteral("The file is not an enhanced metafile");
    return false;
  }
  size_t at = 0;
  records = 0;
  hasEof = false;
  while (true) {
    if (!rd.Seek(at) || rd.Remaining() < 8) {
      if (records > 0 && rd.Remaining() == 0) {
        length = at;
        return true;
      }
      error = QStringLiteral("The metafile is damaged: a record runs past the end of the file");
      return false;
    }
    const uint32_t rtype = rd.U32LE();
    const uint32_t rsize = rd.U32LE();
    if (rsize < 8 || rsize % 4 != 0 || rsize > rd.Size() - at) {
      error = QStringLiteral("The metafile is damaged: a record runs past the end of the file");
      return false;
    }
    if (++records > kMaxRecords) {
      error = QStringLiteral("The metafile has too many records");
      return false;
    }
    at += rsize;
    if (rtype == kEmrEof) {
      hasEof = true;
      length = at;
      return true;
    }
  }
}

// The converter walks the file by the header's byte and record counts
// without checking them against the buffer: the copy it gets ends after the
// records that were checked, closes with an end record, and says so in its
// header.
QByteArray CheckedEmfCopy(const QByteArray& data, size_t length, uint32_t records, bool hasEof)
{
  QByteArray emf = data.left(qsizetype(length));
  if (!hasEof) {
    static const char eof[20] = {14, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 20, 0, 0, 0};
    emf.append(eof, sizeof eof);
    ++records;
  }
  auto put32 = [&emf](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) emf[at + i] = char((v >> (8 * i)) & 0xFF);
  };
  put32(48, uint32_t(emf.size()));
  put32(52, records);
  return emf;
}

// Fields of the header that point elsewhere in the header (description,
// pixel format) are cleared when they point outside it: the converter
// follows them without checking.
void ClearBadHeaderPointers(QByteArray& emf)
{
  TByteReader rd(emf);
  rd.Seek(4);
  const uint32_t headerSize = rd.U32LE();
  auto put32 = [&emf](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) emf[at + i] = char((v >> (8 * i)) & 0xFF);
  };
  auto inside = [headerSize](uint64_t off, uint64_t bytes, uint64_t minOff) {
    return off >= minOff && off + bytes <= headerSize;
  };
  rd.Seek(60);
  const uint32_t descChars = rd.U32LE(), descOff = rd.U32LE();
  if ((descChars != 0 || descOff != 0) && (descChars == 0 || !inside(descOff, uint64_t(descChars) * 2, 88))) {
    put32(60, 0);
    put32(64, 0);
  }
  if (headerSize >= 100) {
    rd.Seek(88);
    const uint32_t pfSize = rd.U32LE(), pfOff = rd.U32LE();
    if ((pfSize != 0 || pfOff != 0) && (pfSize == 0 || !inside(pfOff, pfSize, 100))) {
      put32(88, 0);
      put32(92, 0);
    }
  }
}

// The drawing's own size: its frame (in 1/100 mm) at screen resolution, or
// its device bounds when the frame is missing.
bool EmfSize(const QByteArray& data, int& w, int& h)
{
  TByteReader rd(data);
  rd.Seek(8);
  const int64_t bl = int32_t(rd.U32LE()), bt = int32_t(rd.U32LE());
  const int64_t br = int32_t(rd.U32LE()), bb = int32_t(rd.U32LE());
  const int64_t fl = int32_t(rd.U32LE()), ft = int32_t(rd.U32LE());
  const int64_t fr = int32_t(rd.U32LE()), fb = int32_t(rd.U32LE());
  if (rd.Failed()) return false;
  const auto clampSide = [](double v) { return int(std::clamp(v, 0.0, double(kMaxImageSide) + 1)); };
  if (fr > fl && fb > ft) {
    w = clampSide(std::round(double(fr - fl) * kScreenDpi / 2540.0));
    h = clampSide(std::round(double(fb - ft) * kScreenDpi / 2540.0));
  } else {
    w = clampSide(double(br - bl + 1));
    h = clampSide(double(bb - bt + 1));
  }
  return w > 0 && h > 0;
}

}  // namespace

bool DecodeEmf(const QByteArray& data, const TDecodeOptions&, TDecodedImage& out, QString& error)
{
  size_t length = 0;
  uint32_t records = 0;
  bool hasEof = false;
  if (!CheckEmfStructure(data, error, length, records, hasEof)) return false;
  int w = 0, h = 0;
  if (!EmfSize(data, w, h)) {
    error = QStringLiteral("The metafile has no size");
    return false;
  }
  int dw = 0, dh = 0;
  if (!MetafileDrawSize(w, h, dw, dh, error)) return false;

  generatorOptions options = {};
  options.nameSpace = nullptr;
  options.verbose = false;
  options.emfplus = true;
  options.svgDelimiter = true;
  options.imgWidth = dw;
  options.imgHeight = dh;
  QByteArray copy = CheckedEmfCopy(data, length, records, hasEof);  // the converter takes a writable pointer
  ClearBadHeaderPointers(copy);
  char* text = nullptr;
  size_t textLength = 0;
  const int ok = emf2svg(copy.data(), size_t(copy.size()), &text, &textLength, &options);
  QByteArray svg = text ? QByteArray(text, qsizetype(textLength)) : QByteArray();
  std::free(text);
  if (!ok || svg.isEmpty()) {
    error = QStringLiteral("The metafile is damaged");
    return false;
  }
  if (!RenderSvg(svg, dw, dh, out, error)) return false;
  out.Width = w;
  out.Height = h;
  return true;
}
