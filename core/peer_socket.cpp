#include "core/peer_socket.h"

#include "core/murelo_view.h"

namespace murelo {

namespace {
// A line is at most 1 KiB; a user who pastes ten in a second sends a tenth of this.
constexpr size_t kHeavyBytesPerWindow = 100 << 10;
constexpr std::chrono::seconds kWindow{1};
}  // namespace

void CPeerSocket::Init(CMureloView* view, int index) {
  m_pView = view;
  m_nIndex = index;
  m_bInUse = 0;
}

void CPeerSocket::OnAccept(int error) {
  if (error == 0) m_pView->HandleAccept();
}

void CPeerSocket::OnConnect(int error) {
  if (error == 0) m_pView->HandleConnected();
}

void CPeerSocket::OnReceive(int error) {
  if (error == 0 && m_nIndex >= 0) m_pView->HandleReceive(m_nIndex);
}

void CPeerSocket::StartConnection() {
  m_framer.Reset();
  m_nWindowBytes = 0;
}

void CPeerSocket::NoteReceived(size_t bytes) {
  const auto now = std::chrono::steady_clock::now();
  if (now - m_windowStart >= kWindow) {
    m_windowStart = now;
    m_nWindowBytes = 0;
  }
  m_nWindowBytes += bytes;
}

bool CPeerSocket::IsHeavySender() const { return m_nWindowBytes > kHeavyBytesPerWindow; }

void CPeerSocket::OnSend(int) {}

void CPeerSocket::OnBacklog(bool) { m_pView->UpdateFlowControl(); }

void CPeerSocket::OnClose(int) { m_pView->HandlePeerClosed(m_nIndex); }

}  // namespace murelo
