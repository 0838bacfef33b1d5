// jacketeer --print-pdf run as a program; the PDF is rendered by poppler's
// pdftoppm at 600 dots per inch and the cover measured on the sheet.
#include "PrintTestSupport.h"

#include "canvas/CoverDocument.h"
#include "printing/PrintPdf.h"
#include "project/ProjectFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// The cover's colour, (40, 90, 160), as pdftoppm's grey.
bool IsCover(QRgb c) { return qGray(c) > 60 && qGray(c) < 120; }
bool IsBlack(QRgb c) { return qGray(c) < 30; }

struct TRun {
  int Status = -1;
  QString Errors;
};

TRun Jacketeer(const QStringList& args)
{
  QProcess p;
  p.start(QStringLiteral(JKT_PROGRAM), QStringList{QStringLiteral("--print-pdf")} + args);
  if (!p.waitForFinished(60000)) return {};
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardError())};
}

QString RunTool(const QString& program, const QStringList& args)
{
  QProcess p;
  p.start(program, args);
  p.waitForFinished(120000);
  EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << " " << p.readAllStandardError().toStdString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The sheet as pdftoppm draws it at 600 dpi, in grey.
QImage Render(const QString& pdf, const QTemporaryDir& dir)
{
  const QString prefix = dir.filePath(QFileInfo(pdf).completeBaseName());
  RunTool(QStringLiteral("pdftoppm"), {"-r", "600", "-gray", "-singlefile", pdf, prefix});
  QImageReader::setAllocationLimit(256);  // a Letter sheet at 600 dpi is 34 million pixels
  return QImage(prefix + QStringLiteral(".pgm"));
}

class PrintPdf : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(dir.isValid());
    TCoverDocument doc;
    doc.SetWorkFolder(dir.filePath("work"));
    doc.NewCover();
    doc.SetBackground(QString(), imCenter, MakeColor(40, 90, 160), -1, false, false);
    QString error;
    ASSERT_TRUE(SaveProject(doc, project, error)) << error.toStdString();
  }

  QTemporaryDir dir;
  const QString project = dir.filePath("cover.jkp");
};

}  // namespace

TEST_F(PrintPdf, A4CentredCoverIs473InchesSquareOnOnePage)
{
  const QString pdf = dir.filePath("a4.pdf");
  const TRun run = Jacketeer({project, pdf});
  ASSERT_EQ(run.Status, 0) << run.Errors.toStdString();
  const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
  EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
  EXPECT_TRUE(info.contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x 842(\\.\\d+)? pts \\(A4\\)")))
      << info.toStdString();

  const QImage sheet = Render(pdf, dir);
  ASSERT_FALSE(sheet.isNull());
  const QRect cover = BoxWhere(sheet, IsCover);
  EXPECT_NEAR(cover.width(), 2838, 1);  // 4.73 inches at 600 dpi
  EXPECT_NEAR(cover.height(), 2838, 1);
  EXPECT_LE(std::abs(cover.left() - (sheet.width() - 1 - cover.right())), 1);
  EXPECT_LE(std::abs(cover.top() - (sheet.height() - 1 - cover.bottom())), 1);
  // No cutting line: nothing black anywhere.
  EXPECT_TRUE(BoxWhere(sheet, IsBlack).isNull());
}

TEST_F(PrintPdf, LetterRightBottomWithCuttingLineInsideTheSheet)
{
  const QString pdf = dir.filePath("letter.pdf");
  const TRun run = Jacketeer({project, pdf, "--paper", "Letter", "--position", "RightBottom", "--cutting-line"});
  ASSERT_EQ(run.Status, 0) << run.Errors.toStdString();
  const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
  EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
  EXPECT_TRUE(info.contains(QStringLiteral("612 x 792 pts (letter)"))) << info.toStdString();

  const QImage sheet = Render(pdf, dir);
  ASSERT_EQ(sheet.size(), QSize(5100, 6600));
  const QRect cover = BoxWhere(sheet, IsCover);
  EXPECT_EQ(cover, QRect(5100 - 1 - 2838, 6600 - 1 - 2838, 2838, 2838));
  // The dotted lines: one pixel outside on the left and top, directly after
  // the last column and row on the right and bottom, the latter two on the
  // sheet's last column and row.
  for (int x : {cover.left() - 1, 5099}) EXPECT_GT(CountInColumn(sheet, x, IsBlack), 6600 / 4) << x;
  for (int y : {cover.top() - 1, 6599}) EXPECT_GT(CountInRow(sheet, y, IsBlack), 5100 / 4) << y;
  for (int x : {cover.left() - 2, cover.left(), cover.right()}) EXPECT_LE(CountInColumn(sheet, x, IsBlack), 2) << x;
  for (int y : {cover.top() - 2, cover.top(), cover.bottom()}) EXPECT_LE(CountInRow(sheet, y, IsBlack), 2) << y;
}

TEST_F(PrintPdf, FailuresAndWrongUsage)
{
  QFile bad(dir.filePath("bad.jkp"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("not a project at all");
  bad.close();
  const QString out = dir.filePath("out.pdf");

  // Damaged or missing project, unwritable place: 1, a message, no file.
  for (const QStringList& args : {QStringList{bad.fileName(), out}, QStringList{dir.filePath("none.jkp"), out},
                                  QStringList{project, dir.filePath("no/such/folder/out.pdf")},
                                  QStringList{project, dir.path()}}) {
    const TRun run = Jacketeer(args);
    EXPECT_EQ(run.Status, 1) << args.join(' ').toStdString();
    EXPECT_TRUE(run.Errors.startsWith("jacketeer: ")) << run.Errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
  }
  // The project itself is never overwritten.
  const QByteArray before = [&] {
    QFile f(project);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  EXPECT_EQ(Jacketeer({project, project}).Status, 1);
  QFile again(project);
  ASSERT_TRUE(again.open(QIODevice::ReadOnly));
  EXPECT_EQ(again.readAll(), before);
  // Nothing is left behind beside the target either.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"bad.jkp", "cover.jkp"}));

  for (const QStringList& args :
       {QStringList{project}, QStringList{project, out, "--paper", "A3"}, QStringList{project, out, "--position"},
        QStringList{project, out, "--position", "Middle"}, QStringList{project, out, "--colour"},
        QStringList{project, out, "--cutting-line", "--cutting-line"}, QStringList{project, out, "extra"}}) {
    const TRun run = Jacketeer(args);
    EXPECT_EQ(run.Status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(run.Errors.contains("usage: jacketeer --print-pdf")) << run.Errors.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(out));

  TPrintPdfOptions options;
  QString error;
  ASSERT_TRUE(ParsePrintPdfArguments({"--position=lefttop", project, "--paper", "letter", out}, options, error));
  EXPECT_EQ(options.PositionItem, 5);
  EXPECT_EQ(options.Paper, QPageSize::Letter);
  EXPECT_EQ(options.Output, out);
  EXPECT_FALSE(options.CuttingLine);
}
