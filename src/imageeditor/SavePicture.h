#pragma once
// The file formats the image editor saves in, and the writing of a picture.
// This is the one place that knows them: the Save as dialog's filter, the
// format a chosen name is written in and the name actually written.

#include <QImage>
#include <QString>
#include <QStringList>

enum class TSaveKind { Bmp, Jpeg, Png };

struct TSaveFormat {
  TSaveKind Kind;
  QString Filter;          // one entry of the dialog's filter list
  QString Suffix;          // added to a name that has no extension of the format
  QStringList Extensions;  // lower case, without the dot
};

// In the order the dialog offers them; the first is the default.
const QList<TSaveFormat>& SaveFormats();
// The dialog's filter list.
QStringList SaveFilters();
// The format of a filter entry of the list (the first for an unknown one).
const TSaveFormat& SaveFormatOfFilter(const QString& filter);

struct TSaveTarget {
  TSaveKind Kind = TSaveKind::Jpeg;
  QString FileName;  // the file that is written
};

// A name with the extension of a format (any letter case) is written as it
// is in that format; any other name as JPEG with its extension replaced by
// ".Jpg".
TSaveTarget SaveTargetFor(const QString& chosenName);

// Writes the picture completely beside the target and renames it over the
// target, so an existing file is only ever replaced by a whole picture.
// JPEG at quality 80, PNG without loss. False with a message when it could
// not be written.
bool WritePicture(const QImage& picture, const TSaveTarget& target, QString& error);
