#pragma once
// Command-line export of a project's print cover:
//   jacketeer --export-png PROJECT.jkp OUT.png
// renders the 940 × 940 print cover into a PNG file without opening a window.

#include <QString>
#include <QStringList>

// True when the command line asks for the export (first argument
// "--export-png").
bool IsExportPngCommand(int argc, char** argv);

// Runs the export: makes its own application on the offscreen platform when
// none exists, and returns the process exit code (0 success, 1 failure,
// 2 wrong arguments); failures are explained on stderr.
int ExportPng(int argc, char** argv);

// Opens `projectFile` in a private work folder of its own (so a running
// program's files are never touched), renders the print cover and writes it
// to `pngFile` by the rules of OutputFile.h (never over the project, never
// a partial file). `warnings` receives one line per layer whose picture could
// not be read.
bool ExportProjectToPng(const QString& projectFile, const QString& pngFile, QString& error,
                        QStringList* warnings = nullptr);
