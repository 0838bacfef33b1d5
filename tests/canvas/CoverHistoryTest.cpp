// Undo and redo of the cover: a long random run of changes with undos, redos
// and saves mixed in, checked at every step against a model of the history;
// the limits on kept steps and bytes; bitmaps shared between kept states.
#include "canvas/CoverHistory.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <random>

namespace {

QByteArray CoverHash(const QImage& cover)
{
  QCryptographicHash h(QCryptographicHash::Sha1);
  for (int y = 0; y < cover.height(); ++y)
    h.addData(QByteArrayView(reinterpret_cast<const char*>(cover.constScanLine(y)), cover.width() * 3));
  return h.result();
}

// The layer list as the main window shows it, top first.
QStringList Lines(const TCoverDocument& doc)
{
  QStringList lines;
  for (int n = doc.LayerCount() - 1; n >= 1; --n) {
    QString kind, caption;
    doc.LayerCaption(n, kind, caption);
    lines << kind + ": " + caption;
  }
  return lines;
}

class CoverHistoryTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(dir.isValid());
    doc.SetWorkFolder(dir.filePath("work"));
    for (int i = 0; i < 3; ++i) {
      pictures << dir.filePath(QStringLiteral("picture%1.bmp").arg(i));
      ASSERT_TRUE(RandomBitmap(90 + 70 * i, 150 - 30 * i, uint32_t(i + 1)).save(pictures.last(), "BMP"));
    }
    doc.NewCover();
  }
  int RandomLayer(std::mt19937& gen) const { return 1 + int(gen() % uint32_t(doc.LayerCount() - 1)); }

  QTemporaryDir dir;
  QStringList pictures;
  TCoverDocument doc;
};

}  // namespace

