// The preview's arithmetic on printers of known metrics: printed size,
// the nine positions, the sheet in the panel, dragging, the cutting line and
// what reaches the printed page.
#include "PrintTestSupport.h"
#include "shell/ShellTestSupport.h"

#include "printing/formPrinter.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QRadioButton>

#include <memory>

namespace {

const QRgb kBlue = qRgb(30, 60, 200);

bool IsBlue(QRgb c) { return c == kBlue; }
bool IsBlack(QRgb c) { return qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) < 60; }

// The example printer: 600 dpi, printable 4800 wide from 100, Letter sheet.
TPrinterMetrics ExamplePrinter() { return MakeMetrics(600, 4800, 6400, 100, 100, 5100, 6600); }

struct TPreviewOn {
  explicit TPreviewOn(const TPrinterMetrics& m) : Printer(m)
  {
    Preview.resize(500, 502);  // a paint box of 498 × 500
    Preview.show();
    Preview.SetPrinter(&Printer);
    Preview.SetCover(&Cover);
    Preview.SetActualSize();
    Preview.SetPosition(cpCenter);
  }
  TTestPrinter Printer;
  QImage Cover = SolidCover(kBlue);
  TPrintPreview Preview;
};

}  // namespace

TEST(PrintPreview, PrintedSizeIs473InchesAtEveryResolution)
{
  TPreviewOn at600(MakeMetrics(600, 4800, 6400, 100, 100, 5100, 6600));
  EXPECT_EQ(at600.Preview.CoverWidth(), 2838);
  EXPECT_EQ(at600.Preview.CoverHeight(), 2838);
  TPreviewOn at300(MakeMetrics(300, 2400, 3200, 50, 50, 2550, 3300));
  EXPECT_EQ(at300.Preview.CoverWidth(), 1419);
  EXPECT_EQ(at300.Preview.CoverHeight(), 1419);
  // Unequal resolutions give a square on paper, not in pixels.
  TPrinterMetrics m = MakeMetrics(600, 4800, 6400, 100, 100, 5100, 6600);
  m.DpiY = 1200;
  TPreviewOn mixed(m);
  EXPECT_EQ(mixed.Preview.CoverWidth(), 2838);
  EXPECT_EQ(mixed.Preview.CoverHeight(), 5676);
}

TEST(PrintPreview, NinePositionsKeepCoverAndCuttingLineInsideThePrintableArea)
{
  TPreviewOn p(ExamplePrinter());
  TPrintPreview& v = p.Preview;
  v.SetPosition(cpCenter);
  EXPECT_EQ(v.CoverX(), 1081);
  EXPECT_EQ(v.CoverY(), 100 + (6400 - 2838) / 2);
  v.SetPosition(cpLeft);
  EXPECT_EQ(v.CoverX(), 100);
  // Flush with the printable area's right edge: its last column is 4899.
  v.SetPosition(cpRight);
  EXPECT_EQ(v.CoverX(), 2062);
  v.SetPosition(cpBottom);
  EXPECT_EQ(v.CoverY() + v.CoverHeight() - 1, 100 + 6400 - 1);

  // Every position, with and without the line: the cover, and the line when
  // it is drawn (one pixel outside the cover), lie within columns 100 … 4899
  // and rows 100 … 6499.
  for (bool line : {false, true}) {
    v.SetCuttingLine(line);
    for (int code = 0; code <= 8; ++code) {
      v.SetPosition(code);
      const int margin = line ? 1 : 0;
      EXPECT_GE(v.CoverX() - margin, 100) << code << line;
      EXPECT_LE(v.CoverX() + v.CoverWidth() - 1 + margin, 4899) << code << line;
      EXPECT_GE(v.CoverY() - margin, 100) << code << line;
      EXPECT_LE(v.CoverY() + v.CoverHeight() - 1 + margin, 6499) << code << line;
    }
  }
  // The line leaves room at the edges only: the centre stays, the edges move in by one.
  v.SetPosition(cpLeft);
  EXPECT_EQ(v.CoverX(), 101);
  v.SetPosition(cpRight);
  EXPECT_EQ(v.CoverX(), 2061);
  v.SetCuttingLine(false);
  EXPECT_EQ(v.CoverX(), 2062);
}

