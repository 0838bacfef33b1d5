// The print preview window driven like a user: radio items, the cutting
// line, dragging the cover, seen in the painted preview; and the main
// window's Print on the desktop's printer, a PDF file when none is installed.
#include "PrintTestSupport.h"
#include "shell/ShellTestSupport.h"

#include "canvas/LabelShower.h"
#include "printing/DesktopPrinter.h"
#include "printing/formPrinter.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

const QRgb kCoverColour = qRgb(20, 140, 60);
const QRgb kSilver = qRgb(0xC0, 0xC0, 0xC0);

QImage Shot(TPrintPreview* v)
{
  return v->PaintBox()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb At(const QImage& img, int x, int y)
{
  return reinterpret_cast<const QRgb*>(img.constScanLine(y))[x];
}

bool IsCover(QRgb c) { return c == kCoverColour; }
bool IsBlack(QRgb c) { return c == qRgb(0, 0, 0); }
bool IsRed(QRgb c) { return c == qRgb(255, 0, 0); }

QRect Rect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

QString PdfInfo(const QString& file)
{
  QProcess p;
  p.start(QStringLiteral("pdfinfo"), {file});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

TEST(PrintWindow, RadioItemsCuttingLineAndDragShowInThePreview)
{
  // Letter at 300 dpi with a quarter-inch unprintable border.
  TfrmPrinter frm(nullptr, std::make_unique<TTestPrinter>(MakeMetrics(300, 2400, 3150, 75, 75, 2550, 3300)));
  frm.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  EXPECT_EQ(frm.windowTitle(), QStringLiteral("Print Preview"));
  EXPECT_EQ(frm.size(), QSize(619, 520));
  EXPECT_TRUE(frm.findChild<QRadioButton*>("rbCenter")->isChecked());
  EXPECT_FALSE(frm.findChild<QCheckBox*>("cboxCuttingLine")->isChecked());

  TPrintPreview* v = frm.Preview();
  EXPECT_FALSE(v->PaintBox()->isVisible());  // blank silver until a cover is set
  frm.ShowCover(SolidCover(kCoverColour));
  ASSERT_TRUE(v->PaintBox()->isVisible());

  // Silver around the white sheet, the cover centred in it, red lines at the
  // printable area across the whole box.
  QImage shot = Shot(v);
  const QRect page = Rect(v->PageRect());
  QRect cover = BoxWhere(shot, IsCover);
  EXPECT_EQ(At(shot, 2, 2), kSilver);
  EXPECT_EQ(At(shot, page.left() + 2, page.top() + 2), qRgb(255, 255, 255));
  EXPECT_EQ(cover, Rect(v->CoverRect()));
  EXPECT_LE(std::abs((cover.left() - page.left()) - (page.right() - cover.right())), 1);
  const int areaTop = page.top() + qRound(75 * v->PreviewScale());
  EXPECT_EQ(CountInRow(shot, areaTop, IsRed), shot.width());
  EXPECT_EQ(At(shot, 1, areaTop), qRgb(255, 0, 0));
  EXPECT_EQ(CountInRow(shot, cover.top() - 1, IsBlack), 0);

  // "RightTop": the cover's corner at the printable area's corner.
  QTest::mouseClick(frm.findChild<QRadioButton*>("rbRightTop"), Qt::LeftButton);
  shot = Shot(v);
  cover = BoxWhere(shot, IsCover);
  const int areaRight = page.left() + qRound((75 + 2400) * v->PreviewScale());
  EXPECT_NEAR(cover.top(), areaTop, 1);
  EXPECT_NEAR(cover.right() + 1, areaRight, 1);
  EXPECT_EQ(v->CoverX(), 75 + 2400 - v->CoverWidth());

  // The check box draws the dotted line around the cover.
  QTest::mouseClick(frm.findChild<QCheckBox*>("cboxCuttingLine"), Qt::LeftButton);
  EXPECT_TRUE(v->CuttingLine());
  shot = Shot(v);
  cover = BoxWhere(shot, IsCover);
  EXPECT_GT(CountInRow(shot, cover.bottom() + 1, IsBlack), page.width() / 4);
  EXPECT_GT(CountInColumn(shot, cover.left() - 1, IsBlack), page.height() / 4);
  EXPECT_LE(CountInRow(shot, cover.bottom() + 3, IsBlack), 2);  // only the vertical lines cross it

  // Dragging with the mouse: a pointing hand over the cover, the cover
  // follows, the radio item stays.
  const QPoint inside = cover.center();
  const QRect before = Rect(v->CoverRect());
  QTest::mouseMove(v->PaintBox(), QPoint(3, 3));
  EXPECT_EQ(v->PaintBox()->cursor().shape(), Qt::ArrowCursor);
  QTest::mouseMove(v->PaintBox(), inside);
  EXPECT_EQ(v->PaintBox()->cursor().shape(), Qt::PointingHandCursor);
  QTest::mousePress(v->PaintBox(), Qt::LeftButton, {}, inside);
  QTest::mouseMove(v->PaintBox(), inside + QPoint(-60, 40));
  QTest::mouseRelease(v->PaintBox(), Qt::LeftButton, {}, inside + QPoint(-60, 40));
  EXPECT_EQ(Rect(v->CoverRect()), before.translated(-60, 40));
  EXPECT_EQ(BoxWhere(Shot(v), IsCover), before.translated(-60, 40));
  EXPECT_TRUE(frm.findChild<QRadioButton*>("rbRightTop")->isChecked());
  // The right mouse button does not drag.
  QTest::mousePress(v->PaintBox(), Qt::RightButton, {}, inside + QPoint(-60, 40));
  QTest::mouseMove(v->PaintBox(), inside);
  QTest::mouseRelease(v->PaintBox(), Qt::RightButton, {}, inside);
  EXPECT_EQ(BoxWhere(Shot(v), IsCover), before.translated(-60, 40));

  // ShowCover again: "Center", the cutting line as it was.
  frm.ShowCover(SolidCover(kCoverColour));
  EXPECT_TRUE(frm.findChild<QRadioButton*>("rbCenter")->isChecked());
  EXPECT_TRUE(v->CuttingLine());
  EXPECT_EQ(v->Position(), int(cpCenter));
}

TEST(PrintWindow, MainWindowPrintsToAPdfFileWhenNoPrinterIsInstalled)
{
  if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is installed here";
  QTemporaryDir dir;
  TSettings settings(dir.filePath("JKTA.ini"));
  for (int n = 1; n <= TSettings::HintCount; ++n) settings.SetShowHint(n, false);
  TfrmHints hints(settings);
  TfrmMain main(settings, hints);
  ASSERT_TRUE(main.StartedWell());
  auto* btnMainPrint = main.findChild<QToolButton*>("btnPrint");
  EXPECT_FALSE(btnMainPrint->isEnabled());
  TfrmPrinter frm(&main);
  main.SetPrintWindow(&frm);
  EXPECT_TRUE(btnMainPrint->isEnabled());
  main.show();
  main.Canvas()->Document().SetBackground(QString(), imCenter, 0x3C8C14, -1, false, false);

  // The sheet is the locale's paper, all of it printable.
  const QSizeF paper = LocalePaperSize().size(QPageSize::Inch);
  const TPrinterMetrics m = frm.Printer()->Metrics();
  EXPECT_EQ(m.DpiX, 600);
  EXPECT_EQ(m.OffsetX, 0);
  EXPECT_EQ(m.PrintWidth, m.PaperWidth);
  EXPECT_NEAR(m.PaperWidth, paper.width() * 600, 5);  // the PDF's page is in whole points
  EXPECT_NEAR(m.PaperHeight, paper.height() * 600, 5);

  const QString pdf = dir.filePath("printed.pdf");
  bool shown = false, setupAsked = false;
  int coverX = -1;
  AnswerNextModal([&](QWidget* modal) {
    shown = modal == &frm;
    coverX = frm.Preview()->CoverX();
    // "Print setup" shows the printer dialog; cancelling it changes nothing.
    AnswerNextModal(
        [&](QWidget* setup) {
          setupAsked = qobject_cast<QPrintDialog*>(setup) != nullptr;
          static_cast<QDialog*>(setup)->reject();
        },
        &frm);
    frm.findChild<QPushButton*>("btnPrintSetup")->click();
    EXPECT_EQ(frm.Preview()->CoverX(), coverX);
    // "Print" asks for the file name.
    AnswerNextModal([&](QWidget* files) { AnswerFileDialog(files, pdf); }, &frm);
    frm.findChild<QPushButton*>("btnPrint")->click();
    frm.reject();
  });
  btnMainPrint->click();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(setupAsked);
  EXPECT_EQ(coverX, (m.PrintWidth - 2838) / 2);
  ASSERT_TRUE(QFileInfo::exists(pdf));
  const QString info = PdfInfo(pdf);
  EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
  const QSizeF points = LocalePaperSize().size(QPageSize::Point);
  EXPECT_TRUE(info.contains(QStringLiteral("Page size:       %1 x %2 pts").arg(points.width()).arg(points.height())))
      << info.toStdString();
  EXPECT_EQ(frm.Printer()->OutputFile(), pdf);
}
