#include "canvas/LabelShower.h"

#include "imagelib/PictureFiles.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

TLabelShower::TLabelShower(QWidget* parent)
    : QWidget(parent)
{
  setFixedSize(TCoverDocument::CoverSize, TCoverDocument::CoverSize);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setAcceptDrops(true);
  setCursor(Qt::ArrowCursor);

  m_timer.setInterval(100);
  connect(&m_timer, &QTimer::timeout, this, &TLabelShower::TickMarks);
  m_doc.OnRepaint = [this] { RepaintFromCover(); };
  m_doc.OnMarksTimer = [this](bool on) {
    if (on) m_timer.start();
    else m_timer.stop();
  };
}

TLabelShower::~TLabelShower()
{
  m_timer.stop();
  m_doc.OnRepaint = nullptr;
  m_doc.OnMarksTimer = nullptr;
}

// ---------------------------------------------------------------- geometry

TRect TLabelShower::LayerRect(int number) const
{
  const TLayer* l = m_doc.LayerByNumber(number);
  if (!l) return TRect{};
  return TRect{l->Left, l->Top, l->Left + l->Width, l->Top + l->Height};
}

int TLabelShower::HitZone(int x, int y) const
{
  const int sel = m_doc.SelectedNumber();
  if (m_doc.LayerCount() <= 1 || sel <= 0 || !m_doc.LayerByNumber(sel)) return hzNone;
  const TRect r = LayerRect(sel);
  return Interaction::HitZone(&r, x, y);
}

int TLabelShower::LayerAt(int x, int y) const
{
  const int sel = m_doc.SelectedNumber();
  if (sel > 0 && HitZone(x, y) != hzNone) return sel;
  for (int n = m_doc.LayerCount() - 1; n >= 0; --n) {
    if (n == sel) continue;
    if (PointInRect(x, y, LayerRect(n))) return n;
  }
  return 0;
}

TRect TLabelShower::ResizeRect(int zone, int x, int y, bool keepAspect) const
{
  return Interaction::ResizeRect(m_downRect, zone, x, y, keepAspect);
}

void TLabelShower::SetSelectedRect(const TRect& r)
{
  const int sel = m_doc.SelectedNumber();
  if (sel <= 0) return;
  m_doc.SetLayerRect(sel, r.Left, r.Top, r.Width(), r.Height());
  m_doc.Redraw();
}

// ---------------------------------------------------------------- painting

QImage TLabelShower::Shown() const
{
  QImage img = m_doc.Cover().copy();
  if (img.format() != QImage::Format_BGR888) img = img.convertToFormat(QImage::Format_BGR888);
  if (m_marksShown && m_doc.MarksTimerOn()) m_doc.PaintMarks(img);
  if (m_feedback) {
    // A dotted rectangle drawn by inverting every other pixel of its edges.
    const TRect& f = *m_feedback;
    const int w = img.width(), h = img.height();
    auto invert = [&](int x, int y) {
      if (x < 0 || y < 0 || x >= w || y >= h || ((x + y) & 1)) return;
      uint8_t* p = img.scanLine(y) + 3 * x;
      p[0] = uint8_t(255 - p[0]);
      p[1] = uint8_t(255 - p[1]);
      p[2] = uint8_t(255 - p[2]);
    };
    const int r = f.Right - 1, b = f.Bottom - 1;
    if (r >= f.Left && b >= f.Top) {
      for (int x = std::max(f.Left, 0); x <= std::min(r, w - 1); ++x) {
        invert(x, f.Top);
        if (b != f.Top) invert(x, b);
      }
      for (int y = std::max(f.Top + 1, 0); y <= std::min(b - 1, h - 1); ++y) {
        invert(f.Left, y);
        if (r != f.Left) invert(r, y);
      }
    }
  }
  return img;
}

void TLabelShower::paintEvent(QPaintEvent*)
{
  QPainter p(this);
  p.drawImage(0, 0, Shown());
}

void TLabelShower::RepaintFromCover()
{
  m_marksShown = false;
  update();
}

void TLabelShower::TickMarks()
{
  m_doc.AdvanceRing();
  m_marksShown = true;
  update();
}

