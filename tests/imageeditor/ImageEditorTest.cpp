// The editing panel with its real worker: the run state machine, the
// one-step undo, the view's centring and panning, and the clipboard.
#include <gtest/gtest.h>

#include "EditorTestSupport.h"
#include "TestSupport.h"
#include "imageeditor/ImageEditor.h"
#include "imageeditor/effects/Effects.h"
#include "shell/ShellTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>

#include <memory>

namespace {

QImage Adjusted(const QImage& src, int brightness)
{
  QImage img = src.copy();
  AdjustColors(img, brightness, brightness, brightness, 0, 0, 0, false, false, false, false, false, 0, 0,
               img.width(), img.height());
  return img;
}

class ImageEditorTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    editor = std::make_unique<TImageEditor>();
    editor->resize(320, 240);
    editor->show();
    // Large enough that a median run lasts while the test makes its requests.
    src = RandomBitmap(400, 300, 11);
    editor->SetBitmap(src);
  }

  std::unique_ptr<TImageEditor> editor;
  QImage src;
};

}  // namespace

TEST_F(ImageEditorTest, ChangesDuringARunFoldIntoOneRestartWithTheLatest)
{
  QSignalSpy started(editor.get(), &TImageEditor::RunStarted);
  QSignalSpy finished(editor.get(), &TImageEditor::Finished);
  editor->RunMiddle(15);
  ASSERT_TRUE(editor->Running());
  editor->RunBrightnessContrast(10, 0, 0);
  editor->RunBrightnessContrast(20, 0, 0);
  editor->RunBrightnessContrast(30, 0, 0);
  ASSERT_TRUE(WaitCount(finished, 1));
  EXPECT_FALSE(finished.wait(300));  // nothing more follows
  ASSERT_EQ(started.count(), 2);
  EXPECT_EQ(started.at(1).at(0).toInt(), TProcessThread::ecBrightnessContrast);
  EXPECT_EQ(finished.count(), 1);
  EXPECT_TRUE(SamePixels(editor->Bitmap(), Adjusted(src, 30)));
  EXPECT_TRUE(SamePixels(editor->CommittedBitmap(), src));  // a preview, not committed
}

TEST_F(ImageEditorTest, RestoreAndUndoWaitForTheRunAndHappenOnce)
{
  QSignalSpy started(editor.get(), &TImageEditor::RunStarted);
  QSignalSpy finished(editor.get(), &TImageEditor::Finished);

  // Restore during a run: stopped, the committed picture shown, one Finished.
  editor->RunMiddle(15);
  editor->Restore();
  ASSERT_TRUE(WaitCount(finished, 1));
  EXPECT_FALSE(finished.wait(300));
  EXPECT_EQ(started.count(), 1);
  EXPECT_TRUE(SamePixels(editor->Bitmap(), src));

  // A change and then a Restore in the same run: no restart.
  editor->RunMiddle(15);
  editor->RunBrightnessContrast(40, 0, 0);
  editor->Restore();
  ASSERT_TRUE(WaitCount(finished, 2));
  EXPECT_FALSE(finished.wait(300));
  EXPECT_EQ(started.count(), 2);
  EXPECT_TRUE(SamePixels(editor->Bitmap(), src));

  // A Restore and then a change: the change is not lost, it runs after the
  // restore, and only its end is reported.
  editor->RunMiddle(15);
  editor->Restore();
  editor->RunBrightnessContrast(40, 0, 0);
  ASSERT_TRUE(WaitCount(finished, 3));
  EXPECT_FALSE(finished.wait(300));
  EXPECT_EQ(started.count(), 4);
  EXPECT_TRUE(SamePixels(editor->Bitmap(), Adjusted(src, 40)));

  // Commit during a run does nothing; after it, the preview is committed.
  editor->RunBrightnessContrast(50, 0, 0);
  editor->Commit();
  EXPECT_TRUE(SamePixels(editor->CommittedBitmap(), src));
  ASSERT_TRUE(WaitCount(finished, 4));
  editor->Commit();
  const QImage preview = Adjusted(src, 50);
  EXPECT_TRUE(SamePixels(editor->CommittedBitmap(), preview));
  EXPECT_TRUE(SamePixels(editor->UndoBitmap(), src));

  // Undo is a swap: twice is no change.
  editor->Undo();
  EXPECT_TRUE(SamePixels(editor->Bitmap(), src));
  editor->Undo();
  EXPECT_TRUE(SamePixels(editor->Bitmap(), preview));
  EXPECT_TRUE(SamePixels(editor->UndoBitmap(), src));

  // Two Undo requests during one run are carried out once.
  editor->RunMiddle(15);
  editor->Undo();
  editor->Undo();
  ASSERT_TRUE(WaitCount(finished, 5));
  EXPECT_FALSE(finished.wait(300));
  EXPECT_TRUE(SamePixels(editor->Bitmap(), src));
  EXPECT_TRUE(SamePixels(editor->CommittedBitmap(), src));
  EXPECT_TRUE(SamePixels(editor->UndoBitmap(), preview));
}

