#pragma once
// The main window: the tool bar of commands, the editing area with the cover
// canvas, the layer list that mirrors the canvas, the favourites tab, the
// unsaved-changes question and what happens on exit.

#include "canvas/Layer.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QWidget>

#include <functional>

class QFileDialog;
class QFrame;
class QListWidget;
class QTabWidget;
class QToolButton;
class TLabelShower;
class TThumbnail;
class TSettings;
class TfrmHints;
class TfrmPrinter;

// Registers the program's artwork (pictures of the tool bars, splash).
void InitJacketeerResources();

// One line of the layer list: three blanks, the kind word, a colon, a blank
// and the caption in double quotation marks.
QString LayerLine(const QString& kind, const QString& caption);
// The track lines a new tracks layer starts with.
QStringList DefaultTrackList();
// The date and time texts of new year and time layers, in the desktop's
// regional forms (the time without a time-zone name).
QString ShortDateText(const QDate& date);
QString LongTimeText(const QTime& time);
// A time format with its time-zone part taken out.
QString TimeFormatWithoutZone(const QString& format);

class TfrmMain : public QWidget {
  Q_OBJECT

public:
  TfrmMain(TSettings& settings, TfrmHints& hints, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // False when the work folder could not be made (the program must end).
  bool StartedWell() const { return m_startedWell; }

  TLabelShower* Canvas() const { return m_canvas; }
  QListWidget* LayerList() const { return clbObjects; }
  QTabWidget* PageControl() const { return pcRight; }
  // The layer the list and the layer buttons act on: the cover's selected
  // layer, -1 when none is selected.
  int CurrentNumber() const;
  QString WorkFolder() const { return m_workFolder; }
  QString DialogFolder() const { return m_dialogFolder; }
  QFileDialog* SaveDialog() const { return m_saveDialog; }
  QFileDialog* OpenDialog() const { return m_openDialog; }
  TThumbnail* Favourites() const { return tnFavorites; }
  QString FavouritesFolder() const { return m_favouritesFolder; }
  QString FavouriteFile() const { return m_favouriteFile; }

  // Where the track lines of a new tracks layer come from (the tracks
  // editor's grid once it exists); the default list otherwise.
  std::function<QStringList()> TrackListSource;
  // The layer property editors, hooked in by their windows.
  std::function<void(int, const TPictureLayerInfo&)> EditPictureHook;
  std::function<void(int, const TTextLayerInfo&)> EditTextHook;
  std::function<void(int, const TTracksLayerInfo&)> EditTracksHook;
  std::function<void(const TBackgroundInfo&)> EditBackgroundHook;
  // The print preview window (not owned); Print is enabled once it is set.
  void SetPrintWindow(TfrmPrinter* window);
  // Asks a companion disc-burning program for its track list (Tracks button).
  std::function<void()> TrackRequestHook;
  // The background editor's current placement, colours and direction, used
  // when a favourite becomes the background; the cover's own otherwise.
  std::function<TBackgroundInfo()> BackgroundSettingsSource;

  // Commands.
  void btnNewClick();
  void btnOpenClick();
  // Opens `file` as Open does after its dialog (a file handed over by a
  // second start, or given on the command line), the question included.
  void OpenFile(const QString& file);
  void btnSaveClick();
  void btnPrintClick();
  void btnHelpClick();
  void btnMoveUpClick();
  void btnMoveDownClick();
  void btnEditClick();
  void btnDeleteClick();
  void btnDeleteImageClick();
  void btnSetToBackgroundClick();
  // Scans the favourites folder again (after pictures were copied into it).
  void ReloadFavourites();
  // The image viewer: `addImage` runs after a click on the editing area with
  // Image down, `search` for the favourites' Search; both buttons work once set.
  void SetImageViewerHooks(std::function<void()> addImage, std::function<void()> search);
  // The viewer's choice in its add-image mode: a picture layer at the point
  // clicked. False, after saying why, when the layer could not be made.
  bool AddPictureAtClick(const QString& file, int width, int height);
  QPoint ClickPoint() const { return {m_clickX, m_clickY}; }

  // The help file: beside the program in a build tree, or installed.
  static QString HelpFile();
  // Where the Help command looks for it (HelpFile() unless set).
  void SetHelpFile(const QString& file) { m_helpFile = file; }

protected:
  void showEvent(QShowEvent*) override;
  void closeEvent(QCloseEvent*) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void BuildTools();
  void BuildPages();
  QToolButton* MakeButton(const QString& name, const QString& caption, const QString& tip, const QString& icon,
                          bool large);
  void ConnectCanvas();
  void CenterCanvas();

  void AddButtonClick(QToolButton* button, int hint);
  void CanvasMouseUp(int x, int y);
  void LayerAdded(const QString& kind, const QString& caption);
  void SelectAdded();
  // The list's highlight, its current line and the layer buttons shown as
  // the cover's selection is; nothing else sets them.
  void ShowSelection();
  // The user changed the list's selection (a click on a line or below the
  // lines, a key): the cover selects that layer, or none.
  void ListSelectionChanged();
  void SetLayerButtons(bool enabled);
  int RowOf(int number) const;
  void ClearList();
  void ConnectFavourites();
  void SetFavouriteButtons();
  void SetFavouriteBackground(const QString& file);
  // A picture layer at (x, y) from a picture file; false (nothing added)
  // when the file can not be read.
  bool AddPictureAt(const QString& file, int x, int y);

  // The unsaved-changes question; true (with the answer) when asked.
  int AskToSave(bool withCancel);
  // Runs the save dialog and saves; true when a file was chosen and saved.
  bool SaveWithDialog();
  // Open's question, before the file is chosen.
  void AskBeforeOpen();
  // Opens `file`; one that can not be opened is reported and changes nothing.
  void LoadFile(const QString& file);
  bool FormCloseQuery();
  void FormClose();
  void ShowError(const QString& text);
  void SetDialogFolder(const QString& folder);

  TSettings& m_settings;
  TfrmHints& m_hints;
  std::function<void()> m_addImageHook;
  int m_clickX = 0, m_clickY = 0;
  bool m_startedWell = false;
  bool m_ready = false;
  bool m_shown = false;
  bool m_syncing = false;
  QString m_workFolder;
  QString m_documentsFolder;
  QString m_favouritesFolder;
  QString m_dialogFolder;
  QString m_projectFile;  // the file last saved or opened; empty after New
  QString m_helpFile = HelpFile();
  QFileDialog* m_saveDialog = nullptr;
  QFileDialog* m_openDialog = nullptr;
  TfrmPrinter* m_printWindow = nullptr;

  TLabelShower* m_canvas = nullptr;
  QFrame* plLayout = nullptr;
  QTabWidget* pcRight = nullptr;
  QListWidget* clbObjects = nullptr;
  QWidget* tsLayers = nullptr;
  QWidget* tsFavorites = nullptr;
  TThumbnail* tnFavorites = nullptr;
  QString m_favouriteFile;
  int m_favouriteWidth = 0, m_favouriteHeight = 0;
  bool m_favouriteHintDue = false;

  QToolButton* btnNew = nullptr;
  QToolButton* btnOpen = nullptr;
  QToolButton* btnSave = nullptr;
  QToolButton* btnPrint = nullptr;
  QToolButton* btnAddTracks = nullptr;
  QToolButton* btnAddText = nullptr;
  QToolButton* btnAddYear = nullptr;
  QToolButton* btnAddTime = nullptr;
  QToolButton* btnAddImage = nullptr;
  QToolButton* btnEditBackground = nullptr;
  QToolButton* btnHelp = nullptr;
  QToolButton* btnMoveDown = nullptr;
  QToolButton* btnMoveUp = nullptr;
  QToolButton* btnEdit = nullptr;
  QToolButton* btnDelete = nullptr;
  QToolButton* btnSearchImage = nullptr;
  QToolButton* btnDeleteImage = nullptr;
  QToolButton* btnSetToBackground = nullptr;
};
