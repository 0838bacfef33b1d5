#pragma once
// Helpers of the editor tests: clicks where a user clicks.

#include "editors/FontCtls.h"
#include "shell/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

// A click on the box of a check box or radio button.
inline void ClickBox(QAbstractButton* b)
{
  ASSERT_NE(b, nullptr);
  QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
}

// A click on the line of a font in the list.
inline void ClickFont(TFontListBox* list, const QString& name)
{
  const QList<QListWidgetItem*> items = list->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
  ASSERT_EQ(items.size(), 1) << name.toStdString();
  list->scrollToItem(items.first());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(items.first()).center());
}

// The centre of a slider's handle, in the slider's coordinates.
inline QPoint HandleCentre(QSlider* s)
{
  QStyleOptionSlider opt;
  opt.initFrom(s);
  opt.orientation = s->orientation();
  opt.minimum = s->minimum();
  opt.maximum = s->maximum();
  opt.sliderPosition = s->sliderPosition();
  opt.sliderValue = s->value();
  opt.singleStep = s->singleStep();
  opt.pageStep = s->pageStep();
  opt.tickPosition = s->tickPosition();
  opt.tickInterval = s->tickInterval();
  opt.subControls = QStyle::SC_All;
  return s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s).center();
}

// Accepts the next message box and keeps its text in `text`, which must
// outlive the box.
inline void AcceptNextMessage(QString& text)
{
  AnswerModalWhen([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                  [&text](QWidget* w) {
                    auto* box = static_cast<QMessageBox*>(w);
                    text = box->text();
                    box->accept();
                  });
}
