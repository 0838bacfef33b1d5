#include "imagelib/Thumbnailer.h"

#include "canvas/LabelShower.h"
#include "imagelib/ImageLoader.h"
#include "imagelib/PictureFiles.h"
#include "imagelib/TypeIcons.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QToolTip>
#include <QUrl>

#include <algorithm>

#include <sys/stat.h>

using namespace ThumbLayout;

namespace {

const QColor kSelectedColor(0x00, 0x00, 0x80);   // navy
const QColor kCaptionColor(0xFF, 0xFF, 0xDC);    // pale yellow
const QColor kFrameGrey(0x80, 0x80, 0x80);
const QColor kBadgeFrame(0x40, 0x40, 0x40);

// Lines that cover their start and not their end, drawn as one-pixel fills.
void HLine(QPainter& p, int x0, int x1, int y, const QColor& c)
{
  if (x1 > x0) p.fillRect(x0, y, x1 - x0, 1, c);
  else if (x0 > x1) p.fillRect(x1 + 1, y, x0 - x1, 1, c);
}

void VLine(QPainter& p, int x, int y0, int y1, const QColor& c)
{
  if (y1 > y0) p.fillRect(x, y0, 1, y1 - y0, c);
  else if (y0 > y1) p.fillRect(x, y1 + 1, 1, y0 - y1, c);
}

// stat() of a path given as raw bytes; false when it is gone.
bool StatRaw(const QByteArray& path, struct stat& st)
{
  return ::stat(path.constData(), &st) == 0;
}

QString ListOfNames(const QStringList& names)
{
  constexpr int kShown = 10;
  QString text = names.mid(0, kShown).join(QLatin1Char('\n'));
  if (names.size() > kShown) text += QStringLiteral("\n(and %1 more)").arg(names.size() - kShown);
  return text;
}

}  // namespace

// ---------------------------------------------------------------- cell drawing

QString FitTextWithEllipsis(const QFontMetrics& fm, const QString& text, int limit)
{
  if (fm.horizontalAdvance(text) <= limit) return text;
  const QString dots = QStringLiteral("...");
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  QString prefix;
  qsizetype pos = 0;
  for (;;) {
    const qsizetype next = finder.toNextBoundary();
    if (next < 0 || next >= text.size()) break;  // the last character is never appended
    const QString piece = text.mid(pos, next - pos);
    const int width = fm.horizontalAdvance(prefix + piece + dots);
    // A single code unit must stay below the limit; a character made of
    // several may reach it.
    if (piece.size() == 1 ? width >= limit : width > limit) break;
    prefix += piece;
    pos = next;
  }
  return prefix + dots;
}

QString ThumbInfoLine(int width, int height, int bitCount)
{
  if (bitCount <= 8) return QStringLiteral("%1x%2x%3").arg(width).arg(height).arg(1 << std::max(0, bitCount));
  return QStringLiteral("%1x%2x%3b").arg(width).arg(height).arg(bitCount);
}