TEST_F(ImageEditorTest, ProgressReachesTheWindowThreadAndDestroyingDuringARunIsSafe)
{
  QSignalSpy progress(editor.get(), &TImageEditor::Progress);
  QSignalSpy finished(editor.get(), &TImageEditor::Finished);
  editor->RunMiddle(9);
  ASSERT_TRUE(WaitCount(finished, 1));
  ASSERT_GE(progress.count(), 1);
  EXPECT_LE(progress.count(), 301);  // at most one delivery per report
  EXPECT_EQ(progress.last().at(0).toInt(), 100);

  editor->SetBitmap(RandomBitmap(1500, 1000, 12));
  editor->RunMiddle(31);
  ASSERT_TRUE(progress.wait(20000));
  editor.reset();  // stops the run and waits for the worker
}

TEST_F(ImageEditorTest, PasteBecomesTheCommittedPictureAndUndoBringsTheOldOneBack)
{
  QString error;
  QApplication::clipboard()->setText(QStringLiteral("no picture"));
  EXPECT_FALSE(editor->PasteFromClipboard(error));
  EXPECT_TRUE(error.isEmpty());
  EXPECT_TRUE(SamePixels(editor->Bitmap(), src));

  // Too large to edit: refused with a reason, nothing changed.
  QImage huge(70000, 2, QImage::Format_RGB32);
  huge.fill(Qt::red);
  QApplication::clipboard()->setImage(huge);
  EXPECT_FALSE(editor->PasteFromClipboard(error));
  EXPECT_TRUE(error.contains(QStringLiteral("too large"))) << error.toStdString();
  EXPECT_TRUE(SamePixels(editor->Bitmap(), src));

  // A picture with transparency comes in as 24 bits, transparent parts white.
  QImage pasted(30, 20, QImage::Format_ARGB32);
  pasted.fill(Qt::transparent);
  pasted.setPixel(3, 4, qRgb(10, 20, 30));
  QApplication::clipboard()->setImage(pasted);
  ASSERT_TRUE(editor->PasteFromClipboard(error)) << error.toStdString();
  EXPECT_EQ(editor->Bitmap().format(), QImage::Format_BGR888);
  EXPECT_EQ(editor->Bitmap().size(), QSize(30, 20));
  EXPECT_EQ(PixelAt(editor->Bitmap(), 3, 4), 0x1E140Au);
  EXPECT_EQ(PixelAt(editor->Bitmap(), 0, 0), 0xFFFFFFu);
  // The next effect starts from the pasted picture.
  QSignalSpy finished(editor.get(), &TImageEditor::Finished);
  editor->RunBrightnessContrast(10, 0, 0);
  ASSERT_TRUE(WaitCount(finished, 1));
  EXPECT_EQ(editor->Bitmap().size(), QSize(30, 20));
  editor->Restore();
  editor->Undo();
  EXPECT_TRUE(SamePixels(editor->Bitmap(), src));

  editor->CopyToClipboard();
  EXPECT_EQ(QApplication::clipboard()->image().convertToFormat(QImage::Format_BGR888), src);
}

