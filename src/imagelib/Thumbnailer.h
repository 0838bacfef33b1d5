#pragma once
// The thumbnail grid: a scrolling grid of the pictures of one folder, with
// the file name and picture size under each thumbnail and a file-type badge,
// multi-selection with the mouse (click, Ctrl-click, Shift-click blocks,
// rubber band), dragging pictures out, and a worker thread that makes the
// thumbnails, the cells on screen first. Used as the favourites strip of the
// main window and as the folder grid of the image viewer.

#include "imagelib/MakeThumbnail.h"

#include <QDateTime>
#include <QFrame>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QFontMetrics;
class QMimeData;
class QPainter;
class QScrollBar;
class TThumbnailPaintBox;

// Cell layout, in pixels.
namespace ThumbLayout {
constexpr int CellWidth = 148;
constexpr int CellHeight = 155;
constexpr int Margin = 4;
constexpr int InfoHeight = 40;
constexpr int Gap = 10;  // between cells, and before the first column and row
constexpr int ColumnPitch = CellWidth + Gap;  // 158
constexpr int RowPitch = CellHeight + Gap;    // 165
constexpr int SmallChange = 82;               // one scroll step, half a row
constexpr int AutoScrollMs = 50;              // rubber-band auto-scroll tick
}  // namespace ThumbLayout

// The text shortened to at most `limit` pixels, ending in "..." when it had
// to be cut. Characters made of several code units (and combining marks)
// are kept or cut whole.
QString FitTextWithEllipsis(const QFontMetrics& fm, const QString& text, int limit);
// "640x480x256" for 8 bits or less (the number of colours), else "1024x768x24b".
QString ThumbInfoLine(int width, int height, int bitCount);
// Paints one cell with its top-left corner at (x, y). `normalColor` is the
// background of an unselected cell.
void DrawThumbnailCell(QPainter& p, int x, int y, const TThumbnailRec& item, const QColor& normalColor);

// What OnItemFocus reports.
struct TThumbnailFocus {
  QString Path;          // folder + name
  QDateTime Time;        // the file's, at this moment
  qint64 Size = 0;       // the file's, at this moment
  int Width = 0;         // the picture's, 0 while its thumbnail is not made
  int Height = 0;
  int BitCount = 0;
  int Count = 0;         // items in the grid
  int Number = 0;        // index + 1
};

class TThumbnail : public QFrame {
  Q_OBJECT

public:
  explicit TThumbnail(QWidget* parent = nullptr);
  // Stops the worker and waits for it.
  ~TThumbnail() override;

  // Events; an unset handler is not called.
  std::function<void(int percent)> OnProgress;
  std::function<void()> OnIdle;  // no worker runs and none was started
  std::function<void(int count, qint64 totalSize, bool refresh)> OnFolderScanned;
  std::function<void(const TThumbnailFocus&)> OnItemFocus;
  std::function<void(int index, int selectedCount)> OnSelectionDone;  // index is always -1
  std::function<void(bool focusedDeleted)> OnItemsDeleted;
  std::function<void(const QString& path)> OnItemOpen;  // double click or Return on the focused item
  std::function<void()> OnDeleteKey;                    // the Delete key
  std::function<void(const QStringList& copies)> OnFilesDropped;  // after files were copied in

  // Shows a folder; a trailing separator is added when missing. While a
  // worker runs it is stopped first and only the latest folder asked for is
  // scanned next.
  void SetFolder(const QString& folder);
  // Scans the folder again, keeping the thumbnails of unchanged files.
  void Refresh();
  // Stops the worker before the host closes; OnIdle follows once none runs.
  void Stop();
  // Move the focus, and the focused item's selection, one item on or back.
  void NextItem();
  void PreviousItem();
  // Asks (naming how many files) and moves the selected files to the
  // desktop's trash; then rescans. False when the user declined.
  bool DeleteSelected();
  // Copies the selected files into `folder` under their own names, skipping
  // names that exist there. Returns the number copied.
  int CopySelectedTo(const QString& folder);
  int SelectedCount() const;
  QStringList SelectedFiles() const;
  void SelectAll();

