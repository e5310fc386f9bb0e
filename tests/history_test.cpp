// The history: search that never misses against a brute-force reading of the same lines,
// a file that comes through a crash, a broken or foreign file and a full disk, and a
// conversation whose wire bytes and files are the same with the history on or off.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QDateTime>
#include <QFile>
#include <atomic>
#include <csignal>
#include <fstream>
#include <random>
#include <thread>

#include "app/history_feed.h"
#include "core/wire_format.h"
#include "loopback.h"
#include "platform/cp932.h"
#include "platform/history/history_recorder.h"
#include "platform/history/history_store.h"
#include "platform/history/search_text.h"
#include "platform/plain_text.h"

namespace murelo {
namespace {

using namespace test;

CHistoryEvent Line(qint64 timeMs, const QString& html) {
  return {CHistoryEvent::Kind::kLine, timeMs, {}, {}, {}, "10.0.0.1", ToCp932(html), false, 0};
}

/// Japanese and English chat lines of realistic lengths, in full and half width, with
/// markup a peer might send.
std::vector<QString> Corpus(std::mt19937& random, int count) {
  const QStringList words =
      QString(
          u"会議|三時|からです|了解|資料|共有|よろしく|お願いします|確認|明日|東京|大阪|ありがとう|"
          "カタカナ|ｶﾀｶﾅ|ﾃﾞｰﾀ|データ|サーバー|ＡＢＣ|ａｂｃ|ABC|Meeting|at|three|o'clock|"
          "report|１２３|123|ＰＣ|pc|<b>太字</b>|&amp;|&lt;tag&gt;|&#x41;|<script>x()</script>|"
          "<font color=red size=+2>赤</font>|<a href=\"http://example.com/\">リンク</a>|😀|、|。|！|？"_qs)
          .split(u'|');
  std::vector<QString> lines;
  for (int i = 0; i < count; ++i) {
    QString text;
    for (int n = 2 + static_cast<int>(random() % 14); n > 0; --n)
      text += words[random() % words.size()] + (random() % 3 ? u""_qs : u" "_qs);
    lines.push_back(u"<font color=blue><b>参加者%1</b></font>：%2"_qs.arg(i % 7).arg(text));
  }
  return lines;
}

TEST(History, SearchFindsExactlyWhatABruteForceReadingFinds) {
  ScopedTempDir dir;
  QString movedAside;
  const auto store = CHistoryStore::Open(u"history.sqlite"_qs, movedAside);
  ASSERT_TRUE(store);
  std::mt19937 random(20261207);
  const std::vector<QString> corpus = Corpus(random, 20000);
  std::vector<CHistoryEvent> events;
  std::vector<QString> folded;  // the reference: every line's plain text, folded
  for (size_t i = 0; i < corpus.size(); ++i) {
    events.push_back(Line(static_cast<qint64>(i), corpus[i]));
    folded.push_back(FoldForSearch(PlainTextOfHtml(ToQString(events.back().strHtml))));
  }
  for (auto from = events.begin(); from != events.end();) {  // in batches of any size
    const auto to = from + std::min<std::ptrdiff_t>(1 + random() % 3000, events.end() - from);
    ASSERT_TRUE(store->Write({from, to}));
    from = to;
  }

  // Pieces of 1 to 8 characters of the lines as they fold, then written in other widths
  // and cases, one or two to a query; and words found nowhere.
  const auto piece = [&] {
    const std::u32string line = folded[random() % folded.size()].toStdU32String();
    const size_t length = 1 + random() % 8, start = random() % line.size();
    QString word = QString::fromStdU32String(line.substr(start, length)).trimmed();
    if (random() % 2) word = word.toUpper();
    for (QChar& c : word)  // some ASCII as its full-width form
      if (c.unicode() > 0x20 && c.unicode() < 0x7f && random() % 2) c = QChar(c.unicode() + 0xfee0);
    return word.isEmpty() ? u"の"_qs : word;
  };
  int queries = 0, hits = 0;
  for (; queries < 300; ++queries) {
    const QString query = queries % 10 == 9  ? u"存在しない語 "_qs + piece()
                          : queries % 3 == 2 ? piece() + u"　"_qs + piece()
                                             : piece();
    const QStringList words = QueryWords(query);
    std::vector<qint64> expected;  // newest first
    for (qint64 i = static_cast<qint64>(folded.size()) - 1; i >= 0; --i)
      if (std::ranges::all_of(words, [&](const QString& w) { return folded[i].contains(w); }))
        expected.push_back(i + 1);
    const std::optional<CHistoryResult> result = store->Search({query, {}, 0, 50});
    ASSERT_TRUE(result) << query.toStdString();
    std::vector<qint64> got;
    for (const CHistoryHit& hit : result->hits) got.push_back(hit.nId);
    EXPECT_EQ(result->nTotal, static_cast<qint64>(expected.size())) << query.toStdString();
    if (expected.size() > 50) {  // the next page, as a list that scrolls fetches it
      const auto next = store->Search({query, {}, 0, 20, expected[49], false});
      ASSERT_TRUE(next && next->hits.size() == std::min<size_t>(20, expected.size() - 50));
      EXPECT_EQ(next->hits[0].nId, expected[50]);
      EXPECT_EQ(next->hits.back().nId, expected[49 + next->hits.size()]);
    }
    expected.resize(std::min<size_t>(expected.size(), 50));
    EXPECT_EQ(got, expected) << query.toStdString();
    hits += !expected.empty();
  }
  EXPECT_GT(hits, queries / 2);  // most queries find something
}

// The store's whole file is replaced only when it is no history; a crash loses no more
// than the last second; a disk that refuses pauses recording until it takes again.
TEST(History, ComesThroughACrashABrokenFileAndAFullDisk) {
  ScopedTempDir dir;
  const QString path = u"history.sqlite"_qs;
  const pid_t writer = fork();
  if (writer == 0) {  // a flood the writer keeps up with, each line stamped as it comes
    CHistoryRecorder recorder({path, 0}, [](const CHistoryNotice&) {});
    for (qint64 n = 0;; ++n) {
      recorder.Add(Line(QDateTime::currentMSecsSinceEpoch(), QString::number(n)));
      if (n % 64 == 0) usleep(20000);
    }
  }
  usleep(1500000);
  const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  sqlite3* check = nullptr;
  sqlite3_open(path.toUtf8().constData(), &check);
  sqlite3_stmt* facts = nullptr;
  sqlite3_prepare_v2(check,
                     "SELECT (SELECT integrity_check FROM pragma_integrity_check), count(*), "
                     "max(CAST(html AS INTEGER)), max(time_ms) FROM lines",
                     -1, &facts, nullptr);
  ASSERT_EQ(sqlite3_step(facts), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(facts, 0)), "ok");
  EXPECT_EQ(sqlite3_column_int64(facts, 1), sqlite3_column_int64(facts, 2) + 1) << "none missing";
  EXPECT_GT(sqlite3_column_int64(facts, 3), killedAt - 1000);
  sqlite3_finalize(facts);

