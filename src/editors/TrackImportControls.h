#pragma once
// The import controls of the tracks editor: the "Import..." button with its
// two choices (cue sheet or audio files, or a folder), the file dialogs, the
// progress window shown when an import takes longer than half a second, the
// one message that names what could not be read, and the offer to make the
// album's front picture the cover's background.
//
// The import itself runs on a TTrackImportWorker; only the window thread
// touches these widgets.

#include "editors/TrackImport.h"

#include <QObject>
#include <QStringList>

class QDialog;
class QFileDialog;
class QFrame;
class QLabel;
class QMimeData;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;
class QWidget;
class TTrackImportWorker;

class TTrackImportControls : public QObject {
  Q_OBJECT

public:
  // The widgets are children of `owner`, the editor window; the caller
  // places ImportButton() and PictureOffer() in its layout.
  explicit TTrackImportControls(QWidget* owner);
  ~TTrackImportControls() override;

  QToolButton* ImportButton() const { return m_importButton; }
  QFrame* PictureOffer() const { return m_offer; }
  QPushButton* UseAsBackgroundButton() const { return m_useButton; }
  QFileDialog* FilesDialog() const { return m_filesDialog; }
  QFileDialog* FolderDialog() const { return m_folderDialog; }
  QDialog* ProgressWindow() const { return m_progress; }
  bool Importing() const;
  // How long an import runs before the progress window shows (ms).
  void SetProgressDelay(int ms) { m_progressDelay = ms; }

  // The local files and folders of a drag that can be imported (empty when none).
  static QStringList DroppedPaths(const QMimeData* mime);

  // The two choices of the Import button.
  void ImportFilesClick();
  void ImportFolderClick();
  // Imports these files and folders; false while another import runs.
  bool Import(const QStringList& paths);
  // Stops a running import and drops its result; hides the picture offer.
  void Reset();

signals:
  // The import gave track lines (the grid is to take them).
  void Imported(const QStringList& lines);
  // "Use as Background" was clicked.
  void UseAlbumPicture(const TAlbumPicture& picture);

private:
  void Finished(const TTrackImport& result);
  void ShowPictureOffer(const TAlbumPicture& picture);

  QWidget* m_owner;
  QToolButton* m_importButton = nullptr;
  QFrame* m_offer = nullptr;
  QLabel* m_thumb = nullptr;
  QPushButton* m_useButton = nullptr;
  QFileDialog* m_filesDialog = nullptr;
  QFileDialog* m_folderDialog = nullptr;
  QDialog* m_progress = nullptr;
  QProgressBar* m_progressBar = nullptr;
  QTimer* m_progressTimer = nullptr;
  TTrackImportWorker* m_worker = nullptr;
  TAlbumPicture m_picture;
  int m_progressDelay = 500;
  bool m_dropResult = false;  // Reset during the import: its result is not wanted
};