TEST_F(CoverHistoryTest, RandomChangesUndoAndRedoExactly)
{
  TCoverHistory history(doc, 100000, qint64(1) << 40);
  struct TPosition {
    QByteArray Cover;
    QStringList Lines;
  };
  std::vector<TPosition> model{{CoverHash(doc.Cover()), Lines(doc)}};
  int p = 0, saved = 0;
  bool modified = false;
  const QImage first = doc.Cover().copy();
  std::mt19937 gen(20261210);
  auto coin = [&](int n) { return int(gen() % uint32_t(n)); };

  for (int i = 0; i < 700; ++i) {
    const uint64_t idBefore = history.CurrentId();
    const int op = coin(20);
    bool change = true, setsModified = true;
    if (op <= 4) {  // undo
      change = false;
      ASSERT_EQ(history.CanUndo(), p > 0);
      if (history.Undo()) modified = --p != saved;
    } else if (op <= 6) {  // redo
      change = false;
      ASSERT_EQ(history.CanRedo(), p + 1 < int(model.size()));
      if (history.Redo()) modified = ++p != saved;
    } else if (op == 7) {  // save, or just select: neither is a step
      change = false;
      if (coin(2)) {
        doc.MarkSaved();
        saved = p;
        modified = false;
      } else {
        doc.SelectLayer(doc.LayerCount() > 1 ? RandomLayer(gen) : -1);
      }
    } else if (op == 8 || doc.LayerCount() < 3) {
      switch (coin(3)) {
        case 0:
          doc.AddTextLayer(coin(400), coin(400), QStringLiteral("Text %1").arg(i), "Liberation Sans", TColor(gen() & 0xFFFFFF),
                           uint8_t(coin(16)), coin(2), coin(2), 40 + coin(200), 20 + coin(100));
          break;
        case 1:
          doc.AddTracksLayer(coin(400), coin(400), {QStringLiteral("Song %1|||3:%2").arg(i).arg(coin(50) + 10), "B|||1:00"},
                             "Liberation Serif", TColor(gen() & 0xFFFFFF), 0, coin(2), true, 30, 100 + coin(150),
                             60 + coin(100), uint8_t(coin(3)));
          break;
        default: {
          const QString& file = pictures[coin(3)];
          const QImage probe(file);
          ASSERT_TRUE(doc.AddPictureLayer(coin(400), coin(400), file, coin(40), coin(40), probe.width(), probe.height()));
          break;
        }
      }
    } else if (op == 9) {
      doc.DeleteLayer(RandomLayer(gen));
      doc.Redraw();  // as the caller does
    } else if (op == 10 || op == 11) {  // the end of a body drag, as the canvas makes it
      const int n = RandomLayer(gen);
      const TLayer* l = doc.LayerByNumber(n);
      TCoverDocument::TStepScope step(doc);
      doc.MoveLayerTo(n, l->Left + 1 + coin(30), l->Top - coin(30));
      doc.SetModified(true);
      doc.Redraw();
    } else if (op == 12) {  // a corner drag
      const int n = RandomLayer(gen);
      const TLayer l = *doc.LayerByNumber(n);
      const int w = 20 + coin(400), h = 20 + coin(400);
      TCoverDocument::TStepScope step(doc);
      if (doc.LayerKind(n) == lkPicture) doc.UpdatePictureLayer(n, l.Left, l.Top, l.WorkFile, l.SoftV, l.SoftH, w, h);
      else if (doc.LayerKind(n) == lkText)
        doc.UpdateTextLayer(n, l.Left, l.Top, l.Text, l.FontName, l.Color, l.FontStyles, l.Shadow, l.Smooth, w, h);
      else
        doc.UpdateTracksLayer(n, l.Left, l.Top, l.Tracks, l.FontName, l.Color, l.FontStyles, l.Shadow, l.Smooth,
                              l.LineSpace, w, h, l.Alignment);
      doc.SetLayerRect(n, l.Left, l.Top, w, h);
      doc.Redraw();
    } else if (op == 13 || op == 14) {  // an editor session with previews, given up a third of the time
      const int n = RandomLayer(gen);
      const TLayer l = *doc.LayerByNumber(n);
      const bool cancel = coin(3) == 0;
      TCoverDocument::TStepScope step(doc);
      if (doc.LayerKind(n) == lkPicture) {
        QImage mask = NewBitmap(l.Picture.width(), l.Picture.height(), 0x000000);
        SoftenMaskEdges(mask, 45, 5);
        doc.SetLayerBitmaps(n, l.Left + 3, l.Top, 5, 45, l.Picture, mask);
        if (cancel) doc.SetLayerBitmaps(n, l.Left, l.Top, l.SoftV, l.SoftH, l.Picture, l.Mask);
      } else if (doc.LayerKind(n) == lkText) {
        for (int k = 0; k < 3; ++k)
          doc.UpdateTextLayer(n, l.Left, l.Top, l.Text + QString(k + 1, '!'), l.FontName, TColor(gen() & 0xFFFFFF),
                              uint8_t(coin(16)), l.Shadow, l.Smooth, l.BoundWidth, l.BoundHeight);
        if (cancel)
          doc.UpdateTextLayer(n, l.Left, l.Top, l.Text, l.FontName, l.Color, l.FontStyles, l.Shadow, l.Smooth,
                              l.BoundWidth, l.BoundHeight);
      } else {
        doc.UpdateTracksLayer(n, l.Left, l.Top, l.Tracks + QStringList{QStringLiteral("More|||0:0%1").arg(i % 10)},
                              l.FontName, l.Color, l.FontStyles, l.Shadow, l.Smooth, l.LineSpace, l.BoundWidth,
                              l.BoundHeight, uint8_t((l.Alignment + 1) % 3));
        if (cancel)
          doc.UpdateTracksLayer(n, l.Left, l.Top, l.Tracks, l.FontName, l.Color, l.FontStyles, l.Shadow, l.Smooth,
                                l.LineSpace, l.BoundWidth, l.BoundHeight, l.Alignment);
      }
      setsModified = true;
    } else if (op == 15 || op == 16) {
      const TBackgroundInfo bg = doc.Background();
      if (coin(2)) doc.SetBackground(QString(), imCenter, TColor(gen() & 0xFFFFFF), -1, true, false);
      else doc.SetBackground(pictures[coin(3)], uint8_t(coin(3)), bg.StartColor, int32_t(gen() & 0xFFFFFF), coin(2), true);
    } else {  // re-ordering: a step, but Modified stays as it was
      int n = RandomLayer(gen);
      setsModified = false;
      if (coin(2)) doc.MoveLayerUp(n);
      else doc.MoveLayerDown(n);
      doc.Redraw();
    }

    if (change) {
      if (history.CurrentId() != idBefore) {
        if (saved > p) saved = -1;  // the saved state was in the redo branch just cut off
        model.resize(size_t(p) + 1);
        model.push_back({CoverHash(doc.Cover()), Lines(doc)});
        ++p;
      }
      modified = modified || setsModified;
    }
    ASSERT_EQ(CoverHash(doc.Cover()), model[size_t(p)].Cover) << "operation " << i << " kind " << op;
    ASSERT_EQ(Lines(doc), model[size_t(p)].Lines) << "operation " << i;
    ASSERT_EQ(doc.Modified(), modified) << "operation " << i << " kind " << op;
    ASSERT_EQ(history.UndoCount(), p);
    ASSERT_EQ(history.RedoCount(), int(model.size()) - 1 - p);
    ASSERT_LT(doc.SelectedNumber(), doc.LayerCount());
  }
  ASSERT_GT(model.size(), 150u);

  while (history.Undo()) {}
  EXPECT_TRUE(SamePixels(doc.Cover(), first));
  EXPECT_EQ(doc.LayerCount(), 1);
  EXPECT_EQ(doc.Modified(), saved != 0);
  const QByteArray last = model.back().Cover;
  while (history.Redo()) {}
  EXPECT_EQ(CoverHash(doc.Cover()), last);
  EXPECT_EQ(Lines(doc), model.back().Lines);
}

