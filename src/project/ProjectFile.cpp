#include "project/ProjectFile.h"

#include "canvas/CoverDocument.h"
#include "imagelib/ImageLoader.h"
#include "project/IniFile.h"
#include "project/WorkFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QCryptographicHash>
#include <QHash>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <cerrno>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Limits beyond which a value can only come from a damaged file.
constexpr int kMaxLayers = 1000;
constexpr int32_t kMaxPosition = 1000000;
constexpr int32_t kMaxPictureBox = 4096;
constexpr qint64 kCopyChunk = 1 << 20;

const QString kCommon = QStringLiteral("Common");

QString SectionName(int number) { return QStringLiteral("Layer") + QString::number(number); }

QString NotAProject(const QString& why)
{
  return QStringLiteral("This file is not a valid Jacketeer project (%1).").arg(why);
}

void PutInt64(QByteArray& out, int64_t v)
{
  const uint64_t u = uint64_t(v);
  for (int i = 0; i < 8; ++i) out.append(char((u >> (8 * i)) & 0xFF));
}

int64_t GetInt64(const char* p)
{
  uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | uint8_t(p[i]);
  return int64_t(u);
}

// A whole 64-bit offset, or `def` when missing or not a number.
int64_t ReadOffset(const TIniFile& ini, const QString& section, const QString& key, int64_t def)
{
  if (!ini.ValueExists(section, key)) return def;
  bool ok = false;
  const qlonglong v = ini.ReadString(section, key).trimmed().toLongLong(&ok);
  return ok ? v : def;
}

bool ReadFileBytes(const QString& path, QByteArray& bytes, QString& error)
{
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("Can not read \"%1\": %2").arg(path, f.errorString());
    return false;
  }
  bytes = f.readAll();
  if (f.error() != QFileDevice::NoError) {
    error = QStringLiteral("Can not read \"%1\": %2").arg(path, f.errorString());
    return false;
  }
  return true;
}

bool IsExistingFile(const QString& path)
{
  if (path.trimmed().isEmpty()) return false;
  const QFileInfo fi(path);
  return fi.exists() && fi.isFile();
}

// Room left on the disk of `folder` for us (0 when it can not be told).
int64_t FreeBytes(const QString& folder)
{
  struct statvfs st {};
  if (::statvfs(QFile::encodeName(folder).constData(), &st) != 0) return 0;
  return int64_t(st.f_bavail) * int64_t(st.f_frsize);
}

// What is left free on the disk beyond the files an opening writes.
constexpr int64_t kSpareBytes = int64_t(16) << 20;

// Where the embedded pictures of an opened project come from: the project
// file itself (read in pieces) or a blob in memory.
struct TBlobSource {
  QFile* File = nullptr;
  QByteArrayView Memory;

  // Hands the bytes start … end − 1 to `sink` in pieces; false when they
  // can not be read or the sink refuses one.
  template <typename Sink>
  bool Read(int64_t start, int64_t end, Sink sink) const
  {
    if (!File) return sink(Memory.data() + start, end - start);
    if (!File->seek(start)) return false;
    QByteArray chunk;
    for (int64_t at = start; at < end;) {
      const qint64 n = std::min<int64_t>(kCopyChunk, end - at);
      chunk = File->read(n);
      if (chunk.size() != n || !sink(chunk.constData(), n)) return false;
      at += n;
    }
    return true;
  }

  bool CopyTo(int64_t start, int64_t end, QIODevice& out) const
  {
    return Read(start, end, [&](const char* p, qint64 n) { return out.write(p, n) == n; });
  }

  QByteArray Hash(int64_t start, int64_t end) const
  {
    QCryptographicHash h(QCryptographicHash::Sha256);
    if (!Read(start, end, [&](const char* p, qint64 n) {
          h.addData(QByteArrayView(p, n));
          return true;
        }))
      return QByteArray();
    return h.result();
  }
};

