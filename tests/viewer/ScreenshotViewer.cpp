// Opens the image viewer on a folder of pictures, focuses one and saves a
// picture of the window once its preview is drawn:
//   jkt_screenshot_viewer OUT.png PICTURES
// Its settings live in a temporary folder of its own.
#include "imagelib/Thumbnailer.h"
#include "shell/Settings.h"
#include "viewer/Viewer.h"
#include "viewer/formViewerMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc != 3) {
    std::fprintf(stderr, "usage: jkt_screenshot_viewer OUT.png PICTURES\n");
    return 2;
  }
  QApplication app(argc, argv);
  QTemporaryDir home;
  TSettings settings(home.filePath(QStringLiteral("JKTA.ini")));
  settings.Viewer = {40, 40, 900, 640, 250, 390};
  TfrmViewerMain frm(settings);
  frm.ShowBrowseMode();
  frm.SelectFolder(QString::fromLocal8Bit(argv[2]));
  const QString out = QString::fromLocal8Bit(argv[1]);
  int rc = 1;
  bool focused = false;
  QObject::connect(&frm, &TfrmViewerMain::GridIdle, &frm, [&] {
    if (focused || frm.Grid()->Count() == 0) return;
    focused = true;
    frm.Grid()->FocusItem(0);
    frm.Grid()->NextItem();  // the second picture, selected
  });
  QObject::connect(frm.Viewer(), &TViewer::PreviewStopped, &frm, [&] {
    if (!focused || frm.Viewer()->Running() || frm.Viewer()->Preview().isNull()) return;
    QTimer::singleShot(300, &frm, [&] {
      frm.repaint();
      rc = frm.grab().save(out, "PNG") ? 0 : 1;
      app.quit();
    });
  });
  QTimer::singleShot(20000, &app, [&] { app.quit(); });
  frm.show();
  app.exec();
  return rc;
}
