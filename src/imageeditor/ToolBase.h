#pragma once
// The effect dialogs' common behaviour. Every dialog is modal over the image
// editor window and previews its effect there: a change of a control asks
// the window for a run with the values of all controls, OK keeps the preview
// and Cancel (or closing the dialog any other way) shows the picture as it
// was. OK is available only once the run of the latest values has ended.
//
// Sliders show their position in a label while they are dragged and ask for
// a run only when released at a position other than the last one run.

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QButtonGroup;
class QBoxLayout;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;
class QVBoxLayout;
class TImageEditor;
class TfrmImageEditor;

// What a dialog's controls hold when it asks for a run.
struct TToolValues {
  std::vector<int> Positions;  // slider positions, in order
  bool Checked = false;        // the check box
  int Choice = 0;              // channel, direction or level item
};

struct TToolSlider {
  QString Name;       // "sbBrightness"
  QString LabelName;  // "lblBrightness"
  QString Prefix;     // "Brightness "
  int Min = 0, Max = 0, Default = 0;
};

struct TToolSetup {
  QString Name;     // object name of the dialog
  QString Caption;
  std::vector<TToolSlider> Sliders;
  QString CheckName;  // a check box beside the first label when not empty
  QString CheckText;
  bool CheckDefault = false;
  bool FirstRun = false;  // a run with the defaults when shown
  // Button captions without mnemonics (the 3DGrid dialog's).
  bool PlainButtons = false;
  // The run request for the values, made on the window's editing panel.
  std::function<void(TImageEditor&, const TToolValues&)> Request;
};

class TfrmToolBase : public QDialog {
  Q_OBJECT

public:
  TfrmToolBase(TfrmImageEditor& window, TToolSetup setup);

  // Controls to their show-time defaults, labels set, OK disabled.
  void ResetControls();
  // A run has ended: OK becomes available.
  void EnableOk();

  QPushButton* OkButton() const { return btnOk; }
  QPushButton* CancelButton() const { return btnCancel; }
  QSlider* Slider(int index) const;
  QLabel* SliderLabel(int index) const;
  QCheckBox* CheckBox() const { return m_check; }
  TToolValues Values() const;

  // Every way of closing ends here: the committed picture is shown again.
  void done(int result) override;

protected:
  void showEvent(QShowEvent* e) override;

  // Disables OK and asks for a run with the current values.
  void RequestRun();
  // Where dialogs put controls below the sliders.
  QVBoxLayout* Body() const { return m_body; }
  // Puts a widget left of OK and Cancel, which are then stacked.
  void PlaceBesideButtons(QWidget* w);
  // The channel, direction or level chosen; 0 for dialogs without one.
  virtual int Choice() const { return 0; }
  // Puts the dialog's own controls to their defaults (signals blocked).
  virtual void ResetChoice() {}

private:
  struct TSliderControls {
    QLabel* Label = nullptr;
    QSlider* Bar = nullptr;
    int LastRunPosition = 0;
  };
  void SliderMoved(size_t index);
  void SliderEnded(size_t index);

  TfrmImageEditor& m_window;
  TToolSetup m_setup;
  std::vector<TSliderControls> m_sliders;
  QCheckBox* m_check = nullptr;
  QVBoxLayout* m_body = nullptr;
  QBoxLayout* m_bottom = nullptr;
  QBoxLayout* m_buttons = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;
};

// Brightness/Contrast: the sliders and a choice of colour channel.
class TfrmToolBrightness : public TfrmToolBase {
  Q_OBJECT

public:
  TfrmToolBrightness(TfrmImageEditor& window, TToolSetup setup);

protected:
  int Choice() const override { return m_channel; }
  void ResetChoice() override;

private:
  void ChannelClick(int channel);

  QButtonGroup* m_group = nullptr;
  int m_channel = 0;
};

// The eight direction buttons of a 3 × 3 pad without its centre, ids 0 … 7
// from up-left clockwise to left.
class TDirectionPad : public QWidget {
  Q_OBJECT

public:
  explicit TDirectionPad(QWidget* parent = nullptr);
  // The direction of the button that is down.
  int Direction() const;
  void SetDirection(int direction);
  QToolButton* Button(int direction) const;

signals:
  void Clicked();

private:
  QButtonGroup* m_group = nullptr;
};

// Emboss and MotionBlur: a slider and a direction.
class TfrmToolDirection : public TfrmToolBase {
  Q_OBJECT

public:
  TfrmToolDirection(TfrmImageEditor& window, TToolSetup setup);
  TDirectionPad* Pad() const { return m_pad; }

protected:
  int Choice() const override { return m_direction; }
  void ResetChoice() override;

private:
  void sbtnAllDirClick();

  TDirectionPad* m_pad = nullptr;
  int m_direction = 0;
};

// Smooth and Sharpen: a radio group of levels, placed column by column.
class TfrmToolLevel : public TfrmToolBase {
  Q_OBJECT

public:
  TfrmToolLevel(TfrmImageEditor& window, TToolSetup setup, const QString& groupTitle, const QStringList& items);
  QGroupBox* Group() const { return m_box; }

protected:
  int Choice() const override { return m_item; }
  void ResetChoice() override;

private:
  void rgLevelClick(int item);

  QGroupBox* m_box = nullptr;
  QButtonGroup* m_group = nullptr;
  int m_item = 0;
};
