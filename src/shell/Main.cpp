#include "shell/Main.h"

#include "canvas/LabelShower.h"
#include "printing/formPrinter.h"
#include "imagelib/ImageLoader.h"
#include "imagelib/Thumbnailer.h"
#include "project/ProjectFile.h"
#include "project/WorkFolder.h"
#include "shell/Settings.h"
#include "shell/UndoControls.h"
#include "shell/formHints.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <algorithm>

namespace {

const QString kProjectFilter = QStringLiteral("Jacketeer project file(*.jkp)");
const QString kDefaultFont = QStringLiteral("Times New Roman");

QString WithSlash(QString folder)
{
  if (!folder.endsWith('/')) folder += '/';
  return folder;
}

}  // namespace

// ---------------------------------------------------------------- helpers

void InitJacketeerResources()
{
  static const bool done = [] {
    Q_INIT_RESOURCE(jacketeer);
    return true;
  }();
  (void)done;
}

QString LayerLine(const QString& kind, const QString& caption)
{
  return QStringLiteral("   %1: \"%2\"").arg(kind, caption);
}

QStringList DefaultTrackList()
{
  return {QStringLiteral("Track01|||0:00"), QStringLiteral("Track02|||0:00"), QStringLiteral("Track03|||0:00")};
}

QString ShortDateText(const QDate& date)
{
  return QLocale::system().toString(date, QLocale::ShortFormat);
}

QString TimeFormatWithoutZone(const QString& format)
{
  // Drops the unquoted "t" letters (the zone name) and the blanks they leave.
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format[i];
    if (c == '\'') quoted = !quoted;
    if (!quoted && c == 't') {
      while (!out.isEmpty() && out.back() == ' ') out.chop(1);
      continue;
    }
    out += c;
  }
  return out.trimmed();
}

QString LongTimeText(const QTime& time)
{
  const QLocale loc = QLocale::system();
  return loc.toString(time, TimeFormatWithoutZone(loc.timeFormat(QLocale::LongFormat)));
}

QString TfrmMain::HelpFile()
{
  const QString dir = QCoreApplication::applicationDirPath();
  for (const QString& candidate : {dir + QStringLiteral("/JKTAHelp.html"),
                                   dir + QStringLiteral("/../share/jacketeer/JKTAHelp.html")}) {
    if (QFileInfo::exists(candidate)) return QFileInfo(candidate).absoluteFilePath();
  }
  return dir + QStringLiteral("/../share/jacketeer/JKTAHelp.html");
}

// ---------------------------------------------------------------- creation

TfrmMain::TfrmMain(TSettings& settings, TfrmHints& hints, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_hints(hints)
{
  InitJacketeerResources();
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Jacketeer"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/jacketeer.svg")));
  setFixedSize(735, 585);

  // Folders.
  QString error;
  m_startedWell = CreateWorkFolder(m_workFolder, error);
  m_documentsFolder = WithSlash(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
  m_favouritesFolder =
      WithSlash(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)) + QStringLiteral("Favorites/");
  QDir().mkpath(m_favouritesFolder);

  auto* vbox = new QVBoxLayout(this);
  vbox->setContentsMargins(0, 0, 0, 0);
  vbox->setSpacing(0);
  BuildTools();
  auto* toolBar = findChild<QToolBar*>(QStringLiteral("tbMain"));
  vbox->addWidget(toolBar);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName(QStringLiteral("Splitter1"));
  splitter->setChildrenCollapsible(false);
  vbox->addWidget(splitter, 1);

  plLayout = new QFrame(splitter);
  plLayout->setObjectName(QStringLiteral("plLayout"));
  plLayout->setFrameShape(QFrame::StyledPanel);
  plLayout->setAutoFillBackground(true);
  QPalette pal = plLayout->palette();
  pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
  plLayout->setPalette(pal);
  plLayout->setMinimumSize(472, 472);
  plLayout->installEventFilter(this);
  splitter->addWidget(plLayout);

  m_canvas = new TLabelShower(plLayout);
  m_canvas->setObjectName(QStringLiteral("LabelShower"));
  if (m_startedWell) m_canvas->Document().SetWorkFolder(m_workFolder);

  pcRight = new QTabWidget(splitter);
  pcRight->setObjectName(QStringLiteral("pcRight"));
  splitter->addWidget(pcRight);
  splitter->setStretchFactor(0, 1);
  splitter->setSizes({484, 245});
  BuildPages();

  ConnectCanvas();
  AttachUndoControls(*this);
  m_canvas->SetDragMode(dmNone);
  m_ready = true;
  CenterCanvas();
  tnFavorites->SetFolder(m_favouritesFolder);

  m_saveDialog = new QFileDialog(this, QStringLiteral("Save project"));
  m_saveDialog->setObjectName(QStringLiteral("dlgSave"));
  m_saveDialog->setOption(QFileDialog::DontUseNativeDialog);
  m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
  m_saveDialog->setFileMode(QFileDialog::AnyFile);
  m_saveDialog->setDefaultSuffix(QStringLiteral("jkp"));
  m_saveDialog->setNameFilter(kProjectFilter);
  m_openDialog = new QFileDialog(this, QStringLiteral("Open project"));
  m_openDialog->setObjectName(QStringLiteral("dlgOpen"));
  m_openDialog->setOption(QFileDialog::DontUseNativeDialog);
  m_openDialog->setAcceptMode(QFileDialog::AcceptOpen);
  m_openDialog->setFileMode(QFileDialog::ExistingFile);
  m_openDialog->setNameFilter(kProjectFilter);
  SetDialogFolder(m_documentsFolder);
}

