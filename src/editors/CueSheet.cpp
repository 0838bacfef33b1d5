#include "editors/CueSheet.h"

#include "editors/TrackFile.h"
#include "project/IniFile.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

QString DecodeCueText(QByteArray bytes)
{
  if (bytes.size() > kMaxCueSheetBytes) bytes.truncate(kMaxCueSheetBytes);
  if (bytes.startsWith("\xEF\xBB\xBF")) {
    QStringDecoder dec(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return dec.decode(QByteArrayView(bytes).sliced(3));
  }
  if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
    const bool little = bytes.startsWith("\xFF\xFE");
    QStringDecoder dec(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                       QStringConverter::Flag::Stateless);
    return dec.decode(QByteArrayView(bytes).sliced(2));
  }
  return TIniFile::DecodeText(bytes);
}

}  // namespace

QString CleanTrackText(QString s)
{
  s = CapTrackLineText(s);
  const QLatin1String separator(kTrackSeparator);
  while (s.contains(separator)) s.replace(separator, QLatin1String("||"));
  // A bar at the end would make the separator after the name start inside it.
  while (!s.isEmpty() && (s.back() == QChar('|') || s.back().isSpace())) s.chop(1);
  return s.trimmed();
}

namespace {

// The first value of a command's arguments: a quoted string (to the closing
// quote, or to the end of the line when it has none) or the first word.
// `rest` receives what follows it.
QString FirstValue(const QString& args, QString* rest = nullptr)
{
  const QString a = args.trimmed();
  qsizetype end;
  QString value;
  if (a.startsWith(QChar('"'))) {
    end = a.indexOf(QChar('"'), 1);
    if (end < 0) end = a.size();
    value = a.mid(1, end - 1);
    ++end;
  } else {
    end = 0;
    while (end < a.size() && !a[end].isSpace()) ++end;
    value = a.left(end);
  }
  if (rest) *rest = a.mid(std::min(end, a.size())).trimmed();
  return value;
}

// A quoted value, or the whole rest of the line (TITLE Some Words).
QString TextValue(const QString& args)
{
  const QString a = args.trimmed();
  return a.startsWith(QChar('"')) ? FirstValue(a) : a;
}

// FILE "name" TYPE, or FILE name with blanks TYPE: the name without the type.
QString FileValue(const QString& args)
{
  const QString a = args.trimmed();
  if (a.startsWith(QChar('"'))) return FirstValue(a);
  const qsizetype lastBlank = a.lastIndexOf(QChar(' '));
  return lastBlank > 0 ? a.left(lastBlank).trimmed() : a;
}

bool ParseNumber(const QString& s, int maxDigits, int64_t& out)
{
  if (s.isEmpty() || s.size() > maxDigits) return false;
  int64_t v = 0;
  for (QChar c : s) {
    if (c < QChar('0') || c > QChar('9')) return false;
    v = v * 10 + (c.unicode() - '0');
  }
  out = v;
  return true;
}

// mm:ss:ff in frames; minutes may run past 99 for long images.
bool ParseCueTime(const QString& s, int64_t& frames)
{
  const QStringList parts = s.split(QChar(':'));
  if (parts.size() != 3) return false;
  int64_t m, sec, f;
  if (!ParseNumber(parts[0], 6, m) || !ParseNumber(parts[1], 2, sec) || !ParseNumber(parts[2], 2, f))
    return false;
  if (sec >= 60 || f >= kCueFramesPerSecond) return false;
  frames = (m * 60 + sec) * kCueFramesPerSecond + f;
  return true;
}

// A track as read, with what went wrong with its start.
struct TReadTrack {
  TCueTrack Track;
  bool NumberValid = true;
  QString StartFault;  // empty: no INDEX 01 at all
};

QString TrackLabel(int number, const QString& title)
{
  QString label = QStringLiteral("Track ") + ZeroPad(number, 2);
  if (!title.isEmpty()) label += QStringLiteral(" \"%1\"").arg(title);
  return label;
}

}  // namespace