TEST(PrintPreview, SheetIsFittedIntoThePanel)
{
  TPreviewOn p(MakeMetrics(600, 4800, 6400, 150, 100, 5100, 6600));
  TPrintPreview& v = p.Preview;
  ASSERT_EQ(v.PaintBox()->size(), QSize(498, 500));
  EXPECT_EQ(v.PageRect().Width(), 348);
  EXPECT_EQ(v.PageRect().Height(), 450);
  EXPECT_DOUBLE_EQ(v.PreviewScale(), 348.0 / 5100.0);
  EXPECT_EQ(v.PageRect().Left, (498 - 348) / 2);
  EXPECT_EQ(v.PageRect().Top, 25);
  // The cover at its place: 2838 × 348 / 5100 = 193.7 preview pixels.
  EXPECT_EQ(v.CoverRect().Width(), 194);
  EXPECT_EQ(v.CoverRect().Left - v.PageRect().Left, qRound(v.CoverX() * 348.0 / 5100.0));

  // Small sheets grow, far too long ones keep one pixel.
  EXPECT_EQ(FitSheet(100, 50, 400, 400), QSize(400, 200));
  EXPECT_EQ(FitSheet(100000, 10, 400, 400), QSize(400, 1));
  EXPECT_EQ(FitSheet(10, 100000, 400, 400), QSize(1, 400));
  EXPECT_TRUE(FitSheet(0, 100, 400, 400).isEmpty());
  EXPECT_TRUE(FitSheet(100, 100, -10, 400).isEmpty());

  // A panel too small for a sheet shows silver only, and nothing breaks.
  v.resize(30, 30);
  EXPECT_EQ(v.PreviewScale(), 0.0);
  Press(v.PaintBox(), QPoint(5, 5));
  DragTo(v.PaintBox(), QPoint(9, 9));
  Release(v.PaintBox(), QPoint(9, 9));
  EXPECT_EQ(v.PaintBox()->grab().toImage().pixelColor(10, 10), QColor(0xC0, 0xC0, 0xC0));
}

TEST(PrintPreview, CuttingLineOnThePrintedPage)
{
  // 100 dpi: a cover of 473 pixels on a page of 800 × 1050.
  TPreviewOn p(MakeMetrics(100, 800, 1050, 25, 25, 850, 1100));
  TPrintPreview& v = p.Preview;
  v.SetCuttingLine(true);
  QString error;
  ASSERT_TRUE(v.PrintCover(p.Cover, "t", error)) << error.toStdString();
  EXPECT_EQ(p.Printer.Jobs, 1);
  const QImage& page = p.Printer.Page;
  const QRect cover = BoxWhere(page, IsBlue);
  // In job coordinates, which start at the printable area's corner.
  EXPECT_EQ(cover, QRect(v.CoverX() - 25, v.CoverY() - 25, 473, 473));

  // Dotted lines across the page, one pixel outside on the left and top,
  // directly after the last column and row on the right and bottom.
  for (int y : {cover.top() - 1, cover.bottom() + 1}) {
    EXPECT_GT(CountInRow(page, y, IsBlack), 800 / 4) << y;
    EXPECT_LT(CountInRow(page, y, IsBlack), 800 * 2 / 3) << y;
  }
  for (int x : {cover.left() - 1, cover.right() + 1}) EXPECT_GT(CountInColumn(page, x, IsBlack), 1050 / 4) << x;
  for (int y : {cover.top() - 2, cover.top(), cover.bottom(), cover.bottom() + 2})
    EXPECT_LE(CountInRow(page, y, IsBlack), 2) << y;  // only where the two vertical lines cross
  for (int x : {cover.left() - 2, cover.left(), cover.right(), cover.right() + 2})
    EXPECT_LE(CountInColumn(page, x, IsBlack), 2) << x;

  // Without the line nothing but the cover is printed.
  v.SetCuttingLine(false);
  ASSERT_TRUE(v.PrintCover(p.Cover, "t", error));
  EXPECT_EQ(BoxWhere(p.Printer.Page, [](QRgb c) { return c != qRgb(255, 255, 255); }),
            BoxWhere(p.Printer.Page, IsBlue));
}

