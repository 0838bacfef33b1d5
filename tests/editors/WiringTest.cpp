// The editors in the main window: which editor a double click or Edit opens,
// the Tracks command taking the grid's lines, and the track list exchange
// with a companion program run end to end.
#include "EditorTestSupport.h"
#include "TestSupport.h"
#include "shell/MainWindowFixture.h"
#include "shell/ShellTestSupport.h"

#include "canvas/LabelShower.h"
#include "editors/LayerEditors.h"
#include "editors/TrackExchange.h"
#include "editors/TrackFile.h"
#include "editors/formImageProperty.h"
#include "editors/formTextProperty.h"
#include "editors/formTracksProperty.h"
#include "project/WorkFolder.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/formHints.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>

#include <memory>

namespace {

class WiringTest : public TMainWindowTest {
protected:
  void SetUp() override
  {
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    editors = AttachLayerEditors(*frm);
    frm->show();
  }
  void TearDown() override
  {
    frm->Canvas()->Document().SetModified(false);
    frm.reset();
    for (auto& p : companions) {
      p->closeWriteChannel();
      p->waitForFinished(5000);
    }
  }

  // Opens the editor by `open` and answers it with `answer`; returns what opened.
  QWidget* Opened(const std::function<void()>& open, const std::function<void(QWidget*)>& answer = {})
  {
    QWidget* opened = nullptr;
    AnswerNextModal([&opened, answer](QWidget* w) {
      opened = w;
      if (answer) answer(w);
      if (w->isVisible()) static_cast<QDialog*>(w)->reject();
    });
    open();
    return opened;
  }
  // Starts the stand-in companion program; it answers with `reply` after
  // writing `lines` to Tracks.dat.
  void StartCompanion(const QString& reply, const QStringList& lines)
  {
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral(JKT_COMPANION), QStringList{TemporaryFolderPath(), reply} + lines);
    ASSERT_TRUE(p->waitForStarted(5000));
    QSignalSpy ready(p.get(), &QProcess::readyReadStandardOutput);
    ASSERT_TRUE(p->canReadLine() || ready.wait(5000)) << p->readAllStandardError().toStdString();
    EXPECT_EQ(p->readLine().trimmed(), "ready");
    companions.push_back(std::move(p));
  }

  TLayerEditors* editors = nullptr;
  std::vector<std::unique_ptr<QProcess>> companions;
};

}  // namespace

TEST_F(WiringTest, DoubleClickAndEditOpenTheRightEditor)
{
  AddWith("btnAddText", QPoint(100, 50));
  AddWith("btnAddYear", QPoint(100, 200));
  AddWith("btnAddTracks", QPoint(250, 150));
  // Work copies of pictures are made in the work folder.
  const QString photo = dir.filePath(QStringLiteral("photo.bmp"));
  RandomBitmap(300, 200, 9).save(photo, "BMP");
  doc().AddPictureLayer(20, 350, photo, 10, 10, 300, 200);
  ASSERT_EQ(doc().LayerCount(), 5);

  // Double click on the text: the text editor, filled, and an edit that
  // reaches the cover and the layer list.
  QWidget* w = Opened([&] { DoubleClick(frm->Canvas(), QPoint(150, 90)); }, [](QWidget* w) {
    auto* text = qobject_cast<TfrmTextProperty*>(w);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->TextEdit()->text(), QStringLiteral("Text"));
    QTest::keyClicks(text->TextEdit(), QStringLiteral("Liner notes"));
    QTest::mouseClick(text->findChild<QPushButton*>(QStringLiteral("btnOk")), Qt::LeftButton);
  });
  EXPECT_EQ(qobject_cast<TfrmTextProperty*>(w), editors->TextEditor());
  EXPECT_EQ(doc().LayerByNumber(1)->Text, QStringLiteral("Liner notes"));
  EXPECT_EQ(frm->LayerList()->item(3)->text(), LayerLine(QStringLiteral("Text"), QStringLiteral("Liner notes")));
  EXPECT_FALSE(frm->Canvas()->Pressed());

  // The year layer is a text layer too.
  doc().SelectLayer(2);
  EXPECT_EQ(Opened([&] { Button("btnEdit")->click(); }), editors->TextEditor());

  // Edit on the tracks layer and on the picture layer.
  doc().SelectLayer(3);
  EXPECT_EQ(Opened([&] { Button("btnEdit")->click(); }), editors->TracksEditor());
  doc().SelectLayer(4);
  w = Opened([&] { Button("btnEdit")->click(); }, [&](QWidget* w) {
    auto* image = qobject_cast<TfrmImageProperty*>(w);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->SliderV()->value(), 10);
  });
  EXPECT_EQ(w, editors->ImageEditor());

  // A picture whose work copy is gone: the error, and no editor.
  QFile::remove(doc().LayerByNumber(4)->WorkFile);
  QString message;
  Opened([&] { Button("btnEdit")->click(); }, [&message](QWidget* w) {
    ASSERT_NE(qobject_cast<QMessageBox*>(w), nullptr);
    message = static_cast<QMessageBox*>(w)->text();
  });
  EXPECT_TRUE(message.contains(doc().LayerByNumber(4)->WorkFile)) << message.toStdString();
  EXPECT_FALSE(editors->ImageEditor()->isVisible());
}

