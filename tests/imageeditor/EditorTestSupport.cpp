#include "EditorTestSupport.h"

#include "shell/ShellTestSupport.h"

#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

bool WaitCount(QSignalSpy& spy, int count)
{
  while (spy.count() < count)
    if (!spy.wait(20000)) return false;
  return true;
}

void DragSlider(QSlider* slider, int value, bool release)
{
  QStyleOptionSlider opt;
  opt.initFrom(slider);
  opt.orientation = slider->orientation();
  opt.minimum = slider->minimum();
  opt.maximum = slider->maximum();
  opt.sliderPosition = slider->sliderPosition();
  opt.sliderValue = slider->value();
  opt.subControls = QStyle::SC_All;
  QStyle* style = slider->style();
  const QRect handle = style->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
  const QRect groove = style->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, slider);
  const int span = groove.width() - handle.width();
  const int x = groove.x() + handle.width() / 2 +
                QStyle::sliderPositionFromValue(slider->minimum(), slider->maximum(), value, span);
  const QPoint from = handle.center();
  Press(slider, from);
  DragTo(slider, QPoint((from.x() + x) / 2, from.y()));
  DragTo(slider, QPoint(x, from.y()));
  if (release) Release(slider, QPoint(x, from.y()));
}

void EditorWindowTest::SetUp()
{
  ASSERT_TRUE(dir.isValid());
  main = std::make_unique<QWidget>();
  main->setGeometry(60, 40, 735, 585);
  main->show();
  frm = std::make_unique<TfrmImageEditor>(main.get());
}

void EditorWindowTest::TearDown()
{
  frm.reset();
  main.reset();
}

void EditorWindowTest::Open(const QImage& picture, const QString& file)
{
  frm->SetPicture(picture);
  frm->SetPictureFile(file);
  frm->show();
}
