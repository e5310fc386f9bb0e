// 20 clients on loopback against any star relay of NUL-terminated messages (murelo's
// room, the bare relay, ncat --broker), from outside, on one thread with epoll. Every
// chat line carries its sender, its number and its send time; receivers check every
// byte of it and that each sender's lines come once, in order, none missing. A relay
// may or may not send a line back to its sender; lines back are not counted.
//
//   relay_clients PORT SCENARIO
//     sat1    client 0 sends as fast as the relay takes it for 2 s: lines a second that
//             each other client receives
//     satall  all 20 send as fast as they can for 2 s: lines a second received in all
//     paced   all 20 send 50 lines a second for 3 s: the 99th percentile of the delay
//             from sending to receiving, in ms
//     ping    client 0 sends a line, and the next once every other client has it, for
//             2 s: lines a second. Waiting for all, not for one, keeps the figure free of
//             the order in which a relay serves its clients
// Prints "VALUE LOST", LOST counting lines missing or corrupted once all are in.
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench_clients.h"

namespace {

using bench::Clock;
using bench::NowNs;

constexpr int kClients = 20;
constexpr std::string_view kColor = "#00ffff";
// Sent after the numbers: two-byte kana and kanji, 40 bytes.
constexpr std::string_view kTail =
    "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\x81\x41\x8d\xa1\x93\xfa\x82\xcd\x82\xa2\x82\xa2"
    "\x93\x56\x8b\x43\x82\xc5\x82\xb7\x82\xcb\x81\x42\x82\xdc\x82\xbd\x81\x49";

struct Client {
  int fd = -1;
  std::string unsent;        // wire bytes the socket has not taken yet
  std::string partial;       // decoded bytes of the message under way
  bool watchingOut = false;  // whether epoll reports writability
  int64_t nextSeq = 0;       // the number of this client's next line
  std::vector<int64_t> expected = std::vector<int64_t>(kClients, 0);  // per sender
};

struct Tally {
  int64_t delivered = 0;  // lines from others, in the measured time
  int64_t corrupted = 0;
  int64_t outOfOrder = 0;
  std::vector<double> delaysMs;
  bool measuring = true;
};

/// Writes into `line` the chat line of client `from` numbered `seq`, sent at sentNs, as
/// copies build it: <font color=#00ffff><b>cN</b></font>：sN-SEQ-TIME TAIL. Receivers
/// build it again in a buffer they keep, so that checking costs them no allocation.
void BuildLine(std::string& line, int from, int64_t seq, int64_t sentNs) {
  auto append = [&line](auto number) {
    char digits[24];
    line.append(digits, std::to_chars(digits, std::end(digits), number).ptr);
  };
  line.assign("<font color=").append(kColor).append("><b>c");
  append(from);
  line.append("</b></font>\x81\x46s");
  append(from);
  line += '-';
  append(seq);
  line += '-';
  append(sentNs);
  line.append(" ").append(kTail).append("\n127.0.0.1\n");
}

class Fleet {
 public:
  explicit Fleet(uint16_t port) : m_clients(kClients), m_epoll(epoll_create1(0)) {
    for (int i = 0; i < kClients; ++i) {
      m_clients[i].fd = bench::ConnectTo(port);
      epoll_event event{EPOLLIN, {.u32 = static_cast<uint32_t>(i)}};
      epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_clients[i].fd, &event);
    }
    Pump(Clock::now() + std::chrono::milliseconds(500), {});  // the relay's greetings
  }

  /// Queues n lines from client `from` and writes what its socket takes.
  void Send(int from, int n) {
    Client& client = m_clients[from];
    std::string line;
    for (int i = 0; i < n; ++i) {
      BuildLine(line, from, client.nextSeq++, NowNs());
      client.unsent += murelo::EncodeMessage(line);
    }
    Write(from);
  }

  /// Reads (and writes what waits) until the deadline or until done returns true; the
  /// senders given are kept full.
  template <typename Done>
  void Pump(Clock::time_point deadline, const std::vector<int>& saturating, Done done) {
    epoll_event events[kClients];
    while (Clock::now() < deadline && !done()) {
      for (int from : saturating)
        if (m_clients[from].unsent.size() < 4096) Send(from, 32);
      const int count = epoll_wait(m_epoll, events, kClients, 1);
      for (int e = 0; e < count; ++e) {
        const int index = static_cast<int>(events[e].data.u32);
        if (events[e].events & EPOLLOUT) Write(index);
        if (events[e].events & EPOLLIN) Read(index);
      }
    }
  }
  void Pump(Clock::time_point deadline, const std::vector<int>& saturating) {
    Pump(deadline, saturating, [] { return false; });
  }

  /// Whether every client but `from` has had `from`'s lines up to number `next`.
  bool AllHave(int from, int64_t next) const {
    for (int to = 0; to < kClients; ++to)
      if (to != from && m_clients[to].expected[from] < next) return false;
    return true;
  }

