#include "canvas/TextRender.h"

QString TrackLineForDisplay(const QString& line)
{
  QString s = line;
  const qsizetype at = s.indexOf(QStringLiteral("|||"));
  if (at >= 0) s.replace(at, 3, QStringLiteral(" "));
  return s;
}

void RenderTextBitmap(const QString&, const QString&, TColor, uint8_t, bool, bool, int boxWidth, int boxHeight,
                      QImage& picture, QImage& mask)
{
  picture = NewBitmap(boxWidth, boxHeight);
  mask = NewBitmap(boxWidth, boxHeight, 0x00FFFF);
}

void RenderTracksBitmap(const QStringList&, const QString&, TColor, uint8_t, bool, bool, int, int boxWidth,
                        int boxHeight, uint8_t, QImage& picture, QImage& mask)
{
  picture = NewBitmap(boxWidth, boxHeight);
  mask = NewBitmap(boxWidth, boxHeight, 0x00FFFF);
}