// A scratch part of the work folder, written beside its name and renamed
// over it (a link in its place is replaced, never followed). Best effort: a
// part that does not fit the disk is left out.
void WriteScratch(const QString& folder, const char* name, const TBlobSource& src, int64_t start, int64_t end)
{
  if (FreeBytes(folder) < end - start + kSpareBytes) {
    QFile::remove(folder + '/' + QLatin1String(name));
    return;
  }
  const QString temp = folder + QStringLiteral("/.%1.%2.part").arg(QLatin1String(name)).arg(::getpid());
  QFile f;
  if (!CreateNewFile(temp, f)) return;
  const bool ok = src.CopyTo(start, end, f) && f.flush();
  f.close();
  if (!ok || ::rename(QFile::encodeName(temp).constData(),
                      QFile::encodeName(folder + '/' + QLatin1String(name)).constData()) != 0)
    QFile::remove(temp);
}

void WriteScratch(const QString& folder, const char* name, const QByteArray& bytes)
{
  TBlobSource src;
  src.Memory = bytes;
  WriteScratch(folder, name, src, 0, bytes.size());
}

QString EnsureWorkFolder(const TCoverDocument& document)
{
  const QString folder = document.WorkFolder();
  if (QFileInfo(folder).isDir()) return folder;
  QString created, error;
  if (QDir::cleanPath(folder) != WorkFolderPath() || !CreateWorkFolder(created, error)) QDir().mkpath(folder);
  return folder;
}

// The extension an extracted picture keeps: the stored name's, when it is a
// short run of letters and digits (the readers go by it), else none.
QString PictureExtension(const QString& storedName)
{
  const QString name = PathNamePart(storedName.trimmed());
  const qsizetype dot = name.lastIndexOf('.');
  if (dot < 0) return QString();
  const QString ext = name.mid(dot + 1);
  if (ext.isEmpty() || ext.size() > 8) return QString();
  for (QChar c : ext)
    if (c.unicode() > 127 || !c.isLetterOrNumber()) return QString();
  return '.' + ext;
}

// The pictures taken out of a project being opened. Each distinct picture
// (the same bytes under the same extension) is written once, under a name of
// our own ("Layer" + section + "-" + counter + extension) that no file in the
// work folder has; nothing there is ever replaced. Until Keep() the files
// written are removed again when this goes away.
class TExtractedPictures {
public:
  explicit TExtractedPictures(QString folder) : m_folder(std::move(folder)) {}
  ~TExtractedPictures()
  {
    if (!m_kept)
      for (const QString& f : m_written) ::unlink(QFile::encodeName(f).constData());
  }

  // Writes the pictures of all records; `paths` receives each record's file.
  bool Extract(const std::vector<TLayerRecord>& records, const TBlobSource& blob, std::vector<QString>& paths,
               QString& error)
  {
    paths.assign(records.size(), QString());
    // Which records hold the same picture: equal ranges always; equal sizes
    // and extensions are compared by their bytes.
    QHash<QString, int> bySize;
    for (const TLayerRecord& r : records)
      if (!r.PictureName.isEmpty()) ++bySize[Group(r)];
    QHash<QString, QString> written;  // identity → file
    QHash<int64_t, QByteArray> hashes;  // by start of range
    for (size_t i = 0; i < records.size(); ++i) {
      const TLayerRecord& r = records[i];
      if (r.PictureName.isEmpty()) continue;
      QString id = Group(r) + QStringLiteral("@%1").arg(r.ImageStart);
      if (bySize.value(Group(r)) > 1) {
        if (!hashes.contains(r.ImageStart)) hashes.insert(r.ImageStart, blob.Hash(r.ImageStart, r.ImageEnd));
        const QByteArray hash = hashes.value(r.ImageStart);
        if (hash.isEmpty()) {
          error = QStringLiteral("Can not read the picture of layer %1.").arg(r.Section);
          return false;
        }
        id = Group(r) + '#' + QString::fromLatin1(hash.toHex());
      }
      auto it = written.constFind(id);
      if (it != written.constEnd()) {
        paths[i] = *it;
        continue;
      }
      QString path;
      if (!Write(r, blob, path, error)) return false;
      written.insert(id, path);
      paths[i] = path;
    }
    return true;
  }

