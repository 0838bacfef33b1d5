// The image viewer window driven like a user on real folders: the status
// bar and "Prev."/"Next", a picture that can not be read, closing while the
// grid makes thumbnails and an animation plays, and the main window's Image
// command from the button to the new layer at the point clicked.
#include "../shell/ShellTestSupport.h"
#include "TestSupport.h"
#include "canvas/LabelShower.h"
#include "editors/LayerEditors.h"
#include "editors/formBackgroundProperty.h"
#include "codecs/Codec.h"
#include "imagelib/Thumbnailer.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"
#include "viewer/Viewer.h"
#include "viewer/ViewerText.h"
#include "viewer/ViewerWiring.h"
#include "viewer/formViewerMain.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QToolButton>
#include <QTreeView>

#include <memory>

namespace {

class ViewerWindowTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(dir.isValid());
    folder = dir.path() + "/";
    settings = std::make_unique<TSettings>(dir.path() + "/JKTA.ini");
    frm = std::make_unique<TfrmViewerMain>(*settings);
  }

  QString Picture(const QString& name, int w, int h)
  {
    const QString path = folder + name;
    EXPECT_TRUE(PhotoBitmap(w, h).save(path, "BMP"));
    return path;
  }

  // Shows the folder and waits for its scan and its thumbnails.
  void ShowFolder(int expected)
  {
    QSignalSpy scanned(frm.get(), &TfrmViewerMain::FolderScanned);
    QSignalSpy idle(frm.get(), &TfrmViewerMain::GridIdle);
    frm->SelectFolder(folder);
    if (!frm->isVisible()) frm->show();
    if (scanned.isEmpty()) {
      ASSERT_TRUE(scanned.wait(10000));
    }
    ASSERT_EQ(scanned.last().at(0).toInt(), expected);
    while (frm->Grid()->Running()) ASSERT_TRUE(idle.wait(10000));
  }

  int IndexOf(const QString& name) const { return IndexOf(frm.get(), name); }
  static int IndexOf(const TfrmViewerMain* viewer, const QString& name)
  {
    for (int i = 0; i < viewer->Grid()->Count(); ++i)
      if (viewer->Grid()->Item(i).Name == name) return i;
    return -1;
  }

  void Focus(int index) { Click(frm->Grid()->PaintBox(), frm->Grid()->CellRect(index).center()); }

  bool Enabled(const char* button) const { return frm->Button(QString::fromLatin1(button))->isEnabled(); }

  QTemporaryDir dir;
  QString folder;
  std::unique_ptr<TSettings> settings;
  std::unique_ptr<TfrmViewerMain> frm;
};

}  // namespace

TEST_F(ViewerWindowTest, StatusBarAndPrevNext)
{
  qint64 total = 0;
  for (int i = 0; i < 5; ++i) total += QFileInfo(Picture(QStringLiteral("p%1.bmp").arg(i), 40 + i, 30)).size();
  const QString dated = folder + "p2.bmp";
  {
    QFile f(dated);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2004, 7, 3), QTime(9, 5), QTimeZone::systemTimeZone()),
                              QFileDevice::FileModificationTime));
  }
  ShowFolder(5);
  EXPECT_EQ(frm->PanelText(0), QStringLiteral("Total 5 images (%1)").arg(FileSizeText(total)));
  EXPECT_FALSE(Enabled("btnPreviousImage"));
  EXPECT_FALSE(Enabled("btnNextImage"));

  Focus(0);
  EXPECT_FALSE(Enabled("btnPreviousImage"));
  EXPECT_TRUE(Enabled("btnNextImage"));
  for (int i = 0; i < 4; ++i) frm->Button("btnNextImage")->click();
  EXPECT_EQ(frm->Grid()->Focused(), 4);
  EXPECT_TRUE(Enabled("btnPreviousImage"));
  EXPECT_FALSE(Enabled("btnNextImage"));
  frm->Button("btnPreviousImage")->click();
  EXPECT_TRUE(Enabled("btnNextImage"));
  EXPECT_EQ(frm->Grid()->Focused(), 3);

  frm->Grid()->FocusItem(IndexOf("p2.bmp"));
  EXPECT_EQ(frm->PanelText(1), dated);
  EXPECT_EQ(frm->PanelText(2), FileSizeText(QFileInfo(dated).size()) + " , 9:5 3-7-2004");
  EXPECT_EQ(frm->PanelText(3), "42x30x24b");
  EXPECT_EQ(frm->CurrentFile(), dated);

  // A folder of one picture: neither button.
  QTemporaryDir one;
  ASSERT_TRUE(PhotoBitmap(20, 20).save(one.path() + "/only.bmp", "BMP"));
  const QString five = folder;
  folder = one.path() + "/";
  ShowFolder(1);
  Focus(0);
  EXPECT_FALSE(Enabled("btnPreviousImage"));
  EXPECT_FALSE(Enabled("btnNextImage"));

  // A click on a folder in the tree lists it.
  QTreeView* tree = frm->Tree();
  const QModelIndex back = static_cast<QFileSystemModel*>(tree->model())->index(QDir::cleanPath(five));
  tree->scrollTo(back);
  QSignalSpy scanned(frm.get(), &TfrmViewerMain::FolderScanned);
  Click(tree->viewport(), tree->visualRect(back).center());
  ASSERT_TRUE(scanned.wait(10000));
  EXPECT_EQ(scanned.last().at(0).toInt(), 5);
}

