#pragma once
// Picture files handed over by drag and drop, and copying them into a folder
// without ever overwriting a file there.

#include <QString>
#include <QStringList>

class QMimeData;

// The local picture files of a drop (text/uri-list): regular files, links
// followed, whose names end in a picture extension; everything else
// (folders, remote addresses, other files) is left out.
QStringList PictureFilesIn(const QMimeData* mime);

// Copies `source` into `folder` under its own name or, when that name is
// taken, under "name (2).ext", "name (3).ext", …; an existing file is never
// overwritten, also when another program creates it at the same moment.
// Returns the path of the copy, or an empty string with `error` set.
QString CopyUnderFreeName(const QString& source, const QString& folder, QString* error = nullptr);
