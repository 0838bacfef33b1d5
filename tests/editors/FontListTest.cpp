// The font list against a fontconfig set-up of its own: Liberation's TrueType
// faces, two raster (BDF) faces of which one is a vertical variant, and the
// metric aliases that let projects written on Windows keep "Times New Roman".
#include "EditorTestSupport.h"

#include <fontconfig/fontconfig.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

namespace {

QByteArray Bdf(const char* family)
{
  QByteArray b = "STARTFONT 2.1\nFONT -jkt-";
  b += family;
  b += "-medium-r-normal--8-80-75-75-c-80-iso10646-1\nSIZE 8 75 75\nFONTBOUNDINGBOX 8 8 0 0\n"
       "STARTPROPERTIES 3\nFAMILY_NAME \"";
  b += family;
  b += "\"\nFONT_ASCENT 8\nFONT_DESCENT 0\nENDPROPERTIES\nCHARS 1\nSTARTCHAR A\nENCODING 65\n"
       "SWIDTH 1000 0\nDWIDTH 8 0\nBBX 8 8 0 0\nBITMAP\n18\n24\n42\n7E\n42\n42\n42\n00\nENDCHAR\nENDFONT\n";
  return b;
}

class FontListTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(dir.isValid());
    const QString liberation = QStringLiteral("/usr/share/fonts/truetype/liberation");
    ASSERT_TRUE(QFileInfo(liberation).isDir()) << "fonts-liberation is needed";
    for (const char* family : {"JktRaster", "@JktVertical"}) {
      QFile f(dir.filePath(QString::fromLatin1(family).remove('@') + ".bdf"));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(Bdf(family));
    }
    const QByteArray xml = "<fontconfig><dir>" + QFile::encodeName(liberation) + "</dir><dir>" +
                           QFile::encodeName(dir.path()) + "</dir><cachedir>" +
                           QFile::encodeName(dir.filePath("cache")) +
                           "</cachedir><include ignore_missing=\"yes\">/etc/fonts/conf.d/30-metric-aliases.conf"
                           "</include></fontconfig>";
    config.reset(FcConfigCreate());
    ASSERT_TRUE(FcConfigParseAndLoadFromMemory(config.get(), reinterpret_cast<const FcChar8*>(xml.constData()),
                                               FcTrue));
    ASSERT_TRUE(FcConfigBuildFonts(config.get()));
    list = std::make_unique<TFontListBox>();
    list->FamilySource = [this] { return EnumerateFontFamilies(config.get()); };
  }

  QStringList Names() const
  {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
  }

  QTemporaryDir dir;
  std::unique_ptr<FcConfig, decltype(&FcConfigDestroy)> config{nullptr, &FcConfigDestroy};
  std::unique_ptr<TFontListBox> list;
};

}  // namespace

TEST_F(FontListTest, TechnologiesFiltersAndValidation)
{
  list->SetFilterOptions(ShowTrueType);
  // Sorted; raster faces left out; no vertical variant ever; the aliases of
  // projects written on Windows listed with their substitute's technology.
  EXPECT_EQ(Names(), QStringList({"Arial", "Arial Narrow", "Courier New", "Liberation Mono", "Liberation Sans",
                                  "Liberation Sans Narrow", "Liberation Serif", "Times New Roman"}));
  ASSERT_NE(list->FindFont("Times New Roman"), nullptr);
  EXPECT_EQ(list->FindFont("Times New Roman")->FontKind, fkTrueType);
  EXPECT_EQ(list->currentRow(), 0);

  list->SetFilterOptions(kAllFilterOptions);
  EXPECT_TRUE(Names().contains("JktRaster"));
  EXPECT_EQ(list->FindFont("JktRaster")->FontKind, fkRaster);
  EXPECT_FALSE(Names().contains("@JktVertical"));
  EXPECT_FALSE(Names().contains("JktVertical"));

  // The owner refuses single faces; the next enumeration leaves them out.
  QStringList asked;
  list->OnValidateFont = [&asked](TFontListBox*, const TFontClass& font, bool& accept) {
    asked << font.FaceName;
    accept = !font.FaceName.startsWith("Liberation Mono");
  };
  list->SetFilterOptions(ShowTrueType | ShowRaster);
  EXPECT_TRUE(asked.contains("JktRaster"));
  EXPECT_FALSE(asked.contains("@JktVertical"));
  EXPECT_FALSE(Names().contains("Liberation Mono"));
  EXPECT_TRUE(Names().contains("JktRaster"));

  // Selection by exact name; another letter case selects the last line.
  list->SelectName("Liberation Serif");
  EXPECT_EQ(list->SelectedName(), "Liberation Serif");
  list->SelectName("liberation serif");
  EXPECT_EQ(list->SelectedName(), Names().last());
}
