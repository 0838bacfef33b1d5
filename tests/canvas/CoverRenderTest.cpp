// Composition of backgrounds and picture layers, the print cover, work
// copies and the selection-mark outline.
#include "canvas/CoverDocument.h"
#include "canvas/CoverRender.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A picture whose every column has its own colour (red = column, green = row).
QImage Ramp(int w, int h)
{
  QImage img(w, h, QImage::Format_BGR888);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = img.scanLine(y) + 3 * x;
      p[0] = 7;
      p[1] = uint8_t(y);
      p[2] = uint8_t(x);
    }
  return img;
}

class CoverRenderTest : public ::testing::Test {
protected:
  QString Save(const QImage& img, const QString& name)
  {
    const QString path = m_dir.path() + '/' + name;
    EXPECT_TRUE(img.save(path, "BMP"));
    return path;
  }
  void SetUp() override { m_doc.SetWorkFolder(m_dir.path() + "/work"); }
  QTemporaryDir m_dir;
  TCoverDocument m_doc;
};

}  // namespace

TEST_F(CoverRenderTest, GradientBackgroundsEndColumnsAndRows)
{
  m_doc.SetBackground("", imCenter, MakeColor(255, 0, 0), MakeColor(0, 0, 255), false, false);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 0, 200), MakeColor(255, 0, 0));
  EXPECT_EQ(PixelAt(m_doc.Cover(), 469, 17), MakeColor(0, 0, 255));
  m_doc.SetBackground("", imCenter, MakeColor(255, 0, 0), MakeColor(0, 0, 255), true, false);
  for (int x : {0, 250, 469}) {
    EXPECT_EQ(PixelAt(m_doc.Cover(), x, 0), MakeColor(255, 0, 0));
    EXPECT_EQ(PixelAt(m_doc.Cover(), x, 469), MakeColor(0, 0, 255));
  }
  // A solid fill keeps its colour even when it is pure white or black.
  m_doc.SetBackground("", imCenter, 0x000000, -1, true, false);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 100, 100), 0u);
}

TEST_F(CoverRenderTest, CenterStretchAndTilePlacePictures)
{
  const QString file = Save(Ramp(100, 50), "small.bmp");
  m_doc.SetBackground(file, imCenter, MakeColor(0, 200, 0), -1, true, true);
  // Enlarged to 476 × 238 and drawn at (−3, 116) over the colour fill.
  const QImage& c = m_doc.Cover();
  EXPECT_EQ(PixelAt(c, 10, 115), MakeColor(0, 200, 0));
  EXPECT_EQ(PixelAt(c, 10, 354), MakeColor(0, 200, 0));
  EXPECT_EQ(PixelAt(c, 0, 116), MakeColor(3 * 100 / 476, 0, 7));
  EXPECT_EQ(PixelAt(c, 469, 353), MakeColor((469 + 3) * 100 / 476, 237 * 50 / 238, 7));

  m_doc.SetBackground(file, imStretch, MakeColor(0, 200, 0), -1, true, true);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 0, 0), MakeColor(0, 0, 7));
  EXPECT_EQ(PixelAt(m_doc.Cover(), 469, 469), MakeColor(99, 49, 7));

  m_doc.SetBackground(file, imTile, MakeColor(0, 200, 0), -1, true, true);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 5, 238), PixelAt(m_doc.Cover(), 5, 0));  // repeated below
  EXPECT_EQ(PixelAt(m_doc.Cover(), 469, 469), PixelAt(m_doc.Cover(), 469, 469 - 238));

  // A picture that can't be read: the colour fill alone (Center) or white.
  m_doc.SetBackground(m_dir.path() + "/missing.bmp", imCenter, MakeColor(0, 200, 0), -1, true, true);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 235, 235), MakeColor(0, 200, 0));
  m_doc.SetBackground(m_dir.path() + "/missing.bmp", imTile, MakeColor(0, 200, 0), -1, true, true);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 235, 235), 0xFFFFFFu);
  EXPECT_EQ(m_doc.Background().ImageMode, imTile);
}

