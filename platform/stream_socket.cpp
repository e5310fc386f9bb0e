#include "platform/stream_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <vector>

#include "platform/event_loop.h"

namespace murelo {

namespace {

/// Whether a call that failed with error may simply be made again later: the socket was
/// not ready, or a signal cut the call short.
bool IsTransient(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

void SetNoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

/// Writes as much of bytes as the kernel takes now. Returns the count written, or -1
/// with errno set when the connection failed.
ssize_t WriteSome(int fd, std::string_view bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n =
        send(fd, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      written += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && IsTransient(errno)) {
      break;
    } else {
      return -1;
    }
  }
  return static_cast<ssize_t>(written);
}

// A connection the program has closed: it still writes what was queued, then
// half-closes and reads until the peer closes too, so the peer receives every byte
// (closing with unread input would reset the connection and could lose them).
// A peer that never closes is cut off after kLingerMs.
class CClosingConnection {
 public:
  static constexpr int kLingerMs = 10000;

  static void Start(int fd, std::string pending) {
    const uint64_t id = s_nextId++;
    auto& closing = s_closing[id];
    closing.reset(new CClosingConnection(id, fd, std::move(pending)));
    closing->Advance();
  }

  static void FinishAll(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!s_closing.empty() && std::chrono::steady_clock::now() < deadline) {
      std::vector<pollfd> polls;
      for (auto& [id, closing] : s_closing) {
        short events = closing->m_bPeerClosed ? 0 : POLLIN;
        if (!closing->m_pending.empty()) events |= POLLOUT;
        polls.push_back({closing->m_fd, events, 0});
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (poll(polls.data(), polls.size(), static_cast<int>(left.count()) + 1) < 0 &&
          errno != EINTR) {
        break;
      }
      std::vector<uint64_t> ids;
      for (auto& [id, closing] : s_closing) ids.push_back(id);
      for (uint64_t id : ids) {
        if (auto found = s_closing.find(id); found != s_closing.end()) found->second->Advance();
      }
    }
    s_closing.clear();
  }

  ~CClosingConnection() { ::close(m_fd); }

 private:
  CClosingConnection(uint64_t id, int fd, std::string pending)
      : m_id(id), m_fd(fd), m_pending(std::move(pending)) {
    if (!EventLoopInstalled()) return;
    m_readWatch = EventLoop().Watch(fd, CEventLoop::Readiness::kReadable, [id] { Step(id); });
    m_writeWatch = EventLoop().Watch(fd, CEventLoop::Readiness::kWritable, [id] { Step(id); });
    m_readWatch->SetEnabled(true);
    EventLoop().PostDelayed(kLingerMs, [id] { s_closing.erase(id); });
  }

  static void Step(uint64_t id) {
    if (auto found = s_closing.find(id); found != s_closing.end()) found->second->Advance();
  }

  /// Moves the close on as far as it can go now; ends it (destroying this) when done.
  void Advance() {
    if (!m_bPeerClosed && !Drain()) return Finish();  // the peer reset the connection
    if (m_bPeerClosed && m_readWatch) m_readWatch->SetEnabled(false);
    if (!m_pending.empty()) {
      const ssize_t written = WriteSome(m_fd, m_pending);
      if (written < 0) return Finish();
      m_pending.erase(0, static_cast<size_t>(written));
      if (!m_pending.empty()) {
        if (m_writeWatch) m_writeWatch->SetEnabled(true);
        return;
      }
    }
    if (m_writeWatch) m_writeWatch->SetEnabled(false);
    if (!m_bHalfClosed) {
      shutdown(m_fd, SHUT_WR);
      m_bHalfClosed = true;
    }
    if (m_bPeerClosed) Finish();
  }

  /// Reads and discards input. False when the connection failed.
  bool Drain() {
    char scratch[4096];
    for (;;) {
      const ssize_t n = recv(m_fd, scratch, sizeof scratch, MSG_DONTWAIT);
      if (n > 0) continue;
      if (n == 0) {
        m_bPeerClosed = true;
        return true;
      }
      return IsTransient(errno);
    }
  }

  void Finish() { s_closing.erase(m_id); }

  static inline std::map<uint64_t, std::unique_ptr<CClosingConnection>> s_closing;
  static inline uint64_t s_nextId = 1;

