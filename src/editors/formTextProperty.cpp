#include "editors/formTextProperty.h"

#include "canvas/CoverDocument.h"
#include "editors/FontCtls.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfrmTextProperty::TfrmTextProperty(TCoverDocument& document, QWidget* parent) : TPropertyEditor(parent)
{
  setObjectName(QStringLiteral("frmTextProperty"));
  setWindowTitle(QStringLiteral("   Text Property Editor"));
  UpdateTextLayer = [&document](const TTextValues& v) {
    document.UpdateTextLayer(v.Number, v.Left, v.Top, v.Text, v.Font.FontName, v.Font.Color, v.Font.FontStyles,
                             v.Font.Shadow, v.Font.Smooth, v.BoundWidth, v.BoundHeight);
  };

  Label3 = new QLabel(QStringLiteral("Text (press <ENTER> to preview)"), this);
  Label3->setObjectName(QStringLiteral("Label3"));
  edText = new QLineEdit(this);
  edText->setObjectName(QStringLiteral("edText"));
  Label3->setBuddy(edText);
  connect(edText, &QLineEdit::returnPressed, this, [this] { Changed(); });

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(10, 10, 10, 10);
  root->setSpacing(6);
  root->addWidget(Label3);
  root->addWidget(edText);
  auto* groups = new QHBoxLayout;
  groups->addWidget(gboxFonts, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(gboxStyles);
  right->addWidget(gboxEffects);
  groups->addLayout(right);
  root->addLayout(groups, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  root->addLayout(buttons);
  gboxFonts->setMinimumWidth(220);
  resize(470, 330);
}

void TfrmTextProperty::LoadTextLayer(int number, int left, int top, const QString& text, const QString& fontName,
                                     TColor color, uint8_t fontStyles, bool shadow, bool smooth, int width,
                                     int height)
{
  m_initial = TTextValues{number, left, top, text, {fontName, color, fontStyles, shadow, smooth}, width, height};
  m_ready = false;
  edText->setText(text);
  LoadFontControls(m_initial.Font);
  m_ready = true;
  SelectLayerFont(fontName);
  edText->selectAll();
  m_current = m_initial;
}

void TfrmTextProperty::showEvent(QShowEvent* event)
{
  TPropertyEditor::showEvent(event);
  edText->setFocus(Qt::OtherFocusReason);
  edText->selectAll();
}

bool TfrmTextProperty::ReadControls()
{
  bool changed = ReadFontControls(m_current.Font);
  if (m_current.Text != edText->text()) {
    m_current.Text = edText->text();
    changed = true;
  }
  return changed;
}

void TfrmTextProperty::ApplyEdited()
{
  if (UpdateTextLayer) UpdateTextLayer(m_current);
}

void TfrmTextProperty::RestoreInitial()
{
  if (UpdateTextLayer) UpdateTextLayer(m_initial);
}

bool TfrmTextProperty::IsUnchanged() const
{
  return m_current.Text == m_initial.Text && m_current.Font == m_initial.Font;
}
