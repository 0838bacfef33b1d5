#include "imageeditor/ToolBase.h"

#include "imageeditor/ImageEditor.h"
#include "imageeditor/formImageEditor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QSvgRenderer>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int kSliderWidth = 272;
constexpr int kMargin = 13;  // 13 + 272 + 13: the client width of 298

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& text)
{
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setFixedSize(80, 27);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

// ---------------------------------------------------------------- TfrmToolBase

TfrmToolBase::TfrmToolBase(TfrmImageEditor& window, TToolSetup setup)
    : QDialog(&window), m_window(window), m_setup(std::move(setup))
{
  setObjectName(m_setup.Name);
  setWindowTitle(m_setup.Caption);
  setModal(true);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  auto* root = new QVBoxLayout(this);
  root->setSizeConstraint(QLayout::SetFixedSize);
  root->setContentsMargins(kMargin, 8, kMargin, 10);
  root->setSpacing(0);
  m_body = new QVBoxLayout;
  m_body->setSpacing(2);
  // Keeps the client width when there is no slider.
  m_body->addSpacerItem(new QSpacerItem(kSliderWidth, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));
  root->addLayout(m_body);

  for (size_t i = 0; i < m_setup.Sliders.size(); ++i) {
    const TToolSlider& s = m_setup.Sliders[i];
    TSliderControls c;
    c.Label = new QLabel(this);
    c.Label->setObjectName(s.LabelName);
    c.Label->setFixedHeight(c.Label->fontMetrics().height() + 2);
    c.Bar = new QSlider(Qt::Horizontal, this);
    c.Bar->setObjectName(s.Name);
    c.Bar->setRange(s.Min, s.Max);
    c.Bar->setPageStep(10);
    c.Bar->setSingleStep(1);
    c.Bar->setFocusPolicy(Qt::NoFocus);
    c.Bar->setCursor(Qt::PointingHandCursor);
    c.Bar->setFixedWidth(kSliderWidth);
    if (i > 0) m_body->addSpacing(8);
    if (i == 0 && !m_setup.CheckName.isEmpty()) {
      auto* line = new QHBoxLayout;
      line->addWidget(c.Label);
      line->addStretch();
      m_check = new QCheckBox(m_setup.CheckText, this);
      m_check->setObjectName(m_setup.CheckName);
      line->addWidget(m_check);
      m_body->addLayout(line);
    } else {
      m_body->addWidget(c.Label);
    }
    m_body->addWidget(c.Bar);
    connect(c.Bar, &QSlider::valueChanged, this, [this, i] { SliderMoved(i); });
    connect(c.Bar, &QSlider::sliderReleased, this, [this, i] { SliderEnded(i); });
    m_sliders.push_back(c);
  }
  if (m_check) connect(m_check, &QCheckBox::clicked, this, [this] { RequestRun(); });

  root->addSpacing(12);
  m_bottom = new QHBoxLayout;
  m_bottom->addStretch();
  m_buttons = new QBoxLayout(QBoxLayout::LeftToRight);
  m_buttons->setSpacing(6);
  btnOk = MakeButton(this, m_setup.PlainButtons ? QStringLiteral("btnOK") : QStringLiteral("btnOk"),
                     m_setup.PlainButtons ? QStringLiteral("Ok") : QStringLiteral("&Ok"));
  btnCancel = MakeButton(this, QStringLiteral("btnCancel"),
                         m_setup.PlainButtons ? QStringLiteral("Cancel") : QStringLiteral("&Cancel"));
  m_buttons->addWidget(btnOk);
  m_buttons->addWidget(btnCancel);
  m_bottom->addLayout(m_buttons);
  root->addLayout(m_bottom);

  connect(btnOk, &QPushButton::clicked, this, [this] {
    m_window.CommitPreview();
    accept();
  });
  connect(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
  ResetControls();
}

QSlider* TfrmToolBase::Slider(int index) const
{
  return index >= 0 && size_t(index) < m_sliders.size() ? m_sliders[size_t(index)].Bar : nullptr;
}

QLabel* TfrmToolBase::SliderLabel(int index) const
{
  return index >= 0 && size_t(index) < m_sliders.size() ? m_sliders[size_t(index)].Label : nullptr;
}

TToolValues TfrmToolBase::Values() const
{
  TToolValues v;
  for (const TSliderControls& c : m_sliders) v.Positions.push_back(c.Bar->value());
  v.Checked = m_check && m_check->isChecked();
  v.Choice = Choice();
  return v;
}

void TfrmToolBase::PlaceBesideButtons(QWidget* w)
{
  m_bottom->insertWidget(0, w);
  m_buttons->setDirection(QBoxLayout::TopToBottom);
}

void TfrmToolBase::ResetControls()
{
  for (size_t i = 0; i < m_sliders.size(); ++i) {
    TSliderControls& c = m_sliders[i];
    const TToolSlider& s = m_setup.Sliders[i];
    {
      const QSignalBlocker block(c.Bar);
      c.Bar->setValue(s.Default);
    }
    c.Label->setText(s.Prefix + QString::number(s.Default));
    c.LastRunPosition = s.Default;
  }
  if (m_check) m_check->setChecked(m_setup.CheckDefault);
  ResetChoice();
  btnOk->setEnabled(false);
}

void TfrmToolBase::EnableOk()
{
  btnOk->setEnabled(true);
}

void TfrmToolBase::showEvent(QShowEvent* e)
{
  QDialog::showEvent(e);
  if (e->spontaneous()) return;
  ResetControls();
  m_window.OnEffectDone = [this] { EnableOk(); };
  if (m_setup.FirstRun) RequestRun();
}

void TfrmToolBase::done(int result)
{
  if (isVisible()) {
    m_window.RestorePreview();
    m_window.OnEffectDone = nullptr;
  }
  QDialog::done(result);
}

void TfrmToolBase::RequestRun()
{
  btnOk->setEnabled(false);
  if (TImageEditor* editor = m_window.Editor(); editor && m_setup.Request) m_setup.Request(*editor, Values());
}

void TfrmToolBase::SliderMoved(size_t index)
{
  TSliderControls& c = m_sliders[index];
  c.Label->setText(m_setup.Sliders[index].Prefix + QString::number(c.Bar->value()));
  // A click on the track or a turn of the wheel ends at once; a drag ends
  // when the thumb is released.
  if (!c.Bar->isSliderDown()) SliderEnded(index);
}

void TfrmToolBase::SliderEnded(size_t index)
{
  TSliderControls& c = m_sliders[index];
  const int position = c.Bar->value();
  if (position == c.LastRunPosition) return;
  c.LastRunPosition = position;
  RequestRun();
}

// ---------------------------------------------------------------- Brightness/Contrast

TfrmToolBrightness::TfrmToolBrightness(TfrmImageEditor& window, TToolSetup setup)
    : TfrmToolBase(window, std::move(setup))
{
  auto* box = new QGroupBox(QStringLiteral(" Colour Channel "), this);
  box->setObjectName(QStringLiteral("gboxChannel"));
  auto* row = new QHBoxLayout(box);
  m_group = new QButtonGroup(this);
  const char* names[] = {"rbColor", "rbRed", "rbGreen", "rbBlue"};
  const char* texts[] = {"Color", "Red", "Green", "Blue"};
  for (int i = 0; i < 4; ++i) {
    auto* rb = new QRadioButton(QString::fromLatin1(texts[i]), box);
    rb->setObjectName(QString::fromLatin1(names[i]));
    m_group->addButton(rb, i);
    row->addWidget(rb);
  }
  Body()->addSpacing(10);
  Body()->addWidget(box);
  connect(m_group, &QButtonGroup::idClicked, this, [this](int id) { ChannelClick(id); });
  ResetChoice();
}

void TfrmToolBrightness::ResetChoice()
{
  if (!m_group) return;  // still being built
  m_group->button(0)->setChecked(true);
  m_channel = 0;
}

void TfrmToolBrightness::ChannelClick(int channel)
{
  if (channel == m_channel) return;
  m_channel = channel;
  // With both sliders at 0 every channel gives the same picture.
  const TToolValues v = Values();
  if (v.Positions[0] != 0 || v.Positions[1] != 0) RequestRun();
}

// ---------------------------------------------------------------- direction pad

TDirectionPad::TDirectionPad(QWidget* parent) : QWidget(parent)
{
  setObjectName(QStringLiteral("plDirection"));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(1);
  m_group = new QButtonGroup(this);
  m_group->setExclusive(true);
  struct TPlace {
    const char* name;
    int row, column, angle;
  };
  // Directions 0 … 7 from up-left clockwise to left.
  const TPlace places[8] = {{"sbtnLeftup", 0, 0, -45},    {"sbtnUp", 0, 1, 0},      {"sbtnRightup", 0, 2, 45},
                            {"sbtnRight", 1, 2, 90},      {"sbtnRightdown", 2, 2, 135}, {"sbtnDown", 2, 1, 180},
                            {"sbtnLeftdown", 2, 0, 225}, {"sbtnLeft", 1, 0, 270}};
  QSvgRenderer arrow(QStringLiteral(":/icons/up.svg"));
  for (int d = 0; d < 8; ++d) {
    auto* b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(places[d].name));
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setFixedSize(23, 22);
    b->setFocusPolicy(Qt::NoFocus);
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    {
      QPainter p(&pm);
      p.setRenderHint(QPainter::Antialiasing);
      p.translate(16, 16);
      p.rotate(places[d].angle);
      p.translate(-16, -16);
      arrow.render(&p, QRectF(0, 0, 32, 32));
    }
    b->setIcon(QIcon(pm));
    b->setIconSize(QSize(14, 14));
    m_group->addButton(b, d);
    grid->addWidget(b, places[d].row, places[d].column);
  }
  connect(m_group, &QButtonGroup::idClicked, this, [this] { emit Clicked(); });
}

int TDirectionPad::Direction() const
{
  for (int d = 0; d < 8; ++d)
    if (m_group->button(d)->isChecked()) return d;
  return 0;
}

void TDirectionPad::SetDirection(int direction)
{
  if (QAbstractButton* b = m_group->button(direction)) b->setChecked(true);
}

QToolButton* TDirectionPad::Button(int direction) const
{
  return qobject_cast<QToolButton*>(m_group->button(direction));
}

// ---------------------------------------------------------------- Emboss, MotionBlur

TfrmToolDirection::TfrmToolDirection(TfrmImageEditor& window, TToolSetup setup)
    : TfrmToolBase(window, std::move(setup))
{
  m_pad = new TDirectionPad(this);
  PlaceBesideButtons(m_pad);
  connect(m_pad, &TDirectionPad::Clicked, this, [this] { sbtnAllDirClick(); });
  ResetChoice();
}

void TfrmToolDirection::ResetChoice()
{
  if (!m_pad) return;
  m_pad->SetDirection(0);
  m_direction = 0;
}

void TfrmToolDirection::sbtnAllDirClick()
{
  const int direction = m_pad->Direction();
  if (direction == m_direction) return;
  m_direction = direction;
  RequestRun();
}

// ---------------------------------------------------------------- Smooth, Sharpen

TfrmToolLevel::TfrmToolLevel(TfrmImageEditor& window, TToolSetup setup, const QString& groupTitle,
                             const QStringList& items)
    : TfrmToolBase(window, std::move(setup))
{
  m_box = new QGroupBox(groupTitle, this);
  m_box->setObjectName(QStringLiteral("rgLevel"));
  auto* grid = new QGridLayout(m_box);
  m_group = new QButtonGroup(this);
  // Three columns filled column by column.
  const int columns = 3;
  const int rows = (int(items.size()) + columns - 1) / columns;
  for (int i = 0; i < items.size(); ++i) {
    auto* rb = new QRadioButton(items[i], m_box);
    m_group->addButton(rb, i);
    grid->addWidget(rb, i % rows, i / rows);
  }
  Body()->addWidget(m_box);
  connect(m_group, &QButtonGroup::idClicked, this, [this](int id) { rgLevelClick(id); });
  ResetChoice();
}

void TfrmToolLevel::ResetChoice()
{
  if (!m_group) return;
  m_group->button(0)->setChecked(true);
  m_item = 0;
}

void TfrmToolLevel::rgLevelClick(int item)
{
  if (item == m_item) return;
  m_item = item;
  RequestRun();
}
