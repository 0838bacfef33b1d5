#include "project/ExportPng.h"

#include "TestSupport.h"
#include "canvas/CoverDocument.h"
#include "project/ProjectFile.h"
#include "project/WorkFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

TEST(ExportPng, WritesThePrintCoverOfAProject)
{
  QTemporaryDir dir;
  TCoverDocument doc;
  doc.SetWorkFolder(dir.filePath("work"));
  doc.NewCover();
  doc.SetBackground(QString(), imCenter, 0x2040C0, 0x00FF00, false, false);
  const QString pic = dir.filePath("p.bmp");
  ASSERT_TRUE(RandomBitmap(120, 80, 11).save(pic, "BMP"));
  doc.AddPictureLayer(40, 50, pic, 10, 10, 120, 80);
  doc.AddTextLayer(100, 300, "Exported", "Liberation Sans", 0x0000FF, fsBold, true, true, 200, 60);
  QString error;
  ASSERT_TRUE(SaveProject(doc, dir.filePath("c.jkp"), error)) << error.toStdString();

  // A running program's work folder is not touched by an export.
  QString work;
  ASSERT_TRUE(CreateWorkFolder(work, error));
  QFile marker(work + "/1234.bmp");
  ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
  marker.close();

  ASSERT_TRUE(ExportProjectToPng(dir.filePath("c.jkp"), dir.filePath("c.png"), error)) << error.toStdString();
  QImage png(dir.filePath("c.png"), "PNG");
  ASSERT_EQ(png.size(), QSize(940, 940));
  TCoverDocument opened;
  opened.SetWorkFolder(dir.filePath("work2"));
  ASSERT_TRUE(LoadProject(opened, dir.filePath("c.jkp"), error));
  QImage expected;
  opened.RenderPrintImage(expected);
  EXPECT_TRUE(SamePixels(png.convertToFormat(QImage::Format_BGR888), expected));
  EXPECT_TRUE(QFileInfo::exists(work + "/1234.bmp"));
  EXPECT_EQ(QDir(TemporaryFolderPath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({"JKTTemp"}));
}

TEST(ExportPng, FailuresGiveExitCodesAndLeaveNoFile)
{
  QTemporaryDir dir;
  QFile bad(dir.filePath("bad.jkp"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("not a project");
  bad.close();

  QByteArray a0("jacketeer"), a1("--export-png"), a2 = QFile::encodeName(dir.filePath("bad.jkp")),
      a3 = QFile::encodeName(dir.filePath("out.png"));
  char* args[] = {a0.data(), a1.data(), a2.data(), a3.data(), nullptr};
  EXPECT_TRUE(IsExportPngCommand(4, args));
  EXPECT_EQ(ExportPng(4, args), 1);
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.png")));
  EXPECT_EQ(ExportPng(3, args), 2);

  QByteArray missing = QFile::encodeName(dir.filePath("missing.jkp"));
  args[2] = missing.data();
  EXPECT_EQ(ExportPng(4, args), 1);
  char* plain[] = {a0.data(), nullptr};
  EXPECT_FALSE(IsExportPngCommand(1, plain));
}

namespace {

QByteArray ReadBytes(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A saved one-layer project in `dir`.
QString SmallProject(const QTemporaryDir& dir)
{
  TCoverDocument doc;
  doc.SetWorkFolder(dir.filePath("work"));
  doc.NewCover();
  doc.AddTextLayer(10, 10, "Out", "DejaVu Sans", 0x0000FF, 0, false, true, 200, 60);
  QString error;
  EXPECT_TRUE(SaveProject(doc, dir.filePath("p.jkp"), error)) << error.toStdString();
  return dir.filePath("p.jkp");
}

}  // namespace

// The output is never the project (through any spelling or link), special
// files are streamed into or refused but never replaced, and a failure
// leaves nothing behind.
TEST(ExportPng, OutputRules)
{
  QTemporaryDir dir;
  const QString project = SmallProject(dir);
  const QByteArray projectBytes = ReadBytes(project);
  QDir(dir.path()).mkpath("sub");
  ASSERT_TRUE(QFile::link(project, dir.filePath("link.jkp")));
  ASSERT_EQ(::link(QFile::encodeName(project).constData(), QFile::encodeName(dir.filePath("hard.jkp")).constData()), 0);
  QString error;
  for (const QString& out : {project, dir.filePath("link.jkp"), dir.filePath("sub/../p.jkp"), dir.filePath("hard.jkp")}) {
    SCOPED_TRACE(out.toStdString());
    EXPECT_FALSE(ExportProjectToPng(project, out, error));
    EXPECT_TRUE(error.contains("the project itself")) << error.toStdString();
    EXPECT_EQ(ReadBytes(project), projectBytes);
  }

  // A folder and a FIFO nobody reads from are refused and stay what they were.
  const QString fifo = dir.filePath("fifo.png");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  for (const QString& out : {dir.filePath("sub"), fifo}) {
    SCOPED_TRACE(out.toStdString());
    EXPECT_FALSE(ExportProjectToPng(project, out, error));
    EXPECT_FALSE(error.isEmpty());
  }
  EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // A FIFO with a reader and a character device are written into as streams.
  const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  QByteArray streamed;
  std::thread drain([&] {
    char buf[65536];
    // Until the writer has come and gone (an end before any data only means
    // it has not opened the FIFO yet).
    for (int waited = 0; waited < 60000;) {
      const ssize_t n = ::read(reader, buf, sizeof buf);
      if (n > 0) {
        streamed.append(buf, n);
      } else if (n == 0 && !streamed.isEmpty()) {
        break;
      } else {
        ::usleep(1000);
        ++waited;
      }
    }
  });
  const bool toFifo = ExportProjectToPng(project, fifo, error);
  drain.join();
  ::close(reader);
  EXPECT_TRUE(toFifo) << error.toStdString();
  EXPECT_TRUE(streamed.startsWith("\x89PNG"));
  EXPECT_TRUE(ExportProjectToPng(project, "/dev/null", error)) << error.toStdString();
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));

  // A damaged project leaves the old output as it was and no temporary file.
  ASSERT_TRUE(ExportProjectToPng(project, dir.filePath("out.png"), error)) << error.toStdString();
  const QByteArray png = ReadBytes(dir.filePath("out.png"));
  QFile bad(dir.filePath("bad.jkp"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write(QByteArray(100, 'x'));
  bad.close();
  EXPECT_FALSE(ExportProjectToPng(dir.filePath("bad.jkp"), dir.filePath("out.png"), error));
  EXPECT_EQ(ReadBytes(dir.filePath("out.png")), png);
  for (const QString& f : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
    EXPECT_FALSE(f.endsWith(".part")) << f.toStdString();
  EXPECT_EQ(QDir(TemporaryFolderPath()).entryList({"export-*"}, QDir::Dirs), QStringList());
}

// The folder of an export whose process has gone is removed by the next
// export; one a running export holds is kept.
TEST(ExportPng, FoldersOfEndedExportsAreRemoved)
{
  QTemporaryDir dir;
  const QString project = SmallProject(dir);
  QString error;
  ASSERT_TRUE(EnsurePrivateFolder(TemporaryFolderPath(), error));
  const QString ended = TemporaryFolderPath() + "/export-Ab12Cd";
  const QString running = TemporaryFolderPath() + "/export-Zz99Yy";
  QDir().mkpath(ended);
  QDir().mkpath(running);
  QFile leftover(ended + "/Layer1-1.jpg");
  ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
  leftover.close();
  const int held = ::open(QFile::encodeName(running).constData(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  ASSERT_TRUE(ExportProjectToPng(project, dir.filePath("o.png"), error)) << error.toStdString();
  EXPECT_FALSE(QFileInfo::exists(ended));
  EXPECT_TRUE(QFileInfo::exists(running));
  ::close(held);
  RemoveFolderTree(running);
}

// A picture that can not be read leaves its layer blank; the export still
// succeeds and names the layer and the reason.
TEST(ExportPng, UnreadablePicturesAreReported)
{
  QTemporaryDir dir;
  const QByteArray damaged("GIF89a\x10\x00\x10\x00garbage", 16);
  const QByteArray ini = "[Common]\r\nLayerNumber=2\r\n[Layer0]\r\nFileName=\r\n[Layer1]\r\nFileName=C:\\bad.gif\r\n"
                         "ImageStart=0\r\nImageEnd=16\r\nBoundWidth=50\r\nBoundHeight=50\r\nActualWidth=50\r\n"
                         "ActualHeight=50\r\n";
  QFile f(dir.filePath("u.jkp"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(damaged + ini);
  for (qint64 v : {qint64(damaged.size()), qint64(ini.size())})
    for (int b = 0; b < 8; ++b) f.putChar(char((quint64(v) >> (8 * b)) & 0xFF));
  f.close();
  QString error;
  QStringList warnings;
  ASSERT_TRUE(ExportProjectToPng(dir.filePath("u.jkp"), dir.filePath("u.png"), error, &warnings)) << error.toStdString();
  ASSERT_EQ(warnings.size(), 1);
  EXPECT_TRUE(warnings[0].startsWith("Layer 1: the picture \"bad.gif\" could not be read (")) << warnings[0].toStdString();
}
