#include "LibraryReaderSupport.h"

#include "codecs/GifCodec.h"

namespace {

// The 16 × 12 fixture: 4 × 4 blocks of twelve colours.
uint32_t BlockColor(int x, int y)
{
  static const uint32_t pal[12] = {Rgb(0, 0, 0),     Rgb(255, 255, 255), Rgb(255, 0, 0),   Rgb(0, 255, 0),
                                   Rgb(0, 0, 255),   Rgb(255, 255, 0),   Rgb(0, 255, 255), Rgb(255, 0, 255),
                                   Rgb(128, 0, 0),   Rgb(0, 128, 0),     Rgb(0, 0, 128),   Rgb(128, 128, 0)};
  return pal[(x / 4 + (y / 4) * 4) % 12];
}

// A GIF of `frames` one-pixel frames (index 0, red) at (left, top) on a
// screen of w × h with a two-colour global palette.
QByteArray TinyGif(int frames, int w, int h, int left = 0, int top = 0)
{
  QByteArray g("GIF89a");
  auto u16 = [&g](int v) { g.append(char(v & 0xFF)); g.append(char((v >> 8) & 0xFF)); };
  u16(w); u16(h);
  g.append(char(0x80)); g.append(char(1)); g.append(char(0));
  g.append(QByteArray("\xFF\x00\x00\x00\x00\xFF", 6));  // red, blue; background blue
  for (int i = 0; i < frames; ++i) {
    g.append(char(0x2C)); u16(left); u16(top); u16(1); u16(1); g.append(char(0));
    g.append(QByteArray("\x02\x02\x44\x01\x00", 5));     // clear, 0, end of data
  }
  g.append(char(0x3B));
  return g;
}

TEST(GifReader, PlainAndInterlacedGiveTheSamePixels)
{
  const TDecodedImage plain = DecodeOk(DecodeGifFirstFrame, Fixture("gif/still_16x12.gif"));
  const TDecodedImage inter = DecodeOk(DecodeGifFirstFrame, Fixture("gif/interlaced_16x12.gif"));
  ASSERT_EQ(plain.Bitmap.size(), QSize(16, 12));
  EXPECT_EQ(plain.Width, 16);
  EXPECT_EQ(plain.Height, 12);
  EXPECT_EQ(plain.BitCount, 4);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(PixelAt(plain.Bitmap, x, y), BlockColor(x, y)) << x << "," << y;
  EXPECT_TRUE(SamePixels(plain.Bitmap, inter.Bitmap));
}

TEST(GifReader, AnimationKeepsFramesClippedToTheScreen)
{
  TGifAnimation gif;
  QString error;
  ASSERT_TRUE(gif.LoadFromData(Fixture("gif/anim_10x8.gif"), error)) << error.toStdString();
  EXPECT_EQ(gif.ScreenWidth, 10);
  EXPECT_EQ(gif.ScreenHeight, 8);
  EXPECT_EQ(gif.BackgroundColor, Rgb(0, 255, 0));
  EXPECT_EQ(gif.BitsPerPixel, 2);
  EXPECT_EQ(gif.Data, Fixture("gif/anim_10x8.gif"));
  ASSERT_EQ(gif.FrameCount(), 3);
  const auto& f0 = gif.Frames[0];
  EXPECT_EQ(QRect(f0.Left, f0.Top, f0.Width, f0.Height), QRect(2, 1, 5, 4));
  EXPECT_EQ(f0.DelayMs, 200);
  EXPECT_EQ(f0.Disposal, 2);
  EXPECT_EQ(f0.TransparentIndex, 3);
  EXPECT_TRUE(f0.HasControl);
  EXPECT_EQ(f0.Indexes.size(), 20);
  EXPECT_EQ(gif.Frames[1].Disposal, 3);
  EXPECT_EQ(gif.Frames[1].TransparentIndex, -1);
  const auto& f2 = gif.Frames[2];  // 4 × 4 at (8, 6) on a 10 × 8 screen
  EXPECT_EQ(QRect(f2.Left, f2.Top, f2.Width, f2.Height), QRect(8, 6, 2, 2));
  EXPECT_EQ(f2.Indexes, QByteArray("\x00\x03\x00\x00", 4));
}

TEST(GifReader, FirstFrameShowsWhiteThroughTransparency)
{
  // The still picture lays the frame on white, as every other format's
  // transparency; the background colour (green) belongs to playing.
  const TDecodedImage out = DecodeOk(DecodeGifFirstFrame, Fixture("gif/anim_10x8.gif"));
  ASSERT_EQ(out.Bitmap.size(), QSize(10, 8));
  EXPECT_EQ(out.BitCount, 2);
  const uint32_t white = Rgb(255, 255, 255), red = Rgb(255, 0, 0), blue = Rgb(0, 0, 255);
  EXPECT_EQ(PixelAt(out.Bitmap, 0, 0), white);   // outside the frame
  EXPECT_EQ(PixelAt(out.Bitmap, 2, 1), red);     // frame pixel
  EXPECT_EQ(PixelAt(out.Bitmap, 4, 1), white);   // transparent index
  EXPECT_EQ(PixelAt(out.Bitmap, 4, 2), white);
  EXPECT_EQ(PixelAt(out.Bitmap, 6, 4), blue);
}

TEST(GifReader, RenderingHonoursDisposal)
{
  TGifAnimation gif;
  QString error;
  ASSERT_TRUE(gif.LoadFromData(Fixture("gif/anim_10x8.gif"), error));
  QImage canvas, previous;
  const uint32_t green = Rgb(0, 255, 0), red = Rgb(255, 0, 0), blue = Rgb(0, 0, 255), white = Rgb(255, 255, 255);
  gif.RenderFrame(0, canvas, &previous);
  ASSERT_EQ(canvas.size(), QSize(10, 8));
  EXPECT_EQ(PixelAt(canvas, 2, 1), red);
  // Frame 0 is restored to the background before frame 1 (3 × 3 blue) is drawn.
  gif.RenderFrame(1, canvas, &previous);
  EXPECT_EQ(PixelAt(canvas, 2, 1), blue);
  EXPECT_EQ(PixelAt(canvas, 3, 1), green);
  EXPECT_EQ(PixelAt(canvas, 6, 4), green);
  // Frame 1 goes back to what was under it; frame 2 is clipped at the corner.
  gif.RenderFrame(2, canvas, &previous);
  EXPECT_EQ(PixelAt(canvas, 0, 0), green);
  EXPECT_EQ(PixelAt(canvas, 8, 6), red);
  EXPECT_EQ(PixelAt(canvas, 9, 6), white);
  // Back to frame 0 starts again from the background.
  gif.RenderFrame(0, canvas, &previous);
  EXPECT_EQ(PixelAt(canvas, 8, 6), green);
}

TEST(GifReader, IndexesBeyondThePaletteShowBlack)
{
  TGifAnimation gif;
  gif.ScreenWidth = 2;
  gif.ScreenHeight = 1;
  TGifAnimation::TGifFrame f;
  f.Width = 2;
  f.Height = 1;
  f.Palette = {Rgb(10, 20, 30)};
  f.Indexes = QByteArray("\x00\xC8", 2);
  gif.Frames.push_back(f);
  QImage canvas;
  gif.RenderFrame(0, canvas, nullptr);
  EXPECT_EQ(PixelAt(canvas, 0, 0), Rgb(10, 20, 30));
  EXPECT_EQ(PixelAt(canvas, 1, 0), 0u);
}

TEST(GifReader, ScreenSizesAndFrameCountAreBounded)
{
  TGifAnimation gif;
  QString error;
  // A screen of no size takes the first frame's extent.
  ASSERT_TRUE(gif.LoadFromData(TinyGif(1, 0, 0, 2, 1), error)) << error.toStdString();
  EXPECT_EQ(gif.ScreenWidth, 3);
  EXPECT_EQ(gif.ScreenHeight, 2);
  // A frame wholly off the screen is kept empty.
  ASSERT_TRUE(gif.LoadFromData(TinyGif(1, 4, 4, 9, 9), error));
  EXPECT_EQ(gif.Frames[0].Width, 0);
  EXPECT_TRUE(gif.Frames[0].Indexes.isEmpty());
  // An absurd screen is refused before anything is allocated.
  EXPECT_FALSE(gif.LoadFromData(TinyGif(1, 65535, 65535), error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_EQ(gif.FrameCount(), 0);
  // Frames past the limit are dropped.
  ASSERT_TRUE(gif.LoadFromData(TinyGif(TGifAnimation::kMaxFrames + 3, 1, 1), error));
  EXPECT_EQ(gif.FrameCount(), TGifAnimation::kMaxFrames);
}

TEST(GifReader, DamagedFilesFailCleanly)
{
  for (const char* name : {"gif/still_16x12.gif", "gif/interlaced_16x12.gif", "gif/anim_10x8.gif"}) {
    SCOPED_TRACE(name);
    const QByteArray data = Fixture(name);
    ExpectTruncationsHandled(DecodeGifFirstFrame, data, 13);
    ExpectRandomDamageSurvived(DecodeGifFirstFrame, data);
  }
  // Damage after the first frame keeps what came before.
  QByteArray cut = Fixture("gif/anim_10x8.gif");
  cut.chop(20);
  TGifAnimation gif;
  QString error;
  ASSERT_TRUE(gif.LoadFromData(cut, error));
  EXPECT_GE(gif.FrameCount(), 1);
}

}  // namespace