TEST_F(CoverRenderTest, PictureLayerWorkCopyScreenPictureAndPrint)
{
  const QString file = Save(Ramp(600, 300), "photo.bmp");
  m_doc.AddPictureLayer(-40, 400, file, 0, 0, 600, 300);
  const TLayer* l = m_doc.LayerByNumber(1);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(QSize(l->Width, l->Height), QSize(200, 100));  // a third of the source
  EXPECT_EQ(l->BoundWidth, 200);
  EXPECT_EQ(l->ActualWidth, 600);
  EXPECT_TRUE(QFile::exists(l->WorkFile));
  EXPECT_TRUE(l->WorkFile.startsWith(m_dir.path() + "/work/"));
  QImage work(l->WorkFile);
  EXPECT_EQ(work.size(), QSize(600, 300));
  EXPECT_EQ(m_doc.LayerKind(1), lkPicture);

  // Only the visible part is composed: columns 0 … 159 and rows 400 … 469
  // (the two outermost rows and columns of the mask are transparent).
  EXPECT_NE(PixelAt(m_doc.Cover(), 0, 410), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 160, 400), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 0, 399), 0xFFFFFFu);

  QImage print;
  m_doc.RenderPrintImage(print);
  ASSERT_EQ(print.size(), QSize(940, 940));
  EXPECT_NE(PixelAt(print, 0, 820), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(print, 320, 800), 0xFFFFFFu);  // 2 × (−40 + 200)
  EXPECT_EQ(PixelAt(print, 0, 799), 0xFFFFFFu);
  EXPECT_NE(PixelAt(print, 317, 900), 0xFFFFFFu);

  // The source vanishes: the print comes from the work copy, as the screen does.
  const QImage printed = print;
  QFile::remove(file);
  m_doc.RenderPrintImage(print);
  EXPECT_TRUE(SamePixels(print, printed));
  m_doc.Redraw();
  EXPECT_NE(PixelAt(m_doc.Cover(), 0, 410), 0xFFFFFFu);
}

TEST_F(CoverRenderTest, UpdatePictureLayerRefitsFromTheWorkCopy)
{
  const QString file = Save(Ramp(600, 300), "photo.bmp");
  m_doc.AddPictureLayer(10, 10, file, 10, 20, 600, 300);
  const QString work = m_doc.LayerByNumber(1)->WorkFile;
  m_doc.SetModified(false);
  m_doc.UpdatePictureLayer(1, 20, 30, work, 10, 20, 220, 110);
  const TLayer* l = m_doc.LayerByNumber(1);
  EXPECT_EQ(QSize(l->Width, l->Height), QSize(220, 110));
  EXPECT_EQ(l->WorkFile, work);
  EXPECT_EQ(l->BoundWidth, 220);
  EXPECT_EQ(l->Left, 20);
  EXPECT_TRUE(m_doc.Modified());
  // Soft edges: the outermost mask column is transparent.
  EXPECT_EQ(l->Mask.constScanLine(50)[1], 255);
  EXPECT_EQ(l->Mask.constScanLine(55)[3 * 110 + 1], 0);
  // Asked for more than 470: the screen picture stays within 470.
  m_doc.UpdatePictureLayer(1, 0, 0, work, 0, 0, 900, 900);
  EXPECT_LE(m_doc.LayerByNumber(1)->Width, 470);
}

