#pragma once
// The tracks layer editor: the track list in a grid (number, name, time) with
// Up, Add, Down and Delete, and the typeface, styles, shadow, smoothing,
// colour and line alignment, previewed live on the cover. Typing in the grid
// is previewed when Enter is pressed; clicks are previewed at once.
//
// The grid is also where new tracks layers take their lines from, and where a
// track list sent by a companion disc-burning program arrives (LoadTrackFile).

#include "canvas/Layer.h"
#include "editors/PropertyEditor.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QLabel;
class QRadioButton;
class QTableWidget;
class QToolButton;
class TCoverDocument;
class TTrackGrid;
class TTrackImportControls;
struct TAlbumPicture;

// One tracks layer's values as the editor hands them to the canvas.
struct TTracksValues {
  int Number = 0, Left = 0, Top = 0;
  QStringList Tracks;
  TFontValues Font;
  int LineSpace = 0;
  int BoundWidth = 0, BoundHeight = 0;
  uint8_t Alignment = 0;
  bool operator==(const TTracksValues&) const = default;
};

class TfrmTracksProperty : public TPropertyEditor {
  Q_OBJECT

public:
  explicit TfrmTracksProperty(TCoverDocument& document, QWidget* parent = nullptr);
  ~TfrmTracksProperty() override;

  // Fills the editor before it is shown.
  void LoadTracksLayer(int number, int left, int top, const QStringList& tracks, const QString& fontName,
                       TColor color, uint8_t fontStyles, bool shadow, bool smooth, int lineSpace, int width,
                       int height, uint8_t alignment);

  // One track line per grid row: name, "|||", time (the number column is not part of it).
  void CollectTracks(QStringList& list) const;
  // Replaces the rows by these lines, numbered 01, 02, …; an empty list
  // leaves the one remaining row as it was.
  void FillGrid(const QStringList& list);
  // A companion program answered: take "Tracks.dat" (when takeFile and the
  // file exists) or the default list into the grid.
  void LoadTrackFile(bool takeFile);

  // Where changes go; the document's UpdateTracksLayer unless replaced.
  std::function<void(const TTracksValues&)> UpdateTracksLayer;
  // Asks a companion program for its track list; sent whenever the editor is shown.
  std::function<void()> SendTrackRequest;

  const TTracksValues& Initial() const { return m_initial; }
  const TTracksValues& Current() const { return m_current; }
  QTableWidget* Grid() const;

  // Track lists from an album's own files: the Import button, drops of cue
  // sheets, audio files and folders, and the album's picture as background.
  TTrackImportControls* ImportControls() const { return m_import; }
  // Makes the album's picture the cover's background (stretched over the
  // cover, the colours kept); Cancel puts the old background back.
  void UseAlbumPicture(const TAlbumPicture& picture);

  // Closing also ends a running import (its result is dropped).
  void done(int result) override;

  // The tool bar.
  void btnAddClick();
  void btnDeleteClick();
  void btnUpClick();
  void btnDownClick();

protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool ReadControls() override;
  void ApplyEdited() override;
  void RestoreInitial() override;
  bool IsUnchanged() const override;

private:
  void SetRow(int row, const QString& number, const QString& name, const QString& time);
  void SwapRows(int a, int b);
  void ShowError(const QString& text);

  QLabel* Label3 = nullptr;
  TTrackGrid* SG = nullptr;
  QToolButton* btnUp = nullptr;
  QToolButton* btnAdd = nullptr;
  QToolButton* btnDown = nullptr;
  QToolButton* btnDelete = nullptr;
  QRadioButton* rbLeft = nullptr;
  QRadioButton* rbRight = nullptr;
  QRadioButton* rbCenter = nullptr;
  TTracksValues m_initial;
  TTracksValues m_current;
  TCoverDocument& m_document;
  TTrackImportControls* m_import = nullptr;
  std::optional<TBackgroundInfo> m_backgroundBefore;  // set once the album picture was used
};
