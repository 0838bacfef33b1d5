// libFuzzer harness for the picture metadata parsers: the EXIF orientation
// of a TIFF-structured block, and a JPEG's EXIF segment and ICC chunks. The
// input is tried both as a JPEG and as a bare block. Any crash, hang or
// sanitizer report is a fault of the parsers.
#include "codecs/Exif.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const int direct = ExifOrientation(bytes);
  const int inJpeg = ExifOrientation(JpegExifBlock(bytes));
  const QByteArray icc = JpegIccProfile(bytes);
  if (direct < 1 || direct > 8 || inJpeg < 1 || inJpeg > 8 || icc.size() > kMaxIccProfileBytes) std::abort();
  return 0;
}