  // Bytes the distinct pictures of `records` take (each counted once).
  static int64_t DistinctBytes(const std::vector<TLayerRecord>& records)
  {
    QSet<QString> ranges;
    int64_t sum = 0;
    for (const TLayerRecord& r : records) {
      if (r.PictureName.isEmpty()) continue;
      const QString range = QStringLiteral("%1-%2").arg(r.ImageStart).arg(r.ImageEnd);
      if (ranges.contains(range)) continue;
      ranges.insert(range);
      sum += r.ImageEnd - r.ImageStart;
    }
    return sum;
  }

  void Keep() { m_kept = true; }

private:
  static QString Group(const TLayerRecord& r)
  {
    return QString::number(r.ImageEnd - r.ImageStart) + PictureExtension(r.FileName).toLower();
  }

  // The stored name's extension when it names a picture type; otherwise
  // (no extension, or one the loader does not know) the one the picture's
  // first bytes give, so the loader can read it.
  static QString ExtensionFor(const TLayerRecord& r, const TBlobSource& blob)
  {
    const QString ext = PictureExtension(r.FileName);
    if (IsImageFile(ext) || r.ImageEnd <= r.ImageStart) return ext;
    QByteArray head;
    const int64_t end = std::min<int64_t>(r.ImageEnd, r.ImageStart + 64);
    if (!blob.Read(r.ImageStart, end, [&](const char* p, qint64 n) {
          head.append(p, n);
          return true;
        }))
      return ext;
    const QString key = ImageKeyOfContent(head);
    return key.isEmpty() ? ext : '.' + key.toLower();
  }

  bool Write(const TLayerRecord& r, const TBlobSource& blob, QString& path, QString& error)
  {
    const QString ext = ExtensionFor(r, blob);
    for (int k = 1; k < 100000; ++k) {
      path = m_folder + '/' + SectionName(r.Section) + '-' + QString::number(k) + ext;
      if (PathTaken(path)) continue;
      QFile f;
      QString why;
      if (!CreateNewFile(path, f, &why)) {
        if (errno == EEXIST) continue;
        error = QStringLiteral("Can not write a picture into the work folder \"%1\": %2").arg(m_folder, why);
        return false;
      }
      m_written << path;
      if (!blob.CopyTo(r.ImageStart, r.ImageEnd, f) || !f.flush()) {
        error = QStringLiteral("Can not write the picture of layer %1 into the work folder \"%2\": %3")
                    .arg(r.Section)
                    .arg(m_folder, f.errorString());
        return false;
      }
      return true;
    }
    error = QStringLiteral("Can not write a picture into the work folder \"%1\".").arg(m_folder);
    return false;
  }

  QString m_folder;
  QStringList m_written;
  bool m_kept = false;
};

// The document loses every layer but the background, and its selection,
// without raising any event.
void DropLayers(TCoverDocument& document)
{
  while (document.LayerCount() > 1) document.DeleteLayer(document.LayerCount() - 1);
  if (document.SelectedNumber() != -1 || document.SelectedSlot() != -1) {
    auto handler = std::move(document.OnSelectLayer);
    document.OnSelectLayer = nullptr;
    document.SelectLayer(-1);
    document.OnSelectLayer = std::move(handler);
  }
}

bool ParseAll(const TIniFile& ini, int64_t blobSize, std::vector<TLayerRecord>& records, QString& error)
{
  if (!ini.SectionExists(kCommon) || !ini.ValueExists(kCommon, QStringLiteral("LayerNumber"))) {
    error = NotAProject(QStringLiteral("the layer count is missing"));
    return false;
  }
  const int32_t n = ini.ReadInteger(kCommon, QStringLiteral("LayerNumber"), -1);
  if (n < 0 || n > kMaxLayers) {
    error = NotAProject(QStringLiteral("the layer count \"%1\" is impossible")
                            .arg(ini.ReadString(kCommon, QStringLiteral("LayerNumber"))));
    return false;
  }
  records.clear();
  records.reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    TLayerRecord r;
    if (!ParseLayer(i, ini, blobSize, r, error)) return false;
    records.push_back(std::move(r));
  }
  return true;
}

