#pragma once
// Printing a project to a PDF file from the command line:
//   jacketeer --print-pdf PROJECT.jkp OUT.pdf [--paper A4|Letter]
//             [--position Center|Top|…|RightBottom] [--cutting-line]
// The cover is placed by the print preview's arithmetic and drawn by its
// print job on a PDF printer of 600 dots per inch whose whole sheet is
// printable; no window is shown and no display is needed.

#include <QPageSize>
#include <QString>
#include <QStringList>

struct TPrintPdfOptions {
  QString Project;
  QString Output;
  QPageSize::PageSizeId Paper = QPageSize::A4;
  int PositionItem = 0;  // index of the preview's radio item, 0 "Center"
  bool CuttingLine = false;
};

// True when the first argument is "--print-pdf".
bool IsPrintPdfCommand(int argc, char** argv);

// Reads the arguments that follow "--print-pdf"; false with a message when
// they are not a valid command.
bool ParsePrintPdfArguments(const QStringList& args, TPrintPdfOptions& options, QString& error);

// Opens the project, renders its print cover and prints it into the PDF,
// writing the output by the rules of project/OutputFile.h (never over the
// project, never a partial file). `warnings` receives one line per layer
// whose picture could not be read.
bool PrintProjectToPdf(const TPrintPdfOptions& options, QString& error, QStringList* warnings = nullptr);

// Runs the command; returns the exit status: 0 printed, 1 failed (the reason
// on stderr, no output file left behind), 2 wrong usage.
int PrintPdf(int argc, char** argv);
