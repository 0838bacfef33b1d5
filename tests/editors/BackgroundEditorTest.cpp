// The background editor in the main window, driven as a user drives it:
// opened by Edit B.G. and by a double click on an empty spot of the cover,
// colours picked in the colour dialog, OK applying once, Cancel leaving the
// cover and the editor's choices as they were, and a picture chosen through
// "Select image".
#include "EditorTestSupport.h"
#include "TestSupport.h"
#include "shell/MainWindowFixture.h"
#include "shell/ShellTestSupport.h"

#include "canvas/LabelShower.h"
#include "editors/LayerEditors.h"
#include "editors/PropertyEditor.h"
#include "editors/formBackgroundProperty.h"
#include "imagelib/Thumbnailer.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <QCheckBox>
#include <QFile>
#include <QColorDialog>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {

const TColor kBlue = MakeColor(0, 0, 255), kRed = MakeColor(255, 0, 0), kGreen = MakeColor(0, 160, 0);

class BackgroundEditorTest : public TMainWindowTest {
protected:
  void SetUp() override
  {
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    editors = AttachLayerEditors(*frm);
    frm->show();
    photo = dir.filePath(QStringLiteral("photo.bmp"));
    ASSERT_TRUE(PhotoBitmap(300, 200).save(photo, "BMP"));
  }
  void TearDown() override
  {
    doc().SetModified(false);
    frm.reset();
  }

  TfrmBackgroundProperty* editor() const { return editors->BackgroundEditor(); }
  template <typename T> T* Child(const char* name) const
  {
    return editor()->findChild<T*>(QString::fromLatin1(name));
  }
  void ClickButton(const char* name) const
  {
    QTest::mouseClick(Child<QPushButton>(name), Qt::LeftButton);
  }
  // Opens the editor with `open`, runs `answer` in it and closes it with
  // Cancel when the answer left it open; true when it opened.
  bool InEditor(const std::function<void()>& open, const std::function<void()>& answer)
  {
    bool opened = false;
    AnswerNextModal([&](QWidget* w) {
      opened = w == editor();
      if (!opened) return static_cast<QDialog*>(w)->reject();
      answer();
      if (editor()->isVisible()) ClickButton("btnCancel");
    });
    open();
    return opened;
  }
  bool ViaEditButton(const std::function<void()>& answer)
  {
    return InEditor([this] { frm->findChild<QToolButton*>(QStringLiteral("btnEditBackground"))->click(); },
                    answer);
  }
  // A click on a colour panel, answered in the colour dialog with `colour`.
  void PickColour(const char* panel, TColor colour)
  {
    QWidget* dialog = nullptr;
    AnswerNextModal(
        [&, colour](QWidget* w) {
          dialog = w;
          editor()->ColorDialog()->setCurrentColor(QColor(ColorRed(colour), ColorGreen(colour), ColorBlue(colour)));
          editor()->ColorDialog()->accept();
        },
        editor());
    QTest::mouseClick(Child<QWidget>(panel), Qt::LeftButton);
    EXPECT_EQ(dialog, editor()->ColorDialog());
  }

  QString photo;
  TLayerEditors* editors = nullptr;
};

}  // namespace

