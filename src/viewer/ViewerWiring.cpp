#include "viewer/ViewerWiring.h"

#include "canvas/LabelShower.h"
#include "imageeditor/formImageEditor.h"
#include "shell/Main.h"
#include "viewer/formViewerMain.h"
#include "editors/formBackgroundProperty.h"

TViewerWiring::TViewerWiring(TfrmMain& main, TSettings& settings) : QObject(&main), m_main(main)
{
  setObjectName(QStringLiteral("ViewerWiring"));
  m_viewer = new TfrmViewerMain(settings, &main);
  m_editor = new TfrmImageEditor(&main);
  m_viewer->SetCover(&main.Canvas()->Document());
  m_viewer->SetFavouritesFolder(main.FavouritesFolder());
  m_viewer->OnAddPicture = [this](const QString& file, int width, int height) {
    return m_main.AddPictureAtClick(file, width, height);
  };
  m_viewer->OnFavouritesCopied = [this] { m_main.ReloadFavourites(); };
  m_viewer->OnEditImage = [this](const QString& file) { return EditImage(file); };

  main.SetImageViewerHooks(
      [this] {
        m_viewer->ShowAddImageMode();
        m_viewer->exec();
      },
      [this] {
        m_viewer->ShowBrowseMode();
        m_viewer->exec();
      });
}

TViewerWiring::~TViewerWiring() = default;

QString TViewerWiring::EditImage(const QString& file)
{
  if (file.isEmpty()) {
    // No picture focused: the editor opens empty.
    m_editor->SetPicture(QImage());
    m_editor->SetPictureFile(QString());
    m_editor->exec();
    return m_editor->SavedFile();
  }
  return m_editor->EditFile(file);
}

TViewerWiring* AttachImageViewer(TfrmMain& main, TSettings& settings)
{
  return new TViewerWiring(main, settings);
}

void ConnectBackgroundChoice(TfrmBackgroundProperty& editor, TfrmViewerMain& viewer)
{
  editor.OnSelectImage = [&editor, &viewer] {
    const TBackgroundInfo b = editor.ReadSettings();
    viewer.PrepareBackgroundChoice(b.FileName, b.ImageMode, b.StartColor, b.EndColor, b.Vertical, b.ShowImage);
    viewer.OnBackgroundChosen = [&editor](const QString& file) { editor.BackgroundPictureChosen(file); };
    viewer.exec();
    viewer.OnBackgroundChosen = nullptr;
  };
}
