#pragma once
// Helpers of the programs that take the editors' screenshots.

#include "canvas/LabelShower.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <algorithm>

// The editor on the left, the cover as the editing area shows it on the
// right, on a grey ground; written as PNG.
inline bool SaveBeside(QWidget* editor, TLabelShower* canvas, const QString& file)
{
  const QPixmap left = editor->grab();
  const QImage cover = canvas->Shown();
  const int gap = 24;
  const int h = std::max(left.height(), cover.height() + 2) + 2 * gap;
  QImage out(left.width() + cover.width() + 2 + 3 * gap, h, QImage::Format_RGB32);
  out.fill(QColor(0x80, 0x80, 0x80));
  QPainter p(&out);
  p.drawPixmap(gap, (h - left.height()) / 2, left);
  const int cx = 2 * gap + left.width(), cy = (h - cover.height()) / 2;
  p.setPen(QColor(0x40, 0x40, 0x40));
  p.drawRect(cx - 1, cy - 1, cover.width() + 1, cover.height() + 1);
  p.drawImage(cx, cy, cover);
  p.end();
  return out.save(file, "PNG");
}

template <typename T> T* Child(QWidget* w, const char* name)
{
  return w->findChild<T*>(QString::fromLatin1(name));
}