TEST_F(BackgroundEditorTest, OpensOnTheCoverAndOkAppliesTheChosenGradientOnce)
{
  frm->btnNewClick();
  int applied = 0;
  const auto toCover = editor()->SetBackground;
  editor()->SetBackground = [&](const QString& f, uint8_t m, TColor s, int32_t e, bool v, bool show) {
    ++applied;
    toCover(f, m, s, e, v, show);
  };

  // The white cover without a picture: solid white, nothing to show or place.
  ASSERT_TRUE(ViaEditButton([&] {
    EXPECT_EQ(editor()->windowTitle(), QStringLiteral("   Background Property"));
    EXPECT_TRUE(Child<QRadioButton>("rbSolidColor")->isChecked());
    EXPECT_EQ(Child<TColorPanel>("plSolidColor")->Color(), 0xFFFFFFu);
    EXPECT_FALSE(Child<QCheckBox>("cboxShowImage")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>("cboxShowImage")->isEnabled());
    for (const char* rb : {"rbCenter", "rbStretch", "rbTile"}) EXPECT_FALSE(Child<QRadioButton>(rb)->isEnabled());
    // Nothing reaches the cover before OK.
    ClickBox(Child<QRadioButton>("rbGradientfill"));
    PickColour("plStartColor", kBlue);
    PickColour("plEndColor", kRed);
    Child<QComboBox>("comboxVertical")->setCurrentIndex(1);
    EXPECT_EQ(doc().Background().EndColor, -1);
    EXPECT_EQ(applied, 0);
    ClickButton("btnOk");
  }));
  EXPECT_EQ(applied, 1);
  const TBackgroundInfo b = doc().Background();
  EXPECT_EQ(b.StartColor, kBlue);
  EXPECT_EQ(b.EndColor, int32_t(kRed));
  EXPECT_TRUE(b.Vertical);
  EXPECT_FALSE(b.ShowImage);
  EXPECT_EQ(PixelAt(doc().Cover(), 100, 0), kBlue);
  EXPECT_EQ(PixelAt(doc().Cover(), 100, 469), kRed);
  EXPECT_TRUE(doc().Modified());

  // Reopened: the gradient as the cover has it. Solid colour with OK sends
  // -1 as the end colour whatever the gradient panels show.
  ASSERT_TRUE(ViaEditButton([&] {
    EXPECT_TRUE(Child<QRadioButton>("rbGradientfill")->isChecked());
    EXPECT_EQ(Child<TColorPanel>("plStartColor")->Color(), kBlue);
    EXPECT_EQ(Child<TColorPanel>("plEndColor")->Color(), kRed);
    EXPECT_EQ(Child<QComboBox>("comboxVertical")->currentText(), QStringLiteral("Vertical"));
    ClickBox(Child<QRadioButton>("rbSolidColor"));
    PickColour("plSolidColor", kGreen);
    ClickButton("btnOk");
  }));
  EXPECT_EQ(applied, 2);
  EXPECT_EQ(doc().Background().StartColor, kGreen);
  EXPECT_EQ(doc().Background().EndColor, -1);
  EXPECT_EQ(PixelAt(doc().Cover(), 100, 469), kGreen);
}

TEST_F(BackgroundEditorTest, CancelLeavesCoverAndChoicesAsTheyWere)
{
  doc().SetBackground(photo, imStretch, kBlue, int32_t(kRed), false, true);
  doc().AddTextLayer(20, 20, QStringLiteral("Title"), QStringLiteral("Times New Roman"), 0, 0, false, true, 200, 60);
  doc().SelectLayer(1);
  doc().SetModified(false);
  const QImage before = doc().Cover().copy();
  int applied = 0;
  const auto toCover = editor()->SetBackground;
  editor()->SetBackground = [&](const QString& f, uint8_t m, TColor s, int32_t e, bool v, bool show) {
    ++applied;
    toCover(f, m, s, e, v, show);
  };

  // A double click on an empty spot of the cover, with a layer selected.
  ASSERT_TRUE(InEditor([&] { DoubleClick(frm->Canvas(), QPoint(400, 400)); }, [&] {
    EXPECT_TRUE(Child<QRadioButton>("rbGradientfill")->isChecked());
    EXPECT_EQ(Child<QComboBox>("comboxVertical")->currentText(), QStringLiteral("Horizontal"));
    EXPECT_TRUE(Child<QCheckBox>("cboxShowImage")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>("rbStretch")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>("rbTile")->isEnabled());
    EXPECT_EQ(Child<QLabel>("lbFile")->text(), QStringLiteral("Image: photo.bmp"));
    // Unticking the picture disables the placements.
    ClickBox(Child<QCheckBox>("cboxShowImage"));
    EXPECT_FALSE(Child<QRadioButton>("rbTile")->isEnabled());
    PickColour("plEndColor", kGreen);
    ClickBox(Child<QRadioButton>("rbSolidColor"));
    QTest::keyClick(editor(), Qt::Key_Escape);
  }));
  EXPECT_EQ(applied, 0);
  EXPECT_TRUE(SamePixels(doc().Cover(), before));
  EXPECT_FALSE(doc().Modified());

  // What a favourite made the background takes is still what the cover has,
  // not the discarded choices.
  const TBackgroundInfo read = editor()->ReadSettings();
  EXPECT_EQ(read.ImageMode, imStretch);
  EXPECT_EQ(read.StartColor, kBlue);
  EXPECT_EQ(read.EndColor, int32_t(kRed));
  EXPECT_TRUE(read.ShowImage);
  EXPECT_TRUE(Child<QRadioButton>("rbTile")->isEnabled());
  {
    const QString favourite = frm->FavouritesFolder() + QStringLiteral("bg-cancel.bmp");
    ASSERT_TRUE(RandomBitmap(200, 100, 4).save(favourite, "BMP"));
    TThumbnail* strip = frm->Favourites();
    QEventLoop loop;
    strip->OnIdle = [&loop] { loop.quit(); };
    strip->Refresh();
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (strip->Running()) loop.exec();
    strip->OnIdle = nullptr;
    int cell = -1;
    for (int i = 0; i < strip->Count(); ++i)
      if (strip->Item(i).Name == QStringLiteral("bg-cancel.bmp")) cell = i;
    ASSERT_GE(cell, 0);
    strip->ScrollIntoView(cell);
    QTest::mouseClick(strip->PaintBox(), Qt::LeftButton, {}, strip->CellRect(cell).center());
    auto* bg = frm->findChild<QToolButton*>(QStringLiteral("btnSetToBackground"));
    bg->click();
    EXPECT_EQ(doc().Background().FileName, favourite);
    EXPECT_EQ(doc().Background().ImageMode, imStretch);
    EXPECT_EQ(doc().Background().EndColor, int32_t(kRed));
    // The cover's background changed elsewhere (as by opening a project):
    // the favourite takes the cover's placement and colours, not the ones
    // the editor last showed.
    doc().SetBackground(photo, imTile, kGreen, int32_t(kRed), true, false);
    bg->click();
    QFile::remove(favourite);
    EXPECT_EQ(doc().Background().FileName, favourite);
    EXPECT_EQ(doc().Background().ImageMode, imTile);
    EXPECT_EQ(doc().Background().StartColor, kGreen);
    EXPECT_TRUE(doc().Background().Vertical);
    doc().SetBackground(photo, imStretch, kBlue, int32_t(kRed), false, true);
  }

  // OK with the picture unticked sends show = false and keeps the file.
  ASSERT_TRUE(ViaEditButton([&] {
    ClickBox(Child<QCheckBox>("cboxShowImage"));
    ClickButton("btnOk");
  }));
  EXPECT_EQ(applied, 1);
  EXPECT_FALSE(doc().Background().ShowImage);
  EXPECT_EQ(doc().Background().FileName, photo);
}

