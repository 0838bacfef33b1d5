// Opens the main window on a cover of several layers and saves a picture of
// the window: jkt_screenshot OUT.png. Its settings and work folder live in a
// temporary folder of its own.
//   jkt_screenshot OUT.png PICTURES
// shows the favourites tab instead, filled with the pictures of the folder
// PICTURES, one of them chosen in the strip and made the cover's background.
#include "canvas/LabelShower.h"
#include "imagelib/Thumbnailer.h"
#include "editors/LayerEditors.h"
#include "printing/formPrinter.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"
#include "viewer/ViewerWiring.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

void ClickAt(QWidget* w, QPoint p)
{
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), Qt::LeftButton,
                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  }
}

// The favourites tab filled from `pictures`; the second picture is chosen in
// the strip and made the background with B.G.
int Favourites(QApplication& app, TfrmMain& frm, const QString& pictures, const QString& out)
{
  const QDir source(pictures);
  for (const QString& name : source.entryList(QDir::Files))
    QFile::copy(source.filePath(name), frm.FavouritesFolder() + name);
  frm.PageControl()->setCurrentIndex(1);
  frm.BackgroundSettingsSource = [] {
    TBackgroundInfo b;
    b.ImageMode = imStretch;
    return b;
  };
  TCoverDocument& doc = frm.Canvas()->Document();
  const QString font = QStringLiteral("Times New Roman");
  TThumbnail* strip = frm.Favourites();
  int rc = 1;
  bool done = false;
  strip->OnIdle = [&] {
    if (done) return;
    done = true;
    ClickAt(strip->PaintBox(), strip->CellRect(1).center());
    frm.btnSetToBackgroundClick();
    doc.AddTextLayer(30, 40, QStringLiteral("Blue Hour"), font, MakeColor(255, 255, 255), fsBold, true, true, 410,
                     100);
    doc.AddTextLayer(30, 390, QStringLiteral("Live at the Harbour"), font, MakeColor(255, 240, 210), fsItalic, true,
                     true, 410, 50);
    doc.SelectLayer(-1);
    QTimer::singleShot(300, [&] {
      frm.repaint();
      rc = frm.grab().save(out, "PNG") ? 0 : 1;
      doc.SetModified(false);
      app.quit();
    });
  };
  strip->Refresh();
  app.exec();
  return rc;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: jkt_screenshot OUT.png [PICTURES]\n");
    return 2;
  }
  QTemporaryDir home;
  qputenv("TMPDIR", home.filePath(QStringLiteral("tmp")).toLocal8Bit());
  qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
  QDir().mkpath(home.filePath(QStringLiteral("tmp")));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Jacketeer"));

  TSettings settings(home.filePath(QStringLiteral("JKTA.ini")));
  for (int n = 1; n <= TSettings::HintCount; ++n) settings.SetShowHint(n, false);
  TfrmHints hints(settings);
  TfrmMain frm(settings, hints);
  if (!frm.StartedWell()) return 1;
  // The windows the program hooks in, so the tool bar shows as it does there.
  TfrmPrinter printer(&frm);
  frm.SetPrintWindow(&printer);
  AttachLayerEditors(frm);
  AttachImageViewer(frm, settings);
  frm.show();

  TCoverDocument& doc = frm.Canvas()->Document();
  const QString font = QStringLiteral("Times New Roman");
  if (argc == 3) return Favourites(app, frm, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[1]));
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
