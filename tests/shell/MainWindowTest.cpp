// The main window driven like a user: add mode, the layer list in step with
// the canvas, the unsaved-changes question, New/Open/close, hints, and the
// single running copy.
#include "MainWindowFixture.h"
#include "ShellTestSupport.h"

#include "canvas/LabelShower.h"
#include "project/ProjectFile.h"
#include "project/WorkFolder.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/SingleInstance.h"
#include "shell/Splash.h"
#include "shell/formHints.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSysInfo>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

class MainWindowTest : public TMainWindowTest {
protected:
  void SetUp() override
  {
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow(QStringLiteral("config/JKTA.ini")));
    frm->show();
  }
  void TearDown() override
  {
    frm.reset();
    hints.reset();
  }

  QListWidget* List() const { return frm->LayerList(); }

  // Open with `file` chosen in the open dialog; the text of the message box
  // that follows (closed with OK), or empty when none came.
  QString OpenAnsweringTheMessage(const QString& file)
  {
    QString reported;
    AnswerNextModal([&](QWidget* dlg) {
      AnswerNextModal(
          [&](QWidget* box) {
            reported = qobject_cast<QMessageBox*>(box) ? qobject_cast<QMessageBox*>(box)->text() : QString();
            qobject_cast<QDialog*>(box)->accept();
          },
          dlg);
      AnswerFileDialog(dlg, file);
    });
    frm->btnOpenClick();
    return reported;
  }

  // Every list line names the layer whose Number it stands for.
  void ExpectInStep() const
  {
    ASSERT_EQ(List()->count(), doc().LayerCount() - 1);
    for (int row = 0; row < List()->count(); ++row) {
      const TLayer* l = doc().LayerByNumber(List()->count() - row);
      ASSERT_NE(l, nullptr);
      EXPECT_EQ(List()->item(row)->text(), LayerLine(QStringLiteral("Text"), l->Text)) << row;
    }
  }

  bool LayerButtonsEnabled() const
  {
    return Button("btnMoveUp")->isEnabled() && Button("btnMoveDown")->isEnabled() &&
           Button("btnEdit")->isEnabled() && Button("btnDelete")->isEnabled();
  }
  bool LayerButtonsDisabled() const
  {
    return !Button("btnMoveUp")->isEnabled() && !Button("btnMoveDown")->isEnabled() &&
           !Button("btnEdit")->isEnabled() && !Button("btnDelete")->isEnabled();
  }
};

}  // namespace

TEST_F(MainWindowTest, LayoutCaptionsAndToolTips)
{
  EXPECT_EQ(frm->windowTitle(), QStringLiteral("Jacketeer"));
  EXPECT_EQ(frm->size(), QSize(735, 585));
  const struct {
    const char* name;
    const char* caption;
    const char* tip;
  } buttons[] = {
      {"btnNew", "New", "New project"},
      {"btnOpen", "Open", "Load project"},
      {"btnSave", "Save", "Save project"},
      {"btnPrint", "Print", "Print DVD/CD cover"},
      {"btnAddTracks", "Tracks", "Add Tracks"},
      {"btnAddText", "Text", "Add Text"},
      {"btnAddYear", "Year", "Add Year"},
      {"btnAddTime", "Time", "Add Time"},
      {"btnAddImage", "Image", "Add Image"},
      {"btnEditBackground", "Edit B.G.", "Edit background property"},
      {"btnHelp", "Help", "Help"},
      {"btnMoveDown", "Down", "Move layer down"},
      {"btnMoveUp", "Up", "Move layer up"},
      {"btnEdit", "Edit", "Edit layer property"},
      {"btnDelete", "Delete", "Delete layer"},
      {"btnSearchImage", "Search", "Search image(s)"},
      {"btnDeleteImage", "Delete", "Delete selected image(s)"},
      {"btnSetToBackground", "B.G.", "Set image as background"},
  };
  for (const auto& b : buttons) {
    QToolButton* button = Button(b.name);
    ASSERT_NE(button, nullptr) << b.name;
    EXPECT_EQ(button->text(), QString::fromUtf8(b.caption)) << b.name;
    EXPECT_EQ(button->toolTip(), QString::fromUtf8(b.tip)) << b.name;
    EXPECT_FALSE(button->icon().isNull()) << b.name;
  }
  QTabWidget* tabs = frm->PageControl();
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), QStringLiteral("Layers"));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Favorite images"));
  EXPECT_EQ(tabs->currentIndex(), 1);
  // The editing area sits centred in its frame; the first show made a white cover.
  const QWidget* area = canvas()->parentWidget();
  EXPECT_NEAR(canvas()->x(), (area->width() - 470) / 2, 1);
  EXPECT_GE(canvas()->y(), 1);
  EXPECT_EQ(doc().LayerCount(), 1);
  EXPECT_FALSE(doc().Modified());
  EXPECT_TRUE(LayerButtonsDisabled());
}