TEST_F(CoverHistoryTest, OldestStepsDropBeyondTheLimitsAndUnchangedBitmapsAreShared)
{
  const QImage probe(pictures[2]);
  ASSERT_TRUE(doc.AddPictureLayer(10, 10, pictures[2], 10, 10, probe.width(), probe.height()));
  doc.AddTextLayer(5, 5, "Title", "Liberation Sans", 0, 0, false, true, 300, 100);
  {
    // Moves share every bitmap: the history keeps no pixels of its own.
    TCoverHistory history(doc);
    std::vector<QByteArray> covers{CoverHash(doc.Cover())};
    for (int i = 0; i < 130; ++i) {
      TCoverDocument::TStepScope step(doc);
      doc.MoveLayerTo(1, 10 + i + 1, 10);
      doc.Redraw();
      covers.push_back(CoverHash(doc.Cover()));
    }
    EXPECT_EQ(history.UndoCount(), TCoverHistory::DefaultMaxSteps);
    EXPECT_EQ(history.KeptBytes(), 0);
    while (history.Undo()) {}
    EXPECT_EQ(CoverHash(doc.Cover()), covers[30]);
    // A new step after undoing cuts the redo branch off.
    doc.MoveLayerTo(1, 0, 0);
    doc.Redraw();
    EXPECT_EQ(history.RedoCount(), 0);
    EXPECT_EQ(history.UndoCount(), 1);
  }
  {
    // Each text change keeps the layer's old picture and mask; a preview
    // that comes back to the same pixels is no step and keeps nothing.
    const TLayer* text = doc.LayerByNumber(2);
    const qint64 perStep = text->Picture.sizeInBytes() + text->Mask.sizeInBytes();
    const qint64 limit = 5 * perStep + perStep / 2;
    TCoverHistory history(doc, 100, limit);
    const QImage before = doc.LayerByNumber(2)->Picture;
    doc.UpdateTextLayer(2, 5, 5, "Title", "Liberation Sans", 0, 0, false, true, 300, 100);
    EXPECT_EQ(history.UndoCount(), 0);
    EXPECT_EQ(doc.LayerByNumber(2)->Picture.cacheKey(), before.cacheKey());
    for (int i = 0; i < 12; ++i)
      doc.UpdateTextLayer(2, 5, 5, QStringLiteral("Title %1").arg(i), "Liberation Sans", 0, 0, false, true, 300, 100);
    EXPECT_GE(history.UndoCount(), 3);
    EXPECT_LT(history.UndoCount(), 12);
    EXPECT_LE(history.KeptBytes(), limit);
    EXPECT_GT(history.KeptBytes(), 0);
  }
}
