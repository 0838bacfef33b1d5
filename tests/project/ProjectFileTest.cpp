#include "project/ProjectFile.h"

#include "TestSupport.h"
#include "canvas/CoverDocument.h"
#include "project/IniFile.h"
#include "project/WorkFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QByteArray ReadAll(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

int64_t Int64At(const QByteArray& b, qsizetype at)
{
  uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | uint8_t(b[at + i]);
  return int64_t(u);
}

QByteArray Int64Bytes(int64_t v)
{
  QByteArray out;
  for (int i = 0; i < 8; ++i) out.append(char((uint64_t(v) >> (8 * i)) & 0xFF));
  return out;
}

// A project file put together by hand.
QByteArray MakeProject(const QByteArray& blob, const QByteArray& ini)
{
  return blob + ini + Int64Bytes(blob.size()) + Int64Bytes(ini.size());
}

QStringList LongTrackList()
{
  QStringList tracks;
  for (int i = 1; i <= 60; ++i) tracks << QString("Track number %1 — ü|||%2:%3").arg(i).arg(i % 7).arg(i % 60, 2, 10, QChar('0'));
  return tracks;
}

class ProjectFileTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(m_dir.isValid());
    QDir(m_dir.path()).mkpath("work");
    QDir(m_dir.path()).mkpath("pics");
    m_doc.SetWorkFolder(Path("work"));
    m_doc.NewCover();
  }

  QString Path(const QString& name) const { return m_dir.filePath(name); }

  QString MakePicture(const QString& name, int w, int h, uint32_t seed)
  {
    const QString path = Path("pics/" + name);
    EXPECT_TRUE(RandomBitmap(w, h, seed).save(path, "BMP"));
    return path;
  }

  // Background picture, two picture layers (one resized), three texts and a
  // long track list, then a re-ordering.
  void BuildRichCover()
  {
    m_doc.SetBackground(MakePicture("back.bmp", 60, 40, 1), imTile, 0x123456, 0x654321, false, true);
    m_doc.AddPictureLayer(10, 20, MakePicture("one.bmp", 300, 240, 2), 10, 30, 300, 240);
    m_doc.AddTextLayer(-5, 400, "Plain", "Times New Roman", 0x0000FF, 0, false, true, 200, 100);
    m_doc.AddTextLayer(50, 60, "  Bold italic ", "DejaVu Sans", 0xFF00FF, fsBold | fsItalic, true, false, 300, 80);
    m_doc.AddPictureLayer(200, 100, MakePicture("two.bmp", 600, 450, 3), 0, 0, 600, 450);
    m_doc.UpdatePictureLayer(5, 210, 110, QString(), 25, 5, 120, 90);
    m_doc.AddTextLayer(0, 0, "Under strike", "Liberation Sans", 0x00FF00, fsUnderline | fsStrikeOut, true, true,
                       470, 470);
    m_doc.AddTracksLayer(30, 240, LongTrackList(), "Liberation Serif", 0xFF0000, fsBold, true, true, 30, 250,
                         300, taCenter);
    int n = 3;
    m_doc.MoveLayerUp(n);
    m_doc.SetModified(false);
    n = 1;
    m_doc.MoveLayerUp(n);  // re-ordering alone
    m_doc.Redraw();
  }

  QTemporaryDir m_dir;
  TCoverDocument m_doc;
};

void ExpectSameLayers(const TCoverDocument& a, const TCoverDocument& b)
{
  ASSERT_EQ(a.LayerCount(), b.LayerCount());
  const TBackgroundInfo& ba = a.Background();
  const TBackgroundInfo& bb = b.Background();
  EXPECT_EQ(ba.ImageMode, bb.ImageMode);
  EXPECT_EQ(ba.StartColor, bb.StartColor);
  EXPECT_EQ(ba.EndColor, bb.EndColor);
  EXPECT_EQ(ba.Vertical, bb.Vertical);
  EXPECT_EQ(ba.ShowImage, bb.ShowImage);
  for (int n = 0; n < a.LayerCount(); ++n) {
    SCOPED_TRACE(n);
    const TLayer& x = *a.LayerByNumber(n);
    const TLayer& y = *b.LayerByNumber(n);
    EXPECT_EQ(a.LayerKind(n), b.LayerKind(n));
    EXPECT_EQ(x.Left, y.Left);
    EXPECT_EQ(x.Top, y.Top);
    EXPECT_EQ(x.Width, y.Width);
    EXPECT_EQ(x.Height, y.Height);
    EXPECT_EQ(x.Text, y.Text);
    EXPECT_EQ(x.Tracks, y.Tracks);
    EXPECT_EQ(x.FontName, y.FontName);
    EXPECT_EQ(x.Color, y.Color);
    EXPECT_EQ(x.FontStyles, y.FontStyles);
    EXPECT_EQ(x.Shadow, y.Shadow);
    EXPECT_EQ(x.Smooth, y.Smooth);
    EXPECT_EQ(x.Alignment, y.Alignment);
    EXPECT_EQ(x.SoftV, y.SoftV);
    EXPECT_EQ(x.SoftH, y.SoftH);
    if (n > 0) {
      EXPECT_EQ(x.BoundWidth, y.BoundWidth);
      EXPECT_EQ(x.BoundHeight, y.BoundHeight);
    }
    if (a.LayerKind(n) == lkPicture && n > 0) {
      EXPECT_EQ(x.ActualWidth, y.ActualWidth);
      EXPECT_EQ(x.ActualHeight, y.ActualHeight);
    }
    if (a.LayerKind(n) == lkTracks) {
      EXPECT_EQ(x.LineSpace, y.LineSpace);
    }
    EXPECT_TRUE(SamePixels(x.Picture, y.Picture));
    EXPECT_TRUE(SamePixels(x.Mask, y.Mask));
  }
  EXPECT_TRUE(SamePixels(a.Cover(), b.Cover()));
}

}  // namespace

