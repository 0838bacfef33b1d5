#include "imageeditor/formImageEditor.h"

#include "codecs/GifCodec.h"
#include "imageeditor/EffectDialogs.h"
#include "imageeditor/ImageEditor.h"
#include "imageeditor/SavePicture.h"
#include "imageeditor/ToolBase.h"
#include "imagelib/ImageLoader.h"
#include "shell/Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>

// The status bar's one panel: a navy bar as wide as the run's progress.
class TProgressPanel : public QWidget {
public:
  explicit TProgressPanel(const int& percent, QWidget* parent) : QWidget(parent), m_percent(percent)
  {
    setObjectName(QStringLiteral("plProgress"));
    setMinimumHeight(14);
  }

protected:
  void paintEvent(QPaintEvent*) override
  {
    QPainter p(this);
    p.fillRect(QRect(0, 0, width() * m_percent / 100, height()), QColor(0, 0, 128));
  }

private:
  const int& m_percent;
};

namespace {

// Address of the maker's pages: the manual that comes with the program.
QUrl HomePage()
{
  return QUrl::fromLocalFile(TfrmMain::HelpFile());
}

}  // namespace

TfrmImageEditor::TfrmImageEditor(QWidget* mainWindow) : QDialog(mainWindow), m_mainWindow(mainWindow)
{
  setObjectName(QStringLiteral("frmImageEditor"));
  setWindowTitle(QStringLiteral("Jacketeer: Image editor"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  setMinimumSize(130, 50);
  resize(583, 469);

  m_layout = new QVBoxLayout(this);
  m_layout->setContentsMargins(0, 0, 0, 0);
  m_layout->setSpacing(0);
  mmMain = new QMenuBar(this);
  mmMain->setObjectName(QStringLiteral("mmMain"));
  m_layout->setMenuBar(mmMain);
  // The editing panel's place.
  m_client = new QWidget(this);
  m_client->setObjectName(QStringLiteral("plClient"));
  auto* clientLayout = new QVBoxLayout(m_client);
  clientLayout->setContentsMargins(0, 0, 0, 0);
  m_layout->addWidget(m_client, 1);
  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setSizeGripEnabled(true);
  m_progressPanel = new TProgressPanel(m_progressPercent, StatusBar);
  StatusBar->addWidget(m_progressPanel, 1);
  m_layout->addWidget(StatusBar);

  SDialog = new QFileDialog(this, QStringLiteral("Save as"));
  SDialog->setObjectName(QStringLiteral("SDialog"));
  SDialog->setOption(QFileDialog::DontUseNativeDialog);
  // The overwrite question is asked for the name that is actually written.
  SDialog->setOption(QFileDialog::DontConfirmOverwrite);
  SDialog->setAcceptMode(QFileDialog::AcceptSave);
  SDialog->setFileMode(QFileDialog::AnyFile);
  SDialog->setNameFilters(SaveFilters());
  SDialog->setDefaultSuffix(SaveFormats().first().Suffix);
  connect(SDialog, &QFileDialog::filterSelected, this,
          [this](const QString& filter) { SDialog->setDefaultSuffix(SaveFormatOfFilter(filter).Suffix); });

  BuildMenus();
}

TfrmImageEditor::~TfrmImageEditor()
{
  // The dialogs call back into this window; they go first.
  OnEffectDone = nullptr;
  for (TfrmToolBase* tool : m_tools) delete tool;
  m_tools.clear();
  delete m_editor;
}

void TfrmImageEditor::BuildMenus()
{
  auto addItem = [this](QMenu* menu, const char* name, const QString& caption, const QKeySequence& key,
                        std::function<void()> action) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) a->setShortcut(key);
    if (action) connect(a, &QAction::triggered, this, [action] { action(); });
    addAction(a);  // shortcuts work while the window is active
    return a;
  };
  auto addSeparator = [](QMenu* menu, const char* name) { menu->addSeparator()->setObjectName(QString::fromLatin1(name)); };

  QMenu* muFile = mmMain->addMenu(QStringLiteral("&File"));
  muFile->setObjectName(QStringLiteral("muFile"));
  addItem(muFile, "muFileOpen", QStringLiteral("Open"), QKeySequence(Qt::Key_Return), nullptr)->setVisible(false);
  addItem(muFile, "muFileSave", QStringLiteral("Save"), {}, nullptr)->setVisible(false);
  addItem(muFile, "muFileSaveAs", QStringLiteral("Save as"), {}, [this] { SaveAs(); });
  addSeparator(muFile, "muFileSp2");
  addItem(muFile, "muFileExit", QStringLiteral("&Exit"), QKeySequence(Qt::ALT | Qt::Key_X), [this] { close(); });

  QMenu* muEdit = mmMain->addMenu(QStringLiteral("&Edit"));
  muEdit->setObjectName(QStringLiteral("muEdit"));
  addItem(muEdit, "muEditUndo", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), [this] {
    if (m_editor) m_editor->Undo();
  });
  addSeparator(muEdit, "muEditSp1");
  addItem(muEdit, "muEditCopy", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), [this] { CopyPicture(); });
  addItem(muEdit, "muEditPaste", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V),
          [this] { PastePicture(); });

  QMenu* muEffect = mmMain->addMenu(QStringLiteral("&Effect"));
  muEffect->setObjectName(QStringLiteral("muEffect"));
  for (const TEffectMenuEntry& entry : CreateEffectDialogs(*this)) {
    TfrmToolBase* tool = entry.Tool;
    QAction* a = addItem(muEffect, entry.Item.toLatin1().constData(), entry.Caption, {}, [this, tool] {
      if (tool && m_editor) tool->exec();
    });
    if (tool) m_tools.push_back(tool);
    else a->setVisible(false);
    if (tool) tool->setProperty("menuItem", entry.Item);
  }

  QMenu* muHelp = mmMain->addMenu(QStringLiteral("&Help"));
  muHelp->setObjectName(QStringLiteral("muHelp"));
  addItem(muHelp, "muHelpHelp", QStringLiteral("Help"), QKeySequence(Qt::Key_F1),
          [] {
            QUrl manual = QUrl::fromLocalFile(TfrmMain::HelpFile());
            manual.setFragment(QStringLiteral("imageeditor"));
            QDesktopServices::openUrl(manual);
          });
  addSeparator(muHelp, "muHelpSp1");
  addItem(muHelp, "muHelpHome", QStringLiteral("Brindlewick &Home"), QKeySequence(Qt::CTRL | Qt::Key_H),
          [] { QDesktopServices::openUrl(HomePage()); });
  addItem(muHelp, "muHelpAbout", QStringLiteral("&About"), {}, nullptr);
}