  // Picture files dropped from the desktop's file manager are copied into
  // the folder shown, under a free name (off by default).
  void SetAcceptFileDrops(bool accept) { m_acceptFileDrops = accept; }
  bool AcceptFileDrops() const { return m_acceptFileDrops; }
  // What a drag out of the grid carries: the focused picture as a favourite
  // and every selected picture as a file list.
  QMimeData* DragData() const;

  // State, for hosts and tests.
  QString Folder() const { return m_folder; }
  QString RequestedFolder() const { return m_requestedFolder; }
  int Count() const { return int(m_items.size()); }
  const TThumbnailRec& Item(int index) const { return m_items[size_t(index)]; }
  int Columns() const { return m_columns; }
  int Rows() const { return m_rows; }
  int ScrollY() const { return m_scrollY; }
  int FirstVisible() const { return m_firstVisible; }
  int LastVisible() const { return m_lastVisible; }
  int Focused() const { return m_focused; }
  int Anchor() const { return m_anchor; }
  QString FocusedName() const { return m_focusedName; }
  QString FocusedPath() const;
  bool Running() const { return m_worker != nullptr; }
  int Percent() const { return m_percent; }
  QWidget* PaintBox() const;
  QScrollBar* ScrollBar() const { return m_scrollBar; }
  const QTimer& AutoScrollTimer() const { return m_autoScroll; }

  // Index of the item at a paint-box point, -1 for none.
  int ItemAt(QPoint p) const;
  // The cell of an item in paint-box coordinates (148 × 155).
  QRect CellRect(int index) const;
  void FocusItem(int index);
  void ScrollIntoView(int index);

protected:
  void resizeEvent(QResizeEvent* e) override;

private:
  friend class TThumbnailPaintBox;

  struct TBlock {
    int Top = 0, Bottom = -1, Left = 0, Right = -1;
    bool operator==(const TBlock&) const = default;
  };

  void StartWorker();
  void WorkerNotices();
  void AdoptScan(TThumbnailNotice& n);
  void WorkerEnded();
  void SetWorkerRange();
  void SetGentle(bool gentle);

  // Places the paint box and the scroll bar and sets up the scroll range; on
  // a resize the row of the anchor becomes the first visible row.
  void Layout(bool keepAnchorRow = false);
  void UpdateGeometry();
  void ScrollTo(int position);
  void ScrollBy(int delta);

  void Paint(QPainter& p, const QRect& area);
  void MousePress(QMouseEvent* e);
  void MouseMove(QMouseEvent* e);
  void MouseRelease(QMouseEvent* e);
  void MouseDoubleClick(QMouseEvent* e);
  void KeyPress(QKeyEvent* e);
  bool DragEnter(const QMimeData* mime, QObject* source);
  void Drop(const QMimeData* mime);
  void StartDrag();

  void ClickSelect(int index, Qt::KeyboardModifiers mods);
  void MoveFocusTo(int index, Qt::KeyboardModifiers mods);
  void SelectBlock(int from, int to, std::optional<bool> state);
  void SetBlock(const TBlock& b, bool state);
  void ToggleBlock(const TBlock& b);
  TBlock BandBlock() const;
  QPoint ClampedCurrent() const;
  void UpdateBand();
  void AutoScrollTick();
  QRect BandRect() const;
  void DeselectAll();

  std::vector<TThumbnailRec> m_items;
  QString m_folder;
  QString m_requestedFolder;
  QString m_focusedName;
  QByteArray m_focusedRaw;

  int m_columns = 1;
  int m_rows = 0;
  int m_scrollY = 0;
  int m_firstRow = 0, m_lastRow = 0;
  int m_firstVisible = 0, m_lastVisible = 0;
  int m_focused = -1;
  int m_anchor = 0;
  int m_percent = 0;

  std::unique_ptr<TMakeThumbnailThread> m_worker;
  quint64 m_generation = 0;  // counts the workers started
  bool m_closing = false;
  bool m_refreshPending = false;
  bool m_scanIsRefresh = false;
  bool m_acceptFileDrops = false;

  // Mouse gesture.
  bool m_down = false;
  bool m_onItem = false;
  QPoint m_pressPoint;
  int m_pressScroll = 0;
  QPoint m_current;
  Qt::KeyboardModifiers m_mods;
  std::optional<TBlock> m_band0;

  TThumbnailPaintBox* m_box = nullptr;
  QScrollBar* m_scrollBar = nullptr;
  QTimer m_autoScroll;
};
