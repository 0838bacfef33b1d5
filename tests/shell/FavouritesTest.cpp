// The favourites strip of the main window: pictures dragged from it or from
// the file manager onto the editing area become picture layers, B.G. and a
// double click make a favourite the background, Delete sends favourites to
// the trash after a question.
#include "ShellTestSupport.h"

#include "TestSupport.h"
#include "canvas/LabelShower.h"
#include "imagelib/Thumbnailer.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <memory>

namespace {

class FavouritesTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(dir.isValid());
    settings = std::make_unique<TSettings>(dir.filePath(QStringLiteral("JKTA.ini")));
    for (int n = 1; n <= 8; ++n) settings->SetShowHint(n, false);
    hints = std::make_unique<TfrmHints>(*settings);
  }
  void TearDown() override
  {
    const QString favourites = frm ? frm->FavouritesFolder() : QString();
    frm.reset();
    if (!favourites.isEmpty()) QDir(favourites).removeRecursively();
  }

  // Opens the main window with these 600 × 300 pictures among the favourites.
  void Open(const QStringList& favourites)
  {
    frm = std::make_unique<TfrmMain>(*settings, *hints);
    ASSERT_TRUE(frm->StartedWell());
    ASSERT_TRUE(QFileInfo(frm->FavouritesFolder()).isDir());  // made when missing
    for (int i = 0; i < favourites.size(); ++i)
      ASSERT_TRUE(RandomBitmap(600, 300, uint32_t(i)).save(frm->FavouritesFolder() + favourites[i], "BMP"));
    frm->show();
    strip()->Refresh();
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(strip()->Count(), favourites.size());
  }

  bool WaitIdle()
  {
    if (!strip()->Running()) return true;
    QEventLoop loop;
    bool idle = false;
    strip()->OnIdle = [&] {
      idle = true;
      loop.quit();
    };
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    strip()->OnIdle = nullptr;
    return idle;
  }

  TThumbnail* strip() const { return frm->Favourites(); }
  TCoverDocument& doc() const { return frm->Canvas()->Document(); }
  QToolButton* Button(const char* name) const { return frm->findChild<QToolButton*>(QString::fromLatin1(name)); }
  void ClickFavourite(int i, Qt::KeyboardModifiers mods = Qt::NoModifier)
  {
    QTest::mouseClick(strip()->PaintBox(), Qt::LeftButton, mods, strip()->CellRect(i).center());
  }

  // Drags `mime` over the editing area and drops it at `at`; whether the
  // area took it.
  bool DropOnCanvas(const QMimeData& mime, QPoint at)
  {
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frm->Canvas(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frm->Canvas(), &drop);
    return drop.isAccepted();
  }

  QTemporaryDir dir;
  std::unique_ptr<TSettings> settings;
  std::unique_ptr<TfrmHints> hints;
  std::unique_ptr<TfrmMain> frm;
};

