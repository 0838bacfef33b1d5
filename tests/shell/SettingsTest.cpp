// The settings file and the hint window's switches.
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

QByteArray ReadAll(const QString& file)
{
  QFile f(file);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& file, const QByteArray& bytes)
{
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

class SettingsTest : public ::testing::Test {
protected:
  QString File() const { return dir.filePath(QStringLiteral("JKTA.ini")); }
  QTemporaryDir dir;
};

}  // namespace

TEST_F(SettingsTest, FirstRunWithoutAFile)
{
  TSettings s(File());
  s.Load();
  for (int n = 1; n <= 8; ++n) EXPECT_TRUE(s.ShowHint(n)) << n;
  EXPECT_EQ(s.Viewer.Left, -1);
  EXPECT_EQ(s.Viewer.SubWidth, -1);
  // On a 1024 × 738 work area the viewer gets 600 × 500, centred.
  EXPECT_EQ(CorrectViewerBounds(s.Viewer, 1024, 738), QRect(212, 119, 600, 500));
}

// A settings file that is a FIFO, a device or far too large: the start goes on
// at once with the defaults.
TEST_F(SettingsTest, UnusableFileGivesTheDefaultsAtOnce)
{
  ASSERT_EQ(::mkfifo(QFile::encodeName(File()).constData(), 0600), 0);
  const QString zero = dir.filePath(QStringLiteral("zero.ini"));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
  const QString huge = dir.filePath(QStringLiteral("huge.ini"));
  WriteAll(huge, "[ShowHints]\r\n1=0\r\n" + QByteArray(2 << 20, ' '));
  for (const QString& file : {File(), zero, huge}) {
    SCOPED_TRACE(file.toStdString());
    TSettings s(file);
    s.Load();
    for (int n = 1; n <= 8; ++n) EXPECT_TRUE(s.ShowHint(n)) << n;
  }
}

