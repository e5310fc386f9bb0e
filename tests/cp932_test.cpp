// The CP932 conversion under all text.
#include "platform/cp932.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>

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

/// What iconv makes of the whole of cp932 in one go, a byte it cannot read at a time
/// replaced: what ToQString must make of it, character by character.
QString ConvertedWhole(const std::string& cp932) {
  static const iconv_t cd = iconv_open("UTF-16LE", "CP932");
  std::u16string units(cp932.size(), u'\0');
  char* in = const_cast<char*>(cp932.data());
  size_t inLeft = cp932.size();
  char* out = reinterpret_cast<char*>(units.data());
  size_t outLeft = units.size() * sizeof(char16_t);
  while (inLeft > 0 && iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1)) {
    const auto byte = static_cast<unsigned char>(*in++);
    const char16_t unit = byte < 0x80 ? byte : u'\uFFFD';
    std::memcpy(out, &unit, sizeof unit);
    out += sizeof unit;
    outLeft -= sizeof unit;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return QString::fromUtf16(units.data(), units.size() - outLeft / sizeof(char16_t));
}

TEST(Cp932, EveryByteAndPairReadsAsTheConverterReadsItWhole) {
  // Twice each: the first reading asks the converter, the second may not.
  for (int pass = 0; pass < 2; ++pass) {
    for (int first = 0x80; first <= 0xff; ++first) {
      for (int second = 0; second <= 0xff; ++second) {
        const std::string text = {'<', static_cast<char>(first), static_cast<char>(second), '>'};
        ASSERT_EQ(ToQString(text), ConvertedWhole(text)) << first << ' ' << second;
      }
      const std::string cutOff = {'a', static_cast<char>(first)};
      ASSERT_EQ(ToQString(cutOff), ConvertedWhole(cutOff)) << first;
    }
  }
}

}  // namespace
}  // namespace murelo
