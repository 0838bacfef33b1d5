// libFuzzer harness for the cue sheet reader: every input is read as a
// sheet, and its track lines are made once with no file length known and
// once with every file 10 minutes long. Any crash, hang or sanitizer report
// is a fault of the reader.
#include "editors/CueSheet.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const TCueSheet sheet = ParseCueSheet(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  for (const TCueTrack& t : sheet.Tracks)
    if (t.File >= int(sheet.Files.size()) || t.Start < -1) std::abort();
  QStringList problems;
  const QStringList unknown = CueTrackLines(sheet, {}, problems);
  const QStringList known = CueTrackLines(
      sheet, [](int) -> int64_t { return int64_t(10) * 60 * kCueFramesPerSecond; }, problems);
  if (unknown.size() != qsizetype(sheet.Tracks.size()) || known.size() != unknown.size()) std::abort();
  // A name never carries the separator, nor ends in a bar that would join it:
  // what follows the first "|||" is the time alone.
  for (const QString& line : known) {
    const QString time = line.mid(line.indexOf(QLatin1String("|||")) + 3);
    for (QChar c : time)
      if (c != QChar(':') && !c.isDigit()) std::abort();
  }
  return 0;
}
