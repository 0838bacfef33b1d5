#pragma once
// The layer editors of the main window, created once with it and reused: the
// text editor (text, year and time layers), the tracks editor with the track
// list exchange, the picture editor and the background editor. Attaching
// them fills the main window's editor hooks, the source of new tracks
// layers' lines, the track request of its Tracks button and the background
// settings a favourite picture is set with.

#include <QObject>

struct TBackgroundInfo;

class TfrmBackgroundProperty;
class TfrmImageProperty;
class TfrmMain;
class TfrmTextProperty;
class TfrmTracksProperty;
class TTrackExchange;

class TLayerEditors : public QObject {
  Q_OBJECT

public:
  // Owned by the main window; the editor windows are its children.
  explicit TLayerEditors(TfrmMain& main);
  ~TLayerEditors() override;

  TfrmTextProperty* TextEditor() const { return m_text; }
  TfrmTracksProperty* TracksEditor() const { return m_tracks; }
  TfrmImageProperty* ImageEditor() const { return m_image; }
  TfrmBackgroundProperty* BackgroundEditor() const { return m_background; }
  TTrackExchange* Exchange() const { return m_exchange; }

private:
  void EditText(int number);
  void EditTracks(int number);
  void EditPicture(int number);
  void EditBackground(const TBackgroundInfo& background);
  // After an editor closed: the layer list shows the layer's new caption.
  void RefreshListLine(int number);

  TfrmMain& m_main;
  TfrmTextProperty* m_text = nullptr;
  TfrmTracksProperty* m_tracks = nullptr;
  TfrmImageProperty* m_image = nullptr;
  TfrmBackgroundProperty* m_background = nullptr;
  TTrackExchange* m_exchange = nullptr;
};

// Creates the editors for the main window and wires them in.
TLayerEditors* AttachLayerEditors(TfrmMain& main);
