// Undo and redo in the main window, driven with the keys and buttons: a
// deleted picture layer comes back whole, drags and editor sessions are one
// step each, and Modified follows the steps back to the saved state.
#include "MainWindowFixture.h"
#include "ShellTestSupport.h"
#include "TestSupport.h"

#include "canvas/LabelShower.h"
#include "editors/LayerEditors.h"
#include "editors/formTextProperty.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

class UndoTest : public TMainWindowTest {
protected:
  void SetUp() override
  {
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow(QStringLiteral("config/JKTA.ini")));
    frm->show();
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
  }
  void TearDown() override
  {
    doc().SetModified(false);
    frm.reset();
    hints.reset();
  }

  // The keys, in a window no dialog has been shown over (on the offscreen
  // desktop the focus does not reliably come back after one), and the
  // buttons.
  void Key(Qt::Key key, Qt::KeyboardModifiers mods) { QTest::keyClick(frm.get(), key, mods); }
  void Undo() { Key(Qt::Key_Z, Qt::ControlModifier); }
  void RedoShiftZ() { Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); }
  void RedoY() { Key(Qt::Key_Y, Qt::ControlModifier); }
  void UndoButton() { QTest::mouseClick(Button("btnUndo"), Qt::LeftButton); }
  void RedoButton() { QTest::mouseClick(Button("btnRedo"), Qt::LeftButton); }
};

}  // namespace

TEST_F(UndoTest, DeletedPictureLayerComesBackWholeEvenWithoutItsSource)
{
  QToolButton* undo = Button("btnUndo");
  QToolButton* redo = Button("btnRedo");
  ASSERT_NE(undo, nullptr);
  ASSERT_NE(redo, nullptr);
  EXPECT_FALSE(undo->toolTip().isEmpty());
  EXPECT_FALSE(redo->toolTip().isEmpty());
  EXPECT_FALSE(undo->icon().isNull());
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_FALSE(redo->isEnabled());

  const QString photo = dir.filePath(QStringLiteral("photo.bmp"));
  ASSERT_TRUE(RandomBitmap(300, 200, 9).save(photo, "BMP"));
  doc().AddPictureLayer(40, 60, photo, 20, 30, 300, 200);
  AddWith("btnAddText", QPoint(300, 300));
  EXPECT_TRUE(undo->isEnabled());
  doc().SelectLayer(1);
  const TLayer before = *doc().LayerByNumber(1);
  const QImage cover = doc().Cover().copy();
  const QStringList lines = Lines();

  Button("btnDelete")->click();
  ASSERT_EQ(doc().LayerCount(), 2);
  ASSERT_TRUE(QFile::remove(photo));
  Undo();
  ASSERT_EQ(doc().LayerCount(), 3);
  const TLayer* back = doc().LayerByNumber(1);
  EXPECT_EQ(back->Left, 40);
  EXPECT_EQ(back->Top, 60);
  EXPECT_EQ(back->SoftV, 20);
  EXPECT_EQ(back->SoftH, 30);
  EXPECT_TRUE(SamePixels(back->Picture, before.Picture));
  EXPECT_TRUE(SamePixels(back->Mask, before.Mask));
  EXPECT_TRUE(QFileInfo::exists(back->WorkFile));
  EXPECT_TRUE(SamePixels(doc().Cover(), cover));
  // The list is whole again and shows the layer selected, as before.
  EXPECT_EQ(Lines(), lines);
  EXPECT_EQ(frm->CurrentNumber(), 1);
  EXPECT_EQ(frm->LayerList()->currentRow(), 1);
  EXPECT_TRUE(Button("btnDelete")->isEnabled());
  EXPECT_TRUE(redo->isEnabled());

  // Ctrl+Y and Ctrl+Shift+Z both redo.
  RedoY();
  EXPECT_EQ(doc().LayerCount(), 2);
  EXPECT_EQ(Lines(), lines.mid(0, 1));
  EXPECT_EQ(frm->CurrentNumber(), -1);
  EXPECT_FALSE(redo->isEnabled());
  Undo();
  EXPECT_EQ(doc().LayerCount(), 3);
  RedoShiftZ();
  EXPECT_EQ(doc().LayerCount(), 2);

  // The picture layer's work copy still serves a resize after coming back.
  Undo();
  doc().UpdatePictureLayer(1, 40, 60, QString(), 20, 30, 150, 100);
  EXPECT_EQ(doc().LayerByNumber(1)->Width, 150);
  EXPECT_FALSE(redo->isEnabled());
}

TEST_F(UndoTest, DragsAreUndoneOneByOne)
{
  AddWith("btnAddText", QPoint(100, 50));
  ASSERT_EQ(frm->CurrentNumber(), 1);
  const QImage cover = doc().Cover().copy();
  Drag(canvas(), QPoint(150, 90), QPoint(250, 190));  // the body
  ASSERT_EQ(doc().LayerByNumber(1)->Left, 200);
  Drag(canvas(), QPoint(400, 250), QPoint(450, 260));  // the bottom-right handle
  ASSERT_EQ(doc().LayerByNumber(1)->Width, 250);
  const QImage resized = doc().Cover().copy();

  Undo();
  EXPECT_EQ(doc().LayerByNumber(1)->Width, 200);
  EXPECT_EQ(doc().LayerByNumber(1)->Left, 200);
  Undo();
  EXPECT_EQ(doc().LayerByNumber(1)->Left, 100);
  EXPECT_EQ(doc().LayerByNumber(1)->Top, 50);
  EXPECT_TRUE(SamePixels(doc().Cover(), cover));
  EXPECT_EQ(frm->CurrentNumber(), 1);
  // A click without moving is no step.
  Click(canvas(), QPoint(150, 90));
  RedoY();
  RedoY();
  EXPECT_TRUE(SamePixels(doc().Cover(), resized));
}