TEST_F(MainWindowTest, TextClickMakesTheLayerAndItsListLine)
{
  Button("btnAddText")->click();
  EXPECT_TRUE(Button("btnAddText")->isChecked());
  Click(canvas(), QPoint(100, 50));

  ASSERT_EQ(doc().LayerCount(), 2);
  const TLayer* l = doc().LayerByNumber(1);
  EXPECT_EQ(l->Text, QStringLiteral("Text"));
  EXPECT_EQ(l->Left, 100);
  EXPECT_EQ(l->Top, 50);
  EXPECT_EQ(l->BoundWidth, 200);
  EXPECT_EQ(l->BoundHeight, 100);
  EXPECT_EQ(l->FontName, QStringLiteral("Times New Roman"));
  EXPECT_EQ(l->Color, 0u);
  EXPECT_FALSE(l->Shadow);
  EXPECT_TRUE(l->Smooth);
  EXPECT_EQ(Lines(), QStringList{QStringLiteral("   Text: \"Text\"")});
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_EQ(doc().SelectedNumber(), 1);
  EXPECT_EQ(frm->CurrentNumber(), 1);
  EXPECT_FALSE(Button("btnAddText")->isChecked());
  EXPECT_TRUE(LayerButtonsEnabled());
  EXPECT_TRUE(doc().Modified());
}

TEST_F(MainWindowTest, AddButtonsFormAGroupThatCanBeAllUp)
{
  Button("btnAddText")->click();
  Button("btnAddYear")->click();
  EXPECT_FALSE(Button("btnAddText")->isChecked());
  EXPECT_TRUE(Button("btnAddYear")->isChecked());
  Button("btnAddYear")->click();
  for (const char* b : {"btnAddTracks", "btnAddText", "btnAddYear", "btnAddTime", "btnAddImage"})
    EXPECT_FALSE(Button(b)->isChecked()) << b;
  // With no add button down a click only selects.
  Click(canvas(), QPoint(100, 50));
  EXPECT_EQ(doc().LayerCount(), 1);
  EXPECT_TRUE(Lines().isEmpty());
}

TEST_F(MainWindowTest, YearTimeAndTracks)
{
  const QString today = ShortDateText(QDate::currentDate());
  AddWith("btnAddYear", QPoint(10, 10));
  EXPECT_EQ(doc().LayerByNumber(1)->Text, today);

  const QString before = LongTimeText(QTime::currentTime());
  AddWith("btnAddTime", QPoint(10, 200));
  const QString after = LongTimeText(QTime::currentTime());
  const QString time = doc().LayerByNumber(2)->Text;
  EXPECT_TRUE(time == before || time == after) << time.toStdString();

  AddWith("btnAddTracks", QPoint(200, 150));
  const TLayer* t = doc().LayerByNumber(3);
  EXPECT_EQ(t->Tracks, DefaultTrackList());
  EXPECT_EQ(t->Color, 0xFF0000u);
  EXPECT_TRUE(t->Shadow);
  EXPECT_EQ(t->LineSpace, 30);
  EXPECT_EQ(t->BoundWidth, 250);
  EXPECT_EQ(t->BoundHeight, 300);
  EXPECT_EQ(t->Alignment, taLeft);
  EXPECT_EQ(doc().LayerKind(3), lkTracks);
  EXPECT_EQ(Lines(), (QStringList{QStringLiteral("   Tracks: \"Track01 0:00...\""), LayerLine("Text", time),
                                  LayerLine("Text", today)}));
  EXPECT_EQ(doc().SelectedNumber(), 3);
}

TEST(TimeText, ZoneNameIsLeftOut)
{
  EXPECT_EQ(TimeFormatWithoutZone(QStringLiteral("h:mm:ss AP t")), QStringLiteral("h:mm:ss AP"));
  EXPECT_EQ(TimeFormatWithoutZone(QStringLiteral("HH:mm:ss tttt")), QStringLiteral("HH:mm:ss"));
  EXPECT_EQ(TimeFormatWithoutZone(QStringLiteral("t HH:mm")), QStringLiteral("HH:mm"));
  EXPECT_EQ(TimeFormatWithoutZone(QStringLiteral("HH 'at' mm")), QStringLiteral("HH 'at' mm"));
  EXPECT_FALSE(LongTimeText(QTime(13, 5, 9)).isEmpty());
}

