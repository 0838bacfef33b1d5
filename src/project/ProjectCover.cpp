#include "project/ProjectCover.h"

#include "canvas/CoverDocument.h"
#include "project/ProjectFile.h"
#include "project/WorkFolder.h"

#include <QTemporaryDir>

bool RenderProjectPrintCover(const QString& projectFile, QImage& cover, QString& error)
{
  const QString temp = TemporaryFolderPath();
  if (!EnsurePrivateFolder(temp, error)) return false;
  QTemporaryDir work(temp + QStringLiteral("/export-XXXXXX"));
  if (!work.isValid()) {
    error = QStringLiteral("Can not create a work folder in \"%1\": %2").arg(temp, work.errorString());
    return false;
  }
  work.setAutoRemove(false);
  const QString folder = work.path();

  bool ok = false;
  {
    TCoverDocument document;
    document.SetWorkFolder(folder);
    document.NewCover();
    if (LoadProject(document, projectFile, error)) {
      document.RenderPrintImage(cover);
      ok = true;
    }
  }
  RemoveFolderTree(folder);
  return ok;
}