TEST(ImageEditorView, SmallPictureCentredLargeOnePansExactlyToItsEdges)
{
  TImageEditor editor;
  editor.resize(303, 203);  // a view of 301 × 201 inside the bevel
  editor.show();
  TViewBox* view = editor.ViewBox();
  ASSERT_EQ(view->size(), QSize(301, 201));

  // 100 × 50 in 301 × 201: 100 blank columns on the left, 101 on the right.
  const QImage small = RandomBitmap(100, 50, 21);
  editor.SetBitmap(small);
  editor.RefreshView();
  EXPECT_EQ(editor.ViewRect(), QRect(-100, -75, 301, 201));
  Drag(view, QPoint(150, 100), QPoint(90, 40));
  EXPECT_EQ(editor.ViewRect(), QRect(-100, -75, 301, 201));  // does not move
  const QImage shot = view->grab().toImage().convertToFormat(QImage::Format_BGR888);
  EXPECT_EQ(PixelAt(shot, 100, 75), PixelAt(small, 0, 0));
  EXPECT_EQ(PixelAt(shot, 199, 124), PixelAt(small, 99, 49));
  EXPECT_EQ(PixelAt(shot, 200, 75), 0xC0C0C0u);
  EXPECT_EQ(PixelAt(shot, 99, 75), 0xC0C0C0u);

  // 1000 × 800: the picture follows the mouse and stops at each edge.
  const QImage large = RandomBitmap(1000, 800, 22);
  editor.SetBitmap(large);
  editor.RefreshView();
  EXPECT_EQ(editor.ViewRect(), QRect(0, 0, 301, 201));
  Press(view, QPoint(200, 150));
  DragTo(view, QPoint(150, 120));
  EXPECT_EQ(editor.ViewRect().topLeft(), QPoint(50, 30));
  DragTo(view, QPoint(250, 170));  // overshoots the left edge by 50, top by 20
  EXPECT_EQ(editor.ViewRect().topLeft(), QPoint(0, 0));
  DragTo(view, QPoint(210, 160));  // back, but not yet past the edge point
  EXPECT_EQ(editor.ViewRect().topLeft(), QPoint(0, 0));
  DragTo(view, QPoint(190, 140));  // 10 and 10 beyond where the edges were reached
  EXPECT_EQ(editor.ViewRect().topLeft(), QPoint(10, 10));
  DragTo(view, QPoint(-2000, -2000));
  EXPECT_EQ(editor.ViewRect(), QRect(699, 599, 301, 201));
  Release(view, QPoint(-2000, -2000));
  EXPECT_FALSE(editor.Dragging());

  // What the window shows after panning by shifting is the picture's corner.
  QApplication::processEvents();
  const QPoint origin = view->mapTo(view->window(), QPoint(0, 0));
  const QImage screen = QGuiApplication::primaryScreen()
                            ->grabWindow(view->window()->winId(), origin.x(), origin.y(), 301, 201)
                            .toImage()
                            .convertToFormat(QImage::Format_BGR888);
  if (!screen.isNull() && screen.size() == QSize(301, 201)) {
    EXPECT_TRUE(SamePixels(screen, large.copy(699, 599, 301, 201)));
  }

  // A larger window keeps the corner where it can, pulled back inside.
  editor.resize(403, 303);
  EXPECT_EQ(editor.ViewRect(), QRect(599, 499, 401, 301));
  editor.resize(203, 103);
  EXPECT_EQ(editor.ViewRect(), QRect(599, 499, 201, 101));
}