// Memory the layer bitmaps of the records will take, before anything is
// decoded (a picture shared by layers in one box counted once).
int64_t LayerMemoryNeeded(const std::vector<TLayerRecord>& records)
{
  QSet<QString> pictures;
  int64_t sum = 0;
  for (const TLayerRecord& r : records) {
    if (r.Section == 0) continue;
    if (!r.FileName.isEmpty()) {
      const int64_t both = TCoverDocument::PictureLayerBytes(r.BoundWidth, r.BoundHeight);
      const QString key = QStringLiteral("%1-%2/%3x%4").arg(r.ImageStart).arg(r.ImageEnd).arg(r.BoundWidth).arg(r.BoundHeight);
      sum += both / 2;  // the mask of each layer
      if (!pictures.contains(key)) sum += both / 2;
      pictures.insert(key);
    } else if (!r.Text.isEmpty() || !r.Tracks.isEmpty()) {
      sum += TCoverDocument::PictureLayerBytes(std::min(470, r.BoundWidth), std::min(470, r.BoundHeight));
    }
  }
  return sum;
}

// Room the work copies of the records' pictures take on disk (24-bit BMP of
// at most 940 × 940, one per picture and size).
int64_t WorkCopyBytes(const std::vector<TLayerRecord>& records)
{
  QSet<QString> copies;
  int64_t sum = 0;
  for (const TLayerRecord& r : records) {
    if (r.Section == 0 || r.FileName.isEmpty()) continue;
    const int w = std::clamp(r.ActualWidth, 1, 940), h = std::clamp(r.ActualHeight, 1, 940);
    const QString key = QStringLiteral("%1-%2/%3x%4").arg(r.ImageStart).arg(r.ImageEnd).arg(w).arg(h);
    if (copies.contains(key)) continue;
    copies.insert(key);
    sum += 54 + ((int64_t(w) * 3 + 3) & ~int64_t(3)) * h;
  }
  return sum;
}

QString Megabytes(int64_t bytes) { return QString::number((bytes + (1 << 20) - 1) >> 20); }

}  // namespace

// ---------------------------------------------------------------- value texts

QString FontStylesText(uint8_t styles)
{
  QString s;
  if (styles & fsBold) s += QLatin1String("fsBold");
  if (styles & fsItalic) s += QLatin1String("fsItalic");
  if (styles & fsUnderline) s += QLatin1String("fsUnderline");
  if (styles & fsStrikeOut) s += QLatin1String("fsStrikeOut");
  return s;
}

uint8_t FontStylesFromText(const QString& text)
{
  uint8_t s = 0;
  if (text.contains(QLatin1String("fsBold"))) s |= fsBold;
  if (text.contains(QLatin1String("fsItalic"))) s |= fsItalic;
  if (text.contains(QLatin1String("fsUnderline"))) s |= fsUnderline;
  if (text.contains(QLatin1String("fsStrikeOut"))) s |= fsStrikeOut;
  return s;
}

QString AlignmentText(uint8_t alignment)
{
  switch (alignment) {
    case taRight: return QStringLiteral("RightJustify");
    case taCenter: return QStringLiteral("Center");
    default: return QStringLiteral("LeftJustify");
  }
}

uint8_t AlignmentFromText(const QString& text)
{
  if (text.compare(QLatin1String("RightJustify"), Qt::CaseInsensitive) == 0) return taRight;
  if (text.compare(QLatin1String("Center"), Qt::CaseInsensitive) == 0) return taCenter;
  return taLeft;
}

QString ImageModeText(uint8_t mode)
{
  switch (mode) {
    case imStretch: return QStringLiteral("Stretch");
    case imTile: return QStringLiteral("Tile");
    default: return QStringLiteral("Center");
  }
}

uint8_t ImageModeFromText(const QString& text)
{
  if (text == QLatin1String("Stretch")) return imStretch;
  if (text == QLatin1String("Tile")) return imTile;
  return imCenter;
}

QString TracksToHex(const QStringList& lines)
{
  QByteArray bytes;
  for (const QString& l : lines) {
    bytes += l.toUtf8();
    bytes += "\r\n";
  }
  return QString::fromLatin1(bytes.toHex().toUpper());
}

