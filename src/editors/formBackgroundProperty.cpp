#include "editors/formBackgroundProperty.h"

#include "canvas/CoverDocument.h"
#include "editors/PropertyEditor.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {

QRadioButton* MakeRadio(QWidget* parent, const char* name, const char* caption)
{
  auto* b = new QRadioButton(QString::fromLatin1(caption), parent);
  b->setObjectName(QString::fromLatin1(name));
  return b;
}

TColorPanel* MakePanel(QWidget* parent, const char* name)
{
  auto* p = new TColorPanel(parent);
  p->setObjectName(QString::fromLatin1(name));
  p->setFixedSize(48, 22);
  return p;
}

}  // namespace

TfrmBackgroundProperty::TfrmBackgroundProperty(TCoverDocument& document, QWidget* parent) : QDialog(parent)
{
  setObjectName(QStringLiteral("frmBackgroundProperty"));
  setWindowTitle(QStringLiteral("   Background Property"));
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  SetBackground = [&document](const QString& fileName, uint8_t imageMode, TColor startColor, int32_t endColor,
                              bool vertical, bool showImage) {
    document.SetBackground(fileName, imageMode, startColor, endColor, vertical, showImage);
  };

  Label1 = new QLabel(QStringLiteral("Background color"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);

  rbSolidColor = MakeRadio(this, "rbSolidColor", "Solid color");
  plSolidColor = MakePanel(this, "plSolidColor");
  plSolidColor->SetColor(0xFFFFFF);
  rbGradientfill = MakeRadio(this, "rbGradientfill", "Gradient fill");
  plStartColor = MakePanel(this, "plStartColor");
  plStartColor->SetColor(0x00FFFF);
  Label3 = new QLabel(QStringLiteral("==>"), this);
  Label3->setObjectName(QStringLiteral("Label3"));
  plEndColor = MakePanel(this, "plEndColor");
  const QColor face = palette().color(QPalette::Button);
  plEndColor->SetColor(MakeColor(face.red(), face.green(), face.blue()));
  comboxVertical = new QComboBox(this);
  comboxVertical->setObjectName(QStringLiteral("comboxVertical"));
  comboxVertical->addItems({QStringLiteral("Horizontal"), QStringLiteral("Vertical")});
  comboxVertical->setCurrentIndex(0);
  m_colourGroup = new QButtonGroup(this);
  m_colourGroup->addButton(rbSolidColor, 0);
  m_colourGroup->addButton(rbGradientfill, 1);
  rbSolidColor->setChecked(true);

  cboxShowImage = new QCheckBox(QStringLiteral("Show background image"), this);
  cboxShowImage->setObjectName(QStringLiteral("cboxShowImage"));
  cboxShowImage->setChecked(true);
  auto* placement = new QGroupBox(this);
  placement->setObjectName(QStringLiteral("gboxPlacement"));
  rbCenter = MakeRadio(placement, "rbCenter", "Center");
  rbStretch = MakeRadio(placement, "rbStretch", "Stretch");
  rbTile = MakeRadio(placement, "rbTile", "Tile");
  m_placementGroup = new QButtonGroup(this);
  m_placementGroup->addButton(rbCenter, imCenter);
  m_placementGroup->addButton(rbStretch, imStretch);
  m_placementGroup->addButton(rbTile, imTile);
  rbCenter->setChecked(true);
  lbFile = new QLabel(this);
  lbFile->setObjectName(QStringLiteral("lbFile"));
  lbFile->setTextFormat(Qt::PlainText);
  lbFile->setMinimumWidth(260);
  btnGetImage = new QPushButton(QStringLiteral("Select image"), this);
  btnGetImage->setObjectName(QStringLiteral("btnGetImage"));

  // Created once: it opens with the colour last chosen in it.
  CD = new QColorDialog(this);
  CD->setObjectName(QStringLiteral("CD"));
  CD->setOption(QColorDialog::DontUseNativeDialog);

  btnOk = new QPushButton(QStringLiteral("&OK"), this);
  btnOk->setObjectName(QStringLiteral("btnOk"));
  btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnOk->setDefault(true);

  auto* colours = new QGridLayout;
  colours->setHorizontalSpacing(8);
  colours->addWidget(rbSolidColor, 0, 0);
  colours->addWidget(plSolidColor, 0, 1);
  colours->addWidget(rbGradientfill, 1, 0);
  colours->addWidget(plStartColor, 1, 1);
  colours->addWidget(Label3, 1, 2);
  colours->addWidget(plEndColor, 1, 3);
  colours->addWidget(comboxVertical, 1, 4);
  colours->setColumnStretch(5, 1);

  auto* pl = new QHBoxLayout(placement);
  for (QRadioButton* b : {rbCenter, rbStretch, rbTile}) pl->addWidget(b);
  pl->addStretch(1);

  auto* picture = new QHBoxLayout;
  picture->addWidget(lbFile, 1);
  picture->addWidget(btnGetImage);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(14, 12, 14, 12);
  root->addWidget(Label1);
  root->addLayout(colours);
  root->addSpacing(10);
  root->addWidget(cboxShowImage);
  root->addWidget(placement);
  root->addLayout(picture);
  root->addSpacing(6);
  root->addLayout(buttons);
  setLayout(root);

  for (TColorPanel* p : {plSolidColor, plStartColor, plEndColor})
    connect(p, &TColorPanel::clicked, this, [this, p] { plSolidColorClick(p); });
  connect(cboxShowImage, &QCheckBox::toggled, this, [this] { cboxShowImageClick(); });
  connect(btnGetImage, &QPushButton::clicked, this, [this] { btnGetImageClick(); });
  connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  // The state starts as the controls do: white, no gradient, no picture.
  m_state.FileName.clear();
  m_state.ImageMode = imCenter;
  m_state.StartColor = plSolidColor->Color();
  m_state.EndColor = -1;
  m_state.Vertical = false;
  m_state.ShowImage = cboxShowImage->isChecked();
  m_applied = TakeSnapshot();
  ShowFileName();
}

void TfrmBackgroundProperty::LoadBackground(const QString& fileName, uint8_t imageMode, TColor startColor,
                                            int32_t endColor, bool vertical, bool showImage)
{
  m_loading = true;
  m_state = TBackgroundInfo{fileName, imageMode, startColor, endColor, vertical, showImage};
  m_pictureChosen = false;
  if (endColor == -1) {
    rbSolidColor->setChecked(true);
    plSolidColor->SetColor(startColor);
  } else {
    rbGradientfill->setChecked(true);
    plStartColor->SetColor(startColor);
    plEndColor->SetColor(TColor(endColor));
    comboxVertical->setCurrentIndex(vertical ? 1 : 0);
  }
  if (fileName.trimmed().isEmpty()) {
    // Without a picture there is nothing to show or place.
    cboxShowImage->setChecked(false);
    cboxShowImage->setEnabled(false);
    SetPlacementEnabled(false);
  } else {
    cboxShowImage->setEnabled(true);
    if (QAbstractButton* b = m_placementGroup->button(imageMode)) b->setChecked(true);
    cboxShowImage->setChecked(showImage);
    SetPlacementEnabled(showImage);
  }
  m_loading = false;
  m_applied = TakeSnapshot();
  ShowFileName();
}

TBackgroundInfo TfrmBackgroundProperty::ReadSettings() const
{
  TBackgroundInfo r;
  r.FileName = m_state.FileName;
  const int placed = m_placementGroup->checkedId();
  r.ImageMode = placed >= 0 ? uint8_t(placed) : m_state.ImageMode;
  if (rbSolidColor->isChecked()) {
    r.StartColor = plSolidColor->Color();
    r.EndColor = -1;
    r.Vertical = false;
  } else {
    r.StartColor = plStartColor->Color();
    r.EndColor = int32_t(plEndColor->Color());
    r.Vertical = comboxVertical->currentIndex() == 1;
  }
  r.ShowImage = cboxShowImage->isChecked();
  return r;
}

TBackgroundInfo TfrmBackgroundProperty::SettingsForCover(const TBackgroundInfo& cover)
{
  const TBackgroundInfo& seen = m_applied.State;
  const bool same = cover.FileName == seen.FileName && cover.ImageMode == seen.ImageMode &&
                    cover.StartColor == seen.StartColor && cover.EndColor == seen.EndColor &&
                    cover.Vertical == seen.Vertical && cover.ShowImage == seen.ShowImage;
  if (!same && !isVisible()) LoadBackground(cover);
  return ReadSettings();
}

void TfrmBackgroundProperty::Gather()
{
  m_state.ShowImage = cboxShowImage->isChecked();
  const int placed = m_placementGroup->checkedId();
  if (placed >= 0) m_state.ImageMode = uint8_t(placed);
  if (rbSolidColor->isChecked()) {
    m_state.StartColor = plSolidColor->Color();
    m_state.EndColor = -1;
  } else {
    m_state.StartColor = plStartColor->Color();
    m_state.EndColor = int32_t(plEndColor->Color());
  }
  m_state.Vertical = comboxVertical->currentIndex() == 1;
}

void TfrmBackgroundProperty::BackgroundPictureChosen(const QString& file)
{
  m_loading = true;
  cboxShowImage->setEnabled(true);
  cboxShowImage->setChecked(true);
  SetPlacementEnabled(true);
  m_loading = false;
  m_state.FileName = file;
  m_state.ShowImage = true;
  m_pictureChosen = true;
  // The cover has this now; a Cancel that follows keeps it.
  m_applied = TakeSnapshot();
  ShowFileName();
}

void TfrmBackgroundProperty::done(int result)
{
  // Cancel, Escape and the close button: nothing is applied, and the
  // controls show again what the cover has, so that a favourite made the
  // background later does not take colours the user discarded.
  if (result != QDialog::Accepted) RestoreSnapshot(m_applied);
  QDialog::done(result);
}

void TfrmBackgroundProperty::showEvent(QShowEvent* event)
{
  btnGetImage->setEnabled(bool(OnSelectImage));
  QDialog::showEvent(event);
}

TfrmBackgroundProperty::TSnapshot TfrmBackgroundProperty::TakeSnapshot() const
{
  TSnapshot s;
  s.State = m_state;
  s.Solid = plSolidColor->Color();
  s.Start = plStartColor->Color();
  s.End = plEndColor->Color();
  s.Gradient = rbGradientfill->isChecked();
  s.Direction = comboxVertical->currentIndex();
  s.Placement = m_placementGroup->checkedId();
  s.Show = cboxShowImage->isChecked();
  s.ShowEnabled = cboxShowImage->isEnabled();
  return s;
}

void TfrmBackgroundProperty::RestoreSnapshot(const TSnapshot& s)
{
  m_loading = true;
  m_state = s.State;
  plSolidColor->SetColor(s.Solid);
  plStartColor->SetColor(s.Start);
  plEndColor->SetColor(s.End);
  (s.Gradient ? rbGradientfill : rbSolidColor)->setChecked(true);
  comboxVertical->setCurrentIndex(s.Direction);
  if (QAbstractButton* b = m_placementGroup->button(s.Placement)) b->setChecked(true);
  cboxShowImage->setChecked(s.Show);
  cboxShowImage->setEnabled(s.ShowEnabled);
  SetPlacementEnabled(s.ShowEnabled && s.Show);
  m_loading = false;
  ShowFileName();
}

void TfrmBackgroundProperty::SetPlacementEnabled(bool enabled)
{
  for (QRadioButton* b : {rbCenter, rbStretch, rbTile}) b->setEnabled(enabled);
}

void TfrmBackgroundProperty::ShowFileName()
{
  const QString& file = m_state.FileName;
  if (file.trimmed().isEmpty()) {
    lbFile->setText(QStringLiteral("No background image"));
    lbFile->setToolTip(QString());
    return;
  }
  const QFileInfo info(file);
  // A picture whose file has gone since it was chosen (a project from
  // another computer, a removed disc) is named as missing; the setting is
  // kept, so that it shows again when the file is back.
  lbFile->setText(info.isFile() ? QStringLiteral("Image: %1").arg(info.fileName())
                                : QStringLiteral("Image not found: %1").arg(info.fileName()));
  lbFile->setToolTip(QDir::toNativeSeparators(file));
}

void TfrmBackgroundProperty::plSolidColorClick(TColorPanel* panel)
{
  if (CD->exec() != QDialog::Accepted) return;
  const QColor c = CD->selectedColor();
  if (!c.isValid()) return;
  panel->SetColor(MakeColor(c.red(), c.green(), c.blue()));
}

void TfrmBackgroundProperty::cboxShowImageClick()
{
  if (m_loading) return;
  SetPlacementEnabled(cboxShowImage->isChecked());
}

void TfrmBackgroundProperty::btnOkClick()
{
  Gather();
  if (SetBackground)
    SetBackground(m_state.FileName, m_state.ImageMode, m_state.StartColor, m_state.EndColor, m_state.Vertical,
                  m_state.ShowImage);
  m_applied = TakeSnapshot();
  accept();
}

void TfrmBackgroundProperty::btnGetImageClick()
{
  if (!OnSelectImage) return;
  Gather();
  OnSelectImage();
}
