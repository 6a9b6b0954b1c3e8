#include "gui/ListIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace qelta::gui {
namespace {

void drawCross(QPainter& p) {
  p.setPen(QPen(QColor(200, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
  p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void drawTick(QPainter& p) {
  p.setPen(QPen(QColor(0, 150, 0), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath path;
  path.moveTo(2.5, 8.5);
  path.lineTo(6.5, 12.5);
  path.lineTo(13.5, 3.5);
  p.drawPath(path);
}

void drawSquare(QPainter& p) {
  p.setPen(QPen(QColor(0, 0, 120), 1));
  p.setBrush(QColor(40, 80, 220));
  p.drawRect(QRectF(4.5, 4.5, 7, 7));
}

void drawInfo(QPainter& p) {
  p.setPen(QPen(QColor(0, 60, 160), 1));
  p.setBrush(QColor(60, 120, 230));
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(7, 3.5, 2, 2));
  p.drawRect(QRectF(7, 6.5, 2, 6));
}

void drawBaseStation(QPainter& p) {
  // A box with an antenna and two radio arcs.
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(150, 150, 160));
  p.drawRect(QRectF(2.5, 9.5, 9, 5));
  p.setBrush(QColor(0, 200, 0));
  p.drawRect(QRectF(4, 11, 1.5, 1.5));
  p.setPen(QPen(QColor(40, 40, 40), 1.5));
  p.drawLine(QPointF(10, 9.5), QPointF(10, 2.5));
  p.setPen(QPen(QColor(220, 120, 0), 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(9, 2, 5, 6), -60 * 16, 120 * 16);
  p.drawArc(QRectF(8, 0.5, 8, 9), -60 * 16, 120 * 16);
}

void drawUnplugged(QPainter& p) {
  // A plug and a socket pulled apart, with a red gap between them.
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(120, 120, 130));
  p.drawRect(QRectF(1.5, 5.5, 4, 5));
  p.drawLine(QPointF(5.5, 7), QPointF(7, 7));
  p.drawLine(QPointF(5.5, 9), QPointF(7, 9));
  p.drawRect(QRectF(10.5, 5.5, 4, 5));
  p.setPen(QPen(QColor(200, 0, 0), 1.5));
  p.drawLine(QPointF(8, 3), QPointF(9.5, 13));
}

}  // namespace

QPixmap listIconPixmap(int index) {
  if (index < 0 || index >= kListIconCount) return {};
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0:
      drawCross(p);
      break;
    case 1:
      drawTick(p);
      break;
    case 2:
      drawSquare(p);
      break;
    case 3:
      drawInfo(p);
      break;
    case 4:
      drawBaseStation(p);
      break;
    case 5:
      drawUnplugged(p);
      break;
  }
  return pixmap;
}

QIcon listIcon(int index) {
  const QPixmap pixmap = listIconPixmap(index);
  return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

}  // namespace qelta::gui
