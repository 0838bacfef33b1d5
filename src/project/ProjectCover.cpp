#include "project/ProjectCover.h"

#include "canvas/CoverDocument.h"
#include "project/ProjectFile.h"

bool RenderProjectPrintCover(const QString& projectFile, const QString& workFolder, QImage& cover, QString& error,
                             QStringList* warnings)
{
  TCoverDocument document;
  document.SetWorkFolder(workFolder);
  document.NewCover();
  if (!LoadProject(document, projectFile, error, warnings)) return false;
  document.RenderPrintImage(cover);
  if (cover.isNull()) {
    error = QStringLiteral("There is not enough memory for the print cover.");
    return false;
  }
  return true;
}
