// The status bar's texts, the band of rows each progress notice draws, how
// long animation frames stay, and when "Prev." and "Next" can be used.
#include "viewer/ViewerText.h"

#include <gtest/gtest.h>

#include <QTimeZone>

TEST(ViewerText, FileSizeTextUnitsGroupsAndTenths)
{
  EXPECT_EQ(FileSizeText(0), "0 Bytes");
  EXPECT_EQ(FileSizeText(1024), "1,024 Bytes");
  EXPECT_EQ(FileSizeText(1025), "1 KB");
  EXPECT_EQ(FileSizeText(1536), "1.5 KB");
  EXPECT_EQ(FileSizeText(1048576), "1,024 KB");
  EXPECT_EQ(FileSizeText(1048577), "1 MB");
  EXPECT_EQ(FileSizeText(2621440), "2.5 MB");
  EXPECT_EQ(FileSizeText(5000000000LL), "4,768.3 MB");
  // Groups after the first keep their leading zeros; the largest sizes do
  // not overflow.
  EXPECT_EQ(FileSizeText(1001LL * 1048576 * 1000), "1,001,000 MB");
  EXPECT_EQ(FileSizeText(INT64_MAX), "8,796,093,022,207.9 MB");
}

TEST(ViewerText, ColorCountAndFileTime)
{
  EXPECT_EQ(ColorCountText(1), "2");
  EXPECT_EQ(ColorCountText(4), "16");
  EXPECT_EQ(ColorCountText(8), "256");
  EXPECT_EQ(ColorCountText(16), "16b");
  EXPECT_EQ(ColorCountText(24), "24b");
  const QDateTime t(QDate(2004, 7, 3), QTime(9, 5), QTimeZone::systemTimeZone());
  EXPECT_EQ(FileTimeText(t), "9:5 3-7-2004");
}

TEST(ViewerText, PreviewBandsTopDownAndBottomUp)
{
  auto band = [](int h, int p) {
    const TRowBand b = PreviewBand(h, p);
    return std::make_pair(b.First, b.End);
  };
  EXPECT_EQ(band(200, 50), std::make_pair(97, 100));    // rows 97 … 99
  EXPECT_EQ(band(200, -30), std::make_pair(137, 142));  // rows 137 … 141
  EXPECT_EQ(band(200, 1), std::make_pair(0, 2));
  EXPECT_EQ(band(200, 100), std::make_pair(197, 200));
  EXPECT_EQ(band(200, -100), std::make_pair(0, 2));
  EXPECT_EQ(band(200, -1), std::make_pair(195, 200));
  // Never outside the picture, also for a picture of a few rows.
  for (int p = -100; p <= 100; ++p) {
    const TRowBand b = PreviewBand(3, p);
    EXPECT_GE(b.First, 0);
    EXPECT_LE(b.End, 3);
    EXPECT_LE(b.First, b.End);
  }
}

TEST(ViewerText, FrameTimesAndNavigation)
{
  EXPECT_EQ(FrameTimeMs(true, 0), 34);
  EXPECT_EQ(FrameTimeMs(true, 2), 34);
  EXPECT_EQ(FrameTimeMs(true, 5), 56);
  EXPECT_EQ(FrameTimeMs(true, 1000), 11001);
  EXPECT_EQ(FrameTimeMs(true, 65535), 11001);
  EXPECT_EQ(FrameTimeMs(false, 0), 111);

  auto nav = [](int n, int number) {
    const auto s = NavButtonsFor(n, number);
    return s ? std::make_pair(s->Previous, s->Next) : std::make_pair(true, true);
  };
  EXPECT_EQ(nav(1, 1), std::make_pair(false, false));
  EXPECT_EQ(nav(0, 0), std::make_pair(false, false));
  EXPECT_EQ(nav(5, 1), std::make_pair(false, true));
  EXPECT_EQ(nav(5, 3), std::make_pair(true, true));
  EXPECT_EQ(nav(5, 5), std::make_pair(true, false));
  EXPECT_FALSE(NavButtonsFor(5, 0).has_value());  // unchanged
}