bool TracksFromHex(const QString& hex, QStringList& lines)
{
  lines.clear();
  if (hex.size() % 2 != 0) return false;
  QByteArray bytes(hex.size() / 2, Qt::Uninitialized);
  auto digit = [](QChar c) -> int {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
  };
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const int hi = digit(hex[2 * i]), lo = digit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[i] = char(hi * 16 + lo);
  }
  // Lines end at CR LF, a lone CR or a lone LF; a break at the very end
  // starts no further line.
  const QString text = TIniFile::DecodeText(bytes);
  qsizetype pos = 0;
  const qsizetype n = text.size();
  while (pos < n) {
    qsizetype end = pos;
    while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
    lines << text.mid(pos, end - pos);
    pos = end;
    if (pos < n && text[pos] == '\r') ++pos;
    if (pos < n && text[pos] == '\n' && (pos == end || text[pos - 1] == '\r')) ++pos;
  }
  return true;
}

QString PathNamePart(const QString& path)
{
  const qsizetype cut = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
  return path.mid(cut + 1);
}

// ---------------------------------------------------------------- writing

namespace {
// The keys text and tracks layers share, in their stored order.
void WriteFontKeys(TIniFile& ini, const QString& sec, const TLayer& l)
{
  ini.WriteString(sec, QStringLiteral("FontName"), l.FontName);
  ini.WriteInteger(sec, QStringLiteral("Color"), int32_t(l.Color));
  ini.WriteString(sec, QStringLiteral("FontStyles"), FontStylesText(l.FontStyles));
  ini.WriteBool(sec, QStringLiteral("Shadow"), l.Shadow);
  ini.WriteBool(sec, QStringLiteral("Smooth"), l.Smooth);
  ini.WriteInteger(sec, QStringLiteral("LineSpace"), l.LineSpace);
  ini.WriteInteger(sec, QStringLiteral("BoundWidth"), l.BoundWidth);
  ini.WriteInteger(sec, QStringLiteral("BoundHeight"), l.BoundHeight);
}
}  // namespace

bool WriteLayer(const TCoverDocument& document, int slot, TIniFile& ini, QByteArray& blob, QString& error)
{
  if (slot < 0 || slot >= document.LayerCount()) {
    error = QStringLiteral("There is no layer in slot %1.").arg(slot);
    return false;
  }
  const TLayer& l = document.Layers()[size_t(slot)];
  const QString sec = SectionName(l.Number);

  // Appends a picture file to the blob and writes its name and range.
  auto embed = [&](const QString& path) -> bool {
    QByteArray bytes;
    if (!ReadFileBytes(path, bytes, error)) return false;
    // A picture taken out of an opened project is saved under the name it
    // had there, not under its name in the work folder.
    ini.WriteString(sec, QStringLiteral("FileName"), document.StoredName(path));
    ini.WriteInteger(sec, QStringLiteral("ImageStart"), blob.size());
    blob += bytes;
    ini.WriteInteger(sec, QStringLiteral("ImageEnd"), blob.size());
    return true;
  };

  if (l.Number == 0) {
    const TBackgroundInfo& bg = document.Background();
    if (IsExistingFile(bg.FileName)) {
      if (!embed(bg.FileName)) return false;
    } else {
      ini.WriteString(sec, QStringLiteral("FileName"), QString());
    }
    ini.WriteString(sec, QStringLiteral("ImageMode"), ImageModeText(bg.ImageMode));
    ini.WriteInteger(sec, QStringLiteral("StartColor"), int32_t(bg.StartColor));
    ini.WriteInteger(sec, QStringLiteral("EndColor"), bg.EndColor);
    ini.WriteBool(sec, QStringLiteral("Vertical"), bg.Vertical);
    ini.WriteBool(sec, QStringLiteral("ShowImage"), bg.ShowImage);
    return true;
  }

  switch (document.LayerKind(l.Number)) {
    case lkPicture: {
      ini.WriteInteger(sec, QStringLiteral("Left"), l.Left);
      ini.WriteInteger(sec, QStringLiteral("Top"), l.Top);
      // A source picture that has vanished since is saved from the layer's
      // own work copy, so the layer is not lost.
      // The same when the source can not be read.
      const bool fromSource = IsExistingFile(l.FileName) && embed(l.FileName);
      if (!fromSource) {
        error.clear();
        if (IsExistingFile(l.WorkFile)) {
          if (!embed(l.WorkFile)) return false;
        } else {
          ini.WriteString(sec, QStringLiteral("FileName"), QString());
        }
      }
      ini.WriteInteger(sec, QStringLiteral("BoundWidth"), l.BoundWidth);
      ini.WriteInteger(sec, QStringLiteral("BoundHeight"), l.BoundHeight);
      ini.WriteInteger(sec, QStringLiteral("ActualWidth"), l.ActualWidth);
      ini.WriteInteger(sec, QStringLiteral("ActualHeight"), l.ActualHeight);
      ini.WriteInteger(sec, QStringLiteral("SoftV"), l.SoftV);
      ini.WriteInteger(sec, QStringLiteral("SoftH"), l.SoftH);
      break;
    }
    case lkText:
      ini.WriteInteger(sec, QStringLiteral("Left"), l.Left);
      ini.WriteInteger(sec, QStringLiteral("Top"), l.Top);
      ini.WriteString(sec, QStringLiteral("Text"), l.Text);
      WriteFontKeys(ini, sec, l);
      break;
    default:
      if (l.Tracks.isEmpty()) break;  // an empty track list writes nothing
      ini.WriteInteger(sec, QStringLiteral("Left"), l.Left);
      ini.WriteInteger(sec, QStringLiteral("Top"), l.Top);
      ini.WriteString(sec, QStringLiteral("Tracks"), TracksToHex(l.Tracks));
      WriteFontKeys(ini, sec, l);
      ini.WriteString(sec, QStringLiteral("Alignment"), AlignmentText(l.Alignment));
      break;
  }
  return true;
}

