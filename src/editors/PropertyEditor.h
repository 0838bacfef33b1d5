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

#include <cstdint>

class QCheckBox;
class QColorDialog;
class QGroupBox;
class QLabel;
class QPushButton;
class TFontListBox;

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

  uint8_t StylesFromBoxes() const;
  void SetStyleBoxes(uint8_t styles);

  // Selects the layer's font in the list (the last line when it is not
  // installed) and forgets any earlier pick.
  void SelectLayerFont(const QString& fontName);
  // The font the controls stand for: the line the user picked, or the
  // layer's own font while none was picked. A font that is not installed is
  // kept until the user picks another one, so closing with OK or clicking a
  // style never swaps it for the selected stand-in.
  QString FontFromList(const QString& layerFont) const;

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
