// A second start of the real program with a project, while this process is
// the running copy (it holds the single-instance lock and listens like the
// program does): the file comes over the local socket and the main window
// opens it through its Open command, question included.
#include "ShellTestSupport.h"

#include "canvas/LabelShower.h"
#include "project/ProjectFile.h"
#include "project/WorkFolder.h"
#include "shell/FileHandOver.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/SingleInstance.h"
#include "shell/formHints.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

const QString kProgram = QStringLiteral(JKT_PROGRAM);

QStringList Lines(QListWidget* list)
{
  QStringList lines;
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

}  // namespace

TEST(FileHandOver, SecondStartWithAFileMakesTheRunningCopyOpenIt)
{
  QTemporaryDir dir;
  QString error;
  const QString temp = TemporaryFolderPath();
  ASSERT_TRUE(EnsurePrivateFolder(temp, error)) << error.toStdString();
  const QString programName = QFileInfo(kProgram).fileName();

  // A project of two layers, saved from a document of its own.
  const QString project = dir.filePath(QStringLiteral("handed over.jkp"));
  {
    TCoverDocument doc;
    doc.SetWorkFolder(dir.filePath(QStringLiteral("work")));
    doc.NewCover();
    doc.AddTextLayer(10, 10, QStringLiteral("First"), QStringLiteral("Liberation Sans"), 0, 0, false, true, 200, 100);
    doc.AddTextLayer(50, 200, QStringLiteral("Second"), QStringLiteral("Liberation Sans"), 0, 0, false, true, 200,
                     100);
    ASSERT_TRUE(SaveProject(doc, project, error)) << error.toStdString();
  }

  // The running copy, wired as at start-up.
  TSettings settings(dir.filePath(QStringLiteral("config/JKTA.ini")));
  for (int n = 1; n <= 8; ++n) settings.SetShowHint(n, false);
  TfrmHints hints(settings);
  TfrmMain frm(settings, hints);
  ASSERT_TRUE(frm.StartedWell());
  frm.show();
  TSingleInstance instance;
  ASSERT_TRUE(instance.TryLock(temp, programName));
  TFileHandOver handOver;
  handOver.AttachTo(&frm);
  ASSERT_TRUE(handOver.Listen(temp, programName, error)) << error.toStdString();
  QSignalSpy handled(&handOver, &TFileHandOver::FileHandled);

  // A client that sends no absolute path is dropped without an answer.
  {
    QLocalSocket rogue;
    rogue.connectToServer(TFileHandOver::SocketPath(temp, programName));
    ASSERT_TRUE(rogue.waitForConnected(5000));
    rogue.write(QByteArray("relative.jkp", 13));
    rogue.flush();
    QSignalSpy gone(&rogue, &QLocalSocket::disconnected);
    ASSERT_TRUE(gone.wait(5000));
    EXPECT_TRUE(rogue.readAll().isEmpty());
  }

  // The cover is modified: opening asks, with Yes and No only.
  frm.Canvas()->Document().AddTextLayer(0, 0, QStringLiteral("Unsaved"), QStringLiteral("Liberation Sans"), 0, 0,
                                        false, true, 200, 100);
  ASSERT_TRUE(frm.Canvas()->Modified());
  QStringList asked;
  AnswerNextModal([&](QWidget* box) {
    asked = MessageButtons(box);
    EXPECT_EQ(box->windowTitle(), QStringLiteral(" Confirm"));
    ClickMessageButton(box, QStringLiteral("No"));
  });

  // The second start is given a relative name from the project's folder.
  QProcess second;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  second.setProcessEnvironment(env);
  second.setWorkingDirectory(dir.path());
  second.start(kProgram, {QStringLiteral("handed over.jkp")});
  ASSERT_TRUE(handled.wait(30000));
  ASSERT_TRUE(second.state() == QProcess::NotRunning || second.waitForFinished(20000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  EXPECT_EQ(handled.first().first().toString(), project);
  EXPECT_EQ(asked, QStringList({QStringLiteral("Yes"), QStringLiteral("No")}));
  EXPECT_EQ(Lines(frm.LayerList()),
            QStringList({LayerLine(QStringLiteral("Text"), QStringLiteral("Second")),
                         LayerLine(QStringLiteral("Text"), QStringLiteral("First"))}));
  EXPECT_FALSE(frm.Canvas()->Modified());
  EXPECT_EQ(frm.DialogFolder(), dir.path());

  // A file that is no project gets the usual message; the cover stays.
  const QString foreign = dir.filePath(QStringLiteral("notes.jkp"));
  QFile f(foreign);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("shopping list: milk, bread, a blank DVD");
  f.close();
  QString message;
  AnswerNextModal([&](QWidget* box) {
    message = qobject_cast<QMessageBox*>(box)->text();
    ClickMessageButton(box, QStringLiteral("OK"));
  });
  second.start(kProgram, {foreign});
  ASSERT_TRUE(handled.wait(30000));
  ASSERT_TRUE(second.state() == QProcess::NotRunning || second.waitForFinished(20000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(message.startsWith(QStringLiteral("This file is not a valid Jacketeer project"))) << message.toStdString();
  EXPECT_EQ(frm.LayerList()->count(), 2);
}