TEST_F(MainWindowTest, UpDownAndDeleteKeepListAndCanvasInStep)
{
  for (const char* text : {"A", "B", "C", "D"})
    doc().AddTextLayer(20, 20, QString::fromLatin1(text), QStringLiteral("Times New Roman"), 0, 0, false, true, 200,
                       100);
  EXPECT_EQ(Lines().first(), LayerLine("Text", "D"));
  ExpectInStep();

  // Select "B" (Number 2, list row 2) by clicking its line.
  List()->setCurrentRow(2);
  EXPECT_EQ(frm->CurrentNumber(), 2);
  EXPECT_EQ(doc().SelectedNumber(), 2);
  EXPECT_TRUE(LayerButtonsEnabled());

  frm->btnMoveUpClick();
  ExpectInStep();
  EXPECT_EQ(List()->currentRow(), 1);
  EXPECT_EQ(frm->CurrentNumber(), 3);
  EXPECT_EQ(doc().SelectedNumber(), 3);
  EXPECT_EQ(doc().LayerByNumber(3)->Text, QStringLiteral("B"));

  frm->btnMoveUpClick();
  frm->btnMoveUpClick();  // already the top line: nothing moves
  ExpectInStep();
  EXPECT_EQ(Lines().first(), LayerLine("Text", "B"));
  EXPECT_EQ(doc().SelectedNumber(), 4);

  for (int i = 0; i < 5; ++i) frm->btnMoveDownClick();  // down to the last line, and no further
  ExpectInStep();
  EXPECT_EQ(Lines().last(), LayerLine("Text", "B"));
  EXPECT_EQ(doc().LayerByNumber(1)->Text, QStringLiteral("B"));
  EXPECT_EQ(doc().SelectedNumber(), 1);

  // Delete "C" (select it on the canvas this time: it is at row 1).
  List()->setCurrentRow(1);
  const QString selected = doc().LayerByNumber(frm->CurrentNumber())->Text;
  frm->btnDeleteClick();
  ExpectInStep();
  EXPECT_FALSE(Lines().contains(LayerLine("Text", selected)));
  EXPECT_EQ(doc().SelectedNumber(), -1);
  EXPECT_EQ(List()->currentRow(), -1);
  EXPECT_TRUE(LayerButtonsDisabled());
  EXPECT_EQ(doc().LayerCount(), 4);
}

TEST_F(MainWindowTest, CanvasSelectionShowsInTheList)
{
  AddWith("btnAddText", QPoint(10, 10));
  AddWith("btnAddText", QPoint(10, 250));
  Click(canvas(), QPoint(30, 30));  // the lower layer, Number 1
  EXPECT_EQ(doc().SelectedNumber(), 1);
  EXPECT_EQ(List()->currentRow(), 1);
  EXPECT_EQ(frm->CurrentNumber(), 1);
  Click(canvas(), QPoint(460, 460));  // the background
  EXPECT_EQ(List()->currentRow(), -1);
  EXPECT_TRUE(LayerButtonsDisabled());
}

TEST_F(MainWindowTest, NewAsksOnlyWhenModified)
{
  EXPECT_EQ(ModalsDuring([this] { frm->btnNewClick(); }), 0);

  AddWith("btnAddText", QPoint(100, 50));
  QString title, text;
  QStringList buttons;
  AnswerNextModal([&](QWidget* w) {
    title = w->windowTitle();
    text = qobject_cast<QMessageBox*>(w)->text();
    buttons = MessageButtons(w);
    buttons.sort();
    ClickMessageButton(w, QStringLiteral("Cancel"));
  });
  frm->btnNewClick();
  EXPECT_EQ(title, QStringLiteral(" Confirm"));
  EXPECT_EQ(text, QStringLiteral("The project has been modified, do you want to save it?"));
  EXPECT_EQ(buttons, (QStringList{QStringLiteral("Cancel"), QStringLiteral("No"), QStringLiteral("Yes")}));
  EXPECT_EQ(doc().LayerCount(), 2);
  EXPECT_EQ(Lines().size(), 1);

  // Yes, then the save dialog cancelled: nothing happens.
  AnswerNextModal([](QWidget* box) {
    AnswerNextModal([](QWidget* dlg) { AnswerFileDialog(dlg, QString()); }, box);
    ClickMessageButton(box, QStringLiteral("Yes"));
  });
  frm->btnNewClick();
  EXPECT_EQ(doc().LayerCount(), 2);

  AnswerNextModal([](QWidget* w) { ClickMessageButton(w, QStringLiteral("No")); });
  frm->btnNewClick();
  EXPECT_EQ(doc().LayerCount(), 1);
  EXPECT_TRUE(Lines().isEmpty());
  EXPECT_FALSE(doc().Modified());
  EXPECT_TRUE(LayerButtonsDisabled());
}