// ---------------------------------------------------------------- mouse

void TLabelShower::mousePressEvent(QMouseEvent* e)
{
  const QPoint p = e->position().toPoint();
  Press(e->button(), e->modifiers(), p.x(), p.y());
}

void TLabelShower::mouseMoveEvent(QMouseEvent* e)
{
  const QPoint p = e->position().toPoint();
  Move(e->modifiers(), p.x(), p.y());
}

void TLabelShower::mouseReleaseEvent(QMouseEvent* e)
{
  const QPoint p = e->position().toPoint();
  Release(e->button(), e->modifiers(), p.x(), p.y());
}

void TLabelShower::mouseDoubleClickEvent(QMouseEvent* e)
{
  const QPoint p = e->position().toPoint();
  DoubleClick(e->modifiers(), p.x(), p.y());
  // Qt delivers the second press of a double click as this event; it is the
  // press the double click tells the canvas to ignore.
  Press(e->button(), e->modifiers(), p.x(), p.y());
}

void TLabelShower::Press(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y)
{
  if (m_ignoreNextPress) {
    m_ignoreNextPress = false;
    return;
  }
  m_downZone = HitZone(x, y);
  m_dragMode = Interaction::DragModeForZone(m_downZone);
  const int sel = m_doc.SelectedNumber();
  if (sel > 0) {
    m_downRect = LayerRect(sel);
    // The kind is taken again here: the selection may have changed (from the
    // layer list) since the mouse last moved over the canvas.
    m_selectedKind = m_doc.LayerKind(sel);
    m_keepAspect = m_selectedKind == lkPicture;
  }
  if (button == Qt::LeftButton) {
    m_timerWasOn = m_doc.MarksTimerOn();
    m_doc.SetMarksTimer(false);
    m_pressed = true;
    m_downX = x;
    m_downY = y;
    if (m_dragMode == dmMove) {
      const TRect r = LayerRect(sel);
      m_offLeft = r.Left - x;
      m_offRight = r.Right - x;
      m_offTop = r.Top - y;
      m_offBottom = r.Bottom - y;
    } else if (m_dragMode == dmNone) {
      const int n = LayerAt(x, y);
      if (n != sel && n != 0) {
        m_doc.SelectLayer(n);
        m_timerWasOn = true;
      } else if (n == 0) {
        m_doc.SelectLayer(-1);
        m_timerWasOn = false;
      }
    }
  }
  if (OnCanvasMouseDown) OnCanvasMouseDown(this, button, mods, x, y);
}

void TLabelShower::Move(Qt::KeyboardModifiers mods, int x, int y)
{
  if (m_pressed) {
    RepaintFromCover();
    if (m_dragMode == dmResize)
      m_feedback = ResizeRect(m_downZone, x, y, m_keepAspect);
    else if (m_dragMode == dmMove)
      m_feedback = TRect{x + m_offLeft, y + m_offTop, x + m_offRight, y + m_offBottom};
    else
      m_feedback.reset();
  } else {
    m_selectedKind = m_doc.LayerKind(m_doc.SelectedNumber());
    m_keepAspect = m_selectedKind == lkPicture;
    UpdateCursor(HitZone(x, y));
  }
  if (OnCanvasMouseMove) OnCanvasMouseMove(this, mods, x, y);
}

void TLabelShower::UpdateCursor(int zone)
{
  switch (zone) {
    case hzBody: setCursor(Qt::SizeAllCursor); break;
    case hzTopLeft:
    case hzBottomRight: setCursor(Qt::SizeFDiagCursor); break;
    case hzTopRight:
    case hzBottomLeft: setCursor(Qt::SizeBDiagCursor); break;
    default: setCursor(Qt::ArrowCursor); break;
  }
}

