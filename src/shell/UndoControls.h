#pragma once
// Undo and Redo of the main window: two tool-bar buttons after Print, the
// keys Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y, enabled only when there is something
// to undo or redo. After an undo or redo the layer list is built again from
// the cover and shows the cover's selection.

#include <QObject>
#include <QPointer>

class QAction;
class QToolButton;
class TLabelShower;
class TfrmMain;

class TUndoControls : public QObject {
  Q_OBJECT

public:
  // Owned by the main window.
  explicit TUndoControls(TfrmMain& main);
  ~TUndoControls() override;

  QAction* UndoAction() const { return m_undo; }
  QAction* RedoAction() const { return m_redo; }

  void Undo();
  void Redo();

private:
  void UpdateActions();
  void RefillList();

  TfrmMain& m_main;
  QPointer<TLabelShower> m_canvas;  // may go before this when the window closes
  QAction* m_undo = nullptr;
  QAction* m_redo = nullptr;
};

// Creates the controls for the main window and puts them in its tool bar.
TUndoControls* AttachUndoControls(TfrmMain& main);
