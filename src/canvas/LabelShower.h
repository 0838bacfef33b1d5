#pragma once
// The cover canvas: the 470 × 470 editing area that shows the composed cover
// with the crawling selection marks, and lets the user select, move and
// resize layers with the mouse. It owns the one cover document and forwards
// the operations the windows use to it.

#include "canvas/CoverDocument.h"
#include "canvas/CoverHistory.h"
#include "canvas/Interaction.h"

#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class TLabelShower : public QWidget {
  Q_OBJECT

public:
  // The drag source a favourite picture carries. Besides favourites only
  // picture files from the desktop's file manager (text/uri-list) are
  // accepted.
  static constexpr const char* FavouriteMimeType = "application/x-jacketeer-favourite";

  explicit TLabelShower(QWidget* parent = nullptr);
  ~TLabelShower() override;

  TCoverDocument& Document() { return m_doc; }
  const TCoverDocument& Document() const { return m_doc; }
  // Undo and redo of the cover's changes.
  TCoverHistory& History() { return m_history; }

  // Canvas mouse events, each called after the canvas has done its own work.
  std::function<void(TLabelShower*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnCanvasMouseDown;
  std::function<void(TLabelShower*, Qt::KeyboardModifiers, int x, int y)> OnCanvasMouseMove;
  std::function<void(TLabelShower*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnCanvasMouseUp;
  std::function<void(TLabelShower*)> OnCanvasDblClick;
  std::function<void(TLabelShower*, QObject* source, int x, int y)> OnCanvasDragDrop;
  // Picture files dropped from outside (the favourite drop takes precedence).
  std::function<void(TLabelShower*, const QStringList& files, int x, int y)> OnCanvasFilesDropped;

  // Forwarded document operations.
  int LayerCount() const { return m_doc.LayerCount(); }
  int LayerKind(int number) const { return m_doc.LayerKind(number); }
  int SelectedNumber() const { return m_doc.SelectedNumber(); }
  bool Modified() const { return m_doc.Modified(); }
  void SelectLayer(int number) { m_doc.SelectLayer(number); }
  void DeleteLayer(int number) { m_doc.DeleteLayer(number); }
  void MoveLayerUp(int& number) { m_doc.MoveLayerUp(number); }
  void MoveLayerDown(int& number) { m_doc.MoveLayerDown(number); }
  void EditSelected(bool allowBackground) { m_doc.EditSelected(allowBackground); }
  void EditBackground() { m_doc.EditBackground(); }
  void NewCover() { m_doc.NewCover(); }
  void Redraw() { m_doc.Redraw(); }

  // Interaction.
  void SetDragMode(int mode) { m_dragMode = mode; }
  int DragMode() const { return m_dragMode; }
  // Forgets a press in progress, so that a release belonging to a dialog is
  // not taken as the end of a drag.
  void ResetPress() { m_pressed = false; m_feedback.reset(); }
  bool Pressed() const { return m_pressed; }
  int HitZone(int x, int y) const;
  int LayerAt(int x, int y) const;
  TRect ResizeRect(int zone, int x, int y, bool keepAspect) const;
  TRect LayerRect(int number) const;
  void SetSelectedRect(const TRect& r);

  // What the editing area shows right now: the cover, the marks when a tick
  // has drawn them, and the dotted feedback rectangle of a drag.
  QImage Shown() const;
  // The feedback rectangle of the drag in progress, if any.
  std::optional<TRect> Feedback() const { return m_feedback; }
  // The selection-mark timer; one tick advances and draws the marks.
  const QTimer& MarksTimer() const { return m_timer; }
  void TickMarks();

protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void dragEnterEvent(QDragEnterEvent*) override;
  void dragMoveEvent(QDragMoveEvent*) override;
  void dropEvent(QDropEvent*) override;

private:
  void Press(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y);
  void Move(Qt::KeyboardModifiers mods, int x, int y);
  void Release(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y);
  void DoubleClick(Qt::KeyboardModifiers mods, int x, int y);
  void ResizeSelected(int x, int y);
  void MoveSelected(int x, int y);
  void UpdateCursor(int zone);
  void RepaintFromCover();

  TCoverDocument m_doc;
  TCoverHistory m_history{m_doc};
  QTimer m_timer;
  bool m_marksShown = false;
  std::optional<TRect> m_feedback;

  bool m_pressed = false;
  int m_dragMode = dmNone;
  int m_downZone = hzNone;
  int m_downX = 0, m_downY = 0;
  TRect m_downRect;
  int m_offLeft = 0, m_offRight = 0, m_offTop = 0, m_offBottom = 0;
  int m_selectedKind = lkPicture;
  bool m_keepAspect = true;
  bool m_timerWasOn = false;
  bool m_ignoreNextPress = false;
};