TEST_F(BackgroundEditorTest, SelectImageThenCancelKeepsThePictureTheViewerSet)
{
  // Without an image viewer "Select image" can not be used.
  ASSERT_TRUE(ViaEditButton([&] { EXPECT_FALSE(Child<QPushButton>("btnGetImage")->isEnabled()); }));

  // The viewer's part: prepared with the editor's settings, it makes the
  // picture the background and tells the editor.
  TBackgroundInfo prepared;
  editor()->OnSelectImage = [&] {
    prepared = editor()->Settings();
    doc().SetBackground(photo, prepared.ImageMode, prepared.StartColor, prepared.EndColor, prepared.Vertical, true);
    editor()->BackgroundPictureChosen(photo);
  };
  frm->btnNewClick();
  ASSERT_TRUE(ViaEditButton([&] {
    ClickBox(Child<QRadioButton>("rbGradientfill"));
    PickColour("plStartColor", kBlue);
    ClickButton("btnGetImage");
    EXPECT_TRUE(editor()->PictureChosen());
    EXPECT_TRUE(Child<QCheckBox>("cboxShowImage")->isEnabled());
    EXPECT_TRUE(Child<QCheckBox>("cboxShowImage")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>("rbTile")->isEnabled());
    ClickBox(Child<QRadioButton>("rbTile"));
    ClickButton("btnCancel");
  }));
  EXPECT_EQ(prepared.StartColor, kBlue);
  EXPECT_EQ(doc().Background().FileName, photo);
  EXPECT_TRUE(doc().Background().ShowImage);
  EXPECT_EQ(doc().Background().ImageMode, imCenter);
  EXPECT_EQ(doc().Background().StartColor, kBlue);
  // The editor keeps the chosen picture, not the Tile cancelled after it.
  EXPECT_EQ(editor()->ReadSettings().ImageMode, imCenter);
  EXPECT_EQ(editor()->ReadSettings().FileName, photo);

  // A picture whose file has gone is named as missing and kept.
  QFile::remove(photo);
  ASSERT_TRUE(ViaEditButton([&] {
    EXPECT_EQ(Child<QLabel>("lbFile")->text(), QStringLiteral("Image not found: photo.bmp"));
    ClickButton("btnOk");
  }));
  EXPECT_EQ(doc().Background().FileName, photo);
}
