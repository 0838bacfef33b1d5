#include "shell/CommandLine.h"

#include "printing/PrintPdf.h"
#include "project/ExportPng.h"
#include "project/ProjectThumbnail.h"

#include <QFileInfo>
#include <QUrl>

#include <cstdio>

namespace {

// Qt's own options, passed on to the application.
const QStringList kQtOptionsWithValue = {QStringLiteral("-platform"), QStringLiteral("-style"),
                                         QStringLiteral("-stylesheet"), QStringLiteral("-display")};
const QStringList kQtFlags = {QStringLiteral("-reverse")};

TCommandLine Wrong(const QString& why)
{
  TCommandLine c;
  c.Kind = TCommandLine::ckWrongUsage;
  c.Error = why;
  return c;
}

QString FullPath(const QString& arg)
{
  QString path = arg;
  if (arg.startsWith(QLatin1String("file:"))) {
    const QUrl url(arg);
    if (url.isLocalFile()) path = url.toLocalFile();
  }
  return QFileInfo(path).absoluteFilePath();
}

}  // namespace

QString UsageText()
{
  return QStringLiteral(
      "Usage: jacketeer [PROJECT.jkp]\n"
      "       jacketeer --export-png PROJECT.jkp OUT.png\n"
      "       jacketeer --print-pdf PROJECT.jkp OUT.pdf [--paper A4|Letter]\n"
      "                 [--position POSITION] [--cutting-line]\n"
      "       jacketeer --thumbnail SIZE PROJECT.jkp OUT.png\n"
      "       jacketeer --help | --version\n"
      "\n"
      "Designs and prints square CD and DVD cover inserts.\n"
      "\n"
      "  PROJECT.jkp     open this project; when Jacketeer already runs, the\n"
      "                  running copy opens it\n"
      "  --export-png    write the project's 940 x 940 print cover to a PNG file\n"
      "  --print-pdf     print the project's cover into a PDF file (default A4,\n"
      "                  Center); POSITION is Center, Top, Bottom, Left, Right,\n"
      "                  LeftTop, RightTop, LeftBottom or RightBottom\n"
      "  --thumbnail     write a PNG of the cover, SIZE pixels (128 to 1024) on\n"
      "                  its longest side, for file managers\n"
      "  -h, --help      show this help and exit\n"
      "  --version       show the version and exit\n"
      "\n"
      "Exit status: 0 done, 1 failed (the reason on standard error), 2 wrong usage.\n");
}

QString VersionText()
{
  return QStringLiteral("jacketeer %1").arg(QStringLiteral(JKT_VERSION));
}

TCommandLine ParseCommandLine(const QStringList& args)
{
  TCommandLine c;
  if (!args.isEmpty()) {
    const QString& first = args.first();
    if (first == QLatin1String("--export-png")) c.Kind = TCommandLine::ckExportPng;
    else if (first == QLatin1String("--print-pdf")) c.Kind = TCommandLine::ckPrintPdf;
    else if (first == QLatin1String("--thumbnail")) c.Kind = TCommandLine::ckThumbnail;
    // Each of these reads its own arguments.
    if (c.Kind != TCommandLine::ckStart) return c;
  }
  QStringList files;
  bool optionsEnded = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (optionsEnded || !arg.startsWith('-') || arg == QLatin1String("-")) {
      files << arg;
    } else if (arg == QLatin1String("--")) {
      optionsEnded = true;
    } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      c.Kind = TCommandLine::ckHelp;
      return c;
    } else if (arg == QLatin1String("--version")) {
      c.Kind = TCommandLine::ckVersion;
      return c;
    } else if (kQtOptionsWithValue.contains(arg)) {
      if (++i >= args.size()) return Wrong(QStringLiteral("%1 needs a value.").arg(arg));
    } else if (!kQtFlags.contains(arg)) {
      if (arg == QLatin1String("--export-png") || arg == QLatin1String("--print-pdf") ||
          arg == QLatin1String("--thumbnail"))
        return Wrong(QStringLiteral("%1 must be the first argument.").arg(arg));
      return Wrong(QStringLiteral("Unknown option \"%1\".").arg(arg));
    }
  }
  if (files.size() > 1) return Wrong(QStringLiteral("Only one project can be opened at a time."));
  if (!files.isEmpty()) c.File = FullPath(files.first());
  return c;
}

int RunCommandLine(int argc, char** argv, QString& file)
{
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  const TCommandLine c = ParseCommandLine(args);
  switch (c.Kind) {
    case TCommandLine::ckHelp:
      std::fputs(UsageText().toLocal8Bit().constData(), stdout);
      return 0;
    case TCommandLine::ckVersion:
      std::printf("%s\n", VersionText().toLocal8Bit().constData());
      return 0;
    case TCommandLine::ckWrongUsage:
      std::fprintf(stderr, "jacketeer: %s\n%s", c.Error.toLocal8Bit().constData(),
                   UsageText().toLocal8Bit().constData());
      return 2;
    case TCommandLine::ckExportPng: return ExportPng(argc, argv);
    case TCommandLine::ckPrintPdf: return PrintPdf(argc, argv);
    case TCommandLine::ckThumbnail: return ProjectThumbnail(argc, argv);
    case TCommandLine::ckStart: break;
  }
  file = c.File;
  return -1;
}
