// The tracks editor driven like a user: the grid's numbering and tool bar,
// typing and Enter, the restore on Cancel, and track lists arriving from a
// companion program through Tracks.dat.
#include "EditorTestSupport.h"
#include "TestSupport.h"
#include "shell/ShellTestSupport.h"

#include "canvas/CoverDocument.h"
#include "editors/TrackFile.h"
#include "editors/TrackImportControls.h"
#include "editors/TrackImportWorker.h"
#include "editors/formTracksProperty.h"
#include "project/WorkFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QStringList Numbered(int n)
{
  QStringList lines;
  for (int i = 1; i <= n; ++i) lines << QStringLiteral("Song %1|||%2:00").arg(i).arg(i);
  return lines;
}

class TracksEditorTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    doc.AddTracksLayer(40, 140, Numbered(3), QStringLiteral("Times New Roman"), 0xFF0000, 0, true, true, 30, 250,
                       300, taLeft);
    frm = std::make_unique<TfrmTracksProperty>(doc);
    auto update = frm->UpdateTracksLayer;
    frm->UpdateTracksLayer = [this, update](const TTracksValues& v) {
      calls.push_back(v);
      update(v);
    };
    frm->SendTrackRequest = [this] { ++requests; };
  }

  void Open()
  {
    const TTracksLayerInfo t = doc.GetTracksLayer(1);
    frm->LoadTracksLayer(1, t.Left, t.Top, *t.Tracks, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth,
                         t.LineSpace, t.Width, t.Height, t.Alignment);
    Show();
    coverAtOpen = doc.Cover().copy();
  }
  void Show()
  {
    frm->show();
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
  }

  template <typename T> T* Child(const char* name) const
  {
    return frm->findChild<T*>(QString::fromLatin1(name));
  }
  QTableWidget* Grid() const { return frm->Grid(); }
  QStringList Column(int column) const
  {
    QStringList cells;
    for (int row = 0; row < Grid()->rowCount(); ++row) cells << Grid()->item(row, column)->text();
    return cells;
  }
  QStringList Collected() const
  {
    QStringList lines;
    frm->CollectTracks(lines);
    return lines;
  }
  void Tool(const char* name) { QTest::mouseClick(Child<QToolButton>(name), Qt::LeftButton); }
  void Press(const char* button) { QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton); }
  // Clicks a cell, as a user does to start typing in it.
  void ClickCell(int row, int column)
  {
    Grid()->scrollToItem(Grid()->item(row, column));
    const QPoint p = Grid()->visualItemRect(Grid()->item(row, column)).center();
    // What lies there: the cell, or the editor open on it.
    QWidget* target = Grid()->viewport()->childAt(p);
    if (!target) target = Grid()->viewport();
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(Grid()->viewport(), p));
  }
  // The open cell editor.
  QLineEdit* CellEditor() const
  {
    for (QLineEdit* e : Grid()->viewport()->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  }
  void TypeInCell(const QString& text)
  {
    QLineEdit* editor = CellEditor();
    ASSERT_NE(editor, nullptr) << "no cell editor open";
    editor->selectAll();
    QTest::keyClicks(editor, text);
  }
  const TLayer& Layer() const { return *doc.LayerByNumber(1); }

  TCoverDocument doc;
  std::unique_ptr<TfrmTracksProperty> frm;
  std::vector<TTracksValues> calls;
  int requests = 0;
  QImage coverAtOpen;
};

}  // namespace