void DrawThumbnailCell(QPainter& p, int x, int y, const TThumbnailRec& item, const QColor& normalColor)
{
  const QFontMetrics fm = p.fontMetrics();
  const int th = fm.height();
  constexpr int box = ThumbBoxWidth;

  // Caption strip with the file name.
  const QString caption = FitTextWithEllipsis(fm, item.Name, box);
  const int captionTop = y + CellHeight - th - 1;
  p.fillRect(QRect(QPoint(x + 1, captionTop), QPoint(x + CellWidth - 1, y + CellHeight - 2)), kCaptionColor);
  p.setPen(Qt::black);
  p.drawText(x + 5 + (box - fm.horizontalAdvance(caption)) / 2, captionTop + fm.ascent(), caption);

  // Upper area with a raised edge.
  const int yb = y + CellHeight - th - 2;
  p.fillRect(QRect(QPoint(x, y), QPoint(x + CellWidth - 1, yb - 1)), item.Selected ? kSelectedColor : normalColor);
  HLine(p, x, x + CellWidth, y, Qt::white);
  VLine(p, x, y, yb, Qt::white);
  HLine(p, x + CellWidth, x, yb, kFrameGrey);
  VLine(p, x + CellWidth, yb, y, kFrameGrey);

  const TTypeIcon& icons = TypeIcons(item.ImageType);
  const QColor ink = item.Selected ? Qt::white : Qt::black;
  if (item.Made && !item.Bitmap.isNull()) {
    const int w = item.Bitmap.width(), h = item.Bitmap.height();
    const int ix = x + 5 + (box - w) / 2, iy = y + 5 + (ThumbBoxHeight - h) / 2;
    p.drawImage(ix, iy, item.Bitmap);
    HLine(p, ix, ix + w, iy, kFrameGrey);
    VLine(p, ix, iy, iy + h, kFrameGrey);
    HLine(p, ix + w, ix, iy + h, Qt::white);
    VLine(p, ix + w, iy + h, iy, Qt::white);
    const QString info = ThumbInfoLine(item.Width, item.Height, item.BitCount);
    p.setPen(ink);
    p.drawText(x + 5 + (box - fm.horizontalAdvance(info)) / 2, y + 115 + fm.ascent(), info);
    if (!icons.Small.isNull()) {
      const int bw = icons.Small.width(), bh = icons.Small.height();
      const int r = x + CellWidth;
      HLine(p, r - bw + 4, r + 4, y + 3, kBadgeFrame);
      VLine(p, r - bw + 3, y + 3, y + bh + 4, kBadgeFrame);
      HLine(p, r - bw + 3, r + 4, y + bh + 4, kBadgeFrame);
      VLine(p, r + 4, y + bh + 4, y + 2, kBadgeFrame);
      p.drawImage(r - bw + 4, y + 4, icons.Small);
    }
  } else if (!icons.Large.isNull()) {
    const int w = icons.Large.width(), h = icons.Large.height();
    const int ix = x + 5 + (box - w) / 2, iy = y + 5 + (ThumbBoxHeight - h) / 2;
    p.drawImage(ix, iy, icons.Large);
    if (item.Failed || !item.Usable) {
      const QImage& mark = UnreadableMark();
      p.drawImage(ix + w - mark.width() + 4, iy + h - mark.height() + 2, mark);
      const QString info = QStringLiteral("Can not be read");
      p.setPen(ink);
      p.drawText(x + 5 + (box - fm.horizontalAdvance(info)) / 2, y + 115 + fm.ascent(), info);
    }
  }
}

// ---------------------------------------------------------------- paint box

