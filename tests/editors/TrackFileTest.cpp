// Track lines and the track list file: the separator rules, line ends and
// encodings of files written on Windows, and files that must neither hang
// nor flood the program.
#include "editors/TrackFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
  const QString path = dir.filePath(name);
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
  return path;
}

}  // namespace

TEST(TrackLine, SeparatorRules)
{
  auto split = [](const char* line) {
    const TTrackLine t = SplitTrackLine(QString::fromUtf8(line));
    return t.Name + QChar('/') + t.Time;
  };
  EXPECT_EQ(split("Track01|||0:00"), "Track01/0:00");
  EXPECT_EQ(split("Ends with|||"), "Ends with/");
  EXPECT_EQ(split("No separator"), "No separator/");
  EXPECT_EQ(split("Two|||3:00|||extra"), "Two/3:00|||extra");
  EXPECT_EQ(split("|||4:10"), "/4:10");
  EXPECT_EQ(ZeroPad(1, 2), "01");
  EXPECT_EQ(ZeroPad(12, 2), "12");
  EXPECT_EQ(ZeroPad(100, 2), "100");
}

TEST(TrackFile, LineEndsAndEncodings)
{
  // CR LF, lone CR and lone LF each end a line; a last line needs no end; an
  // empty line is a track of its own; a final CR LF adds nothing.
  EXPECT_EQ(TrackLinesFromBytes("A|||1\r\nB|||2\rC|||3\nD|||4"),
            QStringList({"A|||1", "B|||2", "C|||3", "D|||4"}));
  EXPECT_EQ(TrackLinesFromBytes("A\r\n\r\nB\r\n"), QStringList({"A", "", "B"}));
  EXPECT_EQ(TrackLinesFromBytes("A\n\rB"), QStringList({"A", "", "B"}));
  EXPECT_TRUE(TrackLinesFromBytes("").isEmpty());
  // UTF-8, and Windows-1252 from files written on Windows.
  EXPECT_EQ(TrackLinesFromBytes("Caf\xC3\xA9|||3:00"), QStringList({QStringLiteral("Café|||3:00")}));
  EXPECT_EQ(TrackLinesFromBytes("Caf\xE9 \x93Noir\x94|||3:00"),
            QStringList({QStringLiteral("Café \u201CNoir\u201D|||3:00")}));
  // Control characters (a NUL, a tab) become blanks.
  EXPECT_EQ(TrackLinesFromBytes(QByteArray("A\0B\tC", 5)), QStringList({"A B C"}));
}

TEST(TrackFile, CapsOnHugeAndBinaryFiles)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());

  // Tens of megabytes of short lines: the first kMaxTrackLines are taken.
  QByteArray many;
  for (int i = 0; many.size() < 20 * 1024 * 1024; ++i) many += "Song " + QByteArray::number(i) + "|||3:00\r\n";
  QStringList lines;
  QString error;
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(ReadTrackFile(Write(dir, "many.dat", many), lines, error)) << error.toStdString();
  ASSERT_EQ(lines.size(), kMaxTrackLines);
  EXPECT_EQ(lines.first(), "Song 0|||3:00");
  EXPECT_EQ(lines.last(), QStringLiteral("Song %1|||3:00").arg(kMaxTrackLines - 1));

  // One line of 30 MB without an end, of two-byte UTF-8 letters: cut to the
  // line cap on a letter boundary, still read as UTF-8.
  QByteArray wide;
  wide.reserve(30 * 1024 * 1024);
  while (wide.size() < 30 * 1024 * 1024) wide += "\xC3\xA9";
  ASSERT_TRUE(ReadTrackFile(Write(dir, "wide.dat", "x" + wide), lines, error));
  ASSERT_EQ(lines.size(), 1);
  EXPECT_EQ(lines[0].size(), kMaxTrackLineLength);
  EXPECT_EQ(lines[0].mid(1), QString(kMaxTrackLineLength - 1, QChar(0xE9)));

  // Random bytes: some lines, none longer than the cap, no control characters.
  QByteArray noise(4 * 1024 * 1024, '\0');
  std::mt19937 gen(5);
  for (char& c : noise) c = char(gen() & 0xFF);
  ASSERT_TRUE(ReadTrackFile(Write(dir, "noise.dat", noise), lines, error));
  EXPECT_FALSE(lines.isEmpty());
  EXPECT_LE(lines.size(), kMaxTrackLines);
  for (const QString& line : lines) {
    EXPECT_LE(line.size(), kMaxTrackLineLength);
    for (QChar c : line) ASSERT_GE(c.unicode(), 0x20);
  }
  EXPECT_LT(timer.elapsed(), 10000);
}

TEST(TrackFile, RefusesWhatCanNotBeRead)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QStringList before{"Keep|||1:00"};
  QStringList lines = before;
  QString error;

  // A FIFO in the file's place: refused at once, not waited on.
  const QString fifo = dir.filePath("Tracks.dat");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_FALSE(ReadTrackFile(fifo, lines, error));
  EXPECT_TRUE(error.contains(fifo));
  EXPECT_EQ(lines, before);

  EXPECT_FALSE(ReadTrackFile(dir.filePath("missing.dat"), lines, error));
  EXPECT_EQ(lines, before);

  if (::geteuid() != 0) {
    const QString locked = Write(dir, "locked.dat", "A|||1\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    EXPECT_FALSE(ReadTrackFile(locked, lines, error));
    EXPECT_EQ(error, QStringLiteral("Cannot open file \"%1\". Permission denied").arg(locked));
    EXPECT_EQ(lines, before);
  }
}
