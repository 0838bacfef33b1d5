#include "project/IniFile.h"

#include "canvas/Functions.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

// Windows-1252 characters 0x80 … 0x9F; the five unassigned codes map to the
// control characters of the same value, as Windows itself does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool NeedsQuotes(const QString& v)
{
  if (v.isEmpty()) return false;
  if (v.front().isSpace() || v.back().isSpace()) return true;
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) return true;
  return false;
}

QString OneLine(QString v)
{
  v.replace(QLatin1String("\r\n"), QLatin1String(" "));
  v.replace('\r', ' ');
  v.replace('\n', ' ');
  return v;
}

// The value as read: surrounding blanks dropped, then one pair of matching
// quotes around the whole value.
QString UnquoteValue(const QString& raw)
{
  QString v = raw.trimmed();
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.mid(1, v.size() - 2);
  return v;
}

bool ParseInteger(const QString& text, int32_t& out)
{
  const QString t = text.trimmed();
  bool ok = false;
  qlonglong v = 0;
  if (t.startsWith('$')) {
    v = t.mid(1).toLongLong(&ok, 16);
  } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    v = t.mid(2).toLongLong(&ok, 16);
  } else if (t.startsWith(QLatin1String("-$"))) {
    v = -t.mid(2).toLongLong(&ok, 16);
  } else {
    v = t.toLongLong(&ok, 10);
  }
  if (!ok || v < INT32_MIN || v > INT32_MAX) return false;
  out = int32_t(v);
  return true;
}

}  // namespace

// ---------------------------------------------------------------- text

bool TIniFile::IsValidUtf8(const QByteArray& bytes)
{
  QStringDecoder dec(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString s = dec.decode(bytes);
  Q_UNUSED(s);
  return !dec.hasError();
}

QString TIniFile::DecodeWindows1252(const QByteArray& bytes)
{
  QString out;
  out.resize(bytes.size());
  QChar* d = out.data();
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const uint8_t b = uint8_t(bytes[i]);
    d[i] = (b >= 0x80 && b <= 0x9F) ? QChar(kCp1252High[b - 0x80]) : QChar(char16_t(b));
  }
  return out;
}

