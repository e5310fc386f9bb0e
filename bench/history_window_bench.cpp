// The search window over history_bench's million lines, through its real widgets on the
// offscreen platform: how long after the last key of a query its first results show,
// and how much later a line relayed by this copy arrives while the queries run.
//   history_window_bench directory   (history_bench's directory/history.sqlite)
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <atomic>
#include <cstdio>
#include <thread>

#include "bench_clients.h"
#include "chat_vocabulary.h"
#include "loopback.h"
#include "platform/qt_event_loop.h"
#include "ui/history_window.h"
#include "widgets.h"

namespace {

double Median(std::vector<double> samples) { return bench::Percentile(std::move(samples), 0.5); }

/// Relays a line every 10 ms from one client of host to another, and keeps how long
/// each took, until stopped.
class CRelayProbe {
 public:
  explicit CRelayProbe(uint16_t port)
      : m_sender(bench::ConnectTo(port)),
        m_receiver(bench::ConnectTo(port)),
        m_thread([this] { Run(); }) {}
  ~CRelayProbe() {
    m_bStopping = true;
    m_thread.join();
    close(m_sender);
    close(m_receiver);
  }
  /// The delays measured from now on.
  void Restart() {
    std::lock_guard lock(m_mutex);
    m_delaysMs.clear();
  }
  std::vector<double> Delays() {
    std::lock_guard lock(m_mutex);
    return m_delaysMs;
  }

 private:
  void Run() {
    timeval wait{0, 20000};
    setsockopt(m_receiver, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string partial;
    auto next = bench::Clock::now();
    while (!m_bStopping) {
      if (bench::Clock::now() >= next) {
        const std::string line = bench::WireLine(0, bench::NowNs());
        send(m_sender, line.data(), line.size(), MSG_NOSIGNAL);
        next += std::chrono::milliseconds(10);
      }
      char buffer[4096];
      const ssize_t n = recv(m_receiver, buffer, sizeof buffer, 0);
      if (n <= 0) continue;
      partial.append(buffer, static_cast<size_t>(n));
      for (size_t end; (end = partial.find('\0')) != std::string::npos; partial.erase(0, end + 1)) {
        const int64_t sent = bench::SentNs(std::string_view(partial).substr(0, end));
        std::lock_guard lock(m_mutex);
        if (sent > 0) m_delaysMs.push_back(static_cast<double>(bench::NowNs() - sent) / 1e6);
      }
    }
  }

  const int m_sender, m_receiver;
  std::atomic<bool> m_bStopping = false;
  std::mutex m_mutex;
  std::vector<double> m_delaysMs;
  std::thread m_thread;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  murelo::CQtEventLoop loop;
  const murelo::test::ScopedTempDir dir;

  // The copy relays as it searches: a host with two raw clients.
  const uint16_t port = murelo::test::FreePort();
  murelo::test::ChatCopy host(dir.path() / "page", port);
  host.Host("host");
  CRelayProbe probe(port);
  murelo::test::Settle(500);  // the clients join
  probe.Restart();
  murelo::test::Settle(1000);
  const double idleMs = bench::Percentile(probe.Delays(), 0.99);

  murelo::CMureloConf conf;
  murelo::CHistorySearcher searcher(QString(argv[1]) + u"/history.sqlite"_qs);
  murelo::CHistoryWindow window(searcher, conf, nullptr);
  window.Present();
  murelo::test::Settle(300);  // drawn, as a user sees it before typing
  auto* query = window.findChild<QLineEdit*>();
  QAbstractItemModel* hits = window.findChild<QListView*>()->model();
  std::mt19937 random(7);
  bench::CVocabulary vocabulary(random);
  const bench::CQueries queries(vocabulary);

  // From the last key of each query, typed as a user types it, to its hits drawn.
  const auto firstResultsMs = [&](const QStringList& words) {
    std::vector<double> times;
    for (const QString& word : words) {
      bool shown = false;
      const auto connection =
          QObject::connect(hits, &QAbstractItemModel::modelReset, [&] { shown = true; });
      query->selectAll();
      murelo::test::TypeText(query, word);
      QElapsedTimer sinceLastKey;
      sinceLastKey.start();
      while (!shown && sinceLastKey.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      QApplication::processEvents();  // drawn
      times.push_back(static_cast<double>(sinceLastKey.nsecsElapsed()) / 1e6);
      QObject::disconnect(connection);
    }
    return Median(times);
  };
  probe.Restart();
  std::printf("history_window_first_results_ms: %.1f ms\n", firstResultsMs(queries.longWords));
  std::printf("history_window_first_results_short_ms: %.1f ms\n",
              firstResultsMs(queries.shortWords));
  const std::vector<double> searching = probe.Delays();
  std::printf("history_window_relay_idle_p99_ms: %.1f ms\n", idleMs);
  std::printf("history_window_relay_p99_ms: %.1f ms\n", bench::Percentile(searching, 0.99));
  std::printf("history_window_relay_max_ms: %.1f ms\n", bench::Percentile(searching, 1.0));
  return 0;
}
