#include "ui/dialog_units.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <algorithm>

#include "platform/cp932.h"

namespace murelo {

namespace {

/// a * b / c rounded to the nearest integer, for lengths that are never negative.
int MulDivRounded(int a, int b, int c) { return (2 * a * b + c) / (2 * c); }

}  // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  m_nBaseX = (letters / 26 + 1) / 2;
  m_nBaseY = metrics.height();
}

int CDialogUnits::X(int units) const { return MulDivRounded(units, m_nBaseX, 4); }

int CDialogUnits::Y(int units) const { return MulDivRounded(units, m_nBaseY, 8); }

QRect CDialogUnits::Rect(int left, int top, int width, int height) const {
  return {X(left), Y(top), X(width), Y(height)};
}

QSize CDialogUnits::Size(int width, int height) const { return {X(width), Y(height)}; }

QLabel* CreateTemplateLabel(QWidget* parent, std::string_view cp932Text, const QRect& pixels) {
  auto* label = new QLabel(ToQString(cp932Text), parent);
  label->setAlignment(Qt::AlignCenter);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setGeometry(pixels);
  return label;
}

void GrowToFitText(QWidget* dialog) {
  const QList<QWidget*> controls = dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* control : controls) {
    if (!qobject_cast<QLabel*>(control) && !qobject_cast<QAbstractButton*>(control)) continue;
    const QRect place = control->geometry();
    QRect grown({}, control->sizeHint().expandedTo(place.size()));
    grown.moveCenter(place.center());
    QRect room = dialog->rect();  // bounded by the nearest neighbour on each side
    for (const QWidget* other : controls) {
      const QRect o = other->geometry();
      if (o.top() <= place.bottom() && o.bottom() >= place.top()) {
        if (o.right() < place.left()) room.setLeft(std::max(room.left(), o.right() + 1));
        if (o.left() > place.right()) room.setRight(std::min(room.right(), o.left() - 1));
      }
      if (o.left() <= place.right() && o.right() >= place.left()) {
        if (o.bottom() < place.top()) room.setTop(std::max(room.top(), o.bottom() + 1));
        if (o.top() > place.bottom()) room.setBottom(std::min(room.bottom(), o.top() - 1));
      }
    }
    control->setGeometry(grown.intersected(room));
  }
}

}  // namespace murelo