TEST_F(MainWindowTest, NewAnsweredYesSavesFirst)
{
  AddWith("btnAddText", QPoint(100, 50));
  const QString file = dir.filePath(QStringLiteral("saved/first.jkp"));
  QDir().mkpath(QFileInfo(file).absolutePath());
  AnswerNextModal([file](QWidget* box) {
    AnswerNextModal([file](QWidget* dlg) { AnswerFileDialog(dlg, file); }, box);
    ClickMessageButton(box, QStringLiteral("Yes"));
  });
  frm->btnNewClick();
  EXPECT_TRUE(QFileInfo::exists(file));
  EXPECT_EQ(doc().LayerCount(), 1);
  EXPECT_TRUE(Lines().isEmpty());
  EXPECT_EQ(frm->DialogFolder(), QFileInfo(file).absolutePath());
  EXPECT_EQ(frm->OpenDialog()->directory().absolutePath(), QFileInfo(file).absolutePath());
}

TEST_F(MainWindowTest, OpenAsksYesOrNoAndOpensWhateverTheAnswer)
{
  // A project of two layers on disk.
  for (const char* text : {"One", "Two"})
    doc().AddTextLayer(30, 30, QString::fromLatin1(text), QStringLiteral("Times New Roman"), 0, 0, false, true, 200,
                       100);
  const QString file = dir.filePath(QStringLiteral("two.jkp"));
  QString error;
  ASSERT_TRUE(SaveProject(doc(), file, error)) << error.toStdString();
  frm->btnNewClick();  // saving cleared Modified: nothing is asked
  EXPECT_EQ(doc().LayerCount(), 1);

  AddWith("btnAddText", QPoint(100, 50));  // modified again
  QStringList buttons;
  AnswerNextModal([&](QWidget* box) {
    buttons = MessageButtons(box);
    buttons.sort();
    AnswerNextModal([file](QWidget* dlg) { AnswerFileDialog(dlg, file); }, box);
    ClickMessageButton(box, QStringLiteral("No"));
  });
  frm->btnOpenClick();
  EXPECT_EQ(buttons, (QStringList{QStringLiteral("No"), QStringLiteral("Yes")}));
  ASSERT_EQ(doc().LayerCount(), 3);
  EXPECT_EQ(Lines(), (QStringList{LayerLine("Text", "Two"), LayerLine("Text", "One")}));
  ExpectInStep();
  EXPECT_EQ(doc().SelectedNumber(), -1);
  EXPECT_TRUE(LayerButtonsDisabled());
  EXPECT_FALSE(doc().Modified());
  EXPECT_FALSE(canvas()->Pressed());
  EXPECT_EQ(frm->DialogFolder(), dir.path());
}

TEST_F(MainWindowTest, DamagedProjectLeavesCoverAndListAlone)
{
  AddWith("btnAddText", QPoint(100, 50));
  doc().SetModified(false);
  const QString file = dir.filePath(QStringLiteral("broken.jkp"));
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is no project file at all");
  }
  const QString reported = OpenAnsweringTheMessage(file);
  EXPECT_FALSE(reported.isEmpty());
  EXPECT_EQ(doc().LayerCount(), 2);
  EXPECT_EQ(Lines(), QStringList{LayerLine("Text", "Text")});
}

