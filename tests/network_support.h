// Fixtures of the tests over real loopback TCP: copies of the chat view in one
// process, each with its own page directory, driven by Qt's event loop; and raw
// peers that see the bytes on the wire.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/message_catalog.h"
#include "core/message_format.h"
#include "core/murelo_view.h"
#include "platform/event_loop.h"
#include "platform/own_address.h"
#include "test_support.h"

namespace murelo::test {

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

/// One copy of the program without its window.
class ChatCopy {
 public:
  ChatCopy(const std::filesystem::path& pageDirectory, uint16_t port)
      : m_pageDirectory(pageDirectory), m_view(m_host, {port, pageDirectory.string()}) {
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

  /// The active rows as "colour/name", in row order.
  std::vector<std::string> Members() const {
    std::vector<std::string> members;
    for (const MemberEntry& row : m_view.m_Members) {
      if (row.bActive) members.push_back(row.strColor + "/" + row.strName);
    }
    return members;
  }
  std::vector<std::string> LogHtml() const {
    std::vector<std::string> html;
    for (int i = 0; i < m_view.m_Log.Count(); ++i) html.push_back(m_view.m_Log[i].strHtml);
    return html;
  }
  bool Logged(const std::string& html) const {
    for (int i = 0; i < m_view.m_Log.Count(); ++i) {
      if (m_view.m_Log[i].strHtml == html) return true;
    }
    return false;
  }
  std::string Page() const { return ReadFile(m_pageDirectory / "data.htm"); }

  /// From now on the user takes ms over each box, its nested loop turning meanwhile.
  void HoldBoxes(int ms) {
    m_nBoxOpenMs = ms;
    m_host.onMessageBox = nullptr;
    if (ms > 0) m_host.onMessageBox = [ms](std::string_view) { Settle(ms); };
  }
  bool HoldsBoxes() const { return m_nBoxOpenMs > 0; }

  CMureloView& view() { return m_view; }
  CTestHost& host() { return m_host; }

 private:
  std::filesystem::path m_pageDirectory;
  CTestHost m_host;
  int m_nBoxOpenMs = 0;
  CMureloView m_view;
};

/// A peer that speaks to a server with plain blocking system calls.
class RawPeer {
 public:
  /// Takes over a connection accepted elsewhere.
  struct Accepted {
    int fd;
  };
  explicit RawPeer(Accepted accepted) : m_fd(accepted.fd), m_bConnected(accepted.fd >= 0) {}
  /// receiveBuffer, when not 0, shrinks the kernel's receive buffer before connecting.
  explicit RawPeer(uint16_t port, int receiveBuffer = 0) : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
    if (receiveBuffer != 0) {
      setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    const sockaddr_in address = LoopbackAddress(port);
    m_bConnected = connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawPeer() {
    if (m_fd >= 0) close(m_fd);
  }
  RawPeer(const RawPeer&) = delete;
  RawPeer& operator=(const RawPeer&) = delete;

  bool connected() const { return m_bConnected; }
  int fd() const { return m_fd; }
  void Write(std::string_view bytes) { send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

  /// Appends what has arrived to received while turning the event loop, until
  /// condition holds on it or timeoutMs has passed. Sets closed at end of stream.
  bool ReadUntil(const std::function<bool(const std::string&)>& condition, int timeoutMs = 5000) {
    return WaitFor(
        [&] {
          pollfd ready = {m_fd, POLLIN, 0};
          while (!closed && poll(&ready, 1, 0) > 0) {
            char buffer[65536];
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
              closed = true;
              break;
            }
            received.append(buffer, static_cast<size_t>(n));
          }
          return condition(received);
        },
        timeoutMs);
  }
  /// Ends the connection with a reset, as a crashed machine's would end.
  void Reset() {
    const linger abort = {1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(m_fd);
    m_fd = -1;
  }

  std::string received;
  bool closed = false;

 private:
  int m_fd;
  bool m_bConnected = false;
};

/// A host that speaks with plain system calls, for copies that join it.
class RawHost {
 public:
  RawHost() : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address = LoopbackAddress(0);
    bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_fd, 5);
    socklen_t size = sizeof address;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
    m_nPort = ntohs(address.sin_port);
  }
  ~RawHost() { close(m_fd); }
  RawHost(const RawHost&) = delete;
  RawHost& operator=(const RawHost&) = delete;

  uint16_t port() const { return m_nPort; }

  /// The next connection, taken while the event loop turns; not connected on timeout.
  std::unique_ptr<RawPeer> Accept(int timeoutMs = 5000) {
    pollfd ready = {m_fd, POLLIN, 0};
    WaitFor([&] { return poll(&ready, 1, 0) > 0; }, timeoutMs);
    return std::make_unique<RawPeer>(
        RawPeer::Accepted{ready.revents & POLLIN ? accept(m_fd, nullptr, nullptr) : -1});
  }

 private:
  int m_fd;
  uint16_t m_nPort = 0;
};

/// This machine's address, the sender line of the copies' own messages.
inline const std::string& OwnIp() {
  static const std::string address = FindOwnIpv4Address().value_or("127.0.0.1");
  return address;
}
/// A chat line as the copy with this colour and name builds it.
inline std::string ChatLine(const std::string& color, const std::string& name,
                            const std::string& text) {
  return FillFormat(kChatLineFormat, {color, name, text, OwnIp()});
}
inline std::string FirstLine(const std::string& message) {
  return message.substr(0, message.find('\n'));
}

/// Copies of the chat view in one process, on a port and in page directories of their
/// own: a server in red called "host" unless said otherwise, clients in blue.
class LoopbackTest : public testing::Test {
 protected:
  ChatCopy& NewCopy(const std::string& directory = "") {
    const std::string name = directory.empty() ? "copy" + std::to_string(copies.size()) : directory;
    copies.push_back(std::make_unique<ChatCopy>(dir.path() / name, port));
    return *copies.back();
  }
  ChatCopy& StartServer(const std::string& name = "host") {
    ChatCopy& server = NewCopy();
    server.Host(name, "red");
    return server;
  }
  /// A client that has joined and whose own row has come back from the server.
  ChatCopy& JoinClient(const std::string& name) {
    ChatCopy& client = NewCopy();
    client.Join(name, "blue");
    EXPECT_TRUE(WaitFor([&] {
      const std::vector<std::string> members = client.Members();
      return client.view().m_bConnected &&
             (members.size() == kMemberRows ||
              std::count(members.begin(), members.end(), "blue/" + name) == 1);
    })) << name;
    return client;
  }
  static int SlotsInUse(ChatCopy& server) {
    const auto& peers = server.view().m_Peers;
    return static_cast<int>(std::count_if(peers.begin(), peers.end(),
                                          [](const CPeerSocket& peer) { return peer.m_bInUse; }));
  }
  /// Says text from copy and waits until every one of everyone has logged it.
  static void SayAndWait(ChatCopy& from, const std::string& name, const std::string& text,
                         std::initializer_list<ChatCopy*> everyone) {
    from.Say(text);
    const std::string shown = FirstLine(ChatLine(from.view().m_strColor, name, text));
    for (ChatCopy* copy : everyone) {
      ASSERT_TRUE(WaitFor([&] { return copy->Logged(shown); })) << text;
    }
  }

  ScopedTempDir dir;
  const uint16_t port = FreePort();
  std::vector<std::unique_ptr<ChatCopy>> copies;
};

}  // namespace murelo::test
