#include "editors/TrackFile.h"

#include "project/IniFile.h"
#include "project/WorkFolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes kept of one line before decoding: enough for kMaxTrackLineLength
// characters of any encoding.
constexpr qsizetype kLineByteCap = qsizetype(kMaxTrackLineLength) * 4;

// Splits the byte stream into lines (CR LF, CR or LF), keeping at most
// kLineByteCap bytes of each and at most kMaxTrackLines lines.
class TLineSplitter {
public:
  void Feed(const char* data, qsizetype size)
  {
    for (qsizetype i = 0; i < size && !Full(); ++i) {
      const char c = data[i];
      if (c == '\r') {
        EndLine();
        m_afterCr = true;
      } else if (c == '\n') {
        if (!m_afterCr) EndLine();
        m_afterCr = false;
      } else {
        m_afterCr = false;
        m_open = true;
        // Copy the run up to the next line end in one step.
        qsizetype j = i;
        while (j < size && data[j] != '\r' && data[j] != '\n') ++j;
        const qsizetype room = kLineByteCap - m_line.size();
        if (room > 0) m_line.append(data + i, std::min(room, j - i));
        i = j - 1;
      }
    }
  }
  void Finish()
  {
    if (m_open && !Full()) EndLine();
  }
  bool Full() const { return m_lines.size() >= kMaxTrackLines; }
  const QList<QByteArray>& Lines() const { return m_lines; }

private:
  void EndLine()
  {
    if (Full()) return;
    if (m_line.size() >= kLineByteCap) CutAtSequenceStart(m_line);
    m_lines << m_line;
    m_line.clear();
    m_open = false;
  }
  // A cut line must not end inside a UTF-8 sequence, or the whole text would
  // no longer be valid UTF-8 and be read as Windows-1252.
  static void CutAtSequenceStart(QByteArray& line)
  {
    qsizetype start = line.size();
    int continuation = 0;
    while (start > 0 && continuation < 4 && (uint8_t(line[start - 1]) & 0xC0) == 0x80) {
      --start;
      ++continuation;
    }
    if (start == 0) return;
    const uint8_t lead = uint8_t(line[start - 1]);
    const int need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (need > continuation) line.truncate(start - 1);
  }

  QList<QByteArray> m_lines;
  QByteArray m_line;
  bool m_afterCr = false;
  bool m_open = false;
};

QStringList DecodeLines(const QList<QByteArray>& raw)
{
  QStringList lines;
  if (raw.isEmpty()) return lines;
  lines = TIniFile::DecodeText(raw.join('\n')).split(QChar('\n'));
  for (QString& line : lines) line = CapTrackLineText(line);
  return lines;
}

QString ErrnoText(int err)
{
  return QString::fromLocal8Bit(std::strerror(err));
}

}  // namespace

QString CapTrackLineText(QString line)
{
  if (line.size() > kMaxTrackLineLength) {
    qsizetype cut = kMaxTrackLineLength;
    if (line[cut - 1].isHighSurrogate()) --cut;
    line.truncate(cut);
  }
  for (QChar& c : line)
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QChar(' ');
  return line;
}

TTrackLine SplitTrackLine(const QString& line)
{
  const qsizetype at = line.indexOf(QLatin1String(kTrackSeparator));
  if (at < 0) return {line, QString()};
  return {line.left(at), line.mid(at + 3)};
}

QString JoinTrackLine(const QString& name, const QString& time)
{
  return name + QLatin1String(kTrackSeparator) + time;
}

QString ZeroPad(int number, int digits)
{
  QString s = QString::number(number);
  if (s.size() < digits) s.prepend(QString(digits - s.size(), QChar('0')));
  return s;
}

bool SameLines(const QStringList& a, const QStringList& b)
{
  return a == b;
}

QString TrackFilePath()
{
  return TemporaryFolderPath() + QStringLiteral("/Tracks.dat");
}

QStringList TrackLinesFromBytes(const QByteArray& bytes)
{
  TLineSplitter splitter;
  splitter.Feed(bytes.constData(), bytes.size());
  splitter.Finish();
  return DecodeLines(splitter.Lines());
}

bool ReadTrackFile(const QString& fileName, QStringList& lines, QString& error)
{
  auto fail = [&](int err) {
    error = QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, ErrnoText(err));
    return false;
  };
  // Opened without waiting, so a FIFO put in the file's place can not hang
  // the program; anything but a regular file is refused.
  const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return fail(err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    error = QStringLiteral("Cannot open file \"%1\". It is not a regular file.").arg(fileName);
    return false;
  }
  TLineSplitter splitter;
  char buffer[64 * 1024];
  int64_t total = 0;
  while (!splitter.Full() && total < kMaxTrackFileBytes) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return fail(err);
    }
    if (n == 0) break;
    total += n;
    splitter.Feed(buffer, n);
  }
  ::close(fd);
  splitter.Finish();
  lines = DecodeLines(splitter.Lines());
  return true;
}
