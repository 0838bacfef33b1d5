// The program on the desktop: the files that tell the desktop about it pass
// the desktop's own validators, the command line answers as its manual says,
// and thumbnails are written for good projects and refused for hostile ones,
// all by the real program in its own process.
#include "TestSupport.h"
#include "canvas/CoverDocument.h"
#include "imagelib/ImageLoader.h"
#include "project/ProjectCover.h"
#include "project/ProjectFile.h"
#include "shell/CommandLine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <csignal>
#include <sys/stat.h>

namespace {

const QString kProgram = QStringLiteral(JKT_PROGRAM);
const QString kSource = QStringLiteral(JKT_SOURCE_DIR);
const QString kBinary = QStringLiteral(JKT_BINARY_DIR);
const QString kMimeType = QStringLiteral("application/x-jacketeer-project");

struct TRun {
  int Code = -1;
  QProcess::ExitStatus Status = QProcess::CrashExit;
  QByteArray Out, Err;
};

TRun RunTool(const QString& program, const QStringList& args, const QProcessEnvironment& env, int timeoutMs = 60000)
{
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  TRun r;
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished();
    r.Err = "timed out";
    return r;
  }
  r.Code = p.exitCode();
  r.Status = p.exitStatus();
  r.Out = p.readAllStandardOutput();
  r.Err = p.readAllStandardError();
  return r;
}

// The environment of a file manager's background job, without a display:
// the program may not try to reach one (the xcb platform would abort).
QProcessEnvironment NoDisplay(const QString& tempFolder)
{
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  env.insert(QStringLiteral("TMPDIR"), tempFolder);
  return env;
}

QStringList Entries(const QString& folder)
{
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray Int64(qint64 v)
{
  QByteArray b;
  for (int i = 0; i < 8; ++i) b.append(char((quint64(v) >> (8 * i)) & 0xFF));
  return b;
}

// key=value lines of one group of a desktop-entry style file.
QMap<QString, QString> EntryKeys(const QString& path)
{
  QMap<QString, QString> keys;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return keys;
  for (const QByteArray& line : f.readAll().split('\n')) {
    const qsizetype eq = line.indexOf('=');
    if (eq > 0 && !line.startsWith('#')) keys[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1));
  }
  return keys;
}

// A cover with a gradient, a picture layer and a text, saved as a project.
QString MakeProject(const QString& folder)
{
  TCoverDocument doc;
  doc.SetWorkFolder(folder + QStringLiteral("/work"));
  doc.NewCover();
  doc.SetBackground(QString(), imCenter, 0x2040C0, 0x00FF00, false, false);
  const QString pic = folder + QStringLiteral("/photo.bmp");
  PhotoBitmap(300, 200).save(pic, "BMP");
  doc.AddPictureLayer(60, 40, pic, 10, 10, 300, 200);
  doc.AddTextLayer(100, 330, QStringLiteral("Thumbnail"), QStringLiteral("Liberation Sans"), 0x0000FF, fsBold, true,
                   true, 250, 80);
  const QString project = folder + QStringLiteral("/cover.jkp");
  QString error;
  return SaveProject(doc, project, error) ? project : QString();
}

}  // namespace

// ---------------------------------------------------------------- the desktop's files