TfrmToolBase* TfrmImageEditor::Tool(const QString& menuItem) const
{
  for (TfrmToolBase* tool : m_tools)
    if (tool->property("menuItem").toString() == menuItem) return tool;
  return nullptr;
}

// ---------------------------------------------------------------- opening

bool TfrmImageEditor::LoadPicture(const QString& path, QImage& picture, QString& error)
{
  const QFileInfo info(path);
  if (!info.exists()) {
    error = QStringLiteral("The picture %1 does not exist.").arg(path);
    return false;
  }
  // Folders, devices and pipes are never opened (a pipe would wait for a writer).
  if (!info.isFile()) {
    error = QStringLiteral("%1 is not a picture file.").arg(path);
    return false;
  }
  if (!IsImageFile(path)) {
    error = QStringLiteral("%1 is not a picture of a format Jacketeer reads.").arg(path);
    return false;
  }
  if (!info.isReadable()) {
    error = QStringLiteral("The picture %1 can not be read: permission denied.").arg(path);
    return false;
  }
  QImage loaded;
  TGifAnimation animation;
  int width = 0, height = 0;
  const bool ok = LoadPreviewFile(path, loaded, &animation, 0xFFFFFF, 0, 0, &width, &height, true);
  if (ok && loaded.isNull() && animation.FrameCount() > 0) {
    // An animated picture is edited as its first frame.
    loaded = animation.NewCanvas();
    if (!loaded.isNull()) animation.RenderFrame(0, loaded, nullptr);
  }
  if (!ok || loaded.isNull()) {
    error = QStringLiteral("The picture %1 can not be opened: it is damaged, too large or not a %2 file.")
                .arg(path, ImageFileExt(path));
    return false;
  }
  picture = loaded.format() == QImage::Format_BGR888 ? loaded : loaded.convertToFormat(QImage::Format_BGR888);
  return !picture.isNull();
}

QString TfrmImageEditor::EditFile(const QString& path)
{
  QImage picture;
  QString error;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool loaded = LoadPicture(path, picture, error);
  QApplication::restoreOverrideCursor();
  if (!loaded) {
    QMessageBox::warning(m_mainWindow ? m_mainWindow : this, QStringLiteral("Jacketeer"), error);
    return QString();
  }
  SetPicture(picture);
  SetPictureFile(path);
  exec();
  return m_savedFile;
}

void TfrmImageEditor::SetPicture(const QImage& picture)
{
  delete m_editor;
  m_editor = new TImageEditor(m_client);
  m_client->layout()->addWidget(m_editor);
  connect(m_editor, &TImageEditor::Finished, this, [this] { EditorFinished(); });
  connect(m_editor, &TImageEditor::Progress, this, [this](int percent) { EditorProgress(percent); });
  connect(m_editor, &TImageEditor::RunFailed, this, [this](const QString& error) {
    QMessageBox::warning(this, QStringLiteral("Jacketeer"),
                         QStringLiteral("The effect could not be applied: %1").arg(error));
  });
  m_editor->SetBitmap(picture);
  m_editor->RefreshView();
  m_pictureModified = false;
  m_savedFile.clear();
  m_closeWhenIdle = false;
  m_progressPercent = 0;
  m_progressPanel->update();
}

