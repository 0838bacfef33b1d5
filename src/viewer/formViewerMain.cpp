#include "viewer/formViewerMain.h"

#include "canvas/CoverDocument.h"
#include "imagelib/Thumbnailer.h"
#include "shell/Settings.h"
#include "viewer/Viewer.h"
#include "viewer/ViewerText.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

// Panel 4 of the status bar: the grid worker's progress as a navy strip.
class TViewerProgress : public QWidget {
public:
  explicit TViewerProgress(QWidget* parent) : QWidget(parent) { setMinimumWidth(1); }
  void SetPercent(int percent)
  {
    m_percent = percent;
    update();
  }

protected:
  void paintEvent(QPaintEvent*) override
  {
    QPainter p(this);
    const int w = width() * std::clamp(m_percent, 0, 100) / 100;
    if (w > 0) p.fillRect(QRect(0, 0, w, height()), QColor(0x00, 0x00, 0x80));
  }

private:
  int m_percent = 0;
};

static void InitViewerResources()
{
  static const bool done = [] {
    Q_INIT_RESOURCE(viewer);
    return true;
  }();
  (void)done;
}

namespace {

QString StartFolder()
{
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty() && QFileInfo(pictures).isDir()) return pictures;
  return QDir::homePath();
}

}  // namespace

TfrmViewerMain::TfrmViewerMain(TSettings& settings, QWidget* parent) : QDialog(parent), m_settings(settings)
{
  InitViewerResources();
  setObjectName(QStringLiteral("frmViewerMain"));
  setWindowTitle(QStringLiteral("Jacketeer: Select images"));
  setMinimumSize(130, 50);
  setSizeGripEnabled(true);
  resize(680, 586);

  auto* vbox = new QVBoxLayout(this);
  vbox->setContentsMargins(0, 0, 0, 0);
  vbox->setSpacing(0);
  BuildTools();
  BuildPanels();
  ConnectGrid();

  m_viewer->OnStopped = [this] {
    m_previewStopped = true;
    if (m_closingAsked) AskClose();
  };
  LoadSettings();
  edLocation->setText(SelectedFolder());
}

TfrmViewerMain::~TfrmViewerMain()
{
  // The grid and the preview stop and wait for their workers as they go.
  m_viewer->OnStopped = nullptr;
  m_grid->OnIdle = nullptr;
  SaveSettings();
}

void TfrmViewerMain::BuildTools()
{
  auto* tb = new QToolBar(this);
  tb->setObjectName(QStringLiteral("tbViewer"));
  tb->setMovable(false);
  auto make = [&](const char* name, const char* caption, const char* hint, const QString& icon) {
    auto* b = new QToolButton(tb);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(QString::fromLatin1(caption));
    b->setToolTip(QString::fromLatin1(hint));
    b->setIcon(QIcon(icon));
    b->setIconSize(QSize(32, 32));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setMinimumSize(57, 52);
    return b;
  };
  btnPreviousImage = make("btnPreviousImage", "Prev.", "Previous image", QStringLiteral(":/viewer/prev.svg"));
  btnNextImage = make("btnNextImage", "Next", "Next image", QStringLiteral(":/viewer/next.svg"));
  btnEdit = make("btnEdit", "Edit image", "Edit image", QStringLiteral(":/icons/edit.svg"));
  btnAddFavorites = make("btnAddFavorites", "Favorites", "Add the selected images to favorites folder",
                         QStringLiteral(":/viewer/favorites.svg"));
  btnAddImage = make("btnAddImage", "Add image", "Set the selected image to a layer", QStringLiteral(":/icons/image.svg"));
  btnAddImageToBackground = make("btnAddImageToBackground", "Set as BG", "Set the selected image as background",
                                 QStringLiteral(":/icons/setbg.svg"));
  tb->addWidget(btnPreviousImage);
  tb->addWidget(btnNextImage);
  tb->addSeparator();
  m_actEdit = tb->addWidget(btnEdit);
  m_actSeparator2 = tb->addSeparator();
  m_actFavorites = tb->addWidget(btnAddFavorites);
  m_actAddImage = tb->addWidget(btnAddImage);
  m_actSetBackground = tb->addWidget(btnAddImageToBackground);
  btnPreviousImage->setEnabled(false);
  btnNextImage->setEnabled(false);
  layout()->addWidget(tb);

  connect(btnPreviousImage, &QToolButton::clicked, this, [this] { btnPreviousImageClick(); });
  connect(btnNextImage, &QToolButton::clicked, this, [this] { btnNextImageClick(); });
  connect(btnEdit, &QToolButton::clicked, this, [this] { btnEditClick(); });
  connect(btnAddFavorites, &QToolButton::clicked, this, [this] { btnAddFavoritesClick(); });
  connect(btnAddImage, &QToolButton::clicked, this, [this] { btnAddImageClick(); });
  connect(btnAddImageToBackground, &QToolButton::clicked, this, [this] { btnAddImageToBackgroundClick(); });
  ShowBrowseMode();
}

