// The text editor driven like a user: what reaches the cover and when, the
// restore on Cancel, the font selection rules and a font that is gone.
#include "EditorTestSupport.h"
#include "TestSupport.h"
#include "shell/ShellTestSupport.h"

#include "canvas/CoverDocument.h"
#include "editors/formTextProperty.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <vector>

namespace {

class TextEditorTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    doc.AddTextLayer(100, 50, QStringLiteral("Text"), QStringLiteral("Times New Roman"), 0x000000, 0, false, true,
                     200, 100);
    frm = std::make_unique<TfrmTextProperty>(doc);
    auto update = frm->UpdateTextLayer;
    frm->UpdateTextLayer = [this, update](const TTextValues& v) {
      calls.push_back(v);
      update(v);
    };
  }

  void Open(int number = 1)
  {
    const TTextLayerInfo t = doc.GetTextLayer(number);
    frm->LoadTextLayer(number, t.Left, t.Top, t.Text, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth,
                       t.Width, t.Height);
    frm->show();
    coverAtOpen = doc.Cover().copy();
  }

  template <typename T> T* Child(const char* name) const
  {
    return frm->findChild<T*>(QString::fromLatin1(name));
  }
  QLineEdit* Edit() const { return frm->TextEdit(); }
  const TLayer& Layer() const { return *doc.LayerByNumber(1); }
  void Press(const char* button) { QTest::mouseClick(Child<QPushButton>(button), Qt::LeftButton); }
  void Type(const QString& text) { QTest::keyClicks(Edit(), text); }

  TCoverDocument doc;
  std::unique_ptr<TfrmTextProperty> frm;
  std::vector<TTextValues> calls;
  QImage coverAtOpen;
};

}  // namespace

TEST_F(TextEditorTest, TextReachesTheCoverOnEnterClickOrOk)
{
  Open();
  EXPECT_EQ(frm->windowTitle(), QStringLiteral("   Text Property Editor"));
  EXPECT_TRUE(Edit()->hasSelectedText());

  // Typing alone changes nothing.
  Type(QStringLiteral("Midnight"));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(Layer().Text, QStringLiteral("Text"));

  // Enter previews, and keeps the window open.
  QTest::keyClick(Edit(), Qt::Key_Return);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Layer().Text, QStringLiteral("Midnight"));
  EXPECT_FALSE(SamePixels(doc.Cover(), coverAtOpen));
  EXPECT_TRUE(frm->isVisible());

  // New text and a click on Bold: one update with both.
  Edit()->selectAll();
  Type(QStringLiteral("Drive"));
  ClickBox(Child<QCheckBox>("cboxBold"));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls.back().Text, QStringLiteral("Drive"));
  EXPECT_EQ(calls.back().Font.FontStyles, fsBold);

  // A pending text is applied by OK; a letter-case change counts.
  Edit()->selectAll();
  Type(QStringLiteral("drive"));
  Press("btnOk");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(Layer().Text, QStringLiteral("drive"));
  EXPECT_EQ(Layer().FontStyles, fsBold);
  EXPECT_EQ(Layer().Left, 100);
  EXPECT_EQ(Layer().BoundWidth, 200);
  EXPECT_FALSE(frm->isVisible());

  // OK with nothing pending makes no call.
  Open();
  Press("btnOk");
  EXPECT_EQ(calls.size(), 3u);
}

TEST_F(TextEditorTest, CancelRestoresWithOneCall)
{
  Open();
  Press("btnCancel");
  EXPECT_TRUE(calls.empty());

  Open();
  const TLayer before = Layer();
  Type(QStringLiteral("Changed"));
  QTest::keyClick(Edit(), Qt::Key_Return);
  ClickBox(Child<QCheckBox>("cboxItalic"));
  ClickBox(Child<QCheckBox>("cboxShadow"));
  ClickFont(frm->FontList(), QStringLiteral("DejaVu Sans"));
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(Layer().FontName, QStringLiteral("DejaVu Sans"));

  Press("btnCancel");
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls.back(), frm->Initial());
  EXPECT_EQ(Layer().Text, before.Text);
  EXPECT_EQ(Layer().FontName, before.FontName);
  EXPECT_EQ(Layer().FontStyles, before.FontStyles);
  EXPECT_EQ(Layer().Shadow, before.Shadow);
  EXPECT_TRUE(SamePixels(doc.Cover(), coverAtOpen));

  // Escape is Cancel too.
  Open();
  ClickBox(Child<QCheckBox>("cboxStrikeOut"));
  QTest::keyClick(Edit(), Qt::Key_Escape);
  EXPECT_EQ(calls.size(), 7u);
  EXPECT_EQ(Layer().FontStyles, 0);
}

