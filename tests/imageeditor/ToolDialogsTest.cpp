// The effect dialogs driven as a user drives them, over the real window and
// worker: labels while dragging, runs on release, OK enabling, and the runs
// each dialog asks for.
#include "EditorTestSupport.h"
#include "TestSupport.h"
#include "canvas/Functions.h"
#include "imageeditor/ToolBase.h"
#include "imageeditor/effects/Effects.h"
#include "shell/ShellTestSupport.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

namespace {

class ToolDialogsTest : public EditorWindowTest {
protected:
  void SetUp() override
  {
    EditorWindowTest::SetUp();
    src = RandomBitmap(120, 90, 31);
    Open(src, TempPath(QStringLiteral("photo.bmp")));
    started = std::make_unique<QSignalSpy>(editor(), &TImageEditor::RunStarted);
    finished = std::make_unique<QSignalSpy>(editor(), &TImageEditor::Finished);
  }
  void TearDown() override
  {
    started.reset();
    finished.reset();
    EditorWindowTest::TearDown();
  }

  // Shows a dialog as its menu entry does, without a modal loop.
  TfrmToolBase* Show(const char* item)
  {
    TfrmToolBase* tool = frm->Tool(QString::fromLatin1(item));
    EXPECT_NE(tool, nullptr) << item;
    if (tool) tool->show();
    return tool;
  }
  // Waits for the end of the runs asked for so far.
  void Settle()
  {
    ASSERT_TRUE(WaitCount(*finished, finished->count() + 1));
    ASSERT_FALSE(editor()->Running());
  }

  QImage src;
  std::unique_ptr<QSignalSpy> started, finished;
};

}  // namespace

TEST_F(ToolDialogsTest, SliderDragUpdatesTheLabelAndRunsOnlyOnRelease)
{
  TfrmToolBase* tool = Show("muEffectBC");
  EXPECT_EQ(tool->windowTitle(), QStringLiteral("Brightness/Contrast"));
  EXPECT_EQ(tool->width(), 298);
  EXPECT_EQ(tool->SliderLabel(0)->text(), QStringLiteral("Brightness 0"));
  EXPECT_EQ(tool->SliderLabel(1)->text(), QStringLiteral("Contrast 0"));
  EXPECT_FALSE(tool->OkButton()->isEnabled());
  EXPECT_EQ(started->count(), 0);  // no first run

  // Switching channels with both sliders at 0 runs nothing.
  tool->findChild<QRadioButton*>(QStringLiteral("rbRed"))->click();
  EXPECT_EQ(started->count(), 0);

  DragSlider(tool->Slider(0), -25, false);
  EXPECT_EQ(tool->SliderLabel(0)->text(), QStringLiteral("Brightness -25"));
  EXPECT_EQ(started->count(), 0);
  DragSlider(tool->Slider(0), -40);
  EXPECT_EQ(tool->SliderLabel(0)->text(), QStringLiteral("Brightness -40"));
  ASSERT_EQ(started->count(), 1);
  EXPECT_FALSE(tool->OkButton()->isEnabled());
  Settle();
  EXPECT_TRUE(tool->OkButton()->isEnabled());
  QImage expected = src.copy();
  AdjustColors(expected, -40, 0, 0, 0, 0, 0, false, false, false, false, false, 0, 0, 120, 90);
  EXPECT_TRUE(SamePixels(editor()->Bitmap(), expected));

  // Released where the last run started: nothing. The chosen channel again:
  // nothing. Another channel with a slider moved: a run, OK off until its end.
  DragSlider(tool->Slider(0), -10, false);
  DragSlider(tool->Slider(0), -40);
  tool->findChild<QRadioButton*>(QStringLiteral("rbRed"))->click();
  EXPECT_EQ(started->count(), 1);
  tool->findChild<QRadioButton*>(QStringLiteral("rbBlue"))->click();
  EXPECT_EQ(started->count(), 2);
  EXPECT_FALSE(tool->OkButton()->isEnabled());
  Settle();
  EXPECT_TRUE(tool->OkButton()->isEnabled());

  // OK keeps the preview and marks the picture modified.
  expected = src.copy();
  AdjustColors(expected, 0, 0, -40, 0, 0, 0, false, false, false, false, false, 0, 0, 120, 90);
  tool->OkButton()->click();
  EXPECT_FALSE(tool->isVisible());
  EXPECT_TRUE(frm->PictureModified());
  EXPECT_TRUE(SamePixels(editor()->CommittedBitmap(), expected));
  EXPECT_TRUE(SamePixels(editor()->Bitmap(), expected));
}

