// Opens the background editor of the main window on a cover, picks a
// top-to-bottom gradient and a centred picture as a user would, applies them
// with OK and saves a picture of the editor beside the cover:
// jkt_screenshot_background OUT_FILE. Its settings and work folder live in a
// temporary folder of its own.
#include "ScreenshotSupport.h"
#include "canvas/LabelShower.h"
#include "editors/LayerEditors.h"
#include "editors/formBackgroundProperty.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRadialGradient>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

// A band with a record and the bars of a level meter, drawn here so the
// picture is our own; wider than high, so the gradient shows above and below.
QString MakeBand(const QString& path)
{
  QImage img(400, 200, QImage::Format_RGB32);
  img.fill(QColor(0x14, 0x12, 0x1c));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient shine(100, 100, 85, 80, 75);
  shine.setColorAt(0, QColor(0x4a, 0x4a, 0x55));
  shine.setColorAt(1, QColor(0x15, 0x15, 0x1a));
  p.setBrush(shine);
  p.setPen(QColor(0x05, 0x05, 0x08));
  p.drawEllipse(QPointF(100, 100), 85, 85);
  p.setBrush(Qt::NoBrush);
  p.setPen(QColor(0x30, 0x30, 0x38));
  for (int r = 36; r < 82; r += 5) p.drawEllipse(QPointF(100, 100), r, r);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xe0, 0x5a, 0x3c));
  p.drawEllipse(QPointF(100, 100), 30, 30);
  p.setBrush(QColor(0x14, 0x12, 0x1c));
  p.drawEllipse(QPointF(100, 100), 3, 3);
  const int levels[] = {60, 110, 150, 90, 130, 170, 120, 80, 140, 100, 60, 40};
  for (int i = 0; i < 12; ++i) {
    p.setBrush(QColor::fromHsv(20 + 3 * i, 170, 240));
    p.drawRoundedRect(QRectF(205 + 15.5 * i, 185 - levels[i], 10, levels[i]), 2, 2);
  }
  p.end();
  img.save(path, "BMP");
  return path;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: jkt_screenshot_background OUT_FILE\n");
    return 2;
  }
  QTemporaryDir home;
  qputenv("TMPDIR", home.filePath(QStringLiteral("tmp")).toLocal8Bit());
  QDir().mkpath(home.filePath(QStringLiteral("tmp")));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Jacketeer"));

  TSettings settings(home.filePath(QStringLiteral("JKTA.ini")));
  for (int n = 1; n <= TSettings::HintCount; ++n) settings.SetShowHint(n, false);
  TfrmHints hints(settings);
  TfrmMain frm(settings, hints);
  if (!frm.StartedWell()) return 1;
  TLayerEditors* editors = AttachLayerEditors(frm);
  frm.show();
  TCoverDocument& doc = frm.Canvas()->Document();
  doc.AddTextLayer(40, 30, QStringLiteral("Vinyl Evenings"), QStringLiteral("Times New Roman"),
                   MakeColor(255, 255, 255), fsBold, true, true, 390, 70);

  // The viewer's part of "Select image": the picture becomes the background.
  TfrmBackgroundProperty* e = editors->BackgroundEditor();
  const QString band = MakeBand(home.filePath(QStringLiteral("band.bmp")));
  e->OnSelectImage = [&] {
    const TBackgroundInfo b = e->Settings();
    doc.SetBackground(band, b.ImageMode, b.StartColor, b.EndColor, b.Vertical, true);
    e->BackgroundPictureChosen(band);
  };

  auto pick = [e](const char* panel, QColor colour) {
    QTimer::singleShot(0, e, [e, colour] {
      e->ColorDialog()->setCurrentColor(colour);
      e->ColorDialog()->accept();
    });
    QTest::mouseClick(Child<QWidget>(e, panel), Qt::LeftButton);
  };

  e->LoadBackground(doc.Background());
  e->show();
  Child<QRadioButton>(e, "rbGradientfill")->click();
  pick("plStartColor", QColor(0x2b, 0x1d, 0x4e));
  pick("plEndColor", QColor(0xe8, 0x8e, 0x5a));
  Child<QComboBox>(e, "comboxVertical")->setCurrentIndex(1);
  Child<QPushButton>(e, "btnGetImage")->click();
  Child<QPushButton>(e, "btnOk")->click();
  e->show();
  QApplication::processEvents();
  const bool ok = SaveBeside(e, frm.Canvas(), QString::fromLocal8Bit(argv[1]));
  e->hide();

  doc.SetModified(false);
  frm.close();
  return ok ? 0 : 1;
}