TEST_F(TextEditorTest, OpeningFillsWithoutUpdatesAndSelectsTheExactFont)
{
  doc.AddTextLayer(10, 10, QStringLiteral("Year"), QStringLiteral("Times New Roman"), 0x0000FF,
                   fsBold | fsItalic | fsUnderline | fsStrikeOut, true, false, 150, 60);
  Open(2);
  EXPECT_TRUE(calls.empty());
  for (const char* name : {"cboxBold", "cboxItalic", "cboxUnderline", "cboxStrikeOut", "cboxShadow"})
    EXPECT_TRUE(Child<QCheckBox>(name)->isChecked()) << name;
  EXPECT_FALSE(Child<QCheckBox>("cboxSmooth")->isChecked());
  EXPECT_EQ(frm->FontList()->SelectedName(), QStringLiteral("Times New Roman"));

  // Another letter case is another name: the last font is selected.
  frm->LoadTextLayer(2, 10, 10, QStringLiteral("Year"), QStringLiteral("times new roman"), 0, 0, false, true, 150,
                     60);
  EXPECT_EQ(frm->FontList()->SelectedName(), frm->FontList()->item(frm->FontList()->count() - 1)->text());
  EXPECT_TRUE(calls.empty());
}

TEST_F(TextEditorTest, FontGoneSinceSavingStillRenders)
{
  const QString gone = QStringLiteral("Jacketeer Retired Face");
  doc.AddTextLayer(20, 300, QStringLiteral("Still here"), gone, 0x000000, 0, false, true, 300, 100);
  const TLayer& l = *doc.LayerByNumber(2);
  int ink = 0;
  for (int y = 0; y < l.Mask.height(); ++y)
    for (int x = 0; x < l.Mask.width(); ++x) ink += (PixelAt(l.Mask, x, y) >> 8 & 0xFF) < 128;
  EXPECT_GT(ink, 100);

  // Shown with the last font selected; neither OK without a change nor a
  // click on a style swaps the layer's face for that stand-in.
  Open(2);
  EXPECT_EQ(frm->FontList()->SelectedName(), frm->FontList()->item(frm->FontList()->count() - 1)->text());
  Press("btnOk");
  EXPECT_TRUE(calls.empty());
  Open(2);
  ClickBox(Child<QCheckBox>("cboxBold"));
  Press("btnOk");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(doc.LayerByNumber(2)->FontName, gone);
  EXPECT_EQ(doc.LayerByNumber(2)->FontStyles, fsBold);
  // Picking a font takes it.
  Open(2);
  ClickFont(frm->FontList(), QStringLiteral("Liberation Sans"));
  EXPECT_EQ(doc.LayerByNumber(2)->FontName, QStringLiteral("Liberation Sans"));
}

TEST_F(TextEditorTest, ColourDialog)
{
  Open();
  // A chosen colour goes to the panel and the cover.
  AnswerNextModal([](QWidget* w) {
    auto* cd = qobject_cast<QColorDialog*>(w);
    ASSERT_NE(cd, nullptr);
    cd->setCurrentColor(QColor(0x11, 0x22, 0x33));
    cd->accept();
  });
  QTest::mouseClick(Child<QWidget>("plColor"), Qt::LeftButton);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Layer().Color, MakeColor(0x11, 0x22, 0x33));

  // A cancelled dialog changes nothing; it opens with the colour last chosen.
  QColor shown;
  AnswerNextModal([&shown](QWidget* w) {
    auto* cd = qobject_cast<QColorDialog*>(w);
    ASSERT_NE(cd, nullptr);
    shown = cd->currentColor();
    cd->reject();
  });
  QTest::mouseClick(Child<QWidget>("plColor"), Qt::LeftButton);
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(shown, QColor(0x11, 0x22, 0x33));
}
