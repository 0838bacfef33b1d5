#include "printing/DesktopPrinter.h"

#include "printing/PdfFile.h"

#include <QLocale>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinterInfo>

#include <langinfo.h>

#include <cstdint>

QPageSize LocalePaperSize()
{
  // The C library knows the paper of the locale (LC_PAPER) in millimetres.
#ifdef _NL_PAPER_WIDTH
  const auto widthMm = int(reinterpret_cast<intptr_t>(nl_langinfo(_NL_PAPER_WIDTH)));
  if (widthMm == 216) return QPageSize(QPageSize::Letter);
  if (widthMm == 210) return QPageSize(QPageSize::A4);
#endif
  return QPageSize(QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                       : QPageSize::A4);
}

TDesktopPrinter::TDesktopPrinter() : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
  if (QPrinterInfo::availablePrinters().isEmpty() || m_printer->outputFormat() == QPrinter::PdfFormat)
    MakePdfPrinter(LocalePaperSize());
}

TDesktopPrinter::TDesktopPrinter(const QPageSize& paper)
    : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
  MakePdfPrinter(paper);
}

void TDesktopPrinter::MakePdfPrinter(const QPageSize& paper)
{
  m_printer->setOutputFormat(QPrinter::PdfFormat);
  m_printer->setResolution(kPdfDpi);
  m_printer->setPageLayout(QPageLayout(paper, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
}

TPrinterMetrics TDesktopPrinter::Metrics() const
{
  const int dpi = m_printer->resolution();
  const QPageLayout layout = m_printer->pageLayout();
  const QRect full = layout.fullRectPixels(dpi);
  const QRect paint = layout.paintRectPixels(dpi);
  TPrinterMetrics m;
  m.DpiX = m_printer->logicalDpiX();
  m.DpiY = m_printer->logicalDpiY();
  m.PrintWidth = paint.width();
  m.PrintHeight = paint.height();
  m.OffsetX = paint.left();
  m.OffsetY = paint.top();
  m.PaperWidth = full.width();
  m.PaperHeight = full.height();
  return m;
}

bool TDesktopPrinter::PrintsToFile() const
{
  return m_printer->outputFormat() == QPrinter::PdfFormat;
}

QString TDesktopPrinter::OutputFile() const
{
  return m_printer->outputFileName();
}

void TDesktopPrinter::SetOutputFile(const QString& file)
{
  if (PrintsToFile()) m_printer->setOutputFileName(file);
}

bool TDesktopPrinter::Print(const QString& title, const std::function<void(QPainter&)>& draw, QString& error)
{
  if (PrintsToFile())
    return WritePdfFile(m_printer->outputFileName(), m_printer->pageLayout(), m_printer->resolution(), title, draw,
                        error);
  m_printer->setDocName(title);
  QPainter painter;
  if (!painter.begin(m_printer.get())) {
    error = QStringLiteral("The print job could not be started on \"%1\".").arg(m_printer->printerName());
    return false;
  }
  draw(painter);
  if (!painter.end() || m_printer->printerState() == QPrinter::Error) {
    error = QStringLiteral("The print job on \"%1\" failed.").arg(m_printer->printerName());
    return false;
  }
  return true;
}

bool TDesktopPrinter::Setup(QWidget* parent)
{
  QPrintDialog dialog(m_printer.get(), parent);
  dialog.setObjectName(QStringLiteral("PrinterSetupDialog1"));
  dialog.setWindowTitle(QStringLiteral("Print setup"));
  dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
  return dialog.exec() == QDialog::Accepted;
}
