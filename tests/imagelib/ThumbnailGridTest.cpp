// The thumbnail grid driven like a user, with QTest mouse and key events on
// the real widget, and its worker on real folders: geometry, selection,
// rubber band, names cut with "...", refresh, damaged and vanishing files,
// odd names, large folders, trash and drops.
#include "../shell/ShellTestSupport.h"
#include "TestSupport.h"
#include "imagelib/ImageLoader.h"
#include "imagelib/Thumbnailer.h"
#include "imagelib/TypeIcons.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace ThumbLayout;

class ThumbnailGridTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(dir.isValid());
    folder = dir.path() + "/";
  }

  // A shown grid whose paint box is `columns` cells wide (with room for the
  // scroll bar) and `height` pixels high.
  TThumbnail& MakeGrid(int columns, int height)
  {
    grid = std::make_unique<TThumbnail>();
    grid->resize(columns * ColumnPitch + 40 + 2, height + 2);
    grid->show();
    return *grid;
  }

  // Pictures pic000.bmp … of w × h in the folder.
  void MakePictures(int count, int w = 60, int h = 40)
  {
    for (int i = 0; i < count; ++i)
      ASSERT_TRUE(RandomBitmap(w, h, uint32_t(i)).save(folder + QStringLiteral("pic%1.bmp").arg(i, 3, 10, QLatin1Char('0')), "BMP"));
  }

  // Runs the event loop until the worker has ended and OnIdle was raised.
  bool WaitIdle(int ms = 120000)
  {
    if (!grid->Running()) return true;
    QEventLoop loop;
    bool idle = false;
    grid->OnIdle = [&] {
      idle = true;
      loop.quit();
    };
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    grid->OnIdle = nullptr;
    return idle;
  }

  void Show(int count, int columns = 4, int height = 700)
  {
    MakePictures(count);
    MakeGrid(columns, height).SetFolder(folder);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(grid->Count(), count);
  }

  QWidget* box() const { return grid->PaintBox(); }
  QPoint CellCentre(int i) const { return grid->CellRect(i).center(); }
  void ClickAt(QPoint p, Qt::KeyboardModifiers mods = Qt::NoModifier)
  {
    QTest::mouseClick(box(), Qt::LeftButton, mods, p);
  }
  void ClickItem(int i, Qt::KeyboardModifiers mods = Qt::NoModifier) { ClickAt(CellCentre(i), mods); }
  // A move with the left button held and keys down (QTest moves carry no keys).
  void MoveWith(Qt::KeyboardModifiers mods, QPoint p)
  {
    QMouseEvent e(QEvent::MouseMove, QPointF(p), QPointF(box()->mapToGlobal(p)), Qt::NoButton, Qt::LeftButton, mods);
    QApplication::sendEvent(box(), &e);
  }

  std::vector<int> Selected() const
  {
    std::vector<int> s;
    for (int i = 0; i < grid->Count(); ++i)
      if (grid->Item(i).Selected) s.push_back(i);
    return s;
  }

  QTemporaryDir dir;
  QString folder;
  std::unique_ptr<TThumbnail> grid;
};