bool SaveProject(TCoverDocument& document, const QString& fileName, QString& error)
{
  TIniFile ini;
  QByteArray blob;
  ini.WriteInteger(kCommon, QStringLiteral("LayerNumber"), document.LayerCount());
  for (int n = 0; n < document.LayerCount(); ++n)
    if (!WriteLayer(document, document.SlotOf(n), ini, blob, error)) return false;
  const QByteArray info = ini.ToBytes();

  QByteArray trailer;
  PutInt64(trailer, blob.size());
  PutInt64(trailer, info.size());

  QSaveFile f(fileName);
  if (!f.open(QIODevice::WriteOnly)) {
    error = QStringLiteral("Can not write \"%1\": %2").arg(fileName, f.errorString());
    return false;
  }
  f.write(blob);
  f.write(info);
  f.write(trailer);
  if (!f.commit()) {
    error = QStringLiteral("Can not write \"%1\": %2").arg(fileName, f.errorString());
    return false;
  }

  const QString folder = EnsureWorkFolder(document);
  WriteScratch(folder, kProjectImageFile, blob);
  WriteScratch(folder, kProjectInfoFile, info);
  document.MarkSaved();
  return true;
}

// ---------------------------------------------------------------- reading

bool ParseLayer(int i, const TIniFile& ini, int64_t blobSize, TLayerRecord& r, QString& error)
{
  const QString sec = SectionName(i);
  auto num = [&](const char* key, int32_t def) { return ini.ReadInteger(sec, QLatin1String(key), def); };
  auto str = [&](const char* key) { return ini.ReadString(sec, QLatin1String(key)); };
  auto flag = [&](const char* key, bool def) { return ini.ReadBool(sec, QLatin1String(key), def); };

  r = TLayerRecord{};
  r.Section = i;
  r.Left = num("Left", -1);
  r.Top = num("Top", -1);
  r.LineSpace = num("LineSpace", -1);
  r.BoundWidth = num("BoundWidth", -1);
  r.BoundHeight = num("BoundHeight", -1);
  r.ActualWidth = num("ActualWidth", -1);
  r.ActualHeight = num("ActualHeight", -1);
  r.ImageStart = ReadOffset(ini, sec, QStringLiteral("ImageStart"), -1);
  r.ImageEnd = ReadOffset(ini, sec, QStringLiteral("ImageEnd"), -1);
  r.Color = TColor(num("Color", 0));
  r.StartColor = TColor(num("StartColor", 0));
  r.EndColor = num("EndColor", 0);
  r.SoftV = num("SoftV", 0);
  r.SoftH = num("SoftH", 0);
  r.Text = str("Text");
  r.FileName = str("FileName");
  r.FontName = str("FontName");
  r.Shadow = flag("Shadow", false);
  r.Smooth = flag("Smooth", false);
  r.Vertical = flag("Vertical", true);
  r.ShowImage = flag("ShowImage", true);
  r.ImageMode = ImageModeFromText(ini.ReadString(sec, QStringLiteral("ImageMode"), QStringLiteral("Center")));
  r.Alignment = AlignmentFromText(ini.ReadString(sec, QStringLiteral("Alignment"), QStringLiteral("LeftJustify")));
  r.FontStyles = FontStylesFromText(str("FontStyles"));

  const QString layer = i == 0 ? QStringLiteral("the background") : QStringLiteral("layer %1").arg(i);
  if (!TracksFromHex(str("Tracks").trimmed(), r.Tracks)) {
    error = NotAProject(QStringLiteral("the track list of %1 is damaged").arg(layer));
    return false;
  }
  if (std::abs(int64_t(r.Left)) > kMaxPosition || std::abs(int64_t(r.Top)) > kMaxPosition) {
    error = NotAProject(QStringLiteral("the position of %1 is out of range").arg(layer));
    return false;
  }
  // Text boxes are limited to the cover when drawn; a picture keeps its box.
  if (!r.FileName.isEmpty() && (r.BoundWidth > kMaxPictureBox || r.BoundHeight > kMaxPictureBox)) {
    error = NotAProject(QStringLiteral("the size of %1 is out of range").arg(layer));
    return false;
  }

  const QString fileName = r.FileName.trimmed();
  if (!fileName.isEmpty() && r.ImageStart != -1 && r.ImageEnd != -1) {
    if (r.ImageStart < 0 || r.ImageStart > r.ImageEnd || r.ImageEnd > blobSize) {
      error = NotAProject(QStringLiteral("the picture of %1 lies outside the file").arg(layer));
      return false;
    }
    const QString name = PathNamePart(fileName);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QChar(0))) {
      error = NotAProject(QStringLiteral("the picture of %1 has no usable file name").arg(layer));
      return false;
    }
    r.PictureName = name;
  }
  return true;
}

