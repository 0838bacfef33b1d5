#pragma once
// A printer of known metrics for the printing tests: its one page is a
// picture the tests can look at.

#include "printing/PrintPreview.h"

#include <QImage>
#include <QRect>

#include <functional>

class TTestPrinter : public TPrinterDevice {
public:
  explicit TTestPrinter(const TPrinterMetrics& metrics) : M(metrics) {}

  TPrinterMetrics Metrics() const override { return M; }
  bool PrintsToFile() const override { return false; }
  QString OutputFile() const override { return {}; }
  void SetOutputFile(const QString&) override {}
  bool Print(const QString& title, const std::function<void(QPainter&)>& draw, QString& error) override;
  bool Setup(QWidget*) override { return OnSetup ? OnSetup(M) : false; }

  TPrinterMetrics M;
  QImage Page;  // the last job's page (printable area), white where nothing was drawn
  int Jobs = 0;
  QString Title;
  // The set-up dialog: may change the metrics; answers whether it was confirmed.
  std::function<bool(TPrinterMetrics&)> OnSetup;
};

TPrinterMetrics MakeMetrics(int dpi, int printWidth, int printHeight, int offsetX, int offsetY, int paperWidth,
                            int paperHeight);

// A print cover of one colour.
QImage SolidCover(QRgb colour);

// The smallest rectangle holding every pixel for which `match` is true (a
// null rectangle when none is).
QRect BoxWhere(const QImage& image, const std::function<bool(QRgb)>& match);
// How many pixels of row y (or column x) match.
int CountInRow(const QImage& image, int y, const std::function<bool(QRgb)>& match);
int CountInColumn(const QImage& image, int x, const std::function<bool(QRgb)>& match);
