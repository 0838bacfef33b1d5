#include "editors/CueSheet.h"
#include "editors/TrackImport.h"

#include "imagelib/ImageLoader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

QString Audio(const QString& name) { return TestDataPath(QStringLiteral("audio/") + name); }
QString Cue(const QString& name) { return TestDataPath(QStringLiteral("cuesheet/") + name); }

QByteArray FileBytes(const QString& path)
{
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string Joined(const QStringList& list) { return list.join(QChar('\n')).toStdString(); }

}  // namespace

// ---------------------------------------------------------------- cue sheets

TEST(CueSheetImport, Utf8WithByteOrderMarkAndCrLfTimesFromIndexesAndTheAlbumFile)
{
  // The sheet names "album.wav"; the rip beside it was converted to FLAC.
  const TTrackImport r = ImportTracks({Cue("utf8_bom_crlf.cue")});
  EXPECT_EQ(r.Lines, QStringList({QStringLiteral("Erste Stunde|||1:02"),
                                  QStringLiteral("Guest Singer - Grüße aus Köln|||1:08"),
                                  QStringLiteral("Dritter Satz|||1:10")}))
      << Joined(r.Lines);
  EXPECT_TRUE(r.Problems.isEmpty()) << Joined(r.Problems);
  EXPECT_FALSE(r.Stopped);
}

TEST(CueSheetImport, Windows1252WithLfAndAMissingAlbumFile)
{
  const TTrackImport r = ImportTracks({Cue("cp1252_lf.cue")});
  EXPECT_EQ(r.Lines, QStringList({QStringLiteral("Première – été|||3:05"), QStringLiteral("Deuxième|||3:55"),
                                  QStringLiteral("Fin|||")}))
      << Joined(r.Lines);
  ASSERT_EQ(r.Problems.size(), 1) << Joined(r.Problems);
  EXPECT_TRUE(r.Problems[0].contains("Track 03 \"Fin\"")) << Joined(r.Problems);
  EXPECT_TRUE(r.Problems[0].contains("gone.flac")) << Joined(r.Problems);
}

TEST(CueSheetImport, FaultyIndexesAndOrderKeepEveryReadableTrackAndNameTheRest)
{
  const TTrackImport r = ImportTracks({Cue("faults.cue")});
  EXPECT_EQ(r.Lines, QStringList({QStringLiteral("One|||1:00"), QStringLiteral("Two|||"), QStringLiteral("Three|||"),
                                  QStringLiteral("Four|||"), QStringLiteral("Five|||0:20")}))
      << Joined(r.Lines);
  const QString all = r.Problems.join(QChar('\n'));
  EXPECT_EQ(r.Problems.size(), 4) << all.toStdString();
  EXPECT_TRUE(all.contains("\"Nameless\" has no track number")) << all.toStdString();
  EXPECT_TRUE(all.contains("Track 02 \"Two\": the next track's start is unknown")) << all.toStdString();
  EXPECT_TRUE(all.contains("Track 03 \"Three\": no INDEX 01")) << all.toStdString();
  EXPECT_TRUE(all.contains("Track 04 \"Four\": INDEX 01 \"02:3x:00\" is not a time")) << all.toStdString();
}

TEST(CueSheetParse, LooseSyntaxOfHandWrittenSheets)
{
  // Lower-case commands, unquoted values, a lone CR, UTF-16 with its mark, a
  // separator inside a title and an unterminated quote.
  const QString text = QStringLiteral("performer Band\rfile disc one.wav wave\r\n"
                                      "track 1 audio\n title Up|||Down\n index 01 00:00:00\n"
                                      "TRACK 2 AUDIO\nTITLE \"Open end\nINDEX 01 100:00:74\n");
  QByteArray utf16("\xFF\xFE");
  utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
  const TCueSheet sheet = ParseCueSheet(utf16);
  EXPECT_EQ(sheet.Performer, "Band");
  EXPECT_EQ(sheet.Files, QStringList{"disc one.wav"});
  ASSERT_EQ(sheet.Tracks.size(), 2u);
  EXPECT_EQ(sheet.Tracks[0].Title, "Up||Down");
  EXPECT_EQ(sheet.Tracks[1].Title, "Open end");
  EXPECT_EQ(sheet.Tracks[1].Start, (100 * 60) * 75 + 74);
  QStringList problems;
  const QStringList lines =
      CueTrackLines(sheet, [](int) -> int64_t { return (100 * 60 + 30) * 75; }, problems);
  EXPECT_EQ(lines, QStringList({QStringLiteral("Up||Down|||100:01"), QStringLiteral("Open end|||0:29")}));
  EXPECT_TRUE(problems.isEmpty()) << Joined(problems);
}

// ---------------------------------------------------------------- audio files

