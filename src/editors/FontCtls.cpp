#include "editors/FontCtls.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QStyledItemDelegate>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <map>
#include <memory>

namespace {

constexpr int kKindRole = Qt::UserRole + 1;

// Typefaces of projects written on Windows that fontconfig may draw with a
// metric-compatible face.
const char* const kWindowsFaces[] = {
    "Arial",          "Arial Black",       "Arial Narrow",  "Book Antiqua",  "Bookman Old Style",
    "Calibri",        "Cambria",           "Century Gothic", "Comic Sans MS", "Consolas",
    "Courier New",    "Garamond",          "Georgia",       "Helvetica",     "Impact",
    "Lucida Console", "Palatino Linotype", "Segoe UI",      "Tahoma",        "Times New Roman",
    "Trebuchet MS",   "Verdana",
};

// Preference among the formats of one family: TrueType, PostScript, other, raster.
int KindRank(uint8_t kind)
{
  switch (kind) {
    case fkTrueType: return 0;
    case fkPostScript: return 1;
    case fkOther: return 2;
    default: return 3;
  }
}

QString FcString(FcPattern* p, const char* object)
{
  FcChar8* s = nullptr;
  if (FcPatternGetString(p, object, 0, &s) != FcResultMatch || !s) return QString();
  return QString::fromUtf8(reinterpret_cast<const char*>(s));
}

// The installed family fontconfig puts in place of `face` with a strong or
// "same" binding (its metric aliases), or an empty string.
QString StrongSubstitute(FcConfig* config, const QString& face, const std::map<QString, uint8_t>& installed)
{
  std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> p(FcPatternCreate(), &FcPatternDestroy);
  if (!p) return QString();
  const QByteArray name = face.toUtf8();
  FcPatternAddString(p.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
  if (!FcConfigSubstitute(config, p.get(), FcMatchPattern)) return QString();
  FcPatternIter it;
  FcPatternIterStart(p.get(), &it);
  if (!FcPatternFindIter(p.get(), &it, FC_FAMILY)) return QString();
  const int n = FcPatternIterValueCount(p.get(), &it);
  for (int i = 1; i < n; ++i) {
    FcValue v;
    FcValueBinding binding = FcValueBindingWeak;
    if (FcPatternIterGetValue(p.get(), &it, i, &v, &binding) != FcResultMatch) continue;
    if (binding == FcValueBindingWeak || v.type != FcTypeString) continue;
    const QString family = QString::fromUtf8(reinterpret_cast<const char*>(v.u.s));
    if (installed.count(family)) return family;
  }
  return QString();
}

bool NameLess(const QString& a, const QString& b)
{
  const int c = QString::compare(a, b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

// Draws one line: the technology picture in a square as high as the line,
// then the name, in its own face when that face has every letter of it.
class TFontItemDelegate : public QStyledItemDelegate {
public:
  explicit TFontItemDelegate(TFontListBox* list) : QStyledItemDelegate(list), m_list(list)
  {
    for (const char* name : {"font-ps", "font-ttf", "font-raster", "font-unknown"})
      m_glyphs.push_back(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name))));
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
  {
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& pal = m_list->palette();
    painter->save();
    painter->fillRect(r, selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
    const int kind = std::clamp(index.data(kKindRole).toInt(), 0, 3);
    const int side = r.height();
    m_glyphs[size_t(kind)].paint(painter, QRect(r.left() + 1, r.top() + 1, side - 2, side - 2));
    const QString name = index.data(Qt::DisplayRole).toString();
    painter->setFont(FaceFor(name));
    painter->setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
    const QRect text(r.left() + side + 2, r.top(), r.width() - side - 2, r.height());
    painter->setClipRect(text);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override
  {
    const QString name = index.data(Qt::DisplayRole).toString();
    return {QFontMetrics(m_list->font()).horizontalAdvance(name) + ItemHeight() + 8, ItemHeight()};
  }

  int ItemHeight() const { return std::max(16, QFontMetrics(m_list->font()).height() + 2); }

  void ForgetFaces() { m_faces.clear(); }

private:
  QFont FaceFor(const QString& name) const
  {
    const QFont base = m_list->font();
    auto it = m_faces.constFind(name);
    if (it == m_faces.constEnd()) it = m_faces.insert(name, CanShowName(name, base));
    if (!*it) return base;
    QFont f(name);
    if (base.pixelSize() > 0) f.setPixelSize(base.pixelSize());
    else f.setPointSizeF(base.pointSizeF());
    return f;
  }

  static bool CanShowName(const QString& name, const QFont& base)
  {
    // Symbol faces put pictures or Greek letters where the name's letters are.
    if (QFontDatabase::writingSystems(name).contains(QFontDatabase::Symbol)) return false;
    QFont f(name);
    f.setPointSizeF(base.pointSizeF() > 0 ? base.pointSizeF() : 9);
    const QFontMetrics fm(f);
    for (const QChar c : name)
      if (!c.isSpace() && !fm.inFont(c)) return false;
    // The generic fallback face stands in for families Qt can not load.
    static const QString fallback = QFontInfo(QFont(QStringLiteral("jkt-no-such-face"))).family();
    const QString shown = QFontInfo(f).family();
    return shown.compare(name, Qt::CaseInsensitive) == 0 || shown != fallback;
  }

  TFontListBox* m_list;
  std::vector<QIcon> m_glyphs;
  mutable QHash<QString, bool> m_faces;
};

}  // namespace

uint8_t FontKindOfFormat(const QString& format)
{
  if (format == QLatin1String("TrueType") || format == QLatin1String("CFF")) return fkTrueType;
  if (format == QLatin1String("Type 1") || format == QLatin1String("CID Type 1")) return fkPostScript;
  if (format == QLatin1String("PCF") || format == QLatin1String("BDF")) return fkRaster;
  return fkOther;
}

std::vector<TFontClass> EnumerateFontFamilies(void* configHandle)
{
  auto* config = static_cast<FcConfig*>(configHandle);
  std::map<QString, uint8_t> families;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FONTFORMAT, nullptr);
  FcFontSet* set = (pattern && objects) ? FcFontList(config, pattern, objects) : nullptr;
  if (set) {
    for (int i = 0; i < set->nfont; ++i) {
      const QString family = FcString(set->fonts[i], FC_FAMILY);
      if (family.isEmpty()) continue;
      const uint8_t kind = FontKindOfFormat(FcString(set->fonts[i], FC_FONTFORMAT));
      auto [it, added] = families.emplace(family, kind);
      if (!added && KindRank(kind) < KindRank(it->second)) it->second = kind;
    }
    FcFontSetDestroy(set);
  }
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);

  std::vector<TFontClass> out;
  out.reserve(families.size() + std::size(kWindowsFaces));
  for (const auto& [family, kind] : families) out.push_back({family, kind});
  for (const char* face : kWindowsFaces) {
    const QString name = QString::fromLatin1(face);
    if (families.count(name)) continue;
    const QString substitute = StrongSubstitute(config, name, families);
    if (!substitute.isEmpty()) out.push_back({name, families.at(substitute)});
  }
  return out;
}

// ---------------------------------------------------------------- the list

TFontListBox::TFontListBox(QWidget* parent) : QListWidget(parent)
{
  setObjectName(QStringLiteral("FontListBox"));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setItemDelegate(new TFontItemDelegate(this));
  // The user picks a line with the mouse or the arrow keys; the program's own
  // selection (SelectName) stays silent.
  connect(this, &QListWidget::itemSelectionChanged, this, [this] {
    if (!m_selecting && !selectedItems().isEmpty()) emit Click();
  });
  connect(this, &QListWidget::itemClicked, this, [this] { emit Click(); });
  Enumerate();
  FillItems();
}

TFontListBox::~TFontListBox() = default;

void TFontListBox::Refresh()
{
  Enumerate();
  FillItems();
}

void TFontListBox::SetFilterOptions(TFilterOptions options)
{
  options &= kAllFilterOptions;
  if (options == m_filterOptions) return;
  m_filterOptions = options;
  Refresh();
}

void TFontListBox::Enumerate()
{
  m_fontList.clear();
  for (TFontClass& font : FamilySource ? FamilySource() : EnumerateFontFamilies()) {
    // Vertically written variants.
    if (font.FaceName.startsWith(QChar('@'))) continue;
    bool accept = true;
    if (OnValidateFont) OnValidateFont(this, font, accept);
    if (!accept) continue;
    const bool admitted = (font.FontKind == fkPostScript && (m_filterOptions & ShowPostScript)) ||
                          (font.FontKind == fkTrueType && (m_filterOptions & ShowTrueType)) ||
                          (font.FontKind == fkRaster && (m_filterOptions & ShowRaster)) ||
                          font.FontKind == fkOther;
    if (admitted) m_fontList.push_back(std::move(font));
  }
  std::sort(m_fontList.begin(), m_fontList.end(),
            [](const TFontClass& a, const TFontClass& b) { return NameLess(a.FaceName, b.FaceName); });
}

void TFontListBox::FillItems()
{
  m_selecting = true;
  clear();
  for (const TFontClass& font : m_fontList) {
    auto* item = new QListWidgetItem(font.FaceName, this);
    item->setData(kKindRole, int(font.FontKind));
  }
  if (count() > 0) setCurrentRow(0);
  m_selecting = false;
  UpdateItemHeight();
}

const TFontClass* TFontListBox::FindFont(const QString& name) const
{
  const auto it = std::lower_bound(m_fontList.begin(), m_fontList.end(), name,
                                   [](const TFontClass& f, const QString& n) { return NameLess(f.FaceName, n); });
  return (it != m_fontList.end() && it->FaceName == name) ? &*it : nullptr;
}

QString TFontListBox::SelectedName() const
{
  const QListWidgetItem* item = currentItem();
  return (item && item->isSelected()) ? item->text() : QString();
}

void TFontListBox::SelectName(const QString& name)
{
  if (count() == 0) return;
  int row = count() - 1;
  if (const TFontClass* f = FindFont(name)) row = int(f - m_fontList.data());
  m_selecting = true;
  setCurrentRow(row);
  scrollToItem(item(row), QAbstractItemView::PositionAtCenter);
  m_selecting = false;
}

void TFontListBox::changeEvent(QEvent* event)
{
  QListWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    static_cast<TFontItemDelegate*>(itemDelegate())->ForgetFaces();
    UpdateItemHeight();
  }
}

void TFontListBox::UpdateItemHeight()
{
  // Uniform item sizes: the delegate's size hint is asked again on relayout.
  doItemsLayout();
}
