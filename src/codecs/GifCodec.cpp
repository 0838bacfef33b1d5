// GIF reading through giflib, record by record, so that every size can be
// checked before anything is allocated for it.
#include "codecs/GifCodec.h"
#include "codecs/CodecUtil.h"

#include <algorithm>
#include <cstring>

#include <gif_lib.h>

namespace {

// All frames of one file together may hold at most this many index bytes.
constexpr int64_t kMaxStoredIndexes = 512LL * 1024 * 1024;
// Decoding work (pixels read, visible or not) over all frames.
constexpr int64_t kMaxDecodedPixels = 1024LL * 1024 * 1024;

struct TMemSource {
  const uint8_t* Data;
  size_t Size;
  size_t Pos;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buf, int len)
{
  auto* src = static_cast<TMemSource*>(gif->UserData);
  if (len <= 0) return 0;
  const size_t n = std::min(size_t(len), src->Size - src->Pos);
  std::memcpy(buf, src->Data + src->Pos, n);
  src->Pos += n;
  return int(n);
}

struct TGifCloser {
  GifFileType* Gif = nullptr;
  ~TGifCloser()
  {
    if (Gif) {
      int err = 0;
      DGifCloseFile(Gif, &err);
    }
  }
};

QString GifMessage(int code)
{
  const char* s = GifErrorString(code);
  return QStringLiteral("The GIF file is damaged: %1").arg(QString::fromLatin1(s ? s : "unknown error"));
}

std::vector<TColor> PaletteOf(const ColorMapObject* map)
{
  std::vector<TColor> pal;
  if (!map || !map->Colors || map->ColorCount <= 0) return pal;
  const int n = std::min(map->ColorCount, 256);
  pal.reserve(size_t(n));
  for (int i = 0; i < n; ++i)
    pal.push_back(MakeColor(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue));
  return pal;
}

std::vector<TColor> GreyPalette()
{
  std::vector<TColor> pal(256);
  for (int i = 0; i < 256; ++i) pal[size_t(i)] = MakeColor(i, i, i);
  return pal;
}

// Skips the LZW data of a frame whose pixels are not wanted.
bool SkipImageData(GifFileType* gif)
{
  int codeSize = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
  while (block) {
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Display row of the n-th stored row of an interlaced frame.
int InterlacedRow(int n, int height)
{
  static const int kStart[4] = {0, 4, 2, 1};
  static const int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    const int rows = kStart[pass] < height ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
    if (n < rows) return kStart[pass] + n * kStep[pass];
    n -= rows;
  }
  return -1;
}

struct TControl {
  bool Present = false;
  int DelayCs = 0;
  int Disposal = 0;
  int Transparent = -1;
};

}  // namespace

void TGifAnimation::Clear()
{
  ScreenWidth = ScreenHeight = 0;
  BackgroundColor = 0xFFFFFF;
  BitsPerPixel = 8;
  Data.clear();
  Frames.clear();
}

bool TGifAnimation::LoadFromData(const QByteArray& data, QString& error)
{
  Clear();
  if (data.size() < 13 || !data.startsWith("GIF")) {
    error = QStringLiteral("The file is not a GIF picture");
    return false;
  }
  TMemSource src{reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()), 0};
  int openError = 0;
  TGifCloser closer;
  closer.Gif = DGifOpen(&src, ReadFromMemory, &openError);
  GifFileType* gif = closer.Gif;
  if (!gif) {
    error = GifMessage(openError);
    return false;
  }

  int screenW = gif->SWidth, screenH = gif->SHeight;
  const bool screenKnown = screenW > 0 && screenH > 0;
  if (screenKnown && !CheckImageSize(screenW, screenH, error)) return false;

  const std::vector<TColor> globalPalette = PaletteOf(gif->SColorMap);
  int bits = gif->SColorMap ? gif->SColorMap->BitsPerPixel : 0;
  TColor background = 0xFFFFFF;
  if (gif->SBackGroundColor >= 0 && size_t(gif->SBackGroundColor) < globalPalette.size())
    background = globalPalette[size_t(gif->SBackGroundColor)];

  std::vector<TGifFrame> frames;
  TControl control;
  int64_t stored = 0, decoded = 0;
  QString failure;
  std::vector<uint8_t> line;

