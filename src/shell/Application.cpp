#include "shell/Application.h"

#include "printing/formPrinter.h"
#include "editors/LayerEditors.h"
#include "project/OutputFile.h"
#include "project/WorkFolder.h"
#include "shell/CommandLine.h"
#include "shell/FileHandOver.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/SingleInstance.h"
#include "shell/Splash.h"
#include "shell/formHints.h"
#include "viewer/ViewerWiring.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>

#include <cstdio>

int RunJacketeer(int argc, char** argv)
{
  QString file;  // the project to open, if any
  if (const int status = RunCommandLine(argc, argv, file); status >= 0) return status;

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
  TCommandLineJob::RemoveEndedJobFolders(tempFolder);  // left by exports that were killed
  TSingleInstance instance;
  const QString programName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  switch (instance.Lock(tempFolder, programName, error)) {
    case TSingleInstance::Acquired: break;
    case TSingleInstance::Running:
      // The running copy opens the file; a start without one ends silently.
      if (file.isEmpty() || TFileHandOver::Send(tempFolder, programName, file, 10000, error)) return 0;
      QMessageBox::warning(nullptr, QStringLiteral("Jacketeer"), error);
      return 1;
    case TSingleInstance::Failed:
      std::fprintf(stderr, "jacketeer: %s\n", error.toLocal8Bit().constData());
      QMessageBox::critical(nullptr, QStringLiteral("Jacketeer"), error);
      return 1;
  }

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
  TLayerEditors* editors = AttachLayerEditors(frmMain);
  TViewerWiring* viewer = AttachImageViewer(frmMain, settings);
  ConnectBackgroundChoice(*editors->BackgroundEditor(), *viewer->Viewer());

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    frmMain.move(area.x() + (area.width() - frmMain.frameGeometry().width()) / 2,
                 area.y() + (area.height() - frmMain.frameGeometry().height()) / 2);
  }
  // Without the socket the program still works; later starts are told.
  TFileHandOver handOver;
  handOver.AttachTo(&frmMain);
  handOver.Listen(tempFolder, programName, error);

  frmMain.show();
  splash.close();
  if (!file.isEmpty()) handOver.Deliver(file);
  return app.exec();
}
