#include "editors/formTracksProperty.h"

#include "canvas/CoverDocument.h"
#include "editors/FontCtls.h"
#include "editors/TrackFile.h"
#include "editors/TrackImportControls.h"
#include "shell/Main.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

// The cell editor of the grid: Enter hands the typed text to the grid and
// previews it, leaving the editor open.
class TTrackDelegate : public QStyledItemDelegate {
  Q_OBJECT

public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
  {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    m_editor = editor;
    return editor;
  }

  void destroyEditor(QWidget* editor, const QModelIndex& index) const override
  {
    if (editor == m_editor) m_editor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
  }

  // Writes what is typed in the open editor into its cell.
  void CommitOpen()
  {
    if (m_editor) emit commitData(m_editor);
  }
  // The same, then closes the editor (before rows move or disappear).
  void CloseOpen()
  {
    if (!m_editor) return;
    QWidget* editor = m_editor;
    m_editor = nullptr;
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
  }

signals:
  void EnterPressed();

protected:
  bool eventFilter(QObject* object, QEvent* event) override
  {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if ((key == Qt::Key_Return || key == Qt::Key_Enter) && object == m_editor) {
        emit commitData(m_editor);
        emit EnterPressed();
        return true;
      }
    }
    return QStyledItemDelegate::eventFilter(object, event);
  }

private:
  mutable QPointer<QWidget> m_editor;
};

// The track table: Enter on the table itself previews as well.
class TTrackGrid : public QTableWidget {
  Q_OBJECT

public:
  explicit TTrackGrid(QWidget* parent) : QTableWidget(0, 3, parent), m_delegate(new TTrackDelegate(this))
  {
    setItemDelegate(m_delegate);
    connect(m_delegate, &TTrackDelegate::EnterPressed, this, &TTrackGrid::EnterPressed);
  }
  TTrackDelegate* Delegate() const { return m_delegate; }

signals:
  void EnterPressed();

protected:
  void keyPressEvent(QKeyEvent* event) override
  {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      emit EnterPressed();
      event->accept();
      return;
    }
    QTableWidget::keyPressEvent(event);
  }

private:
  TTrackDelegate* m_delegate;
};

namespace {

const QColor kNumberColour(0xD7, 0xE7, 0xD7);

QToolButton* MakeTool(QWidget* parent, const char* name, const char* icon, const char* tip)
{
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(icon))));
  b->setIconSize(QSize(32, 32));
  b->setToolTip(QString::fromLatin1(tip));
  b->setAutoRaise(true);
  return b;
}

}  // namespace

