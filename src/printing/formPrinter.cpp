#include "printing/formPrinter.h"

#include "printing/DesktopPrinter.h"

#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QString kJobTitle = QStringLiteral("Jacketeer cover");

}  // namespace

TfrmPrinter::TfrmPrinter(QWidget* parent, std::unique_ptr<TPrinterDevice> printer)
    : QDialog(parent), m_printer(std::move(printer))
{
  if (!m_printer) m_printer = std::make_unique<TDesktopPrinter>();
  setObjectName(QStringLiteral("frmPrinter"));
  setWindowTitle(QStringLiteral("Print Preview"));
  resize(619, 520);
  setMinimumSize(619, 520);
  setSizeGripEnabled(true);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  // The left column: Print, Print setup, the positions and the cutting line.
  auto* plLeft = new QWidget(this);
  plLeft->setObjectName(QStringLiteral("plLeft"));
  auto* col = new QVBoxLayout(plLeft);
  col->setContentsMargins(6, 10, 6, 10);
  col->setSpacing(6);
  btnPrint = new QPushButton(QIcon(QStringLiteral(":/icons/print.svg")), QStringLiteral("Print"), plLeft);
  btnPrint->setObjectName(QStringLiteral("btnPrint"));
  btnPrint->setDefault(true);
  btnPrintSetup =
      new QPushButton(QIcon(QStringLiteral(":/icons/printsetup.svg")), QStringLiteral("Print setup"), plLeft);
  btnPrintSetup->setObjectName(QStringLiteral("btnPrintSetup"));
  for (QPushButton* b : {btnPrint, btnPrintSetup}) {
    b->setIconSize(QSize(20, 20));
    b->setAutoDefault(false);
    b->setMinimumHeight(30);
    col->addWidget(b);
  }
  col->addSpacing(6);

  rbPosition = new QGroupBox(QStringLiteral(" Position "), plLeft);
  rbPosition->setObjectName(QStringLiteral("rbPosition"));
  auto* radios = new QVBoxLayout(rbPosition);
  radios->setContentsMargins(6, 6, 2, 6);
  radios->setSpacing(3);
  m_positions = new QButtonGroup(this);
  const QStringList& names = PositionItemNames();
  for (int i = 0; i < names.size(); ++i) {
    auto* rb = new QRadioButton(names[i], rbPosition);
    rb->setObjectName(QStringLiteral("rb") + names[i]);
    m_positions->addButton(rb, i);
    radios->addWidget(rb);
  }
  m_positions->button(0)->setChecked(true);
  col->addWidget(rbPosition);

  cboxCuttingLine = new QCheckBox(QStringLiteral("Cutting line"), plLeft);
  cboxCuttingLine->setObjectName(QStringLiteral("cboxCuttingLine"));
  col->addWidget(cboxCuttingLine);
  col->addStretch(1);
  // 121 pixels, or what the desktop's font needs.
  plLeft->setFixedWidth(std::max(121, plLeft->sizeHint().width()));
  row->addWidget(plLeft);

  // The rest: the preview.
  plBackground = new QFrame(this);
  plBackground->setObjectName(QStringLiteral("plBackground"));
  auto* bg = new QVBoxLayout(plBackground);
  bg->setContentsMargins(0, 0, 0, 0);
  m_preview = new TPrintPreview(plBackground);
  m_preview->SetPrinter(m_printer.get());
  bg->addWidget(m_preview);
  row->addWidget(plBackground, 1);

  m_fileDialog = new QFileDialog(this, QStringLiteral("Print to file"));
  m_fileDialog->setObjectName(QStringLiteral("dlgPrintFile"));
  m_fileDialog->setOption(QFileDialog::DontUseNativeDialog);
  m_fileDialog->setAcceptMode(QFileDialog::AcceptSave);
  m_fileDialog->setFileMode(QFileDialog::AnyFile);
  m_fileDialog->setDefaultSuffix(QStringLiteral("pdf"));
  m_fileDialog->setNameFilter(QStringLiteral("PDF file (*.pdf)"));
  m_fileDialog->setDirectory(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));

  connect(btnPrint, &QPushButton::clicked, this, [this] { btnPrintClick(); });
  connect(btnPrintSetup, &QPushButton::clicked, this, [this] { btnPrintSetupClick(); });
  connect(m_positions, &QButtonGroup::idClicked, this, [this](int item) { rbPositionClick(item); });
  connect(cboxCuttingLine, &QCheckBox::toggled, this, [this](bool on) { cboxCuttingLineClick(on); });
}

TfrmPrinter::~TfrmPrinter()
{
  m_preview->SetPrinter(nullptr);
}

void TfrmPrinter::ShowCover(const QImage& cover)
{
  m_cover = cover.copy();
  m_preview->SetCover(&m_cover);
  m_preview->SetActualSize();
  m_preview->SetPosition(cpCenter);
  m_positions->button(0)->setChecked(true);
}

void TfrmPrinter::btnPrintClick()
{
  if (m_printer->PrintsToFile()) {
    // The file printed last, or the folder the set-up dialog chose.
    const QString last = m_printer->OutputFile();
    const QFileInfo info(last);
    QString name = QStringLiteral("cover.pdf");
    if (!last.isEmpty() && (last.endsWith('/') || info.isDir())) {
      m_fileDialog->setDirectory(last);
    } else if (!last.isEmpty()) {
      m_fileDialog->setDirectory(info.absolutePath());
      name = info.fileName();
    }
    m_fileDialog->selectFile(name);
    if (m_fileDialog->exec() != QDialog::Accepted || m_fileDialog->selectedFiles().isEmpty()) return;
    m_printer->SetOutputFile(m_fileDialog->selectedFiles().first());
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QImage cover;
  if (RenderPrintImage) RenderPrintImage(cover);
  else cover = m_cover;
  QString error;
  const bool ok = m_preview->PrintCover(cover, kJobTitle, error);
  QApplication::restoreOverrideCursor();
  if (!ok) QMessageBox::critical(this, QStringLiteral("Jacketeer"), error);
}

void TfrmPrinter::btnPrintSetupClick()
{
  if (!m_printer->Setup(this)) return;
  m_preview->SetCover(&m_cover);
  m_preview->SetActualSize();
  m_preview->SetPosition(PositionCodeOfItem(std::max(0, m_positions->checkedId())));
}

void TfrmPrinter::rbPositionClick(int item)
{
  m_preview->SetPosition(PositionCodeOfItem(item));
}

void TfrmPrinter::cboxCuttingLineClick(bool checked)
{
  m_preview->SetCuttingLine(checked);
}
