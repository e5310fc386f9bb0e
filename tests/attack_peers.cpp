#include "attack_peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "core/message_catalog.h"
#include "core/wire_format.h"
#include "test_support.h"

namespace murelo::attack {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kRoomSize = 20;
constexpr int kProbeEveryMs = 50;
constexpr int kProbeGiveUpMs = 5000;
constexpr int kRefusedAttempts = 500;
constexpr int kCycles = 5000;

std::atomic<int> g_nConnectRetries = 0;

const std::string kMalformed = EncodeMessage("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n");

void SetTimeouts(int fd, int ms) {
  const timeval limit = {ms / 1000, (ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

/// A connection to the copy, or -1. A full accept queue drops the handshake, which the
/// kernel would only try again a second later, and thousands of short connections can
/// leave no local port free for a moment: it tries again itself, at once.
int Connect(uint16_t port) {
  const sockaddr_in address = test::LoopbackAddress(port);
  for (int attempt = 0; attempt < 2000; ++attempt) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    pollfd ready = {fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    if ((connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
         (errno == EINPROGRESS && poll(&ready, 1, 10) > 0)) &&
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
      fcntl(fd, F_SETFL, 0);  // blocking from here on, with time limits
      SetTimeouts(fd, 100);
      return fd;
    }
    close(fd);
    if (error == ECONNREFUSED) return -1;
    ++g_nConnectRetries;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return -1;
}

void Send(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return;  // timed out or closed: an attacker does not care
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

/// Everything the copy sends until it closes, or until timeoutMs has passed.
std::string ReadToEnd(int fd, int timeoutMs) {
  std::string received;
  const Clock::time_point end = Clock::now() + milliseconds(timeoutMs);
  char buffer[4096];
  while (Clock::now() < end) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n > 0) received.append(buffer, static_cast<size_t>(n));
  }
  return received;
}

/// Whether the bytes the copy sends a newcomer begin with the participants' snapshot.
bool GetsSnapshot(int fd) {
  const std::string add = EncodeMessage("\nadd\n").substr(0, 5);
  std::string received;
  char buffer[4096];
  for (const Clock::time_point end = Clock::now() + milliseconds(5000);
       received.size() < add.size() && Clock::now() < end;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n > 0) received.append(buffer, static_cast<size_t>(n));
  }
  return received.starts_with(add);
}

/// A well-behaved client: sends a line every 50 ms and times how long the host takes to
/// relay it back.
class CProbe {
 public:
  explicit CProbe(uint16_t port) : m_fd(Connect(port)) {
    SetTimeouts(m_fd, 10);
    RoundTrip();  // in the room before the attack starts
    m_thread = std::thread([this] {
      while (!m_bStop) {
        RoundTrip();
        Drain(kProbeEveryMs);
      }
    });
  }
  ~CProbe() {
    m_bStop = true;
    m_thread.join();
    close(m_fd);
  }
  CProbe(const CProbe&) = delete;
  CProbe& operator=(const CProbe&) = delete;

  std::string Figures() const {
    return " worst_ms=" + std::to_string(m_dWorstMs) + " lines=" + std::to_string(m_nLines) +
           " missed=" + std::to_string(m_nMissed);
  }

 private:
  void RoundTrip() {
    const std::string wire =
        EncodeMessage("probe " + std::to_string(m_nLines + m_nMissed) + "\n127.0.0.1\n");
    const Clock::time_point start = Clock::now();
    Send(m_fd, wire);
    char buffer[65536];
    while (Clock::now() - start < milliseconds(kProbeGiveUpMs)) {
      const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
      if (n == 0) break;
      if (n < 0) continue;
      m_strPending.append(buffer, static_cast<size_t>(n));
      const size_t at = m_strPending.find(wire);
      if (at != std::string::npos) {
        m_strPending.erase(0, at + wire.size());
        m_dWorstMs = std::max(
            m_dWorstMs, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        ++m_nLines;
        return;
      }
      // Others' traffic: only a tail that could begin the line is worth keeping.
      if (m_strPending.size() > wire.size())
        m_strPending.erase(0, m_strPending.size() - wire.size());
    }
    ++m_nMissed;
  }
  void Drain(int ms) {
    char buffer[65536];
    for (const Clock::time_point end = Clock::now() + milliseconds(ms); Clock::now() < end;) {
      if (recv(m_fd, buffer, sizeof buffer, 0) > 0) m_strPending.clear();
    }
  }

  int m_fd;
  std::string m_strPending;
  std::atomic<bool> m_bStop = false;
  double m_dWorstMs = 0;
  int m_nLines = 0;
  int m_nMissed = 0;
  std::thread m_thread;
};

/// Runs attack for seconds against the copy on port while the probe talks.
std::string UnderProbe(uint16_t port, const std::function<std::string()>& attack) {
  CProbe probe(port);
  std::string verdict = attack();
  return verdict + probe.Figures();
}

bool Until(Clock::time_point end) { return Clock::now() < end; }

std::string Trickle(int fd, Clock::time_point end) {
  while (Until(end)) {
    Send(fd, kMalformed);
    std::this_thread::sleep_for(milliseconds(2));
  }
  return "ok";
}

std::string Stream(int fd, Clock::time_point end) {
  const std::string chunk(65536, 'x');  // never a terminator
  while (Until(end)) Send(fd, chunk);
  return "ok";
}

/// 19 peers in the room beside the probe, each holding a message it never ends.
std::vector<int> FillRoom(uint16_t port, std::string_view opening) {
  std::vector<int> fds;
  for (int i = 1; i < kRoomSize; ++i) {
    fds.push_back(Connect(port));
    Send(fds.back(), opening);
  }
  return fds;
}

void CloseAll(const std::vector<int>& fds) {
  for (int fd : fds) close(fd);
}

std::string AttackHost(const std::string& name, uint16_t port, Clock::time_point end) {
  if (name == "trickle" || name == "stream") {
    return UnderProbe(port, [&] {
      const int fd = Connect(port);
      std::string verdict = name == "trickle" ? Trickle(fd, end) : Stream(fd, end);
      close(fd);
      return verdict;
    });
  }
  if (name == "full") {
    return UnderProbe(port, [&] {
      const std::vector<int> room = FillRoom(port, "");
      std::this_thread::sleep_for(milliseconds(200));
      int refused = 0;
      for (int i = 0; i < kRefusedAttempts; ++i) {
        const int fd = Connect(port);
        refused += ReadToEnd(fd, 5000) == EncodeMessage(kRefusalNotice);
        close(fd);
      }
      CloseAll(room);
      return std::string(refused == kRefusedAttempts ? "ok" : "fail") +
             " refused=" + std::to_string(refused);
    });
  }
  if (name == "partial") {
    return UnderProbe(port, [&] {
      const std::vector<int> room = FillRoom(port, EncodeMessage("never ended").substr(0, 6));
      std::this_thread::sleep_until(end);
      CloseAll(room);
      return std::string("ok");
    });
  }
  if (name == "noread") {
    return UnderProbe(port, [&] {
      const int fd = Connect(port);
      const int small = 4096;
      setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
      const std::string line = EncodeMessage(std::string(900, 'w') + "\n127.0.0.1\n");
      bool cutOff = false;
      while (Until(end) && !cutOff) {
        cutOff = send(fd, line.data(), line.size(), MSG_NOSIGNAL) < 0 && errno != EAGAIN;
        std::this_thread::sleep_for(milliseconds(1));
      }
      close(fd);
      return std::string("ok cut_off=") + (cutOff ? "yes" : "no");
    });
  }
  if (name == "cycles") {
    return UnderProbe(port, [&] {
      const std::string line = EncodeMessage("hello\n127.0.0.1\n");
      int cycles = 0;
      for (; cycles < kCycles; ++cycles) {
        const int fd = Connect(port);
        if (fd < 0) break;
        Send(fd, line);
        close(fd);
      }
      return std::string(cycles == kCycles ? "ok" : "fail") + " cycles=" + std::to_string(cycles) +
             " retries=" + std::to_string(g_nConnectRetries);
    });
  }
  return "fail unknown=" + name;
}

/// Every one of the 20 slots takes a newcomer, and a line typed in the copy's window
/// reaches each. Answers "ready" once all are in; the copy then types "still here".
std::string FillEverySlot(uint16_t port, const std::function<void(const std::string&)>& say) {
  std::vector<int> room;
  int admitted = 0;
  for (int i = 0; i < kRoomSize; ++i) {
    room.push_back(Connect(port));
    admitted += GetsSnapshot(room.back());
  }
  say("ready");
  std::string typed = EncodeMessage("still here");
  typed.pop_back();  // the terminator: the line goes on with its sender's address
  int reached = 0;
  for (int fd : room) {
    std::string received;
    char buffer[4096];
    for (const Clock::time_point end = Clock::now() + milliseconds(10000);
         received.find(typed) == std::string::npos && Until(end);) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n == 0) break;
      if (n > 0) received.append(buffer, static_cast<size_t>(n));
    }
    reached += received.find(typed) != std::string::npos;
  }
  CloseAll(room);
  return std::string(admitted == kRoomSize && reached == kRoomSize ? "ok" : "fail") +
         " admitted=" + std::to_string(admitted) + " reached=" + std::to_string(reached);
}

/// The host the copy joins, sending it malformed messages or an endless text.
std::string BeHostileHost(const std::string& name, uint16_t port, int seconds,
                          const std::function<void(const std::string&)>& say) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in address = test::LoopbackAddress(port);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0) {
    close(listener);
    return "fail listen";
  }
  say("ready");
  pollfd ready = {listener, POLLIN, 0};
  const int fd = poll(&ready, 1, 10000) > 0 ? accept(listener, nullptr, nullptr) : -1;
  close(listener);
  if (fd < 0) return "fail accept";
  SetTimeouts(fd, 100);
  std::atomic<bool> done = false;
  std::thread drain([&] {  // what the copy sends is of no interest, but must not block it
    char buffer[4096];
    while (!done) recv(fd, buffer, sizeof buffer, 0);
  });
  const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  std::string verdict = name == "hostile-trickle" ? Trickle(fd, end) : Stream(fd, end);
  done = true;
  drain.join();
  close(fd);
  return verdict;
}

}  // namespace

int RunPeers(int controlFd) {
  FILE* control = fdopen(controlFd, "r");
  const auto say = [controlFd](const std::string& line) {
    const std::string answer = line + "\n";
    if (write(controlFd, answer.data(), answer.size()) < 0) std::perror("attack peers");
  };
  char order[256];
  while (std::fgets(order, sizeof order, control) != nullptr) {
    std::istringstream words(order);
    std::string name;
    int port = 0;
    int seconds = 0;
    words >> name >> port >> seconds;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    const auto port16 = static_cast<uint16_t>(port);
    if (name == "slots") {
      say(FillEverySlot(port16, say));
    } else if (name.starts_with("hostile-")) {
      say(BeHostileHost(name, port16, seconds, say));
    } else {
      say(AttackHost(name, port16, end));
    }
  }
  return 0;
}

}  // namespace murelo::attack