TEST(AudioFileRead, EachFormatGivesTagsLengthAndFrontCover)
{
  const QByteArray jpeg = FileBytes(Audio("embedded.jpg"));
  const QByteArray png = FileBytes(Audio("embedded.png"));
  ASSERT_FALSE(jpeg.isEmpty());
  struct TCase {
    const char* File;
    const char* Title;
    int Disc, Track;
    int64_t MinMs, MaxMs;
    QByteArray Picture;
  } cases[] = {
      {"01-flac.flac", "Erste Stunde", 1, 1, 65000, 65000, jpeg},
      {"mp3.mp3", "Second Song", 1, 2, 2250, 2450, jpeg},  // type "other": taken when there is no front
      {"vorbis.ogg", "Dritter Satz", 1, 3, 3250, 3350, jpeg},
      {"opus.opus", "Zweite Seite", 2, 1, 1250, 1350, jpeg},
      {"aac.m4a", "Letzte Runde", 2, 2, 4250, 4500, png},
      {"untagged tone.wav", "untagged tone", 0, 0, 1600, 1600, QByteArray()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    TAudioInfo info;
    QString error;
    QByteArray picture;
    ASSERT_TRUE(ReadAudioFile(Audio(c.File), info, error, &picture)) << error.toStdString();
    EXPECT_EQ(info.Title, QString::fromUtf8(c.Title));
    EXPECT_EQ(info.Disc, c.Disc);
    EXPECT_EQ(info.Track, c.Track);
    EXPECT_GE(info.LengthMs, c.MinMs);
    EXPECT_LE(info.LengthMs, c.MaxMs);
    EXPECT_EQ(picture, c.Picture);
  }
}

TEST(AudioFileImport, FolderOrderedByDiscTrackAndNameWithDamagedFilesNamed)
{
  std::vector<int> percents;
  const TTrackImport r = ImportTracks({TestDataPath("audio")}, [&](int p) {
    percents.push_back(p);
    return true;
  });
  EXPECT_EQ(r.Lines, QStringList({QStringLiteral("Erste Stunde|||1:05"),
                                  QStringLiteral("Guest Singer - Second Song|||0:02"),
                                  QStringLiteral("Dritter Satz|||0:03"), QStringLiteral("plain|||0:02"),
                                  QStringLiteral("untagged tone|||0:02"), QStringLiteral("Zweite Seite|||0:01"),
                                  QStringLiteral("Letzte Runde|||0:04")}))
      << Joined(r.Lines);
  ASSERT_EQ(r.Problems.size(), 2) << Joined(r.Problems);
  EXPECT_TRUE(r.Problems.join(' ').contains("\"damaged.flac\"")) << Joined(r.Problems);
  EXPECT_TRUE(r.Problems.join(' ').contains("\"notes.mp3\"")) << Joined(r.Problems);
  EXPECT_EQ(r.Picture.Data, FileBytes(Audio("embedded.jpg")));  // from the first file in name order
  ASSERT_FALSE(percents.empty());
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.back(), 100);

  // Stopping ends it at once and says so.
  int calls = 0;
  const TTrackImport stopped = ImportTracks({TestDataPath("audio")}, [&](int) { return ++calls < 3; });
  EXPECT_TRUE(stopped.Stopped);
  EXPECT_EQ(calls, 3);
}

TEST(AudioFileImport, ChosenFilesSkipDamagedUnknownAndSpecialFiles)
{
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString fifo = dir.filePath("waiting.flac");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const TTrackImport r = ImportTracks(
      {Audio("mp3.mp3"), Audio("damaged.flac"), Audio("embedded.jpg"), fifo, dir.filePath("gone.ogg")});
  EXPECT_EQ(r.Lines, QStringList{QStringLiteral("Guest Singer - Second Song|||0:02")}) << Joined(r.Lines);
  EXPECT_EQ(r.Problems.size(), 4) << Joined(r.Problems);
  for (const char* name : {"damaged.flac", "embedded.jpg", "waiting.flac", "gone.ogg"})
    EXPECT_TRUE(r.Problems.join(' ').contains(QString::fromLatin1(name))) << name;
}

TEST(AlbumPicture, BesideTheFilesAndEmbeddedPngWrittenForTheLoader)
{
  const TTrackImport plain = ImportTracks({TestDataPath("audio/plain")});
  EXPECT_EQ(plain.Lines, QStringList{QStringLiteral("plain|||0:02")});
  EXPECT_EQ(plain.Picture.FileName, TestDataPath("audio/plain/Folder.BMP"));

  // The M4A cover is a PNG: written as it is (it was re-encoded as JPEG).
  QTemporaryDir dir;
  TAlbumPicture picture;
  picture.Data = FileBytes(Audio("embedded.png"));
  QString fileName, error;
  ASSERT_TRUE(SaveAlbumPicture(picture, dir.path(), fileName, error)) << error.toStdString();
  EXPECT_TRUE(fileName.endsWith(".png")) << fileName.toStdString();
  QImage image;
  ASSERT_TRUE(LoadImageFile(fileName, image, 470, 470)) << fileName.toStdString();
  EXPECT_EQ(image.size(), QSize(6, 4));
  const uint32_t c = PixelAt(image, 3, 2);  // 0x00BBGGRR of #2040a0
  EXPECT_NEAR(int(c & 0xFF), 0x20, 3);
  EXPECT_NEAR(int((c >> 8) & 0xFF), 0x40, 3);
  EXPECT_NEAR(int((c >> 16) & 0xFF), 0xA0, 3);
  // A second picture never overwrites the first.
  QString second;
  ASSERT_TRUE(SaveAlbumPicture(picture, dir.path(), second, error));
  EXPECT_NE(second, fileName);
}
