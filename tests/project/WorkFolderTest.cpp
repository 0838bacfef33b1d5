#include "project/WorkFolder.h"

#include "canvas/CoverDocument.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t ModeOf(const QString& path)
{
  struct stat st {};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

class WorkFolderTest : public ::testing::Test {
protected:
  void SetUp() override { RemoveFolderTree(TemporaryFolderPath()); }
  void TearDown() override
  {
    QFile::remove(TemporaryFolderPath());  // a link or file a test put in its place
    RemoveFolderTree(TemporaryFolderPath());
  }
};

}  // namespace

TEST_F(WorkFolderTest, CreatedPrivateAndAttachedToTheDocument)
{
  TCoverDocument doc;
  QString error;
  ASSERT_TRUE(AttachWorkFolder(doc, error)) << error.toStdString();
  EXPECT_EQ(doc.WorkFolder(), WorkFolderPath());
  EXPECT_TRUE(WorkFolderPath().startsWith(QDir::tempPath()));
  EXPECT_TRUE(WorkFolderPath().endsWith("/JKTTemp"));
  EXPECT_EQ(ModeOf(TemporaryFolderPath()), mode_t(0700));
  EXPECT_EQ(ModeOf(WorkFolderPath()), mode_t(0700));
  EXPECT_TRUE(QFileInfo(doc.NewWorkFileName()).absolutePath() == WorkFolderPath());
  // A second start finds both and accepts them.
  QString again;
  ASSERT_TRUE(CreateWorkFolder(again, error));
  EXPECT_EQ(again, WorkFolderPath());
}

TEST_F(WorkFolderTest, LooseModeOfOwnFolderIsNarrowed)
{
  ASSERT_EQ(::mkdir(QFile::encodeName(TemporaryFolderPath()).constData(), 0777), 0);
  ::chmod(QFile::encodeName(TemporaryFolderPath()).constData(), 0777);
  QString work, error;
  ASSERT_TRUE(CreateWorkFolder(work, error)) << error.toStdString();
  EXPECT_EQ(ModeOf(TemporaryFolderPath()), mode_t(0700));
}

TEST_F(WorkFolderTest, LinkOrFileInPlaceIsRefused)
{
  const QString elsewhere = QDir::tempPath() + "/elsewhere";
  QDir().mkpath(elsewhere);
  ASSERT_TRUE(QFile::link(elsewhere, TemporaryFolderPath()));
  QString work, error;
  EXPECT_FALSE(CreateWorkFolder(work, error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(elsewhere + "/JKTTemp"));
  QFile::remove(TemporaryFolderPath());

  // The work folder itself replaced by a link.
  ASSERT_TRUE(EnsurePrivateFolder(TemporaryFolderPath(), error));
  ASSERT_TRUE(QFile::link(elsewhere, WorkFolderPath()));
  EXPECT_FALSE(CreateWorkFolder(work, error));
  QFile::remove(WorkFolderPath());

  WriteFile(WorkFolderPath(), "x");
  EXPECT_FALSE(CreateWorkFolder(work, error));
  QDir(elsewhere).removeRecursively();
}

TEST_F(WorkFolderTest, RemovalNeverFollowsLinksOutOfTheFolder)
{
  QString work, error;
  ASSERT_TRUE(CreateWorkFolder(work, error));
  const QString outside = QDir::tempPath() + "/outside";
  QDir().mkpath(outside + "/deep");
  WriteFile(outside + "/keep.txt", "keep");
  WriteFile(outside + "/deep/keep2.txt", "keep");

  QDir().mkpath(work + "/sub/subsub");
  WriteFile(work + "/JKTInfo.ctf", "x");
  WriteFile(work + "/sub/subsub/a.bmp", "x");
  WriteFile(work + "/.hidden", "x");
  ASSERT_TRUE(QFile::link(outside, work + "/linkToFolder"));
  ASSERT_TRUE(QFile::link(outside + "/keep.txt", work + "/sub/linkToFile"));
  ASSERT_TRUE(QFile::link(work + "/nowhere", work + "/dangling"));

  EXPECT_TRUE(RemoveWorkFolder());
  EXPECT_FALSE(QFileInfo::exists(work));
  EXPECT_TRUE(QFileInfo::exists(outside + "/keep.txt"));
  EXPECT_TRUE(QFileInfo::exists(outside + "/deep/keep2.txt"));
  EXPECT_TRUE(RemoveWorkFolder());  // nothing left to remove is no failure

  // A link given as the folder itself is refused and left alone.
  ASSERT_TRUE(QFile::link(outside, work));
  EXPECT_FALSE(RemoveFolderTree(work));
  EXPECT_TRUE(QFileInfo::exists(outside + "/keep.txt"));
  QFile::remove(work);
  QDir(outside).removeRecursively();
}