TEST_F(ProjectFileTest, NewCoverIsWrittenByteForByte)
{
  QString error;
  m_doc.SetModified(true);
  ASSERT_TRUE(SaveProject(m_doc, Path("new.jkp"), error)) << error.toStdString();
  EXPECT_FALSE(m_doc.Modified());
  const QByteArray ini("[Common]\r\nLayerNumber=1\r\n[Layer0]\r\nFileName=\r\nImageMode=Center\r\n"
                       "StartColor=16777215\r\nEndColor=-1\r\nVertical=1\r\nShowImage=0\r\n");
  EXPECT_EQ(ReadAll(Path("new.jkp")), MakeProject(QByteArray(), ini));
  EXPECT_EQ(ReadAll(Path("work/JKTInfo.ctf")), ini);
}

TEST_F(ProjectFileTest, RichCoverSurvivesSaveAndOpen)
{
  BuildRichCover();
  EXPECT_FALSE(m_doc.Modified());
  QString error;
  ASSERT_TRUE(SaveProject(m_doc, Path("rich.jkp"), error)) << error.toStdString();

  // The track list is stored whole, longer than the old 2047-character limit.
  const QByteArray file = ReadAll(Path("rich.jkp"));
  const int64_t s1 = Int64At(file, file.size() - 16), s2 = Int64At(file, file.size() - 8);
  TIniFile ini;
  ini.LoadFromBytes(file.mid(s1, s2));
  const int tracksLayer = m_doc.LayerCount() - 1;
  EXPECT_EQ(m_doc.LayerKind(tracksLayer), lkTracks);
  EXPECT_GT(ini.ReadString(QString("Layer%1").arg(tracksLayer), "Tracks").size(), 2047);
  EXPECT_EQ(ini.ReadString("Layer4", "FontStyles"), "fsBold" "fsItalic");  // after the two moves
  EXPECT_EQ(ini.ReadString("Layer1", "Text"), "Plain");

  TCoverDocument back;
  back.SetWorkFolder(Path("work2"));
  QStringList added;
  back.OnLayerAdded = [&](const QString& kind, const QString&) { added << kind; };
  back.SetModified(true);
  ASSERT_TRUE(LoadProject(back, Path("rich.jkp"), error)) << error.toStdString();
  EXPECT_FALSE(back.Modified());
  EXPECT_FALSE(back.MarksTimerOn());
  EXPECT_EQ(back.SelectedNumber(), -1);
  EXPECT_EQ(added.size(), m_doc.LayerCount() - 1);
  ExpectSameLayers(m_doc, back);
  EXPECT_EQ(back.Background().FileName, Path("work2/Layer0-1.bmp"));
  EXPECT_EQ(back.StoredName(back.Background().FileName), Path("pics/back.bmp"));
  EXPECT_EQ(ReadAll(back.Background().FileName), ReadAll(Path("pics/back.bmp")));

  // Saved again and opened a second time: still the same.
  ASSERT_TRUE(SaveProject(back, Path("rich2.jkp"), error)) << error.toStdString();
  TCoverDocument third;
  third.SetWorkFolder(Path("work3"));
  ASSERT_TRUE(LoadProject(third, Path("rich2.jkp"), error)) << error.toStdString();
  ExpectSameLayers(m_doc, third);
  QImage p1, p3;
  m_doc.RenderPrintImage(p1);
  third.RenderPrintImage(p3);
  EXPECT_TRUE(SamePixels(p1, p3));
}