QString TIniFile::DecodeText(const QByteArray& bytes)
{
  QStringDecoder dec(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString s = dec.decode(bytes);
  if (!dec.hasError()) return s;
  return DecodeWindows1252(bytes);
}

// ---------------------------------------------------------------- reading and writing

void TIniFile::LoadFromBytes(const QByteArray& bytes)
{
  Clear();
  const QString text = DecodeText(bytes);
  const qsizetype n = text.size();
  qsizetype pos = 0;
  while (pos < n) {
    qsizetype end = pos;
    while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
    const QString line = text.mid(pos, end - pos);
    pos = end;
    if (pos < n && text[pos] == '\r') ++pos;
    if (pos < n && text[pos] == '\n' && (pos == end || text[pos - 1] == '\r')) ++pos;

    const QString t = line.trimmed();
    if (t.startsWith('[')) {
      qsizetype close = t.indexOf(']');
      if (close < 0) close = t.size();
      AddSection(t.mid(1, close - 1).trimmed());
      continue;
    }
    if (m_sections.empty()) m_sections.push_back(TSection{QString(), false, {}});
    TEntry e;
    const qsizetype eq = line.indexOf('=');
    const bool comment = t.isEmpty() || t.startsWith(';') || t.startsWith('#');
    if (!comment && eq > 0 && !line.left(eq).trimmed().isEmpty()) {
      e.Key = line.left(eq).trimmed();
      e.Value = UnquoteValue(line.mid(eq + 1));
    } else {
      e.IsComment = true;
      e.Value = line;
    }
    m_sections.back().Entries.push_back(std::move(e));
  }
}

bool TIniFile::LoadFromFile(const QString& fileName, QString* error, qint64 maxBytes)
{
  Clear();
  QFile f;
  QString why;
  if (!OpenRegularFile(fileName, f, &why)) {
    if (error) *error = QStringLiteral("Can not read \"%1\": %2").arg(fileName, why);
    return false;
  }
  if (f.size() > maxBytes) {
    if (error) *error = QStringLiteral("Can not read \"%1\": it is larger than %2 bytes").arg(fileName).arg(maxBytes);
    return false;
  }
  const QByteArray bytes = f.read(maxBytes + 1);
  if (f.error() != QFileDevice::NoError || bytes.size() > maxBytes) {
    if (error) *error = QStringLiteral("Can not read \"%1\": %2").arg(fileName, f.errorString());
    return false;
  }
  LoadFromBytes(bytes);
  return true;
}

QByteArray TIniFile::ToBytes() const
{
  QString out;
  for (const TSection& s : m_sections) {
    if (s.HasHeader) out += '[' + s.Name + QLatin1String("]\r\n");
    for (const TEntry& e : s.Entries) {
      if (e.IsComment) {
        out += e.Value;
      } else {
        out += e.Key;
        out += '=';
        out += NeedsQuotes(e.Value) ? '"' + e.Value + '"' : e.Value;
      }
      out += QLatin1String("\r\n");
    }
  }
  return out.toUtf8();
}

bool TIniFile::SaveToFile(const QString& fileName, QString* error) const
{
  QSaveFile f(fileName);
  if (!f.open(QIODevice::WriteOnly)) {
    if (error) *error = QStringLiteral("Can not write \"%1\": %2").arg(fileName, f.errorString());
    return false;
  }
  f.write(ToBytes());
  if (!f.commit()) {
    if (error) *error = QStringLiteral("Can not write \"%1\": %2").arg(fileName, f.errorString());
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- lookup

TIniFile::TSection& TIniFile::AddSection(const QString& name)
{
  m_sections.push_back(TSection{name, true, {}});
  // Lookups find the first section of a name, as a scan from the top would.
  const QString key = name.toCaseFolded();
  if (!m_index.contains(key)) m_index.insert(key, m_sections.size() - 1);
  return m_sections.back();
}

void TIniFile::RebuildIndex()
{
  m_index.clear();
  for (size_t i = 0; i < m_sections.size(); ++i) {
    if (!m_sections[i].HasHeader) continue;
    const QString key = m_sections[i].Name.toCaseFolded();
    if (!m_index.contains(key)) m_index.insert(key, i);
  }
}

const TIniFile::TSection* TIniFile::FindSection(const QString& name) const
{
  auto it = m_index.constFind(name.toCaseFolded());
  return it == m_index.constEnd() ? nullptr : &m_sections[*it];
}

TIniFile::TSection* TIniFile::FindSection(const QString& name)
{
  return const_cast<TSection*>(static_cast<const TIniFile*>(this)->FindSection(name));
}

const TIniFile::TEntry* TIniFile::FindEntry(const TSection& s, const QString& key)
{
  for (const TEntry& e : s.Entries)
    if (!e.IsComment && e.Key.compare(key, Qt::CaseInsensitive) == 0) return &e;
  return nullptr;
}

TIniFile::TEntry* TIniFile::FindEntry(TSection& s, const QString& key)
{
  return const_cast<TEntry*>(FindEntry(static_cast<const TSection&>(s), key));
}

bool TIniFile::SectionExists(const QString& section) const { return FindSection(section) != nullptr; }

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
  const TSection* s = FindSection(section);
  return s && FindEntry(*s, key);
}

QStringList TIniFile::Sections() const
{
  QStringList out;
  for (const TSection& s : m_sections)
    if (s.HasHeader) out << s.Name;
  return out;
}

QStringList TIniFile::Keys(const QString& section) const
{
  QStringList out;
  if (const TSection* s = FindSection(section))
    for (const TEntry& e : s->Entries)
      if (!e.IsComment) out << e.Key;
  return out;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
  const TSection* s = FindSection(section);
  const TEntry* e = s ? FindEntry(*s, key) : nullptr;
  return e ? e->Value : defaultValue;
}

int32_t TIniFile::ReadInteger(const QString& section, const QString& key, int32_t defaultValue) const
{
  const TSection* s = FindSection(section);
  const TEntry* e = s ? FindEntry(*s, key) : nullptr;
  int32_t v = 0;
  return e && ParseInteger(e->Value, v) ? v : defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
  const TSection* s = FindSection(section);
  const TEntry* e = s ? FindEntry(*s, key) : nullptr;
  if (!e) return defaultValue;
  int32_t v = 0;
  if (ParseInteger(e->Value, v)) return v != 0;
  if (e->Value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (e->Value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  return defaultValue;
}

// ---------------------------------------------------------------- changing

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
  TSection* s = FindSection(section);
  if (!s) s = &AddSection(section);
  if (TEntry* e = FindEntry(*s, key)) {
    e->Value = OneLine(value);
    return;
  }
  // A new key goes after the section's last key, before trailing blank lines.
  auto at = s->Entries.end();
  while (at != s->Entries.begin() && std::prev(at)->IsComment && std::prev(at)->Value.trimmed().isEmpty()) --at;
  s->Entries.insert(at, TEntry{key.trimmed(), OneLine(value), false});
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int64_t value)
{
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::DeleteKey(const QString& section, const QString& key)
{
  TSection* s = FindSection(section);
  if (!s) return;
  for (auto it = s->Entries.begin(); it != s->Entries.end(); ++it)
    if (!it->IsComment && it->Key.compare(key, Qt::CaseInsensitive) == 0) {
      s->Entries.erase(it);
      return;
    }
}

void TIniFile::EraseSection(const QString& section)
{
  for (auto it = m_sections.begin(); it != m_sections.end(); ++it)
    if (it->HasHeader && it->Name.compare(section, Qt::CaseInsensitive) == 0) {
      m_sections.erase(it);
      RebuildIndex();
      return;
    }
}