TfrmTracksProperty::TfrmTracksProperty(TCoverDocument& document, QWidget* parent)
    : TPropertyEditor(parent), m_document(document)
{
  setObjectName(QStringLiteral("frmTracksProperty"));
  setWindowTitle(QStringLiteral("   Tracks Property Editor"));
  UpdateTracksLayer = [&document](const TTracksValues& v) {
    document.UpdateTracksLayer(v.Number, v.Left, v.Top, v.Tracks, v.Font.FontName, v.Font.Color, v.Font.FontStyles,
                               v.Font.Shadow, v.Font.Smooth, v.LineSpace, v.BoundWidth, v.BoundHeight, v.Alignment);
  };

  Label3 = new QLabel(QStringLiteral("Tracks (press <ENTER> to preview)"), this);
  Label3->setObjectName(QStringLiteral("Label3"));

  auto* panel1 = new QFrame(this);
  panel1->setObjectName(QStringLiteral("Panel1"));
  SG = new TTrackGrid(panel1);
  SG->setObjectName(QStringLiteral("SG"));
  Label3->setBuddy(SG);
  SG->setHorizontalHeaderLabels({QStringLiteral("No."), QStringLiteral("Tracks"), QStringLiteral("Time")});
  SG->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SG->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  SG->horizontalHeader()->setHighlightSections(false);
  SG->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SG->verticalHeader()->hide();
  SG->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  SG->verticalHeader()->setDefaultSectionSize(SG->fontMetrics().height() + 5);
  SG->setColumnWidth(0, 31);
  SG->setColumnWidth(1, 207);
  SG->setColumnWidth(2, 51);
  SG->setSelectionMode(QAbstractItemView::ContiguousSelection);
  SG->setSelectionBehavior(QAbstractItemView::SelectItems);
  SG->setEditTriggers(QAbstractItemView::AllEditTriggers);
  SG->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SG->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  SG->setWordWrap(false);
  SG->setMinimumWidth(31 + 207 + 51 + 2 * SG->frameWidth() + SG->verticalScrollBar()->sizeHint().width());
  connect(SG, &TTrackGrid::EnterPressed, this, [this] { Changed(); });
  auto* gl = new QVBoxLayout(panel1);
  gl->setContentsMargins(0, 0, 0, 0);
  gl->addWidget(SG);

  auto* panel2 = new QFrame(this);
  panel2->setObjectName(QStringLiteral("Panel2"));
  auto* bar = new QToolBar(panel2);
  bar->setIconSize(QSize(32, 32));
  btnUp = MakeTool(bar, "btnUp", "up", "Move up selected track");
  btnAdd = MakeTool(bar, "btnAdd", "addtrack", "Add a track");
  btnDown = MakeTool(bar, "btnDown", "down", "Move down selected track");
  btnDelete = MakeTool(bar, "btnDelete", "delete", "Delete the track");
  for (QToolButton* b : {btnUp, btnAdd, btnDown, btnDelete}) bar->addWidget(b);
  m_import = new TTrackImportControls(this);
  auto* bl = new QHBoxLayout(panel2);
  bl->setContentsMargins(0, 0, 0, 0);
  bl->addWidget(bar);
  bl->addStretch(1);
  bl->addWidget(m_import->ImportButton());
  connect(m_import, &TTrackImportControls::Imported, this, [this](const QStringList& lines) {
    FillGrid(lines);
    Changed();
  });
  connect(m_import, &TTrackImportControls::UseAlbumPicture, this, &TfrmTracksProperty::UseAlbumPicture);
  setAcceptDrops(true);
  connect(btnUp, &QToolButton::clicked, this, [this] { btnUpClick(); });
  connect(btnAdd, &QToolButton::clicked, this, [this] { btnAddClick(); });
  connect(btnDown, &QToolButton::clicked, this, [this] { btnDownClick(); });
  connect(btnDelete, &QToolButton::clicked, this, [this] { btnDeleteClick(); });

  auto* gboxAlignment = new QGroupBox(QStringLiteral(" Alignment "), this);
  gboxAlignment->setObjectName(QStringLiteral("gboxAlignment"));
  rbLeft = new QRadioButton(QStringLiteral("Left Justify"), gboxAlignment);
  rbLeft->setObjectName(QStringLiteral("rbLeft"));
  rbRight = new QRadioButton(QStringLiteral("Right Justify"), gboxAlignment);
  rbRight->setObjectName(QStringLiteral("rbRight"));
  rbCenter = new QRadioButton(QStringLiteral("Center"), gboxAlignment);
  rbCenter->setObjectName(QStringLiteral("rbCenter"));
  rbLeft->setChecked(true);
  auto* al = new QVBoxLayout(gboxAlignment);
  for (QRadioButton* b : {rbLeft, rbRight, rbCenter}) {
    al->addWidget(b);
    connect(b, &QRadioButton::toggled, this, [this] { cboxBoldClick(); });
  }

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(10, 10, 10, 10);
  root->setSpacing(6);
  auto* columns = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(Label3);
  left->addWidget(panel1, 1);
  left->addWidget(panel2);
  left->addWidget(m_import->PictureOffer());
  columns->addLayout(left, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(gboxAlignment);
  right->addWidget(gboxFonts, 1);
  auto* boxes = new QHBoxLayout;
  boxes->addWidget(gboxStyles);
  boxes->addWidget(gboxEffects);
  right->addLayout(boxes);
  columns->addLayout(right);
  root->addLayout(columns, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOk);
  buttons->addWidget(btnCancel);
  root->addLayout(buttons);
  resize(660, 480);

  FillGrid(DefaultTrackList());
}

TfrmTracksProperty::~TfrmTracksProperty() = default;

QTableWidget* TfrmTracksProperty::Grid() const
{
  return SG;
}

// ---------------------------------------------------------------- the grid

void TfrmTracksProperty::SetRow(int row, const QString& number, const QString& name, const QString& time)
{
  auto cell = [this, row](int column) {
    QTableWidgetItem* item = SG->item(row, column);
    if (!item) {
      item = new QTableWidgetItem;
      if (column == 0) {
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        item->setBackground(kNumberColour);
      }
      SG->setItem(row, column, item);
    }
    return item;
  };
  cell(0)->setText(number);
  cell(1)->setText(name);
  cell(2)->setText(time);
}

void TfrmTracksProperty::FillGrid(const QStringList& list)
{
  SG->Delegate()->CloseOpen();
  if (list.isEmpty()) {
    SG->setRowCount(1);
    if (!SG->item(0, 0)) SetRow(0, ZeroPad(1, 2), QString(), QString());
    return;
  }
  SG->setRowCount(int(list.size()));
  for (int i = 0; i < SG->rowCount(); ++i) {
    const TTrackLine t = SplitTrackLine(list[i]);
    SetRow(i, ZeroPad(i + 1, 2), t.Name, t.Time);
  }
}

void TfrmTracksProperty::CollectTracks(QStringList& list) const
{
  SG->Delegate()->CommitOpen();
  list.clear();
  auto text = [this](int row, int column) {
    const QTableWidgetItem* item = SG->item(row, column);
    return item ? item->text() : QString();
  };
  for (int row = 0; row < SG->rowCount(); ++row) list << JoinTrackLine(text(row, 1), text(row, 2));
}

void TfrmTracksProperty::btnAddClick()
{
  SG->Delegate()->CloseOpen();
  const int row = SG->rowCount();
  SG->setRowCount(row + 1);
  SetRow(row, QString::number(row + 1), QStringLiteral(" "), QStringLiteral(" "));
  SG->setFocus(Qt::OtherFocusReason);
  SG->setCurrentCell(row, 1);
  SG->scrollToItem(SG->item(row, 1));
}

void TfrmTracksProperty::btnDeleteClick()
{
  if (SG->rowCount() <= 1) return;
  int top = SG->currentRow();
  const QList<QTableWidgetSelectionRange> ranges = SG->selectedRanges();
  if (!ranges.isEmpty()) {
    top = ranges.first().topRow();
    for (const QTableWidgetSelectionRange& r : ranges) top = std::min(top, r.topRow());
  }
  if (top < 0 || top >= SG->rowCount()) return;
  SG->Delegate()->CloseOpen();
  SG->removeRow(top);
  for (int row = top; row < SG->rowCount(); ++row) SG->item(row, 0)->setText(QString::number(row + 1));
  const int column = std::max(1, SG->currentColumn());
  SG->setCurrentCell(std::min(top, SG->rowCount() - 1), column);
}

void TfrmTracksProperty::SwapRows(int a, int b)
{
  for (int column = 1; column < 3; ++column) {
    QTableWidgetItem* x = SG->takeItem(a, column);
    QTableWidgetItem* y = SG->takeItem(b, column);
    SG->setItem(a, column, y);
    SG->setItem(b, column, x);
  }
  SG->item(a, 0)->setText(QString::number(a + 1));
  SG->item(b, 0)->setText(QString::number(b + 1));
}

void TfrmTracksProperty::btnDownClick()
{
  const int s = SG->currentRow();
  if (s < 0 || s >= SG->rowCount() - 1) return;
  SG->Delegate()->CloseOpen();
  SwapRows(s, s + 1);
  SG->setFocus(Qt::OtherFocusReason);
  SG->setCurrentCell(s + 1, std::max(1, SG->currentColumn()));
}

void TfrmTracksProperty::btnUpClick()
{
  const int s = SG->currentRow();
  if (s <= 0 || s >= SG->rowCount()) return;
  SG->Delegate()->CloseOpen();
  SwapRows(s - 1, s);
  SG->setFocus(Qt::OtherFocusReason);
  SG->setCurrentCell(s - 1, std::max(1, SG->currentColumn()));
}

void TfrmTracksProperty::LoadTrackFile(bool takeFile)
{
  QStringList lines = DefaultTrackList();
  const QString path = TrackFilePath();
  if (takeFile && QFileInfo(path).exists()) {
    QString error;
    if (!ReadTrackFile(path, lines, error)) {
      ShowError(error);
      return;
    }
  }
  FillGrid(lines);
}

void TfrmTracksProperty::ShowError(const QString& text)
{
  QWidget* owner = isVisible() ? this : parentWidget();
  QMessageBox::critical(owner, QStringLiteral("Jacketeer"), text);
}

// ---------------------------------------------------------------- editing a layer

void TfrmTracksProperty::LoadTracksLayer(int number, int left, int top, const QStringList& tracks,
                                         const QString& fontName, TColor color, uint8_t fontStyles, bool shadow,
                                         bool smooth, int lineSpace, int width, int height, uint8_t alignment)
{
  m_import->Reset();
  m_backgroundBefore.reset();
  m_initial = TTracksValues{number,    left,  top,    tracks,   {fontName, color, fontStyles, shadow, smooth},
                            lineSpace, width, height, alignment};
  FillGrid(tracks);
  m_ready = false;
  LoadFontControls(m_initial.Font);
  if (alignment == 0) rbLeft->setChecked(true);
  else if (alignment == 1) rbRight->setChecked(true);
  else if (alignment == 2) rbCenter->setChecked(true);
  m_ready = true;
  SelectLayerFont(fontName);
  m_current = m_initial;
}

void TfrmTracksProperty::showEvent(QShowEvent* event)
{
  TPropertyEditor::showEvent(event);
  SG->setFocus(Qt::OtherFocusReason);
  if (SG->rowCount() > 0) SG->setCurrentCell(0, 1);
  if (SendTrackRequest) SendTrackRequest();
}

void TfrmTracksProperty::dragEnterEvent(QDragEnterEvent* event)
{
  dragMoveEvent(event);
}

void TfrmTracksProperty::dragMoveEvent(QDragMoveEvent* event)
{
  if (!m_import->Importing() && !TTrackImportControls::DroppedPaths(event->mimeData()).isEmpty())
    event->acceptProposedAction();
}

void TfrmTracksProperty::dropEvent(QDropEvent* event)
{
  const QStringList paths = TTrackImportControls::DroppedPaths(event->mimeData());
  if (paths.isEmpty() || !m_import->Import(paths)) return;
  event->acceptProposedAction();
}

void TfrmTracksProperty::UseAlbumPicture(const TAlbumPicture& picture)
{
  QString fileName, error;
  QDir().mkpath(m_document.WorkFolder());
  if (!SaveAlbumPicture(picture, m_document.WorkFolder(), fileName, error)) {
    ShowError(error);
    return;
  }
  const TBackgroundInfo bg = m_document.Background();
  if (!m_backgroundBefore) m_backgroundBefore = bg;
  m_document.SetBackground(fileName, imStretch, bg.StartColor, bg.EndColor, bg.Vertical, true);
}

void TfrmTracksProperty::done(int result)
{
  m_import->Reset();
  if (result != QDialog::Accepted && m_backgroundBefore) {
    const TBackgroundInfo& bg = *m_backgroundBefore;
    m_document.SetBackground(bg.FileName, bg.ImageMode, bg.StartColor, bg.EndColor, bg.Vertical, bg.ShowImage);
  }
  m_backgroundBefore.reset();
  TPropertyEditor::done(result);
}

bool TfrmTracksProperty::ReadControls()
{
  bool changed = ReadFontControls(m_current.Font);
  QStringList lines;
  CollectTracks(lines);
  if (!SameLines(m_current.Tracks, lines)) {
    m_current.Tracks = lines;
    changed = true;
  }
  const uint8_t alignment = rbLeft->isChecked() ? 0 : rbRight->isChecked() ? 1 : 2;
  if (m_current.Alignment != alignment) {
    m_current.Alignment = alignment;
    changed = true;
  }
  return changed;
}

void TfrmTracksProperty::ApplyEdited()
{
  if (UpdateTracksLayer) UpdateTracksLayer(m_current);
}

void TfrmTracksProperty::RestoreInitial()
{
  if (UpdateTracksLayer) UpdateTracksLayer(m_initial);
}

bool TfrmTracksProperty::IsUnchanged() const
{
  return SameLines(m_current.Tracks, m_initial.Tracks) && m_current.Font == m_initial.Font &&
         m_current.Alignment == m_initial.Alignment;
}

#include "formTracksProperty.moc"
