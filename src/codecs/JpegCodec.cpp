// JPEG reading and writing through libjpeg(-turbo). Decoding can be scaled
// down by 2, 4 or 8 inside the decoder, reports progress per output row and
// may stop early; CMYK/YCCK pictures are converted to BGR here, through their
// colour profile when they carry one. The EXIF orientation and the colour
// profile are handed on for the loaders to apply.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"
#include "codecs/ColourProfile.h"
#include "codecs/Exif.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// we jump back to the decoding function with the message saved.
struct TJpegError {
  jpeg_error_mgr Mgr;
  jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo)
{
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->Message);
  longjmp(err->Jump, 1);
}

// Warnings (corrupt data, premature end) are tolerated silently.
void JpegSilentMessage(j_common_ptr, int) {}

// Progressive files with absurd numbers of scans can take very long to
// decode; real pictures use a dozen or so.
constexpr long kMaxScans = 1000;

void JpegProgress(j_common_ptr cinfo)
{
  if (cinfo->is_decompressor) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
      auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
      std::snprintf(err->Message, sizeof err->Message, "The picture has too many scans");
      longjmp(err->Jump, 1);
    }
  }
}

// Everything the decoder touches after setjmp lives here, reached through a
// pointer, so nothing depends on register contents after a longjmp.
struct TJpegDecodeState {
  jpeg_decompress_struct Info;
  TJpegError Error;
  jpeg_progress_mgr ProgressMgr;
  bool Created = false;
  QImage Bitmap;
  std::vector<uint8_t> Raw;   // one decoded row before conversion (grey, CMYK)
  std::vector<uint8_t> Bgr;   // one converted row for the sink
  QString Error2;
  TColourTransform Cmyk;      // CMYK pictures with an ICC profile
  ~TJpegDecodeState() { if (Created) jpeg_destroy_decompress(&Info); }
};

inline uint8_t Mul255(int a, int b)
{
  int t = a * b + 128;
  return uint8_t((t + (t >> 8)) >> 8);
}

// Converts one row of 4-component ink values to BGR. Adobe writers store the
// inks inverted, so the stored value is already "amount of light".
void CmykRowToBgr(const uint8_t* src, uint8_t* dst, int width, bool inverted)
{
  for (int x = 0; x < width; ++x, src += 4, dst += 3) {
    int c = src[0], m = src[1], y = src[2], k = src[3];
    if (!inverted) { c = 255 - c; m = 255 - m; y = 255 - y; k = 255 - k; }
    dst[0] = Mul255(y, k);
    dst[1] = Mul255(m, k);
    dst[2] = Mul255(c, k);
  }
}

void GreyRowToBgr(const uint8_t* src, uint8_t* dst, int width)
{
  for (int x = 0; x < width; ++x, dst += 3) dst[0] = dst[1] = dst[2] = src[x];
}

// The body of the decoder; returns false with the message in st.Error2 or in
// the libjpeg error record.
bool DecodeJpegInto(TJpegDecodeState& st, const QByteArray& data, const TDecodeOptions& opt,
                    TDecodedImage& out)
{
  jpeg_decompress_struct* cinfo = &st.Info;
  if (setjmp(st.Error.Jump)) {
    st.Error2 = QStringLiteral("The JPEG file is damaged: %1").arg(QString::fromLatin1(st.Error.Message));
    return false;
  }
  jpeg_create_decompress(cinfo);
  st.Created = true;
  cinfo->progress = &st.ProgressMgr;
  cinfo->mem->max_memory_to_use = 1024L * 1024L * 1024L;
  jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(cinfo, TRUE);

  if (!CheckImageSize(cinfo->image_width, cinfo->image_height, st.Error2)) return false;

  const int denom = (opt.ScaleDenom == 2 || opt.ScaleDenom == 4 || opt.ScaleDenom == 8) ? opt.ScaleDenom : 1;
  cinfo->scale_num = 1;
  cinfo->scale_denom = unsigned(denom);

  int bitCount = 24;
  bool cmyk = false;
  switch (cinfo->jpeg_color_space) {
  case JCS_GRAYSCALE:
    cinfo->out_color_space = JCS_GRAYSCALE;
    bitCount = 8;
    break;
  case JCS_CMYK:
  case JCS_YCCK:
    cinfo->out_color_space = JCS_CMYK;
    cmyk = true;
    break;
  default:
    cinfo->out_color_space = JCS_EXT_BGR;
    break;
  }
  // Keep colour conversion exact enough and fast.
  cinfo->dct_method = JDCT_ISLOW;

  jpeg_start_decompress(cinfo);
  const int w = int(cinfo->output_width);
  const int h = int(cinfo->output_height);
  if (!CheckImageSize(w, h, st.Error2)) return false;

  const bool toSink = opt.Sink != nullptr;
  if (!toSink) {
    st.Bitmap = NewBitmap24(w, h, st.Error2);
    if (st.Bitmap.isNull()) return false;
  }
  if (cinfo->out_color_space != JCS_EXT_BGR) st.Raw.resize(size_t(w) * size_t(cinfo->output_components));
  if (toSink) st.Bgr.resize(size_t(w) * 3);
  const bool adobeInverted = cmyk && cinfo->saw_Adobe_marker;
  out.IccProfile = JpegIccProfile(data);
  out.Orientation = ExifOrientation(JpegExifBlock(data));
  if (cmyk && !out.IccProfile.isEmpty())
    st.Cmyk.Create(out.IccProfile, adobeInverted ? TProfilePixels::CmykInverted : TProfilePixels::Cmyk);
  if (toSink) {
    opt.Sink->Describe(out.Orientation, out.IccProfile);
    opt.Sink->Begin(w, h, false);
  }

  TProgressReporter progress(opt.Progress, h);
  while (cinfo->output_scanline < cinfo->output_height) {
    const int y = int(cinfo->output_scanline);
    uint8_t* bgr = toSink ? st.Bgr.data() : st.Bitmap.scanLine(y);
    JSAMPROW row = st.Raw.empty() ? bgr : st.Raw.data();
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) break;
    if (cmyk && st.Cmyk.Valid()) st.Cmyk.ConvertCmyk(st.Raw.data(), bgr, w);
    else if (cmyk) CmykRowToBgr(st.Raw.data(), bgr, w, adobeInverted);
    else if (!st.Raw.empty()) GreyRowToBgr(st.Raw.data(), bgr, w);
    if (toSink) opt.Sink->Row(y, bgr);
    if (!progress.RowsDone(y + 1)) break;  // a stop keeps the rows so far
  }
  // Whatever follows the last row (trailing markers, junk) does not matter.
  jpeg_abort_decompress(cinfo);

  out.Bitmap = st.Bitmap;
  out.Width = int(cinfo->image_width);
  out.Height = int(cinfo->image_height);
  out.BitCount = bitCount;
  return true;
}

}  // namespace

