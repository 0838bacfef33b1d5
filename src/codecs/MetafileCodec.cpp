#include "codecs/Codec.h"

bool DecodeWmf(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString& error)
{
  error = QStringLiteral("This picture format can not be read yet");
  return false;
}

bool DecodeEmf(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString& error)
{
  error = QStringLiteral("This picture format can not be read yet");
  return false;
}

