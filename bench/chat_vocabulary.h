// The benchmarks' chat: a vocabulary of words used as a language uses them, from which
// lines and queries are made.
#pragma once

#include <QString>
#include <QStringList>
#include <cmath>
#include <random>
#include <vector>

namespace bench {

/// A chat's vocabulary: 20,000 words, 45% kanji, 35% kana, 1% half-width katakana, 12%
/// Latin, 3% full-width Latin, 2% capitalised, 2% numbers, a few with markup, used as a
/// language uses its words (a few often, most rarely).
class CVocabulary {
 public:
  explicit CVocabulary(std::mt19937& random) : m_random(random) {
    const QString kanji =
                      u"会議時資料共有確認明日東京大阪予定変更連絡担当社員部長開発設計試験報告"
                      "書年月日週今後前新古高安早遅上下左右中外内出入見聞話読"_qs,
                  kana =
                      u"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめも"
                      "やゆよらりるれろわをんアイウエオカキクケコサシスセソタチツテトナニヌネノ"_qs,
                  half = u"ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄ"_qs, latin = u"abcdefghijklmnopqrstuvwxyz"_qs,
                  digits = u"0123456789"_qs;
    for (int i = 0; i < 20000; ++i) {
      const int kind = i % 100;
      const QString& letters = kind < 45   ? kanji
                               : kind < 80 ? kana
                               : kind < 81 ? half
                               : kind < 98 ? latin
                                           : digits;
      QString word;
      for (int n = 1 + static_cast<int>(m_random() % (&letters == &latin ? 8 : 3)); n > 0; --n)
        word += letters[static_cast<qsizetype>(m_random() % letters.size())];
      if (kind >= 93 && kind < 96)  // full width
        for (QChar& c : word) c = QChar(c.unicode() + 0xfee0);
      if (kind >= 96 && kind < 98) word[0] = word[0].toUpper();
      if (i % 97 == 0) word = u"<b>"_qs + word + u"</b>"_qs;
      m_words.push_back(word);
    }
  }
  /// Word of rank r is picked about as often as 1/r.
  const QString& Pick() {
    return m_words[static_cast<size_t>(
                       std::pow(20000.0, std::uniform_real_distribution<>()(m_random))) -
                   1];
  }

 private:
  std::mt19937& m_random;
  std::vector<QString> m_words;
};

/// Queries as users type them: words of the chat, 25 of three characters or more for
/// the index, 25 shorter ones.
struct CQueries {
  explicit CQueries(CVocabulary& words) {
    while (longWords.size() < 25 || shortWords.size() < 25) {
      const QString word = QString(words.Pick()).remove(u"<b>"_qs).remove(u"</b>"_qs);
      QStringList& kind = word.size() >= 3 ? longWords : shortWords;
      if (kind.size() < 25) kind << word;
    }
  }
  QStringList longWords, shortWords;
};

}  // namespace bench