TEST(DesktopFiles, EntryMetainfoAndFileTypeValidateAndAgree)
{
  const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  const QString desktop = kSource + QStringLiteral("/resources/jacketeer.desktop");
  const QString metainfo = kBinary + QStringLiteral("/org.jacketeer.Jacketeer.metainfo.xml");

  TRun r = RunTool(QStringLiteral("desktop-file-validate"), {desktop}, env);
  EXPECT_EQ(r.Code, 0) << "desktop-file-validate (desktop-file-utils) is missing or failed: " << r.Err.toStdString();
  EXPECT_EQ(r.Out + r.Err, QByteArray());
  r = RunTool(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo}, env);
  EXPECT_EQ(r.Code, 0) << "appstreamcli (appstream) is missing or failed:\n" << r.Out.toStdString() << r.Err.toStdString();

  // The file type compiles into a MIME database that maps *.jkp to it.
  QTemporaryDir mime;
  ASSERT_TRUE(QDir(mime.path()).mkpath(QStringLiteral("packages")));
  ASSERT_TRUE(QFile::copy(kSource + QStringLiteral("/resources/jacketeer-mime.xml"),
                          mime.filePath(QStringLiteral("packages/jacketeer.xml"))));
  r = RunTool(QStringLiteral("update-mime-database"), {mime.path()}, env);
  ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
  QFile globs(mime.filePath(QStringLiteral("globs2")));
  ASSERT_TRUE(globs.open(QIODevice::ReadOnly));
  EXPECT_TRUE(globs.readAll().contains(":application/x-jacketeer-project:*.jkp\n"));
  EXPECT_TRUE(QFileInfo::exists(kSource + QStringLiteral("/resources/icons/application-x-jacketeer-project.svg")));

  // The desktop entry takes a file of that type; the thumbnailer makes
  // pictures of that type with the program's own option.
  const auto entry = EntryKeys(desktop);
  EXPECT_EQ(entry.value(QStringLiteral("Exec")), QStringLiteral("jacketeer %f"));
  EXPECT_EQ(entry.value(QStringLiteral("MimeType")), kMimeType + ';');
  const auto thumbnailer = EntryKeys(kSource + QStringLiteral("/resources/jacketeer.thumbnailer"));
  EXPECT_EQ(thumbnailer.value(QStringLiteral("Exec")), QStringLiteral("jacketeer --thumbnail %s %i %o"));
  EXPECT_EQ(thumbnailer.value(QStringLiteral("MimeType")), kMimeType + ';');

  // The metainfo provides the type and names this version as its newest
  // release.
  QFile meta(metainfo);
  ASSERT_TRUE(meta.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&meta);
  QStringList mediatypes, releases;
  while (xml.readNextStartElement() || !xml.atEnd()) {
    if (xml.isStartElement() && xml.name() == QLatin1String("mediatype")) mediatypes << xml.readElementText();
    if (xml.isStartElement() && xml.name() == QLatin1String("release"))
      releases << xml.attributes().value(QLatin1String("version")).toString();
    if (!xml.isStartElement()) xml.readNext();
  }
  EXPECT_EQ(mediatypes, QStringList({kMimeType}));
  ASSERT_FALSE(releases.isEmpty());
  EXPECT_EQ(releases.first(), QStringLiteral(JKT_VERSION));
}

// ---------------------------------------------------------------- command line

TEST(CommandLine, HelpVersionAndUnknownOptionsNeedNoDisplay)
{
  QTemporaryDir temp;
  const QProcessEnvironment env = NoDisplay(temp.path());

  TRun r = RunTool(kProgram, {QStringLiteral("--help")}, env);
  EXPECT_EQ(r.Status, QProcess::NormalExit);
  EXPECT_EQ(r.Code, 0);
  EXPECT_EQ(r.Err, QByteArray());
  for (const char* word : {"--export-png", "--print-pdf", "--thumbnail", "PROJECT.jkp", "--version", "--help"})
    EXPECT_TRUE(r.Out.contains(word)) << word;
  EXPECT_EQ(RunTool(kProgram, {QStringLiteral("-h")}, env).Out, r.Out);

  r = RunTool(kProgram, {QStringLiteral("--version")}, env);
  EXPECT_EQ(r.Code, 0);
  EXPECT_EQ(r.Out, QByteArray("jacketeer " JKT_VERSION "\n"));

  for (const QStringList& args : {QStringList{QStringLiteral("--frobnicate")},
                                  QStringList{QStringLiteral("a.jkp"), QStringLiteral("--frobnicate")},
                                  QStringList{QStringLiteral("a.jkp"), QStringLiteral("b.jkp")},
                                  QStringList{QStringLiteral("a.jkp"), QStringLiteral("--thumbnail")}}) {
    r = RunTool(kProgram, args, env);
    EXPECT_EQ(r.Status, QProcess::NormalExit) << args.join(' ').toStdString();
    EXPECT_EQ(r.Code, 2) << args.join(' ').toStdString();
    EXPECT_EQ(r.Out, QByteArray());
    EXPECT_TRUE(r.Err.startsWith("jacketeer: ")) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains("Usage: jacketeer")) << r.Err.toStdString();
  }
  // Nothing was made in the temporary folder.
  EXPECT_EQ(Entries(temp.path()), QStringList());
}