void TfrmViewerMain::BuildPanels()
{
  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setHandleWidth(5);
  Splitter1->setChildrenCollapsible(false);
  layout()->addWidget(Splitter1);
  static_cast<QVBoxLayout*>(layout())->setStretchFactor(Splitter1, 1);

  plLeftBackground = new QWidget(Splitter1);
  plLeftBackground->setObjectName(QStringLiteral("plLeftBackground"));
  auto* lv = new QVBoxLayout(plLeftBackground);
  lv->setContentsMargins(0, 0, 0, 0);
  Splitter2 = new QSplitter(Qt::Vertical, plLeftBackground);
  Splitter2->setObjectName(QStringLiteral("Splitter2"));
  Splitter2->setHandleWidth(4);
  Splitter2->setChildrenCollapsible(false);
  lv->addWidget(Splitter2);

  plFilelistBackground = new QWidget(Splitter2);
  plFilelistBackground->setObjectName(QStringLiteral("plFilelistBackground"));
  auto* tv = new QVBoxLayout(plFilelistBackground);
  tv->setContentsMargins(0, 0, 0, 0);
  m_folders = new QFileSystemModel(this);
  m_folders->setOption(QFileSystemModel::DontWatchForChanges);
  m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::Drives);
  m_folders->setRootPath(QStringLiteral("/"));
  stvFilelist = new QTreeView(plFilelistBackground);
  stvFilelist->setObjectName(QStringLiteral("stvFilelist"));
  stvFilelist->setModel(m_folders);
  for (int c = 1; c < m_folders->columnCount(); ++c) stvFilelist->hideColumn(c);
  stvFilelist->header()->hide();
  stvFilelist->setAutoFillBackground(true);
  QPalette white = stvFilelist->palette();
  white.setColor(QPalette::Base, Qt::white);
  stvFilelist->setPalette(white);
  tv->addWidget(stvFilelist);
  const QModelIndex start = m_folders->index(StartFolder());
  stvFilelist->setCurrentIndex(start);
  stvFilelist->scrollTo(start);
  // The model reads and sorts folders in the background: the selected folder
  // is scrolled into view as its parents arrive and are sorted, until the
  // user turns to the tree himself.
  const auto reveal = [this] {
    const QModelIndex current = stvFilelist->currentIndex();
    if (m_revealPending && current.isValid()) ScrollTreeTo(current);
  };
  connect(m_folders, &QFileSystemModel::directoryLoaded, this, reveal);
  const auto userTurned = [this] {
    if (!m_scrolling) m_revealPending = false;
  };
  connect(stvFilelist, &QTreeView::expanded, this, userTurned);
  connect(stvFilelist, &QTreeView::collapsed, this, userTurned);
  connect(stvFilelist->verticalScrollBar(), &QScrollBar::sliderPressed, this, userTurned);
  // The model sorts and re-reads folders in the background, and a tree
  // rebuilt that way can move its current row to another folder. Such moves
  // are not the user's (no click, the tree does not have the focus): the
  // folder shown stays, and is selected again once the tree has settled.
  connect(m_folders, &QAbstractItemModel::layoutChanged, this,
          [this, reveal] { QTimer::singleShot(0, this, reveal); });
  connect(stvFilelist, &QTreeView::pressed, this, [this] {
    if (SelectedFolder() != m_shownFolder) stvFilelistClick();
  });
  connect(stvFilelist->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex&, const QModelIndex&) {
            if (m_selectingFolder || SelectedFolder() == m_shownFolder) return;
            if (stvFilelist->hasFocus() || m_shownFolder.isEmpty()) {
              stvFilelistClick();
              return;
            }
            QTimer::singleShot(0, this, [this] {
              const QModelIndex shown = m_folders->index(m_shownFolder);
              if (!shown.isValid() || SelectedFolder() == m_shownFolder) return;
              const QSignalBlocker quiet(stvFilelist->selectionModel());
              stvFilelist->setCurrentIndex(shown);
              stvFilelist->viewport()->update();
            });
          });

  plViewerBackground = new QFrame(Splitter2);
  plViewerBackground->setObjectName(QStringLiteral("plViewerBackground"));
  plViewerBackground->setFrameShape(QFrame::Box);
  plViewerBackground->setMinimumSize(50, 50);
  auto* pv = new QVBoxLayout(plViewerBackground);
  pv->setContentsMargins(1, 1, 1, 1);
  m_viewer = new TViewer(plViewerBackground);
  pv->addWidget(m_viewer);

  plRightBackground = new QWidget(Splitter1);
  plRightBackground->setObjectName(QStringLiteral("plRightBackground"));
  auto* rv = new QVBoxLayout(plRightBackground);
  rv->setContentsMargins(0, 0, 0, 0);
  rv->setSpacing(2);
  edLocation = new QLineEdit(plRightBackground);
  edLocation->setObjectName(QStringLiteral("edLocation"));
  edLocation->setReadOnly(true);
  rv->addWidget(edLocation);
  m_grid = new TThumbnail(plRightBackground);
  m_grid->setObjectName(QStringLiteral("tnViewer"));
  rv->addWidget(m_grid, 1);

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setSizeGripEnabled(false);
  for (int i = 0; i < 4; ++i) {
    m_panels[i] = new QLabel(StatusBar);
    m_panels[i]->setObjectName(QStringLiteral("pnlStatus%1").arg(i));
    StatusBar->addWidget(m_panels[i]);
  }
  m_progress = new TViewerProgress(StatusBar);
  m_progress->setObjectName(QStringLiteral("pnlStatus4"));
  StatusBar->addWidget(m_progress, 1);
  SetPanel(0, QStringLiteral("Total Size"), 8);
  for (int i = 1; i < 4; ++i) m_panels[i]->setFixedWidth(0);
  layout()->addWidget(StatusBar);

  // The preview is fitted again when a splitter has been let go.
  for (QSplitter* s : {Splitter1, Splitter2})
    connect(s, &QSplitter::splitterMoved, this, [this] {
      if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) m_viewer->ResizeDone();
    });
}

