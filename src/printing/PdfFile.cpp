#include "printing/PdfFile.h"

#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

bool WritePdfFile(const QString& target, const QPageLayout& layout, int dpi, const QString& title,
                  const std::function<void(QPainter&)>& draw, QString& error)
{
  const QFileInfo info(target);
  if (target.isEmpty()) {
    error = QStringLiteral("No file name was given for the PDF file.");
    return false;
  }
  if (info.exists() && !info.isFile()) {
    error = QStringLiteral("Can not write \"%1\": it is not a regular file.").arg(target);
    return false;
  }
  QSaveFile out(target);
  if (!out.open(QIODevice::WriteOnly)) {
    error = QStringLiteral("Can not write \"%1\": %2").arg(target, out.errorString());
    return false;
  }
  bool drawn = false;
  {
    QPdfWriter writer(&out);
    writer.setResolution(dpi);
    writer.setCreator(QStringLiteral("Jacketeer"));
    writer.setTitle(title);
    if (writer.setPageLayout(layout)) {
      QPainter painter;
      if (painter.begin(&writer)) {
        draw(painter);
        drawn = painter.end();
      }
    }
  }
  if (!drawn || out.error() != QFileDevice::NoError) {
    error = QStringLiteral("Can not write \"%1\": %2")
                .arg(target, out.error() != QFileDevice::NoError ? out.errorString()
                                                                 : QStringLiteral("the page could not be drawn."));
    out.cancelWriting();
    return false;
  }
  if (!out.commit()) {
    error = QStringLiteral("Can not write \"%1\": %2").arg(target, out.errorString());
    return false;
  }
  return true;
}
