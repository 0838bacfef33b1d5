#pragma once
// The print cover of a project file, made without a window: the project is
// opened in a private work folder of its own (so a running program's files
// are never touched), its 940 × 940 print cover rendered, and the folder
// removed again.

#include <QImage>
#include <QString>

bool RenderProjectPrintCover(const QString& projectFile, QImage& cover, QString& error);
