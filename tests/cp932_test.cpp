#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace murelo {
namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

TEST(Cp932, JapaneseRoundTripsAndTheRestBecomesReferencesOrReplacements) {
  // お名前 ＨＯＳＴ　ＩＰ ﾊﾞｰｼﾞｮﾝ: double-byte, full-width blank, half-width katakana.
  const std::string bytes =
      "\202\250\226\274\221O \202g\202n\202r\202s\201@\202h\202o \312\336\260\274\336\256\335";
  EXPECT_EQ(ToQString(bytes), Utf8("お名前 ＨＯＳＴ　ＩＰ ﾊﾞｰｼﾞｮﾝ"));
  EXPECT_EQ(ToCp932(Utf8("お名前 ＨＯＳＴ　ＩＰ ﾊﾞｰｼﾞｮﾝ")), bytes);
  // What CP932 cannot hold is sent as a numeric reference: 😀 한, a lone surrogate.
  EXPECT_EQ(ToCp932(Utf8("a\xF0\x9F\x98\x80\xED\x95\x9C")), "a&#128512;&#54620;");
  EXPECT_EQ(ToCp932(QString(QChar(0xD800))), "&#65533;");
  EXPECT_EQ(Cp932Length(Utf8("\xF0\x9F\x98\x80\xE3\x81\x82")), 11u);
  // Bytes that are no character: a cut-off pair, a bad trail byte.
  const QChar bad = QChar::ReplacementCharacter;
  EXPECT_EQ(ToQString("\202"), QString(bad));
  EXPECT_EQ(ToQString("a\377\240b\202 x"), QString("a") + bad + bad + "b" + bad + " x");
}

TEST(Cp932, FittingPrefixKeepsWholeCharacters) {
  const QString text = Utf8(
      "ab\xE3\x81\x82\xF0\x9F\x98\x80"
      "c");  // 1+1+2+9+1 bytes
  const std::pair<size_t, qsizetype> cases[] = {{0, 0}, {3, 2}, {12, 3}, {13, 5}, {1000, 6}};
  for (const auto& [bytes, characters] : cases) {
    EXPECT_EQ(Cp932FittingPrefix(text, bytes), characters) << bytes;
  }
}

}  // namespace
}  // namespace murelo
