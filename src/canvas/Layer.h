#pragma once
// One layer of the cover and the value bundles the getters hand out.

#include "canvas/Functions.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>

// Font style bits of a text or tracks layer.
enum TFontStyle : uint8_t {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
  fsStrikeOut = 8,
};

// Layer kinds as LayerKind reports them.
enum TLayerKind : int {
  lkPicture = 0,
  lkText = 1,
  lkTracks = 2,
};

// Placement of the background picture.
enum TImageMode : uint8_t {
  imCenter = 0,
  imStretch = 1,
  imTile = 2,
};

// Alignment of track lines.
enum TTrackAlignment : uint8_t {
  taLeft = 0,
  taRight = 1,
  taCenter = 2,
};

struct TLayer {
  QImage Picture;         // colour content at screen scale
  QImage Mask;            // green: 0 opaque … 255 transparent; blue 0: outline region
  int32_t Number = 0;     // z-position, 0 is the background
  int32_t Prev = 0;       // slot of the layer below
  int32_t Next = 0;       // slot of the layer above (unused on the top layer)
  int32_t Left = 0, Top = 0;
  int32_t Width = 0, Height = 0;
  QString WorkFile;       // picture layers: the work copy in the work folder
  QString FileName;       // picture layers: the source picture
  QImage Transparency;    // picture layers: the picture's own transparency as a mask
                          // (green 255 − alpha), null when it is opaque
  QStringList Tracks;     // tracks layers: "name|||time" lines
  QString Text;           // text, year and time layers
  int32_t BoundWidth = 0, BoundHeight = 0;
  int32_t ActualWidth = 0, ActualHeight = 0;
  TColor Color = 0;
  QString FontName;
  uint8_t FontStyles = 0;
  bool Shadow = false;
  bool Smooth = false;
  int32_t LineSpace = 0;
  uint8_t Alignment = taLeft;
  uint8_t SoftV = 0;
  uint8_t SoftH = 0;
};

// What GetPictureLayer hands out; the bitmaps stay owned by the layer.
struct TPictureLayerInfo {
  int32_t Left = 0, Top = 0;
  QString WorkFile;
  int32_t Width = 0, Height = 0;
  uint8_t SoftV = 0, SoftH = 0;
  const QImage* Picture = nullptr;
  const QImage* Mask = nullptr;
};

struct TTextLayerInfo {
  int32_t Left = 0, Top = 0;
  QString Text;
  QString FontName;
  TColor Color = 0;
  uint8_t FontStyles = 0;
  bool Shadow = false, Smooth = false;
  int32_t Width = 0, Height = 0;
  const QImage* Picture = nullptr;
  const QImage* Mask = nullptr;
};

struct TTracksLayerInfo {
  int32_t Left = 0, Top = 0;
  const QStringList* Tracks = nullptr;
  QString FontName;
  TColor Color = 0;
  uint8_t FontStyles = 0;
  bool Shadow = false, Smooth = false;
  int32_t LineSpace = 0;
  int32_t Width = 0, Height = 0;
  uint8_t Alignment = taLeft;
  const QImage* Picture = nullptr;
  const QImage* Mask = nullptr;
};

// The six background settings.
struct TBackgroundInfo {
  QString FileName;
  uint8_t ImageMode = imCenter;
  TColor StartColor = 0xFFFFFF;
  int32_t EndColor = -1;  // -1: solid StartColor
  bool Vertical = true;
  bool ShowImage = false;
};