QString TrackTimeText(int64_t milliseconds)
{
  const int64_t seconds = std::max<int64_t>(0, (milliseconds + 500) / 1000);
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

TCueSheet ParseCueSheet(const QByteArray& bytes)
{
  TCueSheet sheet;
  std::vector<TReadTrack> read;
  QStringList startFaults;  // parallel to sheet.Tracks after sorting
  const QString text = DecodeCueText(bytes);
  int fileIndex = -1;
  TReadTrack* current = nullptr;
  bool full = false;

  qsizetype pos = 0;
  int lineNo = 0;
  while (pos < text.size() && !full) {
    qsizetype end = pos;
    while (end < text.size() && text[end] != QChar('\r') && text[end] != QChar('\n')) ++end;
    const QString line = text.mid(pos, end - pos).trimmed();
    if (end < text.size() && text[end] == QChar('\r') && end + 1 < text.size() && text[end + 1] == QChar('\n'))
      ++end;
    pos = end + 1;
    ++lineNo;
    if (line.isEmpty()) continue;

    QString args;
    const QString command = FirstValue(line, &args).toUpper();
    if (command == QLatin1String("FILE")) {
      sheet.Files << FileValue(args);
      fileIndex = int(sheet.Files.size()) - 1;
    } else if (command == QLatin1String("TRACK")) {
      if (int(read.size()) >= kMaxCueTracks) {
        sheet.Problems << QStringLiteral("More than %1 tracks: the rest of the sheet was not read.").arg(kMaxCueTracks);
        full = true;
        break;
      }
      TReadTrack t;
      int64_t number = 0;
      t.NumberValid = ParseNumber(FirstValue(args), 4, number);
      t.Track.Number = int(number);
      t.Track.File = fileIndex;
      read.push_back(t);
      current = &read.back();
    } else if (command == QLatin1String("TITLE")) {
      (current ? current->Track.Title : sheet.Title) = CleanTrackText(TextValue(args));
    } else if (command == QLatin1String("PERFORMER")) {
      (current ? current->Track.Performer : sheet.Performer) = CleanTrackText(TextValue(args));
    } else if (command == QLatin1String("INDEX") && current) {
      QString timeText;
      int64_t index = -1;
      if (!ParseNumber(FirstValue(args, &timeText), 2, index) || index != 1) continue;
      if (current->Track.Start >= 0) continue;  // the first INDEX 01 counts
      timeText = FirstValue(timeText);
      int64_t frames = 0;
      if (ParseCueTime(timeText, frames))
        current->Track.Start = frames;
      else
        current->StartFault = QStringLiteral("INDEX 01 \"%1\" is not a time (minutes:seconds:frames)")
                                  .arg(CleanTrackText(timeText).left(40));
    }
  }

  for (const TReadTrack& t : read) {
    if (!t.NumberValid) {
      sheet.Problems << (t.Track.Title.isEmpty()
                             ? QStringLiteral("A TRACK line without a track number was left out.")
                             : QStringLiteral("\"%1\" has no track number and was left out.").arg(t.Track.Title));
      continue;
    }
    sheet.Tracks.push_back(t.Track);
    startFaults << t.StartFault;
  }
  // Sheets edited by hand may list tracks out of order: sort by number, and
  // carry each track's fault along.
  std::vector<size_t> order(sheet.Tracks.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return sheet.Tracks[a].Number < sheet.Tracks[b].Number; });
  std::vector<TCueTrack> sorted;
  sorted.reserve(order.size());
  for (size_t i : order) {
    sorted.push_back(sheet.Tracks[i]);
    const TCueTrack& t = sorted.back();
    if (t.Start < 0)
      sheet.Problems << QStringLiteral("%1: %2; its time is left empty.")
                            .arg(TrackLabel(t.Number, t.Title),
                                 startFaults[qsizetype(i)].isEmpty() ? QStringLiteral("no INDEX 01")
                                                                     : startFaults[qsizetype(i)]);
  }
  sheet.Tracks = std::move(sorted);
  return sheet;
}

QStringList CueTrackLines(const TCueSheet& sheet, const TCueFileLength& fileLength, QStringList& problems)
{
  QStringList lines;
  std::vector<int64_t> lengths(size_t(sheet.Files.size()), -2);  // -2: not asked yet
  auto lengthOf = [&](int file) -> int64_t {
    if (file < 0 || file >= int(lengths.size())) return -1;
    if (lengths[size_t(file)] == -2) lengths[size_t(file)] = fileLength ? fileLength(file) : -1;
    return lengths[size_t(file)];
  };

  for (size_t i = 0; i < sheet.Tracks.size(); ++i) {
    const TCueTrack& t = sheet.Tracks[i];
    QString name = t.Title.isEmpty() ? QStringLiteral("Track") + ZeroPad(t.Number, 2) : t.Title;
    if (!t.Performer.isEmpty() && t.Performer != sheet.Performer) name = t.Performer + QStringLiteral(" - ") + name;

    QString time;
    QString fault;
    if (t.Start >= 0) {
      int64_t end = -1;
      const TCueTrack* next = i + 1 < sheet.Tracks.size() ? &sheet.Tracks[i + 1] : nullptr;
      if (next && next->File == t.File) {
        if (next->Start < 0)
          fault = QStringLiteral("the next track's start is unknown");
        else if (next->Start <= t.Start)
          fault = QStringLiteral("the next track starts before it");
        else
          end = next->Start;
      } else {
        const int64_t length = lengthOf(t.File);
        if (t.File < 0)
          fault = QStringLiteral("the sheet names no audio file for it");
        else if (length < 0)
          fault = QStringLiteral("the audio file \"%1\" could not be read").arg(sheet.Files[t.File]);
        else if (length <= t.Start)
          fault = QStringLiteral("it starts past the end of \"%1\"").arg(sheet.Files[t.File]);
        else
          end = length;
      }
      if (end > t.Start)
        time = TrackTimeText((end - t.Start) * 1000 / kCueFramesPerSecond);
      else
        problems << QStringLiteral("%1: %2; its time is left empty.").arg(TrackLabel(t.Number, t.Title), fault);
    }
    lines << JoinTrackLine(name, time);
  }
  return lines;
}
