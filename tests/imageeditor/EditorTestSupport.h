#pragma once
// The editor window over a stand-in main window, for the window and dialog
// tests, and a slider drag as a user makes it.

#include "imageeditor/ImageEditor.h"
#include "imageeditor/formImageEditor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTimer>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>

class QSlider;

// Waits until the spy has seen `count` signals.
bool WaitCount(QSignalSpy& spy, int count);

// Presses the slider's thumb, drags it to `value`, and releases it unless
// told not to.
void DragSlider(QSlider* slider, int value, bool release = true);

// Calls `answer` with the next visible modal window of type T, from inside
// that window's own event loop; other modal windows are left alone.
template <typename T>
void AnswerNext(std::function<void(T*)> answer)
{
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!w || !w->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    answer(w);
  });
  timer->start();
}

class EditorWindowTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the picture in the window (shown without a modal loop).
  void Open(const QImage& picture, const QString& file);
  TImageEditor* editor() const { return frm->Editor(); }
  QString TempPath(const QString& name) const { return dir.filePath(name); }

  QTemporaryDir dir;
  std::unique_ptr<QWidget> main;
  std::unique_ptr<TfrmImageEditor> frm;
};
