#pragma once
// Drawing one line of text or a list of track lines into a colour bitmap and
// a mask of exactly the box size, fitted, optionally smoothed and shadowed.

#include "canvas/Functions.h"

#include <QImage>
#include <QString>
#include <QStringList>

void RenderTextBitmap(const QString& text, const QString& fontName, TColor color, uint8_t fontStyles, bool shadow,
                      bool smooth, int boxWidth, int boxHeight, QImage& picture, QImage& mask);

void RenderTracksBitmap(const QStringList& tracks, const QString& fontName, TColor color, uint8_t fontStyles,
                        bool shadow, bool smooth, int lineSpace, int boxWidth, int boxHeight, uint8_t alignment,
                        QImage& picture, QImage& mask);

// Forgets the font sizes and glyph tiles remembered from earlier texts
// (rendering stays the same, only slower until they are found again).
void ClearTextRenderCaches();

// The line as drawn: the first "|||" replaced by one blank.
QString TrackLineForDisplay(const QString& line);