TEST_F(TracksEditorTest, GridNumberingAndToolBar)
{
  // The default list until a layer is edited; each showing asks the companion.
  EXPECT_EQ(Collected(), QStringList({"Track01|||0:00", "Track02|||0:00", "Track03|||0:00"}));
  frm->FillGrid(Numbered(12));
  Show();
  EXPECT_EQ(requests, 1);
  EXPECT_EQ(Column(0), QStringList({"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12"}));

  // Add: plain number, one blank in name and time.
  Tool("btnAdd");
  ASSERT_EQ(Grid()->rowCount(), 13);
  EXPECT_EQ(Grid()->item(12, 0)->text(), "13");
  EXPECT_EQ(Collected().last(), " ||| ");

  // Delete the row numbered 02: the rows below it move up, numbered plainly.
  ClickCell(1, 1);
  Tool("btnDelete");
  ASSERT_EQ(Grid()->rowCount(), 12);
  EXPECT_EQ(Column(0).mid(0, 4), QStringList({"01", "2", "3", "4"}));
  EXPECT_EQ(Column(0).last(), "12");
  EXPECT_EQ(Collected()[1], "Song 3|||3:00");

  // Down on the last row and Up on the first do nothing; otherwise the track
  // moves and stays selected.
  const QStringList before = Collected();
  ClickCell(11, 1);
  Tool("btnDown");
  EXPECT_EQ(Collected(), before);
  ClickCell(0, 1);
  Tool("btnUp");
  EXPECT_EQ(Collected(), before);
  Tool("btnDown");
  EXPECT_EQ(Collected()[0], "Song 3|||3:00");
  EXPECT_EQ(Collected()[1], "Song 1|||1:00");
  EXPECT_EQ(Grid()->currentRow(), 1);
  EXPECT_EQ(Column(0).mid(0, 2), QStringList({"1", "2"}));
  Tool("btnUp");
  EXPECT_EQ(Collected(), before);

  // The tool bar never reaches the cover by itself.
  EXPECT_TRUE(calls.empty());

  // Deleting in a one-row grid leaves the row as it is.
  frm->FillGrid({QStringLiteral("Only|||1:00")});
  ClickCell(0, 1);
  Tool("btnDelete");
  EXPECT_EQ(Collected(), QStringList({"Only|||1:00"}));
  // An empty list keeps that row too.
  frm->FillGrid({});
  EXPECT_EQ(Collected(), QStringList({"Only|||1:00"}));
}

TEST_F(TracksEditorTest, TypingReachesTheCoverOnEnterClickOrOk)
{
  Open();
  EXPECT_TRUE(calls.empty());
  ClickCell(0, 1);
  TypeInCell(QStringLiteral("Night Falls"));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(Layer().Tracks[0], "Song 1|||1:00");

  QTest::keyClick(CellEditor(), Qt::Key_Return);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Layer().Tracks[0], "Night Falls|||1:00");
  EXPECT_FALSE(SamePixels(doc.Cover(), coverAtOpen));
  EXPECT_TRUE(frm->isVisible());

  // Typed time, then a click on Right Justify: one update with both.
  ClickCell(1, 2);
  TypeInCell(QStringLiteral("4:05"));
  ClickBox(Child<QRadioButton>("rbRight"));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(Layer().Tracks[1], "Song 2|||4:05");
  EXPECT_EQ(Layer().Alignment, taRight);

  // A letter-case change of a name, applied by OK.
  ClickCell(2, 1);
  TypeInCell(QStringLiteral("song 3"));
  Press("btnOk");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(Layer().Tracks[2], "song 3|||3:00");
  EXPECT_EQ(Layer().LineSpace, 30);
  EXPECT_EQ(Layer().BoundWidth, 250);
}

TEST_F(TracksEditorTest, CancelRestoresWithOneCall)
{
  Open();
  Press("btnCancel");
  EXPECT_TRUE(calls.empty());

  Open();
  Tool("btnAdd");
  ClickBox(Child<QCheckBox>("cboxBold"));
  ClickBox(Child<QRadioButton>("rbCenter"));
  ClickBox(Child<QCheckBox>("cboxShadow"));
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(Layer().Tracks.size(), 4);
  Press("btnCancel");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls.back(), frm->Initial());
  EXPECT_EQ(Layer().Tracks, Numbered(3));
  EXPECT_EQ(Layer().Alignment, taLeft);
  EXPECT_TRUE(SamePixels(doc.Cover(), coverAtOpen));
}