void TfrmImageEditor::SetPictureFile(const QString& path)
{
  m_pictureFile = path;
  setWindowTitle(QStringLiteral("Image Editor LE --   ") + path);
}

void TfrmImageEditor::showEvent(QShowEvent* e)
{
  QDialog::showEvent(e);
  if (m_mainWindow && !e->spontaneous()) setGeometry(m_mainWindow->geometry());
}

// ---------------------------------------------------------------- effects

void TfrmImageEditor::CommitPreview()
{
  if (!m_editor || m_editor->Running()) return;
  m_editor->Commit();
  m_pictureModified = true;
}

void TfrmImageEditor::RestorePreview()
{
  if (m_editor) m_editor->Restore();
}

void TfrmImageEditor::EditorProgress(int percent)
{
  m_progressPercent = percent;
  m_progressPanel->update();
}

void TfrmImageEditor::EditorFinished()
{
  if (OnEffectDone) OnEffectDone();
  m_progressPercent = 0;
  m_progressPanel->update();
  // Closed from the event loop: this runs inside the panel's own handling.
  if (m_closeWhenIdle && m_editor && !m_editor->Running())
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

// ---------------------------------------------------------------- clipboard, saving

void TfrmImageEditor::CopyPicture()
{
  if (m_editor) m_editor->CopyToClipboard();
}

void TfrmImageEditor::PastePicture()
{
  if (!m_editor) return;
  QString error;
  if (m_editor->PasteFromClipboard(error)) {
    m_pictureModified = true;
  } else if (!error.isEmpty()) {
    QMessageBox::warning(this, QStringLiteral("Jacketeer"), error);
  }
}

bool TfrmImageEditor::SaveAs()
{
  if (!m_editor) return false;
  const QFileInfo opened(m_pictureFile);
  SDialog->setDirectory(opened.absolutePath());
  QString proposed = opened.completeBaseName();
  for (;;) {
    SDialog->selectFile(proposed);
    if (SDialog->exec() != QDialog::Accepted || SDialog->selectedFiles().isEmpty()) return false;
    const TSaveTarget target = SaveTargetFor(SDialog->selectedFiles().first());
    const QFileInfo existing(target.FileName);
    if (existing.exists()) {
      QMessageBox box(QMessageBox::Warning, QStringLiteral("Confirm Save As"),
                      QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(existing.fileName()),
                      QMessageBox::Yes | QMessageBox::No, this);
      box.setObjectName(QStringLiteral("msgReplace"));
      box.setDefaultButton(QMessageBox::No);
      if (box.exec() != QMessageBox::Yes) {
        // Back to the dialog with the name that would have been written.
        SDialog->setDirectory(existing.absolutePath());
        proposed = existing.fileName();
        continue;
      }
    }
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = WritePicture(m_editor->Bitmap(), target, error);
    QApplication::restoreOverrideCursor();
    if (!written) {
      QMessageBox::critical(this, QStringLiteral("Jacketeer"), error);
      return false;
    }
    m_pictureModified = false;
    m_savedFile = target.FileName;
    emit PictureSaved(target.FileName);
    return true;
  }
}

// ---------------------------------------------------------------- closing

bool TfrmImageEditor::FormCloseQuery()
{
  if (!m_pictureModified) return true;
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"),
                  QStringLiteral("The image ") + m_pictureFile + QStringLiteral(" has changed.\n\n") +
                      QStringLiteral("Do you want to save the changes?"),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  box.setObjectName(QStringLiteral("msgConfirm"));
  box.setDefaultButton(QMessageBox::Yes);
  switch (box.exec()) {
    case QMessageBox::Yes: return SaveAs();
    case QMessageBox::No: return true;
    default: return false;
  }
}

void TfrmImageEditor::FormClose()
{
  delete m_editor;
  m_editor = nullptr;
  m_closeWhenIdle = false;
  m_progressPercent = 0;
}

void TfrmImageEditor::closeEvent(QCloseEvent* e)
{
  if (!m_closeWhenIdle && !FormCloseQuery()) {
    e->ignore();
    return;
  }
  if (m_editor && m_editor->Running()) {
    // The window thread does not wait: the run is told to stop and the
    // window closes when it has ended.
    m_closeWhenIdle = true;
    m_editor->Restore();
    e->ignore();
    return;
  }
  FormClose();
  e->accept();
  QDialog::done(QDialog::Accepted);
}

void TfrmImageEditor::reject()
{
  close();
}
