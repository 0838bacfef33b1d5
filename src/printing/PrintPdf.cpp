#include "printing/PrintPdf.h"

#include "printing/DesktopPrinter.h"
#include "printing/PrintPreview.h"
#include "project/OutputFile.h"
#include "project/ProjectCover.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

const char* const kUsage =
    "usage: jacketeer --print-pdf PROJECT.jkp OUT.pdf [--paper A4|Letter]\n"
    "         [--position Center|Top|Bottom|Left|Right|LeftTop|RightTop|LeftBottom|RightBottom]\n"
    "         [--cutting-line]";

void PrintError(const QString& text)
{
  std::fprintf(stderr, "jacketeer: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

bool IsPrintPdfCommand(int argc, char** argv)
{
  return argc >= 2 && argv[1] && std::strcmp(argv[1], "--print-pdf") == 0;
}

bool ParsePrintPdfArguments(const QStringList& args, TPrintPdfOptions& options, QString& error)
{
  options = TPrintPdfOptions{};
  auto fail = [&error](const QString& text) {
    error = text;
    return false;
  };
  QStringList files;
  bool paperGiven = false, positionGiven = false, lineGiven = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    QString arg = args[i];
    QString value;
    const bool takesValue = arg == QLatin1String("--paper") || arg == QLatin1String("--position");
    if (arg.startsWith(QLatin1String("--")) && arg.contains('=')) {
      value = arg.section('=', 1);
      arg = arg.section('=', 0, 0);
    } else if (takesValue) {
      if (i + 1 >= args.size()) return fail(QStringLiteral("%1 needs a value.").arg(arg));
      value = args[++i];
    }
    if (arg == QLatin1String("--paper")) {
      if (paperGiven) return fail(QStringLiteral("--paper is given twice."));
      paperGiven = true;
      if (value.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0) options.Paper = QPageSize::A4;
      else if (value.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0) options.Paper = QPageSize::Letter;
      else return fail(QStringLiteral("Unknown paper \"%1\" (A4 or Letter).").arg(value));
    } else if (arg == QLatin1String("--position")) {
      if (positionGiven) return fail(QStringLiteral("--position is given twice."));
      positionGiven = true;
      const QStringList& names = PositionItemNames();
      options.PositionItem = -1;
      for (int k = 0; k < names.size(); ++k)
        if (names[k].compare(value, Qt::CaseInsensitive) == 0) options.PositionItem = k;
      if (options.PositionItem < 0) return fail(QStringLiteral("Unknown position \"%1\".").arg(value));
    } else if (arg == QLatin1String("--cutting-line") && value.isEmpty()) {
      if (lineGiven) return fail(QStringLiteral("--cutting-line is given twice."));
      lineGiven = options.CuttingLine = true;
    } else if (arg.startsWith(QLatin1String("--"))) {
      return fail(QStringLiteral("Unknown option \"%1\".").arg(args[i]));
    } else {
      files << arg;
    }
  }
  if (files.size() != 2) return fail(QStringLiteral("A project file and an output file are needed."));
  options.Project = files[0];
  options.Output = files[1];
  return true;
}

bool PrintProjectToPdf(const TPrintPdfOptions& options, QString& error, QStringList* warnings)
{
  TCommandLineJob job;
  if (!job.Begin(error)) return false;
  // The output is checked before any work: a refused output costs nothing.
  TOutputFile out(options.Output, {options.Project});
  if (!out.Open(error)) return false;
  QImage cover;
  if (!RenderProjectPrintCover(options.Project, job.WorkFolder(), cover, error, warnings)) return false;

  TDesktopPrinter printer{QPageSize(options.Paper)};
  printer.SetOutputFile(out.TempPath());
  TPrintPreview preview;
  preview.SetPrinter(&printer);
  preview.SetCover(&cover);
  preview.SetActualSize();
  preview.SetCuttingLine(options.CuttingLine);
  preview.SetPosition(PositionCodeOfItem(options.PositionItem));
  return preview.PrintCover(cover, QFileInfo(options.Project).completeBaseName(), error) && out.Commit(error);
}

int PrintPdf(int argc, char** argv)
{
  if (!IsPrintPdfCommand(argc, argv)) {
    PrintError(QString::fromLatin1(kUsage));
    return 2;
  }
  QStringList args;
  for (int i = 2; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  TPrintPdfOptions options;
  QString error;
  if (!ParsePrintPdfArguments(args, options, error)) {
    PrintError(error);
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
  }
  std::unique_ptr<QApplication> app;
  if (!QApplication::instance()) {
    // Nothing is shown: the offscreen platform works with or without a display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int appArgc = 1;
    static char* appArgv[] = {argv[0], nullptr};
    app = std::make_unique<QApplication>(appArgc, appArgv);
  }
  QStringList warnings;
  const bool ok = PrintProjectToPdf(options, error, &warnings);
  for (const QString& w : warnings) PrintError(QStringLiteral("warning: ") + w);
  if (!ok) {
    PrintError(error);
    return 1;
  }
  return 0;
}