// Pictures that can not be read are named, layer by layer, in one message
// after the project has opened.
TEST_F(MainWindowTest, UnreadablePicturesAreReportedAfterOpen)
{
  const QByteArray damaged("GIF89a\x10\x00\x10\x00garbage", 16);
  const QByteArray ini = "[Common]\r\nLayerNumber=3\r\n[Layer0]\r\nFileName=\r\n[Layer1]\r\nText=Fine\r\n"
                         "BoundWidth=100\r\nBoundHeight=40\r\n[Layer2]\r\nFileName=C:\\broken.gif\r\nImageStart=0"
                         "\r\nImageEnd=16\r\nBoundWidth=50\r\nBoundHeight=50\r\nActualWidth=50\r\nActualHeight=50\r\n";
  const QString file = dir.filePath(QStringLiteral("unread.jkp"));
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(damaged + ini);
    for (qint64 v : {qint64(damaged.size()), qint64(ini.size())})
      for (int b = 0; b < 8; ++b) f.putChar(char((quint64(v) >> (8 * b)) & 0xFF));
  }
  const QString reported = OpenAnsweringTheMessage(file);
  ASSERT_EQ(doc().LayerCount(), 3);
  EXPECT_TRUE(reported.contains(QStringLiteral("Layer 2: the picture \"broken.gif\" could not be read")))
      << reported.toStdString();
  EXPECT_FALSE(reported.contains(QStringLiteral("Layer 1")));
}

TEST_F(MainWindowTest, ClosingAModifiedCover)
{
  AddWith("btnAddText", QPoint(100, 50));
  // Yes, then the save dialog cancelled: the program keeps running.
  AnswerNextModal([](QWidget* box) {
    AnswerNextModal([](QWidget* dlg) { AnswerFileDialog(dlg, QString()); }, box);
    ClickMessageButton(box, QStringLiteral("Yes"));
  });
  EXPECT_FALSE(frm->close());
  EXPECT_TRUE(frm->isVisible());
  EXPECT_TRUE(QFileInfo::exists(frm->WorkFolder()));

  AnswerNextModal([](QWidget* w) { ClickMessageButton(w, QStringLiteral("Cancel")); });
  EXPECT_FALSE(frm->close());

  // No: the window closes, the work folder goes and the settings are written.
  settings->SetShowHint(6, false);
  AnswerNextModal([](QWidget* w) { ClickMessageButton(w, QStringLiteral("No")); });
  EXPECT_TRUE(frm->close());
  EXPECT_FALSE(QFileInfo::exists(frm->WorkFolder()));
  TSettings written(settings->FileName());
  written.Load();
  EXPECT_FALSE(written.ShowHint(6));
}

TEST_F(MainWindowTest, ClosingAnsweredYesSaves)
{
  AddWith("btnAddText", QPoint(100, 50));
  const QString file = dir.filePath(QStringLiteral("atexit.jkp"));
  AnswerNextModal([file](QWidget* box) {
    AnswerNextModal([file](QWidget* dlg) { AnswerFileDialog(dlg, file); }, box);
    ClickMessageButton(box, QStringLiteral("Yes"));
  });
  EXPECT_TRUE(frm->close());
  EXPECT_TRUE(QFileInfo::exists(file));
}

