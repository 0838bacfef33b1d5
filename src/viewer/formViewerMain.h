#pragma once
// The image viewer window "Jacketeer: Select images": a folder tree, the
// thumbnail grid of the chosen folder, a preview of the focused picture and
// a status bar with the folder's totals and the focused file's details.
// Created once and reused; shown modally in one of three modes that decide
// which command hands the chosen picture back: browsing (Edit image,
// Favorites), adding a picture layer (Add image) or choosing the cover
// background (Set as BG).

#include "canvas/Functions.h"

#include <QDialog>
#include <QString>

#include <functional>

class QAction;
class QFileSystemModel;
class QFrame;
class QLabel;
class QLineEdit;
class QSplitter;
class QStatusBar;
class QToolButton;
class QTreeView;
class TCoverDocument;
class TSettings;
class TThumbnail;
class TViewer;
class TViewerProgress;
struct TThumbnailFocus;

class TfrmViewerMain : public QDialog {
  Q_OBJECT

public:
  // The settings are read at once (LoadSettings) and written when the window
  // closes and when it is destroyed.
  explicit TfrmViewerMain(TSettings& settings, QWidget* parent = nullptr);
  ~TfrmViewerMain() override;

  void ShowBrowseMode();
  void ShowAddImageMode();
  // Background mode: "Set as BG" makes the chosen picture the cover
  // background with this placement, these colours and this direction.
  void PrepareBackgroundChoice(const QString& fileName, uint8_t imageMode, TColor startColor, int32_t endColor,
                               bool vertical, bool showImage);

  void LoadSettings();
  // False (with "Unable to write to …") when the file could not be written.
  bool SaveSettings(QString* error = nullptr);

  // What the commands reach.
  void SetCover(TCoverDocument* cover) { m_cover = cover; }
  void SetFavouritesFolder(const QString& folder) { m_favouritesFolder = folder; }
  // "Add image": the main window makes the picture a layer; false when it
  // could not (it has said why), and the viewer then stays open.
  std::function<bool(const QString& file, int width, int height)> OnAddPicture;
  // "Favorites" copied pictures into the favourites folder.
  std::function<void()> OnFavouritesCopied;
  // "Edit image" on the focused picture (empty when none); answers the file
  // the editor saved, if any.
  std::function<QString(const QString& file)> OnEditImage;
  // "Set as BG" has set the cover's background to this file.
  std::function<void(const QString& file)> OnBackgroundChosen;

  // Shows a folder as a click in the tree would.
  void SelectFolder(const QString& folder);
  QString SelectedFolder() const;

  // Commands.
  void btnPreviousImageClick();
  void btnNextImageClick();
  void ScrollTreeTo(const QModelIndex& folder);
  void btnEditClick();
  void btnAddFavoritesClick();
  void btnAddImageClick();
  void btnAddImageToBackgroundClick();

  // State, for the callers and for tests.
  QString CurrentFile() const { return m_currentFile; }
  int CurrentWidth() const { return m_currentWidth; }
  int CurrentHeight() const { return m_currentHeight; }
  TThumbnail* Grid() const { return m_grid; }
  TViewer* Viewer() const { return m_viewer; }
  QTreeView* Tree() const { return stvFilelist; }
  QLineEdit* Location() const { return edLocation; }
  QString PanelText(int panel) const;
  int Percent() const { return m_percent; }
  QToolButton* Button(const QString& objectName) const;
  bool ButtonShown(const QString& objectName) const;

  // Closes once both workers have ended, without a second request.
  void reject() override;

signals:
  // A folder's scan is complete; the grid's worker has ended.
  void FolderScanned(int count);
  void GridIdle();

protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

private:
  void BuildTools();
  void BuildPanels();
  void ConnectGrid();
  void stvFilelistClick();
  void UpdateNavButtons(int count, int number);
  void ItemFocus(const TThumbnailFocus& f);
  void SetPanel(int panel, const QString& text, int extra);
  void ShowOnly(std::initializer_list<QAction*> shown);
  void AskClose();

  TSettings& m_settings;
  TCoverDocument* m_cover = nullptr;
  QString m_favouritesFolder;

  QString m_currentFile;
  int m_currentWidth = 0, m_currentHeight = 0;
  uint8_t m_bgMode = 0;
  TColor m_bgStart = 0xFFFFFF;
  int32_t m_bgEnd = -1;
  bool m_bgVertical = true;
  int m_percent = 0;
  bool m_gridStopped = true;
  bool m_previewStopped = true;
  bool m_closingAsked = false;
  bool m_shownOnce = false;

  QToolButton* btnPreviousImage = nullptr;
  QToolButton* btnNextImage = nullptr;
  QString m_shownFolder;         // the folder the grid lists
  bool m_selectingFolder = false; // the program itself selects a folder in the tree
  bool m_scrolling = false;       // the program itself scrolls the tree (and opens folders)
  bool m_revealPending = true;   // the selected folder is scrolled into view as the tree fills
  QToolButton* btnEdit = nullptr;
  QToolButton* btnAddFavorites = nullptr;
  QToolButton* btnAddImage = nullptr;
  QToolButton* btnAddImageToBackground = nullptr;
  QAction* m_actEdit = nullptr;
  QAction* m_actSeparator2 = nullptr;
  QAction* m_actFavorites = nullptr;
  QAction* m_actAddImage = nullptr;
  QAction* m_actSetBackground = nullptr;

  QSplitter* Splitter1 = nullptr;
  QSplitter* Splitter2 = nullptr;
  QWidget* plLeftBackground = nullptr;
  QWidget* plFilelistBackground = nullptr;
  QFrame* plViewerBackground = nullptr;
  QWidget* plRightBackground = nullptr;
  QTreeView* stvFilelist = nullptr;
  QFileSystemModel* m_folders = nullptr;
  QLineEdit* edLocation = nullptr;
  TThumbnail* m_grid = nullptr;
  TViewer* m_viewer = nullptr;
  QStatusBar* StatusBar = nullptr;
  QLabel* m_panels[4] = {};
  TViewerProgress* m_progress = nullptr;
};
