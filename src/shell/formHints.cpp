#include "shell/formHints.h"

#include "shell/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>

TfrmHints::TfrmHints(TSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
  setObjectName(QStringLiteral("frmHints"));
  setWindowTitle(QStringLiteral("Hint:"));
  setFixedSize(348, 235);
  setModal(true);

  m_panel = new QFrame(this);
  m_panel->setObjectName(QStringLiteral("Panel1"));
  m_panel->setGeometry(0, 0, 348, 235);
  m_panel->setAutoFillBackground(true);
  QPalette pal = m_panel->palette();
  pal.setColor(QPalette::Window, QColor(0xE7, 0xE7, 0xE7));
  m_panel->setPalette(pal);

  m_memo = new QPlainTextEdit(m_panel);
  m_memo->setObjectName(QStringLiteral("Memo1"));
  m_memo->setGeometry(24, 24, 289, 89);
  m_memo->setReadOnly(true);
  m_memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  m_memo->setFrameShape(QFrame::NoFrame);
  QFont f = QApplication::font();
  f.setPixelSize(13);
  m_memo->setFont(f);
  m_memo->setFocusPolicy(Qt::NoFocus);

  m_check = new QCheckBox(QStringLiteral("Don't show this message again"), m_panel);
  m_check->setObjectName(QStringLiteral("cboxNoShow"));
  m_check->setGeometry(24, 130, 289, 24);
  connect(m_check, &QCheckBox::clicked, this, [this] { cboxClick(); });

  m_close = new QPushButton(QStringLiteral("Close"), m_panel);
  m_close->setObjectName(QStringLiteral("btnClose"));
  m_close->setGeometry(348 - 24 - 90, 235 - 24 - 30, 90, 30);
  m_close->setDefault(true);
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
}

QString TfrmHints::HintText(int number)
{
  switch (number) {
    case 1:
      return QStringLiteral("Double click the picture to set it as cover background or drag it to the editing area "
                            "to make it a layer.");
    case 2: return QStringLiteral("Click on the editing area to add Tracks information to CD cover.");
    case 3: return QStringLiteral("Click on the editing area to add Text to CD cover.");
    case 4: return QStringLiteral("Click on the editing area to add Year to CD cover.");
    case 5: return QStringLiteral("Click on the editing area to add Time to CD cover.");
    case 6:
      return QStringLiteral("Select a layer to edit or delete. Layer sequence can be adjusted by clicking the up or "
                            "down arrow.");
    case 7: return QStringLiteral("Click on the editing area to add Image to CD cover.");
    case 8:
      return QStringLiteral("The layer has been added. You can click to select or double click to edit layer "
                            "property.");
    default: return QString();
  }
}

void TfrmHints::SetHintText(const QString& text, int number)
{
  m_number = number;
  m_memo->setPlainText(text);
}

void TfrmHints::ShowHint(int number)
{
  if (!m_settings.ShowHint(number)) return;
  SetHintText(HintText(number), number);
  exec();
}

void TfrmHints::showEvent(QShowEvent* e)
{
  m_check->setChecked(false);
  QDialog::showEvent(e);
}

void TfrmHints::cboxClick()
{
  m_settings.SetShowHint(m_number, !m_check->isChecked());
}