TEST_F(ThumbnailGridTest, GeometryRowsHitTestAndScrolling)
{
  Show(10, 4, 400);
  int idle = 0;
  grid->OnIdle = [&] { ++idle; };
  grid->SetFolder(dir.path());  // the shown folder, without its separator: nothing to do
  EXPECT_FALSE(grid->Running());
  EXPECT_EQ(idle, 1);
  grid->OnIdle = nullptr;
  EXPECT_EQ(grid->Columns(), 4);
  EXPECT_EQ(grid->Rows(), 3);  // 10 items in 4 columns

  // Item 5: column 1, row 1.
  EXPECT_EQ(grid->CellRect(5), QRect(ColumnPitch + Gap, RowPitch + Gap, CellWidth, CellHeight));
  EXPECT_EQ(grid->ItemAt(QPoint(ColumnPitch + Gap, RowPitch + Gap)), 5);              // top-left pixel
  EXPECT_EQ(grid->ItemAt(QPoint(2 * ColumnPitch, 2 * RowPitch)), 5);                  // bottom-right pixel
  EXPECT_EQ(grid->ItemAt(QPoint(ColumnPitch + Gap - 1, RowPitch + 50)), -1);          // gap left of it
  EXPECT_EQ(grid->ItemAt(QPoint(ColumnPitch + 50, RowPitch + Gap - 1)), -1);          // gap above it
  EXPECT_EQ(grid->ItemAt(QPoint(4 * ColumnPitch + 20, 50)), -1);                      // right of the last column
  EXPECT_EQ(grid->ItemAt(QPoint(3 * ColumnPitch + 50, 2 * RowPitch + 50)), -1);       // past the last item

  // 3 rows need 495 pixels: the bar is shown, and the largest position
  // brings the last row's bottom to the last pixel row.
  ASSERT_TRUE(grid->ScrollBar()->isVisible());
  EXPECT_EQ(grid->ScrollBar()->maximum(), 3 * RowPitch - box()->height() + 1);
  grid->ScrollIntoView(9);
  EXPECT_EQ(grid->ScrollY(), -grid->ScrollBar()->maximum());
  EXPECT_LT(grid->CellRect(9).bottom(), box()->height());
  EXPECT_EQ(grid->FirstVisible(), 0);
  EXPECT_EQ(grid->LastVisible(), 11);
  EXPECT_EQ(grid->ItemAt(CellCentre(9)), 9);
  grid->ScrollIntoView(0);
  EXPECT_EQ(grid->ScrollY(), 0);

  // Eight items make two rows; a grid narrower than one cell still has a column.
  QFile::remove(folder + "pic008.bmp");
  QFile::remove(folder + "pic009.bmp");
  grid->Refresh();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(grid->Rows(), 2);
  grid->resize(100, 400);
  EXPECT_EQ(grid->Columns(), 1);
  EXPECT_EQ(grid->Rows(), 8);
  EXPECT_EQ(grid->ItemAt(QPoint(50, RowPitch + 50)), 1);
}

TEST_F(ThumbnailGridTest, ClickCtrlShiftSelection)
{
  Show(12);
  int reported = -1;
  grid->OnSelectionDone = [&](int index, int count) {
    EXPECT_EQ(index, -1);
    reported = count;
  };

  ClickItem(3);
  EXPECT_EQ(Selected(), std::vector<int>({3}));
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(grid->Anchor(), 3);
  EXPECT_EQ(grid->Focused(), 3);

  // Anchor in column 3 of row 0, Shift-click on column 1 of row 2: the nine
  // cells of columns 1 to 3 in rows 0 to 2, not the indices between.
  ClickItem(9, Qt::ShiftModifier);
  EXPECT_EQ(Selected(), std::vector<int>({1, 2, 3, 5, 6, 7, 9, 10, 11}));
  EXPECT_EQ(grid->Anchor(), 3);

  ClickItem(6, Qt::ControlModifier);  // toggled off, becomes the anchor
  EXPECT_EQ(Selected(), std::vector<int>({1, 2, 3, 5, 7, 9, 10, 11}));
  EXPECT_EQ(grid->Anchor(), 6);

  // Ctrl+Shift: the block takes the anchor's state (off); the clicked item is on.
  ClickItem(1, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Selected(), std::vector<int>({1, 3, 7, 9, 10, 11}));

  // Ctrl or Shift on empty space change nothing; a plain click there clears.
  const QPoint gap(CellCentre(0).x(), RowPitch + Gap / 2);
  ClickAt(gap, Qt::ControlModifier);
  ClickAt(gap, Qt::ShiftModifier);
  EXPECT_EQ(Selected().size(), 6u);
  ClickAt(gap);
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(reported, 0);
}

