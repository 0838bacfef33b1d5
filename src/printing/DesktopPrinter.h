#pragma once
// The desktop's printer for the print preview: the default printer, or, when
// no printer is installed, a PDF file of the locale's paper at 600 dots per
// inch whose whole sheet is printable.

#include "printing/PrintPreview.h"

#include <QPageSize>
#include <QPrinter>

#include <memory>

class TDesktopPrinter : public TPrinterDevice {
public:
  // The default printer, or a PDF file printer when there is none.
  TDesktopPrinter();
  // A PDF file printer of this paper (the command line's printer).
  explicit TDesktopPrinter(const QPageSize& paper);

  TPrinterMetrics Metrics() const override;
  bool PrintsToFile() const override;
  QString OutputFile() const override;
  void SetOutputFile(const QString& file) override;
  bool Print(const QString& title, const std::function<void(QPainter&)>& draw, QString& error) override;
  bool Setup(QWidget* parent) override;

  QPrinter& Printer() { return *m_printer; }

private:
  void MakePdfPrinter(const QPageSize& paper);

  std::unique_ptr<QPrinter> m_printer;
};

// The paper of the desktop's locale: Letter where that is the custom, A4
// elsewhere.
QPageSize LocalePaperSize();

// PDF printing: the resolution of a PDF file printer.
inline constexpr int kPdfDpi = 600;
