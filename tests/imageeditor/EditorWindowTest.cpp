// The editor window: opening, caption and placement, menus, progress,
// Save as round trips and the close question on every path.
#include "EditorTestSupport.h"
#include "TestSupport.h"
#include "codecs/Codec.h"
#include "imageeditor/SavePicture.h"
#include "imageeditor/ToolBase.h"
#include "shell/ShellTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImageReader>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>

namespace {

QImage ReadBack(const QString& file, bool jpeg)
{
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return QImage();
  TDecodedImage out;
  QString error;
  const bool ok = jpeg ? DecodeJpeg(f.readAll(), {}, out, error) : DecodeBmp(f.readAll(), {}, out, error);
  return ok ? out.Bitmap : QImage();
}

// Answers the save dialog with `name` (empty: cancel).
void AnswerSave(const QString& name)
{
  AnswerNext<QFileDialog>([name](QFileDialog* d) { AnswerFileDialog(d, name); });
}

// Clicks a button of the next message box, keeping its text.
void AnswerBox(const QString& button, QString* text = nullptr)
{
  AnswerNext<QMessageBox>([=](QMessageBox* box) {
    if (text) *text = box->text();
    ClickMessageButton(box, button);
  });
}

}  // namespace

TEST_F(EditorWindowTest, OpensOverTheMainWindowWithItsCaptionAndMenus)
{
  EXPECT_EQ(frm->windowTitle(), QStringLiteral("Jacketeer: Image editor"));
  const QString file = TempPath(QStringLiteral("photo.bmp"));
  QString error;
  ASSERT_TRUE(WritePicture(PhotoBitmap(64, 48), {TSaveKind::Bmp, file}, error));
  QString saved = QStringLiteral("unchanged");
  QRect placed;
  QString caption;
  AnswerNext<TfrmImageEditor>([&](TfrmImageEditor* w) {
    placed = w->geometry();
    caption = w->windowTitle();
    w->close();  // nothing changed: closes without a question
  });
  saved = frm->EditFile(file);
  EXPECT_TRUE(saved.isEmpty());
  EXPECT_EQ(caption, QStringLiteral("Image Editor LE --   ") + file);
  EXPECT_EQ(placed, main->geometry());
  EXPECT_EQ(frm->Editor(), nullptr);  // the panel goes with the closing

  for (const char* hidden : {"muFileOpen", "muFileSave", "muEffectRotate"})
    EXPECT_FALSE(frm->findChild<QAction*>(QString::fromLatin1(hidden))->isVisible()) << hidden;
  EXPECT_EQ(frm->findChild<QAction*>(QStringLiteral("muEditUndo"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
  EXPECT_EQ(frm->findChild<QAction*>(QStringLiteral("muFileExit"))->shortcut(), QKeySequence(QStringLiteral("Alt+X")));
  EXPECT_EQ(frm->Tools().size(), 21u);

  // Pictures that can not be read open nothing and say why; a pipe does not
  // make the window wait.
  const QString fifo = TempPath(QStringLiteral("pipe.jpg"));
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString broken = TempPath(QStringLiteral("broken.jpg"));
  {
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a JPEG at all");
  }
  for (const QString& bad : {fifo, broken, TempPath(QStringLiteral("missing.bmp"))}) {
    QString message;
    AnswerBox(QStringLiteral("OK"), &message);
    EXPECT_TRUE(frm->EditFile(bad).isEmpty());
    EXPECT_TRUE(message.contains(bad)) << message.toStdString();
    EXPECT_FALSE(frm->isVisible());
  }
}

TEST_F(EditorWindowTest, SaveAsRoundTripsAndTheNameActuallyWritten)
{
  const QImage picture = PhotoBitmap(97, 61);  // odd width: padded BMP rows
  Open(picture, TempPath(QStringLiteral("holiday.tif")));
  frm->CommitPreview();
  ASSERT_TRUE(frm->PictureModified());

  // Proposed: the picture's folder and its name without extension.
  QString proposedFolder, proposedName;
  AnswerNext<QFileDialog>([&](QFileDialog* d) {
    proposedFolder = d->directory().absolutePath();
    proposedName = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
    d->reject();
  });
  EXPECT_FALSE(frm->SaveAs());
  EXPECT_EQ(proposedFolder, dir.path());
  EXPECT_EQ(proposedName, QStringLiteral("holiday"));
  EXPECT_TRUE(frm->PictureModified());

  QString error;
  // BMP, in any letter case: exact.
  AnswerSave(TempPath(QStringLiteral("copy.BMP")));
  ASSERT_TRUE(frm->SaveAs());
  EXPECT_FALSE(frm->PictureModified());
  EXPECT_EQ(frm->SavedFile(), TempPath(QStringLiteral("copy.BMP")));
  EXPECT_TRUE(SamePixels(ReadBack(TempPath(QStringLiteral("copy.BMP")), false), picture));
  EXPECT_EQ(frm->windowTitle(), QStringLiteral("Image Editor LE --   ") + TempPath(QStringLiteral("holiday.tif")));

  // PNG, in any letter case: exact too.
  AnswerSave(TempPath(QStringLiteral("copy.Png")));
  ASSERT_TRUE(frm->SaveAs());
  QImageReader png(TempPath(QStringLiteral("copy.Png")));
  EXPECT_EQ(png.format(), QByteArray("png"));
  EXPECT_TRUE(SamePixels(png.read().convertToFormat(QImage::Format_BGR888), picture));

  // Another extension: JPEG at quality 80 under the name ending in .Jpg.
  AnswerSave(TempPath(QStringLiteral("web.tga")));
  ASSERT_TRUE(frm->SaveAs());
  const QString jpg = TempPath(QStringLiteral("web.Jpg"));
  EXPECT_FALSE(QFile::exists(TempPath(QStringLiteral("web.tga"))));
  const QImage back = ReadBack(jpg, true);
  ASSERT_EQ(back.size(), picture.size());
  int64_t diff = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width() * 3; ++x)
      diff += std::abs(int(back.constScanLine(y)[x]) - int(picture.constScanLine(y)[x]));
  EXPECT_LT(double(diff) / (picture.width() * picture.height() * 3), 6.0);
  QByteArray q80;
  ASSERT_TRUE(EncodeJpeg(picture, q80, error, 80));
  QFile written(jpg);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_EQ(written.readAll(), q80);  // quality 80

  // A typed name whose changed name exists: asked again for the changed
  // name; No goes back to the dialog, and the existing file stays as it was.
  const QByteArray before = [&] {
    QFile f(jpg);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  QString question, secondProposal;
  AnswerSave(TempPath(QStringLiteral("web.gif")));
  AnswerNext<QMessageBox>([&](QMessageBox* box) {
    question = box->text();
    AnswerNext<QFileDialog>([&](QFileDialog* d) {
      secondProposal = d->selectedFiles().value(0);
      d->reject();
    });
    ClickMessageButton(box, QStringLiteral("No"));
  });
  EXPECT_FALSE(frm->SaveAs());
  EXPECT_TRUE(question.startsWith(QStringLiteral("web.Jpg already exists"))) << question.toStdString();
  EXPECT_EQ(QFileInfo(secondProposal).fileName(), QStringLiteral("web.Jpg"));
  QFile f(jpg);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);

  // A folder that can not be written: said, nothing claimed saved.
  frm->CommitPreview();
  QDir(dir.path()).mkdir(QStringLiteral("locked"));
  QFile::setPermissions(TempPath(QStringLiteral("locked")), QFile::ReadOwner | QFile::ExeOwner);
  if (!QFileInfo(TempPath(QStringLiteral("locked"))).isWritable()) {
    AnswerSave(TempPath(QStringLiteral("locked/x.bmp")));
    AnswerBox(QStringLiteral("OK"));
    EXPECT_FALSE(frm->SaveAs());
    EXPECT_TRUE(frm->PictureModified());
  }
}

TEST_F(EditorWindowTest, CloseQuestionOnEveryPath)
{
  Open(PhotoBitmap(40, 30), TempPath(QStringLiteral("a.bmp")));
  // Undo and Cancel in a dialog do not make the picture modified.
  frm->findChild<QAction*>(QStringLiteral("muEditUndo"))->trigger();
  EXPECT_EQ(ModalsDuring([&] { frm->close(); }), 0);
  EXPECT_FALSE(frm->isVisible());

  auto openModified = [&] {
    Open(PhotoBitmap(40, 30), TempPath(QStringLiteral("a.bmp")));
    QImage red(10, 10, QImage::Format_RGB32);
    red.fill(Qt::red);
    QApplication::clipboard()->setImage(red);
    frm->findChild<QAction*>(QStringLiteral("muEditPaste"))->trigger();
    ASSERT_TRUE(frm->PictureModified());
  };
  auto answerQuestion = [&](const QString& button, QString* text = nullptr) {
    AnswerNext<QMessageBox>([=](QMessageBox* box) {
      if (text) *text = box->text();
      EXPECT_EQ(box->windowTitle(), QStringLiteral("Confirm"));
      EXPECT_EQ(MessageButtons(box).size(), 3);
      ClickMessageButton(box, button);
    });
  };

  // Cancel: stays open.
  openModified();
  QString text;
  answerQuestion(QStringLiteral("Cancel"), &text);
  frm->close();
  EXPECT_TRUE(frm->isVisible());
  EXPECT_EQ(text, QStringLiteral("The image ") + TempPath(QStringLiteral("a.bmp")) +
                      QStringLiteral(" has changed.\n\nDo you want to save the changes?"));

  // Yes, then the save dialog cancelled: stays open.
  answerQuestion(QStringLiteral("Yes"));
  AnswerSave(QString());
  frm->close();
  EXPECT_TRUE(frm->isVisible());

  // Yes and saved: closes, the file holds the picture.
  answerQuestion(QStringLiteral("Yes"));
  AnswerSave(TempPath(QStringLiteral("saved.bmp")));
  frm->close();
  EXPECT_FALSE(frm->isVisible());
  EXPECT_EQ(ReadBack(TempPath(QStringLiteral("saved.bmp")), false).size(), QSize(10, 10));

  // No: closes, nothing written.
  openModified();
  answerQuestion(QStringLiteral("No"));
  frm->close();
  EXPECT_FALSE(frm->isVisible());
  EXPECT_FALSE(QFile::exists(TempPath(QStringLiteral("a.bmp"))));
}

TEST_F(EditorWindowTest, ProgressInTheStatusBarAndClosingDuringARunWaitsForTheWorker)
{
  Open(RandomBitmap(1600, 1200, 41), TempPath(QStringLiteral("big.bmp")));
  QSignalSpy progress(editor(), &TImageEditor::Progress);
  QSignalSpy finished(editor(), &TImageEditor::Finished);
  editor()->RunMiddle(31);
  while (progress.isEmpty() || progress.last().at(0).toInt() == 0) ASSERT_TRUE(progress.wait(20000));
  EXPECT_GT(frm->ProgressPercent(), 0);
  QWidget* bar = frm->findChild<QWidget*>(QStringLiteral("plProgress"));
  const auto navyAtLeft = [bar] { return bar->grab().toImage().pixel(0, bar->height() / 2) == qRgb(0, 0, 128); };
  EXPECT_TRUE(navyAtLeft());
  ASSERT_TRUE(WaitCount(finished, 1));
  EXPECT_EQ(frm->ProgressPercent(), 0);
  EXPECT_FALSE(navyAtLeft());

  // Closing during a run: the window thread does not wait; the window
  // closes once the worker has ended.
  QPointer<TImageEditor> panel = editor();
  editor()->RunMiddle(29);
  frm->close();
  EXPECT_TRUE(frm->isVisible());
  EXPECT_TRUE(panel);
  ASSERT_TRUE(WaitCount(finished, 2));
  QSignalSpy hidden(frm.get(), &QDialog::finished);
  ASSERT_TRUE(hidden.count() == 1 || hidden.wait(20000));
  EXPECT_FALSE(frm->isVisible());
  EXPECT_FALSE(panel);
}
