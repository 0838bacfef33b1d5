#include "editors/PropertyEditor.h"

#include "editors/FontCtls.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QColorDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace {

QColor ToQColor(TColor c) { return QColor(ColorRed(c), ColorGreen(c), ColorBlue(c)); }

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* caption)
{
  auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

}  // namespace

// ---------------------------------------------------------------- colour panel

TColorPanel::TColorPanel(QWidget* parent) : QFrame(parent)
{
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Sunken);
  setLineWidth(1);
  setAutoFillBackground(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setToolTip(QStringLiteral("Click to choose the colour"));
  SetColor(0);
}

void TColorPanel::SetColor(TColor color)
{
  m_color = color & 0xFFFFFF;
  QPalette pal = palette();
  pal.setColor(QPalette::Window, ToQColor(m_color));
  setPalette(pal);
}

void TColorPanel::mouseReleaseEvent(QMouseEvent* event)
{
  QFrame::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void TColorPanel::keyPressEvent(QKeyEvent* event)
{
  if (event->key() == Qt::Key_Space) {
    emit clicked();
    return;
  }
  QFrame::keyPressEvent(event);
}

// ---------------------------------------------------------------- editor

TPropertyEditor::TPropertyEditor(QWidget* parent) : QDialog(parent)
{
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  gboxFonts = new QGroupBox(QStringLiteral(" Fonts "), this);
  gboxFonts->setObjectName(QStringLiteral("gboxFonts"));
  m_fontList = new TFontListBox(gboxFonts);
  m_fontList->setFrameShape(QFrame::NoFrame);
  m_fontList->setMinimumSize(174, 104);
  {
    QPalette pal = m_fontList->palette();
    pal.setColor(QPalette::Base, QColor(0xE7, 0xE7, 0xE7));
    m_fontList->setPalette(pal);
  }
  // TrueType fonts and fonts of any other technology.
  m_fontList->SetFilterOptions(ShowTrueType);
  auto* fl = new QVBoxLayout(gboxFonts);
  fl->setContentsMargins(1, 4, 1, 1);
  fl->addWidget(m_fontList);
  connect(m_fontList, &TFontListBox::Click, this, [this] {
    m_fontPicked = true;
    Changed();
  });

  gboxStyles = new QGroupBox(QStringLiteral(" Styles "), this);
  gboxStyles->setObjectName(QStringLiteral("gboxStyles"));
  cboxBold = MakeCheck(gboxStyles, "cboxBold", "Bold");
  cboxItalic = MakeCheck(gboxStyles, "cboxItalic", "Italic");
  cboxUnderline = MakeCheck(gboxStyles, "cboxUnderline", "Underline");
  cboxStrikeOut = MakeCheck(gboxStyles, "cboxStrikeOut", "StrikeOut");
  auto* sl = new QVBoxLayout(gboxStyles);
  for (QCheckBox* b : {cboxBold, cboxItalic, cboxUnderline, cboxStrikeOut}) sl->addWidget(b);
  sl->addStretch(1);

  gboxEffects = new QGroupBox(QStringLiteral(" Effects "), this);
  gboxEffects->setObjectName(QStringLiteral("gboxEffects"));
  cboxSmooth = MakeCheck(gboxEffects, "cboxSmooth", "Smooth");
  cboxShadow = MakeCheck(gboxEffects, "cboxShadow", "Shadow");
  Label2 = new QLabel(QStringLiteral("Color"), gboxEffects);
  Label2->setObjectName(QStringLiteral("Label2"));
  plColor = new TColorPanel(gboxEffects);
  plColor->setObjectName(QStringLiteral("plColor"));
  plColor->setFixedSize(48, 22);
  auto* el = new QVBoxLayout(gboxEffects);
  el->addWidget(cboxSmooth);
  el->addWidget(cboxShadow);
  auto* cl = new QHBoxLayout;
  cl->addWidget(Label2);
  cl->addWidget(plColor);
  cl->addStretch(1);
  el->addLayout(cl);
  el->addStretch(1);

  for (QCheckBox* b : {cboxBold, cboxItalic, cboxUnderline, cboxStrikeOut, cboxSmooth, cboxShadow})
    connect(b, &QCheckBox::toggled, this, [this] { cboxBoldClick(); });

  // Created once: it opens with the colour last chosen in it.
  CD = new QColorDialog(this);
  CD->setObjectName(QStringLiteral("CD"));
  CD->setOption(QColorDialog::DontUseNativeDialog);
  connect(plColor, &TColorPanel::clicked, this, [this] { plColorClick(); });

  btnOk = new QPushButton(QStringLiteral("&OK"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  // Enter previews the text; it must not close the window.
  for (QPushButton* b : {btnOk, btnCancel}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TPropertyEditor::done(int result)
{
  if (result == QDialog::Accepted) {
    if (ReadControls()) ApplyEdited();
  } else if (!IsUnchanged()) {
    RestoreInitial();
  }
  QDialog::done(result);
}

void TPropertyEditor::Changed()
{
  if (ReadControls()) ApplyEdited();
}

void TPropertyEditor::cboxBoldClick()
{
  if (m_ready) Changed();
}

void TPropertyEditor::plColorClick()
{
  if (CD->exec() != QDialog::Accepted) return;
  const QColor c = CD->selectedColor();
  if (!c.isValid()) return;
  plColor->SetColor(MakeColor(c.red(), c.green(), c.blue()));
  Changed();
}

void TPropertyEditor::LoadFontControls(const TFontValues& values)
{
  cboxBold->setChecked(values.FontStyles & 1);
  cboxItalic->setChecked(values.FontStyles & 2);
  cboxUnderline->setChecked(values.FontStyles & 4);
  cboxStrikeOut->setChecked(values.FontStyles & 8);
  cboxShadow->setChecked(values.Shadow);
  cboxSmooth->setChecked(values.Smooth);
  plColor->SetColor(values.Color);
}

void TPropertyEditor::SelectLayerFont(const QString& fontName)
{
  m_fontList->SelectName(fontName);
  m_fontPicked = false;
}

bool TPropertyEditor::ReadFontControls(TFontValues& values) const
{
  TFontValues read;
  read.FontName = m_fontPicked ? m_fontList->SelectedName() : values.FontName;
  read.Color = plColor->Color();
  read.FontStyles = uint8_t((cboxBold->isChecked() ? 1 : 0) | (cboxItalic->isChecked() ? 2 : 0) |
                            (cboxUnderline->isChecked() ? 4 : 0) | (cboxStrikeOut->isChecked() ? 8 : 0));
  read.Shadow = cboxShadow->isChecked();
  read.Smooth = cboxSmooth->isChecked();
  if (read == values) return false;
  values = read;
  return true;
}
