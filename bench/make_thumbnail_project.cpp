// Writes the project of the thumbnail benchmark: 20 layers over a gradient,
// five of them pictures made from 4000 × 3000 (12 MP) JPEG photographs, the
// others texts, a year, a time and track lists.
//   make_thumbnail_project FOLDER      writes FOLDER/photo1..5.jpg and FOLDER/twenty.jkp
#include "BenchPicture.h"
#include "canvas/CoverDocument.h"
#include "codecs/Codec.h"
#include "project/ProjectFile.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_thumbnail_project FOLDER\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int appArgc = 1;
  QGuiApplication app(appArgc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder + QStringLiteral("/work"));

  TCoverDocument doc;
  doc.SetWorkFolder(folder + QStringLiteral("/work"));
  doc.NewCover();
  doc.SetBackground(QString(), imCenter, 0x603010, 0xF0E0C0, true, false);
  const QString font = QStringLiteral("Liberation Serif");
  QString error;
  for (int i = 0; i < 5; ++i) {
    QByteArray jpeg;
    if (!EncodeJpeg(PhotoLikePicture(4000, 3000, uint32_t(i + 1)), jpeg, error, 90)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return 1;
    }
    const QString photo = folder + QStringLiteral("/photo%1.jpg").arg(i + 1);
    QFile f(photo);
    if (!f.open(QIODevice::WriteOnly) || f.write(jpeg) != jpeg.size()) return 1;
    f.close();
    doc.AddPictureLayer(10 + 80 * i, 10 + 60 * i, photo, 10, 10, 4000, 3000);
    doc.AddTextLayer(20 + 70 * i, 300, QStringLiteral("Side %1").arg(i + 1), font, 0x202020, fsBold, true, true, 150,
                     40);
    doc.AddTextLayer(20 + 70 * i, 340, QStringLiteral("Take %1").arg(i + 1), font, 0x0000C0, fsItalic, false, true,
                     150, 40);
  }
  for (int i = 0; i < 3; ++i)
    doc.AddTracksLayer(20 + 150 * i, 380, {QStringLiteral("Opening|||3:41"), QStringLiteral("Slow river|||5:02"),
                                           QStringLiteral("Night train|||4:17"), QStringLiteral("Coda|||2:09")},
                       font, 0xFF0000, 0, true, true, 20, 140, 90, taLeft);
  doc.AddTextLayer(380, 20, QStringLiteral("2026"), font, 0, 0, true, true, 80, 40);
  doc.AddTextLayer(380, 60, QStringLiteral("12:00:00"), font, 0, 0, true, true, 80, 40);
  const QString project = folder + QStringLiteral("/twenty.jkp");
  if (!SaveProject(doc, project, error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  std::printf("%s: %d layers over the background, %.1f MB\n", qPrintable(project), doc.LayerCount() - 1,
              double(QFile(project).size()) / 1e6);
  return 0;
}