TfrmMain::~TfrmMain()
{
  // The canvas is destroyed with its children; its events point back here.
  TCoverDocument& doc = m_canvas->Document();
  doc.OnSelectLayer = nullptr;
  doc.OnLayerAdded = nullptr;
  doc.OnEditPicture = nullptr;
  doc.OnEditText = nullptr;
  doc.OnEditTracks = nullptr;
  doc.OnEditBackground = nullptr;
}

QToolButton* TfrmMain::MakeButton(const QString& name, const QString& caption, const QString& tip,
                                  const QString& icon, bool large)
{
  auto* b = new QToolButton(this);
  b->setObjectName(name);
  b->setText(caption);
  b->setToolTip(tip);
  b->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(icon)));
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setIconSize(large ? QSize(32, 32) : QSize(20, 20));
  b->setAutoRaise(true);
  if (large) b->setMinimumWidth(56);
  return b;
}

void TfrmMain::BuildTools()
{
  auto* tb = new QToolBar(this);
  tb->setObjectName(QStringLiteral("tbMain"));
  tb->setMovable(false);
  tb->setFloatable(false);

  btnNew = MakeButton(QStringLiteral("btnNew"), QStringLiteral("New"), QStringLiteral("New project"),
                      QStringLiteral("new"), true);
  btnOpen = MakeButton(QStringLiteral("btnOpen"), QStringLiteral("Open"), QStringLiteral("Load project"),
                       QStringLiteral("open"), true);
  btnSave = MakeButton(QStringLiteral("btnSave"), QStringLiteral("Save"), QStringLiteral("Save project"),
                       QStringLiteral("save"), true);
  btnPrint = MakeButton(QStringLiteral("btnPrint"), QStringLiteral("Print"), QStringLiteral("Print DVD/CD cover"),
                        QStringLiteral("print"), true);
  btnAddTracks = MakeButton(QStringLiteral("btnAddTracks"), QStringLiteral("Tracks"), QStringLiteral("Add Tracks"),
                            QStringLiteral("tracks"), true);
  btnAddText = MakeButton(QStringLiteral("btnAddText"), QStringLiteral("Text"), QStringLiteral("Add Text"),
                          QStringLiteral("text"), true);
  btnAddYear = MakeButton(QStringLiteral("btnAddYear"), QStringLiteral("Year"), QStringLiteral("Add Year"),
                          QStringLiteral("year"), true);
  btnAddTime = MakeButton(QStringLiteral("btnAddTime"), QStringLiteral("Time"), QStringLiteral("Add Time"),
                          QStringLiteral("time"), true);
  btnAddImage = MakeButton(QStringLiteral("btnAddImage"), QStringLiteral("Image"), QStringLiteral("Add Image"),
                           QStringLiteral("image"), true);
  btnEditBackground = MakeButton(QStringLiteral("btnEditBackground"), QStringLiteral("Edit B.G."),
                                 QStringLiteral("Edit background property"), QStringLiteral("background"), true);
  btnHelp = MakeButton(QStringLiteral("btnHelp"), QStringLiteral("Help"), QStringLiteral("Help"),
                       QStringLiteral("help"), true);

  tb->addWidget(btnNew);
  tb->addWidget(btnOpen);
  tb->addWidget(btnSave);
  tb->addWidget(btnPrint);
  tb->addSeparator();
  for (QToolButton* b : {btnAddTracks, btnAddText, btnAddYear, btnAddTime, btnAddImage}) {
    b->setCheckable(true);
    tb->addWidget(b);
  }
  tb->addSeparator();
  tb->addWidget(btnEditBackground);
  tb->addSeparator();
  tb->addWidget(btnHelp);

  // Print is enabled once the print window is set, Image once the image
  // viewer is hooked in.
  btnPrint->setEnabled(false);
  btnAddImage->setEnabled(false);

  connect(btnNew, &QToolButton::clicked, this, [this] { btnNewClick(); });
  connect(btnOpen, &QToolButton::clicked, this, [this] { btnOpenClick(); });
  connect(btnSave, &QToolButton::clicked, this, [this] { btnSaveClick(); });
  connect(btnPrint, &QToolButton::clicked, this, [this] { btnPrintClick(); });
  connect(btnHelp, &QToolButton::clicked, this, [this] { btnHelpClick(); });
  connect(btnAddTracks, &QToolButton::clicked, this, [this] {
    if (TrackRequestHook) TrackRequestHook();
    AddButtonClick(btnAddTracks, 2);
  });
  connect(btnAddText, &QToolButton::clicked, this, [this] { AddButtonClick(btnAddText, 3); });
  connect(btnAddYear, &QToolButton::clicked, this, [this] { AddButtonClick(btnAddYear, 4); });
  connect(btnAddTime, &QToolButton::clicked, this, [this] { AddButtonClick(btnAddTime, 5); });
  connect(btnAddImage, &QToolButton::clicked, this, [this] { AddButtonClick(btnAddImage, 7); });
  connect(btnEditBackground, &QToolButton::clicked, this, [this] { m_canvas->EditBackground(); });
}

