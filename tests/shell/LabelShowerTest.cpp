// The canvas widget under the mouse: selecting, moving, resizing, double
// clicks, drops, cursors and the crawling selection marks.
#include "ShellTestSupport.h"

#include "TestSupport.h"
#include "canvas/LabelShower.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

class CanvasTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    canvas = std::make_unique<TLabelShower>();
    ASSERT_TRUE(work.isValid());
    doc().SetWorkFolder(work.path());
    doc().NewCover();
    canvas->OnCanvasMouseDown = [this](TLabelShower*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
      ++downs;
    };
    canvas->OnCanvasMouseUp = [this](TLabelShower*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
      ++ups;
      lastUp = QPoint(x, y);
    };
  }

  TCoverDocument& doc() { return canvas->Document(); }

  int AddText(int left, int top, const QString& text = QStringLiteral("Text"))
  {
    doc().AddTextLayer(left, top, text, QStringLiteral("Times New Roman"), 0, 0, false, true, 200, 100);
    return doc().LayerCount() - 1;
  }

  // A 600 × 300 picture: it enters the cover at a third of its size, 200 × 100.
  int AddPicture(int left, int top)
  {
    const QString file = work.filePath(QStringLiteral("source.bmp"));
    if (!QFileInfo::exists(file)) RandomBitmap(600, 300, 7).save(file, "BMP");
    doc().AddPictureLayer(left, top, file, 0, 0, 600, 300);
    return doc().LayerCount() - 1;
  }

  TRect Rect(int n) const { return canvas->LayerRect(n); }

  QTemporaryDir work;
  std::unique_ptr<TLabelShower> canvas;
  int downs = 0, ups = 0;
  QPoint lastUp;
};

}  // namespace

TEST_F(CanvasTest, ClickSelectsLayersAndTheBackgroundClearsTheSelection)
{
  const int a = AddText(100, 50);
  const int b = AddText(50, 250);
  doc().SelectLayer(-1);
  doc().SetModified(false);

  Click(canvas.get(), QPoint(120, 300));  // on b
  EXPECT_EQ(doc().SelectedNumber(), b);
  EXPECT_EQ(Rect(b).Left, 50);
  EXPECT_TRUE(canvas->MarksTimer().isActive());

  // A click on another layer only selects it, it does not move it.
  Click(canvas.get(), QPoint(150, 60));
  EXPECT_EQ(doc().SelectedNumber(), a);
  EXPECT_EQ(Rect(a).Left, 100);
  EXPECT_EQ(Rect(a).Top, 50);

  Click(canvas.get(), QPoint(420, 20));  // the background
  EXPECT_EQ(doc().SelectedNumber(), -1);
  EXPECT_FALSE(canvas->MarksTimer().isActive());
  EXPECT_FALSE(doc().Modified());
  EXPECT_EQ(downs, 3);
  EXPECT_EQ(ups, 3);
}

TEST_F(CanvasTest, TopLayerWinsAndTheSelectedLayerIsTriedFirst)
{
  const int low = AddText(100, 50);
  const int high = AddText(150, 80);
  doc().SelectLayer(-1);
  EXPECT_EQ(canvas->LayerAt(200, 100), high);
  EXPECT_EQ(canvas->LayerAt(110, 60), low);
  EXPECT_EQ(canvas->LayerAt(460, 460), 0);
  doc().SelectLayer(low);
  EXPECT_EQ(canvas->LayerAt(200, 100), low);  // inside the selected one
}

TEST_F(CanvasTest, MovingTheBody)
{
  const int n = AddText(100, 50);
  doc().SelectLayer(n);
  doc().SetModified(false);

  // Released where it was pressed: nothing changes.
  const TRect before = Rect(n);
  Drag(canvas.get(), QPoint(150, 80), QPoint(150, 80));
  EXPECT_EQ(Rect(n), before);
  EXPECT_FALSE(doc().Modified());

  // One pixel away moves the layer by one pixel.
  Drag(canvas.get(), QPoint(150, 80), QPoint(151, 80));
  EXPECT_EQ(Rect(n).Left, 101);
  EXPECT_EQ(Rect(n).Top, 50);
  EXPECT_TRUE(doc().Modified());
  EXPECT_EQ(doc().SelectedNumber(), n);
  EXPECT_TRUE(canvas->MarksTimer().isActive());
  EXPECT_EQ(doc().MarkRect().Left, 101 - 7);

  // Far beyond the right edge: Left stops at 470; beyond the left: −Width.
  const int w = Rect(n).Width();
  Drag(canvas.get(), QPoint(150, 80), QPoint(5000, 80));
  EXPECT_EQ(Rect(n).Left, 470);
  doc().MoveLayerTo(n, 100, 50);
  Drag(canvas.get(), QPoint(150, 80), QPoint(-5000, 80));
  EXPECT_EQ(Rect(n).Left, -w);
}

