#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QLabel>

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

}  // namespace murelo