TEST_F(ProjectFileTest, SameFileEmbeddedThreeTimesBackToBack)
{
  const QString pic = MakePicture("same.bmp", 90, 70, 9);
  const QByteArray bytes = ReadAll(pic);
  m_doc.SetBackground(pic, imCenter, 0xFFFFFF, -1, true, true);
  m_doc.AddPictureLayer(0, 0, pic, 10, 10, 90, 70);
  m_doc.AddPictureLayer(5, 5, pic, 10, 10, 90, 70);
  QString error;
  ASSERT_TRUE(SaveProject(m_doc, Path("three.jkp"), error)) << error.toStdString();

  const QByteArray file = ReadAll(Path("three.jkp"));
  const int64_t s1 = Int64At(file, file.size() - 16), s2 = Int64At(file, file.size() - 8);
  EXPECT_EQ(s1 + s2 + 16, file.size());
  EXPECT_EQ(s1, 3 * bytes.size());
  EXPECT_EQ(file.left(s1), bytes + bytes + bytes);
  EXPECT_EQ(ReadAll(Path("work/JKTImage.ctf")), file.left(s1));
  TIniFile ini;
  ini.LoadFromBytes(file.mid(s1, s2));
  EXPECT_EQ(ini.Sections(), QStringList({"Common", "Layer0", "Layer1", "Layer2"}));
  EXPECT_EQ(ini.Keys("Layer1"), QStringList({"Left", "Top", "FileName", "ImageStart", "ImageEnd", "BoundWidth",
                                             "BoundHeight", "ActualWidth", "ActualHeight", "SoftV", "SoftH"}));
  for (int i = 0; i < 3; ++i) {
    const QString sec = QString("Layer%1").arg(i);
    EXPECT_EQ(ini.ReadString(sec, "FileName"), pic);
    EXPECT_EQ(ini.ReadInteger(sec, "ImageStart", -1), i * bytes.size());
    EXPECT_EQ(ini.ReadInteger(sec, "ImageEnd", -1), (i + 1) * bytes.size());
  }
  TCoverDocument back;
  back.SetWorkFolder(Path("work2"));
  ASSERT_TRUE(LoadProject(back, Path("three.jkp"), error)) << error.toStdString();
  // The three copies are one picture: taken out once and shared.
  EXPECT_EQ(ReadAll(Path("work2/Layer0-1.bmp")), bytes);
  EXPECT_EQ(back.LayerByNumber(1)->FileName, Path("work2/Layer0-1.bmp"));
  EXPECT_EQ(back.LayerByNumber(2)->FileName, Path("work2/Layer0-1.bmp"));
  EXPECT_EQ(back.LayerByNumber(1)->WorkFile, back.LayerByNumber(2)->WorkFile);
  // Saved again, every section embeds it under its original name.
  ASSERT_TRUE(SaveProject(back, Path("three2.jkp"), error)) << error.toStdString();
  const QByteArray again = ReadAll(Path("three2.jkp"));
  EXPECT_EQ(again.left(s1), file.left(s1));
  ini.LoadFromBytes(again.mid(s1, s2));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ini.ReadString(QString("Layer%1").arg(i), "FileName"), pic);
}

TEST_F(ProjectFileTest, TracksAndTextValuesAreWrittenAsStored)
{
  m_doc.AddTracksLayer(1, 2, {"Abcd|||1", "Efgh|||2"}, "F", 0x0000FF, 0, false, false, 30, 250, 300, taRight);
  m_doc.AddTracksLayer(3, 4, {}, "F", 0, 0, false, false, 30, 250, 300, taLeft);
  m_doc.AddTextLayer(5, 6, "Text", "Times New Roman", 0xFFFFFF, fsItalic | fsStrikeOut, true, false, 200, 100);
  QString error;
  ASSERT_TRUE(SaveProject(m_doc, Path("t.jkp"), error));
  const QByteArray file = ReadAll(Path("t.jkp"));
  const QByteArray ini = file.mid(0, file.size() - 16);
  EXPECT_TRUE(ini.contains("[Layer1]\r\nLeft=1\r\nTop=2\r\nTracks=416263647C7C7C310D0A456667687C7C7C320D0A\r\n"
                           "FontName=F\r\nColor=255\r\nFontStyles=\r\nShadow=0\r\nSmooth=0\r\nLineSpace=30\r\n"
                           "BoundWidth=250\r\nBoundHeight=300\r\nAlignment=RightJustify\r\n"));
  EXPECT_FALSE(ini.contains("[Layer2]"));  // an empty track list writes nothing
  EXPECT_TRUE(ini.contains("[Layer3]\r\nLeft=5\r\nTop=6\r\nText=Text\r\nFontName=Times New Roman\r\n"
                           "Color=16777215\r\nFontStyles=fsItalicfsStrikeOut\r\nShadow=1\r\nSmooth=0\r\n"
                           "LineSpace=0\r\nBoundWidth=200\r\nBoundHeight=100\r\n"));
  EXPECT_TRUE(ini.contains("[Common]\r\nLayerNumber=4\r\n"));

  // Opened again, the empty tracks layer is gone and leaves no gap.
  TCoverDocument back;
  back.SetWorkFolder(Path("work2"));
  ASSERT_TRUE(LoadProject(back, Path("t.jkp"), error));
  ASSERT_EQ(back.LayerCount(), 3);
  EXPECT_EQ(back.LayerByNumber(2)->Text, "Text");
}

