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
