#pragma once
// The list of installed typefaces shown by the text and tracks editors: one
// line per font family, sorted by name, with a small picture of the font's
// technology and the name drawn in its own face where that face can show it.

#include <QListWidget>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// Which technologies are listed; a set stored as a byte.
enum TFilterOption : uint8_t {
  ShowTrueType = 1,
  ShowPostScript = 2,
  ShowRaster = 4,
};
using TFilterOptions = uint8_t;
inline constexpr TFilterOptions kAllFilterOptions = ShowTrueType | ShowPostScript | ShowRaster;

// Font technologies.
enum TFontKind : uint8_t {
  fkPostScript = 0,  // Type 1 and CID Type 1
  fkTrueType = 1,    // TrueType and CFF (OpenType)
  fkRaster = 2,      // PCF and BDF
  fkOther = 3,       // any other format, always listed
};

struct TFontClass {
  QString FaceName;
  uint8_t FontKind = fkOther;
};

// The kind of a fontconfig FC_FONTFORMAT name.
uint8_t FontKindOfFormat(const QString& format);

// Every installed family with its technology, as fontconfig reports it. A
// family installed in several formats takes the most capable one (TrueType,
// then PostScript, then other, then raster). Besides the installed families,
// the common typefaces of projects written on Windows are included when
// fontconfig draws them with a metric-compatible installed face (for example
// "Times New Roman" with Liberation Serif), with that face's technology.
// `config` is a fontconfig configuration (FcConfig*), the current one when null.
std::vector<TFontClass> EnumerateFontFamilies(void* config = nullptr);

class TFontListBox : public QListWidget {
  Q_OBJECT

public:
  explicit TFontListBox(QWidget* parent = nullptr);
  ~TFontListBox() override;

  TFilterOptions FilterOptions() const { return m_filterOptions; }
  // A different set enumerates the fonts again.
  void SetFilterOptions(TFilterOptions options);

  // Asked once for every enumerated family before the technology filter;
  // setting accept to false leaves the family out.
  std::function<void(TFontListBox* sender, const TFontClass& font, bool& accept)> OnValidateFont;

  // Where the families come from: EnumerateFontFamilies unless replaced.
  // Takes effect with the next enumeration (a change of FilterOptions, Refresh).
  std::function<std::vector<TFontClass>()> FamilySource;
  // Enumerates the fonts again.
  void Refresh();

  // Every admitted family, sorted by name.
  const std::vector<TFontClass>& FontList() const { return m_fontList; }
  // The entry of a listed name, or nullptr.
  const TFontClass* FindFont(const QString& name) const;

  // The selected name, empty when none is selected.
  QString SelectedName() const;
  // Selects the line whose name equals `name` exactly (letter case
  // included), or the last line when none does; raises no Click.
  void SelectName(const QString& name);

signals:
  // The user picked a line (mouse or keyboard).
  void Click();

protected:
  void changeEvent(QEvent* event) override;

private:
  void Enumerate();
  void FillItems();
  void UpdateItemHeight();

  std::vector<TFontClass> m_fontList;
  TFilterOptions m_filterOptions = kAllFilterOptions;
  bool m_selecting = false;
};