TEST_F(MainWindowTest, UnwritableSettingsAreReportedButDoNotKeepTheWindowOpen)
{
  QFile blocker(dir.filePath(QStringLiteral("blocker")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  TSettings unwritable(dir.filePath(QStringLiteral("blocker/JKTA.ini")));
  TfrmHints otherHints(unwritable);
  TfrmMain other(unwritable, otherHints);
  other.show();
  QString reported;
  AnswerNextModal([&](QWidget* box) {
    reported = qobject_cast<QMessageBox*>(box)->text();
    qobject_cast<QDialog*>(box)->accept();
  });
  EXPECT_TRUE(other.close());
  EXPECT_EQ(reported, QStringLiteral("Unable to write to %1").arg(unwritable.FileName()));
}

TEST_F(MainWindowTest, HintsFollowTheirSwitches)
{
  for (int n = 1; n <= 8; ++n) settings->SetShowHint(n, true);
  QString shown, title;
  // Text: hint 3; the user asks not to see it again.
  AnswerNextModal([&](QWidget* w) {
    auto* h = qobject_cast<TfrmHints*>(w);
    ASSERT_NE(h, nullptr);
    title = h->windowTitle();
    shown = h->Memo()->toPlainText();
    h->CheckBox()->click();
    h->CloseButton()->click();
  });
  Button("btnAddText")->click();
  EXPECT_EQ(title, QStringLiteral("Hint:"));
  EXPECT_EQ(shown, QStringLiteral("Click on the editing area to add Text to CD cover."));
  EXPECT_FALSE(settings->ShowHint(3));
  EXPECT_EQ(ModalsDuring([this] { Button("btnAddText")->click(); }), 0);
  EXPECT_FALSE(Button("btnAddText")->isChecked());  // that click raised it again
  Button("btnAddText")->click();

  // A new layer: hint 8.
  AnswerNextModal([&](QWidget* w) {
    shown = qobject_cast<TfrmHints*>(w)->Memo()->toPlainText();
    qobject_cast<TfrmHints*>(w)->CloseButton()->click();
  });
  Click(canvas(), QPoint(100, 50));
  EXPECT_EQ(shown, TfrmHints::HintText(8));
  EXPECT_EQ(doc().LayerCount(), 2);

  // The "Layers" tab: hint 6.
  AnswerNextModal([&](QWidget* w) {
    shown = qobject_cast<TfrmHints*>(w)->Memo()->toPlainText();
    qobject_cast<TfrmHints*>(w)->CloseButton()->click();
  });
  frm->PageControl()->setCurrentIndex(0);
  EXPECT_EQ(shown, TfrmHints::HintText(6));

  // Across a restart hint 3 stays off.
  QString error;
  ASSERT_TRUE(settings->Save(error));
  TSettings restarted(settings->FileName());
  restarted.Load();
  EXPECT_FALSE(restarted.ShowHint(3));
  EXPECT_TRUE(restarted.ShowHint(8));
}

TEST(SingleInstance, SecondStartShowsNothingAndLeavesTheFirstAlone)
{
  QString error;
  ASSERT_TRUE(EnsurePrivateFolder(TemporaryFolderPath(), error)) << error.toStdString();
  const QString program = QStringLiteral(JKT_PROGRAM);
  TSingleInstance first;
  ASSERT_TRUE(first.TryLock(TemporaryFolderPath(), QFileInfo(program).fileName()));
  const QString lockFile = TemporaryFolderPath() + '/' + QFileInfo(program).fileName() + QStringLiteral(".lock");
  QFile lf(lockFile);
  ASSERT_TRUE(lf.open(QIODevice::ReadOnly));
  const QByteArray lockBefore = lf.readAll();
  lf.close();

  // Another copy in this process cannot take it either.
  TSingleInstance inProcess;
  EXPECT_FALSE(inProcess.TryLock(TemporaryFolderPath(), QFileInfo(program).fileName()));

  QProcess second;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  second.setProcessEnvironment(env);
  second.start(program, {});
  ASSERT_TRUE(second.waitForFinished(20000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
  EXPECT_TRUE(first.Locked());
  ASSERT_TRUE(lf.open(QIODevice::ReadOnly));
  EXPECT_EQ(lf.readAll(), lockBefore);
  // No work folder was made or removed by the second copy's start.
}

TEST(SingleInstance, LockOfAnEndedCopyIsTakenOver)
{
  QString error;
  ASSERT_TRUE(EnsurePrivateFolder(TemporaryFolderPath(), error));
  // A lock file naming a process that no longer runs.
  QProcess gone;
  gone.start(QStringLiteral("true"), {});
  ASSERT_TRUE(gone.waitForFinished(5000));
  const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
  QFile lf(TemporaryFolderPath() + QStringLiteral("/ended.lock"));
  ASSERT_TRUE(lf.open(QIODevice::WriteOnly));
  lf.write(QByteArray::number(std::max<qint64>(deadPid, 999999)) + "\nended\n" +
           QSysInfo::machineHostName().toUtf8() + "\n");
  lf.close();
  TSingleInstance instance;
  EXPECT_TRUE(instance.TryLock(TemporaryFolderPath(), QStringLiteral("ended")));
}

// The cover's selected layer is the one selection: the list's highlight, the
// handles and the layer buttons follow it, whatever dialogs and focus do.
class SelectionTest : public MainWindowTest {
protected:
  void SetUp() override
  {
    MainWindowTest::SetUp();
    // "Lower" is Number 1 on list row 1, "Upper" Number 2 on row 0.
    doc().AddTextLayer(10, 10, QStringLiteral("Lower"), QStringLiteral("Times New Roman"), 0, 0, false, true, 200, 100);
    doc().AddTextLayer(10, 250, QStringLiteral("Upper"), QStringLiteral("Times New Roman"), 0, 0, false, true, 200,
                       100);
    frm->PageControl()->setCurrentIndex(0);
    QApplication::setActiveWindow(frm.get());
  }

  // What a window manager does when a dialog closes: the focus goes back to
  // the widget that had it, here the layer list.
  void FocusBackToList() const
  {
    QApplication::setActiveWindow(frm.get());
    List()->setFocus(Qt::ActiveWindowFocusReason);
  }

  void ExpectNothingSelected() const
  {
    EXPECT_EQ(doc().SelectedNumber(), -1);
    EXPECT_FALSE(canvas()->MarksTimer().isActive());
    EXPECT_TRUE(List()->selectedItems().isEmpty());
    EXPECT_TRUE(LayerButtonsDisabled());
  }

  // The user presses Delete: only a layer the user chose may go.
  void DeleteExpectingCount(int layers) const
  {
    QTest::mouseClick(Button("btnDelete"), Qt::LeftButton);
    EXPECT_EQ(doc().LayerCount(), layers);
    ExpectInStep();
  }

  void WriteDamagedProject(const QString& file) const
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is no project file at all");
  }
};

TEST_F(SelectionTest, DialogsAndTheFocusComingBackChangeNothing)
{
  Click(canvas(), QPoint(460, 460));  // the background: nothing selected
  ExpectNothingSelected();

  // New, answered Cancel.
  AnswerNextModal([](QWidget* w) { ClickMessageButton(w, QStringLiteral("Cancel")); });
  frm->btnNewClick();
  FocusBackToList();
  ExpectNothingSelected();

  // Open of a damaged file: the error is acknowledged.
  const QString broken = dir.filePath(QStringLiteral("broken.jkp"));
  WriteDamagedProject(broken);
  AnswerNextModal([&](QWidget* box) {
    AnswerNextModal([&](QWidget* dlg) {
      AnswerNextModal([](QWidget* error) { qobject_cast<QDialog*>(error)->accept(); }, dlg);
      AnswerFileDialog(dlg, broken);
    }, box);
    ClickMessageButton(box, QStringLiteral("No"));
  });
  frm->btnOpenClick();
  FocusBackToList();
  ExpectNothingSelected();
  DeleteExpectingCount(3);

  // The user chooses the lower layer; a dialog keeps that choice, and Delete
  // removes that layer and no other.
  Click(canvas(), QPoint(30, 30));
  ASSERT_EQ(doc().SelectedNumber(), 1);
  AnswerNextModal([](QWidget* w) { ClickMessageButton(w, QStringLiteral("Cancel")); });
  frm->btnNewClick();
  FocusBackToList();
  EXPECT_EQ(doc().SelectedNumber(), 1);
  EXPECT_EQ(List()->currentRow(), 1);
  ASSERT_EQ(List()->selectedItems().size(), 1);
  EXPECT_EQ(List()->row(List()->selectedItems().first()), 1);

  // A click on an empty spot of the cover clears the choice everywhere.
  Click(canvas(), QPoint(460, 460));
  ExpectNothingSelected();
  DeleteExpectingCount(3);

  Click(canvas(), QPoint(30, 30));
  DeleteExpectingCount(2);
  EXPECT_EQ(doc().LayerByNumber(1)->Text, QStringLiteral("Upper"));
  ExpectNothingSelected();
}

TEST_F(SelectionTest, BlankAreaBelowTheListAgreesWithTheCover)
{
  // A click on a line selects its layer on the cover.
  const QRect lower = List()->visualItemRect(List()->item(1));
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, lower.center());
  EXPECT_EQ(doc().SelectedNumber(), 1);
  EXPECT_TRUE(canvas()->MarksTimer().isActive());
  EXPECT_TRUE(LayerButtonsEnabled());

  // A click below the last line: the list and the cover agree on no layer.
  const QPoint blank(lower.center().x(), lower.bottom() + 40);
  ASSERT_LT(blank.y(), List()->viewport()->height());
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, blank);
  ExpectNothingSelected();
  DeleteExpectingCount(3);

  // Keys move the highlight and the cover's selection together.
  QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, lower.center());
  QTest::keyClick(List(), Qt::Key_Up);
  EXPECT_EQ(doc().SelectedNumber(), 2);
  EXPECT_EQ(List()->currentRow(), 0);
  DeleteExpectingCount(2);
  EXPECT_EQ(doc().LayerByNumber(1)->Text, QStringLiteral("Lower"));
}

