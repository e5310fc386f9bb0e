#include "platform/japanese_font.h"

#include <QStringList>
#include <string_view>

#include "platform/cp932.h"

namespace murelo {

namespace {

// ＭＳ Ｐゴシック
constexpr std::string_view kDialogFontFamily = "\202l\202r \202o\203S\203V\203b\203N";
constexpr int kDialogFontPoints = 9;
constexpr int kPageFontPoints = 12;

// ＭＳ ゴシック, ＭＳ Ｐ明朝, ＭＳ 明朝
constexpr std::string_view kFixedGothicFamily = "\202l\202r \203S\203V\203b\203N";
constexpr std::string_view kMinchoFamily = "\202l\202r \202o\226\276\222\251";
constexpr std::string_view kFixedMinchoFamily = "\202l\202r \226\276\222\251";

QStringList GothicStandIns() {
  return {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
          QStringLiteral("VL PGothic")};
}

QStringList MinchoStandIns() {
  // A Japanese sans-serif family last: Japanese glyphs matter more than serifs.
  return {QStringLiteral("Noto Serif CJK JP"), QStringLiteral("IPAPMincho"),
          QStringLiteral("IPAMincho"), QStringLiteral("Noto Sans CJK JP")};
}

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

QFont PageFont() {
  QFont font;
  font.setFamilies(QStringList{ToQString(kDialogFontFamily)} + GothicStandIns());
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(kPageFontPoints);
  return font;
}

void InstallPageFontSubstitutes() {
  // Substitutes add up; one installation per run keeps each list as written.
  static const bool installed = [] {
    for (std::string_view family : {kDialogFontFamily, kFixedGothicFamily}) {
      QFont::insertSubstitutions(ToQString(family), GothicStandIns());
    }
    for (std::string_view family : {kMinchoFamily, kFixedMinchoFamily}) {
      QFont::insertSubstitutions(ToQString(family), MinchoStandIns());
    }
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), GothicStandIns());
    QFont::insertSubstitutions(QStringLiteral("MS Gothic"), GothicStandIns());
    QFont::insertSubstitutions(QStringLiteral("MS PMincho"), MinchoStandIns());
    QFont::insertSubstitutions(QStringLiteral("MS Mincho"), MinchoStandIns());
    return true;
  }();
  (void)installed;
}

}  // namespace murelo
