#pragma once
// Loading any supported picture file into a 24-bit bitmap fitted into a box,
// and the two reduction routines behind it.

#include "canvas/Functions.h"
#include "codecs/Codec.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

using TScaleProgress = std::function<bool(int percent)>;

class TGifAnimation;  // codecs/GifCodec.h

// "JPG", "TIF", … for a supported file name, else "".
QString ImageFileExt(const QString& fileName);
bool IsImageFile(const QString& fileName);
// ImageType code of an extension key (1 … 14, and 15 PNG, 16 WebP, 17 HEIC
// and HEIF, 18 AVIF, 19 JPEG XL), 0 for any other.
uint8_t ImageFileType(const QString& extensionKey);
// The first extension key of a type code in the table ("JPG" for 5), or ""
// for a code no format has.
QString ImageTypeKey(int imageType);
// Every supported extension key ("JPG", "JPE", …), in table order.
QStringList ImageFileKeys();
// The extension key of the format a file's first bytes (16 or more) plainly
// belong to ("PNG", "WEBP", "HEIC", "AVIF", "JXL", "JPG", "GIF", "TIF", "BMP",
// "PSD"), or "" when they name none. The loaders read a file by this key
// when it disagrees with the name (a bitmap's weak signature excepted).
QString ImageKeyOfContent(const QByteArray& head);
// 1, 2, 4 or 8: the power-of-two pre-reduction for a picture and a box.
int ShrinkFactor(int width, int height, int boxWidth, int boxHeight);
// Reduces in place by 2, 4, 8, 16 or 32 (box filter); other factors do nothing.
// Progress gets row × 100 div height whenever that value changes; false stops
// and leaves the bitmap as it was.
void ShrinkBitmap(QImage& bmp, int factor, const TScaleProgress& progress = {});
// Area-averaging reduction of src into dest (newWidth × newHeight), back colour
// for what is not written. Progress gets (row + 1) × 100 div height whenever
// that value changes; false stops, the unwritten rows keep the back colour.
void ResampleBitmap(const QImage& src, QImage& dest, int newWidth, int newHeight, TColor backColor,
                    const TScaleProgress& progress = {});
// Bits per pixel of a QImage's pixel format (1 … 32).
uint8_t BitmapBitCount(const QImage& bmp);
// Bit count of an icon file from its directory (byte 8 of the file).
uint8_t IconBitCount(const QByteArray& iconFile);

// The row-by-row form of ResampleBitmap: the rows of a width × height picture
// go in one at a time, and each output row is written into the destination
// the moment its last source row has arrived. The weights and sums are those
// of ResampleBitmap, so the result is the same byte for byte.
//
// Rows may also arrive bottom-up. Every output row is a weighted sum of its
// own source rows (plus a share of the row on its upper edge), and the sum
// does not depend on the order of its terms, so the same weights are applied
// walking upwards: a row on an output edge first completes the output row
// below it with its lower share, then opens its own output row with its upper
// share. No rows are buffered.
class TRowResampler {
public:
  // Re-creates dest, filled with the back colour, at newWidth × newHeight; or,
  // when neither side is reduced, at width × height, and the rows are then
  // copied unchanged. False (dest null) when the sizes are refused or there is
  // not enough memory.
  bool Begin(QImage& dest, int width, int height, int newWidth, int newHeight, TColor backColor,
             bool bottomUp = false);
  // The next row in arrival order: y is its index in the picture (0 = top)
  // and must be the next one expected (NextRow()); other rows are ignored.
  // Returns false when the row was ignored.
  bool AddRow(int y, const uint8_t* bgr);
  // Index of the row expected next, or -1 when all rows have arrived.
  int NextRow() const;
  bool Copying() const { return m_copy; }
  // How many destination rows are finished: the top ones for rows arriving
  // top-down, the bottom ones for rows arriving bottom-up.
  int RowsWritten() const { return m_copy ? m_done : m_written; }

private:
  template <typename T> void Accumulate(std::vector<T>& acc, const uint8_t* bgr, uint32_t w, bool reset);
  template <typename T> void EmitRow(const std::vector<T>& acc, int r);
  void AddReduced(int y, const uint8_t* bgr);

  QImage* m_dest = nullptr;
  int m_w = 0, m_h = 0, m_nw = 0, m_nh = 0;
  bool m_bottomUp = false;
  bool m_copy = false;
  bool m_wide = false;  // sums need 64 bits (extreme vertical reductions)
  int m_done = 0;       // rows received
  int m_written = 0;    // output rows written (reducing)
  int m_outRow = 0;     // output row the next closing row belongs to
  uint64_t m_sy = 0;    // sum of the row weights in the current sums
  uint64_t m_maxSx = 0; // largest sum of column weights of one output column
  std::vector<uint16_t> m_wx, m_wy;
  std::vector<uint32_t> m_acc32;
  std::vector<uint64_t> m_acc64;
};

// Loads a picture fitted into the box (never enlarged). Returns false and
// leaves dest untouched when the file can not be read; `error` (when given)
// then says why. Only regular files are read: a FIFO or a device is refused
// at once. The picture comes upright (its EXIF orientation applied, the
// width and height reported are the upright ones) and in sRGB (its colour
// profile applied). A picture with transparency is laid on white, unless
// `outAlpha` is given: dest then holds its colour and *outAlpha its alpha
// (Grayscale8, dest's size, 255 opaque), null when it is opaque.
bool LoadImageFile(const QString& fileName, QImage& dest, int boxWidth, int boxHeight,
                   int* outWidth = nullptr, int* outHeight = nullptr, int* outBitCount = nullptr,
                   const TScaleProgress& scaleProgress = {}, const TDecodeProgress& decodeProgress = {},
                   QString* error = nullptr, QImage* outAlpha = nullptr);

// The viewer's loader: full size or fitted, progressive for JPEG, Targa,
// TIFF, PCX and Photoshop; an animated GIF goes whole to `animation`. Like
// LoadImageFile it gives the picture upright, in sRGB, laid on white.
bool LoadPreviewFile(const QString& fileName, QImage& dest, TGifAnimation* animation, TColor backColor,
                     int boxWidth, int boxHeight, int* outWidth, int* outHeight, bool fullSize,
                     const TScaleProgress& scaleProgress = {},
                     const TDecodeProgress& progressiveProgress = {},
                     const TDecodeProgress& otherProgress = {});