TEST_F(TracksEditorTest, TrackFileFromTheCompanion)
{
  QString error;
  ASSERT_TRUE(EnsurePrivateFolder(TemporaryFolderPath(), error)) << error.toStdString();
  const QString path = TrackFilePath();
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Ouverture|||2:10\r\nCaf\xE9 Noir|||3:33\r\n");
  }
  // Taken also while the editor is open on a layer; the layer itself only
  // changes with the next accepted change.
  Open();
  frm->LoadTrackFile(true);
  EXPECT_EQ(Collected(), QStringList({"Ouverture|||2:10", QStringLiteral("Café Noir|||3:33")}));
  EXPECT_EQ(Column(0), QStringList({"01", "02"}));
  EXPECT_TRUE(calls.empty());
  ClickBox(Child<QCheckBox>("cboxItalic"));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Layer().Tracks.size(), 2);
  Press("btnOk");

  // Any other answer gives the default list, even with the file there.
  frm->LoadTrackFile(false);
  EXPECT_EQ(Collected(), QStringList({"Track01|||0:00", "Track02|||0:00", "Track03|||0:00"}));

  // An unreadable file: the error is shown and the grid keeps its content.
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    frm->FillGrid({QStringLiteral("Mine|||1:00")});
    QString shown;
    AcceptNextMessage(shown);
    frm->LoadTrackFile(true);
    EXPECT_EQ(shown, QStringLiteral("Cannot open file \"%1\". Permission denied").arg(path));
    EXPECT_EQ(Collected(), QStringList({"Mine|||1:00"}));
  }

  // No file at all: the default list.
  QFile::remove(path);
  frm->LoadTrackFile(true);
  EXPECT_EQ(Collected().size(), 3);
}

// ---------------------------------------------------------------- importing from the album's files

namespace {

// Picks an entry of the menu that pops up next, as a user does with the keys.
void PickMenuEntry(const QString& text)
{
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, text] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    timer->stop();
    timer->deleteLater();
    for (QAction* a : menu->actions())
      if (a->text() == text) menu->setActiveAction(a);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  timer->start();
}

// Drags these files over the track grid and drops them there.
void DropOnGrid(QTableWidget* grid, const QStringList& files)
{
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& f : files) urls << QUrl::fromLocalFile(f);
  mime.setUrls(urls);
  QWidget* target = grid->viewport();
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  ASSERT_TRUE(enter.isAccepted()) << "the drag was refused";
  QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

}  // namespace

TEST_F(TracksEditorTest, ImportFillsTheGridAndOkPutsTitlesAndTimesOnTheCover)
{
  Open();
  TTrackImportControls* import = frm->ImportControls();
  QSignalSpy imported(import, &TTrackImportControls::Imported);
  PickMenuEntry(QStringLiteral("Cue Sheet or Audio Files..."));
  AnswerNextModal([](QWidget* w) { AnswerFileDialog(w, TestDataPath("cuesheet/utf8_bom_crlf.cue")); });
  QTest::mouseClick(Child<QToolButton>("btnImport"), Qt::LeftButton);
  ASSERT_TRUE(imported.count() > 0 || imported.wait(10000));

  const QStringList lines{QStringLiteral("Erste Stunde|||1:02"), QStringLiteral("Guest Singer - Grüße aus Köln|||1:08"),
                          QStringLiteral("Dritter Satz|||1:10")};
  EXPECT_EQ(Column(0), QStringList({"01", "02", "03"}));
  EXPECT_EQ(Column(2), QStringList({"1:02", "1:08", "1:10"}));
  EXPECT_EQ(Collected(), lines);
  // Previewed at once, like any other accepted change.
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Layer().Tracks, lines);
  EXPECT_FALSE(Child<QFrame>("plAlbumPicture")->isVisible());  // silence with no picture anywhere

  Press("btnOk");
  EXPECT_FALSE(frm->isVisible());
  EXPECT_EQ(Layer().Tracks, lines);
  EXPECT_FALSE(SamePixels(doc.Cover(), coverAtOpen));
}

