#include "editors/LayerEditors.h"

#include "canvas/LabelShower.h"
#include "canvas/TextRender.h"
#include "editors/TrackExchange.h"
#include "editors/formBackgroundProperty.h"
#include "editors/formImageProperty.h"
#include "editors/formTextProperty.h"
#include "editors/formTracksProperty.h"
#include "imagelib/ImageLoader.h"
#include "project/WorkFolder.h"
#include "shell/Main.h"

#include <QListWidget>
#include <QMessageBox>

TLayerEditors::TLayerEditors(TfrmMain& main) : QObject(&main), m_main(main)
{
  setObjectName(QStringLiteral("LayerEditors"));
  TCoverDocument& doc = main.Canvas()->Document();
  m_tracks = new TfrmTracksProperty(doc, &main);
  m_text = new TfrmTextProperty(doc, &main);
  m_image = new TfrmImageProperty(doc, &main);
  m_background = new TfrmBackgroundProperty(doc, &main);

  m_exchange = new TTrackExchange(this);
  m_exchange->Listen(TemporaryFolderPath());
  connect(m_exchange, &TTrackExchange::TrackReply, m_tracks, &TfrmTracksProperty::LoadTrackFile);
  m_tracks->SendTrackRequest = [this] { m_exchange->SendRequest(); };

  main.EditTextHook = [this](int number, const TTextLayerInfo&) { EditText(number); };
  main.EditTracksHook = [this](int number, const TTracksLayerInfo&) { EditTracks(number); };
  main.EditPictureHook = [this](int number, const TPictureLayerInfo&) { EditPicture(number); };
  main.EditBackgroundHook = [this](const TBackgroundInfo& b) { EditBackground(b); };
  // A favourite made the background takes the placement, colours and
  // direction the background editor shows.
  main.BackgroundSettingsSource = [this] {
    return m_background->SettingsForCover(m_main.Canvas()->Document().Background());
  };
  main.TrackListSource = [this] {
    QStringList lines;
    m_tracks->CollectTracks(lines);
    return lines;
  };
  main.TrackRequestHook = [this] { m_exchange->SendRequest(); };
}

TLayerEditors::~TLayerEditors() = default;

void TLayerEditors::EditText(int number)
{
  const TTextLayerInfo t = m_main.Canvas()->Document().GetTextLayer(number);
  m_text->LoadTextLayer(number, t.Left, t.Top, t.Text, t.FontName, t.Color, t.FontStyles, t.Shadow, t.Smooth, t.Width,
                        t.Height);
  m_text->exec();
  m_main.Canvas()->ResetPress();
  RefreshListLine(number);
}

void TLayerEditors::EditTracks(int number)
{
  const TTracksLayerInfo t = m_main.Canvas()->Document().GetTracksLayer(number);
  m_tracks->LoadTracksLayer(number, t.Left, t.Top, t.Tracks ? *t.Tracks : QStringList(), t.FontName, t.Color,
                            t.FontStyles, t.Shadow, t.Smooth, t.LineSpace, t.Width, t.Height, t.Alignment);
  m_tracks->exec();
  m_main.Canvas()->ResetPress();
  RefreshListLine(number);
}

void TLayerEditors::EditPicture(int number)
{
  const TPictureLayerInfo p = m_main.Canvas()->Document().GetPictureLayer(number);
  // The work copy must still be readable, or the editor is not opened.
  QImage work;
  if (!LoadImageFile(p.WorkFile, work, 940, 940)) {
    QMessageBox::critical(&m_main, QStringLiteral("Jacketeer"),
                          QStringLiteral("Cannot open file \"%1\".").arg(p.WorkFile));
    m_main.Canvas()->ResetPress();
    return;
  }
  m_image->LoadBitmaps(p.Picture ? *p.Picture : QImage(), p.Mask ? *p.Mask : QImage());
  m_image->LoadValues(number, p.Left, p.Top, p.SoftV, p.SoftH);
  m_image->exec();
  m_main.Canvas()->ResetPress();
}

void TLayerEditors::EditBackground(const TBackgroundInfo& background)
{
  m_background->LoadBackground(background);
  m_background->exec();
  m_main.Canvas()->ResetPress();
}

void TLayerEditors::RefreshListLine(int number)
{
  const TLayer* l = m_main.Canvas()->Document().LayerByNumber(number);
  QListWidget* list = m_main.LayerList();
  const int row = list->count() - number;
  if (!l || row < 0 || row >= list->count()) return;
  const QString line = m_main.Canvas()->LayerKind(number) == lkTracks
                           ? LayerLine(QStringLiteral("Tracks"),
                                       (l->Tracks.isEmpty() ? QString() : TrackLineForDisplay(l->Tracks.first())) +
                                           QStringLiteral("..."))
                           : LayerLine(QStringLiteral("Text"), l->Text);
  if (list->item(row)->text() != line) list->item(row)->setText(line);
}

TLayerEditors* AttachLayerEditors(TfrmMain& main)
{
  return new TLayerEditors(main);
}
