#include "imagelib/TypeIcons.h"

#include "imagelib/ImageLoader.h"

#include <QFile>
#include <QFont>
#include <QPainter>
#include <QSvgRenderer>

#include <map>

static void InitTypeIconResources()
{
  static const bool done = [] {
    Q_INIT_RESOURCE(types);
    return true;
  }();
  (void)done;
}

namespace {

QImage RenderSvg(const QString& file, QSize size)
{
  QSvgRenderer svg(file);
  if (!svg.isValid()) return QImage();
  QImage img(size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  svg.render(&p);
  return img;
}

// A page with a grey label band carrying the extension, for a type that has
// no artwork of its own.
QImage GenericLarge(const QString& label)
{
  QImage img = RenderSvg(QStringLiteral(":/types/generic.svg"), QSize(32, 32));
  if (img.isNull() || label.isEmpty()) return img;
  QPainter p(&img);
  QFont font;
  font.setPixelSize(8);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(3, 18, 22, 9), Qt::AlignCenter, label.left(4));
  return img;
}

QImage GenericSmall(const QString& label)
{
  QImage img(18, 9, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(0x45, 0x4f, 0x59));
  p.setBrush(QColor(0x60, 0x6c, 0x78));
  p.drawRoundedRect(QRectF(0.5, 0.5, 17, 8), 1.5, 1.5);
  QFont font;
  font.setPixelSize(7);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 0, 18, 9), Qt::AlignCenter, label.left(3));
  return img;
}

}  // namespace

const TTypeIcon& TypeIcons(int imageType)
{
  static std::map<int, TTypeIcon> table;
  const auto found = table.find(imageType);
  if (found != table.end()) return found->second;

  InitTypeIconResources();
  TTypeIcon icon;
  const QString key = ImageTypeKey(imageType);
  if (!key.isEmpty()) {
    const QString code = QStringLiteral("%1").arg(imageType, 2, 10, QLatin1Char('0'));
    const QString large = QStringLiteral(":/types/type%1.svg").arg(code);
    const QString small = QStringLiteral(":/types/badge%1.svg").arg(code);
    icon.Large = QFile::exists(large) ? RenderSvg(large, QSize(32, 32)) : GenericLarge(key);
    icon.Small = QFile::exists(small) ? RenderSvg(small, QSize(18, 9)) : GenericSmall(key);
  }
  return table.emplace(imageType, std::move(icon)).first->second;
}

const QImage& UnreadableMark()
{
  InitTypeIconResources();
  static const QImage mark = RenderSvg(QStringLiteral(":/types/unreadable.svg"), QSize(14, 14));
  return mark;
}
