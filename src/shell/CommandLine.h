#pragma once
// The program's command line:
//   jacketeer [PROJECT.jkp]                         start, opening the project
//   jacketeer --export-png | --print-pdf | --thumbnail ...   work without a window
//   jacketeer --help | --version
// Options that need no window are answered before any window exists, so they
// work without a display.

#include <QString>
#include <QStringList>

struct TCommandLine {
  enum TKind { ckStart, ckHelp, ckVersion, ckExportPng, ckPrintPdf, ckThumbnail, ckWrongUsage };
  TKind Kind = ckStart;
  // ckStart: the project to open, as a full path (empty for none).
  QString File;
  // ckWrongUsage: what is wrong.
  QString Error;
};

// Reads the arguments that follow the program's name. Qt's own options
// (-platform NAME, -style NAME, -stylesheet FILE, -display NAME, -reverse)
// are left to the application; "--" ends the options, so a project whose
// name starts with "-" can be given after it. A "file:" URL is taken as its
// local path.
TCommandLine ParseCommandLine(const QStringList& args);

// The usage of every option, as --help prints it.
QString UsageText();
// "jacketeer <version>".
QString VersionText();

// Answers what needs no window (help, version, wrong usage, export, print
// and thumbnail modes) and returns its exit status; returns -1 when the
// program is to start, with `file` the project to open (or empty).
int RunCommandLine(int argc, char** argv, QString& file);
