#include "ShellTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace {

void Send(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons)
{
  QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

void Press(QWidget* w, QPoint p, Qt::MouseButton button)
{
  Send(w, QEvent::MouseButtonPress, p, button, button);
}

void DragTo(QWidget* w, QPoint p)
{
  Send(w, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
}

void Release(QWidget* w, QPoint p, Qt::MouseButton button)
{
  Send(w, QEvent::MouseButtonRelease, p, button, Qt::NoButton);
}

void Hover(QWidget* w, QPoint p)
{
  Send(w, QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton);
}

void DoubleClick(QWidget* w, QPoint p)
{
  // What the window system delivers: press, release, double click, release.
  Press(w, p);
  Release(w, p);
  Send(w, QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
  Release(w, p);
}

void Click(QWidget* w, QPoint p)
{
  Hover(w, p);
  Press(w, p);
  Release(w, p);
}

void Drag(QWidget* w, QPoint from, QPoint to)
{
  Hover(w, from);
  Press(w, from);
  DragTo(w, to);
  Release(w, to);
}

void AnswerModalWhen(std::function<bool(QWidget*)> which, std::function<void(QWidget*)> answer)
{
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, which, answer] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || !which(w)) return;
    timer->stop();
    timer->deleteLater();
    answer(w);
  });
  timer->start();
}

void AnswerNextModal(std::function<void(QWidget*)> answer, QWidget* notThis)
{
  // The window that is modal already (an editor shown by the test) is not
  // the one to come.
  QPointer<QWidget> skip = notThis ? notThis : QApplication::activeModalWidget();
  AnswerModalWhen([skip](QWidget* w) { return w != skip; }, std::move(answer));
}

QStringList MessageButtons(QWidget* modal)
{
  QStringList texts;
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (!box) return texts;
  for (QAbstractButton* b : box->buttons()) texts << b->text().remove('&');
  return texts;
}

void ClickMessageButton(QWidget* modal, const QString& text)
{
  auto* box = qobject_cast<QMessageBox*>(modal);
  ASSERT_NE(box, nullptr) << "expected a message box, got " << modal->metaObject()->className();
  for (QAbstractButton* b : box->buttons()) {
    if (b->text().remove('&') == text) {
      b->click();
      return;
    }
  }
  ADD_FAILURE() << "no button " << text.toStdString();
  box->reject();
}

void AnswerFileDialog(QWidget* modal, const QString& file)
{
  auto* dlg = qobject_cast<QFileDialog*>(modal);
  ASSERT_NE(dlg, nullptr) << "expected a file dialog, got " << modal->metaObject()->className();
  if (file.isEmpty()) {
    dlg->reject();
    return;
  }
  // Typed into the name field, as a user would: selectFile() leaves the field
  // alone while it has the focus, which depends on window activation.
  dlg->setDirectory(QFileInfo(file).absolutePath());
  if (auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(file);
  else dlg->selectFile(file);
  static_cast<QDialog*>(dlg)->accept();
}

int ModalsDuring(const std::function<void()>& action)
{
  auto count = std::make_shared<int>(0);
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [count] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      ++*count;
      d->reject();
    }
  });
  timer.start();
  action();
  return *count;
}
