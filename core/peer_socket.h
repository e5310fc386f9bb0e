// CPeerSocket: a socket of the conversation, one of its 20 peer slots or its listener,
// that hands its notifications to the view.
#pragma once

#include <chrono>

#include "core/wire_format.h"
#include "platform/posix/stream_socket.h"

namespace murelo {

class CMureloView;

class CPeerSocket : public CStreamSocket {
 public:
  /// view must outlive the socket; index is the slot (0 to 19), or -1 for the listener.
  void Init(CMureloView* view, int index);

  /// Forgets what an earlier connection of the slot left: a partial message, the count
  /// of bytes received.
  void StartConnection();
  /// Counts bytes received, for telling who sends the most.
  void NoteReceived(size_t bytes);
  /// Whether the peer sent more in the last second or so than anyone types or pastes.
  bool IsHeavySender() const;

  int m_bInUse = 0;  // a server's slot holds a client's connection
  CMureloView* m_pView = nullptr;
  int m_nIndex = 0;
  CMessageFramer m_framer;  // the connection's message under way

 protected:
  void OnAccept(int error) override;
  void OnConnect(int error) override;
  void OnReceive(int error) override;
  void OnSend(int error) override;
  void OnBacklog(bool backlogged) override;
  /// A connection that ended with an error is handled as closed too: otherwise a
  /// crashed peer would keep its slot, or a client its dead connection, for ever.
  void OnClose(int error) override;

 private:
  std::chrono::steady_clock::time_point m_windowStart;
  size_t m_nWindowBytes = 0;  // received since m_windowStart
};

}  // namespace murelo
