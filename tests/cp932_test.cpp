#include "platform/cp932.h"

#include <gtest/gtest.h>

#include <string>

namespace murelo {
namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

TEST(Cp932, JapaneseTextRoundTrips) {
  // お名前 ＨＯＳＴ　ＩＰ ﾊﾞｰｼﾞｮﾝ: double-byte, full-width blank, half-width katakana.
  const std::string bytes =
      "\202\250\226\274\221O \202g\202n\202r\202s\201@\202h\202o \312\336\260\274\336\256\335";
  const QString text = Utf8("お名前 ＨＯＳＴ　ＩＰ ﾊﾞｰｼﾞｮﾝ");
  EXPECT_EQ(ToQString(bytes), text);
  EXPECT_EQ(ToCp932(text), bytes);
  EXPECT_EQ(Cp932Length(text), bytes.size());
  EXPECT_EQ(ToCp932(u""), "");
  EXPECT_EQ(ToQString(std::string("a\0b", 3)), QString::fromLatin1("a\0b", 3));
}

TEST(Cp932, CharactersCp932CannotHoldBecomeNumericReferences) {
  EXPECT_EQ(ToCp932(Utf8("a\xF0\x9F\x98\x80"
                         "b")),
            "a&#128512;b");  // 😀, a surrogate pair
  EXPECT_EQ(ToCp932(Utf8("\xED\x95\x9C\xE3\x81\x82")), "&#54620;\202\240");  // 한あ
  EXPECT_EQ(ToCp932(QString(QChar(0xD800))), "&#65533;");                    // unpaired surrogate
  EXPECT_EQ(Cp932Length(Utf8("\xF0\x9F\x98\x80\xF0\x9F\x98\x80")), 18u);
}

TEST(Cp932, BytesThatAreNoCharacterReadAsReplacementCharacters) {
  EXPECT_EQ(ToQString("\202"), QString(QChar::ReplacementCharacter));           // cut-off pair
  EXPECT_EQ(ToQString("\202 x"), QString(QChar::ReplacementCharacter) + " x");  // bad trail byte
  EXPECT_EQ(ToQString("a\377\240b"),
            QString("a") + QChar::ReplacementCharacter + QChar::ReplacementCharacter + "b");
}

TEST(Cp932, FittingPrefixKeepsWholeCharacters) {
  const QString text = Utf8(
      "ab\xE3\x81\x82\xF0\x9F\x98\x80"
      "c");  // ab あ 😀 c: 1+1+2+9+1 bytes
  EXPECT_EQ(Cp932FittingPrefix(text, 0), 0);
  EXPECT_EQ(Cp932FittingPrefix(text, 3), 2);   // あ would need a fourth byte
  EXPECT_EQ(Cp932FittingPrefix(text, 12), 3);  // never half a surrogate pair
  EXPECT_EQ(Cp932FittingPrefix(text, 13), 5);
  EXPECT_EQ(Cp932FittingPrefix(text, 1000), text.size());
}

}  // namespace
}  // namespace murelo
