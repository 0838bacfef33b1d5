#pragma once
// Geometry of the mouse interaction on the editing area: which part of the
// selected layer a point hits, the rectangle a corner drag gives, and the
// limits applied when a drag ends. Plain functions, no widgets.

#include "canvas/Functions.h"

// Where a point lies relative to the selected layer.
enum THitZone : int {
  hzBody = 0,         // inside the layer's rectangle
  hzTopLeft = 1,      // corner handles
  hzTopRight = 2,
  hzBottomLeft = 3,
  hzBottomRight = 4,
  hzNone = 5,         // elsewhere, or nothing selected
};

// Drag modes of the editing area.
enum TDragMode : int {
  dmResize = 0,
  dmMove = 1,
  dmNone = 3,
};

namespace Interaction {

constexpr int CoverSize = 470;
constexpr int HandleSize = 21;  // reach of a corner handle
constexpr int MinSide = 10;     // smallest side a corner drag can give
constexpr int MaxSide = 470;    // largest side a corner drag can give

// The zone of (x, y) for a selected layer's rectangle; pass nullptr when
// nothing is selected (or only the background exists).
int HitZone(const TRect* selected, int x, int y);

// The drag a press in `zone` starts.
int DragModeForZone(int zone);

// The rectangle a drag of the handle `zone` to (x, y) gives, starting from
// `down`: the handle's corner follows the mouse, the opposite corner stays,
// each side is kept within 10 … 470; with keepAspect the proportions of
// `down` are kept at the smaller of the two scales.
TRect ResizeRect(const TRect& down, int zone, int x, int y, bool keepAspect);

// Shifts a resized rectangle (size kept) so that it still touches the cover.
TRect KeepTouchingCover(TRect r);

// Limits the position of a moved layer so that at least an edge of it stays
// on the cover: left/top at most 470, at least −width/−height.
void LimitMovedPosition(int& left, int& top, int width, int height);

}  // namespace Interaction
