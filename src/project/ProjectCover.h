#pragma once
// The print cover of a project file, made without a window: the project is
// opened in a work folder of the caller's (a command-line job's private
// folder, so a running program's files are never touched) and its 940 × 940
// print cover rendered.

#include <QImage>
#include <QString>
#include <QStringList>

// False with a message when the project can not be opened or its cover not
// be made. `warnings` receives one line per layer whose picture could not be
// read (the cover is made without it).
bool RenderProjectPrintCover(const QString& projectFile, const QString& workFolder, QImage& cover, QString& error,
                             QStringList* warnings = nullptr);
