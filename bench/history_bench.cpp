// The history store on a million lines: how fast it takes them in batches, how fast it
// finds words of three or more characters (the trigram index) and of one or two (the
// folded text read through), and how much disk a line takes against its own size.
//   history_bench [lines]   (default 1,000,000)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "platform/cp932.h"
#include "platform/history/history_store.h"

namespace {

using murelo::CHistoryEvent;

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

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const QTemporaryDir dir;
  const QString path = dir.path() + u"/history.sqlite"_qs;
  QString movedAside;
  const auto store = murelo::CHistoryStore::Open(path, movedAside);
  std::mt19937 random(7);
  CVocabulary words(random);

  std::vector<CHistoryEvent> batch;
  qint64 lineBytes = 0;
  QElapsedTimer timer;
  qint64 writing = 0;
  for (int i = 0; i < count; ++i) {
    QString text;
    for (int n = 3 + static_cast<int>(random() % 20); n > 0; --n)
      text += words.Pick() + (random() % 3 ? u""_qs : u" "_qs);
    const QString html = u"<font color=blue><b>参加者%1</b></font>：%2"_qs.arg(i % 30).arg(text);
    lineBytes += html.toUtf8().size();
    batch.push_back(
        {CHistoryEvent::Kind::kLine, i, {}, {}, {}, "10.0.0.1", murelo::ToCp932(html), true, 0});
    if (batch.size() == 5000 || i == count - 1) {
      timer.start();
      store->Write(batch);
      writing += timer.nsecsElapsed();
      batch.clear();
    }
  }
  std::printf("history_insert_per_s: %.0f lines/s\n", count / (static_cast<double>(writing) / 1e9));

  // Searched as the command line searches: through a connection of its own, for reading.
  const auto reader = murelo::CHistoryStore::OpenToRead(path);
  const auto searchMs = [&](const QStringList& queries) {
    std::vector<double> times;
    for (const QString& query : queries) {
      timer.start();
      reader->Search({query, {}, 0, 50});
      times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return Median(times);
  };
  // Queries as users type them: words of the chat, often a piece of one, in either width.
  QStringList longWords, shortWords;
  while (longWords.size() < 25 || shortWords.size() < 25) {
    const QString word = QString(words.Pick()).remove(u"<b>"_qs).remove(u"</b>"_qs);
    (word.size() >= 3 ? longWords : shortWords) << word;
  }
  std::printf("history_search_p50_ms: %.1f ms\n", searchMs(longWords.mid(0, 25)));
  std::printf("history_search_short_p50_ms: %.1f ms\n", searchMs(shortWords.mid(0, 25)));
  store->Write({});  // a checkpoint is SQLite's; the size is the database's and its log's
  const qint64 bytes = QFileInfo(path).size() + QFileInfo(path + u"-wal"_qs).size();
  std::printf("history_bytes_per_line: %.0f bytes\n", static_cast<double>(bytes) / count);
  std::printf("history_bytes_ratio: %.2f ratio\n", static_cast<double>(bytes) / lineBytes);
  return 0;
}
