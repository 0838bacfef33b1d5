#include "editors/formImageProperty.h"

#include "canvas/CoverDocument.h"
#include "canvas/Functions.h"

#include <QBoxLayout>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>

namespace {

// The 468 × 468 area the preview is drawn into, unscaled and centred.
class TPreviewBox : public QWidget {
public:
  TPreviewBox(const QImage& preview, QWidget* parent) : QWidget(parent), m_preview(preview)
  {
    setObjectName(QStringLiteral("PaintBox"));
    setFixedSize(468, 468);
  }

protected:
  void paintEvent(QPaintEvent*) override
  {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (m_preview.isNull()) return;
    // Halves rounded toward zero; a larger preview is cut at its edges.
    p.drawImage(QPoint((width() - m_preview.width()) / 2, (height() - m_preview.height()) / 2), m_preview);
  }

private:
  const QImage& m_preview;
};

QSlider* MakeSlider(QWidget* parent, const char* name)
{
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setObjectName(QString::fromLatin1(name));
  s->setRange(0, 50);
  s->setPageStep(2);
  s->setSingleStep(1);
  s->setTickPosition(QSlider::TicksBelow);
  s->setTickInterval(5);
  return s;
}

}  // namespace

TfrmImageProperty::TfrmImageProperty(TCoverDocument& document, QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("frmImageProperty"));
  setWindowTitle(QStringLiteral("  Image Property Editor"));
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  SetLayerBitmaps = [&document](int number, int left, int top, int softV, int softH, const QImage& picture,
                                const QImage& mask) {
    document.SetLayerBitmaps(number, left, top, softV, softH, picture, mask);
  };

  plBack = new QFrame(this);
  plBack->setObjectName(QStringLiteral("plBack"));
  plBack->setFrameShape(QFrame::Panel);
  plBack->setFrameShadow(QFrame::Sunken);
  plBack->setLineWidth(1);
  plBack->setFixedSize(470, 470);
  plBack->setAutoFillBackground(true);
  QPalette pal = plBack->palette();
  pal.setColor(QPalette::Window, Qt::white);
  plBack->setPalette(pal);
  m_paintBox = new TPreviewBox(m_preview, plBack);
  m_paintBox->move(1, 1);

  Label1 = new QLabel(QStringLiteral("Soft edge"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  lbV = new QLabel(this);
  lbV->setObjectName(QStringLiteral("lbV"));
  tbarV = MakeSlider(this, "tbarV");
  lbH = new QLabel(this);
  lbH->setObjectName(QStringLiteral("lbH"));
  tbarH = MakeSlider(this, "tbarH");
  lbV->setBuddy(tbarV);
  lbH->setBuddy(tbarH);

  btnOk = new QPushButton(QStringLiteral("Ok"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnOk->setDefault(true);

  auto* side = new QVBoxLayout;
  side->addWidget(Label1);
  side->addSpacing(8);
  side->addWidget(lbV);
  side->addWidget(tbarV);
  side->addSpacing(8);
  side->addWidget(lbH);
  side->addWidget(tbarH);
  side->addStretch(1);
  side->addWidget(btnOk);
  side->addWidget(btnCancel);
  auto* root = new QHBoxLayout(this);
  root->setContentsMargins(10, 10, 10, 10);
  root->setSpacing(12);
  root->addWidget(plBack, 0, Qt::AlignTop);
  auto* sideBox = new QWidget(this);
  sideBox->setFixedWidth(170);
  sideBox->setLayout(side);
  side->setContentsMargins(0, 0, 0, 0);
  root->addWidget(sideBox);

  tmScroll.setInterval(100);
  connect(&tmScroll, &QTimer::timeout, this, [this] { tmScrollTimer(); });
  connect(tbarV, &QSlider::valueChanged, this, [this] { tbarVChange(); });
  connect(tbarH, &QSlider::valueChanged, this, [this] { tbarVChange(); });
  connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(this, &QDialog::finished, this, [this] { tmScroll.stop(); });
  WriteLabels();
}

TfrmImageProperty::~TfrmImageProperty()
{
  tmScroll.stop();
}

void TfrmImageProperty::LoadBitmaps(const QImage& picture, const QImage& mask)
{
  m_picture = picture.convertToFormat(QImage::Format_BGR888);
  m_mask = mask.convertToFormat(QImage::Format_BGR888);
  UpdatePreview();
}

void TfrmImageProperty::LoadValues(int number, int left, int top, int softV, int softH)
{
  m_number = number;
  m_left = left;
  m_top = top;
  m_ready = false;
  tbarV->setValue(softV);
  tbarH->setValue(softH);
  m_ready = true;
  tmScroll.stop();
  UpdatePreview();
}

void TfrmImageProperty::UpdatePreview()
{
  m_preview = m_picture.copy();
  if (!m_preview.isNull()) FadeEdgesToWhite(m_preview, tbarH->value(), tbarV->value());
  m_previewV = tbarV->value();
  m_previewH = tbarH->value();
  ++m_previewBuilds;
  m_paintBox->update();
  emit PreviewBuilt();
}

void TfrmImageProperty::WriteLabels()
{
  lbV->setText(QStringLiteral("Vertical %1 %").arg(tbarV->value()));
  lbH->setText(QStringLiteral("Horizontal %1 %").arg(tbarH->value()));
}

void TfrmImageProperty::tbarVChange()
{
  if (m_ready && !tmScroll.isActive()) tmScroll.start();
  WriteLabels();
}

void TfrmImageProperty::tmScrollTimer()
{
  // A drag goes on while the button is held, wherever the pointer is.
  if (QGuiApplication::mouseButtons() & Qt::LeftButton) return;
  tmScroll.stop();
  if (tbarV->value() != m_previewV || tbarH->value() != m_previewH) UpdatePreview();
}

void TfrmImageProperty::btnOkClick()
{
  tmScroll.stop();
  if (!m_mask.isNull()) {
    QImage mask = NewBitmap(m_mask.width(), m_mask.height(), 0x000000);
    SoftenMaskEdges(mask, tbarH->value(), tbarV->value());
    m_mask = mask;
    if (SetLayerBitmaps) SetLayerBitmaps(m_number, m_left, m_top, tbarV->value(), tbarH->value(), m_picture, m_mask);
  }
  accept();
}
