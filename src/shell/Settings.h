#pragma once
// The settings file JKTA.ini in the per-user configuration folder: which of
// the eight hints are still wanted, and the size and layout of the image
// viewer window.

#include <QRect>
#include <QString>

#include <array>

// The image viewer window's bounds as stored ("Self") and its two panel
// sizes ("Sub"); −1 where nothing is stored.
struct TViewerSettings {
  int Left = -1, Top = -1, Width = -1, Height = -1;
  int SubHeight = -1;  // height of the folder-tree panel
  int SubWidth = -1;   // width of the left column
};

// Corrects stored viewer bounds against a desktop work area of
// workWidth × workHeight: too small a window gets 600 × 500, too large one
// the work area's size, an off-screen edge the centring value.
QRect CorrectViewerBounds(const TViewerSettings& stored, int workWidth, int workHeight);
// Panel sizes outside their sensible range become half the space.
int CorrectSubHeight(int stored, int leftColumnHeight);
int CorrectSubWidth(int stored, int clientWidth);

class TSettings {
public:
  static constexpr int HintCount = 8;

  // The settings file at its usual place.
  TSettings();
  explicit TSettings(const QString& fileName);

  QString FileName() const { return m_fileName; }

  // Reads the file; a missing file, section or key gives the defaults, and so
  // does anything but a regular file of at most 1 MB (said on stderr).
  void Load();
  // Writes the keys one by one into the file, leaving any others as they
  // are. On failure `error` is "Unable to write to <file>".
  bool Save(QString& error) const;

  // Hint switches, numbered 1 … 8; true when the hint is to be shown.
  bool ShowHint(int number) const;
  void SetShowHint(int number, bool show);

  TViewerSettings Viewer;
  // The folder last selected in the image viewer; written when not empty.
  QString CurrentPath;

  static QString DefaultFileName();

private:
  QString m_fileName;
  std::array<bool, HintCount> m_hints;
};
