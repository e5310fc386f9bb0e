#include "platform/posix/stream_socket.h"

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

#include "platform/posix/closing_connection.h"
#include "platform/posix/event_loop.h"
#include "platform/posix/flush_queue.h"
#include "platform/posix/socket_calls.h"

namespace murelo {

CStreamSocket::CStreamSocket() : m_lifetime(std::make_shared<char>()) {}

CStreamSocket::~CStreamSocket() { Close(); }

bool CStreamSocket::Create(uint16_t port) {
  Close();
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (port != 0) {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    ::close(fd);
    return false;
  }
  SetNoDelay(fd);
  m_fd = fd;
  m_mode = Mode::kCreated;
  ++m_nConnection;
  return true;
}

bool CStreamSocket::Listen(int backlog) {
  if (m_mode != Mode::kCreated) return false;
  if (listen(m_fd, backlog) < 0) return false;
  m_mode = Mode::kListening;
  m_readWatch = EventLoop().Watch(m_fd, CEventLoop::Readiness::kReadable,
                                  [this](bool bytesWaiting) { OnReadable(bytesWaiting); });
  m_readWatch->SetEnabled(true);
  return true;
}

bool CStreamSocket::Accept(CStreamSocket& into) {
  if (m_mode != Mode::kListening) return false;
  const int fd = accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  const int error = errno;
  if (fd < 0 && IsOutOfResources(error)) {
    // The connection stays waiting in the kernel; asking again at once would fail again
    // as fast as the loop turns, until a descriptor is free.
    EventLoop().PostDelayed(kAcceptRetryMs,
                            [this, alive = std::weak_ptr(m_lifetime), connection = m_nConnection] {
                              if (!alive.expired() && m_nConnection == connection)
                                m_readWatch->SetEnabled(true);
                            });
  } else {
    m_readWatch->SetEnabled(true);
  }
  if (fd < 0) return false;
  into.Close();
  into.Attach(fd);
  return true;
}

bool CStreamSocket::Connect(const std::string& host, uint16_t port) {
  if (m_mode != Mode::kCreated) return false;
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
      return false;
    }
    address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  m_mode = Mode::kConnecting;
  if (connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0 &&
      errno != EINPROGRESS) {
    const int error = errno;
    ReportConnectLater(error);
    return false;
  }
  // Writability announces the outcome, success or failure alike.
  m_writeWatch =
      EventLoop().Watch(m_fd, CEventLoop::Readiness::kWritable, [this](bool) { OnWritable(); });
  m_writeWatch->SetEnabled(true);
  return true;
}

void CStreamSocket::Send(std::string_view bytes) {
  if (m_mode != Mode::kConnected || bytes.empty()) return;
  m_outQueue.append(bytes);
  // The peer has stopped reading: drop the connection rather than grow without bound.
  if (m_outQueue.size() - m_nOutSent > kMaxQueuedBytes) return Cut(ENOBUFS);
  if (m_bWriteBlocked) return UpdateBacklog();  // no flush comes before the socket is writable
  ScheduleFlush();
}

ssize_t CStreamSocket::Receive(char* buffer, size_t size) {
  if (m_mode != Mode::kConnected) return -1;
  const ssize_t n = recv(m_fd, buffer, size, MSG_DONTWAIT);
  const int error = errno;
  m_bReceiveOwed = false;
  if (!m_bCloseReported && !m_bReceivePaused) m_readWatch->SetEnabled(true);
  if (n < 0 && !IsTransient(error)) ReportCloseLater(error);
  return n;
}

void CStreamSocket::PauseReceiving(bool paused) {
  if (paused == m_bReceivePaused) return;
  m_bReceivePaused = paused;
  if (m_mode == Mode::kConnected && !m_bCloseReported && !m_bReceiveOwed)
    m_readWatch->SetEnabled(!paused);
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

void CStreamSocket::FinishClosingConnections(int timeoutMs) {
  CClosingConnection::FinishAll(timeoutMs);
}

CStreamSocket::CSendBatch::CSendBatch() { CFlushQueue::Hold(); }

CStreamSocket::CSendBatch::~CSendBatch() { CFlushQueue::Release(); }

void CStreamSocket::OnAccept(int) {}
void CStreamSocket::OnConnect(int) {}
void CStreamSocket::OnReceive(int) {}
void CStreamSocket::OnSend(int) {}
void CStreamSocket::OnBacklog(bool) {}
void CStreamSocket::OnClose(int) {}

void CStreamSocket::Attach(int fd) {
  m_bReceivePaused = false;
  m_bReceiveOwed = false;
  SetNoDelay(fd);
  m_fd = fd;
  m_mode = Mode::kConnected;
  ++m_nConnection;
  m_readWatch = EventLoop().Watch(fd, CEventLoop::Readiness::kReadable,
                                  [this](bool bytesWaiting) { OnReadable(bytesWaiting); });
  m_writeWatch =
      EventLoop().Watch(fd, CEventLoop::Readiness::kWritable, [this](bool) { OnWritable(); });
  m_readWatch->SetEnabled(true);
}

void CStreamSocket::OnReadable(bool bytesWaiting) {
  if (m_mode == Mode::kListening) {
    m_readWatch->SetEnabled(false);
    OnAccept(0);
    return;
  }
  if (m_mode != Mode::kConnected) return;
  if (!bytesWaiting) {
    // Bytes, the peer's close or an error: a peek tells which without consuming anything.
    char byte;
    const ssize_t n = recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) return ReportClose(0);
    if (n < 0) {
      if (!IsTransient(errno)) ReportClose(errno);
      return;
    }
  }
  m_readWatch->SetEnabled(false);
  m_bReceiveOwed = true;
  OnReceive(0);
}

void CStreamSocket::OnWritable() {
  if (m_mode == Mode::kConnecting) {
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size);
    m_writeWatch.reset();
    if (error == 0) {
      m_mode = Mode::kConnected;
      m_readWatch = EventLoop().Watch(m_fd, CEventLoop::Readiness::kReadable,
                                      [this](bool bytesWaiting) { OnReadable(bytesWaiting); });
      m_writeWatch =
          EventLoop().Watch(m_fd, CEventLoop::Readiness::kWritable, [this](bool) { OnWritable(); });
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
    return UpdateBacklog();
  }
  m_outQueue.clear();
  m_nOutSent = 0;
  UpdateBacklog();
  if (m_bWriteBlocked && m_mode == Mode::kConnected) {
    m_bWriteBlocked = false;
    m_writeWatch->SetEnabled(false);
    OnSend(0);
  }
}

void CStreamSocket::UpdateBacklog() {
  const size_t unsent = m_outQueue.size() - m_nOutSent;
  if (!m_bBacklogged && unsent > kHighWaterBytes) {
    m_bBacklogged = true;
    EventLoop().PostDelayed(kMaxBacklogMs, [this, alive = std::weak_ptr(m_lifetime),
                                            connection = m_nConnection, backlog = ++m_nBacklogs] {
      if (!alive.expired() && m_nConnection == connection && m_bBacklogged &&
          m_nBacklogs == backlog)
        Cut(ENOBUFS);
    });
    OnBacklog(true);
  } else if (m_bBacklogged && unsent <= kLowWaterBytes) {
    m_bBacklogged = false;
    OnBacklog(false);
  }
}

void CStreamSocket::Cut(int error) {
  const linger abort = {1, 0};
  setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  Release();
  ReportCloseLater(error);
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
  m_bBacklogged = false;
  m_bReceivePaused = false;
  m_bReceiveOwed = false;
}

}  // namespace murelo