void TLabelShower::Release(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y)
{
  if (!m_pressed || button != Qt::LeftButton) return;
  // The end of a drag is one step, and so is a layer the main window adds
  // for this click.
  TCoverDocument::TStepScope step(m_doc);
  m_feedback.reset();
  const bool moved = x != m_downX || y != m_downY;
  if (m_dragMode == dmResize) {
    // A click on a handle without moving leaves the layer as it is.
    if (moved) ResizeSelected(x, y);
    else RepaintFromCover();
  } else if (m_dragMode == dmMove) {
    MoveSelected(x, y);
  } else {
    RepaintFromCover();
  }
  if ((m_dragMode == dmResize || m_dragMode == dmMove) && moved) m_doc.SetModified(true);
  m_dragMode = dmNone;
  m_doc.SetMarksTimer(m_timerWasOn && m_doc.SelectedNumber() > 0);
  if (OnCanvasMouseUp) OnCanvasMouseUp(this, button, mods, x, y);
  m_pressed = false;
}

void TLabelShower::ResizeSelected(int x, int y)
{
  const int n = m_doc.SelectedNumber();
  if (n <= 0 || !m_doc.LayerByNumber(n)) return;
  m_downRect = LayerRect(n);
  const TRect r = Interaction::KeepTouchingCover(ResizeRect(m_downZone, x, y, m_keepAspect));
  switch (m_selectedKind) {
    case lkPicture: {
      const TPictureLayerInfo p = m_doc.GetPictureLayer(n);
      m_doc.UpdatePictureLayer(n, r.Left, r.Top, p.WorkFile, p.SoftV, p.SoftH, r.Width(), r.Height());
      break;
    }
    case lkText: {
      const TTextLayerInfo t = m_doc.GetTextLayer(n);
      m_doc.UpdateTextLayer(n, r.Left, r.Top, t.Text, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth,
                            r.Width(), r.Height());
      break;
    }
    default: {
      const TTracksLayerInfo t = m_doc.GetTracksLayer(n);
      const QStringList lines = t.Tracks ? *t.Tracks : QStringList();
      m_doc.UpdateTracksLayer(n, r.Left, r.Top, lines, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth,
                              t.LineSpace, r.Width(), r.Height(), t.Alignment);
      break;
    }
  }
  m_doc.SelectLayer(n);
  SetSelectedRect(r);
}

void TLabelShower::MoveSelected(int x, int y)
{
  const int n = m_doc.SelectedNumber();
  const TLayer* l = m_doc.LayerByNumber(n);
  if (n <= 0 || !l) return;
  int left = x + (l->Left - m_downX);
  int top = y + (l->Top - m_downY);
  Interaction::LimitMovedPosition(left, top, l->Width, l->Height);
  m_doc.MoveLayerTo(n, left, top);
  m_doc.Redraw();
  m_doc.BuildOutline(m_doc.SlotOf(n));
}

void TLabelShower::DoubleClick(Qt::KeyboardModifiers, int, int)
{
  m_doc.EditSelected(true);
  if (OnCanvasDblClick) OnCanvasDblClick(this);
  m_ignoreNextPress = true;
}

// ---------------------------------------------------------------- drag and drop

// Whether a drag carries something the editing area takes: a favourite, or
// picture files. Anything else shows the refusal cursor.
static bool Droppable(const QMimeData* mime)
{
  return mime && (mime->hasFormat(TLabelShower::FavouriteMimeType) || !PictureFilesIn(mime).isEmpty());
}

void TLabelShower::dragEnterEvent(QDragEnterEvent* e)
{
  if (Droppable(e->mimeData())) e->acceptProposedAction();
  else e->ignore();
}

void TLabelShower::dragMoveEvent(QDragMoveEvent* e)
{
  if (Droppable(e->mimeData())) e->acceptProposedAction();
  else e->ignore();
}

void TLabelShower::dropEvent(QDropEvent* e)
{
  const QMimeData* mime = e->mimeData();
  const QPoint p = e->position().toPoint();
  TCoverDocument::TStepScope step(m_doc);  // all pictures of one drop are one step
  if (mime && mime->hasFormat(FavouriteMimeType)) {
    e->acceptProposedAction();
    if (OnCanvasDragDrop) OnCanvasDragDrop(this, e->source(), p.x(), p.y());
    return;
  }
  const QStringList files = PictureFilesIn(mime);
  if (files.isEmpty()) {
    e->ignore();
    return;
  }
  e->acceptProposedAction();
  if (OnCanvasFilesDropped) OnCanvasFilesDropped(this, files, p.x(), p.y());
}