void TfrmMain::BuildPages()
{
  // "Layers": Down, Up | Edit, Delete above the layer list.
  tsLayers = new QWidget(pcRight);
  tsLayers->setObjectName(QStringLiteral("tsLayers"));
  auto* lv = new QVBoxLayout(tsLayers);
  lv->setContentsMargins(2, 2, 2, 2);
  lv->setSpacing(2);
  auto* tbLayers = new QToolBar(tsLayers);
  tbLayers->setObjectName(QStringLiteral("tbLayers"));
  btnMoveDown = MakeButton(QStringLiteral("btnMoveDown"), QStringLiteral("Down"), QStringLiteral("Move layer down"),
                           QStringLiteral("down"), false);
  btnMoveUp = MakeButton(QStringLiteral("btnMoveUp"), QStringLiteral("Up"), QStringLiteral("Move layer up"),
                         QStringLiteral("up"), false);
  btnEdit = MakeButton(QStringLiteral("btnEdit"), QStringLiteral("Edit"), QStringLiteral("Edit layer property"),
                       QStringLiteral("edit"), false);
  btnDelete = MakeButton(QStringLiteral("btnDelete"), QStringLiteral("Delete"), QStringLiteral("Delete layer"),
                         QStringLiteral("delete"), false);
  tbLayers->addWidget(btnMoveDown);
  tbLayers->addWidget(btnMoveUp);
  tbLayers->addSeparator();
  tbLayers->addWidget(btnEdit);
  tbLayers->addWidget(btnDelete);
  lv->addWidget(tbLayers);
  clbObjects = new QListWidget(tsLayers);
  clbObjects->setObjectName(QStringLiteral("clbObjects"));
  clbObjects->setSelectionMode(QAbstractItemView::SingleSelection);
  lv->addWidget(clbObjects, 1);
  SetLayerButtons(false);

  connect(btnMoveDown, &QToolButton::clicked, this, [this] { btnMoveDownClick(); });
  connect(btnMoveUp, &QToolButton::clicked, this, [this] { btnMoveUpClick(); });
  connect(btnEdit, &QToolButton::clicked, this, [this] { btnEditClick(); });
  connect(btnDelete, &QToolButton::clicked, this, [this] { btnDeleteClick(); });
  // Only a change of the list's selection is the user's choice. The current
  // line may move without one (the list makes its first line current when it
  // gets the focus back after a dialog); it is put back where the cover's
  // selection is.
  connect(clbObjects, &QListWidget::itemSelectionChanged, this, [this] {
    if (!m_syncing) ListSelectionChanged();
  });
  connect(clbObjects, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!m_syncing && row != RowOf(CurrentNumber())) ShowSelection();
  });
  connect(clbObjects, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { btnEditClick(); });

  // "Favorite images": Search | Delete | B.G. above the favourites strip.
  tsFavorites = new QWidget(pcRight);
  tsFavorites->setObjectName(QStringLiteral("tsFavorites"));
  auto* fv = new QVBoxLayout(tsFavorites);
  fv->setContentsMargins(2, 2, 2, 2);
  fv->setSpacing(2);
  auto* tbFav = new QToolBar(tsFavorites);
  tbFav->setObjectName(QStringLiteral("tbFavorites"));
  btnSearchImage = MakeButton(QStringLiteral("btnSearchImage"), QStringLiteral("Search"),
                              QStringLiteral("Search image(s)"), QStringLiteral("search"), false);
  btnDeleteImage = MakeButton(QStringLiteral("btnDeleteImage"), QStringLiteral("Delete"),
                              QStringLiteral("Delete selected image(s)"), QStringLiteral("delete"), false);
  btnSetToBackground = MakeButton(QStringLiteral("btnSetToBackground"), QStringLiteral("B.G."),
                                  QStringLiteral("Set image as background"), QStringLiteral("setbg"), false);
  tbFav->addWidget(btnSearchImage);
  tbFav->addSeparator();
  tbFav->addWidget(btnDeleteImage);
  tbFav->addSeparator();
  tbFav->addWidget(btnSetToBackground);
  fv->addWidget(tbFav);
  tnFavorites = new TThumbnail(tsFavorites);
  tnFavorites->setObjectName(QStringLiteral("tnFavorites"));
  fv->addWidget(tnFavorites, 1);
  ConnectFavourites();
  // Search opens the image viewer once it is hooked in.
  btnSearchImage->setEnabled(false);

  pcRight->addTab(tsLayers, QStringLiteral("Layers"));
  pcRight->addTab(tsFavorites, QStringLiteral("Favorite images"));
  pcRight->setCurrentWidget(tsFavorites);
  connect(pcRight, &QTabWidget::currentChanged, this, [this](int index) {
    if (pcRight->widget(index) == tsLayers) m_hints.ShowHint(6);
  });
}

