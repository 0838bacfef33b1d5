#include "editors/TrackImport.h"

#include "codecs/Codec.h"
#include "editors/CueSheet.h"
#include "editors/TrackFile.h"
#include "imagelib/ImageLoader.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSet>

#include <attachedpictureframe.h>
#include <flacfile.h>
#include <flacpicture.h>
#include <id3v2tag.h>
#include <mp4file.h>
#include <mp4tag.h>
#include <mpegfile.h>
#include <oggflacfile.h>
#include <opusfile.h>
#include <tfilestream.h>
#include <tpropertymap.h>
#include <vorbisfile.h>
#include <wavfile.h>
#include <xiphcomment.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Lower-case extensions of the audio files read, and the reader of each.
enum class TAudioKind { Flac, Mpeg, Ogg, Opus, Mp4, Wav };

struct TAudioExt {
  const char* Ext;
  TAudioKind Kind;
};

constexpr TAudioExt kAudioExts[] = {
    {"flac", TAudioKind::Flac}, {"mp3", TAudioKind::Mpeg}, {"ogg", TAudioKind::Ogg},
    {"oga", TAudioKind::Ogg},   {"opus", TAudioKind::Opus}, {"m4a", TAudioKind::Mp4},
    {"m4b", TAudioKind::Mp4},   {"wav", TAudioKind::Wav},
};

const TAudioExt* AudioExtOf(const QString& fileName)
{
  const QString ext = QFileInfo(fileName).suffix().toLower();
  for (const TAudioExt& e : kAudioExts)
    if (ext == QLatin1String(e.Ext)) return &e;
  return nullptr;
}

