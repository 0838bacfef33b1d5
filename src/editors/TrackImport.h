#pragma once
// Track lists and the front picture taken from an album's own files: cue
// sheets, and audio files (FLAC, MP3, Ogg Vorbis, Opus, M4A/AAC, WAV) read
// with TagLib, chosen one by one or as a folder.
//
// ImportTracks is a pure function of the chosen paths: it touches no window
// and no shared state, so it may run on a worker thread, and its progress
// callback can stop it.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// Takes a percentage; answers false to stop.
using TImportProgress = std::function<bool(int percent)>;

// Embedded pictures larger than this are not taken as the album's picture.
inline constexpr int64_t kMaxAlbumPictureBytes = 32 * 1024 * 1024;
// Files looked at in one import; a music collection, not an album, has more.
inline constexpr int kMaxImportFiles = 20000;

bool IsCueSheetFile(const QString& fileName);
bool IsAudioFile(const QString& fileName);  // by extension
// The audio extensions read, lower case without the dot ("flac", "mp3", …).
QStringList AudioFileExtensions();

// What the tags of one audio file say.
struct TAudioInfo {
  QString Title;        // the file name without extension when the tags have none
  QString Artist;
  QString AlbumArtist;
  int Disc = 0;         // 0 when not tagged
  int Track = 0;        // 0 when not tagged
  int64_t LengthMs = 0;
};

// Reads an audio file's tags and length with TagLib; when `picture` is given
// it receives the embedded front cover (a picture of type "other" when the
// file has no front cover; empty when it has neither). Only regular files are
// opened. False with the reason when the file is damaged or not audio.
bool ReadAudioFile(const QString& fileName, TAudioInfo& info, QString& error, QByteArray* picture = nullptr);

// The album's front picture: the bytes of an embedded picture, or a picture
// file beside the album's files (cover.*, folder.*, front.*).
struct TAlbumPicture {
  QByteArray Data;
  QString FileName;
  bool IsNull() const { return Data.isEmpty() && FileName.isEmpty(); }
};

struct TTrackImport {
  QStringList Lines;     // track lines: name "|||" m:ss
  QStringList Problems;  // skipped files and incomplete tracks, one line each
  TAlbumPicture Picture;
  bool Stopped = false;  // the progress callback stopped it; the rest is partial
};

// Imports tracks from files and folders. Cue sheets give their tracks (the
// audio files they name lend the last track's time and the picture); audio
// files give one track each, ordered by disc number, track number and then
// by name; a folder (with its subfolders) gives its cue sheets, or, when it
// has none, its audio files. Damaged and unknown files are skipped and named
// in Problems.
TTrackImport ImportTracks(const QStringList& paths, const TImportProgress& progress = {});

// A picture file the picture loader reads, for the album's picture: the file
// itself when it is one beside the album, or the embedded bytes written into
// `folder` (kept as they are when their format is one the loader knows,
// otherwise converted to JPEG). False with the reason when that fails.
bool SaveAlbumPicture(const TAlbumPicture& picture, const QString& folder, QString& fileName, QString& error);
