#pragma once
// Robustness checks shared by the reader tests: a reader must reject a
// truncated or damaged file cleanly and never crash or hang on random damage.

#include "codecs/Codec.h"

#include <gtest/gtest.h>

#include <QFile>

#include <random>

using TDecoderFn = bool (*)(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString&);

inline QByteArray ReadFixture(const QString& path)
{
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// Decodes `data` and expects success; returns the picture.
inline TDecodedImage DecodeOk(TDecoderFn fn, const QByteArray& data)
{
  TDecodedImage out;
  QString error;
  EXPECT_TRUE(fn(data, TDecodeOptions{}, out, error)) << error.toStdString();
  EXPECT_FALSE(error.isEmpty() && out.Bitmap.isNull());
  return out;
}

// Every truncation point in a spread over the file: either a clean false with
// a message or (for formats that tolerate a short last row) success; never a
// crash. Truncations inside the header must fail.
inline void ExpectTruncationsHandled(TDecoderFn fn, const QByteArray& data, int headerBytes)
{
  for (int cut : {0, 1, 2, 4, headerBytes / 2, headerBytes - 1}) {
    if (cut < 0 || cut >= data.size()) continue;
    SCOPED_TRACE(cut);
    TDecodedImage out;
    QString error;
    EXPECT_FALSE(fn(data.left(cut), TDecodeOptions{}, out, error));
    EXPECT_FALSE(error.isEmpty());
  }
  for (int i = 1; i < 16; ++i) {
    TDecodedImage out;
    QString error;
    fn(data.left(int(int64_t(data.size()) * i / 16)), TDecodeOptions{}, out, error);
  }
}

// Random byte damage anywhere in the file must never crash or hang.
inline void ExpectRandomDamageSurvived(TDecoderFn fn, const QByteArray& data, int rounds = 200)
{
  std::mt19937 gen(12345);
  for (int r = 0; r < rounds && !data.isEmpty(); ++r) {
    QByteArray d = data;
    const int flips = 1 + int(gen() % 8);
    for (int k = 0; k < flips; ++k) d[int(gen() % uint32_t(d.size()))] = char(gen() & 0xFF);
    TDecodedImage out;
    QString error;
    TDecodeOptions opt;
    fn(d, opt, out, error);
  }
}
