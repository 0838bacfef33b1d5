#pragma once
// The large and hostile projects of bench/hostile.sh and bench_hostile.
#include "codecs/Codec.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdio>

namespace hostile {

inline QByteArray Int64Bytes(int64_t v)
{
  QByteArray out;
  for (int i = 0; i < 8; ++i) out.append(char((uint64_t(v) >> (8 * i)) & 0xFF));
  return out;
}

inline bool Write(const QString& path, const QByteArray& blob, const QByteArray& ini)
{
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  f.write(blob);
  f.write(ini);
  f.write(Int64Bytes(blob.size()));
  f.write(Int64Bytes(ini.size()));
  return f.error() == QFileDevice::NoError;
}

inline QByteArray Head(int layers)
{
  return "[Common]\r\nLayerNumber=" + QByteArray::number(layers + 1) +
         "\r\n[Layer0]\r\nFileName=\r\nImageMode=Center\r\nStartColor=16777215\r\nEndColor=-1\r\n"
         "Vertical=1\r\nShowImage=0\r\n";
}

inline QByteArray TextProject(int layers)
{
  QByteArray ini = Head(layers);
  for (int i = 1; i <= layers; ++i) {
    ini += "[Layer" + QByteArray::number(i) + "]\r\nLeft=" + QByteArray::number((i * 37) % 400) +
           "\r\nTop=" + QByteArray::number((i * 53) % 440) + "\r\nText=Layer " + QByteArray::number(i) +
           "\r\nFontName=DejaVu Sans\r\nColor=" + QByteArray::number((i * 7919) % 0xFFFFFF) +
           "\r\nFontStyles=\r\nShadow=" + QByteArray::number(i % 2) +
           "\r\nSmooth=1\r\nLineSpace=0\r\nBoundWidth=120\r\nBoundHeight=40\r\n";
  }
  return ini;
}

// Picture layers, each embedding `picture` under `name`, with the given box.
inline void PictureProject(const QString& path, int layers, const QByteArray& picture, const QByteArray& name, int actual,
                    int box)
{
  QByteArray blob, ini = Head(layers);
  for (int i = 1; i <= layers; ++i) {
    const qsizetype start = blob.size();
    blob += picture;
    ini += "[Layer" + QByteArray::number(i) + "]\r\nLeft=" + QByteArray::number((i * 13) % 300) +
           "\r\nTop=" + QByteArray::number((i * 29) % 300) + "\r\nFileName=C:\\Pictures\\" + name +
           "\r\nImageStart=" + QByteArray::number(start) + "\r\nImageEnd=" + QByteArray::number(blob.size()) +
           "\r\nBoundWidth=" + QByteArray::number(box) + "\r\nBoundHeight=" + QByteArray::number(box) +
           "\r\nActualWidth=" + QByteArray::number(actual) + "\r\nActualHeight=" + QByteArray::number(actual) +
           "\r\nSoftV=10\r\nSoftH=10\r\n";
  }
  if (!Write(path, blob, ini)) std::fprintf(stderr, "can not write %s\n", qPrintable(path));
}

// A GIF whose logical screen is 10950 × 10950 with one 1 × 1 frame.
inline QByteArray HugeScreenGif()
{
  QByteArray g("GIF89a");
  const int side = 10950;
  g += char(side & 0xFF);
  g += char(side >> 8);
  g += char(side & 0xFF);
  g += char(side >> 8);
  g += char(0x80);  // global table of two colours
  g += char(0);
  g += char(0);
  g += QByteArray("\x20\x40\x80\xFF\xFF\xFF", 6);
  g += QByteArray("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
  g += QByteArray("\x02\x02\x44\x01\x00\x3B", 6);  // clear, index 0, end
  return g;
}

inline QByteArray Jpeg600()
{
  QImage img(600, 600, QImage::Format_BGR888);
  for (int y = 0; y < 600; ++y) {
    uint8_t* row = img.scanLine(y);
    for (int x = 0; x < 600; ++x) {
      row[3 * x] = uint8_t(x / 3);
      row[3 * x + 1] = uint8_t(y / 3);
      row[3 * x + 2] = uint8_t((x ^ y) & 0xFF);
    }
  }
  QByteArray jpeg;
  QString error;
  if (!EncodeJpeg(img, jpeg, error, 85)) std::fprintf(stderr, "%s\n", qPrintable(error));
  return jpeg;
}

}  // namespace hostile
