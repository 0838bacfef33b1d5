#include "project/ExportPng.h"

#include "project/OutputFile.h"
#include "project/ProjectCover.h"

#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void PrintError(const QString& text) { std::fprintf(stderr, "jacketeer: %s\n", text.toLocal8Bit().constData()); }

}  // namespace

bool IsExportPngCommand(int argc, char** argv)
{
  return argc >= 2 && argv[1] && std::strcmp(argv[1], "--export-png") == 0;
}

bool ExportProjectToPng(const QString& projectFile, const QString& pngFile, QString& error,
                        QStringList* warnings)
{
  TCommandLineJob job;
  if (!job.Begin(error)) return false;
  // The output is checked before any work: a refused output costs nothing.
  TOutputFile out(pngFile, {projectFile});
  if (!out.Open(error)) return false;
  QImage cover;
  if (!RenderProjectPrintCover(projectFile, job.WorkFolder(), cover, error, warnings)) return false;
  QImageWriter writer(&out.File(), "png");
  if (!writer.write(cover)) {
    error = QStringLiteral("Can not write \"%1\": %2").arg(pngFile, writer.errorString());
    return false;
  }
  return out.Commit(error);
}

int ExportPng(int argc, char** argv)
{
  if (!IsExportPngCommand(argc, argv) || argc != 4) {
    PrintError(QStringLiteral("usage: jacketeer --export-png PROJECT.jkp OUT.png"));
    return 2;
  }
  std::unique_ptr<QGuiApplication> app;
  if (!QGuiApplication::instance()) {
    // Nothing is shown: the offscreen platform works with or without a display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int appArgc = 1;
    static char* appArgv[] = {argv[0], nullptr};
    app = std::make_unique<QGuiApplication>(appArgc, appArgv);
  }
  const QString project = QString::fromLocal8Bit(argv[2]);
  const QString png = QString::fromLocal8Bit(argv[3]);
  QString error;
  QStringList warnings;
  const bool ok = ExportProjectToPng(project, png, error, &warnings);
  for (const QString& w : warnings) PrintError(QStringLiteral("warning: ") + w);
  if (!ok) {
    PrintError(error);
    return 1;
  }
  return 0;
}
