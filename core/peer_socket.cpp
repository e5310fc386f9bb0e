#include "core/peer_socket.h"

#include "core/murelo_view.h"

namespace murelo {

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

void CPeerSocket::OnSend(int) {}

void CPeerSocket::OnClose(int) { m_pView->HandlePeerClosed(m_nIndex); }

}  // namespace murelo