  for (bool done = false; !done && failure.isEmpty();) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
      failure = GifMessage(gif->Error);
      break;
    }
    switch (type) {
    case EXTENSION_RECORD_TYPE: {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
        failure = GifMessage(gif->Error);
        break;
      }
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        control.Present = true;
        control.Disposal = (block[1] >> 2) & 7;
        control.DelayCs = block[2] | (block[3] << 8);
        control.Transparent = (block[1] & 1) ? int(block[4]) : -1;
      }
      while (block) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
          failure = GifMessage(gif->Error);
          break;
        }
      }
      break;
    }
    case IMAGE_DESC_RECORD_TYPE: {
      if (DGifGetImageHeader(gif) == GIF_ERROR) {  // no per-frame copy kept by giflib
        failure = GifMessage(gif->Error);
        break;
      }
      const GifImageDesc& desc = gif->Image;
      const int64_t fl = desc.Left, ft = desc.Top, fw = desc.Width, fh = desc.Height;
      if (!screenKnown && frames.empty()) {
        // A screen of no size: the first frame decides it.
        screenW = int(std::min<int64_t>(fl + fw, INT32_MAX));
        screenH = int(std::min<int64_t>(ft + fh, INT32_MAX));
        if (!CheckImageSize(screenW, screenH, failure)) break;
      }
      TGifFrame frame;
      frame.HasControl = control.Present;
      frame.DelayMs = control.Present ? control.DelayCs * 10 : 0;
      frame.Disposal = control.Present ? control.Disposal : 0;
      frame.TransparentIndex = control.Present ? control.Transparent : -1;
      frame.Interlaced = desc.Interlace;
      control = TControl{};
      frame.Palette = desc.ColorMap ? PaletteOf(desc.ColorMap) : globalPalette;
      if (frame.Palette.empty()) frame.Palette = GreyPalette();
      if (bits == 0 && desc.ColorMap) bits = desc.ColorMap->BitsPerPixel;

      // The part of the frame that lies on the screen.
      const int64_t cl = std::clamp<int64_t>(fl, 0, screenW), ct = std::clamp<int64_t>(ft, 0, screenH);
      const int64_t cr = std::clamp<int64_t>(fl + fw, 0, screenW), cb = std::clamp<int64_t>(ft + fh, 0, screenH);
      frame.Left = int(cl);
      frame.Top = int(ct);
      frame.Width = int(std::max<int64_t>(0, cr - cl));
      frame.Height = int(std::max<int64_t>(0, cb - ct));

      if (fw <= 0 || fh <= 0) {
        if (!SkipImageData(gif)) failure = GifMessage(gif->Error);
        frame.Width = frame.Height = 0;
      } else {
        const int64_t visible = int64_t(frame.Width) * frame.Height;
        decoded += fw * fh;
        if (fw > kMaxImageSide || fh > kMaxImageSide || stored + visible > kMaxStoredIndexes ||
            decoded > kMaxDecodedPixels) {
          failure = QStringLiteral("The GIF file holds more picture data than can be shown");
          break;
        }
        frame.Indexes = QByteArray(qsizetype(visible), '\0');
        if (visible > 0 && frame.Indexes.size() != qsizetype(visible)) {
          failure = QStringLiteral("Not enough memory for the GIF picture");
          break;
        }
        stored += visible;
        line.assign(size_t(fw), 0);
        for (int n = 0; n < fh; ++n) {
          if (DGifGetLine(gif, line.data(), int(fw)) == GIF_ERROR) {
            failure = GifMessage(gif->Error);
            break;
          }
          const int64_t row = (desc.Interlace ? InterlacedRow(n, int(fh)) : n) + ft;
          if (row < ct || row >= cb || frame.Width == 0) continue;
          std::memcpy(frame.Indexes.data() + (row - ct) * frame.Width, line.data() + (cl - fl),
                      size_t(frame.Width));
        }
      }
      if (!failure.isEmpty()) break;
      frames.push_back(std::move(frame));
      if (int(frames.size()) >= kMaxFrames) done = true;
      break;
    }
    case TERMINATE_RECORD_TYPE:
      done = true;
      break;
    default:
      failure = QStringLiteral("The GIF file is damaged: unknown record");
      break;
    }
  }

  // A damaged tail after at least one whole frame still leaves a usable picture.
  if (frames.empty()) {
    error = failure.isEmpty() ? QStringLiteral("The GIF file holds no picture") : failure;
    return false;
  }
  ScreenWidth = screenW;
  ScreenHeight = screenH;
  BackgroundColor = background;
  BitsPerPixel = bits > 0 ? bits : 8;
  Data = data;
  Frames = std::move(frames);
  return true;
}

QImage TGifAnimation::NewCanvas() const
{
  QString error;
  if (!CheckImageSize(ScreenWidth, ScreenHeight, error)) return QImage();
  QImage canvas(ScreenWidth, ScreenHeight, QImage::Format_BGR888);
  if (!canvas.isNull()) FillRect(canvas, 0, 0, ScreenWidth, ScreenHeight, BackgroundColor);
  return canvas;
}

QImage TGifAnimation::FirstFrameOnWhite() const
{
  QString error;
  if (FrameCount() == 0 || !CheckImageSize(ScreenWidth, ScreenHeight, error)) return QImage();
  QImage canvas(ScreenWidth, ScreenHeight, QImage::Format_BGR888);
  if (canvas.isNull()) return canvas;
  FillRect(canvas, 0, 0, ScreenWidth, ScreenHeight, 0xFFFFFF);
  DrawFrame(0, canvas);
  return canvas;
}