void TfrmViewerMain::ConnectGrid()
{
  m_grid->OnFolderScanned = [this](int count, qint64 total, bool refresh) {
    SetPanel(0, QStringLiteral("Total %1 images (%2)").arg(count).arg(FileSizeText(total)), 8);
    if (!refresh) {
      m_viewer->ClearPreview();
      UpdateNavButtons(count, 0);
      m_currentFile.clear();
      m_currentWidth = m_currentHeight = 0;
    }
    emit FolderScanned(count);
  };
  m_grid->OnItemFocus = [this](const TThumbnailFocus& f) { ItemFocus(f); };
  m_grid->OnProgress = [this](int percent) {
    m_percent = percent;
    m_progress->SetPercent(percent);
  };
  m_grid->OnIdle = [this] {
    m_percent = 0;
    m_progress->SetPercent(0);
    m_gridStopped = true;
    if (m_closingAsked) AskClose();
    emit GridIdle();
  };
  m_grid->OnItemsDeleted = [this](bool focusedDeleted) {
    if (focusedDeleted) m_viewer->ClearPreview();
  };
  m_grid->OnSelectionDone = [](int, int) {};
}

void TfrmViewerMain::ItemFocus(const TThumbnailFocus& f)
{
  SetPanel(1, f.Path, 8);
  SetPanel(2, FileSizeText(f.Size) + QStringLiteral(" , ") + FileTimeText(f.Time), 10);
  // The picture's size is known once its thumbnail is made.
  SetPanel(3, f.Width > 0 ? QStringLiteral("%1x%2x%3").arg(f.Width).arg(f.Height).arg(ColorCountText(f.BitCount))
                          : QString(),
           10);
  m_currentFile = f.Path;
  m_currentWidth = f.Width;
  m_currentHeight = f.Height;
  if (isVisible()) {
    m_previewStopped = false;
    m_viewer->LoadFile(f.Path);
  }
  UpdateNavButtons(f.Count, f.Number);
}

