#include "shell/Settings.h"

#include "project/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

namespace {

const QString kSelf = QStringLiteral("Self");
const QString kSub = QStringLiteral("Sub");
const QString kPath = QStringLiteral("Path");
const QString kShowHints = QStringLiteral("ShowHints");

}  // namespace

QRect CorrectViewerBounds(const TViewerSettings& s, int aw, int ah)
{
  int l = s.Left, t = s.Top, w = s.Width, h = s.Height;
  if (w <= 400) w = 600;
  else if (w > aw) w = aw;
  if (l < 0 || l > aw) l = (aw - w) / 2;
  if (h <= 400) h = 500;
  else if (h > ah) h = ah;
  if (t < 0 || t > ah) t = (ah - h) / 2;
  return QRect(l, t, w, h);
}

int CorrectSubHeight(int stored, int leftColumnHeight)
{
  if (stored < 50 || stored > leftColumnHeight - 50) return (leftColumnHeight - 4) / 2;
  return stored;
}

int CorrectSubWidth(int stored, int clientWidth)
{
  if (stored < 30 || stored > clientWidth - 30) return (clientWidth - 8) / 2;
  return stored;
}

TSettings::TSettings()
    : TSettings(DefaultFileName())
{
}

TSettings::TSettings(const QString& fileName)
    : m_fileName(fileName)
{
  m_hints.fill(true);
}

QString TSettings::DefaultFileName()
{
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/JKTA.ini");
}

bool TSettings::ShowHint(int number) const
{
  return number >= 1 && number <= HintCount && m_hints[size_t(number - 1)];
}

void TSettings::SetShowHint(int number, bool show)
{
  if (number >= 1 && number <= HintCount) m_hints[size_t(number - 1)] = show;
}

void TSettings::Load()
{
  TIniFile ini;
  QString error;
  if (QFileInfo::exists(m_fileName) && !ini.LoadFromFile(m_fileName, &error)) {
    // Something that is not a settings file (a FIFO, a device, a huge file):
    // the defaults serve, and the start goes on.
    std::fprintf(stderr, "jacketeer: %s; starting with the default settings.\n", error.toLocal8Bit().constData());
    ini.Clear();
  }
  // Switches are stored as integers, any value but 0 meaning on; an
  // unreadable value keeps the hint on.
  for (int n = 1; n <= HintCount; ++n)
    m_hints[size_t(n - 1)] = ini.ReadInteger(kShowHints, QString::number(n), 1) != 0;
  Viewer.Left = ini.ReadInteger(kSelf, QStringLiteral("Left"), -1);
  Viewer.Top = ini.ReadInteger(kSelf, QStringLiteral("Top"), -1);
  Viewer.Width = ini.ReadInteger(kSelf, QStringLiteral("Width"), -1);
  Viewer.Height = ini.ReadInteger(kSelf, QStringLiteral("Height"), -1);
  Viewer.SubHeight = ini.ReadInteger(kSub, QStringLiteral("Height"), -1);
  Viewer.SubWidth = ini.ReadInteger(kSub, QStringLiteral("Width"), -1);
}

bool TSettings::Save(QString& error) const
{
  TIniFile ini;
  // Keys of the existing file that are not ours stay as they are.
  if (QFileInfo::exists(m_fileName)) ini.LoadFromFile(m_fileName);
  ini.WriteInteger(kSelf, QStringLiteral("Left"), Viewer.Left);
  ini.WriteInteger(kSelf, QStringLiteral("Top"), Viewer.Top);
  ini.WriteInteger(kSelf, QStringLiteral("Width"), Viewer.Width);
  ini.WriteInteger(kSelf, QStringLiteral("Height"), Viewer.Height);
  ini.WriteInteger(kSub, QStringLiteral("Height"), Viewer.SubHeight);
  ini.WriteInteger(kSub, QStringLiteral("Width"), Viewer.SubWidth);
  if (!CurrentPath.isEmpty()) ini.WriteString(kPath, QStringLiteral("Current"), CurrentPath);
  for (int n = 1; n <= HintCount; ++n) ini.WriteBool(kShowHints, QString::number(n), m_hints[size_t(n - 1)]);

  const QString folder = QFileInfo(m_fileName).absolutePath();
  if (!QDir().mkpath(folder) || !ini.SaveToFile(m_fileName)) {
    error = QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(m_fileName));
    return false;
  }
  return true;
}
