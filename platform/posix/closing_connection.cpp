#include "platform/posix/closing_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "platform/posix/event_loop.h"
#include "platform/posix/socket_calls.h"

namespace murelo {

void CClosingConnection::Start(int fd, std::string pending) {
  if (s_closing.size() >= kMaxClosing) {
    const linger reset = {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
    return;
  }
  const uint64_t id = s_nextId++;
  auto& closing = s_closing[id];
  closing.reset(new CClosingConnection(id, fd, std::move(pending)));
  closing->Advance();
}

void CClosingConnection::FinishAll(int timeoutMs) {
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
    ids.reserve(s_closing.size());
    for (auto& [id, closing] : s_closing) ids.push_back(id);
    for (uint64_t id : ids) {
      if (auto found = s_closing.find(id); found != s_closing.end()) found->second->Advance();
    }
  }
  s_closing.clear();
}

CClosingConnection::~CClosingConnection() { ::close(m_fd); }

CClosingConnection::CClosingConnection(uint64_t id, int fd, std::string pending)
    : m_id(id), m_fd(fd), m_pending(std::move(pending)) {
  if (!EventLoopInstalled()) return;
  m_readWatch = EventLoop().Watch(fd, CEventLoop::Readiness::kReadable, [id](bool) { Step(id); });
  m_writeWatch = EventLoop().Watch(fd, CEventLoop::Readiness::kWritable, [id](bool) { Step(id); });
  m_readWatch->SetEnabled(true);
  EventLoop().PostDelayed(kLingerMs, [id] { s_closing.erase(id); });
}

void CClosingConnection::Step(uint64_t id) {
  if (auto found = s_closing.find(id); found != s_closing.end()) found->second->Advance();
}

void CClosingConnection::Advance() {
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

bool CClosingConnection::Drain() {
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

void CClosingConnection::Finish() { s_closing.erase(m_id); }

}  // namespace murelo
