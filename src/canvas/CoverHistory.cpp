#include "canvas/CoverHistory.h"

#include <QSet>

#include <cstring>

namespace {

bool SamePixels(const QImage& a, const QImage& b)
{
  if (a.cacheKey() == b.cacheKey()) return true;
  if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
  if (a.size() != b.size() || a.format() != b.format()) return false;
  const size_t bytes = size_t(a.bytesPerLine());
  for (int y = 0; y < a.height(); ++y)
    if (std::memcmp(a.constScanLine(y), b.constScanLine(y), bytes) != 0) return false;
  return true;
}

// Same values apart from the bitmaps.
bool SameValues(const TLayer& a, const TLayer& b)
{
  return a.Number == b.Number && a.Prev == b.Prev && a.Next == b.Next && a.Left == b.Left && a.Top == b.Top &&
         a.Width == b.Width && a.Height == b.Height && a.WorkFile == b.WorkFile && a.FileName == b.FileName &&
         a.Tracks == b.Tracks && a.Text == b.Text && a.BoundWidth == b.BoundWidth &&
         a.BoundHeight == b.BoundHeight && a.ActualWidth == b.ActualWidth && a.ActualHeight == b.ActualHeight &&
         a.Color == b.Color && a.FontName == b.FontName && a.FontStyles == b.FontStyles && a.Shadow == b.Shadow &&
         a.Smooth == b.Smooth && a.LineSpace == b.LineSpace && a.Alignment == b.Alignment && a.SoftV == b.SoftV &&
         a.SoftH == b.SoftH;
}

bool SameBackground(const TBackgroundInfo& a, const TBackgroundInfo& b)
{
  return a.FileName == b.FileName && a.ImageMode == b.ImageMode && a.StartColor == b.StartColor &&
         a.EndColor == b.EndColor && a.Vertical == b.Vertical && a.ShowImage == b.ShowImage;
}

// Replaces each bitmap of `now` that has the pixels of the one in the same
// slot of `before` by that one, so both states share it. True when the two
// states are the same cover.
bool ShareUnchanged(const TCoverState& before, TCoverState& now)
{
  bool same = before.TopSlot == now.TopSlot && SameBackground(before.Background, now.Background) &&
              before.Layers.size() == now.Layers.size();
  for (size_t i = 0; i < std::min(before.Layers.size(), now.Layers.size()); ++i) {
    const TLayer& b = before.Layers[i];
    TLayer& n = now.Layers[i];
    if (SamePixels(b.Picture, n.Picture)) n.Picture = b.Picture;
    else same = false;
    if (SamePixels(b.Mask, n.Mask)) n.Mask = b.Mask;
    else same = false;
    if (same && !SameValues(b, n)) same = false;
  }
  return same;
}

}  // namespace

TCoverHistory::TCoverHistory(TCoverDocument& doc, int maxSteps, qint64 maxBytes)
    : m_doc(doc), m_maxSteps(std::max(maxSteps, 1)), m_maxBytes(maxBytes)
{
  m_doc.OnStepBegin = [this] { StepBegun(); };
  m_doc.OnStepEnd = [this] { StepEnded(); };
  m_doc.OnHistoryReset = [this] { Clear(); };
  m_doc.OnSaved = [this] { Saved(); };
  Clear();
}

TCoverHistory::~TCoverHistory()
{
  m_doc.OnStepBegin = nullptr;
  m_doc.OnStepEnd = nullptr;
  m_doc.OnHistoryReset = nullptr;
  m_doc.OnSaved = nullptr;
}

bool TCoverHistory::CanUndo() const { return !m_undo.empty() && !m_doc.InStep(); }
bool TCoverHistory::CanRedo() const { return !m_redo.empty() && !m_doc.InStep(); }

void TCoverHistory::Clear()
{
  m_undo.clear();
  m_redo.clear();
  m_current.State = m_doc.TakeState();
  m_current.Id = m_nextId++;
  m_savedId = m_doc.Modified() ? 0 : m_current.Id;
  m_keptBytes = 0;
  Changed();
}

void TCoverHistory::StepBegun()
{
  m_selectedAtBegin = m_doc.SelectedNumber();
}

void TCoverHistory::StepEnded()
{
  TEntry now{m_doc.TakeState(), 0};
  const bool same = ShareUnchanged(m_current.State, now.State);
  // The document's bitmaps become the shared ones too.
  m_doc.ShareBitmaps(now.State);
  if (same) return;  // the step changed nothing
  now.Id = m_nextId++;
  m_current.State.SelectedNumber = m_selectedAtBegin;
  m_undo.push_back(std::move(m_current));
  m_current = std::move(now);
  m_redo.clear();
  Trim();
  Changed();
}

void TCoverHistory::Saved()
{
  m_savedId = m_current.Id;
}

bool TCoverHistory::Undo()
{
  if (!CanUndo()) return false;
  m_current.State.SelectedNumber = m_doc.SelectedNumber();
  m_redo.push_back(std::move(m_current));
  m_current = std::move(m_undo.back());
  m_undo.pop_back();
  m_doc.RestoreState(m_current.State);
  ShowModified();
  m_keptBytes = CountKeptBytes();
  Changed();
  return true;
}

bool TCoverHistory::Redo()
{
  if (!CanRedo()) return false;
  m_current.State.SelectedNumber = m_doc.SelectedNumber();
  m_undo.push_back(std::move(m_current));
  m_current = std::move(m_redo.back());
  m_redo.pop_back();
  m_doc.RestoreState(m_current.State);
  ShowModified();
  m_keptBytes = CountKeptBytes();
  Changed();
  return true;
}

void TCoverHistory::ShowModified()
{
  m_doc.SetModified(m_current.Id != m_savedId);
}

qint64 TCoverHistory::CountKeptBytes() const
{
  QSet<qint64> seen;
  for (const TLayer& l : m_current.State.Layers) {
    seen.insert(l.Picture.cacheKey());
    seen.insert(l.Mask.cacheKey());
  }
  qint64 sum = 0;
  auto count = [&](const TEntry& e) {
    for (const TLayer& l : e.State.Layers)
      for (const QImage* img : {&l.Picture, &l.Mask})
        if (!img->isNull() && !seen.contains(img->cacheKey())) {
          seen.insert(img->cacheKey());
          sum += img->sizeInBytes();
        }
  };
  for (const TEntry& e : m_undo) count(e);
  for (const TEntry& e : m_redo) count(e);
  return sum;
}

void TCoverHistory::Trim()
{
  // Oldest undo steps go first, then the farthest redo steps.
  while (int(m_undo.size()) > m_maxSteps) m_undo.pop_front();
  m_keptBytes = CountKeptBytes();
  while (m_keptBytes > m_maxBytes && (!m_undo.empty() || !m_redo.empty())) {
    if (!m_undo.empty()) m_undo.pop_front();
    else m_redo.pop_front();
    m_keptBytes = CountKeptBytes();
  }
}

void TCoverHistory::Changed()
{
  if (OnChanged) OnChanged();
}