TEST_F(MainWindowTest, SaveDialogOffersTheProjectsNameOrAnUntitledOne)
{
  // The name field and folder the save dialog shows, without saving.
  const auto offered = [this] {
    QString shown;
    AnswerNextModal([&](QWidget* w) {
      auto* dlg = qobject_cast<QFileDialog*>(w);
      ASSERT_NE(dlg, nullptr);
      shown = QDir(dlg->directory()).filePath(dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text());
      dlg->reject();
    });
    frm->btnSaveClick();
    return shown;
  };
  AddWith("btnAddText", QPoint(100, 50));
  const QString first = dir.filePath(QStringLiteral("saved/first.jkp"));
  QDir().mkpath(QFileInfo(first).absolutePath());
  AnswerNextModal([first](QWidget* dlg) { AnswerFileDialog(dlg, first); });
  frm->btnSaveClick();
  ASSERT_TRUE(QFileInfo::exists(first));
  EXPECT_EQ(offered().toStdString(), first.toStdString());

  frm->btnNewClick();  // saved: nothing is asked
  EXPECT_EQ(offered().toStdString(), dir.filePath(QStringLiteral("saved/Untitled.jkp")).toStdString());
}

TEST_F(MainWindowTest, HelpThatCannotBeShownNamesTheHelpFile)
{
  const auto shownFor = [this] {
    QString text;
    AnswerNextModal([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      text = box->text();
      box->accept();
    });
    Button("btnHelp")->click();
    return text;
  };
  const QString missing = dir.filePath(QStringLiteral("nowhere/JKTAHelp.html"));
  frm->SetHelpFile(missing);
  EXPECT_TRUE(shownFor().contains(missing));

  // No viewer: nothing on the search path opens a file, and no browser is named.
  const QString help = dir.filePath(QStringLiteral("JKTAHelp.html"));
  {
    QFile f(help);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<html><body>Help</body></html>");
  }
  frm->SetHelpFile(help);
  QTemporaryDir emptyBin;
  const QByteArray path = qgetenv("PATH");
  const QByteArray browser = qgetenv("BROWSER");
  qputenv("PATH", QFile::encodeName(emptyBin.path()));
  qunsetenv("BROWSER");
  qunsetenv("DEFAULT_BROWSER");
  const QString shown = shownFor();
  qputenv("PATH", path);
  if (!browser.isEmpty()) qputenv("BROWSER", browser);
  EXPECT_TRUE(shown.contains(help)) << shown.toStdString();
}