TEST_F(ViewerWindowTest, UnreadableOrVanishedPictures)
{
  QFile bad(folder + "bad.jpg");
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write(QByteArray(4000, 'j'));
  bad.close();
  const QString good = Picture("good.bmp", 300, 200);
  ShowFolder(2);
  TViewer* v = frm->Viewer();
  QSignalSpy stopped(v, &TViewer::PreviewStopped);

  Focus(IndexOf("bad.jpg"));
  while (v->Running()) ASSERT_TRUE(stopped.wait(10000));
  EXPECT_TRUE(v->Preview().isNull());
  const int started = v->WorkersStarted();
  // Neither a resize nor asking again reads it once more.
  v->ResizeDone();
  v->LoadFile(folder + "bad.jpg");
  EXPECT_FALSE(v->Running());
  EXPECT_EQ(v->WorkersStarted(), started);

  // A picture deleted after it was shown stays shown and is not read again.
  Focus(IndexOf("good.bmp"));
  while (v->Running()) ASSERT_TRUE(stopped.wait(10000));
  ASSERT_FALSE(v->Preview().isNull());
  ASSERT_TRUE(QFile::remove(good));
  v->ResizeDone();
  EXPECT_FALSE(v->Running());
  EXPECT_FALSE(v->Preview().isNull());
}