bool BuildLayer(TCoverDocument& document, const TLayerRecord& r, const QString& picturePath, QString* problem)
{
  if (r.Section == 0) {
    document.SetBackground(picturePath, r.ImageMode, r.StartColor, r.EndColor, r.Vertical, r.ShowImage);
    return true;
  }
  if (!r.FileName.isEmpty()) {
    return document.LoadPictureLayer(r.Left, r.Top, picturePath, r.SoftV, r.SoftH, r.ActualWidth, r.ActualHeight,
                                     r.BoundWidth, r.BoundHeight, problem);
  } else if (!r.Text.isEmpty()) {
    document.AddTextLayer(r.Left, r.Top, r.Text, r.FontName, r.Color, r.FontStyles, r.Shadow, r.Smooth,
                          r.BoundWidth, r.BoundHeight);
  } else if (!r.Tracks.isEmpty()) {
    document.AddTracksLayer(r.Left, r.Top, r.Tracks, r.FontName, r.Color, r.FontStyles, r.Shadow, r.Smooth,
                            r.LineSpace, r.BoundWidth, r.BoundHeight, r.Alignment);
  }
  return true;
}

bool ReadLayer(TCoverDocument& document, int sectionNumber, const TIniFile& ini, QByteArrayView blob,
               QString& error)
{
  TLayerRecord r;
  if (!ParseLayer(sectionNumber, ini, blob.size(), r, error)) return false;
  TBlobSource src;
  src.Memory = blob;
  TExtractedPictures pictures(EnsureWorkFolder(document));
  std::vector<QString> paths;
  if (!pictures.Extract({r}, src, paths, error)) return false;
  if (!paths[0].isEmpty()) document.SetStoredName(paths[0], r.FileName);
  QString problem;
  if (!BuildLayer(document, r, paths[0], &problem)) {
    error = QStringLiteral("Layer %1 can not be made: %2.").arg(sectionNumber).arg(problem);
    return false;
  }
  pictures.Keep();
  return true;
}

