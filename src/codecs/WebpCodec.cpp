// WebP reading through libwebp: lossy and lossless, with or without alpha;
// an animation gives its first frame on its canvas. For a reduced decode the
// library scales while it decodes, so a large photograph never exists at full
// size. An embedded ICC profile is passed on.
#include "codecs/Codec.h"
#include "codecs/CodecUtil.h"
#include "codecs/Exif.h"

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

namespace {

QString StatusText(VP8StatusCode status)
{
  switch (status) {
  case VP8_STATUS_OUT_OF_MEMORY: return QStringLiteral("Not enough memory");
  case VP8_STATUS_UNSUPPORTED_FEATURE: return QStringLiteral("The WebP file uses a feature this reader lacks");
  case VP8_STATUS_NOT_ENOUGH_DATA: return QStringLiteral("The WebP file ends in the middle of the picture");
  default: return QStringLiteral("Damaged WebP file");
  }
}

struct TDemuxDeleter {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

}  // namespace

bool DecodeWebp(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error)
{
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
  const size_t size = size_t(data.size());
  if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WEBP", 4) != 0) {
    error = QStringLiteral("Not a WebP file");
    return false;
  }
  try {
    const WebPData whole{bytes, size};
    std::unique_ptr<WebPDemuxer, TDemuxDeleter> demux(WebPDemux(&whole));
    if (!demux) {
      error = QStringLiteral("Damaged WebP file");
      return false;
    }
    const int canvasW = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
    const int canvasH = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
    // The declared size is checked before anything is allocated for it.
    if (!CheckImageSize(canvasW, canvasH, error)) return false;

    WebPIterator frame;
    if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) {
      error = QStringLiteral("The WebP file holds no picture");
      return false;
    }
    struct TFrameRelease {
      WebPIterator& It;
      ~TFrameRelease() { WebPDemuxReleaseIterator(&It); }
    } releaseFrame{frame};

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
      error = QStringLiteral("The WebP library does not match");
      return false;
    }
    const VP8StatusCode status = WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &config.input);
    if (status != VP8_STATUS_OK) {
      error = StatusText(status);
      return false;
    }
    const int frameW = config.input.width, frameH = config.input.height;
    if (!CheckImageSize(frameW, frameH, error)) return false;
    if (frame.x_offset < 0 || frame.y_offset < 0 || frame.x_offset + frameW > canvasW ||
        frame.y_offset + frameH > canvasH) {
      error = QStringLiteral("Damaged WebP file: a frame lies outside the picture");
      return false;
    }
    const bool alpha = config.input.has_alpha != 0;
    const bool whole_canvas = frame.x_offset == 0 && frame.y_offset == 0 && frameW == canvasW && frameH == canvasH;

    int orientation = 1;
    if (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) {
      WebPChunkIterator chunk;
      if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
        orientation = ExifOrientation(
            QByteArray(reinterpret_cast<const char*>(chunk.chunk.bytes), qsizetype(chunk.chunk.size)));
        WebPDemuxReleaseChunkIterator(&chunk);
      }
    }

    // Output size: reduced inside the decoder when a box allows it. A
    // picture stored on its side is measured against the box turned alike.
    int outW = canvasW, outH = canvasH;
    TDecodeOptions box = opt;
    if (orientation >= 5 && orientation <= 8) std::swap(box.BoxWidth, box.BoxHeight);
    if (whole_canvas) ReducedDecodeSize(canvasW, canvasH, box, outW, outH);
    const bool scaled = outW != canvasW || outH != canvasH;
    if (scaled) {
      config.options.use_scaling = 1;
      config.options.scaled_width = outW;
      config.options.scaled_height = outH;
    }
    config.options.use_threads = 1;

    // Decoded straight into the picture's own memory: 3 bytes a pixel, or 4
    // when there is alpha to split off afterwards.
    QImage target = alpha ? QImage(outW, outH, QImage::Format_ARGB32) : QImage(outW, outH, QImage::Format_BGR888);
    if (target.isNull()) {
      error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(outW).arg(outH);
      return false;
    }
    if (alpha) target.fill(Qt::transparent);
    else target.fill(Qt::white);
    const int bpp = alpha ? 4 : 3;
    uint8_t* base = target.bits() + size_t(frame.y_offset) * size_t(target.bytesPerLine()) +
                    size_t(frame.x_offset) * size_t(bpp);
    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = base;
    config.output.u.RGBA.stride = int(target.bytesPerLine());
    // What lies from the frame's first pixel to the end of the picture.
    config.output.u.RGBA.size = size_t(target.sizeInBytes()) - size_t(base - target.bits());
    TProgressReporter progress(opt.Progress, 100);
    if (!progress.RowsDone(0)) return false;
    const VP8StatusCode decoded = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (decoded != VP8_STATUS_OK) {
      error = StatusText(decoded);
      return false;
    }
    progress.RowsDone(100);

    QImage colour, mask;
    if (alpha) {
      if (!SplitBgra(target.constBits(), size_t(target.bytesPerLine()), outW, outH, colour, mask)) {
        error = QStringLiteral("Not enough memory for a picture of %1 × %2").arg(outW).arg(outH);
        return false;
      }
    } else {
      colour = target;
    }

    QByteArray icc;
    if (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) {
      WebPChunkIterator chunk;
      if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
        icc = QByteArray(reinterpret_cast<const char*>(chunk.chunk.bytes), qsizetype(chunk.chunk.size));
        WebPDemuxReleaseChunkIterator(&chunk);
      }
    }

    out.Bitmap = colour;
    out.Alpha = mask;
    out.Width = canvasW;
    out.Height = canvasH;
    out.BitCount = alpha ? 32 : 24;
    out.IccProfile = icc;
    out.Orientation = orientation;
    return true;
  } catch (const std::exception&) {
    error = QStringLiteral("Not enough memory");
    return false;
  }
}