  // Planted in its place: a database of another program (kept whole), then bytes that are
  // no database at all. Each is moved aside, and a new history started.
  sqlite3_exec(check,
               "PRAGMA application_id = 0; CREATE TABLE theirs(x); INSERT INTO theirs VALUES(1)",
               nullptr, nullptr, nullptr);
  sqlite3_close(check);
  QString movedAside;
  std::unique_ptr<CHistoryStore> store;
  for (int plant = 0; plant < 2; ++plant) {
    store = CHistoryStore::Open(path, movedAside);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->LineCount(), 0);
    EXPECT_TRUE(QFile::exists(movedAside) && movedAside.startsWith(path + u".broken-"_qs));
    store.reset();
    QFile::remove(movedAside);
    std::ofstream(path.toStdString(), std::ios::trunc) << std::string(5000, 'x');
  }

  // A disk that takes no more: nothing written, and everything once it takes again.
  store = CHistoryStore::Open(path, movedAside);
  rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  const rlimit full = {0, limit.rlim_max};
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<CHistoryEvent> lines(2000, Line(1, QString(500, u'あ')));
  setrlimit(RLIMIT_FSIZE, &full);
  EXPECT_FALSE(store->Write(lines));
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_EQ(store->LineCount(), 0);
  EXPECT_TRUE(store->Write(lines));
  EXPECT_EQ(store->LineCount(), 2000);
}

