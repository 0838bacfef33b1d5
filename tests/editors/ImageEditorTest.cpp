// The picture editor driven like a user: slider drags with the button held
// and released, keyboard steps, the preview, OK building the new mask and
// Cancel leaving the layer alone.
#include "EditorTestSupport.h"
#include "TestSupport.h"

#include "canvas/CoverDocument.h"
#include "editors/formImageProperty.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

class ImageEditorTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(work.isValid());
    doc.SetWorkFolder(work.path());
    const QString file = work.filePath(QStringLiteral("photo.bmp"));
    RandomBitmap(600, 300, 3).save(file, "BMP");
    doc.AddPictureLayer(30, 40, file, 10, 10, 600, 300);
    frm = std::make_unique<TfrmImageProperty>(doc);
    auto set = frm->SetLayerBitmaps;
    frm->SetLayerBitmaps = [this, set](int n, int l, int t, int v, int h, const QImage& p, const QImage& m) {
      ++setCalls;
      set(n, l, t, v, h, p, m);
    };
  }

  void Open()
  {
    const TPictureLayerInfo p = doc.GetPictureLayer(1);
    frm->LoadBitmaps(*p.Picture, *p.Mask);
    frm->LoadValues(1, p.Left, p.Top, p.SoftV, p.SoftH);
    frm->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
  }

  QString Label(const char* name) const { return frm->findChild<QLabel*>(QString::fromLatin1(name))->text(); }
  void Press(const char* button)
  {
    QTest::mouseClick(frm->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
  }
  // A point of a slider in the window's coordinates, as the window system sees it.
  QPoint InWindow(QSlider* s, QPoint p) const { return s->mapTo(frm.get(), p); }

  QTemporaryDir work;
  TCoverDocument doc;
  std::unique_ptr<TfrmImageProperty> frm;
  int setCalls = 0;
};

}  // namespace

TEST_F(ImageEditorTest, SliderDragRebuildsThePreviewOnceAfterRelease)
{
  Open();
  EXPECT_EQ(frm->windowTitle(), QStringLiteral("  Image Property Editor"));
  EXPECT_EQ(frm->SliderV()->value(), 10);
  EXPECT_EQ(frm->SliderH()->value(), 10);
  EXPECT_EQ(Label("lbV"), QStringLiteral("Vertical 10 %"));
  EXPECT_EQ(Label("lbH"), QStringLiteral("Horizontal 10 %"));
  const int builds = frm->PreviewBuilds();
  const QImage before = frm->Preview().copy();

  // Press on the handle and drag it to the right end, in several moves, with
  // the button held: the labels follow, the preview waits.
  QSlider* s = frm->SliderV();
  QWindow* window = frm->windowHandle();
  const QPoint start = InWindow(s, HandleCentre(s));
  const QPoint end = InWindow(s, QPoint(s->width() - 1, HandleCentre(s).y()));
  QTest::mousePress(window, Qt::LeftButton, {}, start);
  for (int i = 1; i <= 6; ++i) QTest::mouseMove(window, start + (end - start) * i / 6);
  EXPECT_EQ(s->value(), 50);
  EXPECT_EQ(Label("lbV"), QStringLiteral("Vertical 50 %"));
  QSignalSpy built(frm.get(), &TfrmImageProperty::PreviewBuilt);
  EXPECT_FALSE(built.wait(350));
  EXPECT_EQ(frm->PreviewBuilds(), builds);
  EXPECT_TRUE(frm->ScrollTimer().isActive());

  // Released: rebuilt once, within the timer's period.
  QTest::mouseRelease(window, Qt::LeftButton, {}, end);
  ASSERT_TRUE(built.wait(1000));
  EXPECT_FALSE(built.wait(300));
  EXPECT_EQ(frm->PreviewBuilds(), builds + 1);
  EXPECT_FALSE(frm->ScrollTimer().isActive());
  EXPECT_FALSE(SamePixels(frm->Preview(), before));
  EXPECT_EQ(PixelAt(frm->Preview(), 100, 0), 0xFFFFFFu);
  const TLayer& l = *doc.LayerByNumber(1);

  // One key step: rebuilt shortly after.
  frm->SliderH()->setFocus();
  QTest::keyClick(frm->SliderH(), Qt::Key_Right);
  EXPECT_EQ(Label("lbH"), QStringLiteral("Horizontal 11 %"));
  ASSERT_TRUE(built.wait(1000));
  EXPECT_EQ(frm->PreviewBuilds(), builds + 2);

  // Nothing reached the cover before OK.
  EXPECT_EQ(setCalls, 0);
  EXPECT_EQ(l.SoftV, 10);
}

TEST_F(ImageEditorTest, OkBuildsTheMaskCancelChangesNothing)
{
  Open();
  const QImage picture = doc.LayerByNumber(1)->Picture.copy();
  const QImage mask = doc.LayerByNumber(1)->Mask.copy();
  frm->SliderV()->setValue(30);
  frm->SliderH()->setValue(0);
  Press("btnCancel");
  EXPECT_EQ(setCalls, 0);
  EXPECT_EQ(doc.LayerByNumber(1)->SoftV, 10);
  EXPECT_TRUE(SamePixels(doc.LayerByNumber(1)->Mask, mask));

  // Both at 0: the outermost two columns and rows are still transparent.
  Open();
  frm->SliderV()->setValue(0);
  frm->SliderH()->setValue(0);
  Press("btnOk");
  EXPECT_EQ(setCalls, 1);
  const TLayer& l = *doc.LayerByNumber(1);
  EXPECT_EQ(l.SoftV, 0);
  EXPECT_EQ(l.SoftH, 0);
  EXPECT_EQ(l.Left, 30);
  EXPECT_TRUE(SamePixels(l.Picture, picture));
  const int w = l.Mask.width(), h = l.Mask.height();
  for (const QPoint p : {QPoint(0, h / 2), QPoint(1, h / 2), QPoint(w - 1, h / 2), QPoint(w / 2, 0),
                         QPoint(w / 2, h - 2)})
    EXPECT_EQ(PixelAt(l.Mask, p.x(), p.y()) >> 8 & 0xFF, 255u) << p.x() << "," << p.y();
  EXPECT_EQ(PixelAt(l.Mask, w / 2, h / 2) >> 8 & 0xFF, 0u);
}

TEST_F(ImageEditorTest, LargePictureIsCutByOnePixel)
{
  QImage big = NewBitmap(470, 470, 0x0000FF);
  for (int y = 0; y < 470; ++y) big.scanLine(y)[3 * 1 + 2] = 0;  // column 1 blue-green
  frm->LoadBitmaps(big, NewBitmap(470, 470, 0));
  frm->LoadValues(1, 0, 0, 0, 0);
  frm->show();
  const QImage shown = frm->PaintBox()->grab().toImage();
  ASSERT_EQ(shown.size(), QSize(468, 468));
  // Column 0 of the paint box shows column 1 of the picture.
  EXPECT_EQ(shown.pixelColor(0, 234), QColor(0, 0, 0));
  EXPECT_EQ(shown.pixelColor(1, 234), QColor(255, 0, 0));
}
