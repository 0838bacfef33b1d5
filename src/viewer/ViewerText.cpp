#include "viewer/ViewerText.h"

#include <algorithm>

namespace {

QString Grouped(qint64 whole)
{
  QString digits = QString::number(whole);
  QString out;
  const qsizetype n = digits.size();
  for (qsizetype i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += QLatin1Char(',');
    out += digits[i];
  }
  return out;
}

// value · 10 div unit without overflowing for the largest sizes.
qint64 Tenths(qint64 value, qint64 unit)
{
  return (value / unit) * 10 + (value % unit) * 10 / unit;
}

}  // namespace

QString FileSizeText(qint64 size)
{
  size = std::max<qint64>(0, size);
  qint64 v = 0;
  QString unit;
  if (size > 1048576) {
    v = Tenths(size, 1048576);
    unit = QStringLiteral(" MB");
  } else if (size <= 1024) {
    v = size * 10;
    unit = QStringLiteral(" Bytes");
  } else {
    v = Tenths(size, 1024);
    unit = QStringLiteral(" KB");
  }
  QString text = Grouped(v / 10);
  if (v % 10 != 0) text += QLatin1Char('.') + QString::number(v % 10);
  return text + unit;
}

QString ColorCountText(int bitCount)
{
  if (bitCount <= 8) return QString::number(qint64(1) << std::max(0, bitCount));
  return QString::number(bitCount) + QLatin1Char('b');
}

QString FileTimeText(const QDateTime& time)
{
  const QDateTime t = time.toLocalTime();
  return QStringLiteral("%1:%2 %3-%4-%5")
      .arg(t.time().hour())
      .arg(t.time().minute())
      .arg(t.date().day())
      .arg(t.date().month())
      .arg(t.date().year());
}

TRowBand PreviewBand(int height, int percent)
{
  const qint64 h = std::max(0, height);
  qint64 a = 0, b = 0;
  if (percent >= 0) {
    a = h * (percent - 1) / 100 - 1;
    b = h * percent / 100;
  } else {
    a = h * (percent + 99) / 100 - 1;
    b = h * (percent + 101) / 100;
  }
  a = std::clamp<qint64>(a, 0, h);
  b = std::clamp<qint64>(b, 0, h);
  return {int(a), int(std::max(a, b))};
}

int FrameTimeMs(bool hasDelay, int delayHundredths)
{
  int d = hasDelay ? delayHundredths : 10;
  if (d <= 2) d = 3;
  if (d > 1000) d = 1000;
  return 11 * d + 1;
}

std::optional<TNavButtons> NavButtonsFor(int count, int number)
{
  if (count <= 1) return TNavButtons{false, false};
  if (number < 1) return std::nullopt;
  return TNavButtons{number != 1, number != count};
}