QString SystemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Opens a regular file for reading without ever waiting (a FIFO put where a
// file is expected would block a plain open). -1 with the reason otherwise.
int OpenRegularFile(const QString& fileName, QString& error, int64_t* size = nullptr)
{
  const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = SystemError(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = QStringLiteral("not a regular file");
    ::close(fd);
    return -1;
  }
  if (size) *size = int64_t(st.st_size);
  return fd;
}

bool ReadSmallFile(const QString& fileName, int64_t maxBytes, QByteArray& bytes, QString& error)
{
  int64_t size = 0;
  const int fd = OpenRegularFile(fileName, error, &size);
  if (fd < 0) return false;
  if (size > maxBytes) {
    ::close(fd);
    error = QStringLiteral("the file is too large");
    return false;
  }
  bytes.resize(qsizetype(size));
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = SystemError(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    done += n;
  }
  ::close(fd);
  bytes.truncate(done);
  return true;
}

QString FromTag(const TagLib::String& s) { return CleanTrackText(QString::fromStdString(s.to8Bit(true))); }

// "2/3" or "2" → 2; 0 when not a number.
int LeadingNumber(const QString& s)
{
  int v = 0;
  for (QChar c : s.trimmed()) {
    if (c < QChar('0') || c > QChar('9')) break;
    if (v > 99999) return 0;
    v = v * 10 + (c.unicode() - '0');
  }
  return v;
}

QString FirstProperty(const TagLib::PropertyMap& map, const char* key)
{
  const auto it = map.find(key);
  if (it == map.end() || it->second.isEmpty()) return QString();
  return FromTag(it->second.front());
}

// Keeps the first front cover, or else the first picture of type "other".
struct TPictureChoice {
  QByteArray Front, Other;
  void Offer(int type, const TagLib::ByteVector& data)
  {
    if (type != 3 && type != 0) return;
    if (data.isEmpty() || int64_t(data.size()) > kMaxAlbumPictureBytes) return;
    QByteArray& slot = type == 3 ? Front : Other;
    if (slot.isEmpty()) slot = QByteArray(data.data(), qsizetype(data.size()));
  }
  QByteArray Best() const { return Front.isEmpty() ? Other : Front; }
};

void OfferId3v2(TagLib::ID3v2::Tag* tag, TPictureChoice& choice)
{
  if (!tag) return;
  for (TagLib::ID3v2::Frame* frame : tag->frameList("APIC"))
    if (auto* pic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
      choice.Offer(int(pic->type()), pic->picture());
}

void OfferXiph(TagLib::Ogg::XiphComment* tag, TPictureChoice& choice)
{
  if (!tag) return;
  for (TagLib::FLAC::Picture* pic : tag->pictureList()) choice.Offer(int(pic->type()), pic->data());
}

// Fills info from an opened file; false when TagLib found no audio in it.
bool TakeFile(TagLib::File& file, TAudioInfo& info)
{
  if (!file.isValid()) return false;
  const TagLib::AudioProperties* props = file.audioProperties();
  if (!props || props->sampleRate() <= 0) return false;
  info.LengthMs = std::max(0, props->lengthInMilliseconds());
  if (const TagLib::Tag* tag = file.tag()) {
    info.Title = FromTag(tag->title());
    info.Artist = FromTag(tag->artist());
    info.Track = int(std::min(tag->track(), 99999u));
  }
  const TagLib::PropertyMap map = file.properties();
  info.AlbumArtist = FirstProperty(map, "ALBUMARTIST");
  info.Disc = LeadingNumber(FirstProperty(map, "DISCNUMBER"));
  return true;
}

bool ReadOgg(TagLib::IOStream* stream, TAudioKind kind, TAudioInfo& info, TPictureChoice* pictures)
{
  // The extension does not tell which codec an Ogg stream carries: try the
  // one it suggests first, then the others.
  const int order[3][3] = {{0, 1, 2}, {1, 0, 2}, {0, 1, 2}};
  for (int which : order[kind == TAudioKind::Opus ? 1 : 0]) {
    stream->seek(0);
    std::unique_ptr<TagLib::Ogg::File> file;
    TagLib::Ogg::XiphComment* tag = nullptr;
    if (which == 0) {
      auto* f = new TagLib::Ogg::Vorbis::File(stream);
      file.reset(f);
      tag = f->tag();
    } else if (which == 1) {
      auto* f = new TagLib::Ogg::Opus::File(stream);
      file.reset(f);
      tag = f->tag();
    } else {
      auto* f = new TagLib::Ogg::FLAC::File(stream);
      file.reset(f);
      tag = f->tag();
    }
    if (TakeFile(*file, info)) {
      if (pictures) OfferXiph(tag, *pictures);
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsCueSheetFile(const QString& fileName)
{
  return QFileInfo(fileName).suffix().compare(QLatin1String("cue"), Qt::CaseInsensitive) == 0;
}

bool IsAudioFile(const QString& fileName) { return AudioExtOf(fileName) != nullptr; }

QStringList AudioFileExtensions()
{
  QStringList list;
  for (const TAudioExt& e : kAudioExts) list << QString::fromLatin1(e.Ext);
  return list;
}

bool ReadAudioFile(const QString& fileName, TAudioInfo& info, QString& error, QByteArray* picture)
{
  const TAudioExt* ext = AudioExtOf(fileName);
  if (!ext) {
    error = QStringLiteral("not an audio file");
    return false;
  }
  const int fd = OpenRegularFile(fileName, error);
  if (fd < 0) return false;
  TagLib::FileStream stream(fd, true);
  if (!stream.isOpen()) {
    ::close(fd);
    error = QStringLiteral("the file can not be opened");
    return false;
  }

  TAudioInfo read;
  TPictureChoice pictures;
  TPictureChoice* want = picture ? &pictures : nullptr;
  bool ok = false;
  switch (ext->Kind) {
  case TAudioKind::Flac: {
    TagLib::FLAC::File f(&stream, TagLib::ID3v2::FrameFactory::instance());
    ok = TakeFile(f, read);
    if (ok && want) {
      for (TagLib::FLAC::Picture* pic : f.pictureList()) want->Offer(int(pic->type()), pic->data());
      if (f.hasID3v2Tag()) OfferId3v2(f.ID3v2Tag(), *want);
    }
    break;
  }
  case TAudioKind::Mpeg: {
    TagLib::MPEG::File f(&stream, TagLib::ID3v2::FrameFactory::instance());
    ok = TakeFile(f, read);
    if (ok && want && f.hasID3v2Tag()) OfferId3v2(f.ID3v2Tag(), *want);
    break;
  }
  case TAudioKind::Ogg:
  case TAudioKind::Opus:
    ok = ReadOgg(&stream, ext->Kind, read, want);
    break;
  case TAudioKind::Mp4: {
    TagLib::MP4::File f(&stream);
    ok = TakeFile(f, read);
    if (ok && want && f.tag() && f.tag()->contains("covr")) {
      // Cover art in MP4 has no picture type: the first one is the front.
      const TagLib::MP4::CoverArtList covers = f.tag()->item("covr").toCoverArtList();
      if (!covers.isEmpty()) want->Offer(3, covers.front().data());
    }
    break;
  }
  case TAudioKind::Wav: {
    TagLib::RIFF::WAV::File f(&stream);
    ok = TakeFile(f, read);
    if (ok && want && f.hasID3v2Tag()) OfferId3v2(f.ID3v2Tag(), *want);
    break;
  }
  }
  if (!ok) {
    error = QStringLiteral("damaged or not an audio file");
    return false;
  }
  if (read.Title.isEmpty()) read.Title = QFileInfo(fileName).completeBaseName();
  info = read;
  if (picture) *picture = pictures.Best();
  return true;
}

namespace {

// One audio file read for a track.
struct TReadTrack {
  TAudioInfo Info;
  QString Path;
};

class TImporter {
public:
  explicit TImporter(const TImportProgress& progress) : m_progress(progress)
  {
    m_collator.setNumericMode(true);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
  }

  TTrackImport Run(const QStringList& paths)
  {
    for (const QString& path : paths) {
      if (!Collect(path)) return Stop();
    }
    SortPaths(m_cueSheets);
    SortPaths(m_folderAudio);
    SortPaths(m_chosenAudio);
    m_total = int(m_cueSheets.size() + m_folderAudio.size() + m_chosenAudio.size());

    for (const QString& cue : m_cueSheets) {
      if (!ReadCue(cue)) return Stop();
    }
    // A folder's cue sheets describe its audio files better than their tags
    // do (an image of the whole disc is one file); audio files chosen one by
    // one still count unless a cue sheet names them.
    std::vector<TReadTrack> tracks;
    QStringList audio = m_chosenAudio;
    if (m_cueSheets.isEmpty()) audio = m_folderAudio + m_chosenAudio;
    else m_done += int(m_folderAudio.size());
    for (const QString& path : audio) {
      if (!Step()) return Stop();
      if (m_referenced.contains(QFileInfo(path).canonicalFilePath())) continue;
      TReadTrack t;
      t.Path = path;
      QString error;
      QByteArray picture;
      if (!ReadAudioFile(path, t.Info, error, m_result.Picture.IsNull() ? &picture : nullptr)) {
        m_result.Problems << QStringLiteral("\"%1\": %2; it was skipped.").arg(Shown(path), error);
        continue;
      }
      if (!picture.isEmpty()) m_result.Picture.Data = picture;
      tracks.push_back(t);
      if (m_trackFolders.size() < 8 && !m_trackFolders.contains(QFileInfo(path).absolutePath()))
        m_trackFolders << QFileInfo(path).absolutePath();
    }
    AddAudioTracks(tracks);

    if (m_result.Picture.IsNull()) m_result.Picture.FileName = FindPictureBeside();
    if (m_result.Lines.isEmpty() && m_result.Problems.isEmpty())
      m_result.Problems << QStringLiteral("No cue sheet or audio file was found.");
    if (m_progress) m_progress(100);
    return m_result;
  }

private:
  TTrackImport Stop()
  {
    m_result.Stopped = true;
    return m_result;
  }

  bool Step()
  {
    ++m_done;
    if (!m_progress) return true;
    return m_progress(m_total > 0 ? int(int64_t(m_done - 1) * 100 / m_total) : 0);
  }

  // A path as the user knows it: relative to the chosen folder it was found
  // in, or the file's name.
  QString Shown(const QString& path) const
  {
    const auto it = m_foundIn.constFind(path);
    if (it != m_foundIn.constEnd()) return QDir(*it).relativeFilePath(path);
    return QFileInfo(path).fileName();
  }

  void SortPaths(QStringList& list) const
  {
    std::stable_sort(list.begin(), list.end(),
                     [this](const QString& a, const QString& b) { return m_collator.compare(a, b) < 0; });
  }

  bool TooMany()
  {
    if (m_cueSheets.size() + m_folderAudio.size() + m_chosenAudio.size() < kMaxImportFiles) return false;
    if (!m_tooMany)
      m_result.Problems << QStringLiteral("Only the first %1 files were looked at.").arg(kMaxImportFiles);
    m_tooMany = true;
    return true;
  }

  bool Collect(const QString& path)
  {
    const QFileInfo info(path);
    if (info.isDir()) {
      m_folders << info.absoluteFilePath();
      // Subfolders too (the discs of a set), without following links, so a
      // link back up can not loop.
      QDirIterator it(info.absoluteFilePath(), QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden,
                      QDirIterator::Subdirectories);
      int seen = 0;
      while (it.hasNext()) {
        const QString file = it.next();
        if (++seen % 256 == 0 && m_progress && !m_progress(0)) return false;
        const bool cue = IsCueSheetFile(file);
        if (!cue && !IsAudioFile(file)) continue;
        if (TooMany()) break;
        (cue ? m_cueSheets : m_folderAudio) << file;
        m_foundIn.insert(file, info.absoluteFilePath());
      }
      return true;
    }
    if (!info.exists()) {
      m_result.Problems << QStringLiteral("\"%1\" was not found.").arg(info.fileName());
      return true;
    }
    if (TooMany()) return true;
    if (IsCueSheetFile(path))
      m_cueSheets << info.absoluteFilePath();
    else if (IsAudioFile(path))
      m_chosenAudio << info.absoluteFilePath();
    else
      m_result.Problems << QStringLiteral("\"%1\": not a cue sheet or audio file; it was skipped.").arg(info.fileName());
    return true;
  }

  // The file a cue sheet's FILE line names: as written (relative to the
  // sheet, Windows separators allowed), else its name beside the sheet, else
  // that name with another audio extension (rips are often converted after
  // the sheet was written). Empty when none exists.
  static QString ResolveCueFile(const QDir& dir, const QString& written)
  {
    QString name = written;
    name.replace(QChar('\\'), QChar('/'));
    QStringList tries;
    if (!name.isEmpty() && !QDir::isAbsolutePath(name) && !name.contains(QChar(':'))) tries << dir.filePath(name);
    const QString base = name.section(QChar('/'), -1);
    if (!base.isEmpty()) tries << dir.filePath(base);
    const QString stem = QFileInfo(base).completeBaseName();
    if (!stem.isEmpty())
      for (const TAudioExt& e : kAudioExts) tries << dir.filePath(stem + QChar('.') + QLatin1String(e.Ext));
    for (const QString& t : tries)
      if (QFileInfo(t).isFile()) return t;
    return QString();
  }

  bool ReadCue(const QString& path)
  {
    if (!Step()) return false;
    const QString shown = Shown(path);
    QByteArray bytes;
    QString error;
    if (!ReadSmallFile(path, kMaxCueSheetBytes, bytes, error)) {
      m_result.Problems << QStringLiteral("\"%1\": %2; it was skipped.").arg(shown, error);
      return true;
    }
    const TCueSheet sheet = ParseCueSheet(bytes);
    const QDir dir = QFileInfo(path).absoluteDir();
    if (m_trackFolders.size() < 8 && !m_trackFolders.contains(dir.absolutePath()))
      m_trackFolders << dir.absolutePath();
    QStringList audioFiles;
    for (const QString& written : sheet.Files) {
      audioFiles << ResolveCueFile(dir, written);
      if (!audioFiles.back().isEmpty()) m_referenced.insert(QFileInfo(audioFiles.back()).canonicalFilePath());
    }
    QStringList problems = sheet.Problems;
    const QStringList lines = CueTrackLines(
        sheet,
        [&](int file) -> int64_t {
          const QString& audio = audioFiles[file];
          if (audio.isEmpty()) return -1;
          TAudioInfo info;
          QString audioError;
          QByteArray picture;
          if (!ReadAudioFile(audio, info, audioError, m_result.Picture.IsNull() ? &picture : nullptr)) return -1;
          if (!picture.isEmpty()) m_result.Picture.Data = picture;
          return info.LengthMs * kCueFramesPerSecond / 1000;
        },
        problems);
    if (lines.isEmpty() && problems.isEmpty()) problems << QStringLiteral("no tracks");
    for (const QString& p : problems) m_result.Problems << shown + QStringLiteral(": ") + p;
    m_result.Lines << lines;
    return true;
  }

  void AddAudioTracks(std::vector<TReadTrack>& tracks)
  {
    // Missing disc numbers count as disc 1; untagged tracks follow the
    // tagged ones of their disc; the name decides the rest ("2" before "10").
    std::stable_sort(tracks.begin(), tracks.end(), [this](const TReadTrack& a, const TReadTrack& b) {
      const int da = a.Info.Disc > 0 ? a.Info.Disc : 1, db = b.Info.Disc > 0 ? b.Info.Disc : 1;
      if (da != db) return da < db;
      const int ta = a.Info.Track > 0 ? a.Info.Track : INT_MAX, tb = b.Info.Track > 0 ? b.Info.Track : INT_MAX;
      if (ta != tb) return ta < tb;
      return m_collator.compare(a.Path, b.Path) < 0;
    });
    // The album's artist: the album artist most tracks name, else the artist
    // of more than half the tracks. A track by someone else is shown as
    // "Artist - Title" (guests, compilations).
    QHash<QString, int> albumArtists, artists;
    for (const TReadTrack& t : tracks) {
      if (!t.Info.AlbumArtist.isEmpty()) ++albumArtists[t.Info.AlbumArtist];
      if (!t.Info.Artist.isEmpty()) ++artists[t.Info.Artist];
    }
    auto most = [](const QHash<QString, int>& counts, int& best) {
      QString name;
      best = 0;
      for (auto it = counts.constBegin(); it != counts.constEnd(); ++it)
        if (it.value() > best || (it.value() == best && it.key() < name)) {
          best = it.value();
          name = it.key();
        }
      return name;
    };
    int count = 0;
    QString albumArtist = most(albumArtists, count);
    if (albumArtist.isEmpty()) {
      albumArtist = most(artists, count);
      if (2 * count <= int(tracks.size())) albumArtist.clear();
    }
    for (const TReadTrack& t : tracks) {
      const QString& own = t.Info.AlbumArtist.isEmpty() ? albumArtist : t.Info.AlbumArtist;
      QString name = t.Info.Title;
      if (!t.Info.Artist.isEmpty() && t.Info.Artist != own) name = t.Info.Artist + QStringLiteral(" - ") + name;
      m_result.Lines << JoinTrackLine(CleanTrackText(name), TrackTimeText(t.Info.LengthMs));
    }
  }

  // cover.*, folder.* or front.* (in that order of preference, any letter
  // case, a picture extension the loader reads) in the folders of the tracks
  // and in the chosen folders.
  QString FindPictureBeside() const
  {
    QStringList folders = m_trackFolders;
    for (const QString& f : m_folders)
      if (!folders.contains(f)) folders << f;
    static const char* const kStems[] = {"cover", "folder", "front"};
    for (const QString& folder : folders) {
      const QStringList names =
          QDir(folder).entryList({QStringLiteral("cover.*"), QStringLiteral("folder.*"), QStringLiteral("front.*")},
                                 QDir::Files | QDir::Hidden, QDir::Name);
      for (const char* stem : kStems)
        for (const QString& name : names) {
          const QString path = QDir(folder).filePath(name);
          if (QFileInfo(name).completeBaseName().compare(QLatin1String(stem), Qt::CaseInsensitive) == 0 &&
              IsImageFile(name) && QFileInfo(path).isFile())
            return path;
        }
    }
    return QString();
  }

  const TImportProgress& m_progress;
  QCollator m_collator;
  TTrackImport m_result;
  QStringList m_cueSheets, m_folderAudio, m_chosenAudio, m_folders, m_trackFolders;
  QHash<QString, QString> m_foundIn;  // file → the chosen folder it was found in
  QSet<QString> m_referenced;         // audio files the cue sheets name
  bool m_tooMany = false;
  int m_total = 0, m_done = 0;
};

// The extension the picture loader reads these bytes by, or "".
QString PictureKey(const QByteArray& data) { return ImageKeyOfContent(data.left(64)).toLower(); }

}  // namespace

TTrackImport ImportTracks(const QStringList& paths, const TImportProgress& progress)
{
  return TImporter(progress).Run(paths);
}

bool SaveAlbumPicture(const TAlbumPicture& picture, const QString& folder, QString& fileName, QString& error)
{
  if (!picture.FileName.isEmpty()) {
    fileName = picture.FileName;
    return true;
  }
  if (picture.Data.isEmpty()) {
    error = QStringLiteral("The album has no picture.");
    return false;
  }
  QString ext = PictureKey(picture.Data);
  QByteArray bytes = picture.Data;
  if (ext.isEmpty()) {
    // Formats the picture loader lacks: Qt may read them; kept as JPEG.
    QImage image;
    if (!image.loadFromData(picture.Data)) {
      error = QStringLiteral("The album's picture is in a format that can not be read.");
      return false;
    }
    if (image.hasAlphaChannel()) {
      QImage flat(image.size(), QImage::Format_RGB32);
      flat.fill(Qt::white);
      QPainter(&flat).drawImage(0, 0, image);
      image = flat;
    }
    if (!EncodeJpeg(image.convertToFormat(QImage::Format_BGR888), bytes, error, 95)) return false;
    ext = QStringLiteral("jpg");
  }
  // A new name each time, so a picture taken earlier is never overwritten.
  QString target;
  for (int i = 1; target.isEmpty() || QFileInfo::exists(target); ++i) {
    if (i > 9999) {
      error = QStringLiteral("Cannot write the album's picture into \"%1\".").arg(folder);
      return false;
    }
    target = QDir(folder).filePath(QStringLiteral("AlbumPicture%1.%2").arg(i).arg(ext));
  }
  QSaveFile out(target);
  if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
    error = QStringLiteral("Cannot write \"%1\". %2").arg(target, out.errorString());
    return false;
  }
  fileName = target;
  return true;
}
