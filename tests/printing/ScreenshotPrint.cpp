// Shows the print preview window with a cover of several layers and saves a
// picture of it: jkt_screenshot_print OUT.png.
#include "canvas/CoverDocument.h"
#include "printing/formPrinter.h"

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: jkt_screenshot_print OUT.png\n");
    return 2;
  }
  QApplication app(argc, argv);
  QTemporaryDir work;
  TCoverDocument doc;
  doc.SetWorkFolder(work.path());
  doc.NewCover();
  const QString font = QStringLiteral("Times New Roman");
  doc.SetBackground(QString(), imCenter, MakeColor(0x7a, 0x1f, 0x2b), int32_t(MakeColor(0xf2, 0xb1, 0x4c)), false,
                    false);
  doc.AddTextLayer(30, 40, QStringLiteral("Summer Tapes"), font, MakeColor(255, 255, 255), fsBold, true, true, 410,
                   100);
  doc.AddTracksLayer(60, 170, {QStringLiteral("Harbour Lights|||4:12"), QStringLiteral("Salt and Sand|||3:37"),
                               QStringLiteral("Long Afternoon|||5:03"), QStringLiteral("Tide Tables|||4:48")},
                     font, MakeColor(255, 246, 220), 0, true, true, 30, 300, 200, taLeft);
  QImage cover;
  doc.RenderPrintImage(cover);

  // On the desktop's printer, as the main window's Print shows it.
  TfrmPrinter printer;
  printer.findChild<QCheckBox*>(QStringLiteral("cboxCuttingLine"))->setChecked(true);
  printer.ShowCover(cover);
  printer.show();
  int rc = 1;
  QTimer::singleShot(500, [&] {
    printer.repaint();
    rc = printer.grab().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
    app.quit();
  });
  app.exec();
  return rc;
}
