#pragma once
// The cover document: the background layer and the stack of layers above it,
// the background settings, the composed cover and the selection marks. The
// canvas widget owns one and forwards to it; everything here runs without
// widgets so it can be tested and used headless (for example for printing to
// a file).

#include "canvas/Layer.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QFile;

// A whole cover as undo and redo keep it: the layers with their bitmaps
// (implicitly shared, so a kept state costs nothing for bitmaps that did not
// change since), the stack links, the background settings and the layer that
// was selected.
struct TCoverState {
  std::vector<TLayer> Layers;
  int TopSlot = 0;
  TBackgroundInfo Background;
  int SelectedNumber = -1;
};

class TCoverDocument {
public:
  static constexpr int CoverSize = 470;
  static constexpr int PrintSize = 940;
  static constexpr int OutlineSize = 941;
  static constexpr int RingSize = 1881;

  TCoverDocument();

  // Events (optional; an unset handler is not called).
  std::function<void(int number)> OnSelectLayer;
  std::function<void(const QString& kind, const QString& caption)> OnLayerAdded;
  std::function<void(int number, const TPictureLayerInfo&)> OnEditPicture;
  std::function<void(int number, const TTextLayerInfo&)> OnEditText;
  std::function<void(int number, const TTracksLayerInfo&)> OnEditTracks;
  std::function<void(const TBackgroundInfo&)> OnEditBackground;
  // For the widget: the editing area needs repainting; the mark timer is to run or stop.
  std::function<void()> OnRepaint;
  std::function<void(bool on)> OnMarksTimer;

  // Steps, for undo and redo. Every operation that may change the cover runs
  // as a step; steps nest, and only the outermost one counts, so a user's
  // action that makes several calls (a corner drag, an editor session with
  // its previews, a drop of several pictures) is one step. OnStepBegin and
  // OnStepEnd are raised at the outermost begin and end. NewCover and opening
  // a project end with OnHistoryReset instead; saving raises OnSaved.
  class TStepScope {
  public:
    explicit TStepScope(TCoverDocument& doc) : m_doc(doc) { m_doc.BeginStep(); }
    ~TStepScope() { m_doc.EndStep(); }
    TStepScope(const TStepScope&) = delete;
    TStepScope& operator=(const TStepScope&) = delete;

  private:
    TCoverDocument& m_doc;
  };
  void BeginStep();
  void EndStep();
  bool InStep() const { return m_stepDepth > 0; }
  // The document starts afresh (New, Open): the history is to be emptied
  // when the current step ends (at once outside a step).
  void ForgetHistory();
  // Clears Modified after the cover was written to a file.
  void MarkSaved();
  std::function<void()> OnStepBegin;
  std::function<void()> OnStepEnd;
  std::function<void()> OnHistoryReset;
  std::function<void()> OnSaved;
  // The layers were replaced by a kept state (undo, redo): the layer list is
  // to be built again. The selection follows through OnSelectLayer.
  std::function<void()> OnLayersReplaced;
  TCoverState TakeState() const;
  void RestoreState(const TCoverState& state);
  // Takes the bitmaps of a state just taken from this document, in which
  // some were replaced by kept ones with the same pixels.
  void ShareBitmaps(const TCoverState& state);

  // Queries.
  int LayerCount() const { return int(m_layers.size()); }
  int LayerKind(int number) const;
  TPictureLayerInfo GetPictureLayer(int number) const;
  TTextLayerInfo GetTextLayer(int number) const;
  TTracksLayerInfo GetTracksLayer(int number) const;
  // The layer with that Number, or nullptr.
  const TLayer* LayerByNumber(int number) const;
  int SlotOf(int number) const;  // -1 when there is none

  const std::vector<TLayer>& Layers() const { return m_layers; }
  int TopSlot() const { return m_topSlot; }
  int SelectedNumber() const { return m_selectedNumber; }
  int SelectedSlot() const { return m_selectedSlot; }
  bool Modified() const { return m_modified; }
  void SetModified(bool modified) { m_modified = modified; }
  const TBackgroundInfo& Background() const { return m_background; }
  const QImage& Cover() const { return m_cover; }
  bool MarksTimerOn() const { return m_marksOn; }

  // Creating layers: each appends on top, redraws, starts the marks, sets
  // Modified and raises OnLayerAdded.
  // A picture layer whose picture can not be read is made blank; `problem`
  // (when given) then says why. False, with `problem` set and no layer
  // added, when the layer's bitmaps can not be made: they would exceed the
  // memory budget or there is not enough memory.
  bool AddPictureLayer(int left, int top, const QString& fileName, int softV, int softH, int sourceWidth,
                       int sourceHeight, QString* problem = nullptr);
  bool LoadPictureLayer(int left, int top, const QString& fileName, int softV, int softH, int actualWidth,
                        int actualHeight, int boundWidth, int boundHeight, QString* problem = nullptr);
  void AddTextLayer(int left, int top, const QString& text, const QString& fontName, TColor color,
                    uint8_t fontStyles, bool shadow, bool smooth, int boundWidth, int boundHeight);
  void AddTracksLayer(int left, int top, const QStringList& tracks, const QString& fontName, TColor color,
                      uint8_t fontStyles, bool shadow, bool smooth, int lineSpace, int boundWidth,
                      int boundHeight, uint8_t alignment);

