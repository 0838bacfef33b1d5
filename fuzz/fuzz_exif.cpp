// libFuzzer harness for the picture metadata parsers: the EXIF orientation
// of a TIFF-structured block, a JPEG's EXIF segment and ICC chunks, and the
// hexadecimal EXIF text of PNG files. The input is tried as a JPEG, as a bare
// block and as such a text. Any crash, hang or
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
  const QByteArray text = ExifFromRawProfileText(bytes);
  const int inText = ExifOrientation(text);
  if (direct < 1 || direct > 8 || inJpeg < 1 || inJpeg > 8 || inText < 1 || inText > 8 ||
      icc.size() > kMaxIccProfileBytes || text.size() > 65536)
    std::abort();
  return 0;
}
