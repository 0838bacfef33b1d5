#pragma once
// Writing a PDF file of one page: the page is drawn by a callback, the file
// is written completely under a temporary name beside the target and renamed
// over it only on success, so a failure never leaves a partial file.

#include <QPageLayout>
#include <QString>

#include <functional>

class QPainter;

// `draw` paints in pixels of `dpi` with the origin at the corner of the
// layout's margins. False with a message when the file could not be written
// (the target, if it existed, is left as it was).
bool WritePdfFile(const QString& target, const QPageLayout& layout, int dpi, const QString& title,
                  const std::function<void(QPainter&)>& draw, QString& error);
