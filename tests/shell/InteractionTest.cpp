// Geometry of selecting, moving and resizing layers on the editing area.
#include "canvas/Interaction.h"

#include <gtest/gtest.h>

using namespace Interaction;

namespace {

// A 200 × 100 layer at (100, 50).
const TRect kLayer{100, 50, 300, 150};

}  // namespace

TEST(HitZone, NothingSelectedIsNone)
{
  EXPECT_EQ(HitZone(nullptr, 150, 100), hzNone);
}

TEST(HitZone, BodyAndHandles)
{
  EXPECT_EQ(HitZone(&kLayer, 150, 100), hzBody);
  // Edges belong to no rectangle of their own: the layer's edge is not body.
  EXPECT_EQ(HitZone(&kLayer, 300, 100), hzNone);
  // Top-left reacts only up and to the left of the corner.
  EXPECT_EQ(HitZone(&kLayer, 95, 45), hzTopLeft);
  EXPECT_EQ(HitZone(&kLayer, 79, 29), hzNone);  // 21 away lies on the handle's edge
  EXPECT_EQ(HitZone(&kLayer, 80, 30), hzTopLeft);
  EXPECT_EQ(HitZone(&kLayer, 100, 55), hzNone);  // on the left edge near the top: no handle there
  // The other three reach 21 pixels to either side of their corner.
  EXPECT_EQ(HitZone(&kLayer, 300, 55), hzTopRight);
  EXPECT_EQ(HitZone(&kLayer, 310, 40), hzTopRight);
  EXPECT_EQ(HitZone(&kLayer, 100, 145), hzBottomLeft);
  EXPECT_EQ(HitZone(&kLayer, 90, 160), hzBottomLeft);
  EXPECT_EQ(HitZone(&kLayer, 300, 150), hzBottomRight);
  EXPECT_EQ(HitZone(&kLayer, 320, 170), hzBottomRight);
  EXPECT_EQ(HitZone(&kLayer, 321, 171), hzNone);
}

TEST(HitZone, DragModes)
{
  EXPECT_EQ(DragModeForZone(hzBody), dmMove);
  for (int z : {hzTopLeft, hzTopRight, hzBottomLeft, hzBottomRight}) EXPECT_EQ(DragModeForZone(z), dmResize);
  EXPECT_EQ(DragModeForZone(hzNone), dmNone);
}

TEST(ResizeRect, PictureKeepsProportionsAtTheSmallerScale)
{
  // 100 right and 10 below the bottom-right corner: scales 1.5 and 1.1.
  const TRect r = ResizeRect(kLayer, hzBottomRight, 400, 160, true);
  EXPECT_EQ(r, (TRect{100, 50, 320, 160}));
  EXPECT_EQ(r.Width(), 220);
  EXPECT_EQ(r.Height(), 110);
}

TEST(ResizeRect, TextFollowsTheMouse)
{
  const TRect r = ResizeRect(kLayer, hzBottomRight, 400, 160, false);
  EXPECT_EQ(r.Width(), 300);
  EXPECT_EQ(r.Height(), 110);
}

TEST(ResizeRect, OppositeCornerStays)
{
  // Top-left handle: the bottom-right corner is fixed.
  TRect r = ResizeRect(kLayer, hzTopLeft, 50, 40, false);
  EXPECT_EQ(r, (TRect{50, 40, 300, 150}));
  // With the aspect kept, width scale 1.25 and height 1.1 give 220 × 110.
  r = ResizeRect(kLayer, hzTopLeft, 50, 40, true);
  EXPECT_EQ(r, (TRect{80, 40, 300, 150}));
  // Top-right: bottom-left fixed; bottom-left: top-right fixed.
  r = ResizeRect(kLayer, hzTopRight, 250, 0, true);  // scales 0.75 and 1.5
  EXPECT_EQ(r, (TRect{100, 75, 250, 150}));
  r = ResizeRect(kLayer, hzBottomLeft, 0, 250, false);
  EXPECT_EQ(r, (TRect{0, 50, 300, 250}));
}

TEST(ResizeRect, SidesStayWithinTenAndFourHundredSeventy)
{
  for (int zone : {hzTopLeft, hzTopRight, hzBottomLeft, hzBottomRight}) {
    for (bool aspect : {false, true}) {
      SCOPED_TRACE(zone * 10 + aspect);
      // Dragged across the opposite corner: at least 10 on each side.
      const int acrossX = zone == hzTopLeft || zone == hzBottomLeft ? 400 : 0;
      const int acrossY = zone <= hzTopRight ? 250 : 0;
      if (!aspect) {
        const TRect tiny = ResizeRect(kLayer, zone, acrossX, acrossY, false);
        EXPECT_EQ(tiny.Width(), 10);
        EXPECT_EQ(tiny.Height(), 10);
      }
      // Dragged far away: at most 470 on each side, also with the aspect kept.
      TRect huge = ResizeRect(kLayer, zone, zone == hzTopLeft || zone == hzBottomLeft ? -5000 : 5000,
                              zone <= hzTopRight ? -5000 : 5000, aspect);
      EXPECT_LE(huge.Width(), 470);
      EXPECT_LE(huge.Height(), 470);
      EXPECT_EQ(std::max(huge.Width(), huge.Height()), 470);
    }
  }
}

TEST(ResizeRect, AspectRoundsHalfToEven)
{
  // 30 × 20 widened to 45: the height follows to 30.
  const TRect small{0, 0, 30, 20};
  EXPECT_EQ(ResizeRect(small, hzBottomRight, 45, 100, true).Height(), 30);
  // 25 × 10 taken to height 15 (width scale larger): width 37.5 → 38 (half to even).
  const TRect wide{0, 0, 25, 10};
  EXPECT_EQ(ResizeRect(wide, hzBottomRight, 400, 15, true).Width(), 38);
  const TRect wide2{0, 0, 35, 10};
  EXPECT_EQ(ResizeRect(wide2, hzBottomRight, 400, 15, true).Width(), 52);  // 52.5 → 52
}

TEST(ReleaseLimits, ResizedRectangleKeepsTouchingTheCover)
{
  EXPECT_EQ(KeepTouchingCover(TRect{500, 10, 600, 60}), (TRect{470, 10, 570, 60}));
  EXPECT_EQ(KeepTouchingCover(TRect{10, 480, 60, 530}), (TRect{10, 470, 60, 520}));
  EXPECT_EQ(KeepTouchingCover(TRect{-120, 10, -20, 60}), (TRect{-100, 10, 0, 60}));
  EXPECT_EQ(KeepTouchingCover(TRect{10, -90, 60, -40}), (TRect{10, -50, 60, 0}));
  EXPECT_EQ(KeepTouchingCover(kLayer), kLayer);
}

TEST(ReleaseLimits, MovedLayerKeepsAnEdgeOnTheCover)
{
  int left = 5000, top = -5000;
  LimitMovedPosition(left, top, 200, 100);
  EXPECT_EQ(left, 470);
  EXPECT_EQ(top, -100);
  left = -5000;
  top = 5000;
  LimitMovedPosition(left, top, 200, 100);
  EXPECT_EQ(left, -200);
  EXPECT_EQ(top, 470);
  left = 12;
  top = -3;
  LimitMovedPosition(left, top, 200, 100);
  EXPECT_EQ(left, 12);
  EXPECT_EQ(top, -3);
}
