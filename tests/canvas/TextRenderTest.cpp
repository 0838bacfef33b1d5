// Text and track-list rendering: box sizes, ink placement, the shadow's
// offset, line alignment and print scale.
#include "canvas/TextRender.h"

#include "canvas/CoverDocument.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Bounding box of pixels whose green channel is below `limit` (ink in a mask).
QRect InkRect(const QImage& mask, int limit = 128)
{
  int left = mask.width(), top = mask.height(), right = -1, bottom = -1;
  for (int y = 0; y < mask.height(); ++y) {
    const uint8_t* row = mask.constScanLine(y);
    for (int x = 0; x < mask.width(); ++x)
      if (row[3 * x + 1] < limit) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

bool BlueIsZero(const QImage& mask)
{
  for (int y = 0; y < mask.height(); ++y)
    for (int x = 0; x < mask.width(); ++x)
      if (mask.constScanLine(y)[3 * x] != 0) return false;
  return true;
}

// Ink extent of one row band of a mask: leftmost and rightmost ink column.
std::pair<int, int> InkColumns(const QImage& mask, int y0, int y1)
{
  int l = mask.width(), r = -1;
  for (int y = y0; y < y1; ++y)
    for (int x = 0; x < mask.width(); ++x)
      if (mask.constScanLine(y)[3 * x + 1] < 128) {
        l = std::min(l, x);
        r = std::max(r, x);
      }
  return {l, r};
}

const QString kFace = QStringLiteral("Times New Roman");

}  // namespace

TEST(TextRender, DefaultTextLayerFillsItsBoxCentred)
{
  for (bool smooth : {true, false}) {
    SCOPED_TRACE(smooth);
    QImage pic, mask;
    RenderTextBitmap("Text", kFace, 0x000000, 0, false, smooth, 200, 100, pic, mask);
    ASSERT_EQ(pic.size(), QSize(200, 100));
    ASSERT_EQ(mask.size(), QSize(200, 100));
    EXPECT_TRUE(BlueIsZero(mask));
    EXPECT_EQ(mask.constScanLine(0)[1], 255);  // transparent around the glyphs
    EXPECT_EQ(mask.constScanLine(99)[3 * 199 + 1], 255);
    const QRect ink = InkRect(mask);
    ASSERT_FALSE(ink.isNull());
    // Centred: the margins left and right (and top and bottom) differ by at most a few pixels.
    EXPECT_LE(std::abs(ink.left() - (199 - ink.right())), 4);
    EXPECT_LE(std::abs(ink.top() - (99 - ink.bottom())), 4);
    EXPECT_GT(ink.width(), 100);  // the text is made as large as the box allows
  }
}

TEST(TextRender, LongTextShrinksIntoANarrowBox)
{
  for (bool smooth : {true, false}) {
    QImage pic, mask;
    RenderTextBitmap("A rather long line of text for a narrow box", kFace, 0x0000FF, fsBold | fsItalic, false,
                     smooth, 120, 200, pic, mask);
    EXPECT_EQ(pic.size(), QSize(120, 200));
    const QRect ink = InkRect(mask, 250);
    ASSERT_FALSE(ink.isNull());
    EXPECT_LE(ink.width(), 120 - 3);
    EXPECT_LE(ink.height(), 200 - 3);
    // Flat colour: the picture holds the text colour under the ink.
    const QPoint c = ink.center();
    bool found = false;
    for (int x = ink.left(); x <= ink.right() && !found; ++x)
      if (mask.constScanLine(c.y())[3 * x + 1] == 0) {
        found = PixelAt(pic, x, c.y()) == 0x0000FFu;
      }
    EXPECT_TRUE(found);
  }
}

TEST(TextRender, ShadowLiesBelowAndRight)
{
  QImage pic, mask, flatPic, flatMask;
  RenderTextBitmap("I", kFace, 0xFFFFFF, fsBold, true, false, 100, 100, pic, mask);
  const QRect shadowInk = InkRect(mask, 250);
  // Where the picture is black but the mask is partly opaque lies the shadow;
  // it extends further right and down than the coloured glyph.
  int glyphRight = -1, glyphBottom = -1;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      if (PixelAt(pic, x, y) == 0xFFFFFFu && mask.constScanLine(y)[3 * x + 1] < 128) {
        glyphRight = std::max(glyphRight, x);
        glyphBottom = std::max(glyphBottom, y);
      }
  ASSERT_GE(glyphRight, 0);
  EXPECT_GE(shadowInk.right() - glyphRight, 1);
  EXPECT_GE(shadowInk.bottom() - glyphBottom, 1);
  EXPECT_TRUE(BlueIsZero(mask));
}

TEST(TextRender, PrintRenderingIsExactlyTwiceTheSize)
{
  TCoverDocument doc;
  doc.AddTextLayer(20, 30, "Print", kFace, 0, 0, true, true, 150, 80);
  doc.AddTracksLayer(200, 200, {"One|||1:00", "Two|||2:00"}, kFace, 0, 0, false, true, 0, 120, 90, taLeft);
  QImage pic, mask;
  RenderTextBitmap("Print", kFace, 0, 0, true, true, 300, 160, pic, mask);
  EXPECT_EQ(pic.size(), QSize(300, 160));
  QImage print;
  doc.RenderPrintImage(print);
  EXPECT_EQ(print.size(), QSize(940, 940));
  // The text's ink lands inside its doubled rectangle.
  bool inkInside = false;
  for (int y = 60; y < 60 + 160 && !inkInside; ++y)
    for (int x = 40; x < 40 + 300; ++x)
      if (PixelAt(print, x, y) != 0xFFFFFFu) { inkInside = true; break; }
  EXPECT_TRUE(inkInside);
  for (int y = 0; y < 60; ++y) ASSERT_EQ(PixelAt(print, 100, y), 0xFFFFFFu) << y;
}

TEST(TracksRender, AlignmentOfLines)
{
  const QStringList tracks = {"A|||1:00", "A much longer track|||12:34", "Mid track|||3:00"};
  QImage pic, mask;
  RenderTracksBitmap(tracks, kFace, 0, 0, false, false, 0, 300, 150, taRight, pic, mask);
  ASSERT_EQ(mask.size(), QSize(300, 150));
  const QRect ink = InkRect(mask);
  ASSERT_FALSE(ink.isNull());
  const int band = ink.height() / 3;
  std::vector<std::pair<int, int>> cols;
  for (int i = 0; i < 3; ++i) cols.push_back(InkColumns(mask, ink.top() + i * band, ink.top() + (i + 1) * band));
  // Right alignment: right ends line up; left ends differ.
  EXPECT_LE(std::abs(cols[0].second - cols[1].second), 3);
  EXPECT_LE(std::abs(cols[2].second - cols[1].second), 3);
  EXPECT_GT(cols[0].first - cols[1].first, 20);

  RenderTracksBitmap(tracks, kFace, 0, 0, false, false, 0, 300, 150, taCenter, pic, mask);
  const QRect ink2 = InkRect(mask);
  const int band2 = ink2.height() / 3;
  const auto c0 = InkColumns(mask, ink2.top(), ink2.top() + band2);
  const auto c1 = InkColumns(mask, ink2.top() + band2, ink2.top() + 2 * band2);
  EXPECT_LE(std::abs((c0.first + c0.second) - (c1.first + c1.second)), 6);

  RenderTracksBitmap(tracks, kFace, 0, 0, false, false, 0, 300, 150, taLeft, pic, mask);
  const QRect ink3 = InkRect(mask);
  const int band3 = ink3.height() / 3;
  EXPECT_LE(std::abs(InkColumns(mask, ink3.top(), ink3.top() + band3).first -
                     InkColumns(mask, ink3.top() + band3, ink3.top() + 2 * band3).first),
            3);
}

TEST(TracksRender, LineSpaceChangesNothingAndTheSeparatorIsOneBlank)
{
  const QStringList tracks = {"Song|||3:21", "Other|||4:00"};
  QImage p1, m1, p2, m2;
  RenderTracksBitmap(tracks, kFace, 0x123456, fsBold, true, true, 0, 250, 120, taLeft, p1, m1);
  RenderTracksBitmap(tracks, kFace, 0x123456, fsBold, true, true, 40, 250, 120, taLeft, p2, m2);
  EXPECT_TRUE(SamePixels(p1, p2));
  EXPECT_TRUE(SamePixels(m1, m2));
  EXPECT_EQ(TrackLineForDisplay("Song|||3:21"), "Song 3:21");
  EXPECT_EQ(TrackLineForDisplay("a|||b|||c"), "a b|||c");
  EXPECT_EQ(TrackLineForDisplay("plain"), "plain");
}

TEST(TracksRender, EmptyTracksLayerPrintsNothing)
{
  TCoverDocument doc;
  doc.AddTracksLayer(10, 10, {}, kFace, 0, 0, false, false, 0, 100, 100, taLeft);
  QImage print;
  doc.RenderPrintImage(print);
  EXPECT_TRUE(SamePixels(print, NewBitmap(940, 940)));
}

// A text of 300 000 characters in a wide box: laid out at once, the size
// found within 64-bit widths, the bitmaps of the box's size.
TEST(TextRender, VeryLongTextFitsItsBox)
{
  QString text;
  while (text.size() < 300000) text += QStringLiteral("Jacketeer lays out long texts ");
  QImage picture, mask;
  RenderTextBitmap(text, QStringLiteral("DejaVu Sans"), 0x000000, 0, false, false, 4000, 4000, picture, mask);
  EXPECT_EQ(picture.size(), QSize(4000, 4000));
  EXPECT_EQ(mask.size(), QSize(4000, 4000));
}

// Lines put together from glyphs remembered from earlier lines (the same
// face and box, glyphs at the same places) are the lines drawn afresh, pixel
// for pixel, with and without smoothing and shadow.
TEST(TextRender, RememberedGlyphsGiveTheFreshlyDrawnText)
{
  const QString face = QStringLiteral("DejaVu Sans");
  for (int mode = 0; mode < 4; ++mode) {
    const bool smooth = mode & 1, shadow = mode & 2;
    SCOPED_TRACE(mode);
    auto render = [&](const QString& text, QImage& pic, QImage& mask) {
      RenderTextBitmap(text, face, 0x3060C0, 0, shadow, smooth, 240, 80, pic, mask);
    };
    QImage freshPic, freshMask;
    ClearTextRenderCaches();
    render("Layer 77", freshPic, freshMask);
    ClearTextRenderCaches();
    QImage pic, mask;
    render("Layer 17", pic, mask);
    render("Layer 71", pic, mask);
    render("Layer 77", pic, mask);  // every glyph known by now
    EXPECT_TRUE(SamePixels(pic, freshPic));
    EXPECT_TRUE(SamePixels(mask, freshMask));
    render("Layer 77", pic, mask);
    EXPECT_TRUE(SamePixels(pic, freshPic));
  }
}
