#include "codecs/Codec.h"

bool DecodeBmp(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString& error)
{
  error = QStringLiteral("This picture format can not be read yet");
  return false;
}

bool DecodeIcon(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString& error)
{
  error = QStringLiteral("This picture format can not be read yet");
  return false;
}

