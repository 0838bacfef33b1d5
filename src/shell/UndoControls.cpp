#include "shell/UndoControls.h"

#include "canvas/LabelShower.h"
#include "shell/Main.h"

#include <QAction>
#include <QBoxLayout>
#include <QListWidget>
#include <QSignalBlocker>
#include <QToolBar>
#include <QToolButton>

namespace {

// A small button showing only its picture; the tool tip names it.
QToolButton* MakeToolButton(QWidget* parent, const QString& name, QAction* action)
{
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setDefaultAction(action);
  b->setToolButtonStyle(Qt::ToolButtonIconOnly);
  b->setIconSize(QSize(20, 20));
  b->setAutoRaise(true);
  return b;
}

}  // namespace

TUndoControls::TUndoControls(TfrmMain& main) : QObject(&main), m_main(main), m_canvas(main.Canvas())
{
  setObjectName(QStringLiteral("UndoControls"));
  m_undo = new QAction(QIcon(QStringLiteral(":/icons/undo.svg")), QStringLiteral("Undo"), &main);
  m_undo->setObjectName(QStringLiteral("actUndo"));
  m_undo->setToolTip(QStringLiteral("Undo the last change (Ctrl+Z)"));
  m_undo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z)});
  m_redo = new QAction(QIcon(QStringLiteral(":/icons/redo.svg")), QStringLiteral("Redo"), &main);
  m_redo->setObjectName(QStringLiteral("actRedo"));
  m_redo->setToolTip(QStringLiteral("Redo the change undone last (Ctrl+Shift+Z or Ctrl+Y)"));
  m_redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  for (QAction* a : {m_undo, m_redo}) {
    a->setShortcutContext(Qt::WindowShortcut);
    main.addAction(a);
  }
  connect(m_undo, &QAction::triggered, this, &TUndoControls::Undo);
  connect(m_redo, &QAction::triggered, this, &TUndoControls::Redo);

  // After Print, set off by a separator.
  if (auto* tb = main.findChild<QToolBar*>(QStringLiteral("tbMain"))) {
    QAction* before = nullptr;
    const QList<QAction*> actions = tb->actions();
    for (qsizetype i = 0; i < actions.size(); ++i) {
      QWidget* w = tb->widgetForAction(actions[i]);
      if (w && w->objectName() == QLatin1String("btnPrint")) {
        before = i + 1 < actions.size() ? actions[i + 1] : nullptr;
        break;
      }
    }
    // The two stand one above the other, so that the tool bar keeps its width.
    auto* pair = new QWidget(tb);
    pair->setObjectName(QStringLiteral("plUndoRedo"));
    auto* box = new QVBoxLayout(pair);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->addWidget(MakeToolButton(pair, QStringLiteral("btnUndo"), m_undo));
    box->addWidget(MakeToolButton(pair, QStringLiteral("btnRedo"), m_redo));
    tb->insertSeparator(before);
    tb->insertWidget(before, pair);
  }

  m_canvas->History().OnChanged = [this] { UpdateActions(); };
  m_canvas->Document().OnLayersReplaced = [this] { RefillList(); };
  UpdateActions();
}

TUndoControls::~TUndoControls()
{
  if (m_canvas) {
    m_canvas->History().OnChanged = nullptr;
    m_canvas->Document().OnLayersReplaced = nullptr;
  }
}

void TUndoControls::Undo()
{
  m_canvas->ResetPress();
  m_canvas->History().Undo();
  UpdateActions();
}

void TUndoControls::Redo()
{
  m_canvas->ResetPress();
  m_canvas->History().Redo();
  UpdateActions();
}

void TUndoControls::UpdateActions()
{
  const TCoverHistory& h = m_canvas->History();
  m_undo->setEnabled(h.CanUndo());
  m_redo->setEnabled(h.CanRedo());
}

void TUndoControls::RefillList()
{
  // The list's own signals stay quiet: the cover's selection is shown next,
  // through its OnSelectLayer.
  QListWidget* list = m_main.LayerList();
  const TCoverDocument& doc = m_canvas->Document();
  const QSignalBlocker blocker(list);
  list->clear();
  for (int n = doc.LayerCount() - 1; n >= 1; --n) {
    QString kind, caption;
    doc.LayerCaption(n, kind, caption);
    list->addItem(LayerLine(kind, caption));
  }
}

TUndoControls* AttachUndoControls(TfrmMain& main)
{
  return new TUndoControls(main);
}
