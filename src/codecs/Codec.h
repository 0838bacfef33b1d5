#pragma once
// Common interface of the picture readers. Every reader decodes a whole file
// held in memory into a 24-bit bitmap (QImage::Format_BGR888, rows top-down,
// bytes blue, green, red), never throws, and reports a damaged, truncated or
// foreign file by returning false with a message.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>

// Percentage of rows decoded so far; negative when the picture is filled from
// its bottom row upwards. Returns true to go on, false to stop. A reader calls
// it only when the percentage has changed since its previous call.
using TDecodeProgress = std::function<bool(int percent)>;

// Receives decoded rows as soon as they exist (the progressive preview).
// Begin is called once with the picture's stored size before the first row;
// Row is called once per picture row with `width` pixels of blue, green, red.
// Rows arrive top-down, or bottom-up when `bottomUp` is true.
class TRowSink {
public:
  virtual ~TRowSink() = default;
  // Called before Begin by readers that know them: the orientation the rows
  // still need (1 … 8, 1 = upright) and the colour profile they are in.
  virtual void Describe(int orientation, const QByteArray& iccProfile)
  {
    (void)orientation;
    (void)iccProfile;
  }
  virtual void Begin(int width, int height, bool bottomUp) = 0;
  virtual void Row(int y, const uint8_t* bgr) = 0;
};

struct TDecodeOptions {
  TDecodeProgress Progress;   // may be empty (counts as "go on")
  TRowSink* Sink = nullptr;   // progressive readers feed their rows here when set
  int ScaleDenom = 1;         // JPEG: decode at 1/1, 1/2, 1/4 or 1/8
  QString FileName;           // the file's path, for readers that look beside it
  // Reduced decoding (WebP, HEIF/AVIF, JPEG XL): when both are set, a reader
  // that can may deliver the picture smaller, but never smaller than the
  // picture fitted into this box (a thumbnail the file carries, a scaled or
  // low-resolution decode). Width and Height still give the stored size.
  int BoxWidth = 0;
  int BoxHeight = 0;
};

struct TDecodedImage {
  QImage Bitmap;       // Format_BGR888; may be left null when a Sink received the rows
  int Width = 0;       // the picture's size as stored in the file
  int Height = 0;
  int BitCount = 24;   // bits per pixel of the stored pixel format (1 … 32)
  // What a reader found beside the pixels. Readers that know nothing of them
  // leave them empty; the loaders apply them (colour, orientation, alpha).
  QByteArray IccProfile; // embedded ICC colour profile, as stored
  int Orientation = 1;   // EXIF orientation 1 … 8 still to be applied (1 = upright)
  QImage Alpha;          // Format_Grayscale8, Bitmap's size, 255 = opaque; null when opaque
};

// Largest picture any reader accepts: keeps a damaged header from asking for
// gigabytes. About 45 megapixels at 24 bits a pixel per side limit 65535.
constexpr int64_t kMaxImagePixels = 120'000'000;
constexpr int kMaxImageSide = 65535;

// Each reader: bytes of the whole file in, picture out. On failure `error`
// holds a short message and `out` is left as it was.
bool DecodeJpeg(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeGifFirstFrame(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeTiff(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeBmp(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeIcon(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeWmf(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
// Where the WMF reader has libwmf look for its fonts. Empty (the default)
// keeps the folders libwmf was built with; tests set an empty folder to draw
// as on a machine without those fonts.
void SetWmfFontFolder(const QString& folder);
bool DecodeEmf(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeTarga(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodePcx(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodePsd(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodePnm(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodePcd(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeAnimator(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeRla(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeCut(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
// Readers through the formats' own libraries. Bitmap is 24-bit colour as
// stored (not laid on anything); transparency goes to Alpha.
bool DecodePng(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeWebp(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
// HEIF stills: HEIC (HEVC) and AVIF (AV1), one reader for both containers.
bool DecodeHeif(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);
bool DecodeJxl(const QByteArray& data, const TDecodeOptions& opt, TDecodedImage& out, QString& error);

// JPEG encoder used by the image editor (quality 80 unless told otherwise).
bool EncodeJpeg(const QImage& bgr, QByteArray& out, QString& error, int quality = 80);
