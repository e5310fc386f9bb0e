// The CP932 conversion under all text.
#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace murelo {
namespace {

TEST(Cp932, JapaneseRoundTripsAndTheRestBecomesReferencesOrReplacements) {
  // お名前 ＨＯＳＴ　ＩＰ ﾊﾞｰｼﾞｮﾝ: double-byte, full-width blank, half-width katakana.
  const std::string bytes =
      "\202\250\226\274\221O \202g\202n\202r\202s\201@\202h\202o \312\336\260\274\336\256\335";
  EXPECT_EQ(ToCp932(QString::fromUtf8("お名前 ＨＯＳＴ　ＩＰ ﾊﾞｰｼﾞｮﾝ")), bytes);
  EXPECT_EQ(ToQString("<b>" + bytes + "</b>"),  // 前's trail byte is an O
            QString::fromUtf8("<b>お名前 ＨＯＳＴ　ＩＰ ﾊﾞｰｼﾞｮﾝ</b>"));
  // What CP932 cannot hold goes as a reference (한, a lone surrogate); bytes that are no
  // character (a bad trail byte, a cut-off pair) read as replacements.
  EXPECT_EQ(ToCp932(QString::fromUtf8("\xED\x95\x9C") + QChar(0xD800)), "&#54620;&#65533;");
  EXPECT_EQ(ToQString("a\377\240\202"),
            QString("a") + QString(QChar::ReplacementCharacter).repeated(3));
  // After a byte it cannot read, a lead byte takes the next, though it looks like ASCII.
  EXPECT_EQ(ToQString("\205\201A"), QString::fromUtf8("\uFFFD\u3001"));
}

}  // namespace
}  // namespace murelo
