#include "canvas/Interaction.h"

#include <algorithm>

namespace Interaction {

int HitZone(const TRect* selected, int x, int y)
{
  if (!selected) return hzNone;
  const int l = selected->Left, t = selected->Top, r = selected->Right, b = selected->Bottom;
  const int h = HandleSize;
  if (PointInRect(x, y, TRect{l, t, r, b})) return hzBody;
  // The top-left handle is only the square diagonally outside the corner;
  // the other three reach into the layer as well.
  if (PointInRect(x, y, TRect{l - h, t - h, l, t})) return hzTopLeft;
  if (PointInRect(x, y, TRect{r - h, t - h, r + h, t + h})) return hzTopRight;
  if (PointInRect(x, y, TRect{l - h, b - h, l + h, b + h})) return hzBottomLeft;
  if (PointInRect(x, y, TRect{r - h, b - h, r + h, b + h})) return hzBottomRight;
  return hzNone;
}

int DragModeForZone(int zone)
{
  if (zone == hzBody) return dmMove;
  if (zone >= hzTopLeft && zone <= hzBottomRight) return dmResize;
  return dmNone;
}

TRect ResizeRect(const TRect& down, int zone, int x, int y, bool keepAspect)
{
  const int L = down.Left, T = down.Top, R = down.Right, B = down.Bottom;
  const bool movesLeft = zone == hzTopLeft || zone == hzBottomLeft;
  const bool movesTop = zone == hzTopLeft || zone == hzTopRight;
  if (zone < hzTopLeft || zone > hzBottomRight) return down;

  // The moving edges, each side limited to MinSide … MaxSide.
  if (movesLeft) x = std::clamp(x, R - MaxSide, R - MinSide);
  else x = std::clamp(x, L + MinSide, L + MaxSide);
  if (movesTop) y = std::clamp(y, B - MaxSide, B - MinSide);
  else y = std::clamp(y, T + MinSide, T + MaxSide);

  if (keepAspect) {
    const int oldW = std::max(R - L, 1), oldH = std::max(B - T, 1);
    const int newW = movesLeft ? R - x : x - L;
    const int newH = movesTop ? B - y : y - T;
    const double fw = double(newW) / oldW, fh = double(newH) / oldH;
    if (fh >= fw) {
      const int h = RoundHalfEven(double(oldH) * newW / oldW);
      y = movesTop ? B - h : T + h;
    } else {
      const int w = RoundHalfEven(double(oldW) * newH / oldH);
      x = movesLeft ? R - w : L + w;
    }
  }

  // Between the fixed corner and the moved one.
  TRect r;
  r.Left = movesLeft ? x : L;
  r.Right = movesLeft ? R : x;
  r.Top = movesTop ? y : T;
  r.Bottom = movesTop ? B : y;
  return r;
}

TRect KeepTouchingCover(TRect r)
{
  auto shift = [&r](int dx, int dy) {
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
  };
  if (r.Left > CoverSize) shift(CoverSize - r.Left, 0);
  if (r.Top > CoverSize) shift(0, CoverSize - r.Top);
  if (r.Right < 0) shift(-r.Right, 0);
  if (r.Bottom < 0) shift(0, -r.Bottom);
  return r;
}

void LimitMovedPosition(int& left, int& top, int width, int height)
{
  left = std::min(left, CoverSize);
  top = std::min(top, CoverSize);
  left = std::max(left, -width);
  top = std::max(top, -height);
}

}  // namespace Interaction
