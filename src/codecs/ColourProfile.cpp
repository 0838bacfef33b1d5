#include "codecs/ColourProfile.h"

#include "codecs/Exif.h"

#include <lcms2.h>

#include <mutex>

namespace {

// Little CMS reports problems through a process-wide handler; damaged
// profiles are expected input here and must not print anything.
void QuietLcms()
{
  static std::once_flag once;
  std::call_once(once, [] { cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number, const char*) {}); });
}

// Grey pixels of a 24-bit row: the first byte of each three is the value,
// the two after it are passed over.
constexpr cmsUInt32Number kGreyInBgr = COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | EXTRA_SH(2) | BYTES_SH(1);

}  // namespace

TColourTransform::~TColourTransform()
{
  if (m_transform) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(m_transform));
}

bool TColourTransform::Create(const QByteArray& iccProfile, TProfilePixels pixels)
{
  if (m_transform) cmsDeleteTransform(static_cast<cmsHTRANSFORM>(m_transform));
  m_transform = nullptr;
  m_pixels = pixels;
  if (iccProfile.size() < 132 || iccProfile.size() > kMaxIccProfileBytes) return false;  // 128-byte header and a tag count
  QuietLcms();
  cmsHPROFILE in = cmsOpenProfileFromMem(iccProfile.constData(), cmsUInt32Number(iccProfile.size()));
  if (!in) return false;
  cmsUInt32Number inFormat = 0;
  switch (cmsGetColorSpace(in)) {
  case cmsSigRgbData:
    if (pixels == TProfilePixels::Bgr) inFormat = TYPE_BGR_8;
    break;
  case cmsSigGrayData:
    if (pixels == TProfilePixels::Bgr) inFormat = kGreyInBgr;
    break;
  case cmsSigCmykData:
    if (pixels == TProfilePixels::Cmyk) inFormat = TYPE_CMYK_8;
    else if (pixels == TProfilePixels::CmykInverted) inFormat = TYPE_CMYK_8_REV;
    break;
  default:
    break;
  }
  if (inFormat != 0) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    if (srgb) {
      m_transform = cmsCreateTransform(in, inFormat, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
      cmsCloseProfile(srgb);
    }
  }
  cmsCloseProfile(in);
  return m_transform != nullptr;
}

void TColourTransform::ConvertBgr(uint8_t* bgr, int width) const
{
  if (!m_transform || m_pixels != TProfilePixels::Bgr || width <= 0) return;
  cmsDoTransform(static_cast<cmsHTRANSFORM>(m_transform), bgr, bgr, cmsUInt32Number(width));
}

void TColourTransform::ConvertBitmap(QImage& bmp) const
{
  if (!m_transform || m_pixels != TProfilePixels::Bgr || bmp.isNull() || bmp.format() != QImage::Format_BGR888)
    return;
  for (int y = 0; y < bmp.height(); ++y) ConvertBgr(bmp.scanLine(y), bmp.width());
}

void TColourTransform::ConvertCmyk(const uint8_t* cmyk, uint8_t* bgr, int width) const
{
  if (!m_transform || m_pixels == TProfilePixels::Bgr || width <= 0) return;
  cmsDoTransform(static_cast<cmsHTRANSFORM>(m_transform), cmyk, bgr, cmsUInt32Number(width));
}
