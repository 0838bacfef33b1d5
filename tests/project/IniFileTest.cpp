#include "project/IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(IniFile, WritesSectionsAndKeysInOrderWithCrLf)
{
  TIniFile ini;
  ini.WriteInteger("Common", "LayerNumber", 2);
  ini.WriteString("Layer0", "FileName", "");
  ini.WriteString("Layer0", "ImageMode", "Center");
  ini.WriteBool("Layer0", "Vertical", true);
  ini.WriteInteger("Layer0", "EndColor", -1);
  ini.WriteInteger("COMMON", "layernumber", 3);  // replaced in place, case ignored
  EXPECT_EQ(ini.ToBytes(), QByteArray("[Common]\r\nLayerNumber=3\r\n[Layer0]\r\nFileName=\r\nImageMode=Center\r\n"
                                      "Vertical=1\r\nEndColor=-1\r\n"));
  EXPECT_EQ(ini.Sections(), QStringList({"Common", "Layer0"}));
  EXPECT_EQ(ini.Keys("layer0"), QStringList({"FileName", "ImageMode", "Vertical", "EndColor"}));
}

TEST(IniFile, ReplacingAKeyKeepsEverythingElse)
{
  TIniFile ini;
  ini.LoadFromBytes("; settings\n[Self]\nLeft=10\n\n[Path]\nLast=/home\nOther=x\n\n[ShowHints]\nHint1=1\n");
  ini.WriteString("path", "LAST", "/tmp");
  ini.WriteString("Path", "New", "y");
  ini.WriteString("Extra", "K", "v");
  ini.DeleteKey("Self", "Left");
  EXPECT_EQ(ini.ToBytes(), QByteArray("; settings\r\n[Self]\r\n\r\n[Path]\r\nLast=/tmp\r\nOther=x\r\nNew=y\r\n\r\n"
                                      "[ShowHints]\r\nHint1=1\r\n[Extra]\r\nK=v\r\n"));
  ini.EraseSection("SHOWHINTS");
  EXPECT_FALSE(ini.SectionExists("ShowHints"));
  EXPECT_TRUE(ini.ValueExists("extra", "k"));
}

TEST(IniFile, ReadsAnyLineEndAndFirstMatchWins)
{
  TIniFile ini;
  ini.LoadFromBytes("[A]\r\nx=1\ry = 2 \n[a]\r\nx=3\r\n  [ B ]  \nz=\n");
  EXPECT_EQ(ini.ReadInteger("a", "X", 0), 1);
  EXPECT_EQ(ini.ReadString("A", "y"), "2");
  EXPECT_TRUE(ini.ValueExists("b", "z"));
  EXPECT_EQ(ini.ReadString("B", "z", "default"), "");
  EXPECT_EQ(ini.ReadString("B", "missing", "default"), "default");
  EXPECT_EQ(ini.ReadString("Missing", "z", "d"), "d");
  // With the first one gone, the second section of the name is found.
  ini.EraseSection("a");
  EXPECT_EQ(ini.ReadInteger("A", "x", 0), 3);
  EXPECT_TRUE(ini.ValueExists("B", "z"));
}

TEST(IniFile, LongValuesAreReadWhole)
{
  const QString big(100000, 'A');
  TIniFile ini;
  ini.WriteString("Layer3", "Tracks", big);
  TIniFile back;
  back.LoadFromBytes(ini.ToBytes());
  EXPECT_EQ(back.ReadString("Layer3", "Tracks"), big);
}

TEST(IniFile, ValuesRoundTripBlanksQuotesAndLineBreaks)
{
  TIniFile ini;
  const QStringList values = {"  two leading", "trailing ", "\"quoted\"", "'single'", "\"", "a=b", "; not a comment",
                              "Grüße € ✓"};
  for (int i = 0; i < values.size(); ++i) ini.WriteString("S", QString("k%1").arg(i), values[i]);
  ini.WriteString("S", "lines", "one\r\ntwo\nthree");
  TIniFile back;
  back.LoadFromBytes(ini.ToBytes());
  for (int i = 0; i < values.size(); ++i) EXPECT_EQ(back.ReadString("S", QString("k%1").arg(i)), values[i]) << i;
  EXPECT_EQ(back.ReadString("S", "lines"), "one two three");
  // Windows writes values raw; its reader drops one pair of quotes.
  back.LoadFromBytes("[S]\r\nText=\"Live\"\r\n");
  EXPECT_EQ(back.ReadString("S", "Text"), "Live");
}

TEST(IniFile, TextIsUtf8WhenValidElseWindows1252)
{
  TIniFile ini;
  ini.LoadFromBytes(QByteArray("[S]\r\nText=Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\r\n"));
  EXPECT_EQ(ini.ReadString("S", "Text"), QString::fromUtf8("Grüße €"));
  ini.LoadFromBytes(QByteArray("[S]\r\nText=Gr\xFC\xDF" "e \x80 \x93x\x94 \x81\r\n"));
  EXPECT_EQ(ini.ReadString("S", "Text"), QString::fromUtf8("Grüße € “x” ") + QChar(0x81));
  EXPECT_EQ(ini.ToBytes(), QByteArray("[S]\r\nText=Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D \xC2\x81\r\n"));
  EXPECT_EQ(TIniFile::DecodeWindows1252(QByteArray("\x9F\xFF\x41", 3)), QString::fromUtf8("ŸÿA"));
}

TEST(IniFile, NumbersAndBooleans)
{
  TIniFile ini;
  ini.LoadFromBytes("[N]\nd=-42\nh=$FF\nx=0x10\nbad=12abc\nbig=4294967296\nempty=\nb0=0\nb2=2\nbt=TRUE\nbw=yes\n");
  EXPECT_EQ(ini.ReadInteger("N", "d", 7), -42);
  EXPECT_EQ(ini.ReadInteger("N", "h", 7), 255);
  EXPECT_EQ(ini.ReadInteger("N", "x", 7), 16);
  EXPECT_EQ(ini.ReadInteger("N", "bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("N", "big", 7), 7);
  EXPECT_EQ(ini.ReadInteger("N", "empty", 7), 7);
  EXPECT_FALSE(ini.ReadBool("N", "b0", true));
  EXPECT_TRUE(ini.ReadBool("N", "b2", false));
  EXPECT_TRUE(ini.ReadBool("N", "bt", false));
  EXPECT_FALSE(ini.ReadBool("N", "bw", false));
  EXPECT_TRUE(ini.ReadBool("N", "missing", true));
}

TEST(IniFile, FilesAreReplacedWhole)
{
  QTemporaryDir dir;
  const QString path = dir.filePath("JKTA.ini");
  TIniFile ini;
  QString error;
  EXPECT_FALSE(ini.LoadFromFile(path, &error));
  EXPECT_FALSE(error.isEmpty());
  ini.WriteString("Self", "Left", "5");
  ASSERT_TRUE(ini.SaveToFile(path, &error)) << error.toStdString();
  TIniFile back;
  ASSERT_TRUE(back.LoadFromFile(path));
  EXPECT_EQ(back.ReadInteger("self", "left", 0), 5);
  EXPECT_FALSE(ini.SaveToFile(dir.filePath("no/such/folder/x.ini"), &error));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"JKTA.ini"}));
}
