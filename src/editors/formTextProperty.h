#pragma once
// The text layer editor (also for year and time layers): the text, its
// typeface, styles, shadow, smoothing and colour, previewed live on the cover.
// The text is previewed when Enter is pressed in it; every click on a font, a
// style or an effect, and every colour chosen, is previewed at once.

#include "editors/PropertyEditor.h"

#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class TCoverDocument;

// One text layer's values as the editor hands them to the canvas.
struct TTextValues {
  int Number = 0, Left = 0, Top = 0;
  QString Text;
  TFontValues Font;
  int BoundWidth = 0, BoundHeight = 0;
  bool operator==(const TTextValues&) const = default;
};

class TfrmTextProperty : public TPropertyEditor {
  Q_OBJECT

public:
  explicit TfrmTextProperty(TCoverDocument& document, QWidget* parent = nullptr);

  // Fills the editor before it is shown.
  void LoadTextLayer(int number, int left, int top, const QString& text, const QString& fontName, TColor color,
                     uint8_t fontStyles, bool shadow, bool smooth, int width, int height);

  // Where changes go; the document's UpdateTextLayer unless replaced.
  std::function<void(const TTextValues&)> UpdateTextLayer;

  const TTextValues& Initial() const { return m_initial; }
  const TTextValues& Current() const { return m_current; }
  QLineEdit* TextEdit() const { return edText; }

protected:
  void showEvent(QShowEvent* event) override;
  bool ReadControls() override;
  void ApplyEdited() override;
  void RestoreInitial() override;
  bool IsUnchanged() const override;

private:
  QLabel* Label3 = nullptr;
  QLineEdit* edText = nullptr;
  TTextValues m_initial;
  TTextValues m_current;
};