TEST_F(TracksEditorTest, DroppedFilesImportAndTheAlbumPictureBecomesTheBackground)
{
  Open();
  const TBackgroundInfo backgroundAtOpen = doc.Background();
  QSignalSpy imported(frm->ImportControls(), &TTrackImportControls::Imported);
  // The damaged file is named in one message; the others are imported.
  QString shown;
  AcceptNextMessage(shown);
  DropOnGrid(Grid(), {TestDataPath("audio/mp3.mp3"), TestDataPath("audio/damaged.flac"),
                      TestDataPath("audio/01-flac.flac")});
  ASSERT_TRUE(imported.count() > 0 || imported.wait(10000));
  QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 10000);
  EXPECT_TRUE(shown.contains("damaged.flac")) << shown.toStdString();
  EXPECT_EQ(Collected(), QStringList({QStringLiteral("Erste Stunde|||1:05"),
                                      QStringLiteral("Guest Singer - Second Song|||0:02")}));

  // One click makes the embedded front cover the background.
  QPushButton* use = Child<QPushButton>("btnUseAsBackground");
  ASSERT_TRUE(use->isVisible());
  QTest::mouseClick(use, Qt::LeftButton);
  EXPECT_TRUE(doc.Background().ShowImage);
  EXPECT_EQ(doc.Background().ImageMode, imStretch);
  EXPECT_TRUE(doc.Background().FileName.startsWith(doc.WorkFolder()));
  const uint32_t corner = PixelAt(doc.Cover(), 2, 2);  // the picture is #c03020
  EXPECT_NEAR(int(corner & 0xFF), 0xC0, 8);
  EXPECT_NEAR(int((corner >> 8) & 0xFF), 0x30, 8);
  EXPECT_NEAR(int((corner >> 16) & 0xFF), 0x20, 8);
  EXPECT_FALSE(use->isVisible());

  // Cancel gives back the layer and the background as they were.
  Press("btnCancel");
  EXPECT_EQ(Layer().Tracks, Numbered(3));
  EXPECT_EQ(doc.Background().ShowImage, backgroundAtOpen.ShowImage);
  EXPECT_EQ(doc.Background().FileName, backgroundAtOpen.FileName);
  EXPECT_TRUE(SamePixels(doc.Cover(), coverAtOpen));
}

TEST_F(TracksEditorTest, ImportStoppedFromItsProgressWindowOrByClosingTheEditorChangesNothing)
{
  // A folder of 12000 files takes long enough for the progress window and a
  // click in it, also on a busy machine.
  QTemporaryDir dir;
  const QByteArray source = QFile::encodeName(TestDataPath("audio/01-flac.flac"));
  for (int i = 0; i < 12000; ++i)
    ASSERT_EQ(::link(source.constData(), QFile::encodeName(dir.filePath(QStringLiteral("%1.flac").arg(i))).constData()), 0);
  auto* worker = frm->findChild<TTrackImportWorker*>();
  ASSERT_NE(worker, nullptr);
  QSignalSpy finished(worker, &TTrackImportWorker::Finished);

  Open();
  frm->ImportControls()->SetProgressDelay(0);
  // The progress window appears over the editor; Cancel in it is clicked
  // once it shows, however long the machine takes to get there.
  bool sawProgress = false;
  AnswerModalWhen([](QWidget* w) { return w->objectName() == QLatin1String("frmImportProgress"); },
                  [&sawProgress](QWidget* progress) {
                    sawProgress = true;
                    QTest::mouseClick(progress->findChild<QPushButton*>(QStringLiteral("btnCancelImport")),
                                      Qt::LeftButton);
                  });
  DropOnGrid(Grid(), {dir.path()});
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_TRUE(sawProgress);
  EXPECT_TRUE(finished.first().first().value<TTrackImport>().Stopped);
  EXPECT_EQ(Layer().Tracks, Numbered(3));
  EXPECT_EQ(Collected(), Numbered(3));
  EXPECT_TRUE(calls.empty());

  // Closed while importing: the result is dropped.
  frm->ImportControls()->SetProgressDelay(60000);
  DropOnGrid(Grid(), {dir.path()});
  Press("btnCancel");
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_EQ(Collected(), Numbered(3));
  EXPECT_TRUE(calls.empty());
}
