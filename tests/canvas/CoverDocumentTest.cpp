// The layer stack: Numbers stay dense, the Next chain follows them, the
// selection follows its layer, Modified is set only by real changes, and the
// composed cover follows the z-order.
#include "canvas/CoverDocument.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Adds a small text layer whose Text identifies it.
void AddNamed(TCoverDocument& doc, const QString& name)
{
  doc.AddTextLayer(10, 10, name, "Liberation Serif", 0, 0, false, false, 30, 20);
}

// Every structural invariant of the stack; returns the texts bottom-up.
QStringList CheckInvariants(const TCoverDocument& doc)
{
  const auto& layers = doc.Layers();
  const int n = doc.LayerCount();
  EXPECT_GE(n, 1);
  EXPECT_EQ(layers[0].Number, 0);
  std::vector<int> seen(size_t(n), 0);
  for (const TLayer& l : layers) {
    EXPECT_GE(l.Number, 0);
    EXPECT_LT(l.Number, n);
    if (l.Number >= 0 && l.Number < n) ++seen[size_t(l.Number)];
  }
  for (int k = 0; k < n; ++k) EXPECT_EQ(seen[size_t(k)], 1) << "Number " << k;
  EXPECT_EQ(layers[size_t(doc.TopSlot())].Number, n - 1);
  QStringList order;
  int slot = 0;
  for (int k = 1; k < n; ++k) {
    const int next = layers[size_t(slot)].Next;
    EXPECT_GE(next, 0);
    EXPECT_LT(next, n);
    if (next < 0 || next >= n) break;
    EXPECT_EQ(layers[size_t(next)].Number, k);
    EXPECT_EQ(layers[size_t(next)].Prev, slot);
    order << layers[size_t(next)].Text;
    slot = next;
  }
  if (doc.SelectedSlot() < 0) {
    EXPECT_EQ(doc.SelectedSlot(), -1);
  } else {
    EXPECT_EQ(layers[size_t(doc.SelectedSlot())].Number, doc.SelectedNumber());
  }
  for (const TLayer& l : layers) {
    EXPECT_EQ(l.Picture.size(), l.Mask.size());
  }
  return order;
}

}  // namespace

TEST(CoverDocument, NewCoverIsOneWhiteUnmodifiedLayer)
{
  TCoverDocument doc;
  AddNamed(doc, "a");
  doc.SelectLayer(1);
  doc.NewCover();
  EXPECT_EQ(doc.LayerCount(), 1);
  EXPECT_EQ(doc.SelectedNumber(), -1);
  EXPECT_EQ(doc.SelectedSlot(), -1);
  EXPECT_FALSE(doc.Modified());
  EXPECT_FALSE(doc.MarksTimerOn());
  EXPECT_TRUE(SamePixels(doc.Cover(), NewBitmap(470, 470)));
  EXPECT_EQ(doc.Background().EndColor, -1);
  EXPECT_EQ(doc.Background().StartColor, 0xFFFFFFu);
}

TEST(CoverDocument, AddsTakeTheNextNumbersAndRaiseEvents)
{
  TCoverDocument doc;
  doc.NewCover();
  QStringList added;
  doc.OnLayerAdded = [&](const QString& kind, const QString& caption) { added << kind + ":" + caption; };
  AddNamed(doc, "Text");
  doc.AddTracksLayer(0, 0, {"Track01|||0:00", "Track02|||1:00"}, "Liberation Serif", 0, 0, false, false, 0, 100,
                     60, taLeft);
  AddNamed(doc, "third");
  EXPECT_EQ(added, QStringList({"Text:Text", "Tracks:Track01 0:00...", "Text:third"}));
  EXPECT_EQ(CheckInvariants(doc), QStringList({"Text", "", "third"}));
  EXPECT_EQ(doc.LayerKind(1), lkText);
  EXPECT_EQ(doc.LayerKind(2), lkTracks);
  EXPECT_EQ(doc.LayerKind(-1), lkPicture);
  EXPECT_TRUE(doc.Modified());
  EXPECT_TRUE(doc.MarksTimerOn());
  // Box limited to 470; the getters report the bitmap's size.
  doc.AddTextLayer(0, 0, "big", "Liberation Serif", 0, 0, false, false, 900, 50);
  EXPECT_EQ(doc.GetTextLayer(4).Width, 470);
  EXPECT_EQ(doc.LayerByNumber(4)->BoundWidth, 900);
}

