// Copies of the conversation talking over real loopback TCP in one process, driven by Qt's
// event loop, raw peers and hosts that see the bytes on the wire, and the tests' fixture.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/murelo_view.h"
#include "platform/posix/own_address.h"
#include "test_host.h"

namespace murelo::test {

inline sockaddr_in LoopbackAddress(uint16_t port) {
  return {.sin_family = AF_INET,
          .sin_port = htons(port),
          .sin_addr = {htonl(INADDR_LOOPBACK)},
          .sin_zero = {}};
}

/// A listening socket on a loopback port the system chose, and that port.
inline int ListenOnLoopback(uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(0);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(fd, 5);
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  port = ntohs(address.sin_port);
  return fd;
}

/// A TCP port that was free a moment ago.
inline uint16_t FreePort() {
  uint16_t port = 0;
  close(ListenOnLoopback(port));
  return port;
}

/// Turns the event loop until condition holds or timeoutMs has passed.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

/// Turns the event loop for ms milliseconds, for checks that nothing happens.
inline void Settle(int ms = 100) {
  WaitFor([] { return false; }, ms);
}

/// This machine's address: the sender line of the copies' own messages.
inline const std::string& OwnIp() {
  static const std::string address = FindOwnIpv4Address().strDotted;
  return address;
}
/// A chat line as the copy with this colour and name builds it.
inline std::string ChatLine(std::string_view color, std::string_view name, std::string_view text) {
  return FillFormat(kChatLineFormat, {color, name, text, OwnIp()});
}
inline std::string FirstLine(std::string_view message) {
  return std::string(message.substr(0, message.find('\n')));
}

/// One copy of the program without its window, with a page directory of its own.
class ChatCopy {
 public:
  ChatCopy(const std::filesystem::path& pageDirectory, uint16_t port,
           std::chrono::milliseconds peerBoxHoldOff = CViewOptions().peerBoxHoldOff)
      : m_pageDirectory(pageDirectory),
        m_view(m_host, {port, pageDirectory.string(), peerBoxHoldOff}) {
    std::filesystem::create_directories(pageDirectory);
    m_view.OnInitialUpdate();
  }

  void Host(const std::string& name, const std::string& color = "red") {
    m_host.connectChoice = CConnectChoice{true, color, name, ""};
    m_view.OnConnectCmd();
  }
  void Join(const std::string& name, const std::string& color = "blue") {
    m_host.connectChoice = CConnectChoice{false, color, name, "127.0.0.1"};
    m_view.OnConnectCmd();
  }
  void Say(const std::string& text) {
    m_host.inputText = text;
    m_view.OnSendCmd();
  }
  /// The active rows as "colour/name", sorted.
  std::vector<std::string> Members() const {
    std::vector<std::string> members;
    for (const MemberEntry& row : m_view.m_Members)
      if (row.bActive) members.push_back(row.strColor + "/" + row.strName);
    std::ranges::sort(members);
    return members;
  }
  std::vector<std::string> LogHtml() const {
    std::vector<std::string> html;
    for (int i = 0; i < m_view.m_Log.Count(); ++i) html.push_back(m_view.m_Log[i].strHtml);
    return html;
  }
  bool Logged(const std::string& html) const { return std::ranges::count(LogHtml(), html) > 0; }
  std::string Page() const { return ReadFile(m_pageDirectory / "data.htm"); }
  /// From now on the user takes ms over each box, its nested loop turning meanwhile.
  void HoldBoxes(int ms) {
    m_host.onMessageBox = [ms](std::string_view) { Settle(ms); };
  }
  /// The connections a host holds.
  int SlotsInUse() const {
    return static_cast<int>(std::ranges::count_if(m_view.m_Peers, &CPeerSocket::m_bInUse));
  }

  CMureloView& view() { return m_view; }
  CTestHost& host() { return m_host; }

 private:
  std::filesystem::path m_pageDirectory;
  CTestHost m_host;
  CMureloView m_view;
};

/// A peer with plain blocking system calls: connected to a port, or the host end of a
/// connection accepted from a copy.
class RawPeer {
 public:
  explicit RawPeer(uint16_t port) : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const sockaddr_in address = LoopbackAddress(port);
    connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  }
  /// The next connection to listener, taken while the event loop turns.
  static std::unique_ptr<RawPeer> Accept(int listener) {
    pollfd ready = {listener, POLLIN, 0};
    WaitFor([&] { return poll(&ready, 1, 0) > 0; });
    return std::unique_ptr<RawPeer>(new RawPeer(accept(listener, nullptr, nullptr), 0));
  }
  ~RawPeer() { close(m_fd); }  // none after a reset
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  int fd() const { return m_fd; }
  void Write(std::string_view bytes) { send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  /// Appends what arrives to received while turning the event loop, until condition holds
  /// on it or 5 s have passed. Sets closed at the end of the stream.
  bool ReadUntil(const std::function<bool(const std::string&)>& condition) {
    return WaitFor([&] {
      char buffer[65536];
      for (pollfd ready = {m_fd, POLLIN, 0}; !closed && poll(&ready, 1, 0) > 0;) {
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        closed = n <= 0;
        if (n > 0) received.append(buffer, static_cast<size_t>(n));
      }
      return condition(received);
    });
  }
  bool ReadToEnd() {
    return ReadUntil([this](const std::string&) { return closed; });
  }
  /// Ends the connection with a reset, as a crashed machine's would end.
  void Reset() {
    const linger abort = {1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(std::exchange(m_fd, -1));
  }

  std::string received;
  bool closed = false;

 private:
  RawPeer(int fd, int) : m_fd(fd) {}

  int m_fd;
};

/// Copies of the conversation on a port and in page directories of their own: a server in
/// red, clients in blue.
class LoopbackTest : public testing::Test {
 protected:
  ChatCopy& NewCopy() {
    const std::string directory = "copy" + std::to_string(copies.size());
    return *copies.emplace_back(std::make_unique<ChatCopy>(dir.path() / directory, port));
  }
  ChatCopy& StartServer() {
    ChatCopy& server = NewCopy();
    server.Host("host", "red");
    return server;
  }
  /// A client that has joined and whose own row has come back from the server.
  ChatCopy& JoinClient(const std::string& name) {
    ChatCopy& client = NewCopy();
    client.Join(name, "blue");
    EXPECT_TRUE(WaitFor([&] {  // its row, unless the table was full
      const std::vector<std::string> members = client.Members();
      return client.view().m_bConnected &&
             (members.size() == kMemberRows || std::ranges::count(members, "blue/" + name) == 1);
    })) << name;
    return client;
  }

  ScopedTempDir dir;
  const uint16_t port = FreePort();
  std::vector<std::unique_ptr<ChatCopy>> copies;
};

}  // namespace murelo::test