TEST(CommandLine, FileArgumentsBecomeFullPaths)
{
  const QString cwd = QDir::currentPath();
  TCommandLine c = ParseCommandLine({QStringLiteral("cover.jkp")});
  EXPECT_EQ(c.Kind, TCommandLine::ckStart);
  EXPECT_EQ(c.File, cwd + QStringLiteral("/cover.jkp"));
  // "--" lets a name that starts with a minus through; a file URL is a path.
  c = ParseCommandLine({QStringLiteral("--"), QStringLiteral("-odd.jkp")});
  EXPECT_EQ(c.File, cwd + QStringLiteral("/-odd.jkp"));
  c = ParseCommandLine({QStringLiteral("file:///tmp/my%20cover.jkp")});
  EXPECT_EQ(c.File, QStringLiteral("/tmp/my cover.jkp"));
  // Qt's options and their values are no files.
  c = ParseCommandLine({QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("/p/a.jkp")});
  EXPECT_EQ(c.Kind, TCommandLine::ckStart);
  EXPECT_EQ(c.File, QStringLiteral("/p/a.jkp"));
  EXPECT_EQ(ParseCommandLine({QStringLiteral("-style")}).Kind, TCommandLine::ckWrongUsage);
  EXPECT_EQ(ParseCommandLine({}).File, QString());
}

// ---------------------------------------------------------------- thumbnails

TEST(Thumbnail, WritesTheCoverAtTheAskedSizeAndLeavesNothingBehind)
{
  QTemporaryDir dir, temp;
  const QString project = MakeProject(dir.path());
  ASSERT_FALSE(project.isEmpty());
  QProcessEnvironment env = NoDisplay(temp.path());
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
  env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
  const QString out = dir.filePath(QStringLiteral("out.png"));
  ASSERT_TRUE(WriteBytes(out, "an older thumbnail"));

  const TRun r = RunTool(kProgram, {QStringLiteral("--thumbnail"), QStringLiteral("256"), project, out}, env);
  ASSERT_EQ(r.Status, QProcess::NormalExit);
  ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
  EXPECT_EQ(r.Out + r.Err, QByteArray());
  QImage thumb(out, "PNG");
  ASSERT_EQ(thumb.size(), QSize(256, 256));

  // It is the print cover, made smaller.
  QImage cover, expected;
  QString error;
  const QTemporaryDir work;
  ASSERT_TRUE(RenderProjectPrintCover(project, work.path(), cover, error)) << error.toStdString();
  ResampleBitmap(cover, expected, 256, 256, 0xFFFFFF);
  thumb = thumb.convertToFormat(QImage::Format_BGR888);
  double diff = 0;
  for (int y = 0; y < 256; ++y) {
    const uint8_t* a = thumb.constScanLine(y);
    const uint8_t* b = expected.constScanLine(y);
    for (int x = 0; x < 256 * 3; ++x) diff += std::abs(int(a[x]) - int(b[x]));
  }
  EXPECT_LT(diff / (256 * 256 * 3), 3.0);

  // Nothing else was written: no temporary, configuration or data files.
  EXPECT_EQ(Entries(temp.path()), QStringList());
  EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("config"))));
  EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("data"))));

  for (int size : {128, 1024}) {
    const QString sized = dir.filePath(QStringLiteral("out%1.png").arg(size));
    EXPECT_EQ(RunTool(kProgram, {QStringLiteral("--thumbnail"), QString::number(size), project, sized}, env).Code, 0);
    EXPECT_EQ(QImage(sized, "PNG").size(), QSize(size, size));
  }
}

