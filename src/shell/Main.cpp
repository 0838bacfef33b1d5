#include "shell/Main.h"

#include "canvas/LabelShower.h"
#include "project/ProjectFile.h"
#include "project/WorkFolder.h"
#include "shell/Settings.h"
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
  m_canvas->SetDragMode(dmNone);
  m_ready = true;
  CenterCanvas();

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

  // Windows these commands need are not part of the program yet.
  btnPrint->setEnabled(false);
  btnAddImage->setEnabled(false);
  btnEditBackground->setEnabled(false);

  connect(btnNew, &QToolButton::clicked, this, [this] { btnNewClick(); });
  connect(btnOpen, &QToolButton::clicked, this, [this] { btnOpenClick(); });
  connect(btnSave, &QToolButton::clicked, this, [this] { btnSaveClick(); });
  connect(btnHelp, &QToolButton::clicked, this, [this] { btnHelpClick(); });
  connect(btnAddTracks, &QToolButton::clicked, this, [this] { AddButtonClick(btnAddTracks, 2); });
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
  connect(clbObjects, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!m_syncing) clbObjectsClick(row);
  });
  connect(clbObjects, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { clbObjectsClick(clbObjects->row(item)); });
  connect(clbObjects, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) {
    SetLayerButtons(true);
    m_canvas->EditSelected(false);
  });

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
  auto* strip = new QFrame(tsFavorites);
  strip->setObjectName(QStringLiteral("plFavorites"));
  strip->setFrameShape(QFrame::StyledPanel);
  fv->addWidget(strip, 1);
  // The favourites strip and the viewer are not part of the program yet.
  for (QWidget* w : {static_cast<QWidget*>(btnSearchImage), static_cast<QWidget*>(btnDeleteImage),
                     static_cast<QWidget*>(btnSetToBackground), static_cast<QWidget*>(strip)})
    w->setEnabled(false);

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
  // Favourites are dropped here once the strip exists; nothing to add yet.
  m_canvas->OnCanvasDragDrop = [](TLabelShower*, QObject*, int, int) {};

  TCoverDocument& doc = m_canvas->Document();
  doc.OnSelectLayer = [this](int n) { SelectLayerSync(n); };
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
  } else {
    added = false;
  }
  if (added) SelectAdded();
  for (QToolButton* b : {btnAddTracks, btnAddText, btnAddYear, btnAddTime, btnAddImage}) b->setChecked(false);
}

void TfrmMain::SelectAdded()
{
  m_currentNumber = m_canvas->LayerCount() - 1;
  m_canvas->SelectLayer(m_currentNumber);
}

int TfrmMain::RowOf(int number) const
{
  return clbObjects->count() - number;
}

void TfrmMain::LayerAdded(const QString& kind, const QString& caption)
{
  m_syncing = true;
  clbObjects->insertItem(0, LayerLine(kind, caption));
  clbObjects->setCurrentRow(0);
  m_syncing = false;
  m_currentNumber = m_canvas->LayerCount() - 1;
  m_hints.ShowHint(8);
}

void TfrmMain::SelectLayerSync(int number)
{
  m_syncing = true;
  if (number < 0) {
    clbObjects->setCurrentRow(-1);
    clbObjects->clearSelection();
    SetLayerButtons(false);
  } else {
    const int row = RowOf(number);
    if (row >= 0 && row < clbObjects->count()) clbObjects->setCurrentRow(row);
    m_currentNumber = number;
    m_canvas->Redraw();
    SetLayerButtons(true);
  }
  m_syncing = false;
}

void TfrmMain::clbObjectsClick(int row)
{
  if (row < 0 || row >= clbObjects->count()) return;
  m_currentNumber = clbObjects->count() - row;
  m_canvas->SelectLayer(m_currentNumber);
  m_canvas->Redraw();
  SetLayerButtons(true);
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
  SetLayerButtons(false);
}

void TfrmMain::btnMoveUpClick()
{
  const int row = clbObjects->currentRow();
  if (row <= 0) return;
  m_syncing = true;
  QListWidgetItem* item = clbObjects->takeItem(row);
  clbObjects->insertItem(row - 1, item);
  clbObjects->setCurrentRow(row - 1);
  m_syncing = false;
  m_canvas->MoveLayerUp(m_currentNumber);
  m_canvas->Redraw();
}

void TfrmMain::btnMoveDownClick()
{
  const int row = clbObjects->currentRow();
  if (row < 0 || row >= clbObjects->count() - 1) return;
  m_syncing = true;
  QListWidgetItem* item = clbObjects->takeItem(row);
  clbObjects->insertItem(row + 1, item);
  clbObjects->setCurrentRow(row + 1);
  m_syncing = false;
  m_canvas->MoveLayerDown(m_currentNumber);
  m_canvas->Redraw();
}

void TfrmMain::btnEditClick()
{
  m_canvas->EditSelected(false);
}

void TfrmMain::btnDeleteClick()
{
  if (m_canvas->LayerCount() < 2) return;
  const int number = m_currentNumber;
  if (number < 1 || number > m_canvas->LayerCount() - 1) return;
  const int row = RowOf(number);
  m_canvas->DeleteLayer(number);
  m_syncing = true;
  delete clbObjects->takeItem(row);
  clbObjects->setCurrentRow(-1);
  clbObjects->clearSelection();
  m_syncing = false;
  m_canvas->Redraw();
  SetLayerButtons(false);
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
  m_saveDialog->selectFile(QString());
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
  return true;
}

void TfrmMain::btnNewClick()
{
  if (m_canvas->Modified()) {
    const int answer = AskToSave(true);
    if (answer == QMessageBox::Cancel) return;
    if (answer == QMessageBox::Yes) {
      if (!SaveWithDialog()) return;
      m_canvas->NewCover();
      ClearList();
      return;
    }
  }
  m_canvas->NewCover();
  ClearList();
  SetDialogFolder(m_documentsFolder);
}

void TfrmMain::btnOpenClick()
{
  m_canvas->ResetPress();
  if (m_canvas->Modified() && AskToSave(false) == QMessageBox::Yes) SaveWithDialog();
  m_openDialog->selectFile(QString());
  if (m_openDialog->exec() == QDialog::Accepted && !m_openDialog->selectedFiles().isEmpty()) {
    const QString file = m_openDialog->selectedFiles().first();
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
      m_canvas->SelectLayer(-1);
      if (!unread.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Jacketeer"),
                             QStringLiteral("Some pictures of the project could not be read; their layers are "
                                            "blank.\n\n") + unread.join('\n'));
    } else {
      m_syncing = true;
      clbObjects->addItems(before);
      m_syncing = false;
      m_canvas->SelectLayer(-1);
      ShowError(error);
    }
  }
  m_canvas->ResetPress();
}

void TfrmMain::btnSaveClick()
{
  SaveWithDialog();
}

void TfrmMain::btnHelpClick()
{
  QDesktopServices::openUrl(QUrl::fromLocalFile(HelpFile()));
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
