#pragma once
// The image viewer and the image editor of the main window, created once
// with it: the Image command (a click on the editing area opens the viewer
// to pick a picture for a new layer there), the favourites' Search (browse,
// copy pictures into the favourites) and the viewer's Edit image.

#include <QObject>

class TfrmBackgroundProperty;
class TfrmImageEditor;
class TfrmMain;
class TfrmViewerMain;
class TSettings;

class TViewerWiring : public QObject {
  Q_OBJECT

public:
  // Owned by the main window; the windows are its children.
  TViewerWiring(TfrmMain& main, TSettings& settings);
  ~TViewerWiring() override;

  TfrmViewerMain* Viewer() const { return m_viewer; }
  TfrmImageEditor* ImageEditor() const { return m_editor; }

private:
  QString EditImage(const QString& file);

  TfrmMain& m_main;
  TfrmViewerMain* m_viewer = nullptr;
  TfrmImageEditor* m_editor = nullptr;
};

// Creates the viewer and the image editor for the main window and wires them in.
TViewerWiring* AttachImageViewer(TfrmMain& main, TSettings& settings);

// The background editor's "Select image": the viewer opens in its background
// mode with the editor's present choices, and a picture set there as the
// background is shown in the editor.
void ConnectBackgroundChoice(TfrmBackgroundProperty& editor, TfrmViewerMain& viewer);