TEST_F(ThumbnailGridTest, RubberBandBlocksGapsAndAutoScroll)
{
  Show(10, 4, 400);  // rows 0 … 2, row 2 holds items 8 and 9

  // From the gap above row 0 down into the gap above row 2: rows 0 and 1
  // of columns 1 and 2; the row whose gap the edge ends in is left out.
  const QPoint start(ColumnPitch + 30, 3);
  QTest::mousePress(box(), Qt::LeftButton, Qt::NoModifier, start);
  QTest::mouseMove(box(), QPoint(2 * ColumnPitch + 30, 2 * RowPitch + 4));
  EXPECT_EQ(Selected(), std::vector<int>({1, 2, 5, 6}));
  EXPECT_TRUE(grid->AutoScrollTimer().isActive());

  // Below the box: the band covers down to the last row, and the timer
  // scrolls by half a row each tick while the pointer stays below.
  QSignalSpy ticks(&grid->AutoScrollTimer(), &QTimer::timeout);
  QTest::mouseMove(box(), QPoint(2 * ColumnPitch + 30, box()->height() + 40));
  ASSERT_TRUE(ticks.wait(2000));
  EXPECT_EQ(grid->ScrollY(), -SmallChange);
  ASSERT_TRUE(ticks.wait(2000));
  EXPECT_EQ(grid->ScrollY(), -grid->ScrollBar()->maximum());  // no further than the end
  EXPECT_EQ(Selected(), std::vector<int>({1, 2, 5, 6, 9}));
  int reported = -1;
  grid->OnSelectionDone = [&](int, int count) { reported = count; };
  QTest::mouseRelease(box(), Qt::LeftButton, Qt::NoModifier, QPoint(2 * ColumnPitch + 30, box()->height() + 40));
  EXPECT_FALSE(grid->AutoScrollTimer().isActive());
  EXPECT_EQ(reported, 5);

  // Ctrl: the band toggles what it covers and gives it back when it shrinks.
  grid->ScrollIntoView(0);
  QTest::mousePress(box(), Qt::LeftButton, Qt::ControlModifier, QPoint(3, 3));
  MoveWith(Qt::ControlModifier, QPoint(ColumnPitch + 30, 30));
  EXPECT_EQ(Selected(), std::vector<int>({0, 2, 5, 6, 9}));  // 1 off, 0 on
  MoveWith(Qt::ControlModifier, QPoint(30, 30));
  EXPECT_EQ(Selected(), std::vector<int>({0, 1, 2, 5, 6, 9}));
  QTest::mouseRelease(box(), Qt::LeftButton, Qt::ControlModifier, QPoint(30, 30));

  // A band that covers no cell (only the gap before the first column) selects nothing.
  QTest::mousePress(box(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
  QTest::mouseMove(box(), QPoint(6, 300));
  EXPECT_TRUE(Selected().empty());
  QTest::mouseRelease(box(), Qt::LeftButton, Qt::NoModifier, QPoint(6, 300));
}

TEST_F(ThumbnailGridTest, NamesAreCutWithEllipsisInfoLinesAndTypeIcons)
{
  for (const QString& key : ImageFileKeys()) {  // every type of the extension table has its pair
    const TTypeIcon& icons = TypeIcons(ImageFileType(key));
    EXPECT_EQ(icons.Large.size(), QSize(32, 32)) << key.toStdString();
    EXPECT_EQ(icons.Small.size(), QSize(18, 9)) << key.toStdString();
  }
  EXPECT_TRUE(TypeIcons(0).Large.isNull());
  EXPECT_EQ(UnreadableMark().size(), QSize(14, 14));

  EXPECT_EQ(ThumbInfoLine(100, 50, 1), QStringLiteral("100x50x2"));
  EXPECT_EQ(ThumbInfoLine(100, 50, 4), QStringLiteral("100x50x16"));
  EXPECT_EQ(ThumbInfoLine(100, 50, 8), QStringLiteral("100x50x256"));
  EXPECT_EQ(ThumbInfoLine(100, 50, 15), QStringLiteral("100x50x15b"));
  EXPECT_EQ(ThumbInfoLine(100, 50, 32), QStringLiteral("100x50x32b"));

  MakeGrid(2, 300);
  const QFontMetrics fm(box()->font());
  const QString name = QStringLiteral("A rather long picture name for one cell.jpg");
  const int whole = fm.horizontalAdvance(name);
  EXPECT_EQ(FitTextWithEllipsis(fm, name, whole), name);  // exactly as wide as the limit
  const QString cut = FitTextWithEllipsis(fm, name, whole - 1);
  EXPECT_TRUE(cut.endsWith(QStringLiteral("...")));
  EXPECT_LT(fm.horizontalAdvance(cut), whole - 1);
  EXPECT_TRUE(name.startsWith(cut.chopped(3)));
  EXPECT_EQ(FitTextWithEllipsis(fm, name, 1), QStringLiteral("..."));

  // A character of two code units or with a combining mark is kept or cut whole.
  const QString wide = QString::fromUtf8("\xF0\x9F\x8E\xB5" "e\xCC\x81" "\xF0\x9F\x8E\xB5" "e\xCC\x81").repeated(12);
  for (int limit = 20; limit < fm.horizontalAdvance(wide); limit += 7) {
    const QString s = FitTextWithEllipsis(fm, wide, limit).chopped(3);
    ASSERT_TRUE(wide.startsWith(s));
    ASSERT_TRUE(s.isEmpty() || !(s.back().isHighSurrogate() || s.back() == QLatin1Char('e'))) << limit;
  }
}

TEST_F(ThumbnailGridTest, FocusKeysAndDoubleClick)
{
  Show(5, 4, 400);
  std::vector<TThumbnailFocus> focus;
  QStringList opened;
  grid->OnItemFocus = [&](const TThumbnailFocus& f) { focus.push_back(f); };
  grid->OnItemOpen = [&](const QString& path) { opened << path; };

  QTest::mouseDClick(box(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
  EXPECT_TRUE(opened.isEmpty());  // nothing focused yet
  grid->PreviousItem();
  EXPECT_EQ(grid->Focused(), -1);
  grid->NextItem();  // no focus: the first item
  ASSERT_EQ(grid->Focused(), 0);
  ASSERT_EQ(focus.size(), 1u);
  EXPECT_EQ(focus[0].Path, folder + "pic000.bmp");
  EXPECT_EQ(focus[0].Size, QFileInfo(folder + "pic000.bmp").size());
  EXPECT_EQ(focus[0].Time, QFileInfo(folder + "pic000.bmp").lastModified());
  EXPECT_EQ(focus[0].Width, 60);
  EXPECT_EQ(focus[0].BitCount, 24);
  EXPECT_EQ(focus[0].Count, 5);
  EXPECT_EQ(focus[0].Number, 1);
  grid->PreviousItem();  // on the first: nothing
  EXPECT_EQ(grid->Focused(), 0);

  // NextItem moves the focus's selection and leaves other selections alone.
  ClickItem(2, Qt::ControlModifier);
  ClickItem(4);
  grid->NextItem();  // on the last: nothing
  EXPECT_EQ(grid->Focused(), 4);
  grid->PreviousItem();
  EXPECT_EQ(Selected(), std::vector<int>({3}));
  ClickItem(1, Qt::ControlModifier);
  grid->NextItem();
  EXPECT_EQ(Selected(), std::vector<int>({2, 3}));
  EXPECT_EQ(grid->Focused(), 2);

  // Arrow keys, Shift extends a block from the anchor, Return opens.
  QTest::keyClick(box(), Qt::Key_Home);
  EXPECT_EQ(Selected(), std::vector<int>({0}));
  QTest::keyClick(box(), Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(box(), Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(Selected(), std::vector<int>({0, 1, 2}));
  QTest::keyClick(box(), Qt::Key_Return);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0], folder + "pic002.bmp");

  ClickItem(4);  // the first click of a double click; QTest sends only the second
  QTest::mouseDClick(box(), Qt::LeftButton, Qt::NoModifier, CellCentre(4));
  ASSERT_EQ(opened.size(), 2);
  EXPECT_EQ(opened[1], folder + "pic004.bmp");

  // The focus follows its file when a rescan moves it, and is dropped when the file goes.
  QFile::remove(folder + "pic000.bmp");
  grid->Refresh();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(grid->Focused(), 3);
  EXPECT_EQ(grid->FocusedName(), QStringLiteral("pic004.bmp"));
  QFile::remove(folder + "pic004.bmp");
  grid->Refresh();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(grid->Focused(), -1);
  EXPECT_TRUE(grid->FocusedName().isEmpty());
}

TEST_F(ThumbnailGridTest, RefreshKeepsUnchangedThumbnailsAndMakesVisibleCellsFirst)
{
  Show(40, 4, 400);
  EXPECT_EQ(grid->Percent(), 0);
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(grid->Item(i).Made) << i;
  ClickItem(2);

  // An unchanged folder: nothing is made again, the flag says refresh.
  int progress = 0;
  bool refreshed = false;
  qint64 total = 0;
  grid->OnProgress = [&](int) { ++progress; };
  grid->OnFolderScanned = [&](int, qint64 t, bool refresh) {
    refreshed = refresh;
    total = t;
  };
  const QImage kept = grid->Item(5).Bitmap;
  grid->Refresh();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(refreshed);
  EXPECT_EQ(progress, 0);
  EXPECT_EQ(grid->Item(5).Bitmap.cacheKey(), kept.cacheKey());
  EXPECT_EQ(Selected(), std::vector<int>({2}));  // the selection is kept
  EXPECT_EQ(grid->Focused(), 2);

  // One file changes size: only it is made again, the total follows.
  const qint64 before = total;
  const qint64 oldSize = QFileInfo(folder + "pic005.bmp").size();
  ASSERT_TRUE(RandomBitmap(90, 70, 99).save(folder + "pic005.bmp", "BMP"));
  grid->Refresh();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(progress, 1);
  EXPECT_EQ(grid->Item(5).Width, 90);
  EXPECT_EQ(total, before - oldSize + QFileInfo(folder + "pic005.bmp").size());

  // Every file changes while the view shows the end of the list: the cells
  // on screen are made before the others.
  grid->ScrollIntoView(39);
  const int first = grid->FirstVisible(), last = std::min(grid->LastVisible(), 39);
  for (int i = 0; i < 40; ++i) {
    const QString f = folder + QStringLiteral("pic%1.bmp").arg(i, 3, 10, QLatin1Char('0'));
    ASSERT_TRUE(RandomBitmap(61, 40, uint32_t(i)).save(f, "BMP"));
  }
  std::vector<int> order;
  grid->OnProgress = [&](int) {
    for (int i = 0; i < grid->Count(); ++i)
      if (grid->Item(i).Made && std::find(order.begin(), order.end(), i) == order.end()) order.push_back(i);
  };
  grid->Refresh();
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(order.size(), 40u);
  for (int k = 0; k <= last - first; ++k) EXPECT_GE(order[size_t(k)], first) << k;
}

TEST_F(ThumbnailGridTest, DamagedVanishingAndOddlyNamedFilesNeverStopTheWorker)
{
  MakePictures(3);
  const QByteArray raw = QFile::encodeName(folder);
  auto write = [&](const QByteArray& name, const QByteArray& bytes) {
    FILE* fp = std::fopen((raw + name).constData(), "wb");
    ASSERT_NE(fp, nullptr);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), fp);
    std::fclose(fp);
  };
  QFile good(folder + "pic000.bmp");
  ASSERT_TRUE(good.open(QIODevice::ReadOnly));
  const QByteArray bmp = good.readAll();
  write("empty.jpg", QByteArray());
  write("truncated.bmp", bmp.left(bmp.size() / 2));
  write("garbage.tif", QByteArray(5000, '\x5a'));
  write("bad-\xff\xfe.bmp", bmp);                                         // not valid UTF-8
  write("Ünïcödé \xe5\x86\x99\xe7\x9c\x9f \xf0\x9f\x8e\xb5.bmp", bmp);     // valid UTF-8
  write(QByteArray(251, 'n') + ".bmp", bmp);                              // a 255-byte name
  ASSERT_EQ(::mkfifo((raw + "fifo.jpg").constData(), 0600), 0);           // never listed
  ASSERT_EQ(::symlink((raw + "fifo.jpg").constData(), (raw + "link-to-fifo.jpg").constData()), 0);
  ASSERT_EQ(::symlink((raw + "missing.jpg").constData(), (raw + "dangling.jpg").constData()), 0);
  ASSERT_EQ(::symlink((raw + "pic001.bmp").constData(), (raw + "link.bmp").constData()), 0);
  QDir().mkdir(folder + "folder.jpg");

  MakeGrid(4, 600).SetFolder(folder);
  ASSERT_TRUE(WaitIdle(30000));
  ASSERT_EQ(grid->Count(), 10);
  int made = 0, failed = 0;
  for (int i = 0; i < grid->Count(); ++i) {
    const TThumbnailRec& r = grid->Item(i);
    if (r.Made) ++made;
    if (r.Failed) ++failed;
    EXPECT_NE(r.Made, r.Failed) << r.Name.toStdString();
    EXPECT_EQ(r.Usable, !r.Name.contains(QChar(0xFFFD))) << r.Name.toStdString();
  }
  EXPECT_EQ(made, 6);    // pic000 … pic002, the link, the Unicode and the long name
  EXPECT_EQ(failed, 4);  // empty, truncated, garbage, invalid bytes
  grid->repaint();       // damaged items are painted with their mark

  // Files vanish and the folder goes while the worker runs.
  MakePictures(60, 300, 200);
  bool removed = false;
  grid->OnProgress = [&](int) {
    if (removed) return;
    removed = true;
    for (int i = 30; i < 60; ++i) QFile::remove(folder + QStringLiteral("pic%1.bmp").arg(i, 3, 10, QLatin1Char('0')));
  };
  grid->Refresh();
  ASSERT_TRUE(WaitIdle(30000));
  grid->OnProgress = nullptr;
  grid->Refresh();
  ASSERT_TRUE(WaitIdle(30000));
  EXPECT_EQ(grid->Count(), 37);

  int count = -1;
  grid->OnFolderScanned = [&](int c, qint64 total, bool) {
    count = c;
    EXPECT_EQ(total, 0);
  };
  std::filesystem::remove_all(raw.constData());  // with the name Qt can not list
  grid->Refresh();
  ASSERT_TRUE(WaitIdle(30000));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(grid->Count(), 0);
}

TEST_F(ThumbnailGridTest, TenThousandFilesAndStopsOnNewFolderAndClose)
{
  MakePictures(1, 8, 6);
  const QByteArray src = QFile::encodeName(folder + "pic000.bmp");
  for (int i = 1; i < 10000; ++i)
    ASSERT_EQ(::link(src.constData(), QFile::encodeName(folder + QStringLiteral("p%1.bmp").arg(i)).constData()), 0);
  MakeGrid(4, 600).SetFolder(folder);
  ASSERT_TRUE(WaitIdle(300000));
  ASSERT_EQ(grid->Count(), 10000);
  EXPECT_EQ(grid->Rows(), 2500);
  for (int i = 0; i < 10000; i += 997) EXPECT_TRUE(grid->Item(i).Made) << i;
  grid->ScrollIntoView(9999);
  EXPECT_EQ(grid->ItemAt(CellCentre(9999)), 9999);
  EXPECT_EQ(grid->Item(8).Name, QStringLiteral("p9.bmp"));  // natural order: p9 before p10
  EXPECT_EQ(grid->Item(9).Name, QStringLiteral("p10.bmp"));

  // A new folder while the worker runs: only the latest folder is shown.
  QTemporaryDir other, last;
  ASSERT_TRUE(RandomBitmap(20, 20, 1).save(last.filePath("only.bmp"), "BMP"));
  grid->Refresh();
  grid->SetFolder(other.path());
  grid->SetFolder(last.path());
  ASSERT_TRUE(WaitIdle(60000));
  EXPECT_EQ(grid->Folder(), last.path() + "/");
  ASSERT_EQ(grid->Count(), 1);
  EXPECT_TRUE(grid->Item(0).Made);

  // Closing while the worker runs waits for it, and it stops early.
  grid->SetFolder(folder);
  QElapsedTimer clock;
  clock.start();
  grid.reset();
  EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(ThumbnailGridTest, DeleteAsksThenTrashesAndDropsCopyUnderFreeNames)
{
  Show(3, 4, 400);
  bool focusedDeleted = false;
  grid->OnItemsDeleted = [&](bool f) { focusedDeleted = f; };
  ClickItem(0);
  ClickItem(2, Qt::ControlModifier);

  QString question;
  AnswerNextModal([&](QWidget* modal) {
    question = qobject_cast<QMessageBox*>(modal)->text();
    ClickMessageButton(modal, QStringLiteral("No"));
  });
  EXPECT_FALSE(grid->DeleteSelected());
  EXPECT_EQ(question, QStringLiteral("Move the 2 selected pictures to the trash?"));
  EXPECT_TRUE(QFileInfo::exists(folder + "pic000.bmp"));

  AnswerNextModal([&](QWidget* modal) { ClickMessageButton(modal, QStringLiteral("Yes")); });
  EXPECT_TRUE(grid->DeleteSelected());
  EXPECT_TRUE(focusedDeleted);
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(grid->Count(), 1);
  EXPECT_EQ(grid->Item(0).Name, QStringLiteral("pic001.bmp"));
  const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/";
  EXPECT_TRUE(QFileInfo::exists(trash + "pic000.bmp"));
  EXPECT_TRUE(QFileInfo::exists(trash + "pic002.bmp"));

  // Copies of selected files never replace a file in the target folder.
  QTemporaryDir target;
  ClickItem(0);
  ASSERT_TRUE(QFile::copy(folder + "pic001.bmp", target.filePath("pic001.bmp")));
  EXPECT_EQ(grid->CopySelectedTo(target.path()), 0);

  // Drops from the file manager: pictures are copied under a free name;
  // a drop holding no picture is refused.
  grid->SetAcceptFileDrops(true);
  QTemporaryDir outside;
  ASSERT_TRUE(RandomBitmap(30, 30, 5).save(outside.filePath("pic001.bmp"), "BMP"));
  QFile text(outside.filePath("notes.txt"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.close();
  QMimeData refused;
  refused.setUrls({QUrl::fromLocalFile(outside.filePath("notes.txt")), QUrl::fromLocalFile(outside.path()),
                   QUrl(QStringLiteral("https://example.org/a.jpg"))});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &refused, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box(), &enter);
  EXPECT_FALSE(enter.isAccepted());

  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(outside.filePath("pic001.bmp")), QUrl::fromLocalFile(outside.filePath("notes.txt"))});
  QStringList copies;
  grid->OnFilesDropped = [&](const QStringList& c) { copies = c; };
  QDragEnterEvent accepted(QPoint(50, 50), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box(), &accepted);
  EXPECT_TRUE(accepted.isAccepted());
  for (int round = 0; round < 2; ++round) {
    QDragEnterEvent again(QPoint(50, 50), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box(), &again);
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box(), &drop);
  }
  EXPECT_EQ(copies, QStringList({folder + "pic001 (3).bmp"}));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(grid->Count(), 3);
  EXPECT_FALSE(QFileInfo::exists(folder + "notes.txt"));
  QFile original(folder + "pic001.bmp");
  ASSERT_TRUE(original.open(QIODevice::ReadOnly));
  EXPECT_NE(original.size(), QFileInfo(folder + "pic001 (2).bmp").size());  // the original was kept
}

}  // namespace
