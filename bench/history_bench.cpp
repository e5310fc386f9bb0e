// The history store on a million lines: how fast it takes them in batches, how fast it
// finds words of three or more characters (the trigram index) and of one or two (the
// folded text read through), and how much disk a line takes against its own size.
//   history_bench [lines [directory]]   (default 1,000,000 lines; the history is kept in
//   directory/history.sqlite when one is given, for history_window_bench)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "chat_vocabulary.h"
#include "platform/cp932.h"
#include "platform/history/history_store.h"

namespace {

using bench::CVocabulary;
using murelo::CHistoryEvent;

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const QTemporaryDir scratch;
  const QString path = (argc > 2 ? QString(argv[2]) : scratch.path()) + u"/history.sqlite"_qs;
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
  const bench::CQueries queries(words);
  std::printf("history_search_p50_ms: %.1f ms\n", searchMs(queries.longWords));
  std::printf("history_search_short_p50_ms: %.1f ms\n", searchMs(queries.shortWords));
  store->Write({});  // a checkpoint is SQLite's; the size is the database's and its log's
  const qint64 bytes = QFileInfo(path).size() + QFileInfo(path + u"-wal"_qs).size();
  std::printf("history_bytes_per_line: %.0f bytes\n", static_cast<double>(bytes) / count);
  std::printf("history_bytes_ratio: %.2f ratio\n", static_cast<double>(bytes) / lineBytes);
  return 0;
}
