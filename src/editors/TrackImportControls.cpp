#include "editors/TrackImportControls.h"

#include "editors/TrackImportWorker.h"
#include "imagelib/ImageLoader.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace {

// Problems listed in the message before the rest is only counted.
constexpr int kShownProblems = 15;
constexpr int kThumbSize = 40;

QString StartFolder()
{
  const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  return QFileInfo(music).isDir() ? music : QDir::homePath();
}

}  // namespace

TTrackImportControls::TTrackImportControls(QWidget* owner) : QObject(owner), m_owner(owner)
{
  m_worker = new TTrackImportWorker(this);
  connect(m_worker, &TTrackImportWorker::Finished, this, &TTrackImportControls::Finished);

  m_importButton = new QToolButton(owner);
  m_importButton->setObjectName(QStringLiteral("btnImport"));
  m_importButton->setText(QStringLiteral("Import..."));
  m_importButton->setToolTip(QStringLiteral("Take the track list from a cue sheet, audio files or a folder"));
  m_importButton->setIcon(QIcon(QStringLiteral(":/icons/importtracks.svg")));
  m_importButton->setIconSize(QSize(32, 32));
  m_importButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  m_importButton->setAutoRaise(true);
  m_importButton->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(m_importButton);
  menu->setObjectName(QStringLiteral("mnuImport"));
  menu->addAction(QStringLiteral("Cue Sheet or Audio Files..."), this, &TTrackImportControls::ImportFilesClick);
  menu->addAction(QStringLiteral("Folder..."), this, &TTrackImportControls::ImportFolderClick);
  m_importButton->setMenu(menu);

  // The offer of the album's picture, shown after an import that found one.
  m_offer = new QFrame(owner);
  m_offer->setObjectName(QStringLiteral("plAlbumPicture"));
  m_offer->setFrameShape(QFrame::StyledPanel);
  m_thumb = new QLabel(m_offer);
  m_thumb->setFixedSize(kThumbSize, kThumbSize);
  m_thumb->setAlignment(Qt::AlignCenter);
  auto* caption = new QLabel(QStringLiteral("The album's front picture"), m_offer);
  m_useButton = new QPushButton(QStringLiteral("Use as &Background"), m_offer);
  m_useButton->setObjectName(QStringLiteral("btnUseAsBackground"));
  m_useButton->setToolTip(QStringLiteral("Make the album's front picture the background of the cover"));
  connect(m_useButton, &QPushButton::clicked, this, [this] {
    const TAlbumPicture picture = m_picture;
    m_offer->hide();
    emit UseAlbumPicture(picture);
  });
  auto* ol = new QHBoxLayout(m_offer);
  ol->setContentsMargins(4, 4, 4, 4);
  ol->addWidget(m_thumb);
  ol->addWidget(caption, 1);
  ol->addWidget(m_useButton);
  m_offer->hide();

  const QString audio = QStringLiteral(" *.") + AudioFileExtensions().join(QStringLiteral(" *."));
  m_filesDialog = new QFileDialog(owner, QStringLiteral("Import Tracks"));
  m_filesDialog->setObjectName(QStringLiteral("dlgImportFiles"));
  m_filesDialog->setOption(QFileDialog::DontUseNativeDialog);
  m_filesDialog->setFileMode(QFileDialog::ExistingFiles);
  m_filesDialog->setNameFilters({QStringLiteral("Cue sheets and audio files (*.cue%1)").arg(audio),
                                 QStringLiteral("Cue sheets (*.cue)"), QStringLiteral("Audio files (%1)").arg(audio.trimmed()),
                                 QStringLiteral("All files (*)")});
  m_filesDialog->setDirectory(StartFolder());
  m_folderDialog = new QFileDialog(owner, QStringLiteral("Import Tracks from a Folder"));
  m_folderDialog->setObjectName(QStringLiteral("dlgImportFolder"));
  m_folderDialog->setOption(QFileDialog::DontUseNativeDialog);
  m_folderDialog->setFileMode(QFileDialog::Directory);
  m_folderDialog->setOption(QFileDialog::ShowDirsOnly);
  m_folderDialog->setDirectory(StartFolder());

  // The progress window: shown only when the import takes a while.
  m_progress = new QDialog(owner);
  m_progress->setObjectName(QStringLiteral("frmImportProgress"));
  m_progress->setWindowTitle(QStringLiteral("Importing Tracks"));
  m_progress->setWindowModality(Qt::WindowModal);
  auto* label = new QLabel(QStringLiteral("Reading the album's files..."), m_progress);
  m_progressBar = new QProgressBar(m_progress);
  m_progressBar->setRange(0, 100);
  m_progressBar->setMinimumWidth(280);
  auto* stop = new QPushButton(QStringLiteral("&Cancel"), m_progress);
  stop->setObjectName(QStringLiteral("btnCancelImport"));
  connect(stop, &QPushButton::clicked, m_progress, &QDialog::reject);
  // Closing it in any way stops the import; nothing changes then.
  connect(m_progress, &QDialog::rejected, this, [this] {
    if (m_worker->Running()) m_worker->Stop();
  });
  auto* pl = new QVBoxLayout(m_progress);
  pl->addWidget(label);
  pl->addWidget(m_progressBar);
  auto* pb = new QHBoxLayout;
  pb->addStretch(1);
  pb->addWidget(stop);
  pl->addLayout(pb);
  connect(m_worker, &TTrackImportWorker::Progress, m_progressBar, &QProgressBar::setValue);
  m_progressTimer = new QTimer(this);
  m_progressTimer->setSingleShot(true);
  connect(m_progressTimer, &QTimer::timeout, this, [this] {
    if (m_worker->Running() && !m_dropResult) m_progress->open();
  });
}