TEST_F(ToolDialogsTest, OkWaitsForTheRunOfTheLatestValuesAndTheTitleBarCancels)
{
  // A parameterless dialog runs when shown; OK comes with its end.
  TfrmToolBase* sketch = Show("muEffectSketch");
  EXPECT_EQ(started->count(), 1);
  EXPECT_FALSE(sketch->OkButton()->isEnabled());
  Settle();
  EXPECT_TRUE(sketch->OkButton()->isEnabled());
  sketch->close();  // the title bar's close button: Cancel
  EXPECT_TRUE(SamePixels(editor()->Bitmap(), src));
  EXPECT_FALSE(frm->PictureModified());

  // A second change during a run: OK stays off until the restarted run has
  // ended, and the preview shows the second change.
  editor()->SetBitmap(RandomBitmap(900, 700, 32));
  const QImage big = editor()->Bitmap();
  TfrmToolBase* middle = Show("muEffectMid");
  EXPECT_EQ(middle->SliderLabel(0)->text(), QStringLiteral("Block size 3"));
  DragSlider(middle->Slider(0), 25);
  DragSlider(middle->Slider(0), 5);
  const int before = finished->count();
  ASSERT_TRUE(WaitCount(*finished, before + 1));
  EXPECT_TRUE(middle->OkButton()->isEnabled());
  EXPECT_FALSE(finished->wait(300));
  QImage expected = big.copy();
  RankFilter(expected, 5, 5, rkMedian);
  EXPECT_TRUE(SamePixels(editor()->Bitmap(), expected));
  middle->reject();  // Escape
  EXPECT_TRUE(SamePixels(editor()->Bitmap(), big));

  // Shown again, it starts from its defaults whatever it showed before.
  Show("muEffectMid");
  EXPECT_EQ(middle->SliderLabel(0)->text(), QStringLiteral("Block size 3"));
  EXPECT_EQ(middle->Slider(0)->value(), 3);
  Settle();
  middle->close();
}

TEST_F(ToolDialogsTest, EachDialogAsksForItsOwnRun)
{
  const QImage& s = src;
  auto expect = [&](const std::function<void(QImage&)>& effect, const char* what) {
    Settle();
    QImage e = s.copy();
    effect(e);
    EXPECT_TRUE(SamePixels(editor()->Bitmap(), e)) << what;
  };

  // Fisheye: level 100 is the scale 0.66, level 1 the scale 1.353.
  TfrmToolBase* fisheye = Show("muEffectFisheye");
  expect([](QImage& i) { QImage d = i.copy(); Fisheye(i, d, (100 - 10) * 0.007L + 0.66L); i = d; }, "fisheye 10");
  DragSlider(fisheye->Slider(0), 100);
  EXPECT_EQ(fisheye->SliderLabel(0)->text(), QStringLiteral("Level 100"));
  expect([](QImage& i) { QImage d = i.copy(); Fisheye(i, d, 0.66L); i = d; }, "fisheye 100");
  DragSlider(fisheye->Slider(0), 1);
  expect([](QImage& i) { QImage d = i.copy(); Fisheye(i, d, 1.353L); i = d; }, "fisheye 1");
  fisheye->close();

  // FilmGrain at level 10 is uncoloured noise of amount 5.
  SetRandomSeed(4242);
  TfrmToolBase* grain = Show("muEffectFilmGrain");
  EXPECT_EQ(grain->SliderLabel(0)->text(), QStringLiteral("Level 10"));
  Settle();
  SetRandomSeed(4242);
  QImage noisy = src.copy();
  AddNoise(noisy, 5, false);
  EXPECT_TRUE(SamePixels(editor()->Bitmap(), noisy));
  grain->close();

  // Sharpen's items ask for their levels: Horizontal is the line sharpen
  // against left and right neighbours.
  TfrmToolBase* sharpen = Show("muEffectSharpen");
  expect([](QImage& i) { Sharpen3x3(i, 1); }, "sharpen less");
  sharpen->findChild<QGroupBox*>(QStringLiteral("rgLevel"))->findChildren<QRadioButton*>().at(1)->click();
  expect([](QImage& i) { SharpenLine(i, 1); }, "sharpen horizontal");
  sharpen->close();

  // Emboss: the pad's buttons choose the direction; the one already down
  // does nothing.
  auto* emboss = static_cast<TfrmToolDirection*>(Show("muEffectEmboss"));
  EXPECT_TRUE(emboss->Pad()->Button(0)->isChecked());
  expect([](QImage& i) { Emboss(i, 1, 1); }, "emboss up-left");
  const int runs = started->count();
  emboss->Pad()->Button(0)->click();
  EXPECT_EQ(started->count(), runs);
  emboss->Pad()->Button(3)->click();
  EXPECT_EQ(emboss->Pad()->Direction(), 3);
  expect([](QImage& i) { Emboss(i, 1, 4); }, "emboss right");
  DragSlider(emboss->Slider(0), 6);
  expect([](QImage& i) { Emboss(i, 6, 4); }, "emboss deep 6 right");
  emboss->close();

  // Color/Negative: no first run; the check box runs at once.
  TfrmToolBase* color = Show("muEffectCN");
  EXPECT_EQ(started->count(), runs + 2);
  color->CheckBox()->click();
  expect([](QImage& i) { AdjustColors(i, 0, 0, 0, 0, 0, 0, false, true, false, false, false, 0, 0, 120, 90); },
         "negative");
  color->close();
}