void TfrmMain::ConnectCanvas()
{
  m_canvas->OnCanvasMouseDown = [](TLabelShower*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {};
  m_canvas->OnCanvasMouseMove = [](TLabelShower*, Qt::KeyboardModifiers, int, int) {};
  m_canvas->OnCanvasDblClick = [](TLabelShower*) {};
  m_canvas->OnCanvasMouseUp = [this](TLabelShower*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    CanvasMouseUp(x, y);
  };
  m_canvas->OnCanvasDragDrop = [this](TLabelShower*, QObject*, int x, int y) {
    if (!m_favouriteFile.isEmpty()) AddPictureAt(m_favouriteFile, x, y);
  };
  // Pictures from the file manager: each a layer, a little below and right
  // of the one before.
  m_canvas->OnCanvasFilesDropped = [this](TLabelShower*, const QStringList& files, int x, int y) {
    int shift = 0;
    for (const QString& file : files)
      if (AddPictureAt(file, x + shift, y + shift)) shift += 20;
  };

  TCoverDocument& doc = m_canvas->Document();
  doc.OnSelectLayer = [this](int n) {
    if (n >= 0) m_canvas->Redraw();
    ShowSelection();
  };
  doc.OnLayerAdded = [this](const QString& kind, const QString& caption) { LayerAdded(kind, caption); };
  doc.OnEditPicture = [this](int n, const TPictureLayerInfo& info) {
    if (EditPictureHook) EditPictureHook(n, info);
  };
  doc.OnEditText = [this](int n, const TTextLayerInfo& info) {
    if (EditTextHook) EditTextHook(n, info);
  };
  doc.OnEditTracks = [this](int n, const TTracksLayerInfo& info) {
    if (EditTracksHook) EditTracksHook(n, info);
  };
  doc.OnEditBackground = [this](const TBackgroundInfo& info) {
    if (EditBackgroundHook) EditBackgroundHook(info);
  };
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
  if (watched == plLayout && event->type() == QEvent::Resize) CenterCanvas();
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::CenterCanvas()
{
  if (!m_ready) return;
  const int x = std::max(1, (plLayout->width() - m_canvas->width()) / 2);
  const int y = std::max(1, (plLayout->height() - m_canvas->height()) / 2);
  m_canvas->move(x, y);
}

void TfrmMain::showEvent(QShowEvent* e)
{
  QWidget::showEvent(e);
  if (!m_shown) {
    m_shown = true;
    btnNewClick();
  }
}

// ---------------------------------------------------------------- layers

void TfrmMain::AddButtonClick(QToolButton* button, int hint)
{
  if (button->isChecked()) {
    for (QToolButton* b : {btnAddTracks, btnAddText, btnAddYear, btnAddTime, btnAddImage})
      if (b != button) b->setChecked(false);
  }
  m_hints.ShowHint(hint);
}

void TfrmMain::CanvasMouseUp(int x, int y)
{
  TCoverDocument& doc = m_canvas->Document();
  bool added = true;
  if (btnAddYear->isChecked()) {
    doc.AddTextLayer(x, y, ShortDateText(QDate::currentDate()), kDefaultFont, 0x000000, 0, false, true, 200, 100);
  } else if (btnAddTime->isChecked()) {
    doc.AddTextLayer(x, y, LongTimeText(QTime::currentTime()), kDefaultFont, 0x000000, 0, false, true, 200, 100);
  } else if (btnAddText->isChecked()) {
    doc.AddTextLayer(x, y, QStringLiteral("Text"), kDefaultFont, 0x000000, 0, false, true, 200, 100);
  } else if (btnAddTracks->isChecked()) {
    const QStringList tracks = TrackListSource ? TrackListSource() : DefaultTrackList();
    doc.AddTracksLayer(x, y, tracks, kDefaultFont, 0xFF0000, 0, true, true, 30, 250, 300, taLeft);
  } else if (btnAddImage->isChecked() && m_addImageHook) {
    m_clickX = x;
    m_clickY = y;
    added = false;  // the viewer's choice comes through AddPictureAtClick
    m_addImageHook();
  } else {
    added = false;
  }
  if (added) SelectAdded();
  for (QToolButton* b : {btnAddTracks, btnAddText, btnAddYear, btnAddTime, btnAddImage}) b->setChecked(false);
}

void TfrmMain::SelectAdded()
{
  m_canvas->SelectLayer(m_canvas->LayerCount() - 1);
}

int TfrmMain::CurrentNumber() const
{
  const int n = m_canvas->SelectedNumber();
  return n > 0 && n < m_canvas->LayerCount() ? n : -1;
}

// List row of a layer Number; -1 for none (and for the background).
int TfrmMain::RowOf(int number) const
{
  if (number < 1 || number > clbObjects->count()) return -1;
  return clbObjects->count() - number;
}

void TfrmMain::LayerAdded(const QString& kind, const QString& caption)
{
  m_syncing = true;
  clbObjects->insertItem(0, LayerLine(kind, caption));
  m_syncing = false;
  // Whoever added the layer selects it; until then the list shows the
  // selection the cover has.
  ShowSelection();
  m_hints.ShowHint(8);
}

void TfrmMain::ShowSelection()
{
  const int row = RowOf(CurrentNumber());
  m_syncing = true;
  QItemSelectionModel* model = clbObjects->selectionModel();
  if (row >= 0) {
    clbObjects->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
  } else {
    model->clearSelection();
    model->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
  }
  m_syncing = false;
  SetLayerButtons(row >= 0);
}

void TfrmMain::ListSelectionChanged()
{
  const QList<QListWidgetItem*> selected = clbObjects->selectedItems();
  const int number = selected.isEmpty() ? -1 : clbObjects->count() - clbObjects->row(selected.first());
  if (number == CurrentNumber()) {
    ShowSelection();
    return;
  }
  m_canvas->SelectLayer(number);  // the list follows through OnSelectLayer
}

void TfrmMain::SetLayerButtons(bool enabled)
{
  for (QToolButton* b : {btnMoveDown, btnMoveUp, btnDelete, btnEdit}) b->setEnabled(enabled);
}

void TfrmMain::ClearList()
{
  m_syncing = true;
  clbObjects->clear();
  m_syncing = false;
  ShowSelection();
}

void TfrmMain::btnMoveUpClick()
{
  int number = CurrentNumber();
  const int row = RowOf(number);
  if (row <= 0) return;  // none selected, or already the top line
  m_syncing = true;
  clbObjects->insertItem(row - 1, clbObjects->takeItem(row));
  m_syncing = false;
  m_canvas->MoveLayerUp(number);
  m_canvas->Redraw();
  ShowSelection();
}

void TfrmMain::btnMoveDownClick()
{
  int number = CurrentNumber();
  const int row = RowOf(number);
  if (row < 0 || row >= clbObjects->count() - 1) return;  // none selected, or already the last line
  m_syncing = true;
  clbObjects->insertItem(row + 1, clbObjects->takeItem(row));
  m_syncing = false;
  m_canvas->MoveLayerDown(number);
  m_canvas->Redraw();
  ShowSelection();
}

void TfrmMain::btnEditClick()
{
  m_canvas->EditSelected(false);
}

void TfrmMain::btnDeleteClick()
{
  // Only the layer the user selected goes; with none selected nothing does.
  const int number = CurrentNumber();
  const int row = RowOf(number);
  if (row < 0) return;
  m_canvas->DeleteLayer(number);
  m_syncing = true;
  delete clbObjects->takeItem(row);
  m_syncing = false;
  m_canvas->Redraw();
  ShowSelection();
}

// ---------------------------------------------------------------- favourites

void TfrmMain::ConnectFavourites()
{
  tnFavorites->SetAcceptFileDrops(true);
  tnFavorites->OnItemFocus = [this](const TThumbnailFocus& f) {
    m_favouriteFile = f.Path;
    m_favouriteWidth = f.Width;
    m_favouriteHeight = f.Height;
    m_favouriteHintDue = true;
    SetFavouriteButtons();
  };
  // The hint waits for the button's release, so that it does not break a
  // drag that has just begun.
  tnFavorites->OnSelectionDone = [this](int, int) {
    SetFavouriteButtons();
    if (m_favouriteHintDue && tnFavorites->SelectedCount() > 0) {
      m_favouriteHintDue = false;
      m_hints.ShowHint(1);
    }
  };
  tnFavorites->OnItemOpen = [this](const QString& file) { SetFavouriteBackground(file); };
  tnFavorites->OnFolderScanned = [this](int, qint64, bool) { SetFavouriteButtons(); };
  tnFavorites->OnItemsDeleted = [this](bool focusedDeleted) {
    if (focusedDeleted) {
      m_favouriteFile.clear();
      m_favouriteWidth = m_favouriteHeight = 0;
    }
    SetFavouriteButtons();
  };
  tnFavorites->OnDeleteKey = [this] { btnDeleteImageClick(); };
  connect(btnDeleteImage, &QToolButton::clicked, this, [this] { btnDeleteImageClick(); });
  connect(btnSetToBackground, &QToolButton::clicked, this, [this] { btnSetToBackgroundClick(); });
  SetFavouriteButtons();
}

void TfrmMain::SetFavouriteButtons()
{
  const bool selection = tnFavorites->SelectedCount() > 0;
  btnDeleteImage->setEnabled(selection);
  btnSetToBackground->setEnabled(selection && !m_favouriteFile.isEmpty());
}

void TfrmMain::SetFavouriteBackground(const QString& file)
{
  if (file.isEmpty() || tnFavorites->SelectedCount() == 0) return;
  const TBackgroundInfo now = BackgroundSettingsSource ? BackgroundSettingsSource() : m_canvas->Document().Background();
  m_canvas->Document().SetBackground(file, now.ImageMode, now.StartColor, now.EndColor, now.Vertical, true);
}

bool TfrmMain::AddPictureAt(const QString& file, int x, int y)
{
  // The picture's own size, read afresh: the thumbnail may not be made yet,
  // and the file may have changed or gone since. A picture that can not be
  // read adds nothing.
  QImage probe;
  int width = 0, height = 0;
  if (!LoadImageFile(file, probe, TCoverDocument::CoverSize, TCoverDocument::CoverSize, &width, &height)) return false;
  QString problem;
  if (!m_canvas->Document().AddPictureLayer(x, y, file, 10, 10, width, height, &problem)) {
    ShowError(QStringLiteral("The picture can not be added to the cover: %1").arg(problem));
    return false;
  }
  SelectAdded();
  return true;
}

void TfrmMain::btnDeleteImageClick()
{
  tnFavorites->DeleteSelected();
  SetFavouriteButtons();
}

void TfrmMain::btnSetToBackgroundClick()
{
  SetFavouriteBackground(m_favouriteFile);
}

void TfrmMain::ReloadFavourites()
{
  tnFavorites->Refresh();
}

void TfrmMain::SetImageViewerHooks(std::function<void()> addImage, std::function<void()> search)
{
  m_addImageHook = std::move(addImage);
  btnAddImage->setEnabled(bool(m_addImageHook));
  disconnect(btnSearchImage, &QToolButton::clicked, this, nullptr);
  if (search) connect(btnSearchImage, &QToolButton::clicked, this, [search] { search(); });
  btnSearchImage->setEnabled(bool(search));
}

bool TfrmMain::AddPictureAtClick(const QString& file, int width, int height)
{
  if (width <= 0 || height <= 0) {
    // Chosen before its thumbnail was made: the size comes from the file.
    QImage probe;
    if (!LoadImageFile(file, probe, TCoverDocument::CoverSize, TCoverDocument::CoverSize, &width, &height)) {
      ShowError(QStringLiteral("The picture \"%1\" can not be read.").arg(QDir::toNativeSeparators(file)));
      return false;
    }
  }
  QString problem;
  if (!m_canvas->Document().AddPictureLayer(m_clickX, m_clickY, file, 10, 10, width, height, &problem)) {
    ShowError(QStringLiteral("The picture can not be added to the cover: %1").arg(problem));
    return false;
  }
  SelectAdded();
  return true;
}

// ---------------------------------------------------------------- files

void TfrmMain::SetDialogFolder(const QString& folder)
{
  m_dialogFolder = folder;
  m_saveDialog->setDirectory(folder);
  m_openDialog->setDirectory(folder);
}

void TfrmMain::ShowError(const QString& text)
{
  QMessageBox::critical(this, QStringLiteral("Jacketeer"), text);
}

int TfrmMain::AskToSave(bool withCancel)
{
  QMessageBox box(this);
  box.setObjectName(QStringLiteral("msgConfirm"));
  box.setWindowTitle(QStringLiteral(" Confirm"));
  box.setIcon(QMessageBox::Question);
  box.setText(QStringLiteral("The project has been modified, do you want to save it?"));
  box.setStandardButtons(withCancel ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                                    : QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec();
}

bool TfrmMain::SaveWithDialog()
{
  // The project's own name, or an untitled one for a new cover, in the
  // folder last used.
  m_saveDialog->setDirectory(m_dialogFolder);
  m_saveDialog->selectFile(m_projectFile.isEmpty() ? QStringLiteral("Untitled.jkp")
                                                   : QFileInfo(m_projectFile).fileName());
  if (m_saveDialog->exec() != QDialog::Accepted) return false;
  const QStringList files = m_saveDialog->selectedFiles();
  if (files.isEmpty()) return false;
  const QString file = files.first();
  QString error;
  if (!SaveProject(m_canvas->Document(), file, error)) {
    ShowError(error);
    return false;
  }
  SetDialogFolder(QFileInfo(file).absolutePath());
  m_projectFile = file;
  return true;
}

void TfrmMain::btnNewClick()
{
  if (m_canvas->Modified()) {
    const int answer = AskToSave(true);
    if (answer == QMessageBox::Cancel) return;
    if (answer == QMessageBox::Yes) {
      if (!SaveWithDialog()) return;
    }
  }
  m_canvas->NewCover();
  ClearList();
  m_projectFile.clear();
}

void TfrmMain::AskBeforeOpen()
{
  m_canvas->ResetPress();
  if (m_canvas->Modified() && AskToSave(false) == QMessageBox::Yes) SaveWithDialog();
}

void TfrmMain::btnOpenClick()
{
  AskBeforeOpen();
  m_openDialog->selectFile(QString());
  if (m_openDialog->exec() == QDialog::Accepted && !m_openDialog->selectedFiles().isEmpty())
    LoadFile(m_openDialog->selectedFiles().first());
  m_canvas->ResetPress();
}

void TfrmMain::OpenFile(const QString& file)
{
  AskBeforeOpen();
  LoadFile(file);
  m_canvas->ResetPress();
}

void TfrmMain::LoadFile(const QString& file)
{
  // The list is refilled by the layers the project adds; a file that can
  // not be opened leaves the cover and its list as they were.
  const QStringList before = [this] {
    QStringList lines;
    for (int i = 0; i < clbObjects->count(); ++i) lines << clbObjects->item(i)->text();
    return lines;
  }();
  ClearList();
  QString error;
  QStringList unread;
  if (LoadProject(m_canvas->Document(), file, error, &unread)) {
    SetDialogFolder(QFileInfo(file).absolutePath());
    m_projectFile = file;
    m_canvas->SelectLayer(-1);
    if (!unread.isEmpty())
      QMessageBox::warning(this, QStringLiteral("Jacketeer"),
                           QStringLiteral("Some pictures of the project could not be read; their layers are "
                                          "blank.\n\n") + unread.join('\n'));
  } else {
    m_syncing = true;
    clbObjects->addItems(before);
    m_syncing = false;
    ShowSelection();
    ShowError(error);
  }
}

void TfrmMain::btnSaveClick()
{
  SaveWithDialog();
}

void TfrmMain::SetPrintWindow(TfrmPrinter* window)
{
  m_printWindow = window;
  if (window) window->RenderPrintImage = [this](QImage& cover) { m_canvas->Document().RenderPrintImage(cover); };
  btnPrint->setEnabled(window != nullptr);
}

void TfrmMain::btnPrintClick()
{
  if (!m_printWindow) return;
  QImage cover;
  m_canvas->Document().RenderPrintImage(cover);
  m_printWindow->ShowCover(cover);
  m_printWindow->exec();
}

void TfrmMain::btnHelpClick()
{
  const QString file = QDir::cleanPath(QFileInfo(m_helpFile).absoluteFilePath());
  QString problem;
  if (!QFileInfo(file).isFile())
    problem = QStringLiteral("The help file was not found:\n%1");
  else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
    problem = QStringLiteral("No program to show the help was found. Open the help file with a web browser:\n%1");
  if (!problem.isEmpty()) QMessageBox::information(this, QStringLiteral("Help"), problem.arg(file));
}

// ---------------------------------------------------------------- closing

bool TfrmMain::FormCloseQuery()
{
  if (!m_canvas->Modified()) return true;
  switch (AskToSave(true)) {
    case QMessageBox::Yes: return SaveWithDialog();
    case QMessageBox::No: return true;
    default: return false;
  }
}

void TfrmMain::FormClose()
{
  RemoveWorkFolder();
  QString error;
  // A settings file that can not be written is reported; closing goes on.
  if (!m_settings.Save(error)) QMessageBox::warning(this, QStringLiteral("Jacketeer"), error);
}

void TfrmMain::closeEvent(QCloseEvent* e)
{
  if (!FormCloseQuery()) {
    e->ignore();
    return;
  }
  FormClose();
  e->accept();
}