TEST_F(CanvasTest, FeedbackRectangleAndMarksWhileDragging)
{
  const int n = AddText(100, 50);
  doc().SelectLayer(n);
  const TRect r = Rect(n);
  const QImage cover = doc().Cover().copy();
  ASSERT_TRUE(canvas->MarksTimer().isActive());

  Hover(canvas.get(), QPoint(150, 80));
  Press(canvas.get(), QPoint(150, 80));
  EXPECT_FALSE(canvas->MarksTimer().isActive());  // marks hold still during a press
  DragTo(canvas.get(), QPoint(160, 90));
  ASSERT_TRUE(canvas->Feedback().has_value());
  EXPECT_EQ(*canvas->Feedback(), (TRect{r.Left + 10, r.Top + 10, r.Right + 10, r.Bottom + 10}));
  // The rectangle is dotted: inverted and untouched pixels alternate along it.
  const QImage shown = canvas->Shown();
  const int y = r.Top + 10;
  int inverted = 0;
  for (int x = r.Left + 20; x < r.Left + 40; ++x)
    if (PixelAt(shown, x, y) != PixelAt(doc().Cover(), x, y)) ++inverted;
  EXPECT_EQ(inverted, 10);
  EXPECT_TRUE(SamePixels(doc().Cover(), cover)) << "the cover itself is never drawn on";
  Release(canvas.get(), QPoint(160, 90));
  EXPECT_FALSE(canvas->Feedback().has_value());
  EXPECT_TRUE(canvas->MarksTimer().isActive());
}

TEST_F(CanvasTest, CornerDragOfAPictureKeepsItsProportions)
{
  const int n = AddPicture(100, 50);
  ASSERT_EQ(Rect(n), (TRect{100, 50, 300, 150}));
  doc().SelectLayer(n);
  doc().SetModified(false);
  // 100 right of and 10 below the bottom-right corner.
  Drag(canvas.get(), QPoint(300, 150), QPoint(400, 160));
  EXPECT_EQ(Rect(n), (TRect{100, 50, 320, 160}));
  const TLayer* l = doc().LayerByNumber(n);
  EXPECT_EQ(l->BoundWidth, 220);
  EXPECT_EQ(l->BoundHeight, 110);
  EXPECT_EQ(l->Picture.width(), 220);
  EXPECT_EQ(l->Picture.height(), 110);
  EXPECT_EQ(doc().LayerKind(n), lkPicture);
  EXPECT_TRUE(doc().Modified());
  EXPECT_EQ(doc().SelectedNumber(), n);
}

TEST_F(CanvasTest, CornerDragOfATextReRendersIntoTheNewBox)
{
  const int n = AddText(100, 50);
  doc().SelectLayer(n);
  const TRect r = Rect(n);
  Drag(canvas.get(), QPoint(r.Right, r.Bottom), QPoint(r.Right + 100, r.Bottom + 10));
  EXPECT_EQ(Rect(n).Width(), r.Width() + 100);
  EXPECT_EQ(Rect(n).Height(), r.Height() + 10);
  const TLayer* l = doc().LayerByNumber(n);
  EXPECT_EQ(l->BoundWidth, r.Width() + 100);
  EXPECT_EQ(l->BoundHeight, r.Height() + 10);
  EXPECT_EQ(l->Text, QStringLiteral("Text"));
  EXPECT_LE(l->Picture.width(), l->BoundWidth);
}

