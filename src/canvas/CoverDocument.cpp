#include "canvas/CoverDocument.h"

#include "canvas/CoverRender.h"
#include "canvas/TextRender.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <unistd.h>

namespace {

QString NamePart(const QString& path)
{
  const qsizetype cut = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
  return path.mid(cut + 1);
}

int64_t TickCountMs()
{
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

TCoverDocument::TCoverDocument()
    : m_outline(size_t(OutlineSize) * OutlineSize, 0)
{
  TLayer bg;
  bg.Picture = NewBitmap(CoverSize, CoverSize);
  bg.Mask = NewBitmap(CoverSize, CoverSize, 0x000000);
  bg.Width = bg.Height = CoverSize;
  m_layers.push_back(std::move(bg));
  m_cover = NewBitmap(CoverSize, CoverSize);
  for (int i = 0; i < RingSize; ++i) m_ring[size_t(i)] = (i / 3) % 2 == 0;
}

// ---------------------------------------------------------------- queries

int TCoverDocument::SlotOf(int number) const
{
  for (size_t i = 0; i < m_layers.size(); ++i)
    if (m_layers[i].Number == number) return int(i);
  return -1;
}

const TLayer* TCoverDocument::LayerByNumber(int number) const
{
  const int slot = SlotOf(number);
  return slot < 0 ? nullptr : &m_layers[size_t(slot)];
}

int TCoverDocument::LayerKind(int number) const
{
  const TLayer* l = LayerByNumber(number);
  if (!l) return lkPicture;
  if (!l->WorkFile.trimmed().isEmpty()) return lkPicture;
  if (!l->Text.trimmed().isEmpty()) return lkText;
  return lkTracks;
}

TPictureLayerInfo TCoverDocument::GetPictureLayer(int number) const
{
  TPictureLayerInfo info;
  if (const TLayer* l = LayerByNumber(number)) {
    info.Left = l->Left;
    info.Top = l->Top;
    info.WorkFile = l->WorkFile;
    info.Width = l->Picture.width();
    info.Height = l->Picture.height();
    info.SoftV = l->SoftV;
    info.SoftH = l->SoftH;
    info.Picture = &l->Picture;
    info.Mask = &l->Mask;
  }
  return info;
}

namespace {
// The fields text and tracks layers share.
template <typename Info>
void FillTextFields(Info& info, const TLayer& l)
{
  info.Left = l.Left;
  info.Top = l.Top;
  info.FontName = l.FontName;
  info.Color = l.Color;
  info.FontStyles = l.FontStyles;
  info.Shadow = l.Shadow;
  info.Smooth = l.Smooth;
  info.Width = l.Picture.width();
  info.Height = l.Picture.height();
  info.Picture = &l.Picture;
  info.Mask = &l.Mask;
}
}  // namespace

TTextLayerInfo TCoverDocument::GetTextLayer(int number) const
{
  TTextLayerInfo info;
  if (const TLayer* l = LayerByNumber(number)) {
    FillTextFields(info, *l);
    info.Text = l->Text;
  }
  return info;
}

TTracksLayerInfo TCoverDocument::GetTracksLayer(int number) const
{
  TTracksLayerInfo info;
  if (const TLayer* l = LayerByNumber(number)) {
    FillTextFields(info, *l);
    info.Tracks = &l->Tracks;
    info.LineSpace = l->LineSpace;
    info.Alignment = l->Alignment;
  }
  return info;
}

// ---------------------------------------------------------------- adding

TLayer& TCoverDocument::AppendLayer() { return PlaceOnTop(TLayer()); }

TLayer& TCoverDocument::PlaceOnTop(TLayer&& layer)
{
  const int s = int(m_layers.size());
  m_layers.push_back(std::move(layer));
  TLayer& l = m_layers.back();
  l.Number = s;
  l.Prev = m_topSlot;
  l.Next = s;
  m_layers[size_t(m_topSlot)].Next = s;
  m_topSlot = s;
  return l;
}

void TCoverDocument::LayerAdded(const QString& kind, const QString& caption)
{
  m_modified = true;
  if (m_deferred) return;
  Redraw();
  SetMarksTimer(true);
  if (OnLayerAdded) OnLayerAdded(kind, caption);
}

QString TCoverDocument::WorkFolder() const
{
  if (!m_workFolder.isEmpty()) return m_workFolder;
  return QDir::tempPath() + QStringLiteral("/jacketeer-%1/JKTTemp").arg(getuid());
}

QString TCoverDocument::NewWorkFile(QFile& file)
{
  const QString folder = WorkFolder();
  if (!QFileInfo(folder).isDir()) QDir().mkpath(folder);
  int64_t tick = std::max(TickCountMs(), m_lastWorkTick + 1);
  for (int attempt = 0; attempt < 100000; ++attempt, ++tick) {
    const QString path = folder + '/' + QString::number(tick) + QStringLiteral(".bmp");
    if (PathTaken(path)) continue;
    if (CreateNewFile(path, file)) {
      m_lastWorkTick = tick;
      m_createdFiles << path;
      return path;
    }
    if (errno != EEXIST) break;
  }
  return QString();
}

QString TCoverDocument::NewWorkFileName()
{
  QFile file;
  const QString path = NewWorkFile(file);
  file.close();
  return path;
}

qint64 TCoverDocument::PictureLayerBytes(int width, int height)
{
  const qint64 stride = (qint64(std::max(width, 1)) * 3 + 3) & ~qint64(3);
  return 2 * stride * std::max(height, 1);
}

qint64 TCoverDocument::LayerBitmapBytes() const
{
  // Layers of one picture share their bitmaps: each is counted once.
  QSet<qint64> seen;
  qint64 sum = 0;
  for (const TLayer& l : m_layers)
    for (const QImage* img : {&l.Picture, &l.Mask})
      if (!img->isNull() && !seen.contains(img->cacheKey())) {
        seen.insert(img->cacheKey());
        sum += img->sizeInBytes();
      }
  return sum;
}

bool TCoverDocument::RenderPictureLayer(TLayer& layer, const QString& source, int workW, int workH, int screenW,
                                        int screenH, QString* problem)
{
  workW = std::max(workW, 1);
  workH = std::max(workH, 1);
  screenW = std::max(screenW, 1);
  screenH = std::max(screenH, 1);
  auto fail = [&](const QString& why) {
    if (problem) *problem = why;
    return false;
  };
  const QString name = NamePart(StoredName(source));
  if (LayerBitmapBytes() + PictureLayerBytes(screenW, screenH) > LayerBitmapBudget)
    return fail(QStringLiteral("the picture \"%1\" in a %2 × %3 box needs more memory than the cover allows")
                    .arg(name).arg(screenW).arg(screenH));

  // While a project is opened, layers of one picture in one box share their
  // work copy and screen bitmaps, so the picture is decoded once.
  const QString key = source + QChar(0x1F) + QStringLiteral("%1x%2/%3x%4").arg(workW).arg(workH).arg(screenW).arg(screenH);
  TMadePicture made;
  if (m_deferred && m_made.contains(key)) {
    made = m_made.value(key);
  } else {
    QImage work, workAlpha;
    QString why;
    if (!LoadPicture(source, workW, workH, work, nullptr, true, &why, &workAlpha)) {
      made.Problem = QStringLiteral("the picture \"%1\" could not be read (%2)").arg(name, why);
      work = NewBitmap(workW, workH);  // an unreadable picture gives a blank layer
    }
    if (work.isNull()) return fail(QStringLiteral("there is not enough memory for the picture \"%1\"").arg(name));
    QFile file;
    made.WorkFile = NewWorkFile(file);
    if (made.WorkFile.isEmpty() || !SaveWorkCopy(work, workAlpha, file) || !file.flush()) {
      if (!made.WorkFile.isEmpty()) QFile::remove(made.WorkFile);
      return fail(QStringLiteral("the work copy of the picture \"%1\" could not be written in \"%2\"")
                      .arg(name, WorkFolder()));
    }
    file.close();
    work = workAlpha = QImage();
    QImage alpha;
    if (!LoadPicture(made.WorkFile, screenW, screenH, made.Picture, &made.Mask, true, nullptr, &alpha)) {
      made.Picture = NewBitmap(screenW, screenH);
      made.Mask = NewBitmap(screenW, screenH, 0x000000);
    } else if (!alpha.isNull()) {
      made.Transparency = made.Mask.copy();
    }
    if (made.Picture.isNull() || made.Mask.isNull())
      return fail(QStringLiteral("there is not enough memory for the picture \"%1\" in a %2 × %3 box")
                      .arg(name).arg(screenW).arg(screenH));
    if (m_deferred) m_made.insert(key, made);
  }
  if (problem) *problem = made.Problem;
  layer.WorkFile = made.WorkFile;
  layer.Picture = made.Picture;
  layer.Mask = made.Mask;
  layer.Transparency = made.Transparency;
  layer.Width = layer.Picture.width();
  layer.Height = layer.Picture.height();
  return true;
}

bool TCoverDocument::AddPictureLayer(int left, int top, const QString& fileName, int softV, int softH,
                                     int sourceWidth, int sourceHeight, QString* problem)
{
  TStepScope step(*this);
  TLayer l;
  if (!RenderPictureLayer(l, fileName, std::min(940, sourceWidth), std::min(940, sourceHeight),
                          std::min(470, sourceWidth / 3), std::min(470, sourceHeight / 3), problem))
    return false;
  l.Left = left;
  l.Top = top;
  l.FileName = fileName;
  l.SoftV = uint8_t(std::clamp(softV, 0, 100));
  l.SoftH = uint8_t(std::clamp(softH, 0, 100));
  l.ActualWidth = sourceWidth;
  l.ActualHeight = sourceHeight;
  l.BoundWidth = l.Width;
  l.BoundHeight = l.Height;
  SoftenPictureMask(l.Mask, l.SoftH, l.SoftV);
  PlaceOnTop(std::move(l));
  LayerAdded(QStringLiteral("Image"), NamePart(StoredName(fileName)));
  return true;
}

bool TCoverDocument::LoadPictureLayer(int left, int top, const QString& fileName, int softV, int softH,
                                      int actualWidth, int actualHeight, int boundWidth, int boundHeight,
                                      QString* problem)
{
  TStepScope step(*this);
  TLayer l;
  if (!RenderPictureLayer(l, fileName, std::min(940, actualWidth), std::min(940, actualHeight), boundWidth,
                          boundHeight, problem))
    return false;
  l.Left = left;
  l.Top = top;
  l.FileName = fileName;
  l.SoftV = uint8_t(std::clamp(softV, 0, 100));
  l.SoftH = uint8_t(std::clamp(softH, 0, 100));
  l.ActualWidth = actualWidth;
  l.ActualHeight = actualHeight;
  l.BoundWidth = boundWidth;
  l.BoundHeight = boundHeight;
  SoftenPictureMask(l.Mask, l.SoftH, l.SoftV);
  PlaceOnTop(std::move(l));
  LayerAdded(QStringLiteral("Image"), NamePart(StoredName(fileName)));
  return true;
}

void TCoverDocument::AdoptLayers(TCoverDocument&& other)
{
  TStepScope step(*this);
  m_layers = std::move(other.m_layers);
  m_topSlot = other.m_topSlot;
  m_background = other.m_background;
  for (auto it = other.m_storedNames.cbegin(); it != other.m_storedNames.cend(); ++it)
    m_storedNames.insert(it.key(), it.value());
  m_lastWorkTick = std::max(m_lastWorkTick, other.m_lastWorkTick);
  other.m_layers.resize(0);
  other.m_made.clear();
  m_made.clear();
  m_selectedNumber = -1;
  m_selectedSlot = -1;
  SetMarksTimer(false);
  Compose();
  if (OnLayerAdded) {
    for (int n = 1; n < LayerCount(); ++n) {
      QString kind, caption;
      LayerCaption(n, kind, caption);
      OnLayerAdded(kind, caption);
    }
  }
  Repaint();
  m_modified = false;
  ForgetHistory();
}

void TCoverDocument::LayerCaption(int number, QString& kind, QString& caption) const
{
  const TLayer* l = LayerByNumber(number);
  if (!l) return;
  switch (LayerKind(number)) {
    case lkPicture:
      kind = QStringLiteral("Image");
      caption = NamePart(StoredName(l->FileName));
      break;
    case lkText:
      kind = QStringLiteral("Text");
      caption = l->Text;
      break;
    default:
      kind = QStringLiteral("Tracks");
      caption = (l->Tracks.isEmpty() ? QString() : TrackLineForDisplay(l->Tracks.first())) + QStringLiteral("...");
      break;
  }
}

void TCoverDocument::AddTextLayer(int left, int top, const QString& text, const QString& fontName, TColor color,
                                  uint8_t fontStyles, bool shadow, bool smooth, int boundWidth, int boundHeight)
{
  TStepScope step(*this);
  StoreText(AppendLayer(), left, top, text, fontName, color, fontStyles, shadow, smooth, boundWidth, boundHeight);
  LayerAdded(QStringLiteral("Text"), text);
}

void TCoverDocument::AddTracksLayer(int left, int top, const QStringList& tracks, const QString& fontName,
                                    TColor color, uint8_t fontStyles, bool shadow, bool smooth, int lineSpace,
                                    int boundWidth, int boundHeight, uint8_t alignment)
{
  TStepScope step(*this);
  StoreTracks(AppendLayer(), left, top, tracks, fontName, color, fontStyles, shadow, smooth, lineSpace, boundWidth,
              boundHeight, alignment);
  QString kind, caption;
  LayerCaption(LayerCount() - 1, kind, caption);
  LayerAdded(kind, caption);
}

void TCoverDocument::StoreText(TLayer& l, int left, int top, const QString& text, const QString& fontName,
                               TColor color, uint8_t fontStyles, bool shadow, bool smooth, int boundWidth,
                               int boundHeight)
{
  RenderTextBitmap(text, fontName, color, fontStyles, shadow, smooth, std::min(470, boundWidth),
                   std::min(470, boundHeight), l.Picture, l.Mask);
  l.Text = text;
  StoreFontValues(l, left, top, fontName, color, fontStyles, shadow, smooth, boundWidth, boundHeight);
}

void TCoverDocument::StoreTracks(TLayer& l, int left, int top, const QStringList& tracks, const QString& fontName,
                                 TColor color, uint8_t fontStyles, bool shadow, bool smooth, int lineSpace,
                                 int boundWidth, int boundHeight, uint8_t alignment)
{
  l.Tracks = tracks;
  RenderTracksBitmap(l.Tracks, fontName, color, fontStyles, shadow, smooth, lineSpace, std::min(470, boundWidth),
                     std::min(470, boundHeight), alignment, l.Picture, l.Mask);
  l.LineSpace = lineSpace;
  l.Alignment = alignment;
  StoreFontValues(l, left, top, fontName, color, fontStyles, shadow, smooth, boundWidth, boundHeight);
}

void TCoverDocument::StoreFontValues(TLayer& l, int left, int top, const QString& fontName, TColor color,
                                     uint8_t fontStyles, bool shadow, bool smooth, int boundWidth, int boundHeight)
{
  l.Left = left;
  l.Top = top;
  l.FontName = fontName;
  l.Color = color;
  l.FontStyles = fontStyles;
  l.Shadow = shadow;
  l.Smooth = smooth;
  l.BoundWidth = boundWidth;
  l.BoundHeight = boundHeight;
  l.Width = l.Picture.width();
  l.Height = l.Picture.height();
}

// ---------------------------------------------------------------- changing

void TCoverDocument::UpdatePictureLayer(int number, int left, int top, const QString& workFile, int softV,
                                        int softH, int width, int height)
{
  TStepScope step(*this);
  const int slot = SlotOf(number);
  if (slot < 0 || number > LayerCount() - 1) return;
  TLayer& l = m_layers[size_t(slot)];
  Q_UNUSED(workFile);  // the layer keeps its own work copy
  // Re-fit from the work copy: first into the print-sized box, then that
  // result again into the screen box, both keeping the aspect ratio.
  QImage work, workAlpha;
  if (!LoadPicture(l.WorkFile, std::min(940, width), std::min(940, height), work, nullptr, false, nullptr,
                   &workAlpha))
    work = NewBitmap(std::max(std::min(940, width), 1), std::max(std::min(940, height), 1));
  QImage picture = FitPicture(work, work.width(), work.height(), std::min(470, width), std::min(470, height), false);
  const QImage alpha =
      FitAlpha(workAlpha, work.width(), work.height(), std::min(470, width), std::min(470, height), false);
  l.Picture = picture;
  l.Mask = MaskFromAlpha(alpha.size() == picture.size() ? alpha : QImage(), picture.width(), picture.height());
  l.Transparency = alpha.isNull() ? QImage() : l.Mask.copy();
  l.Left = left;
  l.Top = top;
  l.Width = picture.width();
  l.Height = picture.height();
  l.SoftV = uint8_t(std::clamp(softV, 0, 100));
  l.SoftH = uint8_t(std::clamp(softH, 0, 100));
  l.BoundWidth = width;
  l.BoundHeight = height;
  SoftenPictureMask(l.Mask, l.SoftH, l.SoftV);
  BuildOutline(slot);
  Redraw();
  m_modified = true;
}

void TCoverDocument::SetLayerBitmaps(int number, int left, int top, int softV, int softH, const QImage& newPicture,
                                     const QImage& newMask)
{
  TStepScope step(*this);
  const int slot = SlotOf(number);
  if (slot < 0 || number > LayerCount() - 1) return;
  TLayer& l = m_layers[size_t(slot)];
  l.Picture = newPicture.convertToFormat(QImage::Format_BGR888);
  l.Mask = newMask.convertToFormat(QImage::Format_BGR888);
  // A picture's own transparency stays whatever soft edges the new mask has.
  if (!l.Transparency.isNull() && l.Transparency.size() == l.Mask.size()) {
    for (int y = 0; y < l.Mask.height(); ++y) {
      const uint8_t* t = l.Transparency.constScanLine(y);
      uint8_t* m = l.Mask.scanLine(y);
      for (int x = 0; x < l.Mask.width(); ++x) m[3 * x + 1] = std::max(m[3 * x + 1], t[3 * x + 1]);
    }
  }
  l.Left = left;
  l.Top = top;
  l.Width = l.Picture.width();
  l.Height = l.Picture.height();
  l.SoftV = uint8_t(std::clamp(softV, 0, 100));
  l.SoftH = uint8_t(std::clamp(softH, 0, 100));
  Redraw();
  m_modified = true;
}

void TCoverDocument::UpdateTextLayer(int number, int left, int top, const QString& text, const QString& fontName,
                                     TColor color, uint8_t fontStyles, bool shadow, bool smooth, int boundWidth,
                                     int boundHeight)
{
  TStepScope step(*this);
  const int slot = SlotOf(number);
  if (slot < 0 || number > LayerCount() - 1) return;
  StoreText(m_layers[size_t(slot)], left, top, text, fontName, color, fontStyles, shadow, smooth, boundWidth,
            boundHeight);
  BuildOutline(slot);
  Redraw();
  m_modified = true;
}

void TCoverDocument::UpdateTracksLayer(int number, int left, int top, const QStringList& tracks,
                                       const QString& fontName, TColor color, uint8_t fontStyles, bool shadow,
                                       bool smooth, int lineSpace, int boundWidth, int boundHeight,
                                       uint8_t alignment)
{
  TStepScope step(*this);
  const int slot = SlotOf(number);
  if (slot < 0 || number > LayerCount() - 1) return;
  StoreTracks(m_layers[size_t(slot)], left, top, tracks, fontName, color, fontStyles, shadow, smooth, lineSpace,
              boundWidth, boundHeight, alignment);
  BuildOutline(slot);
  Redraw();
  m_modified = true;
}

void TCoverDocument::SetBackground(const QString& fileName, uint8_t imageMode, TColor startColor, int32_t endColor,
                                   bool vertical, bool showImage)
{
  TStepScope step(*this);
  m_background = TBackgroundInfo{fileName, imageMode, startColor, endColor, vertical, showImage};
  QImage b = NewBitmap(CoverSize, CoverSize);
  const QImage m = NewBitmap(CoverSize, CoverSize, 0x000000);
  auto colourFill = [&] {
    if (endColor == -1) FillBitmap(b, startColor);
    else GradientFill(b, startColor, TColor(endColor), QPoint(0, 0),
                      vertical ? QPoint(0, CoverSize - 1) : QPoint(CoverSize - 1, 0));
  };
  if (!showImage) {
    colourFill();
  } else {
    QImage pic, alpha;
    const bool loaded = LoadPicture(fileName, CoverSize, CoverSize, pic, nullptr, false, nullptr, &alpha);
    // A picture with transparency is laid over the colour fill in every mode.
    if (imageMode == imCenter || (loaded && !alpha.isNull())) colourFill();
    if (loaded && !pic.isNull()) {
      const QImage mask = alpha.isNull() ? QImage() : MaskFromAlpha(alpha, pic.width(), pic.height());
      auto draw = [&](const QImage& p, const QImage& m, int x, int y) {
        if (m.isNull()) DrawBitmap(b, p, x, y);
        else BlendBitmap(b, p, &m, x, y, 0, false);
      };
      if (imageMode == imCenter) {
        draw(pic, mask, (CoverSize - pic.width()) / 2, (CoverSize - pic.height()) / 2);
      } else if (imageMode == imStretch) {
        if (mask.isNull()) b = StretchBitmap(pic, CoverSize, CoverSize);
        else draw(StretchBitmap(pic, CoverSize, CoverSize), StretchBitmap(mask, CoverSize, CoverSize), 0, 0);
      } else {
        for (int y = 0; y < CoverSize; y += pic.height())
          for (int x = 0; x < CoverSize; x += pic.width()) draw(pic, mask, x, y);
      }
    }
  }
  SetLayerBitmaps(0, 0, 0, 0, 0, b, m);
  m_modified = true;
}

void TCoverDocument::MoveLayerTo(int number, int left, int top)
{
  TStepScope step(*this);
  const int slot = SlotOf(number);
  if (slot < 0) return;
  m_layers[size_t(slot)].Left = left;
  m_layers[size_t(slot)].Top = top;
}

void TCoverDocument::SetLayerRect(int number, int left, int top, int width, int height)
{
  TStepScope step(*this);
  const int slot = SlotOf(number);
  if (slot < 0) return;
  TLayer& l = m_layers[size_t(slot)];
  l.Left = left;
  l.Top = top;
  l.Width = width;
  l.Height = height;
}

// ---------------------------------------------------------------- stack

void TCoverDocument::RecomputeTopSlot()
{
  m_topSlot = 0;
  for (size_t i = 0; i < m_layers.size(); ++i)
    if (m_layers[i].Number > m_layers[size_t(m_topSlot)].Number) m_topSlot = int(i);
}

void TCoverDocument::DeleteLayer(int number)
{
  TStepScope step(*this);
  if (number <= 0 || number > LayerCount() - 1) return;
  SetMarksTimer(false);
  const int i = SlotOf(number);
  if (i < 0) return;
  if (number == m_selectedNumber) {
    m_selectedNumber = -1;
    m_selectedSlot = -1;
  }
  const int below = m_layers[size_t(i)].Prev, above = m_layers[size_t(i)].Next;
  m_layers[size_t(below)].Next = above;
  if (i != m_topSlot) m_layers[size_t(above)].Prev = below;  // the top layer's Next points nowhere
  const int h = int(m_layers.size()) - 1;
  if (i != h) {
    m_layers[size_t(i)] = m_layers[size_t(h)];
    for (TLayer& l : m_layers) {
      if (l.Prev == h) l.Prev = i;
      if (l.Next == h) l.Next = i;
    }
    if (m_selectedSlot == h) m_selectedSlot = i;  // the selection follows its layer to the new slot
  }
  m_layers.pop_back();
  const int last = int(m_layers.size()) - 1;
  for (TLayer& l : m_layers) {
    if (l.Number > number) --l.Number;
    if (l.Prev > last) --l.Prev;
    if (l.Next > last) --l.Next;
  }
  if (m_selectedNumber > number) --m_selectedNumber;  // a selected layer above keeps its selection
  RecomputeTopSlot();
  m_modified = true;
}

void TCoverDocument::MoveLayerUp(int& number)
{
  TStepScope step(*this);
  if (number < 1 || number >= LayerCount() - 1) return;
  const int i = SlotOf(number);
  const int a = m_layers[size_t(i)].Next;
  const int b = m_layers[size_t(i)].Prev;
  const bool aWasTop = a == m_topSlot;
  const int aNext = m_layers[size_t(a)].Next;
  TLayer& li = m_layers[size_t(i)];
  TLayer& la = m_layers[size_t(a)];
  li.Prev = a;
  li.Next = aWasTop ? i : aNext;
  li.Number += 1;
  if (!aWasTop) m_layers[size_t(aNext)].Prev = i;
  la.Prev = b;
  la.Next = i;
  la.Number -= 1;
  m_layers[size_t(b)].Next = a;
  RecomputeTopSlot();
  const int oldSelected = m_selectedNumber;
  number += 1;
  if (number == oldSelected + 1 && m_selectedSlot == i) SelectLayer(number);
  else if (m_selectedSlot == a) SelectLayer(la.Number);  // the displaced layer keeps its selection
}

void TCoverDocument::MoveLayerDown(int& number)
{
  TStepScope step(*this);
  if (number < 2 || number > LayerCount() - 1) return;
  const int i = SlotOf(number);
  const int b = m_layers[size_t(i)].Prev;    // the layer directly below
  const int bb = m_layers[size_t(b)].Prev;   // and the one below that
  const bool iWasTop = i == m_topSlot;
  const int iNext = m_layers[size_t(i)].Next;
  TLayer& li = m_layers[size_t(i)];
  TLayer& lb = m_layers[size_t(b)];
  li.Prev = bb;
  li.Next = b;
  li.Number -= 1;
  lb.Prev = i;
  lb.Next = iWasTop ? b : iNext;
  lb.Number += 1;
  if (!iWasTop) m_layers[size_t(iNext)].Prev = b;
  m_layers[size_t(bb)].Next = i;
  RecomputeTopSlot();
  const int oldSelected = m_selectedNumber;
  number -= 1;
  if (number == oldSelected - 1 && m_selectedSlot == i) SelectLayer(number);
  else if (m_selectedSlot == b) SelectLayer(lb.Number);
}

void TCoverDocument::SelectLayer(int number)
{
  if (number < 0) {
    SetMarksTimer(false);
    Repaint();
    m_selectedSlot = -1;
    m_selectedNumber = number;
    if (OnSelectLayer) OnSelectLayer(number);
    return;
  }
  if (number > LayerCount() - 1) return;
  m_selectedNumber = number;
  m_selectedSlot = SlotOf(number);
  BuildOutline(m_selectedSlot);
  SetMarksTimer(true);
  Repaint();
  if (OnSelectLayer) OnSelectLayer(number);
}

void TCoverDocument::EditSelected(bool allowBackground)
{
  TStepScope step(*this);
  if (m_selectedSlot >= 0 && m_selectedNumber > 0) {
    const int n = m_selectedNumber;
    switch (LayerKind(n)) {
      case lkPicture:
        if (OnEditPicture) OnEditPicture(n, GetPictureLayer(n));
        break;
      case lkText:
        if (OnEditText) OnEditText(n, GetTextLayer(n));
        break;
      default:
        if (OnEditTracks) OnEditTracks(n, GetTracksLayer(n));
        break;
    }
  } else if (allowBackground) {
    EditBackground();
  }
}

void TCoverDocument::EditBackground()
{
  TStepScope step(*this);
  if (OnEditBackground) OnEditBackground(m_background);
}

void TCoverDocument::NewCover()
{
  TStepScope step(*this);
  m_layers.resize(1);
  m_layers[0].Prev = m_layers[0].Next = 0;
  m_topSlot = 0;
  SetBackground(QString(), imCenter, 0xFFFFFF, -1, true, false);
  m_selectedNumber = -1;
  m_selectedSlot = -1;
  m_made.clear();
  SetMarksTimer(false);
  Redraw();
  m_modified = false;
  ForgetHistory();
}

// ---------------------------------------------------------------- steps

void TCoverDocument::BeginStep()
{
  if (m_stepDepth++ == 0 && OnStepBegin) OnStepBegin();
}

void TCoverDocument::EndStep()
{
  if (m_stepDepth <= 0 || --m_stepDepth > 0) return;
  if (m_resetPending) {
    m_resetPending = false;
    if (OnHistoryReset) OnHistoryReset();
  } else if (OnStepEnd) {
    OnStepEnd();
  }
}

void TCoverDocument::ForgetHistory()
{
  if (m_stepDepth > 0) m_resetPending = true;
  else if (OnHistoryReset) OnHistoryReset();
}

void TCoverDocument::MarkSaved()
{
  m_modified = false;
  if (OnSaved) OnSaved();
}

TCoverState TCoverDocument::TakeState() const
{
  return TCoverState{m_layers, m_topSlot, m_background, m_selectedNumber};
}

void TCoverDocument::RestoreState(const TCoverState& state)
{
  if (state.Layers.empty()) return;
  m_layers = state.Layers;
  m_topSlot = state.TopSlot;
  m_background = state.Background;
  m_selectedNumber = -1;
  m_selectedSlot = -1;
  SetMarksTimer(false);
  Compose();
  if (OnLayersReplaced) OnLayersReplaced();
  const int n = state.SelectedNumber;
  SelectLayer(n > 0 && n < LayerCount() ? n : -1);
  Repaint();
}

void TCoverDocument::ShareBitmaps(const TCoverState& state)
{
  if (state.Layers.size() != m_layers.size()) return;
  for (size_t i = 0; i < m_layers.size(); ++i) {
    m_layers[i].Picture = state.Layers[i].Picture;
    m_layers[i].Mask = state.Layers[i].Mask;
  }
}

// ---------------------------------------------------------------- rendering

void TCoverDocument::Compose()
{
  m_cover = m_layers[0].Picture.copy();
  if (m_cover.size() != QSize(CoverSize, CoverSize)) {
    QImage c = NewBitmap(CoverSize, CoverSize);
    DrawBitmap(c, m_cover, 0, 0);
    m_cover = c;
  }
  int slot = 0;
  for (int k = 1; k < LayerCount(); ++k) {
    slot = m_layers[size_t(slot)].Next;
    const TLayer& l = m_layers[size_t(slot)];
    BlendBitmap(m_cover, l.Picture, &l.Mask, l.Left, l.Top, 0, false);
  }
}

void TCoverDocument::Redraw()
{
  if (m_deferred) return;
  Compose();
  Repaint();
}

void TCoverDocument::Repaint() const
{
  if (OnRepaint) OnRepaint();
}

void TCoverDocument::RenderPrintImage(QImage& result) const
{
  result = StretchBitmap(m_layers[0].Picture, PrintSize, PrintSize);
  if (result.isNull()) return;
  // Layers of one picture at one size read it once; a picture is kept only
  // until the last layer that uses it has been drawn.
  auto pictureKey = [](const TLayer& l) {
    return l.FileName + QChar(0x1F) + QString::number(2 * l.Width) + 'x' + QString::number(2 * l.Height);
  };
  QHash<QString, int> uses;
  for (int n = 1; n < LayerCount(); ++n)
    if (LayerKind(n) == lkPicture) ++uses[pictureKey(*LayerByNumber(n))];
  QHash<QString, std::pair<QImage, QImage>> pictures;
  int slot = 0;
  for (int k = 1; k < LayerCount(); ++k) {
    slot = m_layers[size_t(slot)].Next;
    const TLayer& l = m_layers[size_t(slot)];
    const int w = 2 * l.Width, h = 2 * l.Height;
    if (w <= 0 || h <= 0) continue;
    QImage p, m;
    switch (LayerKind(l.Number)) {
      case lkPicture: {
        // Re-read from the source for full quality. A source that has gone
        // since (deleted or moved after the picture was added) prints from
        // the layer's work copy, the picture the screen shows; one that is
        // there but unreadable prints nothing.
        const QString key = pictureKey(l);
        auto it = pictures.constFind(key);
        if (it != pictures.constEnd()) {
          p = it->first;
          m = it->second;
        } else if (!LoadPicture(l.FileName, w, h, p, &m, false) &&
                   (QFileInfo::exists(l.FileName) || l.WorkFile.isEmpty() ||
                    !LoadPicture(l.WorkFile, w, h, p, &m, false))) {
          p = m = QImage();
        }
        if (--uses[key] > 0) pictures.insert(key, {p, m});
        else pictures.remove(key);
        if (p.isNull() || m.isNull()) continue;
        SoftenPictureMask(m, l.SoftH, l.SoftV);
        break;
      }
      case lkText:
        RenderTextBitmap(l.Text, l.FontName, l.Color, l.FontStyles, l.Shadow, l.Smooth, w, h, p, m);
        break;
      default:
        if (l.Tracks.isEmpty()) continue;
        RenderTracksBitmap(l.Tracks, l.FontName, l.Color, l.FontStyles, l.Shadow, l.Smooth, l.LineSpace, w, h,
                           l.Alignment, p, m);
        break;
    }
    if (p.isNull() || m.isNull()) continue;  // not enough memory for this layer
    BlendBitmap(result, p, &m, 2 * l.Left, 2 * l.Top, 0, false);
  }
}

// ---------------------------------------------------------------- selection marks

void TCoverDocument::BuildOutline(int slot)
{
  if (slot < 0 || slot >= LayerCount()) return;
  const TLayer& l = m_layers[size_t(slot)];
  const QImage& mask = l.Mask;
  const int w = mask.width(), h = mask.height();
  m_markRect = TRect{l.Left - 7, l.Top - 7, l.Left + w + 7, l.Top + h + 7};
  std::fill(m_outline.begin(), m_outline.end(), uint8_t(0));
  auto set = [this](int c, int r, uint8_t v) {
    // A mask larger than the grid (only from a damaged file) is clipped to it.
    if (c >= 0 && r >= 0 && c < OutlineSize && r < OutlineSize) m_outline[size_t(c) * OutlineSize + size_t(r)] = v;
  };
  const int maxX = std::min(w, OutlineSize - 7), maxY = std::min(h, OutlineSize - 7);
  for (int y = 0; y < maxY; ++y) {
    const uint8_t* rows[3] = {y > 0 ? mask.constScanLine(y - 1) : nullptr, mask.constScanLine(y),
                              y + 1 < h ? mask.constScanLine(y + 1) : nullptr};
    const bool edgeRow = y == 0 || y == h - 1;
    for (int x = 0; x < maxX; ++x) {
      if (rows[1][3 * x] != 0) continue;
      bool edge = edgeRow || x == 0 || x == w - 1;
      for (int dy = 0; dy < 3 && !edge; ++dy)
        for (int dx = -1; dx <= 1 && !edge; ++dx)
          if ((dx || dy != 1) && rows[dy][3 * (x + dx)] == 255) edge = true;
      set(x + 7, y + 7, edge ? 127 : 255);
    }
  }
  // Corner handles: 8 × 8 squares from the enlarged rectangle's corners.
  for (int c0 : {0, w + 6})
    for (int r0 : {0, h + 6})
      for (int k = 0; k < 8; ++k) {
        set(c0 + k, r0, 127);
        set(c0 + k, r0 + 7, 127);
        set(c0, r0 + k, 127);
        set(c0 + 7, r0 + k, 127);
      }
}

void TCoverDocument::AdvanceRing()
{
  std::rotate(m_ring.rbegin(), m_ring.rbegin() + 1, m_ring.rend());
}

void TCoverDocument::PaintMarks(QImage& area) const
{
  if (area.format() != QImage::Format_BGR888) return;
  const int x0 = std::max(m_markRect.Left, 0), y0 = std::max(m_markRect.Top, 0);
  const int x1 = std::min({m_markRect.Right, area.width() - 1, m_markRect.Left + OutlineSize - 1});
  const int y1 = std::min({m_markRect.Bottom, area.height() - 1, m_markRect.Top + OutlineSize - 1});
  for (int y = y0; y <= y1; ++y) {
    uint8_t* row = area.scanLine(y);
    const int r = y - m_markRect.Top;
    for (int x = x0; x <= x1; ++x) {
      const int c = x - m_markRect.Left;
      if (m_outline[size_t(c) * OutlineSize + size_t(r)] != 127) continue;
      int idx = (x + y) % RingSize;
      if (idx < 0) idx += RingSize;
      const uint8_t v = m_ring[size_t(idx)] ? 255 : 0;
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v;
    }
  }
}

void TCoverDocument::SetMarksTimer(bool on)
{
  if (m_marksOn == on) return;
  m_marksOn = on;
  if (OnMarksTimer) OnMarksTimer(on);
}
