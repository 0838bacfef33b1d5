// JPEG XL reading through libjxl (on a few threads): lossy and lossless,
// grey or colour, with alpha; an animation gives its first frame. libjxl
// turns the picture by its orientation, so it arrives upright. For a reduced
// decode the preview the file carries is taken when it is large enough, or,
// for a picture at least eight times the needed size, only its
// eighth-resolution part is decoded (much faster than the whole).
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"

#include <cmath>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

namespace {

struct TDecoderDeleter {
  void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct TRunnerDeleter {
  void operator()(void* r) const { JxlThreadParallelRunnerDestroy(r); }
};

// Plain sRGB, or what PNG files converted to JPEG XL say of themselves
// (gamma 1/2.2 with sRGB's primaries): the PNG reader shows such a file as
// stored, so the same picture looks the same in both formats.
bool IsSrgb(const JxlColorEncoding& c)
{
  const bool srgbCurve = c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB ||
                         (c.transfer_function == JXL_TRANSFER_FUNCTION_GAMMA && std::abs(c.gamma - 1.0 / 2.2) < 1e-3);
  if (c.color_space == JXL_COLOR_SPACE_GRAY) return srgbCurve && c.white_point == JXL_WHITE_POINT_D65;
  return c.color_space == JXL_COLOR_SPACE_RGB && srgbCurve && c.white_point == JXL_WHITE_POINT_D65 &&
         c.primaries == JXL_PRIMARIES_SRGB;
}

}  // namespace

bool DecodeJxl(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
  const size_t size = size_t(data.size());
  const JxlSignature sig = JxlSignatureCheck(bytes, size);
  if (sig != JXL_SIG_CODESTREAM && sig != JXL_SIG_CONTAINER) {
    error = QStringLiteral("Not a JPEG XL file");
    return false;
  }
  try {
    std::unique_ptr<JxlDecoder, TDecoderDeleter> dec(JxlDecoderCreate(nullptr));
    std::unique_ptr<void, TRunnerDeleter> runner(JxlThreadParallelRunnerCreate(nullptr, size_t(DecoderThreads())));
    if (!dec || !runner ||
        JxlDecoderSetParallelRunner(dec.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS) {
      error = QStringLiteral("Not enough memory");
      return false;
    }
    const bool reducible = opt.BoxWidth > 0 && opt.BoxHeight > 0;
    int events = JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE;
    // Both reduced paths must be asked for before decoding starts; which one
    // is taken is decided once the sizes are known.
    if (reducible) events |= JXL_DEC_PREVIEW_IMAGE | JXL_DEC_FRAME_PROGRESSION;
    if (JxlDecoderSubscribeEvents(dec.get(), events) != JXL_DEC_SUCCESS ||
        (reducible && JxlDecoderSetProgressiveDetail(dec.get(), kDC) != JXL_DEC_SUCCESS) ||
        JxlDecoderSetInput(dec.get(), bytes, size) != JXL_DEC_SUCCESS) {
      error = QStringLiteral("Damaged JPEG XL file");
      return false;
    }
    JxlDecoderCloseInput(dec.get());

    JxlBasicInfo info{};
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    std::vector<uint8_t> pixels, scratch;
    int width = 0, height = 0;       // the picture as shown (turned upright)
    int outW = 0, outH = 0;          // what is decoded into `pixels`
    bool usePreview = false, dcOnly = false, done = false;
    QByteArray icc;
    TProgressReporter progress(opt.Progress, 100);
    if (!progress.RowsDone(0)) return false;

    while (!done) {
      const JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
      switch (status) {
      case JXL_DEC_ERROR:
        error = QStringLiteral("Damaged JPEG XL file");
        return false;
      case JXL_DEC_NEED_MORE_INPUT:
        error = QStringLiteral("The JPEG XL file ends in the middle of the picture");
        return false;
      case JXL_DEC_BASIC_INFO: {
        if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) {
          error = QStringLiteral("Damaged JPEG XL file");
          return false;
        }
        // The declared size is checked before anything is decoded.
        const bool turned = info.orientation >= JXL_ORIENT_TRANSPOSE;
        width = int(std::min<uint32_t>(turned ? info.ysize : info.xsize, 1u << 30));
        height = int(std::min<uint32_t>(turned ? info.xsize : info.ysize, 1u << 30));
        if (!CheckImageSize(width, height, error)) return false;
        format.num_channels = info.alpha_bits > 0 ? 4 : 3;
        int minW = width, minH = height;
        ReducedDecodeSize(width, height, opt, minW, minH);
        outW = width;
        outH = height;
        if (minW < width || minH < height) {
          const int pw = int(std::min<uint32_t>(turned ? info.preview.ysize : info.preview.xsize, 1u << 30));
          const int ph = int(std::min<uint32_t>(turned ? info.preview.xsize : info.preview.ysize, 1u << 30));
          if (info.have_preview && pw >= minW && ph >= minH && pw < width && CheckImageSize(pw, ph, error)) {
            usePreview = true;
            outW = pw;
            outH = ph;
          } else if (width / 8 >= minW && height / 8 >= minH) {
            dcOnly = true;  // stop at the pass that holds the eighth-resolution part
          }
        }
        error.clear();
        break;
      }
      case JXL_DEC_COLOR_ENCODING: {
        JxlColorEncoding enc{};
        if (JxlDecoderGetColorAsEncodedProfile(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &enc) ==
                JXL_DEC_SUCCESS &&
            IsSrgb(enc))
          break;  // plain sRGB: nothing to convert
        size_t n = 0;
        if (JxlDecoderGetICCProfileSize(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &n) == JXL_DEC_SUCCESS &&
            n > 0 && n < (64u << 20)) {
          icc.resize(qsizetype(n));
          if (JxlDecoderGetColorAsICCProfile(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                             reinterpret_cast<uint8_t*>(icc.data()), n) != JXL_DEC_SUCCESS)
            icc.clear();
        }
        break;
      }
      case JXL_DEC_NEED_PREVIEW_OUT_BUFFER:
      case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
        const bool preview = status == JXL_DEC_NEED_PREVIEW_OUT_BUFFER;
        if (preview && !usePreview) {
          // A preview too small to use: decoded into scratch memory and dropped.
          size_t need = 0;
          if (JxlDecoderPreviewOutBufferSize(dec.get(), &format, &need) != JXL_DEC_SUCCESS || need > (64u << 20)) {
            error = QStringLiteral("Damaged JPEG XL file");
            return false;
          }
          scratch.assign(need, 0);
          if (JxlDecoderSetPreviewOutBuffer(dec.get(), &format, scratch.data(), need) != JXL_DEC_SUCCESS) {
            error = QStringLiteral("Damaged JPEG XL file");
            return false;
          }
          break;
        }
        size_t need = 0;
        const JxlDecoderStatus s = preview ? JxlDecoderPreviewOutBufferSize(dec.get(), &format, &need)
                                           : JxlDecoderImageOutBufferSize(dec.get(), &format, &need);
        const int w = preview ? outW : width, h = preview ? outH : height;
        if (s != JXL_DEC_SUCCESS || need != size_t(w) * size_t(h) * format.num_channels) {
          error = QStringLiteral("Damaged JPEG XL file");
          return false;
        }
        pixels.assign(need, 0);
        if ((preview ? JxlDecoderSetPreviewOutBuffer(dec.get(), &format, pixels.data(), need)
                     : JxlDecoderSetImageOutBuffer(dec.get(), &format, pixels.data(), need)) != JXL_DEC_SUCCESS) {
          error = QStringLiteral("Damaged JPEG XL file");
          return false;
        }
        if (!preview) {
          outW = width;
          outH = height;
        }
        break;
      }
      case JXL_DEC_PREVIEW_IMAGE:
        scratch = std::vector<uint8_t>();
        if (usePreview) done = true;
        break;
      case JXL_DEC_FRAME_PROGRESSION:
        if (dcOnly && !pixels.empty() && JxlDecoderFlushImage(dec.get()) == JXL_DEC_SUCCESS) done = true;
        break;
      case JXL_DEC_FULL_IMAGE:  // the first frame is all we show
      case JXL_DEC_SUCCESS:
        done = true;
        break;
      default:
        break;
      }
    }
    if (pixels.empty() || outW <= 0 || outH <= 0) {
      error = QStringLiteral("The JPEG XL file holds no picture");
      return false;
    }
    progress.RowsDone(100);

    QImage colour(outW, outH, QImage::Format_BGR888);
    QImage mask;
    if (colour.isNull()) {
      error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(outW).arg(outH);
      return false;
    }
    const int ch = int(format.num_channels);
    bool opaque = true;
    if (ch == 4) {
      mask = QImage(outW, outH, QImage::Format_Grayscale8);
      if (mask.isNull()) {
        error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(outW).arg(outH);
        return false;
      }
    }
    for (int y = 0; y < outH; ++y) {
      const uint8_t* s = pixels.data() + size_t(y) * size_t(outW) * size_t(ch);
      uint8_t* d = colour.scanLine(y);
      uint8_t* a = ch == 4 ? mask.scanLine(y) : nullptr;
      for (int x = 0; x < outW; ++x, s += ch, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        if (a) {
          a[x] = s[3];
          if (s[3] != 255) opaque = false;
        }
      }
    }
    if (opaque) mask = QImage();

    out.Bitmap = colour;
    out.Alpha = mask;
    out.Width = width;
    out.Height = height;
    const int colourChannels = info.num_color_channels == 1 ? 1 : 3;
    out.BitCount = std::min<int>(32, int(std::max<uint32_t>(info.bits_per_sample, 1)) *
                                         (colourChannels + (info.alpha_bits > 0 ? 1 : 0)));
    out.IccProfile = icc;
    out.Orientation = 1;  // libjxl has turned the picture already
    return true;
  } catch (const std::exception&) {
    error = QStringLiteral("Not enough memory");
    return false;
  }
}
