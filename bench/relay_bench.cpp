// Relay throughput and latency on loopback: 20 clients connected to one server copy
// that interprets every message and keeps its page (the window's drawing stood in
// for), against a bare relay of the same framing that interprets nothing. The
// clients run on a thread of their own, the server on the main thread.
//
//   (a) saturated: client 0 sends as fast as the relay takes it, with a bounded
//       number of its messages in flight; deliveries are summed over the receivers.
//   (b) paced: every client sends 50 messages a second; latency from send to each
//       delivery.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/history_feed.h"
#include "bench_clients.h"
#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/murelo_view.h"
#include "core/wire_format.h"
#include "loopback.h"
#include "platform/posix/event_loop.h"
#include "platform/qt_event_loop.h"

namespace {

using bench::Clock;
using bench::ConnectTo;
using bench::NowNs;
using bench::Percentile;
using bench::SentNs;
using bench::WireLine;
using murelo::CViewHost;

constexpr int kClients = 20;
constexpr int kSaturatedWindow = 256;  // client 0's messages in flight at most
constexpr auto kSaturatedTime = std::chrono::seconds(2);
constexpr auto kPacedTime = std::chrono::seconds(3);
constexpr auto kPacedInterval = std::chrono::milliseconds(20);  // 50 messages a second

struct FleetResult {
  double saturatedPerSecond = 0;
  int64_t lost = 0;
  std::vector<double> latenciesMs;
};

/// The 20 clients, driven from their own thread with epoll.
class ClientFleet {
 public:
  explicit ClientFleet(uint16_t port) {
    m_epoll = epoll_create1(0);
    for (int i = 0; i < kClients; ++i) {
      m_fds.push_back(ConnectTo(port));
      epoll_event event{EPOLLIN, {.u32 = static_cast<uint32_t>(i)}};
      epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_fds[i], &event);
    }
    m_partial.resize(kClients);
    Drain(std::chrono::milliseconds(300), false);  // the member snapshots
  }
  ~ClientFleet() {
    for (int fd : m_fds) close(fd);
    close(m_epoll);
  }

  void Saturate(FleetResult& result) {
    m_delivered = 0;
    int64_t sent = 0;
    const auto start = Clock::now();
    std::string batch;
    while (Clock::now() - start < kSaturatedTime) {
      const int64_t inFlight = sent - m_ownReceived;
      batch.clear();
      for (int64_t i = inFlight; i < kSaturatedWindow; ++i, ++sent) batch += WireLine(0, 0);
      if (!batch.empty()) WriteAll(m_fds[0], batch);
      Poll(1, false);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int64_t inTime = m_delivered;
    Drain(std::chrono::milliseconds(500), false);
    result.saturatedPerSecond = static_cast<double>(inTime) / seconds;
    result.lost += sent * kClients - m_delivered;
  }

  void Pace(FleetResult& result) {
    m_delivered = 0;
    m_latencies = &result.latenciesMs;
    int64_t sent = 0;
    const auto start = Clock::now();
    std::vector<Clock::time_point> next(kClients);
    for (int i = 0; i < kClients; ++i) next[i] = start + std::chrono::milliseconds(i);
    while (Clock::now() - start < kPacedTime) {
      const auto now = Clock::now();
      for (int i = 0; i < kClients; ++i) {
        if (now < next[i]) continue;
        WriteAll(m_fds[i], WireLine(i, NowNs()));
        ++sent;
        next[i] += kPacedInterval;
      }
      const auto soonest = *std::min_element(next.begin(), next.end());
      const auto wait =
          std::chrono::duration_cast<std::chrono::milliseconds>(soonest - Clock::now());
      Poll(static_cast<int>(std::max<int64_t>(0, wait.count())), true);
    }
    Drain(std::chrono::milliseconds(500), true);
    m_latencies = nullptr;
    result.lost += sent * kClients - m_delivered;
  }

 private:
  static void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }

  void Drain(std::chrono::milliseconds quiet, bool timed) {
    const auto until = Clock::now() + quiet;
    while (Clock::now() < until) Poll(10, timed);
  }

  void Poll(int timeoutMs, bool timed) {
    epoll_event events[kClients];
    const int ready = epoll_wait(m_epoll, events, kClients, timeoutMs);
    for (int e = 0; e < ready; ++e) {
      const int client = static_cast<int>(events[e].data.u32);
      char buffer[65536];
      const ssize_t n = recv(m_fds[client], buffer, sizeof buffer, MSG_DONTWAIT);
      if (n <= 0) continue;
      Count(client, std::string_view(buffer, static_cast<size_t>(n)), timed);
    }
  }

  void Count(int client, std::string_view bytes, bool timed) {
    if (!timed) {
      const auto messages = std::count(bytes.begin(), bytes.end(), '\0');
      m_delivered += messages;
      if (client == 0) m_ownReceived += messages;
      return;
    }
    const int64_t now = NowNs();
    std::string& partial = m_partial[client];
    for (size_t end = bytes.find('\0'); end != std::string_view::npos; end = bytes.find('\0')) {
      partial.append(bytes.substr(0, end));
      ++m_delivered;
      if (const int64_t sent = SentNs(partial); sent > 0 && m_latencies) {
        m_latencies->push_back(static_cast<double>(now - sent) / 1e6);
      }
      partial.clear();
      bytes.remove_prefix(end + 1);
    }
    partial.append(bytes);
  }

