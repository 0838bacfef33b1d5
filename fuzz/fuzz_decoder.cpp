// libFuzzer harness for one picture reader, chosen at compile time by
// JKT_DECODER. Any crash, hang or sanitizer report is a fault of the reader.
#include "codecs/Codec.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char arg0[] = "fuzz";
  static char* argv[] = {arg0, nullptr};
  static QGuiApplication app(argc, argv);  // fonts and painting for the metafile readers
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  TDecodeOptions opt;
  int calls = 0;
  opt.Progress = [&calls](int) { return ++calls < 1000000; };
  // Odd-sized inputs take the reduced decoding of the readers that have one
  // (thumbnails the file carries, scaled or low-resolution decoding).
  if (size % 2 == 1) opt.BoxWidth = opt.BoxHeight = 32;
  TDecodedImage out;
  QString error;
  JKT_DECODER(bytes, opt, out, error);
  return 0;
}