void TGifAnimation::FillRect(QImage& canvas, int left, int top, int width, int height, TColor color) const
{
  const int x0 = std::max(0, left), y0 = std::max(0, top);
  const int x1 = std::min<int64_t>(canvas.width(), int64_t(left) + width);
  const int y1 = std::min<int64_t>(canvas.height(), int64_t(top) + height);
  if (x0 >= x1 || y0 >= y1) return;
  // One row segment is built, then copied to every row.
  std::vector<uint8_t> segment(size_t(x1 - x0) * 3);
  for (size_t i = 0; i < segment.size(); i += 3) {
    segment[i] = uint8_t(ColorBlue(color));
    segment[i + 1] = uint8_t(ColorGreen(color));
    segment[i + 2] = uint8_t(ColorRed(color));
  }
  for (int y = y0; y < y1; ++y) std::memcpy(canvas.scanLine(y) + 3 * x0, segment.data(), segment.size());
}

void TGifAnimation::DrawFrame(int i, QImage& canvas) const
{
  if (i < 0 || i >= FrameCount()) return;
  DrawFramePixels(Frames[size_t(i)], Frames[size_t(i)].TransparentIndex, canvas);
}

void TGifAnimation::DrawFramePixels(const TGifFrame& f, int transparent, QImage& canvas)
{
  if (canvas.format() != QImage::Format_BGR888) return;
  // Indexes beyond the palette show black.
  uint8_t lut[256][3] = {};
  for (size_t k = 0; k < f.Palette.size() && k < 256; ++k) {
    lut[k][0] = uint8_t(ColorBlue(f.Palette[k]));
    lut[k][1] = uint8_t(ColorGreen(f.Palette[k]));
    lut[k][2] = uint8_t(ColorRed(f.Palette[k]));
  }
  const int x1 = std::min(canvas.width(), f.Left + f.Width), y1 = std::min(canvas.height(), f.Top + f.Height);
  const int w = x1 - f.Left;
  if (w <= 0 || int64_t(f.Width) * f.Height > f.Indexes.size()) return;
  for (int y = f.Top; y < y1; ++y) {
    const uint8_t* src = reinterpret_cast<const uint8_t*>(f.Indexes.constData()) + size_t(y - f.Top) * size_t(f.Width);
    uint8_t* dst = canvas.scanLine(y) + 3 * f.Left;
    for (int x = 0; x < w; ++x, dst += 3) {
      const int idx = src[x];
      if (idx == transparent) continue;
      dst[0] = lut[idx][0];
      dst[1] = lut[idx][1];
      dst[2] = lut[idx][2];
    }
  }
}

void TGifAnimation::RenderFrame(int i, QImage& canvas, QImage* previous) const
{
  if (i < 0 || i >= FrameCount()) return;
  if (canvas.width() != ScreenWidth || canvas.height() != ScreenHeight ||
      canvas.format() != QImage::Format_BGR888) {
    canvas = NewCanvas();
    if (canvas.isNull()) return;
  }
  if (i == 0) {
    FillRect(canvas, 0, 0, ScreenWidth, ScreenHeight, BackgroundColor);
  } else {
    const TGifFrame& before = Frames[size_t(i - 1)];
    if (before.Disposal == 2) {
      FillRect(canvas, before.Left, before.Top, before.Width, before.Height, BackgroundColor);
    } else if (before.Disposal == 3 && previous && previous->size() == canvas.size() &&
               previous->format() == canvas.format()) {
      const int x1 = std::min(canvas.width(), before.Left + before.Width);
      const int y1 = std::min(canvas.height(), before.Top + before.Height);
      for (int y = std::max(0, before.Top); y < y1 && x1 > before.Left; ++y)
        std::memcpy(canvas.scanLine(y) + 3 * before.Left, previous->constScanLine(y) + 3 * before.Left,
                    size_t(x1 - before.Left) * 3);
    }
  }
  if (Frames[size_t(i)].Disposal == 3 && previous) *previous = canvas.copy();
  DrawFrame(i, canvas);
}

bool DecodeGifFirstFrame(const QByteArray& data, const TDecodeOptions&, TDecodedImage& out, QString& error)
{
  TGifAnimation gif;
  if (!gif.LoadFromData(data, error)) return false;
  QImage canvas = gif.FirstFrameOnWhite();
  if (canvas.isNull()) {
    error = QStringLiteral("Not enough memory for the GIF picture");
    return false;
  }
  out.Bitmap = canvas;
  out.Width = gif.ScreenWidth;
  out.Height = gif.ScreenHeight;
  out.BitCount = gif.BitsPerPixel;
  return true;
}
