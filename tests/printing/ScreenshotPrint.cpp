// Opens the print preview from the main window's Print button on a cover of
// several layers and saves a picture of the preview window:
// jkt_screenshot_print OUT.png. Its settings and work folder live in a
// temporary folder of its own.
#include "canvas/LabelShower.h"
#include "printing/formPrinter.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: jkt_screenshot_print OUT.png\n");
    return 2;
  }
  QTemporaryDir home;
  qputenv("TMPDIR", home.filePath(QStringLiteral("tmp")).toLocal8Bit());
  QDir().mkpath(home.filePath(QStringLiteral("tmp")));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Jacketeer"));

  TSettings settings(home.filePath(QStringLiteral("JKTA.ini")));
  for (int n = 1; n <= TSettings::HintCount; ++n) settings.SetShowHint(n, false);
  TfrmHints hints(settings);
  TfrmMain frm(settings, hints);
  if (!frm.StartedWell()) return 1;
  TfrmPrinter printer(&frm);
  frm.SetPrintWindow(&printer);
  frm.show();

  TCoverDocument& doc = frm.Canvas()->Document();
  const QString font = QStringLiteral("Times New Roman");
  doc.SetBackground(QString(), imCenter, MakeColor(0x7a, 0x1f, 0x2b), int32_t(MakeColor(0xf2, 0xb1, 0x4c)), false,
                    false);
  doc.AddTextLayer(30, 40, QStringLiteral("Summer Tapes"), font, MakeColor(255, 255, 255), fsBold, true, true, 410,
                   100);
  doc.AddTracksLayer(60, 170, {QStringLiteral("Harbour Lights|||4:12"), QStringLiteral("Salt and Sand|||3:37"),
                               QStringLiteral("Long Afternoon|||5:03"), QStringLiteral("Tide Tables|||4:48")},
                     font, MakeColor(255, 246, 220), 0, true, true, 30, 300, 200, taLeft);
  doc.SetModified(false);
  printer.findChild<QCheckBox*>(QStringLiteral("cboxCuttingLine"))->setChecked(true);

  int rc = 1;
  QTimer::singleShot(500, [&] {
    QTimer::singleShot(500, [&] {
      printer.repaint();
      rc = printer.grab().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
      printer.reject();
      app.quit();
    });
    frm.findChild<QToolButton*>(QStringLiteral("btnPrint"))->click();
  });
  app.exec();
  return rc;
}
