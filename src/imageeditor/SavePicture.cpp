#include "imageeditor/SavePicture.h"

#include "codecs/Codec.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

const QList<TSaveFormat>& SaveFormats()
{
  static const QList<TSaveFormat> formats = {
      {TSaveKind::Bmp, QStringLiteral("Windows Bitmap (*.Bmp)"), QStringLiteral("bmp"), {QStringLiteral("bmp")}},
      {TSaveKind::Jpeg, QStringLiteral("Jpeg image (*.Jpg)"), QStringLiteral("Jpg"),
       {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("jpe")}},
      {TSaveKind::Png, QStringLiteral("PNG image (*.Png)"), QStringLiteral("png"), {QStringLiteral("png")}},
  };
  return formats;
}

QStringList SaveFilters()
{
  QStringList filters;
  for (const TSaveFormat& f : SaveFormats()) filters << f.Filter;
  return filters;
}

const TSaveFormat& SaveFormatOfFilter(const QString& filter)
{
  for (const TSaveFormat& f : SaveFormats())
    if (f.Filter == filter) return f;
  return SaveFormats().first();
}

TSaveTarget SaveTargetFor(const QString& chosenName)
{
  const QFileInfo info(chosenName);
  const QString name = info.fileName();
  const qsizetype dot = name.lastIndexOf('.');
  // A leading dot starts a hidden name, not an extension.
  const QString extension = dot > 0 ? name.mid(dot + 1).toLower() : QString();
  for (const TSaveFormat& f : SaveFormats())
    if (f.Extensions.contains(extension)) return {f.Kind, chosenName};

  const QString base = dot > 0 ? name.left(dot) : name;
  const QString folder = chosenName.left(chosenName.size() - name.size());
  return {TSaveKind::Jpeg, folder + base + QStringLiteral(".Jpg")};
}

bool WritePicture(const QImage& picture, const TSaveTarget& target, QString& error)
{
  if (picture.isNull()) {
    error = QStringLiteral("There is no picture to save.");
    return false;
  }
  const QFileInfo info(target.FileName);
  if (info.exists() && !info.isFile()) {
    error = QStringLiteral("%1 is not a file that can be replaced.").arg(target.FileName);
    return false;
  }
  QByteArray jpeg;
  if (target.Kind == TSaveKind::Jpeg && !EncodeJpeg(picture, jpeg, error, 80)) return false;

  QSaveFile file(target.FileName);
  if (!file.open(QIODevice::WriteOnly)) {
    error = QStringLiteral("%1 can not be written: %2").arg(target.FileName, file.errorString());
    return false;
  }
  bool written = false;
  if (target.Kind == TSaveKind::Jpeg) {
    written = file.write(jpeg) == jpeg.size();
  } else {
    QImageWriter writer(&file, target.Kind == TSaveKind::Png ? "png" : "bmp");
    written = writer.write(picture.format() == QImage::Format_BGR888
                               ? picture
                               : picture.convertToFormat(QImage::Format_BGR888));
    if (!written && file.error() == QFileDevice::NoError) {
      error = QStringLiteral("%1 can not be written: %2").arg(target.FileName, writer.errorString());
      file.cancelWriting();
      return false;
    }
  }
  if (!written || !file.commit()) {
    error = QStringLiteral("%1 can not be written: %2").arg(target.FileName, file.errorString());
    file.cancelWriting();
    return false;
  }
  return true;
}
