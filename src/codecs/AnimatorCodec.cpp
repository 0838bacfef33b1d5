#include "codecs/Codec.h"

bool DecodeAnimator(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString& error)
{
  error = QStringLiteral("This picture format can not be read yet");
  return false;
}