TEST_F(ProjectFileTest, VanishedSourcePictureIsSavedFromItsWorkCopy)
{
  const QString pic = MakePicture("gone.bmp", 210, 150, 4);
  m_doc.AddPictureLayer(30, 40, pic, 20, 20, 210, 150);
  const QString workCopy = m_doc.LayerByNumber(1)->WorkFile;
  ASSERT_TRUE(QFile::remove(pic));
  QString error;
  ASSERT_TRUE(SaveProject(m_doc, Path("gone.jkp"), error)) << error.toStdString();
  const QByteArray file = ReadAll(Path("gone.jkp"));
  EXPECT_TRUE(file.startsWith(ReadAll(workCopy)));

  TCoverDocument back;
  back.SetWorkFolder(Path("work2"));
  ASSERT_TRUE(LoadProject(back, Path("gone.jkp"), error)) << error.toStdString();
  ASSERT_EQ(back.LayerCount(), 2);
  EXPECT_EQ(back.LayerKind(1), lkPicture);
  ExpectSameLayers(m_doc, back);
}

TEST_F(ProjectFileTest, LayerCountZeroKeepsTheBackground)
{
  m_doc.SetBackground(QString(), imCenter, 0x00FF00, 0x0000FF, true, false);
  m_doc.AddTextLayer(1, 1, "Old", "F", 0, 0, false, false, 100, 50);
  m_doc.SelectLayer(1);
  int events = 0;
  m_doc.OnSelectLayer = [&](int) { ++events; };
  WriteAll(Path("zero.jkp"), MakeProject({}, "[Common]\r\nLayerNumber=0\r\n"));
  QString error;
  ASSERT_TRUE(LoadProject(m_doc, Path("zero.jkp"), error)) << error.toStdString();
  EXPECT_EQ(m_doc.LayerCount(), 1);
  EXPECT_EQ(m_doc.SelectedNumber(), -1);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(m_doc.Background().StartColor, 0x00FF00u);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 235, 0), 0x00FF00u);
}

TEST_F(ProjectFileTest, WindowsProjectOpens)
{
  QString error;
  ASSERT_TRUE(LoadProject(m_doc, TestDataPath("project/windows.jkp"), error)) << error.toStdString();
  ASSERT_EQ(m_doc.LayerCount(), 4);
  const TBackgroundInfo& bg = m_doc.Background();
  EXPECT_EQ(bg.FileName, Path("work/Layer0-1.bmp"));
  EXPECT_EQ(bg.ImageMode, imStretch);
  EXPECT_EQ(bg.EndColor, -1);
  EXPECT_TRUE(bg.ShowImage);

  const TLayer& pic = *m_doc.LayerByNumber(1);
  EXPECT_EQ(m_doc.LayerKind(1), lkPicture);
  EXPECT_EQ(pic.FileName, Path("work/Layer1-1.bmp"));
  EXPECT_EQ(PathNamePart(m_doc.StoredName(pic.FileName)), QString::fromUtf8("Blüte.bmp"));
  EXPECT_EQ(pic.Left, 12);
  EXPECT_EQ(pic.SoftV, 15);
  EXPECT_EQ(ReadAll(pic.FileName), ReadAll(TestDataPath("project/flower.bmp")));

  const TLayer& text = *m_doc.LayerByNumber(2);
  EXPECT_EQ(text.Text, QString::fromUtf8("Café Olé – „Grüße“ €5"));
  EXPECT_EQ(text.FontName, "Arial");
  EXPECT_EQ(text.FontStyles, fsBold | fsItalic);  // stored as "fsItalicfsBold"
  EXPECT_EQ(text.Color, 255u);

  const TLayer& tracks = *m_doc.LayerByNumber(3);
  EXPECT_EQ(tracks.Tracks, QStringList({QString::fromUtf8("Ständchen|||3:45"), "Nuit blanche|||4:02"}));
  EXPECT_EQ(tracks.Alignment, taCenter);  // stored as "center"
  EXPECT_EQ(tracks.LineSpace, 30);
  // Everything taken out of the file went into the work folder.
  const QStringList written = QDir(Path("work")).entryList(QDir::Files);
  EXPECT_TRUE(written.contains("Layer1-1.bmp"));
  for (const QString& f : written)
    EXPECT_TRUE(f.startsWith("Layer") || f.startsWith("JKT") || f.front().isDigit()) << f.toStdString();
}