bool DecodeJpeg(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  if (data.size() < 4) {
    error = QStringLiteral("The file is too short to be a JPEG picture");
    return false;
  }
  auto st = std::make_unique<TJpegDecodeState>();
  st->Info.err = jpeg_std_error(&st->Error.Mgr);
  st->Error.Mgr.error_exit = JpegErrorExit;
  st->Error.Mgr.emit_message = JpegSilentMessage;
  st->Error.Message[0] = 0;
  st->ProgressMgr.progress_monitor = JpegProgress;
  TDecodedImage result;
  if (!DecodeJpegInto(*st, data, opt, result)) {
    error = st->Error2.isEmpty() ? QStringLiteral("The JPEG file can not be read") : st->Error2;
    return false;
  }
  out = result;
  return true;
}

namespace {

struct TJpegEncodeState {
  jpeg_compress_struct Info;
  TJpegError Error;
  bool Created = false;
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  ~TJpegEncodeState()
  {
    if (Created) jpeg_destroy_compress(&Info);
    std::free(Buffer);
  }
};

bool EncodeJpegInto(TJpegEncodeState& st, const QImage& img, int quality)
{
  jpeg_compress_struct* cinfo = &st.Info;
  if (setjmp(st.Error.Jump)) return false;
  jpeg_create_compress(cinfo);
  st.Created = true;
  jpeg_mem_dest(cinfo, &st.Buffer, &st.Size);
  cinfo->image_width = JDIMENSION(img.width());
  cinfo->image_height = JDIMENSION(img.height());
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW row = const_cast<uint8_t*>(img.constScanLine(int(cinfo->next_scanline)));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

bool EncodeJpeg(const QImage& bgr, QByteArray& out, QString& error, int quality)
{
  if (bgr.isNull() || bgr.width() <= 0 || bgr.height() <= 0) {
    error = QStringLiteral("There is no picture to save");
    return false;
  }
  if (bgr.width() > 65500 || bgr.height() > 65500) {
    error = QStringLiteral("The picture is too large for a JPEG file");
    return false;
  }
  const QImage img = bgr.format() == QImage::Format_BGR888 ? bgr : bgr.convertToFormat(QImage::Format_BGR888);
  if (img.isNull()) {
    error = QStringLiteral("Not enough memory to save the picture");
    return false;
  }
  auto st = std::make_unique<TJpegEncodeState>();
  st->Info.err = jpeg_std_error(&st->Error.Mgr);
  st->Error.Mgr.error_exit = JpegErrorExit;
  st->Error.Mgr.emit_message = JpegSilentMessage;
  st->Error.Message[0] = 0;
  if (!EncodeJpegInto(*st, img, qBound(1, quality, 100))) {
    error = QStringLiteral("The JPEG file could not be written: %1").arg(QString::fromLatin1(st->Error.Message));
    return false;
  }
  out = QByteArray(reinterpret_cast<const char*>(st->Buffer), qsizetype(st->Size));
  return true;
}
