#pragma once
// Track lines and the track list file a companion disc-burning program writes.
//
// A track line is a name and a running time joined by "|||": the name is
// everything before the first "|||", the time everything after it (it may
// itself contain "|||"); a line without the separator is a name alone.
//
// "Tracks.dat" lies in the program's temporary folder: one track line per
// text line, lines ending in CR LF, a lone CR or a lone LF; UTF-8 when the
// kept text is valid UTF-8, otherwise Windows-1252 (files written on Windows).

#include <QString>
#include <QStringList>

#include <cstdint>

inline constexpr const char* kTrackSeparator = "|||";

// Reading caps: a disc holds at most a few hundred tracks, and a name of
// hundreds of characters can not be shown on a 12 cm cover anyway. Lines past
// kMaxTrackLines are ignored, a longer line is cut to kMaxTrackLineLength
// characters, and no more than kMaxTrackFileBytes are read at all.
inline constexpr int kMaxTrackLines = 999;
inline constexpr int kMaxTrackLineLength = 500;
inline constexpr int64_t kMaxTrackFileBytes = 16 * 1024 * 1024;

struct TTrackLine {
  QString Name;
  QString Time;
};

// One line of a track list made safe: cut to kMaxTrackLineLength characters
// (never inside a surrogate pair), control characters turned into blanks.
QString CapTrackLineText(QString line);

TTrackLine SplitTrackLine(const QString& line);
QString JoinTrackLine(const QString& name, const QString& time);

// The decimal form of number preceded by as many "0" as make it `digits`
// characters long; a longer number is not cut.
QString ZeroPad(int number, int digits);
// Same number of lines, every line equal to the one at the same place
// (letter case included).
bool SameLines(const QStringList& a, const QStringList& b);

// Where the companion program puts the track list.
QString TrackFilePath();

// Reads a track list file with the caps above. Control characters become
// blanks. Never blocks on a FIFO or a device: only regular files are read.
// False with the reason (the file name and the system's error text) when the
// file can not be opened or read; `lines` is then left as it was.
bool ReadTrackFile(const QString& fileName, QStringList& lines, QString& error);
// The same rules applied to bytes already in memory.
QStringList TrackLinesFromBytes(const QByteArray& bytes);
