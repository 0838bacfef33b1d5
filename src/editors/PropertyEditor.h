#pragma once
// What the text and tracks editors share: the font list, the style and effect
// check boxes, the colour panel with its colour dialog, OK and Cancel, and the
// live-preview rule. Every accepted change is handed to the canvas at once;
// OK keeps what was reached (applying what is still pending), any other way
// of closing gives the layer back as it was when the editor opened, with one
// call, and makes no call at all when nothing changed.

#include "canvas/Functions.h"

#include <QDialog>
#include <QFrame>
#include <QString>

#include <cstdint>

class QCheckBox;
class QColorDialog;
class QGroupBox;
class QLabel;
class QPushButton;
class TFontListBox;

// What the font, style and effect controls stand for.
struct TFontValues {
  QString FontName;
  TColor Color = 0;
  uint8_t FontStyles = 0;  // 1 bold, 2 italic, 4 underline, 8 strike-out
  bool Shadow = false;
  bool Smooth = false;
  bool operator==(const TFontValues&) const = default;
};

// A panel showing a colour; a click (or Space) asks for another one.
class TColorPanel : public QFrame {
  Q_OBJECT

public:
  explicit TColorPanel(QWidget* parent = nullptr);
  TColor Color() const { return m_color; }
  void SetColor(TColor color);

signals:
  void clicked();

protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  TColor m_color = 0;
};

class TPropertyEditor : public QDialog {
  Q_OBJECT

public:
  explicit TPropertyEditor(QWidget* parent = nullptr);

  TFontListBox* FontList() const { return m_fontList; }
  QColorDialog* ColorDialog() const { return CD; }

  // Closing: OK applies what is pending, anything else restores the layer
  // when it was changed.
  void done(int result) override;

protected:
  // Reads the controls into the current copy; true when something differed.
  virtual bool ReadControls() = 0;
  // Hands the current copy, or the initial copy, to the canvas.
  virtual void ApplyEdited() = 0;
  virtual void RestoreInitial() = 0;
  virtual bool IsUnchanged() const = 0;

  // A change the user made: read the controls, hand them on when they differ.
  void Changed();
  // Check boxes and radio buttons act only when the editor is not filling them.
  void cboxBoldClick();
  void plColorClick();

  // Sets the style and effect boxes and the colour (call while not ready).
  void LoadFontControls(const TFontValues& values);
  // Selects the layer's font in the list (the last line when it is not
  // installed) and forgets any earlier pick.
  void SelectLayerFont(const QString& fontName);
  // Reads the controls into `values`; true when something differed. The font
  // is the line the user picked, or the layer's own while none was picked: a
  // font that is not installed is kept until the user picks another one, so
  // closing with OK or clicking a style never swaps it for the stand-in the
  // list shows selected.
  bool ReadFontControls(TFontValues& values) const;

  bool m_ready = false;

  QGroupBox* gboxFonts = nullptr;
  QGroupBox* gboxStyles = nullptr;
  QGroupBox* gboxEffects = nullptr;
  QCheckBox* cboxBold = nullptr;
  QCheckBox* cboxItalic = nullptr;
  QCheckBox* cboxUnderline = nullptr;
  QCheckBox* cboxStrikeOut = nullptr;
  QCheckBox* cboxSmooth = nullptr;
  QCheckBox* cboxShadow = nullptr;
  QLabel* Label2 = nullptr;
  TColorPanel* plColor = nullptr;
  QColorDialog* CD = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

private:
  TFontListBox* m_fontList = nullptr;
  bool m_fontPicked = false;
};
