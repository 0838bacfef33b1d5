#include "imagelib/PictureFiles.h"

#include "imagelib/ImageLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

QStringList PictureFilesIn(const QMimeData* mime)
{
  QStringList files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (IsImageFile(path) && QFileInfo(path).isFile() && !files.contains(path)) files << path;
  }
  return files;
}

QString CopyUnderFreeName(const QString& source, const QString& folder, QString* error)
{
  const QString name = QFileInfo(source).fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString base = dot > 0 ? name.left(dot) : name;
  const QString ext = dot > 0 ? name.mid(dot) : QString();
  const QDir dir(folder);
  QString lastError;
  for (int n = 1; n <= 9999; ++n) {
    const QString target =
        dir.filePath(n == 1 ? name : QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(ext));
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) continue;
    // QFile::copy never replaces an existing file: when the name was taken
    // meanwhile it fails and the next name is tried.
    QFile file(source);
    if (file.copy(target)) return target;
    lastError = file.errorString();
    if (!QFileInfo::exists(target)) break;  // failed for another reason
  }
  if (error) *error = lastError.isEmpty() ? QStringLiteral("No free name was found.") : lastError;
  return QString();
}
