#include "shell/Splash.h"

#include "shell/Main.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>

TfrmSplash::TfrmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
  InitJacketeerResources();
  setObjectName(QStringLiteral("frmSplash"));
  setFixedSize(382, 274);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

void TfrmSplash::paintEvent(QPaintEvent*)
{
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QSvgRenderer svg(QStringLiteral(":/splash.svg"));
  if (svg.isValid()) svg.render(&p, QRectF(rect()));
  else p.fillRect(rect(), Qt::white);
}