// A picture whose right half is transparent (a TIFF with alpha written by
// ImageMagick): on a picture layer the background shows through that half,
// on the screen, in print, after a resize from the work copy and after new
// soft edges; as the background it lies over the colour fill.
TEST_F(CoverRenderTest, TransparentHalfOfAPictureShowsWhatLiesBelow)
{
  const QString file = TestDataPath("colour/half_alpha.tif");  // 64 × 32, orange | transparent
  constexpr TColor kBlue = 0xFF0000, kOrange = 0x00A5FF;
  m_doc.SetBackground(QString(), imCenter, kBlue, -1, false, false);
  ASSERT_TRUE(m_doc.LoadPictureLayer(100, 100, file, 0, 0, 64, 32, 64, 32));
  EXPECT_EQ(PixelAt(m_doc.Cover(), 100 + 16, 116), kOrange);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 100 + 48, 116), kBlue);

  QImage print;
  m_doc.RenderPrintImage(print);
  EXPECT_EQ(PixelAt(print, 200 + 32, 232), kOrange);
  EXPECT_EQ(PixelAt(print, 200 + 96, 232), kBlue);

  // The work copy keeps the alpha: a resize re-reads it.
  const TLayer* l = m_doc.LayerByNumber(1);
  m_doc.UpdatePictureLayer(1, 100, 100, l->WorkFile, 0, 0, 128, 64);
  l = m_doc.LayerByNumber(1);
  ASSERT_EQ(QSize(l->Width, l->Height), QSize(128, 64));
  EXPECT_EQ(PixelAt(m_doc.Cover(), 100 + 40, 116), kOrange);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 100 + 90, 116), kBlue);

  // New soft edges from the picture editor (a mask faded from black): the
  // picture's own transparency stays; a soft edge makes the opaque half's
  // border transparent.
  QImage mask = NewBitmap(l->Width, l->Height, 0x000000);
  SoftenMaskEdges(mask, 20, 20);
  const QImage picture = l->Picture;
  m_doc.SetLayerBitmaps(1, 100, 100, 20, 20, picture, mask);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 100 + 90, 116), kBlue);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 100 + 40, 116), kOrange);
  EXPECT_EQ(PixelAt(m_doc.Cover(), 100, 116), kBlue);

  // As the background, centred: the colour fill shows through.
  m_doc.SetBackground(file, imCenter, kBlue, -1, false, true);
  const QImage& bg = m_doc.LayerByNumber(0)->Picture;
  EXPECT_EQ(PixelAt(bg, 100, 235), kOrange);
  EXPECT_EQ(PixelAt(bg, 370, 235), kBlue);
  m_doc.SetBackground(file, imStretch, kBlue, -1, false, true);
  EXPECT_EQ(PixelAt(m_doc.LayerByNumber(0)->Picture, 100, 235), kOrange);
  EXPECT_EQ(PixelAt(m_doc.LayerByNumber(0)->Picture, 370, 235), kBlue);
}

TEST_F(CoverRenderTest, UnreadablePictureStillMakesAConsistentLayer)
{
  m_doc.AddPictureLayer(0, 0, m_dir.path() + "/nothing.jpg", 0, 0, 300, 150);
  const TLayer* l = m_doc.LayerByNumber(1);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->Picture.size(), l->Mask.size());
  EXPECT_EQ(QSize(l->Width, l->Height), l->Picture.size());
  EXPECT_FALSE(l->WorkFile.isEmpty());
}

TEST_F(CoverRenderTest, WorkFileNamesNeverRepeat)
{
  QStringList names;
  for (int i = 0; i < 50; ++i) {
    const QString n = m_doc.NewWorkFileName();
    EXPECT_FALSE(names.contains(n));
    EXPECT_TRUE(n.endsWith(".bmp"));
    names << n;
  }
  // A name that exists already is skipped.
  const QString next = m_doc.NewWorkFileName();
  QFileInfo fi(next);
  const QString taken = fi.path() + '/' + QString::number(fi.baseName().toLongLong() + 1) + ".bmp";
  QFile f(taken);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  EXPECT_NE(m_doc.NewWorkFileName(), taken);
}

TEST_F(CoverRenderTest, LoadPictureExactAndNotExact)
{
  const QString file = Save(Ramp(40, 20), "tiny.bmp");
  QImage pic, mask;
  ASSERT_TRUE(LoadPicture(file, 100, 30, pic, &mask, true));
  EXPECT_EQ(pic.size(), QSize(100, 30));  // stretched exactly to the box
  EXPECT_EQ(mask.size(), pic.size());
  EXPECT_EQ(PixelAt(mask, 50, 10), 0u);
  ASSERT_TRUE(LoadPicture(file, 100, 30, pic, nullptr, false));
  EXPECT_EQ(pic.size(), QSize(60, 30));  // smaller on both sides: FitToBox, ratio 66 %
  ASSERT_TRUE(LoadPicture(file, 100, 20, pic, nullptr, false));
  EXPECT_EQ(pic.size(), QSize(40, 20));  // as high as the box: kept
  ASSERT_TRUE(LoadPicture(file, 100, 100, pic, nullptr, false));
  EXPECT_EQ(pic.size(), QSize(100, 50));  // FitToBox: ratio 40 %
  // Nearest-pixel stretch repeats columns: no new colours appear.
  EXPECT_EQ(PixelAt(pic, 1, 0), PixelAt(pic, 0, 0));
  QImage untouched = RandomBitmap(3, 3, 1);
  const QImage before = untouched.copy();
  EXPECT_FALSE(LoadPicture(m_dir.path() + "/none.bmp", 10, 10, untouched, nullptr, true));
  EXPECT_TRUE(SamePixels(untouched, before));
}