TEST_F(ProjectFileTest, DamagedFilesLeaveTheDocumentAsItWas)
{
  m_doc.SetBackground(QString(), imCenter, 0x336699, -1, true, false);
  m_doc.AddTextLayer(10, 10, "Keep me", "F", 0x0000FF, 0, false, false, 200, 100);
  m_doc.SelectLayer(1);
  m_doc.SetModified(true);
  const QImage cover = m_doc.Cover().copy();

  const QByteArray pic = ReadAll(MakePicture("p.bmp", 20, 20, 5));
  auto section = [](const QByteArray& keys) {
    return QByteArray("[Common]\r\nLayerNumber=2\r\n[Layer0]\r\nFileName=\r\n[Layer1]\r\n") + keys;
  };
  struct TCase {
    const char* Name;
    QByteArray File;
  };
  const QByteArray good = section("FileName=C:\\x\\p.bmp\r\nImageStart=0\r\nImageEnd=" +
                                  QByteArray::number(pic.size()) + "\r\n");
  QByteArray s1Huge = MakeProject(pic, good);
  s1Huge.replace(s1Huge.size() - 16, 8, Int64Bytes(int64_t(1) << 62));
  QByteArray s2Negative = MakeProject(pic, good);
  s2Negative.replace(s2Negative.size() - 8, 8, Int64Bytes(-5));
  const std::vector<TCase> cases = {
      {"empty", QByteArray()},
      {"too short", QByteArray("[Common]\r\n")},
      {"S1 beyond the file", s1Huge},
      {"S2 negative", s2Negative},
      {"foreign", QByteArray(4000, 'x')},
      {"no layer count", MakeProject({}, "[Layer0]\r\nFileName=\r\n")},
      {"negative layer count", MakeProject({}, "[Common]\r\nLayerNumber=-3\r\n")},
      {"absurd layer count", MakeProject({}, "[Common]\r\nLayerNumber=2000000000\r\n")},
      {"range past the blob", MakeProject(pic, section("FileName=p.bmp\r\nImageStart=0\r\nImageEnd=" +
                                                       QByteArray::number(pic.size() + 1) + "\r\n"))},
      {"range reversed", MakeProject(pic, section("FileName=p.bmp\r\nImageStart=10\r\nImageEnd=5\r\n"))},
      {"range negative", MakeProject(pic, section("FileName=p.bmp\r\nImageStart=-7\r\nImageEnd=5\r\n"))},
      {"odd hexadecimal", MakeProject({}, section("Tracks=414\r\n"))},
      {"not hexadecimal", MakeProject({}, section("Tracks=41ZZ\r\n"))},
      {"name is a folder", MakeProject(pic, section("FileName=C:\\pics\\\r\nImageStart=0\r\nImageEnd=4\r\n"))},
      {"name is dot dot", MakeProject(pic, section("FileName=../..\r\nImageStart=0\r\nImageEnd=4\r\n"))},
      {"position overflow", MakeProject({}, section("Text=a\r\nLeft=2147483647\r\n"))},
      {"picture box overflow", MakeProject(pic, section("FileName=p.bmp\r\nBoundWidth=2000000000\r\n"))},
  };
  int selects = 0, adds = 0;
  m_doc.OnSelectLayer = [&](int) { ++selects; };
  m_doc.OnLayerAdded = [&](const QString&, const QString&) { ++adds; };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteAll(Path("bad.jkp"), c.File);
    QString error;
    EXPECT_FALSE(LoadProject(m_doc, Path("bad.jkp"), error));
    EXPECT_TRUE(error.contains("not a valid Jacketeer project")) << error.toStdString();
    ASSERT_EQ(m_doc.LayerCount(), 2);
    EXPECT_EQ(m_doc.LayerByNumber(1)->Text, "Keep me");
    EXPECT_EQ(m_doc.SelectedNumber(), 1);
    EXPECT_TRUE(m_doc.Modified());
    EXPECT_EQ(m_doc.Background().StartColor, 0x336699u);
    EXPECT_TRUE(SamePixels(m_doc.Cover(), cover));
  }
  EXPECT_EQ(selects + adds, 0);
  EXPECT_TRUE(QDir(Path("work")).entryList({"Layer*"}, QDir::Files).isEmpty());

  // The well-formed variant opens, with the Windows path reduced to its name.
  WriteAll(Path("good.jkp"), MakeProject(pic, good));
  QString error;
  ASSERT_TRUE(LoadProject(m_doc, Path("good.jkp"), error)) << error.toStdString();
  EXPECT_EQ(m_doc.LayerByNumber(1)->FileName, Path("work/Layer1-1.bmp"));
  EXPECT_EQ(ReadAll(Path("work/Layer1-1.bmp")), pic);

  // A missing file is reported as such.
  EXPECT_FALSE(LoadProject(m_doc, Path("missing.jkp"), error));
  EXPECT_TRUE(error.contains("missing.jkp"));
}

TEST_F(ProjectFileTest, PathsInTheFileNeverLeaveTheWorkFolder)
{
  const QByteArray pic = ReadAll(MakePicture("p.bmp", 8, 8, 6));
  const QByteArray n = QByteArray::number(pic.size());
  const QByteArray ini = "[Common]\r\nLayerNumber=3\r\n[Layer0]\r\nFileName=\r\n"
                         "[Layer1]\r\nFileName=..\\..\\escaped.bmp\r\nImageStart=0\r\nImageEnd=" + n + "\r\n"
                         "[Layer2]\r\nFileName=/tmp/../../" + QFile::encodeName(m_dir.path()) +
                         "/escaped2.bmp\r\nImageStart=0\r\nImageEnd=" + n + "\r\n";
  WriteAll(Path("esc.jkp"), MakeProject(pic, ini));
  QString error;
  ASSERT_TRUE(LoadProject(m_doc, Path("esc.jkp"), error)) << error.toStdString();
  EXPECT_TRUE(QFileInfo::exists(Path("work/Layer1-1.bmp")));
  EXPECT_EQ(m_doc.LayerByNumber(2)->FileName, Path("work/Layer1-1.bmp"));  // the same picture, taken out once
  EXPECT_FALSE(QFileInfo::exists(Path("escaped.bmp")));
  EXPECT_FALSE(QFileInfo::exists(Path("escaped2.bmp")));
  EXPECT_FALSE(QFileInfo::exists(Path("work/../escaped.bmp")));
}