TEST_F(CanvasTest, CornerDragLimits)
{
  const int small = AddText(100, 50);
  doc().SelectLayer(small);
  TRect r = Rect(small);
  // Across the opposite corner: 10 × 10 at least.
  Drag(canvas.get(), QPoint(r.Right, r.Bottom), QPoint(0, 0));
  EXPECT_EQ(Rect(small), (TRect{100, 50, 110, 60}));

  // Far away: 470 at most.
  const int large = AddText(100, 50);
  doc().SelectLayer(large);
  r = Rect(large);
  Drag(canvas.get(), QPoint(r.Right, r.Bottom), QPoint(3000, 3000));
  EXPECT_EQ(Rect(large), (TRect{100, 50, 570, 520}));

  // The top-left handle dragged far beyond the cover's right edge: the
  // rectangle is shifted back so that it still touches the cover.
  doc().MoveLayerTo(large, 400, 50);
  doc().SelectLayer(large);
  Drag(canvas.get(), QPoint(395, 45), QPoint(2000, 45));
  EXPECT_EQ(Rect(large).Left, 470);
}

TEST_F(CanvasTest, ClickOnAHandleWithoutMovingChangesNothing)
{
  const int n = AddPicture(100, 50);
  doc().SelectLayer(n);
  doc().SetModified(false);
  // 5 pixels inside the bottom-right corner: a handle, but no drag.
  Drag(canvas.get(), QPoint(295, 145), QPoint(295, 145));
  EXPECT_EQ(Rect(n), (TRect{100, 50, 300, 150}));
  EXPECT_FALSE(doc().Modified());
}

TEST_F(CanvasTest, ResizeUsesTheKindOfTheLayerSelectedNow)
{
  const int text = AddText(20, 300);
  const int pic = AddPicture(100, 50);
  doc().SelectLayer(text);
  Hover(canvas.get(), QPoint(50, 320));  // the canvas notes a text layer
  doc().SelectLayer(pic);                // then the list selects the picture
  Press(canvas.get(), QPoint(300, 150));
  DragTo(canvas.get(), QPoint(400, 160));
  Release(canvas.get(), QPoint(400, 160));
  const TLayer* l = doc().LayerByNumber(pic);
  EXPECT_EQ(doc().LayerKind(pic), lkPicture);
  EXPECT_TRUE(l->Text.isEmpty());
  EXPECT_EQ(Rect(pic), (TRect{100, 50, 320, 160}));
}

TEST_F(CanvasTest, DoubleClickOpensTheEditorOnceAndSwallowsItsPress)
{
  const int n = AddText(100, 50);
  doc().SelectLayer(n);
  int texts = 0, backgrounds = 0, dbl = 0;
  doc().OnEditText = [&](int number, const TTextLayerInfo& info) {
    ++texts;
    EXPECT_EQ(number, n);
    EXPECT_EQ(info.Text, QStringLiteral("Text"));
  };
  doc().OnEditBackground = [&](const TBackgroundInfo&) { ++backgrounds; };
  canvas->OnCanvasDblClick = [&](TLabelShower*) { ++dbl; };
  doc().SetModified(false);

  DoubleClick(canvas.get(), QPoint(150, 80));
  EXPECT_EQ(texts, 1);
  EXPECT_EQ(dbl, 1);
  EXPECT_EQ(downs, 1);  // the second press was ignored
  EXPECT_EQ(ups, 1);
  EXPECT_FALSE(doc().Modified());
  EXPECT_EQ(Rect(n).Left, 100);

  // The next real press is handled again.
  Click(canvas.get(), QPoint(150, 80));
  EXPECT_EQ(downs, 2);

  // With nothing selected a double click opens the background editor.
  doc().SelectLayer(-1);
  DoubleClick(canvas.get(), QPoint(420, 420));
  EXPECT_EQ(backgrounds, 1);
  EXPECT_EQ(texts, 1);
}

TEST_F(CanvasTest, ReleaseWithoutPressIsNotPassedOn)
{
  AddText(100, 50);
  Release(canvas.get(), QPoint(10, 10));
  EXPECT_EQ(ups, 0);
  Press(canvas.get(), QPoint(10, 10), Qt::RightButton);
  Release(canvas.get(), QPoint(10, 10), Qt::RightButton);
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(ups, 0);
  Press(canvas.get(), QPoint(10, 10));
  canvas->ResetPress();  // a dialog took the release
  Release(canvas.get(), QPoint(10, 10));
  EXPECT_EQ(ups, 0);
  Click(canvas.get(), QPoint(12, 14));
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(lastUp, QPoint(12, 14));
}

