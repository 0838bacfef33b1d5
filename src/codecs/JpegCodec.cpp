#include "codecs/Codec.h"

bool DecodeJpeg(const QByteArray&, const TDecodeOptions&, TDecodedImage&, QString& error)
{
  error = QStringLiteral("This picture format can not be read yet");
  return false;
}

bool EncodeJpeg(const QImage&, QByteArray&, QString& error, int)
{
  error = QStringLiteral("JPEG writing is not available yet");
  return false;
}