TEST_F(SettingsTest, DefaultPlaceIsTheConfigurationFolder)
{
  EXPECT_TRUE(TSettings::DefaultFileName().endsWith(QStringLiteral("/JKTA.ini")));
  EXPECT_TRUE(TSettings::DefaultFileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
}

TEST(ViewerBounds, CorrectedAgainstTheWorkArea)
{
  TViewerSettings v;
  v.Left = -5;
  v.Top = 1001;
  v.Width = 3000;
  v.Height = 300;
  EXPECT_EQ(CorrectViewerBounds(v, 1280, 1000), QRect(0, 250, 1280, 500));
  v = TViewerSettings{2000, 10, 700, 2000};
  EXPECT_EQ(CorrectViewerBounds(v, 1280, 1000), QRect(290, 10, 700, 1000));
  v = TViewerSettings{100, 50, 800, 600};
  EXPECT_EQ(CorrectViewerBounds(v, 1280, 1000), QRect(100, 50, 800, 600));
  // A width of exactly 400 counts as too small.
  v = TViewerSettings{0, 0, 400, 401};
  EXPECT_EQ(CorrectViewerBounds(v, 1280, 1000), QRect(0, 0, 600, 401));
}

TEST(ViewerBounds, PanelSizes)
{
  EXPECT_EQ(CorrectSubWidth(20, 600), 296);
  EXPECT_EQ(CorrectSubWidth(571, 600), 296);
  EXPECT_EQ(CorrectSubWidth(570, 600), 570);
  EXPECT_EQ(CorrectSubWidth(30, 600), 30);
  EXPECT_EQ(CorrectSubHeight(49, 401), 198);
  EXPECT_EQ(CorrectSubHeight(352, 401), 198);
  EXPECT_EQ(CorrectSubHeight(351, 401), 351);
}

TEST_F(SettingsTest, HexadecimalAndGarbageValues)
{
  WriteAll(File(), "[showhints]\r\n5=0x1\r\n1=letters\r\n2=0\r\n3=0X0\r\n4=7\n6=\n[Self]\nWidth=0x300\nLeft=abc\n");
  TSettings s(File());
  s.Load();
  EXPECT_TRUE(s.ShowHint(5));
  EXPECT_TRUE(s.ShowHint(1));  // unreadable: the default
  EXPECT_FALSE(s.ShowHint(2));
  EXPECT_FALSE(s.ShowHint(3));
  EXPECT_TRUE(s.ShowHint(4));
  EXPECT_TRUE(s.ShowHint(6));
  EXPECT_TRUE(s.ShowHint(7));  // missing
  EXPECT_EQ(s.Viewer.Width, 0x300);
  EXPECT_EQ(s.Viewer.Left, -1);
}

TEST_F(SettingsTest, SwitchesSurviveARestartAndOtherKeysAreKept)
{
  WriteAll(File(), "[Self]\r\nLeft=10\r\nWidth=3000\r\n[Path]\r\nCurrent=/home/me/Pictures\r\n[Other]\r\nx=1\r\n");
  {
    TSettings s(File());
    s.Load();
    s.SetShowHint(3, false);
    QString error;
    ASSERT_TRUE(s.Save(error)) << error.toStdString();
  }
  const QByteArray text = ReadAll(File());
  EXPECT_TRUE(text.contains("[ShowHints]\r\n1=1\r\n2=1\r\n3=0\r\n4=1\r\n"));
  // The viewer's keys go back as they were read (no viewer corrected them).
  EXPECT_TRUE(text.contains("Left=10\r\n"));
  EXPECT_TRUE(text.contains("Width=3000\r\n"));
  EXPECT_TRUE(text.contains("Current=/home/me/Pictures\r\n"));
  EXPECT_TRUE(text.contains("[Other]\r\nx=1\r\n"));
  EXPECT_LT(text.indexOf("[Self]"), text.indexOf("[Sub]"));
  EXPECT_LT(text.indexOf("[Sub]"), text.indexOf("[ShowHints]"));

  TSettings again(File());
  again.Load();
  EXPECT_FALSE(again.ShowHint(3));
  EXPECT_TRUE(again.ShowHint(4));
  EXPECT_EQ(again.Viewer.Left, 10);
  EXPECT_EQ(again.Viewer.Width, 3000);
}

TEST_F(SettingsTest, FirstSaveCreatesTheFolder)
{
  const QString file = dir.filePath(QStringLiteral("new/folder/JKTA.ini"));
  TSettings s(file);
  s.Load();
  QString error;
  EXPECT_TRUE(s.Save(error));
  EXPECT_TRUE(ReadAll(file).contains("[ShowHints]"));
}

TEST_F(SettingsTest, RefusedWriteIsReportedWithThePath)
{
  // A regular file where the folder should be: nothing can be written.
  WriteAll(dir.filePath(QStringLiteral("blocker")), "x");
  const QString file = dir.filePath(QStringLiteral("blocker/JKTA.ini"));
  TSettings s(file);
  QString error;
  EXPECT_FALSE(s.Save(error));
  EXPECT_EQ(error, QStringLiteral("Unable to write to %1").arg(file));
}

TEST(HintWindow, CheckBoxTurnsTheSwitchOffAndOnAgain)
{
  QTemporaryDir dir;
  TSettings s(dir.filePath(QStringLiteral("JKTA.ini")));
  TfrmHints hints(s);
  EXPECT_EQ(hints.windowTitle(), QStringLiteral("Hint:"));
  EXPECT_EQ(hints.size(), QSize(348, 235));
  hints.SetHintText(TfrmHints::HintText(3), 3);
  hints.show();
  EXPECT_EQ(hints.Memo()->toPlainText(), QStringLiteral("Click on the editing area to add Text to CD cover."));
  EXPECT_EQ(hints.CheckBox()->text(), QStringLiteral("Don't show this message again"));
  EXPECT_FALSE(hints.CheckBox()->isChecked());
  hints.CheckBox()->click();
  EXPECT_FALSE(s.ShowHint(3));
  hints.CheckBox()->click();
  EXPECT_TRUE(s.ShowHint(3));
  hints.CheckBox()->click();
  hints.hide();
  // Shown again: the box starts unchecked; the switch stays as it was left.
  hints.SetHintText(TfrmHints::HintText(5), 5);
  hints.show();
  EXPECT_FALSE(hints.CheckBox()->isChecked());
  EXPECT_FALSE(s.ShowHint(3));
  EXPECT_TRUE(s.ShowHint(5));
  hints.hide();
}
