#include "codecs/Codec.h"

bool DecodePcx(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString& error)
{
  error = QStringLiteral("This picture format can not be read yet");
  return false;
}