TEST_F(CanvasTest, CursorFollowsTheZone)
{
  const int n = AddText(100, 50);
  doc().SelectLayer(n);
  const TRect r = Rect(n);
  Hover(canvas.get(), QPoint(r.Left + 20, r.Top + 20));
  EXPECT_EQ(canvas->cursor().shape(), Qt::SizeAllCursor);
  Hover(canvas.get(), QPoint(r.Left - 5, r.Top - 5));
  EXPECT_EQ(canvas->cursor().shape(), Qt::SizeFDiagCursor);
  Hover(canvas.get(), QPoint(r.Right + 5, r.Bottom + 5));
  EXPECT_EQ(canvas->cursor().shape(), Qt::SizeFDiagCursor);
  Hover(canvas.get(), QPoint(r.Right + 5, r.Top - 5));
  EXPECT_EQ(canvas->cursor().shape(), Qt::SizeBDiagCursor);
  Hover(canvas.get(), QPoint(r.Left - 5, r.Bottom + 5));
  EXPECT_EQ(canvas->cursor().shape(), Qt::SizeBDiagCursor);
  Hover(canvas.get(), QPoint(460, 460));
  EXPECT_EQ(canvas->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(CanvasTest, OnlyFavouritesAreAcceptedAsDrops)
{
  QObject* droppedSource = reinterpret_cast<QObject*>(1);
  QPoint dropped(-1, -1);
  canvas->OnCanvasDragDrop = [&](TLabelShower*, QObject* source, int x, int y) {
    droppedSource = source;
    dropped = QPoint(x, y);
  };

  QMimeData other;
  other.setText(QStringLiteral("/some/file.jpg"));
  QDragEnterEvent refused(QPoint(50, 60), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(canvas.get(), &refused);
  EXPECT_FALSE(refused.isAccepted());
  QDropEvent otherDrop(QPointF(50, 60), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(canvas.get(), &otherDrop);
  EXPECT_EQ(dropped, QPoint(-1, -1));

  QMimeData favourite;
  favourite.setData(TLabelShower::FavouriteMimeType, QByteArray("/pictures/a.jpg"));
  QDragEnterEvent accepted(QPoint(50, 60), Qt::CopyAction, &favourite, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(canvas.get(), &accepted);
  EXPECT_TRUE(accepted.isAccepted());
  QDropEvent drop(QPointF(50, 60), Qt::CopyAction, &favourite, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(canvas.get(), &drop);
  EXPECT_EQ(dropped, QPoint(50, 60));
  EXPECT_EQ(droppedSource, nullptr);  // dragged from outside any of our widgets here
}

TEST_F(CanvasTest, MarksCrawlOnTheEditingAreaOnly)
{
  const int n = AddText(100, 50);
  doc().SelectLayer(n);
  const QImage cover = doc().Cover().copy();
  EXPECT_TRUE(SamePixels(canvas->Shown(), cover));  // a paint shows no marks until the first tick
  canvas->TickMarks();
  const QImage first = canvas->Shown();
  EXPECT_FALSE(SamePixels(first, cover));
  EXPECT_TRUE(SamePixels(doc().Cover(), cover));
  // On the outline's top edge every pixel is black or white.
  const TRect r = Rect(n);
  for (int x = r.Left; x < r.Right; ++x) {
    const uint32_t p = PixelAt(first, x, r.Top);
    EXPECT_TRUE(p == 0 || p == 0xFFFFFF) << x;
  }
  canvas->TickMarks();
  EXPECT_FALSE(SamePixels(canvas->Shown(), first));  // the stripes moved on
  doc().Redraw();
  EXPECT_TRUE(SamePixels(canvas->Shown(), cover));  // wiped by a paint
}

TEST_F(CanvasTest, MarksTimerTicksEveryTenthOfASecond)
{
  const int n = AddText(100, 50);
  doc().SelectLayer(n);
  EXPECT_EQ(canvas->MarksTimer().interval(), 100);
  QSignalSpy spy(&canvas->MarksTimer(), &QTimer::timeout);
  EXPECT_TRUE(spy.wait(1000));
  doc().DeleteLayer(n);
  EXPECT_FALSE(canvas->MarksTimer().isActive());
}
