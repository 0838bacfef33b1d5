#pragma once
// The project file (.jkp): the picture files of the background and the
// picture layers one after the other (the blob, S1 bytes), then an INI text
// describing every layer (S2 bytes), then S1 and S2 as signed 64-bit
// little-endian integers.
//
// Opening checks the whole file before the document is touched: a damaged or
// foreign file is reported and the current document stays as it was.

#include "canvas/Layer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>

class TCoverDocument;
class TIniFile;

// Writes the document to `fileName`. The new file is written completely
// beside the old one and then renamed over it, so a failure never loses the
// file that was there. Clears Modified on success.
bool SaveProject(TCoverDocument& document, const QString& fileName, QString& error);

// Replaces the document by the project in `fileName`. Everything is read,
// its pictures taken out into the work folder under names of their own and
// the layers built aside first; only then does the document change. On
// failure `error` says what is wrong and the document, its layers and the
// files they use are as they were. `warnings` receives a line for every
// layer whose picture could not be read (the layer is then blank).
bool LoadProject(TCoverDocument& document, const QString& fileName, QString& error,
                 QStringList* warnings = nullptr);

// Writes the section of the layer in array slot `slot` ("Layer" + its
// Number), appending its picture file to `blob` when it has one.
bool WriteLayer(const TCoverDocument& document, int slot, TIniFile& ini, QByteArray& blob, QString& error);

// Reads section "Layer" + `sectionNumber`: takes its picture out of `blob`
// into the work folder (under a new name of our own) and creates the layer
// (or sets the background for 0).
bool ReadLayer(TCoverDocument& document, int sectionNumber, const TIniFile& ini, QByteArrayView blob,
               QString& error);

// ---------------------------------------------------------------- the parts

// The values of one layer section, with the defaults of a missing value.
struct TLayerRecord {
  int Section = 0;
  int32_t Left = -1, Top = -1;
  int32_t LineSpace = -1;
  int32_t BoundWidth = -1, BoundHeight = -1;
  int32_t ActualWidth = -1, ActualHeight = -1;
  int64_t ImageStart = -1, ImageEnd = -1;
  TColor Color = 0, StartColor = 0;
  int32_t EndColor = 0;
  int32_t SoftV = 0, SoftH = 0;
  QString Text, FileName, FontName;
  QStringList Tracks;
  bool Shadow = false, Smooth = false;
  bool Vertical = true, ShowImage = true;
  uint8_t ImageMode = imCenter;
  uint8_t Alignment = taLeft;
  uint8_t FontStyles = 0;
  // The stored file's name part, empty when the section embeds no picture.
  QString PictureName;
};

// Reads and checks one section against a blob of `blobSize` bytes.
bool ParseLayer(int sectionNumber, const TIniFile& ini, int64_t blobSize, TLayerRecord& record, QString& error);

// Creates the layer of a checked record; `picturePath` is its extracted
// picture (or empty). False when a picture layer's bitmaps can not be made;
// `problem` says why, or why its picture could not be read (it is then blank).
bool BuildLayer(TCoverDocument& document, const TLayerRecord& record, const QString& picturePath,
                QString* problem = nullptr);

// "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut" concatenated, and back.
QString FontStylesText(uint8_t styles);
uint8_t FontStylesFromText(const QString& text);
// "LeftJustify", "RightJustify", "Center" and back (case ignored).
QString AlignmentText(uint8_t alignment);
uint8_t AlignmentFromText(const QString& text);
// "Center", "Stretch", "Tile" and back (case matters; others give Center).
QString ImageModeText(uint8_t mode);
uint8_t ImageModeFromText(const QString& text);
// The lines, each followed by CR LF, as UTF-8 in upper-case hexadecimal.
QString TracksToHex(const QStringList& lines);
// False for an odd count of digits or a character that is not one.
bool TracksFromHex(const QString& hex, QStringList& lines);
// The name part of a path made here or on Windows (split at "/" and "\").
QString PathNamePart(const QString& path);
