#pragma once
// A whole GIF file held as frames of palette indexes, for showing its first
// frame and for playing it as an animation.

#include "canvas/Functions.h"
#include "codecs/Codec.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

class TGifAnimation {
public:
  struct TGifFrame {
    // The frame's rectangle on the logical screen, already clipped to it
    // (Width or Height 0 when nothing of the frame is on the screen).
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int DelayMs = 0;            // delay from the graphic control extension, in ms
    int Disposal = 0;           // 0 none, 1 keep, 2 restore background, 3 restore previous
    int TransparentIndex = -1;  // -1: no transparent colour
    bool HasControl = false;    // the frame had a graphic control extension
    bool Interlaced = false;    // stored interlaced (Indexes are in display order)
    std::vector<TColor> Palette;  // local palette, else the global one
    QByteArray Indexes;         // Width × Height palette indexes, rows top-down
  };

  // Largest number of frames kept from one file.
  static constexpr int kMaxFrames = 10000;

  int ScreenWidth = 0;
  int ScreenHeight = 0;
  TColor BackgroundColor = 0xFFFFFF;
  int BitsPerPixel = 8;
  QByteArray Data;                // the whole file
  std::vector<TGifFrame> Frames;

  // Reads every frame. On failure `error` holds a message and the object is
  // empty. A file damaged after its first complete frame keeps the frames
  // read before the damage.
  bool LoadFromData(const QByteArray& data, QString& error);
  void Clear();
  int FrameCount() const { return int(Frames.size()); }

  // Shows frame i on `canvas`, a ScreenWidth × ScreenHeight 24-bit bitmap
  // that holds what was shown for frame i − 1 (anything for i = 0). The
  // disposal of frame i − 1 is applied first (the screen is reset to the
  // background before frame 0), then the frame is drawn without its
  // transparent pixels. `previous`, when given, keeps what a frame with
  // disposal 3 must be restored to; pass the same bitmap for every frame.
  void RenderFrame(int i, QImage& canvas, QImage* previous) const;

  // Draws frame i onto `canvas` without any disposal.
  void DrawFrame(int i, QImage& canvas) const;
  // Draws a frame's pixels at its place on a 24-bit canvas, leaving out the
  // palette index `transparent` (-1: none).
  static void DrawFramePixels(const TGifFrame& f, int transparent, QImage& canvas);

  // A new ScreenWidth × ScreenHeight bitmap filled with the background colour
  // (null when the size is refused).
  QImage NewCanvas() const;

  // The first frame as a still picture: drawn on white, so that its
  // transparent pixels and the screen around it come out white, as the
  // transparent parts of every other picture format do (null when the size
  // is refused).
  QImage FirstFrameOnWhite() const;

private:
  void FillRect(QImage& canvas, int left, int top, int width, int height, TColor color) const;
};
