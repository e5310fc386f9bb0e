// CPeerSocket: a socket of the chat view, one of its 20 peer slots or its listener,
// that hands its notifications to the view.
#pragma once

#include "core/wire_format.h"
#include "platform/stream_socket.h"

namespace murelo {

class CMureloView;

class CPeerSocket : public CStreamSocket {
 public:
  /// view must outlive the socket; index is the slot (0 to 19), or -1 for the listener.
  void Init(CMureloView* view, int index);

  int m_bInUse = 0;  // a server's slot holds a client's connection
  CMureloView* m_pView = nullptr;
  int m_nIndex = 0;
  CMessageFramer m_framer;  // the connection's message under way

 protected:
  void OnAccept(int error) override;
  void OnConnect(int error) override;
  void OnReceive(int error) override;
  void OnSend(int error) override;
  /// A connection that ended with an error is handled as closed too: otherwise a
  /// crashed peer would keep its slot, or a client its dead connection, for ever.
  void OnClose(int error) override;
};

}  // namespace murelo
