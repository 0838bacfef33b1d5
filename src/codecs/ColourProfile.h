#pragma once
// Conversion of pictures that carry an ICC colour profile to sRGB, the
// colours the screen and the cover assume, through Little CMS with the
// perceptual intent. A damaged profile, or one that does not describe the
// picture's pixels, gives no transform: the picture is then shown as stored.

#include <QByteArray>
#include <QImage>

#include <cstdint>

enum class TProfilePixels {
  Bgr,           // 24-bit blue, green, red rows (RGB and grey profiles)
  Cmyk,          // 4 bytes a pixel, 0 = no ink
  CmykInverted,  // 4 bytes a pixel, 255 = no ink (Adobe's JPEG files)
};

class TColourTransform {
public:
  TColourTransform() = default;
  TColourTransform(const QByteArray& iccProfile, TProfilePixels pixels) { Create(iccProfile, pixels); }
  ~TColourTransform();
  TColourTransform(const TColourTransform&) = delete;
  TColourTransform& operator=(const TColourTransform&) = delete;

  // False (and no transform) when the profile can not be used for `pixels`.
  bool Create(const QByteArray& iccProfile, TProfilePixels pixels);
  bool Valid() const { return m_transform != nullptr; }

  // Blue, green, red rows in place (Bgr transforms only).
  void ConvertBgr(uint8_t* bgr, int width) const;
  // Every row of a 24-bit bitmap in place.
  void ConvertBitmap(QImage& bmp) const;
  // One row of ink values to blue, green, red (Cmyk transforms only).
  void ConvertCmyk(const uint8_t* cmyk, uint8_t* bgr, int width) const;

private:
  void* m_transform = nullptr;
  TProfilePixels m_pixels = TProfilePixels::Bgr;
};
