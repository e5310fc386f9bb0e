#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace murelo {

namespace {

QPixmap Bubble(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);

  QPainterPath bubble;
  bubble.addRoundedRect(QRectF(2, 3, 28, 20), 7, 7);
  QPainterPath tail;
  tail.moveTo(8, 21);
  tail.lineTo(6, 30);
  tail.lineTo(15, 22);
  bubble = bubble.united(tail);
  painter.setPen(QPen(QColor(0x00, 0x00, 0x80), 1.5));
  painter.setBrush(QColor(0xee, 0xee, 0xff));  // the page's background
  painter.drawPath(bubble);

  // Two lines of chat in the page's colours.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xff, 0x30, 0x30));
  painter.drawRoundedRect(QRectF(7, 8, 18, 3.5), 1.5, 1.5);
  painter.setBrush(QColor(0x00, 0xaa, 0xcc));
  painter.drawRoundedRect(QRectF(7, 14, 12, 3.5), 1.5, 1.5);
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 64}) icon.addPixmap(Bubble(size));
  return icon;
}

}  // namespace murelo
