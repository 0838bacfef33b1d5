#pragma once
// Pixel routines on 24-bit bitmaps (QImage::Format_BGR888: rows top-down,
// three bytes per pixel in the order blue, green, red). Colours passed as
// integers are 0x00BBGGRR (red in the low byte). Integer division truncates,
// "round" rounds half to even, "clamped" limits to 0 … 255.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <functional>

// Percentage (0 … 100) in, true to go on, false to stop.
using TProgressFunc = std::function<bool(int percent)>;

// The system's colour type: 0x00BBGGRR.
using TColor = uint32_t;

inline int ColorRed(TColor c) { return int(c & 0xFF); }
inline int ColorGreen(TColor c) { return int((c >> 8) & 0xFF); }
inline int ColorBlue(TColor c) { return int((c >> 16) & 0xFF); }
inline TColor MakeColor(int r, int g, int b) { return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16); }

// A Delphi-style rectangle: Left, Top, Right, Bottom (right and bottom are
// the first coordinates outside).
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

// A new white-or-filled 24-bit bitmap.
QImage NewBitmap(int width, int height, TColor fill = 0xFFFFFF);
// Copies src onto dest with its top-left corner at (x, y), clipped to dest.
void DrawBitmap(QImage& dest, const QImage& src, int x, int y);
// Fills a 24-bit bitmap with one colour.
void FillBitmap(QImage& bmp, TColor color);
// Round half to even, as the routines here use it.
int RoundHalfEven(double v);

// Draws Src onto Dest with its top-left corner at (x, y). Without a mask a
// pure-white source pixel is skipped; with a mask its green channel (or each
// channel when perChannel) is the transparency, raised by percent on the
// 0 … 255 scale.
void BlendBitmap(QImage& dest, const QImage& src, const QImage* mask, int x, int y, int percent,
                 bool perChannel);
// Fades the green channel of a mask toward 255 (transparent) at the four edges.
void SoftenMaskEdges(QImage& bmp, int horizontalPercent, int verticalPercent);
// Fades all three channels toward white at the four edges.
void FadeEdgesToWhite(QImage& bmp, int horizontalPercent, int verticalPercent);
// Fills the whole bitmap with a linear gradient between two points.
void GradientFill(QImage& bmp, TColor startColor, TColor endColor, QPoint startPoint, QPoint endPoint);
// 3 × 3 smoothing (level 1 … 3) and sharpening in place; the border keeps its
// values. Progress gets row × 100 div (height − 2) after each row; false stops.
void Smooth3x3(QImage& bmp, int level, const TProgressFunc& progress = {});
void Sharpen3x3(QImage& bmp, int level, const TProgressFunc& progress = {});
// Each pixel becomes the average of its four diagonal neighbours at distance d.
void DiagonalBlur(QImage& bmp, int distance);
void DiagonalBlurPasses(QImage& bmp, int count);
// Crops both bitmaps (same size) to the ink rectangle of `scanned` plus 3 pixels.
void CropToContent(QImage& scanned, QImage& other);
// New size of a picture fitted into a box: FitToBox grows or shrinks,
// ShrinkToBox only shrinks.
QSize FitToBox(int width, int height, int boxWidth, int boxHeight);
QSize ShrinkToBox(int width, int height, int boxWidth, int boxHeight);
// True strictly inside the rectangle (edges excluded).
bool PointInRect(int x, int y, const TRect& rect);

// ---------------------------------------------------------------- files
class QFile;

// Opens an existing file for reading, refusing at once (without waiting)
// anything that is not a regular file: a FIFO, a device, a folder or a
// socket. On failure `error` (when given) says why.
bool OpenRegularFile(const QString& path, QFile& file, QString* error = nullptr);
// Creates `path` as a new file for writing (mode 0600): never opens a file
// that exists and never follows a link in its place.
bool CreateNewFile(const QString& path, QFile& file, QString* error = nullptr);
// True when something (a file, a folder, a link, even a dangling one) has
// that name.
bool PathTaken(const QString& path);
// Replaces the content of `path`: the bytes go into a new file beside it
// that is then renamed over the name, so a link or a file in its place is
// replaced, never written through.
bool ReplaceFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
