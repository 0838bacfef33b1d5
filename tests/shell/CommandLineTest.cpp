// The jacketeer program run from the command line as a user would: signals
// during an export, and a project far too large for the memory it may use.
#include "TestSupport.h"
#include "canvas/CoverDocument.h"
#include "project/ProjectFile.h"
#include "project/WorkFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList LeftInTemporaryFolder()
{
  QStringList left = QDir(TemporaryFolderPath()).entryList({"export-*"}, QDir::Dirs | QDir::Hidden);
  left << QDir(TemporaryFolderPath()).entryList({"*.part"}, QDir::Files | QDir::Hidden);
  return left;
}

}  // namespace

// The export blocks writing its PNG into a FIFO nobody reads; SIGINT, SIGTERM
// or SIGHUP then end it, and its work folder and temporary file go with it.
TEST(CommandLine, InterruptedExportLeavesNothingBehind)
{
  QTemporaryDir dir;
  TCoverDocument doc;
  doc.SetWorkFolder(dir.filePath("work"));
  doc.NewCover();
  const QString noise = dir.filePath("noise.bmp");
  ASSERT_TRUE(RandomBitmap(470, 470, 3).save(noise, "BMP"));
  doc.SetBackground(noise, imStretch, 0, -1, true, true);
  doc.AddPictureLayer(10, 10, noise, 0, 0, 470, 470);
  QString error;
  ASSERT_TRUE(SaveProject(doc, dir.filePath("n.jkp"), error)) << error.toStdString();
  const QString fifo = dir.filePath("out.png");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);

  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    QProcess export_;
    export_.start(QStringLiteral(JKT_PROGRAM), {"--export-png", dir.filePath("n.jkp"), fifo});
    ASSERT_TRUE(export_.waitForStarted(10000));
    // Wait until the pipe is full: the export is then blocked in its write.
    QElapsedTimer timer;
    timer.start();
    int queued = 0;
    while (timer.elapsed() < 60000 && export_.state() == QProcess::Running) {
      if (::ioctl(reader, FIONREAD, &queued) == 0 && queued >= 65536) break;
      QThread::msleep(10);
    }
    ASSERT_GE(queued, 65536) << export_.readAllStandardError().toStdString();
    EXPECT_FALSE(LeftInTemporaryFolder().isEmpty());
    ::kill(pid_t(export_.processId()), sig);
    ASSERT_TRUE(export_.waitForFinished(20000));
    EXPECT_EQ(export_.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(LeftInTemporaryFolder(), QStringList());
    char buf[65536];
    while (::read(reader, buf, sizeof buf) > 0) {
    }
  }
  ::close(reader);
}

// 100 picture layers in 4096 × 4096 boxes under a 3 GB address-space limit:
// the export ends with a message, not with a signal.
TEST(CommandLine, HugeLayerBoxesEndWithAMessageUnderAMemoryLimit)
{
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no program runs under a 3 GB limit";
#endif
  QTemporaryDir dir;
  const QString pic = dir.filePath("p.bmp");
  ASSERT_TRUE(RandomBitmap(600, 600, 5).save(pic, "BMP"));
  QFile pf(pic);
  ASSERT_TRUE(pf.open(QIODevice::ReadOnly));
  const QByteArray blob = pf.readAll();
  QByteArray ini = "[Common]\r\nLayerNumber=101\r\n[Layer0]\r\nFileName=\r\n";
  for (int i = 1; i <= 100; ++i)
    ini += "[Layer" + QByteArray::number(i) + "]\r\nLeft=" + QByteArray::number(i) +
           "\r\nTop=0\r\nFileName=C:\\p.bmp\r\nImageStart=0\r\nImageEnd=" + QByteArray::number(blob.size()) +
           "\r\nBoundWidth=4096\r\nBoundHeight=4096\r\nActualWidth=600\r\nActualHeight=600\r\nSoftV=10\r\nSoftH=10\r\n";
  QFile project(dir.filePath("boxes.jkp"));
  ASSERT_TRUE(project.open(QIODevice::WriteOnly));
  project.write(blob + ini);
  for (qint64 v : {qint64(blob.size()), qint64(ini.size())})
    for (int b = 0; b < 8; ++b) project.putChar(char((quint64(v) >> (8 * b)) & 0xFF));
  project.close();

  QProcess export_;
  export_.setChildProcessModifier([] {
    struct rlimit limit {};
    limit.rlim_cur = limit.rlim_max = rlim_t(3000000) * 1024;
    ::setrlimit(RLIMIT_AS, &limit);
  });
  export_.start(QStringLiteral(JKT_PROGRAM), {"--export-png", dir.filePath("boxes.jkp"), dir.filePath("b.png")});
  ASSERT_TRUE(export_.waitForFinished(300000));
  const QByteArray err = export_.readAllStandardError();
  EXPECT_EQ(export_.exitStatus(), QProcess::NormalExit) << err.toStdString();
  EXPECT_EQ(export_.exitCode(), 1) << err.toStdString();
  EXPECT_TRUE(err.contains("memory")) << err.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("b.png")));
}