  int m_epoll;
  std::vector<int> m_fds;
  std::vector<std::string> m_partial;
  int64_t m_delivered = 0;
  int64_t m_ownReceived = 0;
  std::vector<double>* m_latencies = nullptr;
};

/// The program's relay, keeping its history or not; the paced clients too when asked.
FleetResult RunProgramRelay(bool history, bool paced) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "murelo-relay-bench";
  std::filesystem::create_directories(dir);
  murelo::test::CTestHost host;
  host.connectChoice = murelo::CConnectChoice{true, "red", "host", ""};
  const uint16_t port = murelo::test::FreePort();
  FleetResult result;
  {
    const auto feed = history ? std::make_unique<murelo::CHistoryFeed>(
                                    murelo::CHistoryOptions{murelo::HistoryPath(), 0},
                                    [](const murelo::CHistoryNotice&) {})
                              : nullptr;
    murelo::CMureloView view(host, {.nChatPort = port,
                                    .strPageDirectory = dir.string(),
                                    .pageWriteInterval = murelo::kWindowPageWriteInterval});
    view.SetHistorySink(feed.get());
    view.OnInitialUpdate();
    view.OnConnectCmd();
    for (int i = 0; i < 200; ++i) view.ProcessMessage(std::string(100, 'x') + "\n1.1.1.1\n");

    std::atomic<bool> done = false;
    std::thread clients([&] {
      ClientFleet fleet(port);
      fleet.Saturate(result);
      if (paced) fleet.Pace(result);
      done = true;
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (done) QCoreApplication::quit();
    });
    poll.start(10);
    QCoreApplication::exec();
    clients.join();
  }
  murelo::CStreamSocket::FinishClosingConnections(200);
  std::filesystem::remove_all(dir);
  return result;
}

/// The same framing relayed with nothing else done: the limit of this machine.
double RunBareRelay() {
  const uint16_t port = murelo::test::FreePort();
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener, kClients);

  std::atomic<bool> done = false;
  FleetResult result;
  std::thread clients([&] {
    ClientFleet fleet(port);
    fleet.Saturate(result);
    done = true;
  });

  const int epoll = epoll_create1(0);
  std::vector<int> peers;
  std::vector<std::string> tails, outs;
  for (int i = 0; i < kClients; ++i) {
    const int fd = accept(listener, nullptr, nullptr);
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fcntl(fd, F_SETFL, O_NONBLOCK);
    epoll_event event{EPOLLIN, {.u32 = static_cast<uint32_t>(i)}};
    epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
    peers.push_back(fd);
  }
  tails.resize(kClients);
  outs.resize(kClients);
  while (!done) {
    bool pending = false;
    for (const std::string& out : outs) pending |= !out.empty();
    epoll_event events[kClients];
    const int ready = epoll_wait(epoll, events, kClients, pending ? 0 : 10);
    for (int e = 0; e < ready; ++e) {
      const int from = static_cast<int>(events[e].data.u32);
      char buffer[65536];
      const ssize_t n = recv(peers[from], buffer, sizeof buffer, 0);
      if (n <= 0) continue;
      std::string& tail = tails[from];
      tail.append(buffer, static_cast<size_t>(n));
      const size_t last = tail.rfind('\0');
      if (last == std::string::npos) continue;
      for (std::string& out : outs) out.append(tail, 0, last + 1);
      tail.erase(0, last + 1);
    }
    for (int i = 0; i < kClients; ++i) {
      if (outs[i].empty()) continue;
      const ssize_t n = send(peers[i], outs[i].data(), outs[i].size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) outs[i].erase(0, static_cast<size_t>(n));
    }
  }
  clients.join();
  for (int fd : peers) close(fd);
  close(listener);
  close(epoll);
  return result.saturatedPerSecond;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  murelo::CQtEventLoop loop;
  // The machine's speed drifts: the program and the bare relay take turns, and each
  // figure is the median of three turns.
  constexpr int kTurns = 3;
  std::vector<double> programRates, bareRates, ratios;
  FleetResult program;
  for (int turn = 0; turn < kTurns; ++turn) {
    FleetResult result = RunProgramRelay(false, turn == 0);
    if (turn == 0) program = result;
    programRates.push_back(result.saturatedPerSecond);
    bareRates.push_back(RunBareRelay());
    ratios.push_back(programRates.back() / bareRates.back());
  }
  const FleetResult recorded = RunProgramRelay(true, false);
  const double bare = Percentile(bareRates, 0.5);
  std::printf("relay_saturated_per_s: %.0f messages/s\n", Percentile(programRates, 0.5));
  std::printf("bare_relay_saturated_per_s: %.0f messages/s\n", bare);
  std::printf("relay_saturated_ratio: %.2f ratio\n", Percentile(ratios, 0.5));
  std::printf("relay_saturated_history_ratio: %.2f ratio\n", recorded.saturatedPerSecond / bare);
  std::printf("relay_paced_p50_ms: %.3f ms\n", Percentile(program.latenciesMs, 0.5));
  std::printf("relay_paced_p99_ms: %.3f ms\n", Percentile(program.latenciesMs, 0.99));
  std::printf("relay_paced_max_ms: %.3f ms\n", Percentile(program.latenciesMs, 1.0));
  std::printf("relay_lost: %lld messages\n", static_cast<long long>(program.lost));
  return 0;
}