void TfrmViewerMain::SetPanel(int panel, const QString& text, int extra)
{
  QLabel* l = m_panels[panel];
  l->setText(text);
  l->setFixedWidth(text.isEmpty() ? 0 : l->fontMetrics().horizontalAdvance(text) + extra);
}

QString TfrmViewerMain::PanelText(int panel) const
{
  return panel >= 0 && panel < 4 ? m_panels[panel]->text() : QString();
}

void TfrmViewerMain::UpdateNavButtons(int count, int number)
{
  if (const auto state = NavButtonsFor(count, number)) {
    btnPreviousImage->setEnabled(state->Previous);
    btnNextImage->setEnabled(state->Next);
  }
}

void TfrmViewerMain::stvFilelistClick()
{
  m_gridStopped = false;
  for (int i = 1; i < 4; ++i) SetPanel(i, QString(), 0);
  const QString folder = SelectedFolder();
  m_shownFolder = folder;
  edLocation->setText(folder);
  m_grid->SetFolder(folder);
}

QString TfrmViewerMain::SelectedFolder() const
{
  const QModelIndex i = stvFilelist->currentIndex();
  return i.isValid() ? m_folders->filePath(i) : StartFolder();
}

void TfrmViewerMain::SelectFolder(const QString& folder)
{
  const QModelIndex i = m_folders->index(QDir::cleanPath(folder));
  if (!i.isValid()) return;
  if (i != stvFilelist->currentIndex()) {
    m_selectingFolder = true;
    stvFilelist->setCurrentIndex(i);
    m_selectingFolder = false;
  }
  stvFilelistClick();
  m_revealPending = true;
  ScrollTreeTo(i);
}

// Scrolls the tree to a folder; the parents it opens on the way are not the
// user's doing.
void TfrmViewerMain::ScrollTreeTo(const QModelIndex& folder)
{
  m_scrolling = true;
  stvFilelist->scrollTo(folder);
  m_scrolling = false;
}

// ---------------------------------------------------------------- modes

void TfrmViewerMain::ShowOnly(std::initializer_list<QAction*> shown)
{
  for (QAction* a : {m_actEdit, m_actSeparator2, m_actFavorites, m_actAddImage, m_actSetBackground})
    a->setVisible(std::find(shown.begin(), shown.end(), a) != shown.end());
}

void TfrmViewerMain::ShowBrowseMode()
{
  ShowOnly({m_actEdit, m_actSeparator2, m_actFavorites});
}

void TfrmViewerMain::ShowAddImageMode()
{
  ShowOnly({m_actAddImage});
}

void TfrmViewerMain::PrepareBackgroundChoice(const QString&, uint8_t imageMode, TColor startColor, int32_t endColor,
                                             bool vertical, bool)
{
  ShowOnly({m_actSetBackground});
  m_bgMode = imageMode;
  m_bgStart = startColor;
  m_bgEnd = endColor;
  m_bgVertical = vertical;
}

QToolButton* TfrmViewerMain::Button(const QString& objectName) const
{
  return findChild<QToolButton*>(objectName);
}

bool TfrmViewerMain::ButtonShown(const QString& objectName) const
{
  QToolButton* b = Button(objectName);
  if (!b) return false;
  if (b == btnEdit) return m_actEdit->isVisible();
  if (b == btnAddFavorites) return m_actFavorites->isVisible();
  if (b == btnAddImage) return m_actAddImage->isVisible();
  if (b == btnAddImageToBackground) return m_actSetBackground->isVisible();
  return true;
}

// ---------------------------------------------------------------- commands

void TfrmViewerMain::btnPreviousImageClick()
{
  m_grid->PreviousItem();
}

void TfrmViewerMain::btnNextImageClick()
{
  m_grid->NextItem();
}

void TfrmViewerMain::btnEditClick()
{
  if (!OnEditImage) return;
  const QString saved = OnEditImage(m_currentFile);
  // A picture saved into the folder shown appears in the grid.
  if (!saved.isEmpty() && QFileInfo(saved).absolutePath() == QFileInfo(m_grid->Folder()).absolutePath())
    m_grid->Refresh();
}

