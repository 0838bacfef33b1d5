#pragma once
// The background editor: a solid colour or a two-colour gradient (left to
// right or top to bottom), and optionally a picture drawn over it, centred,
// stretched or tiled. Nothing is previewed: OK hands the settings to the
// cover at once, Cancel (or closing the window) discards what was changed
// since the editor was filled. A picture is chosen in the image viewer, which
// makes it the background at once and tells the editor.

#include "canvas/Functions.h"
#include "canvas/Layer.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QColorDialog;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TColorPanel;
class TCoverDocument;

class TfrmBackgroundProperty : public QDialog {
  Q_OBJECT

public:
  explicit TfrmBackgroundProperty(TCoverDocument& document, QWidget* parent = nullptr);

  // Fills the editor with the cover's six background settings.
  void LoadBackground(const QString& fileName, uint8_t imageMode, TColor startColor, int32_t endColor, bool vertical,
                      bool showImage);
  void LoadBackground(const TBackgroundInfo& b)
  {
    LoadBackground(b.FileName, b.ImageMode, b.StartColor, b.EndColor, b.Vertical, b.ShowImage);
  }
  // What the controls show now, without storing it: the placement, the
  // colours (EndColor -1 and Vertical false for a solid colour) and the
  // picture box; the file is the stored one.
  TBackgroundInfo ReadSettings() const;

  // The editor's settings as last loaded, gathered or chosen; what the image
  // viewer is prepared with when "Select image" opens it.
  const TBackgroundInfo& Settings() const { return m_state; }
  QString FileName() const { return m_state.FileName; }
  uint8_t ImageMode() const { return m_state.ImageMode; }
  TColor StartColor() const { return m_state.StartColor; }
  int32_t EndColor() const { return m_state.EndColor; }
  bool Vertical() const { return m_state.Vertical; }
  bool ShowImage() const { return m_state.ShowImage; }
  // True once the viewer made a picture the background during this opening.
  bool PictureChosen() const { return m_pictureChosen; }
  // What the editor last saw the cover take: loaded, confirmed with OK or
  // set by the viewer.
  const TBackgroundInfo& AppliedSettings() const { return m_applied.State; }
  // The settings a favourite made the background takes (placement, colours
  // and direction of ReadSettings). When the cover's background was changed
  // elsewhere since (a project opened, New), the editor first takes the
  // cover's settings, as it does each time it opens.
  TBackgroundInfo SettingsForCover(const TBackgroundInfo& cover);

  // "Select image": shows the image viewer prepared for a background choice
  // (with the getters above). The button is disabled while this is unset.
  std::function<void()> OnSelectImage;
  // The viewer's "Set as BG" made `file` the cover's background with this
  // editor's settings: the picture box is enabled and ticked, the file and
  // the picture-chosen flag are set.
  void BackgroundPictureChosen(const QString& file);

  // Where OK sends the settings; the document's SetBackground unless replaced.
  std::function<void(const QString& fileName, uint8_t imageMode, TColor startColor, int32_t endColor, bool vertical,
                     bool showImage)>
      SetBackground;

  QColorDialog* ColorDialog() const { return CD; }

  void done(int result) override;

protected:
  void showEvent(QShowEvent* event) override;

private:
  void Gather();
  void ShowFileName();
  void SetPlacementEnabled(bool enabled);
  void plSolidColorClick(TColorPanel* panel);
  void cboxShowImageClick();
  void btnOkClick();
  void btnGetImageClick();

  // Every control and the settings as they were when the editor was last
  // filled, confirmed with OK or told of a chosen picture: what the cover
  // has as far as the editor knows. Cancel puts them back.
  struct TSnapshot {
    TBackgroundInfo State;
    TColor Solid = 0, Start = 0, End = 0;
    bool Gradient = false;
    int Direction = 0;
    int Placement = 0;
    bool Show = false, ShowEnabled = false;
  };
  TSnapshot TakeSnapshot() const;
  void RestoreSnapshot(const TSnapshot& s);

  TBackgroundInfo m_state;
  TSnapshot m_applied;
  bool m_pictureChosen = false;
  bool m_loading = false;

  QLabel* Label1 = nullptr;
  QRadioButton* rbSolidColor = nullptr;
  TColorPanel* plSolidColor = nullptr;
  QRadioButton* rbGradientfill = nullptr;
  TColorPanel* plStartColor = nullptr;
  QLabel* Label3 = nullptr;
  TColorPanel* plEndColor = nullptr;
  QComboBox* comboxVertical = nullptr;
  QCheckBox* cboxShowImage = nullptr;
  QRadioButton* rbCenter = nullptr;
  QRadioButton* rbStretch = nullptr;
  QRadioButton* rbTile = nullptr;
  QLabel* lbFile = nullptr;
  QPushButton* btnGetImage = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;
  QColorDialog* CD = nullptr;
  QButtonGroup* m_colourGroup = nullptr;
  QButtonGroup* m_placementGroup = nullptr;
};