TEST(CoverDocument, BlankTextIsATracksLayer)
{
  TCoverDocument doc;
  doc.AddTextLayer(0, 0, "   ", "Liberation Serif", 0, 0, false, false, 30, 20);
  EXPECT_EQ(doc.LayerKind(1), lkTracks);
}

TEST(CoverDocument, DeleteRenumbersAndRelinks)
{
  TCoverDocument doc;
  for (auto s : {"one", "two", "three"}) AddNamed(doc, s);
  doc.SetModified(false);
  doc.DeleteLayer(2);
  EXPECT_EQ(CheckInvariants(doc), QStringList({"one", "three"}));
  EXPECT_EQ(doc.GetTextLayer(2).Text, "three");
  EXPECT_EQ(doc.GetTextLayer(2).Text, "three");  // a second lookup finds the same layer
  EXPECT_TRUE(doc.Modified());
  EXPECT_FALSE(doc.MarksTimerOn());
  doc.DeleteLayer(7);  // out of range: ignored
  EXPECT_EQ(doc.LayerCount(), 3);
}

TEST(CoverDocument, MovesAtTheEndsDoNothingAndSelectionFollows)
{
  TCoverDocument doc;
  for (auto s : {"a", "b", "c"}) AddNamed(doc, s);
  doc.SetModified(false);
  int n = 3;
  doc.MoveLayerUp(n);
  EXPECT_EQ(n, 3);
  n = 1;
  doc.MoveLayerDown(n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(CheckInvariants(doc), QStringList({"a", "b", "c"}));

  std::vector<int> events;
  doc.OnSelectLayer = [&](int k) { events.push_back(k); };
  doc.SelectLayer(1);
  n = 1;
  doc.MoveLayerUp(n);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(doc.SelectedNumber(), 2);
  EXPECT_EQ(doc.GetTextLayer(doc.SelectedNumber()).Text, "a");
  doc.MoveLayerUp(n);
  EXPECT_EQ(CheckInvariants(doc), QStringList({"b", "c", "a"}));
  doc.MoveLayerDown(n);
  doc.MoveLayerDown(n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(CheckInvariants(doc), QStringList({"a", "b", "c"}));
  EXPECT_EQ(events.back(), 1);
  EXPECT_FALSE(doc.Modified());  // re-ordering alone leaves Modified alone
}

TEST(CoverDocument, SelectionSurvivesMovesAndDeletesOfOtherLayers)
{
  TCoverDocument doc;
  for (auto s : {"a", "b", "c", "d"}) AddNamed(doc, s);
  doc.SelectLayer(3);  // "c"
  int n = 2;
  doc.MoveLayerUp(n);  // "b" goes above "c": "c" is now Number 2
  EXPECT_EQ(doc.GetTextLayer(doc.SelectedNumber()).Text, "c");
  doc.DeleteLayer(1);  // "a" goes: everything above moves down
  CheckInvariants(doc);
  EXPECT_EQ(doc.GetTextLayer(doc.SelectedNumber()).Text, "c");
  doc.DeleteLayer(doc.SelectedNumber());
  EXPECT_EQ(doc.SelectedNumber(), -1);
  EXPECT_EQ(doc.SelectedSlot(), -1);
}

TEST(CoverDocument, SelectAndEditEvents)
{
  TCoverDocument doc;
  AddNamed(doc, "x");
  int bgEdits = 0, textEdits = 0;
  doc.OnEditBackground = [&](const TBackgroundInfo&) { ++bgEdits; };
  doc.OnEditText = [&](int number, const TTextLayerInfo& info) {
    ++textEdits;
    EXPECT_EQ(number, 1);
    EXPECT_EQ(info.Text, "x");
  };
  doc.EditSelected(false);
  EXPECT_EQ(bgEdits + textEdits, 0);
  doc.EditSelected(true);
  EXPECT_EQ(bgEdits, 1);
  doc.SelectLayer(1);
  doc.EditSelected(true);
  EXPECT_EQ(textEdits, 1);
  doc.SelectLayer(5);  // out of range: ignored
  EXPECT_EQ(doc.SelectedNumber(), 1);
  std::vector<int> ev;
  doc.OnSelectLayer = [&](int k) { ev.push_back(k); };
  doc.SelectLayer(-3);
  EXPECT_EQ(ev, std::vector<int>{-3});
  EXPECT_EQ(doc.SelectedSlot(), -1);
  EXPECT_FALSE(doc.MarksTimerOn());
  TCoverDocument quiet;  // no handlers set: nothing is called
  quiet.EditSelected(true);
  quiet.SelectLayer(-1);
}

TEST(CoverDocument, RandomOperationsKeepEveryInvariant)
{
  std::mt19937 gen(20261209);
  TCoverDocument doc;
  QStringList model;  // texts bottom-up, background excluded
  int made = 0;
  for (int step = 0; step < 600; ++step) {
    const int n = doc.LayerCount();
    const int op = int(gen() % 6);
    const bool modifiedBefore = doc.Modified();
    if (op == 0 || n == 1) {
      const QString name = QString::number(made++);
      AddNamed(doc, name);
      model << name;
    } else if (op == 1) {
      const int k = 1 + int(gen() % uint32_t(n - 1));
      doc.DeleteLayer(k);
      model.removeAt(k - 1);
      EXPECT_TRUE(doc.Modified());
    } else if (op == 2 || op == 3) {
      int k = 1 + int(gen() % uint32_t(n - 1));
      const int before = k;
      if (op == 2) {
        doc.MoveLayerUp(k);
        if (before < n - 1) model.swapItemsAt(before - 1, before);
        EXPECT_EQ(k, before < n - 1 ? before + 1 : before);
      } else {
        doc.MoveLayerDown(k);
        if (before >= 2) model.swapItemsAt(before - 1, before - 2);
        EXPECT_EQ(k, before >= 2 ? before - 1 : before);
      }
      EXPECT_EQ(doc.Modified(), modifiedBefore);
    } else if (op == 4) {
      doc.SelectLayer(int(gen() % uint32_t(n + 1)) - 1);
    } else {
      doc.SetModified(false);
    }
    SCOPED_TRACE(step);
    ASSERT_EQ(CheckInvariants(doc), model);
    if (HasFailure()) break;
  }
}

TEST(CoverDocument, ComposeFollowsTheNumbers)
{
  TCoverDocument doc;
  const TColor colours[] = {MakeColor(255, 0, 0), MakeColor(0, 255, 0), MakeColor(0, 0, 255)};
  for (int i = 0; i < 3; ++i) {
    AddNamed(doc, QString::number(i));
    doc.SetLayerBitmaps(i + 1, 5, 5, 0, 0, NewBitmap(20, 20, colours[i]), NewBitmap(20, 20, 0));
  }
  doc.Compose();
  EXPECT_EQ(PixelAt(doc.Cover(), 10, 10), colours[2]);
  int k = 3;
  doc.MoveLayerDown(k);
  doc.Redraw();
  EXPECT_EQ(PixelAt(doc.Cover(), 10, 10), colours[1]);
  doc.DeleteLayer(3);
  doc.Redraw();
  EXPECT_EQ(PixelAt(doc.Cover(), 10, 10), colours[2]);
  EXPECT_EQ(PixelAt(doc.Cover(), 4, 4), 0xFFFFFFu);
}

TEST(CoverDocument, LayersPartlyOffTheCoverComposeTheirVisiblePart)
{
  TCoverDocument doc;
  AddNamed(doc, "x");
  doc.SetLayerBitmaps(1, -10, 460, 0, 0, NewBitmap(30, 30, 0x000000), NewBitmap(30, 30, 0));
  doc.Compose();
  EXPECT_EQ(PixelAt(doc.Cover(), 0, 469), 0u);
  EXPECT_EQ(PixelAt(doc.Cover(), 19, 460), 0u);
  EXPECT_EQ(PixelAt(doc.Cover(), 20, 460), 0xFFFFFFu);
  EXPECT_EQ(PixelAt(doc.Cover(), 0, 459), 0xFFFFFFu);
}

TEST(CoverDocument, ChangesSetModifiedButOutOfRangeNumbersAreIgnored)
{
  TCoverDocument doc;
  AddNamed(doc, "x");
  doc.SetModified(false);
  doc.UpdateTextLayer(9, 0, 0, "y", "Liberation Serif", 0, 0, false, false, 30, 20);
  doc.SetLayerBitmaps(9, 0, 0, 0, 0, NewBitmap(2, 2), NewBitmap(2, 2));
  EXPECT_FALSE(doc.Modified());
  doc.UpdateTextLayer(1, 3, 4, "y", "Liberation Serif", 0, 0, false, false, 40, 20);
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(doc.GetTextLayer(1).Text, "y");
  EXPECT_EQ(doc.GetTextLayer(1).Left, 3);
  doc.SetModified(false);
  doc.SetBackground("", imCenter, MakeColor(1, 2, 3), -1, false, false);
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(PixelAt(doc.Cover(), 469, 0), MakeColor(1, 2, 3));
}