  /// Waits up to 10 s for every line sent to reach every other client; the lines still
  /// missing then, with the corrupted ones and those out of order.
  int64_t Lost() {
    m_tally.measuring = false;
    auto missing = [this] {
      int64_t count = 0;
      for (int to = 0; to < kClients; ++to)
        for (int from = 0; from < kClients; ++from)
          if (from != to) count += m_clients[from].nextSeq - m_clients[to].expected[from];
      return count;
    };
    Pump(Clock::now() + std::chrono::seconds(10), {}, [&] { return missing() == 0; });
    return missing() + m_tally.corrupted + m_tally.outOfOrder;
  }

  std::vector<Client> m_clients;
  Tally m_tally;

 private:
  void Write(int index) {
    Client& client = m_clients[index];
    while (!client.unsent.empty()) {
      const ssize_t sent =
          send(client.fd, client.unsent.data(), client.unsent.size(), MSG_NOSIGNAL);
      if (sent <= 0) break;
      client.unsent.erase(0, static_cast<size_t>(sent));
    }
    if (client.watchingOut == !client.unsent.empty()) return;
    client.watchingOut = !client.watchingOut;
    epoll_event event{EPOLLIN | (client.watchingOut ? EPOLLOUT : 0u),
                      {.u32 = static_cast<uint32_t>(index)}};
    epoll_ctl(m_epoll, EPOLL_CTL_MOD, client.fd, &event);
  }

  void Read(int index) {
    char buffer[1 << 16];
    const ssize_t got = recv(m_clients[index].fd, buffer, sizeof buffer, MSG_DONTWAIT);
    std::string& partial = m_clients[index].partial;
    const char* p = buffer;
    const char* const end = buffer + std::max<ssize_t>(got, 0);
    while (p < end) {
      // Wire byte 0 ends a message, and so does 1, a NUL of the text shifted.
      const char* const stop =
          std::find_if(p, end, [](char byte) { return static_cast<unsigned char>(byte) <= 1; });
      const size_t had = partial.size();
      partial.resize(had + static_cast<size_t>(stop - p));
      std::transform(p, stop, partial.begin() + static_cast<ptrdiff_t>(had),
                     [](char byte) { return static_cast<char>(byte - 1); });
      if (stop == end) break;
      Check(index, partial);
      partial.clear();
      p = stop + 1;
    }
  }

  /// One received message: a line of ours is checked byte for byte; the relay's own
  /// messages are skipped.
  void Check(int to, std::string_view text) {
    constexpr std::string_view kOurs = "<font color=#00ffff><b>c";
    if (!text.starts_with(kOurs)) return;
    int from = -1;
    int64_t seq = -1, sentNs = -1;
    const size_t marker = text.find("\x81\x46s");
    const char* p = text.data() + (marker == text.npos ? text.size() : marker + 3);
    const char* end = text.data() + text.size();
    auto number = [&](auto& value) {
      const auto [next, error] = std::from_chars(p, end, value);
      p = error == std::errc() && next < end ? next + 1 : end;
    };
    number(from);
    number(seq);
    number(sentNs);
    if (from >= 0 && from < kClients && seq >= 0) BuildLine(m_expected, from, seq, sentNs);
    if (from < 0 || from >= kClients || seq < 0 || text != m_expected) {
      ++m_tally.corrupted;
      return;
    }
    if (from == to) return;  // back to its sender
    int64_t& expected = m_clients[to].expected[from];
    if (seq != expected) ++m_tally.outOfOrder;
    expected = seq + 1;
    if (!m_tally.measuring) return;
    ++m_tally.delivered;
    m_tally.delaysMs.push_back(static_cast<double>(NowNs() - sentNs) / 1e6);
  }

  std::string m_expected;  // the line a message should be; clients must outrun relays
  int m_epoll;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  Fleet fleet(static_cast<uint16_t>(std::atoi(argv[1])));
  const std::string_view scenario = argv[2];
  const auto began = Clock::now();
  double value = 0;
  if (scenario == "sat1" || scenario == "satall") {
    std::vector<int> senders = {0};
    if (scenario == "satall")
      for (int i = 1; i < kClients; ++i) senders.push_back(i);
    fleet.Pump(began + std::chrono::seconds(2), senders);
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    value = static_cast<double>(fleet.m_tally.delivered) / seconds /
            (scenario == "sat1" ? kClients - 1 : 1);
  } else if (scenario == "paced") {
    for (int tick = 0; tick < 150; ++tick) {  // every client every 20 ms, spread over them
      for (int from = 0; from < kClients; ++from) {
        fleet.Pump(began + std::chrono::microseconds(tick * 20000 + from * 1000), {});
        fleet.Send(from, 1);
      }
    }
    value = bench::Percentile(fleet.m_tally.delaysMs, 0.99);
  } else if (scenario == "ping") {
    while (Clock::now() < began + std::chrono::seconds(2)) {
      const int64_t next = fleet.m_clients[0].nextSeq + 1;
      fleet.Send(0, 1);
      fleet.Pump(began + std::chrono::seconds(3), {}, [&] { return fleet.AllHave(0, next); });
    }
    value = static_cast<double>(fleet.m_clients[0].nextSeq) /
            std::chrono::duration<double>(Clock::now() - began).count();
  } else {
    return 2;
  }
  const int64_t lost = fleet.Lost();
  std::printf("%.3f %lld\n", value, static_cast<long long>(lost));
  return 0;
}