  const uint64_t m_id;
  const int m_fd;
  std::string m_pending;
  bool m_bHalfClosed = false;
  bool m_bPeerClosed = false;
  std::unique_ptr<CFdWatch> m_readWatch;
  std::unique_ptr<CFdWatch> m_writeWatch;
};

}  // namespace

// The sockets with bytes queued this turn, written out by one posted task, so that a
// message relayed to twenty clients costs one task and twenty writes per turn.
class CFlushQueue {
 public:
  static void Add(CStreamSocket& socket) {
    if (s_waiting.empty()) EventLoop().Post(FlushAll);
    s_waiting.push_back({&socket, socket.m_lifetime, socket.m_nConnection});
  }

 private:
  struct Waiting {
    CStreamSocket* socket;
    std::weak_ptr<char> alive;
    uint64_t connection;
  };

  static void FlushAll() {
    std::vector<Waiting> waiting;
    waiting.swap(s_waiting);
    for (const Waiting& entry : waiting) {
      if (entry.alive.expired() || entry.socket->m_nConnection != entry.connection) continue;
      entry.socket->m_bFlushPosted = false;
      entry.socket->Flush();
    }
  }

  static inline std::vector<Waiting> s_waiting;
};

CStreamSocket::CStreamSocket() : m_lifetime(std::make_shared<char>()) {}

CStreamSocket::~CStreamSocket() { Close(); }

bool CStreamSocket::Create(uint16_t port) {
  Close();
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return Fail(errno);
  if (port != 0) {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    const int error = errno;
    ::close(fd);
    return Fail(error);
  }
  SetNoDelay(fd);
  m_fd = fd;
  m_mode = Mode::kCreated;
  ++m_nConnection;
  return true;
}

bool CStreamSocket::Listen(int backlog) {
  if (m_mode != Mode::kCreated) return Fail(EINVAL);
  if (listen(m_fd, backlog) < 0) return Fail(errno);
  m_mode = Mode::kListening;
  m_readWatch = EventLoop().Watch(m_fd, CEventLoop::Readiness::kReadable, [this] { OnReadable(); });
  m_readWatch->SetEnabled(true);
  return true;
}

bool CStreamSocket::Accept(CStreamSocket& into) {
  if (m_mode != Mode::kListening) return Fail(EINVAL);
  const int fd = accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  const int error = errno;
  m_readWatch->SetEnabled(true);
  if (fd < 0) return Fail(error);
  into.Close();
  into.Attach(fd);
  return true;
}

bool CStreamSocket::Connect(const std::string& host, uint16_t port) {
  if (m_mode != Mode::kCreated) return Fail(EINVAL);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
      ReportConnectLater(EHOSTUNREACH);
      return Fail(EHOSTUNREACH);
    }
    address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  m_mode = Mode::kConnecting;
  if (connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0 &&
      errno != EINPROGRESS) {
    const int error = errno;
    ReportConnectLater(error);
    return Fail(error);
  }
  // Writability announces the outcome, success or failure alike.
  m_writeWatch =
      EventLoop().Watch(m_fd, CEventLoop::Readiness::kWritable, [this] { OnWritable(); });
  m_writeWatch->SetEnabled(true);
  return true;
}

void CStreamSocket::Send(std::string_view bytes) {
  if (m_mode != Mode::kConnected || bytes.empty()) return;
  m_outQueue.append(bytes);
  if (m_outQueue.size() - m_nOutSent > kMaxQueuedBytes) {
    // The peer has stopped reading: drop the connection rather than grow without bound.
    const linger abort = {1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    Release();
    ReportCloseLater(ENOBUFS);
    return;
  }
  ScheduleFlush();
}

ssize_t CStreamSocket::Receive(char* buffer, size_t size) {
  if (m_mode != Mode::kConnected) {
    m_nLastError = ENOTCONN;
    return -1;
  }
  const ssize_t n = recv(m_fd, buffer, size, MSG_DONTWAIT);
  const int error = errno;
  if (!m_bCloseReported) m_readWatch->SetEnabled(true);
  if (n < 0) {
    m_nLastError = error;
    if (!IsTransient(error)) ReportCloseLater(error);
  }
  return n;
}

void CStreamSocket::Close() {
  ++m_nConnection;  // notifications still under way belong to the connection now ending
  if (m_fd < 0) return;
  if (m_mode == Mode::kConnected) {
    const int fd = m_fd;
    std::string pending = m_outQueue.substr(m_nOutSent);
    m_fd = -1;
    Release();
    CClosingConnection::Start(fd, std::move(pending));
  } else {
    Release();
  }
}

uint16_t CStreamSocket::LocalPort() const {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (m_fd < 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) < 0) return 0;
  return ntohs(address.sin_port);
}

