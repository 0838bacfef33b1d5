// Opens the main window on a cover of several layers and saves a picture of
// the window: jkt_screenshot OUT.png. Its settings and work folder live in a
// temporary folder of its own.
#include "canvas/LabelShower.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: jkt_screenshot OUT.png\n");
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
  frm.show();

  TCoverDocument& doc = frm.Canvas()->Document();
  const QString font = QStringLiteral("Times New Roman");
  doc.SetBackground(QString(), imCenter, MakeColor(0x1c, 0x2c, 0x4c), int32_t(MakeColor(0x9d, 0xbb, 0xe8)), true,
                    false);
  doc.AddTextLayer(40, 30, QStringLiteral("Midnight Drive"), font, MakeColor(255, 255, 255), fsBold, true, true, 390,
                   90);
  doc.AddTracksLayer(40, 140, {QStringLiteral("Night Falls|||3:41"), QStringLiteral("Neon Rain|||4:05"),
                               QStringLiteral("Empty Roads|||5:12"), QStringLiteral("Last Exit|||3:58"),
                               QStringLiteral("Morning Light|||6:20")},
                     font, MakeColor(255, 240, 200), 0, true, true, 30, 250, 220, taLeft);
  doc.AddTextLayer(330, 400, QDate::currentDate().toString(QStringLiteral("yyyy")), font, MakeColor(255, 255, 255),
                   fsItalic, false, true, 120, 50);
  frm.PageControl()->setCurrentIndex(0);
  doc.SelectLayer(1);
  frm.Canvas()->TickMarks();

  int rc = 1;
  QTimer::singleShot(500, [&] {
    frm.Canvas()->TickMarks();
    frm.repaint();
    rc = frm.grab().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
    doc.SetModified(false);
    app.quit();
  });
  app.exec();
  return rc;
}
