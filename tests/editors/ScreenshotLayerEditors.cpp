// Opens each layer editor of the main window on a cover, makes a change in
// it as a user would, and saves a picture of the editor beside the cover that
// shows the change: jkt_screenshot_layer_editors OUT_FOLDER writes
// screenshot-text-layer-editor.png, screenshot-tracks-layer-editor.png,
// screenshot-tracks-import.png (the tracks editor after an import from a cue
// sheet) and screenshot-picture-layer-editor.png. Its settings and work folder live in a
// temporary folder of its own.
#include "ScreenshotSupport.h"
#include "canvas/LabelShower.h"
#include "editors/FontCtls.h"
#include "editors/LayerEditors.h"
#include "editors/TrackImportControls.h"
#include "editors/formImageProperty.h"
#include "editors/formTextProperty.h"
#include "editors/formTracksProperty.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

namespace {

// A small landscape at dusk, drawn here so the picture is our own.
QString MakePhoto(const QString& path)
{
  QImage img(600, 400, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 400);
  sky.setColorAt(0, QColor(0x1b, 0x26, 0x5a));
  sky.setColorAt(0.55, QColor(0xf2, 0x8a, 0x5c));
  sky.setColorAt(1, QColor(0xfb, 0xd3, 0x8a));
  p.fillRect(img.rect(), sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xff, 0xe9, 0xa8));
  p.drawEllipse(QPointF(390, 250), 55, 55);
  // Two ranges of hills, the nearer one darker.
  const struct {
    double y0, c1x, c1y, c2x, c2y, x1, y1, c3x, c3y, c4x, c4y, y2;
    QColor colour;
  } hills[] = {{300, 120, 220, 200, 280, 300, 240, 420, 190, 500, 270, 230, QColor(0x5a, 0x3b, 0x5c)},
               {350, 150, 300, 260, 370, 380, 330, 470, 300, 540, 340, 320, QColor(0x2a, 0x1c, 0x33)}};
  for (const auto& h : hills) {
    QPainterPath path;
    path.moveTo(0, h.y0);
    path.cubicTo(h.c1x, h.c1y, h.c2x, h.c2y, h.x1, h.y1);
    path.cubicTo(h.c3x, h.c3y, h.c4x, h.c4y, 600, h.y2);
    path.lineTo(600, 400);
    path.lineTo(0, 400);
    p.setBrush(h.colour);
    p.drawPath(path);
  }
  p.end();
  img.save(path, "BMP");
  return path;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: jkt_screenshot_layer_editors OUT_FOLDER\n");
    return 2;
  }
  QTemporaryDir home;
  qputenv("TMPDIR", home.filePath(QStringLiteral("tmp")).toLocal8Bit());
  QDir().mkpath(home.filePath(QStringLiteral("tmp")));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Jacketeer"));
  const QDir out(QString::fromLocal8Bit(argv[1]));

  TSettings settings(home.filePath(QStringLiteral("JKTA.ini")));
  for (int n = 1; n <= TSettings::HintCount; ++n) settings.SetShowHint(n, false);
  TfrmHints hints(settings);
  TfrmMain frm(settings, hints);
  if (!frm.StartedWell()) return 1;
  TLayerEditors* editors = AttachLayerEditors(frm);
  frm.show();

  TCoverDocument& doc = frm.Canvas()->Document();
  const QString font = QStringLiteral("Times New Roman");
  doc.SetBackground(QString(), imCenter, MakeColor(0x1c, 0x2c, 0x4c), int32_t(MakeColor(0x9d, 0xbb, 0xe8)), true,
                    false);
  doc.AddPictureLayer(60, 235, MakePhoto(home.filePath(QStringLiteral("dusk.bmp"))), 0, 0, 600, 400);
  doc.AddTextLayer(40, 30, QStringLiteral("Midnight Drive"), font, MakeColor(255, 255, 255), fsBold, true, true, 390,
                   90);
  doc.AddTracksLayer(40, 130, {QStringLiteral("Night Falls|||3:41"), QStringLiteral("Neon Rain|||4:05"),
                               QStringLiteral("Empty Roads|||5:12"), QStringLiteral("Last Exit|||3:58")},
                     font, MakeColor(255, 240, 200), 0, true, true, 30, 390, 110, taLeft);
  bool ok = true;

  // Text: a new title in italics and gold, previewed with Enter.
  {
    TfrmTextProperty* e = editors->TextEditor();
    const TTextLayerInfo t = doc.GetTextLayer(2);
    e->LoadTextLayer(2, t.Left, t.Top, t.Text, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth, t.Width,
                     t.Height);
    e->show();
    QTest::keyClicks(e->TextEdit(), QStringLiteral("Night Drive"));
    QTest::keyClick(e->TextEdit(), Qt::Key_Return);
    Child<QCheckBox>(e, "cboxItalic")->click();
    QTimer::singleShot(0, e, [e] {
      e->ColorDialog()->setCurrentColor(QColor(0xff, 0xcf, 0x4a));
      e->ColorDialog()->accept();
    });
    QTest::mouseClick(Child<QWidget>(e, "plColor"), Qt::LeftButton);
    doc.SelectLayer(2);
    frm.Canvas()->TickMarks();
    e->FontList()->scrollToItem(e->FontList()->currentItem(), QAbstractItemView::PositionAtCenter);
    QApplication::processEvents();
    ok &= SaveBeside(e, frm.Canvas(), out.filePath(QStringLiteral("screenshot-text-layer-editor.png")));
    e->accept();
  }

  // Tracks: a fifth track added and typed, the list centred.
  {
    TfrmTracksProperty* e = editors->TracksEditor();
    const TTracksLayerInfo t = doc.GetTracksLayer(3);
    e->LoadTracksLayer(3, t.Left, t.Top, *t.Tracks, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth,
                       t.LineSpace, t.Width, t.Height, t.Alignment);
    e->show();
    Child<QToolButton>(e, "btnAdd")->click();
    QTableWidget* grid = e->Grid();
    grid->item(4, 1)->setText(QStringLiteral("Morning Light"));
    grid->item(4, 2)->setText(QStringLiteral("6:20"));
    grid->setCurrentCell(4, 2);
    Child<QRadioButton>(e, "rbCenter")->click();
    doc.SelectLayer(3);
    frm.Canvas()->TickMarks();
    QApplication::processEvents();
    ok &= SaveBeside(e, frm.Canvas(), out.filePath(QStringLiteral("screenshot-tracks-layer-editor.png")));
    e->accept();
  }

  // Tracks from the album's own files: a cue sheet beside its disc image and
  // a cover picture, imported; the picture is offered as the background.
  {
    const QDir album(home.filePath(QStringLiteral("album")));
    album.mkpath(QStringLiteral("."));
    for (const char* name : {"utf8_bom_crlf.cue", "album.flac"})
      QFile::copy(QStringLiteral(JKT_TEST_DATA "/cuesheet/") + QLatin1String(name), album.filePath(QLatin1String(name)));
    MakePhoto(album.filePath(QStringLiteral("cover.bmp")));
    TfrmTracksProperty* e = editors->TracksEditor();
    const TTracksLayerInfo t = doc.GetTracksLayer(3);
    e->LoadTracksLayer(3, t.Left, t.Top, *t.Tracks, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth,
                       t.LineSpace, t.Width, t.Height, t.Alignment);
    e->show();
    QSignalSpy imported(e->ImportControls(), &TTrackImportControls::Imported);
    e->ImportControls()->Import({album.filePath(QStringLiteral("utf8_bom_crlf.cue"))});
    ok &= imported.wait(10000);
    e->Grid()->setCurrentCell(1, 1);
    doc.SelectLayer(3);
    frm.Canvas()->TickMarks();
    QApplication::processEvents();
    ok &= SaveBeside(e, frm.Canvas(), out.filePath(QStringLiteral("screenshot-tracks-import.png")));
    e->reject();
  }

  // Picture: soft edges of 30 % and 20 %, applied with Ok.
  {
    TfrmImageProperty* e = editors->ImageEditor();
    const TPictureLayerInfo p = doc.GetPictureLayer(1);
    e->LoadBitmaps(*p.Picture, *p.Mask);
    e->LoadValues(1, p.Left, p.Top, p.SoftV, p.SoftH);
    e->show();
    e->SliderV()->setValue(20);
    e->SliderH()->setValue(30);
    QSignalSpy built(e, &TfrmImageProperty::PreviewBuilt);
    built.wait(2000);
    QTest::mouseClick(Child<QWidget>(e, "btnOk"), Qt::LeftButton);
    doc.SelectLayer(-1);
    e->show();
    QApplication::processEvents();
    ok &= SaveBeside(e, frm.Canvas(), out.filePath(QStringLiteral("screenshot-picture-layer-editor.png")));
    e->hide();
  }

  doc.SetModified(false);
  frm.close();
  return ok ? 0 : 1;
}
