#pragma once
// Undo and redo of the cover. The history keeps whole cover states, taken
// when a step of the document ends (see TCoverDocument::TStepScope). Layer
// bitmaps are implicitly shared QImages: a state holds no copy of a bitmap
// that did not change, and a re-rendered bitmap with the same pixels as
// before is replaced by the one already kept. The oldest steps are dropped
// beyond a number of steps or of bytes of bitmaps the history holds on its
// own (those the cover does not use any more).
//
// Modified follows the steps: undoing or redoing back to the state last
// saved or opened clears it; New and Open start an empty history.

#include "canvas/CoverDocument.h"

#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <functional>

class TCoverHistory {
public:
  static constexpr int DefaultMaxSteps = 100;
  static constexpr qint64 DefaultMaxBytes = qint64(256) << 20;

  // Hooks into the document's step events; the document's present state is
  // the start of the history.
  explicit TCoverHistory(TCoverDocument& doc, int maxSteps = DefaultMaxSteps, qint64 maxBytes = DefaultMaxBytes);
  ~TCoverHistory();
  TCoverHistory(const TCoverHistory&) = delete;
  TCoverHistory& operator=(const TCoverHistory&) = delete;

  // Nothing can be undone or redone while a step is in progress (an editor
  // session is open).
  bool CanUndo() const;
  bool CanRedo() const;
  // False when there was nothing to undo or redo.
  bool Undo();
  bool Redo();
  int UndoCount() const { return int(m_undo.size()); }
  int RedoCount() const { return int(m_redo.size()); }
  // Forgets every step; the present state becomes the start, and counts as
  // saved unless the document is modified.
  void Clear();

  // Bytes of bitmaps the kept states hold that the present cover does not.
  qint64 KeptBytes() const { return m_keptBytes; }
  // Identity of the present state: changes with every step, undo and redo.
  uint64_t CurrentId() const { return m_current.Id; }

  // Raised when what can be undone or redone may have changed.
  std::function<void()> OnChanged;

private:
  struct TEntry {
    TCoverState State;
    uint64_t Id = 0;
  };
  void StepBegun();
  void StepEnded();
  void Saved();
  void Trim();
  qint64 CountKeptBytes() const;
  void Changed();
  void ShowModified();

  TCoverDocument& m_doc;
  const int m_maxSteps;
  const qint64 m_maxBytes;
  std::deque<TEntry> m_undo;  // oldest first
  std::deque<TEntry> m_redo;  // next redo last
  TEntry m_current;
  uint64_t m_nextId = 1;
  uint64_t m_savedId = 0;     // 0: no kept state is the saved one
  int m_selectedAtBegin = -1;
  qint64 m_keptBytes = 0;
};