void TfrmViewerMain::btnAddFavoritesClick()
{
  if (m_favouritesFolder.isEmpty()) return;
  QDir().mkpath(m_favouritesFolder);
  if (m_grid->CopySelectedTo(m_favouritesFolder) > 0 && OnFavouritesCopied) OnFavouritesCopied();
}

void TfrmViewerMain::btnAddImageClick()
{
  if (m_currentFile.trimmed().isEmpty()) return;
  if (OnAddPicture && !OnAddPicture(m_currentFile, m_currentWidth, m_currentHeight)) return;
  close();
}

void TfrmViewerMain::btnAddImageToBackgroundClick()
{
  const QString file = m_currentFile;
  if (m_cover) m_cover->SetBackground(file, m_bgMode, m_bgStart, m_bgEnd, m_bgVertical, true);
  if (OnBackgroundChosen) OnBackgroundChosen(file);
  close();
}

// ---------------------------------------------------------------- show and close

void TfrmViewerMain::showEvent(QShowEvent* e)
{
  QDialog::showEvent(e);
  m_shownOnce = true;
  m_closingAsked = false;
  m_gridStopped = false;
  m_grid->SetFolder(SelectedFolder());
  m_viewer->ClearPreview();
  m_previewStopped = false;
  m_viewer->LoadFile(m_currentFile);
}

void TfrmViewerMain::reject()
{
  close();
}

void TfrmViewerMain::AskClose()
{
  // Asked again from the workers' ends, outside their handlers.
  QTimer::singleShot(0, this, [this] {
    if (m_closingAsked && isVisible()) close();
  });
}

void TfrmViewerMain::closeEvent(QCloseEvent* e)
{
  m_closingAsked = true;
  // The flags follow the workers' own state, so that a worker started
  // after its flag was set still holds the window open.
  if (m_grid->Running()) m_gridStopped = false;
  if (m_viewer->Running()) m_previewStopped = false;
  if (m_gridStopped && m_previewStopped) {
    e->accept();
    m_closingAsked = false;
    QString error;
    if (!SaveSettings(&error)) QMessageBox::warning(this, QStringLiteral("Jacketeer"), error);
    done(QDialog::Rejected);
    return;
  }
  e->ignore();
  if (!m_gridStopped) m_grid->Stop();
  if (!m_previewStopped) m_viewer->StopPreview();
}

// ---------------------------------------------------------------- settings

void TfrmViewerMain::LoadSettings()
{
  QRect area(0, 0, 1024, 738);
  if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
  const QRect r = CorrectViewerBounds(m_settings.Viewer, area.width(), area.height());
  setGeometry(r);
  layout()->activate();
  const int sh = CorrectSubHeight(m_settings.Viewer.SubHeight, plLeftBackground->height());
  const int sw = CorrectSubWidth(m_settings.Viewer.SubWidth, width());
  Splitter1->setSizes({sw, std::max(1, Splitter1->width() - sw - Splitter1->handleWidth())});
  Splitter2->setSizes({sh, std::max(1, Splitter2->height() - sh - Splitter2->handleWidth())});
  // What the main window writes when it closes before the viewer was shown.
  m_settings.Viewer = {r.x(), r.y(), r.width(), r.height(), sh, sw};
}

bool TfrmViewerMain::SaveSettings(QString* error)
{
  const QRect g = geometry();
  const QList<int> left = Splitter1->sizes(), top = Splitter2->sizes();
  m_settings.Viewer.Left = g.x();
  m_settings.Viewer.Top = g.y();
  m_settings.Viewer.Width = g.width();
  m_settings.Viewer.Height = g.height();
  // The panels have their sizes once the window was laid out on screen;
  // before that the values read at start-up stay.
  if (m_shownOnce && !top.isEmpty()) m_settings.Viewer.SubHeight = top.first();
  if (m_shownOnce && !left.isEmpty()) m_settings.Viewer.SubWidth = left.first();
  m_settings.CurrentPath = SelectedFolder();
  QString e;
  const bool ok = m_settings.Save(e);
  if (error) *error = e;
  return ok;
}