TEST_F(WiringTest, CompanionRoundTrip)
{
  ASSERT_TRUE(editors->Exchange()->Listening());
  QSignalSpy replies(editors->Exchange(), &TTrackExchange::TrackReply);

  // No companion: the request goes nowhere and nothing changes.
  Button("btnAddTracks")->click();
  EXPECT_FALSE(replies.wait(300));
  Button("btnAddTracks")->click();

  // Reply 0: the companion's Tracks.dat fills the grid, and the next tracks
  // layer takes those lines.
  StartCompanion(QStringLiteral("0"), {QStringLiteral("Night Falls|||3:41"), QStringLiteral("Neon Rain|||4:05")});
  AddWith("btnAddTracks", QPoint(200, 100));
  ASSERT_TRUE(replies.wait(5000));
  EXPECT_TRUE(replies.takeFirst().at(0).toBool());
  // The layer was added before the reply arrived; the next one has the lines.
  AddWith("btnAddTracks", QPoint(60, 100));
  EXPECT_EQ(doc().LayerByNumber(2)->Tracks, QStringList({"Night Falls|||3:41", "Neon Rain|||4:05"}));
  ASSERT_TRUE(replies.wait(5000));
  EXPECT_EQ(frm->LayerList()->item(0)->text(), LayerLine(QStringLiteral("Tracks"), QStringLiteral("Night Falls 3:41...")));

  // Reply 1: the default list, though Tracks.dat is there; asked when the
  // tracks editor opens.
  companions.back()->closeWriteChannel();
  companions.back()->waitForFinished(5000);
  StartCompanion(QStringLiteral("1"), {});
  ASSERT_TRUE(QFile::exists(TrackFilePath()));
  replies.clear();
  doc().SelectLayer(2);
  Opened([&] { Button("btnEdit")->click(); }, [&](QWidget*) { ASSERT_TRUE(replies.wait(5000)); });
  EXPECT_FALSE(replies.takeFirst().at(0).toBool());
  QStringList lines;
  editors->TracksEditor()->CollectTracks(lines);
  EXPECT_EQ(lines, DefaultTrackList());
  // Cancel: the layer keeps its own lines.
  EXPECT_EQ(doc().LayerByNumber(2)->Tracks.size(), 2);
}

TEST(TrackReplyLine, WellFormedRepliesOnly)
{
  bool take = false;
  EXPECT_TRUE(ParseTrackReply("2025 0 0\n", take));
  EXPECT_TRUE(take);
  EXPECT_TRUE(ParseTrackReply("2025 7 -1\r\n", take));
  EXPECT_FALSE(take);
  for (const char* bad : {"2024 0 0\n", "2025 0\n", "2025 0 x\n", "2025 0 0 0\n", "garbage\n", "\n"})
    EXPECT_FALSE(ParseTrackReply(bad, take)) << bad;
}
