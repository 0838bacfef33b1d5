#pragma once
// A private-profile INI reader and writer: sections in square brackets, one
// "key=value" line per entry. Sections and keys keep the order in which they
// were read or first written; names are matched without regard to case;
// writing a key that exists replaces its value in place and leaves every
// other line (comments, blank lines, unknown keys) as it was. Lines are
// written with CR LF; CR LF, a lone LF or a lone CR are accepted when
// reading. Text is written as UTF-8 and read as UTF-8 when the whole text is
// valid UTF-8, otherwise as Windows-1252, so files made on Windows open.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class TIniFile {
public:
  TIniFile() = default;

  // Replaces the content by the INI text in `bytes`.
  void LoadFromBytes(const QByteArray& bytes);
  // Replaces the content by the file's; false (content emptied) when the file
  // can not be read. A missing file is an error too, and so is anything but a
  // regular file of at most `maxBytes` (a FIFO or a device is refused at once).
  bool LoadFromFile(const QString& fileName, QString* error = nullptr, qint64 maxBytes = qint64(1) << 20);
  // The whole text, UTF-8, lines ending in CR LF.
  QByteArray ToBytes() const;
  // Writes the text beside the file under a temporary name and renames it
  // over the old one, so a failed write never leaves a half-written file.
  bool SaveToFile(const QString& fileName, QString* error = nullptr) const;

  void Clear()
  {
    m_sections.clear();
    m_index.clear();
  }

  bool SectionExists(const QString& section) const;
  bool ValueExists(const QString& section, const QString& key) const;
  QStringList Sections() const;
  QStringList Keys(const QString& section) const;

  QString ReadString(const QString& section, const QString& key, const QString& defaultValue = QString()) const;
  // Decimal with an optional sign, or hexadecimal after "$" or "0x"; the
  // default when the value is missing, not a number or outside 32 bits.
  int32_t ReadInteger(const QString& section, const QString& key, int32_t defaultValue) const;
  // A number other than 0 is true; "true" and "false" are understood too.
  bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

  // Line breaks inside a value are written as blanks (a value is one line).
  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int64_t value);
  void WriteBool(const QString& section, const QString& key, bool value);

  void DeleteKey(const QString& section, const QString& key);
  void EraseSection(const QString& section);

  // Bytes to text by the rule above: UTF-8 when valid, else Windows-1252.
  static QString DecodeText(const QByteArray& bytes);
  static QString DecodeWindows1252(const QByteArray& bytes);
  static bool IsValidUtf8(const QByteArray& bytes);

private:
  struct TEntry {
    QString Key;    // empty for a comment or blank line
    QString Value;  // the value, or the raw line for a comment
    bool IsComment = false;
  };
  struct TSection {
    QString Name;
    bool HasHeader = true;  // false for lines before the first header
    std::vector<TEntry> Entries;
  };

  const TSection* FindSection(const QString& name) const;
  TSection* FindSection(const QString& name);
  static const TEntry* FindEntry(const TSection& s, const QString& key);
  static TEntry* FindEntry(TSection& s, const QString& key);

  // Appends a section with a header and notes it in the index.
  TSection& AddSection(const QString& name);
  void RebuildIndex();

  std::vector<TSection> m_sections;
  // Case-folded section name -> position of the first section of that name,
  // so a lookup costs the same in a file of a thousand sections.
  QHash<QString, size_t> m_index;
};