TEST_F(ProjectFileTest, UnwritableWorkFolderLeavesTheDocumentAsItWas)
{
  const QString pic = MakePicture("w.bmp", 30, 30, 8);
  m_doc.SetBackground(pic, imStretch, 0, -1, true, true);
  QString error;
  ASSERT_TRUE(SaveProject(m_doc, Path("w.jkp"), error));
  m_doc.NewCover();
  m_doc.AddTextLayer(1, 1, "Still here", "F", 0, 0, false, false, 100, 50);
  WriteAll(Path("plainfile"), "x");
  m_doc.SetWorkFolder(Path("plainfile/work"));  // can never be created
  EXPECT_FALSE(LoadProject(m_doc, Path("w.jkp"), error));
  EXPECT_TRUE(error.contains("work folder")) << error.toStdString();
  ASSERT_EQ(m_doc.LayerCount(), 2);
  EXPECT_EQ(m_doc.LayerByNumber(1)->Text, "Still here");
  EXPECT_TRUE(m_doc.Background().FileName.isEmpty());
}

TEST_F(ProjectFileTest, PicturesWhoseNamesMeetAreKeptApart)
{
  const QByteArray a = ReadAll(MakePicture("a.bmp", 8, 8, 1)), b = ReadAll(MakePicture("b.bmp", 8, 8, 2));
  QByteArray ini = "[Common]\r\nLayerNumber=13\r\n[Layer0]\r\nFileName=\r\n"
                   "[Layer1]\r\nFileName=C:\\2x.bmp\r\nImageStart=0\r\nImageEnd=" + QByteArray::number(a.size()) +
                   "\r\n[Layer12]\r\nFileName=C:\\x.bmp\r\nImageStart=" + QByteArray::number(a.size()) +
                   "\r\nImageEnd=" + QByteArray::number(a.size() + b.size()) + "\r\n";
  WriteAll(Path("meet.jkp"), MakeProject(a + b, ini));
  QString error;
  ASSERT_TRUE(LoadProject(m_doc, Path("meet.jkp"), error)) << error.toStdString();
  ASSERT_EQ(m_doc.LayerCount(), 3);
  EXPECT_EQ(ReadAll(m_doc.LayerByNumber(1)->FileName), a);
  EXPECT_EQ(ReadAll(m_doc.LayerByNumber(2)->FileName), b);
  EXPECT_EQ(m_doc.LayerByNumber(2)->FileName, Path("work/Layer12-1.bmp"));
}

// A picture stored under a name without a picture extension (as some
// projects written on Windows carry) is written out under the extension
// its bytes give, so the loader reads it; it was refused as "not a picture".
TEST_F(ProjectFileTest, StoredNamesWithoutAPictureExtensionAreReadByContent)
{
  QFile png(TestDataPath("png/lib_im_rgb8.png"));
  ASSERT_TRUE(png.open(QIODevice::ReadOnly));
  const QByteArray a = png.readAll();
  QByteArray ini = "[Common]\r\nLayerNumber=2\r\n[Layer0]\r\nFileName=\r\n"
                   "[Layer1]\r\nFileName=C:\\Scans\\cover\r\nLeft=0\r\nTop=0\r\nWidth=64\r\nHeight=48\r\n"
                   "ImageStart=0\r\nImageEnd=" + QByteArray::number(a.size()) + "\r\n";
  WriteAll(Path("noext.jkp"), MakeProject(a, ini));
  QString error;
  ASSERT_TRUE(LoadProject(m_doc, Path("noext.jkp"), error)) << error.toStdString();
  ASSERT_EQ(m_doc.LayerCount(), 2);
  const TLayer* layer = m_doc.LayerByNumber(1);
  EXPECT_TRUE(layer->FileName.endsWith("/Layer1-1.png")) << layer->FileName.toStdString();
  EXPECT_FALSE(layer->Picture.isNull());
}

TEST_F(ProjectFileTest, FailedSaveKeepsTheOldFile)
{
  m_doc.AddTextLayer(1, 1, "First", "F", 0, 0, false, false, 100, 50);
  QString error;
  ASSERT_TRUE(SaveProject(m_doc, Path("keep.jkp"), error));
  const QByteArray before = ReadAll(Path("keep.jkp"));

  // The picture can not be read: nothing is written, the old file stays.
  const QString pic = MakePicture("unreadable.bmp", 30, 30, 7);
  m_doc.AddPictureLayer(0, 0, pic, 0, 0, 30, 30);
  QFile::remove(pic);
  QDir().mkpath(pic);  // a folder where the picture was: it exists but can not be read as a file
  QFile::remove(m_doc.LayerByNumber(2)->WorkFile);
  m_doc.SetModified(true);
  EXPECT_TRUE(SaveProject(m_doc, Path("keep.jkp"), error));  // the layer is left out, the rest is saved
  TCoverDocument back;
  back.SetWorkFolder(Path("work2"));
  ASSERT_TRUE(LoadProject(back, Path("keep.jkp"), error));
  EXPECT_EQ(back.LayerCount(), 2);

  WriteAll(Path("keep.jkp"), before);
  m_doc.SetModified(true);
  EXPECT_FALSE(SaveProject(m_doc, Path("no/such/folder/keep.jkp"), error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_TRUE(m_doc.Modified());
  EXPECT_EQ(ReadAll(Path("keep.jkp")), before);
  EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"keep.jkp"}));
}