  // Changing layers: a Number above LayerCount − 1 is ignored.
  void UpdatePictureLayer(int number, int left, int top, const QString& workFile, int softV, int softH,
                          int width, int height);
  void SetLayerBitmaps(int number, int left, int top, int softV, int softH, const QImage& newPicture,
                       const QImage& newMask);
  void UpdateTextLayer(int number, int left, int top, const QString& text, const QString& fontName,
                       TColor color, uint8_t fontStyles, bool shadow, bool smooth, int boundWidth,
                       int boundHeight);
  void UpdateTracksLayer(int number, int left, int top, const QStringList& tracks, const QString& fontName,
                         TColor color, uint8_t fontStyles, bool shadow, bool smooth, int lineSpace,
                         int boundWidth, int boundHeight, uint8_t alignment);
  void SetBackground(const QString& fileName, uint8_t imageMode, TColor startColor, int32_t endColor,
                     bool vertical, bool showImage);
  // Moves a layer without re-rendering it (end of a body drag).
  void MoveLayerTo(int number, int left, int top);
  // Sets a layer's rectangle without re-rendering it (end of a corner drag:
  // the layer takes the dragged rectangle, its bitmap may be a little smaller).
  void SetLayerRect(int number, int left, int top, int width, int height);

  // Stack operations.
  void DeleteLayer(int number);
  void MoveLayerUp(int& number);
  void MoveLayerDown(int& number);
  void SelectLayer(int number);
  void EditSelected(bool allowBackground);
  void EditBackground();
  void NewCover();

  // Rendering.
  void Compose();
  void Redraw();  // Compose, then ask the widget to repaint
  // The 940 × 940 print cover. A layer whose bitmaps can not be made (not
  // enough memory) is left out rather than drawn half.
  void RenderPrintImage(QImage& result) const;

  // Memory of layer bitmaps. A layer that would take the document past the
  // budget is refused.
  static constexpr qint64 LayerBitmapBudget = qint64(1) << 30;
  qint64 LayerBitmapBytes() const;
  // Bytes the bitmaps of a picture layer in a width × height box take.
  static qint64 PictureLayerBytes(int width, int height);

  // Opening a project: layers are built into a separate document that draws
  // nothing and raises nothing (deferred), which is then moved into this one
  // whole by AdoptLayers: its layers, background and stored names replace
  // ours, the cover is composed once, OnLayerAdded is raised for every layer
  // from the bottom up, nothing is selected and Modified is cleared.
  void SetDeferred(bool deferred) { m_deferred = deferred; }
  void AdoptLayers(TCoverDocument&& other);
  // Kind word and caption of a layer as OnLayerAdded reports them.
  void LayerCaption(int number, QString& kind, QString& caption) const;

  // The name a picture file of the document is saved under: pictures taken
  // out of a project keep the name they had there.
  void SetStoredName(const QString& path, const QString& storedName) { m_storedNames.insert(path, storedName); }
  QString StoredName(const QString& path) const { return m_storedNames.value(path, path); }

  // Files this document created in the work folder (work copies), in order.
  const QStringList& CreatedFiles() const { return m_createdFiles; }

  // Selection marks.
  const std::vector<uint8_t>& OutlineMask() const { return m_outline; }
  const TRect& MarkRect() const { return m_markRect; }
  bool RingFlag(int index) const { return m_ring[size_t(index)]; }
  void BuildOutline(int slot);
  void AdvanceRing();
  // Paints the marks onto `area` (a copy of the cover as shown), never into Cover.
  void PaintMarks(QImage& area) const;
  // Marks timer control used while a drag is in progress.
  void SetMarksTimer(bool on);

  // Where work copies of pictures are written.
  void SetWorkFolder(const QString& folder) { m_workFolder = folder; }
  QString WorkFolder() const;
  // A fresh work copy: the millisecond tick count plus ".bmp", never a name
  // that is taken (not even by a dangling link) or was handed out before.
  // The file is created empty and exclusively (empty path on failure).
  QString NewWorkFileName();
  // The same, kept open in `file` for writing.
  QString NewWorkFile(QFile& file);


private:
  TLayer& AppendLayer();
  TLayer& PlaceOnTop(TLayer&& layer);
  void LayerAdded(const QString& kind, const QString& caption);
  bool RenderPictureLayer(TLayer& layer, const QString& source, int workW, int workH, int screenW,
                          int screenH, QString* problem);
  // Render a text or tracks layer and store its values.
  void StoreText(TLayer& l, int left, int top, const QString& text, const QString& fontName, TColor color,
                 uint8_t fontStyles, bool shadow, bool smooth, int boundWidth, int boundHeight);
  void StoreTracks(TLayer& l, int left, int top, const QStringList& tracks, const QString& fontName, TColor color,
                   uint8_t fontStyles, bool shadow, bool smooth, int lineSpace, int boundWidth, int boundHeight,
                   uint8_t alignment);
  static void StoreFontValues(TLayer& l, int left, int top, const QString& fontName, TColor color,
                              uint8_t fontStyles, bool shadow, bool smooth, int boundWidth, int boundHeight);
  void RecomputeTopSlot();
  void Repaint() const;

  std::vector<TLayer> m_layers;
  int m_topSlot = 0;
  int m_selectedNumber = -1;
  int m_selectedSlot = -1;
  bool m_modified = false;
  bool m_marksOn = false;
  TBackgroundInfo m_background;
  QImage m_cover;
  std::vector<uint8_t> m_outline;
  TRect m_markRect;
  std::array<bool, RingSize> m_ring{};
  QString m_workFolder;
  int64_t m_lastWorkTick = -1;
  bool m_deferred = false;
  QHash<QString, QString> m_storedNames;
  QStringList m_createdFiles;
  // Pictures already made while opening, by source and box: the work copy
  // and the screen bitmaps that layers of one picture share.
  struct TMadePicture {
    QString WorkFile;
    QImage Picture, Mask;
    QImage Transparency;  // the mask before soft edges, when the picture has alpha
    QString Problem;
  };
  QHash<QString, TMadePicture> m_made;
  int m_stepDepth = 0;
  bool m_resetPending = false;
};
