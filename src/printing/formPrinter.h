#pragma once
// The print preview window: the sheet with the cover at its printed size,
// the nine positions, the cutting line, the printer set-up and Print.

#include "printing/PrintPreview.h"

#include <QDialog>
#include <QImage>

#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QPushButton;

class TfrmPrinter : public QDialog {
  Q_OBJECT

public:
  // The window prints on `printer`, or on the desktop's printer when none
  // is given.
  explicit TfrmPrinter(QWidget* parent = nullptr, std::unique_ptr<TPrinterDevice> printer = nullptr);
  ~TfrmPrinter() override;

  // Renders the print cover at the moment of printing (set by the main
  // window); without it the cover given to ShowCover is printed.
  std::function<void(QImage&)> RenderPrintImage;

  // Takes a copy of the print cover and shows it centred at its printed size
  // ("Center" chosen; the cutting line stays as it was).
  void ShowCover(const QImage& cover);

  TPrintPreview* Preview() const { return m_preview; }
  TPrinterDevice* Printer() const { return m_printer.get(); }
  QFileDialog* FileDialog() const { return m_fileDialog; }

  // Handlers.
  void btnPrintClick();
  void btnPrintSetupClick();
  void rbPositionClick(int item);
  void cboxCuttingLineClick(bool checked);

private:
  std::unique_ptr<TPrinterDevice> m_printer;
  QImage m_cover;
  TPrintPreview* m_preview = nullptr;
  QPushButton* btnPrint = nullptr;
  QPushButton* btnPrintSetup = nullptr;
  QGroupBox* rbPosition = nullptr;
  QButtonGroup* m_positions = nullptr;
  QCheckBox* cboxCuttingLine = nullptr;
  QFrame* plBackground = nullptr;
  QFileDialog* m_fileDialog = nullptr;
};