TEST(Thumbnail, HostileProjectsAndWrongUsageAreRefused)
{
  QTemporaryDir dir, temp;
  const QString good = MakeProject(dir.path());
  ASSERT_FALSE(good.isEmpty());
  QFile g(good);
  ASSERT_TRUE(g.open(QIODevice::ReadOnly));
  const QByteArray goodBytes = g.readAll();
  g.close();
  const QProcessEnvironment env = NoDisplay(temp.path());
  const QString out = dir.filePath(QStringLiteral("out.png"));
  auto thumbnail = [&](const QString& size, const QString& project, const QString& output) {
    return RunTool(kProgram, {QStringLiteral("--thumbnail"), size, project, output}, env, 30000);
  };

  struct TCase {
    const char* Name;
    QByteArray Bytes;
  };
  const QByteArray ini = "[Common]\r\nLayerNumber=1\r\n";
  const std::vector<TCase> damaged = {
      {"foreign.jkp", "This is not a project at all, just some text."},
      {"truncated.jkp", goodBytes.left(goodBytes.size() / 2)},
      {"huge-sizes.jkp", ini + Int64(qint64(1) << 62) + Int64(qint64(1) << 62)},
      {"overflow.jkp", ini + Int64(std::numeric_limits<qint64>::max()) + Int64(std::numeric_limits<qint64>::max())},
      {"negative.jkp", ini + Int64(-1) + Int64(ini.size() + 1)},
  };
  for (const TCase& c : damaged) {
    const QString path = dir.filePath(QString::fromLatin1(c.Name));
    ASSERT_TRUE(WriteBytes(path, c.Bytes));
    const TRun r = thumbnail(QStringLiteral("256"), path, out);
    EXPECT_EQ(r.Status, QProcess::NormalExit) << c.Name;
    EXPECT_EQ(r.Code, 1) << c.Name << ": " << r.Err.toStdString();
    EXPECT_TRUE(r.Err.startsWith("jacketeer: ")) << c.Name << ": " << r.Err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out)) << c.Name;
  }

  // A FIFO, a folder: refused without being opened (a FIFO would block).
  const QString fifo = dir.filePath(QStringLiteral("fifo.jkp"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString folder = dir.filePath(QStringLiteral("folder.jkp"));
  ASSERT_TRUE(QDir().mkdir(folder));
  for (const QString& path : {fifo, folder}) {
    const TRun r = thumbnail(QStringLiteral("256"), path, out);
    EXPECT_EQ(r.Code, 1) << path.toStdString();
    EXPECT_TRUE(r.Err.contains("is not a regular file")) << r.Err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
  }

  // The output may be neither the project itself nor a folder.
  TRun r = thumbnail(QStringLiteral("256"), good, good);
  EXPECT_EQ(r.Code, 1);
  EXPECT_TRUE(r.Err.contains("is the project itself")) << r.Err.toStdString();
  ASSERT_TRUE(g.open(QIODevice::ReadOnly));
  EXPECT_EQ(g.readAll(), goodBytes);
  g.close();
  r = thumbnail(QStringLiteral("256"), good, folder);
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(Entries(folder), QStringList());

  // A picture claiming 65535 × 65535 pixels in a few bytes is not drawn;
  // the rest of the cover is.
  QByteArray gif = "GIF89a";
  gif += QByteArray::fromHex("ffffffff000000") + ',' + QByteArray::fromHex("00000000ffffffff00") +
         QByteArray::fromHex("02024c0100") + ';';
  const QByteArray hugeIni = "[Common]\r\nLayerNumber=2\r\n[Layer0]\r\nFileName=\r\nStartColor=255\r\nEndColor=-1\r\n"
                             "[Layer1]\r\nLeft=10\r\nTop=10\r\nFileName=C:\\huge.gif\r\nImageStart=0\r\nImageEnd=" +
                             QByteArray::number(gif.size()) +
                             "\r\nBoundWidth=400\r\nBoundHeight=400\r\nActualWidth=65535\r\nActualHeight=65535\r\n";
  const QString huge = dir.filePath(QStringLiteral("huge-picture.jkp"));
  ASSERT_TRUE(WriteBytes(huge, gif + hugeIni + Int64(gif.size()) + Int64(hugeIni.size())));
  r = thumbnail(QStringLiteral("128"), huge, out);
  EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
  const QImage red = QImage(out, "PNG").convertToFormat(QImage::Format_BGR888);
  ASSERT_EQ(red.size(), QSize(128, 128));
  EXPECT_EQ(PixelAt(red, 64, 64), 0x0000FFu);
  QFile::remove(out);

  // Wrong usage: the usage, status 2.
  for (const QStringList& args :
       {QStringList{QStringLiteral("abc"), good, out}, QStringList{QStringLiteral("64"), good, out},
        QStringList{QStringLiteral("2048"), good, out}, QStringList{QStringLiteral("256"), good}}) {
    r = RunTool(kProgram, QStringList{QStringLiteral("--thumbnail")} + args, env);
    EXPECT_EQ(r.Code, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.Err.contains("usage: jacketeer --thumbnail SIZE PROJECT.jkp OUT.png")) << r.Err.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(out));
  EXPECT_EQ(Entries(temp.path()), QStringList());
}

TEST(Thumbnail, StoppedByTheFileManagerItRemovesItsFolder)
{
  QTemporaryDir dir, temp;
  const QString project = MakeProject(dir.path());
  ASSERT_FALSE(project.isEmpty());
  const QString out = dir.filePath(QStringLiteral("out.png"));
  QFileSystemWatcher watcher({temp.path()});
  QSignalSpy made(&watcher, &QFileSystemWatcher::directoryChanged);

  QProcess p;
  p.setProcessEnvironment(NoDisplay(temp.path()));
  p.start(kProgram, {QStringLiteral("--thumbnail"), QStringLiteral("256"), project, out});
  ASSERT_TRUE(made.wait(20000));  // its folder is there: the work has begun
  ::kill(pid_t(p.processId()), SIGTERM);
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);  // ended by the signal, as asked
  EXPECT_EQ(Entries(temp.path()), QStringList());
  EXPECT_FALSE(QFileInfo::exists(out));
}