TEST_F(UndoTest, EditorSessionIsOneStep)
{
  AttachLayerEditors(*frm);
  AddWith("btnAddText", QPoint(100, 50));
  const QImage cover = doc().Cover().copy();
  const int steps = canvas()->History().UndoCount();

  // Three previews, then OK.
  AnswerNextModal([](QWidget* w) {
    auto* text = qobject_cast<TfrmTextProperty*>(w);
    ASSERT_NE(text, nullptr);
    text->TextEdit()->selectAll();
    QTest::keyClicks(text->TextEdit(), QStringLiteral("Liner"));
    QTest::keyClick(text->TextEdit(), Qt::Key_Return);
    text->findChild<QCheckBox*>(QStringLiteral("cboxBold"))->click();
    QTest::keyClicks(text->TextEdit(), QStringLiteral(" notes"));
    QTest::keyClick(text->TextEdit(), Qt::Key_Return);
    QTest::mouseClick(text->findChild<QPushButton*>(QStringLiteral("btnOk")), Qt::LeftButton);
  });
  DoubleClick(canvas(), QPoint(150, 90));
  ASSERT_EQ(doc().LayerByNumber(1)->Text, QStringLiteral("Liner notes"));
  EXPECT_EQ(canvas()->History().UndoCount(), steps + 1);

  // A session given up leaves no step.
  AnswerNextModal([](QWidget* w) {
    auto* text = qobject_cast<TfrmTextProperty*>(w);
    ASSERT_NE(text, nullptr);
    QTest::keyClicks(text->TextEdit(), QStringLiteral("!"));
    QTest::keyClick(text->TextEdit(), Qt::Key_Return);
    QTest::mouseClick(text->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
  });
  Button("btnEdit")->click();
  EXPECT_EQ(canvas()->History().UndoCount(), steps + 1);

  UndoButton();
  EXPECT_EQ(doc().LayerByNumber(1)->Text, QStringLiteral("Text"));
  EXPECT_EQ(doc().LayerByNumber(1)->FontStyles, 0);
  EXPECT_TRUE(SamePixels(doc().Cover(), cover));
  EXPECT_EQ(Lines(), QStringList{LayerLine(QStringLiteral("Text"), QStringLiteral("Text"))});
  RedoButton();
  EXPECT_EQ(Lines(), QStringList{LayerLine(QStringLiteral("Text"), QStringLiteral("Liner notes"))});
}

TEST_F(UndoTest, UndoingBackToTheSavedStateClearsModified)
{
  AddWith("btnAddText", QPoint(100, 50));
  const QString file = dir.filePath(QStringLiteral("cover.jkp"));
  AnswerNextModal([file](QWidget* dlg) { AnswerFileDialog(dlg, file); });
  frm->btnSaveClick();
  ASSERT_FALSE(doc().Modified());
  Drag(canvas(), QPoint(150, 90), QPoint(250, 190));
  AddWith("btnAddTime", QPoint(20, 300));
  EXPECT_TRUE(doc().Modified());
  UndoButton();
  EXPECT_TRUE(doc().Modified());
  UndoButton();
  EXPECT_FALSE(doc().Modified());
  // No question before opening: only the open dialog comes (and is closed).
  EXPECT_EQ(ModalsDuring([this] { frm->btnOpenClick(); }), 1);
  UndoButton();  // back before the save
  EXPECT_TRUE(doc().Modified());
  RedoButton();
  EXPECT_FALSE(doc().Modified());
  RedoButton();
  EXPECT_TRUE(doc().Modified());

  // Open and New start an empty history.
  AnswerNextModal([file](QWidget* box) {
    AnswerNextModal([file](QWidget* dlg) { AnswerFileDialog(dlg, file); }, box);
    ClickMessageButton(box, QStringLiteral("No"));
  });
  frm->btnOpenClick();
  EXPECT_EQ(doc().LayerCount(), 2);
  EXPECT_FALSE(Button("btnUndo")->isEnabled());
  EXPECT_FALSE(Button("btnRedo")->isEnabled());
  Click(canvas(), QPoint(150, 90));  // selects the layer
  EXPECT_FALSE(Button("btnUndo")->isEnabled());
  Drag(canvas(), QPoint(150, 90), QPoint(160, 90));
  EXPECT_TRUE(Button("btnUndo")->isEnabled());
  UndoButton();
  EXPECT_FALSE(doc().Modified());
  RedoButton();
  AnswerNextModal([](QWidget* box) { ClickMessageButton(box, QStringLiteral("No")); });
  frm->btnNewClick();
  EXPECT_FALSE(Button("btnUndo")->isEnabled());
  EXPECT_FALSE(Button("btnRedo")->isEnabled());
}
