// Writes the large and hostile projects that bench/hostile.sh opens and
// exports:
//   text125 … text999.jkp     that many text layers
//   pictures50 … pictures400   picture layers sharing one 600 × 600 JPEG
//                              (each section embeds its own copy, as saving does)
//   gif20.jkp                  20 layers sharing a 35-byte GIF whose screen is
//                              10950 × 10950
//   boxes100.jkp               100 picture layers with 4096 × 4096 boxes
// Usage: hostile_projects OUTDIR
#include "HostileProjects.h"

#include <QDir>
#include <QGuiApplication>

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: hostile_projects OUTDIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QDir().mkpath(out.path());
  for (int n : {125, 250, 500, 999})
    if (!hostile::Write(out.filePath(QString("text%1.jkp").arg(n)), {}, hostile::TextProject(n))) return 1;
  const QByteArray jpeg = hostile::Jpeg600();
  for (int n : {50, 100, 200, 400})
    hostile::PictureProject(out.filePath(QString("pictures%1.jkp").arg(n)), n, jpeg, "photo.jpg", 600, 200);
  hostile::PictureProject(out.filePath("gif20.jkp"), 20, hostile::HugeScreenGif(), "huge.gif", 10950, 300);
  hostile::PictureProject(out.filePath("boxes100.jkp"), 100, jpeg, "photo.jpg", 600, 4096);
  return 0;
}