TEST_F(ViewerWindowTest, ClosingWaitsForBothWorkersWithoutSecondRequest)
{
  QByteArray jpeg;
  QString error;
  ASSERT_TRUE(EncodeJpeg(PhotoBitmap(2400, 1600), jpeg, error));
  for (int i = 0; i < 80; ++i) {
    QFile f(folder + QStringLiteral("photo%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(jpeg);
  }
  ASSERT_TRUE(QFile::copy(TestDataPath("viewer/frame_times.gif"), folder + "anim.gif"));
  QSignalSpy scanned(frm.get(), &TfrmViewerMain::FolderScanned);
  frm->SelectFolder(folder);
  frm->show();
  ASSERT_TRUE(scanned.wait(10000));
  QSignalSpy frame(frm->Viewer(), &TViewer::FrameShown);
  Focus(IndexOf("anim.gif"));
  ASSERT_TRUE(frame.wait(10000));
  ASSERT_TRUE(frm->Grid()->Running());
  ASSERT_TRUE(frm->Viewer()->Running());

  QSignalSpy finished(frm.get(), &QDialog::finished);
  frm->close();  // once
  EXPECT_TRUE(frm->isVisible());
  ASSERT_TRUE(finished.wait(10000));
  EXPECT_FALSE(frm->isVisible());
  EXPECT_FALSE(frm->Grid()->Running());
  EXPECT_FALSE(frm->Viewer()->Running());
  // The settings were written on the way out, with the folder shown.
  QFile ini(settings->FileName());
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(ini.readAll());
  EXPECT_TRUE(text.contains("[Path]\r\nCurrent=" + QDir::cleanPath(folder))) << text.toStdString();
  EXPECT_TRUE(text.contains("[Self]")) << text.toStdString();
}

TEST_F(ViewerWindowTest, ImageCommandAddsTheChosenPictureAtTheClick)
{
  frm.reset();
  Picture("first.bmp", 64, 48);
  const QString chosen = Picture("second.bmp", 90, 60);
  for (int n = 1; n <= TSettings::HintCount; ++n) settings->SetShowHint(n, false);
  TfrmHints hints(*settings);
  TfrmMain main(*settings, hints);
  TViewerWiring* wiring = AttachImageViewer(main, *settings);
  TfrmViewerMain* viewer = wiring->Viewer();
  viewer->SelectFolder(folder);
  main.show();
  auto* button = main.findChild<QToolButton*>("btnAddImage");
  ASSERT_TRUE(button->isEnabled());
  button->click();
  ASSERT_TRUE(button->isChecked());

  bool answered = false;
  AnswerNextModal([&](QWidget* modal) {
    ASSERT_EQ(modal, viewer);
    EXPECT_TRUE(viewer->ButtonShown("btnAddImage"));
    EXPECT_FALSE(viewer->ButtonShown("btnEdit"));
    EXPECT_FALSE(viewer->ButtonShown("btnAddFavorites"));
    EXPECT_FALSE(viewer->ButtonShown("btnAddImageToBackground"));
    QSignalSpy idle(viewer, &TfrmViewerMain::GridIdle);
    while (viewer->Grid()->Count() < 2 || viewer->Grid()->Running()) ASSERT_TRUE(idle.wait(10000));
    int index = -1;
    for (int i = 0; i < viewer->Grid()->Count(); ++i)
      if (viewer->Grid()->Item(i).Name == "second.bmp") index = i;
    Click(viewer->Grid()->PaintBox(), viewer->Grid()->CellRect(index).center());
    answered = true;
    viewer->Button("btnAddImage")->click();
  });
  Click(main.Canvas(), QPoint(120, 80));
  ASSERT_TRUE(answered);
  EXPECT_FALSE(viewer->isVisible());
  EXPECT_FALSE(button->isChecked());
  ASSERT_EQ(main.Canvas()->LayerCount(), 2);
  const TPictureLayerInfo layer = main.Canvas()->Document().GetPictureLayer(1);
  EXPECT_EQ(QPoint(layer.Left, layer.Top), QPoint(120, 80));
  EXPECT_EQ(QPoint(layer.Width, layer.Height), QPoint(30, 20));  // a third of 90 × 60
  EXPECT_EQ(main.LayerList()->item(0)->text(), LayerLine("Image", "second.bmp"));
  EXPECT_EQ(main.Canvas()->SelectedNumber(), 1);
  EXPECT_EQ(viewer->CurrentFile(), chosen);

  // Search browses; "Favorites" copies the selected picture into the
  // favourites, whose strip is scanned again.
  auto* search = main.findChild<QToolButton*>("btnSearchImage");
  ASSERT_TRUE(search->isEnabled());
  AnswerNextModal([&](QWidget* modal) {
    ASSERT_EQ(modal, viewer);
    EXPECT_TRUE(viewer->ButtonShown("btnEdit"));
    EXPECT_TRUE(viewer->ButtonShown("btnAddFavorites"));
    EXPECT_FALSE(viewer->ButtonShown("btnAddImage"));
    QSignalSpy idle(viewer, &TfrmViewerMain::GridIdle);
    while (viewer->Grid()->Count() < 2 || viewer->Grid()->Running()) ASSERT_TRUE(idle.wait(10000));
    viewer->Grid()->SelectAll();
    viewer->Button("btnAddFavorites")->click();
    viewer->close();
  });
  search->click();
  EXPECT_FALSE(viewer->isVisible());
  EXPECT_TRUE(QFileInfo::exists(main.FavouritesFolder() + "second.bmp"));
  EXPECT_TRUE(QFileInfo::exists(main.FavouritesFolder() + "first.bmp"));
  EXPECT_TRUE(main.Favourites()->Running() || main.Favourites()->Count() == 2);
}

// The background editor's "Select image": the viewer opens in its background
// mode, "Set as BG" makes the focused picture the cover's background at once
// and the editor then shows it chosen; Cancel in the editor afterwards keeps it.
TEST_F(ViewerWindowTest, BackgroundEditorChoosesItsPictureInTheViewer)
{
  frm.reset();
  Picture("first.bmp", 64, 48);
  const QString chosen = Picture("second.bmp", 90, 60);
  for (int n = 1; n <= TSettings::HintCount; ++n) settings->SetShowHint(n, false);
  TfrmHints hints(*settings);
  TfrmMain main(*settings, hints);
  TLayerEditors* editors = AttachLayerEditors(main);
  TViewerWiring* wiring = AttachImageViewer(main, *settings);
  TfrmViewerMain* viewer = wiring->Viewer();
  ConnectBackgroundChoice(*editors->BackgroundEditor(), *viewer);
  viewer->SelectFolder(folder);
  main.show();

  bool viewerAnswered = false, editorAnswered = false;
  AnswerNextModal([&](QWidget* editor) {
    ASSERT_EQ(editor, editors->BackgroundEditor());
    auto* show = editor->findChild<QCheckBox*>("cboxShowImage");
    EXPECT_FALSE(show->isEnabled());
    AnswerNextModal(
        [&](QWidget* modal) {
          ASSERT_EQ(modal, viewer);
          EXPECT_TRUE(viewer->ButtonShown("btnAddImageToBackground"));
          EXPECT_FALSE(viewer->ButtonShown("btnEdit"));
          EXPECT_FALSE(viewer->ButtonShown("btnAddFavorites"));
          EXPECT_FALSE(viewer->ButtonShown("btnAddImage"));
          QSignalSpy idle(viewer, &TfrmViewerMain::GridIdle);
          while (viewer->Grid()->Count() < 2 || viewer->Grid()->Running()) ASSERT_TRUE(idle.wait(10000));
          Click(viewer->Grid()->PaintBox(), viewer->Grid()->CellRect(IndexOf(viewer, "second.bmp")).center());
          viewerAnswered = true;
          viewer->Button("btnAddImageToBackground")->click();
        },
        editor);
    editor->findChild<QPushButton*>("btnGetImage")->click();
    EXPECT_TRUE(viewerAnswered);
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_TRUE(show->isEnabled());
    EXPECT_TRUE(show->isChecked());
    EXPECT_EQ(main.Canvas()->Document().Background().FileName, chosen);
    editorAnswered = true;
    editor->findChild<QPushButton*>("btnCancel")->click();
  });
  main.findChild<QToolButton*>("btnEditBackground")->click();
  ASSERT_TRUE(editorAnswered);
  const TBackgroundInfo& b = main.Canvas()->Document().Background();
  EXPECT_EQ(b.FileName, chosen);
  EXPECT_TRUE(b.ShowImage);
}