TEST_F(FavouritesTest, DroppedFavouritesAndFilesBecomePictureLayers)
{
  Open({QStringLiteral("sunset.bmp")});
  EXPECT_FALSE(Button("btnDeleteImage")->isEnabled());
  EXPECT_FALSE(Button("btnSetToBackground")->isEnabled());
  EXPECT_FALSE(Button("btnSearchImage")->isEnabled());

  ClickFavourite(0);
  const QString sunset = frm->FavouritesFolder() + "sunset.bmp";
  EXPECT_EQ(frm->FavouriteFile(), sunset);
  EXPECT_TRUE(Button("btnDeleteImage")->isEnabled());
  EXPECT_TRUE(Button("btnSetToBackground")->isEnabled());

  // What a drag out of the strip carries, dropped on the editing area: a
  // picture layer at the drop point, a third of the picture's size.
  std::unique_ptr<QMimeData> favourite(strip()->DragData());
  ASSERT_TRUE(DropOnCanvas(*favourite, QPoint(100, 80)));
  ASSERT_EQ(doc().LayerCount(), 2);
  const TLayer* layer = doc().LayerByNumber(1);
  ASSERT_NE(layer, nullptr);
  EXPECT_EQ(doc().LayerKind(1), lkPicture);
  EXPECT_EQ(layer->FileName, sunset);
  EXPECT_EQ(QRect(layer->Left, layer->Top, layer->Width, layer->Height), QRect(100, 80, 200, 100));
  EXPECT_EQ(frm->LayerList()->item(0)->text(), LayerLine(QStringLiteral("Image"), QStringLiteral("sunset.bmp")));
  EXPECT_EQ(frm->CurrentNumber(), 1);

  // Files from the file manager: pictures become layers, one below the other.
  QTemporaryDir outside;
  ASSERT_TRUE(RandomBitmap(300, 150, 3).save(outside.filePath("photo.bmp"), "BMP"));
  ASSERT_TRUE(RandomBitmap(90, 90, 4).save(outside.filePath("small.bmp"), "BMP"));
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(outside.filePath("photo.bmp")), QUrl::fromLocalFile(outside.filePath("small.bmp"))});
  ASSERT_TRUE(DropOnCanvas(files, QPoint(20, 30)));
  ASSERT_EQ(doc().LayerCount(), 4);
  EXPECT_EQ(doc().LayerByNumber(2)->FileName, outside.filePath("photo.bmp"));
  EXPECT_EQ(QRect(doc().LayerByNumber(2)->Left, doc().LayerByNumber(2)->Top, doc().LayerByNumber(2)->Width,
                  doc().LayerByNumber(2)->Height),
            QRect(20, 30, 100, 50));
  EXPECT_EQ(QPoint(doc().LayerByNumber(3)->Left, doc().LayerByNumber(3)->Top), QPoint(40, 50));

  // Other files are refused with the drop cursor; a damaged picture adds nothing.
  QFile text(outside.filePath("notes.txt"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not a picture");
  text.close();
  QMimeData refused;
  refused.setUrls({QUrl::fromLocalFile(outside.filePath("notes.txt")), QUrl::fromLocalFile(outside.path())});
  EXPECT_FALSE(DropOnCanvas(refused, QPoint(50, 50)));
  QFile::copy(outside.filePath("notes.txt"), outside.filePath("damaged.jpg"));
  QMimeData damaged;
  damaged.setUrls({QUrl::fromLocalFile(outside.filePath("damaged.jpg"))});
  EXPECT_EQ(ModalsDuring([&] { DropOnCanvas(damaged, QPoint(50, 50)); }), 0);
  EXPECT_EQ(doc().LayerCount(), 4);
}

TEST_F(FavouritesTest, BackgroundFromTheStripAndDeletionToTheTrash)
{
  Open({QStringLiteral("a.bmp"), QStringLiteral("b.bmp"), QStringLiteral("c.bmp")});
  const QString folder = frm->FavouritesFolder();

  ClickFavourite(0);
  Button("btnSetToBackground")->click();
  EXPECT_EQ(doc().Background().FileName, folder + "a.bmp");
  EXPECT_TRUE(doc().Background().ShowImage);

  ClickFavourite(1);  // a double click: press, release, double click, release
  QTest::mouseDClick(strip()->PaintBox(), Qt::LeftButton, Qt::NoModifier, strip()->CellRect(1).center());
  EXPECT_EQ(doc().Background().FileName, folder + "b.bmp");

  // Delete: a question naming the count, then the trash; declining keeps all.
  ClickFavourite(2, Qt::ControlModifier);
  QString question;
  AnswerNextModal([&](QWidget* modal) {
    question = qobject_cast<QMessageBox*>(modal)->text();
    ClickMessageButton(modal, QStringLiteral("No"));
  });
  Button("btnDeleteImage")->click();
  EXPECT_EQ(question, QStringLiteral("Move the 2 selected pictures to the trash?"));
  EXPECT_EQ(frm->FavouriteFile(), folder + "c.bmp");

  AnswerNextModal([&](QWidget* modal) { ClickMessageButton(modal, QStringLiteral("Yes")); });
  Button("btnDeleteImage")->click();
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(strip()->Count(), 1);
  EXPECT_EQ(strip()->Item(0).Name, QStringLiteral("a.bmp"));
  EXPECT_FALSE(QFileInfo::exists(folder + "b.bmp"));
  EXPECT_TRUE(frm->FavouriteFile().isEmpty());
  EXPECT_FALSE(Button("btnDeleteImage")->isEnabled());
  EXPECT_FALSE(Button("btnSetToBackground")->isEnabled());
}

}  // namespace
