#include "ui/app_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace murelo {

QIcon AppIcon() {
  // One picture for the window, the notifications and the installed icons:
  // dist/icons/murelo.svg, built in as a resource.
  QSvgRenderer picture(QStringLiteral(":/icons/murelo.svg"));
  QIcon icon;
  for (int size : {16, 32, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    picture.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace murelo
