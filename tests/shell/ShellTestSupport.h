#pragma once
// Helpers of the shell tests: mouse events sent straight to a widget, and
// answering the modal windows the program opens.

#include <QPoint>
#include <QString>

#include <functional>

class QWidget;

// Mouse events delivered synchronously to `w` at widget coordinates.
void Press(QWidget* w, QPoint p, Qt::MouseButton button = Qt::LeftButton);
void DragTo(QWidget* w, QPoint p);  // a move with the left button held
void Release(QWidget* w, QPoint p, Qt::MouseButton button = Qt::LeftButton);
void Hover(QWidget* w, QPoint p);   // a move without a button
void DoubleClick(QWidget* w, QPoint p);
// Press, release at the same point.
void Click(QWidget* w, QPoint p);
// Press at `from`, one move, release at `to`.
void Drag(QWidget* w, QPoint from, QPoint to);

// Calls `answer` with the next modal window that appears (other than
// `notThis`, or else the one modal already), from inside that window's own
// event loop.
void AnswerNextModal(std::function<void(QWidget*)> answer, QWidget* notThis = nullptr);

// Calls `answer` with the first modal window for which `which` holds, from
// inside that window's own event loop; other modal windows met first (a
// progress window on a slow machine) are left to their own course.
void AnswerModalWhen(std::function<bool(QWidget*)> which, std::function<void(QWidget*)> answer);

// Clicks the message box button with this text ("&Yes" style mnemonics
// ignored); fails the test when the window is not a message box.
void ClickMessageButton(QWidget* modal, const QString& text);
// Text of every button of a message box.
QStringList MessageButtons(QWidget* modal);
// Picks `file` in a file dialog and accepts it, or cancels when empty.
void AnswerFileDialog(QWidget* modal, const QString& file);

// Counts the modal windows that appear while `action` runs and closes each
// at once (rejecting it); used to check that nothing is asked.
int ModalsDuring(const std::function<void()>& action);
