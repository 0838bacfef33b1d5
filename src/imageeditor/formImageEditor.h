#pragma once
// The image editor window: a picture in the editing panel, a menu bar with
// File, Edit, Effect and Help, the twenty-one effect dialogs, a status bar
// that shows the progress of the current effect run, Save as BMP or JPEG and
// the question that protects unsaved changes.
//
// Created once and reused. The way in is EditFile(path), which opens the
// picture, runs the window modally and answers the last file saved; or, for
// a caller that already holds the picture, SetPicture, SetPictureFile and a
// modal show.

#include <QDialog>
#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QFileDialog;
class QMenuBar;
class QStatusBar;
class QVBoxLayout;
class TImageEditor;
class TProgressPanel;
class TfrmToolBase;

class TfrmImageEditor : public QDialog {
  Q_OBJECT

public:
  // mainWindow: the window the editor is placed over when shown.
  explicit TfrmImageEditor(QWidget* mainWindow = nullptr);
  ~TfrmImageEditor() override;

  // Opens the picture file, runs the window modally and answers the file
  // written by the last successful Save as (empty when nothing was saved).
  // A picture that can not be read opens nothing and says why.
  QString EditFile(const QString& path);
  // Reads a picture file whole for editing; false with a message.
  static bool LoadPicture(const QString& path, QImage& picture, QString& error);

  // A new editing panel on a copy of the picture; nothing modified.
  void SetPicture(const QImage& picture);
  // The file the picture came from: the caption and Save as use it.
  void SetPictureFile(const QString& path);

  // Keeps the previewed picture and marks the picture modified.
  void CommitPreview();
  // Shows the committed picture again, stopping a run if need be.
  void RestorePreview();
  // Set by the open effect dialog: called when a run has ended.
  std::function<void()> OnEffectDone;

  // Save as; true when a file was written.
  bool SaveAs();
  void CopyPicture();
  void PastePicture();

  TImageEditor* Editor() const { return m_editor; }
  bool PictureModified() const { return m_pictureModified; }
  QString PictureFile() const { return m_pictureFile; }
  QString SavedFile() const { return m_savedFile; }
  int ProgressPercent() const { return m_progressPercent; }
  QFileDialog* SaveDialog() const { return SDialog; }
  // The effect dialog of an Effect menu item ("muEffectBC", …).
  TfrmToolBase* Tool(const QString& menuItem) const;
  const std::vector<TfrmToolBase*>& Tools() const { return m_tools; }

  // Closes through the unsaved-changes question, also from Escape.
  void reject() override;

signals:
  // A picture was written by Save as.
  void PictureSaved(const QString& fileName);

protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

private:
  void BuildMenus();
  void EditorProgress(int percent);
  void EditorFinished();
  bool FormCloseQuery();
  void FormClose();

  QWidget* m_mainWindow = nullptr;
  QVBoxLayout* m_layout = nullptr;
  QMenuBar* mmMain = nullptr;
  QWidget* m_client = nullptr;
  QStatusBar* StatusBar = nullptr;
  TProgressPanel* m_progressPanel = nullptr;
  QFileDialog* SDialog = nullptr;
  TImageEditor* m_editor = nullptr;
  std::vector<TfrmToolBase*> m_tools;

  int m_progressPercent = 0;
  QString m_pictureFile;
  QString m_savedFile;
  bool m_pictureModified = false;
  // The close question was answered while a run was still stopping: the
  // window closes when the run has ended.
  bool m_closeWhenIdle = false;
};