TEST(PrintPreview, DraggedPlaceIsPrintedUntilARadioItemIsChosen)
{
  auto owned = std::make_unique<TTestPrinter>(MakeMetrics(100, 800, 1050, 25, 25, 850, 1100));
  TTestPrinter* printer = owned.get();
  TfrmPrinter frm(nullptr, std::move(owned));
  frm.show();
  frm.ShowCover(SolidCover(kBlue));
  TPrintPreview* v = frm.Preview();
  const TRect before = v->CoverRect();
  const int x0 = v->CoverX(), y0 = v->CoverY();

  // Far beyond the sheet: there is no limit.
  const QPoint from((before.Left + before.Right) / 2, (before.Top + before.Bottom) / 2);
  Drag(v->PaintBox(), from, from + QPoint(400, -300));
  EXPECT_EQ(v->CoverRect().Left, before.Left + 400);
  EXPECT_EQ(v->CoverX(), qRound((v->CoverRect().Left - v->PageRect().Left) / v->PreviewScale()));
  EXPECT_GT(v->CoverX(), 850);
  EXPECT_LT(v->CoverY(), 0);
  EXPECT_EQ(v->Position(), int(cpCenter));

  // A smaller drag, printed where it was dropped.
  frm.findChild<QRadioButton*>("rbCenter")->click();
  Drag(v->PaintBox(), from, from + QPoint(-30, 20));
  const int dx = v->CoverX() - x0, dy = v->CoverY() - y0;
  EXPECT_NEAR(dx, -30 / v->PreviewScale(), 1 / v->PreviewScale());
  EXPECT_NEAR(dy, 20 / v->PreviewScale(), 1 / v->PreviewScale());
  // A resize of the window keeps the dragged place.
  frm.resize(800, 700);
  EXPECT_EQ(v->CoverX(), x0 + dx);
  frm.btnPrintClick();
  EXPECT_EQ(BoxWhere(printer->Page, IsBlue).topLeft(), QPoint(x0 + dx - 25, y0 + dy - 25));

  // The cutting line does not move a dragged cover.
  frm.findChild<QCheckBox*>("cboxCuttingLine")->click();
  EXPECT_EQ(v->CoverX(), x0 + dx);

  frm.findChild<QRadioButton*>("rbLeftTop")->click();
  EXPECT_EQ(v->CoverX(), 26);
  EXPECT_EQ(v->CoverY(), 26);
  frm.btnPrintClick();
  EXPECT_EQ(BoxWhere(printer->Page, IsBlue).topLeft(), QPoint(1, 1));
  EXPECT_EQ(printer->Jobs, 2);
  frm.findChild<QCheckBox*>("cboxCuttingLine")->click();
}

TEST(PrintPreview, PrintSetupKeepsTheSizeAndCancelChangesNothing)
{
  auto owned = std::make_unique<TTestPrinter>(ExamplePrinter());
  TTestPrinter* printer = owned.get();
  TfrmPrinter frm(nullptr, std::move(owned));
  frm.show();
  frm.ShowCover(SolidCover(kBlue));
  TPrintPreview* v = frm.Preview();
  frm.findChild<QRadioButton*>("rbRightBottom")->click();
  const QPoint from((v->CoverRect().Left + v->CoverRect().Right) / 2, (v->CoverRect().Top + v->CoverRect().Bottom) / 2);
  Drag(v->PaintBox(), from, from - QPoint(10, 10));
  const int x = v->CoverX(), y = v->CoverY();

  printer->OnSetup = [](TPrinterMetrics& m) {
    m = MakeMetrics(300, 2400, 3200, 50, 50, 2550, 3300);
    return false;  // cancelled
  };
  frm.btnPrintSetupClick();
  EXPECT_EQ(v->CoverWidth(), 2838);
  EXPECT_EQ(v->CoverX(), x);
  EXPECT_EQ(v->CoverY(), y);
  EXPECT_EQ(v->Metrics(), ExamplePrinter());

  // Another printer at 300 dpi: still 4.73 inches, at the chosen radio item.
  printer->OnSetup = [](TPrinterMetrics& m) {
    m = MakeMetrics(300, 2400, 3200, 50, 50, 2550, 3300);
    return true;
  };
  frm.btnPrintSetupClick();
  EXPECT_EQ(v->CoverWidth(), 1419);
  EXPECT_DOUBLE_EQ(v->CoverWidth() / double(v->Metrics().DpiX), 4.73);
  EXPECT_EQ(v->CoverX(), 50 + 2400 - 1419);
  EXPECT_EQ(v->CoverY(), 50 + 3200 - 1419);
  frm.btnPrintClick();
  EXPECT_EQ(BoxWhere(printer->Page, IsBlue).size(), QSize(1419, 1419));
}
