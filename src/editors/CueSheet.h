#pragma once
// Cue sheets: the text file that describes the tracks of a disc image (one
// or more audio files) by FILE, TRACK, TITLE, PERFORMER and INDEX lines.
//
// The text is UTF-8 (with or without a byte order mark), UTF-16 with a byte
// order mark, or Windows-1252 (sheets written on Windows); lines end in CR LF,
// LF or CR. Commands are matched without regard to case; a value is a quoted
// string or the rest of the line. Times are minutes:seconds:frames with 75
// frames a second.
//
// Reading never fails as a whole: what can be read is kept, and each fault
// becomes one line of Problems, for the user to see in one message.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

inline constexpr int kCueFramesPerSecond = 75;
// A cue sheet is a few kilobytes; anything this large is not one.
inline constexpr int64_t kMaxCueSheetBytes = 1024 * 1024;
// A disc holds 99 tracks; sheets of longer images are still far below this.
inline constexpr int kMaxCueTracks = 999;

struct TCueTrack {
  int Number = 0;      // from the TRACK line
  QString Title;       // empty when the track has no TITLE
  QString Performer;   // the track's own PERFORMER, empty when it has none
  int File = -1;       // index into TCueSheet::Files, -1 before any FILE line
  int64_t Start = -1;  // INDEX 01 in frames from the start of its file, -1 unknown
};

struct TCueSheet {
  QString Title;
  QString Performer;
  QStringList Files;  // the FILE names as written (Windows paths included)
  std::vector<TCueTrack> Tracks;  // in track number order (equal numbers keep sheet order)
  QStringList Problems;
};

// Reads the text of a cue sheet.
TCueSheet ParseCueSheet(const QByteArray& bytes);

// The length in frames of the sheet's file number `file`, or -1 when it can
// not be known (the file is missing or can not be read).
using TCueFileLength = std::function<int64_t(int file)>;

// One track line per track: the name ("Performer - Title" when the track's
// performer differs from the album's; "TrackNN" when it has no title) and
// its running time as m:ss. A track runs to the start of the next track in
// the same file, or to the end of its file; a time that can not be known is
// left empty and named in `problems`.
QStringList CueTrackLines(const TCueSheet& sheet, const TCueFileLength& fileLength, QStringList& problems);

// A title or name fit for a track line: one line without control
// characters, no "|||" inside and no bar at its end (either would split the
// line in the wrong place), at most 500 characters, blanks trimmed.
QString CleanTrackText(QString s);

// Running time of a number of milliseconds as m:ss (minutes not limited to
// 59), rounded to the nearest second.
QString TrackTimeText(int64_t milliseconds);