TEST(ProjectValues, NamesAndTexts)
{
  EXPECT_EQ(FontStylesText(fsBold | fsItalic | fsUnderline | fsStrikeOut), "fsBoldfsItalicfsUnderlinefsStrikeOut");
  EXPECT_EQ(FontStylesFromText("fsStrikeOutfsBold"), fsBold | fsStrikeOut);
  EXPECT_EQ(FontStylesFromText("fsbold"), 0);
  EXPECT_EQ(AlignmentFromText("RIGHTJUSTIFY"), taRight);
  EXPECT_EQ(AlignmentFromText("middle"), taLeft);
  EXPECT_EQ(ImageModeFromText("Tile"), imTile);
  EXPECT_EQ(ImageModeFromText("tile"), imCenter);
  EXPECT_EQ(PathNamePart("C:\\a/b\\c.jpg"), "c.jpg");
  QStringList lines;
  ASSERT_TRUE(TracksFromHex("610D0A0D0A620D630A", lines));
  EXPECT_EQ(lines, QStringList({"a", "", "b", "c"}));
  ASSERT_TRUE(TracksFromHex("", lines));
  EXPECT_TRUE(lines.isEmpty());
  EXPECT_EQ(TracksToHex({"Abcdefgh", "12345678"}).size(), 40);
}

// Open A, then a project B whose layers can not be made once its pictures
// are out (its work copies can not be written): A's cover, layers and files
// stay exactly as they were, and saving A embeds A's picture.
TEST_F(ProjectFileTest, FailedOpenLeavesTheOpenProjectAndItsFilesAlone)
{
  const QString picA = MakePicture("one.bmp", 300, 240, 2);
  m_doc.AddPictureLayer(10, 20, picA, 10, 10, 300, 240);
  QString error;
  ASSERT_TRUE(SaveProject(m_doc, Path("a.jkp"), error)) << error.toStdString();
  ASSERT_TRUE(LoadProject(m_doc, Path("a.jkp"), error)) << error.toStdString();
  const QImage cover = m_doc.Cover().copy();
  auto snapshot = [&] {
    QMap<QString, QByteArray> files;
    for (const QString& f : QDir(Path("work")).entryList(QDir::Files | QDir::Hidden))
      if (!f.startsWith("JKT")) files.insert(f, ReadAll(Path("work/" + f)));
    return files;
  };
  const auto before = snapshot();

  // B stores a picture of the same name; its work copy would be 600 × 600.
  const QByteArray picB = ReadAll(MakePicture("b.bmp", 20, 20, 9));
  const QByteArray ini = "[Common]\r\nLayerNumber=2\r\n[Layer0]\r\nFileName=\r\n[Layer1]\r\nFileName=C:\\x\\one.bmp"
                         "\r\nImageStart=0\r\nImageEnd=" + QByteArray::number(picB.size()) +
                         "\r\nActualWidth=600\r\nActualHeight=600\r\nBoundWidth=200\r\nBoundHeight=200\r\n";
  WriteAll(Path("b.jkp"), MakeProject(picB, ini));
  int events = 0;
  m_doc.OnLayerAdded = [&](const QString&, const QString&) { ++events; };
  {
    // Files may grow to 100 KB: the picture goes out, its work copy can not.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_FALSE(LoadProject(m_doc, Path("b.jkp"), error));
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
  }
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(events, 0);
  ASSERT_EQ(m_doc.LayerCount(), 2);
  EXPECT_TRUE(SamePixels(m_doc.Cover(), cover));
  EXPECT_EQ(snapshot(), before);

  ASSERT_TRUE(SaveProject(m_doc, Path("a2.jkp"), error)) << error.toStdString();
  EXPECT_TRUE(ReadAll(Path("a2.jkp")).startsWith(ReadAll(picA)));
}