void CStreamSocket::FinishClosingConnections(int timeoutMs) {
  CClosingConnection::FinishAll(timeoutMs);
}

void CStreamSocket::OnAccept(int) {}
void CStreamSocket::OnConnect(int) {}
void CStreamSocket::OnReceive(int) {}
void CStreamSocket::OnSend(int) {}
void CStreamSocket::OnClose(int) {}

void CStreamSocket::Attach(int fd) {
  SetNoDelay(fd);
  m_fd = fd;
  m_mode = Mode::kConnected;
  ++m_nConnection;
  m_readWatch = EventLoop().Watch(fd, CEventLoop::Readiness::kReadable, [this] { OnReadable(); });
  m_writeWatch = EventLoop().Watch(fd, CEventLoop::Readiness::kWritable, [this] { OnWritable(); });
  m_readWatch->SetEnabled(true);
}

bool CStreamSocket::Fail(int error) {
  m_nLastError = error;
  return false;
}

void CStreamSocket::OnReadable() {
  if (m_mode == Mode::kListening) {
    m_readWatch->SetEnabled(false);
    OnAccept(0);
    return;
  }
  if (m_mode != Mode::kConnected) return;
  // A peek tells data from the peer's close without consuming anything.
  char byte;
  const ssize_t n = recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (n > 0) {
    m_readWatch->SetEnabled(false);
    OnReceive(0);
  } else if (n == 0) {
    ReportClose(0);
  } else if (!IsTransient(errno)) {
    ReportClose(errno);
  }
}

void CStreamSocket::OnWritable() {
  if (m_mode == Mode::kConnecting) {
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size);
    m_writeWatch.reset();
    if (error == 0) {
      m_mode = Mode::kConnected;
      m_readWatch =
          EventLoop().Watch(m_fd, CEventLoop::Readiness::kReadable, [this] { OnReadable(); });
      m_writeWatch =
          EventLoop().Watch(m_fd, CEventLoop::Readiness::kWritable, [this] { OnWritable(); });
      m_readWatch->SetEnabled(true);
    }
    OnConnect(error);
    return;
  }
  if (m_mode == Mode::kConnected) Flush();
}

void CStreamSocket::ScheduleFlush() {
  if (m_bFlushPosted || m_bWriteBlocked) return;
  m_bFlushPosted = true;
  CFlushQueue::Add(*this);
}

void CStreamSocket::Flush() {
  if (m_mode != Mode::kConnected) return;
  const ssize_t written = WriteSome(m_fd, std::string_view(m_outQueue).substr(m_nOutSent));
  if (written < 0) {
    const int error = errno;
    m_outQueue.clear();
    m_nOutSent = 0;
    ReportCloseLater(error);
    return;
  }
  m_nOutSent += static_cast<size_t>(written);
  if (m_nOutSent < m_outQueue.size()) {
    m_bWriteBlocked = true;
    m_writeWatch->SetEnabled(true);
    return;
  }
  m_outQueue.clear();
  m_nOutSent = 0;
  if (m_bWriteBlocked) {
    m_bWriteBlocked = false;
    m_writeWatch->SetEnabled(false);
    OnSend(0);
  }
}

void CStreamSocket::ReportClose(int error) {
  if (m_bCloseReported) return;
  m_bCloseReported = true;
  if (m_readWatch) m_readWatch->SetEnabled(false);
  if (m_writeWatch) m_writeWatch->SetEnabled(false);
  OnClose(error);
}

void CStreamSocket::ReportCloseLater(int error) {
  EventLoop().Post([this, alive = std::weak_ptr(m_lifetime), connection = m_nConnection, error] {
    if (!alive.expired() && m_nConnection == connection) ReportClose(error);
  });
}

void CStreamSocket::ReportConnectLater(int error) {
  EventLoop().Post([this, alive = std::weak_ptr(m_lifetime), connection = m_nConnection, error] {
    if (!alive.expired() && m_nConnection == connection) OnConnect(error);
  });
}

void CStreamSocket::Release() {
  m_readWatch.reset();
  m_writeWatch.reset();
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_mode = Mode::kClosed;
  m_outQueue.clear();
  m_nOutSent = 0;
  m_bFlushPosted = false;
  m_bWriteBlocked = false;
  m_bCloseReported = false;
}

}  // namespace murelo