class TThumbnailPaintBox : public QWidget {
public:
  explicit TThumbnailPaintBox(TThumbnail* grid) : QWidget(grid), m_grid(grid)
  {
    setObjectName(QStringLiteral("pbThumbnails"));
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

protected:
  void paintEvent(QPaintEvent* e) override
  {
    QPainter p(this);
    m_grid->Paint(p, e->rect());
  }
  void mousePressEvent(QMouseEvent* e) override { m_grid->MousePress(e); }
  void mouseMoveEvent(QMouseEvent* e) override { m_grid->MouseMove(e); }
  void mouseReleaseEvent(QMouseEvent* e) override { m_grid->MouseRelease(e); }
  void mouseDoubleClickEvent(QMouseEvent* e) override { m_grid->MouseDoubleClick(e); }
  void keyPressEvent(QKeyEvent* e) override { m_grid->KeyPress(e); }
  void wheelEvent(QWheelEvent* e) override
  {
    if (m_grid->m_scrollBar->isVisible()) QApplication::sendEvent(m_grid->m_scrollBar, e);
  }
  bool event(QEvent* e) override
  {
    if (e->type() != QEvent::ToolTip) return QWidget::event(e);
    // The whole name of the picture under the pointer (the cell may show it cut).
    auto* help = static_cast<QHelpEvent*>(e);
    const int i = m_grid->ItemAt(help->pos());
    if (i >= 0) QToolTip::showText(help->globalPos(), m_grid->Item(i).Name, this, m_grid->CellRect(i));
    else QToolTip::hideText();
    return true;
  }
  void focusInEvent(QFocusEvent*) override { update(); }
  void focusOutEvent(QFocusEvent*) override { update(); }
  void dragEnterEvent(QDragEnterEvent* e) override { Offer(e); }
  void dragMoveEvent(QDragMoveEvent* e) override { Offer(e); }
  void dropEvent(QDropEvent* e) override
  {
    if (!m_grid->DragEnter(e->mimeData(), e->source())) {
      e->ignore();
      return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    m_grid->Drop(e->mimeData());
  }

private:
  void Offer(QDropEvent* e)
  {
    if (m_grid->DragEnter(e->mimeData(), e->source())) {
      e->setDropAction(Qt::CopyAction);
      e->accept();
    } else {
      e->ignore();
    }
  }

  TThumbnail* m_grid;
};

// ---------------------------------------------------------------- creation

TThumbnail::TThumbnail(QWidget* parent) : QFrame(parent)
{
  setObjectName(QStringLiteral("Thumbnail"));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
  setMinimumSize(60, 60);

  m_box = new TThumbnailPaintBox(this);
  m_scrollBar = new QScrollBar(Qt::Vertical, this);
  m_scrollBar->setObjectName(QStringLiteral("sbThumbnails"));
  m_scrollBar->setFocusPolicy(Qt::NoFocus);
  m_scrollBar->hide();
  connect(m_scrollBar, &QScrollBar::valueChanged, this, [this](int value) {
    m_scrollY = -value;
    UpdateGeometry();
    m_box->update();
  });
  connect(m_scrollBar, &QScrollBar::sliderPressed, this, [this] { SetGentle(true); });
  connect(m_scrollBar, &QScrollBar::sliderReleased, this, [this] {
    SetGentle(false);
    SetWorkerRange();
  });

  m_autoScroll.setInterval(AutoScrollMs);
  connect(&m_autoScroll, &QTimer::timeout, this, [this] { AutoScrollTick(); });
  Layout();
}

TThumbnail::~TThumbnail()
{
  m_autoScroll.stop();
  m_worker.reset();  // tells it to stop and waits
}

QWidget* TThumbnail::PaintBox() const
{
  return m_box;
}

QString TThumbnail::FocusedPath() const
{
  return m_focusedName.isEmpty() ? QString() : m_folder + m_focusedName;
}

// ---------------------------------------------------------------- folder and worker

void TThumbnail::SetFolder(const QString& folder)
{
  QString f = folder;
  if (!f.trimmed().isEmpty() && !f.endsWith(QLatin1Char('/'))) f += QLatin1Char('/');
  m_requestedFolder = f;
  if (f == m_folder && !m_refreshPending) {
    if (!m_worker && OnIdle) OnIdle();
    return;
  }
  if (m_worker) {  // asked again once it has ended
    m_worker->Terminate();
    return;
  }
  if (f != m_folder) {
    m_items.clear();
    m_folder = f;
    m_focusedName.clear();
    m_focusedRaw.clear();
    m_focused = -1;
    m_anchor = 0;
    m_scrollY = 0;
    m_refreshPending = false;
    Layout();
    m_box->update();
  }
  if (m_folder.isEmpty()) {  // a blank folder shows nothing
    m_refreshPending = false;
    if (OnIdle) OnIdle();
    return;
  }
  StartWorker();
}

void TThumbnail::Refresh()
{
  m_refreshPending = true;
  SetFolder(m_requestedFolder);
}

void TThumbnail::Stop()
{
  m_closing = true;
  if (m_worker) {
    m_worker->Terminate();
  } else {
    m_closing = false;
    if (OnIdle) OnIdle();
  }
}

void TThumbnail::StartWorker()
{
  std::vector<TMakeThumbnailThread::TKnownFile> known;
  m_scanIsRefresh = m_refreshPending;
  m_refreshPending = false;
  if (m_scanIsRefresh) {
    known.reserve(m_items.size());
    for (const TThumbnailRec& r : m_items) known.push_back({r.RawName, r.Time, r.Size, r.Made});
  }
  m_worker = std::make_unique<TMakeThumbnailThread>(m_folder, std::move(known));
  ++m_generation;
  connect(m_worker.get(), &TMakeThumbnailThread::NoticesReady, this, [this] { WorkerNotices(); },
          Qt::QueuedConnection);
  SetWorkerRange();
  m_worker->start();
}

void TThumbnail::SetWorkerRange()
{
  if (m_worker) m_worker->SetRange(m_firstVisible, m_lastVisible);  // the worker limits it to its list
}

void TThumbnail::SetGentle(bool gentle)
{
  if (m_worker) m_worker->SetGentle(gentle);
}

void TThumbnail::WorkerNotices()
{
  if (!m_worker) return;
  const quint64 generation = m_generation;
  std::vector<TThumbnailNotice> notices = m_worker->TakeNotices();
  bool repaint = false;
  for (TThumbnailNotice& n : notices) {
    switch (n.Kind) {
    case TThumbnailNotice::Scanned:
      AdoptScan(n);
      break;
    case TThumbnailNotice::Made:
    case TThumbnailNotice::Failed: {
      if (n.Index < 0 || n.Index >= Count()) break;
      TThumbnailRec& r = m_items[size_t(n.Index)];
      if (n.Kind == TThumbnailNotice::Made) {
        r.Bitmap = std::move(n.Bitmap);
        r.Width = n.Width;
        r.Height = n.Height;
        r.BitCount = n.BitCount;
        r.Made = true;
        r.Failed = false;
      } else {
        r.Made = false;
        r.Failed = true;
      }
      if (n.Index >= m_firstVisible && n.Index <= m_lastVisible) repaint = true;
      m_percent = n.Percent;
      if (OnProgress) OnProgress(n.Percent);
      break;
    }
    case TThumbnailNotice::Ended:
      if (repaint) m_box->update();
      WorkerEnded();
      return;
    }
    // A handler may have run the event loop, and with it the end of this
    // worker and the start of the next: the rest belongs to a finished list.
    if (!m_worker || m_generation != generation) return;
  }
  if (repaint) m_box->update();
}

void TThumbnail::AdoptScan(TThumbnailNotice& n)
{
  std::vector<TThumbnailRec> items;
  items.reserve(n.Files.size());
  for (size_t k = 0; k < n.Files.size(); ++k) {
    TListedFile& f = n.Files[k];
    const int from = n.From[k];
    TThumbnailRec r;
    if (from >= 0 && from < Count()) {
      r = std::move(m_items[size_t(from)]);  // keeps its selection
      if (!n.Keep[k]) {
        r.Made = false;
        r.Bitmap = QImage();
        r.Width = r.Height = 0;
        r.BitCount = 0;
      }
    }
    r.ImageType = ImageFileType(ImageFileExt(f.Name));
    r.Usable = QFile::encodeName(f.Name) == f.RawName;
    r.Name = std::move(f.Name);
    r.RawName = std::move(f.RawName);
    r.Time = f.Time;
    r.Size = f.Size;
    items.push_back(std::move(r));
  }
  m_items.swap(items);

  m_anchor = 0;
  m_focused = -1;
  if (!m_focusedRaw.isEmpty()) {
    for (int i = 0; i < Count(); ++i) {
      if (m_items[size_t(i)].RawName == m_focusedRaw) {
        m_focused = i;
        break;
      }
    }
    if (m_focused < 0) {  // the focused file is gone
      m_focusedName.clear();
      m_focusedRaw.clear();
    }
  }
  if (!m_scanIsRefresh) m_scrollY = 0;
  Layout(false);
  SetWorkerRange();
  if (OnFolderScanned) OnFolderScanned(Count(), n.Total, m_scanIsRefresh);
  m_box->update();
}

void TThumbnail::WorkerEnded()
{
  m_worker.reset();  // it has posted its last notice; this only joins it
  m_percent = 0;
  if (m_closing) {
    m_closing = false;
    if (OnIdle) OnIdle();
  } else {
    SetFolder(m_requestedFolder);
  }
}

// ---------------------------------------------------------------- geometry

void TThumbnail::resizeEvent(QResizeEvent* e)
{
  QFrame::resizeEvent(e);
  Layout(true);
}

void TThumbnail::Layout(bool keepAnchorRow)
{
  const QRect cr = contentsRect();
  const int sbw = m_scrollBar->sizeHint().width();
  const int count = Count();
  const auto contentFor = [count](int width) {
    const int cols = std::max(1, width / ColumnPitch);
    return (count / cols + (count % cols ? 1 : 0)) * RowPitch;
  };
  const bool bar = contentFor(cr.width()) > cr.height();
  const int boxWidth = std::max(0, bar ? cr.width() - sbw : cr.width());
  m_box->setGeometry(cr.x(), cr.y(), boxWidth, cr.height());
  m_scrollBar->setGeometry(cr.x() + cr.width() - sbw, cr.y(), sbw, cr.height());

  const int content = contentFor(boxWidth);
  const int page = m_box->height();
  if (content <= page) {
    m_scrollBar->hide();
    m_scrollY = 0;
  } else {
    const int maximum = content - page + 1;  // the largest position
    int position = -m_scrollY;
    if (keepAnchorRow) position = (m_anchor / std::max(1, boxWidth / ColumnPitch)) * RowPitch;
    position = std::clamp(position, 0, maximum);
    const QSignalBlocker block(m_scrollBar);
    m_scrollBar->setRange(0, maximum);
    m_scrollBar->setPageStep(page);
    m_scrollBar->setSingleStep(SmallChange);
    m_scrollBar->setValue(position);
    m_scrollBar->show();
    m_scrollY = -position;
  }
  UpdateGeometry();
  m_box->update();
}

void TThumbnail::UpdateGeometry()
{
  const int w = m_box->width(), h = m_box->height();
  m_columns = std::max(1, w / ColumnPitch);
  const int count = Count();
  m_rows = count / m_columns + (count % m_columns ? 1 : 0);
  m_firstRow = -m_scrollY / RowPitch;
  m_lastRow = std::max(m_firstRow, (h - m_scrollY - Gap) / RowPitch);
  m_firstVisible = m_firstRow * m_columns;
  m_lastVisible = m_columns * (m_lastRow + 1) - 1;
  SetWorkerRange();
}

void TThumbnail::ScrollTo(int position)
{
  if (!m_scrollBar->isVisible()) return;
  m_scrollBar->setValue(std::clamp(position, 0, m_scrollBar->maximum()));
}

void TThumbnail::ScrollBy(int delta)
{
  ScrollTo(-m_scrollY + delta);
}

void TThumbnail::ScrollIntoView(int index)
{
  if (index < 0 || index >= Count()) return;
  const int top = (index / m_columns) * RowPitch + m_scrollY;
  const int page = m_box->height();
  if (top < 0) ScrollBy(top);
  else if (top + CellHeight > page - Gap) ScrollBy(top + CellHeight - (page - Gap) + 1);
}

int TThumbnail::ItemAt(QPoint p) const
{
  for (int r = m_firstRow; r <= m_lastRow; ++r) {
    if (p.y() < r * RowPitch + m_scrollY + Gap || p.y() > (r + 1) * RowPitch + m_scrollY) continue;
    for (int k = 0; k < m_columns; ++k) {
      if (p.x() < k * ColumnPitch + Gap || p.x() > (k + 1) * ColumnPitch) continue;
      const int i = r * m_columns + k;
      return i < Count() ? i : -1;
    }
    return -1;
  }
  return -1;
}

QRect TThumbnail::CellRect(int index) const
{
  return QRect((index % m_columns) * ColumnPitch + Gap, (index / m_columns) * RowPitch + m_scrollY + Gap, CellWidth,
               CellHeight);
}

// ---------------------------------------------------------------- painting

void TThumbnail::Paint(QPainter& p, const QRect& area)
{
  const QColor normal = palette().color(QPalette::Button);
  p.fillRect(area, normal);
  p.setFont(m_box->font());
  const int last = std::min(m_lastVisible, Count() - 1);
  for (int i = std::max(0, m_firstVisible); i <= last; ++i) {
    const QRect cell = CellRect(i);
    if (!cell.adjusted(0, 0, 6, 0).intersects(area)) continue;  // the badge overhangs by 4
    DrawThumbnailCell(p, cell.x(), cell.y(), m_items[size_t(i)], normal);
  }
  if (m_focused >= 0 && m_focused <= last && m_box->hasFocus()) {
    const QRect cell = CellRect(m_focused);
    const int th = p.fontMetrics().height();
    QPen pen(m_items[size_t(m_focused)].Selected ? Qt::white : Qt::black, 1, Qt::DotLine);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(cell.x() + 2, cell.y() + 2, CellWidth - 4, CellHeight - th - 6));
  }
  if (Count() == 0 && m_acceptFileDrops && !m_worker) {
    p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    p.drawText(m_box->rect().adjusted(Gap, Gap, -Gap, -Gap), Qt::AlignCenter | Qt::TextWordWrap,
               QStringLiteral("Drag pictures here from your file manager."));
  }
  if (m_down && !m_onItem) {
    p.setPen(QPen(kFrameGrey, 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(BandRect());
  }
}

QPoint TThumbnail::ClampedCurrent() const
{
  return QPoint(std::clamp(m_current.x(), 0, std::max(0, m_box->width() - 1)),
                std::clamp(m_current.y(), 0, std::max(0, m_box->height() - 1)));
}

QRect TThumbnail::BandRect() const
{
  const QPoint start(m_pressPoint.x(), m_pressPoint.y() + m_scrollY - m_pressScroll);
  return QRect(start, ClampedCurrent()).normalized();
}

// ---------------------------------------------------------------- selection

void TThumbnail::DeselectAll()
{
  for (TThumbnailRec& r : m_items) r.Selected = false;
}

int TThumbnail::SelectedCount() const
{
  return int(std::count_if(m_items.begin(), m_items.end(), [](const TThumbnailRec& r) { return r.Selected; }));
}

QStringList TThumbnail::SelectedFiles() const
{
  QStringList files;
  for (const TThumbnailRec& r : m_items)
    if (r.Selected && r.Usable) files << m_folder + r.Name;
  return files;
}

void TThumbnail::SelectAll()
{
  for (TThumbnailRec& r : m_items) r.Selected = true;
  m_box->update();
  if (OnSelectionDone) OnSelectionDone(-1, SelectedCount());
}

void TThumbnail::SetBlock(const TBlock& b, bool state)
{
  for (int r = b.Top; r <= b.Bottom; ++r)
    for (int c = b.Left; c <= b.Right; ++c) {
      const int i = r * m_columns + c;
      if (i < Count()) m_items[size_t(i)].Selected = state;
    }
}

void TThumbnail::ToggleBlock(const TBlock& b)
{
  for (int r = b.Top; r <= b.Bottom; ++r)
    for (int c = b.Left; c <= b.Right; ++c) {
      const int i = r * m_columns + c;
      if (i < Count()) m_items[size_t(i)].Selected = !m_items[size_t(i)].Selected;
    }
}

// The rectangle of the grid between two items (not the run of indices).
void TThumbnail::SelectBlock(int from, int to, std::optional<bool> state)
{
  TBlock b;
  b.Top = std::min(from, to) / m_columns;
  b.Bottom = std::max(from, to) / m_columns;
  b.Left = std::min(from % m_columns, to % m_columns);
  b.Right = std::max(from % m_columns, to % m_columns);
  SetBlock(b, state.value_or(true));
}

void TThumbnail::ClickSelect(int index, Qt::KeyboardModifiers mods)
{
  const bool ctrl = mods & Qt::ControlModifier, shift = mods & Qt::ShiftModifier;
  if (index < 0) {
    if (!ctrl && !shift) DeselectAll();
    return;
  }
  if (m_anchor < 0 || m_anchor >= Count()) m_anchor = index;
  TThumbnailRec& item = m_items[size_t(index)];
  if (ctrl && shift) {
    SelectBlock(m_anchor, index, m_items[size_t(m_anchor)].Selected);
    item.Selected = true;
  } else if (shift) {
    DeselectAll();
    SelectBlock(m_anchor, index, true);
  } else if (ctrl) {
    item.Selected = !item.Selected;
    m_anchor = index;
  } else {
    DeselectAll();
    item.Selected = true;
    m_anchor = index;
  }
}

TThumbnail::TBlock TThumbnail::BandBlock() const
{
  const QPoint a(m_pressPoint.x(), m_pressPoint.y() - m_pressScroll);
  const QPoint cur = ClampedCurrent();
  const QPoint b(cur.x(), cur.y() - m_scrollY);
  const int left = std::min(a.x(), b.x()), right = std::max(a.x(), b.x());
  const int top = std::min(a.y(), b.y()), bottom = std::max(a.y(), b.y());
  TBlock k;
  k.Top = top / RowPitch;
  k.Bottom = bottom / RowPitch - (bottom % RowPitch < Gap ? 1 : 0);
  k.Bottom = std::min(k.Bottom, m_rows - 1);
  k.Left = left / ColumnPitch;
  k.Right = right / ColumnPitch - (right % ColumnPitch < Gap ? 1 : 0);
  k.Right = std::min(k.Right, m_columns - 1);
  const bool empty = k.Bottom < k.Top || k.Right < k.Left || k.Top > m_rows - 1 || k.Left > m_columns - 1 ||
                     k.Top * m_columns + k.Left >= Count();
  if (empty) return TBlock{};  // Bottom < Top
  return k;
}

void TThumbnail::UpdateBand()
{
  const TBlock b1 = BandBlock();
  const bool empty = b1.Bottom < b1.Top;
  if (empty ? !m_band0 : (m_band0 && *m_band0 == b1)) return;
  const bool ctrl = m_mods & Qt::ControlModifier, shift = m_mods & Qt::ShiftModifier;
  if (ctrl) {
    if (m_band0) ToggleBlock(*m_band0);
    if (!empty) ToggleBlock(b1);
  } else if (shift) {
    if (m_band0) SetBlock(*m_band0, false);
    if (!empty) SetBlock(b1, true);
  } else if (empty) {
    if (m_band0) SetBlock(*m_band0, false);
  } else {
    DeselectAll();
    SetBlock(b1, true);
  }
  m_band0 = empty ? std::nullopt : std::optional<TBlock>(b1);
}

void TThumbnail::AutoScrollTick()
{
  if (m_current.y() >= m_box->height()) ScrollBy(SmallChange);
  else if (m_current.y() < 0) ScrollBy(-SmallChange);
  UpdateBand();
  m_box->update();
}

// ---------------------------------------------------------------- focus

void TThumbnail::FocusItem(int index)
{
  m_focused = index;
  if (index < 0 || index >= Count()) return;
  const TThumbnailRec& item = m_items[size_t(index)];
  if (item.RawName == m_focusedRaw) return;
  struct stat st {};
  if (!StatRaw(QFile::encodeName(m_folder) + item.RawName, st)) return;  // gone: reported by the next scan
  m_focusedName = item.Name;
  m_focusedRaw = item.RawName;
  if (!OnItemFocus) return;
  TThumbnailFocus f;
  f.Path = m_folder + item.Name;
  f.Time = QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
  f.Size = qint64(st.st_size);
  if (item.Made) {
    f.Width = item.Width;
    f.Height = item.Height;
    f.BitCount = item.BitCount;
  }
  f.Count = Count();
  f.Number = index + 1;
  OnItemFocus(f);
}

void TThumbnail::NextItem()
{
  if (Count() == 0 || m_focused >= Count() - 1) return;
  if (m_focused >= 0) m_items[size_t(m_focused)].Selected = false;
  const int i = m_focused + 1;
  m_items[size_t(i)].Selected = true;
  FocusItem(i);
  ScrollIntoView(i);
  m_box->update();
}

void TThumbnail::PreviousItem()
{
  if (m_focused <= 0 || m_focused >= Count()) return;
  m_items[size_t(m_focused)].Selected = false;
  const int i = m_focused - 1;
  m_items[size_t(i)].Selected = true;
  FocusItem(i);
  ScrollIntoView(i);
  m_box->update();
}

void TThumbnail::MoveFocusTo(int index, Qt::KeyboardModifiers mods)
{
  if (Count() == 0) return;
  index = std::clamp(index, 0, Count() - 1);
  if (mods & Qt::ShiftModifier) {
    if (m_anchor < 0 || m_anchor >= Count()) m_anchor = index;
    DeselectAll();
    SelectBlock(m_anchor, index, true);
  } else if (!(mods & Qt::ControlModifier)) {
    DeselectAll();
    m_items[size_t(index)].Selected = true;
    m_anchor = index;
  }
  FocusItem(index);
  ScrollIntoView(index);
  m_box->update();
  if (OnSelectionDone) OnSelectionDone(-1, SelectedCount());
}

// ---------------------------------------------------------------- mouse and keys

void TThumbnail::MousePress(QMouseEvent* e)
{
  if (e->button() != Qt::LeftButton) return;
  m_box->setFocus(Qt::MouseFocusReason);
  const QPoint pos = e->position().toPoint();
  m_down = true;
  m_pressPoint = m_current = pos;
  m_pressScroll = m_scrollY;
  m_mods = e->modifiers();
  m_band0.reset();
  const int i = ItemAt(pos);
  ClickSelect(i, m_mods);
  m_onItem = i >= 0;
  if (m_onItem) {
    FocusItem(i);
    ScrollIntoView(i);
  }
  SetGentle(true);
  m_box->update();
}

void TThumbnail::MouseMove(QMouseEvent* e)
{
  if (!m_down) return;
  if (!(e->buttons() & Qt::LeftButton)) {  // the release went elsewhere (a window opened meanwhile)
    QMouseEvent release(QEvent::MouseButtonRelease, e->position(), e->globalPosition(), Qt::LeftButton,
                        Qt::NoButton, e->modifiers());
    MouseRelease(&release);
    return;
  }
  m_current = e->position().toPoint();
  m_mods = e->modifiers();
  if (m_onItem) {
    if ((m_current - m_pressPoint).manhattanLength() >= QApplication::startDragDistance()) StartDrag();
    return;
  }
  if (!m_autoScroll.isActive()) m_autoScroll.start();
  UpdateBand();
  m_box->update();
}

void TThumbnail::MouseRelease(QMouseEvent* e)
{
  if (e->button() != Qt::LeftButton || !m_down) return;
  m_down = false;
  m_autoScroll.stop();
  if (OnSelectionDone) OnSelectionDone(-1, SelectedCount());
  m_box->update();
  SetGentle(false);
  SetWorkerRange();
}

void TThumbnail::MouseDoubleClick(QMouseEvent* e)
{
  if (e->button() != Qt::LeftButton) return;
  // Only a double click on the picture opens it; one on empty space does not.
  const int i = ItemAt(e->position().toPoint());
  if (i < 0 || i != m_focused || m_focusedName.isEmpty()) return;
  if (OnItemOpen) OnItemOpen(FocusedPath());
}

void TThumbnail::KeyPress(QKeyEvent* e)
{
  const Qt::KeyboardModifiers mods = e->modifiers();
  const int page = std::max(1, m_lastRow - m_firstRow) * m_columns;
  const int at = m_focused;
  switch (e->key()) {
  case Qt::Key_Right: MoveFocusTo(at < 0 ? 0 : at + 1, mods); break;
  case Qt::Key_Left: MoveFocusTo(at < 0 ? 0 : at - 1, mods); break;
  case Qt::Key_Down: MoveFocusTo(at < 0 ? 0 : at + m_columns, mods); break;
  case Qt::Key_Up: MoveFocusTo(at < 0 ? 0 : at - m_columns, mods); break;
  case Qt::Key_PageDown: MoveFocusTo(at < 0 ? 0 : at + page, mods); break;
  case Qt::Key_PageUp: MoveFocusTo(at < 0 ? 0 : at - page, mods); break;
  case Qt::Key_Home: MoveFocusTo(0, mods); break;
  case Qt::Key_End: MoveFocusTo(Count() - 1, mods); break;
  case Qt::Key_A:
    if (mods & Qt::ControlModifier) SelectAll();
    else e->ignore();
    break;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    if (m_focused >= 0 && !m_focusedName.isEmpty() && OnItemOpen) OnItemOpen(FocusedPath());
    break;
  case Qt::Key_Delete:
    if (OnDeleteKey) OnDeleteKey();
    break;
  default: e->ignore(); break;
  }
}

// ---------------------------------------------------------------- drag and drop

QMimeData* TThumbnail::DragData() const
{
  auto* mime = new QMimeData;
  const QString focused = FocusedPath();
  if (!focused.isEmpty()) mime->setData(QString::fromLatin1(TLabelShower::FavouriteMimeType), focused.toUtf8());
  QList<QUrl> urls;
  if (!focused.isEmpty()) urls << QUrl::fromLocalFile(focused);
  for (const QString& f : SelectedFiles())
    if (f != focused) urls << QUrl::fromLocalFile(f);
  if (!urls.isEmpty()) mime->setUrls(urls);
  return mime;
}

void TThumbnail::StartDrag()
{
  m_down = false;
  m_autoScroll.stop();
  if (m_focused < 0 || m_focusedName.isEmpty()) return;
  const TThumbnailRec& item = m_items[size_t(m_focused)];
  auto* drag = new QDrag(m_box);
  drag->setMimeData(DragData());
  const QImage& picture = item.Made ? item.Bitmap : TypeIcons(item.ImageType).Large;
  if (!picture.isNull()) {
    drag->setPixmap(QPixmap::fromImage(picture));
    drag->setHotSpot(QPoint(picture.width() / 2, picture.height() / 2));
  }
  drag->exec(Qt::CopyAction);
  SetGentle(false);
  SetWorkerRange();
  m_box->update();
}

bool TThumbnail::DragEnter(const QMimeData* mime, QObject* source)
{
  if (!m_acceptFileDrops || m_folder.isEmpty() || source == m_box) return false;
  return !PictureFilesIn(mime).isEmpty();
}

void TThumbnail::Drop(const QMimeData* mime)
{
  QStringList copies, failed;
  for (const QString& file : PictureFilesIn(mime)) {
    QString error;
    const QString copy = CopyUnderFreeName(file, m_folder, &error);
    if (copy.isEmpty()) failed << QStringLiteral("%1: %2").arg(QFileInfo(file).fileName(), error);
    else copies << copy;
  }
  if (!copies.isEmpty()) Refresh();
  if (!failed.isEmpty())
    QMessageBox::warning(window(), QStringLiteral("Jacketeer"),
                         QStringLiteral("These pictures could not be copied into %1:\n%2")
                             .arg(QDir::toNativeSeparators(m_folder), ListOfNames(failed)));
  if (!copies.isEmpty() && OnFilesDropped) OnFilesDropped(copies);
}

// ---------------------------------------------------------------- files

bool TThumbnail::DeleteSelected()
{
  const int selected = SelectedCount();
  const bool focusedSelected = m_focused >= 0 && m_focused < Count() && m_items[size_t(m_focused)].Selected;
  if (selected > 0) {
    QMessageBox box(window());
    box.setObjectName(QStringLiteral("msgDeleteImages"));
    box.setWindowTitle(QStringLiteral(" Confirm"));
    box.setIcon(QMessageBox::Question);
    box.setText(selected == 1 ? QStringLiteral("Move the selected picture to the trash?")
                              : QStringLiteral("Move the %1 selected pictures to the trash?").arg(selected));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() != QMessageBox::Yes) return false;

    QStringList failed;
    for (const TThumbnailRec& r : m_items) {
      if (!r.Selected) continue;
      if (!r.Usable || !QFile::moveToTrash(m_folder + r.Name)) failed << r.Name;
    }
    if (!failed.isEmpty())
      QMessageBox::warning(window(), QStringLiteral("Jacketeer"),
                           QStringLiteral("These pictures could not be moved to the trash and were kept:\n%1")
                               .arg(ListOfNames(failed)));
  }
  if (focusedSelected) {
    m_focused = -1;
    m_focusedName.clear();
    m_focusedRaw.clear();
  }
  Refresh();
  if (OnItemsDeleted) OnItemsDeleted(focusedSelected);
  return true;
}

int TThumbnail::CopySelectedTo(const QString& folder)
{
  const QDir dir(folder);
  int copied = 0;
  for (const TThumbnailRec& r : m_items) {
    if (!r.Selected || !r.Usable) continue;
    const QString target = dir.filePath(r.Name);
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) continue;
    if (QFile::copy(m_folder + r.Name, target)) ++copied;
  }
  return copied;
}