TTrackImportControls::~TTrackImportControls() = default;

bool TTrackImportControls::Importing() const
{
  return m_worker->Running();
}

QStringList TTrackImportControls::DroppedPaths(const QMimeData* mime)
{
  QStringList paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (IsCueSheetFile(path) || IsAudioFile(path) || QFileInfo(path).isDir()) paths << path;
  }
  return paths;
}

void TTrackImportControls::ImportFilesClick()
{
  if (Importing() || m_filesDialog->exec() != QDialog::Accepted) return;
  const QStringList files = m_filesDialog->selectedFiles();
  if (files.isEmpty()) return;
  m_folderDialog->setDirectory(QFileInfo(files.first()).absolutePath());
  Import(files);
}

void TTrackImportControls::ImportFolderClick()
{
  if (Importing() || m_folderDialog->exec() != QDialog::Accepted) return;
  const QStringList folders = m_folderDialog->selectedFiles();
  if (folders.isEmpty()) return;
  m_filesDialog->setDirectory(folders.first());
  Import(folders);
}

bool TTrackImportControls::Import(const QStringList& paths)
{
  if (paths.isEmpty() || !m_worker->Start(paths)) return false;
  m_dropResult = false;
  m_importButton->setEnabled(false);
  m_progressBar->setValue(0);
  m_progressTimer->start(m_progressDelay);
  return true;
}

void TTrackImportControls::Reset()
{
  if (m_worker->Running()) {
    m_dropResult = true;
    m_worker->Stop();
  }
  m_progressTimer->stop();
  m_progress->hide();
  m_offer->hide();
  m_picture = TAlbumPicture();
}

void TTrackImportControls::Finished(const TTrackImport& result)
{
  m_progressTimer->stop();
  m_progress->hide();
  m_importButton->setEnabled(true);
  if (m_dropResult || result.Stopped) return;

  if (!result.Lines.isEmpty()) emit Imported(result.Lines);
  if (!result.Picture.IsNull()) ShowPictureOffer(result.Picture);
  if (result.Problems.isEmpty()) return;

  QString text = result.Lines.isEmpty() ? QStringLiteral("No tracks could be imported.")
                                        : QStringLiteral("Some files or tracks could not be read completely.");
  text += QStringLiteral("\n");
  for (int i = 0; i < result.Problems.size() && i < kShownProblems; ++i) text += QStringLiteral("\n") + result.Problems[i];
  if (result.Problems.size() > kShownProblems)
    text += QStringLiteral("\n... and %1 more.").arg(result.Problems.size() - kShownProblems);
  QMessageBox::warning(m_owner, QStringLiteral("Jacketeer"), text);
}

void TTrackImportControls::ShowPictureOffer(const TAlbumPicture& picture)
{
  m_picture = picture;
  QImage thumb;
  if (!picture.FileName.isEmpty()) {
    LoadImageFile(picture.FileName, thumb, kThumbSize, kThumbSize);
  } else {
    QImage full;
    if (full.loadFromData(picture.Data))
      thumb = full.scaled(kThumbSize, kThumbSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  if (!thumb.isNull())
    m_thumb->setPixmap(QPixmap::fromImage(thumb));
  else
    m_thumb->setPixmap(QIcon(QStringLiteral(":/icons/setbg.svg")).pixmap(32, 32));
  m_offer->show();
}
