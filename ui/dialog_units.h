// Dialog units: the templates of the dialogs and the input bar give positions and
// sizes in units of the dialog font, a quarter of its average character width across
// and an eighth of its height down, so every control scales with the font.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <string_view>

class QLabel;
class QWidget;

namespace murelo {

class CDialogUnits {
 public:
  /// Measures font as Windows does: the base width is the average advance of the 52
  /// Latin letters, rounded to a whole pixel; the base height is the font's height.
  explicit CDialogUnits(const QFont& font);

  /// Pixels for a horizontal or vertical length in dialog units, rounded.
  int X(int units) const;
  int Y(int units) const;
  /// A template rectangle (left, top, width, height) in pixels.
  QRect Rect(int left, int top, int width, int height) const;
  QSize Size(int width, int height) const;

 private:
  int m_nBaseX;
  int m_nBaseY;
};

/// A template label on parent: the CP932 text centred both ways, with a sunken edge.
QLabel* CreateTemplateLabel(QWidget* parent, std::string_view cp932Text, const QRect& pixels);

/// Grows each label and button of dialog whose text does not fit its template rectangle
/// in the font actually used, about the rectangle's centre, as far as its neighbours
/// and the dialog's edges leave room. (The templates were made for a narrower font
/// than the Japanese fonts Linux desktops have.) Call once all controls are placed.
void GrowToFitText(QWidget* dialog);

}  // namespace murelo