// The splash's title is drawn whole, clear of the right edge, at every scale
// of the screen: it is the only pure white right of the disc.
TEST(Splash, TitleFitsAtEveryScale)
{
  TfrmSplash splash;
  for (const qreal scale : {1.0, 1.5, 2.0}) {
    QImage shown(QSize(qRound(splash.width() * scale), qRound(splash.height() * scale)), QImage::Format_RGB32);
    shown.setDevicePixelRatio(scale);
    shown.fill(Qt::black);
    splash.render(&shown);
    int left = shown.width(), right = -1;
    for (int y = qRound(30 * scale); y < qRound(230 * scale); ++y) {
      const auto* row = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
      for (int x = qRound(196 * scale); x < shown.width(); ++x) {
        if (qRed(row[x]) >= 235 && qGreen(row[x]) >= 235 && qBlue(row[x]) >= 235) {
          left = std::min(left, x);
          right = std::max(right, x);
        }
      }
    }
    EXPECT_LT(right / scale, splash.width() - 6) << "scale " << scale;
    EXPECT_GT((right - left) / scale, 120) << "scale " << scale;
  }
}

// Lock files that no running copy holds (empty, garbage, left by a copy that
// ended) are taken over; one that can not be used is named in the message.
TEST(SingleInstance, StaleOrUnusableLockFiles)
{
  QString error;
  ASSERT_TRUE(EnsurePrivateFolder(TemporaryFolderPath(), error));
  const QString folder = TemporaryFolderPath();
  for (const QByteArray& content : {QByteArray(), QByteArray("\x01\xFFgarbage\n\n\n"), QByteArray("999999\nold\nhost\n")}) {
    QFile lf(folder + "/stale.lock");
    ASSERT_TRUE(lf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    lf.write(content);
    lf.close();
    TSingleInstance instance;
    EXPECT_EQ(instance.Lock(folder, "stale", error), TSingleInstance::Acquired) << error.toStdString();
    TSingleInstance second;
    EXPECT_EQ(second.Lock(folder, "stale", error), TSingleInstance::Running);
  }
  QDir().mkpath(folder + "/blocked.lock");
  TSingleInstance blocked;
  EXPECT_EQ(blocked.Lock(folder, "blocked", error), TSingleInstance::Failed);
  EXPECT_TRUE(error.contains(folder + "/blocked.lock")) << error.toStdString();
}
