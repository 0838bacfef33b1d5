// One keystroke in an editor until the cover shows it: a letter typed and
// Enter pressed in the text editor, and in a cell of the tracks editor with a
// list of 20 tracks, each time re-rendering the layer, composing a cover of
// several layers and painting the editing area. The target is 30 ms.
#include "canvas/LabelShower.h"
#include "editors/formTextProperty.h"
#include "editors/formTracksProperty.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace {

// A picture file in the bench's own folder: a diagonal gradient with a disc.
QString Picture(const QTemporaryDir& dir, int w, int h, QColor tint)
{
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient g(0, 0, w, h);
  g.setColorAt(0, tint);
  g.setColorAt(1, tint.darker(300));
  p.fillRect(img.rect(), g);
  p.setBrush(tint.lighter(160));
  p.drawEllipse(QPoint(w / 2, h / 2), h / 4, h / 4);
  p.end();
  const QString path = dir.filePath(QStringLiteral("picture%1.bmp").arg(tint.rgb()));
  img.save(path, "BMP");
  return path;
}

QStringList Tracks(int n)
{
  QStringList t;
  for (int i = 1; i <= n; ++i)
    t << QStringLiteral("Track %1 of the album|||%2:%3").arg(i).arg(i % 7).arg(i * 7 % 60, 2, 10, QChar('0'));
  return t;
}

// A cover like a finished one: gradient, two pictures, a title, a year and
// the track list.
void Fill(TCoverDocument& doc)
{
  static QTemporaryDir dir;
  doc.SetWorkFolder(dir.path());
  doc.SetBackground(QString(), imCenter, 0x4c2c1c, 0xe8bb9d, true, false);
  doc.AddPictureLayer(20, 20, Picture(dir, 900, 600, QColor(0xd0, 0x80, 0x40)), 10, 10, 900, 600);
  doc.AddPictureLayer(250, 300, Picture(dir, 600, 600, QColor(0x40, 0x90, 0xc0)), 10, 10, 600, 600);
  doc.AddTextLayer(40, 30, QStringLiteral("Midnight Drive"), QStringLiteral("Times New Roman"), 0xFFFFFF, fsBold,
                   true, true, 390, 90);
  doc.AddTextLayer(330, 400, QStringLiteral("2024"), QStringLiteral("Times New Roman"), 0xFFFFFF, fsItalic, false,
                   true, 120, 50);
  doc.AddTracksLayer(40, 140, Tracks(20), QStringLiteral("Times New Roman"), 0xFF0000, 0, true, true, 30, 250, 300,
                     taLeft);
}

void BM_TextEditorKeystroke(benchmark::State& state)
{
  TLabelShower canvas;
  Fill(canvas.Document());
  canvas.show();
  TfrmTextProperty editor(canvas.Document());
  const TTextLayerInfo t = canvas.Document().GetTextLayer(3);
  editor.LoadTextLayer(3, t.Left, t.Top, t.Text, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth, t.Width,
                       t.Height);
  editor.show();
  QLineEdit* edit = editor.TextEdit();
  edit->end(false);
  int i = 0;
  for (auto _ : state) {
    // A letter, then Backspace: every keystroke changes the text.
    QTest::keyClick(edit, (i++ & 1) ? Qt::Key_Backspace : Qt::Key_S);
    QTest::keyClick(edit, Qt::Key_Return);
    canvas.repaint();
  }
  if (canvas.Document().LayerByNumber(3)->Text.left(14) != QStringLiteral("Midnight Drive"))
    state.SkipWithError("the text did not reach the layer");
  editor.reject();
}

void BM_TracksEditorKeystroke20(benchmark::State& state)
{
  TLabelShower canvas;
  Fill(canvas.Document());
  canvas.show();
  TfrmTracksProperty editor(canvas.Document());
  const TTracksLayerInfo t = canvas.Document().GetTracksLayer(5);
  editor.LoadTracksLayer(5, t.Left, t.Top, *t.Tracks, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth,
                         t.LineSpace, t.Width, t.Height, t.Alignment);
  editor.show();
  QTableWidget* grid = editor.Grid();
  // Making the cell current opens its editor.
  grid->setCurrentCell(4, 1);
  QLineEdit* cell = nullptr;
  for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
    if (e->isVisible()) cell = e;
  if (!cell) {
    state.SkipWithError("no cell editor");
    return;
  }
  cell->end(false);
  int i = 0;
  for (auto _ : state) {
    QTest::keyClick(cell, (i++ & 1) ? Qt::Key_Backspace : Qt::Key_S);
    QTest::keyClick(cell, Qt::Key_Return);
    canvas.repaint();
  }
  if (!canvas.Document().LayerByNumber(5)->Tracks[4].startsWith(QStringLiteral("Track 5 of the album")))
    state.SkipWithError("the typing did not reach the layer");
  editor.reject();
}

}  // namespace

// The machine may be shared: five repetitions, and the fastest is reported too.
double Fastest(const std::vector<double>& v)
{
  return *std::min_element(v.begin(), v.end());
}

BENCHMARK(BM_TextEditorKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_TracksEditorKeystroke20)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)
    ->ComputeStatistics("min", Fastest);

int main(int argc, char** argv)
{
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