// A disk that refuses (here, a file where the directory should be) pauses recording,
// which resumes once writing works; a flood beyond the queue loses lines from the history
// alone, and how many is kept. Each is said once.
TEST(History, RefusedWritesPauseItAndAFloodIsCounted) {
  ScopedTempDir dir;
  std::ofstream("blocker") << "not a directory";
  QStringList said;
  constexpr int kAdded = CHistoryRecorder::kQueueLimit * 2;
  {
    CHistoryRecorder recorder({u"blocker/history.sqlite"_qs, 0},
                              [&said](const CHistoryNotice& notice) { said << notice.strText; });
    for (int i = 0; i < kAdded; ++i) recorder.Add(Line(i, u"line"_qs));
    EXPECT_TRUE(WaitFor([&] { return said.size() == 2; }));  // paused, and lines dropped
    std::filesystem::remove("blocker");
    std::filesystem::create_directory("blocker");
    EXPECT_TRUE(WaitFor([&] { return said.size() == 3; }));  // resumed
  }
  EXPECT_EQ(said.size(), 3) << said.join(u'\n').toStdString();
  sqlite3* db = nullptr;
  sqlite3_open("blocker/history.sqlite", &db);
  sqlite3_stmt* kept = nullptr;
  sqlite3_prepare_v2(db, "SELECT (SELECT count(*) FROM lines) + (SELECT sum(lines) FROM dropped)",
                     -1, &kept, nullptr);
  ASSERT_EQ(sqlite3_step(kept), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(kept, 0), kAdded);
  sqlite3_finalize(kept);
  sqlite3_close(db);
}

// Two copies of one user write one file at once; lines past their keeping time go.
TEST(History, TwoWritersShareTheFileAndOldLinesExpire) {
  ScopedTempDir dir;
  QString movedAside;
  std::vector<std::thread> writers;
  std::atomic<int> written = 0;
  for (const qint64 time : {1000, 2000}) {
    writers.emplace_back([&written, time] {
      QString movedAside;
      auto store = CHistoryStore::Open(u"history.sqlite"_qs, movedAside);
      for (int batch = 0; batch < 50; ++batch)
        written += store && store->Write(std::vector<CHistoryEvent>(100, Line(time, u"行です"_qs)));
    });
  }
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(written, 100);
  auto store = CHistoryStore::Open(u"history.sqlite"_qs, movedAside);
  EXPECT_TRUE(store->ExpireBefore(1500));
  for (const QString& word : {u"行"_qs, u"行です"_qs}) {  // read through, and through the index
    const std::optional<CHistoryResult> left = store->Search({word, {}, 0, 1});
    EXPECT_TRUE(left && left->nTotal == 5000 && left->hits[0].nTimeMs == 2000);
  }
  CHistoryRecorder keepingADay({u"history.sqlite"_qs, 1}, [](const CHistoryNotice&) {});
  EXPECT_TRUE(WaitFor([&] { return store->LineCount() == 0; }));  // all older: gone at start
}

// The same conversation with the history on and off: what a peer receives, the page and
// data.dat are the same bytes, and the history holds the lines in the host's stay.
TEST(History, LeavesTheWireAndTheFilesAsTheyWere) {
  std::string seen[2];
  for (const bool on : {false, true}) {
    ScopedTempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path().string()));
    const uint16_t port = FreePort();
    auto feed = on ? std::make_unique<CHistoryFeed>(CHistoryOptions{HistoryPath(), 0},
                                                    [](const CHistoryNotice&) {})
                   : nullptr;
    ChatCopy server(dir.path(), port);
    server.view().SetHistorySink(feed.get());
    server.Host("host");
    RawPeer peer(port);
    ASSERT_TRUE(WaitFor([&] { return server.SlotsInUse() == 1; }));
    peer.Write(EncodeMessage("\nadd\nblue\nbob\n") +
               EncodeMessage(ChatLine("blue", "bob", "\x89\xEF\x8B\x63 <i>at 3")));  // 会議
    server.Say("&#128512; <b>ok");
    ASSERT_TRUE(
        peer.ReadUntil([](const std::string& bytes) { return bytes.find("pl") != bytes.npos; }));
    seen[on] = server.Page();
    server.view().OnClose();
    ASSERT_TRUE(peer.ReadToEnd());
    seen[on] += peer.received + ReadFile(dir.path() / "data.dat");
    if (!on) continue;
    feed.reset();  // what is queued is written
    QString movedAside;
    const std::optional<CHistoryResult> found =
        CHistoryStore::Open(HistoryPath(), movedAside)->Search({u"会議"_qs, {}, 0, 5});
    ASSERT_TRUE(found && found->nTotal == 1);
    EXPECT_EQ(found->hits[0].strRoom.toStdString(), OwnIp());
    EXPECT_EQ(found->hits[0].strPlain, u"bob：会議 at 3"_qs);
  }
  EXPECT_EQ(seen[0], seen[1]);
}

}  // namespace
}  // namespace murelo