// Links planted in a work folder that existed before (left by an earlier run,
// or once open to others): the folder is emptied at start, and links planted
// later under the names the program writes are never followed.
TEST_F(ProjectFileTest, LinksPlantedInTheWorkFolderAreNeverWrittenThrough)
{
  QString work, error;
  ASSERT_TRUE(EnsurePrivateFolder(TemporaryFolderPath(), error)) << error.toStdString();
  ASSERT_TRUE(EnsurePrivateFolder(WorkFolderPath(), error)) << error.toStdString();
  QDir().mkpath(Path("outside"));
  auto plant = [&](const QString& name) {
    const QString target = Path("outside/" + name);
    QFile::link(target, WorkFolderPath() + '/' + name);
  };
  plant("JKTInfo.ctf");
  ASSERT_TRUE(CreateWorkFolder(work, error)) << error.toStdString();
  EXPECT_TRUE(QDir(work).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

  // Planted while the program runs: the scratch parts, the next work copies
  // and the names pictures of an opened project could take.
  for (const char* name : {"JKTInfo.ctf", "JKTImage.ctf", "Layer0-1.bmp", "Layer1-1.bmp", "Layer1-2.bmp"})
    plant(name);
  TCoverDocument probe;
  probe.SetWorkFolder(work);
  const qint64 tick = QFileInfo(probe.NewWorkFileName()).baseName().toLongLong();
  for (qint64 t = tick + 1; t < tick + 3000; ++t) plant(QString::number(t) + ".bmp");

  TCoverDocument doc;
  doc.SetWorkFolder(work);
  doc.NewCover();
  const QString pic = MakePicture("p.bmp", 120, 90, 4);
  doc.SetBackground(pic, imStretch, 0, -1, true, true);
  doc.AddPictureLayer(5, 5, pic, 10, 10, 120, 90);
  doc.AddPictureLayer(50, 50, pic, 10, 10, 120, 90);
  ASSERT_TRUE(SaveProject(doc, Path("l.jkp"), error)) << error.toStdString();
  ASSERT_TRUE(LoadProject(doc, Path("l.jkp"), error)) << error.toStdString();
  ASSERT_EQ(doc.LayerCount(), 3);
  EXPECT_FALSE(doc.LayerByNumber(1)->Picture.isNull());
  EXPECT_TRUE(QDir(Path("outside")).entryList(QDir::Files).isEmpty());
  for (int n = 1; n <= 2; ++n) EXPECT_FALSE(QFileInfo(doc.LayerByNumber(n)->WorkFile).isSymLink());
  EXPECT_FALSE(QFileInfo(work + "/JKTInfo.ctf").isSymLink());
  RemoveFolderTree(TemporaryFolderPath());
}

// A project that is a FIFO, a folder or a device is refused at once as not a
// project; a picture layer whose picture is a FIFO is made blank at once.
TEST_F(ProjectFileTest, ProjectThatIsNotARegularFileIsRefusedAtOnce)
{
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("fifo.jkp")).constData(), 0600), 0);
  QDir().mkpath(Path("folder.jkp"));
  m_doc.AddTextLayer(1, 1, "Keep", "F", 0, 0, false, false, 100, 50);
  for (const QString& path : {Path("fifo.jkp"), Path("folder.jkp"), QString("/dev/zero")}) {
    SCOPED_TRACE(path.toStdString());
    QString error;
    EXPECT_FALSE(LoadProject(m_doc, path, error));
    EXPECT_TRUE(error.contains("not a valid Jacketeer project")) << error.toStdString();
    EXPECT_EQ(m_doc.LayerCount(), 2);
  }
  ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pic.bmp")).constData(), 0600), 0);
  QString problem;
  EXPECT_TRUE(m_doc.AddPictureLayer(0, 0, Path("pic.bmp"), 0, 0, 100, 100, &problem));
  EXPECT_TRUE(problem.contains("pic.bmp")) << problem.toStdString();
  EXPECT_EQ(m_doc.LayerCount(), 3);
}

// A stored name of 254 bytes of UTF-8: the picture is taken out under a short
// name of our own, and saving again stores the original name.
TEST_F(ProjectFileTest, LongStoredNamesRoundTrip)
{
  const QByteArray pic = ReadAll(MakePicture("p.bmp", 40, 30, 3));
  QString greek;
  while (greek.toUtf8().size() < 250) greek += QChar(char16_t(0x03B1 + greek.size() % 20));
  const QString name = greek + ".bmp";
  ASSERT_EQ(name.toUtf8().size(), 254);
  const QByteArray ini = "[Common]\r\nLayerNumber=2\r\n[Layer0]\r\nFileName=\r\n[Layer1]\r\nFileName=C:\\Bilder\\" +
                         name.toUtf8() + "\r\nImageStart=0\r\nImageEnd=" + QByteArray::number(pic.size()) +
                         "\r\nBoundWidth=40\r\nBoundHeight=30\r\nActualWidth=40\r\nActualHeight=30\r\n";
  WriteAll(Path("long.jkp"), MakeProject(pic, ini));
  QString error;
  QStringList warnings, captions;
  m_doc.OnLayerAdded = [&](const QString&, const QString& caption) { captions << caption; };
  ASSERT_TRUE(LoadProject(m_doc, Path("long.jkp"), error, &warnings)) << error.toStdString();
  EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
  EXPECT_EQ(captions, QStringList({name}));
  EXPECT_FALSE(SamePixels(m_doc.LayerByNumber(1)->Picture, NewBitmap(40, 30)));  // the picture was read
  ASSERT_TRUE(SaveProject(m_doc, Path("long2.jkp"), error)) << error.toStdString();
  const QByteArray file = ReadAll(Path("long2.jkp"));
  const int64_t s1 = Int64At(file, file.size() - 16), s2 = Int64At(file, file.size() - 8);
  TIniFile saved;
  saved.LoadFromBytes(file.mid(s1, s2));
  EXPECT_EQ(saved.ReadString("Layer1", "FileName"), "C:\\Bilder\\" + name);
  EXPECT_EQ(file.left(s1), pic);
}
