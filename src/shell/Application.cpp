#include "shell/Application.h"

#include "printing/PrintPdf.h"
#include "printing/formPrinter.h"
#include "editors/LayerEditors.h"
#include "project/ExportPng.h"
#include "project/WorkFolder.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/SingleInstance.h"
#include "shell/Splash.h"
#include "shell/formHints.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>

int RunJacketeer(int argc, char** argv)
{
  if (IsExportPngCommand(argc, argv)) return ExportPng(argc, argv);
  if (IsPrintPdfCommand(argc, argv)) return PrintPdf(argc, argv);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Jacketeer"));
  InitJacketeerResources();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/jacketeer.svg")));

  // One copy per user: the lock lives in the private temporary folder.
  QString error;
  const QString tempFolder = TemporaryFolderPath();
  if (!EnsurePrivateFolder(tempFolder, error)) {
    QMessageBox::critical(nullptr, QStringLiteral("Jacketeer"), QString::fromLatin1(kWorkFolderFailure));
    return 1;
  }
  TSingleInstance instance;
  if (!instance.TryLock(tempFolder, QFileInfo(QCoreApplication::applicationFilePath()).fileName())) return 0;

  TfrmSplash splash;
  splash.show();
  splash.repaint();
  QApplication::processEvents();

  TSettings settings;
  settings.Load();
  TfrmHints hints(settings);
  TfrmMain frmMain(settings, hints);
  if (!frmMain.StartedWell()) {
    splash.close();
    QMessageBox::critical(nullptr, QStringLiteral("Jacketeer"), QString::fromLatin1(kWorkFolderFailure));
    return 1;
  }
  TfrmPrinter frmPrinter(&frmMain);
  frmMain.SetPrintWindow(&frmPrinter);
  AttachLayerEditors(frmMain);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    frmMain.move(area.x() + (area.width() - frmMain.frameGeometry().width()) / 2,
                 area.y() + (area.height() - frmMain.frameGeometry().height()) / 2);
  }
  frmMain.show();
  splash.close();
  return app.exec();
}
