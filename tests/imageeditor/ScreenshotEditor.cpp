// Pictures of the image editor for the README, or the editor on a file of
// your own:
//   jkt_screenshot_editor OUTDIR      writes screenshot-imageeditor.png and
//                                     screenshot-tool-{brightness,emboss,sharpen}.png
//   jkt_screenshot_editor --edit FILE opens FILE in the editor window
#include "imageeditor/ImageEditor.h"
#include "imageeditor/ToolBase.h"
#include "imageeditor/formImageEditor.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <cstdio>

namespace {

// A made-up landscape: sky, sun, two rows of hills and a lake.
QImage Landscape(int w, int h)
{
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, h * 0.6);
  sky.setColorAt(0, QColor(38, 84, 160));
  sky.setColorAt(1, QColor(250, 190, 120));
  p.fillRect(img.rect(), sky);
  QRadialGradient sun(w * 0.7, h * 0.42, h * 0.16);
  sun.setColorAt(0, QColor(255, 250, 220));
  sun.setColorAt(0.5, QColor(255, 220, 140));
  sun.setColorAt(1, QColor(255, 200, 120, 0));
  p.fillRect(img.rect(), sun);
  auto hills = [&](double base, double amp, double freq, QColor near, QColor far) {
    QPainterPath path;
    path.moveTo(0, h);
    for (int x = 0; x <= w; x += 4)
      path.lineTo(x, h * base - amp * h * (0.5 + 0.5 * std::sin(x * freq / w + base * 7)) *
                                  (0.7 + 0.3 * std::sin(x * freq * 2.3 / w)));
    path.lineTo(w, h);
    QLinearGradient g(0, h * (base - amp), 0, h);
    g.setColorAt(0, far);
    g.setColorAt(1, near);
    p.fillPath(path, g);
  };
  hills(0.62, 0.16, 9.0, QColor(70, 90, 120), QColor(120, 120, 150));
  hills(0.74, 0.14, 6.0, QColor(30, 70, 40), QColor(80, 120, 60));
  QLinearGradient lake(0, h * 0.82, 0, h);
  lake.setColorAt(0, QColor(90, 130, 170));
  lake.setColorAt(1, QColor(30, 60, 100));
  p.fillRect(QRectF(0, h * 0.84, w, h * 0.16), lake);
  p.end();
  return img.convertToFormat(QImage::Format_BGR888);
}

bool SaveGrab(QWidget* w, const QString& file)
{
  w->repaint();
  return w->grab().save(file, "PNG");
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2 && !(argc == 3 && QByteArray(argv[1]) == "--edit")) {
    std::fprintf(stderr, "usage: jkt_screenshot_editor OUTDIR | --edit FILE\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Jacketeer"));

  QWidget main;
  main.setWindowTitle(QStringLiteral("Jacketeer"));
  main.resize(735, 585);
  TfrmImageEditor frm(&main);
  if (argc == 3) {
    main.show();
    const QString saved = frm.EditFile(QString::fromLocal8Bit(argv[2]));
    if (!saved.isEmpty()) std::printf("saved %s\n", qPrintable(saved));
    return 0;
  }

  const QDir out(QString::fromLocal8Bit(argv[1]));
  main.show();
  frm.SetPicture(Landscape(1100, 800));
  frm.SetPictureFile(QDir::homePath() + QStringLiteral("/Pictures/lakeside.jpg"));
  frm.show();

  int rc = 0;
  auto shot = [&](QWidget* w, const char* name) {
    if (!SaveGrab(w, out.filePath(QString::fromLatin1(name)))) rc = 1;
  };
  // Runs the event loop until the editor's current runs have ended.
  auto waitIdle = [&] {
    while (frm.Editor()->Running()) {
      QEventLoop loop;
      QObject::connect(frm.Editor(), &TImageEditor::Finished, &loop, &QEventLoop::quit);
      loop.exec();
    }
  };

  // The editor while a run is under way: the bar in the status bar.
  bool taken = false;
  QObject::connect(frm.Editor(), &TImageEditor::Progress, &frm, [&](int percent) {
    if (taken || percent < 45) return;
    taken = true;
    shot(&frm, "screenshot-imageeditor.png");
  });
  QTimer::singleShot(300, [&] {
    // Dragged towards the lake and the sun.
    frm.Editor()->ViewMouseDown(Qt::LeftButton, 500, 400);
    frm.Editor()->ViewMouseMove(300, 150);
    frm.Editor()->ViewMouseUp();
    frm.Editor()->RunMiddle(31);
    waitIdle();
    frm.Editor()->Restore();

    // Three dialogs as a user leaves them after a change.
    TfrmToolBase* brightness = frm.Tool(QStringLiteral("muEffectBC"));
    brightness->show();
    brightness->Slider(0)->setValue(24);
    waitIdle();
    brightness->Slider(1)->setValue(-12);
    waitIdle();
    shot(brightness, "screenshot-tool-brightness.png");
    brightness->close();

    auto* emboss = static_cast<TfrmToolDirection*>(frm.Tool(QStringLiteral("muEffectEmboss")));
    emboss->show();
    emboss->Slider(0)->setValue(4);
    emboss->Pad()->Button(3)->click();
    waitIdle();
    shot(emboss, "screenshot-tool-emboss.png");
    emboss->close();

    TfrmToolBase* sharpen = frm.Tool(QStringLiteral("muEffectSharpen"));
    sharpen->show();
    waitIdle();
    shot(sharpen, "screenshot-tool-sharpen.png");
    sharpen->close();
    waitIdle();
    app.quit();
  });
  app.exec();
  if (!taken) rc = 1;
  return rc;
}
