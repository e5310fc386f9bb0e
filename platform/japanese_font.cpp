#include "platform/japanese_font.h"

#include <QStringList>
#include <string_view>

#include "platform/cp932.h"

namespace murelo {

namespace {

// ＭＳ Ｐゴシック
constexpr std::string_view kDialogFontFamily = "\202l\202r \202o\203S\203V\203b\203N";
constexpr int kDialogFontPoints = 9;

}  // namespace

QFont DialogFont() {
  QFont font;
  // Listed families are tried in order; fontconfig's own fallback comes after them.
  font.setFamilies({ToQString(kDialogFontFamily), QStringLiteral("Noto Sans CJK JP"),
                    QStringLiteral("IPAPGothic"), QStringLiteral("VL PGothic")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(kDialogFontPoints);
  return font;
}

}  // namespace murelo