TEST(SelectionMarks, OutlineGridAndHandles)
{
  TCoverDocument doc;
  doc.AddTextLayer(5, 5, "x", "Times New Roman", 0, 0, false, false, 20, 10);
  doc.SelectLayer(1);
  EXPECT_EQ(doc.MarkRect(), (TRect{-2, -2, 32, 22}));
  const auto& g = doc.OutlineMask();
  auto cell = [&](int c, int r) { return g[size_t(c) * 941 + size_t(r)]; };
  EXPECT_EQ(cell(7, 7), 127);     // mask corner: on the border
  EXPECT_EQ(cell(26, 10), 127);   // right border column
  EXPECT_EQ(cell(8, 8), 255);     // inside the layer
  EXPECT_EQ(cell(27, 10), 0);     // beyond the mask, outside the handles
  // Handles: 8 × 8 borders at the four corners of the enlarged rectangle.
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(cell(k, 0), 127);
    EXPECT_EQ(cell(0, k), 127);
    EXPECT_EQ(cell(26 + k, 16 + 7), 127);  // width + 6 … width + 13
    EXPECT_EQ(cell(26 + 7, 16 + k), 127);
  }
  EXPECT_EQ(cell(3, 3), 0);
}

TEST(SelectionMarks, RingStartsInRunsOfThreeAndCrawls)
{
  TCoverDocument doc;
  for (int i = 0; i < 12; ++i) EXPECT_EQ(doc.RingFlag(i), (i / 3) % 2 == 0) << i;
  const bool last = doc.RingFlag(1880);
  doc.AdvanceRing();
  EXPECT_EQ(doc.RingFlag(0), last);
  for (int i = 1; i < 12; ++i) EXPECT_EQ(doc.RingFlag(i), ((i - 1) / 3) % 2 == 0) << i;
}

TEST(SelectionMarks, PaintedOnlyOnTheAreaNeverIntoTheCover)
{
  TCoverDocument doc;
  doc.AddTextLayer(-20, -20, "x", "Times New Roman", 0, 0, false, false, 60, 60);
  doc.SelectLayer(1);
  const QImage coverBefore = doc.Cover().copy();
  QImage area = doc.Cover().copy();
  area.fill(QColor(10, 20, 30));
  doc.PaintMarks(area);
  EXPECT_TRUE(SamePixels(doc.Cover(), coverBefore));
  // The mask's right border column sits at x = −20 + 59 = 39; rows from 0 up.
  const uint32_t v = PixelAt(area, 39, 10);
  EXPECT_TRUE(v == 0u || v == 0xFFFFFFu);
  EXPECT_EQ(v == 0xFFFFFFu, doc.RingFlag((39 + 10) % 1881));
  EXPECT_EQ(PixelAt(area, 20, 10), PixelAt(NewBitmap(1, 1, MakeColor(10, 20, 30)), 0, 0));  // inside: untouched
}

TEST(SelectionMarks, OversizedMaskStaysInsideTheGrid)
{
  TCoverDocument doc;
  doc.AddTextLayer(0, 0, "x", "Times New Roman", 0, 0, false, false, 30, 30);
  doc.SetLayerBitmaps(1, 0, 0, 0, 0, NewBitmap(1200, 1000), NewBitmap(1200, 1000, 0));
  doc.SelectLayer(1);  // must not write outside the 941 × 941 grid (checked by the sanitizers)
  QImage area = NewBitmap(470, 470);
  doc.PaintMarks(area);
  SUCCEED();
}