bool LoadProject(TCoverDocument& document, const QString& fileName, QString& error, QStringList* warnings)
{
  // Only a regular file is read: a FIFO would keep us waiting for ever, a
  // device might never end.
  const QFileInfo info(fileName);
  if (info.exists() && !info.isFile()) {
    error = NotAProject(QStringLiteral("it is not a regular file"));
    return false;
  }
  QFile f;
  if (!OpenRegularFile(fileName, f, &error)) return false;
  const int64_t size = f.size();
  if (size < 16) {
    error = NotAProject(QStringLiteral("it is too short"));
    return false;
  }
  if (!f.seek(size - 16)) {
    error = QStringLiteral("Can not read \"%1\": %2").arg(fileName, f.errorString());
    return false;
  }
  const QByteArray trailer = f.read(16);
  if (trailer.size() != 16) {
    error = QStringLiteral("Can not read \"%1\": %2").arg(fileName, f.errorString());
    return false;
  }
  const int64_t s1 = GetInt64(trailer.constData());
  const int64_t s2 = GetInt64(trailer.constData() + 8);
  if (s1 < 0 || s2 < 0 || s1 > size - 16 || s2 > size - 16 - s1) {
    error = NotAProject(QStringLiteral("its part sizes do not fit the file"));
    return false;
  }
  QByteArray infoBytes;
  if (!f.seek(s1) || (infoBytes = f.read(s2)).size() != s2) {
    error = QStringLiteral("Can not read \"%1\": %2").arg(fileName, f.errorString());
    return false;
  }
  TIniFile ini;
  ini.LoadFromBytes(infoBytes);
  std::vector<TLayerRecord> records;
  if (!ParseAll(ini, s1, records, error)) return false;

  const int64_t memory = LayerMemoryNeeded(records);
  if (memory > TCoverDocument::LayerBitmapBudget) {
    error = QStringLiteral("The project can not be opened: its layers would need %1 MB of memory, more than the "
                           "%2 MB a cover may use.")
                .arg(Megabytes(memory), Megabytes(TCoverDocument::LayerBitmapBudget));
    return false;
  }
  const QString folder = EnsureWorkFolder(document);
  const int64_t disk = TExtractedPictures::DistinctBytes(records) + WorkCopyBytes(records);
  if (disk > 0 && disk + kSpareBytes > FreeBytes(folder)) {
    error = QStringLiteral("The project can not be opened: its pictures need %1 MB in the work folder \"%2\", "
                           "and there is not enough free space there.")
                .arg(Megabytes(disk), folder);
    return false;
  }

  TBlobSource blob;
  blob.File = &f;
  TExtractedPictures pictures(folder);
  std::vector<QString> paths;
  if (!pictures.Extract(records, blob, paths, error)) return false;

  // Everything is built aside; the document changes only when all of it
  // was made.
  if (records.empty()) {
    TCoverDocument::TStepScope step(document);
    DropLayers(document);
    document.SetMarksTimer(false);
    document.Redraw();
    document.SetModified(false);
    document.ForgetHistory();
  } else {
    TCoverDocument built;
    built.SetWorkFolder(folder);
    built.SetDeferred(true);
    QStringList notes;
    bool ok = true;
    for (size_t i = 0; i < records.size() && ok; ++i) {
      const TLayerRecord& r = records[i];
      if (!paths[i].isEmpty()) built.SetStoredName(paths[i], r.FileName);
      QString problem;
      ok = BuildLayer(built, r, paths[i], &problem);
      if (!ok) {
        error = QStringLiteral("The project can not be opened: layer %1 can not be made (%2).")
                    .arg(built.LayerCount())
                    .arg(problem);
      } else if (!problem.isEmpty()) {
        notes << QStringLiteral("Layer %1: %2.").arg(built.LayerCount() - 1).arg(problem);
      }
    }
    if (!ok) {
      for (const QString& made : built.CreatedFiles()) ::unlink(QFile::encodeName(made).constData());
      return false;
    }
    document.AdoptLayers(std::move(built));
    if (warnings) *warnings << notes;
  }
  pictures.Keep();

  if (s1 > 0) WriteScratch(folder, kProjectImageFile, blob, 0, s1);
  else QFile::remove(folder + '/' + QLatin1String(kProjectImageFile));
  WriteScratch(folder, kProjectInfoFile, infoBytes);
  return true;
}
